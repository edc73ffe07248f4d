#include "Samples/SamplePhotos.h"
#include "Services/Decoders/HeifDecoder.h"
#include "Services/Decoders/ImageDecoders.h"
#include "Services/Decoders/JpegXlDecoder.h"
#include "Services/Decoders/QtImageDecoder.h"
#include "Services/Decoders/RawDecoder.h"
#include "Services/ImageFile.h"
#include "Services/Platform/BackgroundPriority.h"
#include "Services/ThumbnailService.h"
#include "support/DngWriter.h"
#include "support/HeifWriter.h"
#include "support/JxlWriter.h"
#include "support/Quadrants.h"
#include "support/TestFolders.h"
#include "support/UnsafeImageFiles.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrentRun>

#include <optional>
#include <sys/resource.h>
#include <thread>
#include <typeinfo>
#include <vector>

using namespace TestFolders;
using namespace Qt::StringLiterals;

namespace {

Photo photoAt(const QString &path)
{
    const QFileInfo info(path);
    return {info.fileName(), QUrl::fromLocalFile(path), info.fileName(),
            FileTime::fromDateTime(info.lastModified()), info.size()};
}

QByteArray pngBytes(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    image.save(&buffer, "PNG");
    return png;
}

// As thumbnailers write it: text chunks after the header (Qt's writer cuts keys at ':').
QByteArray pngWithTexts(const QImage &image, const QByteArray &uri, const QByteArray &mtime)
{
    using UnsafeImageFiles::pngChunk;
    return pngBytes(image).insert(33,
                                  pngChunk("tEXtThumb::URI" + QByteArray(1, '\0') + uri) +
                                      pngChunk("tEXtThumb::MTime" + QByteArray(1, '\0') + mtime));
}

ThumbnailService::ImageSource countingDecoder(std::atomic<int> &decodes)
{
    return [&decodes](const QString &path, int size) {
        ++decodes;
        return ThumbnailService::downsample(path, size);
    };
}

// Records what it decodes (one at a time, read after the last delivery); holds "gate.jpg".
struct GatedDecoder
{
    QStringList decoded;
    QSemaphore started, gate;
    std::atomic<int> niceness{-100}; // of the thread that decoded last

    QImage operator()(const QString &path, int size)
    {
        niceness = ::getpriority(PRIO_PROCESS, 0); // on Linux: the calling thread's
        decoded.append(QFileInfo(path).fileName());
        if (path.endsWith(u"gate.jpg"_s)) {
            started.release();
            gate.acquire();
        }
        return QImage(size, size, QImage::Format_Grayscale8);
    }
};
} // namespace

class tst_ThumbnailService : public QObject
{
    Q_OBJECT

    // Asks `service` and waits for the answer on this thread.
    QImage ask(ThumbnailService &service, const Photo &photo, qreal points, qreal scale)
    {
        QImage delivered;
        const auto request =
            service.request(photo, {points, points}, scale, ThumbnailService::Priority::Visible,
                            this, [&delivered](const QImage &image) { delivered = image; });
        [[maybe_unused]] const bool answered =
            QTest::qWaitFor([&delivered] { return !delivered.isNull(); }, 20000);
        service.cancel(request); // a late answer must not reach `delivered`
        return delivered;
    }

private Q_SLOTS:
    void requestSize_data()
    {
        QTest::addColumn<QSizeF>("points");
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QSizeF>("pointSize");
        QTest::addColumn<int>("needed");

        const int cap = ThumbnailService::maximumNeededPixels;
        QTest::newRow("100 at 2") << QSizeF(100, 100) << 2.0 << QSizeF(100, 100) << 200;
        QTest::newRow("scale below 1") << QSizeF(100, 50) << 0.5 << QSizeF(100, 50) << 100;
        QTest::newRow("scale 0") << QSizeF(100, 50) << 0.0 << QSizeF(100, 50) << 100;
        QTest::newRow("zero width") << QSizeF(0, 50) << 2.0 << QSizeF(1, 50) << 100;
        QTest::newRow("empty cell") << QSizeF(0, 0) << 2.0 << QSizeF(1, 1) << 2;
        QTest::newRow("fraction") << QSizeF(100.2, 50) << 1.5 << QSizeF(151 / 1.5, 50) << 151;
        QTest::newRow("no rounding error") << QSizeF(100, 100) << 1.1 << QSizeF(100, 100) << 110;
        QTest::newRow("not a number") << QSizeF(qQNaN(), 10) << qQNaN() << QSizeF(1, 10) << 10;
        QTest::newRow("infinite, capped") << QSizeF(qInf(), 10) << 1.0 << QSizeF(cap, 10) << cap;
    }
    void requestSize()
    {
        QFETCH(QSizeF, points);
        QFETCH(qreal, scale);
        QFETCH(QSizeF, pointSize);
        QFETCH(int, needed);
        const auto size = ThumbnailService::requestSize(points, scale);
        QCOMPARE(size.pointSize, pointSize);
        QCOMPARE(size.neededPixels, needed);
    }

    void decodersServeThreadsAtOnce_data()
    {
        QTest::addColumn<QByteArray>("decoder"); // the type of the one that serves the files
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QByteArray>("upright");
        QTest::addColumn<QByteArray>("turned"); // the same photo, a quarter turn
        QTest::addColumn<int>("small");         // served another way than the whole picture

        const QImage photo = Quadrants::make({256, 128});
        QTest::newRow("Qt: JPEG scaled while decoding")
            << QByteArray(typeid(QtImageDecoder).name()) << u"jpg"_s
            << SamplePhotos::encodeJpeg(photo, 1) << SamplePhotos::encodeJpeg(photo, 6) << 32;
        QTest::newRow("JPEG XL: the 1:8 pass")
            << QByteArray(typeid(JpegXlDecoder).name()) << u"jxl"_s << JxlWriter::encoded(photo, 1)
            << JxlWriter::encoded(photo, 6) << 32;
        HeifWriter::Fixture heif{
            .picture = photo,
            .thumbnails = {{Quadrants::make({256, 128}, Qt::green, Qt::red), 32}}};
        const bool heic = HeifWriter::canEncode(heif.format);
        const QByteArray heifUpright = heic ? HeifWriter::encoded(heif) : QByteArray();
        heif.orientation = 6;
        QTest::newRow("HEIF: the thumbnail item")
            << QByteArray(typeid(HeifDecoder).name()) << u"heic"_s << heifUpright
            << (heic ? HeifWriter::encoded(heif) : QByteArray()) << 16;
        QTemporaryDir dir;
        const QString scratch = dir.filePath(u"scratch.dng"_s);
        QTest::newRow("RAW: the preview scaled")
            << QByteArray(typeid(RawDecoder).name()) << u"dng"_s
            << DngWriter::write(scratch, {.orientation = 1})
            << DngWriter::write(scratch, {.orientation = 6}) << 100;
    }
    // One decoder object serves every pool thread: two files decoded at once, whole and small,
    // each come back as when decoded alone; a decode that shared anything with another would
    // return the other's picture or a damaged one.
    void decodersServeThreadsAtOnce()
    {
        QFETCH(QByteArray, decoder);
        QFETCH(QString, suffix);
        QFETCH(QByteArray, upright);
        QFETCH(QByteArray, turned);
        QFETCH(int, small);
        if (upright.isEmpty()) {
            QSKIP("no encoder for this format here");
        }
        QTemporaryDir dir;
        const QStringList paths = {writeFile(dir.path(), u"upright."_s + suffix, upright),
                                   writeFile(dir.path(), u"turned."_s + suffix, turned)};
        const std::optional<ImageSource> file = ImageSource::open(paths[0]);
        QVERIFY(file);
        const ImageDecoder &shared = ImageDecoders::forFile(*file);
        QCOMPARE(QByteArray(typeid(shared).name()), decoder);
        // Each decode opens its file, as the service's do.
        const auto decoded = [&paths, small](int round) {
            return ThumbnailService::downsample(paths[round % 2], round % 4 < 2 ? 4096 : small);
        };
        QList<QImage> expected;
        for (int round = 0; round < 4; ++round) {
            expected.append(decoded(round));
        }
        QVERIFY(!expected[0].isNull() && !expected[2].isNull());
        QCOMPARE(expected[1].size(), expected[0].size().transposed());
        QCOMPARE(expected[3].size(), expected[2].size().transposed());

        constexpr int threadCount = 4;
        constexpr int rounds = 100;
        std::vector<QList<QImage>> results(threadCount);
        {
            std::vector<std::jthread> threads;
            for (int t = 0; t < threadCount; ++t) {
                threads.emplace_back([&, t] {
                    for (int round = t; round < rounds + t; ++round) {
                        results[size_t(t)].append(decoded(round));
                    }
                });
            }
        }
        for (int t = 0; t < threadCount; ++t) {
            for (int round = t; round < rounds + t; ++round) {
                QCOMPARE(results[size_t(t)][round - t], expected[round % 4]);
            }
        }
    }

    void wholeImageDecodesDrawFromTheBudget_data()
    {
        QTest::addColumn<QImage>("source");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("wholeImage"); // decoded whole before it is shrunk

        const QImage photo = SamplePhotos::makeImage(800, 600, 5);
        QTest::newRow("JPEG: shrunk while decoding") << photo << QByteArray("jpeg") << false;
        QTest::newRow("JPEG, portrait")
            << photo.transformed(QTransform().rotate(90)) << QByteArray("jpeg") << false;
        QTest::newRow("JPEG smaller than asked: whole")
            << photo.scaled(40, 30) << QByteArray("jpeg") << false;
        QTest::newRow("8-bit RGB PNG: shrunk row by row") << photo << QByteArray("png") << false;
        QTest::newRow("palette PNG")
            << photo.convertToFormat(QImage::Format_Indexed8) << QByteArray("png") << true;
        QTest::newRow("16-bit PNG")
            << photo.convertToFormat(QImage::Format_RGBX64) << QByteArray("png") << true;
        QTest::newRow("BMP") << photo << QByteArray("bmp") << true;
        // Decoded to 32 bits, beyond Qt's own limit of 128 MiB, which used to leave it blank.
        QImage vast(6000, 6000, QImage::Format_Grayscale8);
        vast.fill(90);
        QTest::newRow("36-megapixel greyscale PNG") << vast << QByteArray("png") << true;
    }
    // A decoder that holds the whole image first waits for its pixels; one that shrinks while
    // decoding never waits. Either way the image comes out at the needed size.
    void wholeImageDecodesDrawFromTheBudget()
    {
        QFETCH(QImage, source);
        QFETCH(QByteArray, format);
        QFETCH(bool, wholeImage);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"photo."_s + QString::fromLatin1(format));
        QVERIFY(source.save(path, format.constData()));

        DecodeBudget budget(1000);
        std::optional<DecodeBudget::Reservation> everything = budget.reserve(1000);
        QFuture<QImage> image =
            QtConcurrent::run([path, &budget] { return ImageFile::read(path, 200, budget).image; });
        const auto unblock = qScopeGuard([&] {
            everything.reset();
            image.waitForFinished();
        });
        if (wholeImage) {
            QTRY_COMPARE_WITH_TIMEOUT(budget.waitingCount(), 1, 20000);
            QVERIFY(!image.isFinished());
            everything.reset();
        }
        QTRY_VERIFY_WITH_TIMEOUT(image.isFinished(), 60000);
        const QSize whole = source.size(); // never enlarged
        const QSize bounded = whole.scaled(200, 200, Qt::KeepAspectRatio);
        QCOMPARE(image.result().size(), bounded.width() > whole.width() ? whole : bounded);
        everything.reset();
        QCOMPARE(budget.heldPixels(), 0); // the decode let go of its pixels
    }

    void cacheReuseAndReplacement()
    {
        QTemporaryDir dir;
        const QString path = writeJpeg(dir.path(), QStringLiteral("photo.jpg"), {4000, 3000});
        std::atomic<int> decodes{0};
        ThumbnailService service(2, {}, countingDecoder(decodes));
        // Shrinking reuses the larger image; growing renders once more and replaces it.
        for (const auto &[points, count, width] :
             {std::tuple{100, 1, 200}, {80, 1, 200}, {150, 2, 300}, {100, 2, 300}}) {
            QCOMPARE(ask(service, photoAt(path), points, 2).width(), width);
            QCOMPARE(decodes.load(), count);
        }
        const QString key = ThumbnailService::contentKey(photoAt(path));
        QCOMPARE(service.cachedImage(key, 300).width(), 300);
        QVERIFY(service.cachedImage(key, 301).isNull());
        // Filed into a category, or put back by an undo: the same file is drawn at once.
        Photo moved = photoAt(path);
        const QString movedPath = makeFolder(dir.path(), u"Cats"_s) + u"/photo.jpg"_s;
        QVERIFY(QFile::rename(path, movedPath));
        moved.url = QUrl::fromLocalFile(movedPath);
        QCOMPARE(ask(service, moved, 100, 2).width(), 300);
        QCOMPARE(decodes.load(), 2);
        setModificationTime(movedPath, 1'600'000'000); // an edited file never hits its old entry
        QCOMPARE(ask(service, photoAt(movedPath), 80, 2).width(), 160);
        QCOMPARE(decodes.load(), 3);
    }

    void cacheEviction_data()
    {
        QTest::addColumn<qsizetype>("countLimit");
        QTest::addColumn<qint64>("costLimit");
        QTest::addColumn<QString>("kept");

        // Each image is 5 x 5 pixels, 100 bytes.
        QTest::newRow("by count") << qsizetype(3) << qint64(1000) << u"acd"_s;
        QTest::newRow("by bytes") << qsizetype(700) << qint64(250) << u"cd"_s;
    }
    void cacheEviction()
    {
        QFETCH(qsizetype, countLimit);
        QFETCH(qint64, costLimit);
        QFETCH(QString, kept);
        ThumbnailCache cache(countLimit, costLimit);
        const QImage image = SamplePhotos::makeImage(5, 5, 1);
        cache.insert(u"a"_s, image, 5);
        cache.insert(u"b"_s, image, 5);
        QVERIFY(!cache.find(u"a"_s, 5).isNull()); // a use: "b" is now the oldest
        cache.insert(u"c"_s, image, 5);
        cache.insert(u"d"_s, image, 5);
        QStringList present{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
        present.removeIf([&cache](const QString &key) { return !cache.contains(key); });
        QCOMPARE(present.join(QString()), kept);
        QCOMPARE(cache.totalCost(), 100 * kept.size());

        // A late, smaller render keeps the larger entry; an image beyond the budget is not kept.
        cache.insert(u"d"_s, image.scaled(2, 2), 2);
        QCOMPARE(cache.find(u"d"_s, 5).size(), QSize(5, 5));
        cache.insert(u"huge"_s, QImage(100, 100, QImage::Format_RGB32), 100);
        QVERIFY(!cache.contains(u"huge"_s));
        QCOMPARE(cache.count(), kept.size());
    }

    // One pool thread, held busy by "gate.jpg" while the rest is queued.
    void poolOrdersCancelsAndDrops()
    {
        QTemporaryDir dir;
        GatedDecoder decoder;
        ThumbnailService service(1, {}, std::ref(decoder));
        QStringList delivered;
        QHash<QString, std::shared_ptr<ThumbnailRequest>> requests;
        const auto key = [&dir](const char *name) {
            return ThumbnailService::contentKey(photoAt(dir.filePath(QString::fromLatin1(name))));
        };
        for (const char *name : {"gate.jpg", "far.jpg", "near.jpg", "shown.jpg", "gone.jpg"}) {
            const Photo p = photoAt(writeFile(dir.path(), QString::fromLatin1(name)));
            const auto onReady = [&delivered, p](const QImage &image) {
                delivered.append(image.isNull() ? QString() : p.filename);
            };
            requests[p.filename] =
                service.request(p, {50, 50}, 1, ThumbnailService::Priority::Nearby, this, onReady);
            if (p.filename == u"gate.jpg"_s) { // the only pool thread is now busy
                QVERIFY(decoder.started.tryAcquire(1, 20000));
            }
        }
        // "shown" is on screen, "near" just outside, "far" away; "gone" and "gate" cancelled.
        service.setInterest({key("shown.jpg"), key("gone.jpg")}, {key("near.jpg")});
        service.cancel(requests.value(u"gone.jpg"_s));
        service.cancel(requests.value(u"gate.jpg"_s));
        decoder.gate.release();

        QTRY_COMPARE(delivered, (QStringList{u"shown.jpg"_s, u"near.jpg"_s})); // none empty
        QCOMPARE(decoder.decoded, (QStringList{u"gate.jpg"_s, u"shown.jpg"_s, u"near.jpg"_s}));
        QVERIFY(requests.value(u"far.jpg"_s)->isCancelled() &&
                requests.value(u"gone.jpg"_s)->isCancelled());
        QVERIFY(!service.cache().contains(key("gate.jpg"))); // result discarded
    }

    // While the real decode waits, the file's own small picture stands in; it never arrives
    // after the real answer, and a dropped request gets neither.
    void previewsStandInWhileDecoding()
    {
        QTemporaryDir dir;
        GatedDecoder decoder;
        ThumbnailService service(1, {}, std::ref(decoder));
        std::atomic<int> previewNiceness{-100};
        service.setPreviewSource([&previewNiceness](const QString &path) {
            previewNiceness = ::getpriority(PRIO_PROCESS, 0);
            return path.endsWith(u"none.jpg"_s) ? QImage() : QImage(16, 12, QImage::Format_RGB32);
        });
        QStringList events;
        QHash<QString, std::shared_ptr<ThumbnailRequest>> requests;
        for (const char *name : {"gate.jpg", "waiting.jpg", "dropped.jpg", "none.jpg"}) {
            const Photo p = photoAt(writeFile(dir.path(), QString::fromLatin1(name)));
            requests[p.filename] = service.request(
                p, {50, 50}, 1, ThumbnailService::Priority::Visible, this,
                [&events, p](const QImage &image) {
                    events.append(p.filename + u" ready "_s + QString::number(image.width()));
                },
                [&events, p](const QImage &preview) {
                    events.append(p.filename + u" preview "_s + QString::number(preview.width()));
                });
            if (p.filename == u"gate.jpg"_s) {
                QVERIFY(decoder.started.tryAcquire(1, 20000));
            }
        }
        service.cancel(requests.value(u"dropped.jpg"_s));
        QTRY_VERIFY(events.contains(u"waiting.jpg preview 16"_s));
        QTRY_VERIFY(events.contains(u"gate.jpg preview 16"_s)); // a running decode too
        decoder.gate.release();
        QTRY_VERIFY(events.contains(u"waiting.jpg ready 50"_s));
        QTRY_VERIFY(events.contains(u"none.jpg ready 50"_s));
        QVERIFY2(events.indexOf(u"waiting.jpg preview 16"_s) < events.indexOf(u"waiting.jpg ready 50"_s),
                 qPrintable(events.join(u", "_s)));
        for (const QString &event : std::as_const(events)) {
            QVERIFY2(!event.startsWith(u"dropped.jpg"_s) && !event.startsWith(u"none.jpg preview"_s),
                     qPrintable(event));
        }
        // Both kinds of work run below the window's thread, which never waits for them.
        const int window = ::getpriority(PRIO_PROCESS, 0);
        QCOMPARE(decoder.niceness.load(), std::min(19, window + BackgroundPriority::niceness));
        QCOMPARE(previewNiceness.load(), decoder.niceness.load());
    }

    void freedesktopCache_data()
    {
        QTest::addColumn<QSize>("thumbnail"); // 128 px in "normal", 256 px in "large"
        QTest::addColumn<QString>("mismatch");
        QTest::addColumn<int>("needed");
        QTest::addColumn<QSize>("expected"); // empty: a miss

        QTest::newRow("large, scaled") << QSize(256, 192) << QString() << 200 << QSize(200, 150);
        QTest::newRow("normal, small cell") << QSize(128, 96) << QString() << 100 << QSize(100, 75);
        QTest::newRow("modified since") << QSize(256, 192) << u"mtime"_s << 200 << QSize(0, 0);
        QTest::newRow("another file's") << QSize(256, 192) << u"uri"_s << 200 << QSize(0, 0);
        QTest::newRow("too small") << QSize(128, 96) << QString() << 200 << QSize(0, 0);
    }
    void freedesktopCache()
    {
        QFETCH(QSize, thumbnail);
        QFETCH(QString, mismatch);
        QFETCH(int, needed);
        QFETCH(QSize, expected);
        QTemporaryDir dir, xdgCache; // the thumbnail cache is never the user's own
        qputenv("XDG_CACHE_HOME", QFile::encodeName(xdgCache.path()));
        const QString path = writeJpeg(dir.path(), u"Trip; day 1/a b#é%.jpg"_s, {800, 600});
        setModificationTime(path, 1'700'000'000);
        const QString uri = FreedesktopThumbnails::fileUri(path);
        QCOMPARE(uri, u"file://"_s + QString::fromLatin1(QFile::encodeName(dir.path())) +
                          u"/Trip%3B%20day%201/a%20b%23%C3%A9%25.jpg"_s);

        QImage image(thumbnail, QImage::Format_RGB32);
        image.fill(Qt::green);
        const QByteArray md5 = QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5);
        writeFile(xdgCache.path(),
                  (thumbnail.width() > 128 ? u"thumbnails/large/"_s : u"thumbnails/normal/"_s) +
                      QString::fromLatin1(md5.toHex() + ".png"),
                  pngWithTexts(image, (mismatch == u"uri"_s ? uri + u'x' : uri).toUtf8(),
                               mismatch == u"mtime"_s ? "1700000001" : "1700000000"));
        QCOMPARE(FreedesktopThumbnails::find(path, needed).size(), expected);

        // The service asks the shared cache first and decodes the photo only on a miss.
        std::atomic<int> decodes{0};
        ThumbnailService service(1, FreedesktopThumbnails::find, countingDecoder(decodes));
        const QColor colour = ask(service, photoAt(path), needed, 1).pixelColor(5, 5);
        QCOMPARE(decodes.load(), expected.isEmpty() ? 1 : 0);
        QCOMPARE(colour.green() > 200 && colour.blue() < 60, !expected.isEmpty());
    }

    void budget_data()
    {
        QTest::addColumn<qint64>("capacity");
        QTest::addColumn<qint64>("held"); // by the test, before a thread asks
        QTest::addColumn<qint64>("asked");
        QTest::addColumn<bool>("waits"); // until the test lets go of what it holds

        QTest::newRow("fits beside what is held") << 100LL << 60LL << 40LL << false;
        QTest::newRow("does not fit") << 100LL << 60LL << 41LL << true;
        QTest::newRow("beyond the budget, something held") << 100LL << 1LL << 250LL << true;
        QTest::newRow("beyond the budget, nothing held: alone") << 100LL << 0LL << 250LL << false;
        QTest::newRow("no budget") << 0LL << 1000LL << 500LL << false;
        QTest::newRow("nothing asked") << 100LL << 100LL << 0LL << false;
    }
    void budget()
    {
        QFETCH(qint64, capacity);
        QFETCH(qint64, held);
        QFETCH(qint64, asked);
        QFETCH(bool, waits);
        DecodeBudget budget(capacity);
        std::optional<DecodeBudget::Reservation> ours = budget.reserve(held);
        std::atomic<bool> granted{false};
        QSemaphore letGo;
        std::jthread thread([&] {
            const DecodeBudget::Reservation theirs = budget.reserve(asked);
            granted = true;
            letGo.acquire();
        });
        const auto unblock = qScopeGuard([&] {
            ours.reset();
            letGo.release();
        });
        const qint64 bound = capacity > 0 ? capacity : 0;
        if (waits) {
            QTRY_COMPARE(budget.waitingCount(), 1);
            QVERIFY(!granted);
            QCOMPARE(budget.heldPixels(), held);
            ours.reset();
        }
        QTRY_VERIFY(granted);
        QCOMPARE(budget.waitingCount(), 0);
        QCOMPARE(budget.heldPixels(), (ours ? ours->pixels() : 0) + (bound > 0 ? asked : 0));
        letGo.release();
        thread.join();
        QCOMPARE(budget.heldPixels(), (ours ? ours->pixels() : 0));
    }

    // Served in arrival order: a small request that would fit does not overtake a larger one
    // that came first, so the larger one never starves. Both then hold their pixels together.
    void budgetServesInArrivalOrder()
    {
        DecodeBudget budget(100);
        std::optional<DecodeBudget::Reservation> first = budget.reserve(60);
        std::atomic<int> granted{0};
        QSemaphore letGo;
        const auto asker = [&](qint64 pixels) {
            return std::jthread([&, pixels] {
                const DecodeBudget::Reservation held = budget.reserve(pixels);
                ++granted;
                letGo.acquire();
            });
        };
        std::jthread large = asker(50);
        std::jthread small;
        const auto unblock = qScopeGuard([&] { // before the threads are joined
            first.reset();
            letGo.release(2);
        });
        QTRY_COMPARE(budget.waitingCount(), 1);
        small = asker(10);
        QTRY_COMPARE(budget.waitingCount(), 2);
        QTest::qWait(50); // time enough to overtake, were it allowed to
        QCOMPARE(budget.waitingCount(), 2);
        QCOMPARE(budget.heldPixels(), 60);
        // Which thread then returns first is up to the scheduler; both are granted.
        first.reset();
        QTRY_COMPARE(granted.load(), 2);
        QCOMPARE(budget.heldPixels(), 60);
    }

    // Many threads at once: what is held never exceeds the budget, a reservation beyond the
    // budget holds alone, and every one is served.
    void budgetHoldsUnderLoad()
    {
        constexpr quint32 seed = 20240607;
        constexpr qint64 capacity = 100;
        constexpr int threadCount = 8;
        DecodeBudget budget(capacity);
        std::atomic<qint64> inUse{0};
        std::atomic<int> overruns{0};
        std::atomic<int> finished{0};
        {
            std::vector<std::jthread> threads;
            for (int t = 0; t < threadCount; ++t) {
                threads.emplace_back([&, t] {
                    QRandomGenerator random(seed + quint32(t));
                    for (int i = 0; i < 300; ++i) {
                        const qint64 pixels =
                            random.bounded(20) == 0 ? 150 : 1 + random.bounded(60);
                        const DecodeBudget::Reservation held = budget.reserve(pixels);
                        // Counted only between the grant and the release, so never more than
                        // the budget holds.
                        const qint64 now = inUse += pixels;
                        if (pixels > capacity ? now != pixels : now > capacity) {
                            ++overruns;
                        }
                        QThread::yieldCurrentThread();
                        inUse -= pixels;
                    }
                    ++finished;
                });
            }
        }
        QCOMPARE(finished.load(), threadCount);
        QVERIFY2(overruns == 0, qPrintable(u"seed %1: %2 overruns"_s.arg(seed).arg(overruns)));
        QCOMPARE(budget.heldPixels(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_ThumbnailService)
#include "tst_ThumbnailService.moc"
