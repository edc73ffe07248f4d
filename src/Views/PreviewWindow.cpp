#include "PreviewWindow.h"

#include "DarkroomPalette.h"
#include "Services/Decoders/ImageScaling.h"
#include "Services/ImageFile.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QtConcurrentRun>

namespace {

constexpr int kMargin = 16;
constexpr int kNameStripHeight = 40;
constexpr int kResizeSettleMs = 120;

QString displayName(const QUrl &url)
{
    return url.isLocalFile() ? QFileInfo(url.toLocalFile()).fileName() : url.fileName();
}

} // namespace

PreviewWindow::PreviewWindow(ItemSource firstItem, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_source(std::move(firstItem))
{
    setWindowTitle(tr("Quick Look"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(900, 650);
    m_resizeSettle.setSingleShot(true);
    m_resizeSettle.setInterval(kResizeSettleMs);
    connect(&m_resizeSettle, &QTimer::timeout, this, &PreviewWindow::decodeAgainIfGrown);
    // Two threads: a superseded decode that already started does not hold up the newest one.
    m_pool.setMaxThreadCount(2);
}

PreviewWindow::~PreviewWindow()
{
    m_latest->store(++m_generation); // queued decodes return at once
}

void PreviewWindow::showAtFirstItem()
{
    reload();
    show();
    raise();
    activateWindow();
}

void PreviewWindow::reload()
{
    const std::optional<QUrl> url = m_source ? m_source() : std::nullopt;
    if (url) {
        request(*url);
    } else {
        showNothing();
    }
}

QRect PreviewWindow::photoRect() const
{
    return rect().adjusted(kMargin, kMargin, -kMargin, -kNameStripHeight);
}

QRect PreviewWindow::imageRect() const
{
    if (m_image.isNull()) {
        return {};
    }
    // Sized from the photo's own size so a grown window shows the photo large at once,
    // sharpened when the bigger decode arrives; that size always has the picture's shape.
    const QRect area = photoRect();
    QRect target(QPoint(), fittedSize(m_uprightSize / devicePixelRatioF(), area.size()));
    target.moveCenter(area.center());
    return target;
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

QSize PreviewWindow::deviceBox() const
{
    const QSizeF device = QSizeF(photoRect().size()) * devicePixelRatioF();
    return QSize(int(device.width()), int(device.height())).expandedTo({1, 1});
}

PreviewWindow::Decoded PreviewWindow::decode(const QString &path,
                                             QSize box,
                                             const std::shared_ptr<std::atomic<quint64>> &latest,
                                             quint64 generation)
{
    if (latest->load() != generation) {
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

void PreviewWindow::request(const QUrl &url)
{
    m_requestedUrl = url;
    const quint64 generation = ++m_generation;
    m_latest->store(generation);
    const QSize box = deviceBox();
    ++m_pendingDecodes;
    QtConcurrent::run(&m_pool, &PreviewWindow::decode, url.toLocalFile(), box, m_latest, generation)
        .then(this, [this, url, box, generation](Decoded decoded) {
            --m_pendingDecodes;
            if (generation == m_generation) {
                m_shownGeneration = generation;
                apply(url, box, std::move(decoded));
            }
        });
}

void PreviewWindow::apply(const QUrl &url, QSize box, Decoded decoded)
{
    m_image = std::move(decoded.image);
    m_image.setDevicePixelRatio(devicePixelRatioF());
    m_uprightSize = m_image.isNull() ? QSize() : decoded.uprightSize;
    m_decodedBox = box;
    m_fileName = displayName(url);
    m_message = m_image.isNull() ? tr("Can’t show this photo") : QString();
    update();
    Q_EMIT displayChanged();
    decodeAgainIfGrown(); // the window may have grown while this one was decoding
}

void PreviewWindow::showNothing()
{
    m_latest->store(++m_generation);
    m_shownGeneration = m_generation;
    m_requestedUrl.reset();
    m_image = {};
    m_uprightSize = {};
    m_decodedBox = {};
    m_fileName.clear();
    m_message = tr("No photo to show");
    update();
    Q_EMIT displayChanged();
}

void PreviewWindow::decodeAgainIfGrown()
{
    if (!m_requestedUrl || m_image.isNull() || m_shownGeneration != m_generation) {
        return;
    }
    if (fittedSize(m_uprightSize, deviceBox()).width() >
        fittedSize(m_uprightSize, m_decodedBox).width()) {
        request(*m_requestedUrl);
    }
}

void PreviewWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), DarkroomPalette::canvas());
    const QRect area = photoRect();
    if (!m_image.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(imageRect(), m_image);
    } else if (!m_message.isEmpty()) {
        painter.setPen(DarkroomPalette::mutedPaper());
        painter.drawText(area, Qt::AlignCenter, m_message);
    }
    if (!m_fileName.isEmpty()) {
        const QRect strip(kMargin, area.bottom() + 1, width() - 2 * kMargin, kNameStripHeight);
        painter.setPen(DarkroomPalette::paper());
        painter.drawText(strip, Qt::AlignCenter,
                         fontMetrics().elidedText(m_fileName, Qt::ElideMiddle, strip.width()));
    }
}

void PreviewWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_resizeSettle.start();
}

void PreviewWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewWindow::closeEvent(QCloseEvent *event)
{
    // Nothing is kept while hidden: the next show starts from the store's current item.
    m_latest->store(++m_generation);
    m_requestedUrl.reset();
    m_image = {};
    m_uprightSize = {};
    m_fileName.clear();
    m_message.clear();
    m_resizeSettle.stop();
    QWidget::closeEvent(event);
}
