#pragma once

// Stands in for the sorting board until it exists: the open collection's sections with their
// photo counts, and each photo's name and size.

#include <QWidget>

class CollectionStore;
class QLabel;
class QTreeWidget;

class WorkspacePlaceholder : public QWidget
{
    Q_OBJECT

public:
    explicit WorkspacePlaceholder(CollectionStore &store, QWidget *parent = nullptr);

private:
    void refresh();

    CollectionStore &m_store;
    QLabel *m_title = nullptr;
    QTreeWidget *m_tree = nullptr;
};
