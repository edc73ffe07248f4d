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

struct Message
{
    QString context;
    QString source;
    bool finished = true;
};

QList<Message> messagesOf(const QString &tsPath)
{
    QFile file(tsPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<Message> messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == "name"_L1) {
            context = xml.readElementText();
        } else if (xml.name() == "source"_L1) {
            messages.append({context, xml.readElementText()});
        } else if (xml.name() == "translation"_L1) {
            messages.last().finished = xml.attributes().value("type"_L1) != "unfinished"_L1
                                       && xml.attributes().value("type"_L1) != "vanished"_L1;
        }
    }
    return messages;
}

QSet<QString> sourcesOf(const QList<Message> &messages)
{
    QSet<QString> sources;
    for (const Message &message : messages) {
        sources.insert(message.source);
    }
    return sources;
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
    const QList<Message> french =
        messagesOf(sourceDir + u"/translations/calvenor_photo_sorter_fr.ts"_s);
    const QList<Message> pattern = messagesOf(sourceDir + u"/translations/calvenor_photo_sorter.ts"_s);
    QVERIFY(!french.isEmpty());
    QCOMPARE(sourcesOf(french), sourcesOf(pattern));
    QStringList unfinished;
    for (const Message &message : french) {
        if (!message.finished) {
            unfinished.append(message.context + u": "_s + message.source);
        }
    }
    QVERIFY2(unfinished.isEmpty(), qPrintable(unfinished.join(u'\n')));

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
    const QSet<QString> now = sourcesOf(messagesOf(fresh));
    const QSet<QString> kept = sourcesOf(pattern);
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
        sourcesOf(messagesOf(sourceDir + u"/translations/calvenor_photo_sorter.ts"_s));
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
