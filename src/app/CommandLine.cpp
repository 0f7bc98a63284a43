#include "app/CommandLine.h"

#include "app/PortalSettings.h"
#include "app/ProgramLog.h"

#include <cstring>
#include <string>

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whole-argument comparison, ASCII letters in any case; `option` is lower case.
bool IsOption(const char *argument, const char *option)
{
    for (; *argument && *option; ++argument, ++option) {
        if (LowerAscii(*argument) != *option)
            return false;
    }
    return *argument == '\0' && *option == '\0';
}

int RejectArgument(const char *argument)
{
    PrintLine(std::string("Unknown parameter: ") + argument);
    PrintUsage();
    return 1;
}

// Qt compares its option names exactly, with one or two leading dashes.
bool IsQtPlatformOption(const char *argument)
{
    return std::strcmp(argument, "-platform") == 0 || std::strcmp(argument, "--platform") == 0;
}

bool IsPortalPlatformName(const char *argument)
{
    return IsOption(argument, "windows") || IsOption(argument, "mac") ||
           IsOption(argument, "linux");
}

} // namespace

int ParseCommandLine(int argc, char **argv, PortalSettings &settings)
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (IsOption(argument, "-download")) {
            settings.downloadMode = Download;
        } else if (IsOption(argument, "-log")) {
            // An option whose value is missing is not an option we know.
            if (i + 1 >= argc)
                return RejectArgument(argument);
            settings.logFile = argv[++i];
        } else if (IsOption(argument, "-patch")) {
            settings.downloadMode = Patch;
        } else if (IsOption(argument, "-repair")) {
            settings.downloadMode = Repair;
        } else if (IsOption(argument, "-start")) {
            settings.startGame = true;
        } else if (IsOption(argument, "-uuid")) {
            if (i + 1 >= argc)
                return RejectArgument(argument);
            settings.uuid = argv[++i];
        } else if (IsOption(argument, "-?") || IsOption(argument, "-h") ||
                   IsOption(argument, "-help")) {
            PrintUsage();
            return 1;
        } else {
            return RejectArgument(argument);
        }
    }
    return 0;
}

void PrintUsage()
{
    PrintLine("");
    PrintLine("Launches " + std::string("Z/O/L Portal"));
    PrintLine("");
    PrintLine("ZOL_PORTAL [-?|-h|-help] | [-uuid <uuid>] | [-download] | [-patch] | [-repair] | "
              "[-log <file>] |"
              "           [-start] | [-platform <windows|mac|linux>]");
    PrintLine("");
    PrintLine("-?, -h, -help");
    PrintLine("   Displays program execution requirements and command-line parameter help");
    PrintLine("-download");
    PrintLine("   Starts a full client download specified by -uuid and -platform");
    PrintLine("-patch");
    PrintLine("   Updates game files for the game specified by -uuid and -platform");
    PrintLine("-repair");
    PrintLine("   Attempts to fix a downloaded game by downloading missing files and cleaning "
              "scripts");
    PrintLine("-uuid <uuid>");
    PrintLine("   Required by -download, -patch, -repair, and -start to specify the target game");
    PrintLine("-log <file>");
    PrintLine("   Specifies output file the portal will use for logging events and errors");
    PrintLine("   Default is " + defaultProgramLog);
    PrintLine("-platform <windows|mac|linux>");
    PrintLine("   Specifies the desired operating system for downloads");
    PrintLine("");
}

const char *PlatformName(int platform)
{
    switch (platform) {
    case 1:
        return "windows";
    case 2:
        return "linux";
    case 3:
        return "mac";
    default:
        return "unknown";
    }
}

HiddenArguments HidePlatformArguments(int &argc, char **argv)
{
    HiddenArguments result;
    result.original.assign(argv, argv + argc);
    result.hidden.assign(argc, false);
    for (int i = 1; i < argc; ++i) {
        if (!IsQtPlatformOption(argv[i]))
            continue;
        if (i + 1 == argc) {
            result.hidden[i] = true;
        } else if (IsPortalPlatformName(argv[i + 1])) {
            result.hidden[i] = true;
            result.hidden[i + 1] = true;
            ++i;
        }
    }
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (!result.hidden[i])
            argv[kept++] = argv[i];
    }
    for (int i = kept; i < argc; ++i)
        argv[i] = nullptr;
    argc = kept;
    return result;
}

void RestoreHiddenArguments(const HiddenArguments &hidden, int &argc, char **argv)
{
    // What Qt left is an ordered subset of what it was given; walk both lists.
    const std::vector<char *> left(argv, argv + argc);
    std::size_t next = 0;
    int count = 0;
    for (std::size_t i = 0; i < hidden.original.size(); ++i) {
        if (hidden.hidden[i]) {
            argv[count++] = hidden.original[i];
        } else if (next < left.size() && left[next] == hidden.original[i]) {
            argv[count++] = left[next++];
        }
    }
    for (std::size_t i = count; i < hidden.original.size(); ++i)
        argv[i] = nullptr;
    argc = count;
}
