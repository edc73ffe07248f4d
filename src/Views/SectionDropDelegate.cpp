#include "SectionDropDelegate.h"

#include "Models/PhotoDragPayload.h"
#include "ViewModels/CollectionStore.h"

#include <QMimeData>

namespace {

QString payloadType()
{
    return QString::fromLatin1(PhotoDragPayload::mimeType);
}

} // namespace

SectionDropDelegate::SectionDropDelegate(CollectionStore &store, QString sectionID)
    : m_store(store)
    , m_sectionID(std::move(sectionID))
{
}

bool SectionDropDelegate::accepts(const QMimeData *data)
{
    return data && (data->hasFormat(payloadType()) || data->hasUrls());
}

Qt::DropAction SectionDropDelegate::proposedAction(const QMimeData *data)
{
    return data && data->hasFormat(payloadType()) ? Qt::MoveAction : Qt::CopyAction;
}

void SectionDropDelegate::dropEntered()
{
    m_store.setDropTargetSectionID(m_sectionID);
}

void SectionDropDelegate::dropExited()
{
    if (m_store.dropTargetSectionID() == m_sectionID) {
        m_store.setDropTargetSectionID(std::nullopt);
    }
}

bool SectionDropDelegate::performDrop(const QMimeData *data)
{
    m_store.setDropTargetSectionID(std::nullopt);
    if (!data) {
        return false;
    }
    if (data->hasFormat(payloadType())) {
        const QByteArray payload = data->data(payloadType());
        if (!payload.isEmpty()) {
            m_store.acceptInternalDrop(payload, m_sectionID);
        }
        return true;
    }
    QList<QUrl> urls;
    for (const QUrl &url : data->urls()) {
        if (url.isValid()) {
            urls.append(url);
        }
    }
    if (urls.isEmpty()) {
        return false;
    }
    m_store.copyExternalFiles(urls, m_sectionID);
    return true;
}
