#include "VideoModule.h"

#include "Services/OwnModule.h"

const VideoModule::Api *VideoModule::api()
{
#ifdef CALVENOR_BUILD_VIDEO_MODULE
    const QString built = QStringLiteral(CALVENOR_BUILD_VIDEO_MODULE);
#else
    const QString built;
#endif
    static const Api *const loaded =
        OwnModule::load<Api>(QStringLiteral("calvenor-video.so"), built, "calvenor_video_module",
                             apiVersion, "Videos cannot be read");
    return loaded;
}
