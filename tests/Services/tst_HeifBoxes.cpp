#include "Services/Decoders/HeifBoxes.h"
#include "support/FuzzCorpus.h"
#include "support/HeifWriter.h"

#include <QTest>

// The box reader against files assembled here box by box: property orders, box size forms,
// and damaged or hostile structures, which must give an empty size without a crash.
class tst_HeifBoxes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sizes_data();
    void sizes();
    void truncatedAnywhere();
    void metaAfterMediaDataIsFound();
    void xmpItem_data();
    void xmpItem();
};

using namespace HeifWriter;

namespace {

QByteArray ftyp(const char *brand = "heic")
{
    return box("ftyp", QByteArray(brand, 4) + bigEndian(0, 4) + QByteArray("mif1") + QByteArray(brand, 4));
}

QByteArray ispe(quint32 width, quint32 height)
{
    return fullBox("ispe", 0, 0, bigEndian(width, 4) + bigEndian(height, 4));
}

QByteArray clap(quint32 width, quint32 widthDenominator, quint32 height, quint32 heightDenominator)
{
    return box("clap", bigEndian(width, 4) + bigEndian(widthDenominator, 4) + bigEndian(height, 4) + bigEndian(heightDenominator, 4)
                           + bigEndian(0, 4) + bigEndian(1, 4) + bigEndian(0, 4) + bigEndian(1, 4));
}

QByteArray irot(int quarterTurns)
{
    return box("irot", bigEndian(quint64(quarterTurns), 1));
}

// A file whose primary item 1 has the properties `associated` (1-based indices into
// `properties`); item 2 (a thumbnail, say) has the last property only. `items` (`iinf` and
// `iloc`) go into `meta` too.
QByteArray heif(const QList<QByteArray> &properties,
                const QList<int> &associated,
                int ipmaVersion = 0,
                int ipmaFlags = 0,
                const QByteArray &items = {})
{
    QByteArray ipco;
    for (const QByteArray &property : properties) {
        ipco += property;
    }
    const auto index = [&](int value) {
        return ipmaFlags & 1 ? bigEndian(quint64(value), 2) : bigEndian(quint64(value), 1);
    };
    const int idBytes = ipmaVersion < 1 ? 2 : 4;
    QByteArray entries = bigEndian(2, 4);
    entries += bigEndian(1, idBytes) + bigEndian(quint64(associated.size()), 1);
    for (const int value : associated) {
        entries += index(value);
    }
    entries += bigEndian(2, idBytes) + bigEndian(1, 1) + index(int(properties.size()));
    const QByteArray meta = fullBox(
        "meta", 0, 0,
        fullBox("hdlr", 0, 0,
                bigEndian(0, 4) + QByteArray("pict") + bigEndian(0, 12) + QByteArray(1, '\0')) +
            fullBox("pitm", 0, 0, bigEndian(1, 2)) + items +
            box("iprp", box("ipco", ipco) + fullBox("ipma", ipmaVersion, ipmaFlags, entries))
            // Bytes after the last property box, so a box read past its parent reads
            // something rather than nothing.
            + box("free", QByteArray(16, '\0')));
    return ftyp() + meta + box("mdat", QByteArray(64, 'x'));
}

QByteArray replaced(QByteArray file, const char *type, const QByteArray &sizeField)
{
    const qsizetype at = file.indexOf(QByteArray(type, 4));
    file.replace(at - 4, 4, sizeField);
    return file;
}

// `file` with the box `type` claiming `extra` bytes more than it has.
QByteArray grown(QByteArray file, const char *type, int extra)
{
    const qsizetype at = file.indexOf(QByteArray(type, 4)) - 4;
    const quint64 length = file.mid(at, 4).toHex().toULongLong(nullptr, 16);
    file.replace(at, 4, bigEndian(length + quint64(extra), 4));
    return file;
}

// A file with `xmp` at its end as item 3 of type `mime`, whose entry ends with `names` (item name,
// content type, content encoding), and which `iloc` says is `length` bytes long.
QByteArray withXmpItem(const QByteArray &xmp, const QByteArray &names, qint64 length)
{
    const QByteArray infe =
        fullBox("infe", 2, 0, bigEndian(3, 2) + bigEndian(0, 2) + "mime" + names);
    const QByteArray iinf = fullBox("iinf", 0, 0, bigEndian(1, 2) + infe);
    const auto at = [&](quint64 offset) {
        // 4-byte offsets and lengths, no base offset; one item of one extent.
        return iinf +
               fullBox("iloc", 0, 0,
                       bigEndian(0x4400, 2) + bigEndian(1, 2) + bigEndian(3, 2) + bigEndian(0, 2) +
                           bigEndian(1, 2) + bigEndian(offset, 4) + bigEndian(quint64(length), 4));
    };
    const qsizetype end = heif({ispe(64, 48)}, {1}, 0, 0, at(0)).size();
    return heif({ispe(64, 48)}, {1}, 0, 0, at(quint64(end))) + xmp;
}

} // namespace

void tst_HeifBoxes::sizes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("expected");

    const QByteArray plain = ispe(4032, 3024);
    QTest::newRow("size only") << heif({plain}, {1}) << QSize(4032, 3024);
    QTest::newRow("crop, turn, turned ispe") << heif({clap(4000, 1, 3000, 1), irot(1), ispe(3000, 4000)}, {1, 2, 3})
                                             << QSize(3000, 4000);
    QTest::newRow("ispe, crop, turn") << heif({plain, clap(4000, 1, 3000, 1), irot(1)}, {1, 2, 3}) << QSize(3000, 4000);
    QTest::newRow("crop rounded to whole pixels") << heif({plain, clap(8001, 2, 5999, 2)}, {1, 2}) << QSize(4001, 3000);
    QTest::newRow("crop of zero denominator") << heif({plain, clap(4000, 0, 3000, 1)}, {1, 2}) << QSize();
    QTest::newRow("crop without ispe") << heif({clap(4000, 1, 3000, 1)}, {1}) << QSize();
    QTest::newRow("irot 180 keeps the shape") << heif({plain, irot(2)}, {1, 2}) << QSize(4032, 3024);
    QTest::newRow("mirroring keeps the shape")
        << heif({plain, box("imir", bigEndian(1, 1))}, {1, 2}) << QSize(4032, 3024);
    QTest::newRow("essential bit on the index") << heif({plain}, {0x81}) << QSize(4032, 3024);
    QTest::newRow("ipma version 1, wide indices") << heif({irot(1), plain}, {2, 1}, 1, 1) << QSize(3024, 4032);
    QTest::newRow("only the thumbnail's property") << heif({irot(1), plain}, {1}) << QSize();
    QTest::newRow("index past the properties") << heif({plain}, {1, 9}) << QSize(4032, 3024);
    QTest::newRow("ispe of 0") << heif({ispe(0, 3024)}, {1}) << QSize();
    QTest::newRow("ispe of 100,000 × 100,000") << heif({ispe(100000, 100000)}, {1}) << QSize();
    QTest::newRow("largest side believed") << heif({ispe(65535, 10)}, {1}) << QSize(65535, 10);
    QTest::newRow("no ftyp first") << heif({plain}, {1}).mid(ftyp().size()) << QSize();
    QTest::newRow("empty file") << QByteArray() << QSize();

    const QByteArray file = heif({plain, irot(1)}, {1, 2});
    // Box size forms: 0 runs to the end of the parent, 1 takes a 64-bit size.
    QTest::newRow("mdat size 0 (to the end)") << replaced(file, "mdat", bigEndian(0, 4)) << QSize(3024, 4032);
    {
        QByteArray large = file;
        const qsizetype at = large.indexOf("meta") - 4;
        const quint64 length = large.mid(at, 4).toHex().toULongLong(nullptr, 16);
        large.replace(at, 8, bigEndian(1, 4) + QByteArray("meta") + bigEndian(length + 8, 8));
        QTest::newRow("meta with a 64-bit size") << large << QSize(3024, 4032);
    }
    QTest::newRow("meta size 2^64-1")
        << [&] {
               QByteArray bad = file;
               const qsizetype at = bad.indexOf("meta") - 4;
               bad.replace(at, 8, bigEndian(1, 4) + QByteArray("meta") + bigEndian(~0ULL, 8));
               return bad;
           }()
        << QSize();
    QTest::newRow("meta runs past the file") << replaced(file, "meta", bigEndian(0x7fffffff, 4)) << QSize();
    QTest::newRow("ipco runs past iprp") << replaced(file, "ipco", bigEndian(0x10000, 4)) << QSize();
    // Just past the parent, where the next bytes still lie inside the file: each level checks
    // a child against its parent's end, not against what follows it.
    for (const int extra : {1, 4, 8}) {
        const QByteArray past = QByteArray::number(extra) + " byte(s) past ";
        QTest::newRow(past + "ipco: last property") << grown(heif({plain}, {1}), "ispe", extra) << QSize();
        QTest::newRow(past + "iprp: ipma") << grown(file, "ipma", extra) << QSize();
        QTest::newRow(past + "meta: free") << grown(file, "free", extra) << QSize();
    }
    QTest::newRow("box shorter than its header") << replaced(file, "iprp", bigEndian(4, 4)) << QSize();
    QTest::newRow("ipma claims a billion entries")
        << [&] {
               QByteArray bad = file;
               const qsizetype at = bad.indexOf("ipma") + 8;
               bad.replace(at, 4, bigEndian(1000000000, 4));
               return bad;
           }()
        << QSize();
}

void tst_HeifBoxes::sizes()
{
    QFETCH(QByteArray, file);
    QFETCH(QSize, expected);
    FuzzCorpus::add("heif", file);
    const QSize size = HeifBoxes::uprightSize(file);
    QCOMPARE(size.isValid() ? size : QSize(), expected);
}

void tst_HeifBoxes::truncatedAnywhere()
{
    // Power lost while copying, or a hostile file: every prefix gives the full answer or none.
    const QByteArray file = heif({irot(1), ispe(4032, 3024)}, {2, 1}, 1, 1);
    for (qsizetype length = 0; length <= file.size(); ++length) {
        const QSize size = HeifBoxes::uprightSize(QByteArrayView(file).first(length));
        QVERIFY2(!size.isValid() || size == QSize(3024, 4032), qPrintable(QString::number(length)));
    }
    // And every byte flipped: no crash, no answer of absurd size.
    for (qsizetype at = 0; at < file.size(); ++at) {
        QByteArray damaged = file;
        damaged[at] = char(~damaged[at]);
        const QSize size = HeifBoxes::uprightSize(damaged);
        QVERIFY(!size.isValid() || (size.width() <= HeifBoxes::maximumSide && size.height() <= HeifBoxes::maximumSide));
    }
}

void tst_HeifBoxes::metaAfterMediaDataIsFound()
{
    // Some writers put the image data first; the reader jumps over it by its header alone.
    const QByteArray file = heif({ispe(640, 480)}, {1});
    const qsizetype metaAt = file.indexOf("meta") - 4;
    const qsizetype mdatAt = file.indexOf("mdat") - 4;
    const QByteArray bigData = box("mdat", QByteArray(1 << 20, 'x'));
    const QByteArray reordered = file.left(metaAt) + bigData + file.mid(metaAt, mdatAt - metaAt);
    qint64 bytesRead = 0;
    const QSize size = HeifBoxes::uprightSize(reordered.size(), [&](qint64 offset, qint64 length) {
        const QByteArray part = reordered.mid(offset, length);
        bytesRead += part.size();
        return part;
    });
    QCOMPARE(size, QSize(640, 480));
    QVERIFY2(bytesRead < 4096, qPrintable(QString::number(bytesRead)));
}

void tst_HeifBoxes::xmpItem_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    const QByteArray names("\0application/rdf+xml\0", 21);
    QTest::newRow("XMP") << withXmpItem(xmp, names, xmp.size()) << xmp;
    QTest::newRow("content type's NUL cut by the box")
        << withXmpItem(xmp, names.chopped(1), xmp.size()) << xmp;
    QTest::newRow("another content type")
        << withXmpItem(xmp, QByteArray("\0text/xml\0", 10), xmp.size()) << QByteArray();
    QTest::newRow("compressed") << withXmpItem(xmp, names + "deflate" + '\0', xmp.size())
                                << QByteArray();
    QTest::newRow("one byte past the file")
        << withXmpItem(xmp, names, xmp.size() + 1) << QByteArray();
    const QByteArray largest(HeifBoxes::maximumXmpLength, ' ');
    QTest::newRow("largest read") << withXmpItem(largest, names, largest.size()) << largest;
    QTest::newRow("a byte larger")
        << withXmpItem(largest + ' ', names, largest.size() + 1) << QByteArray();
}

void tst_HeifBoxes::xmpItem()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, expected);
    if (file.size() < 65536) {
        FuzzCorpus::add("heif", file); // a megabyte would slow every run of the fuzzer down
    }
    const HeifBoxes::Header header = HeifBoxes::readHeader(file);
    QCOMPARE(header.xmp, expected);
    QCOMPARE(header.uprightSize, QSize(64, 48));
    QCOMPARE(HeifBoxes::readXmp(
                 file.size(),
                 [&file](qint64 offset, qint64 length) { return file.mid(offset, length); }),
             expected);
}

QTEST_APPLESS_MAIN(tst_HeifBoxes)
#include "tst_HeifBoxes.moc"
