#pragma once

// Assembles a TIFF structure as an EXIF block holds it, entry by entry, in either byte order:
// the camera metadata of sample photos, and the damaged structures the parsers' tests feed them.
// It writes exactly what it is told (an entry count that lies, a pointer back to an earlier
// directory, an offset past the end), so it checks nothing.
// Layout: the 8-byte header, then each directory in the order added, each followed by the
// values too long to sit in its entries.

#include <QByteArray>
#include <QList>

#include <optional>

class TiffBuilder
{
public:
    // TIFF field types.
    enum Type : quint16 {
        byte = 1,
        ascii = 2,
        shortType = 3,
        longType = 4,
        rational = 5,
        undefined = 7,
        signedLong = 9,
        signedRational = 10,
    };

    explicit TiffBuilder(bool littleEndian = true);

    // A new, empty directory; the first one added is IFD0. Returns its index.
    int addIfd();

    // `text` and a terminating NUL (none when `terminated` is false).
    void addAscii(int ifd, quint16 tag, QByteArrayView text, bool terminated = true);
    void addShort(int ifd, quint16 tag, quint16 value);
    void addLong(int ifd, quint16 tag, quint32 value);
    void addRational(int ifd, quint16 tag, quint32 numerator, quint32 denominator);
    void addSignedRational(int ifd, quint16 tag, qint32 numerator, qint32 denominator);
    // A LONG holding the offset of directory `target` (the Exif IFD pointer, 0x8769).
    void addPointer(int ifd, quint16 tag, int target);
    // An entry whose value bytes are given as stored (in the builder's byte order); they go
    // into the entry when they fit in four bytes, after the directory otherwise.
    void addRaw(int ifd, quint16 tag, quint16 type, quint32 count, const QByteArray &value);
    // An entry whose value field holds `offset` as it stands, whatever the count says.
    void addRawOffset(int ifd, quint16 tag, quint16 type, quint32 count, quint32 offset);

    // The directory that follows `ifd` in the chain (IFD0's is IFD1); none by default.
    void setNext(int ifd, int next);
    // The entry count written for `ifd`, instead of the number of entries it holds.
    void setDeclaredCount(int ifd, quint16 count);

    // `value` in the builder's byte order, for addRaw.
    QByteArray number(quint64 value, int bytes) const;
    // Where directory `ifd` starts in bytes().
    quint32 offsetOf(int ifd) const;
    QByteArray bytes() const;

private:
    struct Entry
    {
        quint16 tag = 0;
        quint16 type = 0;
        quint32 count = 0;
        QByteArray value;               // as stored
        std::optional<int> pointsTo;    // a directory's offset, known once laid out
        std::optional<quint32> rawField; // the value field as given
    };
    struct Ifd
    {
        QList<Entry> entries;
        std::optional<int> next;
        std::optional<quint16> declaredCount;
    };

    qint64 outOfLineLength(const Ifd &ifd) const;

    bool m_littleEndian;
    QList<Ifd> m_ifds;
};
