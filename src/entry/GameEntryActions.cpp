// placeholder: the entry's actions are still to be written
#include "entry/GameEntry.h"

void GameEntry::StartDownload(DownloadMode, bool, bool) {}
void GameEntry::LaunchGame() {}
void GameEntry::actionDownload_triggered() {}
void GameEntry::actionExplore_triggered() {}
void GameEntry::actionLaunch_triggered() {}
void GameEntry::actionRepair_triggered() {}
void GameEntry::actionUninstall_triggered() {}
void GameEntry::HandleButton() {}
void GameEntry::ShowContextMenu(const QPoint &) {}
bool GameEntry::Confirm(const QString &) { return false; }
void GameEntry::RunDownload(DownloadMode, bool) {}
