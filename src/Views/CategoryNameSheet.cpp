#include "CategoryNameSheet.h"

#include "DarkroomButton.h"
#include "DarkroomPalette.h"
#include "Typography.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

QLabel *makeLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
{
    QLabel *label = Typography::label(text, font, color, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

CategoryNameSheet::CategoryNameSheet(const CategoryPrompt &prompt, QWidget *parent)
    : QDialog(parent)
    , m_prompt(prompt)
{
    using namespace DarkroomPalette;

    setWindowTitle(prompt.title);
    setWindowModality(Qt::WindowModal);
    setFixedWidth(430);
    fillBackground(this, raised());

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);

    auto *heading = new QVBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(makeLabel(prompt.title, Typography::font(21, QFont::Bold), paper(), this));
    heading->addWidget(makeLabel(tr("This is the folder name on disk."),
                                 Typography::font(12, QFont::Medium), mutedPaper(), this));
    column->addLayout(heading);

    // The outer edge of the text sits 12 px in: 1 px border, 9 px padding and QLineEdit's own
    // 2 px margin.
    m_nameField = new QLineEdit(prompt.initialName, this);
    m_nameField->setPlaceholderText(tr("Category name"));
    m_nameField->setFont(Typography::font(15, QFont::Medium));
    m_nameField->setFixedHeight(38);
    m_nameField->setStyleSheet(
        QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid %3;"
                       " border-radius: 7px; padding: 0 9px;"
                       " selection-background-color: %4; selection-color: %1; }"
                       " QLineEdit:focus { border-color: %4; }")
            .arg(canvas().name(), paper().name(), separator().name(), ember().name()));
    QPalette fieldPalette = m_nameField->palette();
    fieldPalette.setColor(QPalette::PlaceholderText, quiet());
    m_nameField->setPalette(fieldPalette);
    m_nameField->selectAll();
    column->addWidget(m_nameField);

    m_cancelButton = new DarkroomButton(tr("Cancel"), false, this);
    m_actionButton = new DarkroomButton(prompt.actionTitle, true, this);
    // Return always means the action, whichever button has focus; Escape is QDialog's reject.
    m_cancelButton->setAutoDefault(false);
    m_actionButton->setAutoDefault(false);
    m_actionButton->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_actionButton);
    column->addLayout(buttons);

    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_actionButton, &QPushButton::clicked, this, &CategoryNameSheet::submit);
    const auto updateAction = [this] { m_actionButton->setEnabled(!trimmedName().isEmpty()); };
    connect(m_nameField, &QLineEdit::textChanged, this, updateAction);
    updateAction();
}

void CategoryNameSheet::submit()
{
    const QString name = trimmedName();
    if (name.isEmpty()) {
        return;
    }
    Q_EMIT submitted(name);
    accept();
}

void CategoryNameSheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_nameField->setFocus(Qt::OtherFocusReason);
}

QString CategoryNameSheet::trimmedName() const
{
    // QString::trimmed removes every kind of Unicode white space, line breaks included.
    return m_nameField->text().trimmed();
}
