#include "Services/Decoders/ExifThumbnail.h"
#include "Services/Decoders/HeifDecoder.h"
#include "support/FuzzCorpus.h"
#include "support/HeifWriter.h"
#include "support/Quadrants.h"
#include "support/TestFolders.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <optional>

using namespace HeifWriter;
using namespace Qt::StringLiterals;

// HEIC and AVIF files made by libheif's own encoders, some edited box by box afterwards. The
// pictures are coloured quadrants, so how they were turned can be read back: the size the header
// gives, the picture, the thumbnail item and the embedded preview must all agree, and a photo
// turned by its container is never turned again by the EXIF orientation stored beside it.
class tst_HeifDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void turnedOnce_data();
    void turnedOnce();
    void thumbnailChoice_data();
    void thumbnailChoice();
    void badInputGivesNoPictureNeverAWrongOne_data();
    void badInputGivesNoPictureNeverAWrongOne();

private:
    std::optional<ImageSource> written(const QByteArray &bytes);

    QTemporaryDir m_dir;
    int m_written = 0;
    HeifDecoder m_decoder;
};

Q_DECLARE_METATYPE(heif_compression_format)

namespace {

// The photo: red top-left, green bottom-left, blue right; its thumbnails swap red and green.
QImage photo(QSize size = {64, 32}, bool thumbnail = false)
{
    return thumbnail ? Quadrants::make(size, Qt::green, Qt::red) : Quadrants::make(size);
}

// Random colours: a picture that compresses poorly, so its file is many KiB long.
QImage noise(QSize size, quint32 seed)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(image.bits()),
                                     image.sizeInBytes() / 4);
    return image;
}

using Quadrants::layoutOf;

// `image` as a viewer shows it: turned by an EXIF orientation, then by `quarterTurns`
// anticlockwise.
QImage upright(const QImage &image, int orientation, int quarterTurns)
{
    return ExifThumbnail::oriented(image, orientation)
        .transformed(QTransform().rotate(-90.0 * quarterTurns));
}

QSize bounded(QSize size, int longest)
{
    return size.scaled(longest, longest, Qt::KeepAspectRatio);
}

// The usual photo: 64 × 32 with a 32 × 16 thumbnail item, and an EXIF block saying 6 that must
// never be applied.
Fixture phoneLike(heif_compression_format format, bool grid = true)
{
    return {.format = format,
            .grid = grid,
            .picture = photo(),
            .thumbnails = {{photo({64, 32}, true), 32}},
            .exifOrientation = 6};
}

const std::initializer_list<std::pair<const char *, heif_compression_format>> formats = {
    {"heic", heif_compression_HEVC}, {"avif", heif_compression_AV1}};

// Every KiB boundary, the first bytes, and both sides of the end of the header.
QList<qsizetype> cutsOf(const QByteArray &file)
{
    const qsizetype header = headerLength(file);
    QList<qsizetype> cuts = {0, 1, 7, 8, 9, 16, 17, 33, header - 1, header, header + 1,
                             header + 9, file.size() / 2 + 3, file.size() - 1};
    for (qsizetype at = 1024; at < file.size(); at += 1024) {
        cuts.append(at);
    }
    std::ranges::sort(cuts);
    cuts.erase(std::ranges::unique(cuts).begin(), cuts.end());
    cuts.removeIf([&file](qsizetype cut) { return cut < 0 || cut >= file.size(); });
    return cuts;
}

} // namespace

std::optional<ImageSource> tst_HeifDecoder::written(const QByteArray &bytes)
{
    FuzzCorpus::add("heif", bytes);
    return ImageSource::open(
        TestFolders::writeFile(m_dir.path(), u"photo%1.heic"_s.arg(++m_written), bytes));
}

void tst_HeifDecoder::turnedOnce_data()
{
    QTest::addColumn<heif_compression_format>("format");
    QTest::addColumn<bool>("grid");          // otherwise one item cropped by `clap`
    QTest::addColumn<int>("orientation");    // written by libheif as irot/imir
    QTest::addColumn<int>("quarterTurns");   // an irot added afterwards, after ispe
    QTest::addColumn<bool>("rotationFirst"); // that irot's box before ispe's

    for (const auto &[name, format] : formats) {
        const QByteArray prefix(name);
        for (const bool grid : {true, false}) {
            const QByteArray kind = prefix + (grid ? " grid" : " clap");
            // libheif 1.15 writes a turned photo's ispe turned, listed after its irot.
            for (int orientation = 1; orientation <= 8; ++orientation) {
                QTest::addRow("%s, written with orientation %d", kind.constData(), orientation)
                    << format << grid << orientation << 0 << false;
            }
            for (const int turns : {1, 2, 3}) {
                QTest::addRow("%s, irot %d added", kind.constData(), 90 * turns)
                    << format << grid << 1 << turns << false;
            }
            QTest::addRow("%s, irot box before ispe", kind.constData())
                << format << grid << 1 << 1 << true;
        }
    }
}

void tst_HeifDecoder::turnedOnce()
{
    QFETCH(heif_compression_format, format);
    QFETCH(bool, grid);
    QFETCH(int, orientation);
    QFETCH(int, quarterTurns);
    QFETCH(bool, rotationFirst);
    if (!canEncode(format)) {
        QSKIP("libheif has no encoder and decoder for this format here");
    }
    Fixture fixture = phoneLike(format, grid);
    fixture.orientation = orientation;
    QByteArray file = encoded(fixture);
    QVERIFY(file.contains(orientationEntry(6)));
    const Items items = itemsOf(file);
    QCOMPARE(items.thumbnails.size(), 1);
    if (quarterTurns) {
        file = withRotation(file, quarterTurns, {items.primary, items.thumbnails[0]},
                            rotationFirst);
    }
    const std::optional<ImageSource> source = written(file);
    QVERIFY(source);
    const QImage picture = upright(fixture.picture, orientation, quarterTurns);
    const QImage thumbnail = upright(photo({64, 32}, true), orientation, quarterTurns);

    QCOMPARE(m_decoder.uprightSize(*source), picture.size());
    const QImage full = m_decoder.decode(*source, 4096);
    QCOMPARE(full.size(), picture.size());
    QCOMPARE(layoutOf(full), layoutOf(picture));
    const QImage small = m_decoder.decode(*source, 16);
    QCOMPARE(small.size(), bounded(picture.size(), 16));
    QCOMPARE(layoutOf(small), layoutOf(thumbnail));
    const QImage preview = m_decoder.embeddedPreview(*source);
    QCOMPARE(preview.size(), bounded(picture.size(), 32));
    QCOMPARE(layoutOf(preview), layoutOf(thumbnail));
}

void tst_HeifDecoder::thumbnailChoice_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("maximum"); // 0: the embedded preview
    QTest::addColumn<QSize>("size");  // empty: no picture
    QTest::addColumn<QString>("layout");

    const QString primary = layoutOf(photo()), thumbnail = layoutOf(photo({64, 32}, true));
    for (const auto &[name, format] : formats) {
        if (!canEncode(format)) {
            continue;
        }
        const QByteArray prefix(name);
        const QByteArray file = encoded(phoneLike(format));
        Fixture bare = phoneLike(format);
        bare.thumbnails.clear();
        const QByteArray withoutThumbnail = encoded(bare);
        QTest::newRow(prefix + " thumbnail larger than asked") << file << 16 << QSize(16, 8) << thumbnail;
        QTest::newRow(prefix + " thumbnail exactly as large") << file << 32 << QSize(32, 16) << thumbnail;
        QTest::newRow(prefix + " thumbnail a pixel short") << file << 33 << QSize(33, 17) << primary;
        QTest::newRow(prefix + " full size") << file << 64 << QSize(64, 32) << primary;
        QTest::newRow(prefix + " never enlarged") << file << 4096 << QSize(64, 32) << primary;
        QTest::newRow(prefix + " preview") << file << 0 << QSize(32, 16) << thumbnail;
        QTest::newRow(prefix + " no thumbnail: primary shrunk") << withoutThumbnail << 16 << QSize(16, 8) << primary;
        QTest::newRow(prefix + " no thumbnail: shrunk in two steps") << withoutThumbnail << 10 << QSize(10, 5) << primary;
        QTest::newRow(prefix + " no thumbnail: no preview") << withoutThumbnail << 0 << QSize() << u"null"_s;
    }
    if (!canEncode(heif_compression_HEVC)) {
        return;
    }
    // Many phones store 10 bits a channel; the picture still comes out as 8-bit RGB.
    Fixture deep = phoneLike(heif_compression_HEVC);
    deep.bitDepth = 10;
    const QByteArray deepFile = encoded(deep);
    QCOMPARE(lumaBitsOf(deepFile), 10);
    QTest::newRow("10-bit thumbnail") << deepFile << 16 << QSize(16, 8) << thumbnail;
    QTest::newRow("10-bit primary") << deepFile << 64 << QSize(64, 32) << primary;

    // The primary turned, the thumbnail stored without the turn: shown, it would lie on its
    // side until the real picture replaced it.
    const QByteArray plain = encoded(phoneLike(heif_compression_HEVC));
    const QByteArray unturned = withRotation(plain, 1, {itemsOf(plain).primary});
    const QString turned = layoutOf(upright(photo(), 1, 1));
    QTest::newRow("thumbnail of another shape: primary") << unturned << 16 << QSize(8, 16) << turned;
    QTest::newRow("thumbnail of another shape: no preview") << unturned << 0 << QSize() << u"null"_s;

    // The preview is the smallest thumbnail; a decode takes the smallest large enough.
    Fixture two = phoneLike(heif_compression_HEVC);
    two.thumbnails.append({Quadrants::make({64, 32}, Qt::blue, Qt::blue, Qt::red), 16});
    const QByteArray twoFile = encoded(two);
    QTest::newRow("two thumbnails: preview") << twoFile << 0 << QSize(16, 8) << u"BR/BR"_s;
    QTest::newRow("two thumbnails: the one large enough") << twoFile << 24 << QSize(24, 12) << thumbnail;

    const QByteArray single = encoded(phoneLike(heif_compression_HEVC, false));
    const QByteArray damaged = withConfigurationDamaged(single, itemsOf(single).thumbnails.value(0));
    QTest::newRow("damaged thumbnail: primary") << damaged << 16 << QSize(16, 8) << primary;
    QTest::newRow("damaged thumbnail: no preview") << damaged << 0 << QSize() << u"null"_s;
}

void tst_HeifDecoder::thumbnailChoice()
{
    QFETCH(QByteArray, file);
    QFETCH(int, maximum);
    QFETCH(QSize, size);
    QFETCH(QString, layout);
    QVERIFY(!file.isEmpty());
    const std::optional<ImageSource> source = written(file);
    QVERIFY(source);
    const QImage image = maximum ? m_decoder.decode(*source, maximum)
                                 : m_decoder.embeddedPreview(*source);
    QCOMPARE(image.isNull() ? QSize() : image.size(), size);
    QCOMPARE(layoutOf(image), layout);
}

void tst_HeifDecoder::badInputGivesNoPictureNeverAWrongOne_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("whole"); // what anything shown must equal; empty: nothing
    QTest::addColumn<QSize>("headerSize");
    QTest::addColumn<bool>("refusedUpFront"); // before any decode, so a busy budget is no wait

    QTest::newRow("empty") << QByteArray() << QByteArray() << QSize() << true;
    QTest::newRow("not HEIF") << QByteArray(4096, 'x') << QByteArray() << QSize() << true;
    QTest::newRow("ftyp alone") << box("ftyp", "heic" + bigEndian(0, 4) + "mif1heic")
                                << QByteArray() << QSize() << true;
    if (canEncode(heif_compression_HEVC)) {
        const QByteArray file = encoded({.grid = false, .picture = photo(), .thumbnails = {}});
        // Far beyond any sensor: the header reader refuses it, and libheif must not try it.
        QTest::newRow("declared 100000 x 100000")
            << withDeclaredSize(file, 100000, 100000) << QByteArray() << QSize() << true;
        // A size the header may report, but 400 megapixels is more than a picture may cost.
        QTest::newRow("declared 20000 x 20000") << withDeclaredSize(file, 20000, 20000)
                                                << QByteArray() << QSize(20000, 20000) << true;
    }
    for (const auto &[name, format] : formats) {
        if (!canEncode(format)) {
            continue;
        }
        // No thumbnail and no EXIF: the coded picture ends the file, so every cut damages it.
        const QByteArray file =
            encoded({.format = format, .picture = noise({192, 128}, 7), .thumbnails = {}});
        QVERIFY(file.size() > 8 * 1024);
        const qsizetype header = headerLength(file);
        for (const qsizetype cut : cutsOf(file)) {
            QTest::addRow("%s cut at %lld of %lld", name, qlonglong(cut), qlonglong(file.size()))
                << file.first(cut) << QByteArray() << (cut < header ? QSize() : QSize(192, 128))
                << (cut < header);
        }
        // A cut may fall after the primary's data, in the thumbnail or the EXIF block: whether
        // the photo is then still shown is libheif's choice, but what is shown is exact.
        Fixture fixture = phoneLike(format);
        fixture.picture = photo({256, 128});
        fixture.thumbnails = {{noise({256, 128}, 3), 128}};
        QByteArray rich = encoded(fixture);
        const Items items = itemsOf(rich);
        rich = withRotation(rich, 1, {items.primary, items.thumbnails.value(0)});
        const qsizetype richHeader = headerLength(rich);
        for (const qsizetype cut : cutsOf(rich)) {
            QTest::addRow("%s with thumbnail, cut at %lld of %lld", name, qlonglong(cut),
                          qlonglong(rich.size()))
                << rich.first(cut) << rich
                << (cut < richHeader ? QSize() : QSize(128, 256)) << (cut < richHeader);
        }
    }
}

void tst_HeifDecoder::badInputGivesNoPictureNeverAWrongOne()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, whole);
    QFETCH(QSize, headerSize);
    QFETCH(bool, refusedUpFront);
    const std::optional<ImageSource> source = written(file);
    QVERIFY(source);
    QCOMPARE(m_decoder.uprightSize(*source), headerSize);

    const std::optional<ImageSource> intact = whole.isEmpty() ? std::nullopt : written(whole);
    const auto expected = [&](int maximum) {
        return !intact ? QImage()
               : maximum ? m_decoder.decode(*intact, maximum)
                         : m_decoder.embeddedPreview(*intact);
    };
    for (const int maximum : {4096, 64, 0}) {
        const QImage shown =
            maximum ? m_decoder.decode(*source, maximum) : m_decoder.embeddedPreview(*source);
        QVERIFY2(shown.isNull() || shown == expected(maximum), qPrintable(QString::number(maximum)));
    }
    if (refusedUpFront) {
        // However busy the budget: asking it first would hold every later decode back behind
        // a file that is refused anyway.
        DecodeBudget budget(1000);
        std::future<QImage> decoded; // waited for after `busy` is released, whatever happens
        const DecodeBudget::Reservation busy = budget.reserve(1000);
        decoded = std::async(std::launch::async,
                             [&] { return m_decoder.decode(*source, 4096, budget); });
        QTRY_VERIFY(decoded.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
        QVERIFY(decoded.get().isNull());
    }
}

QTEST_GUILESS_MAIN(tst_HeifDecoder)
#include "tst_HeifDecoder.moc"
