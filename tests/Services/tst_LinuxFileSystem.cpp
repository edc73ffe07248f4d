#include "Services/Platform/LinuxFileSystem.h"
#include "Services/Platform/LinuxTrash.h"
#include "support/TestFolders.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestFolders;

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

bool exists(const QString &path)
{
    struct stat st;
    return ::lstat(encoded(path).constData(), &st) == 0;
}

struct stat statOf(const QString &path)
{
    struct stat st = {};
    ::lstat(encoded(path).constData(), &st);
    return st;
}

QString uidText()
{
    return QString::number(::getuid());
}

// What is at a path, so a test can show that a failed call changed nothing.
QString describe(const QString &path)
{
    const struct stat st = statOf(path);
    if (!exists(path)) {
        return QStringLiteral("nothing");
    }
    if (S_ISLNK(st.st_mode)) {
        return QStringLiteral("link to ") + QFileInfo(path).symLinkTarget();
    }
    if (S_ISDIR(st.st_mode)) {
        return QStringLiteral("folder holding ") +
               QDir(path)
                   .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                   .join(QLatin1Char(','));
    }
    return QStringLiteral("file holding ") + QString::fromUtf8(readFile(path));
}

// Every entry of a folder, hidden ones included: temporary copies must never stay behind.
QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

QByteArray patternBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        bytes[i] = char(i * 31 + i / 7);
    }
    return bytes;
}

// Lays out one entry of `kind` at `path`; "nothing" and "no parent" lay out nothing.
void makeEntry(const QString &kind, const QString &path)
{
    if (kind == QLatin1String("nothing") || kind == QLatin1String("no parent")) {
        return;
    }
    const QFileInfo info(path);
    QDir().mkpath(info.path());
    if (kind == QLatin1String("file")) {
        writeFile(info.path(), info.fileName(), info.fileName().toUtf8());
    } else if (kind == QLatin1String("folder")) {
        writeFile(path, QStringLiteral("inside.jpg"));
    } else if (kind == QLatin1String("empty folder")) {
        makeFolder(info.path(), info.fileName());
    } else if (kind == QLatin1String("dangling link")) {
        QVERIFY(QFile::link(info.path() + QStringLiteral("/nowhere"), path));
    }
}

template<typename T>
QString errorText(const Result<T> &result)
{
    return result ? QString() : result.error().message;
}

// The three lines of a .trashinfo, without "Key=".
QStringList infoValues(const QString &infoPath)
{
    const QStringList lines = QString::fromUtf8(readFile(infoPath)).split(QLatin1Char('\n'));
    if (lines.size() != 4 || lines[0] != QLatin1String("[Trash Info]") ||
        !lines[1].startsWith(QLatin1String("Path=")) ||
        !lines[2].startsWith(QLatin1String("DeletionDate=")) || !lines[3].isEmpty()) {
        return {QStringLiteral("malformed: ") + lines.join(QLatin1Char('|'))};
    }
    return {lines[1].mid(5), lines[2].mid(13)};
}

// Every move fails, to show that a failed move leaves no .trashinfo behind.
class FailingMoves : public LinuxFileSystem
{
public:
    Result<void> moveNoReplace(const QString &source, const QString &) override
    {
        return std::unexpected(FileSystemError::system(EIO, QStringLiteral("Couldn\u2019t move ") +
                                                                quotedName(source)));
    }
};

} // namespace

class tst_LinuxFileSystem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void moveKeepsIdentityWithinDevice_data();
    void moveKeepsIdentityWithinDevice();
    void moveNeverReplaces_data();
    void moveNeverReplaces();
    void copyKeepsBytesAndMode();
    void copyNeverReplaces();
    void copyRefusesAllButRegularFiles_data();
    void copyRefusesAllButRegularFiles();
    void folderAndFileWrites_data();
    void folderAndFileWrites();

    void trashWritesInfoThenMoves_data();
    void trashWritesInfoThenMoves();
    void trashPicksFreeName_data();
    void trashPicksFreeName();
    void trashFailedMoveLeavesNoInfo();
    void isTrashedItem_data();
    void isTrashedItem();
    void forgetTrashedItem();

    void crossDeviceMoveKeepsBytesModeAndTimes();
    void crossDeviceMoveNeverReplaces();
    void crossDeviceMoveRefusesFoldersAndLinks_data();
    void crossDeviceMoveRefusesFoldersAndLinks();
    void crossDeviceMoveOntoFullVolumeKeepsSource();
    void trashOnOtherVolume_data();
    void trashOnOtherVolume();

private:
    QString path(const QString &relative) const { return m_dir->path() + u'/' + relative; }
    QString homeTrash() const { return path(QStringLiteral("data/Trash")); }
    // Mounts a fresh tmpfs (another device) at `folder`; returns why it could not, or nothing.
    QString mountTmpfs(const QString &folder, const char *size);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_noPrivateMounts;
    QStringList m_mounts;
    LinuxFileSystem m_fs;
};

void tst_LinuxFileSystem::initTestCase()
{
    // A private mount namespace lets the test mount small volumes that nobody else sees and
    // that vanish with the process.
    if (::unshare(CLONE_NEWNS) != 0) {
        m_noPrivateMounts = QStringLiteral("no private mount namespace (unshare: ") +
                            QString::fromLocal8Bit(std::strerror(errno)) + u')';
    } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        m_noPrivateMounts = QStringLiteral("mounts cannot be made private: ") +
                            QString::fromLocal8Bit(std::strerror(errno));
    }
}

void tst_LinuxFileSystem::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("XDG_DATA_HOME", encoded(path(QStringLiteral("data"))));
}

void tst_LinuxFileSystem::cleanup()
{
    for (const QString &mount : std::as_const(m_mounts)) {
        ::umount2(encoded(mount).constData(), MNT_DETACH);
    }
    m_mounts.clear();
    m_dir.reset();
}

QString tst_LinuxFileSystem::mountTmpfs(const QString &folder, const char *size)
{
    if (!m_noPrivateMounts.isEmpty()) {
        return m_noPrivateMounts;
    }
    QDir().mkpath(folder);
    if (::mount("tmpfs", encoded(folder).constData(), "tmpfs", 0, size) != 0) {
        return QStringLiteral("cannot mount a tmpfs: ") +
               QString::fromLocal8Bit(std::strerror(errno));
    }
    m_mounts.append(folder);
    if (statOf(folder).st_dev == statOf(m_dir->path()).st_dev) {
        return QStringLiteral("the tmpfs is not another device");
    }
    return {};
}

void tst_LinuxFileSystem::moveKeepsIdentityWithinDevice_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("kind");

    QTest::newRow("rename a photo") << "IMG_1.jpg"
                                    << "IMG_2.jpg"
                                    << "file";
    QTest::newRow("photo into a category") << "IMG_1.jpg"
                                           << "Cats/IMG_1.jpg"
                                           << "file";
    QTest::newRow("hidden file") << ".notes"
                                 << "Cats/.notes 2"
                                 << "file";
    QTest::newRow("non-ASCII name") << "Été.jpg"
                                    << "Cats/Été 2.jpg"
                                    << "file";
    QTest::newRow("category with its photos") << "Cats"
                                              << "Dogs"
                                              << "folder";
    QTest::newRow("dangling link moves as a link") << "link"
                                                   << "Cats/link"
                                                   << "dangling link";
}

void tst_LinuxFileSystem::moveKeepsIdentityWithinDevice()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, kind);
    makeEntry(kind, path(source));
    QDir().mkpath(QFileInfo(path(destination)).path());
    const QString before = describe(path(source));
    const auto identity = m_fs.stat(path(source))->identity;

    const Result<void> moved = m_fs.moveNoReplace(path(source), path(destination));

    QVERIFY2(moved, qPrintable(errorText(moved)));
    QVERIFY(!exists(path(source)));
    QCOMPARE(describe(path(destination)), before);
    QCOMPARE(m_fs.stat(path(destination))->identity, identity); // renamed, not copied
}

void tst_LinuxFileSystem::moveNeverReplaces_data()
{
    QTest::addColumn<QString>("sourceKind");
    QTest::addColumn<QString>("destinationKind");

    QTest::newRow("file onto file") << "file"
                                    << "file";
    QTest::newRow("file onto empty folder") << "file"
                                            << "empty folder";
    QTest::newRow("file onto dangling link") << "file"
                                             << "dangling link";
    QTest::newRow("folder onto empty folder") << "folder"
                                              << "empty folder";
    QTest::newRow("folder onto folder") << "folder"
                                        << "folder";
    QTest::newRow("folder onto file") << "folder"
                                      << "file";
}

void tst_LinuxFileSystem::moveNeverReplaces()
{
    QFETCH(QString, sourceKind);
    QFETCH(QString, destinationKind);
    makeEntry(sourceKind, path(QStringLiteral("a/IMG_1.jpg")));
    makeEntry(destinationKind, path(QStringLiteral("b/IMG_1.jpg")));
    const QString source = describe(path(QStringLiteral("a/IMG_1.jpg")));
    const QString destination = describe(path(QStringLiteral("b/IMG_1.jpg")));

    const Result<void> moved = m_fs.moveNoReplace(path(QStringLiteral("a/IMG_1.jpg")),
                                                  path(QStringLiteral("b/IMG_1.jpg")));

    QVERIFY(!moved);
    QCOMPARE(moved.error().systemError, EEXIST);
    QVERIFY2(moved.error().message.startsWith(
                 QStringLiteral("Couldn\u2019t move \u201CIMG_1.jpg\u201D: ")),
             qPrintable(moved.error().message));
    QCOMPARE(describe(path(QStringLiteral("a/IMG_1.jpg"))), source);
    QCOMPARE(describe(path(QStringLiteral("b/IMG_1.jpg"))), destination);
}

void tst_LinuxFileSystem::copyKeepsBytesAndMode()
{
    // Larger than one copy buffer, so the copy loop runs more than once.
    const QByteArray bytes = patternBytes(2'500'000);
    const QString source = writeFile(m_dir->path(), QStringLiteral("IMG_1.jpg"), bytes);
    QCOMPARE(::chmod(encoded(source).constData(), 0640), 0);
    const QString destination =
        makeFolder(m_dir->path(), QStringLiteral("Cats")) + QStringLiteral("/IMG_1.jpg");

    const Result<void> copied = m_fs.copyNoReplace(source, destination);

    QVERIFY2(copied, qPrintable(errorText(copied)));
    QVERIFY(readFile(destination) == bytes);
    QCOMPARE(statOf(destination).st_mode & 07777, mode_t(0640));
    QVERIFY(readFile(source) == bytes);
    QCOMPARE(entriesOf(path(QStringLiteral("Cats"))), QStringList{QStringLiteral("IMG_1.jpg")});
}

void tst_LinuxFileSystem::copyNeverReplaces()
{
    const QString source = writeFile(m_dir->path(), QStringLiteral("a/IMG_1.jpg"), "new");
    const QString destination = writeFile(m_dir->path(), QStringLiteral("b/IMG_1.jpg"), "older");

    const Result<void> copied = m_fs.copyNoReplace(source, destination);

    QVERIFY(!copied);
    QCOMPARE(copied.error().systemError, EEXIST);
    QCOMPARE(readFile(destination), QByteArray("older"));
    QCOMPARE(readFile(source), QByteArray("new"));
    QCOMPARE(entriesOf(path(QStringLiteral("b"))), QStringList{QStringLiteral("IMG_1.jpg")});
}

void tst_LinuxFileSystem::copyRefusesAllButRegularFiles_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("folder") << "folder";
    QTest::newRow("link to a photo") << "link";
    QTest::newRow("FIFO, which must not block the copy") << "fifo";
}

void tst_LinuxFileSystem::copyRefusesAllButRegularFiles()
{
    QFETCH(QString, kind);
    const QString source = path(QStringLiteral("source"));
    if (kind == QLatin1String("link")) {
        QVERIFY(QFile::link(writeFile(m_dir->path(), QStringLiteral("IMG_1.jpg")), source));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(encoded(source).constData(), 0600), 0);
    } else {
        makeEntry(kind, source);
    }
    const QString destinationFolder = makeFolder(m_dir->path(), QStringLiteral("Cats"));

    const Result<void> copied =
        m_fs.copyNoReplace(source, destinationFolder + QStringLiteral("/copy"));

    QVERIFY(!copied);
    QVERIFY(
        copied.error().message.startsWith(QStringLiteral("Couldn\u2019t copy \u201Csource\u201D")));
    QCOMPARE(entriesOf(destinationFolder), QStringList());
}

enum class Write { makeFolder, removeFile, removeEmptyFolder };

void tst_LinuxFileSystem::folderAndFileWrites_data()
{
    QTest::addColumn<int>("write");
    QTest::addColumn<QString>("existing");
    QTest::addColumn<int>("expectedError");
    QTest::addColumn<QString>("expectedAfter");

    const int make = int(Write::makeFolder), remove = int(Write::removeFile),
              removeFolder = int(Write::removeEmptyFolder);
    QTest::newRow("make a folder") << make << "nothing" << 0 << "folder holding ";
    QTest::newRow("make a folder where a file is")
        << make << "file" << EEXIST << "file holding target";
    QTest::newRow("make a folder without its parent") << make << "no parent" << ENOENT << "nothing";
    QTest::newRow("remove a file") << remove << "file" << 0 << "nothing";
    QTest::newRow("remove file refuses a folder")
        << remove << "empty folder" << EISDIR << "folder holding ";
    QTest::newRow("remove an empty folder") << removeFolder << "empty folder" << 0 << "nothing";
    QTest::newRow("remove empty folder refuses a full one")
        << removeFolder << "folder" << ENOTEMPTY << "folder holding inside.jpg";
    QTest::newRow("remove empty folder refuses a file")
        << removeFolder << "file" << ENOTDIR << "file holding target";
}

void tst_LinuxFileSystem::folderAndFileWrites()
{
    QFETCH(int, write);
    QFETCH(QString, existing);
    QFETCH(int, expectedError);
    QFETCH(QString, expectedAfter);
    const QString target = existing == QLatin1String("no parent")
                               ? path(QStringLiteral("gone/target"))
                               : path(QStringLiteral("target"));
    makeEntry(existing, target);

    Result<void> result;
    switch (Write(write)) {
    case Write::makeFolder:
        result = m_fs.makeFolder(target);
        break;
    case Write::removeFile:
        result = m_fs.removeFile(target);
        break;
    case Write::removeEmptyFolder:
        result = m_fs.removeEmptyFolder(target);
        break;
    }

    QCOMPARE(result ? 0 : result.error().systemError, expectedError);
    QCOMPARE(describe(target), expectedAfter);
}

void tst_LinuxFileSystem::trashWritesInfoThenMoves_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("encodedTail");

    QTest::newRow("photo named with spaces and accents")
        << "Fotos Mai/Été 1.jpg"
        << "file" << QByteArray("Fotos%20Mai/%C3%89t%C3%A9%201.jpg");
    QTest::newRow("characters reserved in URIs") << "a#b?c%d;e.jpg"
                                                 << "file" << QByteArray("a%23b%3Fc%25d%3Be.jpg");
    QTest::newRow("category folder") << "Trips"
                                     << "folder" << QByteArray("Trips");
}

void tst_LinuxFileSystem::trashWritesInfoThenMoves()
{
    QFETCH(QString, relative);
    QFETCH(QString, kind);
    QFETCH(QByteArray, encodedTail);
    const QString item = path(relative);
    makeEntry(kind, item);
    const QString before = describe(item);
    const QString name = QFileInfo(item).fileName();
    const QDateTime start = QDateTime::currentDateTime().addMSecs(-1000);

    const Result<QString> trashed = m_fs.moveToTrash(item);

    const QDateTime end = QDateTime::currentDateTime();
    QVERIFY2(trashed, qPrintable(errorText(trashed)));
    QCOMPARE(*trashed, homeTrash() + QStringLiteral("/files/") + name);
    QVERIFY(!exists(item));
    QCOMPARE(describe(*trashed), before);
    const QStringList info =
        infoValues(homeTrash() + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
    QCOMPARE(info.size(), 2);
    QCOMPARE(info[0], QString::fromUtf8(encoded(m_dir->path()) + '/' + encodedTail));
    const QDateTime deleted =
        QDateTime::fromString(info[1], QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    QVERIFY2(deleted.isValid() && deleted >= start && deleted <= end, qPrintable(info[1]));
    for (const char *folder : {"", "/files", "/info"}) {
        QCOMPARE(statOf(homeTrash() + QLatin1String(folder)).st_mode & 07777, mode_t(0700));
    }
}

void tst_LinuxFileSystem::trashPicksFreeName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("inFiles");
    QTest::addColumn<QStringList>("inInfo");
    QTest::addColumn<QString>("expected");

    const QString longBase(250, u'a');
    QTest::newRow("free") << "IMG_1.jpg" << QStringList() << QStringList() << "IMG_1.jpg";
    QTest::newRow("taken in files") << "IMG_1.jpg" << QStringList{QStringLiteral("IMG_1.jpg")}
                                    << QStringList() << "IMG_1 2.jpg";
    QTest::newRow("taken only by a leftover trashinfo")
        << "IMG_1.jpg" << QStringList() << QStringList{QStringLiteral("IMG_1.jpg.trashinfo")}
        << "IMG_1 2.jpg";
    QTest::newRow("first taken in files, second in info")
        << "IMG_1.jpg" << QStringList{QStringLiteral("IMG_1.jpg")}
        << QStringList{QStringLiteral("IMG_1 2.jpg.trashinfo")} << "IMG_1 3.jpg";
    QTest::newRow("no extension") << "notes" << QStringList{QStringLiteral("notes")}
                                  << QStringList() << "notes 2";
    QTest::newRow("hidden file") << ".notes" << QStringList{QStringLiteral(".notes")}
                                 << QStringList() << ".notes 2";
    QTest::newRow("two extensions")
        << "archive.tar.gz" << QStringList{QStringLiteral("archive.tar.gz")} << QStringList()
        << "archive.tar 2.gz";
    // 254 bytes fit in files/ but not with ".trashinfo" after them in info/.
    QTest::newRow("longest name shortened to fit its trashinfo")
        << longBase + QStringLiteral(".jpg") << QStringList() << QStringList()
        << longBase.left(241) + QStringLiteral(".jpg");
}

void tst_LinuxFileSystem::trashPicksFreeName()
{
    QFETCH(QString, name);
    QFETCH(QStringList, inFiles);
    QFETCH(QStringList, inInfo);
    QFETCH(QString, expected);
    makeFolder(homeTrash(), QStringLiteral("files"));
    makeFolder(homeTrash(), QStringLiteral("info"));
    for (const QString &taken : inFiles) {
        writeFile(homeTrash(), QStringLiteral("files/") + taken, "older");
    }
    for (const QString &taken : inInfo) {
        writeFile(homeTrash(), QStringLiteral("info/") + taken, "older");
    }
    const QString item = writeFile(m_dir->path(), name, "trashed");

    const Result<QString> trashed = m_fs.moveToTrash(item);

    QVERIFY2(trashed, qPrintable(errorText(trashed)));
    QCOMPARE(*trashed, homeTrash() + QStringLiteral("/files/") + expected);
    QCOMPARE(readFile(*trashed), QByteArray("trashed"));
    QVERIFY(
        exists(homeTrash() + QStringLiteral("/info/") + expected + QStringLiteral(".trashinfo")));
    for (const QString &taken : inFiles) {
        QCOMPARE(readFile(homeTrash() + QStringLiteral("/files/") + taken), QByteArray("older"));
    }
    for (const QString &taken : inInfo) {
        QCOMPARE(readFile(homeTrash() + QStringLiteral("/info/") + taken), QByteArray("older"));
    }
}

void tst_LinuxFileSystem::trashFailedMoveLeavesNoInfo()
{
    FailingMoves failing;
    const QString item = writeFile(m_dir->path(), QStringLiteral("IMG_1.jpg"), "photo");

    const Result<QString> trashed = failing.moveToTrash(item);

    QVERIFY(!trashed);
    QCOMPARE(trashed.error().systemError, EIO);
    QCOMPARE(readFile(item), QByteArray("photo"));
    QCOMPARE(entriesOf(homeTrash() + QStringLiteral("/info")), QStringList());
    QCOMPARE(entriesOf(homeTrash() + QStringLiteral("/files")), QStringList());
}

void tst_LinuxFileSystem::isTrashedItem_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("withInfoFolder");
    QTest::addColumn<bool>("expected");

    QTest::newRow("home trash") << "data/Trash/files/a.jpg" << true << true;
    QTest::newRow("own volume trash") << "v/.Trash-$uid/files/a.jpg" << true << true;
    QTest::newRow("shared volume trash") << "v/.Trash/$uid/files/a.jpg" << true << true;
    QTest::newRow("look-alike folders named files and info")
        << "Project/files/a.jpg" << true << false;
    QTest::newRow("trash without an info folder") << "v/.Trash-$uid/files/a.jpg" << false << false;
    QTest::newRow("inside a trashed folder") << "data/Trash/files/Trip/a.jpg" << true << false;
    QTest::newRow("the info file itself") << "data/Trash/info/a.jpg.trashinfo" << true << false;
}

void tst_LinuxFileSystem::isTrashedItem()
{
    QFETCH(QString, relative);
    QFETCH(bool, withInfoFolder);
    QFETCH(bool, expected);
    const QString item = path(relative.replace(QStringLiteral("$uid"), uidText()));
    const QString trash = QFileInfo(QFileInfo(item).path()).path();
    makeFolder(QFileInfo(item).path(), {});
    if (withInfoFolder) {
        makeFolder(trash, QStringLiteral("info"));
    }
    makeFolder(homeTrash(), QStringLiteral("info"));

    QCOMPARE(m_fs.isTrashedItem(item), expected);
}

void tst_LinuxFileSystem::forgetTrashedItem()
{
    const QString item = writeFile(m_dir->path(), QStringLiteral("IMG_1.jpg"));
    const Result<QString> trashed = m_fs.moveToTrash(item);
    QVERIFY2(trashed, qPrintable(errorText(trashed)));
    const QString info = homeTrash() + QStringLiteral("/info/IMG_1.jpg.trashinfo");

    // Its .trashinfo is all that lists an item in the trash: never dropped while it is there.
    m_fs.forgetTrashedItem(*trashed);
    QVERIFY(exists(info));

    QVERIFY(m_fs.moveNoReplace(*trashed, item));
    m_fs.forgetTrashedItem(*trashed);
    QVERIFY(!exists(info));
    QVERIFY(exists(item));

    const QString lookAlike =
        writeFile(m_dir->path(), QStringLiteral("Project/info/a.jpg.trashinfo"));
    makeFolder(m_dir->path(), QStringLiteral("Project/files"));
    m_fs.forgetTrashedItem(path(QStringLiteral("Project/files/a.jpg")));
    QVERIFY(exists(lookAlike));
}

void tst_LinuxFileSystem::crossDeviceMoveKeepsBytesModeAndTimes()
{
    const QString volume = path(QStringLiteral("volume"));
    if (const QString problem = mountTmpfs(volume, "size=8m"); !problem.isEmpty()) {
        QSKIP(qPrintable(problem));
    }
    const QByteArray bytes = patternBytes(2'500'000);
    const QString source = writeFile(m_dir->path(), QStringLiteral("IMG_1.jpg"), bytes);
    QCOMPARE(::chmod(encoded(source).constData(), 0604), 0);
    const struct timespec times[2] = {{1500000000, 500000000}, {1600000000, 123456789}};
    QCOMPARE(::utimensat(AT_FDCWD, encoded(source).constData(), times, 0), 0);
    const struct stat before = statOf(source);
    const QString destination = volume + QStringLiteral("/IMG_1.jpg");

    const Result<void> moved = m_fs.moveNoReplace(source, destination);

    QVERIFY2(moved, qPrintable(errorText(moved)));
    const struct stat after = statOf(destination); // before reading updates the access time
    QVERIFY(!exists(source));
    QVERIFY(readFile(destination) == bytes);
    QCOMPARE(after.st_mode & 07777, mode_t(0604));
    QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    QCOMPARE(after.st_atim.tv_sec, before.st_atim.tv_sec);
    QCOMPARE(entriesOf(volume), QStringList{QStringLiteral("IMG_1.jpg")});
}

void tst_LinuxFileSystem::crossDeviceMoveNeverReplaces()
{
    const QString volume = path(QStringLiteral("volume"));
    if (const QString problem = mountTmpfs(volume, "size=1m"); !problem.isEmpty()) {
        QSKIP(qPrintable(problem));
    }
    const QString source = writeFile(m_dir->path(), QStringLiteral("IMG_1.jpg"), "new");
    const QString destination = writeFile(volume, QStringLiteral("IMG_1.jpg"), "older");

    const Result<void> moved = m_fs.moveNoReplace(source, destination);

    QVERIFY(!moved);
    QCOMPARE(moved.error().systemError, EEXIST);
    QCOMPARE(readFile(source), QByteArray("new"));
    QCOMPARE(readFile(destination), QByteArray("older"));
    QCOMPARE(entriesOf(volume), QStringList{QStringLiteral("IMG_1.jpg")});
}

void tst_LinuxFileSystem::crossDeviceMoveRefusesFoldersAndLinks_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("folder") << "folder";
    QTest::newRow("link") << "dangling link";
}

void tst_LinuxFileSystem::crossDeviceMoveRefusesFoldersAndLinks()
{
    QFETCH(QString, kind);
    const QString volume = path(QStringLiteral("volume"));
    if (const QString problem = mountTmpfs(volume, "size=1m"); !problem.isEmpty()) {
        QSKIP(qPrintable(problem));
    }
    const QString source = path(QStringLiteral("Cats"));
    makeEntry(kind, source);
    const QString before = describe(source);

    const Result<void> moved = m_fs.moveNoReplace(source, volume + QStringLiteral("/Cats"));

    QVERIFY(!moved);
    QCOMPARE(moved.error().systemError, EXDEV);
    QCOMPARE(describe(source), before);
    QCOMPARE(entriesOf(volume), QStringList());
}

void tst_LinuxFileSystem::crossDeviceMoveOntoFullVolumeKeepsSource()
{
    const QString volume = path(QStringLiteral("tiny"));
    if (const QString problem = mountTmpfs(volume, "size=64k"); !problem.isEmpty()) {
        QSKIP(qPrintable(problem));
    }
    const QByteArray bytes = patternBytes(512 * 1024);
    const QString source = writeFile(m_dir->path(), QStringLiteral("IMG_1.jpg"), bytes);

    const Result<void> moved = m_fs.moveNoReplace(source, volume + QStringLiteral("/IMG_1.jpg"));

    QVERIFY(!moved);
    QCOMPARE(moved.error().systemError, ENOSPC);
    QVERIFY(readFile(source) == bytes);
    QCOMPARE(entriesOf(volume), QStringList()); // no partial copy, under any name
}

void tst_LinuxFileSystem::trashOnOtherVolume_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expectedTrash"); // relative to the volume, or "home"

    QTest::newRow("no .Trash: own .Trash-uid") << "none"
                                               << ".Trash-$uid";
    QTest::newRow("sticky .Trash: its per-user folder") << "sticky"
                                                        << ".Trash/$uid";
    QTest::newRow(".Trash without sticky bit is not used") << "not sticky"
                                                           << ".Trash-$uid";
    QTest::newRow(".Trash as a link to a sticky folder is not used") << "link"
                                                                     << ".Trash-$uid";
    QTest::newRow("no usable volume trash: home trash, copied across") << "unusable"
                                                                       << "home";
}

void tst_LinuxFileSystem::trashOnOtherVolume()
{
    QFETCH(QString, setup);
    QFETCH(QString, expectedTrash);
    const QString volume = path(QStringLiteral("volume"));
    if (const QString problem = mountTmpfs(volume, "size=1m"); !problem.isEmpty()) {
        QSKIP(qPrintable(problem));
    }
    const QString shared = volume + QStringLiteral("/.Trash");
    if (setup == QLatin1String("sticky") || setup == QLatin1String("not sticky")) {
        QCOMPARE(::mkdir(encoded(shared).constData(), 0777), 0);
        QCOMPARE(
            ::chmod(encoded(shared).constData(), setup == QLatin1String("sticky") ? 01777 : 0777),
            0);
    } else if (setup == QLatin1String("link")) {
        const QString target = makeFolder(volume, QStringLiteral("elsewhere"));
        QCOMPARE(::chmod(encoded(target).constData(), 01777), 0);
        QVERIFY(QFile::link(target, shared));
    } else if (setup == QLatin1String("unusable")) {
        writeFile(volume, QStringLiteral(".Trash-") + uidText(), "not a folder");
    }
    const QString item = writeFile(volume, QStringLiteral("Sub Folder/IMG 1.jpg"), "photo");
    const bool home = expectedTrash == QLatin1String("home");
    const QString trash =
        home ? homeTrash()
             : volume + u'/' + expectedTrash.replace(QStringLiteral("$uid"), uidText());

    const Result<QString> trashed = m_fs.moveToTrash(item);

    QVERIFY2(trashed, qPrintable(errorText(trashed)));
    QCOMPARE(*trashed, trash + QStringLiteral("/files/IMG 1.jpg"));
    QCOMPARE(readFile(*trashed), QByteArray("photo"));
    QVERIFY(!exists(item));
    const QStringList info = infoValues(trash + QStringLiteral("/info/IMG 1.jpg.trashinfo"));
    QCOMPARE(info.size(), 2);
    // The volume's own trash records the path from the volume's top, so it survives remounting.
    QCOMPARE(info[0],
             home ? QString::fromUtf8(encoded(volume)) + QStringLiteral("/Sub%20Folder/IMG%201.jpg")
                  : QStringLiteral("Sub%20Folder/IMG%201.jpg"));
    QCOMPARE(statOf(trash).st_mode & 07777, mode_t(0700));
    if (!home) {
        QVERIFY(!exists(homeTrash()));
    }
    QVERIFY(m_fs.isTrashedItem(*trashed));
}

QTEST_GUILESS_MAIN(tst_LinuxFileSystem)
#include "tst_LinuxFileSystem.moc"
