// Videos read in process: the header's facts without decoding, the first key frame upright, a
// video read where it lies inside another file, and hostile files that must stay harmless. The
// clips are made here by the ffmpeg tool from a picture whose halves differ, so a wrong turn
// shows.

#include "Services/Decoders/ImageDecoders.h"
#include "Services/Decoders/VideoDecoder.h"
#include "Services/ImageDimensionsReader.h"
#include "Services/Platform/ImageTypeDetector.h"
#include "support/Bytes.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Red on the left, blue on the right, as stored in the clip.
QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            image.setPixel(x, y, qRgb(255, 0, 0));
        }
    }
    return image;
}

bool isReddish(QRgb c)
{
    return qRed(c) > 180 && qBlue(c) < 80;
}
bool isBluish(QRgb c)
{
    return qBlue(c) > 180 && qRed(c) < 80;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class tst_VideoDecoder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_still;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Encodes the still for two seconds into `name` with the given ffmpeg output options; or,
    // with "remux" first, copies the H.264 clip with those options.
    QString clip(const QString &name, QStringList options)
    {
        const QString out = path(name);
        if (QFile::exists(out)) {
            return out;
        }
        QStringList input{u"-loop"_s, u"1"_s,  u"-framerate"_s, u"25"_s,       u"-i"_s,
                          m_still,    u"-t"_s, u"2"_s,          u"-pix_fmt"_s, u"yuv420p"_s};
        if (options.value(0) == u"remux"_s) {
            input = QStringList{u"-i"_s, clip(u"plain.mp4"_s, u"-c:v libx264"_s.split(u' '))};
            options.removeFirst();
        }
        QProcess ffmpeg;
        ffmpeg.start(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-y"_s} + input + options +
                                      QStringList{out});
        if (!ffmpeg.waitForFinished(120'000) || ffmpeg.exitCode() != 0) {
            qWarning() << ffmpeg.readAllStandardError();
            return {};
        }
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_still = path(u"still.png"_s);
        QVERIFY(halves(320, 240).save(m_still));
    }

    void readsCameraAndPhoneClips_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("upright");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("redAt"); // where the stored picture's left half is shown

        const auto row = [](const char *name, const QString &file, const QString &options,
                            QSize upright, const QString &codec, const QString &redAt = u"left"_s) {
            QTest::newRow(name) << file << options.split(u' ') << upright << codec << redAt;
        };
        row("H.264 in MP4", u"h264.mp4"_s,
            u"-c:v libx264 -preset ultrafast -metadata creation_time=2024-05-03T12:22:07Z"_s,
            {320, 240}, u"H.264"_s);
        row("HEVC in MOV", u"hevc.mov"_s, u"-c:v libx265 -preset ultrafast -tag:v hvc1"_s,
            {320, 240}, u"HEVC"_s);
        // A phone held upright: its matrix reads -90°, players turn it clockwise.
        row("turned a quarter clockwise", u"turned.mov"_s,
            u"remux -c copy -metadata:s:v:0 rotate=270"_s, {240, 320}, u"H.264"_s, u"top"_s);
        row("turned a quarter back", u"back.mov"_s, u"remux -c copy -metadata:s:v:0 rotate=90"_s,
            {240, 320}, u"H.264"_s, u"bottom"_s);
        row("MPEG-4 in AVI", u"mpeg4.avi"_s, u"-c:v mpeg4 -q:v 3"_s, {320, 240}, u"MPEG-4"_s);
        row("camera's transport stream", u"camera.mts"_s, u"-c:v libx264 -preset ultrafast"_s,
            {320, 240}, u"H.264"_s);
        row("VP9 in WebM", u"clip.webm"_s, u"-c:v libvpx-vp9 -deadline realtime"_s, {320, 240},
            u"VP9"_s);
        row("anamorphic pixels", u"wide.mkv"_s, u"-c:v libx264 -preset ultrafast -aspect 16:9"_s,
            {427, 240}, u"H.264"_s);
    }

    // The facts come from the header, the picture is the clip's first frame, upright, and the
    // scan sees a video with its length.
    void readsCameraAndPhoneClips()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, options);
        QFETCH(QSize, upright);
        const QString file = clip(name, options);
        QVERIFY(!file.isEmpty());
        QCOMPARE(ImageTypeDetector().kindOf(file, name), ImageKind::video);

        const std::optional<ImageSource> source = ImageSource::open(file);
        QVERIFY(source);
        const ImageDecoder &decoder = ImageDecoders::forFile(*source);
        const VideoDecoder::Facts facts = VideoDecoder::facts(*source);
        QCOMPARE(facts.uprightSize, upright);
        QTEST(facts.codec, "codec");
        QVERIFY2(qAbs(facts.durationMs - 2000) <= 100,
                 qPrintable(QString::number(facts.durationMs)));
        QVERIFY(qAbs(facts.frameRate - 25) < 0.01);
        const ImageDimensions dimensions = ImageDimensionsReader::imageDimensions(file);
        QCOMPARE(QSize(int(dimensions.width), int(dimensions.height)), upright);
        QCOMPARE(dimensions.durationMs, facts.durationMs);
        if (name == u"h264.mp4"_s) {
            QVERIFY(dimensions.captureTime);
            QCOMPARE(dimensions.captureTime->moment().toDateTime(),
                     QDateTime(QDate(2024, 5, 3), QTime(12, 22, 7), QTimeZone::utc()));
        }

        const QImage frame = decoder.decode(*source, 160);
        const QSize fitted = upright.scaled(160, 160, Qt::KeepAspectRatio);
        QVERIFY2(qAbs(frame.width() - fitted.width()) + qAbs(frame.height() - fitted.height()) <= 1,
                 qPrintable(u"%1 × %2"_s.arg(frame.width()).arg(frame.height())));
        const int w = frame.width();
        const int h = frame.height();
        QFETCH(QString, redAt);
        const QPoint top(w / 2, h / 8);
        const QPoint bottom(w / 2, h * 7 / 8);
        const QPoint left(w / 8, h / 2);
        const QPoint right(w * 7 / 8, h / 2);
        const QRgb red = frame.pixel(redAt == u"top"_s      ? top
                                     : redAt == u"bottom"_s ? bottom
                                                            : left);
        const QRgb blue = frame.pixel(redAt == u"top"_s      ? bottom
                                      : redAt == u"bottom"_s ? top
                                                             : right);
        QVERIFY2(isReddish(red) && isBluish(blue),
                 qPrintable(u"%1 %2"_s.arg(red, 0, 16).arg(blue, 0, 16)));
    }

    // A motion photo's video lies after the picture: read through that range alone, it is a
    // whole clip; the photo itself is no video, and the scan tells it from a plain JPEG by the
    // clip its XMP declares.
    void readsAVideoInsideAnotherFile()
    {
        const QString video = clip(u"inner.mp4"_s, u"-c:v libx264 -preset ultrafast"_s.split(u' '));
        QVERIFY(!video.isEmpty());
        const QByteArray inner = readAll(video);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && halves(320, 240).save(&buffer, "JPG"));
        const QByteArray picture = Bytes::withMicroVideo(jpeg, inner.size());
        const QString plain = path(u"plain.jpg"_s);
        write(plain, jpeg + inner);
        QVERIFY(!ImageDimensionsReader::imageDimensions(plain).embeddedVideo);
        const QString motion = path(u"motion.jpg"_s);
        write(motion, picture + inner);
        const ImageDimensions dimensions = ImageDimensionsReader::imageDimensions(motion);
        QCOMPARE(dimensions.width, 320);
        QVERIFY(dimensions.embeddedVideo);
        QCOMPARE(dimensions.durationMs, 0);
        const std::optional<ImageSource> source = ImageSource::open(motion);
        QVERIFY(source);
        QVERIFY(VideoDecoder::facts(*source).uprightSize.isEmpty());
        const VideoDecoder::Facts facts =
            VideoDecoder::facts(*source, picture.size(), inner.size());
        QCOMPARE(facts.uprightSize, QSize(320, 240));
        const QImage frame = VideoDecoder::firstFrame(*source, 64, DecodeBudget::shared(),
                                                      picture.size(), inner.size());
        QCOMPARE(frame.size(), QSize(64, 48));
        QVERIFY(isReddish(frame.pixel(4, 24)) && isBluish(frame.pixel(60, 24)));
    }

    void readsWhenAClipWasFilmed_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("clock"); // empty: no time
        QTest::addColumn<int>("offsetMinutes");

        QTest::newRow("a phone's own clock")
            << u"2024-05-03T14:22:07+0200"_s << u"2024-05-03 14:22:07.000"_s << 120;
        QTest::newRow("west, with a colon")
            << u"2024-05-03T09:22:07.5-05:00"_s << u"2024-05-03 09:22:07.500"_s << -300;
        QTest::newRow("UTC shown in summer time here")
            << u"2024-05-03T12:22:07.000000Z"_s << u"2024-05-03 14:22:07.000"_s << 120;
        QTest::newRow("UTC in winter here")
            << u"2024-01-03 12:22:07"_s << u"2024-01-03 13:22:07.000"_s << 60;
        QTest::newRow("unset: 1904") << u"1904-01-01T00:00:00.000000Z"_s << QString() << 0;
        QTest::newRow("unset: 1970") << u"1970-01-01T00:00:00Z"_s << QString() << 0;
        QTest::newRow("month 13") << u"2024-13-03T12:22:07Z"_s << QString() << 0;
        QTest::newRow("not a time") << u"yesterday"_s << QString() << 0;
    }

    void readsWhenAClipWasFilmed()
    {
        QFETCH(QString, value);
        QFETCH(QString, clock);
        const auto time = VideoDecoder::captureTimeOf(value, QTimeZone("Europe/Paris"));
        QCOMPARE(bool(time), !clock.isEmpty());
        if (time) {
            QCOMPARE(QDateTime(time->date(), time->time())
                         .addMSecs(time->nanoseconds / 1'000'000)
                         .toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s),
                     clock);
            QTEST(int(time->offsetMinutes.value_or(-1)), "offsetMinutes");
        }
    }

    void hostileFilesStayHarmless_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");

        const QString secret = path(u"secret.mp4"_s);
        const QByteArray good = readAll(clip(
            u"good.mp4"_s, u"-c:v libx264 -preset ultrafast -movflags +faststart"_s.split(u' ')));
        QVERIFY(!good.isEmpty());
        QFile::copy(path(u"good.mp4"_s), secret);
        QByteArray huge = good;
        // The sample entry's width and height (16 bits each) claim 65535 × 65535.
        const qsizetype entry = huge.indexOf("stsd") + 16; // the first sample entry's type
        QVERIFY(entry > 16 && huge.mid(entry, 4) == "avc1");
        huge.replace(entry + 4 + 24, 4, QByteArray("\xff\xff\xff\xff", 4));
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < noise.size(); ++i) {
            noise[i] = char((i * 7919 + 13) >> 3);
        }
        QTest::newRow("zero bytes") << u"empty.mov"_s << QByteArray();
        QTest::newRow("random bytes") << u"noise.mp4"_s << noise;
        // Written as it was filmed: the index comes last and is cut off.
        const QByteArray filmed =
            readAll(clip(u"filmed.mp4"_s, u"-c:v libx264 -preset ultrafast"_s.split(u' ')));
        QTest::newRow("truncated") << u"cut.mp4"_s << filmed.left(filmed.size() * 2 / 3);
        QTest::newRow("size beyond the cap") << u"huge.mp4"_s << huge;
        QTest::newRow("HLS playlist")
            << u"list.mp4"_s
            << (u"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nfile://"_s + secret +
                u"\n#EXTINF:2,\nhttp://127.0.0.1:9/x.ts\n#EXT-X-ENDLIST\n"_s)
                   .toUtf8();
        QTest::newRow("concat list")
            << u"concat.mp4"_s << (u"ffconcat version 1.0\nfile '"_s + secret + u"'\n"_s).toUtf8();
    }

    // Never a crash or a hang, never a picture or a size made up, never another file read.
    void hostileFilesStayHarmless()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const QString file = path(name);
        write(file, bytes);
        const std::optional<ImageSource> source = ImageSource::open(file);
        QVERIFY(source);
        QVERIFY(VideoDecoder::facts(*source).uprightSize.isEmpty());
        QVERIFY(ImageDecoders::forFile(*source).decode(*source, 256).isNull());
        QCOMPARE(ImageDimensionsReader::imageDimensions(file).width, 0);
    }
};

QTEST_GUILESS_MAIN(tst_VideoDecoder)
#include "tst_VideoDecoder.moc"
