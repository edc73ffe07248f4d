#include "FocusInfoLine.h"

#include "DarkroomPalette.h"
#include "Models/PhotoInfoText.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QLocale>
#include <QPainter>

FocusInfoLine::FocusInfoLine(CollectionStore &store, PhotoInfoCache::Reader read, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_infos(std::move(read))
{
    DarkroomPalette::fillBackground(this, DarkroomPalette::raised());
    setFont(Typography::font(11, QFont::Medium));
    setFixedHeight(22);
    m_stale.setSingleShot(true);
    m_stale.setInterval(staleAfterMs);
    connect(&m_stale, &QTimer::timeout, this, [this] {
        m_shownID.clear();
        setText({});
    });
    // A key press may change the focus, the selection and the collection at once: one refresh.
    connect(&store, &CollectionStore::focusedPhotoIDChanged, this, &FocusInfoLine::scheduleRefresh);
    connect(&store, &CollectionStore::collectionChanged, this, &FocusInfoLine::scheduleRefresh);
    connect(&m_infos, &PhotoInfoCache::ready, this, &FocusInfoLine::scheduleRefresh);
    connect(&store.similarity(), &SimilarityIndex::progressChanged, this, [this] {
        const QString note = progressNote();
        if (note != m_progress) {
            m_progress = note;
            update();
        }
    });
    refresh();
}

QSize FocusInfoLine::sizeHint() const
{
    return {0, 22};
}

void FocusInfoLine::scheduleRefresh()
{
    if (!m_refreshScheduled) {
        m_refreshScheduled = true;
        QTimer::singleShot(0, this, &FocusInfoLine::refresh);
    }
}

void FocusInfoLine::refresh()
{
    m_refreshScheduled = false;
    const std::optional<Photo> focused = m_store.focusedPhoto();
    if (!focused) {
        m_stale.stop();
        m_shownID.clear();
        setText({});
        return;
    }
    if (const std::optional<PhotoInfo> info = m_infos.cached(*focused)) {
        m_stale.stop();
        m_shownID = focused->id;
        setText(PhotoInfoText::summary(*info));
        return;
    }
    // Not read yet: the text stays a moment, so the line does not blink on every key.
    m_infos.request(*focused);
    if (!m_stale.isActive()) {
        m_stale.start();
    }
}

void FocusInfoLine::setText(const QString &text)
{
    if (text != m_text) {
        m_text = text;
        setToolTip(text);
        update();
    }
}

QString FocusInfoLine::progressNote() const
{
    const SimilarityIndex &index = m_store.similarity();
    if (index.isComplete() || index.totalCount() == 0) {
        return {};
    }
    return tr("Finding similar shots: %1 of %2")
        .arg(QLocale().toString(index.doneCount()), QLocale().toString(index.totalCount()));
}

void FocusInfoLine::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(DarkroomPalette::quiet());
    QRect area = rect().adjusted(24, 0, -24, -2);
    if (!m_progress.isEmpty()) {
        // On the right, clear of the photo's own line, which gives way to it.
        const int width = fontMetrics().horizontalAdvance(m_progress);
        painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, m_progress);
        area.setRight(area.right() - width - 24);
    }
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(m_text, Qt::ElideRight, area.width()));
}
