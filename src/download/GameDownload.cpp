#include "download/GameDownload.h"

#include "app/CommandLine.h"
#include "app/PortalSettings.h"
#include "download/ClientFiles.h"
#include "download/FileHash.h"
#include "download/FileReceiver.h"
#include "download/FileSkippedEvent.h"
#include "download/Manifest.h"
#include "download/Progress.h"
#include "library/MainWindow.h"
#include "library/PortalRequest.h"
#include "ui_GameDownload.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidgetItem>
#include <QPushButton>

namespace {

// Every run asks for the files of platform 1.
const int platform = 1;

// Bounds what Qt buffers for a reply between two event-loop turns, so memory
// stays small whatever the size of the file.
const qint64 replyBufferBytes = 1024 * 1024;

} // namespace

GameDownload::GameDownload(const GameInfo &game, DownloadMode mode, bool autoClose, QWidget *parent)
    : QDialog(parent), ui(new Ui::GameDownload), game(&game), mode(mode), autoClose(autoClose)
{
    if (MainWindow *window = FindMainWindow(parent)) {
        settings = window->settings;
        if (settings)
            serverUrl = QUrl(QString::fromLatin1(settings->webUrl.c_str()));
    }
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (!game.uuid.isEmpty())
        QDir().mkpath(game.uuid);
    setWindowTitle(QStringLiteral("Downloading ") + game.title);
    if (mode == Download || mode == Repair)
        queueClientFiles();
    startNext();
}

GameDownload::~GameDownload()
{
    delete ui;
    files.clear();
    stopTransfer();
}

void GameDownload::addLine(const QString &text)
{
    ui->listWidget->addItem(text);
    row = ui->listWidget->count() - 1;
    ui->listWidget->scrollToBottom();
}

void GameDownload::queue(const QueuedFiles &queued)
{
    for (const QString &path : queued.unsafePaths)
        addLine(QStringLiteral("Skipped unsafe file path: ") + path);
    files.append(queued.files);
}

void GameDownload::queueClientFiles()
{
    ui->listWidget->insertItem(0, QStringLiteral("Gathering client download info..."));
    row = 0;
    // Without a main window there is no server to ask.
    if (!settings)
        return;
    queue(ReadClientFiles(QStringLiteral("GAME_LIBRARY"), game->uuid, serverUrl.toString(),
                          QString::fromLatin1(PlatformName(platform))));
}

void GameDownload::gatherGameInfo()
{
    if (mode != None && settings) {
        const QString path = game->nickname + QStringLiteral("/patch.db");
        QDir().mkpath(game->uuid + u'/' + game->nickname);
        addLine(QStringLiteral("Gathering game download info..."));
        DownloadFile manifest;
        manifest.path = path;
        manifest.url = serverUrl.toString() + u'/' + path;
        manifest.localPath = game->uuid + u'/' + path;
        files.append(manifest);
    }
    startNext();
}

void GameDownload::parsePatchDb()
{
    if (mode != None && settings) {
        addLine(QStringLiteral("Parsing game download info..."));
        queue(ReadPatchManifest(game->uuid + u'/' + game->nickname + QStringLiteral("/patch.db"),
                                game->uuid, game->nickname, serverUrl.toString(), platform,
                                mode == Patch));
    }
    startNext();
}

void GameDownload::startNext()
{
    if (files.isEmpty() || mode == None) {
        ++stage;
        if (stage == 1)
            gatherGameInfo();
        else if (stage == 2)
            parsePatchDb();
        else if (stage == 3)
            finishRun();
        return;
    }
    const DownloadFile &file = files.front();
    if (acceptLocalFile(file)) {
        addLine(QStringLiteral("Verified ") + file.path);
        skipPending = true;
        QCoreApplication::postEvent(this, new FileSkippedEvent);
        return;
    }
    requestFile(file);
}

bool GameDownload::acceptLocalFile(const DownloadFile &file) const
{
    if (!QFileInfo::exists(file.localPath))
        return false;
    if (file.editable)
        return true;
    return fileHash(file.localPath).compare(file.crc, Qt::CaseInsensitive) == 0;
}

void GameDownload::requestFile(const DownloadFile &file)
{
    receiver = std::make_unique<FileReceiver>(file.localPath);
    reply = network.get(MakePortalRequest(file.url, settings->webPort));
    reply->setReadBufferSize(replyBufferBytes);
    connect(reply, &QNetworkReply::readyRead, this, &GameDownload::slotReadyRead);
    connect(reply, &QNetworkReply::errorOccurred, this, &GameDownload::slotError);
    connect(reply, &QNetworkReply::finished, this, &GameDownload::slotFinished);
    addLine(QStringLiteral("Downloading ") + file.path);
    progressRow = row;
}

void GameDownload::slotReadyRead()
{
    if (!reply || !receiver || files.isEmpty())
        return;
    const QByteArray chunk = reply->readAll();
    // The body of an error status is the server's message, not the file.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (chunk.isEmpty() || (status.isValid() && (status.toInt() < 200 || status.toInt() >= 300)))
        return;
    receiver->write(chunk);
    QListWidgetItem *item = ui->listWidget->item(progressRow);
    if (!item)
        return;
    const DownloadFile &file = files.front();
    const QString text = ProgressLine(file.path, receiver->received(), file.size);
    if (item->text() != text)
        item->setText(text);
}

void GameDownload::slotError(QNetworkReply::NetworkError eError)
{
    addLine(QStringLiteral("Network Error: %1").arg(int(eError)));
}

void GameDownload::slotFinished()
{
    if (!reply || !receiver || files.isEmpty())
        return;
    const DownloadFile &file = files.front();
    slotReadyRead();
    switch (receiver->finish(ReplySucceeded(reply), file.crc)) {
    case FileReceiver::Verdict::SaveFailed:
        addLine(QStringLiteral("Failed to save file ") + file.path);
        break;
    case FileReceiver::Verdict::ChecksumMismatch:
        addLine(QStringLiteral("Checksum mismatch: ") + file.path);
        break;
    case FileReceiver::Verdict::Saved:
    case FileReceiver::Verdict::TransferFailed:
        break;
    }
    receiver.reset();
    reply->deleteLater();
    reply = nullptr;
    files.removeFirst();
    startNext();
}

void GameDownload::stopTransfer()
{
    if (reply) {
        QNetworkReply *stopped = reply;
        reply = nullptr;
        // No signal of the aborted reply may reach the run any more.
        stopped->disconnect(this);
        stopped->abort();
        delete stopped;
    }
    receiver.reset();
}

void GameDownload::customEvent(QEvent *event)
{
    if (event->type() != FileSkippedEvent::EventType || !skipPending)
        return;
    skipPending = false;
    if (!files.isEmpty())
        files.removeFirst();
    startNext();
}

void GameDownload::finishRun()
{
    addLine(QStringLiteral("Download finished."));
    if (autoClose) {
        // A run can end inside the constructor (nothing to fetch); accept once
        // the caller's exec() runs, or exec() would never return.
        if (isVisible())
            accept();
        else
            QMetaObject::invokeMethod(this, &QDialog::accept, Qt::QueuedConnection);
        return;
    }
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(true);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(false);
}

void GameDownload::on_buttonBox_accepted()
{
    accept();
}

void GameDownload::on_buttonBox_rejected()
{
    mode = None;
    stopTransfer();
    // A verified file's event may still be on its way; the run ends here.
    skipPending = false;
    reject();
}
