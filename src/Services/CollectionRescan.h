#pragma once

// Brings a shown collection up to date with the disk by listing again only the folders that
// may have changed: those our own moves touched and those the directory monitor reported.
// The whole collection is listed only when asked (Refresh, a monitor overflow) or when a
// folder's list of categories changed. Runs on a service thread against a snapshot of the
// shown collection (an implicitly shared copy, so taking it costs nothing) and hands back only
// what differs, so applying it on the window's thread is cheap however large the folder.
//
// A folder is first checked, then, only if it changed, listed into photos. The check lets go
// of the snapshot's photos before it lists anything: while the snapshot shares a section's
// photo list, the window's next number key would copy all of it to move one photo.

#include "FolderScanner.h"

#include <QSet>

struct CollectionUpdate
{
    // True when the collection was listed whole: `collection` then replaces the shown one.
    bool everything = false;
    PhotoCollection collection = {};
    // Otherwise the sections whose photos differ from the snapshot, by section id; every
    // other section is as the snapshot has it.
    QList<PhotoSection> sections = {};
    // Photos of the rescanned folders that are no longer in any of them.
    QSet<QString> goneIDs = {};
    // Folders the check found changed: to be scanned, against the collection shown by then.
    QSet<QString> changedFolders = {};
};

enum class RescanScope : quint8 {
    check,      // `folders` are compared with the snapshot; changed ones come back to be scanned
    scan,       // `folders` are listed into photos
    everything, // the whole collection is listed
};

namespace CollectionRescan {

// Checks or lists `folders` (cleaned paths: the root or category folders of `shown`), or lists
// the whole collection, as `scope` says. Pixel dimensions and capture times are carried over
// from `shown` for every file whose identity, time and size are unchanged; the others are left
// unknown.
Result<CollectionUpdate> run(const FolderScanner &scanner, PhotoCollection shown,
                             const QSet<QString> &folders, RescanScope scope,
                             PhotoSortOrder sortOrder, CompanionRule rule,
                             const CancelCheck &isCancelled = neverCancelled);

// Copies pixel dimensions and capture times from `known` into the photos of `fresh` that are
// the same file version (identity, modification time and size). `fresh`, sorted by `order`
// before, is sorted again when the capture times change where the order puts a photo.
void carryDimensions(QList<Photo> &fresh, const QList<Photo> &known, PhotoSortOrder order);

} // namespace CollectionRescan
