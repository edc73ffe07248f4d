#include "FileTime.h"

namespace {
constexpr qint64 referenceDateSeconds = 978307200; // 2001-01-01T00:00:00Z
}

FileTime FileTime::fromDateTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid()) {
        return distantPast();
    }
    const qint64 ms = dateTime.toMSecsSinceEpoch();
    qint64 secs = ms / 1000;
    qint64 rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        secs -= 1;
    }
    return {secs, qint32(rest * 1000000)};
}

QDateTime FileTime::toDateTime() const
{
    return QDateTime::fromMSecsSinceEpoch(seconds * 1000 + nanoseconds / 1000000, Qt::UTC);
}

QString FileTime::referenceDateText() const
{
    qint64 whole = seconds - referenceDateSeconds;
    qint64 fraction = nanoseconds;
    QString sign;
    if (whole < 0) {
        sign = QStringLiteral("-");
        if (fraction > 0) {
            whole += 1;
            fraction = 1000000000 - fraction;
        }
        whole = -whole;
    }
    QString text = sign + QString::number(whole);
    if (fraction > 0) {
        QString digits = QString::number(fraction).rightJustified(9, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0'))) {
            digits.chop(1);
        }
        text += QLatin1Char('.') + digits;
    }
    return text;
}
