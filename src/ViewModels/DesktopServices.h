#pragma once

// What the collection store needs from the desktop, in one small interface: the folder dialog,
// the preview window, opening and revealing files, the alert sound, the reduce-motion setting
// and whether a text field has the keyboard. The application implements it for real; tests
// use a recording fake.

#include <QUrl>

#include <functional>
#include <optional>

struct FolderPanelRequest
{
    QString title;
    QString message;
    QString prompt; // the confirming button's text
};

class DesktopServices
{
public:
    virtual ~DesktopServices() = default;

    // Shows a folder chooser without blocking; `completion` gets the folder, or nothing when
    // the user cancelled.
    virtual void chooseFolder(const FolderPanelRequest &request,
                              std::function<void(std::optional<QUrl>)> completion) = 0;

    virtual bool isPreviewVisible() const = 0;
    // The preview window has the keyboard: its own letter keys are not the board's.
    virtual bool isPreviewActive() const = 0;
    // Shows the preview window at the first preview item and raises it.
    virtual void showPreview() = 0;
    virtual void hidePreview() = 0;
    // Re-reads the preview items and shows the first one again.
    virtual void reloadPreview() = 0;

    virtual void openWithDefaultApplication(const QUrl &file) = 0;
    virtual void revealInFileManager(const QUrl &file) = 0;
    virtual void beep() = 0;
    virtual bool prefersReducedMotion() const = 0;
    virtual bool textInputHasFocus() const = 0;
};
