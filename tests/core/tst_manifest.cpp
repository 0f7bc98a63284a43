#include "download/Manifest.h"

#include "Fixtures.h"

#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(QList<ManifestRow>)
Q_DECLARE_METATYPE(QList<EditableRow>)

namespace {

const QString uuid = QStringLiteral("0c7e5d2a-game");
const QString nickname = QStringLiteral("demo");
const QString server = QStringLiteral("http://127.0.0.1:8080");

// One queued record as "path|url|localPath|crc|size|editable", for exact comparison.
QString Describe(const DownloadFile &file)
{
    return QStringList{file.path,
                       file.url,
                       file.localPath,
                       file.crc,
                       QString::number(file.size),
                       file.editable ? QStringLiteral("editable") : QStringLiteral("-")}
        .join(u'|');
}

QStringList DescribeAll(const QList<DownloadFile> &files)
{
    QStringList lines;
    for (const DownloadFile &file : files)
        lines.append(Describe(file));
    return lines;
}

// The record a game file of the manifest must give.
QString Expected(const QString &filepath, const QString &crc, quint64 size, bool editable,
                 const QString &serverUrl = server)
{
    DownloadFile file;
    file.path = nickname + u'/' + filepath;
    file.url = serverUrl + u'/' + nickname + u'/' + filepath;
    file.localPath = uuid + u'/' + nickname + u'/' + filepath;
    file.crc = crc;
    file.size = size;
    file.editable = editable;
    return Describe(file);
}

} // namespace

class TestManifest : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void sizes_data();
    void sizes();
    void serverUrlJoinedAsGiven();
    void unreadable_data();
    void unreadable();
};

void TestManifest::rows_data()
{
    QTest::addColumn<QList<ManifestRow>>("files");
    QTest::addColumn<QList<EditableRow>>("editable");
    QTest::addColumn<bool>("readEditable");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("unsafe");

    const QString a = QStringLiteral("0cc175b9c0f1b6a831c399e269772661");
    const QString b = QStringLiteral("92EB5FFEE6AE2FEC3AD71C777531578F");
    QTest::newRow("order kept, sub-folders")
        << QList<ManifestRow>{{QStringLiteral("game.zol"), a, 10, 1},
                              {QStringLiteral("data/maps/a.map"), b, 20, 1}}
        << QList<EditableRow>() << false
        << QStringList{Expected(QStringLiteral("game.zol"), a, 10, false),
                       Expected(QStringLiteral("data/maps/a.map"), b, 20, false)}
        << QStringList();
    QTest::newRow("other platforms ignored")
        << QList<ManifestRow>{{QStringLiteral("linux.so"), a, 1, 2},
                              {QStringLiteral("win.dll"), a, 2, 1},
                              {QStringLiteral("mac.dylib"), a, 3, 3}}
        << QList<EditableRow>() << false
        << QStringList{Expected(QStringLiteral("win.dll"), a, 2, false)} << QStringList();
    QTest::newRow("only other platforms")
        << QList<ManifestRow>{{QStringLiteral("linux.so"), a, 1, 2}} << QList<EditableRow>()
        << false << QStringList() << QStringList();
    QTest::newRow("duplicates kept") << QList<ManifestRow>{{QStringLiteral("x.txt"), a, 1, 1},
                                                           {QStringLiteral("x.txt"), b, 2, 1}}
                                     << QList<EditableRow>() << false
                                     << QStringList{Expected(QStringLiteral("x.txt"), a, 1, false),
                                                    Expected(QStringLiteral("x.txt"), b, 2, false)}
                                     << QStringList();
    const QList<ManifestRow> withScripts{{QStringLiteral("scripts/main.lua"), a, 5, 1},
                                         {QStringLiteral("config.ini"), b, 6, 1},
                                         {QStringLiteral("other.ini"), b, 7, 1}};
    const QList<EditableRow> editable{{QStringLiteral("config.ini"), 1},
                                      {QStringLiteral("Scripts/main.lua"), 1},
                                      {QStringLiteral("other.ini"), 2}};
    QTest::newRow("patch: exact name and platform only")
        << withScripts << editable << true
        << QStringList{Expected(QStringLiteral("scripts/main.lua"), a, 5, false),
                       Expected(QStringLiteral("config.ini"), b, 6, true),
                       Expected(QStringLiteral("other.ini"), b, 7, false)}
        << QStringList();
    QTest::newRow("download: editable table not read")
        << withScripts << editable << false
        << QStringList{Expected(QStringLiteral("scripts/main.lua"), a, 5, false),
                       Expected(QStringLiteral("config.ini"), b, 6, false),
                       Expected(QStringLiteral("other.ini"), b, 7, false)}
        << QStringList();
    QTest::newRow("unsafe paths refused, in row order")
        << QList<ManifestRow>{{QStringLiteral("../../escape.txt"), a, 1, 1},
                              {QStringLiteral("good.txt"), a, 2, 1},
                              {QStringLiteral("/etc/passwd"), a, 3, 1},
                              {QStringLiteral("data/../../x"), a, 4, 1},
                              {QStringLiteral("C:/boot.ini"), a, 5, 1},
                              {QStringLiteral("..\\up.txt"), a, 6, 1},
                              {QString(), a, 7, 1},
                              {QStringLiteral("../linux-only"), a, 8, 2}}
        << QList<EditableRow>() << false
        << QStringList{Expected(QStringLiteral("good.txt"), a, 2, false)}
        << QStringList{QStringLiteral("../../escape.txt"), QStringLiteral("/etc/passwd"),
                       QStringLiteral("data/../../x"),     QStringLiteral("C:/boot.ini"),
                       QStringLiteral("..\\up.txt"),       QString()};
}

void TestManifest::rows()
{
    QFETCH(QList<ManifestRow>, files);
    QFETCH(QList<EditableRow>, editable);
    QFETCH(bool, readEditable);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, unsafe);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("patch.db"));
    QVERIFY(WritePatchDb(path, files, editable));
    const QueuedFiles queued = ReadPatchManifest(path, uuid, nickname, server, 1, readEditable);
    QCOMPARE(DescribeAll(queued.files), expected);
    QCOMPARE(queued.unsafePaths, unsafe);
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("patch.db")));
}

void TestManifest::sizes_data()
{
    QTest::addColumn<QVariant>("size");
    QTest::addColumn<quint64>("expected");

    QTest::newRow("zero") << QVariant(0) << quint64(0);
    QTest::newRow("number") << QVariant(123456) << quint64(123456);
    QTest::newRow("beyond 32 bits") << QVariant(qint64(5000000000)) << quint64(5000000000);
    QTest::newRow("digits as text") << QVariant(QStringLiteral("200000000")) << quint64(200000000);
    QTest::newRow("empty text") << QVariant(QString()) << quint64(0);
    QTest::newRow("NULL") << QVariant() << quint64(0);
    QTest::newRow("words") << QVariant(QStringLiteral("big")) << quint64(0);
    QTest::newRow("negative") << QVariant(-5) << quint64(0);
}

void TestManifest::sizes()
{
    QFETCH(QVariant, size);
    QFETCH(quint64, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("patch.db"));
    QVERIFY(WritePatchDb(path, {{QStringLiteral("f.bin"), QStringLiteral("00"), size, 1}}));
    const QueuedFiles queued = ReadPatchManifest(path, uuid, nickname, server, 1, false);
    QCOMPARE(queued.files.size(), 1);
    QCOMPARE(queued.files.front().size, expected);
}

void TestManifest::serverUrlJoinedAsGiven()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("patch.db"));
    QVERIFY(WritePatchDb(path, {{QStringLiteral("f.bin"), QStringLiteral("00"), 1, 1}}));
    const QString slashed = QStringLiteral("http://example.test/games/");
    const QueuedFiles queued = ReadPatchManifest(path, uuid, nickname, slashed, 1, false);
    QCOMPARE(
        DescribeAll(queued.files),
        QStringList{Expected(QStringLiteral("f.bin"), QStringLiteral("00"), 1, false, slashed)});
    QCOMPARE(queued.files.front().url, QStringLiteral("http://example.test/games//demo/f.bin"));
    QCOMPARE(queued.files.front().path, QStringLiteral("demo/f.bin"));
    QCOMPARE(queued.files.front().localPath, QStringLiteral("0c7e5d2a-game/demo/f.bin"));
}

void TestManifest::unreadable_data()
{
    QTest::addColumn<QByteArray>("contents"); // null: no file at all
    QTest::addColumn<QStringList>("statements");

    QTest::newRow("missing") << QByteArray() << QStringList();
    QTest::newRow("not a database") << QByteArray("<html>404 Not Found</html>") << QStringList();
    QTest::newRow("empty file") << QByteArray("") << QStringList();
    QTest::newRow("no files table")
        << QByteArray() << QStringList{QStringLiteral("CREATE TABLE other(x)")};
    QTest::newRow("files table lacks a column")
        << QByteArray()
        << QStringList{QStringLiteral("CREATE TABLE files(filepath, size, platform)"),
                       QStringLiteral("INSERT INTO files VALUES('a', 1, 1)")};
}

void TestManifest::unreadable()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, statements);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("patch.db"));
    if (!statements.isEmpty())
        QVERIFY(WriteSqlite(path, statements));
    else if (!contents.isNull())
        QVERIFY(WriteFile(path, contents));
    const bool existed = QFileInfo::exists(path);

    for (bool readEditable : {false, true}) {
        const QueuedFiles queued = ReadPatchManifest(path, uuid, nickname, server, 1, readEditable);
        QVERIFY(queued.files.isEmpty());
        QVERIFY(queued.unsafePaths.isEmpty());
    }
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("patch.db")));
    // Reading never leaves an empty database where none was.
    QCOMPARE(QFileInfo::exists(path), existed);
}

QTEST_GUILESS_MAIN(TestManifest)
#include "tst_manifest.moc"
