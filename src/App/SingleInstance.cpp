#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace {

constexpr int answerTimeoutMs = 1000;

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject *parent)
    : QObject(parent)
    , m_path(std::move(socketPath))
{
    if (m_path.isEmpty()) {
        // The runtime folder is the user's own; the shared temporary folder needs the user's
        // number in the name, so that two users never meet on one socket.
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        m_path = runtime.isEmpty() ? QDir::tempPath()
                                         + QStringLiteral("/calvenor-photo-sorter-%1.socket")
                                               .arg(::getuid())
                                   : runtime + QStringLiteral("/calvenor-photo-sorter.socket");
    }
}

bool SingleInstance::forward(const QString &folder) const
{
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(answerTimeoutMs)) {
        return false;
    }
    socket.write(folder.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(answerTimeoutMs)) {
        return false;
    }
    // The running window says it took the request before this process goes.
    return socket.waitForReadyRead(answerTimeoutMs) && socket.readAll().startsWith("ok");
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        // A socket left by a crashed instance: nobody answered on it, so it is ours to reuse.
        QLocalServer::removeServer(m_path);
        if (!m_server->listen(m_path)) {
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    return;
                }
                const QString folder = QString::fromUtf8(socket->readLine()).chopped(1);
                socket->write("ok\n");
                socket->flush();
                Q_EMIT openRequested(folder);
            });
        }
    });
    return true;
}
