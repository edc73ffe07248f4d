#include "VolumeLoss.h"

#include "Platform/FileIdentity.h"

#include <cerrno>

VolumeLoss::Sign VolumeLoss::signOf(int systemError)
{
    switch (systemError) {
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM: // a card reader with its card out
    case ENOTCONN:  // a FUSE daemon that died, a share that was cut off
        return Sign::gone;
    case EIO:    // a bad sector of one file, or the whole card gone
    case ESTALE: // a file another client removed, or the share's export gone
    case ENOENT: // a file removed, or the root it was in
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ECONNABORTED:
    case ECONNRESET:
        return Sign::askRoot;
    default:
        return Sign::oneFile;
    }
}

bool VolumeLoss::rootIsThere(const QString &identity, const Result<EntryInfo> &now)
{
    if (!now || !now->isDirectory()) {
        return false;
    }
    const QString nowIdentity = FileIdentity::of(*now);
    // The device comes first, and no mount keeps its device number for another volume. Where
    // inode numbers do not last, a folder's identity is its place, which the device still
    // tells apart from the mount point left behind.
    const auto device = [](const QString &text) {
        return QStringView(text).left(text.indexOf(QLatin1Char(':')));
    };
    return device(identity) == device(nowIdentity) && FileIdentity::sameItem(identity, nowIdentity);
}

bool VolumeLoss::isLost(const FileSystemError &failure,
                        const QString &rootIdentity,
                        const std::function<Result<EntryInfo>()> &examineRoot)
{
    if (failure.code == FileSystemError::Code::volumeLost) {
        return true;
    }
    switch (signOf(failure.systemError)) {
    case Sign::gone:
        return true;
    case Sign::askRoot:
        return !rootIdentity.isEmpty() && !rootIsThere(rootIdentity, examineRoot());
    case Sign::oneFile:
        return false;
    }
    return false;
}
