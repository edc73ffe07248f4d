#include "Services/Decoders/RawDecoder.h"
#include "support/DngWriter.h"
#include "support/TwoHalves.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// DNG files written here with libtiff, laid out as cameras and converters write them: IFD0 a
// small RGB thumbnail carrying the DNG tags and the orientation, its SubIFDs the CFA raw image
// and a large JPEG preview. The decoder must show the large preview, turned once, never larger
// than asked; damaged and hostile files give nothing or only what is really in them, never a
// crash or a picture of garbage.
class tst_RawDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void previews_data();
    void previews();
    void uprightSizes_data();
    void uprightSizes();
    void hostileFiles_data();
    void hostileFiles();
    void randomBytes();
    void truncatedFiles();

private:
    QString write(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
    RawDecoder m_decoder;
};

namespace {

using Dng = DngWriter::Layout;
using DngWriter::halves;
using DngWriter::previewSize;
using DngWriter::thumbnailSize;

QByteArray previewJpeg()
{
    return DngWriter::defaultPreviewJpeg();
}

QByteArray dngBytes(const QString &path, const Dng &dng)
{
    return DngWriter::write(path, dng);
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[i] = char(value >> (8 * i) & 0xff);
    }
    return out;
}

// `file` with the one entry `tag` = `value` (a single LONG, as libtiff writes strip offsets
// and lengths) set to `newValue`; empty when there is no such entry, or more than one.
QByteArray withEntry(const QByteArray &file, quint16 tag, quint32 value, quint32 newValue)
{
    const QByteArray entry =
        littleEndian32(tag | 4u << 16) + littleEndian32(1) + littleEndian32(value);
    const qsizetype at = file.indexOf(entry);
    if (at < 0 || file.indexOf(entry, at + 1) >= 0) {
        return {};
    }
    QByteArray patched = file;
    patched.replace(at + 8, 4, littleEndian32(newValue));
    return patched;
}

constexpr quint16 stripOffsetsTag = 273;
constexpr quint16 stripByteCountsTag = 279;

// The file with its preview's data moved to the end and cut in half, its directory intact:
// a camera file (directories first, data after) that was copied or downloaded only in part.
QByteArray withPreviewCutShort(const QByteArray &file)
{
    const QByteArray preview = previewJpeg();
    const qsizetype at = file.indexOf(preview);
    if (at < 0) {
        return {};
    }
    return withEntry(file + preview.left(preview.size() / 2), stripOffsetsTag, quint32(at),
                     quint32(file.size()));
}

// The file with its preview claiming `length` bytes. Grown to hold them (the JPEG, then zeros,
// sparse on disk), it is whole and decodable, but too large to be believed.
QByteArray withPreviewClaiming(const QByteArray &file, quint32 length)
{
    return withEntry(file, stripByteCountsTag, quint32(previewJpeg().size()), length);
}

QSize turned(QSize size, int orientation)
{
    return orientation >= 5 ? size.transposed() : size;
}

} // namespace

Q_DECLARE_METATYPE(Dng)

void tst_RawDecoder::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString tst_RawDecoder::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        return {};
    }
    return path;
}

void tst_RawDecoder::previews_data()
{
    QTest::addColumn<Dng>("dng");
    QTest::addColumn<int>("maximum"); // 0: the embedded preview
    QTest::addColumn<QSize>("size");  // upright
    QTest::addColumn<int>("orientation");

    const Dng turnedClockwise;
    const auto oriented = [](int orientation) { return Dng{.orientation = orientation}; };
    const Dng onlyThumbnail{.preview = false};

    QTest::newRow("upright, full size") << oriented(1) << 4096 << QSize(1024, 682) << 1;
    QTest::newRow("turned clockwise (6)") << turnedClockwise << 4096 << QSize(682, 1024) << 6;
    QTest::newRow("turned counter-clockwise (8)") << oriented(8) << 4096 << QSize(682, 1024) << 8;
    QTest::newRow("upside down (3)") << oriented(3) << 4096 << QSize(1024, 682) << 3;
    QTest::newRow("exactly the preview's size") << turnedClockwise << 1024 << QSize(682, 1024) << 6;
    QTest::newRow("scaled to 512, turned") << turnedClockwise << 512 << QSize(341, 512) << 6;
    QTest::newRow("scaled to 100, upright") << oriented(1) << 100 << QSize(100, 66) << 1;
    QTest::newRow("embedded preview, turned") << turnedClockwise << 0 << QSize(213, 320) << 6;
    QTest::newRow("RGB thumbnail when there is no preview")
        << onlyThumbnail << 4096 << QSize(120, 160) << 6;
    QTest::newRow("RGB thumbnail scaled to 80") << onlyThumbnail << 80 << QSize(60, 80) << 6;
    QTest::newRow("RGB thumbnail as the embedded preview")
        << onlyThumbnail << 0 << QSize(120, 160) << 6;
    QTest::newRow("raw image alone: nothing to show")
        << Dng{.thumbnail = false, .preview = false} << 4096 << QSize() << 6;
}

void tst_RawDecoder::previews()
{
    QFETCH(Dng, dng);
    QFETCH(int, maximum);
    QFETCH(QSize, size);
    QFETCH(int, orientation);
    const QString path = m_dir.filePath(QStringLiteral("photo.dng"));
    QVERIFY(!dngBytes(path, dng).isEmpty());
    const std::optional<ImageSource> file = ImageSource::open(path);
    QVERIFY(file);

    const QImage image =
        maximum == 0 ? m_decoder.embeddedPreview(*file) : m_decoder.decode(*file, maximum);
    QCOMPARE(image.isNull() ? QSize() : image.size(), size);
    if (image.isNull()) {
        return;
    }
    QVERIFY2(TwoHalves::redIsOn(image, TwoHalves::redSide(orientation)), "halves misplaced");
}

void tst_RawDecoder::uprightSizes_data()
{
    QTest::addColumn<Dng>("dng");
    QTest::addColumn<QSize>("size");

    QTest::newRow("upright") << Dng{.orientation = 1} << QSize(256, 170);
    QTest::newRow("turned clockwise (6)") << Dng{} << QSize(170, 256);
    QTest::newRow("turned counter-clockwise (8)") << Dng{.orientation = 8} << QSize(170, 256);
    QTest::newRow("upside down (3)") << Dng{.orientation = 3} << QSize(256, 170);
    QTest::newRow("raw image alone")
        << Dng{.thumbnail = false, .preview = false} << QSize(170, 256);
    // The largest multi-shot backs record 400 megapixels: a believable size must pass.
    QTest::newRow("300 megapixels") << Dng{.rawSize = {20000, 15000}} << QSize(15000, 20000);
}

void tst_RawDecoder::uprightSizes()
{
    QFETCH(Dng, dng);
    QFETCH(QSize, size);
    const QString path = m_dir.filePath(QStringLiteral("photo.dng"));
    QVERIFY(!dngBytes(path, dng).isEmpty());
    const std::optional<ImageSource> file = ImageSource::open(path);
    QVERIFY(file);
    QCOMPARE(m_decoder.uprightSize(*file), size);
}

void tst_RawDecoder::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("fileSize"); // the file grown to this size when larger
    QTest::addColumn<QSize>("size");      // what the header rightly says, if anything

    const QString scratch = m_dir.filePath(QStringLiteral("scratch.dng"));
    const QByteArray whole = dngBytes(scratch, Dng{});
    QVERIFY(!whole.isEmpty());
    const QByteArray cut = withPreviewCutShort(whole);
    QVERIFY(!cut.isEmpty());
    const quint32 claimed = 200 << 20;
    const QByteArray huge = withPreviewClaiming(whole, claimed);
    QVERIFY(!huge.isEmpty());

    // A preview present, but the header claims a billion pixels: nothing is believed.
    QTest::newRow("header claims 40000 x 25000")
        << dngBytes(scratch, Dng{.rawSize = {40000, 25000}}) << qint64(0) << QSize();
    QTest::newRow("preview runs past the end of the file") << cut << qint64(0) << QSize(170, 256);
    QTest::newRow("preview claims 200 MiB")
        << huge << qint64(whole.indexOf(previewJpeg()) + claimed) << QSize(170, 256);
    QTest::newRow("empty file") << QByteArray() << qint64(0) << QSize();
    QTest::newRow("only the TIFF header") << whole.left(8) << qint64(0) << QSize();
}

void tst_RawDecoder::hostileFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, fileSize);
    QFETCH(QSize, size);
    const QString path = write(QStringLiteral("hostile.dng"), bytes);
    QVERIFY(!path.isEmpty());
    if (fileSize > bytes.size()) {
        QVERIFY(QFile::resize(path, fileSize));
    }
    const std::optional<ImageSource> file = ImageSource::open(path);
    QVERIFY(file);
    QCOMPARE(m_decoder.uprightSize(*file), size);
    QVERIFY(m_decoder.decode(*file, 4096).isNull());
    QVERIFY(m_decoder.embeddedPreview(*file).isNull());
}

void tst_RawDecoder::randomBytes()
{
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    for (int round = 0; round < 20; ++round) {
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        // Half of them past the first check: a TIFF header, the first IFD right after it.
        if (round % 2 == 1) {
            bytes.replace(0, 8, QByteArray("II*\0\x08\0\0\0", 8));
        }
        const QString path = write(QStringLiteral("random.dng"), bytes);
        QVERIFY(!path.isEmpty());
        const std::optional<ImageSource> file = ImageSource::open(path);
        QVERIFY(file);
        const QString where = QStringLiteral("seed %1, round %2").arg(seed).arg(round);
        QVERIFY2(m_decoder.uprightSize(*file).isEmpty(), qPrintable(where));
        QVERIFY2(m_decoder.decode(*file, 4096).isNull(), qPrintable(where));
        QVERIFY2(m_decoder.embeddedPreview(*file).isNull(), qPrintable(where));
    }
}

void tst_RawDecoder::truncatedFiles()
{
    // libtiff writes each image's data before its directory, so a cut loses the preview's
    // directory along with (or before) its data: what is left is either unreadable or a
    // smaller but whole file, from which only what is really there may come back.
    const QString path = m_dir.filePath(QStringLiteral("photo.dng"));
    const QByteArray whole = dngBytes(path, Dng{});
    QVERIFY(!whole.isEmpty());
    const QSize rawSize(170, 256);
    const QList<QSize> pictures{turned(previewSize, 6), turned(thumbnailSize, 6)};
    const QList<QSize> previews{QSize(213, 320), turned(thumbnailSize, 6)};
    int unreadable = 0;
    for (qsizetype length = 0; length < whole.size(); length += 1024) {
        QVERIFY(!write(QStringLiteral("cut.dng"), whole.left(length)).isEmpty());
        const std::optional<ImageSource> file =
            ImageSource::open(m_dir.filePath(QStringLiteral("cut.dng")));
        QVERIFY(file);
        const QString where = QStringLiteral("cut at %1").arg(length);
        const QSize size = m_decoder.uprightSize(*file);
        QVERIFY2(size.isEmpty() || size == rawSize, qPrintable(where));
        const QImage image = m_decoder.decode(*file, 4096);
        QVERIFY2(image.isNull() || pictures.contains(image.size()), qPrintable(where));
        const QImage preview = m_decoder.embeddedPreview(*file);
        QVERIFY2(preview.isNull() || previews.contains(preview.size()), qPrintable(where));
        unreadable += size.isEmpty() && image.isNull() ? 1 : 0;
    }
    // The cuts inside the thumbnail and the raw image's directory leave nothing to read.
    QVERIFY(unreadable > 0);
}

QTEST_GUILESS_MAIN(tst_RawDecoder)
#include "tst_RawDecoder.moc"
