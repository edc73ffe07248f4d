#include "ViewModels/OwnChanges.h"

#include <QTest>

// Which folders a monitor report leaves to be listed once our own moves are taken out of it, and
// when a batch's outcome is what the board already shows.

using namespace Qt::StringLiterals;

namespace {

// "a/x.jpg>b/x.jpg|…", folders relative to /r.
QList<FileMove> moves(const QString &text)
{
    QList<FileMove> result;
    for (const QString &move : text.split(u'|', Qt::SkipEmptyParts)) {
        result.append({QUrl::fromLocalFile("/r/"_L1 + move.section(u'>', 0, 0)),
                       QUrl::fromLocalFile("/r/"_L1 + move.section(u'>', 1))});
    }
    return result;
}

// "a -x.jpg b +x.jpg; …": one report per ";", a folder word then its events: + came, - went,
// ~ attribute, = written, ! something unnamed.
DirectoryMonitor::Change report(const QString &text)
{
    using Event = DirectoryMonitor::EntryEvent;
    DirectoryMonitor::Change change;
    QString folder;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        const QChar kind = word.front();
        if (kind.isLetter()) {
            folder = "/r/"_L1 + word;
            if (!change.folders.contains(folder)) {
                change.folders.append(folder);
            }
        } else if (kind == u'!') {
            change.events[folder].unnamed = true;
        } else {
            const Event event = kind == u'+'   ? Event::came
                                : kind == u'-' ? Event::went
                                : kind == u'~' ? Event::attribute
                                               : Event::written;
            change.events[folder].named.append({word.mid(1), event});
        }
    }
    return change;
}

} // namespace

class tst_OwnChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void foreignFolders_data();
    void foreignFolders();
    void boardShows_data();
    void boardShows();
};

void tst_OwnChanges::foreignFolders_data()
{
    QTest::addColumn<QString>("moved");
    QTest::addColumn<QString>("reports");
    QTest::addColumn<QString>("foreign"); // folders the last report leaves to list

    const QString xToB = u"a/x.jpg>b/x.jpg"_s;
    QTest::newRow("our rename") << xToB << "a -x.jpg b +x.jpg" << "";
    QTest::newRow("an outside file beside ours") << xToB << "a -x.jpg b +x.jpg +y.jpg" << "b";
    QTest::newRow("an outside file, elsewhere") << xToB << "a -x.jpg b +x.jpg c +y.jpg" << "c";
    QTest::newRow("a copy's hidden temporary")
        << xToB << "b +.calvenor-1 =.calvenor-1 -.calvenor-1 +x.jpg a -x.jpg" << "";
    QTest::newRow("link and unlink") << xToB << "b +x.jpg ~x.jpg a ~x.jpg -x.jpg" << "";
    QTest::newRow("our file written to") << xToB << "a -x.jpg b +x.jpg =x.jpg" << "b";
    QTest::newRow("arriving twice") << xToB << "b +x.jpg +x.jpg" << "b";
    QTest::newRow("the folder itself moved") << xToB << "a -x.jpg ! b +x.jpg" << "a";
    QTest::newRow("a name we never moved") << xToB << "a -z.jpg" << "a";
    QTest::newRow("its halves in two reports") << xToB << "a -x.jpg; b +x.jpg" << "";
    QTest::newRow("forgotten after two reports")
        << xToB << "c +y.jpg; c +y.jpg; a -x.jpg b +x.jpg" << "a|b";
    QTest::newRow("a burst, one report") << u"a/x.jpg>b/x.jpg|a/y.jpg>b/y.jpg|b/x.jpg>a/x.jpg"_s
                                         << "a -x.jpg -y.jpg +x.jpg b +x.jpg +y.jpg -x.jpg" << "";
}

void tst_OwnChanges::foreignFolders()
{
    QFETCH(QString, moved);
    QFETCH(QString, reports);
    QFETCH(QString, foreign);
    OwnChanges own;
    own.noteMoves(moves(moved));
    QSet<QString> left;
    for (const QString &text : reports.split(u';')) {
        left = own.foreignFolders(report(text));
    }
    QStringList names;
    for (const QString &folder : std::as_const(left)) {
        names.append(folder.mid(3));
    }
    names.sort();
    QCOMPARE(names.join(u'|'), foreign);
}

void tst_OwnChanges::boardShows_data()
{
    QTest::addColumn<QString>("performed");
    QTest::addColumn<QString>("taken");
    QTest::addColumn<QString>("placed");
    QTest::addColumn<bool>("shows");

    QTest::newRow("as shown") << "a/x.jpg>b/x.jpg|a/x.cr3>b/x.cr3" << "a/x.jpg|a/x.cr3"
                              << "b/x.jpg|b/x.cr3" << true;
    QTest::newRow("another free name on disk")
        << "a/x.jpg>b/x 2.jpg" << "a/x.jpg" << "b/x.jpg" << false;
    QTest::newRow("a member left behind") << "a/x.jpg>b/x.jpg" << "a/x.jpg|a/x.cr3"
                                          << "b/x.jpg|b/x.cr3" << false;
    QTest::newRow("to the trash") << "a/x.jpg>trash/x.jpg" << "a/x.jpg" << "" << true;
    QTest::newRow("nothing moved") << "" << "a/x.jpg" << "" << false;
}

void tst_OwnChanges::boardShows()
{
    QFETCH(QString, performed);
    QFETCH(QString, taken);
    QFETCH(QString, placed);
    QFETCH(bool, shows);
    const auto paths = [](const QString &text) {
        QSet<QString> result;
        for (const QString &path : text.split(u'|', Qt::SkipEmptyParts)) {
            result.insert("/r/"_L1 + path);
        }
        return result;
    };
    QCOMPARE(OwnChanges::boardShows(moves(performed), {paths(taken), paths(placed)},
                                    {u"/r/a"_s, u"/r/b"_s}),
             shows);
}

QTEST_GUILESS_MAIN(tst_OwnChanges)
#include "tst_OwnChanges.moc"
