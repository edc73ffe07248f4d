#include "BrowseListModel.h"

#include "DarkroomPalette.h"
#include "Models/NaturalOrder.h"
#include "Typography.h"

#include <QLocale>

#include <limits>

namespace {

// QSortFilterProxyModel cannot order a FileTime inside a QVariant, so dates sort as
// nanoseconds since 1970. That is exact from 1677 to 2262 and saturates outside, so the
// distant past of a file without a time still sorts first.
qint64 dateSortKey(const FileTime &time)
{
    constexpr qint64 limit = std::numeric_limits<qint64>::max() / 1'000'000'000 - 1;
    if (time.seconds > limit || time.seconds < -limit) {
        return time.seconds > 0 ? std::numeric_limits<qint64>::max()
                                : std::numeric_limits<qint64>::min();
    }
    return time.seconds * 1'000'000'000 + time.nanoseconds;
}

} // namespace

BrowseListModel::BrowseListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void BrowseListModel::setItems(const QList<BrowsePhotoItem> &items)
{
    if (updateInPlace(items)) {
        return;
    }
    beginResetModel();
    m_items = items;
    m_rows.clear();
    m_rows.reserve(m_items.size());
    if (m_foldedKeys.size() > 2 * m_items.size() + 64) {
        m_foldedKeys.clear(); // names long gone
    }
    m_nameKeys.clear();
    m_categoryKeys.clear();
    m_takenKeys.clear();
    m_nameKeys.reserve(m_items.size());
    m_categoryKeys.reserve(m_items.size());
    m_takenKeys.reserve(m_items.size());
    for (int row = 0; row < m_items.size(); ++row) {
        const BrowsePhotoItem &item = m_items[row];
        m_rows.insert(item.id(), row);
        m_nameKeys.append(foldedKey(item.filename()));
        m_categoryKeys.append(foldedKey(item.categoryName));
        m_takenKeys.append(dateSortKey(takenOrderTime(item.photo)));
    }
    endResetModel();
}

bool BrowseListModel::updateInPlace(const QList<BrowsePhotoItem> &items)
{
    // Filing a photo changes one row of 10,000; a reset would re-sort them all. When the same
    // photos are shown, the changed rows are replaced where they are and the sorting proxy
    // moves just those. Many changed rows (dimensions read in the background) are replaced
    // in one go: one re-sort, and the view keeps its selection and scroll position.
    constexpr qsizetype maximumChanges = 256;
    if (items.size() != m_items.size() || m_items.isEmpty()) {
        return false;
    }
    QList<int> changed;
    for (const BrowsePhotoItem &item : items) {
        const int row = m_rows.value(item.id(), -1);
        if (row < 0) {
            return false; // other photos: start again
        }
        if (!(m_items[row] == item)) {
            changed.append(row);
        }
    }
    const auto replace = [this](int row, const BrowsePhotoItem &item) {
        m_items[row] = item;
        m_nameKeys[row] = foldedKey(item.filename());
        m_categoryKeys[row] = foldedKey(item.categoryName);
        m_takenKeys[row] = dateSortKey(takenOrderTime(item.photo));
    };
    if (changed.size() > maximumChanges) {
        for (const BrowsePhotoItem &item : items) {
            replace(m_rows.value(item.id()), item);
        }
        Q_EMIT dataChanged(index(0, 0), index(int(m_items.size()) - 1, ColumnCount - 1));
        return true;
    }
    for (const BrowsePhotoItem &item : items) {
        const int row = m_rows.value(item.id());
        if (changed.contains(row)) {
            replace(row, item);
            Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
        }
    }
    return true;
}

const QString &BrowseListModel::foldedKey(const QString &text)
{
    auto it = m_foldedKeys.find(text);
    if (it == m_foldedKeys.end()) {
        it = m_foldedKeys.insert(text, foldedForSorting(text));
    }
    return *it;
}

bool BrowseListModel::lessThan(int left, int right, int column) const
{
    const BrowsePhotoItem &a = m_items[left];
    const BrowsePhotoItem &b = m_items[right];
    switch (column) {
    case PhotoColumn:
    case NameColumn:
        return m_nameKeys[left] < m_nameKeys[right];
    case CategoryColumn:
        return m_categoryKeys[left] < m_categoryKeys[right];
    case DateTakenColumn:
        return m_takenKeys[left] < m_takenKeys[right];
    case DateModifiedColumn:
        return dateSortKey(a.modificationDate()) < dateSortKey(b.modificationDate());
    case SizeColumn:
        return a.byteCount() < b.byteCount();
    case DimensionsColumn:
        return a.pixelCount() < b.pixelCount();
    case DurationColumn:
        return a.photo.durationMs < b.photo.durationMs;
    }
    return false;
}

QString BrowseListModel::dateText(const FileTime &time)
{
    // A file without a time would otherwise read as a real date in year 1 (or 2001 with a
    // two-digit year); show it as unknown, like unread dimensions.
    if (time.isDistantPast()) {
        return QStringLiteral("\u2014");
    }
    return QLocale().toString(time.toDateTime().toLocalTime(), QLocale::ShortFormat);
}

QString BrowseListModel::dateText(const CaptureTime &time)
{
    // The clock's own reading, never turned into this machine's time zone: 14:22 in Tokyo
    // stays 14:22, as the photographer saw it.
    // Spelled as UTC, which has no gaps or repeated hours: a reading of 02:30 on the night
    // this machine's clocks go forward still shows as 02:30.
    return QLocale().toString(QDateTime(time.date(), time.time(), Qt::UTC), QLocale::ShortFormat);
}

QString BrowseListModel::sizeText(qint64 byteCount)
{
    // Decimal units with one decimal, as Linux file managers show sizes ("12.3 kB").
    return QLocale().formattedDataSize(byteCount, 1, QLocale::DataSizeSIFormat);
}

int BrowseListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

int BrowseListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BrowseListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const BrowsePhotoItem &item = m_items[index.row()];
    switch (role) {
    case IdRole:
        return item.id();
    case ItemRole:
        return QVariant::fromValue(item);
    case SortRole:
        switch (index.column()) {
        case PhotoColumn:
        case NameColumn:
            return m_nameKeys[index.row()];
        case CategoryColumn:
            return m_categoryKeys[index.row()];
        case DateTakenColumn:
            return m_takenKeys[index.row()];
        case DateModifiedColumn:
            return dateSortKey(item.modificationDate());
        case SizeColumn:
            return item.byteCount();
        case DimensionsColumn:
            return item.pixelCount();
        case DurationColumn:
            return item.photo.durationMs;
        }
        return {};
    case Qt::ForegroundRole:
        if (index.column() == DateTakenColumn && !item.photo.captureTime) {
            return DarkroomPalette::quiet(); // the file's time stands in
        }
        return {};
    case Qt::ToolTipRole:
        if (index.column() == NameColumn && !item.photo.companions.isEmpty()) {
            return item.photo.memberNames().join(QLatin1Char('\n'));
        }
        return {};
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn:
            return nameText(item.photo);
        case CategoryColumn:
            return Typography::displayName(item.categoryName);
        case DateTakenColumn:
            return item.photo.captureTime ? dateText(*item.photo.captureTime)
                                          : dateText(item.modificationDate());
        case DateModifiedColumn:
            return dateText(item.modificationDate());
        case SizeColumn:
            return sizeText(item.byteCount());
        case DimensionsColumn:
            return item.photo.dimensionsLabel();
        case DurationColumn:
            return item.photo.durationLabel();
        }
        return {};
    }
    return {};
}

QString BrowseListModel::nameText(const Photo &photo)
{
    const QString name = Typography::displayName(photo.filename);
    const QString companions = photo.companionBadge();
    // The row stands for the whole shot, so it names what travels with the shown file.
    return companions.isEmpty() ? name : name + QStringLiteral("  \u00B7  ") + companions;
}

QVariant BrowseListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case PhotoColumn:
        return tr("Photo");
    case NameColumn:
        return tr("Name");
    case CategoryColumn:
        return tr("Category");
    case DateTakenColumn:
        return tr("Date Taken");
    case DateModifiedColumn:
        return tr("Date Modified");
    case SizeColumn:
        return tr("Size");
    case DimensionsColumn:
        return tr("Dimensions");
    case DurationColumn:
        return tr("Duration");
    }
    return {};
}
