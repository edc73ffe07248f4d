#pragma once

// A desktop for store tests: records every call, answers the folder dialog with a preset
// folder, and lets a test say whether a text field has focus or motion is reduced.

#include "ViewModels/DesktopServices.h"

#include <QGuiApplication>
#include <QStringList>

class RecordingDesktop : public DesktopServices
{
public:
    QStringList calls;
    std::optional<QUrl> folderToChoose;
    std::optional<FolderPanelRequest> lastPanel;
    bool previewVisible = false;
    bool previewActive = false; // the preview window has the keyboard
    bool reducedMotion = true;
    bool textFocus = false;
    int beeps = 0;
    int previewReloads = 0;

    void chooseFolder(const FolderPanelRequest &request,
                      std::function<void(std::optional<QUrl>)> completion) override
    {
        calls.append(QStringLiteral("chooseFolder"));
        lastPanel = request;
        completion(folderToChoose);
    }
    bool isPreviewVisible() const override { return previewVisible; }
    bool isPreviewActive() const override { return previewVisible && previewActive; }
    void showPreview() override
    {
        calls.append(QStringLiteral("showPreview"));
        previewVisible = true;
    }
    void hidePreview() override
    {
        calls.append(QStringLiteral("hidePreview"));
        previewVisible = false;
    }
    void reloadPreview() override { ++previewReloads; }
    void openWithDefaultApplication(const QUrl &file) override
    {
        calls.append(QStringLiteral("open ") + file.fileName());
    }
    void revealInFileManager(const QUrl &file) override
    {
        calls.append(QStringLiteral("reveal ") + file.fileName());
    }
    void beep() override { ++beeps; }
    bool prefersReducedMotion() const override { return reducedMotion; }
    // Set by hand, or a real line edit of a widget test has the keyboard.
    bool textInputHasFocus() const override
    {
        return textFocus
               || (qGuiApp && QGuiApplication::focusObject()
                   && QGuiApplication::focusObject()->inherits("QLineEdit"));
    }
};
