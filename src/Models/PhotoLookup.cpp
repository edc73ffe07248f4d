#include "PhotoLookup.h"

#include "Companions.h"

#include <algorithm>

namespace {

// Past this many edits a place may take that many steps to find: build anew instead. A build
// of 100,000 photos costs a few key presses' worth once in a thousand presses.
constexpr qint32 maxEditsBeforeBuild = 1024;
constexpr qsizetype prefetchDistance = 8;
// Any fixed seed but 0: Qt hashes with a seed through the processor's AES instructions where
// it has them, and without one through SipHash, several times slower.
constexpr size_t hashSeed = 0x9e3779b97f4a7c15;

} // namespace

void PhotoLookup::sync(const PhotoCollection &collection, quint64 revision)
{
    if (describes(revision) && m_editsSinceBuild <= maxEditsBeforeBuild) {
        return;
    }
    const qsizetype sectionCount = collection.sections.size();
    m_built.clear();
    m_built.reserve(size_t(collection.photoCount()));
    m_builtNames.assign(size_t(sectionCount), {});
    for (qsizetype s = 0; s < sectionCount; ++s) {
        const QList<Photo> &photos = collection.sections[s].photos;
        std::vector<size_t> &names = m_builtNames[size_t(s)];
        names.reserve(size_t(photos.size()));
        for (qsizetype i = 0; i < photos.size(); ++i) {
            // Each photo's strings lie apart on the heap: ask for later ones while hashing this.
            if (i + prefetchDistance < photos.size()) {
                __builtin_prefetch(photos[i + prefetchDistance].id.constData());
                __builtin_prefetch(photos[i + prefetchDistance].filename.constData());
            }
            const Photo &photo = photos[i];
            m_built.push_back({qHash(photo.id, hashSeed), qint32(s), qint32(i)});
            names.push_back(Companions::nameHash(photo.filename));
            for (const Companion &companion : photo.companions) {
                names.push_back(Companions::nameHash(companion.filename));
            }
        }
        std::sort(names.begin(), names.end());
    }
    std::sort(m_built.begin(), m_built.end(),
              [](const Entry &a, const Entry &b) { return a.hash < b.hash; });
    m_moved.clear();
    m_nameChanges = QList<QHash<size_t, qint32>>(sectionCount);
    m_edits = QList<qint32>(sectionCount, 0);
    m_editsSinceBuild = 0;
    m_revision = revision;
}

void PhotoLookup::carry(quint64 from, quint64 to)
{
    if (describes(from)) {
        m_revision = to;
    }
}

std::optional<PhotoLookup::Place> PhotoLookup::find(const PhotoCollection &collection,
                                                    const QString &id) const
{
    // A recorded place drifts by at most one per edit of its section since it was recorded.
    const auto near = [&](const Entry &entry, qint32 stamp) -> std::optional<Place> {
        if (entry.section >= collection.sections.size()) {
            return std::nullopt;
        }
        const QList<Photo> &photos = collection.sections[entry.section].photos;
        const qsizetype drift = m_edits[entry.section] - stamp;
        for (qsizetype step = 0; step <= drift; ++step) {
            for (const qsizetype at : {entry.position - step, entry.position + step}) {
                if (at >= 0 && at < photos.size() && photos[at].id == id) {
                    return Place{entry.section, at};
                }
            }
        }
        return std::nullopt;
    };
    const size_t hash = qHash(id, hashSeed);
    if (const auto moved = m_moved.constFind(hash); moved != m_moved.cend()) {
        if (const std::optional<Place> place = near(moved->entry, moved->stamp)) {
            return place;
        }
    }
    const auto [first, last] =
        std::equal_range(m_built.cbegin(), m_built.cend(), Entry{hash, 0, 0},
                         [](const Entry &a, const Entry &b) { return a.hash < b.hash; });
    for (auto entry = first; entry != last; ++entry) {
        if (const std::optional<Place> place = near(*entry, 0)) {
            return place;
        }
    }
    // Not where the lookup has it (two ids of one hash, moved since): the long way.
    ++m_longWalks;
    for (qsizetype s = 0; s < collection.sections.size(); ++s) {
        const QList<Photo> &photos = collection.sections[s].photos;
        for (qsizetype i = 0; i < photos.size(); ++i) {
            if (photos[i].id == id) {
                return Place{s, i};
            }
        }
    }
    return std::nullopt;
}

qsizetype PhotoLookup::nameCount(qsizetype section, size_t hash) const
{
    const std::vector<size_t> &built = m_builtNames[size_t(section)];
    const auto [first, last] = std::equal_range(built.cbegin(), built.cend(), hash);
    return (last - first) + m_nameChanges[section].value(hash);
}

bool PhotoLookup::mayHoldName(qsizetype section, const QString &name) const
{
    return section < 0 || section >= m_nameChanges.size()
           || nameCount(section, Companions::nameHash(name)) > 0;
}

void PhotoLookup::countNames(const Place &place, const Photo &photo, qint32 change)
{
    QHash<size_t, qint32> &changes = m_nameChanges[place.first];
    changes[Companions::nameHash(photo.filename)] += change;
    for (const Companion &companion : photo.companions) {
        changes[Companions::nameHash(companion.filename)] += change;
    }
    ++m_edits[place.first];
    ++m_editsSinceBuild;
}

void PhotoLookup::noteRemoved(const Place &place, const Photo &photo)
{
    countNames(place, photo, -1);
}

void PhotoLookup::noteInserted(const Place &place, const Photo &photo)
{
    countNames(place, photo, +1);
    const Entry entry{qHash(photo.id, hashSeed), qint32(place.first), qint32(place.second)};
    m_moved.insert(entry.hash, Moved{entry, m_edits[place.first]});
}

void PhotoLookup::advance(quint64 revision)
{
    m_revision = revision;
}
