#include "Services/Decoders/JpegXlDecoder.h"
#include "support/Bytes.h"
#include "support/JxlWriter.h"
#include "support/Quadrants.h"
#include "support/TestFolders.h"

#include <QColorSpace>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <jxl/decode.h>
#include <jxl/encode.h>

#include <memory>
#include <optional>

// JPEG XL files made here by libjxl's own encoder, then edited bit by bit where the encoder
// cannot write what other writers may (a preview frame, an absurd size, metadata in front).
// The pictures are coloured quadrants, so every one of the eight orientations can be read
// back: a picture must come upright, turned exactly once, whichever way it is decoded.
class tst_JpegXlDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pictures_data();
    void pictures();
    void pixels_data();
    void pixels();
    void badInputGivesNoPictureNeverAWrongOne_data();
    void badInputGivesNoPictureNeverAWrongOne();

private:
    std::optional<ImageSource> written(const QByteArray &bytes);

    QTemporaryDir m_dir;
    int m_written = 0;
    JpegXlDecoder m_decoder;
};

using namespace Qt::StringLiterals;
using Bytes::box;
using JxlWriter::encoded;

namespace {

// The photo as stored (red top-left, green bottom-left, blue right), each channel of each pixel
// moved by up to ±`noise` (seeded): a file of tens of kilobytes where flat quadrants take a
// hundred bytes. The preview swaps red and green, so a preview made from the photo shows.
QImage photo(QSize size, int noise = 0, bool preview = false)
{
    QImage image = (preview ? Quadrants::make(size, Qt::green, Qt::red) : Quadrants::make(size))
                       .convertToFormat(QImage::Format_RGB888);
    QRandomGenerator random(20240607);
    for (int y = 0; noise > 0 && y < image.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int i = 0; i < image.width() * 3; ++i) {
            line[i] = uchar(std::clamp(line[i] + random.bounded(-noise, noise + 1), 0, 255));
        }
    }
    return image;
}

// How the photo (or its preview) shows once the EXIF orientation, which JPEG XL shares, is
// applied; written out rather than computed, so no turning code of ours is trusted twice.
QString upright(int orientation, bool preview = false)
{
    static const QStringList layouts = {u"RB/GB"_s, u"BR/BG"_s, u"BG/BR"_s, u"GB/RB"_s,
                                        u"RG/BB"_s, u"GR/BB"_s, u"BB/GR"_s, u"BB/RG"_s};
    QString layout = layouts.value(orientation - 1);
    return preview ? layout.replace(u'R', u'x').replace(u'G', u'R').replace(u'x', u'G') : layout;
}

// The layout of `image` averaged over its quadrants, so that a noisy fixture reads as its
// quadrants' colours.
QString layoutOf(const QImage &image)
{
    return image.isNull() ? u"null"_s
                          : Quadrants::layoutOf(image.scaled(8, 8, Qt::IgnoreAspectRatio,
                                                             Qt::SmoothTransformation));
}

QSize turned(QSize stored, int orientation)
{
    return orientation >= 5 ? stored.transposed() : stored;
}

struct DecoderRelease
{
    void operator()(JxlDecoderStruct *decoder) const { JxlDecoderDestroy(decoder); }
};

// Where the frames of a bare codestream start: after the size header, the image metadata and
// the colour profile, which libjxl has all read once it reports the colour encoding.
qsizetype headersEnd(const QByteArray &codestream)
{
    const std::unique_ptr<JxlDecoderStruct, DecoderRelease> decoder(JxlDecoderCreate(nullptr));
    JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_COLOR_ENCODING);
    JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t *>(codestream.constData()),
                       size_t(codestream.size()));
    if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_COLOR_ENCODING) {
        return -1;
    }
    return codestream.size() - qsizetype(JxlDecoderReleaseInput(decoder.get()));
}

// Codestream fields are packed from the least significant bit of each byte up.
using Bits = QList<bool>;

Bits bitsOf(const QByteArray &bytes)
{
    Bits bits;
    for (const char byte : bytes) {
        for (int i = 0; i < 8; ++i) {
            bits.append((quint8(byte) >> i) & 1);
        }
    }
    return bits;
}

QByteArray bytesOf(const Bits &bits)
{
    QByteArray bytes((bits.size() + 7) / 8, '\0');
    for (qsizetype i = 0; i < bits.size(); ++i) {
        bytes[i / 8] = char(quint8(bytes[i / 8]) | int(bits[i]) << (i % 8));
    }
    return bytes;
}

Bits number(quint32 value, int count)
{
    Bits bits;
    for (int i = 0; i < count; ++i) {
        bits.append((value >> i) & 1);
    }
    return bits;
}

quint32 take(const Bits &bits, qsizetype &at, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i, ++at) {
        value |= quint32(bits.value(at)) << i;
    }
    return value;
}

constexpr std::array<int, 4> dimensionBits = {9, 13, 18, 30};

// Reads past the 16-bit signature and the size header: a flag for sizes that are multiples of
// 8 up to 256, the height, an aspect ratio code, and the width only when that code is 0.
// False when the signature is not there.
bool skipSizeHeader(const Bits &in, qsizetype &at)
{
    if (take(in, at, 16) != 0x0AFF) {
        return false;
    }
    const bool small = take(in, at, 1);
    const auto skipDimension = [&] { take(in, at, small ? 5 : dimensionBits[take(in, at, 2)]); };
    skipDimension();
    if (take(in, at, 3) == 0) {
        skipDimension();
    }
    return true;
}

Bits dimension(quint32 value, int minimumSelector)
{
    size_t selector = size_t(minimumSelector);
    while (selector < 3 && ((value - 1) >> dimensionBits[selector]) != 0) {
        ++selector;
    }
    return number(quint32(selector), 2) + number(value - 1, dimensionBits[selector]);
}

// `codestream` claiming `size` (up to 2^30 a side) in its size header, written out in full.
// The height takes at least 15 bits and the width at least 20: a header of 15 bits (a width
// twice a height that is not a multiple of 8) then grows by exactly three bytes, its frames
// stay byte-aligned, and a true size rewritten this way still decodes.
QByteArray withClaimedSize(const QByteArray &codestream, QSize size)
{
    const Bits in = bitsOf(codestream);
    qsizetype at = 0;
    if (!skipSizeHeader(in, at)) {
        return {};
    }
    return bytesOf(number(0x0AFF, 16) + number(0, 1) + dimension(quint32(size.height()), 1) +
                   number(0, 3) + dimension(quint32(size.width()), 2) + in.mid(at));
}

// `photo` with the frame of `preview` (256 × 128, encoded alike) placed in front of its own as
// its preview. The metadata must carry its extra fields (any orientation but 1 does); the flag
// and the shortest preview header for 256 × 128 take exactly eight bits, so everything after
// them stays byte-aligned. Empty when `photo` is not laid out so.
QByteArray withPreview(const QByteArray &photo, const QByteArray &preview)
{
    const qsizetype photoFrames = headersEnd(photo);
    const qsizetype previewFrame = headersEnd(preview);
    const Bits in = bitsOf(photo);
    qsizetype at = 0;
    if (photoFrames < 0 || previewFrame < 0 || !skipSizeHeader(in, at)) {
        return {};
    }
    const bool allDefault = take(in, at, 1);
    const bool extraFields = take(in, at, 1);
    take(in, at, 3); // orientation
    const bool intrinsicSize = take(in, at, 1);
    if (allDefault || !extraFields || intrinsicSize || take(in, at, 1) /* has a preview */) {
        return {};
    }
    // Has a preview, in multiples of 8: height 16 × 8, no ratio, width 32 × 8.
    const Bits header = in.first(at - 1) + Bits{true, true} + number(0, 2) + number(0, 3) +
                        number(1, 2) + in.mid(at, photoFrames * 8 - at);
    if (header.size() % 8 != 0) {
        return {};
    }
    return bytesOf(header) + preview.mid(previewFrame) + photo.mid(photoFrames);
}

// The container's signature box and file type box: 32 bytes.
QByteArray containerStart()
{
    return QByteArray("\0\0\0\x0cJXL \r\n\x87\n", 12) +
           box("ftyp", QByteArray("jxl ") + Bytes::number(0, 4) + QByteArray("jxl "));
}

QByteArray randomBytes(qsizetype length, quint32 seed)
{
    QByteArray bytes(length, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char &byte : bytes) {
        byte = char(random.bounded(256));
    }
    return bytes;
}

QSize sizeOf(const QImage &image)
{
    return image.isNull() ? QSize() : image.size();
}

} // namespace

std::optional<ImageSource> tst_JpegXlDecoder::written(const QByteArray &bytes)
{
    return ImageSource::open(
        TestFolders::writeFile(m_dir.path(), u"photo-%1.jxl"_s.arg(++m_written), bytes));
}

// What the decoder makes of good files: the size from the header, the picture at the size
// asked, and the preview frame when there is one, all upright.
void tst_JpegXlDecoder::pictures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("bound");
    QTest::addColumn<QSize>("header");
    QTest::addColumn<QSize>("decoded"); // empty: no picture
    QTest::addColumn<QSize>("preview"); // empty: none

    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QSize size = turned({64, 32}, orientation);
        QTest::addRow("orientation %d", orientation)
            << encoded(photo({64, 32}), orientation) << orientation << 1000 << size << size
            << QSize();
    }
    // The photo is 512 × 256 as stored. Bounds of 64 and less are an eighth of its longest side
    // or less: those stop after the 1:8 pass, unless the photo (lossless) has none.
    for (const auto &[name, orientation, lossless, bound, expected] :
         {std::tuple{"an eighth, turned", 6, false, 64, QSize(32, 64)},
          {"a sixteenth", 1, false, 32, QSize(32, 16)},
          {"a sixteenth, half a turn", 3, false, 32, QSize(32, 16)},
          {"a sixteenth, lossless", 8, true, 32, QSize(16, 32)},
          {"over an eighth, turned", 8, false, 100, QSize(50, 100)},
          {"over an eighth, mirrored", 2, false, 65, QSize(65, 33)},
          {"the full size", 1, false, 512, QSize(512, 256)},
          {"never enlarged", 6, false, 2000, QSize(256, 512)},
          {"no bound", 1, false, 0, QSize()}}) {
        QTest::newRow(name) << encoded(photo({512, 256}, 40), orientation, lossless) << orientation
                            << bound << turned({512, 256}, orientation) << expected << QSize();
    }
    // A photo several times longer than the head is read in growing pieces: all of them for
    // the full picture, only as many as the 1:8 pass needs for a thumbnail.
    const QByteArray long_ = encoded(photo({1024, 512}, 80), 6);
    QVERIFY(long_.size() > 3 * ImageSource::headLength);
    QTest::newRow("read in pieces, full size")
        << long_ << 6 << 2000 << QSize(512, 1024) << QSize(512, 1024) << QSize();
    QTest::newRow("read in pieces, a thumbnail from the 1:8 pass")
        << long_ << 6 << 96 << QSize(512, 1024) << QSize(48, 96) << QSize();
    // Writers may put EXIF or XMP boxes in front of the codestream; the size is read past them,
    // beyond the head read when the file was opened, wherever the pieces read happen to end.
    // A box of size 0 lasts until the end of the file.
    const QByteArray codestream = encoded(photo({64, 32}), 6);
    const int head = int(ImageSource::headLength);
    for (const auto &[name, boxAt, toTheEnd] :
         {std::tuple{"codestream far beyond the head", 200 * 1024, false},
          {"box header across the end of the head", head - 4, false},
          {"size header across the end of the head", head - 10, false},
          {"codestream box to the end of the file", 100 * 1024, true}}) {
        QTest::newRow(name) << containerStart() + box("xml ", QByteArray(boxAt - 32 - 8, ' ')) +
                                   (toTheEnd ? Bytes::number(0, 4) + "jxlc" + codestream
                                             : box("jxlc", codestream))
                            << 6 << 1000 << QSize(32, 64) << QSize(32, 64) << QSize();
    }
    // The photo itself is still the photo when a preview frame comes first.
    for (const int orientation : {6, 7, 3}) {
        const QByteArray bytes = withPreview(encoded(photo({512, 256}), orientation),
                                             encoded(photo({256, 128}, 0, true), orientation));
        QTest::addRow("preview frame, orientation %d", orientation)
            << bytes << orientation << 1000 << turned({512, 256}, orientation)
            << turned({512, 256}, orientation) << turned({256, 128}, orientation);
    }
    // The size header as rewritten by `withClaimedSize` still decodes.
    QTest::newRow("the true size, written in full")
        << withClaimedSize(encoded(photo({66, 33})), {66, 33}) << 1 << 64 << QSize(66, 33)
        << QSize(64, 32) << QSize();
}

void tst_JpegXlDecoder::pictures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, orientation);
    QFETCH(int, bound);
    QFETCH(QSize, header);
    QFETCH(QSize, decoded);
    QFETCH(QSize, preview);
    QVERIFY(!bytes.isEmpty());
    const std::optional<ImageSource> file = written(bytes);
    QVERIFY(file);

    QCOMPARE(m_decoder.uprightSize(*file), header);
    const QImage image = m_decoder.decode(*file, bound);
    QCOMPARE(sizeOf(image), decoded);
    QCOMPARE(layoutOf(image), decoded.isEmpty() ? u"null"_s : upright(orientation));
    const QImage small = m_decoder.embeddedPreview(*file);
    QCOMPARE(sizeOf(small), preview);
    QCOMPARE(layoutOf(small), preview.isEmpty() ? u"null"_s : upright(orientation, true));
}

// Pixels beside an edge and on flat colour, each within `tolerance` of what it must be.
void tst_JpegXlDecoder::pixels_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("bound");
    QTest::addColumn<QList<QPoint>>("points");
    QTest::addColumn<QList<QColor>>("colours");
    QTest::addColumn<int>("tolerance");

    // Only a picture of an eighth of the photo or less may come from the 1:8 pass: at any
    // larger size its blur shows (the preview window asks for the size of the screen).
    const QByteArray sharp = encoded(photo({512, 256}));
    for (const int bound : {512, 256, 128}) {
        const int edge = bound / 2, y = bound / 8;
        QTest::addRow("sharp at %d", bound)
            << sharp << bound
            << QList<QPoint>{{edge - 2, y}, {edge - 1, y}, {edge, y}, {edge + 1, y}}
            << QList<QColor>{Qt::red, Qt::red, Qt::blue, Qt::blue} << 24;
    }
    // Nothing downstream manages colour: whatever the photo was stored in, its pixels must
    // come in sRGB, which libjxl can make of any lossy (XYB) photo.
    const QColor grey(128, 128, 128);
    QImage flat(64, 64, QImage::Format_RGB888);
    flat.fill(grey);
    JxlColorEncoding space;
    JxlColorEncodingSetToSRGB(&space, JXL_FALSE);
    QTest::newRow("stored as sRGB") << encoded(flat, 1, false, space) << 64
                                    << QList<QPoint>{{32, 32}} << QList<QColor>{grey} << 4;
    space.transfer_function = JXL_TRANSFER_FUNCTION_GAMMA;
    space.gamma = 1 / 1.8;
    const QColor fromGamma18 = QColorSpace(QColorSpace::Primaries::SRgb, 1.8f)
                                   .transformationToColorSpace(QColorSpace::SRgb)
                                   .map(grey);
    QTest::newRow("stored with gamma 1.8")
        << encoded(flat, 1, false, space) << 64 << QList<QPoint>{{32, 32}}
        << QList<QColor>{fromGamma18} << 4;
}

void tst_JpegXlDecoder::pixels()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, bound);
    QFETCH(QList<QPoint>, points);
    QFETCH(QList<QColor>, colours);
    QFETCH(int, tolerance);
    const std::optional<ImageSource> file = written(bytes);
    QVERIFY(file);
    const QImage image = m_decoder.decode(*file, bound);
    QCOMPARE(image.width(), bound);
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QColor got = image.pixelColor(points[i]), wanted = colours[i];
        const int off =
            std::max({std::abs(got.red() - wanted.red()), std::abs(got.green() - wanted.green()),
                      std::abs(got.blue() - wanted.blue())});
        QVERIFY2(off <= tolerance, qPrintable(u"%1 at (%2, %3), not %4"_s.arg(
                                       got.name(), QString::number(points[i].x()),
                                       QString::number(points[i].y()), wanted.name())));
    }
}

void tst_JpegXlDecoder::badInputGivesNoPictureNeverAWrongOne_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QSize>>("sizes"); // the header may give; none listed: anything
    QTest::addColumn<QSize>("thumbnail");    // a decode to 32 may show, from a whole 1:8 pass
    QTest::addColumn<qint64>("limit");       // of decoded pixels; when not the default, the
                                             // file decodes with one pixel more
    const qint64 noLimit = JpegXlDecoder::defaultMaximumDecodedPixels;
    const QList<QSize> none = {QSize()};

    QTest::newRow("empty") << QByteArray() << none << QSize() << noLimit;
    QTest::newRow("the signature alone") << QByteArray("\xff\x0a", 2) << none << QSize() << noLimit;
    for (const qsizetype length : {1, 16, 1000, 70 * 1024}) {
        QTest::addRow("%lld random bytes", qlonglong(length))
            << randomBytes(length, quint32(length)) << none << QSize() << noLimit;
    }
    // Random headers may well claim some believable size: only the picture is sure to fail.
    QTest::newRow("the signature and random bytes")
        << QByteArray("\xff\x0a", 2) + randomBytes(4096, 7) << QList<QSize>() << QSize() << noLimit;
    QTest::newRow("a container and random bytes")
        << containerStart() + randomBytes(4096, 8) << QList<QSize>() << QSize() << noLimit;
    // A box of 2^62 bytes, extended size: libjxl asks to skip it, and the file ends.
    QTest::newRow("a box claiming exabytes")
        << containerStart() + Bytes::number(1, 4) + QByteArray("xml ") +
               Bytes::number(quint64(1) << 62, 8) + randomBytes(256, 9)
        << none << QSize() << noLimit;
    QTest::newRow("a codestream box with nothing in it")
        << containerStart() + box("jxlc", {}) << none << QSize() << noLimit;

    // A claim beyond belief is refused before anything of that size is allocated; a believable
    // one fails on frames that do not match it.
    const QByteArray small = encoded(photo({66, 33}));
    for (const auto &[claimed, believed] : {std::pair{QSize(65535, 16), true},
                                            {QSize(65536, 16), false},
                                            {QSize(16, 70000), false},
                                            {QSize(32768, 32768), true},
                                            {QSize(40000, 30000), false},
                                            {QSize(1 << 30, 1 << 30), false}}) {
        QTest::addRow("claims %d x %d", claimed.width(), claimed.height())
            << withClaimedSize(small, claimed) << QList<QSize>{believed ? claimed : QSize()}
            << QSize() << noLimit;
    }
    // A size is only a number: it is reported however large the photo is to decode.
    QTest::newRow("a pixel over the decoding limit")
        << encoded(photo({512, 256})) << QList<QSize>{QSize(512, 256)} << QSize()
        << qint64(512 * 256 - 1);

    // A thumbnail needs only the 1:8 pass, which a file cut late still holds whole; what it
    // shows must then be the photo, upright. The full picture never comes from a cut file.
    const QByteArray whole = encoded(photo({512, 256}, 40), 6);
    QVERIFY(whole.size() > 8 * 1024);
    QList<qsizetype> cuts = {0, 1, 2, 7, 13, 31, 100, 333, whole.size() / 2 + 1, whole.size() - 1};
    for (qsizetype cut = 1024; cut < whole.size(); cut += 1024) {
        cuts << cut;
    }
    for (const qsizetype cut : std::as_const(cuts)) {
        QTest::addRow("cut at %lld of %lld", qlonglong(cut), qlonglong(whole.size()))
            << whole.left(cut) << (cut <= 2 ? none : QList<QSize>{QSize(), QSize(256, 512)})
            << QSize(16, 32) << noLimit;
    }
}

void tst_JpegXlDecoder::badInputGivesNoPictureNeverAWrongOne()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QSize>, sizes);
    QFETCH(QSize, thumbnail);
    QFETCH(qint64, limit);
    const std::optional<ImageSource> file = written(bytes);
    QVERIFY(file);
    const JpegXlDecoder decoder(limit);

    const QSize size = decoder.uprightSize(*file);
    QVERIFY2(sizes.isEmpty() || sizes.contains(size),
             qPrintable(u"header says %1 x %2"_s.arg(size.width()).arg(size.height())));
    QVERIFY(decoder.embeddedPreview(*file).isNull());
    QVERIFY(decoder.decode(*file, 1000).isNull());
    const QImage small = decoder.decode(*file, 32);
    QCOMPARE(sizeOf(small), small.isNull() ? QSize() : thumbnail);
    QCOMPARE(layoutOf(small), small.isNull() ? u"null"_s : upright(6));
    if (limit != JpegXlDecoder::defaultMaximumDecodedPixels) {
        const JpegXlDecoder roomier(limit + 1);
        QVERIFY(!roomier.decode(*file, 1000).isNull() && !roomier.decode(*file, 32).isNull());
    }
}

QTEST_GUILESS_MAIN(tst_JpegXlDecoder)
#include "tst_JpegXlDecoder.moc"
