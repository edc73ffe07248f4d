#pragma once

// Mounts for tests that need a second file system (a tmpfs, a share, a card): made in a private
// mount namespace, so nobody else sees them and they vanish with the process. Tests run as
// root; where the namespace cannot be had, `mountTmpfs` says why and the test skips.

#include <QFile>
#include <QHash>
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
    // Why cards cannot be mounted here: no namespace, no /dev/fuse or no loop devices. Empty
    // where they can; a missing program then fails the test instead.
    QString cardsUnavailable() const
    {
        if (!m_unavailable.isEmpty()) {
            return m_unavailable;
        }
        if (!QFile::exists(QStringLiteral("/dev/fuse"))
            || !QFile::exists(QStringLiteral("/dev/loop-control"))) {
            return QStringLiteral("/dev/fuse or the loop devices are missing");
        }
        return {};
    }
    // Mounts the exFAT file system in `image` at the existing `folder` as a card in a reader:
    // through exfat-fuse, on a loop device of its own. A missing image is made (8 MiB) and
    // formatted first, with a volume serial (its UUID) of its own. Returns why it could not, or
    // nothing.
    QString mountExfat(const QString &image, const QString &folder)
    {
        if (QString missing = cardsUnavailable(); !missing.isEmpty()) {
            return missing;
        }
        const QStringList system{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")};
        const auto program = [&](const char *name) {
            const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
            return found.isEmpty() ? QStandardPaths::findExecutable(QString::fromLatin1(name), system)
                                   : found;
        };
        if (!QFile::exists(image)) {
            QFile file(image);
            if (!file.open(QIODevice::WriteOnly) || !file.resize(8 << 20)) {
                return QStringLiteral("cannot make ") + image;
            }
            file.close();
            QProcess format;
            format.start(program("mkfs.exfat"), {image});
            if (!format.waitForFinished() || format.exitCode() != 0) {
                return QStringLiteral("mkfs.exfat is missing or failed");
            }
        }
        QProcess attach;
        attach.start(program("losetup"), {QStringLiteral("--find"), QStringLiteral("--show"), image});
        if (!attach.waitForFinished() || attach.exitCode() != 0) {
            return QStringLiteral("losetup failed: ")
                   + QString::fromLocal8Bit(attach.readAllStandardError());
        }
        const QString device = QString::fromLocal8Bit(attach.readAllStandardOutput()).trimmed();
        const QString why = mountFuse(program("mount.exfat-fuse"), {device, folder}, folder);
        if (!why.isEmpty()) {
            QProcess::execute(program("losetup"), {QStringLiteral("-d"), device});
            return why;
        }
        m_loops.insert(folder, device);
        return {};
    }
    // Unmounts what is mounted at `folder`, and lets go of its loop device.
    void unmount(const QString &folder)
    {
        const QByteArray path = QFile::encodeName(folder);
        // A FUSE program on a block device has written everything back once this returns.
        if (::umount2(path.constData(), 0) != 0) {
            ::umount2(path.constData(), MNT_DETACH);
        }
        m_mounts.removeOne(folder);
        if (const QString device = m_loops.take(folder); !device.isEmpty()) {
            QProcess::execute(QStandardPaths::findExecutable(QStringLiteral("losetup"),
                                                             {QStringLiteral("/usr/sbin"),
                                                              QStringLiteral("/sbin")}),
                              {QStringLiteral("-d"), device});
        }
    }
    void unmountAll()
    {
        while (!m_mounts.isEmpty()) {
            unmount(m_mounts.last()); // the latest first: it may lie inside an earlier one
        }
    }

private:
    QString m_unavailable;
    QStringList m_mounts;
    QHash<QString, QString> m_loops; // mount point → loop device
};
