#include "PhotoInfoText.h"

#include "Photo.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace PhotoInfoText {

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("PhotoInfoText", text);
}

// `value` with at most `decimals` decimals, trailing zeros dropped, in the user's style
// ("2.8", "2,8"), never grouped ("1/8000").
QString decimal(double value, int decimals)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    for (int shown = 0; shown < decimals; ++shown) {
        const double unit = std::pow(10.0, shown);
        if (std::abs(rounded * unit - std::round(rounded * unit)) < 1e-9) {
            return locale.toString(rounded, 'f', shown);
        }
    }
    return locale.toString(rounded, 'f', decimals);
}

QString joined(const QStringList &parts)
{
    return parts.join(QStringLiteral(" \u00B7 "));
}

QStringList settings(const PhotoInfo &info)
{
    QStringList parts;
    if (info.exposureTime) {
        parts.append(exposureTime(*info.exposureTime));
    }
    if (info.fNumber) {
        parts.append(aperture(*info.fNumber));
    }
    if (info.iso) {
        parts.append(iso(*info.iso));
    }
    if (info.focalLength) {
        parts.append(focalLength(*info.focalLength));
    }
    return parts;
}

} // namespace

QString captureTime(const CaptureTime &time)
{
    QString text = time.date().toString(Qt::ISODate) + QLatin1Char(' ') +
                   time.time().toString(QStringLiteral("HH:mm:ss"));
    if (time.nanoseconds > 0) {
        // Hundredths as most cameras write them; more digits only when they carry something.
        QString digits = QString::number(time.nanoseconds).rightJustified(9, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0'))) {
            digits.chop(1);
        }
        text += QLatin1Char('.') + digits;
    }
    if (time.offsetMinutes) {
        const int minutes = *time.offsetMinutes;
        text += QStringLiteral(" %1%2:%3")
                    .arg(minutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                    .arg(std::abs(minutes) / 60, 2, 10, QLatin1Char('0'))
                    .arg(std::abs(minutes) % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

QString camera(const QString &make, const QString &model)
{
    if (model.isEmpty() || make.isEmpty()) {
        return model.isEmpty() ? make : model;
    }
    const QString firstWord = make.section(QLatin1Char(' '), 0, 0);
    if (model.startsWith(make, Qt::CaseInsensitive) ||
        model.startsWith(firstWord, Qt::CaseInsensitive)) {
        return model;
    }
    return make + QLatin1Char(' ') + model;
}

Row sharpness(double score, qsizetype burstSize, bool sharpest)
{
    QString value = QLocale().toString(qRound64(score));
    if (burstSize >= 2) {
        value = sharpest ? QCoreApplication::translate("PhotoInfoText", "%1 · sharpest of %2")
                               .arg(value, QLocale().toString(burstSize))
                         : QCoreApplication::translate("PhotoInfoText", "%1 · in a burst of %2")
                               .arg(value, QLocale().toString(burstSize));
    }
    return {QCoreApplication::translate("PhotoInfoText", "Sharpness"), value};
}

QString focalLength(double millimetres)
{
    return QCoreApplication::translate("PhotoInfoText", "%1 mm").arg(decimal(millimetres, 1));
}

QString aperture(double fNumber)
{
    return QCoreApplication::translate("PhotoInfoText", "f/%1").arg(decimal(fNumber, 1));
}

QString exposureTime(double seconds)
{
    // Cameras show exposures under a second as fractions (1/250, 1/3) except the few their
    // dials mark in tenths (0.3, 0.4, 0.6, 0.8), which a fraction 1/n cannot give.
    if (seconds < 1) {
        const double denominator = 1 / seconds;
        const double whole = std::round(denominator);
        if (std::abs(denominator - whole) <= 0.01 * whole || seconds < 0.25) {
            return QCoreApplication::translate("PhotoInfoText", "1/%1 s").arg(qint64(whole));
        }
        return QCoreApplication::translate("PhotoInfoText", "%1 s").arg(decimal(seconds, 1));
    }
    return QCoreApplication::translate("PhotoInfoText", "%1 s").arg(decimal(seconds, 1));
}

QString iso(quint32 value)
{
    return QCoreApplication::translate("PhotoInfoText", "ISO %1").arg(value);
}

QString exposureBias(double ev)
{
    const QString magnitude = decimal(std::abs(ev), 1);
    if (magnitude == decimal(0, 1)) {
        return QCoreApplication::translate("PhotoInfoText", "%1 EV").arg(magnitude);
    }
    return QCoreApplication::translate("PhotoInfoText", "%1 EV")
        .arg((ev < 0 ? QStringLiteral("\u2212") : QStringLiteral("+")) + magnitude);
}

QString dimensions(qint64 width, qint64 height)
{
    return QString::number(width) + QStringLiteral(" \u00D7 ") + QString::number(height);
}

QString fileSize(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QList<Row> rows(const PhotoInfo &info, const QString &companions)
{
    QList<Row> rows;
    const auto add = [&rows](const char *label, const QString &value) {
        if (!value.isEmpty()) {
            rows.append({translated(label), value});
        }
    };
    if (info.captureTime) {
        add(QT_TRANSLATE_NOOP("PhotoInfoText", "Taken"), captureTime(*info.captureTime));
    }
    add(QT_TRANSLATE_NOOP("PhotoInfoText", "Camera"), camera(info.make, info.model));
    add(QT_TRANSLATE_NOOP("PhotoInfoText", "Serial Number"), info.bodySerialNumber);
    add(QT_TRANSLATE_NOOP("PhotoInfoText", "Lens"), camera(info.lensMake, info.lensModel));
    if (info.exposureTime) {
        add(QT_TRANSLATE_NOOP("PhotoInfoText", "Exposure"), exposureTime(*info.exposureTime));
    }
    if (info.fNumber) {
        add(QT_TRANSLATE_NOOP("PhotoInfoText", "Aperture"), aperture(*info.fNumber));
    }
    if (info.iso) {
        add(QT_TRANSLATE_NOOP("PhotoInfoText", "Sensitivity"), iso(*info.iso));
    }
    if (info.focalLength) {
        add(QT_TRANSLATE_NOOP("PhotoInfoText", "Focal Length"), focalLength(*info.focalLength));
    }
    if (info.exposureBias) {
        add(QT_TRANSLATE_NOOP("PhotoInfoText", "Exposure Bias"), exposureBias(*info.exposureBias));
    }
    if (info.pixelWidth > 0 && info.pixelHeight > 0) {
        add(QT_TRANSLATE_NOOP("PhotoInfoText", "Dimensions"),
            dimensions(info.pixelWidth, info.pixelHeight));
    }
    add(QT_TRANSLATE_NOOP("PhotoInfoText", "Duration"), Photo::durationText(info.durationMs));
    QStringList video;
    if (!info.videoCodec.isEmpty()) {
        video.append(info.videoCodec);
    }
    if (info.frameRate) {
        video.append(QCoreApplication::translate("PhotoInfoText", "%1 fps")
                         .arg(decimal(*info.frameRate, 2)));
    }
    add(QT_TRANSLATE_NOOP("PhotoInfoText", "Video"), joined(video));
    QStringList file{fileSize(info.byteCount)};
    if (!info.format.isEmpty()) {
        file.append(info.format);
    }
    add(QT_TRANSLATE_NOOP("PhotoInfoText", "File"), joined(file));
    add(QT_TRANSLATE_NOOP("PhotoInfoText", "Companions"), companions);
    return rows;
}

QString summary(const PhotoInfo &info)
{
    QStringList parts = settings(info);
    if (const QString body = camera(info.make, info.model); !body.isEmpty()) {
        parts.append(body);
    }
    if (!parts.isEmpty()) {
        return joined(parts);
    }
    if (const QString length = Photo::durationText(info.durationMs); !length.isEmpty()) {
        parts.append(length);
    }
    if (info.pixelWidth > 0 && info.pixelHeight > 0) {
        parts.append(dimensions(info.pixelWidth, info.pixelHeight));
    }
    if (!info.videoCodec.isEmpty()) {
        parts.append(info.videoCodec);
    }
    if (!info.format.isEmpty()) {
        parts.append(info.format);
    }
    parts.append(fileSize(info.byteCount));
    return joined(parts);
}

} // namespace PhotoInfoText
