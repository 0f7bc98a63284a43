#pragma once

#include "app/DownloadMode.h"
#include "download/DownloadFile.h"
#include "library/GameInfo.h"

#include <QDialog>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

struct PortalSettings;

namespace Ui {
class GameDownload;
}

// The modal dialog that downloads, patches or repairs one game, one file at a time.
class GameDownload : public QDialog
{
    Q_OBJECT

public:
    GameDownload(const GameInfo &game, DownloadMode mode, bool autoClose, QWidget *parent);
    ~GameDownload() override;

protected:
    void customEvent(QEvent *event) override;

private slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();
    void slotError(QNetworkReply::NetworkError eError);
    void slotFinished();
    void slotReadyRead();

private:
    Ui::GameDownload *ui;
    QNetworkAccessManager network;
    QList<DownloadFile> files;
    QUrl serverUrl;
    QNetworkReply *reply = nullptr;
    PortalSettings *settings = nullptr;
    const GameInfo *game;
    int row = 0;
    int stage = 0;
    DownloadMode mode;
    bool autoClose;
};
