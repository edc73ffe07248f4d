// Writes N photo-like JPEGs over ROOT and twenty category folders for the scan benchmark.
// Files that already exist are kept, so an interrupted run can simply be started again.
//   calvenor-make-corpus ROOT N WIDTH HEIGHT [--exif-thumbnails | --camera-exif] [--companions]
//                        [--one-folder] [--heic | --heic-grid]
// With --exif-thumbnails every photo carries a 160 × 120 EXIF thumbnail, as cameras write it.
// With --camera-exif every photo carries the EXIF block a camera writes (SamplePhotos::
// cameraExif): camera, lens, exposure and the time it was taken, a few seconds apart.
// With --companions the N photos are shots as a camera set to RAW+JPEG and an editor leave
// them: every other one is IMG_n.JPG with IMG_n.CR3 (a tiny DNG, see TinyRaw.h) and an
// IMG_n.xmp sidecar beside it, the rest are a lone IMG_n.JPG. Such a corpus never shares a
// folder with a plain one (IMG_n.jpg), whose names would join its shots.
// With --one-folder every photo lies in ROOT itself (a card dump); the categories stay empty.
// With --heic the photos are IMG_n.heic, one coded picture each as libheif's encoder writes it;
// with --heic-grid they are tiled in 512 × 512 pictures as phones write them (PhoneHeic.h).
// Neither carries a thumbnail item, so a thumbnail must decode the whole primary, nor a turn.

#include "BenchFiles.h"
#include "PhoneHeic.h"
#include "TinyRaw.h"

#include "Samples/SamplePhotos.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {

constexpr int categoryCount = 20;
bool oneFolder = false;

enum class Kind { jpeg, heic, heicGrid };

QString categoryFolder(const QString &root, int folder)
{
    return folder == 0 ? root
                       : root + QStringLiteral("/Category %1").arg(folder, 2, 10, QLatin1Char('0'));
}

QString folderFor(const QString &root, int index)
{
    const int folder = oneFolder ? 0 : index % (categoryCount + 1); // 0 is the root (Unsorted)
    return categoryFolder(root, folder);
}

// A sidecar as a photo editor writes it beside a RAW file: rating, label and a few settings.
QByteArray xmpSidecar(int number)
{
    return QStringLiteral(
               "<?xpacket begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
               "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"Adobe XMP Core 7.0-c000\">\n"
               " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
               "  <rdf:Description rdf:about=\"\"\n"
               "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
               "    xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\"\n"
               "    xmlns:crs=\"http://ns.adobe.com/camera-raw-settings/1.0/\"\n"
               "   xmp:Rating=\"%1\"\n"
               "   xmp:Label=\"%2\"\n"
               "   xmp:ModifyDate=\"2024-05-0%3T10:%4:00+02:00\"\n"
               "   tiff:Make=\"Canon\"\n"
               "   tiff:Model=\"Canon EOS R6\"\n"
               "   crs:Version=\"15.0\"\n"
               "   crs:WhiteBalance=\"As Shot\"\n"
               "   crs:Exposure2012=\"+0.%5\"\n"
               "   crs:Contrast2012=\"0\"\n"
               "   crs:Highlights2012=\"-%6\"\n"
               "   crs:Shadows2012=\"+%6\"\n"
               "   crs:HasCrop=\"False\"\n"
               "   crs:AlreadyApplied=\"False\"/>\n"
               " </rdf:RDF>\n"
               "</x:xmpmeta>\n"
               "<?xpacket end=\"w\"?>\n")
        .arg(number % 6)
        .arg(number % 3 == 0 ? QStringLiteral("Red") : QString())
        .arg(1 + number % 9)
        .arg(number % 60, 2, 10, QLatin1Char('0'))
        .arg(number % 100, 2, 10, QLatin1Char('0'))
        .arg(number % 40)
        .toUtf8();
}

int parsePositive(const char *text)
{
    bool ok = false;
    const int value = QByteArray(text).toInt(&ok);
    return ok && value > 0 ? value : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bool cameraThumbnails = false, cameraExif = false, companions = false, valid = argc >= 5;
    Kind kind = Kind::jpeg;
    for (int i = 5; i < argc; ++i) {
        if (qstrcmp(argv[i], "--exif-thumbnails") == 0) {
            cameraThumbnails = true;
        } else if (qstrcmp(argv[i], "--camera-exif") == 0) {
            cameraExif = true;
        } else if (qstrcmp(argv[i], "--companions") == 0) {
            companions = true;
        } else if (qstrcmp(argv[i], "--one-folder") == 0) {
            oneFolder = true;
        } else if (qstrcmp(argv[i], "--heic") == 0 && kind == Kind::jpeg) {
            kind = Kind::heic;
        } else if (qstrcmp(argv[i], "--heic-grid") == 0 && kind == Kind::jpeg) {
            kind = Kind::heicGrid;
        } else {
            valid = false;
        }
    }
    const int count = valid ? parsePositive(argv[2]) : 0;
    const int width = valid ? parsePositive(argv[3]) : 0;
    const int height = valid ? parsePositive(argv[4]) : 0;
    // A HEIC corpus has neither EXIF thumbnails nor RAW companions.
    if (count == 0 || width == 0 || height == 0 ||
        (kind != Kind::jpeg && (cameraThumbnails || cameraExif || companions))
        || (cameraThumbnails && cameraExif)) {
        std::fprintf(stderr,
                     "usage: %s ROOT N WIDTH HEIGHT [--exif-thumbnails | --camera-exif] "
                     "[--companions] [--one-folder] [--heic | --heic-grid]\n",
                     argv[0]);
        return 2;
    }
    const QString root = QDir(QFile::decodeName(argv[1])).absolutePath();
    // IMG_00001.jpg and IMG_00001.JPG would be one shot of two JPEGs.
    const QString otherKind = root + (companions ? QStringLiteral("/IMG_00001.jpg")
                                                 : QStringLiteral("/IMG_00001.JPG"));
    if (QFileInfo::exists(otherKind)) {
        std::fprintf(stderr, "%s holds a corpus made %s --companions; use another folder\n",
                     qPrintable(root), companions ? "without" : "with");
        return 1;
    }
    const QByteArray raw = companions ? TinyRaw::dng() : QByteArray();
    for (int i = 0; i <= categoryCount && (i < count || oneFolder); ++i) {
        if (!QDir().mkpath(categoryFolder(root, i))) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(categoryFolder(root, i)));
            return 1;
        }
    }

    std::vector<int> indices(static_cast<size_t>(count));
    std::iota(indices.begin(), indices.end(), 0);
    std::atomic<int> done{0}, written{0}, failed{0};
    const int step = std::max(1, count / 10);
    QtConcurrent::blockingMap(indices, [&](int i) {
        const QString stem =
            folderFor(root, i) + QStringLiteral("/IMG_%1").arg(i + 1, 5, 10, QLatin1Char('0'));
        const QString path = stem + (kind != Kind::jpeg ? QStringLiteral(".heic")
                                     : companions       ? QStringLiteral(".JPG")
                                                        : QStringLiteral(".jpg"));
        // The companions first: a shot whose JPEG exists is finished.
        bool ready = true;
        if (companions && i % 2 == 0 && !QFileInfo::exists(path)) {
            const QString rawPath = stem + QStringLiteral(".CR3");
            const QString xmpPath = stem + QStringLiteral(".xmp");
            ready =
                (QFileInfo::exists(rawPath) || BenchFiles::writeAtomically(rawPath, raw, false)) &&
                (QFileInfo::exists(xmpPath) ||
                 BenchFiles::writeAtomically(xmpPath, xmpSidecar(i + 1), false));
            if (!ready) {
                ++failed;
                std::fprintf(stderr, "cannot write the companions of %s\n", qPrintable(path));
            }
        }
        if (ready && !QFileInfo::exists(path)) {
            // One photo in six of every folder is stored sideways, as cameras do.
            const int orientation = (oneFolder ? i : i / (categoryCount + 1)) % 6 == 0 ? 6 : 0;
            const QImage image = SamplePhotos::makeImage(width, height, quint32(i + 1));
            const QDateTime taken =
                QDateTime(QDate(2024, 5, 3), QTime(8, 0), QTimeZone(2 * 3600))
                    .addMSecs(qint64(i) * 7250);
            const QByteArray bytes =
                kind == Kind::heic       ? PhoneHeic::single(image)
                : kind == Kind::heicGrid ? PhoneHeic::grid(image)
                : cameraThumbnails       ? SamplePhotos::encodeCameraJpeg(image, orientation)
                : cameraExif             ? SamplePhotos::withExifBlock(
                                   SamplePhotos::encodeJpeg(image),
                                   SamplePhotos::cameraExif(taken, orientation ? orientation : 1))
                                         : SamplePhotos::encodeJpeg(image, orientation);
            if (BenchFiles::writeAtomically(path, bytes, false)) {
                ++written;
            } else {
                ++failed;
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            }
        }
        if (const int n = ++done; n % step == 0 || n == count) {
            std::printf("%d/%d\n", n, count);
            std::fflush(stdout);
        }
    });
    std::printf("%d %s written, %d already present, %d failed in %s\n", written.load(),
                companions ? "shots" : "photos", count - written.load() - failed.load(),
                failed.load(), qPrintable(root));
    return failed.load() == 0 ? 0 : 1;
}
