#pragma once

// The transient confirmation at the top centre of the window ("→ Beach", "Moved to Trash"):
// monospaced paper text on a soft ember pill. It fades in and out unless motion is reduced,
// and never takes clicks.

#include <QWidget>

class QGraphicsOpacityEffect;
class QPropertyAnimation;

class HudView : public QWidget
{
    Q_OBJECT

public:
    explicit HudView(QWidget *parent = nullptr);

    // Shows `message`, or fades out when there is none.
    void setMessage(const std::optional<QString> &message, bool animate);
    const QString &message() const { return m_message; }
    bool isShowing() const { return m_showing; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_message;
    bool m_showing = false;
    QGraphicsOpacityEffect *m_opacity = nullptr;
    QPropertyAnimation *m_fade = nullptr;
};
