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
    // Makes the existing `folder` read-only: a bind mount of itself, remounted read-only, as a
    // card with its lock switch on or a share mounted "ro" behaves. Returns why it could not, or
    // nothing.
    QString bindReadOnly(const QString &folder)
    {
        if (!m_unavailable.isEmpty()) {
            return m_unavailable;
        }
        const QByteArray path = QFile::encodeName(folder);
        if (::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0) {
            return QStringLiteral("cannot bind: ") + QString::fromLocal8Bit(std::strerror(errno));
        }
        m_mounts.append(folder);
        if (::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                    nullptr)
            != 0) {
            return QStringLiteral("cannot remount read-only: ")
                   + QString::fromLocal8Bit(std::strerror(errno));
        }
        return {};
    }
    // Mounts `remote` (a local folder) at the existing `folder` through sshfs, with an ssh
    // command that runs the SFTP server itself: a share as a photographer mounts it, without a
    // daemon or keys. `script` is where that command is written. Returns why it could not, or
    // nothing.
    QString mountSshfs(const QString &remote, const QString &folder, const QString &script)
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
            || command.write("#!/bin/sh\nexec " + QFile::encodeName(server) + "\n") < 0) {
            return QStringLiteral("cannot write ") + script;
        }
        command.close();
        command.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        return mountFuse(sshfs, {QStringLiteral("-o"), QStringLiteral("ssh_command=") + script,
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
        // The last first: a mount may lie on or inside an earlier one.
        for (auto mount = m_mounts.crbegin(); mount != m_mounts.crend(); ++mount) {
            ::umount2(QFile::encodeName(*mount).constData(), MNT_DETACH);
        }
        m_mounts.clear();
    }

private:
    QString m_unavailable;
    QStringList m_mounts;
};
