#pragma once

// One opened root folder: the Unsorted section first, then one section per category.

#include "PhotoSection.h"

struct PhotoCollection
{
    QUrl rootURL;
    QString displayName;
    QList<PhotoSection> sections;

    qsizetype photoCount() const;
    qsizetype categoryCount() const;

    friend bool operator==(const PhotoCollection &, const PhotoCollection &) = default;
};
