#pragma once

// Browse mode: a bar of filter chips ("All" and one per section) above one of three layouts
// of the shown photos (tiles, list, masonry), or an empty state when the filter leaves none.
// Switching layouts fades the new one in, unless the desktop asks for less motion; a new
// filter starts at the top of its photos.

#include <QAbstractButton>
#include <QWidget>

#include <optional>

class BrowseGridView;
class BrowseListView;
class CollectionStore;
class QGraphicsOpacityEffect;
class QHBoxLayout;
class QScrollArea;
class QStackedWidget;
class ThumbnailService;

class FilterChip : public QAbstractButton
{
    Q_OBJECT

public:
    FilterChip(const QString &title, qsizetype count, bool selected, QWidget *parent = nullptr);

    QString countText() const;
    bool isSelected() const { return m_selected; }
    void setState(qsizetype count, bool selected);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void countDidChange();

    qsizetype m_count;
    bool m_selected;
};

// The chips in one row. When they do not all fit, the row scrolls sideways: by the wheel, by
// dragging it (a drag that starts on a chip does not choose it), or with the arrow buttons at
// its ends, which are shown only then.
class CategoryFilterBar : public QWidget
{
    Q_OBJECT

public:
    explicit CategoryFilterBar(CollectionStore &store, QWidget *parent = nullptr);

    QList<FilterChip *> chips() const { return m_chips; }
    QScrollArea *scrollArea() const { return m_scroll; }
    QAbstractButton *scrollLeftButton() const { return m_scrollLeft; }
    QAbstractButton *scrollRightButton() const { return m_scrollRight; }

Q_SIGNALS:
    // A chip was clicked: the filter was applied again even when it did not change, and the
    // store forgot the order the views had reported.
    void filterApplied();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Drag
    {
        QPoint start; // global
        int startValue = 0;
        bool moving = false;
    };

    void rebuild();
    void updateArrows();
    void scrollBy(int dx);

    CollectionStore &m_store;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_row = nullptr;
    QHBoxLayout *m_rowLayout = nullptr;
    QAbstractButton *m_scrollLeft = nullptr;
    QAbstractButton *m_scrollRight = nullptr;
    QList<FilterChip *> m_chips;
    QStringList m_chipKeys; // the section id and name behind each chip but "All"
    std::optional<Drag> m_drag;
};

class EmptyBrowseView : public QWidget
{
    Q_OBJECT

public:
    explicit EmptyBrowseView(QWidget *parent = nullptr);
    // Says that no duplicates were found rather than that the category is empty.
    void setDuplicates(bool duplicates);

private:
    class QLabel *m_message = nullptr;
};

class BrowseView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int fadeMs = 140;

    BrowseView(CollectionStore &store, ThumbnailService &thumbnails, QWidget *parent = nullptr);

    // The page on show: one of the layouts or the empty state.
    QWidget *currentPage() const;
    BrowseGridView *tiles() const { return m_tiles; }
    BrowseListView *list() const { return m_list; }
    BrowseGridView *masonry() const { return m_masonry; }
    EmptyBrowseView *emptyState() const { return m_empty; }
    bool isFading() const;
    // Fetches the shown photos again and has the layout on show report its order.
    void reload();
    // Fetches the photos before Browse mode appears, so the layout shows them (and scrolls to
    // the focused photo) from its first frame.
    void prepare();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void load();
    void filterDidChange();
    void showFromStart();
    void layoutDidChange();
    void fadeIn();

    CollectionStore &m_store;
    QStackedWidget *m_pages = nullptr;
    BrowseGridView *m_tiles = nullptr;
    BrowseListView *m_list = nullptr;
    BrowseGridView *m_masonry = nullptr;
    EmptyBrowseView *m_empty = nullptr;
    bool m_prepared = false;
    bool m_startPending = false; // the filter changed while Browse mode was hidden
};
