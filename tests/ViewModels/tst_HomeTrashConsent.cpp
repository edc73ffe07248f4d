#include "ViewModels/HomeTrashConsent.h"

#include <QTest>

// When photos whose volume has no trash of its own ask before the home trash takes them, and
// what the question says: by the volume of each photo's folder and the size of every file.

using namespace Qt::StringLiterals;

namespace {

const QString root = u"/home/ana/Photos"_s;

// A volume of file-system `type` mounted at `mountPoint`, with the name the header shows.
Volume mounted(const QString &type, const QString &mountPoint)
{
    Volume volume = Volume::describe({mountPoint, u"/"_s, type, u"/dev/sdz1"_s, false});
    volume.name = type == "exfat"_L1         ? u"EOS_R6"_s
                  : type == "cifs"_L1        ? u"NAS Photos"_s
                  : type == "fuse.bindfs"_L1 ? u"Mirror"_s
                                             : QString();
    return volume;
}

// "Trips/a.jpg 1000 20": a photo of 1000 bytes with a companion of 20, below the root.
Photo photo(const QString &description)
{
    const QStringList parts = description.split(u' ');
    Photo photo;
    photo.url = QUrl::fromLocalFile(root + u'/' + parts[0]);
    photo.filename = parts[0].section(u'/', -1);
    photo.byteCount = parts.value(1).toLongLong();
    for (const QString &size : parts.mid(2)) {
        photo.companions.append({photo.filename + u".xmp"_s, {}, {}, size.toLongLong()});
    }
    return photo;
}

} // namespace

class tst_HomeTrashConsent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void asksForRemoteOrLarge_data()
    {
        QTest::addColumn<QString>("rootType");
        QTest::addColumn<QString>("tripsType"); // a volume mounted on the root's Trips, if any
        QTest::addColumn<QStringList>("photos");
        QTest::addColumn<bool>("asks");
        QTest::addColumn<QString>("volumeName");
        QTest::addColumn<qint64>("byteCount");

        const qint64 limit = qint64(64) << 20;
        const QString atLimit = QString::number(limit), underLimit = QString::number(limit - 1);
        const auto add = [](const char *name, const char *rootType, const char *tripsType,
                            const QStringList &photos, bool asks, const char *volumeName,
                            qint64 byteCount) {
            QTest::newRow(name) << QString::fromUtf8(rootType) << QString::fromUtf8(tripsType)
                                << photos << asks << QString::fromUtf8(volumeName) << byteCount;
        };
        add("local disk, small: at once", "ext4", "", {u"a.jpg 2000"_s}, false, "", 2000);
        add("card, small: at once", "exfat", "", {u"a.jpg 2000"_s, u"b.jpg 3000 10"_s}, false,
            "EOS_R6", 5010);
        add("card, one byte under the limit: at once", "exfat", "", {u"a.jpg "_s + underLimit},
            false, "EOS_R6", limit - 1);
        add("card, at the limit: asks", "exfat", "", {u"a.jpg "_s + atLimit}, true, "EOS_R6",
            limit);
        add("local disk, at the limit: asks", "ext4", "", {u"a.jpg "_s + atLimit}, true, "", limit);
        add("companions count toward the limit", "exfat", "",
            {u"a.jpg 100 "_s + QString::number(limit - 100)}, true, "EOS_R6", limit);
        add("photos add up to the limit", "exfat", "",
            {u"a.jpg "_s + QString::number(limit / 2), u"b.jpg "_s + QString::number(limit / 2)},
            true, "EOS_R6", limit);
        add("share, one byte: asks", "cifs", "", {u"a.jpg 1"_s}, true, "NAS Photos", 1);
        add("FUSE mount, small: asks", "fuse.bindfs", "", {u"a.jpg 2000"_s}, true, "Mirror", 2000);
        add("share on a category, photo in it: asks, naming the share", "exfat", "cifs",
            {u"a.jpg 5"_s, u"Trips/b.jpg 7"_s}, true, "NAS Photos", 12);
        add("share on a category, photos beside it: at once", "exfat", "cifs",
            {u"a.jpg 5"_s, u"Tripsy/b.jpg 7"_s}, false, "EOS_R6", 12);
        add("nothing to trash: nothing to ask", "cifs", "", {}, false, "", 0);
    }

    void asksForRemoteOrLarge()
    {
        QFETCH(QString, rootType);
        QFETCH(QString, tripsType);
        QFETCH(QStringList, photos);
        QFETCH(bool, asks);
        QFETCH(QString, volumeName);
        QFETCH(qint64, byteCount);
        CollectionVolumes volumes{mounted(rootType, root), {}};
        if (!tripsType.isEmpty()) {
            volumes.inside.append(mounted(tripsType, root + u"/Trips"_s));
        }
        QList<Photo> trashed;
        for (const QString &description : std::as_const(photos)) {
            trashed.append(photo(description));
        }

        QCOMPARE(HomeTrashConsent::isNeeded(trashed, volumes), asks);
        const HomeTrashPrompt prompt = HomeTrashConsent::prompt(trashed, volumes);
        QCOMPARE(prompt.volumeName, volumeName);
        QCOMPARE(prompt.byteCount, byteCount);
        QCOMPARE(prompt.photos, trashed);
        QVERIFY(!prompt.id.isNull());
    }
};

QTEST_APPLESS_MAIN(tst_HomeTrashConsent)
#include "tst_HomeTrashConsent.moc"
