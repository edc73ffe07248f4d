#include "LinuxDesktopServices.h"

#include <QCoreApplication>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

constexpr int kRevealTimeoutMs = 2000;
constexpr int kSettingTimeoutMs = 300;

} // namespace

LinuxDesktopServices::LinuxDesktopServices(QWidget *window,
                                           PreviewWindow::ItemSource previewItems,
                                           QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_previewItems(std::move(previewItems))
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

LinuxDesktopServices::~LinuxDesktopServices()
{
    delete m_preview.data(); // unless the main window already took it down
}

void LinuxDesktopServices::chooseFolder(const FolderPanelRequest &request,
                                        std::function<void(std::optional<QUrl>)> completion)
{
    auto *dialog = new QFileDialog(m_window, request.title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setWindowModality(Qt::WindowModal);
    if (!request.prompt.isEmpty()) {
        dialog->setLabelText(QFileDialog::Accept, request.prompt);
    }
    // The file dialog has no place for a message of its own.
    dialog->setToolTip(request.message);
    dialog->setAccessibleDescription(request.message);
    connect(dialog, &QDialog::finished, dialog,
            [dialog, completion = std::move(completion)](int result) {
                const QList<QUrl> chosen = dialog->selectedUrls();
                dialog->deleteLater();
                if (result == QDialog::Accepted && !chosen.isEmpty()) {
                    completion(chosen.first());
                } else {
                    completion(std::nullopt);
                }
            });
    dialog->open();
}

bool LinuxDesktopServices::isPreviewVisible() const
{
    return m_preview && m_preview->isVisible();
}

bool LinuxDesktopServices::isPreviewActive() const
{
    return isPreviewVisible() && m_preview->isActiveWindow();
}

void LinuxDesktopServices::showPreview()
{
    if (!m_preview) {
        m_preview = new PreviewWindow(m_previewItems, m_window);
        if (m_previewSetup) {
            m_previewSetup(*m_preview);
        }
    }
    m_preview->showAtFirstItem();
}

void LinuxDesktopServices::hidePreview()
{
    if (m_preview) {
        m_preview->close();
    }
}

void LinuxDesktopServices::reloadPreview()
{
    if (isPreviewVisible()) {
        m_preview->reload();
    }
}

void LinuxDesktopServices::openWithDefaultApplication(const QUrl &file)
{
    m_openUrl(file);
}

void LinuxDesktopServices::revealInFileManager(const QUrl &file)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openContainingFolder(file);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kRevealTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, file](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (finished->isError()) {
                    openContainingFolder(file);
                }
            });
}

void LinuxDesktopServices::openContainingFolder(const QUrl &file)
{
    m_openUrl(file.isLocalFile() ? QUrl::fromLocalFile(QFileInfo(file.toLocalFile()).absolutePath())
                                 : file.adjusted(QUrl::RemoveFilename));
}

void LinuxDesktopServices::beep()
{
    QApplication::beep();
}

bool LinuxDesktopServices::prefersReducedMotion() const
{
    if (qEnvironmentVariable("CALVENOR_REDUCE_MOTION") == QLatin1String("1")) {
        return true;
    }
    if (!m_desktopDisablesAnimations) {
        // GNOME's setting through the settings portal; read once, blocking briefly, so a
        // missing portal costs nothing after the first question.
        m_desktopDisablesAnimations = false;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.portal.Desktop"),
                QStringLiteral("/org/freedesktop/portal/desktop"),
                QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
            call << QStringLiteral("org.gnome.desktop.interface")
                 << QStringLiteral("enable-animations");
            const QDBusMessage reply = bus.call(call, QDBus::Block, kSettingTimeoutMs);
            QVariant value = reply.arguments().value(0);
            // Read wraps the value in one or two variants depending on the portal version.
            while (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
                value = value.value<QDBusVariant>().variant();
            }
            if (reply.type() == QDBusMessage::ReplyMessage && value.typeId() == QMetaType::Bool) {
                m_desktopDisablesAnimations = !value.toBool();
            }
        }
    }
    return *m_desktopDisablesAnimations;
}

bool LinuxDesktopServices::textInputHasFocus() const
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus) {
        return false;
    }
    if (auto *combo = qobject_cast<QComboBox *>(focus)) {
        return combo->isEditable();
    }
    return qobject_cast<QLineEdit *>(focus) || qobject_cast<QTextEdit *>(focus) ||
           qobject_cast<QPlainTextEdit *>(focus) || qobject_cast<QAbstractSpinBox *>(focus);
}
