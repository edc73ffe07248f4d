#include "CollectionStore.h"

#include "Services/BackgroundRelease.h"

#include "ViewSettings.h"

#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>

#include <QFileInfo>


// Construction, opening, reloading, the mutation bracket, alerts and the HUD. Selection,
// filing, categories and keys live in the other CollectionStore*.cpp files.

namespace {

QString lastPathComponent(const QUrl &url)
{
    const QString path = standardizedPath(url);
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

} // namespace

CollectionStore::CollectionStore(DesktopServices &desktop,
                                 std::shared_ptr<QSettings> settings,
                                 std::shared_ptr<PlatformFileSystem> fileSystem,
                                 QObject *parent)
    : QObject(parent)
    , m_desktop(desktop)
    , m_settings(settings ? std::move(settings)
                          : std::make_shared<QSettings>(QStringLiteral("Calvenor"),
                                                        QStringLiteral("Photo Sorter")))
    , m_fileSystem(std::move(fileSystem))
    , m_bookmarkStore(m_settings)
    , m_similar([this]() -> const std::optional<PhotoCollection> & { return m_collection; })
{
    readSettings();
    refreshRecentFolders();
    connect(&m_similar, &SimilarShots::burstsChanged, this, &CollectionStore::burstsChanged);
    connect(&m_similar, &SimilarShots::duplicatesChanged, this,
            &CollectionStore::duplicatesChanged);
    // The monitor calls back on its own thread; the store's own thread takes it from there.
    // Posted calls to a destroyed store are dropped by Qt, and the monitor is joined in the
    // destructor before that.
    m_directoryMonitor = std::make_unique<DirectoryMonitor>([this](const DirectoryMonitor::Change &change) {
        QMetaObject::invokeMethod(
            this, [this, change] { externalFolderDidChange(change); }, Qt::QueuedConnection);
    });
    connect(&m_dimensionFill, &DimensionFill::dimensionsRead, this,
            &CollectionStore::applyDimensions);
    connect(this, &CollectionStore::sortOrderChanged, this, &CollectionStore::paceDimensionFill);
    m_dimensionWriter.setMaxThreadCount(1);
    // A listing that takes a while shows how far it has come.
    m_loadingProgress.setInterval(loadingCountIntervalMs);
    connect(&m_loadingProgress, &QTimer::timeout, this, [this] {
        if (m_entriesFound) {
            setLoadingCount(m_entriesFound->load(std::memory_order_relaxed));
        }
    });

    m_hudTimer.setSingleShot(true);
    m_hudTimer.setTimerType(Qt::PreciseTimer);
    m_hudTimer.setInterval(hudDurationMs);
    connect(&m_hudTimer, &QTimer::timeout, this, [this] { setHudMessage(std::nullopt); });
    m_typeSelectTimer.setSingleShot(true);
    m_typeSelectTimer.setInterval(typeSelectResetMs);
    connect(&m_typeSelectTimer, &QTimer::timeout, this, [this] { m_typeSelectBuffer.clear(); });
}

CollectionStore::~CollectionStore()
{
    delete m_keyEventFilter.data();
    if (m_collectionLoad) {
        m_collectionLoad->cancel();
    }
    m_directoryMonitor.reset(); // stops and joins: no change notice after this point
}

void CollectionStore::readSettings()
{
    const ViewSettings::Values values = ViewSettings::read(*m_settings);
    m_sortOrder = values.sortOrder;
    m_companionRule = values.companionRule;
    m_thumbnailSize = values.thumbnailSize;
    m_workspaceMode = values.workspaceMode;
    m_browseLayout = values.browseLayout;
    m_browseFilterSectionID = values.browseFilter;
    m_browseCellSize = values.browseCellSize;
}

// ----- Observable setters

void CollectionStore::setCollection(std::optional<PhotoCollection> collection,
                                    int animationMs,
                                    SimilarShots::Change change)
{
    if (collection != m_collection) {
        publishCollection(std::move(collection), animationMs, change);
    }
}

void CollectionStore::publishCollection(std::optional<PhotoCollection> collection,
                                        int animationMs,
                                        SimilarShots::Change change)
{
    std::optional<PhotoCollection> old = std::exchange(m_collection, std::move(collection));
    ++m_collectionRevision;
    m_collectionAnimationMs = animationMs;
    m_similar.collectionChanged(change);
    Q_EMIT collectionChanged();
    // After the views have let go of their copies, so that this one is the last.
    releaseInBackground(m_dimensionWriter, std::move(old));
}


void CollectionStore::setSelectedPhotoIDs(const QSet<QString> &ids)
{
    assign(m_selectedPhotoIDs, ids, &CollectionStore::selectedPhotoIDsChanged);
}

void CollectionStore::setFocusedPhotoID(const std::optional<QString> &id)
{
    assign(m_focusedPhotoID, id, &CollectionStore::focusedPhotoIDChanged);
}

void CollectionStore::setSelectionAnchorID(const std::optional<QString> &id)
{
    assign(m_selectionAnchorID, id, &CollectionStore::selectionAnchorIDChanged);
}

void CollectionStore::setSelection(const QSet<QString> &ids, const std::optional<QString> &focus,
                                   const std::optional<QString> &anchor)
{
    setSelectedPhotoIDs(ids);
    setFocusedPhotoID(focus);
    setSelectionAnchorID(anchor);
}

void CollectionStore::setIsLoading(bool loading)
{
    assign(m_isLoading, loading, &CollectionStore::isLoadingChanged);
}

void CollectionStore::setLoadingMessage(const QString &message)
{
    assign(m_loadingMessage, message, &CollectionStore::loadingMessageChanged);
}

void CollectionStore::setLoadingCount(qint64 count)
{
    assign(m_loadingCount, count, &CollectionStore::loadingCountChanged);
}

void CollectionStore::setDropTargetSectionID(const std::optional<QString> &sectionID)
{
    assign(m_dropTargetSectionID, sectionID, &CollectionStore::dropTargetSectionIDChanged);
}

void CollectionStore::setAlert(const std::optional<UserFacingAlert> &alert)
{
    assign(m_alert, alert, &CollectionStore::alertChanged);
}

void CollectionStore::setCategoryPrompt(const std::optional<CategoryPrompt> &prompt)
{
    assign(m_categoryPrompt, prompt, &CollectionStore::categoryPromptChanged);
}

void CollectionStore::setDeleteCategoryPrompt(const std::optional<DeleteCategoryPrompt> &prompt)
{
    assign(m_deleteCategoryPrompt, prompt, &CollectionStore::deleteCategoryPromptChanged);
}

void CollectionStore::setHomeTrashPrompt(const std::optional<HomeTrashPrompt> &prompt)
{
    assign(m_homeTrashPrompt, prompt, &CollectionStore::homeTrashPromptChanged);
}

void CollectionStore::setHudMessage(const std::optional<QString> &message)
{
    assign(m_hudMessage, message, &CollectionStore::hudMessageChanged);
}

void CollectionStore::setScrollRequest(const ScrollRequest &request)
{
    m_scrollRequest = request; // a fresh nonce always makes it a change
    Q_EMIT scrollRequestChanged();
}

void CollectionStore::setRecentFolders(const QList<QUrl> &folders)
{
    assign(m_recentFolders, folders, &CollectionStore::recentFoldersChanged);
}

void CollectionStore::setBrowseFilterSectionID(const std::optional<QString> &id)
{
    assign(m_browseFilterSectionID, id, &CollectionStore::browseFilterSectionIDChanged);
}

// ----- Opening

void CollectionStore::chooseFolder()
{
    const FolderPanelRequest request{
        tr("Open a Photo Collection"),
        tr("Choose a folder. Its first-level folders become categories."),
        tr("Open Collection")};
    QPointer<CollectionStore> self(this);
    m_desktop.chooseFolder(request, [self](std::optional<QUrl> folder) {
        if (self && folder) {
            self->openCollection(*folder, true);
        }
    });
}

void CollectionStore::openRecent(const QUrl &url)
{
    m_bookmarkStore.resolveInBackground(standardizedPath(url))
        .then(this, [this, url](const Result<std::optional<QUrl>> &resolved) {
            if (!resolved) {
                show(resolved.error(), tr("Couldn\u2019t Open Recent Folder"));
                return;
            }
            openCollection(resolved->value_or(url), false);
        });
}

void CollectionStore::restoreLastCollectionIfNeeded()
{
    if (m_didAttemptRestore) {
        return;
    }
    m_didAttemptRestore = true;
    // A last folder on a share that does not answer must not hold up the window's first show.
    m_bookmarkStore.resolveLastInBackground().then(
        this, [this](const Result<std::optional<QUrl>> &last) {
            if (!last) {
                show(last.error(), tr("Couldn\u2019t Reopen Folder"));
                return;
            }
            if (*last) {
                openCollection(**last, false);
            }
        });
}

void CollectionStore::openCollection(const QUrl &url, bool persistBookmark)
{
    if (m_collectionLoad) {
        m_collectionLoad->cancel(); // its result is dropped below: the id no longer matches
    }
    const QUuid loadID = QUuid::createUuid();
    m_activeCollectionLoadID = loadID;
    setHomeTrashPrompt(std::nullopt); // its photos are the shown collection's
    setIsLoading(true);
    setLoadingMessage(tr("Reading %1").arg(lastPathComponent(url)));
    setLoadingCount(-1);
    m_entriesFound = std::make_shared<std::atomic<qint64>>(0);
    m_loadingProgress.stop();
    QTimer::singleShot(loadingCountDelayMs, this, [this, loadID] {
        if (m_activeCollectionLoadID == loadID) {
            setLoadingCount(m_entriesFound->load(std::memory_order_relaxed));
            m_loadingProgress.start();
        }
    });
    const QUrl root = QUrl::fromLocalFile(standardizedPath(url));

    // The shown collection keeps its journal (its lock, its undo history, the record of its
    // filings) until this one is shown; a folder that fails to open gives back its own.
    auto journal = std::make_shared<std::optional<UndoJournal::Opening>>();
    // Asked just before the listing, so it is known by the time the folder is shown.
    auto volumes = std::make_shared<QFuture<CollectionVolumes>>();
    auto *watcher = new QFutureWatcher<Result<PhotoCollection>>(this);
    m_collectionLoad = watcher;
    connect(watcher, &QFutureWatcherBase::finished, this, [=, this] {
        watcher->deleteLater();
        if (m_collectionLoad == watcher) {
            m_collectionLoad = nullptr;
        }
        const bool isActive = m_activeCollectionLoadID == loadID;
        if (isActive) {
            m_loadingProgress.stop();
        }
        const bool cancelled = watcher->isCanceled() || watcher->future().resultCount() == 0
                               || (!watcher->result()
                                   && watcher->result().error().code
                                          == FileSystemError::Code::cancelled);
        if (!isActive) {
            m_undo.drop(*journal);
            return; // superseded: its result or failure is dropped
        }
        m_activeCollectionLoadID.reset();
        if (cancelled) {
            m_undo.drop(*journal);
            setIsLoading(false);
            return;
        }
        const Result<PhotoCollection> &result = watcher->result();
        if (!result) {
            m_undo.drop(*journal);
            setIsLoading(false);
            show(result.error(), tr("Couldn\u2019t Open Folder"));
            return;
        }
        m_undo.adopt(*journal, [this](const OperationJournal::Action &action) {
            return registerUndo(action);
        });
        if (volumes->isFinished() && volumes->resultCount() > 0) {
            setVolumes(root, volumes->result());
        } else {
            readVolumes(root);
        }
        m_scopedCollectionURL = root;
        m_rescans.clear();
        m_ownChanges.clear();
        m_unreadReport.reset();
        setCollection(*result);
        // What reopening put back stays on screen until read; another folder's report goes.
        if (*journal && !(*journal)->recovery.isEmpty()) {
            m_recoveryReport = (*journal)->recovery;
        } else {
            m_recoveryReport.reset();
        }
        Q_EMIT recoveryReportChanged();
        setSelection({}, std::nullopt, std::nullopt);
        validateBrowseFilter();
        setIsLoading(false);
        // Shown before any header is read: dimensions follow. Queued once the workspace is up,
        // so its views ask for their first screen before the readers start.
        paceDimensionFill();
        readDimensionsAnew();
        updateDirectoryMonitor();
        if (persistBookmark) {
            if (const Result<void> saved = m_bookmarkStore.save(root, true); !saved) {
                show(saved.error(), tr("Folder Opened, but Access Couldn\u2019t Be Saved"));
                return;
            }
        }
        refreshRecentFolders();
    });
    // The journal first: what a crash left half done is put back before the folder is read.
    // The service runs one thing at a time in the order asked, so the volumes and the listing
    // are asked at once, and the listing is under way while this thread goes on (making the
    // window, at launch). The journal's answer comes back here before the listing's.
    m_undo.openBeside(root).then(this, [this, watcher = QPointer(watcher), loadID,
                                        journal](const Result<UndoJournal::Opening> &opening) {
        if (m_activeCollectionLoadID != loadID) {
            m_undo.drop(opening ? std::optional(*opening) : std::nullopt);
            return; // superseded: the listing's answer is dropped too
        }
        if (!opening && opening.error().systemError == EWOULDBLOCK) {
            // Another window has the folder open: its listing is not shown.
            m_activeCollectionLoadID.reset();
            if (watcher) {
                watcher->cancel();
            }
            if (m_collectionLoad == watcher) {
                m_collectionLoad = nullptr;
            }
            m_loadingProgress.stop();
            setIsLoading(false);
            show(opening.error(), tr("Couldn’t Open Folder"));
            return;
        }
        if (opening) {
            *journal = *opening;
        } else {
            // Without a journal the folder still opens; its undo ends with the session.
            qWarning("%s", qPrintable(opening.error().message));
        }
    });
    *volumes = m_fileSystem.volumes(root);
    watcher->setFuture(m_fileSystem.list(root, m_sortOrder, m_companionRule, m_entriesFound));
}

void CollectionStore::dismissRecoveryReport()
{
    if (m_recoveryReport) {
        m_recoveryReport.reset();
        Q_EMIT recoveryReportChanged();
    }
}

void CollectionStore::clearRecentFolders()
{
    m_bookmarkStore.clearRecents(true);
    refreshRecentFolders();
}

void CollectionStore::refreshRecentFolders()
{
    // Only the latest check is shown: an earlier one may finish after it.
    const quint64 check = ++m_recentFoldersCheck;
    m_bookmarkStore.resolveRecentURLsInBackground().then(this, [this, check](const QList<QUrl> &urls) {
        if (check == m_recentFoldersCheck) {
            setRecentFolders(urls);
        }
    });
}

// ----- Keeping the collection current

void CollectionStore::reloadFromDisk()
{
    if (!m_collection) {
        return;
    }
    m_rescans.markEverything();
    reconcile();
    readVolumes(m_collection->rootURL); // a card's lock switch may have moved meanwhile
}

void CollectionStore::readVolumes(const QUrl &root)
{
    m_fileSystem.volumes(root).then(this, [this, root](const CollectionVolumes &volumes) {
        if (m_collection && m_collection->rootURL == root) {
            setVolumes(root, volumes);
        }
    });
}

void CollectionStore::setVolumes(const QUrl &root, const CollectionVolumes &volumes)
{
    if (m_access.setVolumes(standardizedPath(root), volumes)) {
        Q_EMIT volumeChanged();
    }
}

void CollectionStore::reconcile()
{
    if (!m_collection || m_isLoading || m_pendingMutationCount > 0 || m_reloadsInFlight > 0) {
        return; // the end of the mutation, or of the rescan out now, comes back here
    }
    const std::optional<RescanSchedule::Batch> batch = m_rescans.take();
    if (!batch) {
        Q_EMIT reconciled();
        return;
    }
    const QUrl root = m_collection->rootURL;
    const quint64 generation = m_mutationGeneration;
    const PhotoSortOrder order = m_sortOrder;
    const CompanionRule rule = m_companionRule;
    ++m_reloadsInFlight;
    m_fileSystem.rescan(*m_collection, batch->folders, batch->scope, order, rule)
        .then(this, [=, this](Result<CollectionUpdate> update) {
            --m_reloadsInFlight;
            if (!m_collection || m_collection->rootURL != root) {
                return; // another collection is open now
            }
            if (!update && update.error().code == FileSystemError::Code::volumeLost) {
                loseCollection(root, update.error());
                return;
            }
            // A rescan that began before one of our own mutations shows the disk as it was;
            // applying it would undo optimistic changes on screen. Its folders are listed again
            // once that mutation is done.
            if (generation != m_mutationGeneration || m_pendingMutationCount > 0
                || order != m_sortOrder || rule != m_companionRule) {
                m_rescans.putBack(*batch);
                reconcile();
                return;
            }
            if (!update) {
                if (update.error().code != FileSystemError::Code::cancelled) {
                    show(update.error(), tr("Couldn\u2019t Refresh Folder"));
                }
            } else {
                m_rescans.noteChanged(update->changedFolders);
                applyUpdate(std::move(*update));
            }
            reconcile(); // what was found changed or reported meanwhile, or reconciled()
        });
}

void CollectionStore::applyUpdate(CollectionUpdate &&update)
{
    if (update.everything) {
        applyReload(update.collection);
        readDimensionsAnew();
        return;
    }
    if (update.sections.isEmpty() && update.goneIDs.isEmpty()) {
        return; // the disk is as the board shows it: the common case after our own moves
    }
    PhotoCollection updated = std::move(*m_collection);
    for (PhotoSection &fresh : update.sections) {
        const auto shown = std::find_if(updated.sections.begin(), updated.sections.end(),
                                        [&](const PhotoSection &s) { return s.id == fresh.id; });
        if (shown == updated.sections.end()) {
            m_rescans.markEverything(); // cannot happen without a mutation; list it all again
            continue;
        }
        m_dimensionFill.enqueue(fresh.photos);
        *shown = std::move(fresh);
    }
    keepSelectionWhere([&](const QString &id) { return !update.goneIDs.contains(id); });
    publishCollection(std::move(updated));
    syncQuickLook();
}

void CollectionStore::keepSelectionWhere(const std::function<bool(const QString &)> &exists)
{
    QSet<QString> selected = m_selectedPhotoIDs;
    selected.removeIf([&](const QString &id) { return !exists(id); });
    std::optional<QString> focus = m_focusedPhotoID;
    if (focus && !exists(*focus)) {
        // The smallest id: any member would do, a fixed one keeps runs repeatable.
        focus = selected.isEmpty() ? std::nullopt
                                   : std::optional<QString>(*std::min_element(
                                         selected.cbegin(), selected.cend()));
    }
    std::optional<QString> anchor = m_selectionAnchorID;
    if (anchor && !exists(*anchor)) {
        anchor = focus;
    }
    setSelection(selected, focus, anchor);
}

void CollectionStore::readDimensionsAnew()
{
    m_dimensionFill.clear();
    for (const PhotoSection &section : m_collection->sections) {
        m_dimensionFill.enqueue(section.photos); // in the board's order
    }
}

void CollectionStore::paceDimensionFill()
{
    constexpr qsizetype largeCollection = 20'000;
    constexpr int boardIntervalMs = 2000;
    // Under the date-taken order each batch may move photos that are on screen: a move a
    // second reads as the order settling, a move every tenth of a second as the board jumping.
    constexpr int reorderingIntervalMs = 1000;
    const bool rarely = m_workspaceMode == WorkspaceMode::sort && photoCount() >= largeCollection;
    int interval = rarely ? boardIntervalMs : DimensionFill::defaultDeliveryIntervalMs;
    if (m_sortOrder == PhotoSortOrder::dateTaken) {
        interval = std::max(interval, reorderingIntervalMs);
    }
    m_dimensionFill.setDeliveryInterval(interval);
}

void CollectionStore::applyDimensions(const QList<DimensionsRead> &results)
{
    if (!m_collection) {
        return;
    }
    // Written into a copy on another thread: at 100,000 photos that costs more than the window
    // may spend between two frames. The copy replaces the collection only if it is still the
    // one the copy was taken from; otherwise the results go into the newer one.
    // Under the date-taken order the copy may come back sorted again (capture times arrive
    // here): the selection and focus are kept by id, and the order is total, so photos land
    // where the next listing would put them.
    const quint64 revision = m_collectionRevision;
    const PhotoSortOrder order = m_sortOrder;
    using Applied = DimensionFill::Applied;
    ++m_dimensionAppliesInFlight;
    QtConcurrent::run(
        &m_dimensionWriter,
        [collection = *m_collection, results, order]() mutable {
            const Applied applied = DimensionFill::applyTo(collection, results, order);
            return std::pair(applied, applied == Applied::nothing ? std::optional<PhotoCollection>()
                                                                  : std::move(collection));
        })
        .then(this, [this, revision, order,
                     results](std::pair<Applied, std::optional<PhotoCollection>> updated) {
            --m_dimensionAppliesInFlight;
            if (!updated.second || !m_collection) {
                return;
            }
            if (revision != m_collectionRevision || order != m_sortOrder) {
                applyDimensions(results);
                return;
            }
            publishCollection(std::move(*updated.second), 0, SimilarShots::Change::sameFiles);
            if (updated.first == Applied::inPlace) {
                m_photoLookup.carry(revision, m_collectionRevision); // same photos, same places
            }
        });
}

void CollectionStore::applyReload(const PhotoCollection &fresh)
{
    QSet<QString> ids;
    ids.reserve(fresh.photoCount());
    for (const PhotoSection &section : fresh.sections) {
        for (const Photo &photo : section.photos) {
            ids.insert(photo.id);
        }
    }
    keepSelectionWhere([&ids](const QString &id) { return ids.contains(id); });
    setCollection(fresh);
    validateBrowseFilter();
    updateDirectoryMonitor();
    syncQuickLook();
}

void CollectionStore::externalFolderDidChange(const DirectoryMonitor::Change &change)
{
    if (!m_collection || m_isLoading) {
        return; // nothing open, or the listing under way sees the change
    }
    if (m_pendingMutationCount > 0) {
        // Our own moves it may report are not all known yet: read it once they are.
        if (m_unreadReport) {
            OwnChanges::merge(*m_unreadReport, change);
        } else {
            m_unreadReport = change;
        }
        return;
    }
    readMonitorReport(change);
    reconcile();
}

void CollectionStore::readMonitorReport(const DirectoryMonitor::Change &change)
{
    if (change.everything) {
        m_rescans.markEverything();
    } else {
        m_rescans.mark(m_ownChanges.foreignFolders(change), *m_collection);
    }
}

void CollectionStore::noteTouchedFolders(const QList<FileMove> &moves,
                                         const OwnChanges::Shown *shown)
{
    if (!m_collection) {
        return;
    }
    m_ownChanges.noteMoves(moves);
    if (shown) {
        QSet<QString> folders;
        for (const PhotoSection &section : m_collection->sections) {
            folders.insert(standardizedPath(section.url));
        }
        if (OwnChanges::boardShows(moves, *shown, folders)) {
            return; // the board is what the disk now holds: nothing to list
        }
    }
    m_rescans.markMoves(moves, *m_collection);
}

void CollectionStore::beginMutation()
{
    ++m_pendingMutationCount;
    ++m_mutationGeneration;
}

void CollectionStore::finishMutation()
{
    m_pendingMutationCount = std::max(0, m_pendingMutationCount - 1);
    if (m_pendingMutationCount == 0) {
        if (m_unreadReport && m_collection) {
            readMonitorReport(*m_unreadReport);
        }
        m_unreadReport.reset();
        reconcile();
    }
}

void CollectionStore::updateDirectoryMonitor()
{
    if (!m_collection) {
        return;
    }
    QList<QUrl> folders{m_collection->rootURL};
    for (const PhotoSection &section : m_collection->sections) {
        if (section.kind == PhotoSectionKind::category) {
            folders.append(section.url);
        }
    }
    m_directoryMonitor->watch(folders);
}

void CollectionStore::validateBrowseFilter()
{
    if (m_browseFilterSectionID && !isShowingDuplicates() && !section(*m_browseFilterSectionID)) {
        setBrowseFilterSectionID(std::nullopt);
    }
}

// ----- Feedback

void CollectionStore::show(const FileSystemError &error, const QString &title)
{
    qWarning("%s: %s", qPrintable(title), qPrintable(error.logText()));
    setAlert(UserFacingAlert::make(title, error.message));
}

void CollectionStore::loseCollection(const QUrl &root, const FileSystemError &failure)
{
    if (!m_collection || m_collection->rootURL != root) {
        return; // closed already, or another folder is shown now
    }
    const QString title = tr("Folder No Longer Available");
    qWarning("%s: %s", qPrintable(title), qPrintable(failure.logText()));
    closeCollection();
    setAlert(UserFacingAlert::make(
        title, tr("\u201C%1\u201D can\u2019t be reached any more: the disk or share it is on was "
                  "removed or stopped answering. Nothing was lost: reconnect it and open the "
                  "folder again, and any change it cut off will be put back.")
                   .arg(lastPathComponent(root))));
}

void CollectionStore::closeCollection()
{
    m_directoryMonitor->stop();
    m_dimensionFill.clear();
    m_rescans.clear();
    m_ownChanges.clear();
    m_unreadReport.reset();
    m_scopedCollectionURL.reset();
    // The service lets go of the journal (and its lock) once the work queued before is done,
    // so the folder can be opened again, here or in another window.
    m_undo.adopt(std::nullopt, {});
    setCategoryPrompt(std::nullopt);
    setDeleteCategoryPrompt(std::nullopt);
    setHomeTrashPrompt(std::nullopt);
    closeFileInto();
    setDropTargetSectionID(std::nullopt);
    dismissRecoveryReport();
    setSelection({}, std::nullopt, std::nullopt);
    setCollection(std::nullopt);
    syncQuickLook();
}

bool CollectionStore::refuse(FolderAccess::Command command, const QStringList &folders,
                             const QString &destination, const QStringList &names)
{
    const std::optional<UserFacingAlert> refusal =
        m_access.refusal(command, folders, destination, names);
    if (refusal) {
        qWarning("%s: %s", qPrintable(refusal->title), qPrintable(refusal->message));
        setAlert(refusal);
    }
    return refusal.has_value();
}

void CollectionStore::undo()
{
    if (QUndoStack *stack = m_undo.undoStack(); stack && stack->canUndo()
        && !(m_collection && refuse(FolderAccess::Command::undo,
                                    {standardizedPath(m_collection->rootURL)}))) {
        stack->undo();
    }
}

void CollectionStore::redo()
{
    if (QUndoStack *stack = m_undo.undoStack(); stack && stack->canRedo()
        && !(m_collection && refuse(FolderAccess::Command::redo,
                                    {standardizedPath(m_collection->rootURL)}))) {
        stack->redo();
    }
}

void CollectionStore::showHUD(const QString &message)
{
    setHudMessage(message);
    m_hudTimer.start(); // restarts the period when a message is already showing
}
