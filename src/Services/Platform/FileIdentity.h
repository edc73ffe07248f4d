#pragma once

// What tells one file from another on a volume, in text: device and inode, and, because a
// file system hands a deleted file's inode to the next new file at once, the birth time
// ("2049:1835012:b1700000000.000000042"). Where the file system keeps no birth time, a regular
// file carries its modification time and size instead ("…:m1700000000.5:s4096"); a folder,
// whose time and size change with every entry, only its device and inode. Records written
// before there were any of these parts hold the device and inode alone.
// Where inode numbers change across remounts and readers (exfat-fuse numbers files in the order
// they are looked up; every card's root is 1), the device and inode tell nothing, and a part
// "r<milliseconds>" says so and gives the volume's time resolution: such an identity carries
// the birth time where there is one and, but for a folder, the modification time and size
// ("1792:2:r1000:m1700000000.000000000:s4096").
// Identities survive renames and moves within the volume, and on cards a remount.

#include "PlatformFileSystem.h"

#include <QString>

#include <optional>
#include <sys/types.h>

namespace FileIdentity {

// Device and inode only: what photos are known by while the window shows them.
QString text(dev_t device, ino_t inode);
// The whole identity of a listed or examined entry, as moves and the journal record it.
QString of(const EntryInfo &entry);
// The device and inode part of an identity.
QString volumeKey(QStringView identity);

// Whether two identities name the same file. They must agree on device and inode, then on the
// birth time when both carry one, else on modification time and size when both carry them.
// A part only one side carries is not compared: an old record keeps the trust it had. An empty
// identity names nothing. When either says its numbers are not stable, device and inode are
// not compared, and each of birth time, modification time and size that both carry must agree,
// times to the coarser of the two resolutions (another reader of the card may keep less of
// them). A folder there is known by its place alone, as it has no stable time or size.
bool sameItem(QStringView a, QStringView b);
inline bool matches(QStringView recorded, const EntryInfo &entry)
{
    return sameItem(recorded, of(entry));
}

// The time an identity carries: the birth time, or the modification time without one.
std::optional<FileTime> recordedTime(QStringView identity);

} // namespace FileIdentity
