// Times the thumbnail service rendering every photo under ROOT (see make-corpus.sh) for a
// 368-pixel cell, against Debian's vipsthumbnail over the same files in the same run.
//   calvenor-thumb-bench ROOT
//
// Before anything is timed every file is read to the end once (as `cat` would), so both sides
// decode from the page cache, and each side renders one photo untimed so its libraries are
// loaded. Then three rounds, each timing the service and then vipsthumbnail:
//   service        a fresh ThumbnailService (empty cache, defaultThreadCount() threads) with
//                  the freedesktop thumbnail lookup switched off, so every photo goes through
//                  our decoder. Timed from the first request to the last answer.
//   vipsthumbnail  `vipsthumbnail -s 368` with VIPS_CONCURRENCY=1, as many processes as the
//                  service has threads, the photos split between them (xargs). It also encodes
//                  and writes each thumbnail, which the service does not have to do.
// Every answer is checked: a null image, a thumbnail larger than the cell or a missing
// vipsthumbnail output ends the benchmark with an error instead of a figure.
// Throughput is photos divided by the median round's wall time. Peak resident memory is this
// process's own (getrusage), never vipsthumbnail's.
// The last line is machine-readable: thumbs_per_s=… vips_per_s=… threads=… rss_mb=…

#include "Services/FolderScanner.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "Services/ThumbnailService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int cellPixels = 368;
constexpr int rounds = 3;
// Longest vipsthumbnail command line, in photos.
constexpr int maximumBatch = 500;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "thumb-bench: %s\n", qPrintable(message));
    std::exit(1);
}

QList<Photo> listPhotos(const QUrl &root)
{
    const FolderScanner scanner(std::make_shared<LinuxFileSystem>());
    const Result<PhotoCollection> collection = scanner.scan(root, PhotoSortOrder::filename);
    if (!collection) {
        fail(collection.error().message);
    }
    QList<Photo> photos;
    for (const PhotoSection &section : collection->sections) {
        photos += section.photos;
    }
    return photos;
}

// Reads the whole file and throws the bytes away, so later decodes never wait on the disk.
void readThrough(const QString &path)
{
    static std::array<char, 1 << 20> buffer;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(QStringLiteral("cannot read ") + path);
    }
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

struct CpuTimes
{
    double self = 0;     // this process, every thread
    double children = 0; // waited-for child processes and their own children
};

double milliseconds(const timeval &time)
{
    return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3;
}

CpuTimes cpuNow()
{
    rusage self{};
    rusage children{};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &children);
    return {milliseconds(self.ru_utime) + milliseconds(self.ru_stime),
            milliseconds(children.ru_utime) + milliseconds(children.ru_stime)};
}

double peakResidentMegabytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage); // this process only, never the vipsthumbnail children
    return double(usage.ru_maxrss) / 1024.0;
}

bool fitsCell(QSize size)
{
    return !size.isEmpty() && std::max(size.width(), size.height()) <= cellPixels;
}

// One service run over `photos`; returns how many thumbnails came out exactly cellPixels
// on their longest side (the rest are photos smaller than the cell).
qsizetype renderWithService(const QList<Photo> &photos, int threads)
{
    // No system thumbnail is ever found, so every photo is decoded by our own downsampler.
    const auto noSystemThumbnail = [](const QString &, int) { return QImage(); };
    ThumbnailService service(threads, noSystemThumbnail);
    std::vector<QSize> sizes(size_t(photos.size()));
    QSemaphore answered;
    std::vector<std::shared_ptr<ThumbnailRequest>> requests;
    requests.reserve(size_t(photos.size()));
    for (qsizetype i = 0; i < photos.size(); ++i) {
        requests.push_back(service.request(
            photos[i], QSizeF(cellPixels, cellPixels), 1, ThumbnailService::Priority::Visible,
            nullptr, [&sizes, &answered, i](const QImage &image) {
                sizes[size_t(i)] = image.size();
                answered.release();
            }));
    }
    if (!answered.tryAcquire(int(photos.size()), 600'000)) {
        fail(QStringLiteral("the service answered %1 of %2 requests within ten minutes")
                 .arg(answered.available())
                 .arg(photos.size()));
    }
    qsizetype exact = 0;
    for (qsizetype i = 0; i < photos.size(); ++i) {
        const QSize size = sizes[size_t(i)];
        if (!fitsCell(size)) {
            fail(QStringLiteral("the service gave %1 × %2 for %3")
                     .arg(size.width())
                     .arg(size.height())
                     .arg(standardizedPath(photos[i].url)));
        }
        exact += std::max(size.width(), size.height()) == cellPixels ? 1 : 0;
    }
    return exact;
}

// vipsthumbnail over the NUL-separated paths in `fileList`: `processes` at a time, each given
// an equal share of the photos, writing into `outputFolder`.
void renderWithVips(const QString &fileList, qsizetype photoCount, int processes,
                    const QString &outputFolder)
{
    const qsizetype share = (photoCount + processes - 1) / processes;
    QProcess xargs;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VIPS_CONCURRENCY"), QStringLiteral("1"));
    xargs.setProcessEnvironment(environment);
    xargs.setStandardInputFile(fileList);
    xargs.setStandardOutputFile(QProcess::nullDevice());
    xargs.start(QStringLiteral("xargs"),
                {QStringLiteral("-0"), QStringLiteral("-n"),
                 QString::number(std::clamp<qsizetype>(share, 1, maximumBatch)),
                 QStringLiteral("-P"), QString::number(processes),
                 QStringLiteral("vipsthumbnail"), QStringLiteral("-s"),
                 QString::number(cellPixels), QStringLiteral("-o"),
                 outputFolder + QStringLiteral("/%s.jpg")});
    if (!xargs.waitForFinished(-1) || xargs.exitStatus() != QProcess::NormalExit ||
        xargs.exitCode() != 0) {
        fail(QStringLiteral("vipsthumbnail failed: ") +
             QString::fromLocal8Bit(xargs.readAllStandardError()));
    }
}

// Checks that vipsthumbnail wrote one thumbnail of the cell's size per distinct file name.
void checkVipsOutput(const QString &outputFolder, qsizetype expected)
{
    const QStringList written = QDir(outputFolder).entryList(QDir::Files);
    if (written.size() != expected) {
        fail(QStringLiteral("vipsthumbnail wrote %1 thumbnails for %2 photos")
                 .arg(written.size())
                 .arg(expected));
    }
    for (const QString &name : written) {
        const QSize size = QImageReader(outputFolder + QLatin1Char('/') + name).size();
        if (!fitsCell(size)) {
            fail(QStringLiteral("vipsthumbnail wrote %1 × %2 as %3")
                     .arg(size.width())
                     .arg(size.height())
                     .arg(name));
        }
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ROOT\n", argv[0]);
        return 2;
    }
    const QString rootPath = QDir(QFile::decodeName(argv[1])).absolutePath();
    const QList<Photo> photos = listPhotos(QUrl::fromLocalFile(rootPath));
    if (photos.isEmpty()) {
        fail(rootPath + QStringLiteral(" holds no photos"));
    }
    if (ThumbnailService::requestSize(QSizeF(cellPixels, cellPixels), 1).neededPixels !=
        cellPixels) {
        fail(QStringLiteral("a %1-point cell at scale 1 does not ask for %1 pixels")
                 .arg(cellPixels));
    }
    const int threads = ThumbnailService::defaultThreadCount();

    QByteArray fileNames;
    QStringList baseNames; // vipsthumbnail names its output after the file, folder left out
    for (const Photo &photo : photos) {
        const QString path = standardizedPath(photo.url);
        readThrough(path);
        fileNames += QFile::encodeName(path) + '\0';
        baseNames += QFileInfo(path).completeBaseName();
    }
    baseNames.removeDuplicates();
    QTemporaryFile fileList;
    if (!fileList.open() || fileList.write(fileNames) != fileNames.size() || !fileList.flush()) {
        fail(QStringLiteral("cannot write the file list"));
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        fail(QStringLiteral("cannot create a temporary folder"));
    }

    // Loads the image plugin, libjpeg and libvips before anything is timed.
    if (!fitsCell(ThumbnailService::downsample(standardizedPath(photos[0].url), cellPixels)
                      .size())) {
        fail(QStringLiteral("cannot decode ") + standardizedPath(photos[0].url));
    }
    {
        QTemporaryFile first;
        const QByteArray firstName = QFile::encodeName(standardizedPath(photos[0].url)) + '\0';
        if (!first.open() || first.write(firstName) != firstName.size() || !first.flush()) {
            fail(QStringLiteral("cannot write the file list"));
        }
        const QString warmUp = scratch.filePath(QStringLiteral("warm-up"));
        QDir().mkpath(warmUp);
        renderWithVips(first.fileName(), 1, 1, warmUp);
    }

    std::printf("%s: %lld photos, %d thread(s) for the service, %d vipsthumbnail process(es)\n",
                qPrintable(rootPath), qint64(photos.size()), threads, threads);
    std::printf("%-7s %14s %14s %16s %16s\n", "", "service ms", "vips ms", "service cpu/ph",
                "vips cpu/ph");

    std::vector<double> serviceMs, vipsMs;
    qsizetype exact = 0;
    for (int round = 1; round <= rounds; ++round) {
        QElapsedTimer timer;
        const CpuTimes beforeService = cpuNow();
        timer.start();
        exact = renderWithService(photos, threads);
        serviceMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        const CpuTimes afterService = cpuNow();

        const QString output = scratch.filePath(QStringLiteral("round-%1").arg(round));
        if (!QDir().mkpath(output)) {
            fail(QStringLiteral("cannot create ") + output);
        }
        timer.start();
        renderWithVips(fileList.fileName(), photos.size(), threads, output);
        vipsMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        const CpuTimes afterVips = cpuNow();
        checkVipsOutput(output, baseNames.size());
        QDir(output).removeRecursively();

        const double count = double(photos.size());
        std::printf("round %d %14.1f %14.1f %13.2f ms %13.2f ms\n", round, serviceMs.back(),
                    vipsMs.back(), (afterService.self - beforeService.self) / count,
                    (afterVips.children - afterService.children) / count);
        std::fflush(stdout);
    }
    std::printf("%lld of %lld thumbnails are %d pixels on their longest side, the rest smaller\n",
                qint64(exact), qint64(photos.size()), cellPixels);

    const double servicePerSecond = double(photos.size()) / (median(serviceMs) / 1e3);
    const double vipsPerSecond = double(photos.size()) / (median(vipsMs) / 1e3);
    std::printf("service / vipsthumbnail: %.2f\n", servicePerSecond / vipsPerSecond);
    std::printf("thumbs_per_s=%.1f vips_per_s=%.1f threads=%d rss_mb=%.1f\n", servicePerSecond,
                vipsPerSecond, threads, peakResidentMegabytes());
    return 0;
}
