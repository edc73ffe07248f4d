#pragma once

// "File into…": the field at the bottom of the sorting board that a typed letter opens. It
// lists the categories whose names match what is typed, each with its number key when it has
// one; Return files the selection into the chosen one (Up and Down choose), or, when nothing
// matches, creates the category and files into it. Escape or a click elsewhere closes it.

#include "Models/PhotoSection.h"

#include <QWidget>

class CollectionStore;
class QLabel;
class QLineEdit;

class FileIntoField : public QWidget
{
    Q_OBJECT

public:
    // `board` gets the keyboard back when the field closes.
    FileIntoField(CollectionStore &store, QWidget *board, QWidget *parent = nullptr);

    QLineEdit *edit() const { return m_edit; }
    // What the match line reads, for tests: "1 Cats · Big Cats", the chosen one in brackets.
    QString matchesText() const { return m_matchesText; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void showMatches();
    void accept();

    CollectionStore &m_store;
    QWidget *m_board = nullptr;
    QLineEdit *m_edit = nullptr;
    QLabel *m_matches = nullptr;
    QList<PhotoSection> m_current;
    qsizetype m_chosen = 0;
    QString m_matchesText;
};
