#pragma once

// What a drag over one section block does: it highlights the block, proposes a move for our own
// photos and a copy for files from elsewhere, and on drop files or copies them into the section.

#include <QString>
#include <Qt>

class CollectionStore;
class QMimeData;

class SectionDropDelegate
{
public:
    SectionDropDelegate(CollectionStore &store, QString sectionID);

    // Only our own selection payload and file URLs are accepted.
    static bool accepts(const QMimeData *data);
    static Qt::DropAction proposedAction(const QMimeData *data);

    const QString &sectionID() const { return m_sectionID; }
    void dropEntered();
    // Clears the highlight unless another section already took it over.
    void dropExited();
    // Files the dragged photos or copies the dropped files; false when the drop is refused.
    bool performDrop(const QMimeData *data);

private:
    CollectionStore &m_store;
    QString m_sectionID;
};
