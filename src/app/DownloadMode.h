#pragma once

#include <QtGlobal>

// What a download run does. Cancel sets a running dialog to None.
enum DownloadMode : qint32 { None = 0, Download = 1, Patch = 2, Repair = 3 };
