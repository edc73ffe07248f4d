#pragma once

// Shown while a collection is listed: the brand mark, three bars, what is being read and a way
// out to another folder. A listing that takes a while shows how many files it has found, and
// the lit bar steps on each time that count grows. The window keeps working while it shows.

#include <QWidget>

class QLabel;

class LoadingView : public QWidget
{
    Q_OBJECT

public:
    explicit LoadingView(QWidget *parent = nullptr);

    void setMessage(const QString &message);
    // Files found so far; a negative count hides the line.
    void setCount(qint64 count);

Q_SIGNALS:
    void openFolder();

private:
    QLabel *m_message = nullptr;
    QLabel *m_count = nullptr;
    QWidget *m_bars = nullptr;
};
