#include "library/MainWindow.h"

#include "app/NarrowText.h"
#include "app/PortalSettings.h"
#include "app/ProgramLog.h"
#include "entry/GameEntry.h"
#include "library/Catalogue.h"
#include "library/PortalRequest.h"
#include "ui_MainWindow.h"

#include <QFileInfo>
#include <QFrame>
#include <QLayout>
#include <QMessageBox>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QStringList>
#include <QVBoxLayout>

#include <iostream>

namespace {

const QString libraryFile = QStringLiteral("library.db");
const QString libraryConnection = QStringLiteral("GAME_LIBRARY");

void Log(const QString &text)
{
    LogMessage(ToNarrow(text), false);
}

} // namespace

MainWindow::MainWindow(PortalSettings *settings, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), downloadBuffer(new QByteArray), reply(nullptr),
      settings(settings)
{
    ui->setupUi(this);
    ui->verticalLayout->setEnabled(false);
}

MainWindow::~MainWindow()
{
    delete downloadBuffer;
    if (reply) {
        // Nothing may reach the slots once the buffer is gone.
        reply->disconnect(this);
        delete reply;
    }
    delete ui;
    CloseAllDatabases();
}

void MainWindow::Initialize(int argc, char **argv)
{
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    std::cout << "Using Qt version" << qVersion() << "\n" << std::flush;

    const QString base =
        QString::fromLatin1(settings->webUrl.data(), qsizetype(settings->webUrl.size()));
    reply = networkManager.get(
        MakePortalRequest(base + QStringLiteral("/library.db"), settings->webPort));
    connect(reply, &QNetworkReply::readyRead, this, &MainWindow::slotReadyRead);
    connect(reply, &QNetworkReply::errorOccurred, this, &MainWindow::slotError);
    connect(reply, &QNetworkReply::finished, this, &MainWindow::slotFinished);
}

void MainWindow::slotReadyRead()
{
    if (reply)
        downloadBuffer->append(reply->readAll());
}

void MainWindow::slotError(QNetworkReply::NetworkError eError)
{
    Log(QStringLiteral("Network Error: %1").arg(int(eError)));
}

void MainWindow::slotFinished()
{
    if (!reply)
        return;
    // An error page or a cut-off body must not replace a catalogue that worked.
    if (ReplySucceeded(reply)) {
        QSaveFile file(libraryFile);
        bool saved = false;
        if (file.open(QIODevice::WriteOnly)) {
            file.write(*downloadBuffer);
            saved = file.commit();
        }
        if (!saved)
            Log(QStringLiteral("Failed to save file ") + libraryFile);
    }
    reply->deleteLater();
    reply = nullptr;
    downloadBuffer->clear();

    OpenLibraryDatabase();
    RebuildGameList();
}

void MainWindow::OpenLibraryDatabase()
{
    OpenDatabase(QFileInfo(libraryFile), libraryConnection);
}

void MainWindow::OpenDatabase(const QFileInfo &file, const QString &connectionName)
{
    bool opened;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(file.absoluteFilePath());
        opened = db.open();
    }
    if (!opened)
        QMessageBox::critical(this, tr("Error"),
                              QStringLiteral("Failed to open database ") + file.fileName(),
                              QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::RebuildGameList()
{
    // An entry added to a visible section is shown on its own later, and each
    // such show lays the whole section out again; deleting visible entries
    // repaints around each one. Hidden sections are emptied and laid out once.
    const bool sectionsShown = !ui->scrollAreaWidgetContents->isHidden();
    ui->scrollAreaWidgetContents->hide();
    ui->scrollAreaWidgetContents_2->hide();

    ClearLayout(ui->verticalLayout_Available);
    ClearLayout(ui->verticalLayout_Installed);
    entries.clear();

    QStringList unsafeUuids;
    const QList<GameInfo> games = ReadCatalogueGames(libraryConnection, &unsafeUuids);
    for (const QString &uuid : std::as_const(unsafeUuids))
        Log(QStringLiteral("Ignored game with unsafe folder name: ") + uuid);

    for (GameInfo game : games) {
        if (MarkerNamesGame(game.uuid, game.nickname)) {
            game.installed = true;
            AddGameEntry(game, QStringLiteral("Launch"), ui->verticalLayout_Installed);
        } else {
            AddGameEntry(game, QStringLiteral("Download"), ui->verticalLayout_Available);
        }
    }
    if (sectionsShown) {
        ui->scrollAreaWidgetContents->show();
        ui->scrollAreaWidgetContents_2->show();
    }

    RunCommandLineAction();
}

void MainWindow::AddGameEntry(const GameInfo &info, const QString &actionWord, QVBoxLayout *layout)
{
    auto *entry = new GameEntry(info, actionWord, this);
    layout->setAlignment(Qt::AlignTop);
    layout->addWidget(entry);
    entries.append(entry);

    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
}

void MainWindow::ClearLayout(QLayout *layout)
{
    if (!layout)
        return;
    while (layout->count() != 0) {
        QLayoutItem *item = layout->takeAt(0);
        if (QLayout *child = item->layout())
            ClearLayout(child);
        else if (QWidget *widget = item->widget())
            delete widget; // at once: a rebuild may be running inside one of these entries
        delete item;
    }
}

MainWindow *FindMainWindow(QObject *object)
{
    for (; object; object = object->parent()) {
        if (auto *window = qobject_cast<MainWindow *>(object))
            return window;
    }
    return nullptr;
}

void CloseAllDatabases()
{
    const QStringList names = QSqlDatabase::connectionNames();
    for (const QString &name : names) {
        {
            QSqlDatabase db = QSqlDatabase::database(name);
            if (db.isValid())
                db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
}
