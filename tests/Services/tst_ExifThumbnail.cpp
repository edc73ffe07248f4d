#include "Samples/SamplePhotos.h"
#include "Services/Decoders/ExifThumbnail.h"
#include "support/Bytes.h"
#include "support/FuzzCorpus.h"
#include "support/TwoHalves.h"

#include <QTest>

// EXIF thumbnails in JPEG files assembled here (TIFF in either byte order), turned upright by the
// photo's orientation; damaged structures give no thumbnail and never read out of bounds.
class tst_ExifThumbnail : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void thumbnails_data();
    void thumbnails();
    void damagedInputsAreRefused();
};

namespace {

using Bytes::number;

// Red on the left half, blue on the right.
QByteArray jpeg(QSize size)
{
    return SamplePhotos::encodeJpeg(TwoHalves::make(size), 0, 95);
}

struct Layout
{
    bool littleEndian = false;
    int orientation = 1;
    bool hasIfd1 = true;
    qint64 thumbnailOffsetShift = 0; // moves the recorded offset off the data
    quint32 ifd1Entries = 2;
    quint32 lengthShift = 0; // claims more thumbnail bytes than the segment holds
};

QByteArray cameraJpeg(const Layout &layout)
{
    const bool le = layout.littleEndian;
    const QByteArray thumbnail = jpeg({32, 16});
    const auto entry = [le](quint16 tag, quint16 type, quint32 value) {
        return number(tag, 2, le) + number(type, 2, le) + number(1, 4, le)
               + (type == 3 ? number(value, 2, le) + QByteArray(2, '\0') : number(value, 4, le));
    };
    const quint32 ifd1At = 8 + 2 + 12 + 4;
    const quint32 dataAt = ifd1At + 2 + 24 + 4;
    QByteArray tiff = QByteArray(le ? "II" : "MM") + number(42, 2, le) + number(8, 4, le);
    tiff += number(1, 2, le) + entry(0x0112, 3, quint32(layout.orientation))
            + number(layout.hasIfd1 ? ifd1At : 0, 4, le);
    tiff += number(layout.ifd1Entries, 2, le)
            + entry(0x0201, 4, quint32(dataAt + layout.thumbnailOffsetShift))
            + entry(0x0202, 4, quint32(thumbnail.size()) + layout.lengthShift) + number(0, 4, le);
    tiff += thumbnail;
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const QByteArray app1 = QByteArray("\xFF\xE1", 2) + number(quint64(payload.size() + 2), 2, false) + payload;
    const QByteArray photo = jpeg({64, 32});
    return photo.left(2) + app1 + photo.mid(2);
}

} // namespace

void tst_ExifThumbnail::thumbnails_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("size"); // upright; empty when there is no thumbnail
    QTest::addColumn<QString>("redSide"); // where the red half ends up

    QTest::newRow("big endian") << cameraJpeg({}) << QSize(32, 16) << QStringLiteral("left");
    QTest::newRow("little endian") << cameraJpeg({.littleEndian = true}) << QSize(32, 16) << QStringLiteral("left");
    QTest::newRow("orientation 6 turns it upright")
        << cameraJpeg({.orientation = 6}) << QSize(16, 32) << QStringLiteral("top");
    QTest::newRow("orientation 8, little endian")
        << cameraJpeg({.littleEndian = true, .orientation = 8}) << QSize(16, 32) << QStringLiteral("bottom");
    QTest::newRow("orientation 3 turns it over")
        << cameraJpeg({.orientation = 3}) << QSize(32, 16) << QStringLiteral("right");
    QTest::newRow("orientation out of range is ignored")
        << cameraJpeg({.orientation = 42}) << QSize(32, 16) << QStringLiteral("left");
    QTest::newRow("as the sample camera writes it")
        << SamplePhotos::encodeCameraJpeg(TwoHalves::make({640, 320}), 6) << QSize(80, 160)
        << QStringLiteral("top");
    QTest::newRow("no IFD1") << cameraJpeg({.hasIfd1 = false}) << QSize() << QString();
    QTest::newRow("offset past the segment")
        << cameraJpeg({.thumbnailOffsetShift = 1 << 20}) << QSize() << QString();
    // The segment ends with the thumbnail, and the photo's own data follows inside the file.
    QTest::newRow("thumbnail ends 1 byte past the segment")
        << cameraJpeg({.lengthShift = 1}) << QSize() << QString();
    QTest::newRow("thumbnail ends 3 bytes past the segment")
        << cameraJpeg({.littleEndian = true, .lengthShift = 3}) << QSize() << QString();
    QTest::newRow("IFD1 claims 60,000 entries")
        << cameraJpeg({.ifd1Entries = 60000}) << QSize() << QString();
    QTest::newRow("plain JPEG") << jpeg({64, 32}) << QSize() << QString();
    QTest::newRow("not a JPEG") << QByteArray("GIF89a\0\0\0\0", 10) << QSize() << QString();
}

void tst_ExifThumbnail::thumbnails()
{
    QFETCH(QByteArray, file);
    QFETCH(QSize, size);
    QFETCH(QString, redSide);
    FuzzCorpus::add("exif", file);
    const QImage image = ExifThumbnail::read(file);
    QCOMPARE(image.isNull() ? QSize() : image.size(), size);
    if (image.isNull()) {
        return;
    }
    QVERIFY2(TwoHalves::redIsOn(image, redSide), "halves misplaced");
}

void tst_ExifThumbnail::damagedInputsAreRefused()
{
    // Cut at every byte: the thumbnail is found whole or not at all (run under the sanitizers,
    // any read past the bytes given shows up).
    const QByteArray file = cameraJpeg({.littleEndian = true, .orientation = 6});
    const ExifThumbnail::Location whole = ExifThumbnail::locate(file);
    QVERIFY(whole.isValid());
    for (qsizetype length = 0; length < file.size(); ++length) {
        const ExifThumbnail::Location location = ExifThumbnail::locate(QByteArrayView(file).first(length));
        QVERIFY2(!location.isValid() || location == whole, qPrintable(QString::number(length)));
        QVERIFY(!location.isValid() || location.offset + location.length <= length);
    }
    // Every byte of the EXIF block flipped in turn.
    for (qsizetype at = 2; at < whole.offset; ++at) {
        QByteArray damaged = file;
        damaged[at] = char(~damaged[at]);
        const ExifThumbnail::Location location = ExifThumbnail::locate(damaged);
        QVERIFY(!location.isValid()
                || (location.offset >= 0 && location.offset + location.length <= damaged.size()));
        (void)ExifThumbnail::read(damaged);
    }
}

QTEST_GUILESS_MAIN(tst_ExifThumbnail)
#include "tst_ExifThumbnail.moc"
