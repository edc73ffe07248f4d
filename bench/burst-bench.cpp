// Times and scores burst detection over a corpus of calvenor-make-bursts (see burst-bench.sh).
//
//   calvenor-burst-bench --baseline PHOTOS
//     The same folder's thumbnails for the board's default cell: every photo through
//     ThumbnailService::downsample on a pool of ThumbnailService::defaultThreadCount() threads,
//     three rounds after one untimed photo; the median round. The page cache should be warm.
//     Last line: baseline_ms=… rounds_ms=…,…,… threads=… needed_px=… cpu_ms=…
//
//   calvenor-burst-bench --ours PHOTOS TRUTH [--cache DIR] [--groups-out FILE] [--idle-ms N]
//     Opens PHOTOS in a CollectionStore (offscreen, no window) with XDG_CACHE_HOME at DIR (a
//     fresh temporary folder without it, so the similarity cache starts cold) and times from
//     the collection's arrival (loaded, listing done) until the similarity index is complete
//     and the bursts were recomputed after its last fact. A 5 ms timer on the window's thread
//     measures how long input could have waited: its longest gap and 99th percentile while the
//     work runs, then again over N ms idle (default 3000). Then scores the store's bursts
//     against TRUTH (see --score). Last line: ours_ms=… cpu_ms=… work_gap_max_ms=…
//     work_gap_p99_ms=… idle_gap_max_ms=… idle_gap_p99_ms=… precision=… recall=… best=… …
//
//   calvenor-burst-bench --score TRUTH GROUPS
//     Scores a grouping written by --groups-out (one line a group: the best photo's file name,
//     then every file name of the group, tab-separated, in board order).
//   calvenor-burst-bench --self-test TRUTH
//     Scores the truth against itself and against groupings broken in known ways, and checks
//     the figures: a check of the scorer, not of the application.
//   calvenor-burst-bench --reference PHOTOS TRUTH
//     What the corpus asks of the rule, measured with a yardstick of the bench's own (a
//     difference hash and a Laplacian variance over a 1024-pixel decode, see Reference): the
//     hash distances between consecutive frames of a burst and between neighbours of one camera
//     within 2 s that are no burst, and how often the sharpest by the yardstick is the sharp
//     frame. It tells whether a loss lies in the corpus or in the application.
//
// Scores: pairwise precision and recall (pairs of photos placed in one group, against pairs in
// one true burst); `best`: of the true bursts, the share whose matched group (the group holding
// most of its frames, the earlier one on a tie) names the burst's sharp frame as its best. A
// true burst with no frame in any group counts as unmatched and as a miss for `best`.

#include "BenchFiles.h"
#include "Services/FolderScanner.h"
#include "Services/PhotoInfoReader.h"
#include "Services/Platform/LargeBlocks.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "Services/ThumbnailService.h"
#include "ViewModels/ViewSettings.h"
#include "Views/GalleryView.h"
#include "Views/ThumbnailFeed.h"

#include "Models/Bursts.h"
#include "Services/Similarity/SimilarityIndex.h"
#include "ViewModels/CollectionStore.h"
#include "support/RecordingDesktop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numeric>
#include <optional>
#include <vector>

namespace {

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "burst-bench: %s\n", qPrintable(message));
    std::exit(1);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[size_t(p * double(values.size() - 1) + 0.5)];
}

// ---- Truth and scores --------------------------------------------------------------------

struct TruthPhoto
{
    QString name;
    int burst = 0; // 0: none
    bool sharp = false;
    double blur = 0;
    double gain = 1;
    int camera = 0;
};

struct Truth
{
    QList<TruthPhoto> photos; // name order
    QHash<QString, qsizetype> index;
    int burstCount = 0;
};

Truth readTruth(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("cannot read ") + path);
    }
    Truth truth;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split('\t');
        if (fields.size() < 3) {
            continue;
        }
        TruthPhoto photo;
        photo.name = QString::fromUtf8(fields[0]);
        photo.burst = fields[1] == "-" ? 0 : fields[1].toInt();
        photo.sharp = fields[2] == "1";
        photo.blur = fields.size() > 3 ? fields[3].toDouble() : 0;
        photo.gain = fields.size() > 4 ? fields[4].toDouble() : 1;
        photo.camera = fields.size() > 5 ? fields[5].toInt() : 0;
        truth.index.insert(photo.name, truth.photos.size());
        truth.burstCount = std::max(truth.burstCount, photo.burst);
        truth.photos.append(photo);
    }
    if (truth.photos.isEmpty()) {
        fail(path + QStringLiteral(" lists no photos"));
    }
    return truth;
}

struct Group
{
    QStringList names;
    QString best;
};

struct Score
{
    qint64 truePairs = 0;  // pairs in one true burst
    qint64 foundPairs = 0; // pairs in one group
    qint64 rightPairs = 0; // both
    int bursts = 0;
    int matched = 0;   // true bursts with a frame in some group
    int exact = 0;     // true bursts whose matched group is exactly the burst
    int bestRight = 0; // matched bursts whose group's best is the sharp frame
    int interleaved = 0;
    qint64 interleavedTruePairs = 0;
    qint64 interleavedRightPairs = 0;
    int groupsWithStrangers = 0; // groups holding photos of two bursts or unrelated ones
    // Of the matched bursts whose best is wrong: the chosen frame was brighter than the sharp
    // one, and how blurred it was (σ below 2 px, 2 to 3 px, 3 px and more).
    int bestWrongBrighter = 0;
    int bestWrongBlur[3] = {0, 0, 0};
    QStringList notes; // what went wrong, one line each

    double precision() const { return foundPairs ? double(rightPairs) / double(foundPairs) : 1; }
    double recall() const { return truePairs ? double(rightPairs) / double(truePairs) : 1; }
    double bestShare() const { return bursts ? double(bestRight) / bursts : 1; }
};

qint64 pairs(qint64 n)
{
    return n * (n - 1) / 2;
}

Score score(const Truth &truth, const QList<Group> &groups)
{
    Score result;
    result.bursts = truth.burstCount;
    // Frames of each true burst, and whether another photo lies among them in name order.
    std::vector<std::vector<qsizetype>> frames(size_t(truth.burstCount + 1));
    for (qsizetype i = 0; i < truth.photos.size(); ++i) {
        if (truth.photos[i].burst > 0) {
            frames[size_t(truth.photos[i].burst)].push_back(i);
        }
    }
    std::vector<bool> interleaved(frames.size(), false);
    for (size_t b = 1; b < frames.size(); ++b) {
        result.truePairs += pairs(qint64(frames[b].size()));
        interleaved[b] = !frames[b].empty() &&
                         frames[b].back() - frames[b].front() + 1 != qsizetype(frames[b].size());
        if (interleaved[b]) {
            ++result.interleaved;
            result.interleavedTruePairs += pairs(qint64(frames[b].size()));
        }
    }

    // Per true burst: how many of its frames each group holds.
    std::vector<std::map<qsizetype, int>> holders(frames.size());
    QSet<QString> seen;
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const Group &group = groups[g];
        result.foundPairs += pairs(group.names.size());
        std::map<int, int> members; // burst (0: unrelated) → photos in this group
        for (const QString &name : group.names) {
            const auto it = truth.index.constFind(name);
            if (it == truth.index.cend()) {
                fail(name + QStringLiteral(" is in a group but not in the truth"));
            }
            if (seen.contains(name)) {
                fail(name + QStringLiteral(" is in two groups"));
            }
            seen.insert(name);
            ++members[truth.photos[*it].burst];
        }
        for (const auto &[burst, count] : members) {
            if (burst > 0) {
                result.rightPairs += pairs(count);
                holders[size_t(burst)][g] = count;
            }
        }
        if (members.size() > 1 || members.contains(0)) {
            ++result.groupsWithStrangers;
            QStringList parts;
            for (const auto &[burst, count] : members) {
                parts += burst > 0 ? QStringLiteral("%1 of burst %2").arg(count).arg(burst)
                                   : QStringLiteral("%1 unrelated").arg(count);
            }
            result.notes +=
                QStringLiteral("group %1 (%2 … %3) mixes %4")
                    .arg(g + 1)
                    .arg(group.names.first(), group.names.last(), parts.join(QStringLiteral(", ")));
        }
    }
    for (size_t b = 1; b < frames.size(); ++b) {
        if (interleaved[b]) {
            for (const auto &[g, count] : holders[b]) {
                result.interleavedRightPairs += pairs(count);
            }
        }
        if (holders[b].empty()) {
            result.notes += QStringLiteral("burst %1 (%2, %3 frames%4) was not found")
                                .arg(b)
                                .arg(truth.photos[frames[b].front()].name)
                                .arg(frames[b].size())
                                .arg(interleaved[b] ? QStringLiteral(", interleaved") : QString());
            continue;
        }
        ++result.matched;
        qsizetype matched = holders[b].begin()->first;
        for (const auto &[g, count] : holders[b]) {
            if (count > holders[b][matched]) {
                matched = g;
            }
        }
        const Group &group = groups[matched];
        if (holders[b].size() == 1 && group.names.size() == qsizetype(frames[b].size())) {
            ++result.exact;
        } else if (holders[b].size() > 1) {
            result.notes += QStringLiteral("burst %1 (%2, %3 frames%4) is split over %5 groups")
                                .arg(b)
                                .arg(truth.photos[frames[b].front()].name)
                                .arg(frames[b].size())
                                .arg(interleaved[b] ? QStringLiteral(", interleaved") : QString())
                                .arg(holders[b].size());
        }
        const qsizetype sharp = *std::find_if(frames[b].begin(), frames[b].end(),
                                              [&](qsizetype i) { return truth.photos[i].sharp; });
        if (group.best == truth.photos[sharp].name) {
            ++result.bestRight;
        } else {
            const auto chosen = truth.index.constFind(group.best);
            const TruthPhoto *picked =
                chosen == truth.index.cend() ? nullptr : &truth.photos[*chosen];
            const bool sharpInGroup = group.names.contains(truth.photos[sharp].name);
            if (picked) {
                result.bestWrongBrighter += picked->gain > truth.photos[sharp].gain;
                ++result.bestWrongBlur[picked->blur < 2 ? 0 : picked->blur < 3 ? 1 : 2];
            }
            result.notes +=
                QStringLiteral("burst %1: best is %2 (blur %3 px, brightness %4), the sharp "
                               "frame %5 (brightness %6)%7")
                    .arg(b)
                    .arg(group.best)
                    .arg(picked ? picked->blur : -1, 0, 'f', 2)
                    .arg(picked ? picked->gain : 0, 0, 'f', 3)
                    .arg(truth.photos[sharp].name)
                    .arg(truth.photos[sharp].gain, 0, 'f', 3)
                    .arg(sharpInGroup ? QString() : QStringLiteral(" is not in the group"));
        }
    }
    return result;
}

QString figures(const Score &s)
{
    return QStringLiteral("precision=%1 recall=%2 best=%3 bursts=%4 matched=%5 exact=%6 "
                          "mixed_groups=%7 interleaved=%8 interleaved_recall=%9")
        .arg(s.precision(), 0, 'f', 4)
        .arg(s.recall(), 0, 'f', 4)
        .arg(s.bestShare(), 0, 'f', 4)
        .arg(s.bursts)
        .arg(s.matched)
        .arg(s.exact)
        .arg(s.groupsWithStrangers)
        .arg(s.interleaved)
        .arg(s.interleavedTruePairs
                 ? double(s.interleavedRightPairs) / double(s.interleavedTruePairs)
                 : 1.0,
             0, 'f', 4);
}

void printScore(const Score &s, int maxNotes = 40)
{
    const int wrong = s.matched - s.bestRight;
    if (wrong > 0) {
        std::printf("best misses: %d; the chosen frame brighter than the sharp one in %d; its "
                    "blur below 2 px in %d, 2 to 3 px in %d, 3 px or more in %d\n",
                    wrong, s.bestWrongBrighter, s.bestWrongBlur[0], s.bestWrongBlur[1],
                    s.bestWrongBlur[2]);
    }
    for (qsizetype i = 0; i < s.notes.size() && i < maxNotes; ++i) {
        std::printf("  %s\n", qPrintable(s.notes[i]));
    }
    if (s.notes.size() > maxNotes) {
        std::printf("  … and %lld more\n", qint64(s.notes.size() - maxNotes));
    }
}

QList<Group> readGroups(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("cannot read ") + path);
    }
    QList<Group> groups;
    while (!file.atEnd()) {
        const QStringList fields =
            QString::fromUtf8(file.readLine().trimmed()).split(QLatin1Char('\t'));
        if (fields.size() >= 3) {
            groups.append({fields.mid(1), fields[0]});
        }
    }
    return groups;
}

void writeGroups(const QString &path, const QList<Group> &groups)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail(QStringLiteral("cannot write ") + path);
    }
    for (const Group &group : groups) {
        file.write((QStringList{group.best} + group.names).join(QLatin1Char('\t')).toUtf8() + '\n');
    }
}

// The truth as groups: every burst, its frames in name order, the sharp frame its best.
QList<Group> truthGroups(const Truth &truth)
{
    QList<Group> groups(truth.burstCount);
    for (const TruthPhoto &photo : truth.photos) {
        if (photo.burst > 0) {
            Group &group = groups[photo.burst - 1];
            group.names.append(photo.name);
            if (photo.sharp) {
                group.best = photo.name;
            }
        }
    }
    return groups;
}

int selfTest(const Truth &truth)
{
    int failures = 0;
    const auto expect = [&failures](const char *what, bool ok) {
        std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
        failures += !ok;
    };
    const QList<Group> perfect = truthGroups(truth);
    const Score same = score(truth, perfect);
    std::printf("truth against itself: %s\n", qPrintable(figures(same)));
    expect("the truth scores 1 everywhere", same.precision() == 1 && same.recall() == 1 &&
                                                same.bestShare() == 1 &&
                                                same.exact == truth.burstCount);

    // Every burst cut in two: nothing wrong is joined, about half the pairs are lost, and the
    // larger half (the first on a tie) decides the best.
    QList<Group> halves;
    qint64 keptPairs = 0, allPairs = 0;
    for (const Group &group : perfect) {
        const qsizetype cut = group.names.size() / 2;
        const Group first{group.names.mid(0, cut), group.names.value(0)};
        const Group second{group.names.mid(cut), group.names.value(cut)};
        halves << first << second;
        keptPairs += pairs(first.names.size()) + pairs(second.names.size());
        allPairs += pairs(group.names.size());
    }
    const Score split = score(truth, halves);
    std::printf("every burst cut in two: %s\n", qPrintable(figures(split)));
    expect("cutting keeps precision at 1", split.precision() == 1);
    expect("cutting loses the pairs across the cut",
           split.recall() == double(keptPairs) / double(allPairs));

    // Two neighbouring bursts joined: recall stays 1, precision falls by the cross pairs.
    QList<Group> joined;
    qint64 cross = 0;
    for (qsizetype i = 0; i < perfect.size(); i += 2) {
        Group group = perfect[i];
        if (i + 1 < perfect.size()) {
            cross += qint64(group.names.size()) * perfect[i + 1].names.size();
            group.names += perfect[i + 1].names;
        }
        joined << group;
    }
    const Score merged = score(truth, joined);
    std::printf("bursts joined in twos: %s\n", qPrintable(figures(merged)));
    expect("joining keeps recall at 1", merged.recall() == 1);
    expect("joining costs precision the pairs across",
           merged.precision() == double(merged.truePairs) / double(merged.truePairs + cross));
    expect("a joined group matches only one of its bursts' best",
           merged.bestRight == (truth.burstCount + 1) / 2);

    // The first frame always called best: right about one time in the average burst length.
    QList<Group> firsts = perfect;
    int expected = 0;
    for (Group &group : firsts) {
        expected += group.best == group.names.first();
        group.best = group.names.first();
    }
    const Score first = score(truth, firsts);
    std::printf("the first frame as best: %s\n", qPrintable(figures(first)));
    expect("the first frame is right only where it is the sharp one", first.bestRight == expected);

    // Every unrelated photo joined to its neighbour: precision falls, nothing is found twice.
    QList<Group> strangers = perfect;
    for (qsizetype i = 0; i + 1 < truth.photos.size(); i += 2) {
        if (truth.photos[i].burst == 0 && truth.photos[i + 1].burst == 0) {
            strangers.append(
                {{truth.photos[i].name, truth.photos[i + 1].name}, truth.photos[i].name});
        }
    }
    const Score loose = score(truth, strangers);
    std::printf("unrelated neighbours paired: %s\n", qPrintable(figures(loose)));
    expect("pairs of unrelated photos cost precision, not recall",
           loose.recall() == 1 && loose.precision() < 1 &&
               loose.foundPairs == loose.truePairs + (strangers.size() - perfect.size()));
    // No groups at all.
    const Score none = score(truth, {});
    expect("no groups: recall 0, nothing matched",
           none.recall() == 0 && none.matched == 0 && none.bestRight == 0);
    std::printf("self_test_failures=%d\n", failures);
    return failures == 0 ? 0 : 1;
}

// ---- The baseline: the same photos' thumbnails -------------------------------------------

QList<Photo> listPhotos(const QString &root)
{
    const FolderScanner scanner(std::make_shared<LinuxFileSystem>());
    const Result<PhotoCollection> collection =
        scanner.scan(QUrl::fromLocalFile(root), PhotoSortOrder::filename);
    if (!collection) {
        fail(collection.error().message);
    }
    QList<Photo> photos;
    for (const PhotoSection &section : collection->sections) {
        photos += section.photos;
    }
    if (photos.isEmpty()) {
        fail(root + QStringLiteral(" holds no photos"));
    }
    return photos;
}

double processCpuMs()
{
    return BenchFiles::cpuNow().self;
}

int baseline(const QString &root)
{
    QList<Photo> photos = listPhotos(root);
    // What the board asks for a photo in its default cell, at scale 1 (offscreen).
    const double cellWidth = ViewSettings::Values{}.thumbnailSize;
    const QSizeF cell(cellWidth, cellWidth * GalleryView::thumbnailAspect);
    std::vector<int> needed(size_t(photos.size()));
    for (qsizetype i = 0; i < photos.size(); ++i) {
        Photo &photo = photos[i];
        const QString path = photo.url.toLocalFile();
        if (!photo.hasDimensions()) {
            const QSize size = QImageReader(path).size();
            photo.pixelWidth = size.width();
            photo.pixelHeight = size.height();
        }
        needed[size_t(i)] =
            ThumbnailService::requestSize(ThumbnailFeed::fillingSize(photo, cell), 1).neededPixels;
        if (!BenchFiles::readThrough(path)) {
            fail(QStringLiteral("cannot read ") + path);
        }
    }
    const int threads = ThumbnailService::defaultThreadCount();
    QThreadPool pool;
    pool.setMaxThreadCount(threads);
    std::vector<qsizetype> indices(size_t(photos.size()));
    std::iota(indices.begin(), indices.end(), 0);
    // Loads the image plugin before anything is timed.
    if (ThumbnailService::downsample(photos[0].url.toLocalFile(), needed[0]).isNull()) {
        fail(QStringLiteral("cannot decode ") + photos[0].url.toLocalFile());
    }
    std::vector<double> rounds;
    std::vector<double> cpu;
    for (int round = 0; round < 3; ++round) {
        std::atomic<int> bad{0};
        const double cpuStart = processCpuMs();
        QElapsedTimer clock;
        clock.start();
        QtConcurrent::blockingMap(&pool, indices, [&](qsizetype i) {
            const QImage image =
                ThumbnailService::downsample(photos[i].url.toLocalFile(), needed[size_t(i)]);
            if (image.isNull() || std::max(image.width(), image.height()) > needed[size_t(i)]) {
                ++bad;
            }
        });
        rounds.push_back(double(clock.nsecsElapsed()) / 1e6);
        cpu.push_back(processCpuMs() - cpuStart);
        if (bad.load() > 0) {
            fail(QStringLiteral("%1 thumbnails came out null or too large").arg(bad.load()));
        }
        std::printf("baseline round %d: %.0f ms, %.0f ms processor time\n", round + 1,
                    rounds.back(), cpu.back());
        std::fflush(stdout);
    }
    std::printf("baseline_ms=%.0f rounds_ms=%.0f,%.0f,%.0f threads=%d needed_px=%d cpu_ms=%.0f "
                "photos=%lld\n",
                median(rounds), rounds[0], rounds[1], rounds[2], threads, needed[0], median(cpu),
                qint64(photos.size()));
    return 0;
}

// ---- A reference: what the corpus asks of the rule ---------------------------------------

// A 64-bit difference hash as the rule describes it (a 9 × 8 grey picture, each bit one pixel
// brighter than its right neighbour) and the variance of the Laplacian, weighted towards the
// centre, over a decode of at most 1024 pixels. Not the application's code: a yardstick that
// says whether a lost pair or a wrong best lies in the corpus or in the application.
struct Reference
{
    quint64 hash = 0;
    double sharpness = 0;
};

Reference measure(const QString &path)
{
    const QImage grey =
        ThumbnailService::downsample(path, 1024).convertToFormat(QImage::Format_Grayscale8);
    Reference result;
    if (grey.isNull()) {
        return result;
    }
    const QImage small = grey.scaled(9, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (int y = 0; y < 8; ++y) {
        const uchar *line = small.constScanLine(y);
        for (int x = 0; x < 8; ++x) {
            result.hash = result.hash << 1 | (line[x] > line[x + 1] ? 1 : 0);
        }
    }
    double sum = 0, squares = 0, weights = 0;
    const int w = grey.width(), h = grey.height();
    for (int y = 1; y + 1 < h; ++y) {
        const uchar *up = grey.constScanLine(y - 1);
        const uchar *line = grey.constScanLine(y);
        const uchar *down = grey.constScanLine(y + 1);
        const double dy = (2.0 * y / h - 1);
        for (int x = 1; x + 1 < w; ++x) {
            const double dx = (2.0 * x / w - 1);
            const double weight = 1 - 0.5 * (dx * dx + dy * dy) / 2;
            const double laplacian = up[x] + down[x] + line[x - 1] + line[x + 1] - 4.0 * line[x];
            sum += weight * laplacian;
            squares += weight * laplacian * laplacian;
            weights += weight;
        }
    }
    const double mean = sum / weights;
    result.sharpness = squares / weights - mean * mean;
    return result;
}

int reference(const QString &root, const Truth &truth)
{
    const QList<Photo> photos = listPhotos(root);
    if (photos.size() != truth.photos.size()) {
        fail(QStringLiteral("%1 photos in the folder, %2 in the truth")
                 .arg(photos.size())
                 .arg(truth.photos.size()));
    }
    struct Fact
    {
        qint64 ms = 0;
        QString camera;
        Reference reference;
        bool wanted = false;
    };
    std::vector<Fact> facts(size_t(photos.size()));
    std::vector<qsizetype> indices(facts.size());
    std::iota(indices.begin(), indices.end(), 0);
    QtConcurrent::blockingMap(indices, [&](qsizetype i) {
        const PhotoInfo info = PhotoInfoReader::read(photos[i].url.toLocalFile());
        if (info.captureTime) {
            const FileTime moment = info.captureTime->moment();
            facts[size_t(i)].ms = moment.seconds * 1000 + moment.nanoseconds / 1'000'000;
        }
        facts[size_t(i)].camera =
            info.make + QLatin1Char('|') + info.model + QLatin1Char('|') + info.bodySerialNumber;
    });
    // Neighbours in name order the rule must judge by their pictures; the frames of every burst.
    const auto sameBurst = [&](qsizetype a, qsizetype b) {
        return truth.photos[a].burst > 0 && truth.photos[a].burst == truth.photos[b].burst;
    };
    std::vector<std::pair<qsizetype, qsizetype>> alike, strangers;
    for (qsizetype i = 1; i < photos.size(); ++i) {
        if (photos[i].filename != truth.photos[i].name) {
            fail(QStringLiteral("the folder's order differs from the truth at ") +
                 photos[i].filename);
        }
        const Fact &a = facts[size_t(i - 1)];
        const Fact &b = facts[size_t(i)];
        if (a.camera == b.camera && std::abs(b.ms - a.ms) <= 2000) {
            (sameBurst(i - 1, i) ? alike : strangers).emplace_back(i - 1, i);
        }
    }
    std::vector<std::vector<qsizetype>> frames(size_t(truth.burstCount + 1));
    for (qsizetype i = 0; i < truth.photos.size(); ++i) {
        if (truth.photos[i].burst > 0) {
            frames[size_t(truth.photos[i].burst)].push_back(i);
            facts[size_t(i)].wanted = true;
        }
    }
    for (const auto &[a, b] : strangers) {
        facts[size_t(a)].wanted = facts[size_t(b)].wanted = true;
    }
    QtConcurrent::blockingMap(indices, [&](qsizetype i) {
        if (facts[size_t(i)].wanted) {
            facts[size_t(i)].reference = measure(photos[i].url.toLocalFile());
        }
    });
    const auto distance = [&](qsizetype a, qsizetype b) {
        return std::popcount(facts[size_t(a)].reference.hash ^ facts[size_t(b)].reference.hash);
    };
    // Consecutive frames of a burst, whether or not another photo lies between them.
    std::vector<double> within;
    for (size_t b = 1; b < frames.size(); ++b) {
        for (size_t f = 1; f < frames[b].size(); ++f) {
            within.push_back(distance(frames[b][f - 1], frames[b][f]));
        }
    }
    std::vector<double> across;
    for (const auto &[a, b] : strangers) {
        across.push_back(distance(a, b));
    }
    const auto count = [](const std::vector<double> &values, auto test) {
        return std::count_if(values.begin(), values.end(), test);
    };
    std::printf("reference hash, consecutive frames of a burst (%zu): median %.0f, 90th %.0f, "
                "99th %.0f, max %.0f; above 12: %lld\n",
                within.size(), percentile(within, 0.5), percentile(within, 0.9),
                percentile(within, 0.99),
                within.empty() ? 0 : *std::max_element(within.begin(), within.end()),
                qint64(count(within, [](double d) { return d > 12; })));
    std::printf("reference hash, neighbours of one camera within 2 s, not one burst (%zu): min "
                "%.0f, 1st %.0f, median %.0f; 12 or less: %lld\n",
                across.size(), across.empty() ? 0 : *std::min_element(across.begin(), across.end()),
                percentile(across, 0.01), percentile(across, 0.5),
                qint64(count(across, [](double d) { return d <= 12; })));
    std::printf("neighbours of one burst in name order with one camera within 2 s: %zu\n",
                alike.size());
    int right = 0;
    for (size_t b = 1; b < frames.size(); ++b) {
        const auto sharpest =
            std::max_element(frames[b].begin(), frames[b].end(), [&](qsizetype x, qsizetype y) {
                return facts[size_t(x)].reference.sharpness < facts[size_t(y)].reference.sharpness;
            });
        right += truth.photos[*sharpest].sharp;
    }
    std::printf("reference sharpness picks the sharp frame in %d of %d bursts\n", right,
                truth.burstCount);
    // The rule itself, with the yardstick's facts: neighbours in name order, one camera, at
    // most 2 s and a hash distance of at most 12 from the previous frame; the sharpest is best.
    // Photos the yardstick did not measure (no burst frame nor a stranger beside one) join
    // nothing, which the rule would not make them do either: their neighbours are other cameras
    // or more than 2 s away.
    QList<Group> ruled;
    std::vector<qsizetype> run{0};
    const auto close = [&] {
        if (run.size() > 1) {
            Group group;
            qsizetype best = run.front();
            for (const qsizetype i : run) {
                group.names.append(truth.photos[i].name);
                if (facts[size_t(i)].reference.sharpness >
                    facts[size_t(best)].reference.sharpness) {
                    best = i;
                }
            }
            group.best = truth.photos[best].name;
            ruled.append(group);
        }
    };
    for (qsizetype i = 1; i < photos.size(); ++i) {
        const Fact &a = facts[size_t(i - 1)];
        const Fact &b = facts[size_t(i)];
        if (a.wanted && b.wanted && a.camera == b.camera && std::abs(b.ms - a.ms) <= 2000 &&
            distance(i - 1, i) <= 12) {
            run.push_back(i);
        } else {
            close();
            run = {i};
        }
    }
    close();
    const Score ruledScore = score(truth, ruled);
    std::printf("the rule with the yardstick's facts: %s\n", qPrintable(figures(ruledScore)));
    std::printf("reference_rule_precision=%.4f reference_rule_recall=%.4f "
                "reference_rule_best=%.4f ",
                ruledScore.precision(), ruledScore.recall(), ruledScore.bestShare());
    std::printf("reference_within_above_12=%lld reference_across_at_most_12=%lld "
                "reference_best=%.4f\n",
                qint64(count(within, [](double d) { return d > 12; })),
                qint64(count(across, [](double d) { return d <= 12; })),
                truth.burstCount ? double(right) / truth.burstCount : 1.0);
    return 0;
}

// ---- Ours: the store's similarity work ---------------------------------------------------

// A timer due every 5 ms on the window's thread: a gap longer than that is how long an input
// event would have waited.
class Ticker
{
public:
    Ticker()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            m_gaps.push_back(double(m_sinceTick.nsecsElapsed()) / 1e6);
            m_sinceTick.restart();
        });
    }
    void start()
    {
        m_sinceTick.start();
        m_timer.start();
    }
    // The gaps since the last call.
    std::vector<double> take()
    {
        std::vector<double> gaps;
        gaps.swap(m_gaps);
        return gaps;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    std::vector<double> m_gaps;
};

// Sleeps until an event arrives (the ticker's every 5 ms at the latest) and handles what came.
// processEvents(flags, maxtime) would drop WaitForMoreEvents and spin a core, which the
// similarity pass, running at idle priority, would then never get.
void waitForEvents()
{
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int ours(
    const QString &root, const Truth &truth, QString cache, const QString &groupsOut, int idleMs)
{
    QTemporaryDir home;
    std::optional<QTemporaryDir> freshCache;
    if (cache.isEmpty()) {
        freshCache.emplace();
        cache = freshCache->path();
    }
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    QCoreApplication::setOrganizationName(QStringLiteral("Calvenor"));
    QCoreApplication::setApplicationName(QStringLiteral("Photo Sorter"));
    const bool cold = QDir(cache).isEmpty();

    RecordingDesktop desktop;
    auto settings = std::make_shared<QSettings>(home.path() + QStringLiteral("/settings.ini"),
                                                QSettings::IniFormat);
    CollectionStore store(desktop, settings);
    SimilarityIndex &similarity = store.similarity();
    // Where the application keeps it (main() names the application first): without a folder
    // the index keeps nothing between runs.
    similarity.setCacheFolder(SimilarityIndex::defaultCacheFolder());

    QElapsedTimer clock;
    clock.start();
    qint64 loadedNs = -1, completeNs = -1, lastBurstsNs = -1, lastProgressNs = -1;
    int burstUpdates = 0, progressUpdates = 0;
    QObject::connect(&store, &CollectionStore::burstsChanged, &store, [&] {
        lastBurstsNs = clock.nsecsElapsed();
        ++burstUpdates;
    });
    QObject::connect(&similarity, &SimilarityIndex::progressChanged, &store, [&] {
        lastProgressNs = clock.nsecsElapsed();
        ++progressUpdates;
    });
    Ticker ticker;
    ticker.start();
    store.openCollection(QUrl::fromLocalFile(root), false);
    const auto waitUntil = [&](auto done, const char *what) {
        while (!done()) {
            waitForEvents();
            if (clock.elapsed() > 30 * 60 * 1000) {
                fail(QStringLiteral("waited half an hour for ") + QLatin1String(what));
            }
        }
    };
    waitUntil([&] { return store.collection().has_value() && !store.isLoading(); },
              "the collection");
    loadedNs = clock.nsecsElapsed();
    ticker.take(); // the listing's gaps are not the similarity work's
    const double cpuStart = processCpuMs();
    const qsizetype doneAtLoad = similarity.doneCount();
    waitUntil([&] { return similarity.isComplete(); }, "the similarity index");
    completeNs = clock.nsecsElapsed();
    // Bursts follow the facts on the window's thread, perhaps a little later; the work is over
    // once a second and a half passes with neither.
    qint64 quietSince = clock.nsecsElapsed();
    int seenUpdates = burstUpdates + progressUpdates;
    while (clock.nsecsElapsed() - quietSince < 1'500'000'000) {
        waitForEvents();
        if (burstUpdates + progressUpdates != seenUpdates) {
            seenUpdates = burstUpdates + progressUpdates;
            quietSince = clock.nsecsElapsed();
        }
    }
    const qint64 endNs = std::max(completeNs, lastBurstsNs);
    const double cpuMs = processCpuMs() - cpuStart;
    std::vector<double> workGaps = ticker.take();
    // Gaps after the end belong to neither phase.
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < idleMs) {
        waitForEvents();
    }
    const std::vector<double> idleGaps = ticker.take();
    if (burstUpdates + progressUpdates != seenUpdates) {
        std::printf("note: %d more updates arrived while idle\n",
                    burstUpdates + progressUpdates - seenUpdates);
    }

    const Bursts &bursts = store.bursts();
    QList<Group> groups;
    for (qsizetype g = 0; g < bursts.groups().size(); ++g) {
        Group group;
        for (const QString &id : bursts.groups()[g]) {
            const std::optional<Photo> photo = store.photo(id);
            if (!photo) {
                fail(QStringLiteral("a burst names a photo the store does not know: ") + id);
            }
            group.names.append(photo->filename);
        }
        const std::optional<Photo> best = store.photo(bursts.best(g));
        group.best = best ? best->filename : QString();
        groups.append(group);
    }
    if (!groupsOut.isEmpty()) {
        writeGroups(groupsOut, groups);
    }
    const Score s = score(truth, groups);
    std::printf("%lld photos, %lld groups, %lld of %lld facts known at load; %d progress and %d "
                "burst updates\n",
                qint64(store.photoCount()), qint64(groups.size()), qint64(doneAtLoad),
                qint64(similarity.totalCount()), progressUpdates, burstUpdates);
    printScore(s);
    std::printf("ours_ms=%.0f load_ms=%.0f complete_ms=%.0f last_bursts_ms=%.0f cpu_ms=%.0f "
                "work_gap_max_ms=%.1f work_gap_p99_ms=%.1f idle_gap_max_ms=%.1f "
                "idle_gap_p99_ms=%.1f cache=%s %s\n",
                double(endNs - loadedNs) / 1e6, double(loadedNs) / 1e6,
                double(completeNs - loadedNs) / 1e6,
                lastBurstsNs < 0 ? -1.0 : double(lastBurstsNs - loadedNs) / 1e6, cpuMs,
                workGaps.empty() ? 0 : *std::max_element(workGaps.begin(), workGaps.end()),
                percentile(workGaps, 0.99),
                idleGaps.empty() ? 0 : *std::max_element(idleGaps.begin(), idleGaps.end()),
                percentile(idleGaps, 0.99), cold ? "cold" : "warm", qPrintable(figures(s)));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    useOwnPagesForLargeBlocks(); // as the application does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const auto usage = [&] {
        std::fprintf(stderr,
                     "usage: %s --baseline PHOTOS\n"
                     "       %s --ours PHOTOS TRUTH [--cache DIR] [--groups-out FILE] "
                     "[--idle-ms N]\n"
                     "       %s --score TRUTH GROUPS\n"
                     "       %s --self-test TRUTH\n"
                     "       %s --reference PHOTOS TRUTH\n",
                     argv[0], argv[0], argv[0], argv[0], argv[0]);
        return 2;
    };
    if (arguments.size() == 3 && arguments[1] == QLatin1String("--baseline")) {
        return baseline(QDir(arguments[2]).absolutePath());
    }
    if (arguments.size() == 4 && arguments[1] == QLatin1String("--reference")) {
        return reference(QDir(arguments[2]).absolutePath(), readTruth(arguments[3]));
    }
    if (arguments.size() == 3 && arguments[1] == QLatin1String("--self-test")) {
        return selfTest(readTruth(arguments[2]));
    }
    if (arguments.size() == 4 && arguments[1] == QLatin1String("--score")) {
        const Score s = score(readTruth(arguments[2]), readGroups(arguments[3]));
        printScore(s);
        std::printf("%s\n", qPrintable(figures(s)));
        return 0;
    }
    if (arguments.size() >= 4 && arguments[1] == QLatin1String("--ours")) {
        QString cache, groupsOut;
        int idleMs = 3000;
        for (qsizetype i = 4; i < arguments.size(); ++i) {
            if (arguments[i] == QLatin1String("--cache") && i + 1 < arguments.size()) {
                cache = arguments[++i];
            } else if (arguments[i] == QLatin1String("--groups-out") && i + 1 < arguments.size()) {
                groupsOut = arguments[++i];
            } else if (arguments[i] == QLatin1String("--idle-ms") && i + 1 < arguments.size()) {
                idleMs = arguments[++i].toInt();
            } else {
                return usage();
            }
        }
        return ours(QDir(arguments[2]).absolutePath(), readTruth(arguments[3]), cache, groupsOut,
                    idleMs);
    }
    return usage();
}
