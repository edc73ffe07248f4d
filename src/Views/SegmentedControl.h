#pragma once

// A row of mutually exclusive segments in one rounded track, each showing a text or a symbol
// with an optional tooltip; the chosen one is lifted. Clicks emit `activated`; setting the
// current index from outside does not.

#include <QWidget>

class SegmentedControl : public QWidget
{
    Q_OBJECT

public:
    struct Segment
    {
        QString text;
        QString symbol; // a Symbols name, drawn instead of the text when set
        QString toolTip;
    };

    explicit SegmentedControl(QList<Segment> segments, int width, QWidget *parent = nullptr);

    int currentIndex() const { return m_current; }
    void setCurrentIndex(int index);
    qsizetype count() const { return m_segments.size(); }
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void activated(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    int segmentAt(QPoint point) const;

    QList<Segment> m_segments;
    int m_width;
    int m_current = 0;
};
