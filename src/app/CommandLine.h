#pragma once

struct PortalSettings;

// 0 = go on, 1 = stop (help shown, or an argument that is not an option).
int ParseCommandLine(int argc, char **argv, PortalSettings &settings);
void PrintUsage();
const char *PlatformName(int platform);
