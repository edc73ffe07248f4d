#include "FileSystemError.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {
QString quoted(const QString &text)
{
    return QCoreApplication::translate("FileSystem", "\u201C%1\u201D").arg(text);
}
} // namespace

QString quotedName(const QString &path)
{
    QString name = QFileInfo(path).fileName();
    if (name.isEmpty()) {
        name = path; // the root folder "/"
    }
    return quoted(name);
}

FileSystemError FileSystemError::notDirectory(const QUrl &folder)
{
    QString path = folder.toLocalFile();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return {Code::notDirectory, QCoreApplication::translate("FileSystem", "%1 is not a folder.").arg(quotedName(path))};
}

FileSystemError FileSystemError::categoryAlreadyExists(const QString &name)
{
    return {Code::categoryAlreadyExists,
            QCoreApplication::translate("FileSystem", "A category named %1 already exists.").arg(quoted(name))};
}

FileSystemError FileSystemError::categoryContainsFolders(const QString &name)
{
    return {Code::categoryContainsFolders,
            QCoreApplication::translate("FileSystem", "%1 contains another folder. Move that folder "
                                                      "elsewhere before deleting the category.")
                .arg(quoted(name))};
}

FileSystemError FileSystemError::invalidCategoryName()
{
    return {Code::invalidCategoryName,
            QCoreApplication::translate("FileSystem", "Category names cannot be empty, hidden, or "
                                                  "contain \u201C/\u201D or \u201C:\u201D.")};
}

FileSystemError FileSystemError::noSuchFolder(const QString &path)
{
    return {Code::fileNoSuchFile,
            QCoreApplication::translate("FileSystem", "The folder %1 doesn\u2019t exist.").arg(quotedName(path)),
            ENOENT};
}

FileSystemError FileSystemError::writeUnknown(const QString &path)
{
    return {Code::fileWriteUnknown,
            QCoreApplication::translate("FileSystem", "%1 couldn\u2019t be moved to the trash.").arg(quotedName(path))};
}

FileSystemError FileSystemError::noVolumeTrash(const QString &path, int errnum)
{
    return {Code::noVolumeTrash,
            QCoreApplication::translate("FileSystem",
                                        "The disk holding %1 has no trash it can be moved to: %2.")
                .arg(quotedName(path), reason(errnum)),
            errnum};
}

FileSystemError FileSystemError::cancelled()
{
    return {Code::cancelled, QCoreApplication::translate("FileSystem", "The operation was cancelled."), ECANCELED};
}

FileSystemError FileSystemError::volumeLost(const FileSystemError &failure)
{
    return {Code::volumeLost, failure.message, failure.systemError};
}

// What went wrong, in words for someone who sorts photos rather than reads manual pages. The
// system's own text, and its code, stay in the log.
QString FileSystemError::reason(int errnum)
{
    const char *text = nullptr;
    switch (errnum) {
    case ENOENT:
        text = QT_TRANSLATE_NOOP("FileSystem", "It is no longer there");
        break;
    case EACCES:
    case EPERM:
        text = QT_TRANSLATE_NOOP("FileSystem", "You don\u2019t have permission");
        break;
    case ENOSPC:
    case EDQUOT:
        text = QT_TRANSLATE_NOOP("FileSystem", "The disk is full");
        break;
    case EROFS:
        text = QT_TRANSLATE_NOOP("FileSystem", "The disk is read-only");
        break;
    case EIO:
        text = QT_TRANSLATE_NOOP("FileSystem", "The disk couldn\u2019t be read or written");
        break;
    case ESTALE:
    case ENOTCONN:
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ECONNABORTED:
    case ECONNRESET:
        text = QT_TRANSLATE_NOOP("FileSystem", "The connection to the disk or network folder was lost");
        break;
    case EILSEQ:
        text = QT_TRANSLATE_NOOP("FileSystem", "The name has characters this disk can\u2019t store");
        break;
    case ENAMETOOLONG:
        text = QT_TRANSLATE_NOOP("FileSystem", "The name is too long for this disk");
        break;
    case EBUSY:
    case ETXTBSY:
        text = QT_TRANSLATE_NOOP("FileSystem", "Another program is using it");
        break;
    case EMFILE:
    case ENFILE:
    case ENOMEM:
        text = QT_TRANSLATE_NOOP("FileSystem", "The system is out of resources; close some programs and try again");
        break;
    case EEXIST:
    case ENOTEMPTY:
        text = QT_TRANSLATE_NOOP("FileSystem", "Something with that name is already there");
        break;
    case ENOTDIR:
        text = QT_TRANSLATE_NOOP("FileSystem", "A folder on the way is not a folder");
        break;
    case EISDIR:
        text = QT_TRANSLATE_NOOP("FileSystem", "It is a folder");
        break;
    case ELOOP:
        text = QT_TRANSLATE_NOOP("FileSystem", "A link on the way leads in a circle");
        break;
    case EOPNOTSUPP:
    case ENOSYS:
    case EINVAL:
        text = QT_TRANSLATE_NOOP("FileSystem", "This disk doesn\u2019t support the operation");
        break;
    case EXDEV:
        text = QT_TRANSLATE_NOOP("FileSystem", "It can\u2019t be moved between these disks");
        break;
    case EFBIG:
        text = QT_TRANSLATE_NOOP("FileSystem", "The file is too large for this disk");
        break;
    default:
        return QCoreApplication::translate("FileSystem", "The system reported error %1").arg(errnum);
    }
    return QCoreApplication::translate("FileSystem", text);
}

FileSystemError FileSystemError::system(int errnum, const QString &whatFailed)
{
    return {Code::platform,
            // "Couldn't move “a.jpg”: You don't have permission."
            QCoreApplication::translate("FileSystem", "%1: %2.").arg(whatFailed, reason(errnum)),
            errnum};
}

QString FileSystemError::logText() const
{
    if (systemError == 0) {
        return message;
    }
    return QStringLiteral("%1 [%2, errno %3]")
        .arg(message, QString::fromLocal8Bit(std::strerror(systemError)))
        .arg(systemError);
}
