#pragma once

// A picture whose orientation can be read back whatever turn or mirror it went through: four
// quadrants of which two are told apart (red top-left, green bottom-left, blue on the right),
// and the colours a quarter in from each corner read back as "TL TR/BL BR".

#include <QColor>
#include <QImage>
#include <QString>
#include <QTransform>

namespace Quadrants {

inline QImage make(QSize size,
                   const QColor &topLeft = Qt::red,
                   const QColor &bottomLeft = Qt::green,
                   const QColor &right = Qt::blue)
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width() / 2, h = size.height() / 2;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            image.setPixelColor(x, y, x >= w ? right : y < h ? topLeft : bottomLeft);
        }
    }
    return image;
}

// "R", "G", "B" or "?" for each quarter point of `area` in `image`; "null" for no image.
inline QString layoutOf(const QImage &image, QRect area = {})
{
    if (image.isNull()) {
        return QStringLiteral("null");
    }
    if (area.isEmpty()) {
        area = image.rect();
    }
    const auto colourAt = [&](int x, int y) {
        const QRgb pixel = image.pixel(area.x() + x, area.y() + y);
        const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
        return QLatin1Char(r > 160 && g < 96 && b < 96   ? 'R'
                           : g > 160 && r < 96 && b < 96 ? 'G'
                           : b > 160 && r < 96 && g < 96 ? 'B'
                                                         : '?');
    };
    const int left = area.width() / 4, right = area.width() * 3 / 4;
    const int top = area.height() / 4, bottom = area.height() * 3 / 4;
    return QString(colourAt(left, top)) + colourAt(right, top) + QLatin1Char('/') +
           colourAt(left, bottom) + colourAt(right, bottom);
}

} // namespace Quadrants
