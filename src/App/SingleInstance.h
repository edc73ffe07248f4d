#pragma once

// One window per user: a launch while the app runs hands its folder to the running window
// instead of starting a second process on the same collection. The request goes over the
// session bus where there is one: the bus is the user's own and a name has one owner. Without
// a bus it goes over a local socket that only its owner may use (mode 0600), and each end
// checks that the other runs as the same user, so a socket another user made first, in the
// shared temporary folder, is never told a folder nor taken for ours.

#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.calvenor.photo_sorter.SingleInstance")

public:
    static constexpr auto defaultBusName = "com.calvenor.photo_sorter";

    // With a `socketPath`, the socket is used whether or not there is a bus. Without one, the
    // session bus under `busName` when connected, else calvenor-photo-sorter.socket in the
    // runtime folder.
    explicit SingleInstance(QString socketPath = {},
                            QString busName = QString::fromLatin1(defaultBusName),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // Hands `folder` (empty: just show the window) to a running instance. False when none
    // answers, and this process should carry on as the first.
    bool forward(const QString &folder) const;
    // Starts answering later launches. False when another process holds the name, which is
    // never taken from it: this process then carries on as a window of its own.
    bool listen();

public Q_SLOTS:
    // Called over the bus by a later launch; true once the request is taken.
    Q_SCRIPTABLE bool open(const QString &folder);

Q_SIGNALS:
    // A later launch asked to open `folder`, or only to be shown when it is empty.
    void openRequested(const QString &folder);

private:
    bool listenOnSocket();
    void answer();

    QString m_path;
    QString m_busName; // empty: the socket is used
    QLocalServer *m_server = nullptr;
    quint64 m_socketDevice = 0; // the socket file made by listen(), removed only if still it
    quint64 m_socketInode = 0;
    bool m_ownsBusName = false;
};
