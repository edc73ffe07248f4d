#pragma once

// One performed move or rename, the unit of undo and redo. Plain data so that it can be
// written to a journal as it stands.

#include <QList>
#include <QString>
#include <QUrl>

struct FileMove
{
    QUrl source;
    QUrl destination;
    // Identity of the item as it was after this move (device, inode and birth time; see
    // FileIdentity). Replaying the move backwards checks it, so a different file that took the
    // item's place is never moved. Empty when unknown; not part of equality.
    QString itemIdentity = {};
    // Which shot of its batch the item belongs to (-1: it travels alone). Replaying the batch
    // moves a shot's items together and keeps one stem for all of them when a name is taken.
    // Not part of equality.
    int shot = -1;

    friend bool operator==(const FileMove &a, const FileMove &b)
    {
        return a.source == b.source && a.destination == b.destination;
    }

    // The move that undoes this one, for the same item.
    FileMove reversed() const { return {destination, source, itemIdentity, shot}; }
    // The moves that undo `moves`, in the same order (replaying keeps a recorded shot whole
    // whatever the order).
    static QList<FileMove> reversedEach(const QList<FileMove> &moves)
    {
        QList<FileMove> result;
        result.reserve(moves.size());
        for (const FileMove &move : moves) {
            result.append(move.reversed());
        }
        return result;
    }
};

inline size_t qHash(const FileMove &move, size_t seed = 0)
{
    return qHashMulti(seed, move.source, move.destination);
}
