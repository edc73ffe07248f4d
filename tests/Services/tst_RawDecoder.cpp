#include "Services/Decoders/RawDecoder.h"
#include "support/Bytes.h"
#include "support/DngWriter.h"
#include "support/TwoHalves.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// DNG files written here with libtiff, laid out as cameras and converters write them: IFD0 a
// small RGB thumbnail carrying the DNG tags and the orientation, its SubIFDs the CFA raw image
// and a large JPEG preview. The decoder must show the large preview, turned once, never larger
// than asked; damaged and hostile files give nothing or only what is really in them, never a
// crash or a picture of garbage.
class tst_RawDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void pictures_data();
    void pictures();
    void badInputGivesNoPictureNeverAWrongOne_data();
    void badInputGivesNoPictureNeverAWrongOne();

private:
    QTemporaryDir m_dir;
    RawDecoder m_decoder;
};

namespace {

using Dng = DngWriter::Layout;
using DngWriter::previewSize;
using DngWriter::thumbnailSize;

// `file` with the one entry `tag` = `value` (a single LONG, as libtiff writes strip offsets
// and lengths) set to `newValue`; empty when there is no such entry, or more than one.
QByteArray withEntry(const QByteArray &file, quint16 tag, quint32 value, quint32 newValue)
{
    const auto le32 = [](quint32 number) { return Bytes::number(number, 4, true); };
    const QByteArray entry = le32(tag | 4u << 16) + le32(1) + le32(value);
    const qsizetype at = file.indexOf(entry);
    if (at < 0 || file.indexOf(entry, at + 1) >= 0) {
        return {};
    }
    QByteArray patched = file;
    patched.replace(at + 8, 4, le32(newValue));
    return patched;
}

constexpr quint16 stripOffsetsTag = 273;
constexpr quint16 stripByteCountsTag = 279;

} // namespace

Q_DECLARE_METATYPE(Dng)

using namespace Qt::StringLiterals;

void tst_RawDecoder::pictures_data()
{
    QTest::addColumn<Dng>("dng");
    QTest::addColumn<QSize>("header"); // the raw image's, upright
    QTest::addColumn<int>("maximum");  // 0: the embedded preview
    QTest::addColumn<QSize>("size");   // upright; empty: nothing to show

    const Dng turnedClockwise;
    const auto oriented = [](int orientation) { return Dng{.orientation = orientation}; };
    const Dng onlyThumbnail{.preview = false};
    const QSize raw(170, 256);

    QTest::newRow("upright, full size")
        << oriented(1) << raw.transposed() << 4096 << QSize(1024, 682);
    QTest::newRow("turned clockwise (6)") << turnedClockwise << raw << 4096 << QSize(682, 1024);
    QTest::newRow("turned counter-clockwise (8)") << oriented(8) << raw << 4096 << QSize(682, 1024);
    QTest::newRow("upside down (3)") << oriented(3) << raw.transposed() << 4096 << QSize(1024, 682);
    QTest::newRow("exactly the preview's size")
        << turnedClockwise << raw << 1024 << QSize(682, 1024);
    QTest::newRow("scaled to 512, turned") << turnedClockwise << raw << 512 << QSize(341, 512);
    QTest::newRow("scaled to 100, upright")
        << oriented(1) << raw.transposed() << 100 << QSize(100, 66);
    QTest::newRow("embedded preview, turned") << turnedClockwise << raw << 0 << QSize(213, 320);
    QTest::newRow("RGB thumbnail when there is no preview")
        << onlyThumbnail << raw << 4096 << QSize(120, 160);
    QTest::newRow("RGB thumbnail scaled to 80") << onlyThumbnail << raw << 80 << QSize(60, 80);
    QTest::newRow("RGB thumbnail as the embedded preview")
        << onlyThumbnail << raw << 0 << QSize(120, 160);
    QTest::newRow("raw image alone: nothing to show")
        << Dng{.thumbnail = false, .preview = false} << raw << 4096 << QSize();
    // The largest multi-shot backs record 400 megapixels: a believable size must pass.
    QTest::newRow("300 megapixels")
        << Dng{.rawSize = {20000, 15000}} << QSize(15000, 20000) << 4096 << QSize(682, 1024);
}

void tst_RawDecoder::pictures()
{
    QFETCH(Dng, dng);
    QFETCH(QSize, header);
    QFETCH(int, maximum);
    QFETCH(QSize, size);
    const QString path = m_dir.filePath(QStringLiteral("photo.dng"));
    QVERIFY(!DngWriter::write(path, dng).isEmpty());
    const std::optional<ImageSource> file = ImageSource::open(path);
    QVERIFY(file);

    QCOMPARE(m_decoder.uprightSize(*file), header);
    const QImage image =
        maximum == 0 ? m_decoder.embeddedPreview(*file) : m_decoder.decode(*file, maximum);
    QCOMPARE(image.isNull() ? QSize() : image.size(), size);
    QVERIFY2(image.isNull() || TwoHalves::redIsOn(image, TwoHalves::redSide(dng.orientation)),
             "halves misplaced");
}

void tst_RawDecoder::badInputGivesNoPictureNeverAWrongOne_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("fileSize");       // the file grown to this size when larger
    QTest::addColumn<QList<QSize>>("sizes");    // the header may give
    QTest::addColumn<QList<QSize>>("pictures"); // a decode may show; none listed: nothing
    QTest::addColumn<QList<QSize>>("previews"); // the embedded preview may be

    const QString scratch = m_dir.filePath(QStringLiteral("scratch.dng"));
    const QByteArray whole = DngWriter::write(scratch, Dng{});
    const QByteArray preview = DngWriter::defaultPreviewJpeg();
    const qsizetype previewAt = whole.indexOf(preview);
    QVERIFY(previewAt > 0);
    const QSize raw(170, 256);
    const QList<QSize> none = {QSize()};

    // A preview present, but the header claims a billion pixels: nothing is believed.
    QTest::newRow("header claims 40000 x 25000")
        << DngWriter::write(scratch, Dng{.rawSize = {40000, 25000}}) << qint64(0) << none
        << QList<QSize>() << QList<QSize>();
    // The preview's data moved to the end and cut in half, its directory intact: a camera file
    // (directories first, data after) that was copied or downloaded only in part.
    const QByteArray cut = withEntry(whole + preview.left(preview.size() / 2), stripOffsetsTag,
                                     quint32(previewAt), quint32(whole.size()));
    QVERIFY(!cut.isEmpty());
    QTest::newRow("preview runs past the end of the file")
        << cut << qint64(0) << QList<QSize>{raw} << QList<QSize>() << QList<QSize>();
    // Grown to hold what it claims (the JPEG, then zeros, sparse on disk), the file is whole
    // and decodable, but the preview too large to be believed.
    const quint32 claimed = 200 << 20;
    const QByteArray huge = withEntry(whole, stripByteCountsTag, quint32(preview.size()), claimed);
    QVERIFY(!huge.isEmpty());
    QTest::newRow("preview claims 200 MiB")
        << huge << qint64(previewAt + claimed) << QList<QSize>{raw} << QList<QSize>()
        << QList<QSize>();
    QTest::newRow("empty file") << QByteArray() << qint64(0) << none << QList<QSize>()
                                << QList<QSize>();
    QTest::newRow("only the TIFF header")
        << whole.left(8) << qint64(0) << none << QList<QSize>() << QList<QSize>();

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    for (int round = 0; round < 20; ++round) {
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        // Half of them past the first check: a TIFF header, the first IFD right after it.
        if (round % 2 == 1) {
            bytes.replace(0, 8, QByteArray("II*\0\x08\0\0\0", 8));
        }
        QTest::addRow("random bytes, seed %u, round %d", seed, round)
            << bytes << qint64(0) << none << QList<QSize>() << QList<QSize>();
    }

    // libtiff writes each image's data before its directory, so a cut loses the preview's
    // directory along with (or before) its data: what is left is either unreadable or a
    // smaller but whole file, from which only what is really there may come back.
    for (qsizetype length = 0; length < whole.size(); length += 1024) {
        QTest::addRow("cut at %lld", qlonglong(length))
            << whole.left(length) << qint64(0) << QList<QSize>{QSize(), raw}
            << QList<QSize>{previewSize.transposed(), thumbnailSize.transposed()}
            << QList<QSize>{QSize(213, 320), thumbnailSize.transposed()};
    }
}

void tst_RawDecoder::badInputGivesNoPictureNeverAWrongOne()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, fileSize);
    QFETCH(QList<QSize>, sizes);
    QFETCH(QList<QSize>, pictures);
    QFETCH(QList<QSize>, previews);
    const QString path = m_dir.filePath(QStringLiteral("bad.dng"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            out.write(bytes) == bytes.size() && out.resize(std::max(fileSize, bytes.size())));
    out.close();
    const std::optional<ImageSource> file = ImageSource::open(path);
    QVERIFY(file);

    QVERIFY(sizes.contains(m_decoder.uprightSize(*file)));
    // Whatever comes back is a whole picture of the file, turned as the photo is.
    for (const auto &[image, allowed] : {std::pair{m_decoder.decode(*file, 4096), pictures},
                                         {m_decoder.embeddedPreview(*file), previews}}) {
        QVERIFY2(image.isNull() || (allowed.contains(image.size()) &&
                                    TwoHalves::redIsOn(image, TwoHalves::redSide(6))),
                 qPrintable(u"%1 x %2"_s.arg(image.width()).arg(image.height())));
    }
}

QTEST_GUILESS_MAIN(tst_RawDecoder)
#include "tst_RawDecoder.moc"
