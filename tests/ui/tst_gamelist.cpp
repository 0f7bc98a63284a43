#include "library/MainWindow.h"

#include "Fixtures.h"
#include "app/PortalSettings.h"
#include "app/ProgramLog.h"
#include "entry/GameEntry.h"
#include "library/Catalogue.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

Q_DECLARE_METATYPE(QList<CatalogueGame>)

namespace {

CatalogueGame Row(const QString &uuid, const QString &title = QString(),
                  const QString &nickname = u"nick"_qs)
{
    CatalogueGame game;
    game.uuid = uuid;
    game.nickname = nickname;
    game.title = title.isEmpty() ? u"Title of "_qs + uuid : title;
    return game;
}

QList<GameEntry *> Entries(MainWindow &window, const char *section)
{
    auto *layout = window.findChild<QVBoxLayout *>(QLatin1String(section));
    QList<GameEntry *> entries;
    for (int i = 0; layout && i < layout->count(); ++i) {
        if (auto *entry = qobject_cast<GameEntry *>(layout->itemAt(i)->widget()))
            entries.append(entry);
    }
    return entries;
}

QStringList Uuids(MainWindow &window, const char *section)
{
    QStringList uuids;
    for (const GameEntry *entry : Entries(window, section))
        uuids.append(entry->Info().uuid);
    return uuids;
}

QString ButtonTip(const GameEntry *entry)
{
    return entry->findChild<QPushButton *>(u"pushButton"_qs)->toolTip();
}

QList<QByteArray> LogLinesWith(const QString &logPath, const QByteArray &text)
{
    QList<QByteArray> found;
    for (const QByteArray &line : ReadFile(logPath).split('\n')) {
        if (line.contains(text))
            found.append(line);
    }
    return found;
}

} // namespace

class TestGameList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void catalogueOrder_data();
    void catalogueOrder();
    void marker_data();
    void marker();
    void latin1Description();
    void unsafeFolderNames_data();
    void unsafeFolderNames();
    void unreadableCatalogue_data();
    void unreadableCatalogue();
    void rebuildTwice();

private:
    // Opens library.db like the finished download does, then fills the list.
    void Rebuild(MainWindow &window);

    QString startDir;
    QTemporaryDir *temp = nullptr;
    QTemporaryDir logDir;
    QString logPath;
    PortalSettings settings;
};

void TestGameList::initTestCase()
{
    QVERIFY(logDir.isValid());
    logPath = logDir.filePath(u"portal.log"_qs);
    QCOMPARE(OpenProgramLog(logPath.toStdString()), 0);
}

void TestGameList::init()
{
    startDir = QDir::currentPath();
    temp = new QTemporaryDir;
    QVERIFY(temp->isValid());
    QVERIFY(QDir::setCurrent(temp->path()));
    QVERIFY(QFile::resize(logPath, 0));
}

void TestGameList::cleanup()
{
    QDir::setCurrent(startDir);
    delete temp;
    temp = nullptr;
}

void TestGameList::Rebuild(MainWindow &window)
{
    window.OpenLibraryDatabase();
    window.RebuildGameList();
}

void TestGameList::catalogueOrder_data()
{
    QTest::addColumn<QList<CatalogueGame>>("rows");
    QTest::addColumn<QStringList>("uuids");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("nicknames");

    QTest::newRow("ordered by uuid, upper case first")
        << QList<CatalogueGame>{Row(u"b"_qs), Row(u"a"_qs), Row(u"B"_qs)}
        << QStringList{u"B"_qs, u"a"_qs, u"b"_qs}
        << QStringList{u"Title of B"_qs, u"Title of a"_qs, u"Title of b"_qs}
        << QStringList{u"nick"_qs, u"nick"_qs, u"nick"_qs};
    QTest::newRow("not by title") << QList<CatalogueGame>{Row(u"2"_qs, u"Alpha"_qs),
                                                          Row(u"1"_qs, u"Zulu"_qs)}
                                  << QStringList{u"1"_qs, u"2"_qs}
                                  << QStringList{u"Zulu"_qs, u"Alpha"_qs}
                                  << QStringList{u"nick"_qs, u"nick"_qs};
    QTest::newRow("later duplicate wins")
        << QList<CatalogueGame>{Row(u"m"_qs, u"first"_qs), Row(u"k"_qs),
                                Row(u"m"_qs, u"second"_qs, u"other"_qs)}
        << QStringList{u"k"_qs, u"m"_qs} << QStringList{u"Title of k"_qs, u"second"_qs}
        << QStringList{u"nick"_qs, u"other"_qs};
    QTest::newRow("empty table") << QList<CatalogueGame>() << QStringList() << QStringList()
                                 << QStringList();
}

void TestGameList::catalogueOrder()
{
    QFETCH(QList<CatalogueGame>, rows);
    QFETCH(QStringList, uuids);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, nicknames);

    QVERIFY(WriteCatalogue(u"library.db"_qs, rows));
    MainWindow window(&settings);
    Rebuild(window);

    QCOMPARE(Uuids(window, "verticalLayout_Available"), uuids);
    QVERIFY(Entries(window, "verticalLayout_Installed").isEmpty());
    QStringList shownTitles;
    QStringList shownNicknames;
    for (const GameEntry *entry : Entries(window, "verticalLayout_Available")) {
        shownTitles.append(entry->findChild<QLabel *>(u"labelTitle"_qs)->text());
        shownNicknames.append(entry->Info().nickname);
        QCOMPARE(ButtonTip(entry), u"Download "_qs + entry->Info().title);
        QVERIFY(!entry->Info().installed);
    }
    QCOMPARE(shownTitles, titles);
    QCOMPARE(shownNicknames, nicknames);
    // An entry and its line per game.
    QCOMPARE(window.findChild<QVBoxLayout *>(u"verticalLayout_Available"_qs)->count(),
             2 * uuids.size());
}

void TestGameList::marker_data()
{
    QTest::addColumn<QString>("marker"); // how <uuid>/<nickname>/game.zol is made
    QTest::addColumn<QStringList>("uuids");
    QTest::addColumn<bool>("installed");

    const QStringList own = {u"Game-1"_qs};
    QTest::newRow("no folder") << u"none"_qs << own << false;
    QTest::newRow("folder without marker") << u"folder"_qs << own << false;
    QTest::newRow("marker is a folder") << u"folder marker"_qs << own << false;
    QTest::newRow("not SQLite") << u"text"_qs << own << false;
    QTest::newRow("no settings table") << u"no table"_qs << own << false;
    QTest::newRow("empty settings table") << u"rows"_qs << QStringList() << false;
    QTest::newRow("other uuid") << u"rows"_qs << QStringList{u"Game-2"_qs} << false;
    QTest::newRow("same uuid") << u"rows"_qs << own << true;
    QTest::newRow("same uuid, other case") << u"rows"_qs << QStringList{u"gAME-1"_qs} << true;
    QTest::newRow("two rows, first names it")
        << u"rows"_qs << QStringList{u"game-1"_qs, u"Game-2"_qs} << true;
    QTest::newRow("two rows, second names it")
        << u"rows"_qs << QStringList{u"Game-2"_qs, u"Game-1"_qs} << false;
}

void TestGameList::marker()
{
    QFETCH(QString, marker);
    QFETCH(QStringList, uuids);
    QFETCH(bool, installed);

    QVERIFY(WriteCatalogue(u"library.db"_qs, {Row(u"Game-1"_qs, u"One"_qs, u"one"_qs),
                                              Row(u"Game-0"_qs, u"Zero"_qs, u"zero"_qs)}));
    const QString folder = u"Game-1/one"_qs;
    const QString path = folder + u"/game.zol"_qs;
    if (marker == u"folder")
        QVERIFY(QDir().mkpath(folder));
    else if (marker == u"folder marker")
        QVERIFY(QDir().mkpath(path));
    else if (marker == u"text")
        QVERIFY(WriteFile(path, "uuid=Game-1\n"));
    else if (marker == u"no table")
        QVERIFY(WriteSqlite(path, {u"CREATE TABLE other (uuid TEXT)"_qs,
                                   u"INSERT INTO other VALUES ('Game-1')"_qs}));
    else if (marker == u"rows")
        QVERIFY(WriteMarker(path, uuids));
    const QByteArray markerBytes = ReadFile(path);

    MainWindow window(&settings);
    Rebuild(window);

    const QStringList expectedInstalled = installed ? QStringList{u"Game-1"_qs} : QStringList();
    const QStringList expectedAvailable =
        installed ? QStringList{u"Game-0"_qs} : QStringList{u"Game-0"_qs, u"Game-1"_qs};
    QCOMPARE(Uuids(window, "verticalLayout_Installed"), expectedInstalled);
    QCOMPARE(Uuids(window, "verticalLayout_Available"), expectedAvailable);
    for (const GameEntry *entry : Entries(window, "verticalLayout_Installed")) {
        QVERIFY(entry->Info().installed);
        QCOMPARE(ButtonTip(entry), u"Launch One"_qs);
    }
    for (const GameEntry *entry : Entries(window, "verticalLayout_Available"))
        QVERIFY(ButtonTip(entry).startsWith(u"Download "_qs));

    // The probe leaves no connection behind and does not touch the marker.
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList{u"GAME_LIBRARY"_qs});
    QCOMPARE(ReadFile(path), markerBytes);
    QCOMPARE(QFileInfo::exists(path), marker != u"none" && marker != u"folder");
}

void TestGameList::latin1Description()
{
    CatalogueGame game = Row(u"g"_qs);
    game.description = "Caf\xc3\xa9\n  indented";
    QVERIFY(WriteCatalogue(u"library.db"_qs, {game}));
    MainWindow window(&settings);
    Rebuild(window);

    const QList<GameEntry *> entries = Entries(window, "verticalLayout_Available");
    QCOMPARE(entries.size(), 1);
    // One character per byte: the two bytes of the UTF-8 e-acute stay two characters.
    const QString expected = QStringLiteral(u"Caf\u00c3\u00a9\n  indented");
    QCOMPARE(entries.first()->Info().description, expected);
    QCOMPARE(entries.first()->findChild<QLabel *>(u"labelTitle"_qs)->toolTip(),
             u"<p style='white-space:pre'>"_qs + expected);
}

void TestGameList::unsafeFolderNames_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("nickname");

    QTest::newRow("uuid climbs up") << u".."_qs << u"nick"_qs;
    QTest::newRow("uuid with a slash") << u"a/b"_qs << u"nick"_qs;
    QTest::newRow("uuid with a backslash") << u"..\\evil"_qs << u"nick"_qs;
    QTest::newRow("empty uuid") << QString() << u"nick"_qs;
    QTest::newRow("nickname climbs up") << u"u1"_qs << u".."_qs;
    QTest::newRow("nickname is a path") << u"u2"_qs << u"x/../../y"_qs;
    QTest::newRow("nickname with a drive") << u"u3"_qs << u"C:"_qs;
    QTest::newRow("empty nickname") << u"u4"_qs << QString();
}

void TestGameList::unsafeFolderNames()
{
    QFETCH(QString, uuid);
    QFETCH(QString, nickname);

    QVERIFY(WriteCatalogue(u"library.db"_qs,
                           {Row(u"safe-1"_qs), Row(uuid, u"Bad"_qs, nickname), Row(u"safe-2"_qs)}));
    MainWindow window(&settings);
    Rebuild(window);

    QCOMPARE(Uuids(window, "verticalLayout_Available"), QStringList({u"safe-1"_qs, u"safe-2"_qs}));
    QVERIFY(Uuids(window, "verticalLayout_Installed").isEmpty());
    const QByteArray line = "Ignored game with unsafe folder name: " + uuid.toUtf8();
    QList<QByteArray> lines = LogLinesWith(logPath, "Ignored game");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(line), lines.first());
    QVERIFY(lines.first().startsWith("Server: ["));

    window.RebuildGameList();
    QCOMPARE(LogLinesWith(logPath, "Ignored game").size(), 2); // once per rebuild
}

void TestGameList::unreadableCatalogue_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("statements"); // used when bytes is empty

    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("not SQLite") << QByteArray("<html>Not found</html>") << QStringList();
    QTest::newRow("no games table")
        << QByteArray() << QStringList{u"CREATE TABLE clients (name TEXT)"_qs};
    QTest::newRow("games lacks a column")
        << QByteArray()
        << QStringList{u"CREATE TABLE games (title TEXT, uuid TEXT, nickname TEXT, icon BLOB)"_qs,
                       u"INSERT INTO games VALUES ('t', 'u', 'n', NULL)"_qs};
}

void TestGameList::unreadableCatalogue()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, statements);

    if (statements.isEmpty())
        QVERIFY(WriteFile(u"library.db"_qs, bytes));
    else
        QVERIFY(WriteSqlite(u"library.db"_qs, statements));
    MainWindow window(&settings);
    Rebuild(window);
    QCOMPARE(window.findChild<QVBoxLayout *>(u"verticalLayout_Available"_qs)->count(), 0);
    QCOMPARE(window.findChild<QVBoxLayout *>(u"verticalLayout_Installed"_qs)->count(), 0);
}

void TestGameList::rebuildTwice()
{
    QVERIFY(WriteCatalogue(u"library.db"_qs,
                           {Row(u"i"_qs, u"In"_qs, u"in"_qs), Row(u"x"_qs), Row(u"y"_qs)}));
    QVERIFY(WriteMarker(u"i/in/game.zol"_qs, {u"i"_qs}));
    MainWindow window(&settings);
    Rebuild(window);
    QList<QPointer<GameEntry>> first;
    for (GameEntry *entry :
         Entries(window, "verticalLayout_Available") + Entries(window, "verticalLayout_Installed"))
        first.append(entry);
    QCOMPARE(first.size(), 3);

    window.RebuildGameList();
    QCOMPARE(Uuids(window, "verticalLayout_Installed"), QStringList{u"i"_qs});
    QCOMPARE(Uuids(window, "verticalLayout_Available"), QStringList({u"x"_qs, u"y"_qs}));
    QCOMPARE(window.findChild<QVBoxLayout *>(u"verticalLayout_Installed"_qs)->count(), 2);
    QCOMPARE(window.findChild<QVBoxLayout *>(u"verticalLayout_Available"_qs)->count(), 4);
    for (const QPointer<GameEntry> &old : std::as_const(first))
        QVERIFY(old.isNull()); // the first fill's entries are gone at once
    QCOMPARE(window.findChildren<GameEntry *>().size(), 3);
}

QTEST_MAIN(TestGameList)
#include "tst_gamelist.moc"
