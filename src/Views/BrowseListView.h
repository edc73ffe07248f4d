#pragma once

// The Browse list: a sortable table of the shown photos (thumbnail, name, category, date
// taken, date modified, size, dimensions). Its selection and the store's are one: each follows the
// other. It reports its sorted order, so arrow keys walk the rows as shown, and it starts sorted by
// name each time the list layout is entered.

#include "Models/BrowsePhotoItem.h"
#include "MultiFileDrag.h"

#include <QTableView>

#include <optional>

class BrowseListModel;
class CollectionStore;
class QSortFilterProxyModel;
class ThumbnailFeed;
class ThumbnailService;

class BrowseListView : public QTableView
{
    Q_OBJECT

public:
    static constexpr int rowHeight = 44;
    static constexpr QSize thumbnailPointSize{48, 48};

    BrowseListView(CollectionStore &store, ThumbnailService &thumbnails, QWidget *parent = nullptr);
    ~BrowseListView() override;

    void setItems(const QList<BrowsePhotoItem> &items);
    // Back to ascending by name, as when the layout is entered.
    void resetSortOrder();
    // Brings `photoID`'s row to the middle of the view when it is shown, else the first row.
    void showFromStart(const std::optional<QString> &photoID);
    // The photo ids in the order the rows are shown.
    QStringList sortedIDs() const;
    // The table row of a photo; -1 when it is not shown.
    int rowOf(const QString &photoID) const;
    const ThumbnailFeed &thumbnailFeed() const { return *m_feed; }
    QRect thumbnailRect(int row) const; // viewport coordinates

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    class Delegate;

    void report();
    void showStoreSelection();
    void tableSelectionChanged();
    void applyScrollRequest();
    void scheduleThumbnails();
    void updateThumbnails();
    void keepMinimumWidth(int column, int oldWidth, int newWidth);

    CollectionStore &m_store;
    BrowseListModel *m_model = nullptr;
    QSortFilterProxyModel *m_sorted = nullptr;
    ThumbnailFeed *m_feed = nullptr;
    MultiFileDrag::Handle m_handle;
    bool m_pressOnHandle = false;
    QPoint m_pressPosition;
    bool m_applyingStoreSelection = false;
    QStringList m_reportedIDs;
    bool m_thumbnailsScheduled = false;
};
