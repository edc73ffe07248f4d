#pragma once

// Mounts for tests that need a second file system (a tmpfs): made in a private mount namespace,
// so nobody else sees them and they vanish with the process. Tests run as root; where the
// namespace cannot be had, `mountTmpfs` says why and the test skips.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

class PrivateMounts
{
public:
    // Enters the private namespace; once per test process, before anything is mounted.
    PrivateMounts()
    {
        if (::unshare(CLONE_NEWNS) != 0
            || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            m_unavailable = QStringLiteral("no private mount namespace: ")
                            + QString::fromLocal8Bit(std::strerror(errno));
        }
    }
    ~PrivateMounts() { unmountAll(); }
    PrivateMounts(const PrivateMounts &) = delete;
    PrivateMounts &operator=(const PrivateMounts &) = delete;

    // Mounts a fresh tmpfs at the existing `folder` ("size=1m" and the like); returns why it
    // could not, or nothing.
    QString mountTmpfs(const QString &folder, const char *options)
    {
        if (!m_unavailable.isEmpty()) {
            return m_unavailable;
        }
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options) != 0) {
            return QStringLiteral("cannot mount a tmpfs: ")
                   + QString::fromLocal8Bit(std::strerror(errno));
        }
        m_mounts.append(folder);
        return {};
    }
    // Mounts `remote` (a local folder) at the existing `folder` through sshfs, with an ssh
    // command that runs the SFTP server itself: a share as a photographer mounts it, without a
    // daemon or keys. `script` is where that command is written; with `serverPidFile` the
    // server's process id is written there (to stop it and make the share stop answering).
    // `options` are more of sshfs's -o options. Returns why it could not, or nothing.
    QString mountSshfs(const QString &remote, const QString &folder, const QString &script,
                       const QString &serverPidFile = {}, const QString &options = {})
    {
        if (!m_unavailable.isEmpty()) {
            return m_unavailable;
        }
        const QString sshfs = QStandardPaths::findExecutable(QStringLiteral("sshfs"));
        const QString server = QStringLiteral("/usr/lib/openssh/sftp-server");
        if (sshfs.isEmpty() || !QFile::exists(server) || !QFile::exists(QStringLiteral("/dev/fuse"))) {
            return QStringLiteral("sshfs, the SFTP server or /dev/fuse is missing");
        }
        QFile command(script);
        if (!command.open(QIODevice::WriteOnly)
            || command.write("#!/bin/sh\n"
                             + (serverPidFile.isEmpty()
                                    ? QByteArray()
                                    : "echo $$ > '" + QFile::encodeName(serverPidFile) + "'\n")
                             + "exec " + QFile::encodeName(server) + "\n")
                   < 0) {
            return QStringLiteral("cannot write ") + script;
        }
        command.close();
        command.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        return mountFuse(sshfs, {QStringLiteral("-o"),
                                 QStringLiteral("ssh_command=") + script
                                     + (options.isEmpty() ? QString() : QLatin1Char(',') + options),
                                 QStringLiteral("share:") + remote, folder}, folder);
    }
    // Mounts through a FUSE program, started with `arguments`, at `folder`. Returns why it could
    // not, or nothing.
    QString mountFuse(const QString &program, const QStringList &arguments, const QString &folder)
    {
        if (!m_unavailable.isEmpty()) {
            return m_unavailable;
        }
        const QString found = QStandardPaths::findExecutable(program);
        if (found.isEmpty() || !QFile::exists(QStringLiteral("/dev/fuse"))) {
            return program + QStringLiteral(" or /dev/fuse is missing");
        }
        const int status = QProcess::execute(found, arguments);
        if (status != 0) {
            return QStringLiteral("%1 failed with status %2").arg(program).arg(status);
        }
        m_mounts.append(folder);
        return {};
    }
    void unmountAll()
    {
        for (const QString &mount : std::as_const(m_mounts)) {
            ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH);
        }
        m_mounts.clear();
    }

private:
    QString m_unavailable;
    QStringList m_mounts;
};
