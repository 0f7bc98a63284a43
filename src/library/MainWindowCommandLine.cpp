#include "library/MainWindow.h"

#include "app/PortalSettings.h"
#include "entry/ClientLaunch.h"
#include "entry/GameEntry.h"

#include <QCoreApplication>

void MainWindow::RunCommandLineAction()
{
    if (commandLineActionDone || !settings)
        return;
    const DownloadMode mode = settings->downloadMode;
    if (mode != Download && mode != Patch && mode != Repair)
        return;
    const QString uuid =
        QString::fromLatin1(settings->uuid.data(), qsizetype(settings->uuid.size()));
    if (uuid.isEmpty())
        return;

    GameEntry *target = nullptr;
    for (GameEntry *entry : std::as_const(entries)) {
        if (entry->Info().uuid.compare(uuid, Qt::CaseInsensitive) == 0) {
            target = entry;
            break;
        }
    }
    if (!target)
        return;

    // The dialog's end rebuilds the list, which comes back here with the same
    // settings; the action must already count as done by then.
    commandLineActionDone = true;
    const QString gameUuid = target->Info().uuid;
    const bool startGame = settings->startGame;
    target->StartDownload(mode, false, startGame);
    // The rebuild has deleted `target`; launch from the saved uuid alone.
    if (startGame && StartGameClient(gameUuid))
        QCoreApplication::quit();
}
