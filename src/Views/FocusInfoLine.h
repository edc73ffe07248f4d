#pragma once

// One quiet line under the status strip: what the focused photo's camera recorded ("1/250 s ·
// f/2.8 · ISO 400 · 50 mm · Canon EOS R5"), read off the window's thread through a small
// cache. While the focus moves the line keeps the last photo's text until the new one is read
// (a millisecond or two from a local disk), so walking the board with the arrow keys never
// blanks it; a read that takes longer (a slow share) clears it rather than show another
// photo's settings for long.

#include "Services/PhotoInfoCache.h"

#include <QTimer>
#include <QWidget>

class CollectionStore;

class FocusInfoLine : public QWidget
{
    Q_OBJECT

public:
    static constexpr int staleAfterMs = 300;

    // `read` is the per-file read; tests hold it back or count it.
    explicit FocusInfoLine(CollectionStore &store,
                           PhotoInfoCache::Reader read = {},
                           QWidget *parent = nullptr);

    const QString &text() const { return m_text; }
    // "Finding similar shots: 1,204 of 10,000" while the similarity pass runs; empty after.
    QString progressNote() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void scheduleRefresh();
    void refresh();
    void setText(const QString &text);

    CollectionStore &m_store;
    PhotoInfoCache m_infos;
    QString m_text;
    QString m_progress;
    QString m_shownID; // whose text is shown; empty for none
    QTimer m_stale;
    bool m_refreshScheduled = false;
};
