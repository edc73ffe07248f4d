#pragma once

// The upright size of a HEIF, HEIC or AVIF image read from its box structure alone: `ftyp`,
// then the `meta` box's primary item (`pitm`) and its properties (`iprp`: `ipco` and `ipma`),
// of which `ispe` gives the size, `clap` a crop and `irot` a quarter turn, applied in the order
// the item lists them: the size libheif decodes the picture at. Decoding libraries read the
// whole file to open it; this reads the box headers and the `meta` box, a few KiB, and, when
// asked, the file's Exif and XMP items, which `iinf` names and `iloc` places.
// Defensive by design: any box that runs past its parent or the file, an absurd count or size,
// or a missing piece gives an empty size, never a crash or a long loop.

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>

#include <functional>

namespace HeifBoxes {

// Reads `length` bytes at `offset` of the file; fewer (or none) at its end or on an error.
using ReadAt = std::function<QByteArray(qint64 offset, qint64 length)>;

// No side may exceed this; larger claims are treated as damage.
constexpr int maximumSide = 65535;
// The `meta` box is read whole; a larger one is not believed.
constexpr qint64 maximumMetaLength = 4 * 1024 * 1024;

// Exif items are a few KiB; only this much of a larger one is read (every offset in it is
// checked, so a cut block reads as entries missing).
constexpr qint64 maximumExifLength = 256 * 1024;
// XMP packets are a few KiB too, but a cut one is no longer XML: a larger one is not read.
constexpr qint64 maximumXmpLength = 1024 * 1024;

// The primary image's size after its crop and rotation, or an empty size.
QSize uprightSize(qint64 fileLength, const ReadAt &readAt);
// The same for a file held in memory (tests, fuzzing, a head already read).
QSize uprightSize(QByteArrayView file);

struct Header
{
    QSize uprightSize; // as uprightSize() gives it
    // The payload of the Exif item (in a single extent, in the file or in `idat`), its first
    // maximumExifLength bytes; empty when there is none or it lies outside the file.
    QByteArray exif;
    // The XMP packet: the `mime` item of content type application/rdf+xml, stored plain in a
    // single extent; empty when there is none, it lies outside the file, or it is longer than
    // maximumXmpLength.
    QByteArray xmp;
};
// The size and the Exif and XMP items from one read of the box structure.
Header readHeader(qint64 fileLength, const ReadAt &readAt);
Header readHeader(QByteArrayView file);
// Only the XMP packet, as readHeader() gives it.
QByteArray readXmp(qint64 fileLength, const ReadAt &readAt);

} // namespace HeifBoxes
