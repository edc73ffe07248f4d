#include "Volume.h"

#include "BlockDeviceTags.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The mount table writes a space, tab, newline and backslash in paths as \ooo.
QString unescaped(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3'
            && field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0'
            && field[i + 3] <= '7') {
            bytes.append(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8
                              + (field[i + 3] - '0')));
            i += 3;
        } else {
            bytes.append(c);
        }
    }
    return QFile::decodeName(bytes);
}

bool hasOption(QByteArrayView options, QByteArrayView option)
{
    for (const QByteArrayView part : QLatin1StringView(options.data(), options.size()).tokenize(
             QLatin1Char(','))) {
        if (part == option) {
            return true;
        }
    }
    return false;
}

// Whether `path` is `mountPoint` or lies inside it.
bool liesIn(const QString &path, const QString &mountPoint)
{
    if (mountPoint == QLatin1String("/")) {
        return path.startsWith(QLatin1Char('/'));
    }
    return path.startsWith(mountPoint)
           && (path.size() == mountPoint.size() || path.at(mountPoint.size()) == QLatin1Char('/'));
}

struct TypeTraits
{
    const char *type;
    Volume::Kind kind;
    bool stableInodes;
    bool changesSeen;
    int timeResolutionMs;
    bool windowsNames;
};

// What each file system a photographer meets can do, as measured on real mounts. Types not
// listed are local disks (stable, seen, fine times, Linux names) or, behind FUSE, another FUSE
// file system (see describe).
constexpr std::array traits{
    TypeTraits{"vfat", Volume::Kind::removable, false, true, 2000, true},
    TypeTraits{"msdos", Volume::Kind::removable, false, true, 2000, true},
    TypeTraits{"exfat", Volume::Kind::removable, false, true, 10, true},
    TypeTraits{"ntfs", Volume::Kind::removable, true, true, 0, true},
    TypeTraits{"ntfs3", Volume::Kind::removable, true, true, 0, true},
    // A FUSE program on a block device: exfat-fuse or ntfs-3g, whose abilities are the weaker.
    TypeTraits{"fuseblk", Volume::Kind::removable, false, true, 1000, true},
    TypeTraits{"fuse.fusefat", Volume::Kind::removable, false, true, 2000, true},
    TypeTraits{"nfs", Volume::Kind::share, true, false, 0, false},
    TypeTraits{"nfs4", Volume::Kind::share, true, false, 0, false},
    TypeTraits{"cifs", Volume::Kind::share, true, false, 0, true},
    TypeTraits{"smb3", Volume::Kind::share, true, false, 0, true},
    TypeTraits{"fuse.sshfs", Volume::Kind::share, false, false, 1000, false},
    TypeTraits{"fuse.rclone", Volume::Kind::share, false, false, 1000, false},
    TypeTraits{"fuse.smbnetfs", Volume::Kind::share, false, false, 1000, true},
    // gvfs may be SMB behind: its names are held to Windows rules.
    TypeTraits{"fuse.gvfsd-fuse", Volume::Kind::share, false, false, 1000, true},
};

// "ana@nas:/photos" → "nas:/photos"; "//nas/photos" stays.
QString shareName(const QString &source)
{
    const qsizetype at = source.indexOf(QLatin1Char('@'));
    const qsizetype colon = source.indexOf(QLatin1Char(':'));
    return at >= 0 && (colon < 0 || at < colon) ? source.mid(at + 1) : source;
}

} // namespace

QString NameRules::refusal(const QString &name) const
{
    // Spelled out each time: the translation tools read the context from the call itself.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        return QCoreApplication::translate("FileSystem", "A name can’t be empty, “.” or “..”.");
    }
    if (name.contains(QLatin1Char('/'))) {
        return QCoreApplication::translate("FileSystem", "A name can’t contain “/”.");
    }
    if (name.contains(QChar(0))) {
        return QCoreApplication::translate("FileSystem",
                                           "A name can’t contain control characters.");
    }
    if (windowsNames) {
        for (const QChar c : name) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
                return QCoreApplication::translate(
                    "FileSystem", "Names on this volume can’t contain control characters.");
            }
            if (QStringView(u"\\:*?\"<>|").contains(c)) {
                return QCoreApplication::translate("FileSystem",
                                                   "Names on this volume can’t contain “%1”.")
                    .arg(c);
            }
        }
        if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))) {
            return QCoreApplication::translate(
                "FileSystem", "Names on this volume can’t end with a dot or a space.");
        }
    }
    const qsizetype length = countsUtf16Units ? name.size() : name.toUtf8().size();
    if (length > maxLength) {
        return countsUtf16Units
                   ? QCoreApplication::translate(
                         "FileSystem",
                         "The name is too long for this volume: %1 characters, at most %2.")
                         .arg(length)
                         .arg(maxLength)
                   : QCoreApplication::translate(
                         "FileSystem",
                         "The name is too long for this volume: %1 bytes, at most %2.")
                         .arg(length)
                         .arg(maxLength);
    }
    return {};
}

std::optional<MountEntry> MountEntry::parse(QByteArrayView line)
{
    // "36 35 98:0 /root /mount/point rw,noatime shared:1 - ext4 /dev/sda1 rw,errors=continue"
    QList<QByteArrayView> fields;
    for (const QByteArrayView field :
         QLatin1StringView(line.data(), line.size()).tokenize(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        fields.append(QByteArrayView(field.data(), field.size()));
    }
    qsizetype separator = -1;
    for (qsizetype i = 6; i < fields.size(); ++i) {
        if (fields[i] == "-") {
            separator = i;
            break;
        }
    }
    if (separator < 0 || separator + 2 >= fields.size()) {
        return std::nullopt;
    }
    MountEntry entry;
    const qsizetype colon = fields[2].indexOf(':');
    entry.device = makedev(fields[2].first(std::max<qsizetype>(colon, 0)).toUInt(),
                           fields[2].sliced(colon + 1).toUInt());
    entry.root = unescaped(fields[3]);
    entry.mountPoint = unescaped(fields[4]);
    entry.type = unescaped(fields[separator + 1]);
    entry.source = unescaped(fields[separator + 2]);
    entry.readOnly = hasOption(fields[5], "ro")
                     || (separator + 3 < fields.size() && hasOption(fields[separator + 3], "ro"));
    if (!entry.mountPoint.startsWith(QLatin1Char('/'))) {
        return std::nullopt;
    }
    return entry;
}

std::optional<MountEntry> MountEntry::containing(QByteArrayView table, const QString &path)
{
    std::optional<MountEntry> found;
    for (const QByteArrayView line :
         QLatin1StringView(table.data(), table.size()).tokenize(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const std::optional<MountEntry> entry = parse(QByteArrayView(line.data(), line.size()));
        // The mount table lists mounts in the order they were made: a later one on the same
        // point, or on a folder above, hides what came before.
        if (entry && liesIn(path, entry->mountPoint)) {
            found = entry;
        }
    }
    return found;
}

Volume Volume::describe(const MountEntry &entry)
{
    Volume volume;
    volume.mount = entry;
    volume.readOnly = entry.readOnly;
    const QByteArray type = entry.type.toLatin1();
    const auto known = std::find_if(traits.begin(), traits.end(),
                                    [&](const TypeTraits &t) { return type == t.type; });
    if (known != traits.end()) {
        volume.kind = known->kind;
        volume.stableInodes = known->stableInodes;
        volume.changesSeen = known->changesSeen;
        volume.timeResolutionMs = known->timeResolutionMs;
        volume.names.windowsNames = known->windowsNames;
    } else if (type.startsWith("fuse")) {
        // bindfs and the like: a folder changed behind the program's back, numbers of its own.
        volume.kind = Kind::fuse;
        volume.stableInodes = false;
        volume.changesSeen = false;
        volume.timeResolutionMs = 1000;
    }
    // Windows-named volumes count UTF-16 units; NTFS-3G with windows_names refuses the same.
    volume.names.countsUtf16Units = volume.names.windowsNames;
    volume.renamesWithoutReplacing = !type.startsWith("fuse") && !type.startsWith("nfs");
    volume.renamesFolders = type != "fuse.fusefat";
    if (volume.kind == Kind::share) {
        volume.identity = QStringLiteral("share:%1:%2").arg(entry.type, entry.source);
        volume.name = shareName(entry.source);
    } else if (volume.kind != Kind::local) {
        volume.name = entry.mountPoint == QLatin1String("/")
                          ? entry.mountPoint
                          : entry.mountPoint.section(QLatin1Char('/'), -1);
    }
    return volume;
}

Volume Volume::of(const QString &path)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    Volume volume;
    if (table.open(QIODevice::ReadOnly)) {
        // The proc file reports size 0: read it to the end.
        const QByteArray text = table.readAll();
        if (const std::optional<MountEntry> entry = MountEntry::containing(text, path)) {
            volume = describe(*entry);
            if (volume.identity.isEmpty() && entry->source.startsWith(QLatin1String("/dev/"))) {
                volume.identity = BlockDeviceTags::identity(BlockDeviceTags::read(entry->source));
            }
        }
    }
    struct statvfs status;
    const QByteArray encoded = QFile::encodeName(path);
    if (::statvfs(encoded.constData(), &status) == 0 && (status.f_flag & ST_RDONLY) != 0) {
        volume.readOnly = true;
    }
    if (::access(encoded.constData(), W_OK) != 0 && errno != ENOENT) {
        volume.readOnly = true;
    }
    return volume;
}

QString Volume::pathWithin(const QString &path) const
{
    if (!liesIn(path, mount.mountPoint)) {
        return path;
    }
    const QString rest = mount.mountPoint == QLatin1String("/") ? path.mid(1)
                                                                : path.mid(mount.mountPoint.size() + 1);
    QString root = mount.root.isEmpty() ? QStringLiteral("/") : mount.root;
    if (rest.isEmpty()) {
        return root;
    }
    return root.endsWith(QLatin1Char('/')) ? root + rest : root + QLatin1Char('/') + rest;
}
