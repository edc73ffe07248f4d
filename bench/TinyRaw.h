#pragma once

// The benchmarks' stand-in for a camera's RAW file beside its JPEG: a minimal DNG of 32 × 24
// uncompressed 16-bit RGGB samples, 1.8 kB, that LibRaw identifies whatever the file is named
// (the benchmarks name it .CR3). Only its name makes it a RAW to the scanner; its content only
// matters to a reader that opens it.

#include <QByteArray>
#include <QtEndian>

#include <array>
#include <cstring>

namespace TinyRaw {

inline QByteArray dng()
{
    constexpr quint32 width = 32; // LibRaw refuses sensors under 22 pixels a side
    constexpr quint32 height = 24;
    enum Type : quint16 { byte = 1, ascii = 2, shortType = 3, longType = 4 };
    struct Entry
    {
        quint16 tag;
        quint16 type;
        quint32 count;
        quint32 value; // inline value (left-justified) or offset
    };
    const QByteArray names("Calvenor\0Bench Camera\0", 22); // Make, then Model
    constexpr int entryCount = 17;
    constexpr quint32 ifdOffset = 8;
    constexpr quint32 ifdSize = 2 + entryCount * 12 + 4;
    constexpr quint32 makeOffset = ifdOffset + ifdSize;
    constexpr quint32 modelOffset = makeOffset + 9;
    const quint32 dataOffset = makeOffset + quint32(names.size());
    const quint32 dataSize = width * height * 2;
    const auto bytes4 = [](quint8 a, quint8 b, quint8 c, quint8 d) {
        return quint32(a) | quint32(b) << 8 | quint32(c) << 16 | quint32(d) << 24;
    };
    // Sorted by tag, as TIFF requires.
    const std::array<Entry, entryCount> entries{{
        {254, longType, 1, 0},                       // NewSubFileType: the main image
        {256, longType, 1, width},                   // ImageWidth
        {257, longType, 1, height},                  // ImageLength
        {258, shortType, 1, 16},                     // BitsPerSample
        {259, shortType, 1, 1},                      // Compression: none
        {262, shortType, 1, 32803},                  // PhotometricInterpretation: CFA
        {271, ascii, 9, makeOffset},                 // Make
        {272, ascii, 13, modelOffset},               // Model
        {273, longType, 1, dataOffset},              // StripOffsets
        {274, shortType, 1, 1},                      // Orientation
        {277, shortType, 1, 1},                      // SamplesPerPixel
        {278, longType, 1, height},                  // RowsPerStrip
        {279, longType, 1, dataSize},                // StripByteCounts
        {284, shortType, 1, 1},                      // PlanarConfiguration
        {33421, shortType, 2, 2 | 2 << 16},          // CFARepeatPatternDim 2 × 2
        {33422, byte, 4, bytes4(0, 1, 1, 2)},        // CFAPattern RGGB
        {50706, byte, 4, bytes4(1, 4, 0, 0)},        // DNGVersion 1.4
    }};
    QByteArray file(qsizetype(dataOffset + dataSize), '\0');
    char *out = file.data();
    std::memcpy(out, "II*\0", 4);
    qToLittleEndian<quint32>(ifdOffset, out + 4);
    char *ifd = out + ifdOffset;
    qToLittleEndian<quint16>(entryCount, ifd);
    for (int i = 0; i < entryCount; ++i) {
        char *slot = ifd + 2 + i * 12;
        qToLittleEndian<quint16>(entries[size_t(i)].tag, slot);
        qToLittleEndian<quint16>(entries[size_t(i)].type, slot + 2);
        qToLittleEndian<quint32>(entries[size_t(i)].count, slot + 4);
        if (entries[size_t(i)].type == shortType && entries[size_t(i)].count == 1) {
            qToLittleEndian<quint16>(quint16(entries[size_t(i)].value), slot + 8);
        } else {
            qToLittleEndian<quint32>(entries[size_t(i)].value, slot + 8);
        }
    }
    // The next-IFD offset after the entries stays 0.
    std::memcpy(out + makeOffset, names.constData(), size_t(names.size()));
    // A dim, even grey: the samples are never looked at.
    for (quint32 i = 0; i < width * height; ++i) {
        qToLittleEndian<quint16>(quint16(1024 + (i % 7) * 16), out + dataOffset + i * 2);
    }
    return file;
}

} // namespace TinyRaw
