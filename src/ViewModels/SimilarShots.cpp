#include "SimilarShots.h"

#include "Models/Duplicates.h"

SimilarShots::SimilarShots(QObject *parent)
    : QObject(parent)
{
    m_regroup.setSingleShot(true);
    m_regroup.setInterval(regroupIntervalMs);
    connect(&m_regroup, &QTimer::timeout, this, &SimilarShots::regroupNow);
    connect(&m_index, &SimilarityIndex::factsChanged, this, &SimilarShots::schedule);
}

void SimilarShots::setCollection(const std::optional<PhotoCollection> &collection)
{
    if (!collection) {
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
    m_collection = collection;
    m_photosChanged = true;
    schedule();
}

void SimilarShots::schedule()
{
    if (!m_regroup.isActive()) {
        m_regroup.start();
    }
}

void SimilarShots::regroupNow()
{
    m_regroup.stop();
    if (!m_collection) {
        return;
    }
    if (std::exchange(m_photosChanged, false)) {
        QList<Photo> photos;
        photos.reserve(m_collection->photoCount());
        for (const PhotoSection &section : std::as_const(m_collection->sections)) {
            photos.append(section.photos);
        }
        m_index.setPhotos(standardizedPath(m_collection->rootURL), photos);
    }
    m_duplicatesStale = true;
    Q_EMIT duplicatesChanged();
    Bursts bursts = Bursts::group(m_collection->sections,
                                  [this](const Photo &photo) { return m_index.facts(photo); });
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
