#include "SingleInstance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int connectTimeoutMs = 1000;
// A running window busy for a moment answers late; a launch would rather wait than open a
// second window on the same collection.
constexpr int answerTimeoutMs = 15000;
// A folder's path and a line end; a peer that sends more without one is not a later launch.
constexpr qint64 longestRequest = 64 * 1024;
constexpr auto busPath = "/";
constexpr auto busInterface = "com.calvenor.photo_sorter.SingleInstance";

// Whether the process at the other end of a connected local socket runs as this user: the
// kernel says so, whoever made the socket's file.
bool peerIsThisUser(qintptr descriptor)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return descriptor >= 0
           && ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
           && size == sizeof peer && peer.uid == ::geteuid();
}

bool addressOf(const QString &path, sockaddr_un &address)
{
    const QByteArray encoded = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (encoded.isEmpty() || size_t(encoded.size()) >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    return true;
}

// A socket file left behind by an instance that crashed: this user's, and nobody listens on
// it. A socket someone answers on, or another user's, is never removed.
bool isLeftOver(const sockaddr_un &address)
{
    struct stat info{};
    if (::lstat(address.sun_path, &info) != 0 || !S_ISSOCK(info.st_mode)
        || info.st_uid != ::geteuid()) {
        return false;
    }
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) {
        return false;
    }
    const bool refused =
        ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        && errno == ECONNREFUSED;
    ::close(probe);
    return refused;
}

} // namespace

SingleInstance::SingleInstance(QString socketPath, QString busName, QObject *parent)
    : QObject(parent)
    , m_path(std::move(socketPath))
{
    if (!m_path.isEmpty()) {
        return;
    }
    if (!busName.isEmpty() && QDBusConnection::sessionBus().isConnected()) {
        m_busName = std::move(busName);
        return;
    }
    // The runtime folder is the user's own; the shared temporary folder needs the user's
    // number in the name, so that two users never meet on one socket.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    m_path = runtime.isEmpty()
                 ? QDir::tempPath()
                       + QStringLiteral("/calvenor-photo-sorter-%1.socket").arg(::geteuid())
                 : runtime + QStringLiteral("/calvenor-photo-sorter.socket");
}

SingleInstance::~SingleInstance()
{
    if (m_ownsBusName) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(m_busName);
        bus.unregisterObject(QString::fromLatin1(busPath));
    }
    if (m_server) {
        delete m_server;
        // Only our own socket: bind() never replaced anyone's, and nobody replaced ours.
        sockaddr_un address;
        struct stat info{};
        if (addressOf(m_path, address) && ::lstat(address.sun_path, &info) == 0
            && info.st_dev == m_socketDevice && info.st_ino == m_socketInode) {
            ::unlink(address.sun_path);
        }
    }
}

bool SingleInstance::forward(const QString &folder) const
{
    if (!m_busName.isEmpty()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            m_busName, QString::fromLatin1(busPath), QString::fromLatin1(busInterface),
            QStringLiteral("open"));
        call.setAutoStartService(false);
        call << folder;
        const QDBusMessage reply =
            QDBusConnection::sessionBus().call(call, QDBus::Block, answerTimeoutMs);
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        return false;
    }
    // Another user's socket under our name hears nothing, and its "ok" is never believed.
    if (!peerIsThisUser(socket.socketDescriptor())) {
        qWarning("%s is held by another user; this window does not share it",
                 qPrintable(m_path));
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
    if (m_busName.isEmpty()) {
        return listenOnSocket();
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QString::fromLatin1(busPath), this,
                            QDBusConnection::ExportScriptableSlots)) {
        return false;
    }
    if (!bus.registerService(m_busName)) {
        bus.unregisterObject(QString::fromLatin1(busPath));
        return false;
    }
    m_ownsBusName = true;
    return true;
}

bool SingleInstance::open(const QString &folder)
{
    Q_EMIT openRequested(folder);
    return true;
}

bool SingleInstance::listenOnSocket()
{
    sockaddr_un address;
    if (!addressOf(m_path, address)) {
        return false;
    }
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return false;
    }
    // bind() never replaces a file, unlike QLocalServer's own listen(), so a running
    // instance's socket is never taken, however long it takes to answer.
    const auto bind = [&] {
        return ::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address)
               == 0;
    };
    const bool bound =
        bind() || (errno == EADDRINUSE && isLeftOver(address) && ::unlink(address.sun_path) == 0 && bind());
    struct stat info{};
    // Nobody can connect before listen(), so the mode is right before anyone can.
    const bool listening = bound && ::chmod(address.sun_path, S_IRUSR | S_IWUSR) == 0
                           && ::lstat(address.sun_path, &info) == 0
                           && ::listen(descriptor, SOMAXCONN) == 0;
    auto *server = new QLocalServer(this);
    if (!listening || !server->listen(descriptor)) {
        delete server;
        ::close(descriptor);
        if (bound) {
            ::unlink(address.sun_path);
        }
        return false;
    }
    m_server = server;
    m_socketDevice = info.st_dev;
    m_socketInode = info.st_ino;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::answer);
    return true;
}

void SingleInstance::answer()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > longestRequest) {
                    socket->abort();
                }
                return;
            }
            const QString folder = QString::fromUtf8(socket->readLine()).chopped(1);
            socket->write("ok\n");
            socket->flush();
            Q_EMIT openRequested(folder);
        });
    }
}
