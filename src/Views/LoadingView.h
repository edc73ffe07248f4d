#pragma once

// Shown while the first collection loads: the brand mark, three still bars, what is being read
// and a way out to another folder. The window keeps working while it shows.

#include <QWidget>

class QLabel;

class LoadingView : public QWidget
{
    Q_OBJECT

public:
    explicit LoadingView(QWidget *parent = nullptr);

    void setMessage(const QString &message);

Q_SIGNALS:
    void openFolder();

private:
    QLabel *m_message = nullptr;
};
