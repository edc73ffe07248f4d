// A window onto part of a file read as a device of its own: every read stays inside the window,
// at the file's bytes the window's positions stand for; anything but a regular file is refused.

#include "Services/FileRangeDevice.h"

#include "support/TestFolders.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kFileSize = 1000;

// Neighbouring bytes always differ, so an off-by-one read shows.
QByteArray fileBytes()
{
    QByteArray bytes(kFileSize, Qt::Uninitialized);
    for (qint64 i = 0; i < kFileSize; ++i) {
        bytes[i] = char(i % 251);
    }
    return bytes;
}

// The window [offset, offset + length) is `size` bytes; reading `count` at `seekTo` yields `got`
// bytes, the file's from offset + seekTo on.
struct Read
{
    qint64 offset, length, size, seekTo, count, got;
};

struct Refusal
{
    QString kind; // what stands at the path: file, link (to a file), fifo, folder or missing
    qint64 offset = 0, length = 10;
    QIODevice::OpenMode mode = QIODevice::ReadOnly;
};

} // namespace

Q_DECLARE_METATYPE(Read)
Q_DECLARE_METATYPE(Refusal)

class tst_FileRangeDevice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsOnlyTheWindow_data()
    {
        QTest::addColumn<Read>("r");
        QTest::newRow("start") << Read{100, 200, 200, 0, 10, 10};
        QTest::newRow("middle") << Read{100, 200, 200, 50, 20, 20};
        QTest::newRow("last byte") << Read{100, 200, 200, 199, 1, 1};
        QTest::newRow("read across the end") << Read{100, 200, 200, 190, 50, 10};
        QTest::newRow("exactly at the end") << Read{100, 200, 200, 200, 1, 0};
        QTest::newRow("seek past the end") << Read{100, 200, 200, 250, 10, 0};
        QTest::newRow("the whole window at once") << Read{100, 200, 200, 0, 1000, 200};
        QTest::newRow("window past the file's end") << Read{900, 500, 100, 90, 50, 10};
        QTest::newRow("to the end, from the start")
            << Read{0, FileRangeDevice::toTheEnd, kFileSize, 995, 10, 5};
        QTest::newRow("one byte, the file's last") << Read{kFileSize - 1, 1, 1, 0, 4, 1};
    }

    void readsOnlyTheWindow()
    {
        QFETCH(Read, r);
        QTemporaryDir dir;
        const QByteArray bytes = fileBytes();
        FileRangeDevice device(TestFolders::writeFile(dir.path(), u"clip.bin"_s, bytes), r.offset,
                               r.length);
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(device.size(), r.size);
        QVERIFY(device.seek(r.seekTo));
        QCOMPARE(device.read(r.count), bytes.mid(r.offset + r.seekTo, r.got));
        const qint64 at = r.seekTo + r.got;
        QCOMPARE(device.pos(), at);
        QCOMPARE(device.atEnd(), at >= r.size);
        // Reading on from there, then from the start again, keeps to the window.
        QCOMPARE(device.readAll(), bytes.mid(r.offset + at, std::max(0LL, r.size - at)));
        QVERIFY(device.seek(0));
        QCOMPARE(device.readAll(), bytes.mid(r.offset, r.size));
    }

    void refuses_data()
    {
        QTest::addColumn<Refusal>("r");
        QTest::newRow("missing file") << Refusal{u"missing"_s};
        QTest::newRow("FIFO") << Refusal{u"fifo"_s};
        QTest::newRow("link to the file") << Refusal{u"link"_s};
        QTest::newRow("folder") << Refusal{u"folder"_s};
        QTest::newRow("window starts at the file's end") << Refusal{u"file"_s, kFileSize};
        QTest::newRow("empty window") << Refusal{u"file"_s, 10, 0};
        QTest::newRow("negative offset") << Refusal{u"file"_s, -1};
        QTest::newRow("negative length") << Refusal{u"file"_s, 0, -5};
        QTest::newRow("for writing") << Refusal{u"file"_s, 0, 10, QIODevice::ReadWrite};
        QTest::newRow("for appending") << Refusal{u"file"_s, 0, 10, QIODevice::Append};
    }

    // Only a regular file opens (a FIFO would block the opening thread), never for writing.
    void refuses()
    {
        QFETCH(Refusal, r);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"x.jpg"_s);
        if (r.kind == u"file") {
            TestFolders::writeFile(dir.path(), u"x.jpg"_s, fileBytes());
        } else if (r.kind == u"link") {
            QVERIFY(QFile::link(TestFolders::writeFile(dir.path(), u"real.jpg"_s), path));
        } else if (r.kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (r.kind == u"folder") {
            TestFolders::makeFolder(dir.path(), u"x.jpg"_s);
        }
        FileRangeDevice device(path, r.offset, r.length);
        QVERIFY(!device.open(r.mode));
        QVERIFY(!device.isOpen());
        QCOMPARE(device.read(10), QByteArray());
        QCOMPARE(device.write("x"), -1);
        if (r.kind == u"file") {
            QCOMPARE(TestFolders::readFile(path), fileBytes());
        }
    }
};

QTEST_GUILESS_MAIN(tst_FileRangeDevice)
#include "tst_FileRangeDevice.moc"
