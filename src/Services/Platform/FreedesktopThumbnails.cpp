#include "FreedesktopThumbnails.h"

#include "Services/Decoders/ImageSource.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QUrl>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Flavour
{
    QLatin1StringView folder;
    int size;
};

// The sizes the standard defines, smallest first.
constexpr Flavour flavours[] = {{QLatin1StringView("normal"), 128},
                                {QLatin1StringView("large"), 256},
                                {QLatin1StringView("x-large"), 512},
                                {QLatin1StringView("xx-large"), 1024}};

// No conforming thumbnail is larger than its flavour; a file claiming much more is refused
// before it is decoded.
constexpr int largestAcceptedSide = 2048;

// Larger than any thumbnail PNG a file manager writes, even for 1024 pixels.
constexpr qint64 largestAcceptedFile = qint64(32) * 1024 * 1024;

// The text chunks of a PNG, keyed by their keyword. Qt's PNG reader splits keys at ':' and so
// loses "Thumb::URI"; the chunks are few and short, so they are read here. Compressed text is
// skipped: thumbnailers write these keys uncompressed.
QHash<QByteArray, QByteArray> pngTexts(const QByteArray &png)
{
    QHash<QByteArray, QByteArray> texts;
    if (!png.startsWith(QByteArrayView("\x89PNG\r\n\x1a\n", 8))) {
        return texts;
    }
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArrayView type(png.constData() + at + 4, 4);
        if (length > quint64(png.size() - at - 12) || type == "IEND") {
            break;
        }
        const QByteArrayView data(png.constData() + at + 8, length);
        const qsizetype keyEnd = data.indexOf('\0');
        if (keyEnd > 0 && type == "tEXt") {
            texts.insert(data.first(keyEnd).toByteArray(), data.sliced(keyEnd + 1).toByteArray());
        } else if (keyEnd > 0 && type == "iTXt" && data.size() > keyEnd + 2 &&
                   data.at(keyEnd + 1) == 0) {
            // keyword, compression flag and method, language tag, translated keyword, text
            const qsizetype languageEnd = data.indexOf('\0', keyEnd + 3);
            const qsizetype translatedEnd =
                languageEnd < 0 ? -1 : data.indexOf('\0', languageEnd + 1);
            if (translatedEnd >= 0) {
                texts.insert(data.first(keyEnd).toByteArray(),
                             data.sliced(translatedEnd + 1).toByteArray());
            }
        }
        at += 12 + qsizetype(length);
    }
    return texts;
}

bool matches(const QByteArray &png, const QString &uri, qint64 mtime)
{
    const auto texts = pngTexts(png);
    bool ok = false;
    const qint64 thumbTime =
        texts.value(QByteArrayLiteral("Thumb::MTime")).trimmed().toLongLong(&ok);
    return ok && thumbTime == mtime &&
           QString::fromUtf8(texts.value(QByteArrayLiteral("Thumb::URI"))) == uri;
}

QImage readValid(const QString &thumbnailPath, const QString &uri, qint64 mtime, int neededPixels)
{
    const int fd = ::open(QFile::encodeName(thumbnailPath).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    struct stat st;
    QByteArray png;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= largestAcceptedFile) {
        png.resize(st.st_size);
        const ssize_t got = png.isEmpty() ? 0 : ::pread(fd, png.data(), size_t(png.size()), 0);
        png.resize(got > 0 ? got : 0);
    }
    ::close(fd);
    if (png.isEmpty() || !matches(png, uri, mtime)) {
        return {};
    }
    QBuffer buffer(&png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    ImageSource::readerFormat(reader, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > largestAcceptedSide ||
        size.height() > largestAcceptedSide ||
        std::max(size.width(), size.height()) < neededPixels) {
        return {};
    }
    return reader.read();
}

} // namespace

namespace FreedesktopThumbnails {

QString fileUri(const QString &path)
{
    return QLatin1StringView("file://") +
           QString::fromLatin1(QUrl::toPercentEncoding(path, "/!$&'()*+,:=@"));
}

QString cacheRoot()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + QLatin1StringView("/.cache");
    }
    return base + QLatin1StringView("/thumbnails");
}

QImage find(const QString &path, int neededPixels)
{
    if (neededPixels > flavours[std::size(flavours) - 1].size) {
        return {};
    }
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return {};
    }
    const QString uri = fileUri(path);
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex() +
        QByteArrayLiteral(".png"));
    const QString root = cacheRoot();
    for (const Flavour &flavour : flavours) {
        if (flavour.size < neededPixels) {
            continue;
        }
        QImage image = readValid(root + QLatin1Char('/') + flavour.folder + QLatin1Char('/') + name,
                                 uri, qint64(st.st_mtim.tv_sec), neededPixels);
        if (image.isNull()) {
            continue;
        }
        const QSize size = image.size();
        if (std::max(size.width(), size.height()) > neededPixels) {
            image = image.scaled(size.scaled(neededPixels, neededPixels, Qt::KeepAspectRatio)
                                     .expandedTo(QSize(1, 1)),
                                 Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        return image;
    }
    return {};
}

} // namespace FreedesktopThumbnails
