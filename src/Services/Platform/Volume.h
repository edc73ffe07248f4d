#pragma once

// The volume a folder lies on, as the kernel's mount table (/proc/self/mountinfo) describes it:
// what kind of storage it is, and what that kind can and cannot do. `statfs` only says "FUSE"
// for sshfs, rclone and a memory card alike; the mount table's type and source tell them apart.
// Every strategy that depends on the volume (how a move avoids replacing, whether inode numbers
// identify files, whether inotify sees every change, which names it takes) asks this one place.

#include <QByteArrayView>
#include <QString>

#include <optional>

// What a volume refuses in a name, told before anything is tried on the disk.
struct NameRules
{
    // FAT, exFAT, NTFS with Windows names and SMB: no `\ : * ? " < > |`, no control characters,
    // no trailing dot or space.
    bool windowsNames = false;
    // The limit counts UTF-16 units (FAT, exFAT, NTFS) rather than UTF-8 bytes (Linux volumes).
    bool countsUtf16Units = false;
    int maxLength = 255;

    // Why `name` cannot be a file or folder name on the volume, in a sentence for the user
    // naming the character or the length; empty when it can. Empty names, "." and ".." and a
    // slash are refused on every volume.
    QString refusal(const QString &name) const;

    friend bool operator==(const NameRules &, const NameRules &) = default;
};

// One line of the mount table, its escapes (\040 for a space) undone.
struct MountEntry
{
    QString mountPoint; // "/media/ana/CARD"
    QString root;       // the folder of the file system mounted there: "/" but for bind mounts
    QString type;       // "ext4", "exfat", "fuseblk", "fuse.sshfs", "nfs4", "cifs"
    QString source;     // "/dev/sdb1", "ana@nas:/photos", "//nas/photos"
    bool readOnly = false; // mounted read-only (the mount's own options)
    // The device number its files report (st_dev), "8:17" in the table.
    quint64 device = 0;

    // One line of /proc/self/mountinfo; nothing for a line that does not parse.
    static std::optional<MountEntry> parse(QByteArrayView line);
    // Of every line in `table`, the last mount whose mount point contains `path` (an absolute,
    // clean path): the one that path reaches, as later mounts hide earlier ones.
    static std::optional<MountEntry> containing(QByteArrayView table, const QString &path);

    friend bool operator==(const MountEntry &, const MountEntry &) = default;
};

struct Volume
{
    enum class Kind {
        local,     // a disk of this machine (ext4, btrfs, tmpfs…)
        removable, // a memory card or USB disk (FAT, exFAT, NTFS)
        share,     // a network share (NFS, SMB, sshfs, gvfs, rclone)
        fuse,      // another FUSE file system (bindfs…)
    };

    MountEntry mount;
    Kind kind = Kind::local;
    // What the header calls the volume: the card's label, the share's host and path, or the
    // mount point's name. Empty for local disks.
    QString name;
    // Who the volume is, wherever it is mounted: "uuid:…" or "label:…" of a card or disk, or
    // "share:<type>:<source>" of a share. Empty where nothing better than the device number is
    // known (tmpfs, bind mounts of such).
    QString identity;
    // Whether inode numbers name one file for as long as it exists, across remounts and
    // renames, and two names of one file report one number. False on sshfs, rclone, exfat-fuse,
    // FAT and exFAT, whose numbers follow lookups or positions.
    bool stableInodes = true;
    // Whether inotify sees every change: false where other machines change the files (shares)
    // or where the FUSE program mirrors a folder changed behind its back.
    bool changesSeen = true;
    // Whether renameat2's RENAME_NOREPLACE works (it fails with EINVAL on FUSE and NFS).
    bool renamesWithoutReplacing = true;
    // Whether a folder keeps what it holds when renamed: fusefat renames the folder and loses
    // its files.
    bool renamesFolders = true;
    // The finest step of a modification time the volume keeps, in milliseconds (0: finer than
    // a millisecond).
    int timeResolutionMs = 0;
    NameRules names;
    // Mounted read-only, or the folder asked about cannot be written.
    bool readOnly = false;

    // What the mount table alone says of the volume of `entry` (no disk access): its kind,
    // name, the identity of a share, and the abilities its type has.
    static Volume describe(const MountEntry &entry);
    // The volume that holds `path`, from this process's mount table, with the identity of a
    // block device read from its UUID or label (BlockDeviceTags), and `readOnly` also true when `path` cannot be
    // written. A path the table does not cover (no /proc) is a local volume.
    static Volume of(const QString &path);

    // The path of `path` within the file system: the mount's root joined with what follows
    // the mount point. "/media/ana/CARD/DCIM" on a card mounted at /media/ana/CARD is "/DCIM".
    QString pathWithin(const QString &path) const;

    friend bool operator==(const Volume &, const Volume &) = default;
};
