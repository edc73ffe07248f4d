#include "Samples/SamplePhotos.h"
#include "Services/DimensionFill.h"
#include "Services/FileSystemService.h"
#include "support/LockHolder.h"
#include "support/TestFolders.h"
#include "support/UnsafeImageFiles.h"

#include <QFileInfo>
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
    void windowNeverWaitsForTheReaders();
    void readsApplied_data();
    void readsApplied();
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

// A reader preempted inside the readers' lock keeps it while the cores are busy: what the
// window asks meanwhile returns at once, and is done once the reader lets go, in the order asked.
void tst_ImageDimensionsReader::windowNeverWaitsForTheReaders()
{
    QStringList read;
    QMutex readMutex;
    DimensionFill fill(
        [&](const QString &path) {
            const QMutexLocker locker(&readMutex);
            read.append(QFileInfo(path).baseName());
            return ImageDimensions{3, 2};
        },
        1);
    const auto readSoFar = [&] {
        const QMutexLocker locker(&readMutex);
        return read;
    };
    qsizetype delivered = 0;
    connect(&fill, &DimensionFill::dimensionsRead,
            [&delivered](const QList<DimensionsRead> &batch) { delivered += batch.size(); });
    const QList<Photo> photos = sectionOf(6).first().photos;
    {
        LockHolder reader(fill.readersLock());
        fill.enqueue(photos.mid(5));
        fill.clear(); // drops what was queued before
        fill.enqueue(photos.mid(0, 5));
        fill.hold(this);
        fill.prioritize({photos[3]});
        QVERIFY(fill.pendingCount() > 0);
        QTest::qWait(10 * WindowSideLock::retryMs);
        QVERIFY2(reader.letGo(), "the window's thread waited for the readers' lock");
    }
    QTRY_COMPARE(readSoFar(), QStringList{u"3"_s}); // only what is on screen while held
    fill.release(this);
    QTRY_COMPARE(fill.pendingCount(), 0);
    QCOMPARE(readSoFar(), (QStringList{u"3"_s, u"0"_s, u"1"_s, u"2"_s, u"4"_s}));
    QCOMPARE(delivered, 5);
}

void tst_ImageDimensionsReader::readsApplied_data()
{
    QTest::addColumn<PhotoSortOrder>("order");
    QTest::addColumn<QString>("reads");    // "id:taken" (seconds on the clock, "-" for none)
    QTest::addColumn<QString>("expected"); // the section's ids afterwards
    QTest::addColumn<DimensionFill::Applied>("applied");
    using A = DimensionFill::Applied;
    const auto byName = PhotoSortOrder::filename;
    const auto byTaken = PhotoSortOrder::dateTaken;
    // The section lists a, b, c, by file time (1, 2, 3 s) and name alike.
    QTest::newRow("by name, times are written where the photos are")
        << byName << u"a:300 b:100"_s << u"a b c"_s << A::inPlace;
    QTest::newRow("by date taken, the section is sorted again")
        << byTaken << u"a:300 b:100 c:200"_s << u"b c a"_s << A::reordered;
    QTest::newRow("by date taken, only b's time known: by file time for the others")
        << byTaken << u"b:0 a:- c:-"_s << u"b a c"_s << A::reordered;
    QTest::newRow("by date taken, times that agree with the order")
        << byTaken << u"a:10 b:20 c:30"_s << u"a b c"_s << A::inPlace;
    QTest::newRow("by date taken, dimensions alone")
        << byTaken << u"a:- b:- c:-"_s << u"a b c"_s << A::inPlace;
    QTest::newRow("a read of an older file version")
        << byTaken << u"a:300@old"_s << u"a b c"_s << A::nothing;
}

// Header reads coming back to a collection: the file version must match, and under the
// date-taken order the capture times that arrive put the photos in their places.
void tst_ImageDimensionsReader::readsApplied()
{
    QFETCH(PhotoSortOrder, order);
    QFETCH(QString, reads);
    QFETCH(QString, expected);
    QFETCH(DimensionFill::Applied, applied);
    qputenv("TZ", "UTC");
    PhotoCollection collection;
    collection.sections = sectionOf(0);
    for (const QString &id : {u"a"_s, u"b"_s, u"c"_s}) {
        Photo photo;
        photo.id = id;
        photo.filename = id + u".jpg"_s;
        photo.modificationDate = {id == u"a"_s ? 1 : id == u"b"_s ? 2 : 3, 0};
        collection.sections[0].photos.append(photo);
    }
    QList<DimensionsRead> results;
    for (const QString &read : reads.split(u' ')) {
        const QString id = read.section(u':', 0, 0);
        const QString taken = read.section(u':', 1).section(u'@', 0, 0);
        DimensionsRead result{id, {id == u"a"_s ? 1 : id == u"b"_s ? 2 : 3, 0}, 0, {4, 3}};
        if (read.endsWith(u"@old"_s)) {
            result.modificationDate = {0, 0};
        }
        if (taken != u"-"_s) {
            result.dimensions.captureTime =
                CaptureTime::make(QDate(1970, 1, 1), QTime(0, 0).addSecs(taken.toInt()));
        }
        results.append(result);
    }
    QCOMPARE(DimensionFill::applyTo(collection, results, order), applied);
    QStringList ids;
    for (const Photo &photo : std::as_const(collection.sections[0].photos)) {
        ids.append(photo.id);
        const auto read = std::find_if(results.cbegin(), results.cend(), [&](const auto &r) {
            return r.photoID == photo.id && r.modificationDate == photo.modificationDate;
        });
        QCOMPARE(photo.captureTime,
                 read == results.cend() ? std::nullopt : read->dimensions.captureTime);
    }
    QCOMPARE(ids.join(u' '), expected);
}

QTEST_GUILESS_MAIN(tst_ImageDimensionsReader)
#include "tst_ImageDimensionsReader.moc"
