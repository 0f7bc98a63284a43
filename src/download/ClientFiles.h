#pragma once

#include "download/DownloadFile.h"

// "client_<platform>_<major>_<minor>"
QString ClientBuildName(const QString &platformName, int major, int minor);

// The engine client files that the catalogue connection lists for the game's
// engine version, in the order returned; none when the game, its version
// columns or the build's rows are missing.
QueuedFiles ReadClientFiles(const QString &connectionName, const QString &uuid,
                            const QString &serverUrl, const QString &platformName);
