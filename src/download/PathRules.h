#pragma once

#include <QString>

// A name that can be one folder on every platform: not empty, not "." or "..",
// no "/", "\", ":" or control character, not ending in a dot or a blank.
bool IsSafeFolderName(const QString &name);

// A relative path with "/" separators that stays below its folder: not empty,
// not absolute, no drive letter, no "\" or ":", no empty, "." or ".." segment,
// no control character.
bool IsSafeRelativePath(const QString &path);
