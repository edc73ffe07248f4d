#include "HomeTrashConsent.h"

#include "Models/FilePaths.h"

namespace {

bool isRemote(const Volume &volume)
{
    return volume.kind == Volume::Kind::share || volume.kind == Volume::Kind::fuse;
}

const Volume &volumeOf(const Photo &photo, const CollectionVolumes &volumes)
{
    return volumes.of(FilePaths::parentOf(standardizedPath(photo.url)));
}

qint64 byteCountOf(const QList<Photo> &photos)
{
    qint64 total = 0;
    for (const Photo &photo : photos) {
        total += photo.shotByteCount();
    }
    return total;
}

} // namespace

bool HomeTrashConsent::isNeeded(const QList<Photo> &photos, const CollectionVolumes &volumes)
{
    if (photos.isEmpty()) {
        return false;
    }
    for (const Photo &photo : photos) {
        if (isRemote(volumeOf(photo, volumes))) {
            return true;
        }
    }
    return byteCountOf(photos) >= askFromBytes;
}

HomeTrashPrompt HomeTrashConsent::prompt(const QList<Photo> &photos,
                                         const CollectionVolumes &volumes)
{
    const Volume *about = photos.isEmpty() ? nullptr : &volumeOf(photos.first(), volumes);
    for (const Photo &photo : photos) {
        if (const Volume &volume = volumeOf(photo, volumes); isRemote(volume)) {
            about = &volume;
            break;
        }
    }
    return {QUuid::createUuid(), photos, about ? about->name : QString(), byteCountOf(photos)};
}
