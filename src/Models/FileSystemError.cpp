#include "FileSystemError.h"

#include <QFileInfo>

#include <cstring>

namespace {
QString quoted(const QString &text)
{
    return QStringLiteral("\u201C") + text + QStringLiteral("\u201D");
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
    return {Code::notDirectory, quotedName(path) + QStringLiteral(" is not a folder.")};
}

FileSystemError FileSystemError::categoryAlreadyExists(const QString &name)
{
    return {Code::categoryAlreadyExists,
            QStringLiteral("A category named ") + quoted(name) + QStringLiteral(" already exists.")};
}

FileSystemError FileSystemError::categoryContainsFolders(const QString &name)
{
    return {Code::categoryContainsFolders,
            quoted(name)
                + QStringLiteral(" contains another folder. Move that folder elsewhere before "
                                 "deleting the category.")};
}

FileSystemError FileSystemError::invalidCategoryName()
{
    return {Code::invalidCategoryName,
            QStringLiteral("Category names cannot be empty, hidden, or contain \u201C/\u201D or "
                           "\u201C:\u201D.")};
}

FileSystemError FileSystemError::noSuchFolder(const QString &path)
{
    return {Code::fileNoSuchFile,
            QStringLiteral("The folder ") + quotedName(path) + QStringLiteral(" doesn\u2019t exist."),
            ENOENT};
}

FileSystemError FileSystemError::writeUnknown(const QString &path)
{
    return {Code::fileWriteUnknown,
            quotedName(path) + QStringLiteral(" couldn\u2019t be moved to the trash.")};
}

FileSystemError FileSystemError::cancelled()
{
    return {Code::cancelled, QStringLiteral("The operation was cancelled."), ECANCELED};
}

FileSystemError FileSystemError::system(int errnum, const QString &whatFailed)
{
    return {Code::platform,
            whatFailed + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errnum))
                + QLatin1Char('.'),
            errnum};
}
