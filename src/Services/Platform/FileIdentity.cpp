#include "FileIdentity.h"

namespace {

struct Parts
{
    QStringView volumeKey;
    std::optional<FileTime> born;
    std::optional<FileTime> modified;
    std::optional<qint64> size;
};

QString timeText(FileTime time)
{
    return QString::number(time.seconds) + QLatin1Char('.') +
           QString::number(time.nanoseconds).rightJustified(9, QLatin1Char('0'));
}

std::optional<FileTime> timeFrom(QStringView text)
{
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    bool secondsOK = false;
    bool nanosecondsOK = false;
    const qint64 seconds = text.left(dot).toLongLong(&secondsOK);
    const int nanoseconds = dot < 0 ? 0 : text.mid(dot + 1).toInt(&nanosecondsOK);
    if (!secondsOK ||
        (dot >= 0 && (!nanosecondsOK || nanoseconds < 0 || nanoseconds >= 1000000000))) {
        return std::nullopt;
    }
    return FileTime{seconds, qint32(nanoseconds)};
}

// Unknown or damaged parts are ignored, as if the record did not carry them.
Parts partsOf(QStringView identity)
{
    Parts parts;
    const qsizetype first = identity.indexOf(QLatin1Char(':'));
    if (first < 0) {
        return parts;
    }
    const qsizetype second = identity.indexOf(QLatin1Char(':'), first + 1);
    parts.volumeKey = second < 0 ? identity : identity.left(second);
    for (qsizetype start = second; start >= 0 && start + 1 < identity.size();) {
        const qsizetype end = identity.indexOf(QLatin1Char(':'), start + 1);
        const QStringView part = identity.mid(start + 1, end < 0 ? -1 : end - start - 1);
        if (part.startsWith(QLatin1Char('b'))) {
            parts.born = timeFrom(part.mid(1));
        } else if (part.startsWith(QLatin1Char('m'))) {
            parts.modified = timeFrom(part.mid(1));
        } else if (part.startsWith(QLatin1Char('s'))) {
            bool ok = false;
            const qint64 size = part.mid(1).toLongLong(&ok);
            parts.size = ok ? std::optional(size) : std::nullopt;
        }
        start = end;
    }
    return parts;
}

} // namespace

QString FileIdentity::text(dev_t device, ino_t inode)
{
    return QString::number(quint64(device)) + QLatin1Char(':') + QString::number(quint64(inode));
}

QString FileIdentity::of(const EntryInfo &entry)
{
    if (entry.identity.isEmpty()) {
        return {};
    }
    if (!entry.birthTime.isDistantPast()) {
        return entry.identity + QStringLiteral(":b") + timeText(entry.birthTime);
    }
    if (entry.isDirectory()) {
        return entry.identity;
    }
    return entry.identity + QStringLiteral(":m") + timeText(entry.modificationTime) +
           QStringLiteral(":s") + QString::number(entry.size);
}

QString FileIdentity::volumeKey(QStringView identity)
{
    return partsOf(identity).volumeKey.toString();
}

bool FileIdentity::sameItem(QStringView a, QStringView b)
{
    const Parts first = partsOf(a);
    const Parts second = partsOf(b);
    if (first.volumeKey.isEmpty() || first.volumeKey != second.volumeKey) {
        return false;
    }
    if (first.born && second.born) {
        return first.born == second.born;
    }
    if (first.modified && first.size && second.modified && second.size) {
        return first.modified == second.modified && first.size == second.size;
    }
    return true;
}

std::optional<FileTime> FileIdentity::recordedTime(QStringView identity)
{
    const Parts parts = partsOf(identity);
    return parts.born ? parts.born : parts.modified;
}
