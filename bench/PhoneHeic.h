#pragma once

// HEIC files without thumbnail items, for the thumbnail benchmark: every picture is a primary
// that must be decoded whole. `single` is one coded picture, as libheif's encoder writes it;
// `grid` is what phones write: 512 × 512 tiles, each coded on its own, joined by a grid item
// that crops them to the photo's size. libheif 1.15 cannot write a grid, so its boxes are
// assembled here around tiles libheif coded one by one.

#include <QByteArray>
#include <QImage>
#include <QList>

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace PhoneHeic {

namespace detail {

inline QByteArray number(quint64 value, int bytes)
{
    QByteArray out(bytes, '\0');
    for (int i = 0; i < bytes; ++i) {
        out[bytes - 1 - i] = char(value >> (8 * i) & 0xff);
    }
    return out;
}

inline QByteArray box(const char *type, const QByteArray &payload)
{
    return number(quint64(8 + payload.size()), 4) + QByteArray(type, 4) + payload;
}

inline QByteArray fullBox(const char *type, int version, int flags, const QByteArray &payload)
{
    return box(type, number(quint64(version), 1) + number(quint64(flags), 3) + payload);
}

// The payload of the first box of `type` among the boxes in `bytes`; empty when there is none.
inline QByteArray child(const QByteArray &bytes, const char *type, qsizetype skip = 0)
{
    for (qsizetype at = skip; at + 8 <= bytes.size();) {
        const qsizetype size = qsizetype(quint32(quint8(bytes[at])) << 24 |
                                         quint32(quint8(bytes[at + 1])) << 16 |
                                         quint32(quint8(bytes[at + 2])) << 8 |
                                         quint32(quint8(bytes[at + 3])));
        if (size < 8 || at + size > bytes.size()) {
            return {};
        }
        if (bytes.mid(at + 4, 4) == type) {
            return bytes.mid(at + 8, size - 8);
        }
        at += size;
    }
    return {};
}

struct Release
{
    void operator()(heif_context *context) const { heif_context_free(context); }
    void operator()(heif_encoder *encoder) const { heif_encoder_release(encoder); }
    void operator()(heif_image *image) const { heif_image_release(image); }
    void operator()(const heif_image_handle *handle) const { heif_image_handle_release(handle); }
};

// One HEIC file of `image` as libheif writes it; empty when it cannot.
inline QByteArray encodedByLibheif(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::unique_ptr<heif_context, Release> context(heif_context_alloc());
    heif_encoder *found = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &found).code !=
        heif_error_Ok) {
        return {};
    }
    const std::unique_ptr<heif_encoder, Release> encoder(found);
    // Fast, and about as many bytes a photo as a phone writes.
    heif_encoder_set_parameter(encoder.get(), "preset", "veryfast");
    heif_encoder_set_lossy_quality(encoder.get(), 50);
    heif_image *made = nullptr;
    if (heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                          heif_chroma_interleaved_RGB, &made)
            .code != heif_error_Ok) {
        return {};
    }
    const std::unique_ptr<heif_image, Release> picture(made);
    heif_image_add_plane(picture.get(), heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(picture.get(), heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y) {
        std::memcpy(plane + qsizetype(y) * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
    }
    heif_image_handle *handle = nullptr;
    if (heif_context_encode_image(context.get(), picture.get(), encoder.get(), nullptr, &handle)
            .code != heif_error_Ok) {
        return {};
    }
    heif_image_handle_release(handle);
    QByteArray file;
    heif_writer writer{1, [](heif_context *, const void *data, size_t size, void *out) {
                           static_cast<QByteArray *>(out)->append(
                               static_cast<const char *>(data), qsizetype(size));
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    if (heif_context_write(context.get(), &writer, &file).code != heif_error_Ok) {
        return {};
    }
    return file;
}

} // namespace detail

inline QByteArray single(const QImage &image)
{
    return detail::encodedByLibheif(image);
}

inline QByteArray grid(const QImage &image, int tileSide = 512)
{
    using namespace detail;
    const int columns = (image.width() + tileSide - 1) / tileSide;
    const int rows = (image.height() + tileSide - 1) / tileSide;
    if (columns > 256 || rows > 256) {
        return {};
    }
    // Each tile alone as libheif writes it: its decoder configuration and its coded bytes,
    // which are all that file's `mdat` holds.
    QList<QByteArray> configurations, codedTiles;
    QByteArray colour;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            QImage tile(tileSide, tileSide, QImage::Format_RGB888);
            tile.fill(Qt::black);
            // Past the photo's edge a tile is black; the grid crops it away.
            const QImage part = image.copy(column * tileSide, row * tileSide, tileSide, tileSide)
                                    .convertToFormat(QImage::Format_RGB888);
            const int width = std::min(tileSide, image.width() - column * tileSide);
            const int height = std::min(tileSide, image.height() - row * tileSide);
            for (int y = 0; y < height; ++y) {
                std::memcpy(tile.scanLine(y), part.constScanLine(y), size_t(width) * 3);
            }
            const QByteArray file = encodedByLibheif(tile);
            const qsizetype hvcC = file.indexOf("hvcC");
            const QByteArray data = child(file, "mdat");
            if (hvcC < 4 || data.isEmpty()) {
                return {};
            }
            configurations.append(child(file, "hvcC", hvcC - 4));
            codedTiles.append(data);
            // The colours are the photo's, given to the grid item.
            if (const qsizetype colr = file.indexOf("colr"); colour.isEmpty() && colr >= 4) {
                colour = child(file, "colr", colr - 4);
            }
        }
    }
    const int tiles = int(codedTiles.size());
    const quint16 gridId = 1;
    const auto tileId = [](int i) { return quint16(2 + i); };

    // Properties: 1 the grid's ispe, 2 the tiles' ispe, then one hvcC per tile.
    QByteArray ipco = fullBox("ispe", 0, 0,
                              number(quint64(image.width()), 4) +
                                  number(quint64(image.height()), 4)) +
                      fullBox("ispe", 0, 0, number(quint64(tileSide), 4) +
                                                number(quint64(tileSide), 4));
    for (const QByteArray &configuration : configurations) {
        ipco += box("hvcC", configuration);
    }
    // The colour profile, when the tiles had one, comes last.
    const bool hasColour = !colour.isEmpty();
    if (hasColour) {
        ipco += box("colr", colour);
    }
    // 16-bit property indices: more than 127 properties need them.
    QByteArray ipma = number(quint64(1 + tiles), 4) + number(gridId, 2) +
                      number(hasColour ? 2 : 1, 1) + number(0x8000 | 1, 2);
    if (hasColour) {
        ipma += number(quint64(3 + tiles), 2);
    }
    for (int i = 0; i < tiles; ++i) {
        ipma += number(tileId(i), 2) + number(2, 1) + number(0x8000 | quint64(3 + i), 2) +
                number(2, 2);
    }
    QByteArray infe = fullBox("infe", 2, 0, number(gridId, 2) + number(0, 2) + "grid" + '\0');
    for (int i = 0; i < tiles; ++i) {
        infe += fullBox("infe", 2, 1 /* hidden */,
                        number(tileId(i), 2) + number(0, 2) + "hvc1" + '\0');
    }
    QByteArray dimg = number(gridId, 2) + number(quint64(tiles), 2);
    for (int i = 0; i < tiles; ++i) {
        dimg += number(tileId(i), 2);
    }
    const QByteArray gridDescription = number(0, 1) + number(0, 1) + number(quint64(rows - 1), 1) +
                                       number(quint64(columns - 1), 1) +
                                       number(quint64(image.width()), 2) +
                                       number(quint64(image.height()), 2);
    QList<QByteArray> payloads{gridDescription};
    payloads += codedTiles;

    const QByteArray ftyp = box("ftyp", QByteArray("heic") + number(0, 4) + "mif1heic");
    // Offsets are 32-bit fields, so the header's length does not depend on their values.
    const auto meta = [&](quint64 dataStart) {
        QByteArray iloc = number(0x44, 1) + number(0, 1) + number(quint64(1 + tiles), 2);
        quint64 offset = dataStart;
        for (qsizetype i = 0; i < payloads.size(); ++i) {
            iloc += number(i == 0 ? gridId : tileId(int(i - 1)), 2) + number(0, 2) +
                    number(1, 2) + number(offset, 4) + number(quint64(payloads[i].size()), 4);
            offset += quint64(payloads[i].size());
        }
        return fullBox(
            "meta", 0, 0,
            fullBox("hdlr", 0, 0, number(0, 4) + "pict" + QByteArray(12, '\0') + '\0') +
                fullBox("pitm", 0, 0, number(gridId, 2)) +
                fullBox("iinf", 0, 0, number(quint64(1 + tiles), 2) + infe) +
                fullBox("iloc", 0, 0, iloc) +
                fullBox("iref", 0, 0, box("dimg", dimg)) +
                box("iprp", box("ipco", ipco) + fullBox("ipma", 0, 1, ipma)));
    };
    const qsizetype header = ftyp.size() + meta(0).size() + 8;
    QByteArray mdat;
    for (const QByteArray &payload : payloads) {
        mdat += payload;
    }
    return ftyp + meta(quint64(header)) + box("mdat", mdat);
}

} // namespace PhoneHeic
