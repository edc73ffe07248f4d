#pragma once

// One performed move or rename, the unit of undo and redo. Plain data so that it can be
// written to a journal as it stands.

#include <QUrl>

struct FileMove
{
    QUrl source;
    QUrl destination;

    friend bool operator==(const FileMove &, const FileMove &) = default;
};

inline size_t qHash(const FileMove &move, size_t seed = 0)
{
    return qHashMulti(seed, move.source, move.destination);
}
