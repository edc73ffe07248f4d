#include "CollectionStore.h"

#include "IdSet.h"
#include "Models/NaturalOrder.h"

// Selection, focus and navigation: clicks, select all, arrow keys over the board or the Browse
// order, masonry neighbours and type-select.

QList<PhotoSection> CollectionStore::sections() const
{
    return m_collection ? m_collection->sections : QList<PhotoSection>();
}

qsizetype CollectionStore::photoCount() const
{
    return m_collection ? m_collection->photoCount() : 0;
}

QList<Photo> CollectionStore::flattenedPhotos() const
{
    QList<Photo> photos;
    if (!m_collection) {
        return photos;
    }
    photos.reserve(m_collection->photoCount());
    for (const PhotoSection &section : m_collection->sections) {
        photos.append(section.photos);
    }
    return photos;
}

QList<Photo> CollectionStore::displayOrderPhotos() const
{
    if (m_workspaceMode != WorkspaceMode::browse || m_browseNavigationPhotoIDs.isEmpty()) {
        return flattenedPhotos();
    }
    QHash<QString, const Photo *> byID;
    if (m_collection) {
        for (const PhotoSection &section : m_collection->sections) {
            for (const Photo &photo : section.photos) {
                byID.insert(photo.id, &photo);
            }
        }
    }
    QList<Photo> photos;
    for (const QString &id : m_browseNavigationPhotoIDs) {
        if (const Photo *photo = byID.value(id)) {
            photos.append(*photo);
        }
    }
    return photos;
}

QList<Photo> CollectionStore::selectedPhotosInDisplayOrder() const
{
    QList<Photo> selected;
    if (m_selectedPhotoIDs.isEmpty()) {
        return selected;
    }
    const IdSet ids(m_selectedPhotoIDs);
    if (m_workspaceMode != WorkspaceMode::browse || m_browseNavigationPhotoIDs.isEmpty()) {
        // The common case on the board: walk the sections without copying them.
        if (m_collection) {
            for (const PhotoSection &section : m_collection->sections) {
                for (const Photo &photo : section.photos) {
                    if (ids.contains(photo.id)) {
                        selected.append(photo);
                    }
                }
            }
        }
        return selected;
    }
    for (const Photo &photo : displayOrderPhotos()) {
        if (ids.contains(photo.id)) {
            selected.append(photo);
        }
    }
    return selected;
}

std::optional<Photo> CollectionStore::photo(const QString &id) const
{
    if (m_collection) {
        for (const PhotoSection &section : m_collection->sections) {
            for (const Photo &candidate : section.photos) {
                if (candidate.id == id) {
                    return candidate;
                }
            }
        }
    }
    return std::nullopt;
}

std::optional<PhotoSection> CollectionStore::section(const QString &id) const
{
    if (m_collection) {
        for (const PhotoSection &candidate : m_collection->sections) {
            if (candidate.id == id) {
                return candidate;
            }
        }
    }
    return std::nullopt;
}

std::optional<Photo> CollectionStore::focusedPhoto() const
{
    return m_focusedPhotoID ? photo(*m_focusedPhotoID) : std::nullopt;
}

QList<BrowsePhotoItem> CollectionStore::browseItems() const
{
    QList<BrowsePhotoItem> items;
    if (!m_collection) {
        return items;
    }
    if (isShowingDuplicates()) {
        // Group by group, each sharpest first; a photo in a category shows where it lies.
        QHash<QString, BrowsePhotoItem> byID;
        for (const PhotoSection &section : m_collection->sections) {
            for (const Photo &photo : section.photos) {
                byID.insert(photo.id, {photo, section.id, section.name});
            }
        }
        for (const QStringList &group : duplicates().groups()) {
            for (const QString &id : group) {
                if (const auto it = byID.constFind(id); it != byID.constEnd()) {
                    items.append(*it);
                }
            }
        }
        return items;
    }
    qsizetype count = 0;
    for (const PhotoSection &section : m_collection->sections) {
        count += section.photos.size();
    }
    items.reserve(count);
    for (const PhotoSection &section : m_collection->sections) {
        if (m_browseFilterSectionID && section.id != *m_browseFilterSectionID) {
            continue;
        }
        for (const Photo &photo : section.photos) {
            items.append({photo, section.id, section.name});
        }
    }
    return items;
}

// A plain click selects the photo alone; with Ctrl it toggles the photo in the selection.
void CollectionStore::plainOrCommandClick(const QString &photoID, bool command)
{
    if (!command) {
        setSelection({photoID}, photoID, photoID);
        return;
    }
    QSet<QString> selected = m_selectedPhotoIDs;
    if (selected.remove(photoID)) {
        std::optional<QString> focus = m_focusedPhotoID;
        if (focus == photoID) {
            focus = selected.isEmpty() ? std::nullopt
                                       : std::optional<QString>(*std::min_element(
                                             selected.cbegin(), selected.cend()));
        }
        setSelection(selected, focus, m_selectionAnchorID);
    } else {
        selected.insert(photoID);
        setSelection(selected, photoID, photoID);
    }
}

void CollectionStore::select(const QString &photoID, const QString &sectionID,
                             Qt::KeyboardModifiers modifiers)
{
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool command = modifiers & Qt::ControlModifier;
    std::optional<PhotoSection> target = shift && m_selectionAnchorID ? section(sectionID)
                                                                       : std::nullopt;
    qsizetype anchorIndex = -1;
    qsizetype clickedIndex = -1;
    if (target) {
        for (qsizetype i = 0; i < target->photos.size(); ++i) {
            const QString &id = target->photos[i].id;
            if (anchorIndex < 0 && id == *m_selectionAnchorID) {
                anchorIndex = i;
            }
            if (clickedIndex < 0 && id == photoID) {
                clickedIndex = i;
            }
        }
    }
    if (anchorIndex >= 0 && clickedIndex >= 0) {
        QSet<QString> range = command ? m_selectedPhotoIDs : QSet<QString>();
        for (qsizetype i = std::min(anchorIndex, clickedIndex);
             i <= std::max(anchorIndex, clickedIndex); ++i) {
            range.insert(target->photos[i].id);
        }
        setSelectedPhotoIDs(range); // focus and anchor stay where they were
    } else {
        plainOrCommandClick(photoID, command);
    }
    syncQuickLook();
}

void CollectionStore::selectBrowse(const QString &photoID, const QStringList &orderedIDs,
                                   Qt::KeyboardModifiers modifiers)
{
    updateBrowseNavigationOrder(orderedIDs, m_gridColumnCount, m_browseSpatialFrames);
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool command = modifiers & Qt::ControlModifier;
    const qsizetype anchorIndex =
        shift && m_selectionAnchorID ? orderedIDs.indexOf(*m_selectionAnchorID) : -1;
    const qsizetype clickedIndex = orderedIDs.indexOf(photoID);
    if (anchorIndex >= 0 && clickedIndex >= 0) {
        QSet<QString> range = command ? m_selectedPhotoIDs : QSet<QString>();
        for (qsizetype i = std::min(anchorIndex, clickedIndex);
             i <= std::max(anchorIndex, clickedIndex); ++i) {
            range.insert(orderedIDs[i]);
        }
        setSelectedPhotoIDs(range);
        setFocusedPhotoID(photoID);
    } else {
        plainOrCommandClick(photoID, command);
    }
    syncQuickLook();
}

void CollectionStore::selectBrowse(const QString &photoID, Qt::KeyboardModifiers modifiers)
{
    selectBrowse(photoID, m_browseNavigationPhotoIDs, modifiers);
}

void CollectionStore::replaceBrowseSelection(const QSet<QString> &ids)
{
    QSet<QString> added = ids;
    added.subtract(m_selectedPhotoIDs);
    std::optional<QString> focus;
    const auto smallest = [](const QSet<QString> &set) {
        return *std::min_element(set.cbegin(), set.cend());
    };
    if (!added.isEmpty()) {
        focus = smallest(added);
    } else if (m_focusedPhotoID && ids.contains(*m_focusedPhotoID)) {
        focus = m_focusedPhotoID;
    } else if (!ids.isEmpty()) {
        focus = smallest(ids);
    }
    setSelection(ids, focus, focus);
    syncQuickLook();
}

void CollectionStore::updateBrowseNavigationOrder(const QStringList &ids, int gridColumns,
                                                  const QHash<QString, QRectF> &spatialFrames)
{
    m_browseNavigationPhotoIDs = ids;
    m_browseSpatialFrames = spatialFrames;
    if (m_browseLayout == BrowseLayoutMode::tiles) {
        setGridColumnCount(gridColumns);
    }
}

void CollectionStore::setGridColumnCount(int columns)
{
    columns = std::max(1, columns);
    if (m_gridColumnCount == columns) {
        return;
    }
    m_gridColumnCount = columns;
    Q_EMIT gridColumnCountChanged();
}

void CollectionStore::selectAll()
{
    const QList<Photo> photos = displayOrderPhotos();
    QSet<QString> ids;
    ids.reserve(photos.size());
    for (const Photo &photo : photos) {
        ids.insert(photo.id);
    }
    const std::optional<QString> first =
        photos.isEmpty() ? std::nullopt : std::optional<QString>(photos.first().id);
    setSelection(ids, first, first);
    syncQuickLook();
}

bool CollectionStore::selectBurst(bool exceptBest)
{
    const std::optional<QString> focus = m_focusedPhotoID;
    const std::optional<Bursts::Mark> mark = focus ? bursts().mark(*focus) : std::nullopt;
    if (!mark) {
        return false;
    }
    const QStringList burst = bursts().groups().value(mark->group);
    const QString best = bursts().best(mark->group);
    QSet<QString> ids(burst.cbegin(), burst.cend());
    if (exceptBest) {
        ids.remove(best);
    }
    // The focus stays where it was unless it was on the frame left out: then the first of the
    // rest takes it, so that a digit files what is selected.
    QString newFocus = *focus;
    if (!ids.contains(newFocus)) {
        newFocus = burst.first() == best ? burst.value(1) : burst.first();
    }
    setSelection(ids, newFocus, burst.first());
    syncQuickLook();
    return true;
}

void CollectionStore::deselectAll()
{
    setSelection({}, std::nullopt, std::nullopt);
    syncQuickLook();
}

void CollectionStore::selectNavigatedPhoto(const QString &id)
{
    setSelection({id}, id, id);
    setScrollRequest(ScrollRequest::make(id));
    syncQuickLook();
}

void CollectionStore::navigateSelection(int horizontal, int vertical, bool extend)
{
    const bool browse = m_workspaceMode == WorkspaceMode::browse;
    QStringList walk;
    if (browse && !m_browseNavigationPhotoIDs.isEmpty()) {
        walk = m_browseNavigationPhotoIDs;
    } else if (m_collection) {
        walk.reserve(m_collection->photoCount());
        for (const PhotoSection &section : m_collection->sections) {
            for (const Photo &photo : section.photos) {
                walk.append(photo.id);
            }
        }
    }
    if (walk.isEmpty()) {
        return;
    }
    if (browse && m_browseLayout == BrowseLayoutMode::masonry && m_focusedPhotoID) {
        if (const std::optional<QString> neighbor =
                spatialNeighbor(*m_focusedPhotoID, horizontal, vertical)) {
            extend ? extendSelectionTo(walk, *neighbor) : selectNavigatedPhoto(*neighbor);
            return;
        }
    }
    const qsizetype current = m_focusedPhotoID ? walk.indexOf(*m_focusedPhotoID) : -1;
    const qsizetype rowWidth =
        browse && m_browseLayout == BrowseLayoutMode::list ? 1 : std::max(1, m_gridColumnCount);
    qsizetype target = 0;
    if (current >= 0) {
        target = std::max<qsizetype>(0, current + horizontal + vertical * rowWidth);
    }
    target = std::min(target, walk.size() - 1);
    extend ? extendSelectionTo(walk, walk[target]) : selectNavigatedPhoto(walk[target]);
}

void CollectionStore::extendSelectionTo(const QStringList &walk, const QString &id)
{
    const qsizetype anchor = m_selectionAnchorID ? walk.indexOf(*m_selectionAnchorID) : -1;
    const qsizetype target = walk.indexOf(id);
    if (anchor < 0 || target < 0) {
        selectNavigatedPhoto(id); // nothing to extend from: the arrow alone
        return;
    }
    QSet<QString> range;
    for (qsizetype i = std::min(anchor, target); i <= std::max(anchor, target); ++i) {
        range.insert(walk[i]);
    }
    setSelection(range, id, m_selectionAnchorID);
    setScrollRequest(ScrollRequest::make(id));
    syncQuickLook();
}

std::optional<QString> CollectionStore::spatialNeighbor(const QString &photoID, int horizontal,
                                                        int vertical) const
{
    const auto origin = m_browseSpatialFrames.constFind(photoID);
    if (origin == m_browseSpatialFrames.cend() || (horizontal == 0 && vertical == 0)) {
        return std::nullopt;
    }
    const QPointF from = origin->center();
    std::optional<QString> best;
    double bestScore = 0;
    for (auto it = m_browseSpatialFrames.cbegin(); it != m_browseSpatialFrames.cend(); ++it) {
        if (it.key() == photoID) {
            continue;
        }
        const QPointF c = it->center();
        const double dx = c.x() - from.x();
        const double dy = c.y() - from.y();
        const double forward = dx * horizontal + dy * vertical;
        if (forward <= 1.0) {
            continue;
        }
        const double score = forward + 1.75 * std::abs(dx * vertical - dy * horizontal);
        // Exact ties go to the smaller id, so the answer does not depend on hash order.
        if (!best || score < bestScore || (score == bestScore && it.key() < *best)) {
            best = it.key();
            bestScore = score;
        }
    }
    return best;
}

void CollectionStore::performTypeSelect(const QString &text)
{
    m_typeSelectBuffer += text;
    const QString needle = foldedForSorting(m_typeSelectBuffer);
    const QStringList &candidates = m_browseNavigationPhotoIDs;
    const qsizetype focused = m_focusedPhotoID ? candidates.indexOf(*m_focusedPhotoID) : -1;
    const qsizetype start = focused + 1;
    QHash<QString, const Photo *> byID;
    if (m_collection) {
        for (const PhotoSection &section : m_collection->sections) {
            for (const Photo &photo : section.photos) {
                byID.insert(photo.id, &photo);
            }
        }
    }
    std::optional<QString> match;
    for (qsizetype step = 0; step < candidates.size() && !match; ++step) {
        const QString &id = candidates[(start + step) % candidates.size()];
        const Photo *photo = byID.value(id);
        if (photo && foldedForSorting(photo->filename).startsWith(needle)) {
            match = id;
        }
    }
    if (match) {
        selectNavigatedPhoto(*match);
    } else {
        m_desktop.beep();
    }
    m_typeSelectTimer.start(); // restarts the 0.8 s window
}

void CollectionStore::focusForContextMenu(const QString &photoID)
{
    if (m_selectedPhotoIDs.contains(photoID)) {
        setFocusedPhotoID(photoID);
    } else {
        setSelection({photoID}, photoID, photoID);
    }
}
