#include "FaultyFileSystem.h"

void FaultyFileSystem::failNth(Call kind, int n, int errnum)
{
    auto seen = std::make_shared<int>(0);
    hook = [=](Call call, const QString &, const QString &) -> std::optional<int> {
        if (call == kind && ++*seen == n) {
            return errnum;
        }
        return std::nullopt;
    };
}

void FaultyFileSystem::failFrom(Call kind, int n, int errnum)
{
    auto seen = std::make_shared<int>(0);
    hook = [=, this](Call call, const QString &, const QString &) -> std::optional<int> {
        if (call == kind && ++*seen == n) {
            m_goneWith = errnum;
            return errnum;
        }
        return std::nullopt;
    };
}

void FaultyFileSystem::reset()
{
    hook = {};
    m_goneWith = 0;
    m_sawFailure = false;
    injectedCount = 0;
}

std::optional<FileSystemError> FaultyFileSystem::intercept(Call call, const QString &path,
                                                           const QString &other)
{
    ++callCount;
    if (const int errnum = m_goneWith) {
        ++injectedCount;
        return FileSystemError::system(errnum,
                                       QStringLiteral("Injected failure at ") + quotedName(path));
    }
    if (!hook || m_sawFailure) {
        return std::nullopt;
    }
    if (const std::optional<int> errnum = hook(call, path, other)) {
        m_sawFailure = true;
        ++injectedCount;
        return FileSystemError::system(*errnum,
                                       QStringLiteral("Injected failure at ") + quotedName(path));
    }
    return std::nullopt;
}

#define CALVENOR_INTERCEPT(call, ...)                                                             \
    if (std::optional<FileSystemError> injected = intercept(call, __VA_ARGS__)) {                 \
        return std::unexpected(*injected);                                                        \
    }

Result<QList<EntryInfo>> FaultyFileSystem::list(const QString &folder, const ListingWatch &watch)
{
    CALVENOR_INTERCEPT(Call::list, folder)
    return noted(LinuxFileSystem::list(folder, watch));
}

Result<void> FaultyFileSystem::visit(const QString &folder,
                                     const std::function<void(const EntryInfo &)> &visitor,
                                     const ListingWatch &watch)
{
    CALVENOR_INTERCEPT(Call::list, folder)
    return noted(LinuxFileSystem::visit(folder, visitor, watch));
}

Result<void> FaultyFileSystem::visitNames(const QString &folder,
                                          const std::function<void(const QString &)> &visitor)
{
    CALVENOR_INTERCEPT(Call::names, folder)
    return noted(LinuxFileSystem::visitNames(folder, visitor));
}

Result<EntryInfo> FaultyFileSystem::stat(const QString &path, bool followLink)
{
    CALVENOR_INTERCEPT(Call::stat, path)
    return noted(LinuxFileSystem::stat(path, followLink));
}

Result<void> FaultyFileSystem::moveNoReplace(const QString &source, const QString &destination,
                                             const CopyNote &beforePublishing)
{
    CALVENOR_INTERCEPT(Call::move, source, destination)
    return noted(LinuxFileSystem::moveNoReplace(source, destination, beforePublishing));
}

Result<void> FaultyFileSystem::copyNoReplace(const QString &source, const QString &destination)
{
    CALVENOR_INTERCEPT(Call::copy, source, destination)
    return noted(LinuxFileSystem::copyNoReplace(source, destination));
}

Result<void> FaultyFileSystem::makeFolder(const QString &path)
{
    CALVENOR_INTERCEPT(Call::makeFolder, path)
    return noted(LinuxFileSystem::makeFolder(path));
}

Result<void> FaultyFileSystem::removeFile(const QString &path)
{
    CALVENOR_INTERCEPT(Call::removeFile, path)
    return noted(LinuxFileSystem::removeFile(path));
}

Result<void> FaultyFileSystem::removeEmptyFolder(const QString &path)
{
    CALVENOR_INTERCEPT(Call::removeFolder, path)
    return noted(LinuxFileSystem::removeEmptyFolder(path));
}

Result<QString> FaultyFileSystem::moveToTrash(const QString &path,
                                              HomeTrash homeTrash,
                                              const CopyNote &beforePublishing)
{
    CALVENOR_INTERCEPT(Call::trash, path)
    return noted(LinuxFileSystem::moveToTrash(path, homeTrash, beforePublishing));
}
