#include "Models/Companions.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Rows name files only; the kind follows from the extension as the type detector would say.
static ImageKind kindOf(const QString &name)
{
    const QString extension = name.section(QLatin1Char('.'), -1).toLower();
    static const QHash<QString, ImageKind> kinds{
        {u"jpg"_s, ImageKind::jpeg},     {u"jpeg"_s, ImageKind::jpeg},
        {u"heic"_s, ImageKind::modern},  {u"jxl"_s, ImageKind::modern},
        {u"png"_s, ImageKind::lossless}, {u"tif"_s, ImageKind::lossless},
        {u"gif"_s, ImageKind::other},    {u"cr3"_s, ImageKind::raw},
        {u"nef"_s, ImageKind::raw},      {u"dng"_s, ImageKind::raw},
        {u"mov"_s, ImageKind::video},    {u"mp4"_s, ImageKind::video},
    };
    return name.contains(QLatin1Char('.')) ? kinds.value(extension, ImageKind::none)
                                           : ImageKind::jpeg;
}

static QString nfd(const QString &text)
{
    return text.normalized(QString::NormalizationForm_D);
}

class tst_Companions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void group_data();
    void group();
    void pairedNames_data();
    void pairedNames();
    void badge_data();
    void badge();
};

void tst_Companions::group_data()
{
    QTest::addColumn<QString>("listed"); // the folder's files in listing order, " " between
    QTest::addColumn<bool>("together");
    QTest::addColumn<QString>("shots"); // shots split by " | ", members by " ", shown first

    const auto row = [](const char *name, const QString &files, const QString &shots,
                        bool together = true) { QTest::newRow(name) << files << together << shots; };
    row("RAW+JPEG and a stem sidecar", u"IMG_1.CR3 IMG_1.JPG IMG_1.xmp"_s,
        u"IMG_1.JPG IMG_1.CR3 IMG_1.xmp"_s);
    row("stems differ in letter case", u"img_1.cr3 IMG_1.JPG Img_1.XMP"_s,
        u"IMG_1.JPG img_1.cr3 Img_1.XMP"_s);
    row("stems differ in normalization", nfd(u"Été.CR3 "_s) + u"Été.jpg "_s + nfd(u"Été.pp3"_s),
        u"Été.jpg "_s + nfd(u"Été.CR3 Été.pp3"_s));
    row("whole-name and stem sidecars", u"a.xmp a.CR3.xmp a.CR3 a.jpg"_s,
        u"a.jpg a.CR3 a.CR3.xmp a.xmp"_s);
    row("json only names an image", u"a.jpg a.json a.jpg.json b.json"_s, u"a.jpg a.jpg.json"_s);
    row("two JPEGs and one RAW", u"a.nef a.jpg A.JPG"_s, u"A.JPG a.jpg a.nef"_s);
    row("dots inside names", u"IMG.0005.CR3 IMG.0005.JPG IMG.0005.JPG.json IMG.xmp"_s,
        u"IMG.0005.JPG IMG.0005.CR3 IMG.0005.JPG.json"_s);
    row("a stem that looks like a whole name", u"a.CR3.xmp a.CR3.jpg"_s, u"a.CR3.jpg a.CR3.xmp"_s);
    row("shown member by kind", u"a.dng a.png a.heic a.gif"_s, u"a.heic a.png a.gif a.dng"_s);
    row("a Live Photo: the still shown, its video along",
        u"IMG_1.MOV IMG_1.HEIC IMG_2.MP4 IMG_2.THM"_s,
        u"IMG_1.HEIC IMG_1.MOV | IMG_2.MP4 IMG_2.THM"_s);
    row("orphans and other files", u"lonely.xmp notes.txt b.png b.dop c.aae"_s, u"b.png b.dop"_s);
    row("no extension", u"scan scan.xmp"_s, u"scan scan.xmp"_s);
    row("Takeout's metadata names", u"a.jpg a.jpg.supplemental-metadata.json b.jpg.json"_s,
        u"a.jpg"_s);
    row("shots in listing order", u"b.jpg a.jpg b.cr3 c.thm"_s, u"b.jpg b.cr3 | a.jpg"_s);
    row("apart: images alone, exact sidecars follow", u"x.jpg x.png x.jpg.xmp x.xmp"_s,
        u"x.jpg x.jpg.xmp | x.png"_s, false);
    row("apart: a lone image keeps its stem sidecar", u"y.CR3 y.xmp y.CR3.json"_s,
        u"y.CR3 y.CR3.json y.xmp"_s, false);
}

void tst_Companions::group()
{
    QFETCH(QString, listed);
    QFETCH(bool, together);
    const QStringList files = listed.split(u' ');
    QFETCH(QString, shots);

    const CompanionRule rule = together ? CompanionRule::together : CompanionRule::apart;
    QList<Companions::ListedFile> entries;
    Companions::SidecarOwners owners(rule);
    for (const QString &name : files) {
        entries.append({name, kindOf(name)});
        if (entries.last().kind != ImageKind::none) {
            owners.addImage(name);
        }
    }
    QStringList described;
    QSet<qsizetype> inShots;
    for (const QList<qsizetype> &shot : Companions::group(entries, rule)) {
        QStringList members;
        for (const qsizetype i : shot) {
            members.append(files[i]);
            inShots.insert(i);
        }
        described.append(members.join(QLatin1Char(' ')));
    }
    QCOMPARE(described.join(u" | "_s), shots);
    // The folder check tells sidecars in a shot from orphans by hashes alone: it must agree.
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (entries[i].kind == ImageKind::none && Companions::isSidecarName(files[i])) {
            QVERIFY2(owners.hasOwner(Companions::SidecarOwners::sidecar(files[i])) == inShots.contains(i),
                     qPrintable(files[i]));
        }
    }
}

void tst_Companions::pairedNames_data()
{
    QTest::addColumn<QString>("names"); // "|" between
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("expected");

    const QString shot = u"IMG_0005.JPG|IMG_0005.CR3|IMG_0005.xmp|IMG_0005.CR3.xmp"_s;
    QTest::newRow("four members")
        << shot << 2 << u"IMG_0005 2.JPG|IMG_0005 2.CR3|IMG_0005 2.xmp|IMG_0005 2.CR3.xmp"_s;
    QTest::newRow("number 1 keeps the names") << shot << 1 << shot;
    QTest::newRow("dots inside the stem")
        << u"IMG.0005.JPG|IMG.0005.JPG.json"_s << 3 << u"IMG.0005 3.JPG|IMG.0005 3.JPG.json"_s;
    QTest::newRow("stems in other cases")
        << u"IMG_1.JPG|img_1.cr3"_s << 2 << u"IMG_1 2.JPG|img_1 2.cr3"_s;
    QTest::newRow("stems in other normalizations")
        << u"Été.jpg|"_s + nfd(u"Été.CR3.xmp"_s) << 2 << u"Été 2.jpg|"_s + nfd(u"Été 2.CR3.xmp"_s);
    QTest::newRow("no extension") << u"scan|scan.xmp"_s << 4 << u"scan 4|scan 4.xmp"_s;
    QTest::newRow("a bare trailing dot") << u"a."_s << 2 << u"a 2"_s;
    QTest::newRow("a leading dot is no extension") << u".jpg"_s << 2 << u".jpg 2"_s;
}

void tst_Companions::pairedNames()
{
    QFETCH(QString, names);
    QFETCH(int, number);
    QFETCH(QString, expected);
    QCOMPARE(Companions::pairedNames(names.split(u'|'), number), expected.split(u'|'));
}

void tst_Companions::badge_data()
{
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<QString>("badge");

    QTest::newRow("alone") << QStringList{u"a.jpg"_s} << QString();
    QTest::newRow("RAW+JPEG") << QStringList{u"a.JPG"_s, u"a.CR3"_s} << u"RAW+JPG"_s;
    QTest::newRow("RAW+JPEG with sidecars")
        << QStringList{u"a.jpeg"_s, u"a.nef"_s, u"a.xmp"_s, u"a.nef.xmp"_s, u"a.pp3"_s} << u"RAW+JPG+XMP+PP3"_s;
    QTest::newRow("one image and a sidecar") << QStringList{u"a.heic"_s, u"a.AAE"_s} << u"+AAE"_s;
    QTest::newRow("two formats") << QStringList{u"a.jpg"_s, u"a.png"_s} << u"JPG+PNG"_s;
    QTest::newRow("a RAW with its edits") << QStringList{u"a.dng"_s, u"a.dng.xmp"_s} << u"+XMP"_s;
    QTest::newRow("Live Photo") << QStringList{u"a.HEIC"_s, u"a.MOV"_s, u"a.AAE"_s}
                                << u"LIVE+AAE"_s;
    QTest::newRow("RAW+JPEG and a video")
        << QStringList{u"a.JPG"_s, u"a.CR3"_s, u"a.MP4"_s} << u"RAW+JPG+LIVE"_s;
    QTest::newRow("a video and its camera's thumbnail")
        << QStringList{u"a.MP4"_s, u"a.THM"_s} << u"+THM"_s;
}

void tst_Companions::badge()
{
    QFETCH(QStringList, members);
    QFETCH(QString, badge);
    QList<ImageKind> kinds;
    for (const QString &name : std::as_const(members)) {
        kinds.append(kindOf(name));
    }
    QCOMPARE(Companions::badge(members, kinds), badge);
}

QTEST_APPLESS_MAIN(tst_Companions)
#include "tst_Companions.moc"
