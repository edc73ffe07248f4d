#pragma once

// One opened root folder: the Unsorted section first, then one section per category.

#include "PhotoSection.h"

struct PhotoCollection
{
    QUrl rootURL;
    QString displayName;
    QList<PhotoSection> sections;
    // Names of first-level folders that could not be listed (a root-only lost+found): they
    // are left out of the categories instead of failing the whole collection.
    QStringList unreadableFolders = {};

    qsizetype photoCount() const;
    qsizetype categoryCount() const;

    friend bool operator==(const PhotoCollection &, const PhotoCollection &) = default;
};
