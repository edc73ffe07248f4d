// Watches one application's window on an X display from its launch on, the same way for every
// application, so image browsers can be raced on equal terms:
//   window_ms        from the launch until the application's largest managed window is mapped
//   first_screen_ms  until the window's picture last changed before it settled with thumbnails
//                    in it (see below); "none" when it settled without any
//   near_screen_ms   the same with 3 % of the picture allowed to differ: what an overlay drawn
//                    on thumbnails already there changes (our similar-shot marks, say) is not
//                    counted, a missing thumbnail still is (a cell is about 2.5 % of the picture)
//   thumbs_screen_ms until every later picture held at least 97 % of the settled picture's
//                    distinct colours: the thumbnails there, whatever is drawn over them later
//                    (a missing thumbnail takes about 5 % of a screen of 18 cells' colours away)
//   stall_open_ms    the longest round trip of a _NET_WM_PING sent to the window from its
//                    mapping until the first screen: Qt and GTK answer the ping on the thread
//                    that handles input and paints, so this is the longest input would have waited
//   stall_ms         the same until the end of the run (the application's work done, or a tail)
//   stall_at_ms      when the ping of stall_ms was sent, from the launch
//   stall_stolen_ms  the CPU time the hypervisor gave to others, all CPUs together, while that
//                    ping waited (and for 20 ms after, as it is counted late): on a virtual
//                    machine every process, the X server's too, waits when its host is busy.
//                    /proc/stat's steal, in ticks of 10 ms; 0 on a machine of its own
//   end_ms, pings, unanswered, cpu_s (the process tree's CPU time), rss_mb (the main process's
//   peak), colours (distinct colours in the settled picture's samples)
//
// The picture is sampled every 8th pixel both ways, grabbed through shared memory every 20 ms.
// It is still while it stays within 0.5 % of the samples of one picture; it shows thumbnails
// when that picture has at least --min-colours distinct colours (interface chrome, icons and
// placeholders have a few hundred, a screen of photographs thousands). It has settled once it
// showed thumbnails and was still for --quiet-ms while the process and its children used under
// 5 % of a core over a second, or for --long-quiet-ms whatever they did (thumbnails of photos
// off screen). The first screen is the first grab from which on every picture was within that
// tolerance of the settled one. Pings go on after it until the processes idle, at most
// --tail-ms. A ping goes out every 20 ms from a thread of its own on a second connection, so a
// busy grab never delays one.
//   DISPLAY=:N peer-watch --pid PID --launch-ns NS [--quiet-ms 2000] [--long-quiet-ms 15000]
//              [--timeout-ms 180000] [--tail-ms 20000] [--min-colours 1000] [--shot FILE.png]
// The last line is machine-readable; the launch is CLOCK_REALTIME in nanoseconds.

#include "ScreenWatch.h"

#include <csignal>
#include <fstream>

namespace {

using namespace ScreenWatch;

struct Options
{
    pid_t pid = 0;
    std::int64_t launchNs = 0;
    double quietMs = 2000;
    double longQuietMs = 15000;
    double timeoutMs = 180000;
    double tailMs = 20000;
    std::size_t minColours = 1000;
    std::string shot;
};

// The CPU time the hypervisor has given to others since boot, all CPUs together.
double stolenMs()
{
    std::ifstream stat("/proc/stat");
    std::string cpu;
    unsigned long long fields[8] = {}; // user nice system idle iowait irq softirq steal
    stat >> cpu;
    for (unsigned long long &field : fields) {
        stat >> field;
    }
    return double(fields[7]) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

int usage()
{
    std::fprintf(stderr, "usage: peer-watch --pid PID --launch-ns NS [--quiet-ms MS] "
                         "[--long-quiet-ms MS] [--timeout-ms MS] [--tail-ms MS] [--min-colours N] "
                         "[--shot FILE.png]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char *value = argv[i + 1];
        if (name == "--pid") {
            options.pid = pid_t(std::atol(value));
        } else if (name == "--launch-ns") {
            options.launchNs = std::atoll(value);
        } else if (name == "--quiet-ms") {
            options.quietMs = std::atof(value);
        } else if (name == "--long-quiet-ms") {
            options.longQuietMs = std::atof(value);
        } else if (name == "--timeout-ms") {
            options.timeoutMs = std::atof(value);
        } else if (name == "--tail-ms") {
            options.tailMs = std::atof(value);
        } else if (name == "--min-colours") {
            options.minColours = std::size_t(std::atol(value));
        } else if (name == "--shot") {
            options.shot = value;
        } else {
            return usage();
        }
    }
    if (options.pid <= 0 || options.launchNs <= 0 || argc % 2 == 0) {
        return usage();
    }
    ScreenWatch::launchNs = options.launchNs;
    XInitThreads();
    XSetErrorHandler(ignoreXErrors);
    Display *display = XOpenDisplay(nullptr);
    if (!display || !XShmQueryExtension(display)) {
        std::fprintf(stderr, "peer-watch: no X display with shared memory\n");
        return 1;
    }
    const auto alive = [&] { return kill(options.pid, 0) == 0 && readStat(options.pid); };

    Window window = None;
    while (!(window = findWindow(display, options.pid))) {
        if (!alive() || sinceLaunchMs() > options.timeoutMs) {
            std::fprintf(stderr, "peer-watch: the application showed no window\n");
            return 1;
        }
        sleepMs(10);
    }
    const double windowMs = sinceLaunchMs();
    Pinger pinger(DisplayString(display));
    pinger.start(window);
    Grabber grabber(display);

    std::vector<Frame> frames; // every grab that differed from the one before
    std::vector<std::pair<double, double>> stolen; // (when, stolenMs()) every turn of the loop
    std::vector<std::uint32_t> anchor;
    double anchorMs = windowMs;
    double nextCheckMs = windowMs + 500;
    std::optional<double> settledMs;
    bool thumbnails = false;
    bool idle = false; // the process tree used under 5 % of a core over the last second
    double cpuMark = treeCpuSeconds(options.pid), cpuMarkMs = windowMs, endMs = 0;
    for (double nextGrabMs = windowMs;; nextGrabMs += 20) {
        sleepMs(std::max(0.0, nextGrabMs - sinceLaunchMs()));
        const double nowMs = sinceLaunchMs();
        stolen.push_back({nowMs, stolenMs()});
        if (!alive()) {
            std::fprintf(stderr, "peer-watch: the application ended\n");
            endMs = nowMs;
            break;
        }
        if (nowMs - cpuMarkMs >= 1000) {
            const double cpu = treeCpuSeconds(options.pid);
            idle = cpu - cpuMark < 0.05;
            cpuMark = cpu;
            cpuMarkMs = nowMs;
            if (settledMs && (idle || nowMs - *settledMs >= options.tailMs)) {
                endMs = nowMs;
                break;
            }
        }
        if (settledMs) {
            continue; // only pinging now, until the application's work is done
        }
        if (nowMs >= nextCheckMs) {
            // A window mapped later and larger (a splash screen first) is the one to watch.
            if (const Window larger = findWindow(display, options.pid); larger && larger != window) {
                window = larger;
                pinger.retarget(window);
            }
            nextCheckMs = nowMs + 500;
        }
        auto samples = grabber.grab(window);
        if (!samples) {
            continue;
        }
        if (frames.empty() || frames.back().samples != *samples) {
            frames.push_back({nowMs, *samples});
        }
        if (anchor.empty() || !close(anchor, *samples)) {
            anchor = std::move(*samples);
            anchorMs = nowMs;
            thumbnails = false;
        }
        const double quietMs = nowMs - anchorMs;
        if (quietMs >= options.quietMs && !thumbnails) {
            thumbnails = distinctColours(anchor) >= options.minColours;
        }
        // A slow decoder leaves the picture still for seconds between thumbnails, so a still
        // picture alone is not the end unless it stays so for long: the application's idling
        // says its first screen is complete. A picture without thumbnails in it is given up
        // on only once the application is idle too.
        if ((thumbnails && quietMs >= options.quietMs && idle)
            || (thumbnails && quietMs >= options.longQuietMs)
            || (!thumbnails && quietMs >= options.longQuietMs && idle)) {
            settledMs = nowMs;
        } else if (nowMs > options.timeoutMs) {
            settledMs = nowMs;
            thumbnails = false;
        }
    }
    pinger.stop();
    const double cpuSeconds = treeCpuSeconds(options.pid);
    const double rssMb = peakRssMb(options.pid);

    std::optional<double> firstScreenMs, nearScreenMs, thumbsScreenMs;
    if (thumbnails && !frames.empty()) {
        const std::vector<std::uint32_t> &settled = frames.back().samples;
        const auto firstWithin = [&](double share) {
            std::size_t first = frames.size() - 1;
            while (first > 0 && double(differing(frames[first - 1].samples, settled)) <=
                                    share * double(settled.size())) {
                --first;
            }
            return frames[first].ms;
        };
        firstScreenMs = firstWithin(tolerance);
        nearScreenMs = firstWithin(0.03);
        const double colours = double(distinctColours(settled));
        std::size_t first = frames.size() - 1;
        while (first > 0 && double(distinctColours(frames[first - 1].samples)) >= 0.97 * colours) {
            --first;
        }
        thumbsScreenMs = frames[first].ms;
    }
    double stallOpenMs = 0, stallMs = 0, stallAtMs = 0;
    std::size_t unanswered = 0;
    const auto pings = pinger.pings();
    for (const Pinger::Ping &ping : pings) {
        const double answeredMs = ping.answeredMs < 0 ? endMs : ping.answeredMs;
        unanswered += ping.answeredMs < 0;
        if (answeredMs - ping.sentMs > stallMs) {
            stallMs = answeredMs - ping.sentMs;
            stallAtMs = ping.sentMs;
        }
        if (ping.sentMs <= firstScreenMs.value_or(endMs)) {
            stallOpenMs = std::max(stallOpenMs,
                                   std::min(answeredMs, firstScreenMs.value_or(endMs)) - ping.sentMs);
        }
    }
    double stallStolenMs = 0;
    if (stallMs > 0 && !stolen.empty()) {
        const auto at = [&](double ms) { // the last sample taken by `ms`, or the first
            const auto after = std::upper_bound(stolen.begin(), stolen.end(), std::pair(ms, 1e300));
            return after == stolen.begin() ? stolen.front().second : std::prev(after)->second;
        };
        stallStolenMs = at(stallAtMs + stallMs + 20) - at(stallAtMs);
    }
    if (!options.shot.empty() && grabber.image()) {
        writePng(options.shot, *grabber.image());
    }
    const auto shown = [](std::optional<double> ms) {
        return ms ? std::to_string(long(*ms + 0.5)) : std::string("none");
    };
    std::printf("window_ms=%.0f first_screen_ms=%s near_screen_ms=%s thumbs_screen_ms=%s "
                "stall_open_ms=%.0f "
                "stall_ms=%.0f stall_at_ms=%.0f stall_stolen_ms=%.0f end_ms=%.0f pings=%zu unanswered=%zu frames=%zu "
                "colours=%zu "
                "cpu_s=%.1f rss_mb=%.0f\n",
                windowMs, shown(firstScreenMs).c_str(), shown(nearScreenMs).c_str(),
                shown(thumbsScreenMs).c_str(), stallOpenMs, stallMs, stallAtMs, stallStolenMs, endMs, pings.size(),
                unanswered, frames.size(),
                frames.empty() ? 0 : distinctColours(frames.back().samples), cpuSeconds, rssMb);
    return 0; // the grabber detaches its shared memory from the display on the way out
}
