#include "app/ProgramLog.h"

#include "app/NarrowText.h"

#include <cstdio>

const std::string defaultProgramLog = "zol.log";
std::string strProgramLog = defaultProgramLog;
bool logEnabled = true;

namespace {

const char *const versionLine = "Z/O/L Portal version 1.0";
constexpr std::size_t separatorLength = 71;

} // namespace

void PrintLine(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void FormatTimestamp(char (&buffer)[32], const std::tm &time)
{
    if (std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &time) == 0)
        buffer[0] = '\0';
}

void FormatTimestamp(char (&buffer)[32])
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    FormatTimestamp(buffer, local);
}

int LogMessage(const std::string &text, bool echo)
{
    if (!logEnabled)
        return 1;
    if (echo)
        PrintLine(text);

    // Opened and closed for every line, so nothing is held between messages.
    std::FILE *file = std::fopen(strProgramLog.c_str(), "a");
    if (!file) {
        PrintLine("Failed to log: " + text);
        return 1;
    }
    char timestamp[32];
    FormatTimestamp(timestamp);
    std::fputs("Server: [", file);
    std::fputs(timestamp, file);
    std::fputs("] ", file);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fputc('\n', file);
    std::fclose(file);
    return 0;
}

int OpenProgramLog(const std::string &path)
{
    strProgramLog = FileSystemPath(path);
    PrintLine("Using program log: " + strProgramLog);

    int result = LogMessage(versionLine, false);
    if (result == 1) {
        PrintLine("Warning: Log strProgramLog " + strProgramLog + " is invalid.");
        if (path != defaultProgramLog) {
            result = OpenProgramLog(defaultProgramLog);
        } else {
            PrintLine("Warning: Logging will not be available for this run");
            logEnabled = false;
            result = 0;
        }
    }
    LogMessage(std::string(separatorLength, '-'), false);
    return result;
}
