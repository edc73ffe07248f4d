#include "LoadingView.h"

#include "BrandMark.h"
#include "DarkroomButton.h"
#include "DarkroomPalette.h"
#include "Typography.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// Three 28 × 4 bars, 6 apart: one lit in ember, the first until step() moves it on.
class LoadingBars : public QWidget
{
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {3 * 28 + 2 * 6, 4}; }
    void step()
    {
        m_lit = (m_lit + 1) % 3;
        update();
    }
    void reset()
    {
        m_lit = 0;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        for (int i = 0; i < 3; ++i) {
            painter.setBrush(i == m_lit ? DarkroomPalette::ember() : DarkroomPalette::quiet());
            painter.drawRoundedRect(QRectF(i * 34, 0, 28, 4), 2, 2);
        }
    }

private:
    int m_lit = 0;
};

} // namespace

LoadingView::LoadingView(QWidget *parent)
    : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setSpacing(18);
    column->addStretch();
    auto *mark = new BrandMark(DarkroomPalette::paper(), this);
    mark->setFixedSize(34, 34);
    column->addWidget(mark, 0, Qt::AlignHCenter);
    auto *bars = new LoadingBars(this);
    bars->setFixedSize(bars->sizeHint());
    m_bars = bars;
    column->addWidget(bars, 0, Qt::AlignHCenter);
    m_message = Typography::label({}, Typography::monospaced(13, QFont::DemiBold),
                                  DarkroomPalette::mutedPaper(), this);
    column->addWidget(m_message, 0, Qt::AlignHCenter);
    m_count = Typography::label({}, Typography::monospaced(12), DarkroomPalette::mutedPaper(),
                                this);
    m_count->hide();
    column->addWidget(m_count, 0, Qt::AlignHCenter);
    auto *another = new DarkroomButton(tr("Choose Another Folder"), false, this);
    another->setSymbol(QStringLiteral("folder"));
    connect(another, &QPushButton::clicked, this, &LoadingView::openFolder);
    column->addWidget(another, 0, Qt::AlignHCenter);
    column->addStretch();
}

void LoadingView::setMessage(const QString &message)
{
    m_message->setText(message);
}

void LoadingView::setCount(qint64 count)
{
    auto *bars = static_cast<LoadingBars *>(m_bars);
    if (count < 0) {
        m_count->hide();
        bars->reset();
        return;
    }
    const QString text = count == 1 ? tr("1 item found") : tr("%Ln items found", nullptr, int(count));
    if (text != m_count->text()) {
        m_count->setText(text);
        bars->step();
    }
    m_count->show();
}
