#include "RescanSchedule.h"

#include <QFileInfo>

void RescanSchedule::clear()
{
    m_dirty.clear();
    m_changed.clear();
    m_everything = false;
}

void RescanSchedule::mark(const QSet<QString> &folders, const PhotoCollection &collection)
{
    for (const PhotoSection &section : collection.sections) {
        const QString path = standardizedPath(section.url);
        if (folders.contains(path)) {
            m_dirty.insert(path);
        }
    }
}

void RescanSchedule::markMoves(const QList<FileMove> &moves, const PhotoCollection &collection)
{
    QSet<QString> touched;
    for (const FileMove &move : moves) {
        touched.insert(QFileInfo(standardizedPath(move.source)).path());
        touched.insert(QFileInfo(standardizedPath(move.destination)).path());
    }
    mark(touched, collection);
}

void RescanSchedule::noteChanged(const QSet<QString> &folders)
{
    m_changed.unite(folders);
}

std::optional<RescanSchedule::Batch> RescanSchedule::take()
{
    if (isEmpty()) {
        return std::nullopt;
    }
    const RescanScope scope = m_everything           ? RescanScope::everything
                              : !m_changed.isEmpty() ? RescanScope::scan
                                                     : RescanScope::check;
    Batch batch{scope, std::exchange(scope == RescanScope::scan ? m_changed : m_dirty, {})};
    if (scope == RescanScope::everything) {
        clear();
    }
    return batch;
}

void RescanSchedule::putBack(const Batch &batch)
{
    (batch.scope == RescanScope::scan ? m_changed : m_dirty).unite(batch.folders);
    m_everything = m_everything || batch.scope == RescanScope::everything;
}
