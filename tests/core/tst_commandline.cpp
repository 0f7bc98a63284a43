#include "app/CommandLine.h"
#include "app/PortalSettings.h"

#include "PortalTexts.h"
#include "StdoutCapture.h"

#include <QByteArrayList>
#include <QObject>
#include <QTest>

#include <vector>

namespace {

QByteArray Unknown(const QByteArray &argument)
{
    return "Unknown parameter: " + argument + '\n' + helpText;
}

// An argument vector as main receives it, the program first. The entry past
// the end is a real text rather than null, so that reading it shows.
class ArgumentVector
{
public:
    explicit ArgumentVector(const QByteArrayList &arguments)
        : storage(QByteArrayList{"zol_portal"} + arguments)
    {
        for (QByteArray &argument : storage)
            pointers.push_back(argument.data());
        pointers.push_back(pastTheEnd.data());
    }
    int count() const { return int(pointers.size()) - 1; }
    char **data() { return pointers.data(); }

private:
    QByteArrayList storage;
    QByteArray pastTheEnd = "past-the-end";
    std::vector<char *> pointers;
};

QByteArrayList Texts(char **argv, int argc)
{
    QByteArrayList texts;
    for (int i = 0; i < argc; ++i)
        texts << QByteArray(argv[i]);
    return texts;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void usage();
    void platformName_data();
    void platformName();
    void hidePlatform_data();
    void hidePlatform();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QByteArrayList>("arguments");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("downloadMode");
    QTest::addColumn<QByteArray>("uuid");
    QTest::addColumn<QByteArray>("logFile");
    QTest::addColumn<bool>("startGame");

    // Every row starts from a log path the configuration file has set.
    const QByteArray config = "config.log";

    QTest::newRow("no options") << QByteArrayList{} << 0 << QByteArray() << 0 << QByteArray()
                                << config << false;
    QTest::newRow("download a game") << QByteArrayList{"-download", "-uuid", "u-1", "-start"} << 0
                                     << QByteArray() << 1 << QByteArray("u-1") << config << true;
    QTest::newRow("any letter case") << QByteArrayList{"-DOWNLOAD", "-Uuid", "U-2", "-sTaRt"} << 0
                                     << QByteArray() << 1 << QByteArray("U-2") << config << true;
    QTest::newRow("uuid takes an option as value")
        << QByteArrayList{"-uuid", "-start"} << 0 << QByteArray() << 0 << QByteArray("-start")
        << config << false;
    QTest::newRow("last mode counts") << QByteArrayList{"-patch", "-repair"} << 0 << QByteArray()
                                      << 3 << QByteArray() << config << false;
    QTest::newRow("last mode counts backwards")
        << QByteArrayList{"-repair", "-Patch"} << 0 << QByteArray() << 2 << QByteArray() << config
        << false;
    QTest::newRow("log overrides configuration")
        << QByteArrayList{"-log", "a.txt"} << 0 << QByteArray() << 0 << QByteArray()
        << QByteArray("a.txt") << false;
    QTest::newRow("second values win")
        << QByteArrayList{"-log", "a", "-uuid", "x", "-LOG", "b", "-uuid", "y"} << 0 << QByteArray()
        << 0 << QByteArray("y") << QByteArray("b") << false;
    QTest::newRow("value with blanks") << QByteArrayList{"-log", "my log.txt"} << 0 << QByteArray()
                                       << 0 << QByteArray() << QByteArray("my log.txt") << false;
    QTest::newRow("help after valid options")
        << QByteArrayList{"-download", "-uuid", "u-3", "-help", "-start"} << 1 << helpText << 1
        << QByteArray("u-3") << config << false;
    QTest::newRow("-?") << QByteArrayList{"-?"} << 1 << helpText << 0 << QByteArray() << config
                        << false;
    QTest::newRow("-H") << QByteArrayList{"-H"} << 1 << helpText << 0 << QByteArray() << config
                        << false;
    QTest::newRow("unknown parameter")
        << QByteArrayList{"-start", "--download", "-patch"} << 1 << Unknown("--download") << 0
        << QByteArray() << config << true;
    QTest::newRow("abbreviation") << QByteArrayList{"-down"} << 1 << Unknown("-down") << 0
                                  << QByteArray() << config << false;
    QTest::newRow("equals form") << QByteArrayList{"-log=a.txt"} << 1 << Unknown("-log=a.txt") << 0
                                 << QByteArray() << config << false;
    QTest::newRow("value without option") << QByteArrayList{"windows"} << 1 << Unknown("windows")
                                          << 0 << QByteArray() << config << false;
    QTest::newRow("platform") << QByteArrayList{"-platform", "windows"} << 1 << Unknown("-platform")
                              << 0 << QByteArray() << config << false;
    QTest::newRow("empty argument")
        << QByteArrayList{""} << 1 << Unknown("") << 0 << QByteArray() << config << false;
    QTest::newRow("log without value") << QByteArrayList{"-start", "-log"} << 1 << Unknown("-log")
                                       << 0 << QByteArray() << config << true;
    QTest::newRow("uuid without value")
        << QByteArrayList{"-Uuid"} << 1 << Unknown("-Uuid") << 0 << QByteArray() << config << false;
}

void TestCommandLine::parse()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(int, result);
    QFETCH(QByteArray, output);
    QFETCH(int, downloadMode);
    QFETCH(QByteArray, uuid);
    QFETCH(QByteArray, logFile);
    QFETCH(bool, startGame);

    ArgumentVector argv(arguments);
    PortalSettings settings;
    settings.logFile = "config.log";

    StdoutCapture capture;
    const int returned = ParseCommandLine(argv.count(), argv.data(), settings);
    const QByteArray written = capture.finish();

    QCOMPARE(returned, result);
    QCOMPARE(written, output);
    QCOMPARE(int(settings.downloadMode), downloadMode);
    QCOMPARE(QByteArray::fromStdString(settings.uuid), uuid);
    QCOMPARE(QByteArray::fromStdString(settings.logFile), logFile);
    QCOMPARE(settings.startGame, startGame);
    // Fields the command line has no option for.
    QCOMPARE(settings.webPort, 80);
    QCOMPARE(QByteArray::fromStdString(settings.webUrl), QByteArray("127.0.0.1"));
}

void TestCommandLine::usage()
{
    StdoutCapture capture;
    PrintUsage();
    const QByteArray written = capture.finish();
    QCOMPARE(written, helpText);
    QCOMPARE(written.count('\n'), 21);
}

void TestCommandLine::platformName_data()
{
    QTest::addColumn<int>("platform");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("1") << 1 << QByteArray("windows");
    QTest::newRow("2") << 2 << QByteArray("linux");
    QTest::newRow("3") << 3 << QByteArray("mac");
    QTest::newRow("0") << 0 << QByteArray("unknown");
    QTest::newRow("4") << 4 << QByteArray("unknown");
    QTest::newRow("-1") << -1 << QByteArray("unknown");
}

void TestCommandLine::platformName()
{
    QFETCH(int, platform);
    QFETCH(QByteArray, name);
    QCOMPARE(QByteArray(PlatformName(platform)), name);
}

void TestCommandLine::hidePlatform_data()
{
    QTest::addColumn<QByteArrayList>("arguments");
    // What Qt is shown, and the arguments it takes out of that list itself.
    QTest::addColumn<QByteArrayList>("shownToQt");
    QTest::addColumn<QByteArrayList>("takenByQt");
    QTest::addColumn<QByteArrayList>("restored");

    QTest::newRow("nothing to hide") << QByteArrayList{"-start"} << QByteArrayList{"-start"}
                                     << QByteArrayList{} << QByteArrayList{"-start"};
    QTest::newRow("windows") << QByteArrayList{"-platform", "windows"} << QByteArrayList{}
                             << QByteArrayList{} << QByteArrayList{"-platform", "windows"};
    QTest::newRow("any letter case") << QByteArrayList{"-download", "-platform", "Linux", "-start"}
                                     << QByteArrayList{"-download", "-start"} << QByteArrayList{}
                                     << QByteArrayList{"-download", "-platform", "Linux", "-start"};
    QTest::newRow("two dashes") << QByteArrayList{"--platform", "MAC"} << QByteArrayList{}
                                << QByteArrayList{} << QByteArrayList{"--platform", "MAC"};
    QTest::newRow("bare at the end")
        << QByteArrayList{"-start", "-platform"} << QByteArrayList{"-start"} << QByteArrayList{}
        << QByteArrayList{"-start", "-platform"};
    QTest::newRow("a real plug-in stays Qt's")
        << QByteArrayList{"-platform", "offscreen", "-help"}
        << QByteArrayList{"-platform", "offscreen", "-help"}
        << QByteArrayList{"-platform", "offscreen"} << QByteArrayList{"-help"};
    QTest::newRow("capitals are not Qt's")
        << QByteArrayList{"-PLATFORM", "windows"} << QByteArrayList{"-PLATFORM", "windows"}
        << QByteArrayList{} << QByteArrayList{"-PLATFORM", "windows"};
    QTest::newRow("other Qt options are taken")
        << QByteArrayList{"-style", "fusion", "-platform", "windows", "-help"}
        << QByteArrayList{"-style", "fusion", "-help"} << QByteArrayList{"-style", "fusion"}
        << QByteArrayList{"-platform", "windows", "-help"};
    QTest::newRow("after a value-taking option")
        << QByteArrayList{"-log", "-platform", "windows", "-reverse"}
        << QByteArrayList{"-log", "-reverse"} << QByteArrayList{"-reverse"}
        << QByteArrayList{"-log", "-platform", "windows"};
    QTest::newRow("twice") << QByteArrayList{"-platform", "mac", "x", "-platform", "windows"}
                           << QByteArrayList{"x"} << QByteArrayList{}
                           << QByteArrayList{"-platform", "mac", "x", "-platform", "windows"};
}

void TestCommandLine::hidePlatform()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(QByteArrayList, shownToQt);
    QFETCH(QByteArrayList, takenByQt);
    QFETCH(QByteArrayList, restored);

    ArgumentVector vector(arguments);
    int argc = vector.count();
    char **argv = vector.data();
    argv[argc] = nullptr; // Qt relies on the terminator

    const HiddenArguments hidden = HidePlatformArguments(argc, argv);
    QCOMPARE(Texts(argv, argc), QByteArrayList{"zol_portal"} + shownToQt);
    QCOMPARE(argv[argc], nullptr);

    // Qt compacts the vector in place and ends it with a null entry.
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (!takenByQt.contains(QByteArray(argv[i])))
            argv[kept++] = argv[i];
    }
    argv[kept] = nullptr;
    argc = kept;

    RestoreHiddenArguments(hidden, argc, argv);
    QCOMPARE(Texts(argv, argc), QByteArrayList{"zol_portal"} + restored);
    QCOMPARE(argv[argc], nullptr);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
