#pragma once

// A picture whose orientation can be read back: red on the left half, blue on the right.
// Decoders' tests check where each half ends up once the picture is turned upright.

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QString>

namespace TwoHalves {

inline QImage make(QSize size)
{
    QImage image(size, QImage::Format_RGB888);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), Qt::red);
    return image;
}

// Where the red half lands once the picture is turned by an EXIF orientation.
inline QString redSide(int orientation)
{
    return QString::fromLatin1(orientation == 3   ? "right"
                               : orientation == 6 ? "top"
                               : orientation == 8 ? "bottom"
                                                  : "left");
}

// True when red lies on `side` ("left", "right", "top", "bottom") and blue opposite, sampled
// well inside each half, away from a JPEG's blurred middle.
inline bool redIsOn(const QImage &image, const QString &side)
{
    const int w = image.width();
    const int h = image.height();
    const QHash<QString, std::pair<QPoint, QPoint>> samples{
        {QStringLiteral("left"), {QPoint(2, h / 2), QPoint(w - 3, h / 2)}},
        {QStringLiteral("right"), {QPoint(w - 3, h / 2), QPoint(2, h / 2)}},
        {QStringLiteral("top"), {QPoint(w / 2, 2), QPoint(w / 2, h - 3)}},
        {QStringLiteral("bottom"), {QPoint(w / 2, h - 3), QPoint(w / 2, 2)}}};
    const auto [red, blue] = samples.value(side);
    const QColor redSample = image.pixelColor(red);
    const QColor blueSample = image.pixelColor(blue);
    return redSample.red() > 200 && redSample.blue() < 60 && blueSample.blue() > 200
           && blueSample.red() < 60;
}

} // namespace TwoHalves
