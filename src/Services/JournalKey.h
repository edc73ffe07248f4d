#pragma once

// What a collection's journal is named after: the volume it lies on and the root folder on it.
// A volume with an identity (a card's or disk's UUID, a share's source) keeps its collections'
// journals wherever and in whichever reader it is mounted, and a different card in the same
// reader never finds them. Without one, or where the root's device is not the volume's (a btrfs
// subvolume), the root's device and inode name the journal, as they always have.

#include "Platform/Volume.h"

#include <QString>

struct JournalKey
{
    QString name;
    // The device and inode that named the journal before volumes were told apart, where that
    // name cannot have been another volume's (inode numbers that last): a journal kept under it
    // is used on.
    QString legacyName;

    // The key of the collection at `rootPath` (whose identity is `rootIdentity`, FileIdentity)
    // on `volume`. The root is the volume's identity and, where inode numbers last, the root's
    // inode, so a root renamed on its volume keeps its journal; elsewhere its path within the
    // volume, which stays the same in another reader or at another mount point.
    static JournalKey of(const Volume &volume, const QString &rootPath,
                         const QString &rootIdentity);
    // The same with the volume read from the mount table (see Volume::of).
    static JournalKey of(const QString &rootPath, const QString &rootIdentity);

    friend bool operator==(const JournalKey &, const JournalKey &) = default;
};
