#include "MotionPhoto.h"

#include <QList>
#include <QXmlStreamReader>

#include <algorithm>
#include <limits>

namespace MotionPhoto {

namespace {

// More items than any phone lays after a picture (the video, a gain map, a depth map…).
constexpr int maximumItems = 64;
// Segments and fill bytes walked before the image data; real JPEGs have a few dozen.
constexpr int maximumJpegSteps = 1024;
// Real packets nest a dozen elements deep, and their values are a few characters long.
constexpr int maximumDepth = 64;
constexpr qsizetype maximumValueLength = 64;
// Real packets declare a few dozen namespaces. The reader's cost grows with the square of the
// declarations in one element, and every name is looked up among those in force: a packet
// with more is refused before it is read.
constexpr qsizetype maximumDeclarations = 256;
// Shorter than a box header: not a video.
constexpr qint64 minimumVideoLength = 8;

constexpr QByteArrayView xmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);

enum class Space { other, rdf, camera, container, item };

Space spaceOfUri(QStringView uri)
{
    if (uri == u"http://www.w3.org/1999/02/22-rdf-syntax-ns#") {
        return Space::rdf;
    }
    if (uri == u"http://ns.google.com/photos/1.0/camera/") {
        return Space::camera;
    }
    if (uri == u"http://ns.google.com/photos/1.0/container/") {
        return Space::container;
    }
    if (uri == u"http://ns.google.com/photos/1.0/container/item/") {
        return Space::item;
    }
    return Space::other;
}

// For packets that use a prefix without declaring it: the prefixes phones and the formats'
// own examples write.
Space spaceOfPrefix(QStringView prefix)
{
    if (prefix == u"rdf") {
        return Space::rdf;
    }
    if (prefix == u"GCamera" || prefix == u"Camera") {
        return Space::camera;
    }
    if (prefix == u"Container" || prefix == u"GContainer") {
        return Space::container;
    }
    if (prefix == u"Item" || prefix == u"GContainerItem") {
        return Space::item;
    }
    return Space::other;
}

struct Name
{
    Space space = Space::other;
    QStringView local;
};

// The namespaces the open elements bind to prefixes, innermost last. The packet is read
// without the reader's own namespace processing, which stops at the first prefix used without
// being declared, as some writers do: such a prefix is taken for the namespace it commonly
// names.
class Prefixes
{
public:
    // Takes the declarations among the attributes of an element.
    void open(int depth, const QXmlStreamAttributes &attributes)
    {
        for (const QXmlStreamAttribute &attribute : attributes) {
            const QStringView name = attribute.qualifiedName();
            if (name != u"xmlns" && !name.startsWith(u"xmlns:")) {
                continue;
            }
            const QStringView prefix = name == u"xmlns" ? QStringView() : name.sliced(6);
            m_bindings.append({depth, prefix.toString(), spaceOfUri(attribute.value())});
        }
    }
    void close(int depth)
    {
        while (!m_bindings.isEmpty() && m_bindings.last().depth >= depth) {
            m_bindings.removeLast();
        }
    }
    // An element without a prefix is in the default namespace; an attribute, in none.
    Name element(QStringView qualified) const { return resolve(qualified, true); }
    Name attribute(QStringView qualified) const { return resolve(qualified, false); }

private:
    struct Binding
    {
        int depth = 0;
        QString prefix; // empty for the default namespace
        Space space = Space::other;
    };

    Name resolve(QStringView qualified, bool inDefault) const
    {
        const qsizetype colon = qualified.indexOf(u':');
        const QStringView prefix = colon < 0 ? QStringView() : qualified.first(colon);
        const QStringView local = qualified.sliced(colon + 1);
        if (prefix.isEmpty() && !inDefault) {
            return {Space::other, local};
        }
        for (auto binding = m_bindings.crbegin(); binding != m_bindings.crend(); ++binding) {
            if (binding->prefix == prefix) {
                return {binding->space, local};
            }
        }
        return {prefix.isEmpty() ? Space::other : spaceOfPrefix(prefix), local};
    }

    QList<Binding> m_bindings;
};

// A byte count: decimal digits only, no sign, and small enough for 63 bits.
std::optional<qint64> count(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        const int digit = c.unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

struct Item
{
    bool video = false;
    std::optional<qint64> length;
    qint64 padding = 0;
    bool damaged = false; // a value that is not a byte count
};

// What the packet says, collected as it is read.
struct Declaration
{
    std::optional<bool> motionPhoto; // Camera:MotionPhoto, when present: 1, or anything else
    bool microVideo = false;
    std::optional<qint64> microVideoOffset;
    QList<Item> items;
    bool directoryRead = false; // to its end, with no more than maximumItems items
    // A document type declaration, more items than that, or elements nested deeper than
    // maximumDepth.
    bool damaged = false;
};

void takeCameraValue(Declaration &declaration, QStringView local, QStringView value)
{
    if (local == u"MotionPhoto") {
        declaration.motionPhoto = value.trimmed() == u"1";
    } else if (local == u"MicroVideo") {
        declaration.microVideo = value.trimmed() == u"1";
    } else if (local == u"MicroVideoOffset") {
        declaration.microVideoOffset = count(value);
    }
}

void takeItemValue(Item &item, QStringView local, QStringView value)
{
    if (local == u"Semantic") {
        item.video = value.trimmed() == u"MotionPhoto";
    } else if (local == u"Length") {
        item.length = count(value);
        item.damaged |= !item.length;
    } else if (local == u"Padding") {
        const std::optional<qint64> padding = count(value);
        item.padding = padding.value_or(0);
        item.damaged |= !padding;
    }
}

// Reads the packet once. Values may be attributes of any element or the text of their own
// elements; each item of the directory is one `rdf:li` of its sequence, whatever lies within.
// What came before a fault in the XML counts: packets often end in padding or junk.
Declaration readPacket(QByteArrayView xmp)
{
    QXmlStreamReader reader(QByteArray::fromRawData(xmp.data(), xmp.size()));
    reader.setNamespaceProcessing(false);
    Declaration declaration;
    Prefixes prefixes;
    int depth = 0;
    int directoryDepth = -1; // of the open Container:Directory
    int itemDepth = -1;      // of the open item's rdf:li
    int valueDepth = -1;     // of the open element whose text is a value
    Space valueSpace = Space::other;
    QString valueName;           // kept: the reader's own views of names last one token
    std::optional<QString> text; // nothing once longer than any value
    const auto take = [&](Space space, QStringView local, QStringView taken) {
        if (space == Space::camera) {
            takeCameraValue(declaration, local, taken);
        } else if (space == Space::item && itemDepth >= 0) {
            takeItemValue(declaration.items.last(), local, taken);
        }
    };
    while (!reader.atEnd() && !declaration.damaged) {
        switch (reader.readNext()) {
        case QXmlStreamReader::Invalid:
            return declaration;
        case QXmlStreamReader::DTD:
            // No XMP packet has one; its entities could make a small packet expand into
            // gigabytes of text.
            declaration.damaged = true;
            break;
        case QXmlStreamReader::Characters:
            if (depth == valueDepth && text) {
                *text += reader.text();
                if (text->size() > maximumValueLength) {
                    text.reset();
                }
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == valueDepth) {
                // Text too long for any value reads as none, which no value accepts.
                take(valueSpace, valueName, text.value_or(QString()));
                valueDepth = -1;
            } else if (depth == itemDepth) {
                itemDepth = -1;
            } else if (depth == directoryDepth) {
                directoryDepth = -1;
                declaration.directoryRead = true;
            }
            prefixes.close(depth);
            --depth;
            break;
        case QXmlStreamReader::StartElement: {
            if (++depth > maximumDepth) {
                declaration.damaged = true;
                break;
            }
            const QXmlStreamAttributes attributes = reader.attributes();
            prefixes.open(depth, attributes);
            const Name element = prefixes.element(reader.qualifiedName());
            if (directoryDepth >= 0 && itemDepth < 0 && element.space == Space::rdf &&
                element.local == u"li") {
                if (declaration.items.size() == maximumItems) {
                    declaration.damaged = true;
                    break;
                }
                declaration.items.append(Item());
                itemDepth = depth;
            } else if (directoryDepth < 0 && !declaration.directoryRead &&
                       element.space == Space::container && element.local == u"Directory") {
                directoryDepth = depth;
            }
            for (const QXmlStreamAttribute &attribute : attributes) {
                const Name name = prefixes.attribute(attribute.qualifiedName());
                take(name.space, name.local, attribute.value());
            }
            if (valueDepth < 0 &&
                (element.space == Space::camera || element.space == Space::item)) {
                valueDepth = depth;
                valueSpace = element.space;
                valueName = element.local.toString();
                text = QString();
            }
            break;
        }
        default:
            break;
        }
    }
    return declaration;
}

std::optional<Video> checked(qint64 offset, qint64 length, qint64 fileLength)
{
    // The photo comes first, so a video cannot start at the file's first byte.
    if (length < minimumVideoLength || offset <= 0 || offset > fileLength - length) {
        return std::nullopt;
    }
    return Video{offset, length};
}

// The items after the primary lie end to end at the file's end, each followed by its padding:
// the video starts where its own bytes and those of every later item, from the end, begin.
std::optional<Video> fromDirectory(const Declaration &declaration, qint64 fileLength)
{
    const QList<Item> &items = declaration.items;
    const auto video = std::ranges::find(items, true, &Item::video);
    // The first item is the primary picture, whose length the directory does not give.
    if (!declaration.directoryRead || video == items.cend() || video == items.cbegin()) {
        return std::nullopt;
    }
    qint64 fromEnd = 0;
    for (auto item = video; item != items.cend(); ++item) {
        // Each term is checked against what is left of the file before it is added: a sum
        // of several absurd lengths must not wrap around into a plausible one.
        if (item->damaged || !item->length || *item->length > fileLength - fromEnd) {
            return std::nullopt;
        }
        fromEnd += *item->length;
        if (item->padding > fileLength - fromEnd) {
            return std::nullopt;
        }
        fromEnd += item->padding;
    }
    return checked(fileLength - fromEnd, *video->length, fileLength);
}

// Where the APP1 segment with the XMP packet lies in a JPEG of fileLength bytes, read through
// `read`: the packet's offset and length.
std::optional<std::pair<qint64, qint64>> xmpSegment(qint64 fileLength,
                                                    const HeifBoxes::ReadAt &read)
{
    if (read(0, 2) != QByteArrayView("\xFF\xD8", 2)) {
        return std::nullopt;
    }
    qint64 at = 2;
    for (int step = 0; step < maximumJpegSteps; ++step) {
        const QByteArray marker = read(at, 4);
        if (marker.size() < 2 || quint8(marker[0]) != 0xFF) {
            return std::nullopt;
        }
        const quint8 code = quint8(marker[1]);
        if (code == 0xFF) {
            ++at; // a fill byte before the marker
            continue;
        }
        if (code == 0xDA || code == 0xD9) {
            return std::nullopt; // image data begins: no XMP came before it
        }
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            at += 2; // markers without a length
            continue;
        }
        if (marker.size() < 4) {
            return std::nullopt;
        }
        const qint64 length = qint64(quint8(marker[2])) << 8 | quint8(marker[3]);
        if (length < 2 || length > fileLength - at - 2) {
            return std::nullopt;
        }
        const qint64 payloadLength = length - 2;
        if (code == 0xE1 && payloadLength >= xmpSignature.size() &&
            read(at + 4, xmpSignature.size()) == xmpSignature) {
            return std::pair(at + 4 + xmpSignature.size(), payloadLength - xmpSignature.size());
        }
        at += 2 + length;
    }
    return std::nullopt;
}

// Reads from `head`, the file's first bytes, where it holds them all, and through `readAt`
// beyond.
HeifBoxes::ReadAt headFirst(QByteArrayView head, const HeifBoxes::ReadAt &readAt)
{
    return [head, readAt](qint64 offset, qint64 length) {
        if (offset >= 0 && length >= 0 && offset <= head.size() && length <= head.size() - offset) {
            return head.sliced(offset, length).toByteArray();
        }
        return readAt ? readAt(offset, length) : QByteArray();
    };
}

bool startsWithFileType(const Video &video, const HeifBoxes::ReadAt &readAt)
{
    const QByteArray header = readAt(video.offset, 8);
    if (header.size() != 8 || header.sliced(4) != "ftyp") {
        return false;
    }
    const quint32 size = quint32(quint8(header[0])) << 24 | quint32(quint8(header[1])) << 16 |
                         quint32(quint8(header[2])) << 8 | quint32(quint8(header[3]));
    // 0 runs to the end, 1 takes a 64-bit size; any other must fit the video.
    return size <= 1 || (size >= 8 && size <= video.length);
}

} // namespace

std::optional<Video> declaredVideo(QByteArrayView xmp, qint64 fileLength)
{
    if (xmp.isEmpty() || xmp.size() > HeifBoxes::maximumXmpLength || fileLength <= 0 ||
        xmp.count("xmlns") > maximumDeclarations) {
        return std::nullopt;
    }
    const Declaration declaration = readPacket(xmp);
    // MotionPhoto other than 1 marks a still photo, whatever else the packet still says; a
    // directory naming a video item is believed without it.
    if (declaration.damaged || declaration.motionPhoto == false) {
        return std::nullopt;
    }
    if (const std::optional<Video> video = fromDirectory(declaration, fileLength)) {
        return video;
    }
    if (declaration.microVideo && declaration.microVideoOffset &&
        *declaration.microVideoOffset <= fileLength) {
        return checked(fileLength - *declaration.microVideoOffset, *declaration.microVideoOffset,
                       fileLength);
    }
    return std::nullopt;
}

QByteArrayView jpegXmp(QByteArrayView head)
{
    const auto segment = xmpSegment(head.size(), headFirst(head, {}));
    return segment ? head.sliced(segment->first, segment->second) : QByteArrayView();
}

std::optional<Video> locate(QByteArrayView head, qint64 fileLength, const HeifBoxes::ReadAt &readAt)
{
    if (fileLength <= 0) {
        return std::nullopt;
    }
    const HeifBoxes::ReadAt read = headFirst(head, readAt);
    const QByteArray start = read(0, 8);
    QByteArray xmp;
    if (start.startsWith("\xFF\xD8")) {
        if (const auto segment = xmpSegment(fileLength, read)) {
            xmp = read(segment->first, segment->second);
            if (xmp.size() != segment->second) {
                return std::nullopt;
            }
        }
    } else if (start.size() == 8 && start.sliced(4) == "ftyp") {
        xmp = HeifBoxes::readXmp(fileLength, read);
    }
    const std::optional<Video> video = declaredVideo(xmp, fileLength);
    if (!video || !startsWithFileType(*video, read)) {
        return std::nullopt;
    }
    return video;
}

} // namespace MotionPhoto
