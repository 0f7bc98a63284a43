// placeholder: the download dialog is still to be written
#include "download/GameDownload.h"

GameDownload::GameDownload(const GameInfo &game, DownloadMode mode, bool autoClose, QWidget *parent)
    : QDialog(parent), ui(nullptr), game(&game), mode(mode), autoClose(autoClose)
{
}
GameDownload::~GameDownload() {}
void GameDownload::customEvent(QEvent *) {}
void GameDownload::on_buttonBox_accepted() {}
void GameDownload::on_buttonBox_rejected() {}
void GameDownload::slotError(QNetworkReply::NetworkError) {}
void GameDownload::slotFinished() {}
void GameDownload::slotReadyRead() {}
