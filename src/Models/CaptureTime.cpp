#include "CaptureTime.h"

#include <array>
#include <limits>

namespace {

constexpr qint64 secondsPerDay = 86400;
constexpr qint64 julianDayOf1970 = 2440588;

QDate dateOf(qint64 clockSeconds)
{
    const qint64 days = clockSeconds >= 0 ? clockSeconds / secondsPerDay
                                          : (clockSeconds - secondsPerDay + 1) / secondsPerDay;
    return QDate::fromJulianDay(julianDayOf1970 + days);
}

QTime timeOf(qint64 clockSeconds)
{
    const qint64 second = ((clockSeconds % secondsPerDay) + secondsPerDay) % secondsPerDay;
    return QTime::fromMSecsSinceStartOfDay(int(second * 1000));
}

// The local time zone's offset from UTC at a clock time, in seconds. Asking the system costs
// a microsecond or two, too much for every comparison of a sort; offsets change on whole hours
// (daylight saving, a zone's new rules), so each thread keeps the hours it asked for last.
qint64 localOffsetAt(qint64 clockSeconds)
{
    struct Hour
    {
        qint64 hour = std::numeric_limits<qint64>::min();
        qint64 offset = 0;
    };
    thread_local std::array<Hour, 64> recent;
    const qint64 hour = clockSeconds >= 0 ? clockSeconds / 3600 : (clockSeconds - 3599) / 3600;
    Hour &slot = recent[size_t(hour & 63)];
    if (slot.hour != hour) {
        // An hour the clocks skip (going forward) takes the offset of the hour before it.
        const auto offsetAt = [](qint64 start) {
            const QDateTime local(dateOf(start), timeOf(start), Qt::LocalTime);
            return local.isValid() ? std::optional<qint64>(local.offsetFromUtc()) : std::nullopt;
        };
        slot = {hour, offsetAt(hour * 3600).value_or(offsetAt((hour - 1) * 3600).value_or(0))};
    }
    return slot.offset;
}

} // namespace

std::optional<CaptureTime>
CaptureTime::make(QDate date, QTime time, qint32 nanoseconds, std::optional<qint16> offsetMinutes)
{
    if (!date.isValid() || !time.isValid() || nanoseconds < 0 || nanoseconds >= 1'000'000'000) {
        return std::nullopt;
    }
    CaptureTime capture;
    capture.clockSeconds =
        (date.toJulianDay() - julianDayOf1970) * secondsPerDay + time.msecsSinceStartOfDay() / 1000;
    capture.nanoseconds = nanoseconds;
    capture.offsetMinutes = offsetMinutes;
    return capture;
}

QDate CaptureTime::date() const
{
    return dateOf(clockSeconds);
}

QTime CaptureTime::time() const
{
    return timeOf(clockSeconds);
}

FileTime CaptureTime::moment() const
{
    const qint64 offset = offsetMinutes ? qint64(*offsetMinutes) * 60 : localOffsetAt(clockSeconds);
    return {clockSeconds - offset, nanoseconds};
}
