// Watches one application's window on an X display from its launch on, the same way for every
// application, so image browsers can be raced on equal terms:
//   window_ms        from the launch until the application's largest managed window is mapped
//   first_screen_ms  until the window's picture last changed before it settled with thumbnails
//                    in it (see below); "none" when it settled without any
//   stall_open_ms    the longest round trip of a _NET_WM_PING sent to the window from its
//                    mapping until the first screen: Qt and GTK answer the ping on the thread
//                    that handles input and paints, so this is the longest input would have waited
//   stall_ms         the same until the end of the run (the application's work done, or a tail)
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

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int sampleStep = 8;
constexpr double tolerance = 0.005;

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

std::int64_t nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int64_t g_launchNs = 0;
double sinceLaunchMs() { return double(nowNs() - g_launchNs) / 1e6; }

void sleepMs(double ms) { std::this_thread::sleep_for(std::chrono::microseconds(long(ms * 1000))); }

// Windows vanish and change under us; a failed request is simply retried on the next round.
int ignoreXErrors(Display *, XErrorEvent *) { return 0; }

std::optional<std::vector<long>> readStat(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    // Fields after the command name, which may hold spaces: state is index 0, ppid 1, utime 11.
    std::istringstream fields(text.substr(close + 2));
    std::vector<long> values;
    std::string field;
    while (fields >> field) {
        values.push_back(std::atol(field.c_str()));
    }
    return values.size() > 12 ? std::optional(values) : std::nullopt;
}

bool descendsFrom(pid_t pid, pid_t ancestor)
{
    for (int depth = 0; pid > 1 && depth < 16; ++depth) {
        if (pid == ancestor) {
            return true;
        }
        const auto stat = readStat(pid);
        if (!stat) {
            return false;
        }
        pid = pid_t((*stat)[1]);
    }
    return false;
}

// CPU seconds of the process and everything it started.
double treeCpuSeconds(pid_t root)
{
    const long ticks = sysconf(_SC_CLK_TCK);
    double total = 0;
    if (auto *dir = opendir("/proc")) {
        while (dirent *e = readdir(dir)) {
            const pid_t pid = pid_t(std::atol(e->d_name));
            if (pid > 0 && descendsFrom(pid, root)) {
                if (const auto stat = readStat(pid)) {
                    total += double((*stat)[11] + (*stat)[12]) / double(ticks);
                }
            }
        }
        closedir(dir);
    }
    return total;
}

double peakRssMb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return double(std::atol(line.c_str() + 6)) / 1024.0;
        }
    }
    return 0;
}

std::vector<unsigned char> property(Display *display, Window window, Atom name, Atom type)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::vector<unsigned char> bytes;
    if (XGetWindowProperty(display, window, name, 0, 1 << 16, False, type, &actualType, &format,
                           &count, &after, &data)
            == Success
        && data) {
        const std::size_t unit = format == 32 ? sizeof(long) : std::size_t(format / 8);
        bytes.assign(data, data + count * unit);
        XFree(data);
    }
    return bytes;
}

// The largest viewable window the window manager manages for the process or its children.
Window findWindow(Display *display, pid_t pid)
{
    const Window root = DefaultRootWindow(display);
    const auto list = property(display, root, XInternAtom(display, "_NET_CLIENT_LIST", False),
                               XA_WINDOW);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Window best = None;
    long bestArea = 0;
    for (std::size_t i = 0; i + sizeof(long) <= list.size(); i += sizeof(long)) {
        Window window = 0;
        std::memcpy(&window, list.data() + i, sizeof(long));
        const auto owner = property(display, window, pidAtom, XA_CARDINAL);
        long windowPid = 0;
        if (owner.size() < sizeof(long)) {
            continue;
        }
        std::memcpy(&windowPid, owner.data(), sizeof(long));
        XWindowAttributes attributes{};
        if (!descendsFrom(pid_t(windowPid), pid) || !XGetWindowAttributes(display, window, &attributes)
            || attributes.map_state != IsViewable) {
            continue;
        }
        const long area = long(attributes.width) * attributes.height;
        if (area > bestArea && attributes.width >= 200 && attributes.height >= 200) {
            best = window;
            bestArea = area;
        }
    }
    return best;
}

// Sends a ping every 20 ms and times each answer, on a connection of its own.
class Pinger
{
public:
    explicit Pinger(const char *displayName) : m_display(XOpenDisplay(displayName)) {}
    ~Pinger()
    {
        stop();
        if (m_display) {
            XCloseDisplay(m_display);
        }
    }

    void start(Window window)
    {
        m_window = window;
        m_thread = std::thread([this] { run(); });
    }
    void retarget(Window window) { m_window = window; }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    struct Ping
    {
        double sentMs;
        double answeredMs; // < 0: no answer yet
    };
    std::vector<Ping> pings() const
    {
        std::lock_guard lock(m_mutex);
        return m_pings;
    }

private:
    void run()
    {
        const Window root = DefaultRootWindow(m_display);
        const Atom protocols = XInternAtom(m_display, "WM_PROTOCOLS", False);
        const Atom ping = XInternAtom(m_display, "_NET_WM_PING", False);
        // GTK answers to those selecting SubstructureNotify on the root, Qt StructureNotify.
        XSelectInput(m_display, root, StructureNotifyMask | SubstructureNotifyMask);
        constexpr long firstSerial = 1000;
        double nextMs = sinceLaunchMs();
        while (!m_stop) {
            if (sinceLaunchMs() >= nextMs) {
                XEvent event{};
                event.xclient.type = ClientMessage;
                event.xclient.window = m_window;
                event.xclient.message_type = protocols;
                event.xclient.format = 32;
                event.xclient.data.l[0] = long(ping);
                {
                    std::lock_guard lock(m_mutex);
                    event.xclient.data.l[1] = firstSerial + long(m_pings.size());
                    m_pings.push_back({sinceLaunchMs(), -1});
                }
                event.xclient.data.l[2] = long(m_window);
                XSendEvent(m_display, m_window, False, NoEventMask, &event);
                XFlush(m_display);
                nextMs += 20;
            }
            pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
            poll(&fd, 1, std::max(0, int(nextMs - sinceLaunchMs())));
            while (XPending(m_display)) {
                XEvent event{};
                XNextEvent(m_display, &event);
                if (event.type == ClientMessage && event.xclient.message_type == protocols
                    && Atom(event.xclient.data.l[0]) == ping && event.xclient.window == root) {
                    const long index = event.xclient.data.l[1] - firstSerial;
                    std::lock_guard lock(m_mutex);
                    if (index >= 0 && std::size_t(index) < m_pings.size()
                        && m_pings[std::size_t(index)].answeredMs < 0) {
                        m_pings[std::size_t(index)].answeredMs = sinceLaunchMs();
                    }
                }
            }
        }
    }

    Display *m_display;
    std::atomic<Window> m_window{None};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Ping> m_pings;
};

// A window's picture grabbed through shared memory, kept as every 8th pixel both ways.
class Grabber
{
public:
    explicit Grabber(Display *display) : m_display(display) {}
    ~Grabber() { release(); }

    // The window's samples, or nothing while it is not viewable.
    std::optional<std::vector<std::uint32_t>> grab(Window window)
    {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(m_display, window, &attributes)
            || attributes.map_state != IsViewable) {
            return std::nullopt;
        }
        if (!m_image || m_image->width != attributes.width || m_image->height != attributes.height) {
            release();
            m_image = XShmCreateImage(m_display, attributes.visual, unsigned(attributes.depth),
                                      ZPixmap, nullptr, &m_shm, unsigned(attributes.width),
                                      unsigned(attributes.height));
            if (!m_image) {
                return std::nullopt;
            }
            m_shm.shmid = shmget(IPC_PRIVATE, std::size_t(m_image->bytes_per_line) * m_image->height,
                                 IPC_CREAT | 0600);
            m_shm.shmaddr = m_image->data = static_cast<char *>(shmat(m_shm.shmid, nullptr, 0));
            m_shm.readOnly = False;
            XShmAttach(m_display, &m_shm);
            shmctl(m_shm.shmid, IPC_RMID, nullptr); // gone once both sides detach
        }
        if (!XShmGetImage(m_display, window, m_image, 0, 0, AllPlanes)) {
            return std::nullopt;
        }
        std::vector<std::uint32_t> samples;
        samples.reserve(std::size_t(m_image->width / sampleStep + 1)
                        * std::size_t(m_image->height / sampleStep + 1));
        for (int y = 0; y < m_image->height; y += sampleStep) {
            const auto *row = reinterpret_cast<const std::uint32_t *>(
                m_image->data + std::ptrdiff_t(y) * m_image->bytes_per_line);
            for (int x = 0; x < m_image->width; x += sampleStep) {
                samples.push_back(row[x] & 0xffffff);
            }
        }
        return samples;
    }
    const XImage *image() const { return m_image; }

private:
    void release()
    {
        if (m_image) {
            XShmDetach(m_display, &m_shm);
            XDestroyImage(m_image);
            shmdt(m_shm.shmaddr);
            m_image = nullptr;
        }
    }

    Display *m_display;
    XImage *m_image = nullptr;
    XShmSegmentInfo m_shm{};
};

std::size_t differing(const std::vector<std::uint32_t> &a, const std::vector<std::uint32_t> &b)
{
    if (a.size() != b.size()) {
        return std::max(a.size(), b.size());
    }
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        count += a[i] != b[i];
    }
    return count;
}

bool close(const std::vector<std::uint32_t> &a, const std::vector<std::uint32_t> &b)
{
    return double(differing(a, b)) <= tolerance * double(std::max(a.size(), b.size()));
}

std::size_t distinctColours(std::vector<std::uint32_t> samples)
{
    std::sort(samples.begin(), samples.end());
    return std::size_t(std::unique(samples.begin(), samples.end()) - samples.begin());
}

// The last picture grabbed, whole, as an RGB PNG: what was counted as the settled screen.
void writePng(const std::string &path, const XImage &image)
{
    std::vector<unsigned char> raw;
    raw.reserve(std::size_t(image.height) * std::size_t(image.width * 3 + 1));
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0); // no filter
        const auto *row = reinterpret_cast<const std::uint32_t *>(
            image.data + std::ptrdiff_t(y) * image.bytes_per_line);
        for (int x = 0; x < image.width; ++x) {
            raw.insert(raw.end(), {static_cast<unsigned char>(row[x] >> 16),
                                   static_cast<unsigned char>(row[x] >> 8),
                                   static_cast<unsigned char>(row[x])});
        }
    }
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<unsigned char> packed(size);
    compress(packed.data(), &size, raw.data(), uLong(raw.size()));
    packed.resize(size);
    std::ofstream out(path, std::ios::binary);
    const auto bigEndian = [](std::vector<unsigned char> &to, std::uint32_t v) {
        to.insert(to.end(), {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                             static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)});
    };
    const auto chunk = [&](const char *type, const std::vector<unsigned char> &data) {
        std::vector<unsigned char> bytes;
        bigEndian(bytes, std::uint32_t(data.size()));
        bytes.insert(bytes.end(), type, type + 4);
        bytes.insert(bytes.end(), data.begin(), data.end());
        bigEndian(bytes, std::uint32_t(crc32(0, bytes.data() + 4, uInt(bytes.size() - 4))));
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    };
    out.write("\x89PNG\r\n\x1a\n", 8);
    std::vector<unsigned char> header;
    bigEndian(header, std::uint32_t(image.width));
    bigEndian(header, std::uint32_t(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits a channel, RGB
    chunk("IHDR", header);
    chunk("IDAT", packed);
    chunk("IEND", {});
}

struct Frame
{
    double ms;
    std::vector<std::uint32_t> samples;
};

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
    g_launchNs = options.launchNs;
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

    std::optional<double> firstScreenMs;
    if (thumbnails && !frames.empty()) {
        const std::vector<std::uint32_t> &settled = frames.back().samples;
        std::size_t first = frames.size() - 1;
        while (first > 0 && close(frames[first - 1].samples, settled)) {
            --first;
        }
        firstScreenMs = frames[first].ms;
    }
    double stallOpenMs = 0, stallMs = 0;
    std::size_t unanswered = 0;
    const auto pings = pinger.pings();
    for (const Pinger::Ping &ping : pings) {
        const double answeredMs = ping.answeredMs < 0 ? endMs : ping.answeredMs;
        unanswered += ping.answeredMs < 0;
        stallMs = std::max(stallMs, answeredMs - ping.sentMs);
        if (ping.sentMs <= firstScreenMs.value_or(endMs)) {
            stallOpenMs = std::max(stallOpenMs,
                                   std::min(answeredMs, firstScreenMs.value_or(endMs)) - ping.sentMs);
        }
    }
    if (!options.shot.empty() && grabber.image()) {
        writePng(options.shot, *grabber.image());
    }
    const std::string firstScreen =
        firstScreenMs ? std::to_string(long(*firstScreenMs + 0.5)) : std::string("none");
    std::printf("window_ms=%.0f first_screen_ms=%s stall_open_ms=%.0f stall_ms=%.0f end_ms=%.0f "
                "pings=%zu unanswered=%zu frames=%zu colours=%zu cpu_s=%.1f rss_mb=%.0f\n",
                windowMs, firstScreen.c_str(), stallOpenMs, stallMs, endMs, pings.size(), unanswered,
                frames.size(), frames.empty() ? 0 : distinctColours(frames.back().samples),
                cpuSeconds, rssMb);
    return 0; // the grabber detaches its shared memory from the display on the way out
}
