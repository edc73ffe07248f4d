#include "DeviceVolumes.h"

#include "Volume.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

DeviceVolumes::DeviceVolumes(std::function<QByteArray()> readTable,
                             std::function<bool()> tableChanged)
    : m_readTable(std::move(readTable))
    , m_tableChanged(std::move(tableChanged))
{
}

std::shared_ptr<DeviceVolumes> DeviceVolumes::ofThisProcess()
{
    // The kernel marks the table's open file with POLLPRI after each mount or unmount, until the
    // next poll. Opened on the first question, so a process that enters a mount namespace of its
    // own first watches that one.
    struct Watch
    {
        int fd = -1;
        ~Watch()
        {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    };
    auto watch = std::make_shared<Watch>();
    const auto changed = [watch] {
        if (watch->fd == -1) {
            const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
            watch->fd = fd >= 0 ? fd : -2; // without /proc, read once: every device is local
            return true;
        }
        if (watch->fd < 0) {
            return false;
        }
        pollfd table{watch->fd, POLLPRI, 0};
        return ::poll(&table, 1, 0) > 0 && (table.revents & (POLLPRI | POLLERR)) != 0;
    };
    const auto read = [] {
        QFile table(QStringLiteral("/proc/self/mountinfo"));
        // The proc file reports size 0: read to the end.
        return table.open(QIODevice::ReadOnly) ? table.readAll() : QByteArray();
    };
    return std::make_shared<DeviceVolumes>(read, changed);
}

void DeviceVolumes::refresh()
{
    const std::lock_guard lock(m_mutex);
    if (m_tableChanged()) {
        m_known.clear();
        m_read = false;
    }
}

DeviceVolumes::Numbers DeviceVolumes::of(quint64 device)
{
    const std::lock_guard lock(m_mutex);
    if (const auto known = m_known.constFind(device); known != m_known.cend()) {
        return *known;
    }
    // A device first seen may have been mounted since the table was read.
    if (!m_read || m_tableChanged()) {
        m_known.clear();
        const QByteArray table = m_readTable();
        for (const QByteArrayView line : QLatin1StringView(table).tokenize(QLatin1Char('\n'))) {
            if (const std::optional<MountEntry> entry =
                    MountEntry::parse(QByteArrayView(line.data(), line.size()))) {
                const Volume volume = Volume::describe(*entry);
                m_known.insert(entry->device, {volume.stableInodes, volume.timeResolutionMs});
            }
        }
        m_read = true;
        if (const auto known = m_known.constFind(device); known != m_known.cend()) {
            return *known;
        }
    }
    m_known.insert(device, {});
    return {};
}
