#pragma once

// The window-modal form that asks for a category's folder name, for a new category or a rename.
// It only collects a name: the action stays disabled while the trimmed name is empty, and a
// submission emits the trimmed name once and accepts. Checking the name is left to the caller.

#include "Models/CategoryPrompt.h"

#include <QDialog>

class DarkroomButton;
class QLineEdit;

class CategoryNameSheet : public QDialog
{
    Q_OBJECT

public:
    explicit CategoryNameSheet(const CategoryPrompt &prompt, QWidget *parent = nullptr);

    const CategoryPrompt &prompt() const { return m_prompt; }

    QLineEdit *nameField() const { return m_nameField; }
    DarkroomButton *cancelButton() const { return m_cancelButton; }
    DarkroomButton *actionButton() const { return m_actionButton; }

    // Submits the field's trimmed text; does nothing while it is empty.
    void submit();

Q_SIGNALS:
    void submitted(const QString &name);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString trimmedName() const;

    CategoryPrompt m_prompt;
    QLineEdit *m_nameField = nullptr;
    DarkroomButton *m_cancelButton = nullptr;
    DarkroomButton *m_actionButton = nullptr;
};
