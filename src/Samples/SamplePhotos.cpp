#include "SamplePhotos.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>

namespace SamplePhotos {

QImage makeImage(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    const QColor from = QColor::fromHsv(int(random.bounded(360)), 120, 200);
    const QColor to = QColor::fromHsv(int(random.bounded(360)), 200, 60);
    {
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, width, height);
        gradient.setColorAt(0, from);
        gradient.setColorAt(1, to);
        painter.fillRect(image.rect(), gradient);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        for (int i = 0; i < 6; ++i) {
            QColor blob = QColor::fromHsv(int(random.bounded(360)), 160, 230, 90);
            painter.setBrush(blob);
            const int r = int(random.bounded(std::max(2, std::min(width, height) / 3))) + 2;
            painter.drawEllipse(QPoint(int(random.bounded(std::max(1, width))),
                                       int(random.bounded(std::max(1, height)))),
                                r, r);
        }
    }
    // Sensor-like noise so the JPEG is as large as a real photo of this size.
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 bits = random.generate();
            const int n = int(bits & 15) - 8;
            const QRgb p = line[x];
            line[x] = qRgb(std::clamp(qRed(p) + n, 0, 255),
                           std::clamp(qGreen(p) + int((bits >> 4) & 15) - 8, 0, 255),
                           std::clamp(qBlue(p) + int((bits >> 8) & 15) - 8, 0, 255));
        }
    }
    return image;
}

QByteArray withExifOrientation(const QByteArray &jpeg, int orientation)
{
    if (orientation < 1 || orientation > 8 || !jpeg.startsWith("\xFF\xD8")) {
        return jpeg;
    }
    // APP1 "Exif\0\0", little-endian TIFF header, one IFD with the orientation tag (0x0112).
    QByteArray tiff;
    tiff.append("II*\0", 4);
    tiff.append("\x08\0\0\0", 4);           // offset of IFD0
    tiff.append("\x01\0", 2);               // one entry
    tiff.append("\x12\x01", 2);             // tag 0x0112
    tiff.append("\x03\0", 2);               // SHORT
    tiff.append("\x01\0\0\0", 4);           // count 1
    tiff.append(char(orientation)).append('\0').append("\0\0", 2); // value, padded
    tiff.append("\0\0\0\0", 4);             // no next IFD
    QByteArray segment("Exif\0\0", 6);
    segment.append(tiff);
    const int length = int(segment.size()) + 2;
    QByteArray app1("\xFF\xE1", 2);
    app1.append(char((length >> 8) & 0xFF)).append(char(length & 0xFF)).append(segment);
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

QByteArray encodeJpeg(const QImage &image, int orientation, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image)) {
        return {};
    }
    return withExifOrientation(bytes, orientation);
}

bool writeJpeg(const QString &path, const QImage &image, int orientation)
{
    const QByteArray bytes = encodeJpeg(image, orientation);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace SamplePhotos
