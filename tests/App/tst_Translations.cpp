#include "App/Translations.h"
#include "Models/FileSystemError.h"
#include "Models/TextEnums.h"
#include "Views/GalleryView.h"
#include "Views/RootView.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

const QString sourceDir = QStringLiteral(CALVENOR_SOURCE_DIR);

// A translation file's source texts, and those whose translation is unfinished.
struct Texts
{
    QSet<QString> sources;
    QStringList unfinished;
};

Texts textsOf(const QString &tsPath)
{
    QFile file(tsPath);
    Texts texts;
    QXmlStreamReader xml(file.open(QIODevice::ReadOnly) ? &file : nullptr);
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == "source"_L1) {
            source = xml.readElementText();
            texts.sources.insert(source);
        } else if (xml.name() == "translation"_L1 &&
                   (xml.attributes().value("type"_L1) == "unfinished"_L1 ||
                    xml.attributes().value("type"_L1) == "vanished"_L1)) {
            texts.unfinished.append(source);
        }
    }
    return texts;
}

} // namespace

// The interface in French, and the translation files kept whole: every text shown to users
// goes through the translation functions, and every one of them has its French.
class tst_Translations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        Translations::install(QLocale::c());
        QLocale::setDefault(QLocale::c());
    }
    void frenchPlurals_data();
    void frenchPlurals();
    void frenchSentences();
    void everyTextIsTranslated();
    void noProseBypassesTheTranslations();
};

void tst_Translations::frenchPlurals_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("french");
    QTest::newRow("zero: French says it in the singular")
        << 0 << u"0 files with unreadable names are not shown"_s
        << u"0 fichier au nom illisible n’est pas affiché"_s;
    QTest::newRow("one") << 1 << u"1 file with an unreadable name is not shown"_s
                         << u"1 fichier au nom illisible n’est pas affiché"_s;
    QTest::newRow("many, with the number in French")
        << 1200 << u"1,200 files with unreadable names are not shown"_s
        << u"1\u202f200 fichiers aux noms illisibles ne sont pas affichés"_s;
}

void tst_Translations::frenchPlurals()
{
    QFETCH(int, count);
    QFETCH(QString, english);
    QFETCH(QString, french);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(GalleryView::unreadableNamesNote(count), english);
    QVERIFY(Translations::install(QLocale(QLocale::French, QLocale::France)));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    QCOMPARE(GalleryView::unreadableNamesNote(count), french);
}

void tst_Translations::frenchSentences()
{
    QVERIFY(Translations::install(QLocale(QLocale::French, QLocale::France)));
    QCOMPARE(RootView::deleteConfirmationMessage(3, 0),
             u"3 photos iront dans Non triées avant que le dossier soit retiré. Vous pourrez "
             "annuler cette action."_s);
    QCOMPARE(FileSystemError::categoryAlreadyExists(u"Chats"_s).message,
             u"Une catégorie nommée «\u00a0Chats\u00a0» existe déjà."_s);
    QCOMPARE(label(BrowseLayoutMode::masonry), u"Maçonnerie"_s);
    // Back in English, nothing of the French is left.
    Translations::install(QLocale::c());
    QCOMPARE(label(BrowseLayoutMode::masonry), u"Masonry"_s);
}

void tst_Translations::everyTextIsTranslated()
{
    const Texts french = textsOf(sourceDir + u"/translations/calvenor_photo_sorter_fr.ts"_s);
    const QSet<QString> kept =
        textsOf(sourceDir + u"/translations/calvenor_photo_sorter.ts"_s).sources;
    QVERIFY(!french.sources.isEmpty());
    QCOMPARE(french.sources, kept);
    QVERIFY2(french.unfinished.isEmpty(), qPrintable(french.unfinished.join(u'\n')));

    // The files hold what the source holds now (scripts/update-translations.sh).
    const QString lupdate = QStandardPaths::findExecutable(u"lupdate"_s, {u"/usr/lib/qt6/bin"_s});
    if (lupdate.isEmpty()) {
        QSKIP("lupdate is not installed (scripts/install-deps.sh installs it)");
    }
    QTemporaryDir dir;
    const QString fresh = dir.filePath(u"fresh.ts"_s);
    QProcess run;
    run.setWorkingDirectory(sourceDir);
    run.start(lupdate, {u"-silent"_s, u"-no-obsolete"_s, u"-locations"_s, u"none"_s,
                        u"-extensions"_s, u"cpp,h"_s, u"src"_s, u"-ts"_s, fresh});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 0);
    const QSet<QString> now = textsOf(fresh).sources;
    QVERIFY2(now == kept, qPrintable(u"run scripts/update-translations.sh; new: "_s
                                     + QStringList((now - kept).values()).join(u" | "_s)
                                     + u"; gone: "_s
                                     + QStringList((kept - now).values()).join(u" | "_s)));
}

// A sentence or a title in a string literal must be a text the translations hold: shown to
// users through tr() or translate(), or a key translated where it is shown (undo action names).
void tst_Translations::noProseBypassesTheTranslations()
{
    const QSet<QString> translated =
        textsOf(sourceDir + u"/translations/calvenor_photo_sorter.ts"_s).sources;
    // Names, not words: the settings' application name.
    const QSet<QString> names{u"Photo Sorter"_s};
    const QRegularExpression literal(uR"re(QStringLiteral\("((?:[^"\\]|\\.)*)"\))re"_s);
    const QRegularExpression prose(uR"re(^[A-Z][a-z’']+(?: [A-Za-z’'…]+)+[.!?]?$)re"_s);
    QStringList bypassing;
    QDirIterator files(sourceDir + u"/src"_s, {u"*.cpp"_s, u"*.h"_s}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const QRegularExpressionMatch &match : literal.globalMatch(text)) {
            QString content = match.captured(1);
            content.replace(u"\\u2019"_s, u"’"_s).replace(u"\\u2026"_s, u"…"_s);
            if (prose.match(content).hasMatch() && !translated.contains(content)
                && !names.contains(content)) {
                bypassing.append(QDir(sourceDir).relativeFilePath(path) + u": "_s + content);
            }
        }
    }
    QVERIFY2(bypassing.isEmpty(), qPrintable(bypassing.join(u'\n')));
}

QTEST_MAIN(tst_Translations)
#include "tst_Translations.moc"
