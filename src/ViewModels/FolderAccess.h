#pragma once

// What the volumes under the open collection allow, asked before a command touches the disk: a
// read-only volume refuses every change at once with one alert instead of a failure per file,
// and a name the destination's volume refuses (or would silently change) is refused naming the
// name and its reason, before anything moves. While nothing is known, every command may try.

#include "Models/UserFacingAlert.h"
#include "Services/Platform/CollectionVolumes.h"

#include <QCoreApplication>
#include <QStringList>

#include <optional>

class FolderAccess
{
    Q_DECLARE_TR_FUNCTIONS(FolderAccess)

public:
    enum class Command {
        move,
        trash,
        copyIn,
        newCategory,
        renameCategory,
        deleteCategory,
        undo,
        redo,
    };

    // The collection at `root` (an absolute, clean path) lies on `volumes`. True when the
    // root's volume changed.
    bool setVolumes(const QString &root, const CollectionVolumes &volumes);

    // The root's volume: a local, writable one while nothing is known.
    const Volume &volume() const { return m_volumes.root; }
    const Volume &volumeOf(const QString &folder) const { return m_volumes.of(folder); }
    const CollectionVolumes &volumes() const { return m_volumes; }

    // Why `command` may not run: one of `folders` (every folder it changes: where items leave
    // and where they arrive) is read-only, or one of `names` cannot be given to a new item in
    // `destination`. Nothing when it may be tried.
    std::optional<UserFacingAlert> refusal(Command command, const QStringList &folders,
                                           const QString &destination = {},
                                           const QStringList &names = {}) const;

private:
    static QString title(Command command);
    // What the alert calls the read-only place `volume` holding `folder`.
    QString placeName(const Volume &volume, const QString &folder) const;

    QString m_root;
    CollectionVolumes m_volumes;
};
