// Drives an application's window with key presses (XTest, as from a keyboard) and times from the
// screen what each one does, the same way for every application, so image viewers can be raced
// on equal terms. The steps run in order:
//   settle             wait until the picture has settled (after the launch, say)
//   press:KEY          press KEY, then wait until the picture has settled, changed or not
//   open:KEY           press KEY, then wait for another window of the application to become the
//                      active one (a preview opening) and for its picture to settle
//   pointer:center     move the pointer to the middle of the watched window, then settle
//   mark               note the resident memory of the process tree and restart its peak (VmHWM,
//                      through /proc/PID/clear_refs, which takes root or the same user)
//   time:KEY:NAME[*N]  press KEY (N times, each once the one before has settled) and time it:
//                      NAME_ms from the press to the first grab from which on the picture was
//                      within tolerance of the settled one; NAME_first_ms until the picture first
//                      differed from the one before the press; "none" when it never did
//   peak:NAME          NAME_mb: the tree's peak since the mark minus its resident memory then
// KEY is an X keysym name (z, 3, Right, space, Next). The picture is grabbed through shared memory
// every --grab-ms and sampled as peer-watch samples it (see ScreenWatch.h). A grab counts at the
// time it returned, so a time is never early, and late by up to one interval and a grab. The
// picture has settled once it was still for --quiet-ms while the process tree used under 5 % of
// a core over the last --idle-ms (decoding ahead done too), or was still for --long-quiet-ms
// whatever the tree did.
// A step gives up after --timeout-ms. NAME_detail is the mean difference of neighbouring pixels
// (green, 0 to 255) in the middle of the settled picture: a photo shown at 100 % keeps its fine
// grain, a fitted or upscaled one loses most of it, so it tells which of them is on screen.
// Pings (_NET_WM_PING every 20 ms, on a thread and a connection of their own, to the watched
// window) time how long input would have waited: stall_ms over the whole run, NAME_stall_ms
// from a timed press until its picture settled. The run ends with the tree's CPU time and its
// resident memory then (rss_end_mb).
//   DISPLAY=:N key-watch --pid PID --launch-ns NS [--grab-ms 20] [--quiet-ms 500]
//              [--idle-ms 1000] [--long-quiet-ms 10000] [--timeout-ms 120000]
//              [--shots PREFIX] [--log FILE] STEP...
// --shots writes the settled picture of every step as PREFIX-STEP.png; --log every grab that
// changed. The last line is machine-readable; the launch is CLOCK_REALTIME in nanoseconds.

#include "ScreenWatch.h"

#include <X11/extensions/XTest.h>

#include <cmath>
#include <csignal>
#include <deque>

namespace {

using namespace ScreenWatch;

struct Options
{
    pid_t pid = 0;
    std::int64_t launchNs = 0;
    double grabMs = 20;
    double quietMs = 500;
    double idleMs = 1000;
    double longQuietMs = 10000;
    double timeoutMs = 120000;
    std::string shots;
    std::string log;
    std::vector<std::string> steps;
};

int usage()
{
    std::fprintf(stderr, "usage: key-watch --pid PID --launch-ns NS [--grab-ms MS] [--quiet-ms MS] "
                         "[--idle-ms MS] [--long-quiet-ms MS] [--timeout-ms MS] [--shots PREFIX] "
                         "[--log FILE] STEP...\n"
                         "steps: settle press:KEY open:KEY pointer:center mark "
                         "time:KEY:NAME[*N] peak:NAME\n");
    return 2;
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1) {
        parts.push_back(text.substr(from, at - from));
    }
    parts.push_back(text.substr(from));
    return parts;
}

std::string millis(double ms)
{
    return std::to_string(long(std::lround(ms)));
}

// Mean absolute difference of horizontally neighbouring pixels' green, over the middle half of
// the picture both ways (the photo, not the interface around it).
double detail(const XImage &image)
{
    double sum = 0;
    long count = 0;
    for (int y = image.height / 4; y < image.height * 3 / 4; y += 2) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(
            image.data + std::ptrdiff_t(y) * image.bytes_per_line);
        for (int x = image.width / 4; x + 1 < image.width * 3 / 4; ++x) {
            sum += std::abs(int((row[x] >> 8) & 0xff) - int((row[x + 1] >> 8) & 0xff));
            ++count;
        }
    }
    return count ? sum / double(count) : 0;
}

// The CPU time of the application's process tree, sampled as the steps run.
class CpuWatch
{
public:
    explicit CpuWatch(pid_t root)
        : m_root(root)
    {
    }

    void sample(double nowMs)
    {
        if (nowMs - m_treeMs >= 1000) { // children come and go; the tree is listed once a second
            m_tree = processTree(m_root);
            m_treeMs = nowMs;
        }
        // A process that ended takes its CPU time with it: the total never goes back.
        const double cpu =
            std::max(cpuSeconds(m_tree), m_history.empty() ? 0 : m_history.back().cpu);
        m_history.push_back({nowMs, cpu});
        while (m_history.size() > 2 && m_history[1].ms <= nowMs - 10000) {
            m_history.pop_front();
        }
    }
    // Under 5 % of a core over the last `spanMs` (known only once that much has been sampled).
    bool idle(double nowMs, double spanMs) const
    {
        if (m_history.empty() || m_history.front().ms > nowMs - spanMs) {
            return false;
        }
        auto from = m_history.rbegin();
        while (from != m_history.rend() && from->ms > nowMs - spanMs) {
            ++from;
        }
        const double seconds = (m_history.back().ms - from->ms) / 1000;
        return seconds > 0 && (m_history.back().cpu - from->cpu) / seconds < 0.05;
    }

private:
    struct Sample
    {
        double ms;
        double cpu;
    };
    pid_t m_root;
    std::vector<pid_t> m_tree;
    double m_treeMs = -1e9;
    std::deque<Sample> m_history;
};

// What waiting for the picture to settle saw.
struct Settled
{
    bool ended = false;                  // the application ended
    bool timedOut = false;               // the step's time ran out first
    std::optional<double> firstChangeMs; // the first grab beyond tolerance of the reference
    double settledFromMs = 0; // the first grab from which on every one was close to the last
    double endMs = 0;
    std::vector<std::uint32_t> samples; // the settled picture
};

class KeyWatch
{
public:
    KeyWatch(Display *display, const Options &options)
        : m_display(display)
        , m_options(options)
        , m_pinger(DisplayString(display))
        , m_grabber(display)
        , m_cpu(options.pid)
    {
        if (!options.log.empty()) {
            m_log = std::fopen(options.log.c_str(), "w");
        }
    }
    ~KeyWatch()
    {
        m_pinger.stop();
        if (m_log) {
            std::fclose(m_log);
        }
    }

    // Waits for the application's first window; false when it ended or showed none in time.
    bool start()
    {
        while (!(m_window = findWindow(m_display, m_options.pid, true))) {
            if (!alive() || sinceLaunchMs() > m_options.timeoutMs) {
                return false;
            }
            sleepMs(10);
        }
        m_windowMs = sinceLaunchMs();
        m_pinger.start(m_window);
        return true;
    }

    // Runs one step, appending its figures; false when the run cannot go on.
    bool run(const std::string &step)
    {
        const auto parts = split(step, ':');
        const std::string &kind = parts[0];
        logEvent("step " + step);
        if (kind == "settle" && parts.size() == 1) {
            const Settled s = settle(nullptr, false, false);
            if (m_figures.empty()) {
                add("launch_settled_ms", millis(s.settledFromMs));
            }
            return finish(s, "settle" + std::to_string(++m_settles));
        }
        if ((kind == "press" || kind == "open") && parts.size() == 2) {
            const auto before = lastSamples();
            if (!press(parts[1])) {
                return false;
            }
            const Window previous = m_window;
            const Settled s = settle(&before, false, kind == "open");
            if (kind == "open" && m_window == previous) {
                add(parts[1] + "_open_ms", "none");
                add("failed", "no-window-opened");
                return false;
            }
            if (kind == "open") {
                add(parts[1] + "_open_ms", millis(s.settledFromMs - m_pressMs));
            }
            return finish(s, kind + "-" + parts[1]);
        }
        if (kind == "pointer" && parts.size() == 2 && parts[1] == "center") {
            XWindowAttributes attributes{};
            Window child = None;
            int x = 0, y = 0;
            if (!XGetWindowAttributes(m_display, m_window, &attributes) ||
                !XTranslateCoordinates(m_display, m_window, DefaultRootWindow(m_display),
                                       attributes.width / 2, attributes.height / 2, &x, &y,
                                       &child)) {
                std::fprintf(stderr, "key-watch: the window is gone\n");
                return false;
            }
            XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
            XSync(m_display, False);
            return finish(settle(nullptr, false, false), "pointer");
        }
        if (kind == "mark" && parts.size() == 1) {
            mark();
            return true;
        }
        if (kind == "peak" && parts.size() == 2) {
            peak(parts[1]);
            return true;
        }
        if (kind == "time" && parts.size() == 3) {
            const auto repeat = split(parts[2], '*');
            const int times = repeat.size() == 2 ? std::atoi(repeat[1].c_str()) : 1;
            if (repeat[0].empty() || times < 1) {
                return false;
            }
            return timed(parts[1], repeat[0], times);
        }
        std::fprintf(stderr, "key-watch: unknown step %s\n", step.c_str());
        return false;
    }

    // The machine-readable line: every step's figures, then the run's.
    void report()
    {
        m_pinger.stop();
        const double endMs = sinceLaunchMs();
        double stallMs = 0;
        std::size_t unanswered = 0;
        for (const Pinger::Ping &ping : m_pinger.pings()) {
            unanswered += ping.answeredMs < 0;
            stallMs =
                std::max(stallMs, (ping.answeredMs < 0 ? endMs : ping.answeredMs) - ping.sentMs);
        }
        XWindowAttributes attributes{};
        XGetWindowAttributes(m_display, m_window, &attributes);
        std::string line = "window_ms=" + millis(m_windowMs);
        for (const auto &[name, value] : m_figures) {
            line += " " + name + "=" + value;
        }
        long rssKb = 0;
        for (const pid_t pid : processTree(m_options.pid)) {
            rssKb += statusKb(pid, "VmRSS:");
        }
        char tail[256];
        std::snprintf(
            tail, sizeof tail,
            " stall_ms=%.0f pings=%zu unanswered=%zu window=%dx%d cpu_s=%.1f rss_end_mb=%ld",
            stallMs, m_pinger.pings().size(), unanswered, attributes.width, attributes.height,
            treeCpuSeconds(m_options.pid), std::lround(double(rssKb) / 1024));
        std::printf("%s%s\n", line.c_str(), tail);
        std::fflush(stdout);
    }

private:
    bool alive() const { return kill(m_options.pid, 0) == 0 && readStat(m_options.pid); }

    void add(const std::string &name, const std::string &value)
    {
        m_figures.push_back({name, value});
    }

    void logEvent(const std::string &text)
    {
        if (m_log) {
            std::fprintf(m_log, "%9.1f %s\n", sinceLaunchMs(), text.c_str());
            std::fflush(m_log);
        }
    }

    std::vector<std::uint32_t> lastSamples()
    {
        auto samples = m_grabber.grab(m_window);
        return samples ? std::move(*samples) : std::vector<std::uint32_t>();
    }

    bool press(const std::string &keyName)
    {
        const KeySym symbol = XStringToKeysym(keyName.c_str());
        const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(m_display, symbol);
        if (code == 0) {
            std::fprintf(stderr, "key-watch: no key for %s\n", keyName.c_str());
            return false;
        }
        m_pressMs = sinceLaunchMs();
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        XSync(m_display, False);
        logEvent("pressed " + keyName);
        return true;
    }

    // Grabs until the picture settles. With a reference, notes when the picture first left it;
    // with `newWindow`, waits first for another window to become the one watched.
    Settled settle(const std::vector<std::uint32_t> *reference, bool requireChange, bool newWindow)
    {
        Settled result;
        const Window previous = m_window;
        const double startMs = sinceLaunchMs();
        std::vector<std::pair<double, std::vector<std::uint32_t>>> frames; // each distinct grab
        std::vector<std::uint32_t> anchor;
        double anchorMs = startMs, nextCpuMs = 0, nextWindowMs = 0;
        for (double nextGrabMs = startMs;; nextGrabMs += m_options.grabMs) {
            sleepMs(std::max(0.0, nextGrabMs - sinceLaunchMs()));
            const double nowMs = sinceLaunchMs();
            if (!alive()) {
                std::fprintf(stderr, "key-watch: the application ended\n");
                result.ended = true;
                result.endMs = nowMs;
                return result;
            }
            if (nowMs >= nextCpuMs) {
                m_cpu.sample(nowMs);
                nextCpuMs = nowMs + 100;
            }
            if (nowMs >= nextWindowMs) {
                if (const Window w = findWindow(m_display, m_options.pid, true);
                    w && w != m_window) {
                    logEvent("window changed");
                    m_window = w;
                    m_pinger.retarget(w);
                    anchor.clear();
                }
                nextWindowMs = nowMs + (newWindow && m_window == previous ? 20 : 100);
            }
            auto samples = m_grabber.grab(m_window);
            // The picture was on screen by the time the grab returned, perhaps a little earlier
            // (this process may have waited for a core before sending the request): times
            // taken after it never flatter the application.
            const double grabbedMs = sinceLaunchMs();
            if (nowMs - startMs > m_options.timeoutMs) {
                result.timedOut = true;
                std::fprintf(stderr, "key-watch: the picture did not settle in %.0f ms\n",
                             m_options.timeoutMs);
            } else if (!samples) {
                continue;
            } else {
                if (frames.empty() || frames.back().second != *samples) {
                    if (m_log) {
                        const auto &against = frames.empty() ? *samples : frames.back().second;
                        std::fprintf(m_log, "%9.1f grab: %.2f %% changed, detail %.2f\n", grabbedMs,
                                     100.0 * double(differing(against, *samples)) /
                                         double(samples->size()),
                                     detail(*m_grabber.image()));
                    }
                    frames.emplace_back(grabbedMs, *samples);
                }
                if (reference && !result.firstChangeMs && !close(*reference, *samples)) {
                    result.firstChangeMs = grabbedMs;
                    if (m_log) {
                        std::fprintf(m_log, "%9.1f first change: %.2f %% of %zu samples\n",
                                     grabbedMs,
                                     100.0 * double(differing(*reference, *samples)) /
                                         double(samples->size()),
                                     reference->size());
                    }
                }
                if (anchor.empty() || !close(anchor, *samples)) {
                    anchor = std::move(*samples);
                    anchorMs = grabbedMs;
                }
                const double quietMs = grabbedMs - anchorMs;
                const bool still =
                    (quietMs >= m_options.quietMs && m_cpu.idle(nowMs, m_options.idleMs)) ||
                    quietMs >= m_options.longQuietMs;
                const bool waited = (!requireChange || result.firstChangeMs) &&
                                    (!newWindow || m_window != previous);
                // A key that changed nothing is given up on once the picture has been still
                // for long: it never will.
                const bool hopeless = !waited && quietMs >= m_options.longQuietMs;
                if (!(still && (waited || hopeless))) {
                    continue;
                }
            }
            result.endMs = nowMs;
            if (!frames.empty()) {
                const auto &last = frames.back().second;
                std::size_t first = frames.size() - 1;
                while (first > 0 && close(frames[first - 1].second, last)) {
                    --first;
                }
                result.settledFromMs = frames[first].first;
                result.samples = last;
            } else {
                result.settledFromMs = nowMs;
            }
            logEvent("settled");
            return result;
        }
    }

    bool finish(const Settled &s, const std::string &shot)
    {
        if (!m_options.shots.empty() && m_grabber.image() && !s.ended) {
            writePng(m_options.shots + "-" + shot + ".png", *m_grabber.image());
        }
        if (s.ended) {
            add("failed", "ended");
        } else if (s.timedOut) {
            add("failed", "timeout");
        }
        return !s.ended && !s.timedOut;
    }

    bool timed(const std::string &keyName, const std::string &name, int times)
    {
        std::vector<double> values;
        std::string list, firsts;
        double worstStall = 0;
        bool ok = true;
        double lastDetail = 0;
        for (int i = 0; i < times && ok; ++i) {
            const auto before = lastSamples();
            if (!press(keyName)) {
                return false;
            }
            const Settled s = settle(&before, true, false);
            // A picture that never left the one before the press has no time.
            const bool changed = s.firstChangeMs.has_value();
            const std::string ms = changed ? millis(s.settledFromMs - m_pressMs) : "none";
            const std::string first = changed ? millis(*s.firstChangeMs - m_pressMs) : "none";
            worstStall = std::max(worstStall, stallBetween(m_pressMs, s.endMs));
            lastDetail = m_grabber.image() ? detail(*m_grabber.image()) : 0;
            if (changed) {
                values.push_back(s.settledFromMs - m_pressMs);
            }
            list += (i ? "," : "") + ms;
            firsts += (i ? "," : "") + first;
            char value[32];
            std::snprintf(value, sizeof value, "%.2f", lastDetail);
            if (times > 1) {
                m_details += (i ? "," : "") + std::string(value);
            }
            ok = finish(s, name + (times > 1 ? std::to_string(i + 1) : std::string()));
            logEvent(name + " " + ms + " ms");
        }
        add(name + "_ms", list);
        add(name + "_first_ms", firsts);
        if (times > 1) {
            std::sort(values.begin(), values.end());
            const bool all = int(values.size()) == times;
            add(name + "_median_ms",
                all ? millis(values[(values.size() - 1) / 2]) : std::string("none"));
            add(name + "_worst_ms", all ? millis(values.back()) : std::string("none"));
            add(name + "_detail", m_details);
            m_details.clear();
        } else {
            char value[32];
            std::snprintf(value, sizeof value, "%.2f", lastDetail);
            add(name + "_detail", value);
        }
        char stall[32];
        std::snprintf(stall, sizeof stall, "%.0f", worstStall);
        add(name + "_stall_ms", stall);
        return ok;
    }

    // The longest a ping sent between the two times waited (until its answer or `toMs`).
    double stallBetween(double fromMs, double toMs) const
    {
        double worst = 0;
        for (const Pinger::Ping &ping : m_pinger.pings()) {
            if (ping.sentMs >= fromMs && ping.sentMs <= toMs) {
                worst =
                    std::max(worst, (ping.answeredMs < 0 ? toMs : ping.answeredMs) - ping.sentMs);
            }
        }
        return worst;
    }

    void mark()
    {
        long rssKb = 0;
        bool reset = true;
        for (const pid_t pid : processTree(m_options.pid)) {
            rssKb += statusKb(pid, "VmRSS:");
            std::ofstream clear("/proc/" + std::to_string(pid) + "/clear_refs");
            clear << "5"; // resets VmHWM to the current VmRSS
            clear.flush();
            reset = reset && bool(clear);
        }
        m_markKb = rssKb;
        add("rss_mark_mb", std::to_string(std::lround(double(rssKb) / 1024)));
        if (!reset) {
            add("peak_reset", "no"); // the peaks below then date from the launch
        }
    }

    void peak(const std::string &name)
    {
        long hwmKb = 0;
        for (const pid_t pid : processTree(m_options.pid)) {
            hwmKb += statusKb(pid, "VmHWM:");
        }
        add(name + "_mb", std::to_string(std::lround(double(hwmKb - m_markKb) / 1024)));
    }

    Display *m_display;
    const Options &m_options;
    Pinger m_pinger;
    Grabber m_grabber;
    CpuWatch m_cpu;
    Window m_window = None;
    double m_windowMs = 0;
    double m_pressMs = 0;
    int m_settles = 0;
    long m_markKb = 0;
    std::string m_details;
    std::vector<std::pair<std::string, std::string>> m_figures;
    std::FILE *m_log = nullptr;
};

} // namespace

int main(int argc, char **argv)
{
    Options options;
    int i = 1;
    for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        const std::string name = argv[i];
        const char *value = argv[i + 1];
        if (name == "--pid") {
            options.pid = pid_t(std::atol(value));
        } else if (name == "--launch-ns") {
            options.launchNs = std::atoll(value);
        } else if (name == "--grab-ms") {
            options.grabMs = std::atof(value);
        } else if (name == "--quiet-ms") {
            options.quietMs = std::atof(value);
        } else if (name == "--idle-ms") {
            options.idleMs = std::atof(value);
        } else if (name == "--long-quiet-ms") {
            options.longQuietMs = std::atof(value);
        } else if (name == "--timeout-ms") {
            options.timeoutMs = std::atof(value);
        } else if (name == "--shots") {
            options.shots = value;
        } else if (name == "--log") {
            options.log = value;
        } else {
            return usage();
        }
    }
    options.steps.assign(argv + i, argv + argc);
    if (options.pid <= 0 || options.launchNs <= 0 || options.steps.empty() || options.grabMs <= 0) {
        return usage();
    }
    ScreenWatch::launchNs = options.launchNs;
    XInitThreads();
    XSetErrorHandler(ignoreXErrors);
    Display *display = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!display || !XShmQueryExtension(display) ||
        !XTestQueryExtension(display, &event, &error, &major, &minor)) {
        std::fprintf(stderr, "key-watch: no X display with shared memory and XTest\n");
        return 1;
    }
    int status = 0;
    {
        KeyWatch watch(display, options);
        if (!watch.start()) {
            std::fprintf(stderr, "key-watch: the application showed no window\n");
            std::printf("failed=no-window\n");
            status = 1;
        } else {
            for (const std::string &step : options.steps) {
                if (!watch.run(step)) {
                    status = 1;
                    break;
                }
            }
            watch.report();
        }
    }
    XCloseDisplay(display);
    return status;
}
