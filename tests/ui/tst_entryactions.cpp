#include "entry/GameEntry.h"

#include "Fixtures.h"
#include "TestHttpServer.h"
#include "app/PortalSettings.h"
#include "download/GameDownload.h"
#include "library/MainWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString installedUuid = QStringLiteral("u-installed");
const QString availableUuid = QStringLiteral("u-available");

// Checks every few milliseconds for a widget that `act` handles; `act`
// returns true once it has dealt with it. Gives up after a while.
void Whenever(QObject *owner, std::function<QWidget *()> find, std::function<bool(QWidget *)> act)
{
    auto *timer = new QTimer(owner);
    auto deadline = std::make_shared<QElapsedTimer>();
    deadline->start();
    QObject::connect(timer, &QTimer::timeout, owner, [=] {
        QWidget *widget = find();
        if ((widget && act(widget)) || deadline->elapsed() > 20000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(5);
}

void WhenModal(QObject *owner, std::function<bool(QWidget *)> act)
{
    Whenever(
        owner, [] { return QApplication::activeModalWidget(); }, std::move(act));
}

// Answers the next question box with `answer`; Escape when it is NoButton.
void AnswerQuestion(QObject *owner, QMessageBox::StandardButton answer, QString *title,
                    QString *text)
{
    WhenModal(owner, [=](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box)
            return false;
        *title = box->windowTitle();
        *text = box->text();
        if (answer == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(answer)->click();
        return true;
    });
}

// Picks the menu entry `text` of the next context menu as a user would.
void ChooseFromMenu(QObject *owner, const QString &text)
{
    Whenever(
        owner, [] { return QApplication::activePopupWidget(); },
        [=](QWidget *widget) {
            auto *menu = qobject_cast<QMenu *>(widget);
            if (!menu)
                return false;
            for (QAction *action : menu->actions()) {
                if (action->text() == text) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return true;
                }
            }
            menu->close();
            return true;
        });
}

// Receives what QDesktopServices::openUrl hands to the desktop.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace

class TestEntryActions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void menuEntries_data();
    void menuEntries();
    void confirmations_data();
    void confirmations();
    void downloadInstallsGame();
    void launch_data();
    void launch();
    void showInExplorer();

private:
    GameEntry *Entry(const QString &uuid) const;
    QPushButton *MainButton(GameEntry *entry) const
    {
        return entry->findChild<QPushButton *>(QStringLiteral("pushButton"));
    }
    QString Local(const QString &relative) const { return dir->filePath(relative); }

    std::unique_ptr<QTemporaryDir> dir;
    QString previousDir;
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<PortalSettings> settings;
    std::unique_ptr<MainWindow> window;
};

void TestEntryActions::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    server = std::make_unique<TestHttpServer>();
    QVERIFY(server->listen());
    settings = std::make_unique<PortalSettings>();
    settings->webUrl = server->baseUrl().toStdString();
    settings->webPort = server->port();

    CatalogueGame installed;
    installed.uuid = installedUuid;
    installed.nickname = QStringLiteral("demo");
    installed.title = QStringLiteral("Demo");
    CatalogueGame available;
    available.uuid = availableUuid;
    available.nickname = QStringLiteral("other");
    available.title = QStringLiteral("Other Game");
    QVERIFY(WriteCatalogue(Local(QStringLiteral("library.db")), {installed, available}));
    QVERIFY(WriteMarker(Local(installedUuid + QStringLiteral("/demo/game.zol")), {installedUuid}));
    QVERIFY(WriteFile(Local(installedUuid + QStringLiteral("/demo/scripts/main.lua")), "main"));
    QVERIFY(WriteFile(Local(installedUuid + QStringLiteral("/demo/data.pak")), "data"));

    window = std::make_unique<MainWindow>(settings.get());
    window->OpenLibraryDatabase();
    window->RebuildGameList();
    QVERIFY(Entry(installedUuid) && Entry(installedUuid)->Info().installed);
    QVERIFY(Entry(availableUuid) && !Entry(availableUuid)->Info().installed);
}

void TestEntryActions::cleanup()
{
    window.reset();
    server.reset();
    settings.reset();
    QDir::setCurrent(previousDir);
    dir.reset();
}

GameEntry *TestEntryActions::Entry(const QString &uuid) const
{
    for (GameEntry *entry : window->findChildren<GameEntry *>()) {
        if (entry->Info().uuid == uuid)
            return entry;
    }
    return nullptr;
}

void TestEntryActions::menuEntries_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("installed") << installedUuid
                               << QStringList{
                                      QStringLiteral("Launch"), QStringLiteral("Show in Explorer"),
                                      QStringLiteral("Repair"), QStringLiteral("Uninstall")};
    QTest::newRow("available") << availableUuid << QStringList{QStringLiteral("Download")};
}

void TestEntryActions::menuEntries()
{
    QFETCH(QString, uuid);
    QFETCH(QStringList, entries);

    QObject pollers; // dies with this row, and its checks with it
    QPointer<GameEntry> entry = Entry(uuid);
    QStringList seen;
    bool plain = true;
    bool parentless = false;
    Whenever(
        &pollers, [] { return QApplication::activePopupWidget(); },
        [&](QWidget *widget) {
            auto *menu = qobject_cast<QMenu *>(widget);
            if (!menu)
                return false;
            parentless = menu->parent() == nullptr;
            for (QAction *action : menu->actions()) {
                seen.append(action->text());
                plain = plain && !action->isSeparator() && action->shortcut().isEmpty() &&
                        action->icon().isNull();
            }
            menu->close();
            return true;
        });
    emit MainButton(entry)->customContextMenuRequested(QPoint(4, 4));
    QCOMPARE(seen, entries);
    QVERIFY(plain);
    QVERIFY(parentless);
    QVERIFY(entry); // closing the menu without a choice rebuilds nothing
}

void TestEntryActions::confirmations_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("how"); // a menu entry, "button" or "StartDownload"
    QTest::addColumn<int>("answer");  // QMessageBox::NoButton: Escape
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dialogRuns");
    QTest::addColumn<bool>("scriptsLeft");
    QTest::addColumn<bool>("gameLeft");

    const int yes = QMessageBox::Yes;
    const int cancel = QMessageBox::Cancel;
    const int escape = QMessageBox::NoButton;
    const QString download = QStringLiteral("Verify Download");
    const QString otherText = QStringLiteral("Download Other Game?");
    QTest::newRow("button download, cancel") << availableUuid << QStringLiteral("button") << cancel
                                             << download << otherText << false << true << true;
    QTest::newRow("button download, escape") << availableUuid << QStringLiteral("button") << escape
                                             << download << otherText << false << true << true;
    QTest::newRow("button download, yes") << availableUuid << QStringLiteral("button") << yes
                                          << download << otherText << true << true << true;
    QTest::newRow("menu download, cancel") << availableUuid << QStringLiteral("Download") << cancel
                                           << download << otherText << false << true << true;
    QTest::newRow("menu download, yes") << availableUuid << QStringLiteral("Download") << yes
                                        << download << otherText << true << true << true;

    const QString repair = QStringLiteral("Verify Repair");
    const QString repairText = QStringLiteral("Repair Demo?");
    QTest::newRow("repair, cancel") << installedUuid << QStringLiteral("Repair") << cancel << repair
                                    << repairText << false << true << true;
    QTest::newRow("repair, escape") << installedUuid << QStringLiteral("Repair") << escape << repair
                                    << repairText << false << true << true;
    QTest::newRow("repair, yes") << installedUuid << QStringLiteral("Repair") << yes << repair
                                 << repairText << true << false << true;

    const QString uninstall = QStringLiteral("Verify Uninstall");
    const QString uninstallText =
        QStringLiteral("This will completely remove Demo. Continue Uninstall?");
    QTest::newRow("uninstall, cancel") << installedUuid << QStringLiteral("Uninstall") << cancel
                                       << uninstall << uninstallText << false << true << true;
    QTest::newRow("uninstall, escape") << installedUuid << QStringLiteral("Uninstall") << escape
                                       << uninstall << uninstallText << false << true << true;
    QTest::newRow("uninstall, yes") << installedUuid << QStringLiteral("Uninstall") << yes
                                    << uninstall << uninstallText << false << false << false;

    // Only the menu's repair clears the scripts; StartDownload never does.
    QTest::newRow("StartDownload patch, yes")
        << installedUuid << QStringLiteral("StartDownload") << yes << QStringLiteral("Verify Patch")
        << QStringLiteral("Patch Demo?") << true << true << true;
    QTest::newRow("StartDownload patch, cancel")
        << installedUuid << QStringLiteral("StartDownload") << cancel
        << QStringLiteral("Verify Patch") << QStringLiteral("Patch Demo?") << false << true << true;
}

void TestEntryActions::confirmations()
{
    QFETCH(QString, uuid);
    QFETCH(QString, how);
    QFETCH(int, answer);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(bool, dialogRuns);
    QFETCH(bool, scriptsLeft);
    QFETCH(bool, gameLeft);

    const QString scripts = Local(installedUuid + QStringLiteral("/demo/scripts/main.lua"));
    QObject pollers; // dies with this row, and its checks with it
    QPointer<GameEntry> entry = Entry(uuid);
    QString seenTitle;
    QString seenText;
    AnswerQuestion(&pollers, QMessageBox::StandardButton(answer), &seenTitle, &seenText);

    // The download dialog, if it comes, is looked at and closed at once.
    QString dialogTitle;
    bool scriptsAtDialog = true;
    QPointer<QWidget> dialogParent;
    WhenModal(&pollers, [&](QWidget *widget) {
        auto *dialog = qobject_cast<GameDownload *>(widget);
        if (!dialog)
            return false;
        dialogTitle = dialog->windowTitle();
        dialogParent = dialog->parentWidget();
        scriptsAtDialog = QFileInfo::exists(scripts);
        // The run may already have ended (nothing to fetch): then only OK is enabled.
        auto *box = dialog->findChild<QDialogButtonBox *>();
        QPushButton *cancel = box->button(QDialogButtonBox::Cancel);
        (cancel->isEnabled() ? cancel : box->button(QDialogButtonBox::Ok))->click();
        return true;
    });

    if (how == u"button")
        QTest::mouseClick(MainButton(entry), Qt::LeftButton);
    else if (how == u"StartDownload")
        entry->StartDownload(Patch, true, false);
    else {
        ChooseFromMenu(&pollers, how);
        emit MainButton(entry)->customContextMenuRequested(QPoint(4, 4));
    }

    QCOMPARE(seenTitle, title);
    QCOMPARE(seenText, text);
    const QString gameTitle =
        uuid == installedUuid ? QStringLiteral("Demo") : QStringLiteral("Other Game");
    QCOMPARE(dialogTitle, dialogRuns ? QStringLiteral("Downloading ") + gameTitle : QString());
    if (dialogRuns) {
        QCOMPARE(scriptsAtDialog, scriptsLeft);
        QVERIFY(!dialogParent); // it went with its entry
    }
    QCOMPARE(QFileInfo::exists(scripts), scriptsLeft);
    QCOMPARE(QFileInfo::exists(Local(installedUuid + QStringLiteral("/demo/data.pak"))), gameLeft);

    // Every answer but Yes leaves the list alone; Yes rebuilds it.
    const bool rebuilt = answer == QMessageBox::Yes;
    QCOMPARE(entry.isNull(), rebuilt);
    GameEntry *now = Entry(uuid);
    QVERIFY(now);
    if (how == u"Uninstall" && rebuilt) {
        QVERIFY(!QFileInfo::exists(Local(installedUuid)));
        QVERIFY(!now->Info().installed);
        QCOMPARE(MainButton(now)->toolTip(), QStringLiteral("Download Demo"));
    }
}

void TestEntryActions::downloadInstallsGame()
{
    QTemporaryDir scratch;
    const QString marker = scratch.filePath(QStringLiteral("game.zol"));
    QVERIFY(WriteMarker(marker, {availableUuid}));
    const QByteArray markerBytes = ReadFile(marker);
    const QString manifest = scratch.filePath(QStringLiteral("patch.db"));
    QVERIFY(WritePatchDb(
        manifest, {{QStringLiteral("game.zol"), Md5Hex(markerBytes), markerBytes.size(), 1}}));
    server->setFile("/other/patch.db", ReadFile(manifest));
    server->setFile("/other/game.zol", markerBytes);

    QPointer<GameEntry> entry = Entry(availableUuid);
    entry->StartDownload(Download, false, true);

    QVERIFY(entry.isNull());
    GameEntry *now = Entry(availableUuid);
    QVERIFY(now);
    QVERIFY(now->Info().installed);
    QCOMPARE(MainButton(now)->toolTip(), QStringLiteral("Launch Other Game"));
    QCOMPARE(ReadFile(Local(availableUuid + QStringLiteral("/other/game.zol"))), markerBytes);
}

void TestEntryActions::launch_data()
{
    QTest::addColumn<QString>("how"); // "button", a menu entry or "LaunchGame"
    QTest::addColumn<bool>("clientThere");

    QTest::newRow("main button") << QStringLiteral("button") << true;
    QTest::newRow("menu") << QStringLiteral("Launch") << true;
    QTest::newRow("LaunchGame") << QStringLiteral("LaunchGame") << true;
    QTest::newRow("no client") << QStringLiteral("LaunchGame") << false;
    QTest::newRow("no client, main button") << QStringLiteral("button") << false;
}

void TestEntryActions::launch()
{
    QFETCH(QString, how);
    QFETCH(bool, clientThere);

    const QString client = Local(installedUuid + QStringLiteral("/zol_client.exe"));
    const QString report = Local(installedUuid + QStringLiteral("/launched.txt"));
    // Written like a downloaded file: no execute bit.
    if (clientThere)
        QVERIFY(WriteFile(client, "#!/bin/sh\npwd -P > launched.txt\n"
                                  "echo \"$#\" >> launched.txt\n"
                                  "for a in \"$@\"; do echo \"$a\" >> launched.txt; done\n"));

    QObject pollers;
    QPointer<GameEntry> entry = Entry(installedUuid);
    bool quitSent = false;
    struct QuitSpy : QObject
    {
        bool *seen;
        explicit QuitSpy(bool *seen) : seen(seen) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Quit)
                *seen = true;
            return false;
        }
    } spy(&quitSent);
    qApp->installEventFilter(&spy);

    // quit() only ends a running QCoreApplication::exec(), so act inside one;
    // when nothing quit, leave it with a code of our own.
    QTimer::singleShot(0, this, [&] {
        if (how == u"button") {
            QTest::mouseClick(MainButton(entry), Qt::LeftButton);
        } else if (how == u"LaunchGame") {
            entry->LaunchGame();
        } else {
            ChooseFromMenu(&pollers, how);
            emit MainButton(entry)->customContextMenuRequested(QPoint(4, 4));
        }
        if (!quitSent)
            QCoreApplication::exit(7);
    });
    const int code = QCoreApplication::exec();
    qApp->removeEventFilter(&spy);

    QVERIFY(entry); // launching rebuilds nothing
    if (!clientThere) {
        QCOMPARE(code, 7);
        QVERIFY(!quitSent);
        // No question or message box for a failed start.
        QVERIFY(!QApplication::activeModalWidget());
        return;
    }
    QCOMPARE(code, 0);
    QVERIFY(quitSent);
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(report).count('\n') >= 2, 10000);
    const QString canonical = QDir(Local(installedUuid)).canonicalPath();
    QCOMPARE(QString::fromUtf8(ReadFile(report)), canonical + QStringLiteral("\n0\n"));
    QVERIFY(QFile::permissions(client) & QFileDevice::ExeOwner);
}

void TestEntryActions::showInExplorer()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    QObject pollers;
    QPointer<GameEntry> entry = Entry(installedUuid);
    ChooseFromMenu(&pollers, QStringLiteral("Show in Explorer"));
    emit MainButton(entry)->customContextMenuRequested(QPoint(4, 4));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    // Under the program's folder, not the working directory.
    QVERIFY(QCoreApplication::applicationDirPath() != QDir::currentPath());
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls.front().toLocalFile(),
             QCoreApplication::applicationDirPath() + QStringLiteral("/u-installed/demo"));
    QVERIFY(entry);
}

QTEST_MAIN(TestEntryActions)
#include "tst_entryactions.moc"
