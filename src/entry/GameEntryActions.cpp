#include "entry/GameEntry.h"

#include "download/GameDownload.h"
#include "download/PathRules.h"
#include "entry/ClientLaunch.h"
#include "library/MainWindow.h"
#include "library/RemoveDirectory.h"
#include "ui_GameEntry.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>

namespace {

QString ModeWord(DownloadMode mode)
{
    switch (mode) {
    case Download:
        return QStringLiteral("Download");
    case Patch:
        return QStringLiteral("Patch");
    case Repair:
        return QStringLiteral("Repair");
    case None:
        break;
    }
    return QString();
}

} // namespace

bool GameEntry::Confirm(const QString &word)
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, QStringLiteral("Verify ") + word, word + u' ' + info.title + u'?',
        QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
    return answer == QMessageBox::Yes;
}

void GameEntry::RunDownload(DownloadMode mode, bool autoClose)
{
    QPointer<GameDownload> dialog = new GameDownload(info, mode, autoClose, this);
    dialog->setModal(true);
    dialog->exec();
    if (MainWindow *window = FindMainWindow(parent()))
        window->RebuildGameList();
    // The rebuild normally destroyed this entry and the dialog with it. A dialog
    // that survived (no main window, or an entry outside the sections) must not
    // go on downloading in the background.
    delete dialog.data();
}

void GameEntry::StartDownload(DownloadMode mode, bool confirm, bool autoClose)
{
    if (confirm && !Confirm(ModeWord(mode)))
        return;
    RunDownload(mode, autoClose);
}

void GameEntry::LaunchGame()
{
    if (StartGameClient(info.uuid))
        QCoreApplication::quit();
}

void GameEntry::actionDownload_triggered()
{
    if (Confirm(QStringLiteral("Download")))
        RunDownload(Download, false);
}

void GameEntry::actionExplore_triggered()
{
    const QString path =
        QCoreApplication::applicationDirPath() + u'/' + info.uuid + u'/' + info.nickname;
    QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::toNativeSeparators(path)));
}

void GameEntry::actionLaunch_triggered()
{
    LaunchGame();
}

void GameEntry::actionRepair_triggered()
{
    if (!Confirm(QStringLiteral("Repair")))
        return;
    // An empty or odd name would point the removal somewhere else entirely.
    if (IsSafeFolderName(info.uuid) && IsSafeFolderName(info.nickname))
        RemoveDirectory(info.uuid + u'/' + info.nickname + QStringLiteral("/scripts"));
    RunDownload(Repair, false);
}

void GameEntry::actionUninstall_triggered()
{
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, QStringLiteral("Verify Uninstall"),
                              QStringLiteral("This will completely remove ") + info.title +
                                  QStringLiteral(". Continue Uninstall?"),
                              QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer != QMessageBox::Yes)
        return;
    if (IsSafeFolderName(info.uuid))
        RemoveDirectory(info.uuid);
    if (MainWindow *window = FindMainWindow(parent()))
        window->RebuildGameList();
}

void GameEntry::HandleButton()
{
    if (info.installed)
        LaunchGame();
    else
        actionDownload_triggered();
}

void GameEntry::ShowContextMenu(const QPoint &pos)
{
    const QPoint global = ui->pushButton->mapToGlobal(pos);
    QMenu menu;
    if (info.installed) {
        menu.addAction(QStringLiteral("Launch"), this, &GameEntry::actionLaunch_triggered);
        menu.addAction(QStringLiteral("Show in Explorer"), this,
                       &GameEntry::actionExplore_triggered);
        menu.addAction(QStringLiteral("Repair"), this, &GameEntry::actionRepair_triggered);
        menu.addAction(QStringLiteral("Uninstall"), this, &GameEntry::actionUninstall_triggered);
    } else {
        menu.addAction(QStringLiteral("Download"), this, &GameEntry::actionDownload_triggered);
    }
    // The chosen action may rebuild the list and so destroy this entry: nothing
    // of it is touched after exec().
    menu.exec(global);
}
