#include "download/ClientFiles.h"

#include "Fixtures.h"

#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

Q_DECLARE_METATYPE(CatalogueGame)
Q_DECLARE_METATYPE(ClientRow)

namespace {

const QString connectionName = QStringLiteral("GAME_LIBRARY");
const QString server = QStringLiteral("http://example.test:81/base");

// Opens the catalogue under the connection name the portal uses and removes
// the connection again at the end of the test.
class OpenCatalogue
{
public:
    explicit OpenCatalogue(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(path);
        opened = db.open();
    }
    ~OpenCatalogue() { QSqlDatabase::removeDatabase(connectionName); }
    OpenCatalogue(const OpenCatalogue &) = delete;
    OpenCatalogue &operator=(const OpenCatalogue &) = delete;

    bool opened = false;
};

// One line per queued file, so a mismatch shows the whole record.
QStringList Describe(const QList<DownloadFile> &files)
{
    QStringList lines;
    for (const DownloadFile &file : files) {
        lines.append(QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6")
                         .arg(file.path, file.url, file.localPath, file.crc)
                         .arg(file.size)
                         .arg(file.editable ? u"editable" : u"fixed"));
    }
    return lines;
}

QString Line(const QString &path, const QString &filepath, const QString &uuid, const QString &crc,
             quint64 size)
{
    return QStringLiteral("%1 | %2 | %3 | %4 | %5 | fixed")
        .arg(path, server + u'/' + filepath, uuid + u'/' + path, crc)
        .arg(size);
}

ClientRow Client(const QString &name, const QString &filepath, const QString &crc = QString(),
                 const QVariant &size = 1)
{
    return ClientRow{name, filepath, crc, size};
}

// Two games on different engine versions; "plain" needs 1.2, "newer" 2.10.
QList<CatalogueGame> TwoGames()
{
    CatalogueGame plain;
    plain.uuid = QStringLiteral("plain-uuid");
    plain.nickname = QStringLiteral("plain");
    plain.major = 1;
    plain.minor = 2;
    CatalogueGame newer;
    newer.uuid = QStringLiteral("newer-uuid");
    newer.nickname = QStringLiteral("newer");
    newer.major = 2;
    newer.minor = 10;
    return {plain, newer};
}

} // namespace

class tst_ClientFiles : public QObject
{
    Q_OBJECT

private slots:
    void buildName_data();
    void buildName();
    void queuesFilesOfTheBuild_data();
    void queuesFilesOfTheBuild();
    void refusesUnsafePaths_data();
    void refusesUnsafePaths();
    void queuesNothing_data();
    void queuesNothing();
    void valuesCannotChangeTheStatement_data();
    void valuesCannotChangeTheStatement();
};

void tst_ClientFiles::buildName_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1.2") << QStringLiteral("windows") << 1 << 2
                         << QStringLiteral("client_windows_1_2");
    QTest::newRow("no leading zeros")
        << QStringLiteral("windows") << 10 << 0 << QStringLiteral("client_windows_10_0");
    QTest::newRow("other platform")
        << QStringLiteral("linux") << 3 << 14 << QStringLiteral("client_linux_3_14");
}

void tst_ClientFiles::buildName()
{
    QFETCH(QString, platform);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QString, expected);
    QCOMPARE(ClientBuildName(platform, major, minor), expected);
}

void tst_ClientFiles::queuesFilesOfTheBuild_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QList<ClientRow>>("clients");
    QTest::addColumn<QStringList>("expected");

    const QString plain = QStringLiteral("plain-uuid");
    const QString v12 = QStringLiteral("client_windows_1_2");
    const QString digest = Md5Hex("client");
    // Builds of neighbouring versions and of another platform sit in the same
    // table; only the game's own build may be picked.
    const QList<ClientRow> neighbours = {
        Client(QStringLiteral("client_windows_2_1"), QStringLiteral("client_windows_2_1/a.exe")),
        Client(QStringLiteral("client_windows_1_20"), QStringLiteral("client_windows_1_20/b.exe")),
        Client(QStringLiteral("client_windows_12"), QStringLiteral("client_windows_12/c.exe")),
        Client(QStringLiteral("client_linux_1_2"), QStringLiteral("client_linux_1_2/d")),
    };

    QTest::newRow("client program at the top")
        << plain
        << (QList<ClientRow>(neighbours)
            << Client(v12, QStringLiteral("client_windows_1_2/zol_client.exe"), digest, 6))
        << QStringList{Line(QStringLiteral("zol_client.exe"),
                            QStringLiteral("client_windows_1_2/zol_client.exe"), plain, digest, 6)};
    QTest::newRow("build folder deeper in the path")
        << plain
        << QList<ClientRow>{Client(v12, QStringLiteral("clients/client_windows_1_2/x.dll"))}
        << QStringList{Line(QStringLiteral("x.dll"),
                            QStringLiteral("clients/client_windows_1_2/x.dll"), plain, QString(),
                            1)};
    QTest::newRow("sub-folders below the build kept")
        << plain << QList<ClientRow>{Client(v12, QStringLiteral("client_windows_1_2/bin/x.dll"))}
        << QStringList{Line(QStringLiteral("bin/x.dll"),
                            QStringLiteral("client_windows_1_2/bin/x.dll"), plain, QString(), 1)};
    QTest::newRow("rows kept in table order")
        << plain
        << QList<ClientRow>{Client(v12, QStringLiteral("client_windows_1_2/z.exe")),
                            neighbours.at(0),
                            Client(v12, QStringLiteral("client_windows_1_2/a.dll")),
                            Client(v12, QStringLiteral("client_windows_1_2/m/m.pak"))}
        << QStringList{Line(QStringLiteral("z.exe"), QStringLiteral("client_windows_1_2/z.exe"),
                            plain, QString(), 1),
                       Line(QStringLiteral("a.dll"), QStringLiteral("client_windows_1_2/a.dll"),
                            plain, QString(), 1),
                       Line(QStringLiteral("m/m.pak"), QStringLiteral("client_windows_1_2/m/m.pak"),
                            plain, QString(), 1)};
    QTest::newRow("two-digit minor version")
        << QStringLiteral("newer-uuid")
        << (QList<ClientRow>(neighbours)
            << Client(QStringLiteral("client_windows_2_10"),
                      QStringLiteral("client_windows_2_10/zol_client.exe")))
        << QStringList{Line(QStringLiteral("zol_client.exe"),
                            QStringLiteral("client_windows_2_10/zol_client.exe"),
                            QStringLiteral("newer-uuid"), QString(), 1)};
    QTest::newRow("digest kept as written, sizes beyond 32 bits")
        << plain
        << QList<ClientRow>{Client(v12, QStringLiteral("client_windows_1_2/big.pak"),
                                   digest.toUpper(), qint64(5000000000))}
        << QStringList{Line(QStringLiteral("big.pak"), QStringLiteral("client_windows_1_2/big.pak"),
                            plain, digest.toUpper(), 5000000000)};
    QTest::newRow("size that is not a number is 0")
        << plain
        << QList<ClientRow>{Client(v12, QStringLiteral("client_windows_1_2/a"), QString(),
                                   QStringLiteral("many")),
                            Client(v12, QStringLiteral("client_windows_1_2/b"), QString(),
                                   QVariant()),
                            Client(v12, QStringLiteral("client_windows_1_2/c"), QString(), -5)}
        << QStringList{Line(QStringLiteral("a"), QStringLiteral("client_windows_1_2/a"), plain,
                            QString(), 0),
                       Line(QStringLiteral("b"), QStringLiteral("client_windows_1_2/b"), plain,
                            QString(), 0),
                       Line(QStringLiteral("c"), QStringLiteral("client_windows_1_2/c"), plain,
                            QString(), 0)};
}

void tst_ClientFiles::queuesFilesOfTheBuild()
{
    QFETCH(QString, uuid);
    QFETCH(QList<ClientRow>, clients);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("library.db"));
    QVERIFY(WriteCatalogue(path, TwoGames(), clients));
    OpenCatalogue catalogue(path);
    QVERIFY(catalogue.opened);

    const QueuedFiles queued =
        ReadClientFiles(connectionName, uuid, server, QStringLiteral("windows"));
    QCOMPARE(Describe(queued.files), expected);
    QCOMPARE(queued.unsafePaths, QStringList());
}

void tst_ClientFiles::refusesUnsafePaths_data()
{
    QTest::addColumn<QString>("filepath");

    QTest::newRow("no build name") << QStringLiteral("zol_client.exe");
    QTest::newRow("build name only as a prefix") << QStringLiteral("client_windows_1_2x.dll");
    QTest::newRow("build name inside a longer folder")
        << QStringLiteral("client_windows_1_20/zol_client.exe");
    QTest::newRow("build name in other letter case")
        << QStringLiteral("CLIENT_WINDOWS_1_2/zol_client.exe");
    QTest::newRow("nothing below the build") << QStringLiteral("client_windows_1_2/");
    QTest::newRow("the build folder itself") << QStringLiteral("client_windows_1_2");
    QTest::newRow("climbs out") << QStringLiteral("client_windows_1_2/../../etc/passwd");
    QTest::newRow("climbs out further down")
        << QStringLiteral("client_windows_1_2/bin/../../x.dll");
    QTest::newRow("absolute remainder") << QStringLiteral("client_windows_1_2//etc/passwd");
    QTest::newRow("backslash") << QStringLiteral("client_windows_1_2/..\\x.dll");
    QTest::newRow("drive letter") << QStringLiteral("client_windows_1_2/C:/x.dll");
    QTest::newRow("current folder segment") << QStringLiteral("client_windows_1_2/./x.dll");
}

void tst_ClientFiles::refusesUnsafePaths()
{
    QFETCH(QString, filepath);

    const QString v12 = QStringLiteral("client_windows_1_2");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("library.db"));
    // The refused row sits between two good ones, which stay queued in order.
    QVERIFY(WriteCatalogue(path, TwoGames(),
                           {Client(v12, QStringLiteral("client_windows_1_2/first.dll")),
                            Client(v12, filepath),
                            Client(v12, QStringLiteral("client_windows_1_2/last.dll"))}));
    OpenCatalogue catalogue(path);
    QVERIFY(catalogue.opened);

    const QString uuid = QStringLiteral("plain-uuid");
    const QueuedFiles queued =
        ReadClientFiles(connectionName, uuid, server, QStringLiteral("windows"));
    QCOMPARE(
        Describe(queued.files),
        (QStringList{Line(QStringLiteral("first.dll"),
                          QStringLiteral("client_windows_1_2/first.dll"), uuid, QString(), 1),
                     Line(QStringLiteral("last.dll"), QStringLiteral("client_windows_1_2/last.dll"),
                          uuid, QString(), 1)}));
    QCOMPARE(queued.unsafePaths, QStringList{filepath});
}

void tst_ClientFiles::queuesNothing_data()
{
    QTest::addColumn<QList<CatalogueGame>>("games");
    QTest::addColumn<bool>("withVersionColumns");
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<bool>("openConnection");

    CatalogueGame unversioned = TwoGames().first();
    unversioned.major = QVariant();
    CatalogueGame textVersion = TwoGames().first();
    textVersion.minor = QStringLiteral("two");
    CatalogueGame noBuild = TwoGames().first();
    noBuild.major = 7;

    QTest::newRow("game not in the catalogue")
        << TwoGames() << true << QStringLiteral("missing-uuid") << true;
    QTest::newRow("uuid in other letter case")
        << TwoGames() << true << QStringLiteral("PLAIN-UUID") << true;
    QTest::newRow("catalogue without version columns")
        << TwoGames() << false << QStringLiteral("plain-uuid") << true;
    QTest::newRow("version not stated")
        << QList<CatalogueGame>{unversioned} << true << QStringLiteral("plain-uuid") << true;
    QTest::newRow("version not a number")
        << QList<CatalogueGame>{textVersion} << true << QStringLiteral("plain-uuid") << true;
    QTest::newRow("no rows for the build")
        << QList<CatalogueGame>{noBuild} << true << QStringLiteral("plain-uuid") << true;
    QTest::newRow("catalogue connection missing")
        << TwoGames() << true << QStringLiteral("plain-uuid") << false;
}

void tst_ClientFiles::queuesNothing()
{
    QFETCH(QList<CatalogueGame>, games);
    QFETCH(bool, withVersionColumns);
    QFETCH(QString, uuid);
    QFETCH(bool, openConnection);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("library.db"));
    // Every build that a wrong reading could land on has a file.
    QList<ClientRow> clients;
    for (const QString &name :
         {QStringLiteral("client_windows_1_2"), QStringLiteral("client_windows_0_0"),
          QStringLiteral("client_windows_1_0"), QStringLiteral("client_windows_0_2"),
          QStringLiteral("client_windows_2_10")})
        clients.append(Client(name, name + QStringLiteral("/zol_client.exe")));
    QVERIFY(WriteCatalogue(path, games, clients, withVersionColumns));

    std::optional<OpenCatalogue> catalogue;
    if (openConnection) {
        catalogue.emplace(path);
        QVERIFY(catalogue->opened);
    }
    const QueuedFiles queued =
        ReadClientFiles(connectionName, uuid, server, QStringLiteral("windows"));
    QCOMPARE(Describe(queued.files), QStringList());
    QCOMPARE(queued.unsafePaths, QStringList());
}

void tst_ClientFiles::valuesCannotChangeTheStatement_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QStringList>("expected");

    const QString quoted = QStringLiteral("x' OR '1'='1");
    QTest::newRow("quote in the uuid") << quoted << QStringLiteral("windows") << QStringList();
    QTest::newRow("quote in the build name")
        << QStringLiteral("plain-uuid") << QStringLiteral("x' OR name<>'") << QStringList();
    // A uuid that really holds quotes is matched as it stands.
    QTest::newRow("quoted uuid listed in the catalogue")
        << QStringLiteral("it's-uuid") << QStringLiteral("windows")
        << QStringList{Line(QStringLiteral("zol_client.exe"),
                            QStringLiteral("client_windows_3_4/zol_client.exe"),
                            QStringLiteral("it's-uuid"), QString(), 1)};
}

void tst_ClientFiles::valuesCannotChangeTheStatement()
{
    QFETCH(QString, uuid);
    QFETCH(QString, platform);
    QFETCH(QStringList, expected);

    QList<CatalogueGame> games = TwoGames();
    CatalogueGame quoted;
    quoted.uuid = QStringLiteral("it's-uuid");
    quoted.nickname = QStringLiteral("quoted");
    quoted.major = 3;
    quoted.minor = 4;
    games.append(quoted);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("library.db"));
    QVERIFY(WriteCatalogue(path, games,
                           {Client(QStringLiteral("client_windows_1_2"),
                                   QStringLiteral("client_windows_1_2/zol_client.exe")),
                            Client(QStringLiteral("client_windows_3_4"),
                                   QStringLiteral("client_windows_3_4/zol_client.exe"))}));
    OpenCatalogue catalogue(path);
    QVERIFY(catalogue.opened);

    const QueuedFiles queued = ReadClientFiles(connectionName, uuid, server, platform);
    QCOMPARE(Describe(queued.files), expected);
    QCOMPARE(queued.unsafePaths, QStringList());

    // The catalogue is untouched by whatever the values held.
    const QueuedFiles again = ReadClientFiles(connectionName, QStringLiteral("plain-uuid"), server,
                                              QStringLiteral("windows"));
    QCOMPARE(again.files.size(), 1);
}

QTEST_GUILESS_MAIN(tst_ClientFiles)
#include "tst_clientfiles.moc"
