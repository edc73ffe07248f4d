#pragma once

// Remembers the folders the user opened, across launches: up to 20 recent folders, most recent
// first and unique by path, plus the path of the last collection. Every operation reads the
// settings afresh and writes whole values back, so copies sharing one QSettings stay in step.

#include "Models/FileSystemError.h"

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QSettings>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class BookmarkStore
{
public:
    struct Entry
    {
        QString path;        // standardized absolute path when saved; the entry's identity
        QByteArray bookmark; // persistent reference to the folder (on Linux: its path in UTF-8)

        friend bool operator==(const Entry &, const Entry &) = default;
    };

    static constexpr int maxEntries = 20;
    static inline const QString entriesKey = QStringLiteral("securityScopedBookmarks");
    static inline const QString lastPathKey = QStringLiteral("lastCollectionPath");

    // Without settings, uses the application's own (organization "Calvenor", "Photo Sorter").
    explicit BookmarkStore(std::shared_ptr<QSettings> settings = {});

    // Fails, writing nothing, when the URL is not an absolute local folder that exists.
    Result<void> save(const QUrl &folder, bool makeLast);
    // No URL when no entry has `path`; fails when the entry's folder is gone.
    Result<std::optional<QUrl>> resolve(const QString &path) const;
    // The entries that resolve, in stored order; broken entries are skipped but stay stored.
    QList<QUrl> resolvedRecentURLs() const;
    // The same, the entries read here and their folders checked on a worker thread: a recent
    // folder on a share that does not answer never holds up the caller.
    QFuture<QList<QUrl>> resolveRecentURLsInBackground() const;
    Result<std::optional<QUrl>> resolveLast() const;
    // resolve and resolveLast with the folder checked on a worker thread (the entries are read
    // here): a folder on a share that does not answer never holds up the caller.
    QFuture<Result<std::optional<QUrl>>> resolveInBackground(const QString &path) const;
    QFuture<Result<std::optional<QUrl>>> resolveLastInBackground() const;
    void clearRecents(bool keepingLast);
    // Missing, undecodable or wrongly shaped data gives no entries.
    QList<Entry> loadEntries() const;

private:
    void storeEntries(const QList<Entry> &entries);

    std::shared_ptr<QSettings> m_settings;
};
