#include "BookmarkStore.h"

#include <QCoreApplication>
#include <QCborArray>
#include <QCborMap>
#include <QCborStreamReader>
#include <QCborValue>
#include <QDir>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cerrno>

namespace {

const QString pathField = QStringLiteral("path");
const QString bookmarkField = QStringLiteral("bookmark");

// Paths typed, pasted or read from disk may arrive decomposed or precomposed; both name the
// same folder to the user, so they must not make two recent entries.
bool samePath(const QString &a, const QString &b)
{
    return a == b ||
           a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

FileSystemError folderNotFound(const QString &path)
{
    return {FileSystemError::Code::platform,
            QCoreApplication::translate("FileSystem", "The folder %1 can\u2019t be found.").arg(quotedName(path)),
            ENOENT};
}

// The Linux stand-in for a bookmark is only as good as the folder still being where it was.
Result<void> checkFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return std::unexpected(folderNotFound(path));
    }
    if (!info.isDir()) {
        return std::unexpected(FileSystemError::notDirectory(QUrl::fromLocalFile(path)));
    }
    return {};
}

// The folders of `entries` that still exist, in order. A damaged bookmark must not resolve
// relative to the working directory.
QList<QUrl> existingFolders(const QList<BookmarkStore::Entry> &entries)
{
    QList<QUrl> urls;
    for (const BookmarkStore::Entry &entry : entries) {
        const QString target = QString::fromUtf8(entry.bookmark);
        if (QDir::isAbsolutePath(target) && checkFolder(target)) {
            urls.append(QUrl::fromLocalFile(target));
        }
    }
    return urls;
}

Result<std::optional<QUrl>> resolveAmong(const QList<BookmarkStore::Entry> &entries,
                                         const QString &path)
{
    const auto entry = std::ranges::find_if(
        entries, [&](const BookmarkStore::Entry &candidate) { return samePath(candidate.path, path); });
    if (entry == entries.end()) {
        return std::nullopt;
    }
    const QString target = QString::fromUtf8(entry->bookmark);
    if (!QDir::isAbsolutePath(target)) {
        // A damaged bookmark must not resolve relative to the working directory.
        return std::unexpected(folderNotFound(entry->path));
    }
    if (Result<void> exists = checkFolder(target); !exists) {
        return std::unexpected(exists.error());
    }
    return QUrl::fromLocalFile(target);
}

} // namespace

BookmarkStore::BookmarkStore(std::shared_ptr<QSettings> settings)
    : m_settings(settings ? std::move(settings)
                          : std::make_shared<QSettings>(QStringLiteral("Calvenor"),
                                                        QStringLiteral("Photo Sorter")))
{
}

Result<void> BookmarkStore::save(const QUrl &folder, bool makeLast)
{
    const QString localPath = folder.isLocalFile() ? folder.toLocalFile() : QString();
    if (!QDir::isAbsolutePath(localPath)) {
        return std::unexpected(FileSystemError{
            FileSystemError::Code::platform,
            QCoreApplication::translate("FileSystem", "\u201C%1\u201D can\u2019t be remembered because it "
                                                  "isn\u2019t a folder on this computer.")
                .arg(folder.toDisplayString()),
            EINVAL});
    }
    const QString path = QDir::cleanPath(localPath);
    if (Result<void> exists = checkFolder(path); !exists) {
        return exists;
    }

    QList<Entry> entries = loadEntries();
    entries.removeIf([&](const Entry &entry) { return samePath(entry.path, path); });
    entries.prepend({path, path.toUtf8()});
    storeEntries(entries.first(std::min<qsizetype>(entries.size(), maxEntries)));
    if (makeLast) {
        m_settings->setValue(lastPathKey, path);
    }
    m_settings->sync(); // the list should survive a crash of this session
    return {};
}

Result<std::optional<QUrl>> BookmarkStore::resolve(const QString &path) const
{
    return resolveAmong(loadEntries(), path);
}

QFuture<Result<std::optional<QUrl>>> BookmarkStore::resolveInBackground(const QString &path) const
{
    return QtConcurrent::run(resolveAmong, loadEntries(), path);
}

QList<QUrl> BookmarkStore::resolvedRecentURLs() const
{
    return existingFolders(loadEntries());
}

QFuture<QList<QUrl>> BookmarkStore::resolveRecentURLsInBackground() const
{
    return QtConcurrent::run(existingFolders, loadEntries());
}

Result<std::optional<QUrl>> BookmarkStore::resolveLast() const
{
    const QVariant last = m_settings->value(lastPathKey);
    if (!last.isValid()) {
        return std::nullopt;
    }
    return resolve(last.toString());
}

QFuture<Result<std::optional<QUrl>>> BookmarkStore::resolveLastInBackground() const
{
    const QVariant last = m_settings->value(lastPathKey);
    if (!last.isValid()) {
        return QtFuture::makeReadyFuture(Result<std::optional<QUrl>>(std::nullopt));
    }
    return resolveInBackground(last.toString());
}

void BookmarkStore::clearRecents(bool keepingLast)
{
    QList<Entry> kept;
    if (keepingLast) {
        const QVariant last = m_settings->value(lastPathKey);
        if (last.isValid()) {
            kept = loadEntries();
            kept.removeIf(
                [&](const Entry &entry) { return !samePath(entry.path, last.toString()); });
        }
    } else {
        m_settings->remove(lastPathKey);
    }
    storeEntries(kept);
    m_settings->sync();
}

QList<BookmarkStore::Entry> BookmarkStore::loadEntries() const
{
    const QVariant stored = m_settings->value(entriesKey);
    if (stored.typeId() != QMetaType::QByteArray) {
        return {};
    }
    const QByteArray bytes = stored.toByteArray();
    QCborStreamReader reader(bytes);
    const QCborValue value = QCborValue::fromCbor(reader);
    // Trailing bytes mean the value was not written by us whole; trust none of it.
    if (reader.lastError() != QCborError::NoError || reader.currentOffset() != bytes.size() ||
        !value.isArray()) {
        return {};
    }
    QList<Entry> entries;
    for (const QCborValue &item : value.toArray()) {
        const QCborMap map = item.toMap();
        const QCborValue path = map.value(pathField);
        const QCborValue bookmark = map.value(bookmarkField);
        if (!item.isMap() || !path.isString() || !bookmark.isByteArray()) {
            return {};
        }
        entries.append({path.toString(), bookmark.toByteArray()});
    }
    return entries;
}

void BookmarkStore::storeEntries(const QList<Entry> &entries)
{
    QCborArray array;
    for (const Entry &entry : entries) {
        array.append(QCborMap{{pathField, entry.path}, {bookmarkField, entry.bookmark}});
    }
    m_settings->setValue(entriesKey, QCborValue(array).toCbor());
}
