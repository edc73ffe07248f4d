#pragma once

// The Unsorted section (the root's own photos) or one category folder with its photos,
// in the collection's current sort order.

#include "Photo.h"

#include <QList>

enum class PhotoSectionKind { unsorted, category };

QString rawValue(PhotoSectionKind kind);

struct PhotoSection
{
    QString id; // "unsorted:" or "category:" followed by the folder's identity
    PhotoSectionKind kind = PhotoSectionKind::unsorted;
    QUrl url;
    QString name;
    QList<Photo> photos;
    // Files lying in the folder whose on-disk names are not valid UTF-8: they cannot be shown
    // or moved by name, but the user is told they are there.
    qsizetype unreadableNameCount = 0;

    qsizetype count() const { return photos.size(); }

    friend bool operator==(const PhotoSection &, const PhotoSection &) = default;
};

Q_DECLARE_TYPEINFO(PhotoSection, Q_RELOCATABLE_TYPE);

size_t qHash(const PhotoSection &section, size_t seed = 0);
