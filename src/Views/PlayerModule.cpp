#include "PlayerModule.h"

#include "Services/OwnModule.h"

#include <QtConcurrentRun>

const PlayerModule::Api *PlayerModule::api()
{
#ifdef CALVENOR_BUILD_PLAYER_MODULE
    const QString built = QStringLiteral(CALVENOR_BUILD_PLAYER_MODULE);
#else
    const QString built;
#endif
    static const Api *const loaded =
        OwnModule::load<Api>(QStringLiteral("calvenor-player.so"), built, "calvenor_player_module",
                             apiVersion, "Clips cannot be played");
    return loaded;
}

void PlayerModule::preload()
{
    static const bool started = [] {
        (void)QtConcurrent::run([] { (void)api(); });
        return true;
    }();
    Q_UNUSED(started);
}
