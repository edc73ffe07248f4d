#include "BlockDeviceTags.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <blkid.h>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return u >= '0' && u <= '9'   ? u - '0'
           : u >= 'a' && u <= 'f' ? u - 'a' + 10
           : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                  : -1;
}

// The name of the link in `folder` that leads to `device` (both resolved); empty without one.
QString linkTo(const QString &folder, const QString &device)
{
    const QDir links(folder);
    for (const QString &name : links.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (QFileInfo(links.filePath(name)).canonicalFilePath() == device) {
            return name;
        }
    }
    return {};
}

using Probe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, void (*)(blkid_probe)>;

// Reads the tags from the device's superblock; nothing when it is ambiguous or unreadable.
BlockDeviceTags::Tags probed(const QString &device)
{
    BlockDeviceTags::Tags tags;
    Probe probe(blkid_new_probe_from_filename(QFile::encodeName(device).constData()),
                blkid_free_probe);
    if (!probe || blkid_do_safeprobe(probe.get()) != 0) {
        return tags;
    }
    const char *value = nullptr;
    if (blkid_probe_lookup_value(probe.get(), "UUID", &value, nullptr) == 0 && value) {
        tags.uuid = QString::fromUtf8(value);
    }
    if (blkid_probe_lookup_value(probe.get(), "LABEL", &value, nullptr) == 0 && value) {
        tags.label = QString::fromUtf8(value);
    }
    return tags;
}

QString cachedTag(const QString &device, const char *name)
{
    char *value = blkid_get_tag_value(nullptr, name, QFile::encodeName(device).constData());
    const QString tag = value ? QString::fromUtf8(value) : QString();
    std::free(value);
    return tag;
}

} // namespace

QString BlockDeviceTags::fromLinkName(QStringView name)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == QLatin1Char('\\') && i + 3 < name.size() && name[i + 1] == QLatin1Char('x')
            && hexDigit(name[i + 2]) >= 0 && hexDigit(name[i + 3]) >= 0) {
            bytes.append(char(hexDigit(name[i + 2]) * 16 + hexDigit(name[i + 3])));
            i += 3;
        } else {
            bytes.append(name.mid(i, 1).toUtf8());
        }
    }
    return QString::fromUtf8(bytes);
}

QString BlockDeviceTags::identity(const Tags &tags)
{
    if (!tags.uuid.isEmpty()) {
        return QStringLiteral("uuid:") + tags.uuid;
    }
    return tags.label.isEmpty() ? QString() : QStringLiteral("label:") + tags.label;
}

BlockDeviceTags::Tags BlockDeviceTags::read(const QString &device, const QString &diskFolder)
{
    const QString resolved = QFileInfo(device).canonicalFilePath();
    if (resolved.isEmpty()) {
        return {};
    }
    Tags tags{fromLinkName(linkTo(diskFolder + QStringLiteral("/by-uuid"), resolved)),
              fromLinkName(linkTo(diskFolder + QStringLiteral("/by-label"), resolved))};
    if (!tags.uuid.isEmpty() || !tags.label.isEmpty()) {
        return tags;
    }
    // The cache trusts an entry for a while without probing again, and a reader's device node
    // is the same for the next card put in it: a device that can be read is probed.
    if (::access(QFile::encodeName(resolved).constData(), R_OK) == 0) {
        return probed(resolved);
    }
    return {cachedTag(resolved, "UUID"), cachedTag(resolved, "LABEL")};
}
