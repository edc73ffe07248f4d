#pragma once

// A band across the top of the window saying what reopening the folder put back after the last
// session was cut off in the middle of a change, with every item it left as found, until the
// user dismisses it. It takes room of its own above the pages, so it covers nothing and can be
// read at leisure.

#include "Services/JournalRecovery.h"

#include <QWidget>

class CollectionStore;
class QAbstractButton;
class QLabel;

class RecoveryBanner : public QWidget
{
    Q_OBJECT

public:
    explicit RecoveryBanner(CollectionStore &store, QWidget *parent = nullptr);

    // The sentences shown above the list: what happened and how many files were put back.
    static QString summary(const JournalRecovery::Report &report);

    QString summaryText() const;
    // The items left as found, one a line.
    QString leftAsFoundText() const;
    QAbstractButton *dismissButton() const { return m_dismiss; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();

    CollectionStore &m_store;
    QLabel *m_summary = nullptr;
    QLabel *m_leftHeading = nullptr;
    QLabel *m_left = nullptr;
    QWidget *m_leftArea = nullptr;
    QAbstractButton *m_dismiss = nullptr;
};
