// Times the thumbnail service rendering every photo under ROOT (see make-corpus.sh) for a
// 368-pixel cell, against Debian's vipsthumbnail over the same files in the same run.
//   calvenor-thumb-bench [--threads N] [--budget MEGAPIXELS] [--no-vips] ROOT
//   calvenor-thumb-bench --make-png FOLDER COUNT [WIDTH HEIGHT [BITS]]
//   calvenor-thumb-bench --make-dng FOLDER COUNT
//
// Before anything is timed every file is read to the end once (as `cat` would), so both sides
// decode from the page cache, and each side renders one photo untimed so its libraries are
// loaded. Then three rounds, each timing the service and then vipsthumbnail:
//   service        a fresh ThumbnailService (empty cache, defaultThreadCount() threads unless
//                  --threads says otherwise) with the freedesktop thumbnail lookup switched
//                  off, so every photo goes through our decoder, whose whole-image decodes draw
//                  from a DecodeBudget of --budget megapixels (default: the application's;
//                  0: no bound). Timed from the first request to the last answer.
//   vipsthumbnail  `vipsthumbnail -s 368` with VIPS_CONCURRENCY=1, as many processes as the
//                  service has threads, the photos split between them (xargs). It also encodes
//                  and writes each thumbnail, which the service does not have to do. Skipped
//                  with --no-vips.
// Every answer is checked: a null image, a thumbnail larger than the cell or a missing
// vipsthumbnail output ends the benchmark with an error instead of a figure.
// Throughput is photos divided by the median round's wall time. Peak resident memory is this
// process's own (getrusage), never vipsthumbnail's. Large blocks get pages of their own, as in
// the application, so the page faults of fresh decode buffers show in `perf stat -e page-faults`
// or `/usr/bin/time -v` as they would there.
// The last line is machine-readable:
//   thumbs_per_s=… vips_per_s=… threads=… budget_mp=… peak_held_mp=… rss_mb=…
// where peak_held_mp is the most the budget ever held at once (whole-image decodes only).
//
// --make-png writes COUNT photo-like PNGs (default 8000 × 6000, 16 bits a channel, as raw
// developers export them) into FOLDER: the kind Qt decodes whole before it can shrink them.
// With BITS 8 they are 8-bit RGB, which Qt shrinks row by row instead.
//
// --make-dng writes COUNT synthetic DNGs as cameras lay them out: a 160 × 120 thumbnail, a small
// raw image and a 4000 × 3000 photo-like JPEG preview, turned by orientation 6. With
// --versus-dcraw the comparison for RAW files is LibRaw's own `simple_dcraw -e` (extracting the
// preview) followed by vipsthumbnail on what it extracted, instead of vipsthumbnail alone.

#include "BenchFiles.h"
#include "Samples/SamplePhotos.h"
#include "Services/DecodeBudget.h"
#include "Services/FolderScanner.h"
#include "Services/ImageFile.h"
#include "Services/Platform/LargeBlocks.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "Services/ThumbnailService.h"
#include "support/DngWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
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
qsizetype renderWithService(const QList<Photo> &photos, int threads, DecodeBudget &budget)
{
    // No system thumbnail is ever found, so every photo is decoded by our own downsampler.
    const auto noSystemThumbnail = [](const QString &, int) { return QImage(); };
    const auto decoder = [&budget](const QString &path, int pixels) {
        return ImageFile::read(path, pixels, budget).image;
    };
    ThumbnailService service(threads, noSystemThumbnail, decoder);
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
                    const QString &outputFolder, bool throughDcraw)
{
    const qsizetype share = (photoCount + processes - 1) / processes;
    QProcess xargs;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VIPS_CONCURRENCY"), QStringLiteral("1"));
    xargs.setProcessEnvironment(environment);
    xargs.setStandardInputFile(fileList);
    xargs.setStandardOutputFile(QProcess::nullDevice());
    QStringList command{QStringLiteral("vipsthumbnail"), QStringLiteral("-s"),
                        QString::number(cellPixels), QStringLiteral("-o"),
                        outputFolder + QStringLiteral("/%s.jpg")};
    if (throughDcraw) {
        // Each RAW's embedded preview extracted by LibRaw's own tool, then thumbnailed.
        command = {QStringLiteral("sh"), QStringLiteral("-c"),
                   // simple_dcraw writes the preview beside the RAW, as NAME.thumb.jpg.
                   QStringLiteral("for f; do simple_dcraw -e \"$f\" && "
                                  "vipsthumbnail -s %1 -o \"$0/%s.jpg\" \"$f.thumb.jpg\" && "
                                  "rm \"$f.thumb.jpg\"; done")
                       .arg(cellPixels),
                   outputFolder};
    }
    xargs.start(QStringLiteral("xargs"),
                QStringList{QStringLiteral("-0"), QStringLiteral("-n"),
                            QString::number(std::clamp<qsizetype>(share, 1, maximumBatch)),
                            QStringLiteral("-P"), QString::number(processes)} +
                    command);
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

// Smooth light with some fine structure, different for each seed: compresses about as a
// photo does, not as a flat fill.
QImage photoLikeImage(int width, int height, int bits, int seed)
{
    QImage image(width, height, bits == 16 ? QImage::Format_RGBX64 : QImage::Format_RGB32);
    const double phase = seed * 0.7;
    for (int y = 0; y < height; ++y) {
        const double v = double(y) / height;
        if (bits == 16) {
            auto *line = reinterpret_cast<QRgba64 *>(image.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const double u = double(x) / width;
                const double detail = 0.04 * std::sin(x * 0.37 + y * 0.11 + phase);
                const auto channel = [](double c) {
                    return quint16(std::clamp(c, 0.0, 1.0) * 65535);
                };
                line[x] = qRgba64(channel(0.5 + 0.4 * std::sin(6 * u + phase) + detail),
                                  channel(0.4 + 0.3 * std::cos(5 * v - phase) + detail),
                                  channel(0.3 + 0.3 * std::sin(4 * (u + v)) - detail), 65535);
            }
        } else {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const double u = double(x) / width;
                const double detail = 0.04 * std::sin(x * 0.37 + y * 0.11 + phase);
                const auto channel = [](double c) { return int(std::clamp(c, 0.0, 1.0) * 255); };
                line[x] = qRgb(channel(0.5 + 0.4 * std::sin(6 * u + phase) + detail),
                               channel(0.4 + 0.3 * std::cos(5 * v - phase) + detail),
                               channel(0.3 + 0.3 * std::sin(4 * (u + v)) - detail));
            }
        }
    }
    return image;
}

int makeDngCorpus(const QString &folder, int count)
{
    if (!QDir().mkpath(folder) || count < 1) {
        std::fprintf(stderr, "usage: --make-dng FOLDER COUNT\n");
        return 2;
    }
    for (int i = 0; i < count; ++i) {
        DngWriter::Layout layout;
        layout.previewJpeg = SamplePhotos::encodeJpeg(
            SamplePhotos::makeImage(4000, 3000, quint32(i + 1)), 1);
        layout.previewJpegSize = QSize(4000, 3000);
        const QString path =
            QDir(folder).filePath(QStringLiteral("IMG_%1.dng").arg(i, 4, 10, QLatin1Char('0')));
        if (DngWriter::write(path, layout).isEmpty()) {
            fail(QStringLiteral("cannot write ") + path);
        }
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}

int makePngCorpus(const QString &folder, int count, int width, int height, int bits)
{
    if (count < 1 || width < 1 || height < 1 || (bits != 8 && bits != 16) ||
        !QDir().mkpath(folder)) {
        std::fprintf(stderr, "usage: --make-png FOLDER COUNT [WIDTH HEIGHT [BITS(8|16)]]\n");
        return 2;
    }
    for (int i = 0; i < count; ++i) {
        const QString path =
            QDir(folder).filePath(QStringLiteral("png-%1.png").arg(i, 4, 10, QLatin1Char('0')));
        QImageWriter writer(path, "png");
        writer.setQuality(80); // zlib level 1: writing the corpus stays quick
        if (!writer.write(photoLikeImage(width, height, bits, i))) {
            fail(QStringLiteral("cannot write %1: %2").arg(path, writer.errorString()));
        }
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
    }
    return 0;
}

struct Options
{
    int threads = ThumbnailService::defaultThreadCount();
    qint64 budgetPixels = DecodeBudget::defaultPixels;
    bool vips = true;
    bool dcraw = false;
    QString root;
};

std::optional<Options> parseOptions(const QStringList &arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        bool ok = true;
        if (argument == QLatin1String("--threads") && i + 1 < arguments.size()) {
            options.threads = arguments[++i].toInt(&ok);
            ok = ok && options.threads >= 1;
        } else if (argument == QLatin1String("--budget") && i + 1 < arguments.size()) {
            options.budgetPixels = qint64(arguments[++i].toDouble(&ok) * 1e6);
            ok = ok && options.budgetPixels >= 0;
        } else if (argument == QLatin1String("--no-vips")) {
            options.vips = false;
        } else if (argument == QLatin1String("--versus-dcraw")) {
            options.dcraw = true;
        } else if (options.root.isEmpty() && !argument.startsWith(QLatin1Char('-'))) {
            options.root = argument;
        } else {
            ok = false;
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    if (options.root.isEmpty()) {
        return std::nullopt;
    }
    return options;
}

// Samples how much the budget holds while the service runs; the most it ever held.
class HeldSampler
{
public:
    explicit HeldSampler(const DecodeBudget &budget)
        : m_thread([this, &budget](std::stop_token stop) {
            while (!stop.stop_requested()) {
                m_peak = std::max(m_peak.load(), budget.heldPixels());
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        })
    {
    }
    qint64 peak() const { return m_peak; }

private:
    std::atomic<qint64> m_peak{0};
    std::jthread m_thread; // last: stops and joins before m_peak goes
};

} // namespace

int main(int argc, char **argv)
{
    useOwnPagesForLargeBlocks(); // as the application does
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() >= 4 && arguments[1] == QLatin1String("--make-png")) {
        const auto number = [&arguments](int i, int fallback) {
            return i < arguments.size() ? arguments[i].toInt() : fallback;
        };
        return makePngCorpus(arguments[2], number(3, 0), number(4, 8000), number(5, 6000),
                             number(6, 16));
    }
    if (arguments.size() >= 4 && arguments[1] == QLatin1String("--make-dng")) {
        return makeDngCorpus(arguments[2], arguments[3].toInt());
    }
    const std::optional<Options> options = parseOptions(arguments);
    if (!options) {
        std::fprintf(stderr,
                     "usage: %s [--threads N] [--budget MEGAPIXELS] [--no-vips] ROOT\n"
                     "       %s --make-png FOLDER COUNT [WIDTH HEIGHT [BITS]]\n",
                     argv[0], argv[0]);
        return 2;
    }
    const QString rootPath = QDir(options->root).absolutePath();
    const QList<Photo> photos = listPhotos(QUrl::fromLocalFile(rootPath));
    if (photos.isEmpty()) {
        fail(rootPath + QStringLiteral(" holds no photos"));
    }
    if (ThumbnailService::requestSize(QSizeF(cellPixels, cellPixels), 1).neededPixels !=
        cellPixels) {
        fail(QStringLiteral("a %1-point cell at scale 1 does not ask for %1 pixels")
                 .arg(cellPixels));
    }
    const int threads = options->threads;
    // 0 on the command line: a budget that never makes anyone wait.
    DecodeBudget budget(options->budgetPixels > 0 ? options->budgetPixels : 0);

    QByteArray fileNames;
    QStringList baseNames; // vipsthumbnail names its output after the file, folder left out
    for (const Photo &photo : photos) {
        const QString path = standardizedPath(photo.url);
        if (!BenchFiles::readThrough(path)) {
            fail(QStringLiteral("cannot read ") + path);
        }
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
    if (!fitsCell(
            ImageFile::read(standardizedPath(photos[0].url), cellPixels, budget).image.size())) {
        fail(QStringLiteral("cannot decode ") + standardizedPath(photos[0].url));
    }
    if (options->vips) {
        QTemporaryFile first;
        const QByteArray firstName = QFile::encodeName(standardizedPath(photos[0].url)) + '\0';
        if (!first.open() || first.write(firstName) != firstName.size() || !first.flush()) {
            fail(QStringLiteral("cannot write the file list"));
        }
        const QString warmUp = scratch.filePath(QStringLiteral("warm-up"));
        QDir().mkpath(warmUp);
        renderWithVips(first.fileName(), 1, 1, warmUp, options->dcraw);
    }

    std::printf("%s: %lld photos, %d thread(s) for the service, %d vipsthumbnail process(es), "
                "decode budget %s\n",
                qPrintable(rootPath), qint64(photos.size()), threads, options->vips ? threads : 0,
                options->budgetPixels > 0
                    ? qPrintable(QStringLiteral("%1 megapixels").arg(options->budgetPixels / 1e6))
                    : "unbounded");
    std::printf("%-7s %14s %14s %16s %16s\n", "", "service ms", "vips ms", "service cpu/ph",
                "vips cpu/ph");

    std::vector<double> serviceMs, vipsMs;
    qsizetype exact = 0;
    qint64 peakHeld = 0;
    for (int round = 1; round <= rounds; ++round) {
        QElapsedTimer timer;
        const BenchFiles::CpuTimes beforeService = BenchFiles::cpuNow();
        timer.start();
        {
            const HeldSampler sampler(budget);
            exact = renderWithService(photos, threads, budget);
            peakHeld = std::max(peakHeld, sampler.peak());
        }
        serviceMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        const BenchFiles::CpuTimes afterService = BenchFiles::cpuNow();
        const double count = double(photos.size());
        if (!options->vips) {
            std::printf("round %d %14.1f %14s %13.2f ms %16s\n", round, serviceMs.back(), "-",
                        (afterService.self - beforeService.self) / count, "-");
            std::fflush(stdout);
            continue;
        }

        const QString output = scratch.filePath(QStringLiteral("round-%1").arg(round));
        if (!QDir().mkpath(output)) {
            fail(QStringLiteral("cannot create ") + output);
        }
        timer.start();
        renderWithVips(fileList.fileName(), photos.size(), threads, output, options->dcraw);
        vipsMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        const BenchFiles::CpuTimes afterVips = BenchFiles::cpuNow();
        checkVipsOutput(output, baseNames.size());
        QDir(output).removeRecursively();

        std::printf("round %d %14.1f %14.1f %13.2f ms %13.2f ms\n", round, serviceMs.back(),
                    vipsMs.back(), (afterService.self - beforeService.self) / count,
                    (afterVips.children - afterService.children) / count);
        std::fflush(stdout);
    }
    std::printf("%lld of %lld thumbnails are %d pixels on their longest side, the rest smaller\n",
                qint64(exact), qint64(photos.size()), cellPixels);

    const double servicePerSecond = double(photos.size()) / (median(serviceMs) / 1e3);
    QString vipsFigure = QStringLiteral("-");
    if (options->vips) {
        const double vipsPerSecond = double(photos.size()) / (median(vipsMs) / 1e3);
        std::printf("service / vipsthumbnail: %.2f\n", servicePerSecond / vipsPerSecond);
        vipsFigure = QString::number(vipsPerSecond, 'f', 1);
    }
    std::printf("thumbs_per_s=%.2f vips_per_s=%s threads=%d budget_mp=%s peak_held_mp=%.0f "
                "rss_mb=%.1f\n",
                servicePerSecond, qPrintable(vipsFigure), threads,
                options->budgetPixels > 0 ? qPrintable(QString::number(options->budgetPixels / 1e6))
                                          : "unbounded",
                double(peakHeld) / 1e6, peakResidentMegabytes());
    return 0;
}
