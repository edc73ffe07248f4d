// Writes N photo-like JPEGs over ROOT and twenty category folders for the scan benchmark.
// Files that already exist are kept, so an interrupted run can simply be started again.
//   calvenor-make-corpus ROOT N WIDTH HEIGHT [--exif-thumbnails]
// With --exif-thumbnails every photo carries a 160 × 120 EXIF thumbnail, as cameras write it.

#include "Samples/SamplePhotos.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {

constexpr int categoryCount = 20;

QString folderFor(const QString &root, int index)
{
    const int folder = index % (categoryCount + 1); // 0 is the root itself (Unsorted)
    return folder == 0 ? root
                       : root + QStringLiteral("/Category %1").arg(folder, 2, 10, QLatin1Char('0'));
}

// Written under a hidden name and renamed, so a killed run never leaves a truncated photo
// that the next run would take for a finished one.
bool writeAtomically(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    const QString part =
        info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part");
    QFile file(part);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        QFile::remove(part);
        return false;
    }
    file.close();
    if (!QFile::rename(part, path)) { // Qt never replaces: someone else wrote it meanwhile
        QFile::remove(part);
        return QFileInfo::exists(path);
    }
    return true;
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
    const bool cameraThumbnails = argc == 6 && qstrcmp(argv[5], "--exif-thumbnails") == 0;
    const bool valid = argc == 5 || cameraThumbnails;
    const int count = valid ? parsePositive(argv[2]) : 0;
    const int width = valid ? parsePositive(argv[3]) : 0;
    const int height = valid ? parsePositive(argv[4]) : 0;
    if (count == 0 || width == 0 || height == 0) {
        std::fprintf(stderr, "usage: %s ROOT N WIDTH HEIGHT [--exif-thumbnails]\n", argv[0]);
        return 2;
    }
    const QString root = QDir(QFile::decodeName(argv[1])).absolutePath();
    for (int i = 0; i <= categoryCount && i < count; ++i) {
        if (!QDir().mkpath(folderFor(root, i))) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(folderFor(root, i)));
            return 1;
        }
    }

    std::vector<int> indices(static_cast<size_t>(count));
    std::iota(indices.begin(), indices.end(), 0);
    std::atomic<int> done{0}, written{0}, failed{0};
    const int step = std::max(1, count / 10);
    QtConcurrent::blockingMap(indices, [&](int i) {
        const QString path =
            folderFor(root, i) + QStringLiteral("/IMG_%1.jpg").arg(i + 1, 5, 10, QLatin1Char('0'));
        if (!QFileInfo::exists(path)) {
            // One photo in six of every folder is stored sideways, as cameras do.
            const int orientation = (i / (categoryCount + 1)) % 6 == 0 ? 6 : 0;
            const QImage image = SamplePhotos::makeImage(width, height, quint32(i + 1));
            const QByteArray bytes = cameraThumbnails
                                         ? SamplePhotos::encodeCameraJpeg(image, orientation)
                                         : SamplePhotos::encodeJpeg(image, orientation);
            if (writeAtomically(path, bytes)) {
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
    std::printf("%d written, %d already present, %d failed in %s\n", written.load(),
                count - written.load() - failed.load(), failed.load(), qPrintable(root));
    return failed.load() == 0 ? 0 : 1;
}
