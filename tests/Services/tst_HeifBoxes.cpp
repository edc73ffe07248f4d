#include "Services/Decoders/HeifBoxes.h"

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
};

namespace {

QByteArray be(quint64 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i) {
        out.append(char(value >> (8 * i) & 0xff));
    }
    return out;
}

QByteArray box(const char *type, const QByteArray &payload)
{
    return be(quint64(8 + payload.size()), 4) + QByteArray(type, 4) + payload;
}

QByteArray fullBox(const char *type, int version, int flags, const QByteArray &payload)
{
    return box(type, be(quint64(version), 1) + be(quint64(flags), 3) + payload);
}

QByteArray ftyp(const char *brand = "heic")
{
    return box("ftyp", QByteArray(brand, 4) + be(0, 4) + QByteArray("mif1") + QByteArray(brand, 4));
}

QByteArray ispe(quint32 width, quint32 height)
{
    return fullBox("ispe", 0, 0, be(width, 4) + be(height, 4));
}

QByteArray irot(int quarterTurns)
{
    return box("irot", be(quint64(quarterTurns), 1));
}

// A file whose primary item 1 has the properties `associated` (1-based indices into
// `properties`); item 2 (a thumbnail, say) has the last property only.
QByteArray heif(const QList<QByteArray> &properties, const QList<int> &associated,
                int ipmaVersion = 0, int ipmaFlags = 0)
{
    QByteArray ipco;
    for (const QByteArray &property : properties) {
        ipco += property;
    }
    const auto index = [&](int value) {
        return ipmaFlags & 1 ? be(quint64(value), 2) : be(quint64(value), 1);
    };
    const int idBytes = ipmaVersion < 1 ? 2 : 4;
    QByteArray entries = be(2, 4);
    entries += be(1, idBytes) + be(quint64(associated.size()), 1);
    for (const int value : associated) {
        entries += index(value);
    }
    entries += be(2, idBytes) + be(1, 1) + index(int(properties.size()));
    const QByteArray meta = fullBox(
        "meta", 0, 0,
        fullBox("hdlr", 0, 0, be(0, 4) + QByteArray("pict") + be(0, 12) + QByteArray(1, '\0'))
            + fullBox("pitm", 0, 0, be(1, 2))
            + box("iprp", box("ipco", ipco) + fullBox("ipma", ipmaVersion, ipmaFlags, entries)));
    return ftyp() + meta + box("mdat", QByteArray(64, 'x'));
}

QByteArray replaced(QByteArray file, const char *type, const QByteArray &sizeField)
{
    const qsizetype at = file.indexOf(QByteArray(type, 4));
    file.replace(at - 4, 4, sizeField);
    return file;
}

} // namespace

void tst_HeifBoxes::sizes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("expected");

    const QByteArray plain = ispe(4032, 3024);
    QTest::newRow("size only") << heif({plain}, {1}) << QSize(4032, 3024);
    QTest::newRow("irot 90 after ispe") << heif({plain, irot(1)}, {1, 2}) << QSize(3024, 4032);
    // The order libheif itself gets wrong: the turn is known before the size.
    QTest::newRow("irot 90 before ispe") << heif({irot(1), plain}, {1, 2}) << QSize(3024, 4032);
    QTest::newRow("irot listed before ispe in ipma") << heif({plain, irot(3)}, {2, 1}) << QSize(3024, 4032);
    QTest::newRow("irot 180 keeps the shape") << heif({plain, irot(2)}, {1, 2}) << QSize(4032, 3024);
    QTest::newRow("mirroring keeps the shape")
        << heif({plain, box("imir", be(1, 1))}, {1, 2}) << QSize(4032, 3024);
    QTest::newRow("essential bit on the index") << heif({plain}, {0x81}) << QSize(4032, 3024);
    QTest::newRow("ipma version 1, wide indices") << heif({irot(1), plain}, {1, 2}, 1, 1) << QSize(3024, 4032);
    QTest::newRow("only the thumbnail's property") << heif({irot(1), plain}, {1}) << QSize();
    QTest::newRow("index past the properties") << heif({plain}, {1, 9}) << QSize(4032, 3024);
    QTest::newRow("ispe of 0") << heif({ispe(0, 3024)}, {1}) << QSize();
    QTest::newRow("ispe of 100,000 × 100,000") << heif({ispe(100000, 100000)}, {1}) << QSize();
    QTest::newRow("largest side believed") << heif({ispe(65535, 10)}, {1}) << QSize(65535, 10);
    QTest::newRow("no ftyp first") << heif({plain}, {1}).mid(ftyp().size()) << QSize();
    QTest::newRow("empty file") << QByteArray() << QSize();

    const QByteArray file = heif({plain, irot(1)}, {1, 2});
    // Box size forms: 0 runs to the end of the parent, 1 takes a 64-bit size.
    QTest::newRow("mdat size 0 (to the end)") << replaced(file, "mdat", be(0, 4)) << QSize(3024, 4032);
    {
        QByteArray large = file;
        const qsizetype at = large.indexOf("meta") - 4;
        const quint64 length = large.mid(at, 4).toHex().toULongLong(nullptr, 16);
        large.replace(at, 8, be(1, 4) + QByteArray("meta") + be(length + 8, 8));
        QTest::newRow("meta with a 64-bit size") << large << QSize(3024, 4032);
    }
    QTest::newRow("meta size 2^64-1")
        << [&] {
               QByteArray bad = file;
               const qsizetype at = bad.indexOf("meta") - 4;
               bad.replace(at, 8, be(1, 4) + QByteArray("meta") + be(~0ULL, 8));
               return bad;
           }()
        << QSize();
    QTest::newRow("meta runs past the file") << replaced(file, "meta", be(0x7fffffff, 4)) << QSize();
    QTest::newRow("ipco runs past iprp") << replaced(file, "ipco", be(0x10000, 4)) << QSize();
    QTest::newRow("box shorter than its header") << replaced(file, "iprp", be(4, 4)) << QSize();
    QTest::newRow("ipma claims a billion entries")
        << [&] {
               QByteArray bad = file;
               const qsizetype at = bad.indexOf("ipma") + 8;
               bad.replace(at, 4, be(1000000000, 4));
               return bad;
           }()
        << QSize();
}

void tst_HeifBoxes::sizes()
{
    QFETCH(QByteArray, file);
    QFETCH(QSize, expected);
    const QSize size = HeifBoxes::uprightSize(file);
    QCOMPARE(size.isValid() ? size : QSize(), expected);
}

void tst_HeifBoxes::truncatedAnywhere()
{
    // Power lost while copying, or a hostile file: every prefix gives the full answer or none.
    const QByteArray file = heif({irot(1), ispe(4032, 3024)}, {1, 2}, 1, 1);
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

QTEST_APPLESS_MAIN(tst_HeifBoxes)
#include "tst_HeifBoxes.moc"
