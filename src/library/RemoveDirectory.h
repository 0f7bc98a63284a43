#pragma once

#include <QString>

// Removes a folder tree, depth first. True when the path did not exist or
// everything was removed; false at the first entry that could not be removed.
// Links are removed as entries of their own and never followed.
bool RemoveDirectory(const QString &path);
