#include "Samples/SamplePhotos.h"
#include "Services/FileSystemService.h"
#include "support/TestFolders.h"
#include "support/UnsafeImageFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace TestFolders;
using UnsafeImageFiles::pngClaiming;
using namespace Qt::StringLiterals;

class tst_ImageDimensionsReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsUprightSizeFromHeader_data();
    void readsUprightSizeFromHeader();
    void cancellationBetweenBatches_data();
    void cancellationBetweenBatches();
    void rescanReadsOnlyWhatChanged();
};

namespace {

// Pushes the size marker of a JPEG past the first 64 KiB with two large application segments,
// as a camera's embedded preview does.
QByteArray withLargePreview(const QByteArray &jpeg)
{
    QByteArray padded = jpeg.left(2);
    for (int i = 0; i < 2; ++i) {
        padded.append("\xFF\xEF", 2).append(char(0xEA)).append(char(0x60));
        padded.append(QByteArray(0xEA60 - 2, 'p'));
    }
    return padded + jpeg.mid(2);
}

QByteArray jpegBytes(QSize size, int orientation)
{
    return SamplePhotos::encodeJpeg(SamplePhotos::makeImage(size.width(), size.height(), 7),
                                    orientation);
}

} // namespace

void tst_ImageDimensionsReader::readsUprightSizeFromHeader_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ImageDimensions>("expected");

    for (const int orientation : {0, 3, 5, 6, 7, 8}) { // 0: none
        QTest::addRow("orientation %d", orientation)
            << u"a.jpg"_s << jpegBytes({40, 30}, orientation)
            << (orientation >= 5 ? ImageDimensions{30, 40} : ImageDimensions{40, 30});
    }
    QTest::newRow("hostile header") << QStringLiteral("huge.png") << pngClaiming(100000, 100000)
                                    << ImageDimensions{100000, 100000};
    QTest::newRow("truncated after header")
        << QStringLiteral("cut.jpg") << jpegBytes({64, 48}, 1).left(700) << ImageDimensions{64, 48};
    QTest::newRow("size marker beyond 64 KiB")
        << QStringLiteral("preview.jpg") << withLargePreview(jpegBytes({64, 48}, 6))
        << ImageDimensions{48, 64};
    QTest::newRow("zero bytes") << QStringLiteral("empty.jpg") << QByteArray() << ImageDimensions{};
    QTest::newRow("text named .jpg")
        << QStringLiteral("notes.jpg") << QByteArray("hello\n") << ImageDimensions{};
    QTest::newRow("corrupt") << QStringLiteral("noise.png") << QByteArray(5000, '\x5A')
                             << ImageDimensions{};
    QTest::newRow("png content named .jpg")
        << QStringLiteral("wrong.jpg") << pngClaiming(12, 34) << ImageDimensions{12, 34};
}

void tst_ImageDimensionsReader::readsUprightSizeFromHeader()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(ImageDimensions, expected);
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), name, bytes);
    const ImageDimensions read = ImageDimensionsReader::imageDimensions(path);
    QCOMPARE(read.width, expected.width);
    QCOMPARE(read.height, expected.height);
}

static QList<PhotoSection> sectionOf(int count)
{
    PhotoSection section;
    for (int i = 0; i < count; ++i) {
        Photo photo;
        photo.id = QString::number(i);
        photo.url = QUrl::fromLocalFile(QStringLiteral("/nowhere/%1.jpg").arg(i));
        section.photos.append(photo);
    }
    return {section};
}

void tst_ImageDimensionsReader::cancellationBetweenBatches_data()
{
    QTest::addColumn<int>("processors");
    QTest::addColumn<int>("width"); // of a batch
    QTest::newRow("none reported") << 0 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("two") << 2 << 2;
    QTest::newRow("eight") << 8 << 8;
    QTest::newRow("sixteen: batches of eight") << 16 << 8;
}

// The reader cancels as soon as it has read once; the batch in flight still finishes, the
// next never starts.
void tst_ImageDimensionsReader::cancellationBetweenBatches()
{
    QFETCH(int, processors);
    QFETCH(int, width);
    QCOMPARE(ImageDimensionsReader::batchWidth(processors), width);
    std::atomic<int> reads{0};
    std::atomic<bool> cancelled{false};
    ImageDimensionsReader reader(
        [&](const QString &) {
            ++reads;
            cancelled = true;
            return ImageDimensions{3, 2};
        },
        processors);
    QList<PhotoSection> sections = sectionOf(40);
    const Result<void> result =
        reader.populateImageDimensions(sections, [&] { return cancelled.load(); });
    QVERIFY(!result.has_value());
    QCOMPARE(result.error().code, FileSystemError::Code::cancelled);
    QCOMPARE(reads.load(), width);
    QCOMPARE(reader.cacheSize(), qsizetype(width)); // what was read stays cached
}

void tst_ImageDimensionsReader::rescanReadsOnlyWhatChanged()
{
    QTemporaryDir dir;
    writeJpeg(dir.path(), QStringLiteral("a.jpg"), {40, 30});
    writeJpeg(dir.path(), QStringLiteral("Cats/b.jpg"), {20, 10}, 6);
    writeFile(dir.path(), QStringLiteral("broken.jpg"), "not an image");
    writeJpeg(dir.path(), QStringLiteral("c.jpg"), {16, 16});
    FileSystemService service;
    const QUrl root = QUrl::fromLocalFile(dir.path());

    Result<PhotoCollection> first = service.scan(root, PhotoSortOrder::filename).result();
    QVERIFY(first.has_value());
    QCOMPARE(service.headersRead(), 4);
    QCOMPARE(first->sections[1].photos[0].dimensionsLabel(), QStringLiteral("10 × 20"));

    // Unchanged files come from the cache; the unreadable one is tried again.
    QVERIFY(service.scan(root, PhotoSortOrder::filename).result().has_value());
    QCOMPARE(service.headersRead(), 5);

    // A file that changes size is read again, and the broken one still is.
    writeFile(dir.path(), QStringLiteral("c.jpg"),
              SamplePhotos::encodeJpeg(SamplePhotos::makeImage(50, 20, 1)));
    Result<PhotoCollection> third = service.scan(root, PhotoSortOrder::filename).result();
    QVERIFY(third.has_value());
    QCOMPARE(service.headersRead(), 7);
    QStringList labels;
    for (const Photo &photo : third->sections[0].photos) {
        labels.append(photo.filename + QLatin1Char('=') + photo.dimensionsLabel());
    }
    QCOMPARE(labels, (QStringList{QStringLiteral("a.jpg=40 × 30"), QStringLiteral("broken.jpg=—"),
                                  QStringLiteral("c.jpg=50 × 20")}));
}

QTEST_GUILESS_MAIN(tst_ImageDimensionsReader)
#include "tst_ImageDimensionsReader.moc"
