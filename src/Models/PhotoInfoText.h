#pragma once

// PhotoInfo as people read it, in the user's language and number style: the rows of the
// preview's info overlay, and the one line under the board's status strip. Each text follows
// photographers' habits: "1/250 s" and "0.3 s" as cameras show exposures, "f/2.8", "+0.7 EV"
// with a true minus sign for a negative bias, the camera once ("Canon EOS R5", not "Canon
// Canon EOS R5"). Pure functions.

#include "PhotoInfo.h"

#include <QList>
#include <QString>

namespace PhotoInfoText {

struct Row
{
    QString label;
    QString value;

    friend bool operator==(const Row &, const Row &) = default;
};

// One row per known field, in reading order: taken, camera, serial number, lens, exposure,
// aperture, ISO, focal length, exposure bias, dimensions, file (size and type), and
// `companions` (Photo::companionBadge) when the shot has any.
QList<Row> rows(const PhotoInfo &info, const QString &companions = {});
// "1/250 s · f/2.8 · ISO 400 · 50 mm · Canon EOS R5"; for a file that records none of these,
// its dimensions, type and size.
QString summary(const PhotoInfo &info);

// "2024-05-03 14:22:07.25 +02:00": the clock's reading, with the sub-seconds and offset the
// camera recorded.
QString captureTime(const CaptureTime &time);
// The make, unless the model already starts with it (or with its first word, as "NIKON" of
// "NIKON CORPORATION"), then the model.
QString camera(const QString &make, const QString &model);
// The row of a photo's sharpness score (larger is sharper), rounded; in a burst of `burstSize`
// frames, whether it is the sharpest of them.
Row sharpness(double score, qsizetype burstSize = 0, bool sharpest = false);
QString focalLength(double millimetres);
QString aperture(double fNumber);
QString exposureTime(double seconds);
QString iso(quint32 value);
QString exposureBias(double ev);
QString dimensions(qint64 width, qint64 height);
QString fileSize(qint64 bytes);

} // namespace PhotoInfoText
