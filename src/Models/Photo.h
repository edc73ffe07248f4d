#pragma once

// One supported image file of a collection. A plain value, safe to copy between threads.
// `id` is the file's identity (device and inode), so it survives renames and moves
// within a volume; everything else describes where and what the file is now.

#include "FileTime.h"

#include <QString>
#include <QUrl>

struct Photo
{
    QString id;
    QUrl url;
    QString filename;
    FileTime modificationDate;
    qint64 byteCount = 0;
    qint64 pixelWidth = 0;  // upright, after orientation; 0 until read or when unreadable
    qint64 pixelHeight = 0;

    // "4032 × 3024", or "—" while either dimension is unknown.
    QString dimensionsLabel() const;
    // width ÷ height, never below 0.05; 1.0 while either dimension is unknown.
    double aspectRatio() const;
    // Path, time and size: any change of the file gives a new thumbnail key.
    QString cacheKey() const;

    bool hasDimensions() const { return pixelWidth >= 1 && pixelHeight >= 1; }

    friend bool operator==(const Photo &, const Photo &) = default;
};

// Moved around in lists by memmove: inserting into a sorted 8,000-photo section stays cheap.
Q_DECLARE_TYPEINFO(Photo, Q_RELOCATABLE_TYPE);

size_t qHash(const Photo &photo, size_t seed = 0);

// Absolute, cleaned local path of a file URL (no dot segments, no doubled separators).
QString standardizedPath(const QUrl &url);
// The file URL of `name` inside `folder`.
QUrl childURL(const QUrl &folder, const QString &name);
