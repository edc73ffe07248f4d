#include "Services/Decoders/JpegXlDecoder.h"

#include <QColorSpace>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <jxl/encode.h>
#include <jxl/decode.h>

#include <array>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

// JPEG XL files made here by libjxl's own encoder, then edited bit by bit where the encoder
// cannot write what other writers may (a preview frame, an absurd size, metadata in front).
// The pictures are four coloured quadrants, so every one of the eight orientations can be read
// back: a picture must come upright, turned exactly once, whichever way it is decoded.
class tst_JpegXlDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void turnedOnce_data();
    void turnedOnce();
    void scaledToTheBound_data();
    void scaledToTheBound();
    void readInPieces_data();
    void readInPieces();
    void sharpOverAnEighth_data();
    void sharpOverAnEighth();
    void coloursComeAsSrgb_data();
    void coloursComeAsSrgb();
    void metadataBeforeTheCodestream_data();
    void metadataBeforeTheCodestream();
    void previewFrame_data();
    void previewFrame();
    void claimedSizes_data();
    void claimedSizes();
    void decodedPixelLimit_data();
    void decodedPixelLimit();
    void truncatedFiles_data();
    void truncatedFiles();
    void damagedFiles_data();
    void damagedFiles();
    void threadsDecodeAtOnce();

private:
    std::optional<ImageSource> written(const QByteArray &bytes);

    QTemporaryDir m_dir;
    int m_written = 0;
    JpegXlDecoder m_decoder;
};

using namespace Qt::StringLiterals;

namespace {

enum Corner { TopLeft, TopRight, BottomLeft, BottomRight };
using Corners = std::array<Corner, 4>; // which stored corner shows at TL, TR, BL and BR
using Colours = std::array<QColor, 4>; // by stored corner

const Colours photoColours = {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue),
                              QColor(Qt::white)};
// The preview differs from the photo, so a preview made by decoding the photo is told apart.
const Colours previewColours = {QColor(Qt::blue), QColor(Qt::white), QColor(Qt::red),
                                QColor(Qt::green)};

// Where each stored corner shows once the EXIF orientation (which JPEG XL shares) is applied.
Corners uprightCorners(int orientation)
{
    switch (orientation) {
    case 2:
        return {TopRight, TopLeft, BottomRight, BottomLeft};
    case 3:
        return {BottomRight, BottomLeft, TopRight, TopLeft};
    case 4:
        return {BottomLeft, BottomRight, TopLeft, TopRight};
    case 5:
        return {TopLeft, BottomLeft, TopRight, BottomRight};
    case 6:
        return {BottomLeft, TopLeft, BottomRight, TopRight};
    case 7:
        return {BottomRight, TopRight, BottomLeft, TopLeft};
    case 8:
        return {TopRight, BottomRight, TopLeft, BottomLeft};
    default:
        return {TopLeft, TopRight, BottomLeft, BottomRight};
    }
}

QString nameOf(const QColor &colour)
{
    static const std::array<std::pair<QColor, QString>, 5> names = {{
        {Qt::red, u"red"_s},
        {Qt::green, u"green"_s},
        {Qt::blue, u"blue"_s},
        {Qt::white, u"white"_s},
        {Qt::black, u"black"_s},
    }};
    const auto distance = [&colour](const QColor &other) {
        const int r = colour.red() - other.red();
        const int g = colour.green() - other.green();
        const int b = colour.blue() - other.blue();
        return r * r + g * g + b * b;
    };
    return std::ranges::min(names, {}, [&](const auto &entry) { return distance(entry.first); })
        .second;
}

QStringList expectedCorners(const Colours &stored, int orientation)
{
    QStringList names;
    for (const Corner corner : uprightCorners(orientation)) {
        names << nameOf(stored[corner]);
    }
    return names;
}

// The colour names at the middle of each quadrant of `image`, averaged over a small patch so
// that a noisy fixture reads as its quadrant's colour.
QStringList cornersOf(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width();
    const int h = rgb.height();
    const int rx = std::max(0, w / 16);
    const int ry = std::max(0, h / 16);
    QStringList names;
    for (const QPoint centre : {QPoint(w / 4, h / 4), QPoint(3 * w / 4, h / 4),
                                QPoint(w / 4, 3 * h / 4), QPoint(3 * w / 4, 3 * h / 4)}) {
        int r = 0, g = 0, b = 0, n = 0;
        for (int y = centre.y() - ry; y <= centre.y() + ry; ++y) {
            for (int x = centre.x() - rx; x <= centre.x() + rx; ++x) {
                const QRgb pixel = rgb.pixel(x, y);
                r += qRed(pixel);
                g += qGreen(pixel);
                b += qBlue(pixel);
                ++n;
            }
        }
        names << nameOf(QColor(r / n, g / n, b / n));
    }
    return names;
}

// Four quadrants as stored, with each channel of each pixel moved by up to ±`noise` (seeded),
// which makes a file of tens of kilobytes where flat quadrants take a hundred bytes.
QImage quadrants(QSize size, const Colours &colours, int noise = 0)
{
    QImage image(size, QImage::Format_RGB888);
    {
        QPainter painter(&image);
        const int w = size.width() / 2;
        const int h = size.height() / 2;
        painter.fillRect(0, 0, w, h, colours[TopLeft]);
        painter.fillRect(w, 0, size.width() - w, h, colours[TopRight]);
        painter.fillRect(0, h, w, size.height() - h, colours[BottomLeft]);
        painter.fillRect(w, h, size.width() - w, size.height() - h, colours[BottomRight]);
    }
    if (noise > 0) {
        QRandomGenerator random(20240607);
        for (int y = 0; y < image.height(); ++y) {
            uchar *line = image.scanLine(y);
            for (int i = 0; i < image.width() * 3; ++i) {
                const int moved = line[i] + random.bounded(-noise, noise + 1);
                line[i] = uchar(std::clamp(moved, 0, 255));
            }
        }
    }
    return image;
}

struct EncoderRelease
{
    void operator()(JxlEncoder *encoder) const { JxlEncoderDestroy(encoder); }
};
struct DecoderRelease
{
    void operator()(JxlDecoderStruct *decoder) const { JxlDecoderDestroy(decoder); }
};

// A bare codestream (no container) of `picture`, its pixels in `space` (sRGB when none);
// empty when libjxl refuses.
QByteArray encoded(const QImage &picture,
                   int orientation = 1,
                   bool lossless = false,
                   const std::optional<JxlColorEncoding> &space = std::nullopt)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const std::unique_ptr<JxlEncoder, EncoderRelease> encoder(JxlEncoderCreate(nullptr));
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(rgb.width());
    info.ysize = uint32_t(rgb.height());
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.orientation = JxlOrientation(orientation);
    info.uses_original_profile = lossless;
    JxlColorEncoding colours;
    JxlColorEncodingSetToSRGB(&colours, JXL_FALSE);
    if (space) {
        colours = *space;
    }
    JxlEncoderFrameSettings *settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    // Rows of QImage are padded to four bytes.
    const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
    if (JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(encoder.get(), &colours) != JXL_ENC_SUCCESS ||
        JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, 3) !=
            JXL_ENC_SUCCESS ||
        (lossless && JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS) ||
        JxlEncoderAddImageFrame(settings, &format, rgb.constBits(), size_t(rgb.sizeInBytes())) !=
            JXL_ENC_SUCCESS) {
        return {};
    }
    JxlEncoderCloseInput(encoder.get());
    QByteArray out(4096, Qt::Uninitialized);
    size_t written = 0;
    for (;;) {
        auto *next = reinterpret_cast<uint8_t *>(out.data()) + written;
        size_t available = size_t(out.size()) - written;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &available);
        written = size_t(out.size()) - available;
        if (status == JXL_ENC_SUCCESS) {
            break;
        }
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            return {};
        }
        out.resize(out.size() * 2);
    }
    out.resize(qsizetype(written));
    return out;
}

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
class BitReader
{
public:
    explicit BitReader(const QByteArray &bytes)
        : m_bytes(bytes)
    {
    }
    quint32 read(int count)
    {
        quint32 value = 0;
        for (int i = 0; i < count; ++i, ++m_position) {
            const auto byte = quint8(m_bytes.at(qsizetype(m_position / 8)));
            value |= quint32((byte >> (m_position % 8)) & 1) << i;
        }
        return value;
    }
    qint64 position() const { return m_position; }
    bool atEnd() const { return m_position >= m_bytes.size() * qint64(8); }

private:
    const QByteArray &m_bytes;
    qint64 m_position = 0;
};

class BitWriter
{
public:
    void write(quint32 value, int count)
    {
        for (int i = 0; i < count; ++i, ++m_position) {
            if (m_position % 8 == 0) {
                m_bytes.append('\0');
            }
            m_bytes.back() = char(quint8(m_bytes.back()) | ((value >> i) & 1) << (m_position % 8));
        }
    }
    void copy(BitReader &in, qint64 until)
    {
        while (in.position() < until) {
            write(in.read(1), 1);
        }
    }
    qint64 position() const { return m_position; }
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
    qint64 m_position = 0;
};

constexpr std::array<int, 4> dimensionBits = {9, 13, 18, 30};

// Reads past the size header after the 16-bit signature: a flag for sizes that are multiples
// of 8 up to 256, the height, an aspect ratio code, and the width only when that code is 0.
void skipSizeHeader(BitReader &in)
{
    const bool small = in.read(1);
    const auto skipDimension = [&] {
        if (small) {
            in.read(5);
        } else {
            in.read(dimensionBits[in.read(2)]);
        }
    };
    skipDimension();
    if (in.read(3) == 0) {
        skipDimension();
    }
}

void writeDimension(BitWriter &out, quint32 value, int minimumSelector)
{
    int selector = minimumSelector;
    while (selector < 3 && ((value - 1) >> dimensionBits[size_t(selector)]) != 0) {
        ++selector;
    }
    out.write(quint32(selector), 2);
    out.write(value - 1, dimensionBits[size_t(selector)]);
}

// `codestream` claiming `size` (up to 2^30 a side) in its size header, written out in full.
// The height takes at least 15 bits and the width at least 20: a header of 15 bits (a width
// twice a height that is not a multiple of 8) then grows by exactly three bytes, its frames
// stay byte-aligned, and a true size rewritten this way still decodes.
QByteArray withClaimedSize(const QByteArray &codestream, QSize size)
{
    BitReader in(codestream);
    if (in.read(16) != 0x0AFF) {
        return {};
    }
    skipSizeHeader(in);
    BitWriter out;
    out.write(0x0AFF, 16);
    out.write(0, 1);
    writeDimension(out, quint32(size.height()), 1);
    out.write(0, 3);
    writeDimension(out, quint32(size.width()), 2);
    while (!in.atEnd()) {
        out.write(in.read(1), 1);
    }
    return out.bytes();
}

// `photo` with the frame of `preview` (256 × 128, encoded alike) placed in front of its own as
// its preview. The metadata must carry its extra fields (any orientation but 1 does); the flag
// and the shortest preview header for 256 × 128 take exactly eight bits, so everything after
// them stays byte-aligned. Empty when `photo` is not laid out so.
QByteArray withPreview(const QByteArray &photo, const QByteArray &preview)
{
    const qsizetype photoFrames = headersEnd(photo);
    const qsizetype previewFrame = headersEnd(preview);
    BitReader in(photo);
    if (photoFrames < 0 || previewFrame < 0 || in.read(16) != 0x0AFF) {
        return {};
    }
    skipSizeHeader(in);
    const bool allDefault = in.read(1);
    const bool extraFields = in.read(1);
    in.read(3); // orientation
    const bool intrinsicSize = in.read(1);
    const bool hasPreview = in.read(1);
    if (allDefault || !extraFields || intrinsicSize || hasPreview) {
        return {};
    }
    BitReader copied(photo);
    BitWriter out;
    out.copy(copied, in.position() - 1);
    copied.read(1);
    out.write(1, 1); // has a preview
    out.write(1, 1); // multiples of 8
    out.write(0, 2); // height 16 × 8
    out.write(0, 3); // no ratio
    out.write(1, 2); // width 32 × 8
    out.copy(copied, photoFrames * 8);
    if (out.position() % 8 != 0) {
        return {};
    }
    return out.bytes() + preview.mid(previewFrame) + photo.mid(photoFrames);
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray out(4, '\0');
    qToBigEndian(value, out.data());
    return out;
}

QByteArray box(const char *type, const QByteArray &payload)
{
    return bigEndian32(quint32(8 + payload.size())) + QByteArray(type, 4) + payload;
}

// The container's signature box and file type box.
QByteArray containerStart()
{
    return QByteArray("\0\0\0\x0cJXL \r\n\x87\n", 12) +
           box("ftyp", QByteArray("jxl ") + bigEndian32(0) + QByteArray("jxl "));
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

} // namespace

std::optional<ImageSource> tst_JpegXlDecoder::written(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(u"photo-%1.jxl"_s.arg(++m_written));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        return std::nullopt;
    }
    file.close();
    return ImageSource::open(path);
}

void tst_JpegXlDecoder::turnedOnce_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("upright");

    QTest::newRow("1: as stored") << 1 << QSize(64, 32);
    QTest::newRow("2: mirrored left to right") << 2 << QSize(64, 32);
    QTest::newRow("3: half a turn") << 3 << QSize(64, 32);
    QTest::newRow("4: mirrored top to bottom") << 4 << QSize(64, 32);
    QTest::newRow("5: transposed") << 5 << QSize(32, 64);
    QTest::newRow("6: a quarter turn clockwise") << 6 << QSize(32, 64);
    QTest::newRow("7: transversed") << 7 << QSize(32, 64);
    QTest::newRow("8: a quarter turn anticlockwise") << 8 << QSize(32, 64);
}

void tst_JpegXlDecoder::turnedOnce()
{
    QFETCH(int, orientation);
    QFETCH(QSize, upright);

    const QByteArray bytes = encoded(quadrants({64, 32}, photoColours), orientation);
    QVERIFY(!bytes.isEmpty());
    const std::optional<ImageSource> file = written(bytes);
    QVERIFY(file);

    QCOMPARE(m_decoder.uprightSize(*file), upright);
    const QImage image = m_decoder.decode(*file, 1000);
    QCOMPARE(image.size(), upright);
    QCOMPARE(cornersOf(image), expectedCorners(photoColours, orientation));
    // The encoder writes no preview frame.
    QVERIFY(m_decoder.embeddedPreview(*file).isNull());
}

void tst_JpegXlDecoder::scaledToTheBound_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("lossless");
    QTest::addColumn<int>("bound");
    QTest::addColumn<QSize>("expected");

    // The photo is 512 × 256 as stored. Bounds of 64 and less are an eighth of its longest side
    // or less: those stop after the 1:8 pass, unless the photo (lossless) has none.
    QTest::newRow("an eighth, turned") << 6 << false << 64 << QSize(32, 64);
    QTest::newRow("a sixteenth") << 1 << false << 32 << QSize(32, 16);
    QTest::newRow("a sixteenth, half a turn") << 3 << false << 32 << QSize(32, 16);
    QTest::newRow("a sixteenth, lossless") << 8 << true << 32 << QSize(16, 32);
    QTest::newRow("over an eighth, turned") << 8 << false << 100 << QSize(50, 100);
    QTest::newRow("over an eighth, mirrored") << 2 << false << 65 << QSize(65, 33);
    QTest::newRow("the full size") << 1 << false << 512 << QSize(512, 256);
    QTest::newRow("never enlarged") << 6 << false << 2000 << QSize(256, 512);
    QTest::newRow("no bound") << 1 << false << 0 << QSize();
}

void tst_JpegXlDecoder::scaledToTheBound()
{
    QFETCH(int, orientation);
    QFETCH(bool, lossless);
    QFETCH(int, bound);
    QFETCH(QSize, expected);

    const QByteArray bytes =
        encoded(quadrants({512, 256}, photoColours, 40), orientation, lossless);
    QVERIFY(!bytes.isEmpty());
    const std::optional<ImageSource> file = written(bytes);
    QVERIFY(file);

    const QImage image = m_decoder.decode(*file, bound);
    if (expected.isEmpty()) {
        QVERIFY(image.isNull());
        return;
    }
    QCOMPARE(image.size(), expected);
    QCOMPARE(cornersOf(image), expectedCorners(photoColours, orientation));
}

void tst_JpegXlDecoder::readInPieces_data()
{
    QTest::addColumn<int>("bound");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("full size") << 2000 << QSize(512, 1024);
    QTest::newRow("a thumbnail from the 1:8 pass") << 96 << QSize(48, 96);
}

void tst_JpegXlDecoder::readInPieces()
{
    QFETCH(int, bound);
    QFETCH(QSize, expected);

    // A photo several times longer than the head is read in growing pieces: all of them for
    // the full picture, only as many as the 1:8 pass needs for a thumbnail.
    const QByteArray bytes = encoded(quadrants({1024, 512}, photoColours, 64), 6);
    QVERIFY(bytes.size() > 3 * ImageSource::headLength);
    const std::optional<ImageSource> file = written(bytes);
    QVERIFY(file);

    const QImage image = m_decoder.decode(*file, bound);
    QCOMPARE(image.size(), expected);
    QCOMPARE(cornersOf(image), expectedCorners(photoColours, 6));
}

void tst_JpegXlDecoder::sharpOverAnEighth_data()
{
    QTest::addColumn<int>("bound");

    QTest::newRow("full size") << 512;
    QTest::newRow("a half") << 256;
    QTest::newRow("a quarter") << 128;
}

void tst_JpegXlDecoder::sharpOverAnEighth()
{
    QFETCH(int, bound);

    // Only a picture of an eighth of the photo or less may come from the 1:8 pass: at any
    // larger size its blur shows (the preview window asks for the size of the screen).
    const std::optional<ImageSource> file = written(encoded(quadrants({512, 256}, photoColours)));
    QVERIFY(file);
    const QImage image = m_decoder.decode(*file, bound).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.width(), bound);
    const int edge = image.width() / 2;
    const int y = image.height() / 4;
    for (int x = edge - 2; x < edge + 2; ++x) {
        const QColor wanted = x < edge ? photoColours[TopLeft] : photoColours[TopRight];
        const QColor got = image.pixelColor(x, y);
        QVERIFY2(std::abs(got.red() - wanted.red()) <= 24 &&
                     std::abs(got.green() - wanted.green()) <= 24 &&
                     std::abs(got.blue() - wanted.blue()) <= 24,
                 qPrintable(u"%1 at %2 of %3 beside the edge"_s.arg(got.name()).arg(x).arg(bound)));
    }
}

void tst_JpegXlDecoder::coloursComeAsSrgb_data()
{
    QTest::addColumn<bool>("gamma18");

    QTest::newRow("stored as sRGB") << false;
    QTest::newRow("stored with gamma 1.8") << true;
}

void tst_JpegXlDecoder::coloursComeAsSrgb()
{
    QFETCH(bool, gamma18);

    // Nothing downstream manages colour: whatever the photo was stored in, its pixels must
    // come in sRGB, which libjxl can make of any lossy (XYB) photo.
    std::optional<JxlColorEncoding> space;
    QColorSpace stored = QColorSpace::SRgb;
    if (gamma18) {
        JxlColorEncoding colours;
        JxlColorEncodingSetToSRGB(&colours, JXL_FALSE);
        colours.transfer_function = JXL_TRANSFER_FUNCTION_GAMMA;
        colours.gamma = 1 / 1.8;
        space = colours;
        stored = QColorSpace(QColorSpace::Primaries::SRgb, 1.8f);
    }
    const QColor grey(128, 128, 128);
    QImage picture(64, 64, QImage::Format_RGB888);
    picture.fill(grey);
    const std::optional<ImageSource> file = written(encoded(picture, 1, false, space));
    QVERIFY(file);

    const QColor expected = stored.transformationToColorSpace(QColorSpace::SRgb).map(grey);
    const QImage image = m_decoder.decode(*file, 64);
    QVERIFY(!image.isNull());
    const QColor decoded = image.pixelColor(32, 32);
    for (const auto &[got, wanted] :
         {std::pair{decoded.red(), expected.red()}, std::pair{decoded.green(), expected.green()},
          std::pair{decoded.blue(), expected.blue()}}) {
        QVERIFY2(std::abs(got - wanted) <= 4,
                 qPrintable(u"decoded %1, expected %2"_s.arg(got).arg(wanted)));
    }
}

void tst_JpegXlDecoder::metadataBeforeTheCodestream_data()
{
    QTest::addColumn<int>("codestreamBoxAt");
    QTest::addColumn<bool>("toTheEnd");

    // The container's signature and file type boxes take 32 bytes, a box header 8.
    const int head = int(ImageSource::headLength);
    QTest::newRow("far beyond the head") << 200 * 1024 << false;
    QTest::newRow("box header across the end of the head") << head - 4 << false;
    QTest::newRow("size header across the end of the head") << head - 10 << false;
    // A box of size 0 lasts until the end of the file.
    QTest::newRow("codestream box to the end of the file") << 100 * 1024 << true;
}

void tst_JpegXlDecoder::metadataBeforeTheCodestream()
{
    QFETCH(int, codestreamBoxAt);
    QFETCH(bool, toTheEnd);

    // Writers may put EXIF or XMP boxes in front of the codestream; the size is read past them,
    // beyond the head read when the file was opened, wherever the pieces read happen to end.
    const QByteArray codestream = encoded(quadrants({64, 32}, photoColours), 6);
    QVERIFY(!codestream.isEmpty());
    const QByteArray metadata = box("xml ", QByteArray(codestreamBoxAt - 32 - 8, ' '));
    const QByteArray codestreamBox =
        toTheEnd ? bigEndian32(0) + "jxlc" + codestream : box("jxlc", codestream);
    const std::optional<ImageSource> file = written(containerStart() + metadata + codestreamBox);
    QVERIFY(file);

    QCOMPARE(m_decoder.uprightSize(*file), QSize(32, 64));
    const QImage image = m_decoder.decode(*file, 1000);
    QCOMPARE(image.size(), QSize(32, 64));
    QCOMPARE(cornersOf(image), expectedCorners(photoColours, 6));
}

void tst_JpegXlDecoder::previewFrame_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("upright");

    QTest::newRow("a quarter turn clockwise") << 6 << QSize(128, 256);
    QTest::newRow("transversed") << 7 << QSize(128, 256);
    QTest::newRow("half a turn") << 3 << QSize(256, 128);
}

void tst_JpegXlDecoder::previewFrame()
{
    QFETCH(int, orientation);
    QFETCH(QSize, upright);

    const QByteArray photo = encoded(quadrants({512, 256}, photoColours), orientation);
    const QByteArray preview = encoded(quadrants({256, 128}, previewColours), orientation);
    const QByteArray bytes = withPreview(photo, preview);
    QVERIFY(!bytes.isEmpty());
    const std::optional<ImageSource> file = written(bytes);
    QVERIFY(file);

    const QImage image = m_decoder.embeddedPreview(*file);
    QCOMPARE(image.size(), upright);
    QCOMPARE(cornersOf(image), expectedCorners(previewColours, orientation));
    // The photo itself is still the photo.
    const QImage decoded = m_decoder.decode(*file, 1000);
    QCOMPARE(decoded.size(), upright * 2);
    QCOMPARE(cornersOf(decoded), expectedCorners(photoColours, orientation));
}

void tst_JpegXlDecoder::claimedSizes_data()
{
    QTest::addColumn<QSize>("claimed");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("the true size, written in full") << QSize(66, 33) << QSize(66, 33);
    QTest::newRow("the widest believed") << QSize(65535, 16) << QSize(65535, 16);
    QTest::newRow("one wider") << QSize(65536, 16) << QSize();
    QTest::newRow("too tall") << QSize(16, 70000) << QSize();
    QTest::newRow("a gigapixel") << QSize(32768, 32768) << QSize(32768, 32768);
    QTest::newRow("over a gigapixel") << QSize(40000, 30000) << QSize();
    QTest::newRow("the most a header can claim") << QSize(1 << 30, 1 << 30) << QSize();
}

void tst_JpegXlDecoder::claimedSizes()
{
    QFETCH(QSize, claimed);
    QFETCH(QSize, expected);

    const QByteArray codestream = encoded(quadrants({66, 33}, photoColours));
    const QByteArray bytes = withClaimedSize(codestream, claimed);
    QVERIFY(!bytes.isEmpty());
    const std::optional<ImageSource> file = written(bytes);
    QVERIFY(file);

    QCOMPARE(m_decoder.uprightSize(*file), expected);
    const QImage image = m_decoder.decode(*file, 64);
    if (claimed == QSize(66, 33)) {
        // The rewriting itself leaves a file that decodes.
        QCOMPARE(image.size(), QSize(64, 32));
        QCOMPARE(cornersOf(image), expectedCorners(photoColours, 1));
    } else {
        // Refused before anything of that size is allocated, or failed on frames that do not
        // match the claim.
        QVERIFY(image.isNull());
    }
}

void tst_JpegXlDecoder::decodedPixelLimit_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<bool>("decodes");

    QTest::newRow("at the limit") << qint64(512 * 256) << true;
    QTest::newRow("one pixel over") << qint64(512 * 256 - 1) << false;
}

void tst_JpegXlDecoder::decodedPixelLimit()
{
    QFETCH(qint64, limit);
    QFETCH(bool, decodes);

    const std::optional<ImageSource> file = written(encoded(quadrants({512, 256}, photoColours)));
    QVERIFY(file);
    const JpegXlDecoder decoder(limit);

    // A size is only a number: it is reported however large the photo is to decode.
    QCOMPARE(decoder.uprightSize(*file), QSize(512, 256));
    for (const int bound : {32, 1000}) {
        QCOMPARE(decoder.decode(*file, bound).isNull(), !decodes);
    }
}

void tst_JpegXlDecoder::truncatedFiles_data()
{
    QTest::addColumn<int>("bound");

    QTest::newRow("full size") << 1000;
    QTest::newRow("a thumbnail from the 1:8 pass") << 32;
}

void tst_JpegXlDecoder::truncatedFiles()
{
    QFETCH(int, bound);

    const QByteArray whole = encoded(quadrants({512, 256}, photoColours, 40), 6);
    QVERIFY(whole.size() > 8 * 1024);
    QList<qsizetype> cuts = {0, 1, 2, 7, 13, 31, 100, 333, whole.size() / 2 + 1, whole.size() - 1};
    for (qsizetype cut = 1024; cut < whole.size(); cut += 1024) {
        cuts << cut;
    }
    const QSize upright(256, 512);
    for (const qsizetype cut : std::as_const(cuts)) {
        const std::optional<ImageSource> file = written(whole.left(cut));
        QVERIFY(file);
        const QString at = u"cut at %1 of %2"_s.arg(cut).arg(whole.size());

        const QSize size = m_decoder.uprightSize(*file);
        QVERIFY2(size.isEmpty() || size == upright, qPrintable(at));
        if (cut <= 2) {
            QVERIFY2(size.isEmpty(), qPrintable(at));
        }
        QVERIFY2(m_decoder.embeddedPreview(*file).isNull(), qPrintable(at));
        const QImage image = m_decoder.decode(*file, bound);
        if (bound >= 512) {
            QVERIFY2(image.isNull(), qPrintable(at));
        } else if (!image.isNull()) {
            // A thumbnail needs only the 1:8 pass, which a file cut late still holds whole;
            // what it shows must then be the photo, upright.
            QCOMPARE(image.size(), QSize(16, 32));
            QCOMPARE(cornersOf(image), expectedCorners(photoColours, 6));
        }
    }
}

void tst_JpegXlDecoder::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("headerMayParse");

    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("the signature alone") << QByteArray("\xff\x0a", 2) << false;
    for (const qsizetype length : {1, 16, 1000, 70 * 1024}) {
        QTest::addRow("%lld random bytes", qlonglong(length))
            << randomBytes(length, quint32(length)) << false;
    }
    // Random headers may well claim some believable size: only the picture is sure to fail.
    QTest::newRow("the signature and random bytes")
        << QByteArray("\xff\x0a", 2) + randomBytes(4096, 7) << true;
    QTest::newRow("a container and random bytes")
        << containerStart() + randomBytes(4096, 8) << true;
    // A box of 2^62 bytes, extended size: libjxl asks to skip it, and the file ends.
    QByteArray huge(8, '\0');
    qToBigEndian(quint64(1) << 62, huge.data());
    QTest::newRow("a box claiming exabytes")
        << containerStart() + bigEndian32(1) + QByteArray("xml ") + huge + randomBytes(256, 9)
        << false;
    QTest::newRow("a codestream box with nothing in it")
        << containerStart() + box("jxlc", {}) << false;
}

void tst_JpegXlDecoder::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, headerMayParse);

    const std::optional<ImageSource> file = written(bytes);
    QVERIFY(file);
    if (!headerMayParse) {
        QCOMPARE(m_decoder.uprightSize(*file), QSize());
    } else {
        m_decoder.uprightSize(*file);
    }
    QVERIFY(m_decoder.decode(*file, 256).isNull());
    QVERIFY(m_decoder.decode(*file, 8).isNull());
    QVERIFY(m_decoder.embeddedPreview(*file).isNull());
}

void tst_JpegXlDecoder::threadsDecodeAtOnce()
{
    // One decoder object serves every thread of the thumbnail service.
    constexpr std::array orientations = {1, 3, 6, 8};
    std::vector<ImageSource> files;
    for (const int orientation : orientations) {
        std::optional<ImageSource> file =
            written(encoded(quadrants({512, 256}, photoColours, 40), orientation));
        QVERIFY(file);
        files.push_back(std::move(*file));
    }
    std::array<QStringList, orientations.size()> seen;
    std::vector<std::thread> threads;
    for (size_t i = 0; i < orientations.size(); ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 6; ++round) {
                // Both ways of decoding, in turn.
                const QImage image = m_decoder.decode(files[i], round % 2 ? 32 : 200);
                seen[i] << cornersOf(image).join(u' ');
            }
        });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    for (size_t i = 0; i < orientations.size(); ++i) {
        const QString expected = expectedCorners(photoColours, orientations[i]).join(u' ');
        QCOMPARE(seen[i], QStringList(6, expected));
    }
}

QTEST_GUILESS_MAIN(tst_JpegXlDecoder)
#include "tst_JpegXlDecoder.moc"
