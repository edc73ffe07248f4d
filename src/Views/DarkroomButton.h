#pragma once

// The one button look of the interface: a rounded, outlined capsule 34 high with a 13 px
// semibold label and an optional leading symbol. Prominent buttons are filled with the ember
// accent; the whole button fades while pressed and is dimmed while disabled.

#include <QPushButton>

class DarkroomButton : public QPushButton
{
    Q_OBJECT

public:
    explicit DarkroomButton(const QString &text, bool prominent = false, QWidget *parent = nullptr);

    bool isProminent() const { return m_prominent; }

    // A name from Symbols drawn before the label; empty for none.
    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &name);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintContent(QPainter &painter) const;

    bool m_prominent = false;
    QString m_symbol;
};
