// Times video thumbnails for a 368-pixel cell against Debian's ffmpegthumbnailer, and the
// header facts the scan reads of every video, over the clips in CLIPS (see video-bench.sh).
//   calvenor-video-bench [--threads N] [--no-peer] CLIPS
//
// Every .mp4 and .mov in CLIPS is read to the end once before anything is timed (as `cat`
// would), so both sides decode from the page cache, and each side thumbnails one clip untimed
// so its libraries are loaded. The clips are grouped by the codec their header names. Then three
// rounds, each timing per codec, in turn:
//   ours      the application's decode path (ThumbnailService::downsample: the file opened
//             safely, its decoder picked, the first key frame decoded and turned upright) on a
//             fresh thread pool of --threads threads (default: QThread::idealThreadCount(), as
//             the application's decode pool), every clip queued at once; timed until the last
//             image is back
//   peer      `ffmpegthumbnailer -s 368 -t 0 -i CLIP -o OUT.png`, one process per clip, one
//             clip after another; it also encodes and writes a PNG, which we never have to
//   ours x1   ours on one thread
//   peer x2   the peer two processes at a time (xargs -P 2): the same two cores ours uses
// Per codec and side the figures are the rounds' medians: wall time per clip, clips per second and
// processor time per clip (ours: this process; peer: its processes). Every thumbnail is
// checked: a null image, or one whose longest side is not 368, counts as a failure and is
// named; a clip turned by its display matrix must come out portrait. The peer's outputs are
// checked the same way, and after the rounds every clip's thumbnail of ours is compared with the
// peer's: picture_differs counts the clips where they show different pictures (another frame,
// another way up, garbage).
//
// Then the header facts (VideoDecoder::facts) of every clip, five passes over all of them with
// the page cache warm, each call timed alone: mean and longest, as wall time and as this
// thread's processor time (which leaves out time the thread sat preempted by other programs).
// The file is opened before the clock starts, as the scan has it open already.
//
// The last line is machine-readable:
//   clips=… threads=… h264_ours_per_s=… h264_ours1_per_s=… h264_peer_per_s=… h264_peer2_per_s=…
//   h264_ours_ms=… h264_peer_ms=… h264_vs_peer=… h264_vs_peer2=… (the same for hevc_)
//   facts_mean_ms=… facts_max_ms=… facts_cpu_mean_ms=… failed=… peer_failed=… rss_mb=…
//   picture_differs=… peer_rss_mb=…
// where *_vs_peer is ours' throughput over the sequential peer's, *_vs_peer2 over the peer's two
// at a time, rss_mb this process's peak resident memory (never the peer's) and peer_rss_mb one
// peer process's, the larger of its runs over the first clip of each codec (GNU time's figure).

#include "BenchFiles.h"
#include "Services/Decoders/ImageSource.h"
#include "Services/Decoders/VideoDecoder.h"
#include "Services/Platform/LargeBlocks.h"
#include "Services/ThumbnailService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int cellPixels = 368;
constexpr int rounds = 3;
constexpr int factsPasses = 5;
// More grey levels apart than this, two thumbnails of one frame show different pictures.
constexpr double maximumDistance = 16;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "video-bench: %s\n", qPrintable(message));
    std::exit(1);
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Clip
{
    QString path;
    VideoDecoder::Facts facts;
    bool turnedSideways() const { return facts.clockwiseDegrees % 180 != 0; }
};

// A thumbnail is right when its longest side is the cell's and it stands as the clip is shown.
bool rightThumbnail(QSize size, const Clip &clip)
{
    return !size.isEmpty() && std::max(size.width(), size.height()) == cellPixels &&
           (size.width() < size.height()) ==
               (clip.facts.uprightSize.width() < clip.facts.uprightSize.height());
}

// Thumbnails every clip through the application's decode path on `threads` threads; returns the
// paths of the clips that came out wrong.
QStringList renderOurs(const std::vector<Clip> &clips, int threads)
{
    std::vector<QSize> sizes(clips.size());
    QThreadPool pool;
    pool.setMaxThreadCount(threads);
    for (size_t i = 0; i < clips.size(); ++i) {
        pool.start([&sizes, &clips, i] {
            sizes[i] = ThumbnailService::downsample(clips[i].path, cellPixels).size();
        });
    }
    pool.waitForDone();
    QStringList wrong;
    for (size_t i = 0; i < clips.size(); ++i) {
        if (!rightThumbnail(sizes[i], clips[i])) {
            wrong += QStringLiteral("%1 (%2 × %3)")
                         .arg(clips[i].path)
                         .arg(sizes[i].width())
                         .arg(sizes[i].height());
        }
    }
    return wrong;
}

QString outputFor(const QString &folder, const Clip &clip)
{
    return folder + QLatin1Char('/') + QFileInfo(clip.path).fileName() + QStringLiteral(".png");
}

// ffmpegthumbnailer over every clip, `processes` at a time, writing into `folder`.
void renderPeer(const std::vector<Clip> &clips, int processes, const QString &folder)
{
    // xargs appends each clip's "CLIP -o OUT" to the fixed part of the command.
    QByteArray arguments;
    for (const Clip &clip : clips) {
        arguments += QFile::encodeName(clip.path) + '\0' + "-o" + '\0' +
                     QFile::encodeName(outputFor(folder, clip)) + '\0';
    }
    QTemporaryFile list;
    if (!list.open() || list.write(arguments) != arguments.size() || !list.flush()) {
        fail(QStringLiteral("cannot write the list of clips"));
    }
    QProcess xargs;
    xargs.setStandardInputFile(list.fileName());
    xargs.setStandardOutputFile(QProcess::nullDevice());
    xargs.start(QStringLiteral("xargs"),
                {QStringLiteral("-0"), QStringLiteral("-n"), QStringLiteral("3"),
                 QStringLiteral("-P"), QString::number(processes),
                 QStringLiteral("ffmpegthumbnailer"), QStringLiteral("-s"),
                 QString::number(cellPixels), QStringLiteral("-t"), QStringLiteral("0"),
                 QStringLiteral("-i")});
    // A clip the peer cannot read makes xargs end with 123; its missing output is counted.
    if (!xargs.waitForFinished(-1) || xargs.exitStatus() != QProcess::NormalExit ||
        (xargs.exitCode() != 0 && xargs.exitCode() != 123)) {
        fail(QStringLiteral("ffmpegthumbnailer could not be run: ") +
             QString::fromLocal8Bit(xargs.readAllStandardError()));
    }
}

// The peak resident memory of one peer process thumbnailing `clip`, as GNU time reports it;
// -1 without /usr/bin/time. (Our own children's figure would not do: a child forked from this
// process starts out with this process's pages counted.)
double peerPeakMegabytes(const Clip &clip, const QString &folder)
{
    QProcess time;
    time.start(QStringLiteral("/usr/bin/time"),
               {QStringLiteral("-f"), QStringLiteral("%M"), QStringLiteral("ffmpegthumbnailer"),
                QStringLiteral("-s"), QString::number(cellPixels), QStringLiteral("-t"),
                QStringLiteral("0"), QStringLiteral("-i"), clip.path, QStringLiteral("-o"),
                outputFor(folder, clip)});
    if (!time.waitForFinished(-1) || time.exitStatus() != QProcess::NormalExit ||
        time.exitCode() != 0) {
        if (time.error() == QProcess::FailedToStart) {
            return -1;
        }
        fail(QStringLiteral("ffmpegthumbnailer failed on ") + clip.path);
    }
    const QList<QByteArray> lines = time.readAllStandardError().trimmed().split('\n');
    bool ok = false;
    const double kilobytes = lines.last().toDouble(&ok);
    return ok ? kilobytes / 1024.0 : -1;
}

QStringList checkPeer(const std::vector<Clip> &clips, const QString &folder)
{
    QStringList wrong;
    for (const Clip &clip : clips) {
        const QSize size = QImageReader(outputFor(folder, clip)).size();
        if (!rightThumbnail(size, clip)) {
            wrong +=
                QStringLiteral("%1 (%2 × %3)").arg(clip.path).arg(size.width()).arg(size.height());
        }
    }
    return wrong;
}

// How far apart two thumbnails of one frame are: the mean difference of their grey levels
// (0 … 255) at 32 × 32. Scaling alone leaves a few levels; a picture turned the wrong way or
// decoded into garbage leaves dozens.
double pictureDistance(const QImage &a, const QImage &b)
{
    const auto small = [](const QImage &image) {
        return image.convertToFormat(QImage::Format_Grayscale8)
            .scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    const QImage x = small(a);
    const QImage y = small(b);
    double sum = 0;
    for (int row = 0; row < 32; ++row) {
        for (int column = 0; column < 32; ++column) {
            sum += std::abs(int(x.constScanLine(row)[column]) - int(y.constScanLine(row)[column]));
        }
    }
    return sum / (32 * 32);
}

enum Side { ours, peer, oursOneThread, peerTwoAtATime, sideCount };
constexpr std::array<const char *, sideCount> sideNames{"ours", "peer", "ours x1", "peer x2"};

struct Timings
{
    std::array<std::vector<double>, sideCount> wallMs;
    std::array<std::vector<double>, sideCount> cpuMs; // per round, every clip together
};

struct Options
{
    int threads = std::max(1, QThread::idealThreadCount());
    bool peer = true;
    QString folder;
};

std::optional<Options> parseOptions(const QStringList &arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--threads") && i + 1 < arguments.size()) {
            bool ok = false;
            options.threads = arguments[++i].toInt(&ok);
            if (!ok || options.threads < 1) {
                return std::nullopt;
            }
        } else if (argument == QLatin1String("--no-peer")) {
            options.peer = false;
        } else if (options.folder.isEmpty() && !argument.startsWith(QLatin1Char('-'))) {
            options.folder = argument;
        } else {
            return std::nullopt;
        }
    }
    if (options.folder.isEmpty()) {
        return std::nullopt;
    }
    return options;
}

// "H.264" → "h264", for the machine-readable keys.
QString keyOf(const QString &codec)
{
    return codec.toLower().remove(QLatin1Char('.')).remove(QLatin1Char('-'));
}

} // namespace

int main(int argc, char **argv)
{
    useOwnPagesForLargeBlocks(); // as the application does
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = parseOptions(app.arguments());
    if (!options) {
        std::fprintf(stderr, "usage: %s [--threads N] [--no-peer] CLIPS\n", argv[0]);
        return 2;
    }
    const QDir folder(options->folder);
    const QStringList names = folder.entryList({QStringLiteral("*.mp4"), QStringLiteral("*.mov"),
                                                QStringLiteral("*.MP4"), QStringLiteral("*.MOV")},
                                               QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        fail(folder.absolutePath() + QStringLiteral(" holds no .mp4 or .mov clips"));
    }

    // The clips by codec, as their headers name it; a clip whose header we cannot read fails.
    std::map<QString, std::vector<Clip>> byCodec;
    std::vector<Clip> allClips;
    QStringList unreadable;
    int sideways = 0;
    for (const QString &name : names) {
        Clip clip{folder.absoluteFilePath(name), {}};
        if (!BenchFiles::readThrough(clip.path)) {
            fail(QStringLiteral("cannot read ") + clip.path);
        }
        const std::optional<ImageSource> file = ImageSource::open(clip.path);
        if (file) {
            clip.facts = VideoDecoder::facts(*file);
        }
        if (clip.facts.uprightSize.isEmpty() || clip.facts.codec.isEmpty()) {
            unreadable += clip.path;
            continue;
        }
        sideways += clip.turnedSideways() ? 1 : 0;
        byCodec[clip.facts.codec].push_back(clip);
        allClips.push_back(clip);
    }
    for (const QString &path : unreadable) {
        std::printf("header unreadable: %s\n", qPrintable(path));
    }
    if (allClips.empty()) {
        fail(QStringLiteral("no clip's header could be read"));
    }
    const int threads = options->threads;
    std::printf("%s: %zu clips (", qPrintable(folder.absolutePath()), allClips.size());
    for (const auto &[codec, clips] : byCodec) {
        std::printf("%s%zu %s", codec == byCodec.begin()->first ? "" : ", ", clips.size(),
                    qPrintable(codec));
    }
    std::printf("), %d turned sideways by their display matrix, first %d × %d; %d thread(s)\n",
                sideways, allClips.front().facts.uprightSize.width(),
                allClips.front().facts.uprightSize.height(), threads);

    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        fail(QStringLiteral("cannot create a temporary folder"));
    }
    // Loads FFmpeg's decoders, and the peer's, before anything is timed; the peer's first run
    // per codec also tells its peak memory.
    double peerPeakMb = -1;
    for (const auto &[codec, clips] : byCodec) {
        ThumbnailService::downsample(clips.front().path, cellPixels);
        if (options->peer) {
            peerPeakMb = std::max(peerPeakMb, peerPeakMegabytes(clips.front(), scratch.path()));
        }
    }

    std::map<QString, Timings> timings;
    QStringList oursWrong;
    QStringList peerWrong;
    for (int round = 1; round <= rounds; ++round) {
        for (const auto &[codec, clips] : byCodec) {
            Timings &codecTimings = timings[codec];
            for (int side = 0; side < sideCount; ++side) {
                const bool isPeer = side == peer || side == peerTwoAtATime;
                if (isPeer && !options->peer) {
                    continue;
                }
                const QString output = scratch.filePath(
                    QStringLiteral("%1-%2-%3").arg(keyOf(codec)).arg(round).arg(side));
                if (isPeer && !QDir().mkpath(output)) {
                    fail(QStringLiteral("cannot create ") + output);
                }
                const BenchFiles::CpuTimes before = BenchFiles::cpuNow();
                QElapsedTimer timer;
                timer.start();
                QStringList wrong;
                if (isPeer) {
                    renderPeer(clips, side == peer ? 1 : 2, output);
                } else {
                    wrong = renderOurs(clips, side == ours ? threads : 1);
                }
                codecTimings.wallMs[side].push_back(double(timer.nsecsElapsed()) / 1e6);
                const BenchFiles::CpuTimes after = BenchFiles::cpuNow();
                codecTimings.cpuMs[side].push_back(isPeer ? after.children - before.children
                                                          : after.self - before.self);
                if (isPeer) {
                    wrong = checkPeer(clips, output);
                    if (round < rounds || side != peer) { // the last is compared below
                        QDir(output).removeRecursively();
                    }
                }
                for (const QString &path : std::as_const(wrong)) {
                    QStringList &list = isPeer ? peerWrong : oursWrong;
                    if (!list.contains(path)) {
                        list += path;
                    }
                }
            }
            std::printf("round %d %-6s", round, qPrintable(codec));
            for (int side = 0; side < sideCount; ++side) {
                if (!codecTimings.wallMs[side].empty()) {
                    std::printf("  %s %.0f ms", sideNames[size_t(side)],
                                codecTimings.wallMs[side].back());
                }
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    // Both sides must show the same picture the same way up: ours again (untimed) beside the
    // peer's last sequential round.
    QStringList differing;
    double largestDistance = 0;
    if (options->peer) {
        for (const auto &[codec, clips] : byCodec) {
            const QString output = scratch.filePath(
                QStringLiteral("%1-%2-%3").arg(keyOf(codec)).arg(rounds).arg(int(peer)));
            for (const Clip &clip : clips) {
                const QImage mine = ThumbnailService::downsample(clip.path, cellPixels);
                const QImage theirs(outputFor(output, clip));
                if (mine.isNull() || theirs.isNull()) {
                    continue; // already counted as wrong
                }
                const double distance = pictureDistance(mine, theirs);
                largestDistance = std::max(largestDistance, distance);
                if (distance > maximumDistance) {
                    differing += QStringLiteral("%1 (%2)").arg(clip.path).arg(distance, 0, 'f', 1);
                }
            }
        }
        std::printf("ours and the peer's pictures differ by %.1f grey levels at most\n",
                    largestDistance);
    }
    for (const QString &clip : std::as_const(differing)) {
        std::printf("ours and the peer show different pictures: %s\n", qPrintable(clip));
    }
    for (const QString &clip : std::as_const(oursWrong)) {
        std::printf("ours gave a wrong thumbnail or none: %s\n", qPrintable(clip));
    }
    for (const QString &clip : std::as_const(peerWrong)) {
        std::printf("the peer gave a wrong thumbnail or none: %s\n", qPrintable(clip));
    }

    QString summary = QStringLiteral("clips=%1 threads=%2").arg(allClips.size()).arg(threads);
    std::printf("%-6s %-8s %10s %10s %14s\n", "codec", "side", "ms/clip", "clips/s", "cpu ms/clip");
    for (const auto &[codec, clips] : byCodec) {
        const Timings &codecTimings = timings[codec];
        const double count = double(clips.size());
        std::array<double, sideCount> perSecond{};
        for (int side = 0; side < sideCount; ++side) {
            if (codecTimings.wallMs[side].empty()) {
                continue;
            }
            const double wall = median(codecTimings.wallMs[side]);
            perSecond[size_t(side)] = count / (wall / 1e3);
            std::printf("%-6s %-8s %10.1f %10.2f %14.1f\n", qPrintable(codec),
                        sideNames[size_t(side)], wall / count, perSecond[size_t(side)],
                        median(codecTimings.cpuMs[side]) / count);
        }
        const QString key = keyOf(codec);
        summary += QStringLiteral(" %1_ours_per_s=%2 %1_ours1_per_s=%3 %1_ours_ms=%4")
                       .arg(key)
                       .arg(perSecond[ours], 0, 'f', 2)
                       .arg(perSecond[oursOneThread], 0, 'f', 2)
                       .arg(1e3 / perSecond[ours], 0, 'f', 1);
        if (options->peer) {
            std::printf("%-6s ours / peer %.2f, ours / peer x2 %.2f\n", qPrintable(codec),
                        perSecond[ours] / perSecond[peer],
                        perSecond[ours] / perSecond[peerTwoAtATime]);
            summary +=
                QStringLiteral(" %1_peer_per_s=%2 %1_peer2_per_s=%3 %1_peer_ms=%4 %1_vs_peer=%5 "
                               "%1_vs_peer2=%6")
                    .arg(key)
                    .arg(perSecond[peer], 0, 'f', 2)
                    .arg(perSecond[peerTwoAtATime], 0, 'f', 2)
                    .arg(1e3 / perSecond[peer], 0, 'f', 1)
                    .arg(perSecond[ours] / perSecond[peer], 0, 'f', 2)
                    .arg(perSecond[ours] / perSecond[peerTwoAtATime], 0, 'f', 2);
        }
    }

    // Header facts, each call alone, the file already open.
    std::vector<double> factsWall;
    std::vector<double> factsCpu;
    for (int pass = 0; pass < factsPasses; ++pass) {
        for (const Clip &clip : allClips) {
            const std::optional<ImageSource> file = ImageSource::open(clip.path);
            if (!file) {
                fail(QStringLiteral("cannot open ") + clip.path);
            }
            const double cpuStart = threadCpuMs();
            QElapsedTimer timer;
            timer.start();
            const VideoDecoder::Facts facts = VideoDecoder::facts(*file);
            factsWall.push_back(double(timer.nsecsElapsed()) / 1e6);
            factsCpu.push_back(threadCpuMs() - cpuStart);
            if (facts.uprightSize != clip.facts.uprightSize) {
                fail(QStringLiteral("the facts of %1 changed between reads").arg(clip.path));
            }
        }
    }
    const auto mean = [](const std::vector<double> &values) {
        double sum = 0;
        for (const double value : values) {
            sum += value;
        }
        return sum / double(values.size());
    };
    const double factsMax = *std::max_element(factsWall.begin(), factsWall.end());
    std::printf("header facts: %zu reads, mean %.3f ms (cpu %.3f ms), longest %.3f ms "
                "(cpu %.3f ms)\n",
                factsWall.size(), mean(factsWall), mean(factsCpu), factsMax,
                *std::max_element(factsCpu.begin(), factsCpu.end()));

    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    summary += QStringLiteral(" facts_mean_ms=%1 facts_max_ms=%2 facts_cpu_mean_ms=%3 failed=%4 "
                              "peer_failed=%5 rss_mb=%6")
                   .arg(mean(factsWall), 0, 'f', 3)
                   .arg(factsMax, 0, 'f', 3)
                   .arg(mean(factsCpu), 0, 'f', 3)
                   .arg(unreadable.size() + oursWrong.size())
                   .arg(options->peer ? QString::number(peerWrong.size()) : QStringLiteral("-"))
                   .arg(double(self.ru_maxrss) / 1024.0, 0, 'f', 1);
    if (options->peer) {
        summary += QStringLiteral(" picture_differs=%1").arg(differing.size());
    }
    if (peerPeakMb >= 0) {
        summary += QStringLiteral(" peer_rss_mb=%1").arg(peerPeakMb, 0, 'f', 1);
    }
    std::printf("%s\n", qPrintable(summary));
    return 0;
}
