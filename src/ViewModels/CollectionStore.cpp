#include "CollectionStore.h"

#include "ViewSettings.h"

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

CollectionStore::CollectionStore(DesktopServices &desktop, std::shared_ptr<QSettings> settings,
                                 std::shared_ptr<PlatformFileSystem> fileSystem, QObject *parent)
    : QObject(parent)
    , m_desktop(desktop)
    , m_settings(settings ? std::move(settings)
                          : std::make_shared<QSettings>(QStringLiteral("Calvenor"),
                                                        QStringLiteral("Photo Sorter")))
    , m_fileSystem(std::move(fileSystem))
    , m_bookmarkStore(m_settings)
{
    readSettings();
    m_recentFolders = m_bookmarkStore.resolvedRecentURLs();
    // The monitor calls back on its own thread; the store's own thread takes it from there.
    // Posted calls to a destroyed store are dropped by Qt, and the monitor is joined in the
    // destructor before that.
    m_directoryMonitor = std::make_unique<DirectoryMonitor>([this] {
        QMetaObject::invokeMethod(this, &CollectionStore::externalFolderDidChange,
                                  Qt::QueuedConnection);
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

void CollectionStore::setCollection(std::optional<PhotoCollection> collection, int animationMs)
{
    if (collection == m_collection) {
        return;
    }
    m_collection = std::move(collection);
    m_collectionAnimationMs = animationMs;
    Q_EMIT collectionChanged();
}

void CollectionStore::publishCollection(PhotoCollection &&collection, int animationMs)
{
    m_collection = std::move(collection);
    m_collectionAnimationMs = animationMs;
    Q_EMIT collectionChanged();
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
    const Result<std::optional<QUrl>> resolved = m_bookmarkStore.resolve(standardizedPath(url));
    if (!resolved) {
        show(resolved.error(), tr("Couldn\u2019t Open Recent Folder"));
        return;
    }
    openCollection(resolved->value_or(url), false);
}

void CollectionStore::restoreLastCollectionIfNeeded()
{
    if (m_didAttemptRestore) {
        return;
    }
    m_didAttemptRestore = true;
    const Result<std::optional<QUrl>> last = m_bookmarkStore.resolveLast();
    if (!last) {
        show(last.error(), tr("Couldn\u2019t Reopen Folder"));
        return;
    }
    if (*last) {
        openCollection(**last, false);
    }
}

void CollectionStore::openCollection(const QUrl &url, bool persistBookmark)
{
    if (m_collectionLoad) {
        m_collectionLoad->cancel(); // its result is dropped below: the id no longer matches
    }
    const QUuid loadID = QUuid::createUuid();
    m_activeCollectionLoadID = loadID;
    setIsLoading(true);
    setLoadingMessage(tr("Reading %1").arg(lastPathComponent(url)));
    const QUrl root = QUrl::fromLocalFile(standardizedPath(url));

    auto *watcher = new QFutureWatcher<Result<PhotoCollection>>(this);
    m_collectionLoad = watcher;
    connect(watcher, &QFutureWatcherBase::finished, this, [=, this] {
        watcher->deleteLater();
        if (m_collectionLoad == watcher) {
            m_collectionLoad = nullptr;
        }
        const bool isActive = m_activeCollectionLoadID == loadID;
        const bool cancelled = watcher->isCanceled() || watcher->future().resultCount() == 0
                               || (!watcher->result()
                                   && watcher->result().error().code
                                          == FileSystemError::Code::cancelled);
        if (!isActive) {
            return; // superseded: its result or failure is dropped
        }
        m_activeCollectionLoadID.reset();
        if (cancelled) {
            setIsLoading(false);
            return;
        }
        const Result<PhotoCollection> &result = watcher->result();
        if (!result) {
            setIsLoading(false);
            show(result.error(), tr("Couldn\u2019t Open Folder"));
            return;
        }
        m_scopedCollectionURL = root;
        setCollection(*result);
        setSelection({}, std::nullopt, std::nullopt);
        validateBrowseFilter();
        setIsLoading(false);
        updateDirectoryMonitor();
        if (persistBookmark) {
            if (const Result<void> saved = m_bookmarkStore.save(root, true); !saved) {
                show(saved.error(), tr("Folder Opened, but Access Couldn\u2019t Be Saved"));
                return;
            }
        }
        setRecentFolders(m_bookmarkStore.resolvedRecentURLs());
    });
    // The journal first: what a crash left half done is put back before the folder is read,
    // and the undo history comes back with it.
    m_fileSystem.openJournal(root, m_journalFolder)
        .then(this, [this, watcher, root, loadID](
                        const Result<FileSystemService::JournalOpening> &opening) {
            if (m_activeCollectionLoadID != loadID) {
                watcher->deleteLater(); // superseded before the folder was read
                return;
            }
            if (!opening && opening.error().systemError == EWOULDBLOCK) {
                m_activeCollectionLoadID.reset();
                watcher->deleteLater();
                if (m_collectionLoad == watcher) {
                    m_collectionLoad = nullptr;
                }
                setIsLoading(false);
                show(opening.error(), tr("Couldn’t Open Folder"));
                return;
            }
            if (opening) {
                restoreUndoHistory(opening->history);
                if (!opening->recoveryNote.isEmpty()) {
                    showHUD(opening->recoveryNote);
                }
            } else {
                // Without a journal the folder still opens; its undo ends with the session.
                qWarning("%s", qPrintable(opening.error().message));
            }
            watcher->setFuture(m_fileSystem.scan(root, m_sortOrder, m_companionRule));
        });
}

void CollectionStore::clearRecentFolders()
{
    m_bookmarkStore.clearRecents(true);
    setRecentFolders(m_bookmarkStore.resolvedRecentURLs());
}

// ----- Keeping the collection current

void CollectionStore::reloadFromDisk()
{
    if (!m_collection) {
        return;
    }
    const QUrl root = m_collection->rootURL;
    const quint64 generation = m_mutationGeneration;
    ++m_reloadsInFlight;
    m_fileSystem.scan(root, m_sortOrder, m_companionRule)
        .then(this, [this, root, generation](const Result<PhotoCollection> &fresh) {
            --m_reloadsInFlight;
            if (!fresh) {
                if (fresh.error().code != FileSystemError::Code::cancelled) {
                    show(fresh.error(), tr("Couldn\u2019t Refresh Folder"));
                }
                return;
            }
            // A scan that began before one of our own mutations shows the disk as it was;
            // publishing it would undo optimistic changes on screen until the next reload.
            // The reload after the last mutation brings the disk in.
            if (generation != m_mutationGeneration || m_pendingMutationCount > 0
                || !m_collection || m_collection->rootURL != root) {
                return;
            }
            applyReload(*fresh);
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
    QSet<QString> selected = m_selectedPhotoIDs;
    selected.intersect(ids);
    std::optional<QString> focus = m_focusedPhotoID;
    if (focus && !ids.contains(*focus)) {
        // The smallest id: any member would do, a fixed one keeps runs repeatable.
        focus = selected.isEmpty() ? std::nullopt
                                   : std::optional<QString>(*std::min_element(
                                         selected.cbegin(), selected.cend()));
    }
    std::optional<QString> anchor = m_selectionAnchorID;
    if (anchor && !ids.contains(*anchor)) {
        anchor = focus;
    }
    setSelection(selected, focus, anchor);
    setCollection(fresh);
    validateBrowseFilter();
    updateDirectoryMonitor();
    syncQuickLook();
    if (m_pendingMutationCount == 0) {
        Q_EMIT reconciled();
    }
}

void CollectionStore::externalFolderDidChange()
{
    if (!m_collection || m_isLoading || m_pendingMutationCount > 0) {
        return; // nothing open, or the reload after the last mutation covers the change
    }
    reloadFromDisk();
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
        reloadFromDisk();
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
    if (m_browseFilterSectionID && !section(*m_browseFilterSectionID)) {
        setBrowseFilterSectionID(std::nullopt);
    }
}

// ----- Feedback

void CollectionStore::show(const FileSystemError &error, const QString &title)
{
    setAlert(UserFacingAlert::make(title, error.message));
}

void CollectionStore::showHUD(const QString &message)
{
    setHudMessage(message);
    m_hudTimer.start(); // restarts the period when a message is already showing
}
