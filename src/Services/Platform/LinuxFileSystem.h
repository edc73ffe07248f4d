#pragma once

// The real platform seam on Linux: readdir and lstat directly, because QDir skips names that
// are not valid UTF-8 and would hide entries from operations that must see them all.

#include "PlatformFileSystem.h"

class LinuxFileSystem : public PlatformFileSystem
{
public:
    Result<QList<EntryInfo>> list(const QString &folder) override;
    Result<EntryInfo> stat(const QString &path, bool followLink = false) override;
    Result<void> moveNoReplace(const QString &source, const QString &destination) override;
    Result<void> copyNoReplace(const QString &source, const QString &destination) override;
    Result<void> makeFolder(const QString &path) override;
    Result<void> removeFile(const QString &path) override;
    Result<void> removeEmptyFolder(const QString &path) override;
    Result<QString> moveToTrash(const QString &path) override;
    bool isTrashedItem(const QString &path) override;
    void forgetTrashedItem(const QString &trashedPath) override;
};
