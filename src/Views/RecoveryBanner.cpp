#include "RecoveryBanner.h"

#include "DarkroomButton.h"
#include "DarkroomPalette.h"
#include "RootView.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int margin = 14;
// Beyond this the list of items left as found scrolls instead of pushing the photos away.
constexpr int longestListHeight = 132;

} // namespace

RecoveryBanner::RecoveryBanner(CollectionStore &store, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
{
    using namespace DarkroomPalette;
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(margin, margin - 4, margin, margin - 2);
    row->setSpacing(margin);
    auto *column = new QVBoxLayout;
    column->setSpacing(4);
    row->addLayout(column, 1);

    m_summary = Typography::label({}, Typography::font(13, QFont::DemiBold), paper(), this);
    m_summary->setWordWrap(true);
    column->addWidget(m_summary);
    m_leftHeading = Typography::label(
        tr("These were left as found: another file holds their place, or they are not the "
           "files that were moved."),
        Typography::font(12), mutedPaper(), this);
    m_leftHeading->setWordWrap(true);
    column->addWidget(m_leftHeading);
    m_left = Typography::label({}, Typography::monospaced(12), paper(), this);
    m_left->setWordWrap(true);
    m_left->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(m_left);
    scroll->viewport()->setAutoFillBackground(false);
    m_left->setAutoFillBackground(false);
    m_leftArea = scroll;
    column->addWidget(scroll);

    m_dismiss = new DarkroomButton(tr("Dismiss"), false, this);
    row->addWidget(m_dismiss, 0, Qt::AlignTop);
    connect(m_dismiss, &QAbstractButton::clicked, &m_store, &CollectionStore::dismissRecoveryReport);
    connect(&m_store, &CollectionStore::recoveryReportChanged, this, &RecoveryBanner::refresh);
    refresh();
}

QString RecoveryBanner::summary(const JournalRecovery::Report &report)
{
    QString text = tr("The last session ended in the middle of a change.");
    const int restored = report.putBack + report.copiesRemoved;
    if (restored == 1) {
        text += QLatin1Char(' ') + tr("1 photo file was put back where it was.");
    } else if (restored > 1) {
        text += QLatin1Char(' ')
                + tr("%Ln photo files were put back where they were.", nullptr, restored);
    } else if (report.leftAlone.isEmpty()) {
        text += QLatin1Char(' ') + tr("No photo had moved; what it left unfinished was cleared away.");
    }
    return text;
}

QString RecoveryBanner::summaryText() const
{
    return m_summary->text();
}

QString RecoveryBanner::leftAsFoundText() const
{
    // Without the zero-width spaces that let a long path wrap.
    return m_leftArea->isVisibleTo(this) ? m_left->text().remove(QChar(0x200B)) : QString();
}

void RecoveryBanner::refresh()
{
    const std::optional<JournalRecovery::Report> &report = m_store.recoveryReport();
    setVisible(report.has_value());
    if (!report) {
        return;
    }
    m_summary->setText(summary(*report));
    // Where each item is, from the folder shown when it lies inside it.
    const QString root = m_store.collection() ? standardizedPath(m_store.collection()->rootURL)
                                              : QString();
    QStringList names;
    for (const QString &path : report->leftAlone) {
        const QString shown = !root.isEmpty() && path.startsWith(root + QLatin1Char('/'))
                                  ? path.mid(root.size() + 1)
                                  : path;
        names.append(RootView::breakable(Typography::displayName(shown)));
    }
    m_left->setText(names.join(QLatin1Char('\n')));
    m_leftHeading->setVisible(!names.isEmpty());
    m_leftArea->setVisible(!names.isEmpty());
    const int lines = int(names.size());
    m_leftArea->setFixedHeight(
        qMin(longestListHeight, lines * m_left->fontMetrics().lineSpacing() + 4));
}

void RecoveryBanner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), DarkroomPalette::raised());
    painter.fillRect(QRect(0, 0, 3, height()), DarkroomPalette::ember());
    painter.fillRect(QRect(0, height() - 1, width(), 1), DarkroomPalette::separator());
}
