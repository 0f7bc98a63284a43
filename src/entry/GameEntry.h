#pragma once

#include "app/DownloadMode.h"
#include "library/GameInfo.h"

#include <QWidget>

namespace Ui {
class GameEntry;
}

// One game in a section: an icon button and a title panel.
class GameEntry : public QWidget
{
    Q_OBJECT

public:
    GameEntry(const GameInfo &info, const QString &actionWord, QWidget *parent);
    ~GameEntry() override;

    const GameInfo &Info() const { return info; }

    // Optionally asks, runs the download dialog, then rebuilds the game list
    // (which deletes this entry: nothing of it may be used afterwards).
    void StartDownload(DownloadMode mode, bool confirm, bool autoClose);
    // Starts the game client and quits the portal when that worked.
    void LaunchGame();

private slots:
    void actionDownload_triggered();
    void actionExplore_triggered();
    void actionLaunch_triggered();
    void actionRepair_triggered();
    void actionUninstall_triggered();
    void HandleButton();
    void ShowContextMenu(const QPoint &pos);

private:
    bool Confirm(const QString &word);
    void RunDownload(DownloadMode mode, bool autoClose);

    Ui::GameEntry *ui;
    GameInfo info;
};
