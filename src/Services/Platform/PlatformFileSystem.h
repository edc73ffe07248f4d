#pragma once

// The thin seam between the file-system service and the operating system. Every disk call of
// the service goes through one of these functions, so tests can make any call fail.
// Paths are absolute local paths; links are never followed.

#include "Models/FileSystemError.h"
#include "Models/FileTime.h"

#include <QList>
#include <QString>

enum class EntryType { directory, regularFile, symbolicLink, other, unknown };

// One listed entry with the attributes the service needs, read with a single lstat.
struct EntryInfo
{
    QString name;
    // False when the on-disk name is not valid UTF-8: such an entry could not be opened
    // again by its decoded name.
    bool nameIsValid = true;
    // False when the entry vanished or could not be examined after it was listed.
    bool hasAttributes = true;
    EntryType type = EntryType::unknown;
    FileTime modificationTime;
    qint64 size = 0;
    QString identity; // "device:inode"

    bool isHidden() const { return name.startsWith(QLatin1Char('.')); }
    bool isDirectory() const { return type == EntryType::directory; }
    bool isRegularFile() const { return type == EntryType::regularFile; }

    friend bool operator==(const EntryInfo &, const EntryInfo &) = default;
};

class PlatformFileSystem
{
public:
    virtual ~PlatformFileSystem() = default;

    // Every entry of a folder (hidden ones and undecodable names included), in listing order.
    virtual Result<QList<EntryInfo>> list(const QString &folder) = 0;
    // The entry at a path. A final symbolic link is followed only when asked (the root folder a
    // user picked may be reached through one; entries inside it never are).
    virtual Result<EntryInfo> stat(const QString &path, bool followLink = false) = 0;
};
