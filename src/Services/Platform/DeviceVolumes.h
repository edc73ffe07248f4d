#pragma once

// What the volume behind each device number does with inode numbers and times, for the
// identities of the entries on it. Read from the mount table on the first sight of a device,
// and read again once the table changed: the next card put in a reader gets the number the last
// one had. Thread-safe, as a listing examines its entries on several threads.

#include <QByteArray>
#include <QHash>

#include <functional>
#include <memory>
#include <mutex>

class DeviceVolumes
{
public:
    struct Numbers
    {
        // Whether an inode number names one file across remounts and readers (Volume).
        bool stableInodes = true;
        int timeResolutionMs = 0;

        friend bool operator==(const Numbers &, const Numbers &) = default;
    };

    // `readTable` gives the text of the mount table; `tableChanged` whether it changed since
    // it was last asked.
    DeviceVolumes(std::function<QByteArray()> readTable, std::function<bool()> tableChanged);
    // This process's mount table, watched for changes as the kernel signals them.
    static std::shared_ptr<DeviceVolumes> ofThisProcess();

    // Forgets what it knew of every device if the mount table changed since the last call.
    // Called once per listing or examination, not per entry.
    void refresh();
    // A device the table does not list (a btrfs subvolume, say) is a local disk's.
    Numbers of(quint64 device);

private:
    std::function<QByteArray()> m_readTable;
    std::function<bool()> m_tableChanged;
    std::mutex m_mutex;
    QHash<quint64, Numbers> m_known;
    bool m_read = false; // m_known holds every device of the table
};
