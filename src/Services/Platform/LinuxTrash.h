#pragma once

// The freedesktop.org trash (Trash 1.0): the home trash, or $topdir/.Trash/$uid or
// $topdir/.Trash-$uid on other volumes. An item's .trashinfo is on disk before the item moves,
// and the item moves only through the seam's no-replace move, so the trash never replaces one.

#include "PlatformFileSystem.h"
#include "SystemCalls.h"

namespace LinuxTrash {

// $XDG_DATA_HOME/Trash, read from the environment at each call.
QString homeTrash();
// The info file is written and synced through `calls`; the item moves through `fileSystem`.
// See PlatformFileSystem::moveToTrash for when the home trash takes an item of another volume.
Result<QString> moveToTrash(PlatformFileSystem &fileSystem,
                            SystemCalls &calls,
                            const QString &path,
                            HomeTrash homeTrash,
                            const PlatformFileSystem::CopyNote &beforePublishing = {});
bool isTrashedItem(const QString &path);
void forgetTrashedItem(SystemCalls &calls, const QString &trashedPath);
// Items (present or not) whose .trashinfo records `originalPath`, in the home trash and the
// trashes of the path's volume.
QStringList itemsFrom(const QString &originalPath);

} // namespace LinuxTrash
