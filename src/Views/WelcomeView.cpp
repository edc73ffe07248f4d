#include "WelcomeView.h"

#include "BrandMark.h"
#include "DarkroomButton.h"
#include "DarkroomPalette.h"
#include "Typography.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel *label(const QString &text, int pixelSize, QFont::Weight weight, const QColor &color,
              bool monospaced = false, double tracking = 0)
{
    QFont font = monospaced ? Typography::monospaced(pixelSize, weight)
                            : Typography::font(pixelSize, weight);
    if (tracking != 0) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    }
    return Typography::label(text, font, color);
}

QWidget *keyHint(const QString &number, const QString &text)
{
    auto *hint = new QWidget;
    auto *column = new QVBoxLayout(hint);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);
    column->addWidget(label(number, 18, QFont::Bold, DarkroomPalette::paper(), true));
    column->addWidget(label(text, 12, QFont::Medium, DarkroomPalette::mutedPaper()));
    return hint;
}

} // namespace

WelcomeView::WelcomeView(QWidget *parent)
    : QWidget(parent)
{
    auto *columns = new QHBoxLayout(this);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);

    auto *left = new QWidget(this);
    left->setMaximumWidth(690);
    auto *story = new QVBoxLayout(left);
    story->setContentsMargins(72, 0, 48, 0);
    story->setSpacing(0);
    story->addStretch();
    auto *brandRow = new QHBoxLayout;
    brandRow->setSpacing(10);
    auto *mark = new BrandMark(DarkroomPalette::paper(), left);
    mark->setFixedSize(32, 32);
    brandRow->addWidget(mark);
    brandRow->addWidget(label(QStringLiteral("CALVENOR"), 12, QFont::Bold, DarkroomPalette::ember(),
                              true, 2.8));
    brandRow->addStretch();
    story->addLayout(brandRow);
    story->addSpacing(22);
    story->addWidget(label(QCoreApplication::translate("WelcomeView", "Every frame,\nin its place."), 50, QFont::Bold,
                           DarkroomPalette::paper(), false, -1.8));
    story->addSpacing(24);
    QLabel *pitch = label(QCoreApplication::translate("WelcomeView", "Choose a folder to turn its first-level subfolders into a "
                                         "fast, keyboard-driven sorting board. Nothing is imported. "
                                         "The folders remain the truth."),
                          15, QFont::Normal, DarkroomPalette::mutedPaper());
    pitch->setWordWrap(true);
    pitch->setMaximumWidth(480);
    story->addWidget(pitch);
    story->addSpacing(30);
    auto *open = new DarkroomButton(QCoreApplication::translate("WelcomeView", "Open a Collection"), true, left);
    open->setSymbol(QStringLiteral("folder"));
    connect(open, &QPushButton::clicked, this, &WelcomeView::openFolder);
    story->addWidget(open, 0, Qt::AlignLeft);
    story->addStretch();
    columns->addWidget(left, 1);

    auto *right = new QWidget(this);
    DarkroomPalette::fillBackground(right, DarkroomPalette::raised());
    auto *keys = new QVBoxLayout(right);
    keys->setContentsMargins(48, 0, 48, 0);
    keys->setSpacing(26);
    keys->addStretch();
    keys->addWidget(keyHint(QStringLiteral("1\u20139"), QCoreApplication::translate("WelcomeView", "File into categories")));
    keys->addWidget(keyHint(QStringLiteral("0"), QCoreApplication::translate("WelcomeView", "Return to Unsorted")));
    keys->addWidget(keyHint(QCoreApplication::translate("WelcomeView", "SPACE"), QCoreApplication::translate("WelcomeView", "Preview at full size")));
    keys->addWidget(keyHint(QCoreApplication::translate("WelcomeView", "Ctrl Z"), QCoreApplication::translate("WelcomeView", "Undo every move")));
    keys->addStretch();
    columns->addWidget(right, 1);
}
