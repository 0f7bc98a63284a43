#pragma once

#include "app/DownloadMode.h"
#include "download/DownloadFile.h"
#include "library/GameInfo.h"

#include <QDialog>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

#include <memory>

class FileReceiver;
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
    void addLine(const QString &text);
    void queue(const QueuedFiles &queued);
    void queueClientFiles();
    void gatherGameInfo();
    void parsePatchDb();
    void startNext();
    bool acceptLocalFile(const DownloadFile &file) const;
    void requestFile(const DownloadFile &file);
    void stopTransfer();
    void finishRun();

    Ui::GameDownload *ui;
    QNetworkAccessManager network;
    QList<DownloadFile> files;
    QUrl serverUrl;
    std::unique_ptr<FileReceiver> receiver; // the file in flight
    QNetworkReply *reply = nullptr;
    PortalSettings *settings = nullptr;
    const GameInfo *game;
    int row = 0;
    int progressRow = -1; // the "Downloading" line of the file in flight
    int stage = 0;
    DownloadMode mode;
    bool autoClose;
    bool skipPending = false; // a FileSkippedEvent of ours is on its way
};
