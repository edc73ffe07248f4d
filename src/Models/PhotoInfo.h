#pragma once

// What the info overlay and the status line show of one photo file: what its camera recorded
// (EXIF) and what the file is. Each recorded field is absent when the file does not say, or
// says something that cannot be true (a thirteenth month, an exposure of 1/0 s); texts are
// trimmed to their printable characters. A plain value.

#include "CaptureTime.h"

#include <QPointF>
#include <QString>

#include <optional>

struct PhotoInfo
{
    // Recorded by the camera
    std::optional<CaptureTime> captureTime;
    QString make;  // empty when unknown
    QString model; // "Canon EOS R5"; often repeats the make
    QString bodySerialNumber;
    QString lensMake;
    QString lensModel;
    std::optional<double> focalLength; // millimetres
    std::optional<double> fNumber;
    std::optional<double> exposureTime; // seconds
    std::optional<quint32> iso;
    std::optional<double> exposureBias; // EV
    std::optional<int> orientation;     // 1 to 8
    // Where the camera focused: 0..1 across and down the upright picture. Not shown; it says
    // where to judge the sharpness of a burst's frames.
    std::optional<QPointF> focusPoint;

    // A video's header
    qint64 durationMs = 0; // 0 for a still
    QString videoCodec;    // "H.264"
    std::optional<double> frameRate;

    // The file
    qint64 pixelWidth = 0; // upright; 0 when unreadable
    qint64 pixelHeight = 0;
    qint64 byteCount = 0;
    QString format; // the file type's description, "JPEG image"

    friend bool operator==(const PhotoInfo &, const PhotoInfo &) = default;
};
