#include "HeifWriter.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

// libheif 1.15's x265 encoder, which only makes the fixtures here, leaves about a kilobyte
// behind each time it is used; LeakSanitizer (in sanitized builds) reads this list and would
// otherwise fail the run on leaks that are none of the code under test.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}

namespace HeifWriter {

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

quint64 readBigEndian(QByteArrayView data, qsizetype at, int bytes)
{
    quint64 value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = value << 8 | quint8(data[at + i]);
    }
    return value;
}

// A TIFF block holding one entry, the orientation, as phones write it beside the container's
// own rotation.
QByteArray exifWithOrientation(int orientation)
{
    return QByteArray("MM\0*", 4) + bigEndian(8, 4) + bigEndian(1, 2) +
           orientationEntry(orientation) + bigEndian(0, 4);
}

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

// `file` as libheif reads it, and its primary picture; no picture when libheif refuses it.
std::pair<Context, Handle> primaryOf(const QByteArray &file)
{
    Context context(heif_context_alloc());
    heif_image_handle *primary = nullptr;
    if (!ok(heif_context_read_from_memory_without_copy(context.get(), file.constData(),
                                                       size_t(file.size()), nullptr)) ||
        !ok(heif_context_get_primary_image_handle(context.get(), &primary))) {
        return {};
    }
    return {std::move(context), Handle(primary)};
}

// Box surgery. libheif writes `ftyp`, `meta`, `mdat` in that order, with 32-bit box sizes.

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
    const auto found = std::ranges::find(boxes, QByteArray(type), &Box::type);
    return found == boxes.end() ? nullptr : &*found;
}

// Moves every file offset `iloc` records by `delta`. libheif 1.15 writes a 4-byte base offset
// for each item, which every extent of the item adds to its own offset, and no extent index;
// items in `idat` (construction method 1, version 1 only) have no file offset. Any other
// layout empties `iloc`, so that the file is plainly broken rather than subtly.
void shiftItemOffsets(QByteArray &iloc, qint64 delta)
{
    const int version = quint8(iloc[0]);
    const int extentSize = (quint8(iloc[4]) >> 4) + (quint8(iloc[4]) & 15);
    if (version > 1 || quint8(iloc[5]) != 0x40) {
        iloc.clear();
        return;
    }
    qsizetype at = 8;
    for (quint64 item = readBigEndian(iloc, 6, 2); item > 0; --item) {
        const bool inFile = version == 0 || (readBigEndian(iloc, at + 2, 2) & 15) == 0;
        at += version == 0 ? 4 : 6; // id, construction method, data reference index
        if (inFile) {
            iloc.replace(at, 4, bigEndian(readBigEndian(iloc, at, 4) + delta, 4));
        }
        at += 6 + extentSize * qsizetype(readBigEndian(iloc, at + 4, 2));
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

} // namespace

QByteArray orientationEntry(int orientation)
{
    return bigEndian(0x0112, 2) + bigEndian(3, 2) + bigEndian(1, 4) +
           bigEndian(quint64(orientation), 2) + bigEndian(0, 2);
}

QByteArray fullBox(const char *type, int version, int flags, const QByteArray &payload)
{
    return box(type, bigEndian(quint64(version), 1) + bigEndian(quint64(flags), 3) + payload);
}

bool canEncode(heif_compression_format format)
{
    return heif_have_encoder_for_format(format) && heif_have_decoder_for_format(format);
}

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
    options->image_orientation = heif_orientation(fixture.orientation);
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
    if (fixture.exifOrientation || !fixture.exif.isEmpty()) {
        const QByteArray exif =
            fixture.exif.isEmpty() ? exifWithOrientation(fixture.exifOrientation) : fixture.exif;
        if (!ok(heif_context_add_exif_metadata(context.get(), primary, exif.constData(),
                                               int(exif.size())))) {
            return {};
        }
    }
    if (!fixture.xmp.isEmpty() &&
        !ok(heif_context_add_XMP_metadata(context.get(), primary, fixture.xmp.constData(),
                                          int(fixture.xmp.size())))) {
        return {};
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

Items itemsOf(const QByteArray &file)
{
    const auto [context, primary] = primaryOf(file);
    Items items;
    if (!primary || !ok(heif_context_get_primary_image_ID(context.get(), &items.primary))) {
        return {};
    }
    std::vector<heif_item_id> ids(
        size_t(heif_image_handle_get_number_of_thumbnails(primary.get())));
    heif_image_handle_get_list_of_thumbnail_IDs(primary.get(), ids.data(), int(ids.size()));
    items.thumbnails = QList<heif_item_id>(ids.begin(), ids.end());
    return items;
}

int lumaBitsOf(const QByteArray &file)
{
    const auto [context, primary] = primaryOf(file);
    return primary ? heif_image_handle_get_luma_bits_per_pixel(primary.get()) : 0;
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

} // namespace HeifWriter
