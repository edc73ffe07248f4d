#pragma once

// One row of the Browse views: a photo with the section that holds it.

#include "Photo.h"

struct BrowsePhotoItem
{
    Photo photo;
    QString sectionID;
    QString categoryName; // "Unsorted" for the Unsorted section

    const QString &id() const { return photo.id; }
    const QString &filename() const { return photo.filename; }
    QString filenameSortKey() const;
    QString categorySortKey() const;
    FileTime modificationDate() const { return photo.modificationDate; }
    qint64 byteCount() const { return photo.shotByteCount(); } // companions included
    qint64 pixelCount() const { return photo.pixelWidth * photo.pixelHeight; }

    friend bool operator==(const BrowsePhotoItem &, const BrowsePhotoItem &) = default;
};

size_t qHash(const BrowsePhotoItem &item, size_t seed = 0);
