#include "NaturalOrder.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

QCollator makeCollator()
{
    QLocale locale;
    if (locale.language() == QLocale::C) {
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    QCollator collator(locale);
    collator.setNumericMode(true);
    // Full (tertiary) strength: base letters and digits decide first over the whole name,
    // letter case only when everything else is equal.
    collator.setCaseSensitivity(Qt::CaseSensitive);
    collator.setIgnorePunctuation(false);
    return collator;
}

const QCollator &threadCollator()
{
    thread_local const QCollator collator = makeCollator();
    return collator;
}

// Sorts `items` stably by collation key of `nameOf(item)`, breaking equal keys with `tieLess`.
template<typename T, typename NameOf, typename TieLess>
void stableSortByName(QList<T> &items, NameOf nameOf, TieLess tieLess)
{
    if (items.size() < 2) {
        return;
    }
    const QCollator &collator = threadCollator();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(items.size());
    for (const T &item : std::as_const(items)) {
        keys.push_back(collator.sortKey(nameOf(item)));
    }
    std::vector<qsizetype> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int byName = keys[a].compare(keys[b]);
        if (byName != 0) {
            return byName < 0;
        }
        return tieLess(items[a], items[b]);
    });
    QList<T> sorted;
    sorted.reserve(items.size());
    for (qsizetype index : order) {
        sorted.append(std::move(items[index]));
    }
    items = std::move(sorted);
}

} // namespace

int localizedStandardCompare(QStringView a, QStringView b)
{
    return threadCollator().compare(a, b);
}

bool photoPrecedes(const Photo &a, const Photo &b, PhotoSortOrder order)
{
    switch (order) {
    case PhotoSortOrder::filename: {
        const int byName = localizedStandardCompare(a.filename, b.filename);
        return byName != 0 ? byName < 0 : a.id < b.id;
    }
    case PhotoSortOrder::modificationDate:
        if (a.modificationDate != b.modificationDate) {
            return a.modificationDate > b.modificationDate;
        }
        return localizedStandardCompare(a.filename, b.filename) < 0;
    }
    return false;
}

void sortPhotos(QList<Photo> &photos, PhotoSortOrder order)
{
    switch (order) {
    case PhotoSortOrder::filename:
        stableSortByName(
            photos, [](const Photo &photo) { return photo.filename; },
            [](const Photo &a, const Photo &b) { return a.id < b.id; });
        break;
    case PhotoSortOrder::modificationDate:
        // Newest first; equal times by name. Sorting by name first and then stably by time
        // gives exactly that.
        stableSortByName(
            photos, [](const Photo &photo) { return photo.filename; },
            [](const Photo &, const Photo &) { return false; });
        std::stable_sort(photos.begin(), photos.end(), [](const Photo &a, const Photo &b) {
            return a.modificationDate > b.modificationDate;
        });
        break;
    }
}

void sortNames(QStringList &names)
{
    stableSortByName(
        names, [](const QString &name) { return name; },
        [](const QString &, const QString &) { return false; });
}

QString foldedForSorting(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString stripped;
    stripped.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const auto category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining
            && category != QChar::Mark_Enclosing) {
            stripped.append(c);
        }
    }
    return stripped.toCaseFolded();
}
