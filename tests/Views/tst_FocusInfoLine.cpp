#include "support/StoreFixture.h"

#include "Samples/SamplePhotos.h"
#include "Samples/TiffBuilder.h"
#include "Services/PhotoInfoReader.h"
#include "Views/FocusInfoLine.h"

#include <QMutex>
#include <QScopeGuard>

using namespace Qt::StringLiterals;
using namespace TestFolders;

// The focused photo's settings under the status strip: read off the window's thread, never
// blanked while the focus walks on, read once for the photo the focus stops on rather than for
// every photo it passes, and read again when the file changes.
class tst_FocusInfoLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheFocus();
};

namespace {

QByteArray shotAtIso(quint16 iso)
{
    TiffBuilder tiff;
    const int ifd0 = tiff.addIfd();
    tiff.addAscii(ifd0, 0x0110, "Calvenor C1");
    tiff.addShort(ifd0, 0x8827, iso);
    return SamplePhotos::withExifBlock(
        SamplePhotos::encodeJpeg(SamplePhotos::makeImage(16, 12, iso)), tiff.bytes());
}

// Lets reads through only while open; records what was read.
struct Gate
{
    QMutex mutex;
    bool open = true;
    QStringList read;

    PhotoInfo operator()(const QString &path)
    {
        while (true) {
            {
                const QMutexLocker lock(&mutex);
                if (open) {
                    read.append(QFileInfo(path).fileName());
                    break;
                }
            }
            QThread::msleep(1);
        }
        return PhotoInfoReader::read(path);
    }
    void set(bool value)
    {
        const QMutexLocker lock(&mutex);
        open = value;
    }
    QStringList reads()
    {
        const QMutexLocker lock(&mutex);
        return read;
    }
};

} // namespace

void tst_FocusInfoLine::followsTheFocus()
{
    StoreFixture f;
    for (const quint16 iso : {100, 200, 400, 800}) {
        writeFile(f.path(), u"iso%1.jpg"_s.arg(iso), shotAtIso(iso));
    }
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    Gate gate;
    FocusInfoLine line(store, [&gate](const QString &path) { return gate(path); });
    const auto reopen = qScopeGuard([&gate] { gate.set(true); }); // a failure must not hang

    const QString unsorted = f.sectionNamed(u"Unsorted"_s)->id;
    const auto focus = [&](int iso) {
        store.select(f.idOf(u"iso%1.jpg"_s.arg(iso)), unsorted, Qt::NoModifier);
    };
    QCOMPARE(line.text(), QString());

    focus(100);
    QTRY_COMPARE(line.text(), u"ISO 100 · Calvenor C1"_s);

    // Walking on while the reads wait: the line keeps what it shows, and only the photo being
    // read when the walk began and the one it ends on are read.
    gate.set(false);
    for (const int iso : {200, 400, 800}) {
        focus(iso);
        QCoreApplication::processEvents();
        QCOMPARE(line.text(), u"ISO 100 · Calvenor C1"_s);
    }
    // A read that takes long clears the line rather than show another photo's settings.
    QTRY_COMPARE(line.text(), QString());
    gate.set(true);
    QTRY_COMPARE(line.text(), u"ISO 800 · Calvenor C1"_s);
    QCOMPARE(gate.reads(), (QStringList{u"iso100.jpg"_s, u"iso200.jpg"_s, u"iso800.jpg"_s}));

    // Back to a photo read before: at once, from the cache.
    focus(100);
    QCoreApplication::processEvents();
    QCOMPARE(line.text(), u"ISO 100 · Calvenor C1"_s);
    QCOMPARE(gate.reads().size(), 3);

    // The file changes: its new version is read.
    const QString path = f.path(u"iso100.jpg"_s);
    writeFile(f.path(), u"iso100.jpg"_s, shotAtIso(3200));
    setModificationTime(path, QFileInfo(path).lastModified().toSecsSinceEpoch() + 10);
    store.reloadFromDisk();
    QVERIFY(f.settle());
    QTRY_COMPARE(line.text(), u"ISO 3200 · Calvenor C1"_s);
}

QTEST_MAIN(tst_FocusInfoLine)
#include "tst_FocusInfoLine.moc"
