#pragma once

#include <QRegularExpression>
#include <QString>

// A wildcard pattern over a relative path with "/" separators, matched against
// the whole path and case-sensitively (as the portal compares editable paths):
// "*" is any run of characters within one folder or file name, "?" one such
// character, "**" any run across folders, and "**/" zero or more whole folders.
// Every other character stands for itself.
QRegularExpression PathPatternExpression(const QString &pattern);

bool MatchesPathPattern(const QString &pattern, const QString &path);
