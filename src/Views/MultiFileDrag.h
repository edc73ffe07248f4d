#pragma once

// The drag handle over the selection badge: one drag carrying every selected file as a plain
// file URL (never the internal selection payload, so a drop anywhere is a copy of files), shown
// as a fanned stack of 76 × 56 cards.

#include <QList>
#include <QPoint>
#include <QRect>
#include <QUrl>

class QMimeData;
class QPixmap;
class QWidget;

namespace MultiFileDrag {

constexpr int cardWidth = 76;
constexpr int cardHeight = 56;
constexpr int fanStep = 3;
constexpr int fanSteps = 5; // later cards lie on the sixth

// Where the card of each of `count` files goes around the pointer `p`: centred on it for the
// first, then 3 points right and up per step for at most five steps.
QList<QRect> cardFrames(QPoint p, qsizetype count);
// The drag's data: the files' URLs and nothing else.
QMimeData *mimeData(const QList<QUrl> &urls);

// Remembers whether the current press already started its drag: one drag per press.
class Handle
{
public:
    void press() { m_didBeginDragging = false; }
    // Starts the drag of `urls` from `source` with the pointer at `p` (in `source`'s
    // coordinates); false when nothing started (fewer than two files, or already dragging).
    bool drag(QWidget *source, const QList<QUrl> &urls, QPoint p);
    bool didBeginDragging() const { return m_didBeginDragging; }

private:
    bool m_didBeginDragging = false;
};

} // namespace MultiFileDrag
