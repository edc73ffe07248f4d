#include "Models/BrowsePhotoItem.h"
#include "Models/Photo.h"

#include <QTest>

using namespace Qt::StringLiterals;

static Photo photoOfSize(qint64 width, qint64 height)
{
    Photo photo;
    photo.id = u"1:2"_s;
    photo.url = QUrl::fromLocalFile(u"/photos/IMG_1.jpg"_s);
    photo.filename = u"IMG_1.jpg"_s;
    photo.pixelWidth = width;
    photo.pixelHeight = height;
    return photo;
}

class tst_Photo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dimensions_data()
    {
        QTest::addColumn<qint64>("width");
        QTest::addColumn<qint64>("height");
        QTest::addColumn<QString>("label");
        QTest::addColumn<double>("aspect");
        QTest::addColumn<qint64>("pixelCount");

        QTest::newRow("landscape")
            << 4032LL << 3024LL << u"4032 × 3024"_s << 4032.0 / 3024 << 4032LL * 3024;
        QTest::newRow("unread") << 0LL << 0LL << u"—"_s << 1.0 << 0LL;
        QTest::newRow("zero width") << 0LL << 300LL << u"—"_s << 1.0 << 0LL;
        QTest::newRow("zero height") << 300LL << 0LL << u"—"_s << 1.0 << 0LL;
        QTest::newRow("1 x 100 raised to 0.05") << 1LL << 100LL << u"1 × 100"_s << 0.05 << 100LL;
        QTest::newRow("100 x 1 not capped") << 100LL << 1LL << u"100 × 1"_s << 100.0 << 100LL;
        QTest::newRow("hostile header")
            << 100000LL << 100000LL << u"100000 × 100000"_s << 1.0 << 10000000000LL;
    }

    void dimensions()
    {
        QFETCH(qint64, width);
        QFETCH(qint64, height);
        QFETCH(QString, label);
        QFETCH(double, aspect);
        QFETCH(qint64, pixelCount);
        const Photo photo = photoOfSize(width, height);
        QCOMPARE(photo.dimensionsLabel(), label);
        QCOMPARE(photo.aspectRatio(), aspect);
        QCOMPARE((BrowsePhotoItem{photo, u"unsorted:1"_s, u"Unsorted"_s}.pixelCount()), pixelCount);
    }

    void cacheKeyTimeText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<int>("nanoseconds");
        QTest::addColumn<QString>("key");
        const QString prefix = u"/photos/IMG_1.jpg|"_s;
        QTest::newRow("reference date") << 978307200LL << 0 << prefix + u"0|42"_s;
        QTest::newRow("half a second after") << 978307200LL << 500000000 << prefix + u"0.5|42"_s;
        QTest::newRow("half a second before") << 978307199LL << 500000000 << prefix + u"-0.5|42"_s;
        QTest::newRow("nanosecond precision")
            << 1700000000LL << 1 << prefix + u"721692800.000000001|42"_s;
        QTest::newRow("distant past")
            << FileTime::distantPastSeconds << 0 << prefix + u"-63113904000|42"_s;
    }

    void cacheKeyTimeText()
    {
        QFETCH(qint64, seconds);
        QFETCH(int, nanoseconds);
        QFETCH(QString, key);
        Photo photo = photoOfSize(1, 1);
        photo.url = QUrl::fromLocalFile(u"/photos/./x/../IMG_1.jpg"_s);
        photo.byteCount = 42;
        photo.modificationDate = {seconds, qint32(nanoseconds)};
        QCOMPARE(photo.cacheKey(), key);
    }

    // Every field makes two photos differ; a move, a touch or a byte more also changes the
    // thumbnail cache key.
    void equalityCoversEveryField()
    {
        const Photo base = photoOfSize(3, 2);
        QList<Photo> variants(10, base);
        variants[0].url = QUrl::fromLocalFile(u"/photos/Cats/IMG_1.jpg"_s);
        variants[1].modificationDate.nanoseconds += 1;
        variants[2].byteCount += 1;
        variants[3].id = u"other"_s;
        variants[4].filename = u"other.jpg"_s;
        variants[5].modificationDate.seconds = 5;
        variants[6].pixelWidth = 4;
        variants[7].pixelHeight = 4;
        variants[8].durationMs = 1;
        variants[9].embeddedVideo = true;
        for (qsizetype i = 0; i < variants.size(); ++i) {
            QVERIFY2(!(variants[i] == base), qPrintable(QString::number(i)));
            QVERIFY2(i > 2 || variants[i].cacheKey() != base.cacheKey(),
                     qPrintable(QString::number(i)));
        }
        QCOMPARE(Photo(base), base);
        QCOMPARE(qHash(Photo(base)), qHash(base));
    }

    // A video's length as its cell shows it, and the tag a motion photo's cell wears.
    void videoLabels_data()
    {
        QTest::addColumn<QString>("members"); // the shown file first, " " between
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<bool>("embeddedVideo");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("badge");

        const auto row = [](const char *name, const QString &members, qint64 ms, bool embedded,
                            const QString &duration, const QString &badge) {
            QTest::newRow(name) << members << ms << embedded << duration << badge;
        };
        row("a short clip never reads 0:00", u"a.mp4"_s, 400, false, u"0:01"_s, QString());
        row("seconds round", u"a.mov"_s, 12'500, false, u"0:13"_s, QString());
        row("minutes", u"a.mov a.thm"_s, 62'000, false, u"1:02"_s, u"+THM"_s);
        row("hours", u"a.mts"_s, 3'723'000, false, u"1:02:03"_s, QString());
        row("length unknown", u"a.mp4"_s, 0, false, QString(), QString());
        row("a still has no length", u"a.jpg a.mov"_s, 5'000, false, QString(), u"LIVE"_s);
        row("motion photo", u"a.jpg"_s, 0, true, QString(), u"MOTION"_s);
        row("motion photo with a RAW", u"a.jpg a.dng a.xmp"_s, 0, true, QString(),
            u"MOTION+RAW+JPG+XMP"_s);
        row("motion photo with a sidecar", u"a.jpg a.xmp"_s, 0, true, QString(), u"MOTION+XMP"_s);
    }

    void videoLabels()
    {
        QFETCH(QString, members);
        QFETCH(qint64, durationMs);
        QFETCH(bool, embeddedVideo);
        const auto kindOf = [](const QString &name) {
            const QString extension = name.section(u'.', -1);
            return extension == u"jpg"_s                            ? ImageKind::jpeg
                   : extension == u"dng"_s                          ? ImageKind::raw
                   : extension == u"xmp"_s || extension == u"thm"_s ? ImageKind::none
                                                                    : ImageKind::video;
        };
        const QStringList names = members.split(u' ');
        Photo photo = photoOfSize(3, 2);
        photo.filename = names[0];
        photo.kind = kindOf(names[0]);
        for (const QString &name : names.mid(1)) {
            photo.companions.append({name, name, {}, 1, kindOf(name)});
        }
        photo.durationMs = durationMs;
        photo.embeddedVideo = embeddedVideo;
        QTEST(photo.durationLabel(), "duration");
        QTEST(photo.companionBadge(), "badge");
    }

    void browseItemSortKeysFoldCaseAndDiacritics()
    {
        Photo photo = photoOfSize(1, 1);
        photo.filename = u"Été.JPG"_s;
        const BrowsePhotoItem item{photo, u"category:9"_s, u"Ångström"_s};
        QCOMPARE(item.filenameSortKey(), u"ete.jpg"_s);
        QCOMPARE(item.categorySortKey(), u"angstrom"_s);
    }
};

QTEST_APPLESS_MAIN(tst_Photo)
#include "tst_Photo.moc"
