#pragma once

// The one state object of the window: the open collection, the selection, prompts, alerts, the
// HUD and the view settings. It turns every intent of the user into an in-memory change, work
// on the file-system service and an undo record. Everything runs on the main thread; disk work
// comes back through futures. Each observable property has its own change signal, emitted only
// when the value really changes.

#include "DesktopServices.h"
#include "FileIntoModel.h"
#include "FolderAccess.h"
#include "Models/BrowsePhotoItem.h"
#include "Models/CategoryPrompt.h"
#include "Models/DeleteCategoryPrompt.h"
#include "Models/HomeTrashPrompt.h"
#include "Models/PhotoCollection.h"
#include "Models/PhotoLookup.h"
#include "Models/PreviewItems.h"
#include "Models/ScrollRequest.h"
#include "Models/TextEnums.h"
#include "Models/UserFacingAlert.h"
#include "OwnChanges.h"
#include "RescanSchedule.h"
#include "Services/BookmarkStore.h"
#include "Services/DimensionFill.h"
#include "Services/DirectoryMonitor.h"
#include "Services/FileSystemService.h"
#include "SimilarShots.h"
#include "UndoJournal.h"

#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSet>
#include <QSettings>
#include <QThreadPool>
#include <QTimer>
#include <QUndoStack>

#include <functional>
#include <memory>
#include <optional>

class QKeyEvent;
class QMimeData;

class CollectionStore : public QObject
{
    Q_OBJECT

public:
    // What a board key does; the key filter asks for it before the focused widget sees the key.
    enum class KeyCommand {
        toggleQuickLook,
        undo, // Ctrl+Z and Ctrl+Shift+Z while the preview window has the keyboard
        redo,
        closePreview,
        deselectAll,
        navigateLeft,
        navigateRight,
        navigateDown,
        navigateUp,
        extendLeft, // Shift+arrows: the range from the anchor grows or shrinks
        extendRight,
        extendDown,
        extendUp,
        selectAll,
        selectBurst,           // Ctrl+B: the burst around the focus
        selectBurstExceptBest, // Ctrl+Shift+B: all of it but its sharpest frame
        moveToTrash,
        fileToDigit,
        typeSelect,
        typeToFile, // a letter on the board opens "File into…"
    };

    static constexpr double minimumCellSize = 80;
    // The preview compares at most this many photos side by side.
    static constexpr qsizetype maximumCompared = 4;
    static constexpr double maximumCellSize = 280;
    static constexpr double cellSizeStep = 16;
    static constexpr int hudDurationMs = 850;
    static constexpr int typeSelectResetMs = 800;
    // A listing still running after this long shows its count, updated at the interval.
    static constexpr int loadingCountDelayMs = 500;
    static constexpr int loadingCountIntervalMs = 100;

    // `settings` holds the view settings and the recent folders; `fileSystem` does all disk
    // work. Both default to the real ones.
    explicit CollectionStore(DesktopServices &desktop, std::shared_ptr<QSettings> settings = {},
                             std::shared_ptr<PlatformFileSystem> fileSystem = {},
                             QObject *parent = nullptr);
    ~CollectionStore() override;

    // ----- Observable state
    const std::optional<PhotoCollection> &collection() const { return m_collection; }
    const QSet<QString> &selectedPhotoIDs() const { return m_selectedPhotoIDs; }
    const std::optional<QString> &focusedPhotoID() const { return m_focusedPhotoID; }
    const std::optional<QString> &selectionAnchorID() const { return m_selectionAnchorID; }
    bool isLoading() const { return m_isLoading; }
    const QString &loadingMessage() const { return m_loadingMessage; }
    // Folder entries the loading collection's listing has found so far; -1 while the listing
    // is young (the loading screen shows a count only once it takes a while).
    qint64 loadingCount() const { return m_loadingCount; }
    const std::optional<QString> &dropTargetSectionID() const { return m_dropTargetSectionID; }
    const std::optional<UserFacingAlert> &alert() const { return m_alert; }
    const std::optional<CategoryPrompt> &categoryPrompt() const { return m_categoryPrompt; }
    const std::optional<DeleteCategoryPrompt> &deleteCategoryPrompt() const
    {
        return m_deleteCategoryPrompt;
    }
    // Asks whether photos may be copied into the home trash, their volume having none.
    const std::optional<HomeTrashPrompt> &homeTrashPrompt() const { return m_homeTrashPrompt; }
    const std::optional<QString> &hudMessage() const { return m_hudMessage; }
    // What opening a folder put back after a crash cut a change off; kept until dismissed.
    const std::optional<JournalRecovery::Report> &recoveryReport() const
    {
        return m_recoveryReport;
    }
    void dismissRecoveryReport();
    // The text of the open "File into…" field, or none while it is closed.
    const std::optional<QString> &fileIntoText() const { return m_fileInto.text(); }
    const std::optional<ScrollRequest> &scrollRequest() const { return m_scrollRequest; }
    int gridColumnCount() const { return m_gridColumnCount; }
    const QList<QUrl> &recentFolders() const { return m_recentFolders; }
    PhotoSortOrder sortOrder() const { return m_sortOrder; }
    // Whether a RAW+JPEG pair and its sidecars are one photo ("Keep Companions Together").
    CompanionRule companionRule() const { return m_companionRule; }
    double thumbnailSize() const { return m_thumbnailSize; }
    WorkspaceMode workspaceMode() const { return m_workspaceMode; }
    BrowseLayoutMode browseLayout() const { return m_browseLayout; }
    const std::optional<QString> &browseFilterSectionID() const { return m_browseFilterSectionID; }
    double browseCellSize() const { return m_browseCellSize; }
    // How the views should show the latest collection change: 0 for at once, otherwise an
    // ease-out animation of that many milliseconds.
    int collectionAnimationMs() const { return m_collectionAnimationMs; }
    // The volume the shown folder lies on (kind, name, read-only), known shortly after it opens.
    const Volume &volume() const { return m_access.volume(); }
    // The desktop's reduce-motion setting, for views that animate.
    bool prefersReducedMotion() const { return m_desktop.prefersReducedMotion(); }

    // ----- Derived
    // Runs of nearly identical frames on the board, found in the background.
    const Bursts &bursts() const { return m_similar.bursts(); }
    // Exact and near duplicates across the collection, each group sharpest first.
    const Bursts &duplicates() const { return m_similar.duplicates(); }
    // The Browse filter that shows the duplicates, grouped, instead of a section.
    static QString duplicatesFilter() { return QStringLiteral("\u0001duplicates"); }
    bool isShowingDuplicates() const { return m_browseFilterSectionID == duplicatesFilter(); }
    QList<PhotoSection> sections() const;
    qsizetype photoCount() const;
    qsizetype selectedCount() const { return m_selectedPhotoIDs.size(); }
    bool canActOnSelection() const { return !m_selectedPhotoIDs.isEmpty() && !m_isLoading; }
    bool canCreateCategory() const { return m_collection.has_value() && !m_isLoading; }
    QList<Photo> flattenedPhotos() const;
    QList<Photo> displayOrderPhotos() const;
    QList<Photo> selectedPhotosInDisplayOrder() const;
    std::optional<Photo> photo(const QString &id) const;
    std::optional<PhotoSection> section(const QString &id) const;
    std::optional<Photo> focusedPhoto() const;
    // The categories the "File into…" text names, best first.
    QList<PhotoSection> fileIntoMatches() const { return m_fileInto.matches(sections()); }
    QList<BrowsePhotoItem> browseItems() const;
    const QStringList &browseNavigationPhotoIDs() const { return m_browseNavigationPhotoIDs; }
    const QHash<QString, QRectF> &browseSpatialFrames() const { return m_browseSpatialFrames; }
    const QString &typeSelectBuffer() const { return m_typeSelectBuffer; }
    int pendingMutationCount() const { return m_pendingMutationCount; }
    // True while our own disk work or a rescan is still out: memory may not match the disk yet.
    bool isBusy() const { return m_pendingMutationCount > 0 || m_reloadsInFlight > 0; }

    // ----- Window hand-over
    // The window's undo stack, held weakly; without one, actions run but cannot be undone.
    void setUndoStack(QUndoStack *stack) { m_undo.setUndoStack(stack); }
    // Where the collections' journals are kept (tests use a folder of their own).
    void setJournalFolder(const QString &folder) { m_undo.setJournalFolder(folder); }
    QUndoStack *undoStack() const { return m_undo.undoStack(); }
    // Installs the application-wide key filter (once).
    void installKeyEventMonitor();
    // Whether the window is on screen: folders on shares are polled for changes only while it is.
    void setWindowShown(bool shown) { m_directoryMonitor->setPolling(shown); }

    // ----- Opening and reloading
    void chooseFolder();
    void openRecent(const QUrl &url);
    void restoreLastCollectionIfNeeded();
    void openCollection(const QUrl &url, bool persistBookmark);
    void clearRecentFolders();
    // Lists the whole collection again (the Refresh command).
    void reloadFromDisk();
    // The monitor saw `change` on disk; only the folders it names are listed again.
    void externalFolderDidChange(const DirectoryMonitor::Change &change = {{}, true});
    // Photos now on screen: their pixel dimensions are read before the others'.
    void prioritizeDimensions(const QList<Photo> &photos)
    {
        m_dimensionFill.prioritize(photos);
        m_similar.index().prioritize(photos);
    }
    // Whether `view` still waits for thumbnails of cells on screen: until no view does, only
    // the dimensions of photos on screen are read, so the headers do not slow those decodes.
    void setScreenWaiting(const QObject *view, bool waiting)
    {
        waiting ? m_dimensionFill.hold(view) : m_dimensionFill.release(view);
        waiting ? m_similar.index().hold(view) : m_similar.index().release(view);
    }
    // Whether dimensions are still being read or written into the collection.
    bool isFillingDimensions() const
    {
        return m_dimensionFill.pendingCount() > 0 || m_dimensionAppliesInFlight > 0;
    }
    void clearAlert() { setAlert(std::nullopt); }
    void setDropTargetSectionID(const std::optional<QString> &sectionID);

    // ----- Selection and navigation
    void select(const QString &photoID, const QString &sectionID, Qt::KeyboardModifiers modifiers);
    void selectBrowse(const QString &photoID, const QStringList &orderedIDs,
                      Qt::KeyboardModifiers modifiers);
    void selectBrowse(const QString &photoID, Qt::KeyboardModifiers modifiers);
    void replaceBrowseSelection(const QSet<QString> &ids);
    void updateBrowseNavigationOrder(const QStringList &ids, int gridColumns,
                                     const QHash<QString, QRectF> &spatialFrames);
    void setGridColumnCount(int columns);
    void selectAll();
    // Selects the burst the focused photo is in, without its sharpest frame when `exceptBest`;
    // false when the focus is in no burst.
    bool selectBurst(bool exceptBest);
    void deselectAll();
    // Moves the focus; with `extend`, the selection becomes the range from the anchor to it.
    void navigateSelection(int horizontal, int vertical, bool extend = false);
    void performTypeSelect(const QString &text);
    void focusForContextMenu(const QString &photoID);
    std::optional<QString> spatialNeighbor(const QString &photoID, int horizontal,
                                           int vertical) const;

    // ----- Filing
    void moveSelectionToDigit(int digit);
    // "File into…": opened by typing a letter on the board, the text then follows the field.
    void openFileInto(const QString &text);
    void setFileIntoText(const QString &text);
    void closeFileInto();
    // Files the selection into a category as its number key would, and closes the field.
    void fileInto(const QString &sectionID);
    // Creates the category `name` and files the selection into it: one step to undo.
    void createCategoryAndFileInto(const QString &name);
    void moveSelected(const QString &sectionID);
    void move(const QSet<QString> &photoIDs, const QString &sectionID);
    void acceptInternalDrop(const QByteArray &data, const QString &sectionID);
    void copyExternalFiles(const QList<QUrl> &urls, const QString &sectionID);
    // The drag data for a photo cell: the file for other applications, the selection for us.
    QMimeData *dragMimeData(const QString &photoID);
    // Where the volume has no trash of its own, photos go to the home trash at once, or once
    // the user agrees (see HomeTrashConsent); nothing is ever deleted outright.
    void moveSelectionToTrash();
    // By value: the caller may hand over the store's own prompt, which is cleared first.
    void confirmHomeTrash(HomeTrashPrompt prompt);
    void cancelHomeTrash() { setHomeTrashPrompt(std::nullopt); }
    // The name a moved file will get among `occupied` (folded names), which it updates.
    static QStringList predictedUniqueNames(const QStringList &names, QSet<QString> &occupied);

    // ----- Categories
    void showNewCategoryPrompt();
    void showRenamePrompt(const QString &sectionID);
    // By value, as confirmDeleteCategory's: the caller may hand over the store's own prompt,
    // which is cleared first.
    void submitCategoryPrompt(CategoryPrompt prompt, const QString &name);
    void cancelCategoryPrompt() { setCategoryPrompt(std::nullopt); }
    void requestDeleteCategory(const QString &sectionID);
    void confirmDeleteCategory(DeleteCategoryPrompt prompt);
    void cancelDeleteCategory() { setDeleteCategoryPrompt(std::nullopt); }

    // ----- Undo and redo: the undo stack's, unless the collection is read-only.
    void undo();
    void redo();

    // ----- Keys, preview and view settings
    std::optional<KeyCommand> keyCommand(const QKeyEvent &event) const;
    // Acts on a board key; false when the key is not one and should reach the focused widget.
    bool handleKeyEvent(const QKeyEvent &event);
    // Runs a filing or trashing action on the focused compared photo alone: the other compared
    // photos stay selected, and the focus moves on to the next of them.
    void actOnComparedPhoto(const std::function<void()> &action);
    void toggleQuickLook();
    void syncQuickLook();
    void openFocusedPhoto();
    void revealFocusedPhoto();
    qsizetype numberOfPreviewItems() const;
    std::optional<QUrl> previewItem(qsizetype index) const;
    // What the preview window shows: with two to four photos selected and the focus among them,
    // those photos side by side to compare; otherwise the first preview item alone. Either way
    // with the photos either side of the focus, where the arrows lead next.
    PreviewItems previewItems() const;
    bool isComparing() const;
    // A click or Tab in the comparison: the focus moves to that photo, the selection stays.
    void focusComparedPhoto(const QUrl &url);
    void setWorkspaceMode(WorkspaceMode mode);
    void setBrowseLayout(BrowseLayoutMode layout);
    void setBrowseFilter(const std::optional<QString> &sectionID);
    void setSortOrder(PhotoSortOrder order);
    void setCompanionRule(CompanionRule rule);
    void setThumbnailSize(double size);
    void setBrowseCellSize(double size);
    void increaseThumbnailSize();
    void decreaseThumbnailSize();

    // For tests and benchmarks: the service (to wait for scans) and the watched folders.
    FileSystemService &fileSystem() { return m_fileSystem; }
    DimensionFill &dimensionFill() { return m_dimensionFill; }
    SimilarityIndex &similarity() { return m_similar.index(); }
    const SimilarityIndex &similarity() const { return m_similar.index(); }
    SimilarShots &similarShots() { return m_similar; }
    const DirectoryMonitor &directoryMonitor() const { return *m_directoryMonitor; }

Q_SIGNALS:
    void collectionChanged();
    void selectedPhotoIDsChanged();
    void focusedPhotoIDChanged();
    void selectionAnchorIDChanged();
    void isLoadingChanged();
    void loadingMessageChanged();
    void loadingCountChanged();
    void dropTargetSectionIDChanged();
    void alertChanged();
    void categoryPromptChanged();
    void deleteCategoryPromptChanged();
    void homeTrashPromptChanged();
    void hudMessageChanged();
    void recoveryReportChanged();
    void fileIntoTextChanged();
    void scrollRequestChanged();
    void gridColumnCountChanged();
    void recentFoldersChanged();
    void sortOrderChanged();
    void companionRuleChanged();
    void thumbnailSizeChanged();
    void workspaceModeChanged();
    void browseLayoutChanged();
    void browseFilterSectionIDChanged();
    void browseCellSizeChanged();
    void volumeChanged();
    void burstsChanged();
    void duplicatesChanged();
    // Emitted when the store has nothing left to do on disk and memory matches the disk again.
    void reconciled();

private:
    // Stores `value` and emits `changed`, unless nothing changes.
    template<typename T>
    void assign(T &member, const T &value, void (CollectionStore::*changed)())
    {
        if (member == value) {
            return;
        }
        member = value;
        Q_EMIT(this->*changed)();
    }

    // Setters that notify only on a real change.
    void setCollection(std::optional<PhotoCollection> collection,
                       int animationMs = 0,
                       SimilarShots::Change change = SimilarShots::Change::any);
    // For changes the store made itself: always a change, so no comparison first.
    void publishCollection(std::optional<PhotoCollection> collection,
                           int animationMs = 0,
                           SimilarShots::Change change = SimilarShots::Change::any);
    void setSelection(const QSet<QString> &ids, const std::optional<QString> &focus,
                      const std::optional<QString> &anchor);
    void setSelectedPhotoIDs(const QSet<QString> &ids);
    void setFocusedPhotoID(const std::optional<QString> &id);
    void setSelectionAnchorID(const std::optional<QString> &id);
    void setIsLoading(bool loading);
    void setLoadingMessage(const QString &message);
    void setAlert(const std::optional<UserFacingAlert> &alert);
    void setCategoryPrompt(const std::optional<CategoryPrompt> &prompt);
    void setDeleteCategoryPrompt(const std::optional<DeleteCategoryPrompt> &prompt);
    void setHomeTrashPrompt(const std::optional<HomeTrashPrompt> &prompt);
    void setHudMessage(const std::optional<QString> &message);
    void setScrollRequest(const ScrollRequest &request);
    void setRecentFolders(const QList<QUrl> &folders);
    // Checks the recent folders off the window's thread and shows those that still exist.
    void refreshRecentFolders();
    void setBrowseFilterSectionID(const std::optional<QString> &id);

    void readSettings();
    void show(const FileSystemError &error, const QString &title);
    // The volume under the collection at `root` is gone (FileSystemError::volumeLost): one
    // alert, and the collection closes. Later news of the same loss, from operations queued
    // behind it or from the monitor, finds it closed and says nothing.
    void loseCollection(const QUrl &root, const FileSystemError &failure);
    // Back to the welcome screen: the collection, its watches, its journal and its undo
    // history let go.
    void closeCollection();
    void showHUD(const QString &message);
    // Shows why `command` may not change `folders` or give `names` to items in `destination`
    // (see FolderAccess) and returns true; false when it may be tried.
    bool refuse(FolderAccess::Command command, const QStringList &folders,
                const QString &destination = {}, const QStringList &names = {});
    // Reads the volumes of the collection at `root` anew.
    void readVolumes(const QUrl &root);
    void setVolumes(const QUrl &root, const CollectionVolumes &volumes);
    void beginMutation();
    void finishMutation();
    void updateDirectoryMonitor();
    void validateBrowseFilter();
    // Brings memory in line with the disk: lists again the folders marked as touched, or
    // everything, once no mutation is out.
    void reconcile();
    void applyReload(const PhotoCollection &fresh);
    void applyUpdate(CollectionUpdate &&update);
    // Keeps the selection, focus and anchor on photos that still exist.
    void keepSelectionWhere(const std::function<bool(const QString &)> &exists);
    // Marks the folders of the collection that `result` of a disk change touched, unless the
    // board shows it already.
    template<typename T>
    void noteTouched(const Result<T> &result, const OwnChanges::Shown *shown);
    void noteTouchedFolders(const QList<FileMove> &moves,
                            const OwnChanges::Shown *shown);
    // Marks the folders a monitor report names, those that saw only our own moves excepted.
    void readMonitorReport(const DirectoryMonitor::Change &change);
    // Forgets the dimension reads queued and queues every photo of the collection.
    void readDimensionsAnew();
    void applyDimensions(const QList<DimensionsRead> &results);
    // How often read dimensions are applied: the board's cells have a fixed shape, so in Sort
    // mode a large collection takes them in rarely (each time costs a pass over every photo,
    // and a copy of every list a view shares); Browse's masonry and list show them.
    void paceDimensionFill();
    void setLoadingCount(qint64 count);

    // Selection helpers
    void selectNavigatedPhoto(const QString &id);
    void extendSelectionTo(const QStringList &walk, const QString &id);
    void plainOrCommandClick(const QString &photoID, bool command);

    // Filing helpers
    void startMoveSelected(const QString &sectionID, bool autoAdvance,
                           const std::optional<QString> &hud);
    // Where a photo is: its section and its place there.
    using Place = PhotoLookup::Place;
    // `from`, when known, is the one place the photos are taken from (a single photo). Returns
    // the cleaned paths the board now shows the photos' files under.
    QSet<QString> movePhotosOptimistically(const QList<Photo> &photos, const QString &sectionID,
                                  int animationMs = 0, std::optional<Place> from = std::nullopt);
    void removePhotosOptimistically(const QSet<QString> &ids);
    // Takes `photos` off the board at once, the focus moving on past them, before the disk
    // work that takes them away; returns each one's files for that work.
    QList<QList<QUrl>> takeOffBoard(const QList<Photo> &photos);
    // Trashes `photos`; when the home trash is refused and needed, asks for it instead.
    void trashPhotos(const QList<Photo> &photos, HomeTrash homeTrash);
    std::optional<QString> nextPhotoAfterRemoving(const QSet<QString> &ids,
                                                  const std::optional<QString> &focusedID) const;
    void setPostMoveSelection(const QSet<QString> &ids);
    // `copies`: the moves are copies in, undone by moving the copies to the trash.
    DiskCommand *registerMoveUndo(const QList<FileMove> &moves, const QString &actionName,
                                  bool copies = false);
    // The command that undoes and redoes an action the collection's journal recorded.
    DiskCommand *registerUndo(const OperationJournal::Action &action);

    // Category helpers
    void createCategory(const QString &name);
    void renameCategory(const QString &sectionID, const QString &name);
    // Registers an undo when `entry` is a new action rather than an undo or redo.
    QFuture<void> performRenameCategory(const QUrl &folder, const QString &name,
                                        const JournalEntry &entry);
    DiskCommand *registerNewCategoryUndo(const QUrl &created);
    DiskCommand *registerRenameUndo(const FileMove &renamed);
    DiskCommand *registerDeletionUndo(const CategoryDeletion &deletion, const QUrl &root);
    void moveSectionToUnsortedOptimistically(const PhotoSection &section, int animationMs);

    // Runs `future` to completion on the main thread inside the mutation bracket. `shown`: what
    // the board already shows of the moves, which then need no rescan when the disk agrees.
    template<typename T, typename Done>
    QFuture<void> mutate(QFuture<Result<T>> future, Done done,
                         std::shared_ptr<const OwnChanges::Shown> shown = nullptr);

    DesktopServices &m_desktop;
    std::shared_ptr<QSettings> m_settings;

    std::optional<PhotoCollection> m_collection;
    QSet<QString> m_selectedPhotoIDs;
    std::optional<QString> m_focusedPhotoID;
    std::optional<QString> m_selectionAnchorID;
    bool m_isLoading = false;
    QString m_loadingMessage = tr("Reading folder");
    qint64 m_loadingCount = -1;
    std::shared_ptr<std::atomic<qint64>> m_entriesFound;
    QTimer m_loadingProgress;
    std::optional<QString> m_dropTargetSectionID;
    std::optional<UserFacingAlert> m_alert;
    std::optional<CategoryPrompt> m_categoryPrompt;
    std::optional<DeleteCategoryPrompt> m_deleteCategoryPrompt;
    std::optional<HomeTrashPrompt> m_homeTrashPrompt;
    std::optional<QString> m_hudMessage;
    bool m_previewSyncHeld = false; // while a compared photo is filed
    std::optional<JournalRecovery::Report> m_recoveryReport;
    FileIntoModel m_fileInto;
    FolderAccess m_access; // what the volumes under the collection allow
    std::optional<ScrollRequest> m_scrollRequest;
    int m_gridColumnCount = 4;
    QList<QUrl> m_recentFolders;
    quint64 m_recentFoldersCheck = 0;
    PhotoSortOrder m_sortOrder = PhotoSortOrder::filename;
    CompanionRule m_companionRule = CompanionRule::together;
    double m_thumbnailSize = 184;
    WorkspaceMode m_workspaceMode = WorkspaceMode::sort;
    BrowseLayoutMode m_browseLayout = BrowseLayoutMode::tiles;
    std::optional<QString> m_browseFilterSectionID;
    double m_browseCellSize = 240;
    int m_collectionAnimationMs = 0;

    FileSystemService m_fileSystem;
    UndoJournal m_undo{m_fileSystem}; // the undo stack and the collection's journal
    BookmarkStore m_bookmarkStore;
    std::unique_ptr<DirectoryMonitor> m_directoryMonitor;
    QPointer<QObject> m_keyEventFilter;
    QTimer m_hudTimer;
    std::optional<QUrl> m_scopedCollectionURL;
    bool m_didAttemptRestore = false;
    int m_pendingMutationCount = 0;
    int m_reloadsInFlight = 0;
    RescanSchedule m_rescans; // what the next reconciliation lists again
    OwnChanges m_ownChanges;  // our moves, for the monitor's reports of them
    // Reports that came while our own disk work was out, read once it is done.
    std::optional<DirectoryMonitor::Change> m_unreadReport;
    DimensionFill m_dimensionFill;
    SimilarShots m_similar;
    QThreadPool m_dimensionWriter; // one thread: writes read dimensions into a copy
    int m_dimensionAppliesInFlight = 0;
    quint64 m_collectionRevision = 0; // counts the collections published
    PhotoLookup m_photoLookup;         // places and names of the collection, for number keys
    // Counts mutations ever begun, so a reload that started before one can tell it is stale.
    quint64 m_mutationGeneration = 0;
    QStringList m_browseNavigationPhotoIDs;
    QHash<QString, QRectF> m_browseSpatialFrames;
    QString m_typeSelectBuffer;
    QTimer m_typeSelectTimer;
    QFutureWatcher<Result<PhotoCollection>> *m_collectionLoad = nullptr;
    std::optional<QUuid> m_activeCollectionLoadID;
};

template<typename T, typename Done>
QFuture<void> CollectionStore::mutate(QFuture<Result<T>> future, Done done,
                                      std::shared_ptr<const OwnChanges::Shown> shown)
{
    beginMutation();
    const QUrl root = m_collection ? m_collection->rootURL : QUrl();
    return future.then(this, [this, done = std::move(done), shown = std::move(shown),
                              root](const Result<T> &result) {
        if (!result && result.error().code == FileSystemError::Code::volumeLost) {
            loseCollection(root, result.error());
        } else {
            noteTouched(result, shown.get());
            done(result);
        }
        finishMutation();
    });
}

template<typename T>
void CollectionStore::noteTouched(const Result<T> &result,
                                  const OwnChanges::Shown *shown)
{
    // Moves name their folders. Category changes, and anything that failed half-way and was
    // put back, change what the folders are: the collection is listed whole.
    if constexpr (std::is_same_v<T, QList<FileMove>>) {
        if (result) {
            noteTouchedFolders(*result, shown);
            return;
        }
    }
    m_rescans.markEverything();
}
