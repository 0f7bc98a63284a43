#pragma once

#include "library/GameInfo.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QNetworkReply>

class GameEntry;
class QFileInfo;
class QLayout;
class QVBoxLayout;
struct PortalSettings;

namespace Ui {
class MainWindow;
}

// The portal's only top-level window: the "Installed" and "Download" sections.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(PortalSettings *settings, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Sends the catalogue request; the arguments are not used.
    void Initialize(int argc, char **argv);
    // Empties and refills both sections from the catalogue and the disk.
    void RebuildGameList();
    void AddGameEntry(const GameInfo &info, const QString &actionWord, QVBoxLayout *layout);
    // Deletes every item of the layout at once, nested layouts included.
    static void ClearLayout(QLayout *layout);

    void OpenLibraryDatabase();
    void OpenDatabase(const QFileInfo &file, const QString &connectionName);

private slots:
    void slotError(QNetworkReply::NetworkError eError);
    void slotFinished();
    void slotReadyRead();

private:
    void RunCommandLineAction();

    Ui::MainWindow *ui;
    QNetworkAccessManager networkManager;
    QByteArray *downloadBuffer;
    QNetworkReply *reply;
    QList<GameEntry *> entries;

public:
    // Read by the download dialog through FindMainWindow.
    PortalSettings *settings;

private:
    // The command-line action runs once per program run.
    bool commandLineActionDone = false;
};

// The first object from `object` up through its parents that is a MainWindow.
MainWindow *FindMainWindow(QObject *object);
// Closes and removes every database connection.
void CloseAllDatabases();
