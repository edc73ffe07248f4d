#pragma once

// What the screen-watching benchmark tools share: a window's picture grabbed through shared
// memory and sampled, the application's window found among the window manager's clients,
// _NET_WM_PING round trips timed on a connection of their own, and the process tree's CPU time
// and memory read from /proc. Times are milliseconds since the application's launch
// (CLOCK_REALTIME nanoseconds, as a script takes them with `date +%s%N`).

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <dirent.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ScreenWatch {

// The picture is kept as every 8th pixel both ways; two pictures are the same while at most
// 0.5 % of those samples differ (a cursor, a blinking caret or a small overlay).
constexpr int sampleStep = 8;
constexpr double tolerance = 0.005;

inline std::int64_t nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

inline std::int64_t launchNs = 0;
inline double sinceLaunchMs()
{
    return double(nowNs() - launchNs) / 1e6;
}

inline void sleepMs(double ms)
{
    std::this_thread::sleep_for(std::chrono::microseconds(long(ms * 1000)));
}

// Windows vanish and change under us; a failed request is simply retried on the next round.
inline int ignoreXErrors(Display *, XErrorEvent *)
{
    return 0;
}

inline std::optional<std::vector<long>> readStat(pid_t pid)
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

inline bool descendsFrom(pid_t pid, pid_t ancestor)
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

// The process and everything it started.
inline std::vector<pid_t> processTree(pid_t root)
{
    std::vector<pid_t> pids;
    if (auto *dir = opendir("/proc")) {
        while (dirent *e = readdir(dir)) {
            const pid_t pid = pid_t(std::atol(e->d_name));
            if (pid > 0 && descendsFrom(pid, root)) {
                pids.push_back(pid);
            }
        }
        closedir(dir);
    }
    return pids;
}

// CPU seconds of the processes (or of those of them still running).
inline double cpuSeconds(const std::vector<pid_t> &pids)
{
    const long ticks = sysconf(_SC_CLK_TCK);
    double total = 0;
    for (const pid_t pid : pids) {
        if (const auto stat = readStat(pid)) {
            total += double((*stat)[11] + (*stat)[12]) / double(ticks);
        }
    }
    return total;
}

inline double treeCpuSeconds(pid_t root)
{
    return cpuSeconds(processTree(root));
}

// A field of /proc/PID/status in kB ("VmRSS:", "VmHWM:"), 0 when the process is gone.
inline long statusKb(pid_t pid, const char *field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(field));
        }
    }
    return 0;
}

inline double peakRssMb(pid_t pid)
{
    return double(statusKb(pid, "VmHWM:")) / 1024.0;
}

inline std::vector<unsigned char> property(Display *display, Window window, Atom name, Atom type)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::vector<unsigned char> bytes;
    if (XGetWindowProperty(display, window, name, 0, 1 << 16, False, type, &actualType, &format,
                           &count, &after, &data) == Success &&
        data) {
        const std::size_t unit = format == 32 ? sizeof(long) : std::size_t(format / 8);
        bytes.assign(data, data + count * unit);
        XFree(data);
    }
    return bytes;
}

// The largest viewable window the window manager manages for the process or its children; or,
// with `preferActive`, the active window when it is one of them (a second window the
// application opened on top of its main one, as a viewer opens its preview).
inline Window findWindow(Display *display, pid_t pid, bool preferActive = false)
{
    const Window root = DefaultRootWindow(display);
    const auto list =
        property(display, root, XInternAtom(display, "_NET_CLIENT_LIST", False), XA_WINDOW);
    const auto activeBytes =
        property(display, root, XInternAtom(display, "_NET_ACTIVE_WINDOW", False), XA_WINDOW);
    Window active = None;
    if (preferActive && activeBytes.size() >= sizeof(long)) {
        std::memcpy(&active, activeBytes.data(), sizeof(long));
    }
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
        if (!descendsFrom(pid_t(windowPid), pid) ||
            !XGetWindowAttributes(display, window, &attributes) ||
            attributes.map_state != IsViewable || attributes.width < 200 ||
            attributes.height < 200) {
            continue;
        }
        if (window == active) {
            return window;
        }
        const long area = long(attributes.width) * attributes.height;
        if (area > bestArea) {
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
    explicit Pinger(const char *displayName)
        : m_display(XOpenDisplay(displayName))
    {
    }
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
                if (event.type == ClientMessage && event.xclient.message_type == protocols &&
                    Atom(event.xclient.data.l[0]) == ping && event.xclient.window == root) {
                    const long index = event.xclient.data.l[1] - firstSerial;
                    std::lock_guard lock(m_mutex);
                    if (index >= 0 && std::size_t(index) < m_pings.size() &&
                        m_pings[std::size_t(index)].answeredMs < 0) {
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
    explicit Grabber(Display *display)
        : m_display(display)
    {
    }
    ~Grabber() { release(); }

    // The window's samples, or nothing while it is not viewable.
    std::optional<std::vector<std::uint32_t>> grab(Window window)
    {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(m_display, window, &attributes) ||
            attributes.map_state != IsViewable) {
            return std::nullopt;
        }
        if (!m_image || m_image->width != attributes.width ||
            m_image->height != attributes.height) {
            release();
            m_image = XShmCreateImage(m_display, attributes.visual, unsigned(attributes.depth),
                                      ZPixmap, nullptr, &m_shm, unsigned(attributes.width),
                                      unsigned(attributes.height));
            if (!m_image) {
                return std::nullopt;
            }
            m_shm.shmid =
                shmget(IPC_PRIVATE, std::size_t(m_image->bytes_per_line) * m_image->height,
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
        samples.reserve(std::size_t(m_image->width / sampleStep + 1) *
                        std::size_t(m_image->height / sampleStep + 1));
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

inline std::size_t differing(const std::vector<std::uint32_t> &a,
                             const std::vector<std::uint32_t> &b)
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

inline bool close(const std::vector<std::uint32_t> &a, const std::vector<std::uint32_t> &b)
{
    return double(differing(a, b)) <= tolerance * double(std::max(a.size(), b.size()));
}

inline std::size_t distinctColours(std::vector<std::uint32_t> samples)
{
    std::sort(samples.begin(), samples.end());
    return std::size_t(std::unique(samples.begin(), samples.end()) - samples.begin());
}

// The last picture grabbed, whole, as an RGB PNG: what was counted as the settled screen.
inline void writePng(const std::string &path, const XImage &image)
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
        to.insert(to.end(),
                  {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
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

} // namespace ScreenWatch
