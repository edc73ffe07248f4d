#pragma once

// A request to confirm copying photos into the home trash: their volume has no trash of its
// own, and the copy would cross the network or be large. Nothing has moved yet.

#include "Photo.h"

#include <QList>
#include <QString>
#include <QUuid>

struct HomeTrashPrompt
{
    QUuid id;
    QList<Photo> photos;  // as they were when the trash was asked for
    QString volumeName;   // the share's or card's name; empty for a disk without one
    qint64 byteCount = 0; // every file of the photos, companions included

    friend bool operator==(const HomeTrashPrompt &, const HomeTrashPrompt &) = default;
};
