#pragma once

// The volumes a collection's folders lie on: the root's, and those mounted on folders inside
// it (a category that is itself a card or a share). Read once, off the window's thread, when a
// folder opens or is refreshed; the store then asks it, without touching the disk, what a
// folder's volume allows.

#include "Volume.h"

#include <QList>

struct CollectionVolumes
{
    Volume root;
    // Mounted below the root, each as seen at its mount point.
    QList<Volume> inside;

    // The volume that holds `folder` (an absolute, clean path in the collection): the innermost
    // mount inside the root that contains it, else the root's.
    const Volume &of(const QString &folder) const;

    // From this process's mount table, for the collection at `root`.
    static CollectionVolumes read(const QString &root);
};
