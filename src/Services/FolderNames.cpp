#include "FolderNames.h"

#include <algorithm>

void FolderNames::remove(size_t key)
{
    const auto count = m_counts.find(key);
    if (count != m_counts.end() && --*count <= 0) {
        m_counts.erase(count);
    }
}

namespace {

bool sameState(const EntryInfo &a, const EntryInfo &b)
{
    return a.modificationTime == b.modificationTime && a.size == b.size
           && a.identity == b.identity && !a.identity.isEmpty();
}

} // namespace

std::optional<FolderNames> FolderNameMemory::take(const QString &folder, const EntryInfo &now)
{
    const auto kept = m_kept.find(folder);
    if (kept == m_kept.end()) {
        return std::nullopt;
    }
    std::optional<FolderNames> names;
    if (sameState(kept->stamp, now)) {
        names = std::move(kept->names);
    }
    m_kept.erase(kept);
    return names;
}

void FolderNameMemory::keep(const QString &folder, FolderNames names, const EntryInfo &now)
{
    if (m_kept.size() >= capacity && !m_kept.contains(folder)) {
        m_kept.erase(std::min_element(m_kept.begin(), m_kept.end(),
                                      [](const Kept &a, const Kept &b) { return a.use < b.use; }));
    }
    m_kept.insert(folder, {std::move(names), now, ++m_uses});
}
