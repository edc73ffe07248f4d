#pragma once

// One photo of a collection: a shot, shown by one supported image file, with the companions
// that travel with it (a RAW beside its JPEG, sidecars). A plain value, safe to copy between
// threads. `id` is the shown file's identity (device and inode), so it survives renames and
// moves within a volume; everything else describes where and what the file is now.

#include "CaptureTime.h"
#include "Companions.h"
#include "FileTime.h"

#include <QList>
#include <QString>
#include <QUrl>

// A file that travels with a photo. It always lies in the photo's folder.
struct Companion
{
    QString filename;
    QString id;
    FileTime modificationDate;
    qint64 byteCount = 0;
    ImageKind kind = ImageKind::none; // none for a sidecar

    friend bool operator==(const Companion &, const Companion &) = default;
};

struct Photo
{
    QString id;
    QUrl url;
    QString filename;
    FileTime modificationDate;
    qint64 byteCount = 0;
    qint64 pixelWidth = 0;  // upright, after orientation; 0 until read or when unreadable
    qint64 pixelHeight = 0;
    // When it was taken, as its file records it; read with the dimensions, none until then or
    // when the file does not say.
    std::optional<CaptureTime> captureTime = {};
    qint64 durationMs = 0;      // a video's length, read with the dimensions; 0 for a still
    bool embeddedVideo = false; // a motion photo: a video lies in the file after the picture
    ImageKind kind = ImageKind::other;
    QList<Companion> companions = {}; // the shown file comes first in member lists below

    // "4032 × 3024", or "—" while either dimension is unknown.
    QString dimensionsLabel() const;
    // A video's length as a clock reads it ("0:12", "1:02:03"); empty for a still or while
    // unknown.
    QString durationLabel() const;
    // Any length so ("0:12"); empty for 0.
    static QString durationText(qint64 durationMs);
    // width ÷ height, never below 0.05; 1.0 while either dimension is unknown.
    double aspectRatio() const;
    // Path, time and size: any change of the file gives a new thumbnail key.
    QString cacheKey() const;

    bool hasDimensions() const { return pixelWidth >= 1 && pixelHeight >= 1; }

    // Every file of the shot, the shown one first.
    QList<QUrl> memberURLs() const;
    QStringList memberNames() const;
    // Gives the shot new names (as many as memberNames(), in the same order).
    void renameMembers(const QStringList &names);
    // Bytes of all members together.
    qint64 shotByteCount() const;
    // What travels with the photo ("RAW+JPG+XMP", "LIVE", "MOTION" for a video inside the
    // file), empty when nothing does.
    QString companionBadge() const;

    friend bool operator==(const Photo &, const Photo &) = default;
};

// Moved around in lists by memmove: inserting into a sorted 8,000-photo section stays cheap.
Q_DECLARE_TYPEINFO(Photo, Q_RELOCATABLE_TYPE);

size_t qHash(const Photo &photo, size_t seed = 0);

// Absolute, cleaned local path of a file URL (no dot segments, no doubled separators).
QString standardizedPath(const QUrl &url);
// The file URL of `name` inside `folder`.
QUrl childURL(const QUrl &folder, const QString &name);
