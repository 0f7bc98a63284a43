#include "app/ConfigFile.h"
#include "app/PortalSettings.h"

#include "Fixtures.h"
#include "StdoutCapture.h"

#include <QDir>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

// ReadConfigFile in a working directory of its own, as start-up calls it.
class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void read_data();
    void read();

private:
    QString startDirectory;
    QTemporaryDir *workDirectory = nullptr;
};

void TestConfigFile::init()
{
    startDirectory = QDir::currentPath();
    workDirectory = new QTemporaryDir;
    QVERIFY(workDirectory->isValid());
    QVERIFY(QDir::setCurrent(workDirectory->path()));
}

void TestConfigFile::cleanup()
{
    QDir::setCurrent(startDirectory);
    delete workDirectory;
    workDirectory = nullptr;
}

enum class Fixture { None, File, Folder };

void TestConfigFile::read_data()
{
    QTest::addColumn<Fixture>("fixture");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("configFile");
    QTest::addColumn<QByteArray>("logFile");
    QTest::addColumn<int>("webPort");
    QTest::addColumn<QByteArray>("webUrl");

    const QByteArray parsing = "Parsing zol_portal.ini\n";

    QTest::newRow("missing file") << Fixture::None << QByteArray() << QByteArray() << QByteArray()
                                  << QByteArray() << 80 << QByteArray("127.0.0.1");
    QTest::newRow("folder of that name")
        << Fixture::Folder << QByteArray() << QByteArray() << QByteArray() << QByteArray() << 80
        << QByteArray("127.0.0.1");
    QTest::newRow("empty file") << Fixture::File << QByteArray() << parsing
                                << QByteArray("zol_portal.ini") << QByteArray("zol.log") << 80
                                << QByteArray("127.0.0.1");
    QTest::newRow("no portal:log")
        << Fixture::File << QByteArray("[web]\nurl = http://games.example\nport = 8080x\n")
        << parsing << QByteArray("zol_portal.ini") << QByteArray("zol.log") << 8080
        << QByteArray("http://games.example");
    QTest::newRow("all keys in capitals")
        << Fixture::File
        << QByteArray("[PORTAL]\r\nLOG = Run.log\r\n[Web]\r\nPort = -1\r\nUrl = 'h'\r\n") << parsing
        << QByteArray("zol_portal.ini") << QByteArray("Run.log") << -1 << QByteArray("h");
    QTest::newRow("empty values") << Fixture::File
                                  << QByteArray(
                                         "[portal]\nlog = '';\n[web]\nurl = \"\"#\nport = abc\n")
                                  << parsing << QByteArray("zol_portal.ini") << QByteArray() << 0
                                  << QByteArray();
    QTest::newRow("bad section") << Fixture::File
                                 << QByteArray("[ web ]\nurl = http://elsewhere\nport = 1\n")
                                 << parsing << QByteArray("zol_portal.ini") << QByteArray("zol.log")
                                 << 80 << QByteArray("127.0.0.1");
}

void TestConfigFile::read()
{
    QFETCH(Fixture, fixture);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, configFile);
    QFETCH(QByteArray, logFile);
    QFETCH(int, webPort);
    QFETCH(QByteArray, webUrl);

    if (fixture == Fixture::File)
        QVERIFY(WriteFile(QStringLiteral("zol_portal.ini"), content));
    if (fixture == Fixture::Folder)
        QVERIFY(QDir().mkdir(QStringLiteral("zol_portal.ini")));

    PortalSettings settings;
    StdoutCapture capture;
    const int result = ReadConfigFile("zol_portal.ini", settings);
    const QByteArray written = capture.finish();

    QCOMPARE(result, 0);
    QCOMPARE(written, output);
    QCOMPARE(QByteArray::fromStdString(settings.configFile), configFile);
    QCOMPARE(QByteArray::fromStdString(settings.logFile), logFile);
    QCOMPARE(settings.webPort, webPort);
    QCOMPARE(QByteArray::fromStdString(settings.webUrl), webUrl);
    // The reader leaves the command-line fields alone.
    QCOMPARE(settings.downloadMode, None);
    QVERIFY(settings.uuid.empty());
    QVERIFY(!settings.startGame);
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
