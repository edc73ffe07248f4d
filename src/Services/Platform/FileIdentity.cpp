#include "FileIdentity.h"

#include <algorithm>

namespace {

struct Parts
{
    QStringView volumeKey;
    std::optional<FileTime> born;
    std::optional<FileTime> modified;
    std::optional<qint64> size;
    std::optional<int> resolutionMs; // numbers not stable
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
        } else if (part.startsWith(QLatin1Char('r'))) {
            bool ok = false;
            const int resolution = part.mid(1).toInt(&ok);
            // Damaged, it still says the numbers cannot be trusted.
            parts.resolutionMs = ok && resolution >= 0 ? resolution : 2000;
        } else if (part.startsWith(QLatin1Char('s'))) {
            bool ok = false;
            const qint64 size = part.mid(1).toLongLong(&ok);
            parts.size = ok ? std::optional(size) : std::nullopt;
        }
        start = end;
    }
    return parts;
}

// Times agree when they fall in one step of `resolutionMs`.
bool sameTime(FileTime a, FileTime b, int resolutionMs)
{
    if (resolutionMs <= 0) {
        return a == b;
    }
    const auto step = [&](FileTime time) {
        // Clamped, so a damaged record cannot overflow: ±30,000 years either way.
        const qint64 ms = std::clamp<qint64>(time.seconds, -1'000'000'000'000, 1'000'000'000'000)
                              * 1000
                          + time.nanoseconds / 1'000'000;
        return ms >= 0 ? ms / resolutionMs : (ms + 1) / resolutionMs - 1;
    };
    return step(a) == step(b);
}

// Two identities on a volume whose numbers are not stable: by what else they carry.
bool sameUnnumbered(const Parts &a, const Parts &b)
{
    const int resolution = std::max(a.resolutionMs.value_or(0), b.resolutionMs.value_or(0));
    if (a.born && b.born && !sameTime(*a.born, *b.born, resolution)) {
        return false;
    }
    if (a.modified && b.modified && !sameTime(*a.modified, *b.modified, resolution)) {
        return false;
    }
    return !(a.size && b.size && *a.size != *b.size);
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
    if (!entry.stableInodes) {
        QString identity = entry.identity + QStringLiteral(":r")
                           + QString::number(entry.timeResolutionMs);
        if (!entry.birthTime.isDistantPast()) {
            identity += QStringLiteral(":b") + timeText(entry.birthTime);
        }
        if (!entry.isDirectory()) {
            identity += QStringLiteral(":m") + timeText(entry.modificationTime)
                        + QStringLiteral(":s") + QString::number(entry.size);
        }
        return identity;
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
    if (first.volumeKey.isEmpty() || second.volumeKey.isEmpty()) {
        return false;
    }
    if (first.resolutionMs || second.resolutionMs) {
        return sameUnnumbered(first, second);
    }
    if (first.volumeKey != second.volumeKey) {
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
