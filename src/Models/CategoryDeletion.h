#pragma once

// Enough to restore a deleted category: its folder, its name and every item that was moved
// out of it into the root, in the order performed.

#include "FileMove.h"

#include <QList>
#include <QString>

struct CategoryDeletion
{
    QUrl categoryURL;
    QString categoryName;
    QList<FileMove> movedItems;

    friend bool operator==(const CategoryDeletion &, const CategoryDeletion &) = default;
};
