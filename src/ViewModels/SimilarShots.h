#pragma once

// The board's bursts and the collection's duplicates, kept up to date as the similarity pass
// learns about photos and as the collection changes. Both are worked out on the window's
// thread at most once per interval, however fast keys change the board: a pass over the
// photos is cheap, but not free at 100,000 of them.

#include "Models/Bursts.h"
#include "Models/PhotoCollection.h"
#include "Services/Similarity/SimilarityIndex.h"

#include <QObject>
#include <QTimer>

#include <optional>

class SimilarShots : public QObject
{
    Q_OBJECT

public:
    static constexpr int regroupIntervalMs = 250;

    explicit SimilarShots(QObject *parent = nullptr);

    SimilarityIndex &index() { return m_index; }
    const SimilarityIndex &index() const { return m_index; }
    const Bursts &bursts() const { return m_bursts; }
    // Exact and near duplicates anywhere in the collection, each group sharpest first. Worked
    // out when asked (only Browse shows them), and again after the next change.
    const Bursts &duplicates() const;
    // The collection as the board shows it now; none when closed.
    void setCollection(const std::optional<PhotoCollection> &collection);
    // Groups at once rather than at the next interval (tests).
    void regroupNow();

Q_SIGNALS:
    void burstsChanged();
    // What duplicates() gives may have changed.
    void duplicatesChanged();

private:
    void schedule();

    SimilarityIndex m_index;
    std::optional<PhotoCollection> m_collection;
    Bursts m_bursts;
    mutable Bursts m_duplicates;
    mutable bool m_duplicatesStale = true;
    QTimer m_regroup;
    bool m_photosChanged = false;
};
