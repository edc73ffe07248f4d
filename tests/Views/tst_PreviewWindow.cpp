// The preview window decoding real photos at window size and playing real clips, and the Linux
// desktop services around it: the folder dialog, focus of text fields, revealing without a file
// manager, reduce motion.

#include "Views/LinuxDesktopServices.h"
#include "Views/MotionPlayer.h"
#include "Views/PreviewMotionSource.h"
#include "Views/PreviewWindow.h"

#include "Samples/SamplePhotos.h"
#include "Services/Decoders/ExifThumbnail.h"
#include "Services/Decoders/ImageSource.h"
#include "support/Bytes.h"
#include "support/HeifWriter.h"
#include "support/PictureDifference.h"
#include "support/Quadrants.h"
#include "support/TestFolders.h"
#include "support/UnsafeImageFiles.h"

#include <QApplication>
#include <QBuffer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QtEndian>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(PreviewMotion::Kind)

namespace {

constexpr int kDecodeTimeout = 20000;

// The shown image fits the photo area in device pixels, fills it in one direction and has the
// aspect ratio of `photo`, up to rounding.
bool fitsPhotoArea(const PreviewWindow &window, QSize photo)
{
    const QSize size = window.image().size();
    const QSizeF device = QSizeF(window.photoRect().size()) * window.devicePixelRatioF();
    const QSize box(int(device.width()), int(device.height()));
    return size.width() <= box.width() && size.height() <= box.height() &&
           (size.width() == box.width() || size.height() == box.height()) &&
           std::abs(size.width() * photo.height() - size.height() * photo.width()) <=
               std::max(size.width(), size.height()) + std::max(photo.width(), photo.height());
}

PreviewWindow::ItemSource fileSource(const QString &path)
{
    return [url = QUrl::fromLocalFile(path)] { return PreviewItems{{url}}; };
}

// What the window shows of the photo at 100 %, against the photo's own pixels there.
double shownAgainstPhoto(PreviewWindow &window, const QImage &upright)
{
    const QRect area = window.photoRect();
    const QRectF part = window.zoom().visiblePart(QSizeF(upright.size()), QSizeF(area.size()));
    const QRect onScreen = window.imageRect().intersected(area);
    return PictureDifference::mean(window.grab(onScreen).toImage(), upright.copy(part.toRect()));
}

bool run(const QStringList &ffmpegArguments)
{
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-y"_s} + ffmpegArguments);
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0;
}

// A clip of `picture` made by the ffmpeg tool, as cameras and phones store them: H.264, HEVC or
// MPEG-4 Part 2 with a tone, turned by `rotation` degrees through the display matrix (a phone's
// portrait clip is stored lying down).
QString makeClip(const QString &path,
                 const QImage &picture,
                 const QStringList &codec = {u"-c:v"_s, u"libx264"_s},
                 int rotation = 0)
{
    const QString still = path + u".png"_s;
    const QString flat = rotation == 0 ? path : path + u".flat."_s + QFileInfo(path).suffix();
    const bool made =
        picture.save(still) &&
        run(QStringList{u"-loop"_s, u"1"_s, u"-framerate"_s, u"25"_s, u"-i"_s, still, u"-f"_s,
                        u"lavfi"_s, u"-i"_s, u"sine=frequency=440"_s, u"-t"_s, u"1"_s} +
            codec +
            QStringList{u"-pix_fmt"_s, u"yuv420p"_s, u"-c:a"_s, u"aac"_s, u"-shortest"_s, flat}) &&
        (rotation == 0 || run({u"-i"_s, flat, u"-c"_s, u"copy"_s, u"-metadata:s:v:0"_s,
                               u"rotate=%1"_s.arg(rotation), path}));
    return made ? path : QString();
}

// The clip's first frame as the ffmpeg tool shows it: upright.
QImage shownByFfmpeg(const QString &clip)
{
    const QString frame = clip + u".upright.png"_s;
    return run({u"-i"_s, clip, u"-frames:v"_s, u"1"_s, frame}) ? QImage(frame) : QImage();
}

// Answers every photo in `motions` with its clip, read as the main program reads it: off the
// window's thread.
PreviewWindow::MotionSource motionSource(const QHash<QUrl, PreviewMotion> &motions)
{
    return [motions](const QUrl &url) -> PreviewWindow::MotionRead {
        return [motion = motions.value(url)] { return motion; };
    };
}

// Shows `photo` in `window`, `motion` its clip.
void showWithClip(PreviewWindow &window, const QString &photo, const PreviewMotion &motion)
{
    window.setMotionSource(motionSource({{QUrl::fromLocalFile(photo), motion}}));
    window.resize(700, 600);
    window.showAtFirstItem();
}

bool isPlaying(const PreviewWindow &window)
{
    const MotionPlayer *player = window.motionPlayer();
    return player && player->isPlaying() && !player->frame().isNull();
}

// What the window shows in the middle of its photo area.
QString shownLayout(PreviewWindow &window)
{
    const QRect area = window.photoRect();
    QRect middle(0, 0, 120, 120);
    middle.moveCenter(area.center());
    return Quadrants::layoutOf(window.grab(middle).toImage());
}

} // namespace

class tst_PreviewWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void showsThePictureItDecoded_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QImage>("upright"); // the photo as it must look

        // Larger than the window, so it is decoded shrunk, and again larger when it grows.
        const QImage stored = Quadrants::make({1200, 800});
        for (const int orientation : {1, 3, 6, 8}) {
            QTest::addRow("jpeg, orientation %d", orientation)
                << u"turned.jpg"_s << SamplePhotos::encodeJpeg(stored, orientation)
                << ExifThumbnail::oriented(stored, orientation);
        }
        // Written as libheif 1.15 writes a turned photo: `ispe` turned, after `irot`.
        for (const auto &[name, format] :
             {std::pair("heic", heif_compression_HEVC), std::pair("avif", heif_compression_AV1)}) {
            for (const int orientation : {5, 6}) {
                QTest::addRow("%s, orientation %d", name, orientation)
                    << u"turned.%1"_s.arg(QLatin1StringView(name))
                    << HeifWriter::encoded({.format = format,
                                            .picture = stored,
                                            .thumbnails = {{stored, 320}},
                                            .orientation = orientation,
                                            .exifOrientation = orientation})
                    << ExifThumbnail::oriented(stored, orientation);
            }
        }
        // A header that gets the shape wrong where the picture does not.
        const QByteArray plain =
            HeifWriter::encoded({.grid = false, .picture = stored, .thumbnails = {}});
        const QByteArray turned =
            HeifWriter::withRotation(plain, 1, {HeifWriter::itemsOf(plain).primary});
        QTest::newRow("heic, ispe the other way round")
            << u"lying.heic"_s << HeifWriter::withDeclaredSize(turned, 800, 1200)
            << stored.transformed(QTransform().rotate(-90));
        // As libtiff and ImageMagick write it: the directory after the pixels, far beyond the
        // head a header read starts with.
        QByteArray tiff;
        QBuffer buffer(&tiff);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && stored.save(&buffer, "TIFF"));
        const quint32 directory = tiff.startsWith("II") ? qFromLittleEndian<quint32>(tiff.constData() + 4)
                                                        : qFromBigEndian<quint32>(tiff.constData() + 4);
        QVERIFY(directory > ImageSource::headLength);
        QTest::newRow("tiff, directory at the end") << u"late.tiff"_s << tiff << stored;
    }

    // Drawn at the picture's own shape, centred, upright; decoded at the size the window shows,
    // never at full size, again larger when the window grows.
    void showsThePictureItDecoded()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QImage, upright);
        QVERIFY(!bytes.isEmpty());
        PreviewWindow window(fileSource(TestFolders::writeFile(m_dir.path(), name, bytes)));
        window.resize(700, 600);
        window.showAtFirstItem();
        QTRY_VERIFY_WITH_TIMEOUT(!window.image().isNull(), kDecodeTimeout);
        QCOMPARE(window.fileName(), name);
        QVERIFY(window.message().isEmpty());

        const QImage &image = window.image();
        QVERIFY(fitsPhotoArea(window, upright.size()));
        const QRect drawn = window.imageRect();
        const QRect area = window.photoRect();
        QVERIFY(area.contains(drawn));
        QVERIFY(drawn.width() == area.width() || drawn.height() == area.height());
        QVERIFY((drawn.center() - area.center()).manhattanLength() <= 2);
        QVERIFY(std::abs(drawn.width() * image.height() - drawn.height() * image.width())
                <= image.width() + image.height());
        const QString layout = Quadrants::layoutOf(upright);
        QCOMPARE(Quadrants::layoutOf(image), layout);
        QCOMPARE(Quadrants::layoutOf(window.grab().toImage(), drawn), layout);

        const int smallWidth = image.width();
        window.resize(1000, 900);
        QTRY_VERIFY_WITH_TIMEOUT(window.image().width() > smallWidth, kDecodeTimeout);
        QVERIFY(fitsPhotoArea(window, upright.size()));
    }

    void newerRequestWins_data()
    {
        QTest::addColumn<QString>("second"); // empty: the store has no first item any more
        QTest::newRow("big photo, then a small one") << u"small.png"_s;
        QTest::newRow("big photo, then nothing") << QString();
    }

    void newerRequestWins()
    {
        QFETCH(QString, second);
        if (!second.isEmpty()) {
            TestFolders::writePng(m_dir.path(), second, {40, 30});
        }
        // Slow enough to decode that the newer request overtakes it.
        const QString big = m_dir.filePath(u"big.jpg"_s);
        QVERIFY(SamplePhotos::writeJpeg(big, SamplePhotos::makeImage(4000, 3000, 7)));
        std::optional<QUrl> first = QUrl::fromLocalFile(big);
        PreviewWindow window([&first] { return first ? PreviewItems{{*first}} : PreviewItems(); });
        QStringList shown;
        connect(&window, &PreviewWindow::displayChanged, &window,
                [&] { shown.append(window.fileName()); });

        window.reload();
        first = second.isEmpty() ? std::nullopt
                                 : std::optional(QUrl::fromLocalFile(m_dir.filePath(second)));
        window.reload();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isDecoding(), kDecodeTimeout);

        QCOMPARE(shown, QStringList{second}); // the big photo never shows, even for a moment
        QCOMPARE(window.fileName(), second);
        // Small photos are not enlarged.
        QCOMPARE(window.image().size(), second.isEmpty() ? QSize(0, 0) : QSize(40, 30));
    }

    void unreadableFileShowsItsNameAndANote_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("unsafe"); // an unsafe (or missing) file of this kind instead

        // A small photo whose frame header claims width × height (big-endian 16-bit).
        const auto claiming = [](const char size[4]) {
            QByteArray jpeg = SamplePhotos::encodeJpeg(SamplePhotos::makeImage(64, 48, 1));
            const qsizetype frame = jpeg.indexOf("\xFF\xC0");
            return frame > 0 ? jpeg.replace(frame + 5, 4, size, 4) : QByteArray("no frame");
        };
        QTest::newRow("not an image") << u"notes.jpg"_s << QByteArray("hello") << QString();
        QTest::newRow("header beyond the format")
            << u"huge.jpg"_s << claiming("\xFF\xFF\xFF\xFF") << QString();
        QTest::newRow("60000 x 60000 header")
            << u"vast.jpg"_s << claiming("\xEA\x60\xEA\x60") << QString();
        // Opened as thumbnails are: the note shows at once, the decode thread never waits on a
        // FIFO, never follows a link, never reads a vast or endless file.
        for (const QString &kind : UnsafeImageFiles::kinds()) {
            QTest::newRow(qPrintable(kind)) << u"x.jpg"_s << QByteArray() << kind;
        }
    }

    void unreadableFileShowsItsNameAndANote()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, unsafe);
        QTemporaryDir dir;
        const QString path = unsafe.isEmpty() ? TestFolders::writeFile(dir.path(), name, bytes)
                                               : UnsafeImageFiles::make(dir.path(), unsafe);
        PreviewWindow window(fileSource(path));
        // Runs before the window waits for its decode threads.
        const auto unblock = qScopeGuard([&] {
            if (!unsafe.isEmpty()) {
                UnsafeImageFiles::releaseFifoReader(path);
            }
        });
        window.showAtFirstItem();
        QTRY_COMPARE_WITH_TIMEOUT(window.fileName(), name, kDecodeTimeout);
        QVERIFY(window.image().isNull());
        QVERIFY(!window.message().isEmpty());
    }

    // Z shows the photo's own pixels, one to a screen pixel, decoded only around what is on
    // screen; flipping keeps the zoom at the same spot of the next photo, decoded ahead; a photo
    // gone from the disk shows the note.
    void zoomsToTheActualPixels()
    {
        const QImage stored = PictureDifference::pattern({2400, 1600});
        const QImage upright = ExifThumbnail::oriented(stored, 6); // 1600 × 2400
        const QString a = TestFolders::writeFile(m_dir.path(), u"a.jpg"_s,
                                                 SamplePhotos::encodeJpeg(stored, 6, 95));
        const QString b = TestFolders::writeFile(m_dir.path(), u"b.jpg"_s,
                                                 SamplePhotos::encodeJpeg(stored, 1, 95));
        PreviewItems items{{QUrl::fromLocalFile(a)}, 0, {QUrl::fromLocalFile(b)}};
        PreviewWindow window([&items] { return items; });
        QStringList notes;
        connect(&window, &PreviewWindow::displayChanged, &window,
                [&] { notes.append(window.message()); });
        window.resize(700, 600);
        window.showAtFirstItem();
        // Flipped to b and back before b's decode ahead is done: never a note meanwhile.
        items = {{QUrl::fromLocalFile(b)}, 0, {QUrl::fromLocalFile(a)}};
        window.reload();
        QTRY_COMPARE_WITH_TIMEOUT(window.fileName(), u"b.jpg"_s, kDecodeTimeout);
        items = {{QUrl::fromLocalFile(a)}, 0, {QUrl::fromLocalFile(b)}};
        window.reload();
        QTRY_COMPARE_WITH_TIMEOUT(window.fileName(), u"a.jpg"_s, kDecodeTimeout);
        QVERIFY(notes.join(QString()).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!window.image().isNull() && !window.isDecoding(), kDecodeTimeout);
        QVERIFY(window.detailImage().isNull());

        QTest::keyClick(&window, Qt::Key_Z);
        QCOMPARE(window.zoomLabel(), u"100\u00a0%"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!window.detailImage().isNull(), kDecodeTimeout);
        // Only what is on screen, with a margin, never the whole photo.
        const QSizeF view(window.photoRect().size());
        QVERIFY(
            window.detailPart().contains(window.zoom().visiblePart(QSizeF(upright.size()), view)));
        QVERIFY(window.detailPart().width() * window.detailPart().height() < 0.5 * 1600 * 2400);
        QVERIFY2(shownAgainstPhoto(window, upright) < 6,
                 qPrintable(QString::number(shownAgainstPhoto(window, upright))));

        // Dragged to the corner: the view follows, and so does the decode.
        QTest::mousePress(&window, Qt::LeftButton, {}, window.photoRect().center());
        for (int step = 1; step <= 10; ++step) {
            QTest::mouseMove(&window, window.photoRect().center() + QPoint(step * 100, step * 100));
        }
        QTest::mouseRelease(&window, Qt::LeftButton, {},
                            window.photoRect().center() + QPoint(1000, 1000));
        QCOMPARE(window.zoom().visiblePart(QSizeF(upright.size()), view).topLeft(), QPointF(0, 0));
        QTRY_VERIFY_WITH_TIMEOUT(window.detailPart().topLeft() == QPointF(0, 0), kDecodeTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(shownAgainstPhoto(window, upright) < 6, kDecodeTimeout);

        // The arrows flip to b, decoded ahead: shown at once, at 100 %, at the same spot.
        QTRY_VERIFY_WITH_TIMEOUT(!window.isDecoding(), kDecodeTimeout);
        const PreviewZoom locked = window.zoom();
        items = {{QUrl::fromLocalFile(b)}, 0, {QUrl::fromLocalFile(a)}};
        window.reload();
        QCOMPARE(window.fileName(), u"b.jpg"_s);
        QVERIFY(!window.detailImage().isNull());
        QVERIFY(window.zoom() == locked);
        QVERIFY(shownAgainstPhoto(window, stored) < 6);

        // b vanishes; zooming again finds it gone.
        QVERIFY(QFile::remove(b));
        QTest::keyClick(&window, Qt::Key_Minus);
        QTRY_VERIFY_WITH_TIMEOUT(!window.message().isEmpty(), kDecodeTimeout);
        QVERIFY(window.image().isNull());

        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.zoom().isFitted());
    }

    // Two to four photos side by side: a click or Tab asks the board to focus another one, and
    // every pane follows the one zoom. I shows the focused photo's information.
    void comparesSideBySide()
    {
        QList<QUrl> urls;
        for (const QString &name : {u"c1.jpg"_s, u"c2.jpg"_s, u"c3.jpg"_s}) {
            urls.append(QUrl::fromLocalFile(TestFolders::writeFile(
                m_dir.path(), name,
                SamplePhotos::encodeJpeg(PictureDifference::pattern({1800, 1200}), 1, 90))));
        }
        PreviewItems items{urls, 1};
        PreviewWindow window([&items] { return items; });
        QList<QUrl> asked;
        window.setFocusRequest([&](const QUrl &url) {
            asked.append(url);
            items.focused = urls.indexOf(url);
            window.reload();
        });
        window.setInfoSource([](const QUrl &url) -> PreviewWindow::InfoRead {
            return [name = url.fileName()] { return QList<PhotoInfoText::Row>{{u"File"_s, name}}; };
        });
        window.resize(900, 700);
        window.showAtFirstItem();
        QCOMPARE(window.paneCount(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isDecoding(), kDecodeTimeout);
        QCOMPARE(window.fileName(), u"c2.jpg"_s);
        // Two by two: c1 top left, c2 top right, c3 bottom left.
        QVERIFY(window.photoRect().left() > window.width() / 2);
        QVERIFY(window.photoRect().bottom() < window.height() / 2);

        QTest::keyClick(&window, Qt::Key_Tab);
        QTest::mouseClick(&window, Qt::LeftButton, {},
                          QPoint(window.width() / 4, window.height() / 4));
        QCOMPARE(asked, (QList<QUrl>{urls[2], urls[0]}));
        QCOMPARE(window.fileName(), u"c1.jpg"_s);

        QTest::keyClick(&window, Qt::Key_Z);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isDecoding(), kDecodeTimeout);
        QVERIFY(!window.detailImage().isNull());
        QTest::keyClick(&window, Qt::Key_Tab);
        QCOMPARE(window.fileName(), u"c2.jpg"_s);
        QVERIFY(!window.zoom().isFitted()); // the zoom is shared
        QTRY_VERIFY_WITH_TIMEOUT(!window.detailImage().isNull(), kDecodeTimeout);

        QTest::keyClick(&window, Qt::Key_I);
        QTRY_COMPARE_WITH_TIMEOUT(window.infoRows(),
                                  (QList<PhotoInfoText::Row>{{u"File"_s, u"c2.jpg"_s}}),
                                  kDecodeTimeout);
        // Filed from the comparison: two are left, side by side.
        items = {{urls[0], urls[2]}, 1};
        window.reload();
        QCOMPARE(window.paneCount(), 2);
        QCOMPARE(window.fileName(), u"c3.jpg"_s);
        QVERIFY(!window.image().isNull()); // kept from before, not decoded again
    }

    void playsVideos_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<int>("rotation");

        const QStringList h264{u"-c:v"_s, u"libx264"_s};
        QTest::newRow("H.264 MP4") << u"clip.mp4"_s << h264 << 0;
        QTest::newRow("H.264 MP4, portrait") << u"portrait.mp4"_s << h264 << 90;
        QTest::newRow("HEVC MOV, portrait the other way")
            << u"hevc.mov"_s << QStringList{u"-c:v"_s, u"libx265"_s,      u"-tag:v"_s,
                                            u"hvc1"_s, u"-x265-params"_s, u"log-level=error"_s}
            << 270;
        QTest::newRow("MPEG-4 Part 2 MP4")
            << u"old.mp4"_s << QStringList{u"-c:v"_s, u"mpeg4"_s} << 0;
    }

    // A video plays as soon as it is shown, upright, muted, round and round while it is short;
    // M lets its sound play and M again mutes it.
    void playsVideos()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, codec);
        QFETCH(int, rotation);
        const QImage stored = Quadrants::make({320, 240});
        const QString clip = makeClip(m_dir.filePath(name), stored, codec, rotation);
        QVERIFY(!clip.isEmpty());
        const QString upright = Quadrants::layoutOf(shownByFfmpeg(clip));
        QCOMPARE(upright == Quadrants::layoutOf(stored), rotation == 0);
        PreviewWindow window(fileSource(clip));
        showWithClip(window, clip, {PreviewMotion::Kind::video, clip});
        QTRY_VERIFY_WITH_TIMEOUT(isPlaying(window), kDecodeTimeout);
        const MotionPlayer *player = window.motionPlayer();
        QVERIFY(window.isMuted() && player->isMuted());
        QCOMPARE(window.fileName(), name);
        QVERIFY(window.message().isEmpty()); // no note over a video
        QTRY_COMPARE_WITH_TIMEOUT(shownLayout(window), upright, kDecodeTimeout);

        // One second long: it comes back to its start and plays on.
        qint64 furthest = 0;
        bool wrapped = false;
        connect(player, &MotionPlayer::positionChanged, &window, [&](qint64 at) {
            wrapped = wrapped || at < furthest;
            furthest = std::max(furthest, at);
        });
        QTRY_VERIFY_WITH_TIMEOUT(wrapped && furthest > 0, kDecodeTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(isPlaying(window), kDecodeTimeout);

        QTest::keyClick(&window, Qt::Key_M);
        QVERIFY(!window.isMuted() && !player->isMuted());
        QTest::keyClick(&window, Qt::Key_M);
        QVERIFY(window.isMuted() && player->isMuted());
        QCOMPARE(window.motionPlayer(), player); // the same clip plays on
    }

    // The arrows (the store's new items) stop a clip at once, before the next photo is even
    // decoded; closing stops it silently; sound stays as chosen while the window is open.
    void changingThePhotoStopsTheClip()
    {
        const QImage picture = Quadrants::make({320, 240});
        const QString a = makeClip(m_dir.filePath(u"a.mp4"_s), picture);
        const QString c = makeClip(m_dir.filePath(u"c.mp4"_s), picture);
        QVERIFY(!a.isEmpty() && !c.isEmpty());
        const QString b = TestFolders::writeJpeg(m_dir.path(), u"b.jpg"_s, {80, 60});
        PreviewItems items{{QUrl::fromLocalFile(a)}};
        PreviewWindow window([&items] { return items; });
        window.setMotionSource(
            motionSource({{QUrl::fromLocalFile(a), {PreviewMotion::Kind::video, a}},
                          {QUrl::fromLocalFile(c), {PreviewMotion::Kind::video, c}}}));
        window.showAtFirstItem();
        QTRY_VERIFY_WITH_TIMEOUT(isPlaying(window), kDecodeTimeout);
        QTest::keyClick(&window, Qt::Key_M);
        QPointer<const MotionPlayer> first = window.motionPlayer();

        items = {{QUrl::fromLocalFile(b)}};
        window.reload();
        QVERIFY(!window.motionPlayer());
        QVERIFY(first->isStopped());
        QTRY_VERIFY(first.isNull());
        QTRY_COMPARE_WITH_TIMEOUT(window.fileName(), u"b.jpg"_s, kDecodeTimeout);
        QVERIFY(!window.image().isNull());

        items = {{QUrl::fromLocalFile(c)}};
        window.reload();
        QTRY_VERIFY_WITH_TIMEOUT(isPlaying(window), kDecodeTimeout);
        QPointer<const MotionPlayer> second = window.motionPlayer();
        QVERIFY(!second->isMuted());

        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible() && !window.motionPlayer());
        QVERIFY(second->isStopped() && second->isMuted());
        QTRY_VERIFY(second.isNull());
        window.showAtFirstItem(); // muted again
        QTRY_VERIFY_WITH_TIMEOUT(isPlaying(window), kDecodeTimeout);
        QVERIFY(window.motionPlayer()->isMuted());
    }

    void holdingPPlaysTheClip_data()
    {
        using enum PreviewMotion::Kind;
        QTest::addColumn<PreviewMotion::Kind>("kind");
        QTest::newRow("Live Photo: a JPEG and a MOV of one name") << live;
        QTest::newRow("motion photo: the clip after the JPEG in its file") << embedded;
    }

    // The still shows until P is held: the clip plays over it while P is down (a held key's
    // repeats are no release) and the still is back when P is let go. The play button plays
    // the clip once.
    void holdingPPlaysTheClip()
    {
        QFETCH(PreviewMotion::Kind, kind);
        QTemporaryDir dir;
        const QByteArray still = SamplePhotos::encodeJpeg(Quadrants::make({640, 480}));
        const QString clip = makeClip(dir.filePath(u"IMG_1.MOV"_s),
                                      Quadrants::make({320, 240}, Qt::blue, Qt::red, Qt::green));
        QVERIFY(!clip.isEmpty());
        // What the board knows of the shot decides what plays: a Live Photo's clip is its
        // companion, a motion photo's is where its XMP says.
        Photo shot;
        shot.kind = ImageKind::jpeg;
        shot.embeddedVideo = kind == PreviewMotion::Kind::embedded;
        PreviewMotion motion{kind, clip};
        QString photo = TestFolders::writeFile(dir.path(), u"IMG_1.JPG"_s, still);
        if (!shot.embeddedVideo) {
            shot.companions = {{u"IMG_1.MOV"_s, u"1"_s, {}, 1, ImageKind::video}};
        } else {
            const QByteArray video = TestFolders::readFile(clip);
            const QByteArray withXmp = Bytes::withMicroVideo(still, video.size());
            photo = TestFolders::writeFile(dir.path(), u"PXL_1.MP.jpg"_s, withXmp + video);
            motion = {kind, photo, withXmp.size(), video.size()};
            QVERIFY(QFile::remove(clip));
        }
        shot.url = QUrl::fromLocalFile(photo);
        shot.filename = shot.url.fileName();
        QCOMPARE(PreviewMotionSource::readFor(shot)(), motion);
        PreviewWindow window(fileSource(photo));
        showWithClip(window, photo, motion);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTRY_VERIFY_WITH_TIMEOUT(!window.image().isNull() && !window.isDecoding(), kDecodeTimeout);
        const QString stillLayout = u"RB/GB"_s;
        QCOMPARE(shownLayout(window), stillLayout);
        QTRY_VERIFY(!window.playButtonRect().isEmpty()); // once the clip is known
        QVERIFY(!window.motionPlayer());

        QTest::keyPress(&window, Qt::Key_P);
        QTRY_VERIFY_WITH_TIMEOUT(isPlaying(window), kDecodeTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(shownLayout(window), u"BG/RG"_s, kDecodeTimeout);
        // Held, the key repeats as releases and presses, marked as repeats or (as X often
        // sends them) not.
        const MotionPlayer *held = window.motionPlayer();
        for (const bool marked : {true, false}) {
            for (const QEvent::Type type : {QEvent::KeyRelease, QEvent::KeyPress}) {
                QKeyEvent repeat(type, Qt::Key_P, Qt::NoModifier, u"p"_s, marked);
                QApplication::sendEvent(&window, &repeat);
            }
        }
        // Past the moment a release with no press after it counts, the same clip plays on.
        QVERIFY(!QTest::qWaitFor([&] { return window.motionPlayer() != held; }, 400));
        QTest::keyRelease(&window, Qt::Key_P);
        QTRY_VERIFY(!window.motionPlayer());
        QCOMPARE(shownLayout(window), stillLayout);

        const QRect button = window.playButtonRect();
        QVERIFY(window.imageRect().contains(button));
        QTest::mouseClick(&window, Qt::LeftButton, {}, button.center());
        QTRY_VERIFY_WITH_TIMEOUT(isPlaying(window), kDecodeTimeout);
        QVERIFY(window.playButtonRect().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!window.motionPlayer(), kDecodeTimeout); // played once
        QCOMPARE(shownLayout(window), stillLayout);
        QCOMPARE(window.playButtonRect(), button);
    }

    void unplayableClipLeavesANote_data()
    {
        QTest::addColumn<PreviewMotion::Kind>("kind");
        QTest::addColumn<QString>("clip"); // what lies where the clip is looked for
        using enum PreviewMotion::Kind;
        QTest::newRow("video: not a video") << video << u"junk"_s;
        QTest::newRow("video: empty") << video << u"empty"_s;
        QTest::newRow("video: FIFO") << video << u"fifo"_s;
        QTest::newRow("video: missing") << video << u"missing"_s;
        QTest::newRow("Live Photo: companion not a video") << live << u"junk"_s;
        QTest::newRow("Live Photo: companion a FIFO") << live << u"fifo"_s;
        QTest::newRow("motion photo: range of junk") << embedded << u"junk"_s;
        QTest::newRow("motion photo: range past the file's end") << embedded << u"past"_s;
    }

    // A clip that cannot be played never hangs the window: a video says so where its picture
    // would be, a photo keeps its still and offers nothing to play.
    void unplayableClipLeavesANote()
    {
        QFETCH(PreviewMotion::Kind, kind);
        QFETCH(QString, clip);
        QTemporaryDir dir;
        const QByteArray still = SamplePhotos::encodeJpeg(Quadrants::make({64, 48}));
        QByteArray junk(20000, Qt::Uninitialized);
        for (qsizetype i = 0; i < junk.size(); ++i) {
            junk[i] = char(i * 7919 % 253);
        }
        const bool video = kind == PreviewMotion::Kind::video;
        const QString clipPath = dir.filePath(video ? u"clip.mp4"_s : u"clip.mov"_s);
        if (clip == u"junk" || clip == u"empty") {
            TestFolders::writeFile(dir.path(), QFileInfo(clipPath).fileName(),
                                   clip == u"junk" ? junk : QByteArray());
        } else if (clip == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(clipPath).constData(), 0600), 0);
        }
        QString photo = video ? clipPath : TestFolders::writeFile(dir.path(), u"p.jpg"_s, still);
        PreviewMotion motion{kind, video ? photo : clipPath};
        if (kind == PreviewMotion::Kind::embedded) {
            photo = TestFolders::writeFile(dir.path(), u"p.jpg"_s, still + junk);
            const bool past = clip == u"past";
            motion = {kind, photo, still.size() + (past ? junk.size() + 10 : 0),
                      past ? 100000 : junk.size()};
        }
        const auto release = qScopeGuard([&] { UnsafeImageFiles::releaseFifoReader(clipPath); });
        PreviewWindow window(fileSource(photo));
        showWithClip(window, photo, motion);
        if (video) {
            QTRY_COMPARE_WITH_TIMEOUT(window.message(), u"Can\u2019t play this video"_s,
                                      kDecodeTimeout);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!window.image().isNull() && !window.isDecoding(),
                                     kDecodeTimeout);
            QTRY_VERIFY(!window.playButtonRect().isEmpty());
            QTest::keyPress(&window, Qt::Key_P); // fails while still held
            QTRY_VERIFY_WITH_TIMEOUT(!window.motionPlayer() && window.playButtonRect().isEmpty(),
                                     kDecodeTimeout);
            QTest::keyRelease(&window, Qt::Key_P);
            QVERIFY(window.message().isEmpty());
            QVERIFY(!window.image().isNull());
        }
        QVERIFY(!window.motionPlayer());
        QCOMPARE(window.fileName(), QFileInfo(photo).fileName());
    }

    void servicesDriveOnePreviewWindow()
    {
        const QString a = TestFolders::writeJpeg(m_dir.path(), u"one.jpg"_s, {80, 60});
        const QString b = TestFolders::writeJpeg(m_dir.path(), u"two.jpg"_s, {60, 80});
        QWidget mainWindow;
        mainWindow.show();
        QUrl first = QUrl::fromLocalFile(a);
        LinuxDesktopServices services(&mainWindow, [&first] { return PreviewItems{{first}}; });

        services.showPreview();
        PreviewWindow *preview = services.previewWindow();
        QVERIFY(preview && preview->isWindow() && services.isPreviewVisible());
        // In front with the keyboard: its letters are its own, not the board's.
        QVERIFY(QTest::qWaitForWindowActive(preview));
        QVERIFY(services.isPreviewActive());
        mainWindow.activateWindow();
        QTRY_VERIFY(!services.isPreviewActive());
        QVERIFY(services.isPreviewVisible());
        QTRY_COMPARE_WITH_TIMEOUT(preview->fileName(), u"one.jpg"_s, kDecodeTimeout);
        first = QUrl::fromLocalFile(b);
        services.reloadPreview();
        QTRY_COMPARE_WITH_TIMEOUT(preview->fileName(), u"two.jpg"_s, kDecodeTimeout);

        services.hidePreview();
        QVERIFY(!services.isPreviewVisible());
        first = QUrl::fromLocalFile(a);
        services.reloadPreview(); // hidden: no work
        QVERIFY(!preview->isDecoding() && preview->image().isNull());

        services.showPreview();
        QCOMPARE(services.previewWindow(), preview);
        QTRY_COMPARE_WITH_TIMEOUT(preview->fileName(), u"one.jpg"_s, kDecodeTimeout);
        QTest::keyClick(preview, Qt::Key_Escape);
        QVERIFY(!services.isPreviewVisible());
    }

    // The folder dialog does not block; it reports the chosen folder, or nothing when cancelled.
    void chooseFolderReportsTheChoice()
    {
        const QString folder = TestFolders::makeFolder(m_dir.path(), u"Pick"_s);
        QWidget mainWindow;
        mainWindow.show();
        LinuxDesktopServices services(&mainWindow, {});
        QList<std::optional<QUrl>> answers;
        for (const bool accept : {false, true}) {
            services.chooseFolder({u"Open Folder"_s, u"Pick a folder"_s, u"Sort Here"_s},
                                  [&answers](std::optional<QUrl> url) { answers.append(url); });
            auto *dialog = mainWindow.findChild<QFileDialog *>();
            QVERIFY(dialog && answers.size() == int(accept));
            QTRY_VERIFY(dialog->isVisible());
            QCOMPARE(dialog->windowTitle(), u"Open Folder"_s);
            QCOMPARE(dialog->labelText(QFileDialog::Accept), u"Sort Here"_s);
            if (accept) {
                dialog->setDirectory(m_dir.path());
                dialog->selectFile(folder);
                static_cast<QDialog *>(dialog)->accept(); // runs the file dialog's checks
            } else {
                dialog->reject();
            }
            QTRY_VERIFY(!mainWindow.findChild<QFileDialog *>());
        }
        QCOMPARE(answers, (QList<std::optional<QUrl>>{std::nullopt, QUrl::fromLocalFile(folder)}));
    }

    void textInputHasFocus()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        const QList<QWidget *> widgets = {new QPushButton, new QLineEdit, new QPlainTextEdit,
                                          new QSpinBox, new QPushButton};
        for (QWidget *widget : widgets) {
            layout->addWidget(widget);
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        LinuxDesktopServices services(&window, {});
        for (QWidget *widget : widgets) { // every one but the buttons takes typing
            widget->setFocus();
            QTRY_VERIFY(widget->hasFocus());
            QVERIFY2(services.textInputHasFocus() == !qobject_cast<QPushButton *>(widget),
                     widget->metaObject()->className());
        }
    }

    // Revealing without a file manager opens the folder; reduce motion follows the environment.
    void revealAndReduceMotionWithoutADesktopBus()
    {
        const QString photo = TestFolders::writeJpeg(m_dir.path(), u"Cats/c.jpg"_s);
        LinuxDesktopServices services(nullptr, {});
        QList<QUrl> opened;
        services.setOpenUrl([&opened](const QUrl &url) {
            opened.append(url);
            return true;
        });
        services.revealInFileManager(QUrl::fromLocalFile(photo)); // no session bus in tests
        QTRY_COMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath(u"Cats"_s))});

        const auto unset = qScopeGuard([] { qunsetenv("CALVENOR_REDUCE_MOTION"); });
        qunsetenv("CALVENOR_REDUCE_MOTION");
        QVERIFY(!services.prefersReducedMotion()); // no desktop bus in tests: animations stay on
        qputenv("CALVENOR_REDUCE_MOTION", "1");
        QVERIFY(services.prefersReducedMotion());
        qputenv("CALVENOR_REDUCE_MOTION", "0");
        QVERIFY(!services.prefersReducedMotion());
    }
};

QTEST_MAIN(tst_PreviewWindow)
#include "tst_PreviewWindow.moc"
