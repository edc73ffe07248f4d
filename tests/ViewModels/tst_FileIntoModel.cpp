#include "ViewModels/FileIntoModel.h"

#include <QTest>

// Which categories a typed name picks, and which edits of the field are changes.

using namespace Qt::StringLiterals;

class tst_FileIntoModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchingCategories_data();
    void matchingCategories();
    void edits_data();
    void edits();
};

void tst_FileIntoModel::matchingCategories_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("matches"); // names, best first, "|" between
    QTest::newRow("prefix, then word start, then anywhere") << u"ca"_s
                                                            << u"Cats|Big Cats|Vacation"_s;
    QTest::newRow("accents and case ignored") << u"et\u00e9"_s << u"\u00c9t\u00e9 2024"_s;
    QTest::newRow("a word after a dash") << u"2024"_s << u"Best-2024|\u00c9t\u00e9 2024"_s;
    QTest::newRow("spaces around ignored") << u" dogs "_s << u"Dogs"_s;
    QTest::newRow("no match") << u"zebra"_s << QString();
    QTest::newRow("nothing typed") << u""_s << QString();
}

void tst_FileIntoModel::matchingCategories()
{
    QFETCH(QString, typed);
    QFETCH(QString, matches);
    const auto makeSection = [](PhotoSectionKind kind, const QString &name) {
        PhotoSection made;
        made.kind = kind;
        made.name = name;
        return made;
    };
    QList<PhotoSection> sections{makeSection(PhotoSectionKind::unsorted, u"Unsorted"_s)};
    for (const QString &name : {u"Best-2024"_s, u"Big Cats"_s, u"Cats"_s, u"Dogs"_s,
                                u"Vacation"_s, u"\u00c9t\u00e9 2024"_s}) {
        sections.append(makeSection(PhotoSectionKind::category, name));
    }
    QStringList names;
    for (const PhotoSection &section : FileIntoModel::matchingCategories(sections, typed)) {
        names.append(section.name);
    }
    QCOMPARE(names, matches.split(u'|', Qt::SkipEmptyParts));
}

void tst_FileIntoModel::edits_data()
{
    QTest::addColumn<QStringList>("edits"); // "x" a text, "-" a close
    QTest::addColumn<QString>("changes");   // per edit, "1" when it changed the text
    QTest::addColumn<QString>("text");      // after the edits, "-" when closed
    QTest::newRow("typing") << QStringList{u"c"_s, u"ca"_s, u"ca"_s} << u"110"_s << u"ca"_s;
    QTest::newRow("closing twice") << QStringList{u"c"_s, u"-"_s, u"-"_s} << u"110"_s << u"-"_s;
    QTest::newRow("closed field") << QStringList{u"-"_s} << u"0"_s << u"-"_s;
    QTest::newRow("emptied is still open") << QStringList{u"c"_s, u""_s} << u"11"_s << u""_s;
}

void tst_FileIntoModel::edits()
{
    QFETCH(QStringList, edits);
    QFETCH(QString, changes);
    QFETCH(QString, text);
    FileIntoModel field;
    QString changed;
    for (const QString &edit : edits) {
        changed += (edit == u"-"_s ? field.close() : field.setText(edit)) ? u'1' : u'0';
    }
    QCOMPARE(changed, changes);
    QCOMPARE(field.text().value_or(u"-"_s), text);
    PhotoSection cats;
    cats.kind = PhotoSectionKind::category;
    cats.name = u"Cats"_s;
    // What it names follows the text; closed, it names nothing.
    QCOMPARE(field.matches({cats}).size(), text == u"c"_s || text == u"ca"_s ? 1 : 0);
}

QTEST_APPLESS_MAIN(tst_FileIntoModel)
#include "tst_FileIntoModel.moc"
