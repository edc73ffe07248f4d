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
    return withExif(jpeg, orientation, {});
}

QByteArray withExif(const QByteArray &jpeg, int orientation, const QByteArray &thumbnail)
{
    if ((orientation < 1 || orientation > 8) && thumbnail.isEmpty()) {
        return jpeg;
    }
    if (!jpeg.startsWith("\xFF\xD8")) {
        return jpeg;
    }
    const auto le16 = [](QByteArray &out, quint32 value) {
        out.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF));
    };
    const auto le32 = [&le16](QByteArray &out, quint32 value) {
        le16(out, value & 0xFFFF);
        le16(out, value >> 16);
    };
    // APP1 "Exif\0\0", a little-endian TIFF header, IFD0 with the orientation (0x0112) and,
    // with a thumbnail, IFD1 pointing at its JPEG data (0x0201 offset, 0x0202 length).
    const quint32 ifd1At = 8 + 2 + 12 + 4;
    const quint32 dataAt = ifd1At + 2 + 2 * 12 + 4;
    QByteArray tiff("II*\0", 4);
    le32(tiff, 8);
    le16(tiff, 1);
    le16(tiff, 0x0112);
    le16(tiff, 3); // SHORT
    le32(tiff, 1);
    le16(tiff, quint32(orientation >= 1 && orientation <= 8 ? orientation : 1));
    le16(tiff, 0);
    le32(tiff, thumbnail.isEmpty() ? 0 : ifd1At);
    if (!thumbnail.isEmpty()) {
        le16(tiff, 2);
        for (const auto &[tag, value] : {std::pair<quint32, quint32>{0x0201, dataAt},
                                        {0x0202, quint32(thumbnail.size())}}) {
            le16(tiff, tag);
            le16(tiff, 4); // LONG
            le32(tiff, 1);
            le32(tiff, value);
        }
        le32(tiff, 0);
        tiff.append(thumbnail);
    }
    QByteArray segment("Exif\0\0", 6);
    segment.append(tiff);
    const int length = int(segment.size()) + 2;
    if (length > 0xFFFF) {
        return jpeg;
    }
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

QByteArray encodeCameraJpeg(const QImage &image, int orientation)
{
    const QByteArray thumbnail =
        encodeJpeg(image.scaled(160, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation), 0, 75);
    return withExif(encodeJpeg(image, 0), orientation, thumbnail);
}

bool writeJpeg(const QString &path, const QImage &image, int orientation)
{
    const QByteArray bytes = encodeJpeg(image, orientation);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace SamplePhotos
