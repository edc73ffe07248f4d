#pragma once

// A file's content modification time with the file system's own precision.
// Plain value; the default is the distant past (0001-01-01 00:00:00 UTC), used when the
// file system reports no time.

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <compare>

struct FileTime
{
    static constexpr qint64 distantPastSeconds = -62135596800; // 0001-01-01T00:00:00Z

    qint64 seconds = distantPastSeconds; // since 1970-01-01 00:00:00 UTC
    qint32 nanoseconds = 0;              // 0 ..< 1e9

    static FileTime distantPast() { return {}; }
    static FileTime fromDateTime(const QDateTime &dateTime);

    bool isDistantPast() const { return seconds == distantPastSeconds && nanoseconds == 0; }
    QDateTime toDateTime() const; // millisecond precision, UTC
    // Seconds since 2001-01-01 00:00:00 UTC, the reference date of cache keys, in exact
    // decimal ("-12.5", "700000000.000000001"): distinct times give distinct texts, which a
    // double cannot promise at nanosecond precision.
    QString referenceDateText() const;

    friend auto operator<=>(const FileTime &, const FileTime &) = default;
    friend bool operator==(const FileTime &, const FileTime &) = default;
};

inline size_t qHash(const FileTime &time, size_t seed = 0)
{
    return qHashMulti(seed, time.seconds, time.nanoseconds);
}
