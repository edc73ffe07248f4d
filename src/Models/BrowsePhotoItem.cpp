#include "BrowsePhotoItem.h"

#include "NaturalOrder.h"

QString BrowsePhotoItem::filenameSortKey() const
{
    return foldedForSorting(photo.filename);
}

QString BrowsePhotoItem::categorySortKey() const
{
    return foldedForSorting(categoryName);
}

size_t qHash(const BrowsePhotoItem &item, size_t seed)
{
    return qHashMulti(seed, item.photo, item.sectionID, item.categoryName);
}
