#pragma once

// Which folders of the shown collection to list again, and how: everything at once; else the
// folders a check found changed, listed into photos; else the folders marked as touched, checked
// against what the board shows. Folders are cleaned paths, only ever folders of the collection.

#include "Models/FileMove.h"
#include "Models/PhotoCollection.h"
#include "Services/CollectionRescan.h"

#include <QSet>
#include <QString>

#include <optional>

class RescanSchedule
{
public:
    struct Batch
    {
        RescanScope scope = RescanScope::check;
        QSet<QString> folders;
    };

    bool isEmpty() const { return !m_everything && m_dirty.isEmpty() && m_changed.isEmpty(); }
    void clear();

    void markEverything() { m_everything = true; }
    // Marks those of `folders` that are folders of `collection`: the trash, a folder files were
    // copied from, or one the collection no longer has, is no concern of the board.
    void mark(const QSet<QString> &folders, const PhotoCollection &collection);
    // Marks the folders `moves` took files out of and put them into.
    void markMoves(const QList<FileMove> &moves, const PhotoCollection &collection);
    // Folders a check found changed: they are listed next.
    void noteChanged(const QSet<QString> &folders);

    // The next rescan to run, taken off the schedule.
    std::optional<Batch> take();
    // A rescan whose result came too late to apply: its folders are due again.
    void putBack(const Batch &batch);

private:
    QSet<QString> m_dirty;
    QSet<QString> m_changed;
    bool m_everything = false;
};
