#pragma once

// Membership tests for photo ids that stay cheap for the usual selection of one or a few
// photos: comparing a handful of strings beats hashing every id of a 10,000-photo walk.

#include <QList>
#include <QSet>
#include <QString>

class IdSet
{
public:
    explicit IdSet(const QSet<QString> &ids)
        : m_ids(ids)
        , m_small(ids.size() <= smallSize)
    {
        if (m_small) {
            m_few = QList<QString>(ids.cbegin(), ids.cend());
        }
    }

    bool contains(const QString &id) const
    {
        if (!m_small) {
            return m_ids.contains(id);
        }
        for (const QString &candidate : m_few) {
            if (candidate == id) {
                return true;
            }
        }
        return false;
    }
    bool isEmpty() const { return m_ids.isEmpty(); }

private:
    static constexpr qsizetype smallSize = 8;
    const QSet<QString> &m_ids;
    bool m_small;
    QList<QString> m_few;
};
