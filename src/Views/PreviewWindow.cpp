#include "PreviewWindow.h"

#include "DarkroomPalette.h"
#include "HudView.h"
#include "MotionPlayer.h"
#include "Services/Decoders/ImageScaling.h"
#include "Services/FileRangeDevice.h"
#include "Services/ImageFile.h"
#include "Typography.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtConcurrentRun>
#include <QtMath>

#include <cmath>

namespace {

constexpr int kMargin = 16;
constexpr int kNameStripHeight = 40;
constexpr int kResizeSettleMs = 120;
constexpr int kZoomLabelMs = 900;
constexpr int kDragThreshold = 4;
// Decoded around what is on screen, as a share of the view on every side: small pans and the
// next photo of a burst at the same spot need no new decode.
constexpr double kDetailMargin = 0.25;
constexpr qsizetype kAheadKept = 4;
constexpr int kAheadSettleMs = 150;
constexpr int kProgressHeight = 3;
constexpr int kPlayButton = 36;
// A held key repeats as a release and a press, and X does not always mark the pair as a
// repeat: P counts as let go only when no press follows its release within this time.
constexpr int kKeyReleaseSettleMs = 120;

QString displayName(const QUrl &url)
{
    return url.isLocalFile() ? QFileInfo(url.toLocalFile()).fileName() : url.fileName();
}

// A grid of one, two side by side, or two by two.
QSize gridFor(qsizetype count)
{
    return count <= 1 ? QSize(1, 1) : count == 2 ? QSize(2, 1) : QSize(2, 2);
}

const QImage &nullImage()
{
    static const QImage none;
    return none;
}

const QString &emptyText()
{
    static const QString none;
    return none;
}

} // namespace

PreviewWindow::PreviewWindow(ItemSource items, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_source(std::move(items))
    , m_hud(new HudView(this))
    , m_zoomHud(new HudView(this))
{
    setWindowTitle(tr("Quick Look"));
    // Ready by the time a clip is asked to play, without the window's thread loading it.
    PlayerModule::preload();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    resize(900, 650);
    m_resizeSettle.setSingleShot(true);
    m_resizeSettle.setInterval(kResizeSettleMs);
    connect(&m_resizeSettle, &QTimer::timeout, this, [this] {
        decodeAgainIfGrown();
        requestDetails();
    });
    // The photos ahead are decoded again for a new zoom once it settles (not at every step of
    // a drag).
    m_aheadRefresh.setSingleShot(true);
    m_aheadRefresh.setInterval(kAheadSettleMs);
    connect(&m_aheadRefresh, &QTimer::timeout, this, [this] {
        if (m_panes.size() != 1) {
            return;
        }
        const QSizeF view = deviceView(0);
        m_ahead.removeIf([&](const Ahead &ahead) {
            const bool wanted =
                detailWanted(m_zoom, ahead.fitted.uprightSize, view, ahead.fitted.image.width())
                    .has_value();
            return wanted ? !covers(ahead.detail, ahead.fitted.uprightSize, view)
                          : !ahead.detail.image.isNull();
        });
        decodeAhead(m_aheadUrls);
    });
    m_releaseP.setSingleShot(true);
    m_releaseP.setInterval(kKeyReleaseSettleMs);
    connect(&m_releaseP, &QTimer::timeout, this, &PreviewWindow::stopPlayback);
    m_zoomLabelTimer.setSingleShot(true);
    m_zoomLabelTimer.setInterval(kZoomLabelMs);
    connect(&m_zoomLabelTimer, &QTimer::timeout, this,
            [this] { m_zoomHud->setMessage(std::nullopt, true); });
    // Three threads: a superseded decode that already started does not hold up the newest one,
    // and a photo decoded ahead does not hold up the one on screen.
    m_pool.setMaxThreadCount(3);
}

PreviewWindow::~PreviewWindow()
{
    m_latest->store(++m_generation); // queued decodes return at once
}

// ----- What is shown

const QImage &PreviewWindow::image() const
{
    return m_panes.isEmpty() ? nullImage() : m_panes[m_focused].image;
}

const QString &PreviewWindow::fileName() const
{
    return m_panes.isEmpty() ? emptyText() : m_panes[m_focused].fileName;
}

QString PreviewWindow::message() const
{
    return m_panes.isEmpty() ? m_message : note(m_focused);
}

QString PreviewWindow::note(qsizetype index) const
{
    const Pane &pane = m_panes[index];
    if (!pane.image.isNull() || pane.message.isEmpty()) {
        return {};
    }
    if (m_motionSource && !m_motions.contains(pane.url)) {
        return {}; // a video, perhaps: the note waits until that is known
    }
    if (motionOf(pane.url).kind != PreviewMotion::Kind::video) {
        return pane.message;
    }
    // A video shows no still: nothing until its first frame, unless it cannot be played.
    return m_unplayable.contains(pane.url) ? tr("Can\u2019t play this video") : QString();
}

QRectF PreviewWindow::detailPart() const
{
    return m_panes.isEmpty() || m_zoom.isFitted() ? QRectF() : m_panes[m_focused].detail.part;
}

const QImage &PreviewWindow::detailImage() const
{
    return m_panes.isEmpty() || m_zoom.isFitted() ? nullImage() : m_panes[m_focused].detail.image;
}

QList<PhotoInfoText::Row> PreviewWindow::infoRows() const
{
    return m_panes.isEmpty() ? QList<PhotoInfoText::Row>() : m_panes[m_focused].info;
}

QString PreviewWindow::zoomLabel() const
{
    if (m_zoom.isFitted() || m_panes.isEmpty()) {
        return tr("Fit");
    }
    const Pane &pane = m_panes[m_focused];
    const double scale = m_zoom.scale(QSizeF(pane.uprightSize), deviceView(m_focused));
    return tr("%1\u00a0%").arg(std::lround(scale * 100));
}

// ----- Geometry

QRect PreviewWindow::cellRect(qsizetype pane) const
{
    const QSize grid = gridFor(m_panes.size());
    const QRect area = rect().adjusted(kMargin, kMargin, -kMargin, 0);
    const int width = (area.width() - (grid.width() - 1) * kMargin) / grid.width();
    const int height = area.height() / grid.height();
    const int column = int(pane % grid.width());
    const int row = int(pane / grid.width());
    return {area.x() + column * (width + kMargin), area.y() + row * height, width, height};
}

QRect PreviewWindow::photoRect(qsizetype pane) const
{
    return cellRect(pane).adjusted(0, 0, 0, -kNameStripHeight);
}

QRect PreviewWindow::photoRect() const
{
    return photoRect(m_panes.isEmpty() ? 0 : m_focused);
}

QSizeF PreviewWindow::deviceView(qsizetype pane) const
{
    return QSizeF(photoRect(pane).size()) * devicePixelRatioF();
}

QSize PreviewWindow::deviceBox(qsizetype pane) const
{
    const QSizeF device = deviceView(pane);
    return QSize(int(device.width()), int(device.height())).expandedTo({1, 1});
}

QRectF PreviewWindow::placedRect(qsizetype pane) const
{
    const Pane &shown = m_panes[pane];
    if (shown.image.isNull()) {
        return {};
    }
    const QRect area = photoRect(pane);
    const double ratio = devicePixelRatioF();
    if (m_zoom.isFitted()) {
        // Sized from the photo's own size so a grown window shows the photo large at once,
        // sharpened when the bigger decode arrives; that size always has the picture's shape.
        QRect target(QPoint(), fittedSize(shown.uprightSize / ratio, area.size()));
        target.moveCenter(area.center());
        return target;
    }
    const QRectF device = m_zoom.imageRect(QSizeF(shown.uprightSize), deviceView(pane));
    return {QPointF(area.topLeft()) + device.topLeft() / ratio, device.size() / ratio};
}

QRect PreviewWindow::imageRect() const
{
    return m_panes.isEmpty() ? QRect() : placedRect(m_focused).toRect();
}

std::optional<qsizetype> PreviewWindow::paneAt(QPoint point) const
{
    for (qsizetype pane = 0; pane < m_panes.size(); ++pane) {
        if (cellRect(pane).contains(point)) {
            return pane;
        }
    }
    return std::nullopt;
}

QSize PreviewWindow::fittedSize(QSize source, QSize box)
{
    if (source.isEmpty()) {
        return {};
    }
    QSize fitted = source;
    if (source.width() > box.width() || source.height() > box.height()) {
        fitted = source.scaled(box.expandedTo({1, 1}), Qt::KeepAspectRatio);
    }
    return fitted.expandedTo({1, 1});
}

// ----- Items

void PreviewWindow::showAtFirstItem()
{
    reload();
    show();
    raise();
    activateWindow();
}

void PreviewWindow::reload()
{
    const PreviewItems items = m_source ? m_source() : PreviewItems();
    if (items.urls.isEmpty()) {
        showNothing();
        return;
    }
    m_message.clear();
    if (items.urls.size() == m_panes.size()) {
        // The same layout: each pane keeps what it shows until its new photo is decoded, so
        // flipping never flashes an empty window.
        for (qsizetype pane = 0; pane < m_panes.size(); ++pane) {
            const QUrl &url = items.urls[pane];
            if (m_panes[pane].requested != url &&
                !(m_panes[pane].url == url && !m_panes[pane].requested)) {
                request(pane, url);
            }
        }
    } else {
        // Another layout: photos still compared keep their pane's pictures.
        QList<Pane> panes;
        QList<qsizetype> fresh;
        for (const QUrl &url : items.urls) {
            const auto kept = std::ranges::find_if(m_panes, [&url](const Pane &pane) {
                return pane.url == url || pane.requested == url;
            });
            if (kept != m_panes.end()) {
                panes.append(std::move(*kept));
                m_panes.erase(kept);
            } else {
                fresh.append(panes.size());
                panes.append(Pane{});
            }
        }
        m_panes = std::move(panes);
        for (const qsizetype pane : std::as_const(fresh)) {
            request(pane, items.urls[pane]);
        }
    }
    m_focused = std::clamp<qsizetype>(items.focused, 0, m_panes.size() - 1);
    m_motions.removeIf([&items](const auto &entry) { return !items.urls.contains(entry.key()); });
    for (const QUrl &url : items.urls) {
        requestMotion(url);
    }
    updatePlayback();
    m_ahead.removeIf([&items](const Ahead &ahead) {
        return !items.urls.contains(ahead.url) && !items.ahead.contains(ahead.url);
    });
    m_aheadUrls = items.ahead;
    decodeAhead(m_aheadUrls);
    requestDetails();
    update();
}

void PreviewWindow::showNothing()
{
    m_latest->store(++m_generation);
    m_panes.clear();
    m_focused = 0;
    stopPlayback();
    m_message = tr("No photo to show");
    update();
    Q_EMIT displayChanged();
}

// ----- Decoding

PreviewWindow::Decoded PreviewWindow::decode(const QString &path,
                                             QSize box,
                                             const std::shared_ptr<std::atomic<quint64>> &latest,
                                             quint64 generation)
{
    if (latest && latest->load() > generation) {
        return {};
    }
    // Opened as thumbnails are: a link, a FIFO or a vast header in the photo's place shows
    // the note instead of hanging the decode thread or filling memory. Bounded by the box's
    // longer side, since the photo's shape is known only once its header is read; a photo of
    // another shape than the box is shrunk the rest of the way here.
    const int bound = std::max(box.width(), box.height());
    ImageFile::Decoded decoded = ImageFile::read(path, bound);
    const QSize source = wholeSize(decoded.image.size(), decoded.sourceSize, bound);
    const QSize fitted = fittedSize(decoded.image.size(), box);
    if (!decoded.image.isNull() && fitted != decoded.image.size()) {
        decoded.image =
            decoded.image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return {decoded.image, source};
}

QSize PreviewWindow::wholeSize(QSize decoded, QSize header, int bound)
{
    if (decoded.isEmpty()) {
        return {};
    }
    // A header may be wrong, turned or missing where the picture is not: its size is believed
    // only when the decoded picture is that size, or that shape shrunk to the bound.
    for (const QSize claimed : {header, header.transposed()}) {
        const QSize shrunk = ImageScaling::bounded(claimed, bound);
        if (!claimed.isEmpty() && claimed.width() >= decoded.width() &&
            claimed.height() >= decoded.height() &&
            std::abs(shrunk.width() - decoded.width()) <= 1 &&
            std::abs(shrunk.height() - decoded.height()) <= 1) {
            return claimed;
        }
    }
    return decoded;
}

void PreviewWindow::request(qsizetype pane, const QUrl &url)
{
    Pane &target = m_panes[pane];
    target.requested = url;
    const quint64 generation = ++m_generation;
    target.generation = generation;
    const QSize box = deviceBox(pane);
    const auto ahead = std::ranges::find_if(
        m_ahead, [&](const Ahead &a) { return a.ready && a.url == url && a.box == box; });
    if (ahead != m_ahead.end()) {
        apply(pane, url, box, ahead->fitted, ahead->detail);
        return;
    }
    // Every pane's newest request is the window's newest but one at most: queued decodes older
    // than the first pane's skip their work.
    m_latest->store(m_panes.size() == 1 ? generation : std::min(m_latest->load(), generation));
    ++m_pendingDecodes;
    QtConcurrent::run(&m_pool, &PreviewWindow::decode, url.toLocalFile(), box, m_latest, generation)
        .then(this, [this, url, box, generation](Decoded decoded) {
            --m_pendingDecodes;
            const auto waiting = std::ranges::find_if(
                m_panes, [generation](const Pane &p) { return p.generation == generation; });
            if (waiting != m_panes.end()) {
                apply(waiting - m_panes.begin(), url, box, std::move(decoded));
            }
        });
}

void PreviewWindow::apply(
    qsizetype pane, const QUrl &url, QSize box, Decoded decoded, std::optional<Detail> detail)
{
    Pane &shown = m_panes[pane];
    const bool samePhoto = shown.url == url;
    shown.requested.reset();
    shown.url = url;
    shown.image = std::move(decoded.image);
    shown.image.setDevicePixelRatio(devicePixelRatioF());
    shown.uprightSize = shown.image.isNull() ? QSize() : decoded.uprightSize;
    shown.decodedBox = box;
    shown.fileName = displayName(url);
    shown.message = shown.image.isNull() ? tr("Can\u2019t show this photo") : QString();
    if (!samePhoto || detail) {
        shown.detail =
            detail && covers(*detail, shown.uprightSize, deviceView(pane)) ? *detail : Detail();
    }
    if (!samePhoto) {
        shown.info.clear();
        shown.infoRequested = false;
        ++shown.detailGeneration; // a detail of the photo before is not wanted any more
    }
    update();
    Q_EMIT displayChanged();
    requestDetail(pane);
    if (m_showInfo) {
        requestInfo(pane);
    }
    updatePlayback();
    decodeAgainIfGrown(); // the window may have grown while this one was decoding
}

void PreviewWindow::decodeAgainIfGrown()
{
    for (qsizetype pane = 0; pane < m_panes.size(); ++pane) {
        const Pane &shown = m_panes[pane];
        if (shown.requested || shown.image.isNull()) {
            continue;
        }
        if (fittedSize(shown.uprightSize, deviceBox(pane)).width() >
            fittedSize(shown.uprightSize, shown.decodedBox).width()) {
            request(pane, shown.url);
        }
    }
}

std::optional<PreviewWindow::DetailRequest>
PreviewWindow::detailWanted(const PreviewZoom &zoom, QSize upright, QSizeF view, int fittedWidth)
{
    if (zoom.isFitted() || upright.isEmpty()) {
        return std::nullopt;
    }
    // Above 100 % the photo's own pixels are enlarged on screen; below, it is decoded smaller.
    const double scale = std::min(1.0, zoom.scale(QSizeF(upright), view));
    if (fittedWidth >= std::floor(upright.width() * scale)) {
        return std::nullopt; // the fitted picture is already as sharp as this zoom shows it
    }
    const QRect part = zoom.visiblePart(QSizeF(upright), view, kDetailMargin).toAlignedRect();
    if (part.isEmpty()) {
        return std::nullopt;
    }
    const QSize size(std::max(1, int(std::lround(part.width() * scale))),
                     std::max(1, int(std::lround(part.height() * scale))));
    return DetailRequest{part, size, scale};
}

bool PreviewWindow::covers(const Detail &detail, QSize upright, QSizeF view) const
{
    if (m_zoom.isFitted() || detail.image.isNull() || upright.isEmpty()) {
        return false;
    }
    const double scale = std::min(1.0, m_zoom.scale(QSizeF(upright), view));
    return detail.part.contains(m_zoom.visiblePart(QSizeF(upright), view)) &&
           std::abs(detail.scale - scale) < 1e-6;
}

void PreviewWindow::requestDetails()
{
    for (qsizetype pane = 0; pane < m_panes.size(); ++pane) {
        requestDetail(pane);
    }
}

void PreviewWindow::requestDetail(qsizetype pane)
{
    Pane &shown = m_panes[pane];
    if (shown.image.isNull()) {
        return;
    }
    const QSizeF view = deviceView(pane);
    const std::optional<DetailRequest> wanted =
        detailWanted(m_zoom, shown.uprightSize, view, shown.image.width());
    if (!wanted || covers(shown.detail, shown.uprightSize, view)) {
        return;
    }
    const quint64 generation = ++shown.detailGeneration;
    const QUrl url = shown.url;
    const auto [part, size, scale] = *wanted;
    ++m_pendingDecodes;
    QtConcurrent::run(&m_pool, [path = url.toLocalFile(), part, size] {
        QImage picture = ImageFile::readRegion(path, part, size);
        const bool gone = picture.isNull() && !QFileInfo::exists(path);
        return std::pair(std::move(picture), gone);
    }).then(this, [this, url, part, scale, generation](std::pair<QImage, bool> read) {
        --m_pendingDecodes;
        const auto target = std::ranges::find_if(m_panes, [&](const Pane &p) {
            return p.url == url && p.detailGeneration == generation;
        });
        if (target == m_panes.end()) {
            return;
        }
        if (read.second) {
            // Gone from the disk since it was shown: say so rather than keep a ghost.
            target->image = {};
            target->detail = {};
            target->message = tr("Can\u2019t show this photo");
        } else if (!read.first.isNull()) {
            target->detail = {std::move(read.first), QRectF(part), scale};
        } else {
            return; // unreadable there: the fitted picture stays, enlarged
        }
        update();
        Q_EMIT displayChanged();
    });
}

void PreviewWindow::decodeAhead(const QList<QUrl> &urls)
{
    if (m_panes.size() != 1) {
        return; // comparing: the arrows lead nowhere predictable
    }
    const QSize box = deviceBox(0);
    const QSizeF view = deviceView(0);
    for (const QUrl &url : urls) {
        const bool known = std::ranges::any_of(
            m_ahead, [&](const Ahead &a) { return a.url == url && a.box == box; });
        if (known || m_panes[0].url == url || m_panes[0].requested == url) {
            continue;
        }
        m_ahead.append({url, box, {}, {}, false});
        if (m_ahead.size() > kAheadKept) {
            m_ahead.removeFirst();
        }
        const PreviewZoom zoom = m_zoom;
        ++m_pendingDecodes;
        QtConcurrent::run(&m_pool, [url, box, view, zoom]() -> Ahead {
            Ahead ahead{url, box, decode(url.toLocalFile(), box, {}, 0), {}, true};
            if (const std::optional<DetailRequest> wanted = detailWanted(
                    zoom, ahead.fitted.uprightSize, view, ahead.fitted.image.width())) {
                ahead.detail = {
                    ImageFile::readRegion(url.toLocalFile(), wanted->part, wanted->size),
                    QRectF(wanted->part), wanted->scale};
            }
            return ahead;
        }).then(this, [this](Ahead decoded) {
            --m_pendingDecodes;
            for (Ahead &ahead : m_ahead) {
                if (ahead.url == decoded.url && ahead.box == decoded.box) {
                    ahead = std::move(decoded);
                    // A photo flipped to while it was still on its way is shown now.
                    for (qsizetype pane = 0; pane < m_panes.size(); ++pane) {
                        if (m_panes[pane].requested == ahead.url && !ahead.fitted.image.isNull()) {
                            apply(pane, ahead.url, ahead.box, ahead.fitted, ahead.detail);
                        }
                    }
                    return;
                }
            }
        });
    }
}

void PreviewWindow::requestInfo(qsizetype pane)
{
    Pane &shown = m_panes[pane];
    if (!m_infoSource || shown.infoRequested || !shown.url.isLocalFile()) {
        return;
    }
    shown.infoRequested = true;
    const QUrl url = shown.url;
    const InfoRead read = m_infoSource(url);
    if (!read) {
        return;
    }
    QtConcurrent::run(&m_pool, read).then(this, [this, url](QList<PhotoInfoText::Row> rows) {
        for (Pane &target : m_panes) {
            if (target.url == url) {
                target.info = rows;
            }
        }
        update();
    });
}

// ----- Clips

void PreviewWindow::setMotionSource(MotionSource source)
{
    m_motionSource = std::move(source);
    m_motions.clear();
    m_motionsAsked.clear();
    ++m_motionEpoch;
    for (const Pane &pane : std::as_const(m_panes)) {
        requestMotion(pane.requested.value_or(pane.url));
    }
}

const PreviewMotion &PreviewWindow::motionOf(const QUrl &url) const
{
    static const PreviewMotion none;
    const auto found = m_motions.constFind(url);
    return found == m_motions.cend() ? none : *found;
}

void PreviewWindow::requestMotion(const QUrl &url)
{
    if (!m_motionSource || !url.isLocalFile() || m_motions.contains(url) ||
        m_motionsAsked.contains(url)) {
        return;
    }
    const MotionRead read = m_motionSource(url);
    if (!read) {
        m_motions.insert(url, {});
        return;
    }
    m_motionsAsked.insert(url);
    QtConcurrent::run(&m_pool, read)
        .then(this, [this, url, epoch = m_motionEpoch](PreviewMotion motion) {
            if (epoch != m_motionEpoch) {
                return;
            }
            m_motionsAsked.remove(url);
            if (std::ranges::any_of(m_panes, [&url](const Pane &pane) {
                    return pane.url == url || pane.requested == url;
                })) {
                m_motions.insert(url, std::move(motion));
                updatePlayback();
                update();
            }
        });
}

qsizetype PreviewWindow::playingPane() const
{
    if (!m_player) {
        return -1;
    }
    // A still decoded again at another size is still the same photo: its clip plays on.
    const auto pane = std::ranges::find_if(m_panes, [this](const Pane &p) {
        return p.url == m_playing && p.requested.value_or(p.url) == m_playing;
    });
    return pane == m_panes.end() ? -1 : pane - m_panes.begin();
}

void PreviewWindow::updatePlayback()
{
    if (m_player && playingPane() != m_focused) {
        stopPlayback(); // another photo is shown, or focused
    }
    if (m_player || m_panes.isEmpty() || !isVisible()) {
        return;
    }
    const Pane &pane = m_panes[m_focused];
    if (!pane.requested && motionOf(pane.url).kind == PreviewMotion::Kind::video &&
        !m_unplayable.contains(pane.url)) {
        startPlayback(m_focused, false);
    }
}

void PreviewWindow::startPlayback(qsizetype pane, bool once)
{
    stopPlayback();
    const QUrl url = m_panes[pane].url;
    const PreviewMotion &motion = motionOf(url);
    if (motion.kind == PreviewMotion::Kind::none || m_unplayable.contains(url)) {
        return;
    }
    const bool embedded = motion.kind == PreviewMotion::Kind::embedded;
    if (embedded && (motion.offset < 0 || motion.length <= 0)) {
        m_unplayable.insert(url);
        update();
        return;
    }
    // A video goes round while it is short (a clip, not a film); a Live Photo's clip goes round
    // while P is held, and plays once from its button.
    const MotionPlayer::Repeat repeat = once ? MotionPlayer::Repeat::once
                                        : motion.kind == PreviewMotion::Kind::video
                                            ? MotionPlayer::Repeat::ifShort
                                            : MotionPlayer::Repeat::always;
    m_player = new MotionPlayer(motion.path, embedded ? motion.offset : 0,
                                embedded ? motion.length : FileRangeDevice::toTheEnd, repeat,
                                m_muted, this);
    m_playing = url;
    if (m_player->hasFailed()) {
        playbackFailed();
        return;
    }
    connect(m_player, &MotionPlayer::frameChanged, this, qOverload<>(&QWidget::update));
    connect(m_player, &MotionPlayer::failed, this, &PreviewWindow::playbackFailed);
    connect(m_player, &MotionPlayer::finished, this, [this, kind = motion.kind] {
        if (kind == PreviewMotion::Kind::video) {
            update(); // its last frame stays, with the play button to see it again
        } else {
            stopPlayback(); // the still again
        }
    });
    update();
}

void PreviewWindow::stopPlayback()
{
    m_holdingP = false;
    m_releaseP.stop();
    if (!m_player) {
        return;
    }
    // Silent at once; gone once the signal that may have brought us here has returned.
    MotionPlayer *player = m_player;
    m_player = nullptr;
    player->disconnect(this);
    player->stop();
    player->deleteLater();
    update();
}

void PreviewWindow::playbackFailed()
{
    m_unplayable.insert(m_playing);
    stopPlayback();
}

QRectF PreviewWindow::motionRect(qsizetype index, QSize frame) const
{
    const Pane &pane = m_panes[index];
    const double ratio = devicePixelRatioF();
    if (frame.isEmpty()) {
        return {};
    }
    if (!pane.image.isNull()) {
        // Over the still, zoomed and panned with it; a clip of another shape stays inside it.
        const QRectF still = placedRect(index);
        QSizeF size = QSizeF(frame).scaled(still.size(), Qt::KeepAspectRatio);
        return {still.center() - QPointF(size.width(), size.height()) / 2, size};
    }
    const QRect area = photoRect(index);
    QRectF target(QPointF(), QSizeF(fittedSize(
                                 QSize(qCeil(frame.width() / ratio), qCeil(frame.height() / ratio)),
                                 area.size())));
    target.moveCenter(QRectF(area).center());
    return target;
}

QRect PreviewWindow::playButtonRect() const
{
    return m_panes.isEmpty() ? QRect() : playButtonRect(m_focused);
}

QRect PreviewWindow::playButtonRect(qsizetype index) const
{
    const Pane &pane = m_panes[index];
    const PreviewMotion::Kind kind = motionOf(pane.url).kind;
    const bool playing = index == playingPane() && !m_player->hasFinished();
    if (kind == PreviewMotion::Kind::none || pane.requested || playing ||
        m_unplayable.contains(pane.url)) {
        return {};
    }
    const QRect area = photoRect(index);
    if (pane.image.isNull()) {
        if (kind != PreviewMotion::Kind::video) {
            return {};
        }
        // A video not playing (compared beside another, or played to its end): in the middle.
        QRect button(0, 0, kPlayButton * 2, kPlayButton * 2);
        button.moveCenter(area.center());
        return button;
    }
    // A still with a clip: in the picture's corner, clear of the information panel.
    const QRect picture = placedRect(index).toRect().intersected(area);
    return {picture.left() + 12, picture.bottom() - 12 - kPlayButton, kPlayButton, kPlayButton};
}

// ----- Zoom and focus

void PreviewWindow::zoomChanged(bool announce)
{
    if (m_zoom.isFitted()) {
        for (Pane &pane : m_panes) {
            pane.detail = {};
            ++pane.detailGeneration;
        }
    }
    requestDetails();
    m_aheadRefresh.start();
    update();
    if (announce) {
        flashLabel(zoomLabel());
    }
}

void PreviewWindow::flashLabel(const QString &text)
{
    m_zoomHud->setMessage(text, false);
    m_zoomHud->move((width() - m_zoomHud->width()) / 2, (height() - m_zoomHud->height()) / 2);
    m_zoomLabelTimer.start();
}

void PreviewWindow::setFocusedPane(qsizetype pane)
{
    if (pane < 0 || pane >= m_panes.size()) {
        return;
    }
    m_focused = pane;
    updatePlayback();
    update();
    if (m_focusRequest) {
        m_focusRequest(m_panes[pane].requested.value_or(m_panes[pane].url));
    }
}

bool PreviewWindow::focusNextPrevChild(bool)
{
    return false; // Tab moves between compared photos (keyPressEvent)
}

void PreviewWindow::showHud(const std::optional<QString> &message)
{
    m_hud->setMessage(message, true);
    m_hud->move((width() - m_hud->width()) / 2, kMargin);
}

// ----- Painting

void PreviewWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), DarkroomPalette::canvas());
    if (m_panes.isEmpty()) {
        painter.setPen(DarkroomPalette::mutedPaper());
        painter.drawText(photoRect(0), Qt::AlignCenter, m_message);
        return;
    }
    const double ratio = devicePixelRatioF();
    for (qsizetype index = 0; index < m_panes.size(); ++index) {
        const Pane &pane = m_panes[index];
        const QRect area = photoRect(index);
        painter.save();
        painter.setClipRect(area);
        if (!pane.image.isNull()) {
            const QRectF placed = placedRect(index);
            const double scale = m_zoom.scale(QSizeF(pane.uprightSize), deviceView(index));
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(placed, pane.image);
            if (!m_zoom.isFitted() && !pane.detail.image.isNull()) {
                const QRectF part = pane.detail.part;
                const QRectF target(placed.topLeft() + part.topLeft() * scale / ratio,
                                    part.size() * scale / ratio);
                // Above 100 % the photo's pixels show as they are, for judging focus.
                painter.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1.0);
                painter.drawImage(target, pane.detail.image);
            }
        } else if (const QString text = note(index); !text.isEmpty()) {
            painter.setPen(DarkroomPalette::mutedPaper());
            painter.drawText(area, Qt::AlignCenter, text);
        }
        if (index == playingPane()) {
            paintMotion(painter, index);
        }
        if (const QRect button = playButtonRect(index); !button.isEmpty()) {
            paintPlayButton(painter, button);
        }
        painter.restore();
        if (m_panes.size() > 1 && index == m_focused) {
            painter.setPen(QPen(DarkroomPalette::ember(), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRectF(area).adjusted(-1, -1, 1, 1));
        }
        if (!pane.fileName.isEmpty()) {
            const QRect strip(area.left(), area.bottom() + 1, area.width(), kNameStripHeight);
            painter.setPen(index == m_focused || m_panes.size() == 1
                               ? DarkroomPalette::paper()
                               : DarkroomPalette::mutedPaper());
            painter.drawText(strip, Qt::AlignCenter,
                             fontMetrics().elidedText(Typography::displayName(pane.fileName),
                                                      Qt::ElideMiddle, strip.width()));
        }
    }
    const QList<PhotoInfoText::Row> rows = infoRows();
    if (m_showInfo && !rows.isEmpty()) {
        const QFont font = Typography::font(12);
        const QFontMetrics metrics(font);
        int labelWidth = 0;
        int valueWidth = 0;
        for (const auto &[label, value] : rows) {
            labelWidth = std::max(labelWidth, metrics.horizontalAdvance(label));
            valueWidth = std::max(valueWidth, metrics.horizontalAdvance(value));
        }
        const int line = metrics.height() + 2;
        const QRect area = photoRect(m_focused);
        const QRect panel(area.left() + 8, area.top() + 8,
                          std::min(area.width() - 16, labelWidth + valueWidth + 36),
                          std::min(area.height() - 16, int(rows.size()) * line + 16));
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = DarkroomPalette::canvas();
        fill.setAlphaF(0.82);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(panel, 8, 8);
        painter.setFont(font);
        int y = panel.top() + 8;
        for (const auto &[label, value] : rows) {
            if (y + line > panel.bottom()) {
                break;
            }
            painter.setPen(DarkroomPalette::mutedPaper());
            painter.drawText(QRect(panel.left() + 12, y, labelWidth, line), Qt::AlignLeft, label);
            painter.setPen(DarkroomPalette::paper());
            painter.drawText(
                QRect(panel.left() + 24 + labelWidth, y, panel.width() - labelWidth - 36, line),
                Qt::AlignLeft,
                metrics.elidedText(value, Qt::ElideRight, panel.width() - labelWidth - 36));
            y += line;
        }
    }
}

void PreviewWindow::paintMotion(QPainter &painter, qsizetype index)
{
    const QImage &frame = m_player->frame();
    const double ratio = devicePixelRatioF();
    // Frames are shrunk to what the pane shows, off this thread; until the first, the still.
    const QRectF bound = motionRect(
        index, m_panes[index].image.isNull() ? deviceBox(index) : m_panes[index].uprightSize);
    m_player->setBound((bound.size() * ratio).toSize().expandedTo({1, 1}));
    if (frame.isNull()) {
        return;
    }
    const QRectF target = motionRect(index, frame.size());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame);
    // How far the clip has played, along its bottom edge.
    const QRectF visible = target.intersected(QRectF(photoRect(index)));
    const QRectF track(visible.left(), visible.bottom() - kProgressHeight, visible.width(),
                       kProgressHeight);
    QColor shade = DarkroomPalette::canvas();
    shade.setAlphaF(0.5);
    painter.fillRect(track, shade);
    painter.fillRect(
        QRectF(track.topLeft(), QSizeF(track.width() * m_player->progress(), track.height())),
        DarkroomPalette::ember());
}

void PreviewWindow::paintPlayButton(QPainter &painter, const QRect &button)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = DarkroomPalette::canvas();
    fill.setAlphaF(0.7);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(button);
    // A triangle pointing right, nudged right of the centre so it looks centred.
    const QRectF glyph = QRectF(button).adjusted(button.width() * 0.34, button.height() * 0.28,
                                                 -button.width() * 0.26, -button.height() * 0.28);
    QPainterPath triangle;
    triangle.moveTo(glyph.topLeft());
    triangle.lineTo(glyph.right(), glyph.center().y());
    triangle.lineTo(glyph.bottomLeft());
    triangle.closeSubpath();
    painter.setBrush(DarkroomPalette::paper());
    painter.drawPath(triangle);
    painter.restore();
}

// ----- Input

void PreviewWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_resizeSettle.start();
    m_hud->move((width() - m_hud->width()) / 2, kMargin);
}

void PreviewWindow::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers held = event->modifiers() & ~Qt::KeypadModifier;
    const auto pointed = [this]() -> std::pair<qsizetype, std::optional<QPointF>> {
        const QPoint at = mapFromGlobal(QCursor::pos());
        const std::optional<qsizetype> pane = paneAt(at);
        if (!pane || !rect().contains(at)) {
            return {m_focused, std::nullopt};
        }
        return {*pane, QPointF(at - photoRect(*pane).topLeft()) * devicePixelRatioF()};
    };
    if (held != Qt::NoModifier && held != Qt::ShiftModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool photo = !m_panes.isEmpty() && !m_panes[m_focused].image.isNull();
    const auto sizes = [this](qsizetype pane) {
        return std::pair(QSizeF(m_panes[pane].uprightSize), deviceView(pane));
    };
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Z:
        if (photo) {
            const auto [pane, anchor] = pointed();
            const auto [image, view] = sizes(pane);
            m_zoom.toggle(image, view, anchor);
            zoomChanged(true);
        }
        return;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        if (photo) {
            const auto [image, view] = sizes(m_focused);
            m_zoom.stepIn(image, view);
            zoomChanged(true);
        }
        return;
    case Qt::Key_Minus:
        if (photo) {
            const auto [image, view] = sizes(m_focused);
            m_zoom.stepOut(image, view);
            zoomChanged(true);
        }
        return;
    case Qt::Key_I:
        m_showInfo = !m_showInfo;
        if (m_showInfo) {
            for (qsizetype pane = 0; pane < m_panes.size(); ++pane) {
                requestInfo(pane);
            }
        }
        update();
        return;
    case Qt::Key_M:
        // Sound is the user's choice while the window is open, for every clip flipped to.
        if (!m_panes.isEmpty() &&
            motionOf(m_panes[m_focused].url).kind != PreviewMotion::Kind::none) {
            m_muted = !m_muted;
            if (m_player) {
                m_player->setMuted(m_muted);
            }
            flashLabel(m_muted ? tr("Sound off") : tr("Sound on"));
        }
        return;
    case Qt::Key_P:
        if (m_holdingP) {
            m_releaseP.stop(); // still held
        } else if (!event->isAutoRepeat() && !m_panes.isEmpty() &&
                   m_panes[m_focused].requested.value_or(m_panes[m_focused].url) ==
                       m_panes[m_focused].url) {
            const PreviewMotion::Kind kind = motionOf(m_panes[m_focused].url).kind;
            if (kind == PreviewMotion::Kind::live || kind == PreviewMotion::Kind::embedded) {
                startPlayback(m_focused, false);
                m_holdingP = m_player != nullptr;
            }
        }
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (m_panes.size() > 1) {
            const bool back = event->key() == Qt::Key_Backtab || held == Qt::ShiftModifier;
            setFocusedPane((m_focused + (back ? m_panes.size() - 1 : 1)) % m_panes.size());
        }
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void PreviewWindow::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_P && !event->isAutoRepeat() && m_holdingP) {
        m_releaseP.start(); // ends the clip unless P is pressed again at once: a repeat
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void PreviewWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragFrom = event->position().toPoint();
        m_dragged = false;
    }
    QWidget::mousePressEvent(event);
}

void PreviewWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragFrom || m_zoom.isFitted() || m_panes.isEmpty()) {
        return;
    }
    const QPoint at = event->position().toPoint();
    if (!m_dragged && (at - *m_dragFrom).manhattanLength() < kDragThreshold) {
        return;
    }
    m_dragged = true;
    const qsizetype pane = paneAt(*m_dragFrom).value_or(m_focused);
    m_zoom.pan(QPointF(at - *m_dragFrom) * devicePixelRatioF(), QSizeF(m_panes[pane].uprightSize),
               deviceView(pane));
    m_dragFrom = at;
    zoomChanged(false);
}

void PreviewWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_dragFrom && !m_dragged) {
        const QPoint at = event->position().toPoint();
        const std::optional<qsizetype> pane = paneAt(at);
        const bool play = pane && playButtonRect(*pane).contains(at);
        const QUrl url = pane ? m_panes[*pane].url : QUrl();
        if (pane && *pane != m_focused) {
            setFocusedPane(*pane); // the board may show other panes after this
        }
        const auto clicked = std::ranges::find_if(
            m_panes, [&url](const Pane &p) { return p.url == url && !p.requested; });
        if (play && clicked - m_panes.begin() == m_focused) {
            const bool video = motionOf(url).kind == PreviewMotion::Kind::video;
            if (!(video && m_player && playingPane() == m_focused && !m_player->hasFinished())) {
                startPlayback(m_focused, !video);
            }
        }
    }
    m_dragFrom.reset();
    QWidget::mouseReleaseEvent(event);
}

void PreviewWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    const std::optional<qsizetype> pane = paneAt(at);
    if (event->button() != Qt::LeftButton || !pane || m_panes[*pane].image.isNull()) {
        return;
    }
    m_zoom.toggle(QSizeF(m_panes[*pane].uprightSize), deviceView(*pane),
                  QPointF(at - photoRect(*pane).topLeft()) * devicePixelRatioF());
    zoomChanged(true);
}

void PreviewWindow::wheelEvent(QWheelEvent *event)
{
    const QPoint at = event->position().toPoint();
    const std::optional<qsizetype> pane = paneAt(at);
    if (!(event->modifiers() & Qt::ControlModifier) || !pane || m_panes[*pane].image.isNull() ||
        event->angleDelta().y() == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    const QSizeF image(m_panes[*pane].uprightSize);
    const QPointF anchor = QPointF(at - photoRect(*pane).topLeft()) * devicePixelRatioF();
    if (event->angleDelta().y() > 0) {
        m_zoom.stepIn(image, deviceView(*pane), anchor);
    } else {
        m_zoom.stepOut(image, deviceView(*pane), anchor);
    }
    zoomChanged(true);
    event->accept();
}

void PreviewWindow::closeEvent(QCloseEvent *event)
{
    // Nothing is kept while hidden: the next show starts from the store's current items, fitted,
    // muted.
    m_latest->store(++m_generation);
    stopPlayback();
    m_motions.clear();
    m_motionsAsked.clear();
    m_unplayable.clear();
    ++m_motionEpoch;
    m_muted = true;
    m_panes.clear();
    m_ahead.clear();
    m_aheadUrls.clear();
    m_aheadRefresh.stop();
    m_message.clear();
    m_zoom.fit();
    m_showInfo = false;
    m_resizeSettle.stop();
    m_hud->setMessage(std::nullopt, false);
    m_zoomHud->setMessage(std::nullopt, false);
    QWidget::closeEvent(event);
}

void PreviewWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updatePlayback(); // shown again after being minimised
}

void PreviewWindow::hideEvent(QHideEvent *event)
{
    stopPlayback(); // hidden or minimised: no sound from a window no one sees
    QWidget::hideEvent(event);
}

void PreviewWindow::changeEvent(QEvent *event)
{
    // P's release goes to whatever window took the keyboard meanwhile.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && m_holdingP) {
        stopPlayback();
    }
    QWidget::changeEvent(event);
}
