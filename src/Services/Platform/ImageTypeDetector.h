#pragma once

// Tells whether a file is an image, the way a file manager does: the name's extension decides
// when the MIME database knows it; otherwise the first bytes of the content do. A type counts
// as an image when it is image/* or inherits from an image type; a video (video/*) is sorted like
// one. Thread-safe.

#include "Models/Companions.h"

#include <QHash>
#include <QMimeDatabase>
#include <QMutex>

class ImageTypeDetector
{
public:
    // `path` is read only when the name alone does not settle the type.
    bool isImage(const QString &path, const QString &name) const
    {
        return kindOf(path, name) != ImageKind::none;
    }
    // Which kind of picture the file holds (none when it is no image), read the same way.
    ImageKind kindOf(const QString &path, const QString &name) const;

private:
    ImageKind kindOfType(const QMimeType &type) const;

    QMimeDatabase m_database;
    mutable QMutex m_mutex;
    mutable QHash<QString, ImageKind> m_kinds; // by MIME type name
    // Verdicts for extensions that the database maps to one type by a plain "*.ext" pattern,
    // so most files are judged without a database lookup.
    mutable QHash<QString, ImageKind> m_bySuffix;
};
