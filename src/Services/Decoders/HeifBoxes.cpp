#include "HeifBoxes.h"

#include <QHash>
#include <QList>

#include <limits>
#include <optional>

namespace HeifBoxes {

namespace {

constexpr quint32 fourCC(const char (&text)[5])
{
    return quint32(quint8(text[0])) << 24 | quint32(quint8(text[1])) << 16 |
           quint32(quint8(text[2])) << 8 | quint32(quint8(text[3]));
}

// More boxes than any real file has at one level; a file claiming more is damaged.
constexpr int maximumBoxesPerLevel = 4096;
constexpr quint32 maximumAssociations = 1 << 16;

// A bounds-checked big-endian reader over one box's payload.
class Cursor
{
public:
    explicit Cursor(QByteArrayView data)
        : m_data(data)
    {
    }

    bool canRead(qint64 count) const { return count >= 0 && m_data.size() - m_at >= count; }
    qint64 position() const { return m_at; }

    std::optional<quint64> read(int bytes)
    {
        if (!canRead(bytes)) {
            return std::nullopt;
        }
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i) {
            value = value << 8 | quint8(m_data[m_at + i]);
        }
        m_at += bytes;
        return value;
    }
    bool skip(qint64 count)
    {
        if (!canRead(count)) {
            return false;
        }
        m_at += count;
        return true;
    }

private:
    QByteArrayView m_data;
    qint64 m_at = 0;
};

struct Box
{
    quint32 type = 0;
    qint64 headerLength = 0;
    qint64 length = 0; // header included
};

// The box starting at `head`, which holds at least its first 16 bytes when the file has them;
// `available` is what is left of the parent (or the file) from the box's start.
std::optional<Box> boxAt(QByteArrayView head, qint64 available)
{
    Cursor cursor(head);
    const std::optional<quint64> size = cursor.read(4);
    const std::optional<quint64> type = cursor.read(4);
    if (!size || !type) {
        return std::nullopt;
    }
    Box box{quint32(*type), 8, qint64(*size)};
    if (*size == 1) {
        const std::optional<quint64> large = cursor.read(8);
        if (!large || *large > quint64(std::numeric_limits<qint64>::max())) {
            return std::nullopt;
        }
        box.headerLength = 16;
        box.length = qint64(*large);
    } else if (*size == 0) {
        box.length = available; // to the end of the parent
    }
    if (box.length < box.headerLength || box.length > available) {
        return std::nullopt;
    }
    return box;
}

// The children of a box held in memory, in order, each as (type, payload).
std::optional<QList<std::pair<quint32, QByteArrayView>>> childrenOf(QByteArrayView payload)
{
    QList<std::pair<quint32, QByteArrayView>> children;
    qint64 at = 0;
    while (at < payload.size()) {
        if (children.size() == maximumBoxesPerLevel) {
            return std::nullopt;
        }
        const std::optional<Box> box = boxAt(payload.sliced(at), payload.size() - at);
        if (!box) {
            return std::nullopt;
        }
        children.append(
            {box->type, payload.sliced(at + box->headerLength, box->length - box->headerLength)});
        at += box->length;
    }
    return children;
}

// Associations of `ipma`: item id → 1-based indices into `ipco`.
std::optional<QHash<quint32, QList<int>>> associations(QByteArrayView payload)
{
    Cursor cursor(payload);
    const std::optional<quint64> version = cursor.read(1);
    const std::optional<quint64> flags = cursor.read(3);
    const std::optional<quint64> count = cursor.read(4);
    if (!version || !flags || !count || *count > maximumAssociations) {
        return std::nullopt;
    }
    QHash<quint32, QList<int>> byItem;
    for (quint64 entry = 0; entry < *count; ++entry) {
        const std::optional<quint64> item = cursor.read(*version < 1 ? 2 : 4);
        const std::optional<quint64> listed = cursor.read(1);
        if (!item || !listed) {
            return std::nullopt;
        }
        QList<int> &indices = byItem[quint32(*item)];
        for (quint64 i = 0; i < *listed; ++i) {
            const bool wide = *flags & 1;
            const std::optional<quint64> value = cursor.read(wide ? 2 : 1);
            if (!value) {
                return std::nullopt;
            }
            indices.append(int(*value & (wide ? 0x7fff : 0x7f)));
        }
    }
    return byItem;
}

bool isSide(quint64 value)
{
    return value > 0 && value <= quint64(maximumSide);
}

// A `clap` width or height: a fraction, rounded to whole pixels as libheif rounds it.
std::optional<quint64> rounded(Cursor &cursor)
{
    const std::optional<quint64> numerator = cursor.read(4);
    const std::optional<quint64> denominator = cursor.read(4);
    if (!numerator || !denominator || *denominator == 0) {
        return std::nullopt;
    }
    return (*numerator + *denominator / 2) / *denominator;
}

using Boxes = QList<std::pair<quint32, QByteArrayView>>;

QSize sizeFromMeta(const Boxes &children)
{
    std::optional<quint32> primary;
    QList<std::pair<quint32, QByteArrayView>> properties;
    QHash<quint32, QList<int>> associated;
    for (const auto &[type, payload] : children) {
        if (type == fourCC("pitm")) {
            Cursor cursor(payload);
            const std::optional<quint64> version = cursor.read(1);
            if (!version || !cursor.skip(3)) {
                return {};
            }
            const std::optional<quint64> id = cursor.read(*version == 0 ? 2 : 4);
            if (!id) {
                return {};
            }
            primary = quint32(*id);
        } else if (type == fourCC("iprp")) {
            const auto iprp = childrenOf(payload);
            if (!iprp) {
                return {};
            }
            for (const auto &[childType, childPayload] : *iprp) {
                if (childType == fourCC("ipco")) {
                    const auto container = childrenOf(childPayload);
                    if (!container) {
                        return {};
                    }
                    properties = *container;
                } else if (childType == fourCC("ipma")) {
                    // Several ipma boxes may exist (one per version); their entries add up.
                    const auto more = associations(childPayload);
                    if (!more) {
                        return {};
                    }
                    for (auto it = more->cbegin(); it != more->cend(); ++it) {
                        associated[it.key()] += it.value();
                    }
                }
            }
        }
    }
    if (!primary || !associated.contains(*primary)) {
        return {};
    }
    // The properties apply in the order `ipma` lists them, as libheif reads them: `ispe` sets
    // the size, a crop (`clap`) replaces it, a quarter turn (`irot`) swaps it. libheif 1.15
    // writes a turned photo's `ispe` after its `irot`, holding the size already turned; a turn
    // listed before any size has nothing to swap, so that `ispe` is taken as it stands, and
    // the size comes out as the decoded picture's.
    std::optional<QSize> size;
    bool sizeRead = false;
    for (const int index : associated.value(*primary)) {
        if (index < 1 || index > properties.size()) {
            continue; // 0 means "no property"; beyond the list is damage we can live with
        }
        const auto &[type, payload] = properties[index - 1];
        Cursor cursor(payload);
        if (type == fourCC("ispe") && !sizeRead) {
            if (!cursor.skip(4)) {
                return {};
            }
            const std::optional<quint64> width = cursor.read(4);
            const std::optional<quint64> height = cursor.read(4);
            if (!width || !height || !isSide(*width) || !isSide(*height)) {
                return {};
            }
            size = QSize(int(*width), int(*height));
            sizeRead = true;
        } else if (type == fourCC("clap")) {
            const std::optional<quint64> width = rounded(cursor);
            const std::optional<quint64> height = rounded(cursor);
            if (!width || !height || !isSide(*width) || !isSide(*height)) {
                return {};
            }
            size = QSize(int(*width), int(*height));
        } else if (type == fourCC("irot") && size) {
            const std::optional<quint64> angle = cursor.read(1);
            if (angle && *angle & 1) {
                size = size->transposed();
            }
        }
    }
    if (!sizeRead || !size) {
        return {};
    }
    return *size;
}

// Where an item's bytes lie: in the file, or in the `meta` box's `idat`.
struct Place
{
    bool inItemData = false;
    quint64 offset = 0;
    quint64 length = 0;
};

// The metadata items `iinf` lists: the first of type `Exif`, and the first XMP packet.
struct MetadataItems
{
    std::optional<quint32> exif;
    std::optional<quint32> xmp;
};

// The text at the cursor up to its NUL, which is passed; a text the box cuts short ends there.
QByteArrayView terminatedText(QByteArrayView payload, Cursor &cursor)
{
    const QByteArrayView rest = payload.sliced(cursor.position());
    const qsizetype nul = rest.indexOf('\0');
    const QByteArrayView text = nul < 0 ? rest : rest.first(nul);
    cursor.skip(nul < 0 ? rest.size() : nul + 1);
    return text;
}

MetadataItems metadataItems(QByteArrayView iinf)
{
    MetadataItems items;
    Cursor cursor(iinf);
    const std::optional<quint64> version = cursor.read(1);
    if (!version || !cursor.skip(3) || !cursor.read(*version == 0 ? 2 : 4)) {
        return items;
    }
    const auto entries = childrenOf(iinf.sliced(cursor.position()));
    if (!entries) {
        return items;
    }
    for (const auto &[type, payload] : *entries) {
        if (type != fourCC("infe")) {
            continue;
        }
        // Versions 0 and 1 name no item type; 2 and 3 do, after the item id and protection.
        Cursor entry(payload);
        const std::optional<quint64> entryVersion = entry.read(1);
        if (!entryVersion || *entryVersion < 2 || !entry.skip(3)) {
            continue;
        }
        const std::optional<quint64> id = entry.read(*entryVersion == 2 ? 2 : 4);
        const std::optional<quint64> protection = entry.read(2);
        const std::optional<quint64> itemType = entry.read(4);
        if (!id || !protection || !itemType) {
            continue;
        }
        if (*itemType == fourCC("Exif") && !items.exif) {
            items.exif = quint32(*id);
        } else if (*itemType == fourCC("mime") && !items.xmp && *protection == 0) {
            // The item's name, its content type, and a content encoding when it is compressed,
            // which a packet read as it lies cannot be.
            terminatedText(payload, entry);
            const QByteArrayView contentType = terminatedText(payload, entry);
            const QByteArrayView encoding = terminatedText(payload, entry);
            if (contentType == "application/rdf+xml" && encoding.isEmpty()) {
                items.xmp = quint32(*id);
            }
        }
    }
    return items;
}

// Where `item` lies, as `iloc` says; only a single extent in this file or in `idat` is taken.
std::optional<Place> placeOf(QByteArrayView iloc, quint32 item)
{
    Cursor cursor(iloc);
    const std::optional<quint64> version = cursor.read(1);
    const std::optional<quint64> sizes = cursor.skip(3) ? cursor.read(2) : std::nullopt;
    if (!version || *version > 2 || !sizes) {
        return std::nullopt;
    }
    const int offsetSize = int(*sizes >> 12 & 15);
    const int lengthSize = int(*sizes >> 8 & 15);
    const int baseOffsetSize = int(*sizes >> 4 & 15);
    const int indexSize = *version >= 1 ? int(*sizes & 15) : 0;
    const auto valid = [](int size) { return size == 0 || size == 4 || size == 8; };
    if (!valid(offsetSize) || !valid(lengthSize) || !valid(baseOffsetSize) || !valid(indexSize)) {
        return std::nullopt;
    }
    const auto field = [&cursor](int size) -> std::optional<quint64> {
        return size == 0 ? std::optional<quint64>(0) : cursor.read(size);
    };
    const std::optional<quint64> count = cursor.read(*version < 2 ? 2 : 4);
    if (!count) {
        return std::nullopt;
    }
    // Each item takes at least six bytes, but an extent may take none: the extents walked are
    // counted, so a few bytes cannot claim billions of them.
    qint64 extentsLeft = maximumAssociations;
    for (quint64 i = 0; i < *count; ++i) {
        const std::optional<quint64> id = cursor.read(*version < 2 ? 2 : 4);
        std::optional<quint64> method = 0;
        if (*version >= 1) {
            method = cursor.read(2);
        }
        const std::optional<quint64> reference = cursor.read(2);
        const std::optional<quint64> base = field(baseOffsetSize);
        const std::optional<quint64> extents = cursor.read(2);
        if (!id || !method || !reference || !base || !extents) {
            return std::nullopt;
        }
        extentsLeft -= qint64(*extents);
        if (extentsLeft < 0) {
            return std::nullopt;
        }
        std::optional<Place> place;
        for (quint64 e = 0; e < *extents; ++e) {
            const std::optional<quint64> index = field(indexSize);
            const std::optional<quint64> offset = field(offsetSize);
            const std::optional<quint64> length = field(lengthSize);
            if (!index || !offset || !length ||
                *offset > std::numeric_limits<quint64>::max() - *base) {
                return std::nullopt;
            }
            place = Place{(*method & 15) == 1, *base + *offset, *length};
        }
        if (*id == item) {
            // Another file, an item built from other items, pieces to join, a length "to the
            // end": none of them is how anyone stores an Exif block or an XMP packet.
            if (*reference != 0 || (*method & 15) > 1 || *extents != 1 || place->length == 0) {
                return std::nullopt;
            }
            return place;
        }
    }
    return std::nullopt;
}

QByteArrayView itemData(const Boxes &children)
{
    for (const auto &[type, payload] : children) {
        if (type == fourCC("idat")) {
            return payload;
        }
    }
    return {};
}

enum class Items { none, exif, xmp, both };

// The first `length` bytes of an item `place` puts within the file or `idat`; empty when it lies
// outside them.
QByteArray itemBytes(const Place &place,
                     qint64 length,
                     const Boxes &children,
                     qint64 fileLength,
                     const ReadAt &readAt)
{
    if (place.inItemData) {
        const QByteArrayView data = itemData(children);
        if (place.offset < quint64(data.size()) &&
            place.length <= quint64(data.size()) - place.offset) {
            return data.sliced(qint64(place.offset), length).toByteArray();
        }
    } else if (place.offset < quint64(fileLength) &&
               place.length <= quint64(fileLength) - place.offset) {
        return readAt(qint64(place.offset), length);
    }
    return {};
}

Header read(qint64 fileLength, const ReadAt &readAt, Items wanted)
{
    qint64 at = 0;
    for (int index = 0; index < maximumBoxesPerLevel && at < fileLength; ++index) {
        const QByteArray head = readAt(at, 16);
        const std::optional<Box> box = boxAt(head, fileLength - at);
        if (!box || (index == 0 && box->type != fourCC("ftyp"))) {
            return {};
        }
        if (box->type == fourCC("meta")) {
            if (box->length > maximumMetaLength) {
                return {};
            }
            const QByteArray meta = readAt(at + box->headerLength, box->length - box->headerLength);
            // `meta` is a full box: version and flags come first.
            if (meta.size() != box->length - box->headerLength || meta.size() < 4) {
                return {};
            }
            const auto children = childrenOf(QByteArrayView(meta).sliced(4));
            if (!children) {
                return {};
            }
            Header header;
            header.uprightSize = sizeFromMeta(*children);
            if (wanted == Items::none) {
                return header;
            }
            QByteArrayView iinf;
            QByteArrayView iloc;
            for (const auto &[type, payload] : *children) {
                if (type == fourCC("iinf")) {
                    iinf = payload;
                } else if (type == fourCC("iloc")) {
                    iloc = payload;
                }
            }
            if (iinf.isNull() || iloc.isNull()) {
                return header;
            }
            const MetadataItems items = metadataItems(iinf);
            if (wanted != Items::xmp && items.exif) {
                if (const std::optional<Place> exif = placeOf(iloc, *items.exif)) {
                    const qint64 length =
                        qint64(std::min<quint64>(exif->length, maximumExifLength));
                    header.exif = itemBytes(*exif, length, *children, fileLength, readAt);
                }
            }
            if (wanted != Items::exif && items.xmp) {
                const std::optional<Place> xmp = placeOf(iloc, *items.xmp);
                if (xmp && xmp->length <= quint64(maximumXmpLength)) {
                    header.xmp =
                        itemBytes(*xmp, qint64(xmp->length), *children, fileLength, readAt);
                    if (header.xmp.size() != qint64(xmp->length)) {
                        header.xmp.clear(); // a read that failed part way
                    }
                }
            }
            return header;
        }
        at += box->length;
    }
    return {};
}

ReadAt reader(QByteArrayView file)
{
    return [file](qint64 offset, qint64 length) {
        if (offset < 0 || offset >= file.size() || length < 0) {
            return QByteArray();
        }
        return file.sliced(offset, std::min(length, file.size() - offset)).toByteArray();
    };
}

} // namespace

QSize uprightSize(qint64 fileLength, const ReadAt &readAt)
{
    return read(fileLength, readAt, Items::none).uprightSize;
}

QSize uprightSize(QByteArrayView file)
{
    return uprightSize(file.size(), reader(file));
}

Header readHeader(qint64 fileLength, const ReadAt &readAt)
{
    return read(fileLength, readAt, Items::both);
}

Header readHeader(QByteArrayView file)
{
    return readHeader(file.size(), reader(file));
}

QByteArray readXmp(qint64 fileLength, const ReadAt &readAt)
{
    return read(fileLength, readAt, Items::xmp).xmp;
}

} // namespace HeifBoxes
