#pragma once

// HEIC and AVIF files for tests: written by libheif's own encoders, or assembled box by box, and
// then edited box by box where libheif cannot write what phones and other writers do (a turn
// added afterwards, a damaged decoder configuration, an absurd declared size).

#include "support/Bytes.h"

#include <QByteArray>
#include <QImage>
#include <QList>

#include <libheif/heif.h>

#include <functional>

namespace HeifWriter {

inline QByteArray bigEndian(quint64 value, int bytes)
{
    return Bytes::number(value, bytes);
}
using Bytes::box;
QByteArray fullBox(const char *type, int version, int flags, const QByteArray &payload);
// The EXIF orientation entry (tag 0x0112, one SHORT), as it appears in a big-endian TIFF block.
QByteArray orientationEntry(int orientation);

struct Thumbnail
{
    QImage picture;
    int boundingBox = 0; // libheif shrinks the picture to fit a square this wide
};

struct Fixture
{
    heif_compression_format format = heif_compression_HEVC;
    // A picture smaller than the coded frame is cropped by a one-tile grid item (phones tile
    // theirs too), otherwise by a `clap` on a single item.
    bool grid = true;
    QImage picture;
    QList<Thumbnail> thumbnails;
    int orientation = 1;     // libheif's own irot/imir, from an EXIF orientation
    int exifOrientation = 0; // an EXIF block saying so; none when 0
    QByteArray exif = {};    // a TIFF block to store as the Exif item instead
    QByteArray xmp = {};     // an XMP packet to store as the XMP item; none when empty
    int bitDepth = 8;
};

bool canEncode(heif_compression_format format);
// The file libheif writes for `fixture`; empty when encoding fails.
QByteArray encoded(const Fixture &fixture);

struct Items
{
    heif_item_id primary = 0;
    QList<heif_item_id> thumbnails;
};
// The ids libheif gives the primary picture and its thumbnails.
Items itemsOf(const QByteArray &file);
// The bits a channel of the primary picture's luma.
int lumaBitsOf(const QByteArray &file);
// Where `mdat` starts: every byte before it is header.
qsizetype headerLength(const QByteArray &file);

// `file` with an `irot` of `quarterTurns` (anticlockwise) listed last for `items`: its box
// appended to the properties, or put before all of them, `ispe` included, when `first`.
QByteArray withRotation(const QByteArray &file,
                        int quarterTurns,
                        const QList<heif_item_id> &items,
                        bool first = false);
// `file` with every `ispe` claiming `width` × `height`, the coded pictures left as they are.
QByteArray withDeclaredSize(const QByteArray &file, quint32 width, quint32 height);
// `file` with the decoder configuration of `item` (a single coded item) zeroed: its picture
// can no longer be decoded, while every other item still can.
QByteArray withConfigurationDamaged(const QByteArray &file, heif_item_id item);

} // namespace HeifWriter
