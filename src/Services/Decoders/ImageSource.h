#pragma once

// An image file opened the safe way for a decoder: a regular file (never a FIFO or device that
// would block a reader), reached without following a link, below a size cap, read through its
// descriptor so a file swapped in under the same name afterwards is never read instead.
// Decoders read through `readAt`, or open `procPath()` when a library insists on a path.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QImageReader;

class ImageSource
{
public:
    // Larger files are not believed to be photos (and would cost too much memory to decode).
    static constexpr qint64 maximumFileSize = qint64(1) << 30;
    // A video is read a frame at a time, never whole: a long 4K clip is believed up to this.
    static constexpr qint64 maximumVideoSize = qint64(1) << 40;
    // True when the name's extension is a video type's.
    static bool isVideoName(const QString &path);
    // Bytes read at open: every header we read fits, except a JPEG whose EXIF block carries a
    // big preview.
    static constexpr qint64 headLength = 64 * 1024;

    ~ImageSource();
    ImageSource(ImageSource &&other) noexcept;
    ImageSource &operator=(ImageSource &&other) noexcept;
    ImageSource(const ImageSource &) = delete;
    ImageSource &operator=(const ImageSource &) = delete;

    // The file at `path`, or nothing when it is missing, not a regular file, a link, or over
    // the size cap.
    static std::optional<ImageSource> open(const QString &path);

    const QString &path() const { return m_path; }
    int descriptor() const { return m_fd; }
    qint64 size() const { return m_size; }
    // The first headLength bytes (fewer for a smaller file).
    const QByteArray &head() const { return m_head; }
    // `length` bytes at `offset`; fewer at the end of the file or on an error.
    QByteArray readAt(qint64 offset, qint64 length) const;
    // readAt as a function for the box and XMP parsers, served from the head already in memory
    // where it can be (the boxes and metadata usually lie there). Valid while this lives.
    std::function<QByteArray(qint64 offset, qint64 length)> reader() const;
    // The whole file, when it is at most `limit` bytes; otherwise nothing.
    std::optional<QByteArray> readAll(qint64 limit) const;
    // "/proc/self/fd/N": the opened file itself, for libraries that only take a path.
    QString procPath() const;
    // The lower-case extension of the file name ("jpg"), a hint for readers that probe.
    QByteArray suffix() const;
    // Qt's name of the format the first bytes show ("jpeg", "png"), for the formats photos
    // mostly come in; empty for the rest. See readerFormat().
    QByteArray contentFormat() const;
    // Has `reader` read `format` (when known) with that format's reader alone. Left to find
    // the format, or even told it, a reader tries Qt's image plugins in turn: the first read
    // loads every one of them (TIFF and WebP with their libraries), and each read asks them.
    static void readerFormat(QImageReader &reader, const QByteArray &format);

private:
    ImageSource(QString path, int fd, qint64 size);

    QString m_path;
    int m_fd = -1;
    qint64 m_size = 0;
    QByteArray m_head;
};
