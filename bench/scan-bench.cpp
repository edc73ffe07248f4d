// Times the collection scan against a floor measured on the same disk in the same run, and
// against Debian's vipsheader over the same files. Every figure is the median of three runs
// after one untimed pass that warms the disk cache.
//   calvenor-scan-bench ROOT
// The last line is machine-readable: files=N floor_ms=… scan_ms=… dims_cold_ms=…
// dims_cold_cpu_ms=… rescan_ms=… vipsheader_ms=… rss_mb=… size_read_us=… size_and_time_read_us=…
// capture_time_share_pct=…
// dims_cold_cpu_ms is the processor time (user and system, every thread) of the median cold
// scan: on a machine shared with other work it varies far less than the elapsed time.
// size_read_us and size_and_time_read_us are the processor time of one header read on this
// thread (the file opened, the decoder picked, the size read; then the capture time too), the
// two taken turn about over every photo, so the share the capture time adds is measured under
// the same load.

#include "Services/Decoders/ImageDecoders.h"
#include "Services/FileSystemService.h"
#include "Services/FolderScanner.h"
#include "Services/Platform/LinuxFileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "scan-bench: %s\n", qPrintable(message));
    std::exit(1);
}

// The least any scan has to do: list the root and its first-level folders, lstat every
// entry and read as much of every file as a header parser could possibly want.
qint64 floorPass(const QByteArray &root)
{
    static std::array<char, 64 * 1024> buffer;
    qint64 files = 0;
    const auto visit = [&](const QByteArray &folder, QList<QByteArray> *subfolders) {
        DIR *dir = ::opendir(folder.constData());
        if (!dir) {
            fail(QStringLiteral("cannot list ") + QFile::decodeName(folder));
        }
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..") {
                continue;
            }
            struct stat st;
            if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;
            }
            if (S_ISDIR(st.st_mode) && subfolders && !name.startsWith('.')) {
                subfolders->append(folder + '/' + name);
            } else if (S_ISREG(st.st_mode)) {
                const int fd = ::openat(::dirfd(dir), entry->d_name,
                                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    files += ::read(fd, buffer.data(), buffer.size()) >= 0 ? 1 : 0;
                    ::close(fd);
                }
            }
        }
        ::closedir(dir);
    };
    QList<QByteArray> subfolders;
    visit(root, &subfolders);
    for (const QByteArray &folder : std::as_const(subfolders)) {
        visit(folder, nullptr);
    }
    return files;
}

PhotoCollection scanWithoutDimensions(const QUrl &root)
{
    const FolderScanner scanner(std::make_shared<LinuxFileSystem>());
    Result<PhotoCollection> collection = scanner.scan(root, PhotoSortOrder::filename);
    if (!collection) {
        fail(collection.error().message);
    }
    return *collection;
}

PhotoCollection fullScan(FileSystemService &service, const QUrl &root)
{
    QFuture<Result<PhotoCollection>> future = service.scan(root, PhotoSortOrder::filename);
    Result<PhotoCollection> collection = future.result();
    if (!collection) {
        fail(collection.error().message);
    }
    return *collection;
}

// vipsheader over every photo, in batches through xargs, as wide as the dimension reader.
void runVipsheader(const QString &fileList)
{
    QProcess xargs;
    xargs.setStandardInputFile(fileList);
    xargs.setStandardOutputFile(QProcess::nullDevice());
    xargs.start(QStringLiteral("xargs"),
                {QStringLiteral("-0"), QStringLiteral("-n"), QStringLiteral("500"),
                 QStringLiteral("-P"), QString::number(QThread::idealThreadCount()),
                 QStringLiteral("vipsheader")});
    if (!xargs.waitForFinished(-1) || xargs.exitStatus() != QProcess::NormalExit ||
        xargs.exitCode() != 0) {
        fail(QStringLiteral("vipsheader failed: ") +
             QString::fromLocal8Bit(xargs.readAllStandardError()));
    }
}

// Processor time of this process so far (every thread), in milliseconds.
double processorMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The median elapsed time of three runs; `cpuMs`, when given, gets the median processor time.
template<typename Work>
double medianOfThree(const char *label, Work work, double *cpuMs = nullptr)
{
    std::array<double, 3> runs{};
    std::array<double, 3> cpu{};
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const double cpuBefore = processorMs();
        QElapsedTimer timer;
        timer.start();
        work();
        runs[i] = double(timer.nsecsElapsed()) / 1e6;
        cpu[i] = processorMs() - cpuBefore;
    }
    std::printf("%-14s %9.1f %9.1f %9.1f ms\n", label, runs[0], runs[1], runs[2]);
    if (cpuMs) {
        std::printf("%-14s %9.1f %9.1f %9.1f ms\n", "  (processor)", cpu[0], cpu[1], cpu[2]);
        std::sort(cpu.begin(), cpu.end());
        *cpuMs = cpu[1];
    }
    std::sort(runs.begin(), runs.end());
    return runs[1];
}

double threadMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// Microseconds of this thread's processor time per header read of `paths`: the size alone,
// and the size with the capture time, as the dimension fill reads it.
std::pair<double, double> headerReadCosts(const QStringList &paths)
{
    double sizeOnly = 0;
    double withTime = 0;
    qint64 timed = 0;
    qint64 widths = 0;
    for (int round = 0; round < 3; ++round) {
        for (qsizetype i = 0; i < paths.size(); ++i) {
            for (int pass = 0; pass < 2; ++pass) {
                const bool time = (pass + i + round) % 2 == 1; // each goes first half the time
                const double start = threadMicroseconds();
                const std::optional<ImageSource> file = ImageSource::open(paths[i]);
                if (file) {
                    const ImageDecoder &decoder = ImageDecoders::forFile(*file);
                    if (time) {
                        timed += decoder.header(*file).captureTime ? 1 : 0;
                    } else {
                        widths += decoder.uprightSize(*file).width();
                    }
                }
                (time ? withTime : sizeOnly) += threadMicroseconds() - start;
            }
        }
    }
    std::printf(
        "header reads on one thread: %lld of %lld capture times found, mean width %lld px\n",
        timed / 3, qint64(paths.size()), widths / 3 / std::max<qsizetype>(1, paths.size()));
    const double reads = 3.0 * double(paths.size());
    return {sizeOnly / reads, withTime / reads};
}

double peakResidentMegabytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage); // this process only, never the vipsheader children
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool scanOnly = argc == 3 && std::strcmp(argv[2], "--scan-only") == 0;
    if (argc != 2 && !scanOnly) {
        std::fprintf(stderr, "usage: %s ROOT [--scan-only]\n", argv[0]);
        return 2;
    }
    const QString rootPath = QDir(QFile::decodeName(argv[1])).absolutePath();
    const QByteArray rootBytes = QFile::encodeName(rootPath);
    const QUrl root = QUrl::fromLocalFile(rootPath);
    if (scanOnly) { // the listing alone, as on a share where every header read is a round trip
        const double scanMs = medianOfThree("scan", [&] { scanWithoutDimensions(root); });
        std::printf("files=%lld scan_ms=%.1f\n", qint64(scanWithoutDimensions(root).photoCount()),
                    scanMs);
        return 0;
    }

    // Untimed pass over everything: warms the disk cache and checks the results are sound,
    // so that no figure below comes from a scan that silently did less.
    const qint64 regularFiles = floorPass(rootBytes);
    const PhotoCollection listed = scanWithoutDimensions(root);
    const qsizetype photoCount = listed.photoCount();
    auto service = std::make_unique<FileSystemService>();
    const PhotoCollection measured = fullScan(*service, root);
    qsizetype withDimensions = 0, portrait = 0;
    QByteArray fileNames;
    for (const PhotoSection &section : measured.sections) {
        for (const Photo &photo : section.photos) {
            withDimensions += photo.hasDimensions() ? 1 : 0;
            portrait += photo.pixelHeight > photo.pixelWidth ? 1 : 0;
            fileNames += QFile::encodeName(standardizedPath(photo.url)) + '\0';
        }
    }
    if (photoCount == 0 || measured.photoCount() != photoCount || withDimensions != photoCount) {
        fail(QStringLiteral("%1 photos listed, %2 scanned, %3 with dimensions")
                 .arg(photoCount)
                 .arg(measured.photoCount())
                 .arg(withDimensions));
    }
    QTemporaryFile fileList;
    if (!fileList.open() || fileList.write(fileNames) != fileNames.size() || !fileList.flush()) {
        fail(QStringLiteral("cannot write the file list"));
    }
    runVipsheader(fileList.fileName());
    std::printf("%s: %lld photos in %lld sections (%lld upright portrait), %lld regular files\n",
                qPrintable(rootPath), qint64(photoCount), qint64(measured.sections.size()),
                qint64(portrait), regularFiles);
    std::printf("header reads run %d wide; vipsheader through xargs -n 500 -P %d\n",
                ImageDimensionsReader::batchWidth(QThread::idealThreadCount()),
                QThread::idealThreadCount());
    std::printf("%-14s %9s %9s %9s\n", "", "run 1", "run 2", "run 3");

    const double floorMs = medianOfThree("floor", [&] { floorPass(rootBytes); });
    const double scanMs = medianOfThree("scan", [&] { scanWithoutDimensions(root); });
    double coldCpuMs = 0;
    const double coldMs = medianOfThree(
        "dims cold",
        [&] {
            service = std::make_unique<FileSystemService>();
            fullScan(*service, root);
        },
        &coldCpuMs);
    const qint64 readsBefore = service->headersRead();
    const double rescanMs = medianOfThree("rescan", [&] { fullScan(*service, root); });
    if (readsBefore != photoCount || service->headersRead() != readsBefore) {
        fail(QStringLiteral("%1 header reads on the cold scan, %2 more on rescans")
                 .arg(readsBefore)
                 .arg(service->headersRead() - readsBefore));
    }
    service.reset();
    const double rssMb = peakResidentMegabytes();
    const double vipsMs = medianOfThree("vipsheader", [&] { runVipsheader(fileList.fileName()); });
    QStringList paths;
    for (const PhotoSection &section : measured.sections) {
        for (const Photo &photo : section.photos) {
            paths.append(standardizedPath(photo.url));
        }
    }
    const auto [sizeUs, sizeAndTimeUs] = headerReadCosts(paths);
    const double sharePct = 100.0 * (sizeAndTimeUs - sizeUs) / sizeUs;
    std::printf("%-14s %9.2f us a photo\n%-14s %9.2f us a photo (%+.1f %%)\n", "size", sizeUs,
                "size and time", sizeAndTimeUs, sharePct);

    std::printf("files=%lld floor_ms=%.1f scan_ms=%.1f dims_cold_ms=%.1f dims_cold_cpu_ms=%.1f "
                "rescan_ms=%.1f vipsheader_ms=%.1f rss_mb=%.1f size_read_us=%.2f "
                "size_and_time_read_us=%.2f capture_time_share_pct=%.1f\n",
                qint64(photoCount), floorMs, scanMs, coldMs, coldCpuMs, rescanMs, vipsMs, rssMb,
                sizeUs, sizeAndTimeUs, sharePct);
    return 0;
}
