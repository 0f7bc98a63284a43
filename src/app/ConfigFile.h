#pragma once

#include <string>

struct PortalSettings;

// Fills the settings from the configuration file. 0 = go on (read, or no
// file), 1 = start-up must stop.
int ReadConfigFile(const std::string &fileName, PortalSettings &settings);
