#pragma once

// The UUID and label of the file system on a block device: who a card or disk is, wherever
// and in whichever reader it is mounted. An unprivileged user often cannot read the device
// itself, so udev's links in /dev/disk are asked first.

#include <QString>

namespace BlockDeviceTags {

struct Tags
{
    QString uuid;
    QString label;

    friend bool operator==(const Tags &, const Tags &) = default;
};

// A tag as a link in /dev/disk/by-uuid or by-label names it: udev writes each byte outside
// [A-Za-z0-9#+-.:=@_] as \xNN ("EOS\x20R6").
QString fromLinkName(QStringView name);
// What a volume with `tags` is known by: "uuid:<UUID>", or "label:<LABEL>" without a UUID
// (a label alone is what FAT cards formatted by some cameras have); empty without either.
QString identity(const Tags &tags);

// The tags of the file system on `device` (a path in /dev): from the links below `diskFolder`
// that lead to it; else from the device, probed when it can be read; else from libblkid's
// cache of earlier probes. Empty where none of them knows.
Tags read(const QString &device, const QString &diskFolder = QStringLiteral("/dev/disk"));

} // namespace BlockDeviceTags
