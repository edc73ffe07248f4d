#include "MultiFileDrag.h"

#include "DarkroomPalette.h"
#include "Symbols.h"

#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace MultiFileDrag {

QList<QRect> cardFrames(QPoint p, qsizetype count)
{
    QList<QRect> frames;
    frames.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const int step = fanStep * int(qMin<qsizetype>(i, fanSteps));
        frames.append(QRect(p.x() - cardWidth / 2 + step, p.y() - cardHeight / 2 - step, cardWidth,
                            cardHeight));
    }
    return frames;
}

QMimeData *mimeData(const QList<QUrl> &urls)
{
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

namespace {

// The stack image: a card per file (a photo symbol and the file's extension), drawn back to
// front so the first file lies on top.
QPixmap stackImage(const QList<QUrl> &urls, const QList<QRect> &frames, QRect bounds, qreal dpr)
{
    QPixmap pixmap(bounds.size() * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    for (qsizetype i = qMin<qsizetype>(urls.size(), fanSteps + 1) - 1; i >= 0; --i) {
        const QRectF card = frames[i].translated(-bounds.topLeft()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(DarkroomPalette::separator(), 1));
        painter.setBrush(DarkroomPalette::raised());
        painter.drawRoundedRect(card, 5, 5);
        Symbols::paint(painter, QStringLiteral("photo"), card.adjusted(24, 10, -24, -18),
                       DarkroomPalette::mutedPaper());
        painter.setPen(DarkroomPalette::quiet());
        QFont font = painter.font();
        font.setPixelSize(9);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(card.adjusted(2, 0, -2, -4), Qt::AlignHCenter | Qt::AlignBottom,
                         QFileInfo(urls[i].path()).suffix().toUpper());
    }
    return pixmap;
}

} // namespace

bool Handle::drag(QWidget *source, const QList<QUrl> &urls, QPoint p)
{
    if (m_didBeginDragging || urls.size() < 2) {
        return false;
    }
    m_didBeginDragging = true;
    const QList<QRect> frames = cardFrames(p, urls.size());
    QRect bounds;
    for (const QRect &frame : frames) {
        bounds = bounds.united(frame);
    }
    auto *drag = new QDrag(source);
    drag->setMimeData(mimeData(urls));
    drag->setPixmap(stackImage(urls, frames, bounds, source->devicePixelRatioF()));
    drag->setHotSpot(p - bounds.topLeft());
    // Inside the application a drop copies; other applications may also link.
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
    return true;
}

} // namespace MultiFileDrag
