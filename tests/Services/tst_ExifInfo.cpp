#include "Samples/SamplePhotos.h"
#include "Samples/TiffBuilder.h"
#include "Services/Decoders/ExifInfo.h"
#include "Services/Decoders/ExifThumbnail.h"
#include "Services/ImageDimensionsReader.h"
#include "Services/PhotoInfoReader.h"
#include "support/DngWriter.h"
#include "support/FuzzCorpus.h"
#include "support/HeifWriter.h"
#include "support/TestFolders.h"

#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// What a camera recorded, read from EXIF blocks assembled here entry by entry (TiffBuilder):
// real layouts in both byte orders, and hostile ones (impossible dates, zero denominators,
// absurd values, directories that lie about their length or point back at themselves, texts
// full of junk) that must show what is sane and leave the rest out. Then the same fields
// through each container: a JPEG's APP1, a HEIF Exif item, a DNG, read in the one opening of
// the file that also finds its size.
class tst_ExifInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fields_data();
    void fields();
    void damagedBlocksStayInBounds();
    void containers_data();
    void containers();
};

namespace {

enum Tag : quint16 {
    make = 0x010F,
    model = 0x0110,
    orientation = 0x0112,
    dateTime = 0x0132,
    exifPointer = 0x8769,
    exposure = 0x829A,
    fNumber = 0x829D,
    iso = 0x8827,
    recommendedIndex = 0x8832,
    original = 0x9003,
    digitized = 0x9004,
    offsetOriginal = 0x9011,
    bias = 0x9204,
    focal = 0x920A,
    subSecOriginal = 0x9291,
    subjectArea = 0x9214,
    pixelWidth = 0xA002,
    pixelHeight = 0xA003,
    subjectLocation = 0xA214,
    serial = 0xA431,
    lensMake = 0xA433,
    lensModel = 0xA434,
};

// The fields read, in a fixed order, those absent left out.
QString describe(const PhotoInfo &info)
{
    QStringList parts;
    if (const auto &t = info.captureTime) {
        QString taken = t->date().toString(Qt::ISODate) + u' ' + t->time().toString(Qt::ISODate);
        if (t->nanoseconds) {
            taken += u'+' + QString::number(t->nanoseconds) + u"ns"_s;
        }
        if (t->offsetMinutes) {
            taken += u'@' + QString::number(*t->offsetMinutes) + u"min"_s;
        }
        parts.append(u"taken="_s + taken);
    }
    const auto text = [&parts](const char *name, const QString &value) {
        if (!value.isEmpty()) {
            parts.append(QLatin1StringView(name) + u'=' + value);
        }
    };
    const auto number = [&parts](const char *name, const auto &value) {
        if (value) {
            parts.append(QLatin1StringView(name) + u'=' + QString::number(*value));
        }
    };
    text("make", info.make);
    text("model", info.model);
    text("serial", info.bodySerialNumber);
    text("lensMake", info.lensMake);
    text("lens", info.lensModel);
    number("focal", info.focalLength);
    number("f", info.fNumber);
    number("t", info.exposureTime);
    number("iso", info.iso);
    number("bias", info.exposureBias);
    number("orientation", info.orientation);
    if (const auto &at = info.focusPoint) {
        parts.append(u"focus=%1,%2"_s.arg(at->x(), 0, 'f', 3).arg(at->y(), 0, 'f', 3));
    }
    return parts.join(u' ');
}

// The fields a camera writes, in IFD0 and the Exif IFD; `edit` changes the builder before the
// Exif IFD's entries are added (or adds hostile ones of its own).
struct Camera
{
    bool littleEndian = true;
    QByteArray taken = "2024:05:03 14:22:07";
    QByteArray subSeconds = "25";
    QByteArray offset = "+02:00";
    std::pair<quint32, quint32> exposure{1, 250};
    std::pair<quint32, quint32> fNumber{28, 10};
    std::pair<qint32, qint32> bias{-1, 3};
    std::pair<quint32, quint32> focal{50, 1};
    quint16 iso = 400;
    quint16 orientation = 6;
};

const QString cameraFields =
    u"taken=2024-05-03 14:22:07+250000000ns@120min make=Canon model=Canon EOS R5 "
    "serial=012345 lensMake=Canon lens=RF50mm F1.8 STM focal=50 f=2.8 t=0.004 iso=400 "
    "bias=-0.333333 orientation=6"_s;

TiffBuilder cameraBlock(const Camera &camera)
{
    TiffBuilder tiff(camera.littleEndian);
    const int ifd0 = tiff.addIfd();
    const int exif = tiff.addIfd();
    tiff.addAscii(ifd0, make, "Canon");
    tiff.addAscii(ifd0, model, "Canon EOS R5");
    tiff.addShort(ifd0, orientation, camera.orientation);
    tiff.addPointer(ifd0, exifPointer, exif);
    tiff.addRational(exif, exposure, camera.exposure.first, camera.exposure.second);
    tiff.addRational(exif, fNumber, camera.fNumber.first, camera.fNumber.second);
    tiff.addShort(exif, iso, camera.iso);
    if (!camera.taken.isEmpty()) {
        tiff.addAscii(exif, original, camera.taken);
    }
    if (!camera.offset.isEmpty()) {
        tiff.addAscii(exif, offsetOriginal, camera.offset);
    }
    tiff.addSignedRational(exif, bias, camera.bias.first, camera.bias.second);
    tiff.addRational(exif, focal, camera.focal.first, camera.focal.second);
    if (!camera.subSeconds.isEmpty()) {
        tiff.addAscii(exif, subSecOriginal, camera.subSeconds);
    }
    tiff.addAscii(exif, serial, "012345");
    tiff.addAscii(exif, lensMake, "Canon");
    tiff.addAscii(exif, lensModel, "RF50mm F1.8 STM");
    return tiff;
}

QByteArray cameraTiff(const Camera &camera = {})
{
    return cameraBlock(camera).bytes();
}

// Where a camera focused: `area` as SubjectArea, `location` as SubjectLocation (each left out
// when empty), in a picture stored `size` large (no pixel dimensions when invalid).
struct Focus
{
    QList<quint32> area = {};
    QList<quint32> location = {};
    quint16 orientation = 1;
    QSize size{4000, 3000};
    quint16 type = TiffBuilder::shortType;
    bool littleEndian = true;
};

QByteArray focusTiff(const Focus &focus)
{
    TiffBuilder tiff(focus.littleEndian);
    const int ifd0 = tiff.addIfd();
    const int exif = tiff.addIfd();
    tiff.addShort(ifd0, orientation, focus.orientation);
    tiff.addPointer(ifd0, exifPointer, exif);
    if (focus.size.isValid()) {
        tiff.addLong(exif, pixelWidth, quint32(focus.size.width()));
        tiff.addShort(exif, pixelHeight, quint16(focus.size.height()));
    }
    for (const auto &[tag, values] :
         {std::pair(subjectArea, focus.area), {subjectLocation, focus.location}}) {
        QByteArray bytes;
        for (const quint32 value : values) {
            bytes += tiff.number(value, focus.type == TiffBuilder::longType ? 4 : 2);
        }
        if (!values.isEmpty()) {
            tiff.addRaw(exif, tag, focus.type, quint32(values.size()), bytes);
        }
    }
    return tiff.bytes();
}

// `expected` with the entries named taken out.
QString without(QString expected, const QStringList &names)
{
    QStringList parts = expected.split(u' ');
    QStringList kept;
    QString pending;
    for (const QString &part : parts) { // "lens=RF50mm F1.8 STM" spans three words
        if (part.contains(u'=')) {
            if (!pending.isEmpty()) {
                kept.append(pending);
            }
            pending = part;
        } else {
            pending += u' ' + part;
        }
    }
    kept.append(pending);
    kept.removeIf(
        [&names](const QString &part) { return names.contains(part.section(u'=', 0, 0)); });
    return kept.join(u' ');
}

} // namespace

void tst_ExifInfo::initTestCase()
{
    qputenv("TZ", "UTC");
}

void tst_ExifInfo::fields_data()
{
    QTest::addColumn<QByteArray>("tiff");
    QTest::addColumn<QString>("expected");

    QTest::newRow("little endian") << cameraTiff() << cameraFields;
    QTest::newRow("big endian") << cameraTiff({.littleEndian = false}) << cameraFields;
    QTest::newRow("sub-seconds of nine digits, negative offset")
        << cameraTiff({.subSeconds = "123456789", .offset = "-05:30"})
        << QString(cameraFields).replace(u"250000000ns@120min"_s, u"123456789ns@-330min"_s);
    QTest::newRow("no sub-seconds or offset")
        << cameraTiff({.subSeconds = {}, .offset = {}})
        << QString(cameraFields).replace(u"+250000000ns@120min"_s, QString());
    {
        TiffBuilder digitizedOnly = cameraBlock({.taken = {}, .subSeconds = {}, .offset = {}});
        digitizedOnly.addAscii(1, digitized, "2023:12:31 23:59:59");
        QTest::newRow("DateTimeDigitized when DateTimeOriginal is missing")
            << digitizedOnly.bytes()
            << QString(cameraFields)
                   .replace(u"2024-05-03 14:22:07+250000000ns@120min"_s, u"2023-12-31 23:59:59"_s);
        TiffBuilder editedOnly = cameraBlock({.taken = {}});
        editedOnly.addAscii(0, dateTime, "2023:12:31 23:59:59");
        QTest::newRow("DateTime alone, an editor's, is no capture time")
            << editedOnly.bytes() << without(cameraFields, {u"taken"_s});
    }
    // Dates that cannot be: the date goes, everything else stays.
    const QString undated = without(cameraFields, {u"taken"_s});
    QTest::newRow("year 0") << cameraTiff({.taken = "0000:05:03 14:22:07"}) << undated;
    QTest::newRow("month 13") << cameraTiff({.taken = "2024:13:03 14:22:07"}) << undated;
    QTest::newRow("30 February") << cameraTiff({.taken = "2024:02:30 14:22:07"}) << undated;
    QTest::newRow("hour 24") << cameraTiff({.taken = "2024:05:03 24:00:00"}) << undated;
    QTest::newRow("unknown, written as spaces")
        << cameraTiff({.taken = "    :  :     :  :  "}) << undated;
    QTest::newRow("a date without its time") << cameraTiff({.taken = "2024:05:03"}) << undated;
    QTest::newRow("offset beyond 14 hours, junk sub-seconds")
        << cameraTiff({.subSeconds = "2x", .offset = "+25:00"})
        << QString(cameraFields).replace(u"+250000000ns@120min"_s, QString());
    // Numbers that cannot be.
    QTest::newRow("exposure of 1/0 s")
        << cameraTiff({.exposure = {1, 0}}) << without(cameraFields, {u"t"_s});
    QTest::newRow("zero denominators everywhere")
        << cameraTiff({.exposure = {0, 0}, .fNumber = {28, 0}, .bias = {1, 0}, .focal = {50, 0}})
        << without(cameraFields, {u"t"_s, u"f"_s, u"bias"_s, u"focal"_s});
    QTest::newRow("absurd values") << cameraTiff({.exposure = {100000, 1},
                                                  .fNumber = {0, 10},
                                                  .bias = {-99, 1},
                                                  .focal = {100000, 1},
                                                  .iso = 0,
                                                  .orientation = 9})
                                   << without(cameraFields, {u"t"_s, u"f"_s, u"bias"_s, u"focal"_s,
                                                             u"iso"_s, u"orientation"_s});
    QTest::newRow("negative exposure bias within bounds")
        << cameraTiff({.bias = {-7, 10}})
        << QString(cameraFields).replace(u"bias=-0.333333"_s, u"bias=-0.7"_s);
    {
        TiffBuilder high = cameraBlock({.iso = 65535});
        high.addLong(1, recommendedIndex, 102400);
        QTest::newRow("ISO beyond a SHORT, in the recommended exposure index")
            << high.bytes() << QString(cameraFields).replace(u"iso=400"_s, u"iso=102400"_s);
    }
    // Texts: junk kept out, NUL or not.
    {
        TiffBuilder junk(true);
        const int ifd0 = junk.addIfd();
        junk.addAscii(ifd0, make, "  Ca\x01non\xFF  ");
        junk.addAscii(ifd0, model, "Canon\tEOS\x7F  R5", false);
        junk.addRawOffset(ifd0, 0xA433, TiffBuilder::ascii, 0xFFFFFFFF, 8);  // count overflows
        junk.addRawOffset(ifd0, 0xA434, TiffBuilder::ascii, 64, 0x7FFFFF00); // past the end
        junk.addRaw(ifd0, serial, TiffBuilder::ascii, 3000, QByteArray(3000, 'A'));
        QTest::newRow("junk, no NUL, counts past the end, overlong")
            << junk.bytes() << u"make=Canon model=Canon EOS R5 serial="_s + QString(128, u'A');
    }
    // Structures that lie.
    {
        // The Exif IFD claims 10,000 entries and holds them: the first 1024 are read.
        TiffBuilder many(true);
        const int ifd0 = many.addIfd();
        const int exif = many.addIfd();
        many.addAscii(ifd0, make, "Canon");
        many.addPointer(ifd0, exifPointer, exif);
        many.addAscii(exif, original, "2024:05:03 14:22:07");
        for (int i = 0; i < 9998; ++i) {
            many.addShort(exif, quint16(0xC000 + i % 0x1000), 1);
        }
        many.addAscii(exif, lensModel, "beyond the cap");
        QTest::newRow("10,000 entries")
            << many.bytes() << u"taken=2024-05-03 14:22:07 make=Canon"_s;
    }
    {
        TiffBuilder loop(true);
        const int ifd0 = loop.addIfd();
        loop.addAscii(ifd0, make, "Canon");
        loop.addAscii(ifd0, original, "2024:05:03 14:22:07");
        loop.addPointer(ifd0, exifPointer, ifd0);
        loop.setNext(ifd0, ifd0);
        QTest::newRow("Exif pointer and next IFD back at IFD0")
            << loop.bytes() << u"taken=2024-05-03 14:22:07 make=Canon"_s;
        TiffBuilder lost(true);
        const int first = lost.addIfd();
        lost.addAscii(first, make, "Canon");
        lost.addRawOffset(first, exifPointer, TiffBuilder::longType, 1, 0xFFFFFFF0);
        QTest::newRow("Exif pointer past the end") << lost.bytes() << u"make=Canon"_s;
        TiffBuilder liar(true);
        const int exif = liar.addIfd();
        liar.addShort(exif, iso, 400);
        liar.addShort(exif, orientation, 3);
        liar.setDeclaredCount(exif, 60000);
        QTest::newRow("count beyond the data: the entries that are there")
            << liar.bytes() << u"iso=400 orientation=3"_s;
    }
    // Cuts: entries whose values lie past the cut go; those held in the entry stay.
    const TiffBuilder block = cameraBlock({});
    const QByteArray whole = block.bytes();
    const qsizetype exifStart = block.offsetOf(1);
    QTest::newRow("cut inside the Exif IFD's entries")
        << whole.left(exifStart + 2 + 3 * 12 + 6)
        << u"make=Canon model=Canon EOS R5 iso=400 orientation=6"_s;
    // The lens model is the last value: its count claims one byte past the end, or ends there.
    QTest::newRow("lens model one byte past the end")
        << whole.left(whole.size() - 1) << without(cameraFields, {u"lens"_s});
    QTest::newRow("lens model ends exactly at the end") << whole << cameraFields;
    // Where the camera focused, in pixels of the 4000 × 3000 picture as stored: (999, 599) is
    // a quarter across and a fifth down, the centre of its pixel a hair more.
    QTest::newRow("focus: a point")
        << focusTiff({.area = {999, 599}}) << u"orientation=1 focus=0.250,0.200"_s;
    QTest::newRow("focus: a circle's centre")
        << focusTiff({.area = {999, 599, 300}}) << u"orientation=1 focus=0.250,0.200"_s;
    QTest::newRow("focus: a rectangle's centre, big endian")
        << focusTiff({.area = {999, 599, 400, 300}, .littleEndian = false})
        << u"orientation=1 focus=0.250,0.200"_s;
    QTest::newRow("focus: LONG values")
        << focusTiff({.area = {999, 599}, .type = TiffBuilder::longType})
        << u"orientation=1 focus=0.250,0.200"_s;
    QTest::newRow("focus: the subject location without an area")
        << focusTiff({.location = {1999, 1499}}) << u"orientation=1 focus=0.500,0.500"_s;
    QTest::newRow("focus: the area wins over the location")
        << focusTiff({.area = {999, 599}, .location = {1999, 1499}})
        << u"orientation=1 focus=0.250,0.200"_s;
    QTest::newRow("focus: an area of five values, then the location")
        << focusTiff({.area = {999, 599, 1, 1, 1}, .location = {1999, 1499}})
        << u"orientation=1 focus=0.500,0.500"_s;
    QTest::newRow("focus: the last pixel")
        << focusTiff({.area = {3999, 2999}}) << u"orientation=1 focus=1.000,1.000"_s;
    const QString unfocused = u"orientation=1"_s;
    QTest::newRow("focus: one value") << focusTiff({.area = {999}}) << unfocused;
    QTest::newRow("focus: one pixel past the right")
        << focusTiff({.area = {4000, 599}}) << unfocused;
    QTest::newRow("focus: one pixel past the bottom")
        << focusTiff({.area = {999, 3000}}) << unfocused;
    QTest::newRow("focus: no pixel dimensions")
        << focusTiff({.area = {999, 599}, .size = {}}) << unfocused;
    QTest::newRow("focus: zero pixel dimensions")
        << focusTiff({.area = {0, 0}, .size = {0, 0}}) << unfocused;
    {
        const QByteArray rectangle = focusTiff({.area = {999, 599, 400, 300}});
        // The rectangle is the last value: one byte past the end, or ending there.
        QTest::newRow("focus: a rectangle one byte past the end")
            << rectangle.left(rectangle.size() - 1) << unfocused;
        QTest::newRow("focus: a rectangle ending at the end")
            << rectangle << u"orientation=1 focus=0.250,0.200"_s;
    }
    // Turned as the picture is (each orientation checked against Qt's in containers()), unless
    // the orientation is none.
    QTest::newRow("focus: orientation 6") << focusTiff({.area = {999, 599}, .orientation = 6})
                                          << u"orientation=6 focus=0.800,0.250"_s;
    QTest::newRow("focus: orientation 9")
        << focusTiff({.area = {999, 599}, .orientation = 9}) << u"focus=0.250,0.200"_s;
    QTest::newRow("no TIFF header") << QByteArray("XX\x2A\x00\x08\0\0\0", 8) << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void tst_ExifInfo::fields()
{
    QFETCH(QByteArray, tiff);
    QFETCH(QString, expected);
    FuzzCorpus::add("exif-info", tiff);
    const PhotoInfo info = ExifInfo::fromTiff(tiff);
    QCOMPARE(describe(info), expected);
    // The fill's cheaper read agrees on the capture time.
    QCOMPARE(ExifInfo::captureTimeFromTiff(tiff), info.captureTime);
}

void tst_ExifInfo::damagedBlocksStayInBounds()
{
    // Cut at every byte and every byte flipped in turn: whatever is read is sane (under the
    // sanitizers, any read past the bytes shows up).
    const auto check = [](const QByteArray &bytes, const QString &what) {
        const PhotoInfo info = ExifInfo::fromTiff(bytes);
        const bool sane = (!info.exposureTime || *info.exposureTime > 0) &&
                          (!info.focalLength || *info.focalLength > 0) &&
                          (!info.iso || *info.iso > 0) &&
                          (!info.captureTime || info.captureTime->date().year() >= 1800) &&
                          info.make.size() <= 128 && info.model.size() <= 128 &&
                          std::all_of(info.model.cbegin(), info.model.cend(),
                                      [](QChar c) { return c.isPrint(); }) &&
                          (!info.focusPoint || QRectF(0, 0, 1, 1).contains(*info.focusPoint));
        QVERIFY2(sane, qPrintable(what + u": "_s + describe(info)));
    };
    for (const QByteArray &whole :
         {cameraTiff({.littleEndian = false}), focusTiff({.area = {999, 599, 400, 300}})}) {
        for (qsizetype length = 0; length < whole.size(); ++length) {
            check(whole.left(length), u"cut at %1"_s.arg(length));
        }
        for (qsizetype at = 0; at < whole.size(); ++at) {
            QByteArray damaged = whole;
            damaged[at] = char(~damaged[at]);
            check(damaged, u"byte %1 flipped"_s.arg(at));
        }
    }
}

void tst_ExifInfo::containers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QSize>("size"); // what the same opening finds

    const QByteArray exif = cameraTiff();
    const QByteArray jpeg = SamplePhotos::encodeJpeg(SamplePhotos::makeImage(40, 30, 1));
    QTest::newRow("JPEG") << u"a.jpg"_s << SamplePhotos::withExifBlock(jpeg, exif) << cameraFields
                          << QSize(30, 40); // orientation 6
    QTest::newRow("JPEG whose block holds the orientation and a thumbnail")
        << u"b.jpg"_s << SamplePhotos::encodeCameraJpeg(SamplePhotos::makeImage(64, 48, 2), 6)
        << u"orientation=6"_s << QSize(48, 64);
    if (HeifWriter::canEncode(heif_compression_HEVC)) {
        HeifWriter::Fixture heic;
        heic.picture = SamplePhotos::makeImage(64, 48, 3);
        heic.grid = false;
        heic.exif = exif;
        QTest::newRow("HEIC Exif item")
            << u"d.heic"_s << HeifWriter::encoded(heic) << cameraFields << QSize(64, 48);
    }
    // The focus point lands on a marker at pixel (15, 4) of a 64 × 48 picture, however Qt turns
    // it upright.
    QImage marked(64, 48, QImage::Format_RGB32);
    marked.fill(Qt::gray);
    QPainter(&marked).fillRect(13, 2, 5, 5, Qt::red);
    const char *turned[] = {"0.242,0.094", "0.758,0.094", "0.758,0.906", "0.242,0.906",
                            "0.094,0.242", "0.906,0.242", "0.906,0.758", "0.094,0.758"};
    for (quint16 turn = 1; turn <= 8; ++turn) {
        QTest::addRow("JPEG with a focus point, orientation %d", turn)
            << u"f%1.jpg"_s.arg(turn)
            << SamplePhotos::withExifBlock(
                   SamplePhotos::encodeJpeg(marked),
                   focusTiff({.area = {15, 4}, .orientation = turn, .size = {64, 48}}))
            << u"orientation=%1 focus=%2"_s.arg(turn).arg(QLatin1StringView(turned[turn - 1]))
            << (turn <= 4 ? QSize(64, 48) : QSize(48, 64));
    }
    // LibRaw parses the DNG; its TIFF structure gives what it records (no Exif IFD here), and
    // LibRaw the time, which a camera writes as DateTime in a RAW file that no editor rewrites.
    QTemporaryDir dir;
    DngWriter::Layout layout;
    layout.dateTime = "2023:07:14 09:30:05";
    QTest::newRow("DNG") << u"e.dng"_s << DngWriter::write(dir.filePath(u"e.dng"_s), layout)
                         << u"taken=2023-07-14 09:30:05 make=Calvenor model=Test Camera "
                            "orientation=6"_s
                         << QSize(170, 256);
}

void tst_ExifInfo::containers()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QFETCH(QSize, size);
    QVERIFY(!bytes.isEmpty());
    FuzzCorpus::add("exif-info", bytes); // the fuzzer reads heads, blocks and HEIF files alike
    QTemporaryDir dir;
    const QString path = TestFolders::writeFile(dir.path(), name, bytes);
    const PhotoInfo info = PhotoInfoReader::read(path);
    QCOMPARE(describe(info), expected);
    QCOMPARE(info.byteCount, bytes.size());
    QVERIFY(!info.format.isEmpty());
    if (const auto &at = info.focusPoint) {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QImage upright = reader.read();
        const QColor marker =
            upright.pixelColor(int(at->x() * upright.width()), int(at->y() * upright.height()));
        QVERIFY2(marker.red() > 160 && marker.green() < 100, qPrintable(marker.name()));
    }
    const ImageDimensions header = ImageDimensionsReader::imageDimensions(path);
    QCOMPARE(header.captureTime, info.captureTime);
    QCOMPARE(QSize(int(header.width), int(header.height)), size);
}

QTEST_GUILESS_MAIN(tst_ExifInfo)
#include "tst_ExifInfo.moc"
