#pragma once

// A request to confirm deleting a category; identified by its section.

#include <QString>

struct DeleteCategoryPrompt
{
    QString sectionID;
    QString categoryName;
    qsizetype photoCount = 0;
    // Files the folder holds under names that are not valid UTF-8; they block the deletion.
    qsizetype unreadableNameCount = 0;

    const QString &id() const { return sectionID; }

    friend bool operator==(const DeleteCategoryPrompt &, const DeleteCategoryPrompt &) = default;
};
