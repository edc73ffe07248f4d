#pragma once

// The real platform seam on Linux: readdir and statx directly, because QDir skips names that
// are not valid UTF-8 and would hide entries from operations that must see them all.

#include "DeviceVolumes.h"
#include "PlatformFileSystem.h"
#include "SystemCalls.h"

#include <memory>

class LinuxFileSystem : public PlatformFileSystem
{
public:
    LinuxFileSystem()
        : m_calls(SystemCalls::kernel())
    {
    }
    // Moves, copies, folders and the trash's info files make their system calls through
    // `calls`, so a test can watch their order, die at one, or change the disk between two.
    explicit LinuxFileSystem(std::shared_ptr<SystemCalls> calls)
        : m_calls(std::move(calls))
    {
    }

    Result<QList<EntryInfo>> list(const QString &folder, const ListingWatch &watch = {}) override;
    Result<void> visit(const QString &folder, const std::function<void(const EntryInfo &)> &visitor,
                       const ListingWatch &watch = {}) override;
    Result<void> visitNames(const QString &folder,
                            const std::function<void(const QString &)> &visitor) override;
    Result<EntryInfo> stat(const QString &path, bool followLink = false) override;
    Result<void> moveNoReplace(const QString &source, const QString &destination,
                               const CopyNote &beforePublishing = {}) override;
    Result<void> copyNoReplace(const QString &source, const QString &destination) override;
    Result<void> makeFolder(const QString &path) override;
    Result<void> removeFile(const QString &path) override;
    Result<void> removeEmptyFolder(const QString &path) override;
    Result<QString> moveToTrash(const QString &path,
                                HomeTrash homeTrash,
                                const CopyNote &beforePublishing = {}) override;
    bool isTrashedItem(const QString &path) override;
    void forgetTrashedItem(const QString &trashedPath) override;
    QStringList trashedItemsFrom(const QString &originalPath) override;
    CollectionVolumes volumes(const QString &root) override
    {
        return CollectionVolumes::read(root);
    }

private:
    std::shared_ptr<SystemCalls> m_calls;
    // Which devices number their files for good, for the identities of the entries read.
    std::shared_ptr<DeviceVolumes> m_volumes = DeviceVolumes::ofThisProcess();
};
