#include "app/ProgramLog.h"

#include "Fixtures.h"
#include "PortalTexts.h"
#include "StdoutCapture.h"

#include <QDateTime>
#include <QDir>
#include <QObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray versionLine = "Z/O/L Portal version 1.0";
const QByteArray separator(71, '-');

} // namespace

class TestProgramLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void open_data();
    void open();
    void appendsAcrossRuns();
    void message_data();
    void message();
    void reopensForEveryMessage();
    void timestampFormat_data();
    void timestampFormat();
    void timestampNow();

private:
    QString startDirectory;
    QTemporaryDir *workDirectory = nullptr;
};

void TestProgramLog::init()
{
    strProgramLog = defaultProgramLog;
    logEnabled = true;
    startDirectory = QDir::currentPath();
    workDirectory = new QTemporaryDir;
    QVERIFY(workDirectory->isValid());
    QVERIFY(QDir::setCurrent(workDirectory->path()));
}

void TestProgramLog::cleanup()
{
    QDir::setCurrent(startDirectory);
    delete workDirectory;
    workDirectory = nullptr;
    strProgramLog = defaultProgramLog;
    logEnabled = true;
}

// Root may write anywhere, so a log is made unwritable by a plain file where
// its folder must be ("blocker/...") or by a folder of its own name.
void TestProgramLog::open_data()
{
    QTest::addColumn<QByteArray>("requested");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("logFile");
    QTest::addColumn<QByteArrayList>("messages");
    QTest::addColumn<bool>("enabled");

    const QByteArray fallback = "Failed to log: Z/O/L Portal version 1.0\n";
    auto usingLog = [](const QByteArray &path) { return "Using program log: " + path + '\n'; };
    auto invalid = [](const QByteArray &path) {
        return "Warning: Log strProgramLog " + path + " is invalid.\n";
    };
    const QByteArray loggingOff = "Warning: Logging will not be available for this run\n";

    QTest::newRow("requested writable")
        << QByteArray("run.log") << QStringList{} << usingLog("run.log")
        << QStringLiteral("run.log") << QByteArrayList{versionLine, separator} << true;
    QTest::newRow("requested in a subfolder")
        << QByteArray("logs/run.log") << QStringList{QStringLiteral("logs")}
        << usingLog("logs/run.log") << QStringLiteral("logs/run.log")
        << QByteArrayList{versionLine, separator} << true;
    QTest::newRow("fallback: folder is a file")
        << QByteArray("blocker/run.log") << QStringList{}
        << usingLog("blocker/run.log") + fallback + invalid("blocker/run.log") + usingLog("zol.log")
        << QStringLiteral("zol.log") << QByteArrayList{versionLine, separator, separator} << true;
    QTest::newRow("fallback: folder missing")
        << QByteArray("missing/run.log") << QStringList{}
        << usingLog("missing/run.log") + fallback + invalid("missing/run.log") + usingLog("zol.log")
        << QStringLiteral("zol.log") << QByteArrayList{versionLine, separator, separator} << true;
    QTest::newRow("fallback: empty path")
        << QByteArray() << QStringList{}
        << usingLog("") + fallback + invalid("") + usingLog("zol.log") << QStringLiteral("zol.log")
        << QByteArrayList{versionLine, separator, separator} << true;
    QTest::newRow("fallback: differs in case only")
        << QByteArray("ZOL.LOG") << QStringList{QStringLiteral("ZOL.LOG")}
        << usingLog("ZOL.LOG") + fallback + invalid("ZOL.LOG") + usingLog("zol.log")
        << QStringLiteral("zol.log") << QByteArrayList{versionLine, separator, separator} << true;
    QTest::newRow("neither writable")
        << QByteArray("blocker/run.log") << QStringList{QStringLiteral("zol.log")}
        << usingLog("blocker/run.log") + fallback + invalid("blocker/run.log") +
               usingLog("zol.log") + fallback + invalid("zol.log") + loggingOff
        << QString() << QByteArrayList{} << false;
    QTest::newRow("default itself unwritable")
        << QByteArray("zol.log") << QStringList{QStringLiteral("zol.log")}
        << usingLog("zol.log") + fallback + invalid("zol.log") + loggingOff << QString()
        << QByteArrayList{} << false;
}

void TestProgramLog::open()
{
    QFETCH(QByteArray, requested);
    QFETCH(QStringList, folders);
    QFETCH(QByteArray, output);
    QFETCH(QString, logFile);
    QFETCH(QByteArrayList, messages);
    QFETCH(bool, enabled);

    QVERIFY(WriteFile(QStringLiteral("blocker"), "a file, not a folder"));
    for (const QString &folder : folders)
        QVERIFY(QDir().mkdir(folder));
    const QStringList before = QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    StdoutCapture capture;
    const int result = OpenProgramLog(requested.toStdString());
    const int later = LogMessage("after the header", false);
    const QByteArray written = capture.finish();

    QCOMPARE(result, 0);
    QCOMPARE(written, output);
    QCOMPARE(logEnabled, enabled);
    // A run without a log drops later messages silently.
    QCOMPARE(later, enabled ? 0 : 1);
    if (enabled) {
        QCOMPARE(QString::fromStdString(strProgramLog), logFile);
        QCOMPARE(LogMessages(logFile), messages + QByteArrayList{"after the header"});
    }
    // Nothing but the log in use was created.
    QStringList expected = before;
    if (!logFile.isEmpty() && !logFile.contains(u'/'))
        expected << logFile;
    expected.sort();
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), expected);
}

void TestProgramLog::appendsAcrossRuns()
{
    QVERIFY(WriteFile(QStringLiteral("run.log"), "earlier run\n"));
    for (int run = 0; run < 2; ++run) {
        StdoutCapture capture;
        QCOMPARE(OpenProgramLog("run.log"), 0);
    }
    QCOMPARE(LogMessages(QStringLiteral("run.log")),
             (QByteArrayList{"!earlier run", versionLine, separator, versionLine, separator}));
}

void TestProgramLog::message_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArrayList>("messages");

    QTest::newRow("quiet") << QByteArray("Network Error: 1") << false << true
                           << QByteArray("run.log") << 0 << QByteArray()
                           << QByteArrayList{"Network Error: 1"};
    QTest::newRow("echo") << QByteArray("shown too") << true << true << QByteArray("run.log") << 0
                          << QByteArray("shown too\n") << QByteArrayList{"shown too"};
    QTest::newRow("line end inside the text")
        << QByteArray("first\nsecond") << false << true << QByteArray("run.log") << 0
        << QByteArray() << QByteArrayList{"first", "!second"};
    QTest::newRow("8-bit text") << QByteArray("caf\xe9 \xff") << false << true
                                << QByteArray("run.log") << 0 << QByteArray()
                                << QByteArrayList{"caf\xe9 \xff"};
    QTest::newRow("cannot open") << QByteArray("lost") << false << true
                                 << QByteArray("blocker/run.log") << 1
                                 << QByteArray("Failed to log: lost\n") << QByteArrayList{};
    QTest::newRow("echo and cannot open")
        << QByteArray("lost") << true << true << QByteArray("blocker/run.log") << 1
        << QByteArray("lost\nFailed to log: lost\n") << QByteArrayList{};
    QTest::newRow("logging off") << QByteArray("dropped") << true << false << QByteArray("run.log")
                                 << 1 << QByteArray() << QByteArrayList{};
}

void TestProgramLog::message()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, echo);
    QFETCH(bool, enabled);
    QFETCH(QByteArray, path);
    QFETCH(int, result);
    QFETCH(QByteArray, output);
    QFETCH(QByteArrayList, messages);

    QVERIFY(WriteFile(QStringLiteral("blocker"), "a file, not a folder"));
    strProgramLog = path.toStdString();
    logEnabled = enabled;

    StdoutCapture capture;
    const int returned = LogMessage(text.toStdString(), echo);
    const QByteArray written = capture.finish();

    QCOMPARE(returned, result);
    QCOMPARE(written, output);
    QCOMPARE(LogMessages(QStringLiteral("run.log")), messages);
    QCOMPARE(QFileInfo::exists(QStringLiteral("run.log")), !messages.isEmpty());
}

void TestProgramLog::reopensForEveryMessage()
{
    strProgramLog = "run.log";
    QCOMPARE(LogMessage("one", false), 0);
    // Were the file held open, the second line would follow the first one.
    QVERIFY(QFile::rename(QStringLiteral("run.log"), QStringLiteral("moved.log")));
    QCOMPARE(LogMessage("two", false), 0);
    QCOMPARE(LogMessages(QStringLiteral("moved.log")), QByteArrayList{"one"});
    QCOMPARE(LogMessages(QStringLiteral("run.log")), QByteArrayList{"two"});
}

void TestProgramLog::timestampFormat_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("afternoon") << QDateTime(QDate(2013, 5, 1), QTime(14, 3, 9))
                               << QByteArray("2013-05-01 14:03:09");
    QTest::newRow("midnight") << QDateTime(QDate(2024, 1, 2), QTime(0, 0, 0))
                              << QByteArray("2024-01-02 00:00:00");
    QTest::newRow("year end") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))
                              << QByteArray("1999-12-31 23:59:59");
}

void TestProgramLog::timestampFormat()
{
    QFETCH(QDateTime, time);
    QFETCH(QByteArray, text);
    std::tm broken{};
    broken.tm_year = time.date().year() - 1900;
    broken.tm_mon = time.date().month() - 1;
    broken.tm_mday = time.date().day();
    broken.tm_hour = time.time().hour();
    broken.tm_min = time.time().minute();
    broken.tm_sec = time.time().second();
    char buffer[32];
    FormatTimestamp(buffer, broken);
    QCOMPARE(QByteArray(buffer), text);
}

void TestProgramLog::timestampNow()
{
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    const QString before = QDateTime::currentDateTime().toString(format);
    char buffer[32];
    FormatTimestamp(buffer);
    const QString after = QDateTime::currentDateTime().toString(format);
    const QString stamp = QString::fromLatin1(buffer);
    QVERIFY2(stamp >= before && stamp <= after, qPrintable(stamp));
}

QTEST_GUILESS_MAIN(TestProgramLog)
#include "tst_programlog.moc"
