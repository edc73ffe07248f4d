#pragma once

// The desktop the store talks to on Linux: a window-modal folder dialog, the preview window,
// opening and revealing files through the desktop (freedesktop FileManager1, else the folder),
// the alert sound and the desktop's reduce-motion setting. The preview window is made on first
// use and belongs to the main window; opening URLs goes through one replaceable function.

#include "PreviewWindow.h"
#include "ViewModels/DesktopServices.h"

#include <QObject>
#include <QPointer>

class LinuxDesktopServices : public QObject, public DesktopServices
{
    Q_OBJECT
public:
    using OpenUrl = std::function<bool(const QUrl &)>;

    // `window` parents dialogs and the preview window; `previewItems` are the store's.
    LinuxDesktopServices(QWidget *window,
                         PreviewWindow::ItemSource previewItems,
                         QObject *parent = nullptr);
    ~LinuxDesktopServices() override;

    void chooseFolder(const FolderPanelRequest &request,
                      std::function<void(std::optional<QUrl>)> completion) override;

    bool isPreviewVisible() const override;
    bool isPreviewActive() const override;
    void showPreview() override;
    void hidePreview() override;
    void reloadPreview() override;

    void openWithDefaultApplication(const QUrl &file) override;
    void revealInFileManager(const QUrl &file) override;
    void beep() override;
    bool prefersReducedMotion() const override;
    bool textInputHasFocus() const override;

    // The window that parents dialogs and the preview, when it exists only after the store.
    void setWindow(QWidget *window) { m_window = window; }
    // Defaults to QDesktopServices::openUrl.
    void setOpenUrl(OpenUrl open) { m_openUrl = std::move(open); }
    // Null until the preview is first shown.
    PreviewWindow *previewWindow() const { return m_preview; }
    // Called on the preview window once it is made, to connect it to the rest of the app.
    void setPreviewSetup(std::function<void(PreviewWindow &)> setup)
    {
        m_previewSetup = std::move(setup);
    }

private:
    void openContainingFolder(const QUrl &file);

    QPointer<QWidget> m_window;
    PreviewWindow::ItemSource m_previewItems;
    std::function<void(PreviewWindow &)> m_previewSetup;
    QPointer<PreviewWindow> m_preview;
    OpenUrl m_openUrl;
    mutable std::optional<bool> m_desktopDisablesAnimations; // asked once
};
