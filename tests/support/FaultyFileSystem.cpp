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

std::optional<FileSystemError> FaultyFileSystem::intercept(Call call, const QString &path,
                                                           const QString &other)
{
    ++callCount;
    if (!hook) {
        return std::nullopt;
    }
    if (const std::optional<int> errnum = hook(call, path, other)) {
        return FileSystemError::system(*errnum,
                                       QStringLiteral("Injected failure at ") + quotedName(path));
    }
    return std::nullopt;
}

#define CALVENOR_INTERCEPT(call, ...)                                                             \
    if (std::optional<FileSystemError> injected = intercept(call, __VA_ARGS__)) {                 \
        return std::unexpected(*injected);                                                        \
    }

Result<QList<EntryInfo>> FaultyFileSystem::list(const QString &folder)
{
    CALVENOR_INTERCEPT(Call::list, folder)
    return LinuxFileSystem::list(folder);
}

Result<EntryInfo> FaultyFileSystem::stat(const QString &path, bool followLink)
{
    CALVENOR_INTERCEPT(Call::stat, path)
    return LinuxFileSystem::stat(path, followLink);
}

Result<void> FaultyFileSystem::moveNoReplace(const QString &source, const QString &destination)
{
    CALVENOR_INTERCEPT(Call::move, source, destination)
    return LinuxFileSystem::moveNoReplace(source, destination);
}

Result<void> FaultyFileSystem::copyNoReplace(const QString &source, const QString &destination)
{
    CALVENOR_INTERCEPT(Call::copy, source, destination)
    return LinuxFileSystem::copyNoReplace(source, destination);
}

Result<void> FaultyFileSystem::makeFolder(const QString &path)
{
    CALVENOR_INTERCEPT(Call::makeFolder, path)
    return LinuxFileSystem::makeFolder(path);
}

Result<void> FaultyFileSystem::removeFile(const QString &path)
{
    CALVENOR_INTERCEPT(Call::removeFile, path)
    return LinuxFileSystem::removeFile(path);
}

Result<void> FaultyFileSystem::removeEmptyFolder(const QString &path)
{
    CALVENOR_INTERCEPT(Call::removeFolder, path)
    return LinuxFileSystem::removeEmptyFolder(path);
}

Result<QString> FaultyFileSystem::moveToTrash(const QString &path)
{
    CALVENOR_INTERCEPT(Call::trash, path)
    return LinuxFileSystem::moveToTrash(path);
}
