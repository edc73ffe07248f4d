#pragma once

// The rows of the Browse list as a table model: one row per BrowsePhotoItem, in the order given,
// and the seven columns of the list. Date Taken shows when a photo was taken, or, in the quiet
// colour (ForegroundRole), when its file was changed, for a file that does not say; it sorts
// as the date-taken order does. Sorting is a QSortFilterProxyModel's job with SortRole; its
// sort is stable, so rows with equal keys keep the store's order. Texts follow the default
// QLocale and the local time zone. Rows are replaced wholesale; the model never edits them.

#include "Models/BrowsePhotoItem.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

#include <array>

class BrowseListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        PhotoColumn,
        NameColumn,
        CategoryColumn,
        DateTakenColumn,
        DateModifiedColumn,
        SizeColumn,
        DimensionsColumn,
        DurationColumn,
        ColumnCount
    };

    enum Role {
        SortRole = Qt::UserRole + 1, // the column's sort key: QString or qint64
        IdRole,                      // the photo id (QString), in every column
        ItemRole,                    // the whole BrowsePhotoItem, for the thumbnail delegate
    };

    struct ColumnWidth
    {
        int minimum;
        int ideal;
        int maximum; // 0: no maximum
    };
    static constexpr std::array<ColumnWidth, ColumnCount> columnWidths = {{
        {52, 52, 52},  // Photo
        {180, 320, 0}, // Name
        {110, 160, 0}, // Category
        {150, 180, 0}, // Date Taken
        {150, 180, 0}, // Date Modified
        {82, 100, 0},  // Size
        {110, 130, 0}, // Dimensions
        {72, 90, 0},   // Duration
    }};
    // Columns whose text should be drawn with monospaced digits.
    static constexpr bool hasMonospacedDigits(int column)
    {
        return column == SizeColumn || column == DimensionsColumn || column == DurationColumn;
    }

    explicit BrowseListModel(QObject *parent = nullptr);

    // Replaces every row: in place when the same photos come back with a few of them changed
    // (the rows keep their places, so only a sorting proxy's order shows the list order),
    // otherwise by a model reset.
    void setItems(const QList<BrowsePhotoItem> &items);
    const QList<BrowsePhotoItem> &items() const { return m_items; }
    const BrowsePhotoItem &item(int row) const { return m_items.at(row); }
    // Whether row `left` sorts before row `right` by `column`'s key; what SortRole gives,
    // without building a QVariant per comparison.
    bool lessThan(int left, int right, int column) const;
    // The row of a photo id, -1 when absent.
    int rowOf(const QString &id) const { return m_rows.value(id, -1); }

    // The list's texts, public for the delegates that paint them.
    static QString dateText(const FileTime &time);
    // The camera clock's date and time as it recorded them, in the same style.
    static QString dateText(const CaptureTime &time);
    // The Name column: the shown file's name, then what travels with it.
    static QString nameText(const Photo &photo);
    static QString sizeText(qint64 byteCount);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant
    headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    bool updateInPlace(const QList<BrowsePhotoItem> &items);
    const QString &foldedKey(const QString &text);

    QList<BrowsePhotoItem> m_items;
    QHash<QString, int> m_rows;
    // Folded names, computed once per name: folding is costly, and a sort asks for keys
    // n log n times while every collection change resets the rows.
    QList<QString> m_nameKeys;
    QList<QString> m_categoryKeys;
    QList<qint64> m_takenKeys;
    QHash<QString, QString> m_foldedKeys;
};
