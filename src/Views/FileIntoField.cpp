#include "FileIntoField.h"

#include "DarkroomPalette.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace {

// The number key of each category: its place among the categories, up to nine.
QHash<QString, int> categoryNumbers(const QList<PhotoSection> &sections)
{
    QHash<QString, int> numbers;
    int number = 0;
    for (const PhotoSection &section : sections) {
        if (section.kind == PhotoSectionKind::category && ++number <= 9) {
            numbers.insert(section.id, number);
        }
    }
    return numbers;
}

} // namespace

FileIntoField::FileIntoField(CollectionStore &store, QWidget *board, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_board(board)
{
    using namespace DarkroomPalette;
    DarkroomPalette::fillBackground(this, raised());
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(24, 8, 24, 8);
    row->setSpacing(14);
    m_edit = new QLineEdit(this);
    m_edit->setPlaceholderText(QCoreApplication::translate("FileIntoField", "File into\u2026"));
    m_edit->setAccessibleName(QCoreApplication::translate("FileIntoField", "File into"));
    m_edit->setFont(Typography::font(13, QFont::Medium));
    m_edit->setFixedSize(240, 30);
    m_edit->setStyleSheet(
        QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid %3;"
                       " border-radius: 6px; padding: 0 8px; }")
            .arg(canvas().name(), paper().name(), ember().name()));
    m_edit->installEventFilter(this);
    row->addWidget(m_edit);
    m_matches = new QLabel(this);
    m_matches->setTextFormat(Qt::RichText);
    m_matches->setFont(Typography::font(12, QFont::Medium));
    row->addWidget(m_matches, 1);
    hide();

    connect(m_edit, &QLineEdit::textEdited, &m_store, &CollectionStore::setFileIntoText);
    connect(&m_store, &CollectionStore::fileIntoTextChanged, this, &FileIntoField::refresh);
    connect(&m_store, &CollectionStore::collectionChanged, this, &FileIntoField::showMatches);
}

void FileIntoField::refresh()
{
    const std::optional<QString> &text = m_store.fileIntoText();
    if (!text) {
        if (isVisible()) {
            const bool hadFocus = m_edit->hasFocus();
            hide();
            if (hadFocus && m_board) {
                m_board->setFocus(Qt::OtherFocusReason); // the board's keys work again
            }
        }
        return;
    }
    if (m_edit->text() != *text) {
        m_edit->setText(*text);
    }
    m_chosen = 0;
    showMatches();
    if (!isVisible()) {
        show();
        m_edit->setFocus(Qt::OtherFocusReason);
        m_edit->end(false);
    }
}

void FileIntoField::showMatches()
{
    using namespace DarkroomPalette;
    if (!m_store.fileIntoText()) {
        return;
    }
    m_current = m_store.fileIntoMatches();
    m_chosen = std::clamp<qsizetype>(m_chosen, 0, std::max<qsizetype>(0, m_current.size() - 1));
    const QHash<QString, int> numbers = categoryNumbers(m_store.sections());
    QStringList plain;
    QStringList rich;
    for (qsizetype i = 0; i < m_current.size(); ++i) {
        const PhotoSection &section = m_current[i];
        const int number = numbers.value(section.id);
        const QString label = (number ? QString::number(number) + QLatin1Char(' ') : QString())
                              + Typography::displayName(section.name);
        const bool chosen = i == m_chosen;
        plain.append(chosen ? QLatin1Char('[') + label + QLatin1Char(']') : label);
        rich.append(QStringLiteral("<span style=\"color:%1\">%2</span>")
                        .arg((chosen ? ember() : mutedPaper()).name(), label.toHtmlEscaped()));
    }
    const QString typed = m_store.fileIntoText()->trimmed();
    if (m_current.isEmpty()) {
        m_matchesText = typed.isEmpty() ? QString()
                                        : QCoreApplication::translate("FileIntoField", "Return: create \u201C%1\u201D and file into it")
                                              .arg(Typography::displayName(typed));
        m_matches->setText(QStringLiteral("<span style=\"color:%1\">%2</span>")
                               .arg(quiet().name(), m_matchesText.toHtmlEscaped()));
        return;
    }
    m_matchesText = plain.join(QStringLiteral(" \u00B7 "));
    m_matches->setText(rich.join(QStringLiteral("<span style=\"color:%1\"> \u00B7 </span>")
                                     .arg(quiet().name())));
}

void FileIntoField::accept()
{
    if (!m_current.isEmpty()) {
        m_store.fileInto(m_current[m_chosen].id);
    } else if (const QString typed = m_edit->text().trimmed(); !typed.isEmpty()) {
        m_store.createCategoryAndFileInto(typed);
    }
}

bool FileIntoField::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            accept();
            return true;
        case Qt::Key_Escape:
            m_store.closeFileInto();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (!m_current.isEmpty()) {
                const qsizetype step = static_cast<QKeyEvent *>(event)->key() == Qt::Key_Down ? 1 : -1;
                m_chosen = (m_chosen + step + m_current.size()) % m_current.size();
                showMatches();
            }
            return true;
        default:
            break;
        }
    } else if (watched == m_edit && event->type() == QEvent::FocusOut
               && static_cast<QFocusEvent *>(event)->reason() != Qt::ActiveWindowFocusReason
               && static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
        m_store.closeFileInto(); // a click elsewhere
    }
    return QWidget::eventFilter(watched, event);
}
