#include "ImageTypeDetector.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Enough for every magic rule of shared-mime-info that matters for images.
constexpr qsizetype sniffLength = 16 * 1024;

// Reads the start of a regular file. Never follows a link and never waits on a FIFO that
// replaced the file after it was listed.
QByteArray readHead(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    QByteArray data;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        data.resize(sniffLength);
        const ssize_t got = ::read(fd, data.data(), size_t(sniffLength));
        data.resize(got > 0 ? got : 0);
    }
    ::close(fd);
    return data;
}

} // namespace

ImageKind ImageTypeDetector::kindOf(const QString &path, const QString &name) const
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot > 0 ? name.mid(dot + 1).toLower() : QString();
    if (!suffix.isEmpty()) {
        QMutexLocker locker(&m_mutex);
        if (const auto known = m_bySuffix.constFind(suffix); known != m_bySuffix.cend()) {
            return *known;
        }
    }
    const QList<QMimeType> byName = m_database.mimeTypesForFileName(name);
    QMimeType type;
    if (byName.size() == 1) {
        type = byName.first();
        if (!suffix.isEmpty()
            && type.globPatterns().contains(QStringLiteral("*.") + suffix, Qt::CaseInsensitive)) {
            const ImageKind kind = kindOfType(type);
            QMutexLocker locker(&m_mutex);
            m_bySuffix.insert(suffix, kind);
            return kind;
        }
    } else {
        // No known extension, or an ambiguous one: the content decides.
        type = m_database.mimeTypeForFileNameAndData(name, readHead(path));
    }
    return type.isValid() ? kindOfType(type) : ImageKind::none;
}

ImageKind ImageTypeDetector::kindOfType(const QMimeType &type) const
{
    const QString typeName = type.name();
    QMutexLocker locker(&m_mutex);
    if (const auto found = m_kinds.constFind(typeName); found != m_kinds.cend()) {
        return *found;
    }
    const auto isImageName = [](const QString &n) { return n.startsWith(QLatin1String("image/")); };
    const QStringList ancestors = type.allAncestors();
    ImageKind kind = ImageKind::none;
    if (isImageName(typeName) || std::any_of(ancestors.cbegin(), ancestors.cend(), isImageName)) {
        // Camera RAW files all descend from dcraw's type, whatever else (TIFF) they build on.
        static const QStringList modern{QStringLiteral("image/heif"), QStringLiteral("image/heic"),
                                        QStringLiteral("image/avif"), QStringLiteral("image/jxl")};
        static const QStringList lossless{QStringLiteral("image/png"), QStringLiteral("image/tiff"),
                                          QStringLiteral("image/webp")};
        const auto is = [&](const QStringList &names) {
            return names.contains(typeName)
                   || std::any_of(ancestors.cbegin(), ancestors.cend(),
                                  [&names](const QString &n) { return names.contains(n); });
        };
        if (typeName == QLatin1String("image/x-dcraw")
            || ancestors.contains(QLatin1String("image/x-dcraw"))) {
            kind = ImageKind::raw;
        } else if (typeName == QLatin1String("image/jpeg")) {
            kind = ImageKind::jpeg;
        } else if (is(modern)) {
            kind = ImageKind::modern;
        } else if (is(lossless)) {
            kind = ImageKind::lossless;
        } else {
            kind = ImageKind::other;
        }
    }
    if (typeName.startsWith(QLatin1String("video/"))) {
        kind = ImageKind::video;
    }
    m_kinds.insert(typeName, kind);
    return kind;
}
