#include "Models/PhotoInfoText.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Camera data as photographers read it: each field alone, then the overlay's rows and the
// status line's summary.
class tst_PhotoInfoText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void fields_data();
    void fields();
    void rowsAndSummary();
};

namespace {

CaptureTime taken(int msec, std::optional<qint16> offset = std::nullopt, qint32 nanoseconds = -1)
{
    return *CaptureTime::make(QDate(2024, 5, 3), QTime(14, 22, 7),
                              nanoseconds >= 0 ? nanoseconds : msec * 1'000'000, offset);
}

} // namespace

void tst_PhotoInfoText::fields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    using namespace PhotoInfoText;
    const auto row = [](const char *name, const QString &text, const QString &expected) {
        QTest::newRow(name) << text << expected;
    };
    row("time, whole seconds", captureTime(taken(0)), u"2024-05-03 14:22:07"_s);
    row("time, hundredths and offset", captureTime(taken(250, 120)),
        u"2024-05-03 14:22:07.25 +02:00"_s);
    row("time, nanoseconds and a half-hour west", captureTime(taken(0, -330, 123456789)),
        u"2024-05-03 14:22:07.123456789 -05:30"_s);
    row("time, UTC", captureTime(taken(0, 0)), u"2024-05-03 14:22:07 +00:00"_s);
    row("camera, model repeats the make", camera(u"Canon"_s, u"Canon EOS R5"_s), u"Canon EOS R5"_s);
    row("camera, model repeats the make's first word",
        camera(u"NIKON CORPORATION"_s, u"NIKON D850"_s), u"NIKON D850"_s);
    row("camera, model alone", camera(u"FUJIFILM"_s, u"X-T5"_s), u"FUJIFILM X-T5"_s);
    row("camera, make unknown", camera({}, u"X-T5"_s), u"X-T5"_s);
    row("camera, model unknown", camera(u"Leica"_s, {}), u"Leica"_s);
    row("focal length", focalLength(50), u"50 mm"_s);
    row("focal length of a phone", focalLength(4.25), u"4.3 mm"_s);
    row("aperture", aperture(2.8), u"f/2.8"_s);
    row("aperture, whole", aperture(8), u"f/8"_s);
    row("aperture rounded", aperture(1.4142), u"f/1.4"_s);
    row("1/250 s", exposureTime(0.004), u"1/250 s"_s);
    row("1/8000 s, no thousands separator", exposureTime(1.0 / 8000), u"1/8000 s"_s);
    row("half a second reads 1/2", exposureTime(0.5), u"1/2 s"_s);
    row("a third", exposureTime(1.0 / 3), u"1/3 s"_s);
    row("0.3 s as the dial marks it", exposureTime(0.3), u"0.3 s"_s);
    row("0.8 s", exposureTime(0.8), u"0.8 s"_s);
    row("one second", exposureTime(1), u"1 s"_s);
    row("two seconds", exposureTime(2), u"2 s"_s);
    row("1.5 s", exposureTime(1.5), u"1.5 s"_s);
    row("30 s", exposureTime(30), u"30 s"_s);
    row("1/60 stored as 0.0166", exposureTime(0.0166), u"1/60 s"_s);
    row("ISO", iso(400), u"ISO 400"_s);
    row("two thirds up", exposureBias(2.0 / 3), u"+0.7 EV"_s);
    row("a third down, true minus", exposureBias(-1.0 / 3), u"\u22120.3 EV"_s);
    row("no bias", exposureBias(0), u"0 EV"_s);
    row("a bias that rounds to none", exposureBias(-0.04), u"0 EV"_s);
    row("dimensions", dimensions(4032, 3024), u"4032 \u00D7 3024"_s);
    row("file size", fileSize(4'250'000), u"4.3 MB"_s);
    row("sharpness alone", sharpness(1234.6).value, u"1,235"_s);
    row("sharpest of a burst", sharpness(88.2, 7, true).value, u"88 · sharpest of 7"_s);
    row("another frame of a burst", sharpness(40, 7).value, u"40 · in a burst of 7"_s);
}

void tst_PhotoInfoText::fields()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void tst_PhotoInfoText::rowsAndSummary()
{
    PhotoInfo info;
    info.captureTime = taken(250, 120);
    info.make = u"Canon"_s;
    info.model = u"Canon EOS R5"_s;
    info.lensMake = u"Canon"_s;
    info.lensModel = u"RF50mm F1.8 STM"_s;
    info.exposureTime = 0.004;
    info.fNumber = 2.8;
    info.iso = 400;
    info.focalLength = 50;
    info.exposureBias = -1.0 / 3;
    info.pixelWidth = 8192;
    info.pixelHeight = 5464;
    info.byteCount = 9'100'000;
    info.format = u"JPEG image"_s;
    QCOMPARE(PhotoInfoText::summary(info), u"1/250 s · f/2.8 · ISO 400 · 50 mm · Canon EOS R5"_s);
    QStringList rows;
    for (const PhotoInfoText::Row &row : PhotoInfoText::rows(info, u"RAW+JPG"_s)) {
        rows.append(row.label + u": "_s + row.value);
    }
    QCOMPARE(rows,
             (QStringList{u"Taken: 2024-05-03 14:22:07.25 +02:00"_s, u"Camera: Canon EOS R5"_s,
                          u"Lens: Canon RF50mm F1.8 STM"_s, u"Exposure: 1/250 s"_s,
                          u"Aperture: f/2.8"_s, u"Sensitivity: ISO 400"_s, u"Focal Length: 50 mm"_s,
                          u"Exposure Bias: \u22120.3 EV"_s, u"Dimensions: 8192 × 5464"_s,
                          u"File: 9.1 MB · JPEG image"_s, u"Companions: RAW+JPG"_s}));

    // A screenshot records nothing of a camera: the line says what the file is.
    PhotoInfo plain;
    plain.pixelWidth = 1920;
    plain.pixelHeight = 1080;
    plain.byteCount = 312'000;
    plain.format = u"PNG image"_s;
    QCOMPARE(PhotoInfoText::summary(plain), u"1920 × 1080 · PNG image · 312.0 kB"_s);
    QCOMPARE(PhotoInfoText::rows(plain).size(), 2);

    // A clip: its length and how it was encoded, after its size.
    plain.durationMs = 62'400;
    plain.videoCodec = u"HEVC"_s;
    plain.frameRate = 29.97;
    const QList<PhotoInfoText::Row> clip = PhotoInfoText::rows(plain);
    QCOMPARE(clip.size(), 4);
    QCOMPARE(clip[1].label + u": "_s + clip[1].value, u"Duration: 1:02"_s);
    QCOMPARE(clip[2].label + u": "_s + clip[2].value, u"Video: HEVC · 29.97 fps"_s);
    QCOMPARE(PhotoInfoText::summary(plain), u"1:02 · 1920 × 1080 · HEVC · PNG image · 312.0 kB"_s);
}

QTEST_APPLESS_MAIN(tst_PhotoInfoText)
#include "tst_PhotoInfoText.moc"
