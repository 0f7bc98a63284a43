#pragma once

#include "download/DownloadFile.h"

// The rows of a game's patch.db for the platform (connection "patch.db"),
// in the order the database returns them. `path` is nickname + "/" + filepath.
// `readEditable` (Patch runs only) marks the rows named in the editable table.
QueuedFiles ReadPatchManifest(const QString &databasePath, const QString &uuid,
                              const QString &nickname, const QString &serverUrl, int platform,
                              bool readEditable);
