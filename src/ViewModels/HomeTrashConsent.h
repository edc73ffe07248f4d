#pragma once

// Whether photos whose volume has no usable trash may be copied into the home trash without
// asking. From a share or a FUSE mount the copy crosses the network (or a slow program), and
// a large one takes long and fills the home disk: those ask first. A few small files from a
// local or removable disk are not worth a question.

#include "Models/HomeTrashPrompt.h"
#include "Services/Platform/CollectionVolumes.h"

class HomeTrashConsent
{
public:
    // From this many bytes, photos from any volume ask.
    static constexpr qint64 askFromBytes = qint64(64) << 20;

    // Whether trashing `photos`, whose folders lie on `volumes`, asks before the home trash
    // takes them.
    static bool isNeeded(const QList<Photo> &photos, const CollectionVolumes &volumes);
    // The question for `photos`: their files' total size and the name of the volume it is
    // about (the first share or FUSE mount among theirs, else the first photo's volume).
    static HomeTrashPrompt prompt(const QList<Photo> &photos, const CollectionVolumes &volumes);
};
