#pragma once

// The file manager's name order and the photo ordering rule shared by the scanner and the
// store's in-memory re-sorts.
//
// Names compare letters without regard to case, runs of digits by value, following the
// current locale; case differences only break ties. Under the C/POSIX locale (CI, containers)
// English collation is used, because Qt ignores numeric mode there and IMG_10 would sort
// before IMG_2.

#include "Photo.h"
#include "TextEnums.h"

#include <QList>
#include <QStringList>

// < 0, 0, > 0 like strcmp. Thread-safe (one collator per thread).
int localizedStandardCompare(QStringView a, QStringView b);

// The ordering rule: by filename (ties by id); newest first (ties by filename); or by date
// taken, oldest first, as a shoot happened (ties by filename, then id, so the order is total
// and a photo filed away and back returns to its place).
bool photoPrecedes(const Photo &a, const Photo &b, PhotoSortOrder order);

// Where the date-taken order puts a photo: when it was taken (CaptureTime::moment), or, when
// its file does not say, when the file was last changed. A photo with neither (a file without
// a time) goes after all others.
FileTime takenOrderTime(const Photo &photo);

// Stable sort by the ordering rule. Collation keys are computed once per photo, so large
// sections sort at memcmp speed.
void sortPhotos(QList<Photo> &photos, PhotoSortOrder order);

// Stable sort of names in the file manager's order, no further tie-break.
void sortNames(QStringList &names);

// Case- and diacritic-insensitive form for sort keys ("Été" and "ete" fold alike).
QString foldedForSorting(const QString &text);
