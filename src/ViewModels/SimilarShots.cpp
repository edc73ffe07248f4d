#include "SimilarShots.h"

#include "Models/Duplicates.h"
#include "Services/Platform/BackgroundPriority.h"

namespace {

// Whether the two hold the same files in the same places: what the similarity pass reads and
// knows photos by. Dimensions and capture times filled in change neither, and at 100,000
// photos telling the pass again costs the window a pass over all of them.
bool sameFiles(const PhotoCollection &a, const PhotoCollection &b)
{
    if (a.rootURL != b.rootURL || a.sections.size() != b.sections.size()) {
        return false;
    }
    for (qsizetype s = 0; s < a.sections.size(); ++s) {
        const QList<Photo> &before = a.sections[s].photos;
        const QList<Photo> &after = b.sections[s].photos;
        if (before.size() != after.size() || a.sections[s].url != b.sections[s].url) {
            return false;
        }
        if (before.constData() == after.constData()) {
            continue; // one list, shared
        }
        // In the same folder, the same name is the same place.
        for (qsizetype i = 0; i < before.size(); ++i) {
            const Photo &x = before[i];
            const Photo &y = after[i];
            if (x.byteCount != y.byteCount || x.modificationDate != y.modificationDate ||
                x.id != y.id || x.filename != y.filename) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

SimilarShots::SimilarShots(QObject *parent)
    : QObject(parent)
{
    m_regroup.setSingleShot(true);
    m_regroup.setInterval(regroupIntervalMs);
    connect(&m_regroup, &QTimer::timeout, this, &SimilarShots::regroup);
    m_pool.setMaxThreadCount(1);
    connect(&m_index, &SimilarityIndex::factsChanged, this, &SimilarShots::schedule);
}

void SimilarShots::setCollection(const std::optional<PhotoCollection> &collection)
{
    if (!collection) {
        ++m_serial; // a grouping in flight counts no more
        m_collection.reset();
        m_index.clear();
        m_regroup.stop();
        m_photosChanged = false;
        m_duplicates = {};
        m_duplicatesStale = false;
        if (!m_bursts.isEmpty()) {
            m_bursts = {};
            Q_EMIT burstsChanged();
        }
        Q_EMIT duplicatesChanged();
        return;
    }
    m_photosChanged = m_photosChanged || !m_collection || !sameFiles(*m_collection, *collection);
    ++m_serial; // bursts of the collection before are not shown
    m_collection = collection;
    schedule();
}

void SimilarShots::schedule()
{
    if (!m_regroup.isActive()) {
        m_regroup.start();
    }
}

void SimilarShots::photosMayHaveChanged()
{
    if (std::exchange(m_photosChanged, false)) {
        QList<Photo> photos;
        for (const PhotoSection &section : std::as_const(m_collection->sections)) {
            if (photos.isEmpty()) {
                photos = section.photos; // shared, not copied: a camera folder has one section
            } else if (!section.photos.isEmpty()) {
                photos.reserve(m_collection->photoCount());
                photos.append(section.photos);
            }
        }
        m_index.setPhotos(standardizedPath(m_collection->rootURL), photos);
    }
    m_duplicatesStale = true;
    Q_EMIT duplicatesChanged();
}

void SimilarShots::regroupNow()
{
    m_regroup.stop();
    if (!m_collection) {
        return;
    }
    ++m_serial;
    photosMayHaveChanged();
    apply(Bursts::group(m_collection->sections,
                        [this](const Photo &photo) { return m_index.facts(photo); }));
}

void SimilarShots::regroup()
{
    if (!m_collection) {
        return;
    }
    if (m_grouping) {
        m_regroupAgain = true;
        return;
    }
    photosMayHaveChanged();
    m_grouping = true;
    m_pool.start([this, serial = ++m_serial, sections = m_collection->sections,
                  facts = m_index.snapshot()] {
        BackgroundPriority::lowerCurrentThread();
        Bursts bursts =
            Bursts::group(sections, [&facts](const Photo &photo) { return facts.facts(photo); });
        QMetaObject::invokeMethod(this, [this, serial, bursts = std::move(bursts)]() mutable {
            grouped(serial, std::move(bursts));
        });
    });
}

void SimilarShots::grouped(quint64 serial, Bursts bursts)
{
    m_grouping = false;
    if (serial == m_serial && m_collection) {
        apply(std::move(bursts));
    }
    if (std::exchange(m_regroupAgain, false)) {
        schedule();
    }
}

void SimilarShots::apply(Bursts bursts)
{
    if (bursts != m_bursts) {
        m_bursts = std::move(bursts);
        Q_EMIT burstsChanged();
    }
}

const Bursts &SimilarShots::duplicates() const
{
    if (!std::exchange(m_duplicatesStale, false) || !m_collection) {
        return m_duplicates;
    }
    QList<DuplicateCandidate> candidates;
    for (const PhotoSection &section : std::as_const(m_collection->sections)) {
        for (const Photo &photo : section.photos) {
            if (const SimilarityFacts *facts = m_index.facts(photo)) {
                candidates.append({photo.id, photo.byteCount, m_index.digest(photo), facts->hash,
                                   facts->sharpness});
            }
        }
    }
    m_duplicates = Bursts::fromGroups(Duplicates::groups(candidates));
    return m_duplicates;
}
