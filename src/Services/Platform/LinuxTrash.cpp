#include "LinuxTrash.h"

#include "Models/FilePaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int maxNameAttempts = 10000;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

using FilePaths::child;

std::unexpected<FileSystemError> failure(int error, const QString &whatFailed)
{
    return std::unexpected(FileSystemError::system(error, whatFailed));
}

QString uidText()
{
    return QString::number(::getuid());
}

// The home trash need not exist yet: its device is that of its nearest existing ancestor.
dev_t deviceOf(QString path)
{
    struct stat st;
    while (::stat(encoded(path).constData(), &st) != 0) {
        const QString parent = QFileInfo(path).path();
        if (parent == path) {
            return dev_t(-1);
        }
        path = parent;
    }
    return st.st_dev;
}

bool sameEntry(const QString &a, const QString &b)
{
    struct stat first, second;
    return ::stat(encoded(a).constData(), &first) == 0 &&
           ::stat(encoded(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Base directory folders are created private, as the XDG rules ask.
int makeFolders(const QString &path)
{
    if (::mkdir(encoded(path).constData(), 0700) == 0 || errno == EEXIST) {
        return 0;
    }
    const QString parent = QFileInfo(path).path();
    if (errno != ENOENT || parent == path) {
        return errno;
    }
    if (const int error = makeFolders(parent)) {
        return error;
    }
    return ::mkdir(encoded(path).constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

// A trash folder we write into must be a real folder of ours: on a shared volume another user
// could have planted a link or a folder of theirs under the expected name.
int preparePrivateFolder(const QString &path)
{
    const QByteArray name = encoded(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        return errno;
    }
    struct stat st;
    if (::lstat(name.constData(), &st) != 0) {
        return errno;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ENOTDIR;
    }
    return st.st_uid == ::getuid() ? 0 : EACCES;
}

int prepareTrash(const QString &trash)
{
    for (const QString &folder :
         {trash, child(trash, QStringLiteral("files")), child(trash, QStringLiteral("info"))}) {
        if (const int error = preparePrivateFolder(folder)) {
            return error;
        }
    }
    return 0;
}

// The mount's top directory: the highest ancestor still on the same device.
QString topDirectory(const QString &folder, dev_t device)
{
    QString top = folder;
    for (QString parent = QFileInfo(top).path(); parent != top; parent = QFileInfo(top).path()) {
        struct stat st;
        if (::stat(encoded(parent).constData(), &st) != 0 || st.st_dev != device) {
            break;
        }
        top = parent;
    }
    return top;
}

// The trash of a volume other than the home trash's, or an empty text when it has none we may
// use (read-only, no permission, or a suspicious .Trash), with the reason in `error`.
QString volumeTrash(const QString &top, int &error)
{
    const QString shared = child(top, QStringLiteral(".Trash"));
    struct stat st;
    // The shared .Trash is only safe when the sticky bit stops users removing each other's items,
    // and never through a link that could lead anywhere.
    if (::lstat(encoded(shared).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        (st.st_mode & S_ISVTX) != 0) {
        const QString trash = child(shared, uidText());
        if (prepareTrash(trash) == 0) {
            return trash;
        }
    }
    const QString own = child(top, QStringLiteral(".Trash-") + uidText());
    error = prepareTrash(own);
    return error == 0 ? own : QString();
}

// "IMG_1.jpg", then "IMG_1 2.jpg", ...; shortened where "<name>.trashinfo" would not fit in
// one directory entry, since the name in the trash need not be the original one.
QString trashName(const QString &name, int attempt)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString base = dot > 0 ? name.left(dot) : name;
    const QString suffix = (attempt > 1 ? QLatin1Char(' ') + QString::number(attempt) : QString()) +
                           (dot > 0 ? name.mid(dot) : QString());
    while (!base.isEmpty() &&
           encoded(base + suffix + QStringLiteral(".trashinfo")).size() > NAME_MAX) {
        base.chop(base.size() > 1 && base.back().isLowSurrogate() ? 2 : 1);
    }
    return base + suffix;
}

// Creates the .trashinfo exclusively (the name is then reserved) and makes it durable before
// the item moves, so a crash never leaves an item in the trash that the trash cannot list.
int writeInfo(SystemCalls &calls, const QString &path, const QByteArray &contents)
{
    const QByteArray name = encoded(path);
    const int fd =
        calls.open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    int error = calls.writeAll(fd, contents.constData(), size_t(contents.size()));
    if (error == 0 && calls.fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0) {
        error = calls.syncFolder(encoded(QFileInfo(path).path()).constData());
    }
    if (error != 0) {
        calls.unlink(name.constData());
    }
    return error;
}

// One item on its way into a trash.
struct Moving
{
    PlatformFileSystem &fileSystem;
    SystemCalls &calls;
    QString path;
    QString name;
    const PlatformFileSystem::CopyNote &beforePublishing;
    QString whatFailed;
};

// Moves the item into `trash` under a free name, its .trashinfo naming `recordedPath` written
// first. When no .trashinfo can be written there (for any reason but a taken name: smbnetfs's
// virtual top folder answers EIO) that trash is unusable: `infoError` says why, and nothing moved.
Result<QString>
moveInto(const Moving &moving, const QString &trash, const QString &recordedPath, int &infoError)
{
    infoError = 0;
    const QByteArray info =
        "[Trash Info]\nPath=" + QUrl::toPercentEncoding(recordedPath, "/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1() +
        '\n';
    for (int attempt = 1; attempt <= maxNameAttempts; ++attempt) {
        const QString trashedName = trashName(moving.name, attempt);
        const QString target = child(trash, QStringLiteral("files/") + trashedName);
        struct stat taken;
        if (::lstat(encoded(target).constData(), &taken) == 0) {
            continue;
        }
        const QString infoPath =
            child(trash, QStringLiteral("info/") + trashedName + QStringLiteral(".trashinfo"));
        const int error = writeInfo(moving.calls, infoPath, info);
        if (error == EEXIST) {
            continue;
        }
        if (error != 0) {
            infoError = error;
            return failure(error, moving.whatFailed);
        }
        const Result<void> moved =
            moving.fileSystem.moveNoReplace(moving.path, target, moving.beforePublishing);
        if (moved) {
            return target;
        }
        // A move across devices that failed after publishing its copy (the item changed while
        // it was copied, and both were kept) leaves the copy in the trash: it keeps its
        // .trashinfo so the trash still lists it. EEXIST: the name is another program's.
        if (moved.error().systemError == EEXIST
            || ::lstat(encoded(target).constData(), &taken) != 0) {
            moving.calls.unlink(encoded(infoPath).constData());
        }
        if (moved.error().systemError != EEXIST) { // EEXIST: the name was taken meanwhile
            return std::unexpected(moved.error());
        }
    }
    return failure(EEXIST, moving.whatFailed);
}

} // namespace

QString LinuxTrash::homeTrash()
{
    QString dataHome = QFile::decodeName(qgetenv("XDG_DATA_HOME"));
    if (!dataHome.startsWith(QLatin1Char('/'))) { // a relative value is invalid and ignored
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(dataHome + QStringLiteral("/Trash"));
}

Result<QString> LinuxTrash::moveToTrash(PlatformFileSystem &fileSystem,
                                        SystemCalls &calls,
                                        const QString &givenPath,
                                        HomeTrash homeTrash,
                                        const PlatformFileSystem::CopyNote &beforePublishing)
{
    const QString path = QDir::cleanPath(givenPath);
    const QString whatFailed =
        QCoreApplication::translate("FileSystem", "Couldn\u2019t move %1 to the trash")
            .arg(quotedName(path));
    const QString folder = QFileInfo(path).path();
    const QString name = QFileInfo(path).fileName();
    struct stat item, parent;
    if (::lstat(encoded(path).constData(), &item) != 0 ||
        ::stat(encoded(folder).constData(), &parent) != 0) {
        return failure(errno, whatFailed);
    }

    const Moving moving{fileSystem, calls, path, name, beforePublishing, whatFailed};
    const QString home = LinuxTrash::homeTrash();
    if (parent.st_dev != deviceOf(home)) {
        int unusable = ENOENT;
        const QString realFolder = QFileInfo(folder).canonicalFilePath();
        if (!realFolder.isEmpty()) {
            const QString top = topDirectory(realFolder, parent.st_dev);
            if (const QString trash = volumeTrash(top, unusable); !trash.isEmpty()) {
                // Recorded relative to the volume's top, so it holds wherever the volume mounts.
                Result<QString> moved = moveInto(
                    moving, trash, QDir(top).relativeFilePath(child(realFolder, name)), unusable);
                if (moved || unusable == 0) {
                    return moved;
                }
            }
        }
        if (homeTrash == HomeTrash::refused) {
            return std::unexpected(FileSystemError::noVolumeTrash(path, unusable));
        }
    }
    // The no-replace move copies across devices when it must.
    const int error = makeFolders(QFileInfo(home).path());
    if (const int prepared = error ? error : prepareTrash(home)) {
        return failure(prepared, whatFailed);
    }
    int unwritable = 0;
    return moveInto(moving, home, path, unwritable);
}

bool LinuxTrash::isTrashedItem(const QString &givenPath)
{
    const QFileInfo item(QDir::cleanPath(givenPath));
    const QFileInfo files(item.path());
    if (item.fileName().isEmpty() || files.fileName() != QLatin1String("files")) {
        return false;
    }
    const QFileInfo trash(files.path());
    struct stat info;
    if (::lstat(encoded(child(trash.filePath(), QStringLiteral("info"))).constData(), &info) != 0 ||
        !S_ISDIR(info.st_mode)) {
        return false;
    }
    if (trash.fileName() == QStringLiteral(".Trash-") + uidText() ||
        (trash.fileName() == uidText() &&
         QFileInfo(trash.path()).fileName() == QLatin1String(".Trash"))) {
        return true;
    }
    return sameEntry(trash.filePath(), homeTrash());
}

void LinuxTrash::forgetTrashedItem(SystemCalls &calls, const QString &trashedPath)
{
    const QString path = QDir::cleanPath(trashedPath);
    struct stat st;
    // While the item is still in the trash its .trashinfo is all that lists it there.
    if (!isTrashedItem(path) || ::lstat(encoded(path).constData(), &st) == 0) {
        return;
    }
    const QFileInfo item(path);
    const QString trash = QFileInfo(item.path()).path();
    calls.unlink(encoded(child(trash, QStringLiteral("info/") + item.fileName()
                               + QStringLiteral(".trashinfo")))
                     .constData());
}

QStringList LinuxTrash::itemsFrom(const QString &originalPath)
{
    const QString path = QDir::cleanPath(originalPath);
    const QString folder = QFileInfo(path).path();
    // Each trash, with the form in which its .trashinfo files give the path.
    QList<std::pair<QString, QString>> trashes{{homeTrash(), path}};
    struct stat parent;
    if (::stat(encoded(folder).constData(), &parent) == 0) {
        const QString realFolder = QFileInfo(folder).canonicalFilePath();
        if (!realFolder.isEmpty()) {
            const QString top = topDirectory(realFolder, parent.st_dev);
            const QString relative =
                QDir(top).relativeFilePath(child(realFolder, QFileInfo(path).fileName()));
            trashes.append({child(child(top, QStringLiteral(".Trash")), uidText()), relative});
            trashes.append({child(top, QStringLiteral(".Trash-") + uidText()), relative});
        }
    }
    // An empty .trashinfo under a name the trash would give this item is one whose writer was
    // cut off before its first byte: it names nothing else.
    const QString originalName = QFileInfo(path).fileName();
    const auto isNameFor = [&originalName](const QString &name) {
        for (int attempt = 1; attempt <= maxNameAttempts; ++attempt) {
            if (trashName(originalName, attempt) == name) {
                return true;
            }
        }
        return false;
    };
    QStringList items;
    for (const auto &[trash, recorded] : std::as_const(trashes)) {
        const QByteArray wanted = "Path=" + QUrl::toPercentEncoding(recorded, "/");
        const QDir info(child(trash, QStringLiteral("info")));
        const QStringList names =
            info.entryList({QStringLiteral("*.trashinfo")}, QDir::Files | QDir::Hidden);
        for (const QString &name : names) {
            QFile file(info.filePath(name));
            if (file.size() > 64 * 1024 || !file.open(QIODevice::ReadOnly)) {
                continue;
            }
            const QString item = name.chopped(10);
            if (file.size() == 0 ? isNameFor(item) : file.readAll().split('\n').contains(wanted)) {
                items.append(child(trash, QStringLiteral("files/") + item));
            }
        }
    }
    return items;
}

