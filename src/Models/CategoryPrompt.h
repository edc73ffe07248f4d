#pragma once

// A request to show the category name sheet, for a new category or a rename.

#include <QString>
#include <QUuid>

struct CategoryPrompt
{
    struct Mode
    {
        enum class Kind { create, rename };
        Kind kind = Kind::create;
        QString sectionID; // the section to rename; empty when creating

        static Mode create() { return {}; }
        static Mode rename(const QString &sectionID) { return {Kind::rename, sectionID}; }

        friend bool operator==(const Mode &, const Mode &) = default;
    };

    QUuid id;
    Mode mode;
    QString title;
    QString actionTitle;
    QString initialName;

    static CategoryPrompt make(const Mode &mode, const QString &title, const QString &actionTitle,
                               const QString &initialName)
    {
        return {QUuid::createUuid(), mode, title, actionTitle, initialName};
    }

    friend bool operator==(const CategoryPrompt &, const CategoryPrompt &) = default;
};
