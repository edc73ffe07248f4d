#include "PreviewMotionSource.h"

#include "Services/Decoders/ImageSource.h"
#include "Services/Decoders/MotionPhoto.h"

namespace PreviewMotionSource {

PreviewWindow::MotionRead readFor(const Photo &photo)
{
    const QString path = standardizedPath(photo.url);
    if (photo.kind == ImageKind::video) {
        return [path] { return PreviewMotion{PreviewMotion::Kind::video, path}; };
    }
    for (qsizetype i = 0; i < photo.companions.size(); ++i) {
        if (photo.companions[i].kind == ImageKind::video) {
            const QString clip = standardizedPath(photo.memberURLs().at(i + 1));
            return [clip] { return PreviewMotion{PreviewMotion::Kind::live, clip}; };
        }
    }
    if (!photo.embeddedVideo) {
        return {};
    }
    // Found again where the scan confirmed it: the file may have changed since.
    return [path]() -> PreviewMotion {
        const std::optional<ImageSource> file = ImageSource::open(path);
        if (!file) {
            return {};
        }
        const auto video = MotionPhoto::locate(file->head(), file->size(), file->reader());
        if (!video) {
            return {};
        }
        return {PreviewMotion::Kind::embedded, path, video->offset, video->length};
    };
}

} // namespace PreviewMotionSource
