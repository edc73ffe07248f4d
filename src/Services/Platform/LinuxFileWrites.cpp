// Placeholder implementations; the real ones replace this file.
#include "LinuxFileSystem.h"

#include <cerrno>

namespace {
FileSystemError notYet(const QString &path)
{
    return FileSystemError::system(ENOSYS, QStringLiteral("Couldn\u2019t change ") + quotedName(path));
}
} // namespace

Result<void> LinuxFileSystem::moveNoReplace(const QString &source, const QString &)
{
    return std::unexpected(notYet(source));
}
Result<void> LinuxFileSystem::copyNoReplace(const QString &source, const QString &)
{
    return std::unexpected(notYet(source));
}
Result<void> LinuxFileSystem::makeFolder(const QString &path)
{
    return std::unexpected(notYet(path));
}
Result<void> LinuxFileSystem::removeFile(const QString &path)
{
    return std::unexpected(notYet(path));
}
Result<void> LinuxFileSystem::removeEmptyFolder(const QString &path)
{
    return std::unexpected(notYet(path));
}
Result<QString> LinuxFileSystem::moveToTrash(const QString &path)
{
    return std::unexpected(notYet(path));
}
bool LinuxFileSystem::isTrashedItem(const QString &)
{
    return false;
}
void LinuxFileSystem::forgetTrashedItem(const QString &) {}
