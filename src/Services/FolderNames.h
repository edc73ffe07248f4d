#pragma once

// The names a folder holds, as the search for a free name compares them (letter case ignored,
// by hash), and a memory of them between operations. A number key into a folder of 100,000
// files then lists it only the first time: after each batch of our own moves the names it
// added and took away are counted in, and the folder's attributes right after are kept
// beside them. The memory is believed only while the folder still shows those attributes
// (modification time, size and identity): anything else that changes it, another program or
// another operation of ours, has it listed again. A name another program adds in the moment
// between our last move and that look at the folder is missed; the move that would take it
// is still refused by the file system, and the next free name tried.

#include "Platform/PlatformFileSystem.h"

#include <QHash>
#include <QString>

#include <optional>

class FolderNames
{
public:
    bool contains(size_t key) const { return m_counts.contains(key); }
    void add(size_t key) { ++m_counts[key]; }
    void remove(size_t key);

private:
    QHash<size_t, qint32> m_counts;
};

class FolderNameMemory
{
public:
    // How many folders are kept: the few a burst of keys moves between.
    static constexpr qsizetype capacity = 4;

    // The names of `folder`, when it still shows `now` as its attributes; forgotten either way.
    std::optional<FolderNames> take(const QString &folder, const EntryInfo &now);
    void keep(const QString &folder, FolderNames names, const EntryInfo &now);
    void clear() { m_kept.clear(); }

private:
    struct Kept
    {
        FolderNames names;
        EntryInfo stamp;
        quint64 use = 0;
    };
    QHash<QString, Kept> m_kept;
    quint64 m_uses = 0;
};
