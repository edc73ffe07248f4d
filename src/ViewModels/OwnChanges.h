#pragma once

// What our own disk work did to the collection's folders, so that it never costs a listing.
// A move the board already shows (the files it took away, the names it gave them) needs no
// check; and the monitor's report of our own renames, which comes half a second later, is
// recognised by its names and used up: only a folder whose report names something we did not
// do is listed again. Plain bookkeeping, on the store's thread.

#include "Models/FileMove.h"
#include "Services/DirectoryMonitor.h"

#include <QHash>
#include <QSet>
#include <QString>

class OwnChanges
{
public:
    // What the board shows of a batch of moves before the disk work is done: the files it took
    // away, and the files it shows where they are going (none when they leave the collection).
    struct Shown
    {
        QSet<QString> taken;  // cleaned paths
        QSet<QString> placed; // cleaned paths
    };

    // Remembers the entries `moves` took out of folders and put into them, for the reports to
    // come.
    void noteMoves(const QList<FileMove> &moves);
    // Whether the disk did what the board shows: every file it took away was moved, from
    // nowhere else, and every one that landed in one of `folders` (the collection's folders,
    // cleaned paths) landed under a name the board gave it.
    static bool boardShows(const QList<FileMove> &moves, const Shown &shown,
                           const QSet<QString> &folders);
    // The folders of `change` whose events were not all ours; ours are used up. Hidden entries
    // are never shown, so their events (a copy's temporary name, the journal) count as ours.
    // An entry remembered for two reports without being seen is forgotten: its folder may not
    // be watched, and a later event of its name is someone else's.
    QSet<QString> foreignFolders(const DirectoryMonitor::Change &change);
    void clear() { m_expected.clear(); }
    // Adds the report `more` to `into`, as if the monitor had told both at once.
    static void merge(DirectoryMonitor::Change &into, const DirectoryMonitor::Change &more);
    qsizetype rememberedCount() const { return m_expected.size(); }

private:
    struct Expected
    {
        qint32 came = 0; // arrivals still to be reported
        qint32 went = 0; // departures still to be reported
        qint32 reportsLeft = 2;
    };
    QHash<QString, Expected> m_expected; // by the entry's cleaned path
};
