#include "DemoCollection.h"
#include "PlaceholderWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // A photo named .jpg that is not a JPEG is shown without dimensions; the decoder's own
    // complaint about it is noise on the terminal.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg.warning=false"));
    QApplication::setOrganizationName(QStringLiteral("Calvenor"));
    QApplication::setApplicationName(QStringLiteral("Photo Sorter"));
    QApplication::setApplicationDisplayName(QStringLiteral("Calvenor Photo Sorter"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sort a folder of photos into category folders."));
    parser.addHelpOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Generate a sample collection and open it."));
    parser.addOption(demo);
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("The folder to open."),
                                 QStringLiteral("[FOLDER]"));
    parser.process(app);

    PlaceholderWindow window;
    window.show();

    QString folder = parser.positionalArguments().value(0);
    if (parser.isSet(demo)) {
        folder = DemoCollection::defaultLocation();
        QString error;
        if (!DemoCollection::ensure(folder, &error)) {
            QMessageBox::warning(&window, QStringLiteral("Couldn\u2019t Create the Demo"), error);
            folder.clear();
        }
    }
    if (!folder.isEmpty()) {
        window.openFolder(folder);
    }
    return app.exec();
}
