#include "SimilarShots.h"

#include "Models/Duplicates.h"
#include "Services/Platform/BackgroundPriority.h"

#include <algorithm>

SimilarShots::SimilarShots(std::function<const std::optional<PhotoCollection> &()> current,
                           QObject *parent)
    : QObject(parent)
    , m_current(std::move(current))
{
    m_regroup.setSingleShot(true);
    connect(&m_regroup, &QTimer::timeout, this, &SimilarShots::regroup);
    m_pool.setMaxThreadCount(1);
    connect(&m_index, &SimilarityIndex::factsChanged, this, &SimilarShots::schedule);
    connect(&m_index, &SimilarityIndex::screenFactsKnown, this, &SimilarShots::regroupForScreen);
}

void SimilarShots::collectionChanged(Change change)
{
    ++m_serial; // bursts of the collection before are not shown
    if (!m_current()) {
        m_index.clear();
        m_regroup.stop();
        m_photosChanged.reset();
        m_duplicates = {};
        m_duplicatesStale = false;
        if (!m_bursts.isEmpty()) {
            m_bursts = {};
            Q_EMIT burstsChanged();
        }
        Q_EMIT duplicatesChanged();
        return;
    }
    if (change != Change::sameFiles) {
        m_photosChanged = std::max(change, m_photosChanged.value_or(change));
    }
    schedule();
}

void SimilarShots::schedule()
{
    if (m_regroup.isActive()) {
        return;
    }
    // The facts of the first screen, or a key after a pause, are grouped at once; a stream of
    // changes still starts one grouping per interval.
    const qint64 since =
        m_sinceRegroup.isValid() ? m_sinceRegroup.elapsed() : qint64(m_regroupIntervalMs);
    m_regroup.start(int(std::clamp<qint64>(m_regroupIntervalMs - since, 0, m_regroupIntervalMs)));
}

void SimilarShots::regroupForScreen()
{
    m_regroup.stop();
    m_regroupAtOnce = m_grouping; // one under way: the next starts when it ends
    regroup();
}

void SimilarShots::photosMayHaveChanged()
{
    const PhotoCollection &collection = *m_current();
    if (const std::optional<Change> change = std::exchange(m_photosChanged, std::nullopt)) {
        SimilarityIndex::PhotoLists lists;
        lists.reserve(collection.sections.size());
        for (const PhotoSection &section : collection.sections) {
            lists.append(section.photos); // shared, not copied
        }
        // Files that only moved are known or queued already: the pass takes their new places
        // without looking for new ones among them all.
        m_index.setPhotos(standardizedPath(collection.rootURL), lists, *change == Change::any);
    }
    m_duplicatesStale = true;
    Q_EMIT duplicatesChanged();
}

void SimilarShots::regroupNow()
{
    m_regroup.stop();
    if (!m_current()) {
        return;
    }
    ++m_serial;
    photosMayHaveChanged();
    apply(Bursts::group(m_current()->sections,
                        [this](const Photo &photo) { return m_index.facts(photo); }));
}

void SimilarShots::regroup()
{
    if (!m_current()) {
        return;
    }
    if (m_grouping) {
        m_regroupAgain = true;
        return;
    }
    photosMayHaveChanged();
    m_grouping = true;
    m_sinceRegroup.start();
    m_pool.start([this, serial = ++m_serial, sections = m_current()->sections,
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
    if (serial == m_serial && m_current()) {
        apply(std::move(bursts));
    }
    if (std::exchange(m_regroupAgain, false)) {
        if (std::exchange(m_regroupAtOnce, false)) {
            regroup();
        } else {
            schedule();
        }
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
    if (!std::exchange(m_duplicatesStale, false) || !m_current()) {
        return m_duplicates;
    }
    QList<DuplicateCandidate> candidates;
    for (const PhotoSection &section : m_current()->sections) {
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
