#pragma once

// The text form of a file's identity on its volume: device and inode, e.g. "2049:1835012".
// It stays the same across renames and moves within the volume.

#include <QString>

#include <sys/types.h>

namespace FileIdentity {

inline QString text(dev_t device, ino_t inode)
{
    return QString::number(quint64(device)) + QLatin1Char(':') + QString::number(quint64(inode));
}

} // namespace FileIdentity
