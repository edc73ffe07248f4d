#pragma once

// The "File into…" field: the text typed since a letter on the board opened it (none while it
// is closed), and the categories that text names. Each edit tells whether the text changed, so
// the store signals only real changes.

#include "Models/PhotoSection.h"

#include <QList>
#include <QString>

#include <optional>

class FileIntoModel
{
public:
    const std::optional<QString> &text() const { return m_text; }

    // Opens the field when it is closed. Both return whether the text changed.
    bool setText(const QString &text);
    bool close();

    // The categories among `sections` that the text names, best first; none while closed.
    QList<PhotoSection> matches(const QList<PhotoSection> &sections) const;

    // The categories among `sections` whose names match `typed`, best first: names that start
    // with it, then names with a word that starts with it, then names that hold it anywhere;
    // each group in board order. Letter case and accents are ignored ("eté" finds "Été 2024").
    static QList<PhotoSection> matchingCategories(const QList<PhotoSection> &sections,
                                                  const QString &typed);

private:
    std::optional<QString> m_text;
};
