// Times MasonryLayout::distribute over 10,000 photos of mixed proportions (some unread, some
// extreme) in the columns a 1440-wide window gets at the default cell size. Prints the median
// of 20 runs after two untimed warm-up runs, wall clock and the thread's CPU time (which leaves
// out time the thread sat preempted while other programs had the cores):
//   calvenor-masonry-bench   →   photos=10000 columns=5 … distribute_ms=… distribute_cpu_ms=…

#include "Layout/MasonryLayout.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return (values[half - 1] + values[half]) / 2;
}

} // namespace

int main()
{
    constexpr int photoCount = 10000;
    constexpr int runs = 20;
    QRandomGenerator random(42);
    QList<BrowsePhotoItem> items;
    items.reserve(photoCount);
    for (int i = 0; i < photoCount; ++i) {
        BrowsePhotoItem item;
        item.photo.id = QStringLiteral("2049:%1").arg(1835012 + i);
        item.photo.filename = QStringLiteral("IMG_%1.jpg").arg(i);
        item.sectionID = QStringLiteral("unsorted:2049:2");
        item.categoryName = QStringLiteral("Unsorted");
        if (i % 50 != 0) { // every 50th photo has no dimensions yet
            item.photo.pixelWidth = random.bounded(1, 8000);
            item.photo.pixelHeight = random.bounded(1, 8000);
        }
        items.append(item);
    }
    const MasonryMetrics metrics;
    const int columns = MasonryLayout::columns(1440, metrics);
    double checksum = 0; // keeps the work observable
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int run = -2; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = threadCpuMs();
        const MasonryDistribution d = MasonryLayout::distribute(items, columns, metrics);
        const double cpuMs = threadCpuMs() - cpuStart;
        const double wallMs = double(timer.nsecsElapsed()) / 1e6;
        checksum += d.height;
        if (run >= 0) {
            wall.push_back(wallMs);
            cpu.push_back(cpuMs);
        }
    }
    std::printf("photos=%d columns=%d height=%.0f distribute_ms=%.3f distribute_cpu_ms=%.3f\n",
                photoCount, columns, checksum / (runs + 2), median(wall), median(cpu));
    return 0;
}
