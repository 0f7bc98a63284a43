#pragma once

#include <vector>

struct PortalSettings;

// 0 = go on, 1 = stop (help shown, or an argument that is not an option).
int ParseCommandLine(int argc, char **argv, PortalSettings &settings);
void PrintUsage();
const char *PlatformName(int platform);

// Qt takes "-platform <name>" as its own option and aborts when it has no
// plug-in of that name. The platform names of the help text are hidden from
// it, so that they reach ParseCommandLine, which rejects them.
struct HiddenArguments
{
    // The whole argument vector before anything was hidden, in order.
    std::vector<char *> original;
    // Which entries of `original` were hidden.
    std::vector<bool> hidden;
};

// Removes "-platform"/"--platform" followed by windows, mac or linux (any
// letter case), and a "-platform" that is the last argument, from argv.
HiddenArguments HidePlatformArguments(int &argc, char **argv);
// Puts the hidden arguments back in their places among those that Qt left.
void RestoreHiddenArguments(const HiddenArguments &hidden, int &argc, char **argv);
