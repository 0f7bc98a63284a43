#pragma once

#include "app/DownloadMode.h"

#include <string>

// The one settings record of a run. Strings are narrow 8-bit text, as the
// command line and the configuration file deliver them.
struct PortalSettings
{
    PortalSettings();

    DownloadMode downloadMode;
    qint32 webPort;
    std::string uuid;
    std::string configFile;
    std::string logFile;
    std::string webUrl;
    bool startGame;
};
