#include "NaturalOrder.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <numeric>
#include <thread>
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
// Making a key is most of the cost: a large list is keyed and sorted in two halves on two
// threads, then merged (a stable merge: ties keep the first half first, as one sort would).
template<typename T, typename NameOf, typename TieLess>
void stableSortByName(QList<T> &items, NameOf nameOf, TieLess tieLess)
{
    constexpr qsizetype halvedFrom = 8192;
    const qsizetype count = items.size();
    if (count < 2) {
        return;
    }
    const qsizetype middle = count >= halvedFrom ? count / 2 : count;
    std::vector<QCollatorSortKey> firstKeys;
    std::vector<QCollatorSortKey> secondKeys;
    const auto keyOf = [&](qsizetype i) -> const QCollatorSortKey & {
        return i < middle ? firstKeys[size_t(i)] : secondKeys[size_t(i - middle)];
    };
    const auto less = [&](qsizetype a, qsizetype b) {
        const int byName = keyOf(a).compare(keyOf(b));
        if (byName != 0) {
            return byName < 0;
        }
        return tieLess(items[a], items[b]);
    };
    std::vector<qsizetype> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    const auto sortPart = [&](std::vector<QCollatorSortKey> &keys, qsizetype from, qsizetype to) {
        const QCollator &collator = threadCollator();
        keys.reserve(size_t(to - from));
        for (qsizetype i = from; i < to; ++i) {
            keys.push_back(collator.sortKey(nameOf(std::as_const(items)[i])));
        }
        std::stable_sort(order.begin() + from, order.begin() + to, less);
    };
    if (middle < count) {
        std::thread second([&] { sortPart(secondKeys, middle, count); });
        sortPart(firstKeys, 0, middle);
        second.join();
        std::vector<qsizetype> merged(static_cast<size_t>(count));
        std::merge(order.begin(), order.begin() + middle, order.begin() + middle, order.end(),
                   merged.begin(), less);
        order = std::move(merged);
    } else {
        sortPart(firstKeys, 0, count);
    }
    QList<T> sorted;
    sorted.reserve(count);
    for (qsizetype index : order) {
        sorted.append(std::move(items[index]));
    }
    items = std::move(sorted);
}

// Earlier first, no time at all last.
bool takenBefore(const FileTime &a, const FileTime &b)
{
    if (a.isDistantPast() != b.isDistantPast()) {
        return b.isDistantPast();
    }
    return a < b;
}

} // namespace

FileTime takenOrderTime(const Photo &photo)
{
    return photo.captureTime ? photo.captureTime->moment() : photo.modificationDate;
}

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
    case PhotoSortOrder::dateTaken: {
        const FileTime aTime = takenOrderTime(a);
        const FileTime bTime = takenOrderTime(b);
        if (aTime != bTime) {
            return takenBefore(aTime, bTime);
        }
        const int byName = localizedStandardCompare(a.filename, b.filename);
        return byName != 0 ? byName < 0 : a.id < b.id;
    }
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
    case PhotoSortOrder::dateTaken: {
        // By name (ties by id), then stably by time. A capture time's moment is worked out once
        // per photo, not once per comparison.
        stableSortByName(
            photos, [](const Photo &photo) { return photo.filename; },
            [](const Photo &a, const Photo &b) { return a.id < b.id; });
        std::vector<std::pair<FileTime, qsizetype>> keyed;
        keyed.reserve(size_t(photos.size()));
        for (qsizetype i = 0; i < photos.size(); ++i) {
            keyed.emplace_back(takenOrderTime(photos[i]), i);
        }
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
            return takenBefore(a.first, b.first);
        });
        QList<Photo> sorted;
        sorted.reserve(photos.size());
        for (const auto &[time, index] : keyed) {
            sorted.append(std::move(photos[index]));
        }
        photos = std::move(sorted);
        break;
    }
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
