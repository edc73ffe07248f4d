#include "FileSystemError.h"

#include <QCoreApplication>
#include <QFileInfo>

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

FileSystemError FileSystemError::cancelled()
{
    return {Code::cancelled, QCoreApplication::translate("FileSystem", "The operation was cancelled."), ECANCELED};
}

FileSystemError FileSystemError::system(int errnum, const QString &whatFailed)
{
    return {Code::platform,
            // "Couldn't move “a.jpg”: Permission denied." The system's reason is in the
            // language of the C library's locale.
            QCoreApplication::translate("FileSystem", "%1: %2.")
                .arg(whatFailed, QString::fromLocal8Bit(std::strerror(errnum))),
            errnum};
}
