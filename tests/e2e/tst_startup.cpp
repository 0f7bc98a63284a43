#include "Fixtures.h"
#include "PortalTexts.h"

#include <QDir>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QByteArray versionLine = "Z/O/L Portal version 1.0";
const QByteArray separator(71, '-');
const QByteArray parsing = "Parsing zol_portal.ini\n";
// Nothing listens there, so the catalogue request fails at once and quietly.
const QByteArray closedServer = "[web]\nurl = http://127.0.0.1\nport = 1\n";

} // namespace

// The built portal, started the way a user starts it, in a folder of its own.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void stops_data();
    void stops();
    void opensWindow_data();
    void opensWindow();

private:
    void startPortal(const QByteArray &config, const QStringList &arguments,
                     bool withoutDisplay = false);

    std::unique_ptr<QTemporaryDir> workDirectory;
    std::unique_ptr<QProcess> portal;
    QByteArray output;
};

void TestStartup::init()
{
    workDirectory = std::make_unique<QTemporaryDir>();
    QVERIFY(workDirectory->isValid());
    output.clear();
}

void TestStartup::cleanup()
{
    if (portal && portal->state() != QProcess::NotRunning) {
        portal->kill();
        portal->waitForFinished();
    }
    portal.reset();
    workDirectory.reset();
}

void TestStartup::startPortal(const QByteArray &config, const QStringList &arguments,
                              bool withoutDisplay)
{
    if (!config.isNull())
        QVERIFY(WriteFile(workDirectory->filePath(QStringLiteral("zol_portal.ini")), config));
    portal = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (withoutDisplay) {
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(QString::fromLatin1(name));
    } else {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    portal->setProcessEnvironment(environment);
    portal->setWorkingDirectory(workDirectory->path());
    portal->setProcessChannelMode(QProcess::SeparateChannels);
    connect(portal.get(), &QProcess::readyReadStandardOutput, this,
            [this] { output += portal->readAllStandardOutput(); });
    portal->start(QStringLiteral(ZOL_PORTAL_PATH), arguments);
    QVERIFY2(portal->waitForStarted(), qPrintable(portal->errorString()));
}

void TestStartup::stops_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("withoutDisplay");

    auto unknown = [](const QByteArray &argument) {
        return "Unknown parameter: " + argument + '\n' + helpText;
    };

    QTest::newRow("help") << QByteArray() << QStringList{QStringLiteral("-help")} << helpText
                          << false;
    QTest::newRow("help after options with a configuration file")
        << closedServer
        << QStringList{QStringLiteral("-download"), QStringLiteral("-uuid"), QStringLiteral("u"),
                       QStringLiteral("-?")}
        << parsing + helpText << false;
    QTest::newRow("platform windows")
        << QByteArray() << QStringList{QStringLiteral("-platform"), QStringLiteral("windows")}
        << unknown("-platform") << false;
    QTest::newRow("platform Linux")
        << QByteArray() << QStringList{QStringLiteral("-platform"), QStringLiteral("Linux")}
        << unknown("-platform") << false;
    QTest::newRow("platform MAC after an option")
        << QByteArray()
        << QStringList{QStringLiteral("-start"), QStringLiteral("-platform"), QStringLiteral("MAC")}
        << unknown("-platform") << false;
    QTest::newRow("platform with two dashes")
        << QByteArray() << QStringList{QStringLiteral("--platform"), QStringLiteral("windows")}
        << unknown("--platform") << false;
    QTest::newRow("platform without value")
        << QByteArray() << QStringList{QStringLiteral("-platform")} << unknown("-platform")
        << false;
    QTest::newRow("platform in capitals")
        << QByteArray() << QStringList{QStringLiteral("-PLATFORM"), QStringLiteral("windows")}
        << unknown("-PLATFORM") << false;
    QTest::newRow("Qt takes its style option")
        << QByteArray()
        << QStringList{QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("-help")}
        << helpText << false;
    QTest::newRow("Qt option before platform")
        << QByteArray()
        << QStringList{QStringLiteral("-style"), QStringLiteral("fusion"),
                       QStringLiteral("-platform"), QStringLiteral("windows")}
        << unknown("-platform") << false;
    QTest::newRow("log without value")
        << QByteArray() << QStringList{QStringLiteral("-log")} << unknown("-log") << false;
    // Qt's default platform aborts without a display; the help must still show.
    QTest::newRow("help without a display")
        << QByteArray() << QStringList{QStringLiteral("-help")} << helpText << true;
}

void TestStartup::stops()
{
    QFETCH(QByteArray, config);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);
    QFETCH(bool, withoutDisplay);

    startPortal(config, arguments, withoutDisplay);
    QSignalSpy finished(portal.get(), &QProcess::finished);
    QVERIFY(finished.wait(30000));
    output += portal->readAllStandardOutput();

    QCOMPARE(portal->exitStatus(), QProcess::NormalExit);
    QCOMPARE(portal->exitCode(), 1);
    QCOMPARE(output, expected);
    // It stopped before the log was opened and before any window or request.
    QStringList left =
        QDir(workDirectory->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    left.removeOne(QStringLiteral("zol_portal.ini"));
    QCOMPARE(left, QStringList{});
}

void TestStartup::opensWindow_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("startOfOutput");
    QTest::addColumn<QString>("logFile");
    QTest::addColumn<QByteArrayList>("header");

    const QByteArray qtVersion = "Using Qt version" + QByteArray(qVersion()) + '\n';

    QTest::newRow("no arguments, no configuration file")
        << QByteArray() << QStringList{}
        << "Using program log: \n"
           "Failed to log: Z/O/L Portal version 1.0\n"
           "Warning: Log strProgramLog  is invalid.\n"
           "Using program log: zol.log\n" +
               qtVersion
        << QStringLiteral("zol.log") << QByteArrayList{versionLine, separator, separator};
    QTest::newRow("bad section") << QByteArray("[ web ]\nurl = http://127.0.0.1\nport = 1\n")
                                 << QStringList{}
                                 << parsing + "Using program log: zol.log\n" + qtVersion
                                 << QStringLiteral("zol.log")
                                 << QByteArrayList{versionLine, separator};
    QTest::newRow("only Qt options")
        << closedServer + "[portal]\nlog = run.log\n"
        << QStringList{QStringLiteral("-style"), QStringLiteral("fusion")}
        << parsing + "Using program log: run.log\n" + qtVersion << QStringLiteral("run.log")
        << QByteArrayList{versionLine, separator};
    QTest::newRow("log option beats configuration")
        << closedServer + "[portal]\nlog = run.log\n"
        << QStringList{QStringLiteral("-LOG"), QStringLiteral("cli.log")}
        << parsing + "Using program log: cli.log\n" + qtVersion << QStringLiteral("cli.log")
        << QByteArrayList{versionLine, separator};
}

void TestStartup::opensWindow()
{
    QFETCH(QByteArray, config);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, startOfOutput);
    QFETCH(QString, logFile);
    QFETCH(QByteArrayList, header);

    startPortal(config, arguments);
    const QString logPath = workDirectory->filePath(logFile);
    QTRY_VERIFY_WITH_TIMEOUT(LogMessages(logPath).size() >= header.size(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(output.size() >= startOfOutput.size(), 20000);

    QCOMPARE(output.left(startOfOutput.size()), startOfOutput);
    // Later lines may follow (a failed catalogue request is logged).
    QCOMPARE(LogMessages(logPath).mid(0, header.size()), header);
    // The event loop runs: the window stays until someone closes it.
    QCOMPARE(portal->state(), QProcess::Running);
    const QStringList left =
        QDir(workDirectory->path()).entryList({QStringLiteral("*.log")}, QDir::Files);
    QCOMPARE(left, QStringList{logFile});
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
