#include "app/PortalSettings.h"

PortalSettings::PortalSettings()
    : downloadMode(None), webPort(80), webUrl("127.0.0.1"), startGame(false)
{
}
