#include "TiffBuilder.h"

TiffBuilder::TiffBuilder(bool littleEndian)
    : m_littleEndian(littleEndian)
{
}

int TiffBuilder::addIfd()
{
    m_ifds.append(Ifd{});
    return int(m_ifds.size()) - 1;
}

QByteArray TiffBuilder::number(quint64 value, int bytes) const
{
    QByteArray out(bytes, '\0');
    for (int i = 0; i < bytes; ++i) {
        out[m_littleEndian ? i : bytes - 1 - i] = char(value >> (8 * i) & 0xff);
    }
    return out;
}

void TiffBuilder::addAscii(int ifd, quint16 tag, QByteArrayView text, bool terminated)
{
    QByteArray value = text.toByteArray();
    if (terminated) {
        value.append('\0');
    }
    addRaw(ifd, tag, ascii, quint32(value.size()), value);
}

void TiffBuilder::addShort(int ifd, quint16 tag, quint16 value)
{
    addRaw(ifd, tag, shortType, 1, number(value, 2));
}

void TiffBuilder::addLong(int ifd, quint16 tag, quint32 value)
{
    addRaw(ifd, tag, longType, 1, number(value, 4));
}

void TiffBuilder::addRational(int ifd, quint16 tag, quint32 numerator, quint32 denominator)
{
    addRaw(ifd, tag, rational, 1, number(numerator, 4) + number(denominator, 4));
}

void TiffBuilder::addSignedRational(int ifd, quint16 tag, qint32 numerator, qint32 denominator)
{
    addRaw(ifd, tag, signedRational, 1,
           number(quint32(numerator), 4) + number(quint32(denominator), 4));
}

void TiffBuilder::addPointer(int ifd, quint16 tag, int target)
{
    m_ifds[ifd].entries.append(Entry{tag, longType, 1, {}, target, {}});
}

void TiffBuilder::addRaw(int ifd, quint16 tag, quint16 type, quint32 count, const QByteArray &value)
{
    m_ifds[ifd].entries.append(Entry{tag, type, count, value, {}, {}});
}

void TiffBuilder::addRawOffset(int ifd, quint16 tag, quint16 type, quint32 count, quint32 offset)
{
    m_ifds[ifd].entries.append(Entry{tag, type, count, {}, {}, offset});
}

void TiffBuilder::setNext(int ifd, int next)
{
    m_ifds[ifd].next = next;
}

void TiffBuilder::setDeclaredCount(int ifd, quint16 count)
{
    m_ifds[ifd].declaredCount = count;
}

qint64 TiffBuilder::outOfLineLength(const Ifd &ifd) const
{
    qint64 length = 0;
    for (const Entry &entry : ifd.entries) {
        if (entry.value.size() > 4) {
            length += entry.value.size() + entry.value.size() % 2; // values start on a word
        }
    }
    return length;
}

quint32 TiffBuilder::offsetOf(int ifd) const
{
    qint64 at = 8;
    for (int i = 0; i < ifd; ++i) {
        at += 2 + 12 * m_ifds[i].entries.size() + 4 + outOfLineLength(m_ifds[i]);
    }
    return quint32(at);
}

QByteArray TiffBuilder::bytes() const
{
    QByteArray out = QByteArray(m_littleEndian ? "II" : "MM") + number(42, 2)
                     + number(m_ifds.isEmpty() ? 0 : 8, 4);
    for (int i = 0; i < m_ifds.size(); ++i) {
        const Ifd &ifd = m_ifds[i];
        const qint64 start = out.size();
        qint64 data = start + 2 + 12 * ifd.entries.size() + 4;
        QByteArray values;
        out += number(ifd.declaredCount.value_or(quint16(ifd.entries.size())), 2);
        for (const Entry &entry : ifd.entries) {
            out += number(entry.tag, 2) + number(entry.type, 2) + number(entry.count, 4);
            if (entry.pointsTo) {
                out += number(offsetOf(*entry.pointsTo), 4);
            } else if (entry.rawField) {
                out += number(*entry.rawField, 4);
            } else if (entry.value.size() <= 4) {
                out += entry.value + QByteArray(4 - entry.value.size(), '\0');
            } else {
                out += number(quint64(data + values.size()), 4);
                values += entry.value;
                if (entry.value.size() % 2) {
                    values += '\0';
                }
            }
        }
        out += number(ifd.next ? offsetOf(*ifd.next) : 0, 4);
        out += values;
    }
    return out;
}
