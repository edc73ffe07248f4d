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

QSize sizeFromMeta(QByteArrayView meta)
{
    // `meta` is a full box: version and flags come first.
    if (meta.size() < 4) {
        return {};
    }
    const auto children = childrenOf(meta.sliced(4));
    if (!children) {
        return {};
    }
    std::optional<quint32> primary;
    QList<std::pair<quint32, QByteArrayView>> properties;
    QHash<quint32, QList<int>> associated;
    for (const auto &[type, payload] : *children) {
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

} // namespace

QSize uprightSize(qint64 fileLength, const ReadAt &readAt)
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
            if (meta.size() != box->length - box->headerLength) {
                return {};
            }
            return sizeFromMeta(meta);
        }
        at += box->length;
    }
    return {};
}

QSize uprightSize(QByteArrayView file)
{
    return uprightSize(file.size(), [file](qint64 offset, qint64 length) {
        if (offset < 0 || offset >= file.size() || length < 0) {
            return QByteArray();
        }
        return file.sliced(offset, std::min(length, file.size() - offset)).toByteArray();
    });
}

} // namespace HeifBoxes
