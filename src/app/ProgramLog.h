#pragma once

#include <ctime>
#include <string>

extern const std::string defaultProgramLog;
extern std::string strProgramLog;
extern bool logEnabled;

// 0 = the line was written to the log file, 1 = it was not.
int LogMessage(const std::string &text, bool echo);
// 0 once the log is settled: a file can be written, or logging is off.
int OpenProgramLog(const std::string &path);
// The local time as "%Y-%m-%d %H:%M:%S".
void FormatTimestamp(char (&buffer)[32]);
// The same format for a given broken-down time.
void FormatTimestamp(char (&buffer)[32], const std::tm &time);

// One line on standard output, flushed at once so that the order of the
// start-up lines stays exact whoever writes them.
void PrintLine(const std::string &text);
