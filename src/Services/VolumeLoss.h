#pragma once

// Whether a failed disk call means that the volume under the collection is gone (a card pulled
// out, a share that stopped answering, the root folder itself removed or unmounted) rather than
// that one file could not be handled (no permission, a full disk, a taken name). A lost volume
// ends a batch where it stands: nothing more can be tried or put back there, and the journal's
// open batch is set right by recovery once the folder is opened again. Pure: the caller
// examines the root, and only when the error leaves the question open.

#include "Platform/PlatformFileSystem.h"

#include <functional>

namespace VolumeLoss {

// What an errno alone says.
enum class Sign {
    oneFile, // the file's own trouble
    gone,    // the device or the connection to it is gone
    askRoot, // either: whether the root folder is still there tells
};
Sign signOf(int systemError);

// Whether the root folder, examined now (`now`: its stat, links followed), is still the folder
// that had `identity` (FileIdentity) when the collection was opened. A lazily unmounted card
// leaves its mount point behind: a folder at the same path, on another device.
bool rootIsThere(const QString &identity, const Result<EntryInfo> &now);

// Whether `failure` means the volume is lost. `examineRoot` is called only when the errno
// leaves it open and the root's `identity` is known; without it, only the errno decides.
bool isLost(const FileSystemError &failure,
            const QString &rootIdentity,
            const std::function<Result<EntryInfo>()> &examineRoot);

} // namespace VolumeLoss
