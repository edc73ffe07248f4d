#include "support/StoreFixture.h"

#include "Samples/SamplePhotos.h"

#include <QTimeZone>

using namespace Qt::StringLiterals;
using namespace TestFolders;

// The date-taken order in the store: restored from the settings, applied as the capture times
// arrive from the background read (the listing knows only file times), kept when the folder is
// listed again, and kept by filing and undo, so a photo filed away and back returns to its
// place.
class tst_CollectionStoreDateTaken : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void orderHoldsUnderFilingAndUndo();
};

namespace {

// A JPEG taken at `time` (hh:mm:ss.zzz on 2024-05-03, UTC) with its file time at `fileTime`.
void writeTaken(const QString &root, const QString &name, const QString &time, qint64 fileTime)
{
    QByteArray bytes = SamplePhotos::encodeJpeg(SamplePhotos::makeImage(16, 12, 1));
    if (!time.isEmpty()) {
        const QDateTime taken(QDate(2024, 5, 3), QTime::fromString(time, u"HH:mm:ss.zzz"_s),
                              QTimeZone::utc());
        bytes = SamplePhotos::withExifBlock(bytes, SamplePhotos::cameraExif(taken));
    }
    setModificationTime(writeFile(root, name, bytes), fileTime);
}

} // namespace

void tst_CollectionStoreDateTaken::orderHoldsUnderFilingAndUndo()
{
    qputenv("TZ", "UTC");
    StoreFixture f;
    // 10:00:00 UTC on 2024-05-03; file times run against the times taken.
    constexpr qint64 ten = 1714730400;
    writeTaken(f.path(), u"IMG_3.jpg"_s, u"10:00:03.000"_s, ten - 10);
    writeTaken(f.path(), u"IMG_10.jpg"_s, u"10:00:01.000"_s, ten - 20);
    writeTaken(f.path(), u"IMG_1.jpg"_s, u"10:00:01.000"_s, ten - 30);
    writeTaken(f.path(), u"burst_b.jpg"_s, u"10:00:00.250"_s, ten - 40);
    writeTaken(f.path(), u"burst_a.jpg"_s, u"10:00:00.750"_s, ten - 50);
    writeTaken(f.path(), u"scan.jpg"_s, {}, ten + 2); // records nothing: its file time stands in
    writeTaken(f.path(), u"Keepers/K_2.jpg"_s, u"10:00:04.000"_s, ten - 60);
    writeTaken(f.path(), u"Keepers/K_1.jpg"_s, u"10:00:01.000"_s, ten - 70);
    f.settings->setValue(u"photoSortOrder"_s, u"dateTaken"_s);
    CollectionStore &store = f.make();
    QCOMPARE(store.sortOrder(), PhotoSortOrder::dateTaken);
    QVERIFY(f.open());

    const QString unsorted = f.names(u"Unsorted"_s).join(u' ');
    QCOMPARE(unsorted, u"burst_b.jpg burst_a.jpg IMG_1.jpg IMG_10.jpg scan.jpg IMG_3.jpg"_s);
    QCOMPARE(f.names(u"Keepers"_s).join(u' '), u"K_1.jpg K_2.jpg"_s);

    // Listed again, the folder keeps its order: the times read are carried over, not read anew.
    const qint64 headersRead = store.dimensionFill().headersRead();
    store.reloadFromDisk();
    QVERIFY(f.settle());
    QCOMPARE(f.names(u"Unsorted"_s).join(u' '), unsorted);
    QCOMPARE(store.dimensionFill().headersRead(), headersRead);

    const QString id = f.idOf(u"IMG_1.jpg"_s);
    store.select(id, f.sectionNamed(u"Unsorted"_s)->id, Qt::NoModifier);
    store.moveSelectionToDigit(1);
    // At once, before K_1 taken at the same moment: by name.
    QCOMPARE(f.names(u"Keepers"_s).join(u' '), u"IMG_1.jpg K_1.jpg K_2.jpg"_s);
    QVERIFY(f.settle());
    QVERIFY(QFile::exists(f.path(u"Keepers/IMG_1.jpg"_s)));
    QCOMPARE(f.names(u"Keepers"_s).join(u' '), u"IMG_1.jpg K_1.jpg K_2.jpg"_s);

    // Put back by the listing of both folders, with the time it was taken carried over: in its
    // place at once, never first where its file time would put it.
    f.undoStack.undo();
    QVERIFY(f.settle());
    QVERIFY(QFile::exists(f.path(u"IMG_1.jpg"_s)));
    QCOMPARE(f.names(u"Unsorted"_s).join(u' '), unsorted);
    QCOMPARE(f.names(u"Keepers"_s).join(u' '), u"K_1.jpg K_2.jpg"_s);
    QCOMPARE(f.idOf(u"IMG_1.jpg"_s), id);
    QCOMPARE(store.dimensionFill().headersRead(), headersRead);
}

QTEST_GUILESS_MAIN(tst_CollectionStoreDateTaken)
#include "tst_CollectionStoreDateTaken.moc"
