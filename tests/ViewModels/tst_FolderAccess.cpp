#include "ViewModels/FolderAccess.h"

#include <QTest>

// Which volume answers for a folder, and what each refusal says: the rules the store asks before
// any disk work, without a store or a mount.

using namespace Qt::StringLiterals;

namespace {

Volume mounted(const QString &type, const QString &mountPoint, bool readOnly = false)
{
    return Volume::describe({mountPoint, u"/"_s, type, u"//nas/photos"_s, readOnly});
}

// /home/ana/Photos on a local disk; a share on Trips, a card on Trips/Card and one through
// fusefat on Trips/FAT inside it.
FolderAccess access(bool cardReadOnly)
{
    FolderAccess access;
    access.setVolumes(u"/home/ana/Photos"_s,
                      {Volume(),
                       {mounted(u"cifs"_s, u"/home/ana/Photos/Trips"_s),
                        mounted(u"exfat"_s, u"/home/ana/Photos/Trips/Card"_s, cardReadOnly),
                        mounted(u"fuse.fusefat"_s, u"/home/ana/Photos/Trips/FAT"_s)}});
    return access;
}

} // namespace

class tst_FolderAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusals_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("alert"); // "title: message"; empty: may run

        const auto row = [](const char *name, FolderAccess::Command command, QStringList folders,
                            const QString &destination, QStringList names, const QString &alert) {
            QTest::newRow(name) << int(command) << folders << destination << names << alert;
        };
        using C = FolderAccess::Command;
        const QString root = u"/home/ana/Photos"_s;
        const QString card = u"/home/ana/Photos/Trips/Card"_s;
        row("a locked card, the innermost mount", C::move, {root, card}, card, {u"a.jpg"_s},
            u"Couldn’t Move Photos: “Card” is read-only: nothing in it can be added, moved, "
            "renamed or removed. If it’s a memory card, check its lock switch."_s);
        row("a folder beside the card is the share's", C::move, {root, card + u" 2"_s},
            card + u" 2"_s, {u"a?.jpg"_s},
            u"Couldn’t Move Photos: “a?.jpg” can’t be moved to “Card 2”. Names on this volume "
            "can’t contain “?”. Nothing was moved."_s);
        row("the share's rules inside it", C::copyIn, {root + u"/Trips/Rome"_s},
            root + u"/Trips/Rome"_s, {u"a.jpg"_s, u"b?.jpg"_s},
            u"Couldn’t Copy Photos: “b?.jpg” can’t be copied to “Rome”. Names on this volume "
            "can’t contain “?”. Nothing was copied."_s);
        row("a category name on the local disk", C::newCategory, {root}, root, {u"a:b"_s},
            QString());
        row("a category name too long for ext4", C::renameCategory, {root}, root,
            {QString(128, u'é')},
            u"Couldn’t Rename Category: The name is too long for this volume: 256 bytes, at most "
            "255."_s);
        row("undo on a writable collection", C::undo, {root}, QString(), {}, QString());
        const QString fat = root + u"/Trips/FAT"_s;
        row("a category renamed on fusefat", C::renameCategory, {root + u"/Trips"_s, fat}, fat,
            {u"Rome"_s},
            u"Couldn’t Rename Category: “FAT” loses the photos of a folder it renames, so "
            "categories can’t be renamed there. Create a new category and move the photos into "
            "it instead."_s);
        row("a category made on fusefat", C::newCategory, {fat}, fat, {u"Rome"_s}, QString());
    }

    void refusals()
    {
        QFETCH(int, command);
        QFETCH(QStringList, folders);
        QFETCH(QString, destination);
        QFETCH(QStringList, names);
        QFETCH(QString, alert);
        const std::optional<UserFacingAlert> refusal = access(true).refusal(
            FolderAccess::Command(command), folders, destination, names);
        QCOMPARE(refusal ? refusal->title + u": "_s + refusal->message : QString(), alert);
    }

    void readOnlyRootIsNamedByItsFolder()
    {
        FolderAccess local;
        Volume volume;
        volume.readOnly = true;
        local.setVolumes(u"/home/ana/Photos"_s, {volume, {}});
        QCOMPARE(local.refusal(FolderAccess::Command::trash, {u"/home/ana/Photos/Cats"_s})->message,
                 u"“Photos” is read-only: nothing in it can be added, moved, renamed or "
                 "removed."_s);
        QVERIFY(!access(false).refusal(FolderAccess::Command::trash,
                                       {u"/home/ana/Photos/Trips/Card"_s}));
    }
};

QTEST_APPLESS_MAIN(tst_FolderAccess)
#include "tst_FolderAccess.moc"
