#pragma once

// One window per user: a launch while the app runs hands its folder to the running window
// (over a local socket in the user's runtime folder) instead of starting a second process on
// the same collection.

#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // `socketPath` defaults to calvenor-photo-sorter.socket in the runtime folder.
    explicit SingleInstance(QString socketPath = {}, QObject *parent = nullptr);

    // Hands `folder` (empty: just show the window) to a running instance. False when none
    // answers, and this process should carry on as the first.
    bool forward(const QString &folder) const;
    // Starts answering later launches.
    bool listen();

Q_SIGNALS:
    // A later launch asked to open `folder`, or only to be shown when it is empty.
    void openRequested(const QString &folder);

private:
    QString m_path;
    QLocalServer *m_server = nullptr;
};
