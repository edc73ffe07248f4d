#pragma once

// What the preview window shows, read from the board each time the selection changes.

#include <QList>
#include <QUrl>

struct PreviewItems
{
    QList<QUrl> urls;       // one, or two to four to compare, in the board's order
    qsizetype focused = 0;  // the one the board's focus is on
    QList<QUrl> ahead = {}; // where the arrows lead next: decoded in advance

    friend bool operator==(const PreviewItems &, const PreviewItems &) = default;
};
