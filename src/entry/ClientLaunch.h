#pragma once

#include <QString>

// Starts `<uuid>/zol_client.exe` detached, with `<uuid>` as its working
// directory and no arguments. True when the start succeeded.
bool StartGameClient(const QString &uuid);
