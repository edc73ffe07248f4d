#pragma once

// Who holds a background pass back: views still waiting for their first screen of thumbnails.
// While any holder holds it the pass is told it is held; when the last one lets go, or the
// limit has passed since the first took hold (a view whose thumbnails never come, a stalled
// mount, must not keep it back for good), it is told it is free. Holding again while held does
// not extend the limit. Lives on its owner's thread.

#include <QSet>
#include <QTimer>

#include <functional>

class BackgroundHold
{
public:
    BackgroundHold(int limitMs, std::function<void(bool held)> changed)
        : m_changed(std::move(changed))
    {
        m_limit.setSingleShot(true);
        m_limit.setInterval(limitMs);
        QObject::connect(&m_limit, &QTimer::timeout, [this] {
            m_holders.clear();
            m_changed(false);
        });
    }

    void hold(const void *holder)
    {
        if (m_holders.isEmpty()) {
            m_limit.start();
        }
        m_holders.insert(holder);
        m_changed(true);
    }
    void release(const void *holder)
    {
        if (m_holders.remove(holder) && m_holders.isEmpty()) {
            m_limit.stop();
            m_changed(false);
        }
    }
    void setLimit(int ms) { m_limit.setInterval(ms); }

private:
    std::function<void(bool held)> m_changed;
    QTimer m_limit;
    QSet<const void *> m_holders;
};
