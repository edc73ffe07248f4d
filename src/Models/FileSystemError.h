#pragma once

// Every failure of the file-system service, as a value. The message is what the user reads
// in an alert; `code` tells the cases apart and `systemError` keeps errno for platform errors.

#include <QString>
#include <QUrl>

#include <expected>

struct FileSystemError
{
    enum class Code {
        notDirectory,
        categoryAlreadyExists,
        categoryContainsFolders,
        invalidCategoryName,
        fileNoSuchFile,   // the folder that should receive a file is gone
        fileWriteUnknown, // the trash took the item but could not say where
        noVolumeTrash,    // the item's volume has no usable trash, and the home trash was refused
        cancelled,
        // The volume under the collection is gone (see VolumeLoss): the batch stopped where it
        // stood, its journal batch left open for recovery. The message and systemError are
        // those of the failure that showed it.
        volumeLost,
        platform, // any other failure of a system call; see systemError
    };

    Code code = Code::platform;
    QString message;
    int systemError = 0;

    static FileSystemError notDirectory(const QUrl &folder);
    static FileSystemError categoryAlreadyExists(const QString &name);
    static FileSystemError categoryContainsFolders(const QString &name);
    static FileSystemError invalidCategoryName();
    static FileSystemError noSuchFolder(const QString &path);
    static FileSystemError writeUnknown(const QString &path);
    // Nothing moved: the volume of `path` has no trash we can use (`errnum` says why), and
    // copying the item into the home trash on another disk was not allowed.
    static FileSystemError noVolumeTrash(const QString &path, int errnum);
    static FileSystemError cancelled();
    static FileSystemError volumeLost(const FileSystemError &failure);
    // "<what failed>: <reason>." e.g. "Couldn’t read the folder “Trips”: You don’t have
    // permission." The reason is in plain words; logText() has the system's own.
    static FileSystemError system(int errnum, const QString &whatFailed);
    // The plain words for errno `errnum`.
    static QString reason(int errnum);
    // The message with the system's text and code, for the log.
    QString logText() const;

    friend bool operator==(const FileSystemError &, const FileSystemError &) = default;
};

template<typename T>
using Result = std::expected<T, FileSystemError>;

// The name a message uses for a path: its last component, in curly quotes.
QString quotedName(const QString &path);
