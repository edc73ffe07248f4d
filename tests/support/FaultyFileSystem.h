#pragma once

// The real Linux seam with a hook in front of every call, so a test can make any call fail
// (return an errno), count calls, or change the disk just before a call runs (races).

#include "Services/Platform/LinuxFileSystem.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class FaultyFileSystem : public LinuxFileSystem
{
public:
    enum class Call { list, names, stat, move, copy, makeFolder, removeFile, removeFolder, trash };

    // Returns an errno to fail the call with, or nothing to let it run.
    using Hook = std::function<std::optional<int>(Call call, const QString &path,
                                                  const QString &other)>;
    Hook hook;
    // Atomic: a scan of a share lists several folders at once.
    std::atomic<int> callCount = 0;
    std::atomic<int> injectedCount = 0;

    // Fails the n-th call (counted from 1) of `kind`, once; other calls run normally.
    // Once any call has failed, real or injected, nothing more is injected: the clean-up after
    // a failure (rollback) runs against the real disk. reset() starts over.
    void failNth(Call kind, int n, int errnum = EIO);
    // From the n-th call of `kind` on, every call of every kind fails with `errnum`, as on a
    // card pulled out: the rule above does not hold, nothing works again until reset().
    void failFrom(Call kind, int n, int errnum = EIO);
    void reset();
    // A file system that asks `hook` before every call of `kind`, with its path.
    static std::shared_ptr<FaultyFileSystem>
    hookedOn(Call kind, std::function<std::optional<int>(const QString &path)> hook)
    {
        auto fs = std::make_shared<FaultyFileSystem>();
        fs->hook = [kind, hook = std::move(hook)](Call call, const QString &path, const QString &) {
            return call == kind ? hook(path) : std::nullopt;
        };
        return fs;
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

    // Gives the volumes of a collection instead of the mount table, when set: a card, a share
    // or a read-only volume without mounting one.
    std::function<CollectionVolumes(const QString &root)> volumeLookup;
    CollectionVolumes volumes(const QString &root) override
    {
        return volumeLookup ? volumeLookup(root) : LinuxFileSystem::volumes(root);
    }

private:
    template<typename T>
    T noted(T result)
    {
        if (!result.has_value()) {
            m_sawFailure = true;
        }
        return result;
    }
    std::atomic<bool> m_sawFailure = false;
    std::atomic<int> m_goneWith = 0; // the errno every call fails with, once the volume is gone

    std::optional<FileSystemError> intercept(Call call, const QString &path,
                                             const QString &other = {});
};
