#pragma once

// The opened collection's screen: the header (name, path, mode and layout pickers, metrics,
// New Category, Open), a hairline, the content of the current mode (the sorting board, or the
// Browse views), the status strip (selection count, key hints, size slider) and under it the
// focused photo's camera settings.

#include <QWidget>

class BrowseView;
class CategoryFilterBar;
class FileIntoField;
class FocusInfoLine;
class CollectionStore;
class GalleryView;
class QLabel;
class QSlider;
class QStackedWidget;
class SegmentedControl;
class ThumbnailService;
struct Volume;

class CollectionHeader : public QWidget
{
    Q_OBJECT

public:
    explicit CollectionHeader(CollectionStore &store, QWidget *parent = nullptr);

    SegmentedControl *modePicker() const { return m_modePicker; }
    SegmentedControl *layoutPicker() const { return m_layoutPicker; }
    QString metricsText() const; // what the two metric labels read, for tests
    QLabel *note() const { return m_note; }
    // "1 folder can't be read: lost+found": said once, quietly, instead of failing the whole
    // collection over a folder the user may not open.
    static QString unreadableFoldersNote(const QStringList &names);
    // "Network share · nas:/photos": the kind and name of a volume that is not a local disk;
    // empty for a local one.
    static QString volumeText(const Volume &volume);
    QLabel *volumeLabel() const { return m_volume; }
    QLabel *readOnlyLabel() const { return m_readOnly; }

private:
    void refresh();

    CollectionStore &m_store;
    QLabel *m_name = nullptr;
    QLabel *m_path = nullptr;
    QLabel *m_note = nullptr;
    QLabel *m_volume = nullptr;
    QLabel *m_readOnly = nullptr;
    SegmentedControl *m_modePicker = nullptr;
    SegmentedControl *m_layoutPicker = nullptr;
    QWidget *m_metrics = nullptr;
    QLabel *m_photoValue = nullptr;
    QLabel *m_photoLabel = nullptr;
    QLabel *m_categoryValue = nullptr;
    QLabel *m_categoryLabel = nullptr;
    QWidget *m_newCategory = nullptr;
};

class StatusStrip : public QWidget
{
    Q_OBJECT

public:
    static constexpr int sliderMinimum = 80;
    static constexpr int sliderMaximum = 280;
    static constexpr int sliderStep = 8;

    explicit StatusStrip(CollectionStore &store, QWidget *parent = nullptr);

    QString selectionText() const;
    // The key hints as shown, for tests.
    QStringList hints() const;
    QSlider *slider() const { return m_slider; }
    // The size symbol's name: the board's, or the current Browse layout's.
    QString sizeSymbol() const { return m_sizeSymbolName; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();
    void sliderMoved(int value);

    CollectionStore &m_store;
    QLabel *m_selection = nullptr;
    QLabel *m_byName = nullptr; // shown beyond nine categories
    QLabel *m_sizeSymbol = nullptr;
    QString m_sizeSymbolName;
    QSlider *m_slider = nullptr;
};

class CollectionWorkspace : public QWidget
{
    Q_OBJECT

public:
    CollectionWorkspace(CollectionStore &store,
                        ThumbnailService &thumbnails,
                        QWidget *parent = nullptr);

    CollectionHeader *header() const { return m_header; }
    GalleryView *gallery() const { return m_gallery; }
    StatusStrip *statusStrip() const { return m_status; }
    FocusInfoLine *focusInfoLine() const { return m_focusInfo; }
    CategoryFilterBar *filterBar() const { return m_filterBar; }
    BrowseView *browseView() const { return m_browseView; }
    FileIntoField *fileIntoField() const { return m_fileInto; }

private:
    void showMode();

    CollectionStore &m_store;
    CollectionHeader *m_header = nullptr;
    GalleryView *m_gallery = nullptr;
    QWidget *m_browse = nullptr;
    CategoryFilterBar *m_filterBar = nullptr;
    BrowseView *m_browseView = nullptr;
    QStackedWidget *m_content = nullptr;
    FileIntoField *m_fileInto = nullptr;
    StatusStrip *m_status = nullptr;
    FocusInfoLine *m_focusInfo = nullptr;
};
