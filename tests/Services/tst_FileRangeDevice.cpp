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

// Byte i of the file: never the same for neighbours, so an off-by-one read shows.
QByteArray fileBytes()
{
    QByteArray bytes(kFileSize, Qt::Uninitialized);
    for (qint64 i = 0; i < kFileSize; ++i) {
        bytes[i] = char(i % 251);
    }
    return bytes;
}

} // namespace

class tst_FileRangeDevice : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void readsOnlyTheWindow_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<qint64>("size"); // of the window
        QTest::addColumn<qint64>("seekTo");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("from"); // the file's bytes expected: [from, from + got)
        QTest::addColumn<qint64>("got");

        // The window [100, 300) of a 1000-byte file.
        QTest::newRow("start") << 100LL << 200LL << 200LL << 0LL << 10LL << 100LL << 10LL;
        QTest::newRow("middle") << 100LL << 200LL << 200LL << 50LL << 20LL << 150LL << 20LL;
        QTest::newRow("last byte") << 100LL << 200LL << 200LL << 199LL << 1LL << 299LL << 1LL;
        QTest::newRow("read across the end")
            << 100LL << 200LL << 200LL << 190LL << 50LL << 290LL << 10LL;
        QTest::newRow("exactly at the end")
            << 100LL << 200LL << 200LL << 200LL << 1LL << 0LL << 0LL;
        QTest::newRow("seek past the end")
            << 100LL << 200LL << 200LL << 250LL << 10LL << 0LL << 0LL;
        QTest::newRow("the whole window at once")
            << 100LL << 200LL << 200LL << 0LL << 1000LL << 100LL << 200LL;
        // A window the file does not fill is cut to the file's end.
        QTest::newRow("window past the file's end")
            << 900LL << 500LL << 100LL << 90LL << 50LL << 990LL << 10LL;
        QTest::newRow("to the end, from the start")
            << 0LL << FileRangeDevice::toTheEnd << kFileSize << 995LL << 10LL << 995LL << 5LL;
        QTest::newRow("one byte, the file's last")
            << kFileSize - 1 << 1LL << 1LL << 0LL << 4LL << kFileSize - 1 << 1LL;
    }

    void readsOnlyTheWindow()
    {
        QFETCH(qint64, offset);
        QFETCH(qint64, length);
        QFETCH(qint64, size);
        QFETCH(qint64, seekTo);
        QFETCH(qint64, count);
        QFETCH(qint64, from);
        QFETCH(qint64, got);
        const QByteArray bytes = fileBytes();
        FileRangeDevice device(TestFolders::writeFile(m_dir.path(), u"clip.bin"_s, bytes), offset,
                               length);
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(device.size(), size);
        QVERIFY(device.seek(seekTo));
        QCOMPARE(device.read(count), bytes.mid(from, got));
        QCOMPARE(device.pos(), seekTo + got);
        QCOMPARE(device.atEnd(), seekTo + got >= size);
        // Reading on from there, then from the start again, keeps to the window.
        QCOMPARE(device.readAll(),
                 bytes.mid(offset + seekTo + got, std::max(0LL, size - seekTo - got)));
        QVERIFY(device.seek(0));
        QCOMPARE(device.readAll(), bytes.mid(offset, size));
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("mode"); // QIODevice::OpenMode

        const int read = QIODevice::ReadOnly;
        QTest::newRow("missing file") << u"missing"_s << 0LL << 10LL << read;
        QTest::newRow("FIFO") << u"fifo"_s << 0LL << 10LL << read;
        QTest::newRow("link to the file") << u"link"_s << 0LL << 10LL << read;
        QTest::newRow("folder") << u"folder"_s << 0LL << 10LL << read;
        QTest::newRow("window starts at the file's end") << u"file"_s << kFileSize << 10LL << read;
        QTest::newRow("empty window") << u"file"_s << 10LL << 0LL << read;
        QTest::newRow("negative offset") << u"file"_s << -1LL << 10LL << read;
        QTest::newRow("negative length") << u"file"_s << 0LL << -5LL << read;
        QTest::newRow("for writing") << u"file"_s << 0LL << 10LL << int(QIODevice::ReadWrite);
        QTest::newRow("for appending") << u"file"_s << 0LL << 10LL << int(QIODevice::Append);
    }

    // Nothing but a regular file is opened (a FIFO would block the thread opening it), and
    // never for writing: the photo around the window is the user's.
    void refuses()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, offset);
        QFETCH(qint64, length);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"x.jpg"_s);
        const QByteArray bytes = fileBytes();
        if (kind == u"file" || kind == u"link") {
            TestFolders::writeFile(dir.path(), kind == u"file" ? u"x.jpg"_s : u"real.jpg"_s, bytes);
        }
        if (kind == u"link") {
            QVERIFY(QFile::link(dir.filePath(u"real.jpg"_s), path));
        } else if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"folder") {
            TestFolders::makeFolder(dir.path(), u"x.jpg"_s);
        }
        FileRangeDevice device(path, offset, length);
        QVERIFY(!device.open(QIODevice::OpenMode(mode)));
        QVERIFY(!device.isOpen());
        QCOMPARE(device.read(10), QByteArray());
        QCOMPARE(device.write("x"), -1);
        if (kind == u"file") {
            QCOMPARE(TestFolders::readFile(path), bytes);
        }
    }
};

QTEST_GUILESS_MAIN(tst_FileRangeDevice)
#include "tst_FileRangeDevice.moc"
