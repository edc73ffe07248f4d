#pragma once

// When a photo was taken, as its camera recorded it: the date and time its clock showed, to the
// sub-second when the camera wrote one, and that clock's offset from UTC when it wrote that
// too (EXIF 2.31 and later). A plain value, cheap to copy.
// As a moment (for ordering): exact when the offset is known; otherwise the clock is taken to
// have shown this machine's local time, the best guess for a camera its owner set by hand.

#include "FileTime.h"

#include <QDateTime>

#include <optional>

struct CaptureTime
{
    qint64 clockSeconds = 0; // the clock's date and time, as seconds since its 1970-01-01 00:00
    qint32 nanoseconds = 0;  // 0 ..< 1e9
    std::optional<qint16> offsetMinutes; // east of UTC

    // Nothing when the date or time is not a real one.
    static std::optional<CaptureTime> make(QDate date,
                                           QTime time,
                                           qint32 nanoseconds = 0,
                                           std::optional<qint16> offsetMinutes = std::nullopt);

    QDate date() const;
    QTime time() const; // to the second; nanoseconds holds the rest
    // The moment it stands for (see above).
    FileTime moment() const;

    friend bool operator==(const CaptureTime &, const CaptureTime &) = default;
};
