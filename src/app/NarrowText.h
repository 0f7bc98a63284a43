#pragma once

#include <QString>

#include <string>

// Narrow text is the local 8-bit encoding (the ANSI code page on Windows).
QString FromNarrow(const std::string &text);
std::string ToNarrow(const QString &text);

// A narrow path passed through the file system's own path type and back,
// as the platform's file-name encoding sees it. Plain ASCII is unchanged.
std::string FileSystemPath(const std::string &path);
