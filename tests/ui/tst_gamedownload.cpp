#include "download/GameDownload.h"

#include "Fixtures.h"
#include "TestHttpServer.h"
#include "app/PortalSettings.h"
#include "download/FileSkippedEvent.h"
#include "library/MainWindow.h"

#include <QDialogButtonBox>
#include <QDirIterator>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

using FileMap = QMap<QString, QByteArray>;

const QByteArray alpha("alpha");
const QByteArray mapBytes = QByteArray("map data ").repeated(300);

// Everything the run is given and everything it must leave behind.
struct Scenario
{
    DownloadMode mode = Download;
    QList<ManifestRow> manifest;
    QList<EditableRow> editable;
    QList<ClientRow> clients;                  // non-empty: a catalogue lists client files
    FileMap before;                            // files below the working directory before the run
    QMap<QByteArray, TestHttpResponse> served; // besides /demo/patch.db
    bool portInUrl = false; // webUrl names a wrong port; webPort is the right one
    QStringList lines;
    FileMap after; // every file below the working directory but patch.db
    QByteArrayList requests;
};

TestHttpResponse Body(const QByteArray &body)
{
    TestHttpResponse response;
    response.body = body;
    return response;
}

TestHttpResponse Status(int status, const QByteArray &body = QByteArray())
{
    TestHttpResponse response;
    response.status = status;
    response.body = body;
    return response;
}

QStringList Lines(const GameDownload &dialog)
{
    const auto *list = dialog.findChild<QListWidget *>(QStringLiteral("listWidget"));
    QStringList lines;
    for (int i = 0; list && i < list->count(); ++i)
        lines.append(list->item(i)->text());
    return lines;
}

QPushButton *Button(const GameDownload &dialog, QDialogButtonBox::StandardButton which)
{
    const auto *box = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    return box ? box->button(which) : nullptr;
}

// Every file below `root` with its bytes, by path relative to `root`.
FileMap FilesBelow(const QString &root, const QString &except = QString())
{
    FileMap files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (relative != except)
            files.insert(relative, ReadFile(path));
    }
    return files;
}

QByteArray PatchDbBytes(const QList<ManifestRow> &rows, const QList<EditableRow> &editable = {})
{
    QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("patch.db"));
    if (!WritePatchDb(path, rows, editable))
        return QByteArray();
    return ReadFile(path);
}

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestGameDownload : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void form();
    void runs_data();
    void runs();
    void acceptedFilesTakeOneTurnEach();
    void refusedConnection();
    void progressWhileArriving_data();
    void progressWhileArriving();
    void closing_data();
    void closing();
    void cancelMidTransfer();
    void destroyedMidTransfer();
    void foreignEventsIgnored();
    void withoutMainWindow_data();
    void withoutMainWindow();

private:
    // Runs the dialog with exec(); gives up (and fails) after a while.
    int Exec(GameDownload &dialog);
    void ServeManifest(const QList<ManifestRow> &rows, const QList<EditableRow> &editable = {});
    QString Local(const QString &relative) const { return dir->filePath(relative); }

    std::unique_ptr<QTemporaryDir> dir;
    QString previousDir;
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<PortalSettings> settings;
    std::unique_ptr<MainWindow> window;
    QWidget *holder = nullptr; // stands for the game entry inside the window
    GameInfo game;
    QByteArray servedManifest;
};

void TestGameDownload::init()
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
    window = std::make_unique<MainWindow>(settings.get());
    holder = new QWidget(window.get());
    game = GameInfo();
    game.title = QStringLiteral("Demo");
    game.nickname = QStringLiteral("demo");
    game.uuid = QStringLiteral("u-1");
}

void TestGameDownload::cleanup()
{
    window.reset(); // closes every database connection
    holder = nullptr;
    server.reset();
    settings.reset();
    QDir::setCurrent(previousDir);
    dir.reset();
}

int TestGameDownload::Exec(GameDownload &dialog)
{
    bool gaveUp = false;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &dialog, [&] {
        gaveUp = true;
        dialog.reject();
    });
    guard.start(30000);
    const int result = dialog.exec();
    [&] { QVERIFY2(!gaveUp, qPrintable(Lines(dialog).join(u'\n'))); }();
    return result;
}

void TestGameDownload::ServeManifest(const QList<ManifestRow> &rows,
                                     const QList<EditableRow> &editable)
{
    servedManifest = PatchDbBytes(rows, editable);
    QVERIFY(!servedManifest.isEmpty());
    server->setFile("/demo/patch.db", servedManifest);
}

void TestGameDownload::form()
{
    GameDownload dialog(game, Patch, false, holder);
    QCOMPARE(dialog.objectName(), QStringLiteral("GameDownload"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Downloading Demo"));
    QCOMPARE(dialog.size(), QSize(480, 320));
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    const auto *list = dialog.findChild<QListWidget *>(QStringLiteral("listWidget"));
    QVERIFY(list);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    const auto *box = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(box);
    QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QVERIFY(box->centerButtons());
    QVERIFY(dialog.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout")));
    // The run has begun, but OK waits for its end.
    QVERIFY(!Button(dialog, QDialogButtonBox::Ok)->isEnabled());
    QVERIFY(Button(dialog, QDialogButtonBox::Cancel)->isEnabled());
    QVERIFY(QFileInfo(Local(QStringLiteral("u-1"))).isDir());
}

void TestGameDownload::runs_data()
{
    QTest::addColumn<Scenario>("scenario");

    const QString alphaMd5 = Md5Hex(alpha);
    const QString gathering = QStringLiteral("Gathering client download info...");
    const QStringList manifestLines{QStringLiteral("Gathering game download info..."),
                                    QStringLiteral("Downloading demo/patch.db"),
                                    QStringLiteral("Parsing game download info...")};
    const QStringList downloadStart = QStringList{gathering} + manifestLines;
    const QString finished = QStringLiteral("Download finished.");

    {
        Scenario s;
        s.manifest = {{QStringLiteral("a.txt"), alphaMd5, 5, 1},
                      {QStringLiteral("data/maps/m.map"), Md5Hex(mapBytes), mapBytes.size(), 1}};
        s.served = {{"/demo/a.txt", Body(alpha)}, {"/demo/data/maps/m.map", Body(mapBytes)}};
        s.lines = downloadStart +
                  QStringList{QStringLiteral("Downloading demo/a.txt: 100%"),
                              QStringLiteral("Downloading demo/data/maps/m.map: 100%"), finished};
        s.after = {{QStringLiteral("u-1/demo/a.txt"), alpha},
                   {QStringLiteral("u-1/demo/data/maps/m.map"), mapBytes}};
        s.requests = {"/demo/patch.db", "/demo/a.txt", "/demo/data/maps/m.map"};
        QTest::newRow("missing files, sub-folders made") << s;

        s.portInUrl = true;
        QTest::newRow("configured port wins over the URL's") << s;
    }
    {
        Scenario s;
        s.manifest = {{QStringLiteral("a.txt"), alphaMd5, 5, 1},
                      {QStringLiteral("b.txt"), Md5Hex("b"), 1, 1}};
        s.before = {{QStringLiteral("u-1/demo/a.txt"), alpha},
                    {QStringLiteral("u-1/demo/b.txt"), "b"}};
        s.served = {{"/demo/a.txt", Body("server copy")}, {"/demo/b.txt", Body("server copy")}};
        s.lines = downloadStart + QStringList{QStringLiteral("Verified demo/a.txt"),
                                              QStringLiteral("Verified demo/b.txt"), finished};
        s.after = s.before;
        s.requests = {"/demo/patch.db"};
        QTest::newRow("present and matching files kept") << s;
    }
    {
        Scenario s;
        s.manifest = {{QStringLiteral("a.txt"), alphaMd5.toUpper(), 5, 1}};
        s.before = {{QStringLiteral("u-1/demo/a.txt"), alpha}};
        s.served = {{"/demo/a.txt", Body("server copy")}};
        s.lines = downloadStart + QStringList{QStringLiteral("Verified demo/a.txt"), finished};
        s.after = s.before;
        s.requests = {"/demo/patch.db"};
        QTest::newRow("upper-case digest accepted") << s;
    }
    {
        Scenario s;
        s.mode = Repair;
        // Same size as the right contents: the digest alone decides.
        s.manifest = {{QStringLiteral("a.txt"), alphaMd5, 5, 1}};
        s.before = {{QStringLiteral("u-1/demo/a.txt"), "stale"}};
        s.served = {{"/demo/a.txt", Body(alpha)}};
        s.lines =
            downloadStart + QStringList{QStringLiteral("Downloading demo/a.txt: 100%"), finished};
        s.after = {{QStringLiteral("u-1/demo/a.txt"), alpha}};
        s.requests = {"/demo/patch.db", "/demo/a.txt"};
        QTest::newRow("changed file fetched again") << s;
    }
    {
        Scenario s;
        s.mode = Patch;
        s.manifest = {{QStringLiteral("config.ini"), Md5Hex("theirs"), 6, 1},
                      {QStringLiteral("keys.ini"), Md5Hex("keys"), 4, 1}};
        s.editable = {{QStringLiteral("config.ini"), 1}, {QStringLiteral("keys.ini"), 1}};
        s.before = {{QStringLiteral("u-1/demo/config.ini"), "mine"}};
        s.served = {{"/demo/config.ini", Body("theirs")}, {"/demo/keys.ini", Body("keys")}};
        s.lines = manifestLines + QStringList{QStringLiteral("Verified demo/config.ini"),
                                              QStringLiteral("Downloading demo/keys.ini: 100%"),
                                              finished};
        s.after = {{QStringLiteral("u-1/demo/config.ini"), "mine"},
                   {QStringLiteral("u-1/demo/keys.ini"), "keys"}};
        s.requests = {"/demo/patch.db", "/demo/keys.ini"};
        QTest::newRow("patch keeps an edited file, fetches a missing one") << s;

        const QStringList compared{QStringLiteral("Downloading demo/config.ini: 100%"),
                                   QStringLiteral("Downloading demo/keys.ini: 100%"), finished};
        s.after = {{QStringLiteral("u-1/demo/config.ini"), "theirs"},
                   {QStringLiteral("u-1/demo/keys.ini"), "keys"}};
        s.requests = {"/demo/patch.db", "/demo/config.ini", "/demo/keys.ini"};
        s.lines = downloadStart + compared;
        s.mode = Download;
        QTest::newRow("download compares an editable file") << s;
        s.mode = Repair;
        QTest::newRow("repair compares an editable file") << s;
    }
    {
        Scenario s;
        s.manifest = {{QStringLiteral("win.txt"), Md5Hex("w"), 1, 1},
                      {QStringLiteral("linux.txt"), Md5Hex("l"), 1, 2},
                      {QStringLiteral("mac.txt"), Md5Hex("m"), 1, 3}};
        s.served = {{"/demo/win.txt", Body("w")},
                    {"/demo/linux.txt", Body("l")},
                    {"/demo/mac.txt", Body("m")}};
        s.lines =
            downloadStart + QStringList{QStringLiteral("Downloading demo/win.txt: 100%"), finished};
        s.after = {{QStringLiteral("u-1/demo/win.txt"), "w"}};
        s.requests = {"/demo/patch.db", "/demo/win.txt"};
        QTest::newRow("other platforms ignored") << s;
    }
    {
        Scenario s;
        s.manifest = {{QStringLiteral("z.bin"), Md5Hex("zzz"), 0, 1},
                      {QStringLiteral("empty.txt"), Md5Hex(""), 0, 1}};
        s.served = {{"/demo/z.bin", Body("zzz")}, {"/demo/empty.txt", Body("")}};
        s.lines =
            downloadStart + QStringList{QStringLiteral("Downloading demo/z.bin"),
                                        QStringLiteral("Downloading demo/empty.txt"), finished};
        s.after = {{QStringLiteral("u-1/demo/z.bin"), "zzz"},
                   {QStringLiteral("u-1/demo/empty.txt"), ""}};
        s.requests = {"/demo/patch.db", "/demo/z.bin", "/demo/empty.txt"};
        QTest::newRow("size not given, empty body") << s;
    }
    {
        Scenario s;
        s.manifest = {{QStringLiteral("a.txt"), alphaMd5, 5, 1}};
        TestHttpResponse moved;
        moved.redirectTo = "/mirror/a.txt";
        s.served = {{"/demo/a.txt", moved}, {"/mirror/a.txt", Body(alpha)}};
        s.lines =
            downloadStart + QStringList{QStringLiteral("Downloading demo/a.txt: 100%"), finished};
        s.after = {{QStringLiteral("u-1/demo/a.txt"), alpha}};
        s.requests = {"/demo/patch.db", "/demo/a.txt", "/mirror/a.txt"};
        QTest::newRow("redirect followed") << s;
    }

    // Failed transfers: the earlier file stays byte for byte.
    const FileMap earlier{{QStringLiteral("u-1/demo/a.txt"), "earlier"}};
    const auto failing = [&](const TestHttpResponse &response, const QStringList &lines) {
        Scenario s;
        s.manifest = {{QStringLiteral("a.txt"), alphaMd5, 5, 1}};
        s.before = earlier;
        s.served = {{"/demo/a.txt", response}};
        s.lines = downloadStart + lines + QStringList{finished};
        s.after = earlier;
        s.requests = {"/demo/patch.db", "/demo/a.txt"};
        return s;
    };
    QTest::newRow("404 keeps the earlier file")
        << failing(Status(404, "no such file"), {QStringLiteral("Downloading demo/a.txt"),
                                                 QStringLiteral("Network Error: 203")});
    QTest::newRow("500 keeps the earlier file")
        << failing(Status(500, "broken"), {QStringLiteral("Downloading demo/a.txt"),
                                           QStringLiteral("Network Error: 401")});
    {
        TestHttpResponse dropped = Body("alpha and much more");
        dropped.dropAfter = 3;
        QTest::newRow("dropped connection keeps the earlier file")
            << failing(dropped, {QStringLiteral("Downloading demo/a.txt: 60%"),
                                 QStringLiteral("Network Error: 2")});
    }
    QTest::newRow("wrong digest keeps the earlier file")
        << failing(Body("tampered"), {QStringLiteral("Downloading demo/a.txt: 100%"),
                                      QStringLiteral("Checksum mismatch: demo/a.txt")});
    {
        Scenario s = failing(Body("tampered"), {QStringLiteral("Downloading demo/a.txt: 100%"),
                                                QStringLiteral("Checksum mismatch: demo/a.txt")});
        s.before.clear();
        s.after.clear();
        QTest::newRow("wrong digest writes no new file") << s;
    }
    {
        Scenario s;
        s.manifest = {{QStringLiteral("a.txt"), alphaMd5, 5, 1}};
        s.before = {{QStringLiteral("u-1/demo/a.txt/inside"), "x"}};
        s.served = {{"/demo/a.txt", Body(alpha)}};
        s.lines =
            downloadStart + QStringList{QStringLiteral("Downloading demo/a.txt: 100%"),
                                        QStringLiteral("Failed to save file demo/a.txt"), finished};
        s.after = s.before;
        s.requests = {"/demo/patch.db", "/demo/a.txt"};
        QTest::newRow("folder at the target") << s;
    }
    {
        Scenario s;
        s.manifest = {{QStringLiteral("../../evil.txt"), Md5Hex("evil"), 4, 1},
                      {QStringLiteral("a.txt"), alphaMd5, 5, 1},
                      {QStringLiteral("data/../../../x"), Md5Hex("evil"), 4, 1}};
        s.served = {
            {"/evil.txt", Body("evil")}, {"/demo/a.txt", Body(alpha)}, {"/x", Body("evil")}};
        s.lines =
            downloadStart + QStringList{QStringLiteral("Skipped unsafe file path: ../../evil.txt"),
                                        QStringLiteral("Skipped unsafe file path: data/../../../x"),
                                        QStringLiteral("Downloading demo/a.txt: 100%"), finished};
        s.after = {{QStringLiteral("u-1/demo/a.txt"), alpha}};
        s.requests = {"/demo/patch.db", "/demo/a.txt"};
        QTest::newRow("unsafe path skipped") << s;
    }

    // Engine client files of the catalogue come first.
    const QList<ClientRow> clients{
        {QStringLiteral("client_windows_1_2"), QStringLiteral("client_windows_1_2/zol_client.exe"),
         Md5Hex("client"), 6},
        {QStringLiteral("client_windows_1_2"), QStringLiteral("client_windows_1_2/bin/x.dll"),
         Md5Hex("dll"), 3},
        {QStringLiteral("client_windows_1_2"), QStringLiteral("client_windows_1_2/../../up.dll"),
         Md5Hex("up"), 2},
        {QStringLiteral("client_windows_1_3"), QStringLiteral("client_windows_1_3/zol_client.exe"),
         Md5Hex("other"), 5}};
    {
        Scenario s;
        s.clients = clients;
        s.manifest = {{QStringLiteral("a.txt"), alphaMd5, 5, 1}};
        s.before = {{QStringLiteral("u-1/bin/x.dll"), "dll"}};
        s.served = {{"/client_windows_1_2/zol_client.exe", Body("client")},
                    {"/client_windows_1_2/bin/x.dll", Body("dll")},
                    {"/demo/a.txt", Body(alpha)}};
        s.lines =
            QStringList{gathering,
                        QStringLiteral("Skipped unsafe file path: client_windows_1_2/../../up.dll"),
                        QStringLiteral("Downloading zol_client.exe: 100%"),
                        QStringLiteral("Verified bin/x.dll")} +
            manifestLines + QStringList{QStringLiteral("Downloading demo/a.txt: 100%"), finished};
        s.after = {{QStringLiteral("u-1/zol_client.exe"), "client"},
                   {QStringLiteral("u-1/bin/x.dll"), "dll"},
                   {QStringLiteral("u-1/demo/a.txt"), alpha}};
        s.requests = {"/client_windows_1_2/zol_client.exe", "/demo/patch.db", "/demo/a.txt"};
        QTest::newRow("client files first") << s;

        s.mode = Patch;
        s.lines =
            manifestLines + QStringList{QStringLiteral("Downloading demo/a.txt: 100%"), finished};
        s.after.remove(QStringLiteral("u-1/zol_client.exe"));
        s.requests = {"/demo/patch.db", "/demo/a.txt"};
        QTest::newRow("patch fetches no client files") << s;
    }
}

void TestGameDownload::runs()
{
    QFETCH(Scenario, scenario);

    if (!scenario.clients.isEmpty()) {
        CatalogueGame entry;
        entry.uuid = game.uuid;
        entry.nickname = game.nickname;
        entry.title = game.title;
        entry.major = 1;
        entry.minor = 2;
        QVERIFY(WriteCatalogue(Local(QStringLiteral("library.db")), {entry}, scenario.clients));
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("GAME_LIBRARY"));
        db.setDatabaseName(Local(QStringLiteral("library.db")));
        QVERIFY(db.open());
        scenario.after.insert(QStringLiteral("library.db"),
                              ReadFile(Local(QStringLiteral("library.db"))));
    }
    for (auto it = scenario.before.cbegin(); it != scenario.before.cend(); ++it)
        QVERIFY(WriteFile(Local(it.key()), it.value()));
    ServeManifest(scenario.manifest, scenario.editable);
    for (auto it = scenario.served.cbegin(); it != scenario.served.cend(); ++it)
        server->setResponse(it.key(), it.value());
    if (scenario.portInUrl) {
        QTcpServer unused;
        QVERIFY(unused.listen(QHostAddress::LocalHost));
        settings->webUrl =
            QStringLiteral("http://127.0.0.1:%1").arg(unused.serverPort()).toStdString();
    }

    GameDownload dialog(game, scenario.mode, true, holder);
    QCOMPARE(Exec(dialog), int(QDialog::Accepted));

    QCOMPARE(Lines(dialog), scenario.lines);
    QCOMPARE(FilesBelow(dir->path(), QStringLiteral("u-1/demo/patch.db")), scenario.after);
    QCOMPARE(ReadFile(Local(QStringLiteral("u-1/demo/patch.db"))), servedManifest);
    QCOMPARE(server->requestedPaths(), scenario.requests);
    for (const TestHttpRequest &request : server->requests()) {
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.localPort, server->port());
        QCOMPARE(request.header("User-Agent"), QByteArray("ZOL Portal"));
    }
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("patch.db")));
}

namespace {

// Notes, for each line as it is added, how many FileSkippedEvents the dialog
// had received by then.
class TurnCounter : public QObject
{
public:
    int skips = 0;
    QList<QPair<QString, int>> seen;

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == FileSkippedEvent::EventType)
            ++skips;
        return false;
    }
};

} // namespace

void TestGameDownload::acceptedFilesTakeOneTurnEach()
{
    QList<ManifestRow> rows;
    for (int i = 0; i < 5; ++i) {
        const QByteArray bytes = "file " + QByteArray::number(i);
        const QString name = QStringLiteral("f%1.txt").arg(i);
        rows.append({name, Md5Hex(bytes), bytes.size(), 1});
        QVERIFY(WriteFile(Local(QStringLiteral("u-1/demo/") + name), bytes));
    }
    ServeManifest(rows);

    GameDownload dialog(game, Patch, true, holder);
    TurnCounter counter;
    dialog.installEventFilter(&counter);
    auto *list = dialog.findChild<QListWidget *>(QStringLiteral("listWidget"));
    connect(list->model(), &QAbstractItemModel::rowsInserted, &counter,
            [&](const QModelIndex &, int first, int) {
                counter.seen.append({list->item(first)->text(), counter.skips});
            });
    QCOMPARE(Exec(dialog), int(QDialog::Accepted));

    const QList<QPair<QString, int>> expected{
        // The first two lines come from the constructor, before anything listens.
        {QStringLiteral("Parsing game download info..."), 0},
        {QStringLiteral("Verified demo/f0.txt"), 0},
        {QStringLiteral("Verified demo/f1.txt"), 1},
        {QStringLiteral("Verified demo/f2.txt"), 2},
        {QStringLiteral("Verified demo/f3.txt"), 3},
        {QStringLiteral("Verified demo/f4.txt"), 4},
        {QStringLiteral("Download finished."), 5}};
    QCOMPARE(counter.seen, expected);
    QCOMPARE(server->requestedPaths(), QByteArrayList{"/demo/patch.db"});
}

void TestGameDownload::refusedConnection()
{
    // An earlier manifest is on disk; nothing answers on the configured port.
    const QList<ManifestRow> rows{{QStringLiteral("a.txt"), Md5Hex(alpha), 5, 1},
                                  {QStringLiteral("b.txt"), Md5Hex("b"), 1, 1}};
    QVERIFY(WritePatchDb(Local(QStringLiteral("u-1/demo/patch.db")), rows));
    const QByteArray manifest = ReadFile(Local(QStringLiteral("u-1/demo/patch.db")));
    QVERIFY(WriteFile(Local(QStringLiteral("u-1/demo/a.txt")), "earlier"));
    {
        QTcpServer unused;
        QVERIFY(unused.listen(QHostAddress::LocalHost));
        settings->webPort = unused.serverPort();
    }

    GameDownload dialog(game, Patch, true, holder);
    QCOMPARE(Exec(dialog), int(QDialog::Accepted));
    QCOMPARE(Lines(dialog),
             (QStringList{
                 QStringLiteral("Gathering game download info..."),
                 QStringLiteral("Downloading demo/patch.db"), QStringLiteral("Network Error: 1"),
                 QStringLiteral("Parsing game download info..."),
                 QStringLiteral("Downloading demo/a.txt"), QStringLiteral("Network Error: 1"),
                 QStringLiteral("Downloading demo/b.txt"), QStringLiteral("Network Error: 1"),
                 QStringLiteral("Download finished.")}));
    QCOMPARE(FilesBelow(dir->path()), (FileMap{{QStringLiteral("u-1/demo/patch.db"), manifest},
                                               {QStringLiteral("u-1/demo/a.txt"), "earlier"}}));
}

void TestGameDownload::progressWhileArriving_data()
{
    QTest::addColumn<quint64>("declared");
    QTest::addColumn<int>("finalPercent");
    QTest::addColumn<int>("minimumUpdates"); // the line is rewritten only when its text changes

    QTest::newRow("as declared") << quint64(1000) << 100 << 2;
    QTest::newRow("declared twice as large") << quint64(2000) << 50 << 2;
    QTest::newRow("more than declared") << quint64(10) << 100 << 1;
}

void TestGameDownload::progressWhileArriving()
{
    QFETCH(quint64, declared);
    QFETCH(int, finalPercent);
    QFETCH(int, minimumUpdates);
    const QByteArray body = QByteArray("0123456789").repeated(100);
    ServeManifest({{QStringLiteral("slow.bin"), Md5Hex(body), QVariant(declared), 1}});
    TestHttpResponse slow = Body(body);
    slow.chunkSize = 100;
    slow.pauseMs = 15;
    server->setResponse("/demo/slow.bin", slow);

    GameDownload dialog(game, Patch, true, holder);
    auto *list = dialog.findChild<QListWidget *>(QStringLiteral("listWidget"));
    QList<int> percents;
    const QString prefix = QStringLiteral("Downloading demo/slow.bin: ");
    connect(list->model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex &index) {
        const QString text = index.data().toString();
        if (text.startsWith(prefix) && text.endsWith(u'%'))
            percents.append(text.mid(prefix.size()).chopped(1).toInt());
    });
    QCOMPARE(Exec(dialog), int(QDialog::Accepted));

    // Shown while the body arrives, not only at its end.
    QVERIFY(percents.size() >= minimumUpdates);
    QCOMPARE(percents.last(), finalPercent);
    for (int i = 1; i < percents.size(); ++i)
        QVERIFY(percents.at(i) >= percents.at(i - 1));
    QVERIFY(*std::max_element(percents.cbegin(), percents.cend()) <= 100);
    QCOMPARE(ReadFile(Local(QStringLiteral("u-1/demo/slow.bin"))), body);
}

void TestGameDownload::closing_data()
{
    QTest::addColumn<bool>("autoClose");
    QTest::newRow("closes by itself") << true;
    QTest::newRow("waits for OK") << false;
}

void TestGameDownload::closing()
{
    QFETCH(bool, autoClose);
    ServeManifest({});
    GameDownload dialog(game, Download, autoClose, holder);
    auto *list = dialog.findChild<QListWidget *>(QStringLiteral("listWidget"));
    bool okWasEnabled = false;
    bool cancelWasEnabled = true;
    bool pressedOk = false;
    if (!autoClose) {
        connect(list->model(), &QAbstractItemModel::rowsInserted, this, [&] {
            if (list->item(list->count() - 1)->text() != u"Download finished.")
                return;
            // Look once the run has handed control back, then press OK.
            QTimer::singleShot(0, &dialog, [&] {
                okWasEnabled = Button(dialog, QDialogButtonBox::Ok)->isEnabled();
                cancelWasEnabled = Button(dialog, QDialogButtonBox::Cancel)->isEnabled();
                QVERIFY(dialog.isVisible());
                pressedOk = true;
                Button(dialog, QDialogButtonBox::Ok)->click();
            });
        });
    }
    QCOMPARE(Exec(dialog), int(QDialog::Accepted));
    QCOMPARE(Lines(dialog).last(), QStringLiteral("Download finished."));
    QCOMPARE(pressedOk, !autoClose);
    if (!autoClose) {
        QVERIFY(okWasEnabled);
        QVERIFY(!cancelWasEnabled);
    }
}

void TestGameDownload::cancelMidTransfer()
{
    const QByteArray body = QByteArray("x").repeated(4000);
    ServeManifest({{QStringLiteral("a.txt"), Md5Hex(body), body.size(), 1},
                   {QStringLiteral("b.txt"), Md5Hex("b"), 1, 1}});
    TestHttpResponse slow = Body(body);
    slow.chunkSize = 100;
    slow.pauseMs = 20;
    server->setResponse("/demo/a.txt", slow);
    server->setFile("/demo/b.txt", "b");
    QVERIFY(WriteFile(Local(QStringLiteral("u-1/demo/a.txt")), "earlier"));

    GameDownload dialog(game, Download, true, holder);
    auto *list = dialog.findChild<QListWidget *>(QStringLiteral("listWidget"));
    QStringList atCancel;
    connect(list->model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex &index) {
        if (atCancel.isEmpty() && index.data().toString().startsWith(u"Downloading demo/a.txt: ")) {
            atCancel = Lines(dialog);
            Button(dialog, QDialogButtonBox::Cancel)->click();
        }
    });
    QCOMPARE(Exec(dialog), int(QDialog::Rejected));
    QVERIFY(!atCancel.isEmpty());
    QCOMPARE(ReadFile(Local(QStringLiteral("u-1/demo/a.txt"))), QByteArray("earlier"));
    // Bounded wait for something that must NOT happen: more lines or writes
    // after the reply was aborted.
    QTest::qWait(200);
    QCOMPARE(Lines(dialog), atCancel);
    QCOMPARE(QDir(Local(QStringLiteral("u-1/demo"))).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("a.txt"), QStringLiteral("patch.db")}));
    QCOMPARE(ReadFile(Local(QStringLiteral("u-1/demo/a.txt"))), QByteArray("earlier"));
    QVERIFY(!server->requestedPaths().contains("/demo/b.txt"));
}

void TestGameDownload::destroyedMidTransfer()
{
    const QByteArray body = QByteArray("y").repeated(4000);
    ServeManifest({{QStringLiteral("a.txt"), Md5Hex(body), body.size(), 1}});
    TestHttpResponse slow = Body(body);
    slow.chunkSize = 100;
    slow.pauseMs = 20;
    server->setResponse("/demo/a.txt", slow);
    QVERIFY(WriteFile(Local(QStringLiteral("u-1/demo/a.txt")), "earlier"));

    QPointer<GameDownload> dialog = new GameDownload(game, Patch, false, holder);
    dialog->show();
    QTRY_VERIFY(Lines(*dialog).last().startsWith(u"Downloading demo/a.txt: "));
    delete dialog.data();
    // Bounded wait for writes that must NOT come once the dialog is gone.
    QTest::qWait(200);
    QCOMPARE(FilesBelow(Local(QStringLiteral("u-1/demo")), QStringLiteral("patch.db")),
             (FileMap{{QStringLiteral("a.txt"), "earlier"}}));
}

void TestGameDownload::foreignEventsIgnored()
{
    const QByteArray body = QByteArray("z").repeated(1000);
    ServeManifest({{QStringLiteral("a.txt"), Md5Hex(body), body.size(), 1},
                   {QStringLiteral("b.txt"), Md5Hex("b"), 1, 1}});
    TestHttpResponse slow = Body(body);
    slow.chunkSize = 100;
    slow.pauseMs = 20;
    server->setResponse("/demo/a.txt", slow);
    server->setFile("/demo/b.txt", "b");

    GameDownload dialog(game, Patch, true, holder);
    auto *list = dialog.findChild<QListWidget *>(QStringLiteral("listWidget"));
    bool posted = false;
    connect(list->model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex &index) {
        if (!posted && index.data().toString().startsWith(u"Downloading demo/a.txt: ")) {
            posted = true;
            QCoreApplication::postEvent(&dialog, new QEvent(QEvent::Type(QEvent::User + 1)));
            QCoreApplication::postEvent(&dialog, new FileSkippedEvent);
        }
    });
    QCOMPARE(Exec(dialog), int(QDialog::Accepted));
    QVERIFY(posted);
    QCOMPARE(Lines(dialog), (QStringList{QStringLiteral("Gathering game download info..."),
                                         QStringLiteral("Downloading demo/patch.db"),
                                         QStringLiteral("Parsing game download info..."),
                                         QStringLiteral("Downloading demo/a.txt: 100%"),
                                         QStringLiteral("Downloading demo/b.txt: 100%"),
                                         QStringLiteral("Download finished.")}));
    QCOMPARE(ReadFile(Local(QStringLiteral("u-1/demo/a.txt"))), body);
}

void TestGameDownload::withoutMainWindow_data()
{
    QTest::addColumn<DownloadMode>("mode");
    QTest::addColumn<bool>("autoClose");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("download, closes by itself")
        << Download << true
        << QStringList{QStringLiteral("Gathering client download info..."),
                       QStringLiteral("Download finished.")};
    QTest::newRow("patch, waits for OK")
        << Patch << false << QStringList{QStringLiteral("Download finished.")};
}

void TestGameDownload::withoutMainWindow()
{
    QFETCH(DownloadMode, mode);
    QFETCH(bool, autoClose);
    QFETCH(QStringList, lines);
    ServeManifest({});

    GameDownload dialog(game, mode, autoClose, nullptr);
    if (!autoClose) {
        QVERIFY(Button(dialog, QDialogButtonBox::Ok)->isEnabled());
        QTimer::singleShot(0, Button(dialog, QDialogButtonBox::Ok), &QPushButton::click);
    }
    QCOMPARE(Exec(dialog), int(QDialog::Accepted));
    QCOMPARE(Lines(dialog), lines);
    QVERIFY(server->requestedPaths().isEmpty());
}

QTEST_MAIN(TestGameDownload)
#include "tst_gamedownload.moc"
