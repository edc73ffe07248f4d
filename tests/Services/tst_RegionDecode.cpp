#include "Services/ImageFile.h"
#include "Services/Similarity/ImageFingerprint.h"
#include "Services/Similarity/SimilarityIndex.h"

#include "Samples/SamplePhotos.h"
#include "support/PictureDifference.h"
#include "support/TestFolders.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

using namespace Qt::StringLiterals;

// A part of a photo decoded alone (the preview at 100 %) must be exactly that part of the
// upright photo, whatever the EXIF turn, whether libjpeg decodes it alone (baseline and
// progressive JPEG, at full size and in eighths) or the whole picture is decoded and cut (PNG).
class tst_RegionDecode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyTheFormatsOwnReaderLoads(); // first: before anything probes an unknown content
    void partOfTheUprightPhoto_data();
    void partOfTheUprightPhoto();
    void unreadableGivesNothing();
};

namespace {

// Encoded by libjpeg itself: Qt's writer would try, and so load, the image plugins itself.
QByteArray libjpegEncoded(const QImage &picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *out = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&info, &out, &length);
    info.image_width = JDIMENSION(rgb.width());
    info.image_height = JDIMENSION(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto *row = const_cast<JSAMPLE *>(rgb.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(length));
    std::free(out);
    return bytes;
}

QByteArray progressiveJpeg(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.setQuality(92);
    return writer.write(image) ? bytes : QByteArray();
}

} // namespace

void tst_RegionDecode::partOfTheUprightPhoto_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QRect>("region"); // of the upright photo
    QTest::addColumn<QSize>("size");
    const QImage stored = PictureDifference::pattern({1200, 800});
    for (int orientation = 1; orientation <= 8; ++orientation) {
        // Upright, orientations 5 to 8 are 800 × 1200.
        const QRect region =
            orientation >= 5 ? QRect(130, 610, 500, 300) : QRect(610, 130, 500, 300);
        QTest::addRow("jpeg %d, full size", orientation)
            << SamplePhotos::encodeJpeg(stored, orientation, 92) << u"jpg"_s << region
            << region.size();
        QTest::addRow("jpeg %d, half size", orientation)
            << SamplePhotos::encodeJpeg(stored, orientation, 92) << u"jpg"_s << region
            << region.size() / 2;
    }
    QTest::newRow("progressive jpeg")
        << progressiveJpeg(stored) << u"jpg"_s << QRect(700, 500, 480, 290) << QSize(480, 290);
    QTest::newRow("jpeg, part at the edge") << SamplePhotos::encodeJpeg(stored, 1, 92) << u"jpg"_s
                                            << QRect(1100, 700, 100, 100) << QSize(100, 100);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    stored.save(&buffer, "PNG");
    QTest::newRow("png, cut from the whole")
        << png << u"png"_s << QRect(333, 222, 400, 300) << QSize(200, 150);
}

void tst_RegionDecode::partOfTheUprightPhoto()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, suffix);
    QFETCH(QRect, region);
    QFETCH(QSize, size);
    QVERIFY(!bytes.isEmpty());
    QTemporaryDir dir;
    const QString path = TestFolders::writeFile(dir.path(), u"photo."_s + suffix, bytes);
    // The reference: the whole photo decoded upright, then the part cut and scaled.
    const ImageFile::Decoded whole = ImageFile::read(path, 4000);
    QCOMPARE(whole.image.size(), whole.sourceSize);
    const QImage expected =
        whole.image.copy(region).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    const QImage part = ImageFile::readRegion(path, region, size);
    QCOMPARE(part.size(), size);
    const double difference = PictureDifference::mean(part, expected);
    QVERIFY2(difference < 4, qPrintable(QString::number(difference)));

    // The similarity pass decodes a JPEG's brightness alone, in eighths: upright all the same.
    const std::optional<SimilarityFacts> facts = SimilarityIndex::computeFacts(path);
    QVERIFY(facts);
    const int distance =
        ImageFingerprint::distance(facts->hash, ImageFingerprint::differenceHash(whole.image));
    QVERIFY2(distance <= 3, qPrintable(QString::number(distance)));
}

// A JPEG read whole, in part, or for its similarity facts, under a name that tells its format
// or not, loads no image plugin but the JPEG reader: a reader left to find the format tries
// every plugin Qt has, and loads them (TIFF and WebP with their libraries) on the first read.
void tst_RegionDecode::onlyTheFormatsOwnReaderLoads()
{
    QTemporaryDir dir;
    const QByteArray jpeg = libjpegEncoded(PictureDifference::pattern({64, 48}));
    QVERIFY(!jpeg.isEmpty());
    for (const QString &name : {u"a.jpg"_s, u"b.photo"_s}) {
        const QString path = TestFolders::writeFile(dir.path(), name, jpeg);
        QVERIFY2(!ImageFile::readImage(path, 32).isNull(), qPrintable(name));
        QVERIFY2(!ImageFile::readRegion(path, QRect(0, 0, 32, 32), QSize(32, 32)).isNull(),
                 qPrintable(name));
        QVERIFY2(SimilarityIndex::computeFacts(path).has_value(), qPrintable(name));
    }
    QFile maps(u"/proc/self/maps"_s);
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QSet<QString> plugins;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        if (line.contains("/imageformats/")) {
            plugins.insert(QString::fromLatin1(line.mid(line.lastIndexOf('/') + 1)));
        }
    }
    QCOMPARE(plugins, QSet{u"libqjpeg.so"_s});
}

void tst_RegionDecode::unreadableGivesNothing()
{
    QTemporaryDir dir;
    QByteArray jpeg = SamplePhotos::encodeJpeg(PictureDifference::pattern({64, 48}));
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    QVERIFY(frame > 0);
    QByteArray vast = jpeg;
    vast.replace(frame + 5, 4, "\xFF\xF0\xFF\xF0", 4); // 65520 × 65520
    for (const QByteArray &bytes : {QByteArray("not a photo"), vast, QByteArray()}) {
        const QString path = TestFolders::writeFile(dir.path(), u"x.jpg"_s, bytes);
        QVERIFY(ImageFile::readRegion(path, QRect(0, 0, 32, 32), QSize(32, 32)).isNull());
    }
    QVERIFY(ImageFile::readRegion(dir.filePath(u"gone.jpg"_s), QRect(0, 0, 8, 8), QSize(8, 8))
                .isNull());
}

QTEST_MAIN(tst_RegionDecode)
#include "tst_RegionDecode.moc"
