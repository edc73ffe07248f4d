#pragma once

// The internal drag payload: the dragged photos' file URLs as JSON {"urls": [...]}.
// Only this application reads it; other applications get plain file URLs.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

struct PhotoDragPayload
{
    // The declared type identifier and the MIME type it travels under.
    static constexpr const char *calvenorPhotoSelection = "com.calvenor.photo-sorter.photo-selection";
    static constexpr const char *mimeType =
        "application/x-com.calvenor.photo-sorter.photo-selection";

    QList<QUrl> urls;

    QByteArray toJson() const;
    // Nothing when the data is not such an object or holds anything but an array of URLs.
    static std::optional<PhotoDragPayload> fromJson(const QByteArray &json);

    friend bool operator==(const PhotoDragPayload &, const PhotoDragPayload &) = default;
};
