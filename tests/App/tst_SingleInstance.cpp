#include "App/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t otherUser = 65534; // nobody

sockaddr_un addressOf(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return address;
}

// Runs `work` in a child process as another user; what it returns comes back on the pipe, one
// byte, once it is done. Only system calls in the child: the parent has threads.
struct Child
{
    pid_t pid = -1;
    int report = -1;

    template<typename Work>
    static Child asOtherUser(Work work)
    {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0) {
            return {};
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGPIPE, SIG_IGN); // a closed connection is an answer, not a crash
            ::close(pipe[0]);
            char result = 'u';
            if (::setresgid(otherUser, otherUser, otherUser) == 0
                && ::setresuid(otherUser, otherUser, otherUser) == 0) {
                result = work(pipe[1]);
            }
            (void)!::write(pipe[1], &result, 1);
            ::_exit(0);
        }
        ::close(pipe[1]);
        return {pid, pipe[0]};
    }
    // The next byte the child reports, waiting at most `timeoutMs`; 0 when none came.
    char next(int timeoutMs = 20000) const
    {
        pollfd wanted{report, POLLIN, 0};
        char byte = 0;
        return ::poll(&wanted, 1, timeoutMs) == 1 && ::read(report, &byte, 1) == 1 ? byte : 0;
    }
    ~Child()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            ::close(report);
        }
    }
};

mode_t modeOf(const QString &path)
{
    struct stat info{};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void anotherUsersSocketIsNeverUsed();
    void anotherUserIsNotAnswered();
    void aRunningInstanceKeepsItsSocket();
    void theSessionBusCarriesTheRequest();
};

// Another user who made our socket's name first, in the shared temporary folder, hears no
// folder, is not believed when it answers "ok", and keeps its file.
void tst_SingleInstance::anotherUsersSocketIsNeverUsed()
{
    QTemporaryDir dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
    const QString path = dir.path() + QStringLiteral("/instance.socket");
    const sockaddr_un address = addressOf(path);
    // Reports 'l' once listening, then how many bytes the first caller sent, after "ok".
    const Child squatter = Child::asOtherUser([&address](int report) -> char {
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(server, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
            || ::listen(server, 4) != 0 || ::write(report, "l", 1) != 1) {
            return 'e';
        }
        const int caller = ::accept(server, nullptr, nullptr);
        char request[256];
        pollfd readable{caller, POLLIN, 0};
        const ssize_t got = ::poll(&readable, 1, 5000) == 1 ? ::read(caller, request, sizeof request) : 0;
        (void)!::write(caller, "ok\n", 3);
        return char('0' + std::min<ssize_t>(got, 9));
    });
    QCOMPARE(squatter.next(), 'l');

    SingleInstance launch(path);
    QVERIFY(!launch.forward(QStringLiteral("/photos")));
    QVERIFY(!launch.listen());
    QCOMPARE(squatter.next(), '0');
    struct stat info{};
    QVERIFY(::lstat(address.sun_path, &info) == 0 && S_ISSOCK(info.st_mode));
    QCOMPARE(info.st_uid, otherUser);
}

// Even where another user may reach our socket, the running window takes no request from it.
void tst_SingleInstance::anotherUserIsNotAnswered()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/instance.socket");
    SingleInstance running(path);
    QVERIFY(running.listen());
    QSignalSpy asked(&running, &SingleInstance::openRequested);
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
    const sockaddr_un address = addressOf(path);
    // Reports what came back: 'o' for an answer, 'x' for none.
    const Child intruder = Child::asOtherUser([&address](int) -> char {
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            return 'e';
        }
        (void)!::write(socket, "/elsewhere\n", 11);
        char answer[8];
        return ::read(socket, answer, sizeof answer) > 0 ? 'o' : 'x';
    });
    char outcome = 0; // read once: QTRY asks again after it held
    QTRY_VERIFY_WITH_TIMEOUT(outcome || (outcome = intruder.next(0)), 20000);
    QCOMPARE(outcome, 'x');
    QCOMPARE(asked.count(), 0);
}

// A running window's socket is never taken by a later launch, however long the window takes
// to answer; a socket file a crashed instance left is reused. Only its owner may use it.
void tst_SingleInstance::aRunningInstanceKeepsItsSocket()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/instance.socket");
    const sockaddr_un address = addressOf(path);
    const int crashed = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(::bind(crashed, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0);
    ::close(crashed);
    {
        SingleInstance running(path);
        QVERIFY(running.listen());
        QCOMPARE(modeOf(path), mode_t(0600));
        QVERIFY(!SingleInstance(path).listen());
        QSignalSpy asked(&running, &SingleInstance::openRequested);
        QFuture<bool> later = QtConcurrent::run(
            [path] { return SingleInstance(path).forward(QStringLiteral("/photos")); });
        QThread::msleep(1500); // the window is busy for longer than a launch once waited
        QTRY_COMPARE(asked.count(), 1);
        QVERIFY(later.result());
    }
    QVERIFY(!QFile::exists(path));
}

// Where a session bus runs, a later launch hands its folder over the bus; the name has one
// owner until it goes. Run under dbus-run-session by the suite, skipped without a bus.
void tst_SingleInstance::theSessionBusCarriesTheRequest()
{
    if (!QDBusConnection::sessionBus().isConnected()) {
        QSKIP("no session bus");
    }
    const QString folder = QStringLiteral("/photos/\u00e9t\u00e9 2024");
    const auto launch = [&folder] {
        QProcess later;
        later.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--forward"), folder});
        QSignalSpy finished(&later, &QProcess::finished);
        return finished.wait(30000) && later.exitCode() == 0;
    };
    QVERIFY(!launch()); // nobody running
    {
        SingleInstance running;
        QVERIFY(running.listen());
        QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QString::fromLatin1(SingleInstance::defaultBusName)));
        QVERIFY(!SingleInstance().listen());
        QSignalSpy asked(&running, &SingleInstance::openRequested);
        QVERIFY(launch());
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked.first().value(0).toString(), folder);
    }
    QVERIFY(SingleInstance().listen());
}

// `--forward FOLDER` makes this program a later launch, for the bus test.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--forward") == 0) {
        return SingleInstance().forward(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    tst_SingleInstance test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SingleInstance.moc"
