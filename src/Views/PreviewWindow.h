#pragma once

// The preview window: the focused photo fitted to the window with its file name, or two to four
// photos side by side to compare them. Z (or a double-click) toggles between the fit and 100 %
// (one photo pixel per device pixel), + and − step through fixed zooms, Ctrl and the wheel zoom
// at the pointer, dragging pans; every pane follows one zoom, and the zoom stays locked while
// the arrows flip to the next photo. Photos are decoded off the main thread through ImageFile:
// fitted at the size the window shows, and when zoomed in only the part on screen plus a margin
// (a region decode), the fitted picture standing in meanwhile. Only the newest request is ever
// shown, name and image changing together; the photos the arrows lead to next are decoded in
// advance. I shows the photo's information; the HUD confirms what a key did.
// A video plays in the focused pane as soon as it is shown, muted until M; a Live Photo's or a
// motion photo's clip plays over its still while P is held, or once from the play button. One
// clip plays at a time, and none once the shown photo changes or the window hides.

#include "Layout/PreviewZoom.h"
#include "Models/PhotoInfoText.h"
#include "Models/PreviewItems.h"
#include "MotionPlayer.h"

#include <QHash>
#include <QImage>
#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class HudView;
class QPainter;

// What plays for a previewed photo: nothing, the file itself (a video), a companion video shown
// only while P is held (a Live Photo), or a byte range of the photo's own file (a motion photo,
// also on P held).
struct PreviewMotion
{
    enum class Kind : quint8 { none, video, live, embedded };
    Kind kind = Kind::none;
    QString path;      // the video file (the photo itself for video and embedded)
    qint64 offset = 0; // embedded: where the video starts in the file
    qint64 length = 0; // embedded: its byte count

    friend bool operator==(const PreviewMotion &, const PreviewMotion &) = default;
};

class PreviewWindow : public QWidget
{
    Q_OBJECT
public:
    using ItemSource = std::function<PreviewItems()>;
    // The rows describing a photo: asked on the window's thread (where the board's facts about
    // the photo are at hand), it gives the read to run on a worker thread.
    using InfoRead = std::function<QList<PhotoInfoText::Row>()>;
    using InfoSource = std::function<InfoRead(const QUrl &url)>;
    // Asked to move the board's focus to the compared photo at this URL (a click, or Tab).
    using FocusRequest = std::function<void(const QUrl &)>;
    using MotionRead = std::function<PreviewMotion()>;               // runs on a worker thread
    using MotionSource = std::function<MotionRead(const QUrl &url)>; // asked on the window's thread

    explicit PreviewWindow(ItemSource items, QWidget *parent = nullptr);
    ~PreviewWindow() override;

    void setSource(ItemSource items) { m_source = std::move(items); }
    void setInfoSource(InfoSource info) { m_infoSource = std::move(info); }
    void setFocusRequest(FocusRequest request) { m_focusRequest = std::move(request); }
    void setMotionSource(MotionSource source);
    // Shows, raises and activates the window, then shows the items.
    void showAtFirstItem();
    // Reads the items again and shows them.
    void reload();
    // The board's confirmation of a key ("→ Beach"), shown over the photo; nothing hides it.
    void showHud(const std::optional<QString> &message);

    // What is on screen, for the focused photo.
    const QImage &image() const;
    const QString &fileName() const;
    QString message() const; // empty while a photo or a video is shown
    // Decodes are running or about to start.
    bool isDecoding() const { return m_pendingDecodes > 0 || m_aheadRefresh.isActive(); }
    // The area the focused photo is fitted into, in window coordinates.
    QRect photoRect() const;
    // Where the focused photo's fitted picture is drawn; empty when none is shown.
    QRect imageRect() const;
    // The part of the focused photo decoded at full detail (its own pixels), and that picture;
    // empty while fitted or until the decode arrives.
    QRectF detailPart() const;
    const QImage &detailImage() const;
    const PreviewZoom &zoom() const { return m_zoom; }
    qsizetype paneCount() const { return m_panes.size(); }
    qsizetype focusedPane() const { return m_focused; }
    bool isShowingInfo() const { return m_showInfo; }
    // The info rows of the focused photo, once read.
    QList<PhotoInfoText::Row> infoRows() const;
    QString zoomLabel() const;
    // The clip playing, for the focused photo; none while nothing plays.
    const MotionPlayer *motionPlayer() const { return m_player; }
    // The focused pane's button that plays its clip; empty when it offers none.
    QRect playButtonRect() const;
    bool isMuted() const { return m_muted; }

    // `source` scaled down to fit `box`, aspect kept; never scaled up, never empty.
    static QSize fittedSize(QSize source, QSize box);

Q_SIGNALS:
    // A decode result (or the empty state) has replaced what was shown.
    void displayChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Decoded
    {
        QImage image;      // null when the file could not be read
        QSize uprightSize; // the whole photo's size, of the picture's own shape
    };
    struct Detail
    {
        QImage image;
        QRectF part;      // of the photo, in its pixels
        double scale = 0; // device pixels per photo pixel the picture was decoded at
    };
    // One photo on screen: what is shown, and what is on its way to replace it.
    struct Pane
    {
        QUrl url;
        QImage image; // fitted
        QSize uprightSize;
        QSize decodedBox;
        QString fileName;
        QString message;
        Detail detail;
        QList<PhotoInfoText::Row> info;
        bool infoRequested = false;
        std::optional<QUrl> requested; // newest fitted request, shown once it arrives
        quint64 generation = 0;
        quint64 detailGeneration = 0;
    };
    // A photo decoded ahead of the arrows.
    struct Ahead
    {
        QUrl url;
        QSize box;
        Decoded fitted;
        Detail detail;
        bool ready = false; // decoded; until then the photo is only on its way
    };

    // The whole photo's size, given a picture decoded no larger than `bound` and the size its
    // header claims: the header's when the picture bears it out, the picture's own otherwise.
    static QSize wholeSize(QSize decoded, QSize header, int bound);
    static Decoded decode(const QString &path,
                          QSize box,
                          const std::shared_ptr<std::atomic<quint64>> &latest,
                          quint64 generation);

    QRect cellRect(qsizetype pane) const;
    QRect photoRect(qsizetype pane) const;
    QSize deviceBox(qsizetype pane) const;
    QSizeF deviceView(qsizetype pane) const;
    QRectF placedRect(qsizetype pane) const; // the whole photo in window coordinates
    std::optional<qsizetype> paneAt(QPoint point) const;
    void request(qsizetype pane, const QUrl &url);
    // Shows a decoded photo in a pane, with its detail when one was decoded ahead.
    void apply(qsizetype pane,
               const QUrl &url,
               QSize box,
               Decoded decoded,
               std::optional<Detail> detail = std::nullopt);
    // Whether `detail` shows what is on screen of a photo of `upright` size at the zoom.
    bool covers(const Detail &detail, QSize upright, QSizeF view) const;
    void showNothing();
    void decodeAgainIfGrown();
    // Asks for the detail each zoomed pane lacks for what is on screen now.
    void requestDetails();
    void requestDetail(qsizetype pane);
    struct DetailRequest
    {
        QRect part;   // of the photo, in its pixels
        QSize size;   // to decode it at
        double scale; // device pixels per photo pixel, at most 1
    };
    // What a photo of `upright` size needs decoded for the view at `zoom`, given its fitted
    // picture's width: nothing while fitted, or when that picture is as sharp as the zoom shows.
    // Pure, so a decode ahead on a worker asks it too.
    static std::optional<DetailRequest>
    detailWanted(const PreviewZoom &zoom, QSize upright, QSizeF view, int fittedWidth);
    void requestInfo(qsizetype pane);
    void decodeAhead(const QList<QUrl> &urls);
    void zoomChanged(bool announce);
    void setFocusedPane(qsizetype pane);
    // What the pane says instead of a picture; empty while it shows one or a clip is loading.
    QString note(qsizetype pane) const;
    // A word in the middle of the window for a moment: the zoom, or whether sound plays.
    void flashLabel(const QString &text);

    // ----- Clips
    const PreviewMotion &motionOf(const QUrl &url) const;
    void requestMotion(const QUrl &url);
    // Plays the focused pane's video once it is shown; stops a clip whose photo is not shown
    // any more.
    void updatePlayback();
    void startPlayback(qsizetype pane, bool once);
    void stopPlayback();
    void playbackFailed();
    qsizetype playingPane() const; // -1 when nothing plays
    // Where the pane's clip is drawn: over its still, or fitted to the pane without one.
    QRectF motionRect(qsizetype pane, QSize frame) const;
    // The round button that plays the pane's clip; empty when the pane has none to offer.
    QRect playButtonRect(qsizetype pane) const;
    void paintMotion(QPainter &painter, qsizetype pane);
    static void paintPlayButton(QPainter &painter, const QRect &button);

    ItemSource m_source;
    InfoSource m_infoSource;
    FocusRequest m_focusRequest;
    QList<Pane> m_panes;
    qsizetype m_focused = 0;
    PreviewZoom m_zoom;
    bool m_showInfo = false;
    QList<Ahead> m_ahead;
    QList<QUrl> m_aheadUrls;
    QTimer m_aheadRefresh;
    std::optional<QPoint> m_dragFrom;
    bool m_dragged = false;
    QString m_message; // when there is nothing to show
    MotionSource m_motionSource;
    QHash<QUrl, PreviewMotion> m_motions; // read so far, for the photos in the panes
    QSet<QUrl> m_motionsAsked;
    QSet<QUrl> m_unplayable;
    quint64 m_motionEpoch = 0; // a read from before the window was closed is not wanted
    QPointer<MotionPlayer> m_player;
    QUrl m_playing; // whose clip m_player plays
    bool m_holdingP = false;
    QTimer m_releaseP;
    bool m_muted = true;
    // Shared with running decodes so queued stale ones skip their work.
    std::shared_ptr<std::atomic<quint64>> m_latest = std::make_shared<std::atomic<quint64>>(0);
    quint64 m_generation = 0;
    int m_pendingDecodes = 0;
    QTimer m_resizeSettle;
    QTimer m_zoomLabelTimer;
    QTimer m_hudTimer;
    HudView *m_hud = nullptr;
    HudView *m_zoomHud = nullptr;
    QThreadPool m_pool; // declared last: waits for running decodes before anything else goes
};
