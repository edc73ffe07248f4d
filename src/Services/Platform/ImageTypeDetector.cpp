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

bool ImageTypeDetector::isImage(const QString &path, const QString &name) const
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
            const bool conforms = conformsToImage(type);
            QMutexLocker locker(&m_mutex);
            m_bySuffix.insert(suffix, conforms);
            return conforms;
        }
    } else {
        // No known extension, or an ambiguous one: the content decides.
        type = m_database.mimeTypeForFileNameAndData(name, readHead(path));
    }
    return type.isValid() && conformsToImage(type);
}

bool ImageTypeDetector::conformsToImage(const QMimeType &type) const
{
    const QString typeName = type.name();
    QMutexLocker locker(&m_mutex);
    if (const auto found = m_conformance.constFind(typeName); found != m_conformance.cend()) {
        return *found;
    }
    const auto isImageName = [](const QString &n) { return n.startsWith(QLatin1String("image/")); };
    bool conforms = isImageName(typeName);
    if (!conforms) {
        const QStringList ancestors = type.allAncestors();
        conforms = std::any_of(ancestors.cbegin(), ancestors.cend(), isImageName);
    }
    m_conformance.insert(typeName, conforms);
    return conforms;
}
