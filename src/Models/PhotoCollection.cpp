#include "PhotoCollection.h"

#include <algorithm>

qsizetype PhotoCollection::photoCount() const
{
    qsizetype total = 0;
    for (const PhotoSection &section : sections) {
        total += section.count();
    }
    return total;
}

qsizetype PhotoCollection::categoryCount() const
{
    return std::count_if(sections.cbegin(), sections.cend(), [](const PhotoSection &section) {
        return section.kind == PhotoSectionKind::category;
    });
}
