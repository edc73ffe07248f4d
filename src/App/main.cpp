#include "DemoCollection.h"
#include "FontWarmup.h"
#include "MainWindow.h"
#include "Services/PhotoInfoReader.h"
#include "Services/Platform/LargeBlocks.h"
#include "SingleInstance.h"
#include "Translations.h"
#include "ViewModels/CollectionStore.h"
#include "Views/DarkroomPalette.h"
#include "Views/LinuxDesktopServices.h"
#include "Views/PreviewMotionSource.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStyleFactory>

namespace {

// --help and --version answer on the terminal, without a display to connect to.
bool onlyAsksForText(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v"
            || arg == "--version") {
            return true;
        }
    }
    return false;
}

// Qt's French lacks the texts of its own help options; ours carries them, so that the help is
// in one language.
[[maybe_unused]] constexpr const char *qtHelpTexts[] = {
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help on commandline options."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help including Qt specific options."),
};

} // namespace

int main(int argc, char *argv[])
{
    useOwnPagesForLargeBlocks();
    // The preview turns video frames into pictures on the processor: Qt's converter would
    // otherwise make an OpenGL context current on the converting thread, and GStreamer then
    // fails to hand the clip's frames over. Nothing in the app draws with OpenGL.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    // GStreamer plays the clips: it turns a phone's rotated clip upright and reads a motion
    // photo's clip out of the photo's file.
    if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND")) {
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
    }
    const bool textOnly = onlyAsksForText(argc, argv);
    // Joined when main() returns.
    const std::jthread fontWarmup = textOnly ? std::jthread() : FontWarmup::start();
    std::unique_ptr<QCoreApplication> application =
        textOnly ? std::make_unique<QCoreApplication>(argc, argv)
                 : std::make_unique<QApplication>(argc, argv);
    QCoreApplication &app = *application;
    QApplication::setOrganizationName(QStringLiteral("Calvenor"));
    QApplication::setApplicationName(QStringLiteral("Photo Sorter"));
    QApplication::setApplicationVersion(QStringLiteral(CALVENOR_VERSION));
    Translations::install();
    // The launcher's id, so task bars and Wayland match the window to its launcher and icon.
    // A photo named .jpg that is not a JPEG is shown without dimensions; the decoder's own
    // complaint about it is noise on the terminal.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg.warning=false"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate("main", "Sort a folder of photos into category folders."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QCoreApplication::translate("main", "Generate a sample collection and open it."));
    parser.addOption(demo);
    const QCommandLineOption newWindow(
        QStringLiteral("new-window"),
        QCoreApplication::translate("main", "Open a window of its own even while the app is running."));
    parser.addOption(newWindow);
    // The argument's name is shown in the help beside Qt's own translated headings.
    parser.addPositionalArgument(QCoreApplication::translate("main", "folder"),
                                 QCoreApplication::translate("main", "The folder to open."),
                                 QCoreApplication::translate("main", "[FOLDER]"));
    parser.process(app); // --help and --version end here

    QString folder = parser.positionalArguments().value(0);
    bool demoFailed = false;
    if (parser.isSet(demo)) {
        folder = DemoCollection::defaultLocation();
        QString error;
        if (!DemoCollection::ensure(folder, &error)) {
            qWarning("%s", qPrintable(error));
            demoFailed = true;
        }
    }
    const QString requested = folder.isEmpty() ? QString() : QFileInfo(folder).absoluteFilePath();
    // While the app runs, a launch hands its folder to the running window and ends.
    SingleInstance instance;
    if (!parser.isSet(newWindow)) {
        if (instance.forward(requested)) {
            return 0;
        }
        instance.listen();
    }

    QApplication::setApplicationDisplayName(QStringLiteral("Calvenor Photo Sorter"));
    // The launcher's id, so task bars and Wayland match the window to its launcher and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.calvenor.photo_sorter"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(DarkroomPalette::applicationPalette());
    qApp->setStyleSheet(DarkroomPalette::scrollBarStyleSheet());

    auto settings = std::make_shared<QSettings>();
    CollectionStore *storePointer = nullptr;
    LinuxDesktopServices desktop(nullptr, [&storePointer] {
        return storePointer ? storePointer->previewItems() : PreviewItems();
    });
    CollectionStore store(desktop, settings);
    store.similarity().setCacheFolder(SimilarityIndex::defaultCacheFolder());
    storePointer = &store;
    desktop.setPreviewSetup([&store](PreviewWindow &preview) {
        preview.setFocusRequest([&store](const QUrl &url) { store.focusComparedPhoto(url); });
        preview.setInfoSource([&store](const QUrl &url) -> PreviewWindow::InfoRead {
            QString companions;
            std::optional<PhotoInfoText::Row> sharpness;
            for (const Photo &photo : store.selectedPhotosInDisplayOrder()) {
                if (photo.url == url) {
                    companions = photo.companionBadge();
                    if (const SimilarityFacts *facts = store.similarity().facts(photo)) {
                        const auto mark = store.bursts().mark(photo.id);
                        sharpness = PhotoInfoText::sharpness(
                            facts->sharpness, mark ? mark->count : 0, mark && mark->best);
                    }
                    break;
                }
            }
            return [path = url.toLocalFile(), companions, sharpness] {
                QList<PhotoInfoText::Row> rows =
                    PhotoInfoText::rows(PhotoInfoReader::read(path), companions);
                if (sharpness) {
                    rows.append(*sharpness);
                }
                return rows;
            };
        });
        preview.setMotionSource([&store](const QUrl &url) -> PreviewWindow::MotionRead {
            for (const Photo &photo : store.selectedPhotosInDisplayOrder()) {
                if (photo.url == url) {
                    return PreviewMotionSource::readFor(photo);
                }
            }
            return {};
        });
        QObject::connect(&store, &CollectionStore::hudMessageChanged, &preview,
                         [&store, &preview] { preview.showHud(store.hudMessage()); });
    });
    // The folder is read on another thread while the window is made: the window takes up the
    // store as it finds it, loading.
    if (demoFailed) {
        store.openCollection(QUrl::fromLocalFile(requested), false); // shows why it failed
    } else if (!requested.isEmpty()) {
        // As if chosen in the open dialog: it becomes the last collection.
        store.openCollection(QUrl::fromLocalFile(requested), true);
    } else {
        store.restoreLastCollectionIfNeeded();
    }
    MainWindow window(store, settings);
    desktop.setWindow(&window);
    window.show();
    QObject::connect(&instance, &SingleInstance::openRequested, &window,
                     [&store, &window](const QString &later) {
                         if (!later.isEmpty()) {
                             store.openCollection(QUrl::fromLocalFile(later), true);
                         }
                         window.showNormal();
                         window.raise();
                         window.activateWindow();
                     });

    return QApplication::exec();
}
