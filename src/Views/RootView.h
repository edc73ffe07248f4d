#pragma once

// The window's content: the welcome screen, the loading screen or the collection workspace,
// chosen from the store's collection and loading state, below the recovery banner, with the HUD
// on top and the store's alerts, confirmations and name sheet presented over it. It also
// mirrors the view settings into the preferences on every change and applies the saved ones
// once, when first shown.

#include "CategoryNameSheet.h"
#include "Models/CategoryPrompt.h"
#include "Models/HomeTrashPrompt.h"

#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QWidget>

#include <functional>
#include <memory>

class CollectionStore;
class HudView;
class RecoveryBanner;
class QStackedLayout;
class QUndoStack;

class RootView : public QWidget
{
    Q_OBJECT

public:
    RootView(CollectionStore &store,
             QUndoStack &undoStack,
             std::shared_ptr<QSettings> settings,
             QWidget *parent = nullptr);

    // "The empty folder will be removed…", or "3 photos will move to Unsorted…".
    static QString deleteConfirmationMessage(qsizetype photoCount,
                                             qsizetype unreadableNameCount = 0);
    // What the question before copying photos into the home trash says: the title names the
    // volume without a trash, the message the photos' count and total size.
    static QString homeTrashTitle(const HomeTrashPrompt &prompt);
    static QString homeTrashMessage(const HomeTrashPrompt &prompt);
    // A warning with `title` in bold over `message`, both plain text with their names made
    // visible, and wrapped within a reading width however long an unbroken name in them is.
    static QMessageBox *makeAlert(const QString &title,
                                  const QString &message,
                                  QMessageBox::StandardButtons buttons,
                                  QWidget *parent);

    // `text` with a break allowed between the graphemes of every long unbroken run.
    static QString breakable(const QString &text);

    // Sets the store up with the window's undo stack, the key filter and the saved settings.
    // Runs once; showing the view the first time calls it.
    void prepareStore();

    enum class Page { welcome, loading, workspace };
    Page page() const;
    HudView *hud() const { return m_hud; }
    QMessageBox *alertBox() const { return m_alertBox; }
    QMessageBox *deleteBox() const { return m_deleteBox; }
    QMessageBox *homeTrashBox() const { return m_homeTrashBox; }
    CategoryNameSheet *sheet() const { return m_sheet; }
    RecoveryBanner *recoveryBanner() const { return m_recoveryBanner; }

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updatePage();
    void updateHud();
    void presentAlert();
    void presentDeleteConfirmation();
    void presentHomeTrashConfirmation();
    // Shows in `slot`, in place of the question it held, a window-modal question whose one
    // button `action` runs `confirm`; Cancel, the default and the Escape button, runs `cancel`.
    void askConfirmation(QPointer<QMessageBox> &slot, const QString &title, const QString &text,
                         const QString &action, QMessageBox::ButtonRole role,
                         std::function<void()> confirm, std::function<void()> cancel);
    static void closeConfirmation(QPointer<QMessageBox> &slot, QObject *receiver);
    void presentCategoryPrompt();
    void persistSettings();
    void placeHud();

    CollectionStore &m_store;
    QUndoStack &m_undoStack;
    std::shared_ptr<QSettings> m_settings;
    bool m_prepared = false;
    QStackedLayout *m_pages = nullptr;
    QWidget *m_welcome = nullptr;
    QWidget *m_loading = nullptr;
    QWidget *m_workspace = nullptr;
    HudView *m_hud = nullptr;
    RecoveryBanner *m_recoveryBanner = nullptr;
    QPointer<QMessageBox> m_alertBox;
    QPointer<QMessageBox> m_deleteBox;
    QPointer<QMessageBox> m_homeTrashBox;
    QPointer<CategoryNameSheet> m_sheet;
    QUuid m_sheetPromptID;
};
