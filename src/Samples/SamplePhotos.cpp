#include "SamplePhotos.h"

#include "TiffBuilder.h"

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
    return withExifBlock(jpeg, tiff);
}

QByteArray withExifBlock(const QByteArray &jpeg, const QByteArray &tiff)
{
    QByteArray segment("Exif\0\0", 6);
    segment.append(tiff);
    const int length = int(segment.size()) + 2;
    if (length > 0xFFFF || !jpeg.startsWith("\xFF\xD8")) {
        return jpeg;
    }
    QByteArray app1("\xFF\xE1", 2);
    app1.append(char((length >> 8) & 0xFF)).append(char(length & 0xFF)).append(segment);
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

QByteArray cameraExif(const QDateTime &taken, int orientation)
{
    TiffBuilder tiff;
    const int ifd0 = tiff.addIfd();
    const int exif = tiff.addIfd();
    tiff.addAscii(ifd0, 0x010F, "Calvenor");
    tiff.addAscii(ifd0, 0x0110, "Calvenor C1");
    tiff.addShort(ifd0, 0x0112, quint16(orientation));
    tiff.addRational(ifd0, 0x011A, 300, 1); // resolution and its unit
    tiff.addRational(ifd0, 0x011B, 300, 1);
    tiff.addShort(ifd0, 0x0128, 2);
    tiff.addAscii(ifd0, 0x0131, "Firmware Version 1.2.0");
    tiff.addAscii(ifd0, 0x0132, taken.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1());
    tiff.addAscii(ifd0, 0x013B, "");
    tiff.addShort(ifd0, 0x0213, 2);
    tiff.addAscii(ifd0, 0x8298, "");
    tiff.addPointer(ifd0, 0x8769, exif);

    const QByteArray date = taken.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1();
    const QByteArray subSeconds = QByteArray::number(taken.time().msec()).rightJustified(3, '0');
    const int offset = taken.offsetFromUtc() / 60;
    const QByteArray zone = QStringLiteral("%1%2:%3")
                                .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                                .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                                .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'))
                                .toLatin1();
    tiff.addRational(exif, 0x829A, 1, 250);
    tiff.addRational(exif, 0x829D, 28, 10);
    tiff.addShort(exif, 0x8822, 3); // exposure program
    tiff.addShort(exif, 0x8827, 400);
    tiff.addShort(exif, 0x8830, 2); // sensitivity type
    tiff.addLong(exif, 0x8832, 400);
    tiff.addRaw(exif, 0x9000, TiffBuilder::undefined, 4, "0232");
    tiff.addAscii(exif, 0x9003, date);
    tiff.addAscii(exif, 0x9004, date);
    tiff.addAscii(exif, 0x9010, zone);
    tiff.addAscii(exif, 0x9011, zone);
    tiff.addAscii(exif, 0x9012, zone);
    tiff.addRaw(exif, 0x9101, TiffBuilder::undefined, 4, QByteArray("\1\2\3\0", 4));
    tiff.addSignedRational(exif, 0x9201, 797, 100);
    tiff.addRational(exif, 0x9202, 297, 100);
    tiff.addSignedRational(exif, 0x9204, -1, 3);
    tiff.addRational(exif, 0x9205, 3, 1);
    tiff.addShort(exif, 0x9207, 5); // metering mode
    tiff.addShort(exif, 0x9209, 16); // flash
    tiff.addRational(exif, 0x920A, 50, 1);
    // Cameras keep their own records here: tens of kilobytes the reader must step over.
    QByteArray makerNote(24 * 1024, '\0');
    for (qsizetype i = 0; i < makerNote.size(); ++i) {
        makerNote[i] = char(i * 7 % 251);
    }
    tiff.addRaw(exif, 0x927C, TiffBuilder::undefined, quint32(makerNote.size()), makerNote);
    tiff.addAscii(exif, 0x9290, subSeconds);
    tiff.addAscii(exif, 0x9291, subSeconds);
    tiff.addAscii(exif, 0x9292, subSeconds);
    tiff.addRaw(exif, 0xA000, TiffBuilder::undefined, 4, "0100");
    tiff.addShort(exif, 0xA001, 1); // colour space
    tiff.addLong(exif, 0xA002, 6000);
    tiff.addLong(exif, 0xA003, 4000);
    tiff.addRational(exif, 0xA20E, 6000000, 1443);
    tiff.addRational(exif, 0xA20F, 4000000, 962);
    tiff.addShort(exif, 0xA210, 2);
    tiff.addShort(exif, 0xA401, 0); // custom rendered
    tiff.addShort(exif, 0xA402, 0); // exposure mode
    tiff.addShort(exif, 0xA403, 0); // white balance
    tiff.addShort(exif, 0xA406, 0); // scene capture type
    tiff.addAscii(exif, 0xA430, "");
    tiff.addAscii(exif, 0xA431, "012345678901");
    tiff.addRaw(exif, 0xA432, TiffBuilder::rational, 4,
                tiff.number(50, 4) + tiff.number(1, 4) + tiff.number(50, 4) + tiff.number(1, 4)
                    + tiff.number(18, 4) + tiff.number(10, 4) + tiff.number(18, 4)
                    + tiff.number(10, 4));
    tiff.addAscii(exif, 0xA433, "Calvenor");
    tiff.addAscii(exif, 0xA434, "Calvenor 50mm F1.8");
    tiff.addAscii(exif, 0xA435, "0000c0ffee");
    return tiff.bytes();
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
