#include "Services/Decoders/HeifDecoder.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <libheif/heif.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

// HEIC and AVIF files made here by libheif's own encoders, then edited box by box where libheif
// cannot write what phones do (a rotation, properties in another order, an absurd size). The
// pictures are two coloured halves, so how they were turned can be read back: a photo turned
// by its `irot` must never be turned again by the EXIF orientation phones store beside it.
class tst_HeifDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void turnedOnceByTheContainer_data();
    void turnedOnceByTheContainer();
    void thumbnailItemWhenLargeEnough_data();
    void thumbnailItemWhenLargeEnough();
    void thumbnailOfAnotherShapeIsNotUsed();
    void previewIsTheSmallestThumbnail();
    void damagedThumbnailFallsBackToThePrimary();
    void truncatedFilesGiveNothing_data();
    void truncatedFilesGiveNothing();
    void truncatedFilesNeverGiveAWrongPicture_data();
    void truncatedFilesNeverGiveAWrongPicture();
    void hostileFiles_data();
    void hostileFiles();
    void threadsDecodeAtOnce();

private:
    std::optional<ImageSource> written(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
    HeifDecoder m_decoder;
};

using namespace Qt::StringLiterals;

// libheif 1.15's x265 encoder, which only makes the fixtures here, leaves about a kilobyte
// behind each time it is used; LeakSanitizer (in sanitized builds) reads this list and would
// otherwise fail the run on leaks that are none of the decoder's.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}

namespace {

struct Release
{
    void operator()(heif_context *context) const { heif_context_free(context); }
    void operator()(heif_encoder *encoder) const { heif_encoder_release(encoder); }
    void operator()(heif_encoding_options *options) const { heif_encoding_options_free(options); }
    void operator()(const heif_image *image) const { heif_image_release(image); }
    void operator()(const heif_image_handle *handle) const { heif_image_handle_release(handle); }
};

using Context = std::unique_ptr<heif_context, Release>;
using Encoder = std::unique_ptr<heif_encoder, Release>;
using EncodingOptions = std::unique_ptr<heif_encoding_options, Release>;
using Image = std::unique_ptr<heif_image, Release>;
using Handle = std::unique_ptr<const heif_image_handle, Release>;

const QRgb red = qRgb(255, 0, 0);
const QRgb green = qRgb(0, 255, 0);
const QRgb blue = qRgb(0, 0, 255);

// `left` on the left half, `right` on the right.
QImage halves(QSize size, QRgb left, QRgb right)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            image.setPixel(x, y, x < size.width() / 2 ? left : right);
        }
    }
    return image;
}

// Random colours: a picture that compresses poorly, so its file is many KiB long.
QImage noise(QSize size, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            image.setPixel(x, y, random.generate() | 0xff000000);
        }
    }
    return image;
}

// The colours a quarter in from each corner, "top-left top-right/bottom-left bottom-right":
// red left and blue right reads "RB/RB"; the same turned a quarter clockwise reads "RR/BB".
QString layoutOf(const QImage &image)
{
    if (image.isNull()) {
        return QStringLiteral("null");
    }
    const auto colourAt = [&image](int x, int y) {
        const QRgb pixel = image.pixel(x, y);
        const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
        if (r > 160 && g < 96 && b < 96) {
            return QLatin1Char('R');
        }
        if (g > 160 && r < 96 && b < 96) {
            return QLatin1Char('G');
        }
        if (b > 160 && r < 96 && g < 96) {
            return QLatin1Char('B');
        }
        return QLatin1Char('?');
    };
    const int left = image.width() / 4, right = image.width() * 3 / 4;
    const int top = image.height() / 4, bottom = image.height() * 3 / 4;
    return QString(colourAt(left, top)) + colourAt(right, top) + QLatin1Char('/') +
           colourAt(left, bottom) + colourAt(right, bottom);
}

QByteArray bigEndian(quint64 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i) {
        out.append(char(value >> (8 * i) & 0xff));
    }
    return out;
}

quint64 readBigEndian(QByteArrayView data, qsizetype at, int bytes)
{
    quint64 value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = value << 8 | quint8(data[at + i]);
    }
    return value;
}

void writeBigEndian(QByteArray &data, qsizetype at, quint64 value, int bytes)
{
    data.replace(at, bytes, bigEndian(value, bytes));
}

// The EXIF orientation entry (tag 0x0112, one SHORT), as it appears in a big-endian TIFF block.
QByteArray orientationEntry(int orientation)
{
    return bigEndian(0x0112, 2) + bigEndian(3, 2) + bigEndian(1, 4) +
           bigEndian(quint64(orientation), 2) + bigEndian(0, 2);
}

// A TIFF block holding one entry, the orientation, as phones write it beside the container's
// own rotation.
QByteArray exifWithOrientation(int orientation)
{
    return QByteArray("MM\0*", 4) + bigEndian(8, 4) + bigEndian(1, 2) +
           orientationEntry(orientation) + bigEndian(0, 4);
}

struct Thumbnail
{
    QImage picture;
    int boundingBox = 0; // libheif shrinks the picture to fit a square this wide
};

struct Fixture
{
    heif_compression_format format = heif_compression_HEVC;
    // The pictures here are smaller than the coded frame; libheif's default crops them with a
    // one-tile grid item (phones tile theirs too), otherwise with a `clap` on a single item.
    bool grid = true;
    QImage picture;
    QList<Thumbnail> thumbnails;
    int exifOrientation = 0; // none when 0
    int bitDepth = 8;
};

bool ok(heif_error error)
{
    return error.code == heif_error_Ok;
}

// `picture` as libheif's input, 8 bits a channel, or 10 as many phones store theirs.
Image heifImage(const QImage &picture, int bitDepth)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width(), height = rgb.height();
    const bool deep = bitDepth > 8;
    heif_image *created = nullptr;
    const bool made = ok(heif_image_create(
        width, height, heif_colorspace_RGB,
        deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB, &created));
    Image image(created);
    if (!made ||
        !ok(heif_image_add_plane(created, heif_channel_interleaved, width, height, bitDepth))) {
        return {};
    }
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(created, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y) {
        const uchar *source = rgb.constScanLine(y);
        uint8_t *row = plane + qsizetype(y) * stride;
        for (int i = 0; i < width * 3; ++i) {
            if (deep) {
                const int value = source[i] << (bitDepth - 8) | source[i] >> (16 - bitDepth);
                row[2 * i] = uint8_t(value & 0xff);
                row[2 * i + 1] = uint8_t(value >> 8);
            } else {
                row[i] = source[i];
            }
        }
    }
    return image;
}

// The file libheif writes for `fixture`; empty when encoding fails.
QByteArray encoded(const Fixture &fixture)
{
    Context context(heif_context_alloc());
    heif_encoder *found = nullptr;
    if (!ok(heif_context_get_encoder_for_format(context.get(), fixture.format, &found))) {
        return {};
    }
    const Encoder encoder(found);
    heif_encoder_set_lossy_quality(encoder.get(), 90);
    const EncodingOptions options(heif_encoding_options_alloc());
    options->macOS_compatibility_workaround = fixture.grid;
    const Image picture = heifImage(fixture.picture, fixture.bitDepth);
    if (!picture) {
        return {};
    }
    heif_image_handle *primary = nullptr;
    const bool encodedPrimary = ok(heif_context_encode_image(
        context.get(), picture.get(), encoder.get(), options.get(), &primary));
    const Handle primaryHandle(primary);
    if (!encodedPrimary) {
        return {};
    }
    for (const Thumbnail &thumbnail : fixture.thumbnails) {
        const Image small = heifImage(thumbnail.picture, fixture.bitDepth);
        heif_image_handle *made = nullptr;
        const bool encodedThumbnail =
            small &&
            ok(heif_context_encode_thumbnail(context.get(), small.get(), primary, encoder.get(),
                                             options.get(), thumbnail.boundingBox, &made));
        const Handle madeHandle(made);
        if (!encodedThumbnail || !madeHandle) {
            return {};
        }
    }
    if (fixture.exifOrientation) {
        const QByteArray exif = exifWithOrientation(fixture.exifOrientation);
        if (!ok(heif_context_add_exif_metadata(context.get(), primary, exif.constData(),
                                               int(exif.size())))) {
            return {};
        }
    }
    QByteArray file;
    heif_writer writer{1, [](heif_context *, const void *data, size_t size, void *userdata) {
                           static_cast<QByteArray *>(userdata)->append(
                               static_cast<const char *>(data), qsizetype(size));
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    if (!ok(heif_context_write(context.get(), &writer, &file))) {
        return {};
    }
    return file;
}

struct Items
{
    heif_item_id primary = 0;
    QList<heif_item_id> thumbnails;
};

// The ids libheif gave the primary picture and its thumbnails.
Items itemsOf(const QByteArray &file)
{
    Context context(heif_context_alloc());
    if (!ok(heif_context_read_from_memory_without_copy(context.get(), file.constData(),
                                                       size_t(file.size()), nullptr))) {
        return {};
    }
    heif_image_handle *primary = nullptr;
    const bool found = ok(heif_context_get_primary_image_handle(context.get(), &primary));
    const Handle handle(primary);
    Items items;
    if (!found || !ok(heif_context_get_primary_image_ID(context.get(), &items.primary))) {
        return {};
    }
    std::vector<heif_item_id> ids(size_t(heif_image_handle_get_number_of_thumbnails(primary)));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), int(ids.size()));
    items.thumbnails = QList<heif_item_id>(ids.begin(), ids.end());
    return items;
}

// The bits a channel of the primary picture's luma.
int lumaBitsOf(const QByteArray &file)
{
    Context context(heif_context_alloc());
    heif_image_handle *primary = nullptr;
    if (!ok(heif_context_read_from_memory_without_copy(context.get(), file.constData(),
                                                       size_t(file.size()), nullptr)) ||
        !ok(heif_context_get_primary_image_handle(context.get(), &primary))) {
        return 0;
    }
    const Handle handle(primary);
    return heif_image_handle_get_luma_bits_per_pixel(primary);
}

// --- Box surgery. libheif writes `ftyp`, `meta`, `mdat` in that order, with 32-bit box sizes.

struct Box
{
    QByteArray type;
    QByteArray payload;
};

QList<Box> childrenOf(QByteArrayView payload)
{
    QList<Box> children;
    qsizetype at = 0;
    while (at + 8 <= payload.size()) {
        const qsizetype length = qsizetype(readBigEndian(payload, at, 4));
        if (length < 8 || at + length > payload.size()) {
            return {};
        }
        children.append({payload.sliced(at + 4, 4).toByteArray(),
                         payload.sliced(at + 8, length - 8).toByteArray()});
        at += length;
    }
    return children;
}

QByteArray joined(const QList<Box> &boxes)
{
    QByteArray out;
    for (const Box &box : boxes) {
        out += bigEndian(quint64(8 + box.payload.size()), 4) + box.type + box.payload;
    }
    return out;
}

Box *find(QList<Box> &boxes, const char *type)
{
    for (Box &box : boxes) {
        if (box.type == type) {
            return &box;
        }
    }
    return nullptr;
}

// A number in `iloc`: where it lies and how many bytes it takes (none: absent, read as 0).
struct Field
{
    qsizetype at = 0;
    int size = 0;

    quint64 in(QByteArrayView data) const { return size ? readBigEndian(data, at, size) : 0; }
};

// One stretch of an item's data as `iloc` records it; method 0 means "in the file", where
// the data starts at base + offset.
struct Extent
{
    heif_item_id item = 0;
    int method = 0;
    Field base;
    Field offset;
    bool firstOfItem = false;
};

QList<Extent> extentsOf(QByteArrayView iloc)
{
    const int version = quint8(iloc[0]);
    const int offsetSize = quint8(iloc[4]) >> 4, lengthSize = quint8(iloc[4]) & 15;
    const int baseOffsetSize = quint8(iloc[5]) >> 4;
    const int indexSize = version == 1 || version == 2 ? quint8(iloc[5]) & 15 : 0;
    const int idSize = version < 2 ? 2 : 4;
    QList<Extent> extents;
    qsizetype at = 6;
    const quint64 count = readBigEndian(iloc, at, idSize);
    at += idSize;
    for (quint64 item = 0; item < count; ++item) {
        Extent extent;
        extent.item = heif_item_id(readBigEndian(iloc, at, idSize));
        at += idSize;
        if (version == 1 || version == 2) {
            extent.method = int(readBigEndian(iloc, at, 2) & 15);
            at += 2;
        }
        at += 2; // data reference index
        extent.base = {at, baseOffsetSize};
        at += baseOffsetSize;
        const quint64 listed = readBigEndian(iloc, at, 2);
        at += 2;
        for (quint64 i = 0; i < listed; ++i) {
            at += indexSize;
            extent.offset = {at, offsetSize};
            extent.firstOfItem = i == 0;
            extents.append(extent);
            at += offsetSize + lengthSize;
        }
    }
    return extents;
}

// Moves every file offset `iloc` records by `delta`.
void shiftItemOffsets(QByteArray &iloc, qint64 delta)
{
    for (const Extent &extent : extentsOf(iloc)) {
        if (extent.method != 0) {
            continue;
        }
        if (extent.base.size > 0 && extent.firstOfItem) {
            writeBigEndian(iloc, extent.base.at, extent.base.in(iloc) + delta, extent.base.size);
        } else if (extent.base.size == 0) {
            writeBigEndian(iloc, extent.offset.at, extent.offset.in(iloc) + delta,
                           extent.offset.size);
        }
    }
}

// `file` with the children of its `meta` box edited; the media data after `meta` moves with
// any growth, so the item offsets are moved with it.
QByteArray withMetaEdited(const QByteArray &file, const std::function<void(QList<Box> &)> &edit)
{
    QList<Box> top = childrenOf(file);
    Box *meta = find(top, "meta");
    if (!meta) {
        return {};
    }
    const QByteArray versionAndFlags = meta->payload.first(4);
    QList<Box> children = childrenOf(QByteArrayView(meta->payload).sliced(4));
    edit(children);
    const qint64 delta = 4 + joined(children).size() - meta->payload.size();
    if (Box *iloc = find(children, "iloc")) {
        shiftItemOffsets(iloc->payload, delta);
    }
    meta->payload = versionAndFlags + joined(children);
    return joined(top);
}

// Each property list of `ipma` rewritten by `edit`, which is given the item id and its list
// (each index with the "essential" bit as stored).
QByteArray withAssociationsEdited(const QByteArray &ipma,
                                  const std::function<void(heif_item_id, QList<quint16> &)> &edit)
{
    const int version = quint8(ipma[0]);
    const bool wide = quint8(ipma[3]) & 1;
    const int idSize = version < 1 ? 2 : 4, indexSize = wide ? 2 : 1;
    const quint64 count = readBigEndian(ipma, 4, 4);
    QByteArray out = ipma.first(8);
    qsizetype at = 8;
    for (quint64 entry = 0; entry < count; ++entry) {
        const auto id = heif_item_id(readBigEndian(ipma, at, idSize));
        const int listed = int(readBigEndian(ipma, at + idSize, 1));
        at += idSize + 1;
        QList<quint16> indices;
        for (int i = 0; i < listed; ++i, at += indexSize) {
            indices.append(quint16(readBigEndian(ipma, at, indexSize)));
        }
        edit(id, indices);
        out += bigEndian(id, idSize) + bigEndian(quint64(indices.size()), 1);
        for (const quint16 index : indices) {
            out += bigEndian(index, indexSize);
        }
    }
    return out;
}

// `file` with its item properties edited: the boxes of `ipco` in order, and the `ipma` box's
// payload.
QByteArray withPropertiesEdited(const QByteArray &file,
                                const std::function<void(QList<Box> &, QByteArray &)> &edit)
{
    return withMetaEdited(file, [&](QList<Box> &meta) {
        Box *iprp = find(meta, "iprp");
        QList<Box> properties = iprp ? childrenOf(iprp->payload) : QList<Box>();
        Box *ipco = find(properties, "ipco");
        Box *ipma = find(properties, "ipma");
        if (!ipco || !ipma) {
            return;
        }
        QList<Box> listed = childrenOf(ipco->payload);
        edit(listed, ipma->payload);
        ipco->payload = joined(listed);
        iprp->payload = joined(properties);
    });
}

// The "essential" bit of a property index in `ipma`, whose width its flags choose.
quint16 essentialBit(const QByteArray &ipma)
{
    return quint8(ipma[3]) & 1 ? 0x8000 : 0x80;
}

// `file` with an `irot` of `quarterTurns` (anticlockwise) given to `items`: appended to the
// property boxes, or put before all of them, `ispe` included, when `first`.
QByteArray
withRotation(const QByteArray &file, int quarterTurns, const QList<heif_item_id> &items, bool first)
{
    return withPropertiesEdited(file, [&](QList<Box> &listed, QByteArray &ipma) {
        const Box irot{"irot", bigEndian(quint64(quarterTurns), 1)};
        first ? listed.prepend(irot) : listed.append(irot);
        const auto irotIndex = quint16(first ? 1 : listed.size());
        const quint16 essential = essentialBit(ipma);
        ipma = withAssociationsEdited(ipma, [&](heif_item_id id, QList<quint16> &indices) {
            if (first) {
                for (quint16 &index : indices) {
                    index = quint16((index & essential) | ((index & ~essential) + 1));
                }
            }
            // Listed last whatever the box order: transformations apply in the listed order,
            // after the crop libheif gives a single item, and descriptive properties such as
            // ispe come before them.
            if (items.contains(id)) {
                indices.append(essential | irotIndex);
            }
        });
    });
}

// `file` with every `ispe` claiming `width` × `height`, the coded pictures left as they are.
QByteArray withDeclaredSize(const QByteArray &file, quint32 width, quint32 height)
{
    return withPropertiesEdited(file, [&](QList<Box> &listed, QByteArray &) {
        for (Box &property : listed) {
            if (property.type == "ispe") {
                property.payload = bigEndian(0, 4) + bigEndian(width, 4) + bigEndian(height, 4);
            }
        }
    });
}

// `file` with the decoder configuration of `item` (a single coded item) zeroed: its picture
// can no longer be decoded, while every other item still can.
QByteArray withConfigurationDamaged(const QByteArray &file, heif_item_id item)
{
    return withPropertiesEdited(file, [&](QList<Box> &listed, QByteArray &ipma) {
        const quint16 essential = essentialBit(ipma);
        withAssociationsEdited(ipma, [&](heif_item_id id, QList<quint16> &indices) {
            for (const quint16 index : indices) {
                Box &property = listed[(index & ~essential) - 1];
                if (id == item && (property.type == "hvcC" || property.type == "av1C")) {
                    property.payload.fill('\0');
                }
            }
        });
    });
}

// Where `mdat` starts: every byte before it is header.
qsizetype headerLength(const QByteArray &file)
{
    qsizetype at = 0;
    for (const Box &box : childrenOf(file)) {
        if (box.type == "mdat") {
            return at;
        }
        at += 8 + box.payload.size();
    }
    return -1;
}

QSize bounded(QSize size, int longest)
{
    return size.scaled(longest, longest, Qt::KeepAspectRatio);
}

bool canEncode(heif_compression_format format)
{
    return heif_have_encoder_for_format(format) && heif_have_decoder_for_format(format);
}

// The usual photo here: 64 × 32, red left and blue right, with a 32 × 16 thumbnail item
// (green left, blue right, so it is told apart) and an EXIF orientation of 6.
Fixture phoneLike(heif_compression_format format, bool grid = true)
{
    Fixture fixture;
    fixture.format = format;
    fixture.grid = grid;
    fixture.picture = halves({64, 32}, red, blue);
    fixture.thumbnails = {{halves({64, 32}, green, blue), 32}};
    fixture.exifOrientation = 6;
    return fixture;
}

} // namespace

Q_DECLARE_METATYPE(heif_compression_format)

std::optional<ImageSource> tst_HeifDecoder::written(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        return std::nullopt;
    }
    file.close();
    return ImageSource::open(path);
}

void tst_HeifDecoder::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void tst_HeifDecoder::turnedOnceByTheContainer_data()
{
    QTest::addColumn<heif_compression_format>("format");
    QTest::addColumn<bool>("grid");
    QTest::addColumn<int>("quarterTurns");   // irot, anticlockwise
    QTest::addColumn<bool>("rotationFirst"); // irot before ispe
    QTest::addColumn<QSize>("upright");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("thumbnail");

    // Every file also says "turn a quarter clockwise" (6) in its EXIF block; applied on top,
    // a quarter turn would come out landscape again and a half turn portrait.
    const auto rows = [](const char *name, heif_compression_format format) {
        const QByteArray prefix(name);
        //                                      irot  first  upright   picture  thumbnail
        QTest::newRow(prefix + " irot 90")
            << format << true << 1 << false << QSize(32, 64) << u"BB/RR"_s << u"BB/GG"_s;
        QTest::newRow(prefix + " irot 270")
            << format << true << 3 << false << QSize(32, 64) << u"RR/BB"_s << u"GG/BB"_s;
        QTest::newRow(prefix + " irot 180")
            << format << true << 2 << false << QSize(64, 32) << u"BR/BR"_s << u"BG/BG"_s;
        QTest::newRow(prefix + " EXIF alone turns nothing")
            << format << true << 0 << false << QSize(64, 32) << u"RB/RB"_s << u"GB/GB"_s;
        QTest::newRow(prefix + " irot 90 before ispe")
            << format << true << 1 << true << QSize(32, 64) << u"BB/RR"_s << u"BB/GG"_s;
        QTest::newRow(prefix + " irot 90 single item")
            << format << false << 1 << false << QSize(32, 64) << u"BB/RR"_s << u"BB/GG"_s;
        QTest::newRow(prefix + " irot 270 before ispe, single item")
            << format << false << 3 << true << QSize(32, 64) << u"RR/BB"_s << u"GG/BB"_s;
    };
    rows("heic", heif_compression_HEVC);
    rows("avif", heif_compression_AV1);
}

void tst_HeifDecoder::turnedOnceByTheContainer()
{
    QFETCH(heif_compression_format, format);
    QFETCH(bool, grid);
    QFETCH(int, quarterTurns);
    QFETCH(bool, rotationFirst);
    QFETCH(QSize, upright);
    QFETCH(QString, picture);
    QFETCH(QString, thumbnail);
    if (!canEncode(format)) {
        QSKIP("libheif has no encoder and decoder for this format here");
    }

    QByteArray file = encoded(phoneLike(format, grid));
    QVERIFY(!file.isEmpty());
    QVERIFY2(file.contains(orientationEntry(6)), "the EXIF orientation must reach the file");
    if (quarterTurns) {
        const Items items = itemsOf(file);
        QCOMPARE(items.thumbnails.size(), 1);
        file =
            withRotation(file, quarterTurns, {items.primary, items.thumbnails[0]}, rotationFirst);
    }
    const std::optional<ImageSource> source = written(QStringLiteral("turned.heic"), file);
    QVERIFY(source);

    QCOMPARE(m_decoder.uprightSize(*source), upright);

    const QImage full = m_decoder.decode(*source, 4096);
    QCOMPARE(full.size(), upright);
    QCOMPARE(layoutOf(full), picture);

    const QImage small = m_decoder.decode(*source, 16);
    QCOMPARE(small.size(), bounded(upright, 16));
    QCOMPARE(layoutOf(small), thumbnail);

    const QImage preview = m_decoder.embeddedPreview(*source);
    QCOMPARE(preview.size(), bounded(upright, 32));
    QCOMPARE(layoutOf(preview), thumbnail);
}

void tst_HeifDecoder::thumbnailItemWhenLargeEnough_data()
{
    QTest::addColumn<heif_compression_format>("format");
    QTest::addColumn<bool>("withThumbnail"); // 32 × 16, green and blue
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<int>("bitDepth");

    for (const auto &[name, format] :
         {std::pair("heic", heif_compression_HEVC), std::pair("avif", heif_compression_AV1)}) {
        const QByteArray prefix(name);
        QTest::newRow(prefix + " thumbnail larger than asked")
            << format << true << 16 << QSize(16, 8) << u"GB/GB"_s << 8;
        QTest::newRow(prefix + " thumbnail exactly as large")
            << format << true << 32 << QSize(32, 16) << u"GB/GB"_s << 8;
        QTest::newRow(prefix + " thumbnail a pixel short")
            << format << true << 33 << QSize(33, 17) << u"RB/RB"_s << 8;
        QTest::newRow(prefix + " full size")
            << format << true << 64 << QSize(64, 32) << u"RB/RB"_s << 8;
        QTest::newRow(prefix + " never enlarged")
            << format << true << 4096 << QSize(64, 32) << u"RB/RB"_s << 8;
        QTest::newRow(prefix + " no thumbnail: primary shrunk")
            << format << false << 16 << QSize(16, 8) << u"RB/RB"_s << 8;
        QTest::newRow(prefix + " no thumbnail: primary shrunk in two steps")
            << format << false << 10 << QSize(10, 5) << u"RB/RB"_s << 8;
    }
    // Many phones store 10 bits a channel; the picture still comes out as 8-bit RGB.
    QTest::newRow("heic 10-bit thumbnail")
        << heif_compression_HEVC << true << 16 << QSize(16, 8) << u"GB/GB"_s << 10;
    QTest::newRow("heic 10-bit primary")
        << heif_compression_HEVC << true << 64 << QSize(64, 32) << u"RB/RB"_s << 10;
}

void tst_HeifDecoder::thumbnailItemWhenLargeEnough()
{
    QFETCH(heif_compression_format, format);
    QFETCH(bool, withThumbnail);
    QFETCH(int, maximum);
    QFETCH(QSize, size);
    QFETCH(QString, picture);
    QFETCH(int, bitDepth);
    if (!canEncode(format)) {
        QSKIP("libheif has no encoder and decoder for this format here");
    }

    Fixture fixture = phoneLike(format);
    fixture.bitDepth = bitDepth;
    if (!withThumbnail) {
        fixture.thumbnails.clear();
    }
    const QByteArray file = encoded(fixture);
    QVERIFY(!file.isEmpty());
    QCOMPARE(lumaBitsOf(file), bitDepth);
    const std::optional<ImageSource> source = written(QStringLiteral("choice.heic"), file);
    QVERIFY(source);

    const QImage image = m_decoder.decode(*source, maximum);
    QCOMPARE(image.size(), size);
    QCOMPARE(layoutOf(image), picture);
}

void tst_HeifDecoder::thumbnailOfAnotherShapeIsNotUsed()
{
    if (!canEncode(heif_compression_HEVC)) {
        QSKIP("libheif has no HEVC encoder and decoder here");
    }
    // The primary is turned by its irot, the thumbnail was stored without one: shown, it would
    // lie on its side until the real picture replaced it.
    QByteArray file = encoded(phoneLike(heif_compression_HEVC));
    QVERIFY(!file.isEmpty());
    file = withRotation(file, 1, {itemsOf(file).primary}, false);
    const std::optional<ImageSource> source = written(QStringLiteral("unturned.heic"), file);
    QVERIFY(source);

    const QImage small = m_decoder.decode(*source, 16);
    QCOMPARE(small.size(), QSize(8, 16));
    QCOMPARE(layoutOf(small), u"BB/RR"_s);
    QVERIFY(m_decoder.embeddedPreview(*source).isNull());
}

void tst_HeifDecoder::previewIsTheSmallestThumbnail()
{
    if (!canEncode(heif_compression_HEVC)) {
        QSKIP("libheif has no HEVC encoder and decoder here");
    }
    Fixture fixture = phoneLike(heif_compression_HEVC);
    fixture.thumbnails = {{halves({64, 32}, green, blue), 32}, {halves({64, 32}, blue, green), 16}};
    const QByteArray file = encoded(fixture);
    QVERIFY(!file.isEmpty());
    const std::optional<ImageSource> source = written(QStringLiteral("two.heic"), file);
    QVERIFY(source);

    const QImage preview = m_decoder.embeddedPreview(*source);
    QCOMPARE(preview.size(), QSize(16, 8));
    QCOMPARE(layoutOf(preview), u"BG/BG"_s);
    // The smallest thumbnail large enough for the request, not merely the first or smallest.
    const QImage decoded = m_decoder.decode(*source, 24);
    QCOMPARE(decoded.size(), QSize(24, 12));
    QCOMPARE(layoutOf(decoded), u"GB/GB"_s);

    fixture.thumbnails.clear();
    const std::optional<ImageSource> bare = written(QStringLiteral("bare.heic"), encoded(fixture));
    QVERIFY(bare);
    QVERIFY(!m_decoder.decode(*bare, 16).isNull());
    QVERIFY(m_decoder.embeddedPreview(*bare).isNull());
}

void tst_HeifDecoder::damagedThumbnailFallsBackToThePrimary()
{
    if (!canEncode(heif_compression_HEVC)) {
        QSKIP("libheif has no HEVC encoder and decoder here");
    }
    QByteArray file = encoded(phoneLike(heif_compression_HEVC, false));
    QVERIFY(!file.isEmpty());
    const Items items = itemsOf(file);
    QCOMPARE(items.thumbnails.size(), 1);
    file = withConfigurationDamaged(file, items.thumbnails[0]);
    const std::optional<ImageSource> source = written(QStringLiteral("damaged.heic"), file);
    QVERIFY(source);

    const QImage small = m_decoder.decode(*source, 16);
    QCOMPARE(small.size(), QSize(16, 8));
    QCOMPARE(layoutOf(small), u"RB/RB"_s);
    QVERIFY(m_decoder.embeddedPreview(*source).isNull());
}

void tst_HeifDecoder::truncatedFilesGiveNothing_data()
{
    QTest::addColumn<heif_compression_format>("format");
    QTest::newRow("heic") << heif_compression_HEVC;
    QTest::newRow("avif") << heif_compression_AV1;
}

namespace {

// Every KiB boundary, the first bytes, and both sides of the end of the header.
QList<qsizetype> cutsOf(const QByteArray &file)
{
    const qsizetype header = headerLength(file);
    QList<qsizetype> cuts = {0,
                             1,
                             7,
                             8,
                             9,
                             16,
                             17,
                             33,
                             header - 1,
                             header,
                             header + 1,
                             header + 9,
                             file.size() / 2 + 3,
                             file.size() - 1};
    for (qsizetype at = 1024; at < file.size(); at += 1024) {
        cuts.append(at);
    }
    std::ranges::sort(cuts);
    const auto [from, to] = std::ranges::unique(cuts);
    cuts.erase(from, to);
    cuts.removeIf([&file](qsizetype cut) { return cut < 0 || cut >= file.size(); });
    return cuts;
}

} // namespace

void tst_HeifDecoder::truncatedFilesGiveNothing()
{
    QFETCH(heif_compression_format, format);
    if (!canEncode(format)) {
        QSKIP("libheif has no encoder and decoder for this format here");
    }
    // No thumbnail and no EXIF: the coded picture is the end of the file, so every cut
    // damages it.
    Fixture fixture;
    fixture.format = format;
    fixture.picture = noise({192, 128}, 7);
    const QByteArray file = encoded(fixture);
    QVERIFY(!file.isEmpty());
    const qsizetype header = headerLength(file);
    QVERIFY(header > 0);
    QVERIFY2(file.size() > 8 * 1024, "the file must span several KiB");
    {
        const std::optional<ImageSource> whole = written(QStringLiteral("whole.heic"), file);
        QVERIFY(whole);
        QCOMPARE(m_decoder.decode(*whole, 4096).size(), QSize(192, 128));
    }

    for (const qsizetype cut : cutsOf(file)) {
        const std::optional<ImageSource> source =
            written(QStringLiteral("cut.heic"), file.first(cut));
        QVERIFY(source);
        const QByteArray where =
            "cut at " + QByteArray::number(cut) + " of " + QByteArray::number(file.size());
        QVERIFY2(m_decoder.decode(*source, 4096).isNull(), where);
        QVERIFY2(m_decoder.decode(*source, 16).isNull(), where);
        QVERIFY2(m_decoder.embeddedPreview(*source).isNull(), where);
        // The size needs only the header, which a cut in the media data leaves whole.
        QCOMPARE(m_decoder.uprightSize(*source), cut < header ? QSize() : QSize(192, 128));
    }
}

void tst_HeifDecoder::truncatedFilesNeverGiveAWrongPicture_data()
{
    truncatedFilesGiveNothing_data();
}

void tst_HeifDecoder::truncatedFilesNeverGiveAWrongPicture()
{
    QFETCH(heif_compression_format, format);
    if (!canEncode(format)) {
        QSKIP("libheif has no encoder and decoder for this format here");
    }
    // A cut may fall after the primary's data, in the thumbnail or the EXIF block: whether
    // the photo is then still shown is libheif's choice, but anything shown must be exactly
    // what the whole file gives.
    Fixture fixture = phoneLike(format);
    fixture.picture = halves({256, 128}, red, blue);
    fixture.thumbnails = {{noise({256, 128}, 3), 128}};
    QByteArray file = encoded(fixture);
    QVERIFY(!file.isEmpty());
    const Items items = itemsOf(file);
    QCOMPARE(items.thumbnails.size(), 1);
    file = withRotation(file, 1, {items.primary, items.thumbnails[0]}, false);

    const std::optional<ImageSource> whole = written(QStringLiteral("whole.heic"), file);
    QVERIFY(whole);
    const QImage full = m_decoder.decode(*whole, 4096);
    QCOMPARE(full.size(), QSize(128, 256));
    QCOMPARE(layoutOf(full), u"BB/RR"_s);
    const QImage small = m_decoder.decode(*whole, 64);
    QCOMPARE(small.size(), QSize(32, 64));
    const QImage preview = m_decoder.embeddedPreview(*whole);
    QCOMPARE(preview.size(), QSize(64, 128));

    for (const qsizetype cut : cutsOf(file)) {
        const std::optional<ImageSource> source =
            written(QStringLiteral("cut.heic"), file.first(cut));
        QVERIFY(source);
        const QByteArray where =
            "cut at " + QByteArray::number(cut) + " of " + QByteArray::number(file.size());
        const auto nullOr = [](const QImage &image, const QImage &expected) {
            return image.isNull() || image == expected;
        };
        QVERIFY2(nullOr(m_decoder.decode(*source, 4096), full), where);
        QVERIFY2(nullOr(m_decoder.decode(*source, 64), small), where);
        QVERIFY2(nullOr(m_decoder.embeddedPreview(*source), preview), where);
    }
}

void tst_HeifDecoder::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("sizeIsRead");

    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("not HEIF") << QByteArray(4096, 'x') << false;
    QTest::newRow("ftyp alone") << joined({{"ftyp", "heic" + bigEndian(0, 4) + "mif1heic"}})
                                << false;
    if (!canEncode(heif_compression_HEVC)) {
        return;
    }
    Fixture fixture;
    fixture.grid = false;
    fixture.picture = halves({64, 32}, red, blue);
    const QByteArray file = encoded(fixture);
    // Far beyond any sensor: the header reader refuses it, and libheif must not try it.
    QTest::newRow("declared 100000 x 100000") << withDeclaredSize(file, 100000, 100000) << false;
    // A size the header may report, but 400 megapixels is more than a picture may cost.
    QTest::newRow("declared 20000 x 20000") << withDeclaredSize(file, 20000, 20000) << true;
}

void tst_HeifDecoder::hostileFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, sizeIsRead);
    const std::optional<ImageSource> source = written(QStringLiteral("hostile.heic"), file);
    QVERIFY(source);

    QCOMPARE(m_decoder.uprightSize(*source).isEmpty(), !sizeIsRead);
    QVERIFY(m_decoder.decode(*source, 4096).isNull());
    QVERIFY(m_decoder.decode(*source, 16).isNull());
    QVERIFY(m_decoder.embeddedPreview(*source).isNull());
}

void tst_HeifDecoder::threadsDecodeAtOnce()
{
    if (!canEncode(heif_compression_HEVC)) {
        QSKIP("libheif has no HEVC encoder and decoder here");
    }
    // Two different files decoded at once, each with and without its thumbnail: a decode that
    // shared anything with another would come back with the other's picture or a damaged one.
    const QByteArray plain = encoded(phoneLike(heif_compression_HEVC));
    QVERIFY(!plain.isEmpty());
    const Items items = itemsOf(plain);
    const QByteArray turned =
        withRotation(plain, 1, {items.primary, items.thumbnails.value(0)}, false);
    std::vector<ImageSource> sources;
    for (const QByteArray &file : {plain, turned}) {
        std::optional<ImageSource> source =
            written(QStringLiteral("shared%1.heic").arg(sources.size()), file);
        QVERIFY(source);
        sources.push_back(std::move(*source));
    }
    const auto request = [&sources](int round) {
        return std::pair(&sources[size_t(round % 2)], round % 4 < 2 ? 4096 : 16);
    };
    constexpr int threadCount = 4;
    constexpr int rounds = 100;
    QList<QImage> expected;
    for (int round = 0; round < 4; ++round) {
        const auto [source, maximum] = request(round);
        expected.append(m_decoder.decode(*source, maximum));
    }
    QCOMPARE(layoutOf(expected[0]), u"RB/RB"_s);
    QCOMPARE(layoutOf(expected[1]), u"BB/RR"_s);

    std::vector<QList<QImage>> results(threadCount);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([&, t] {
                for (int round = t; round < rounds + t; ++round) {
                    const auto [source, maximum] = request(round);
                    results[size_t(t)].append(m_decoder.decode(*source, maximum));
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

QTEST_GUILESS_MAIN(tst_HeifDecoder)
#include "tst_HeifDecoder.moc"
