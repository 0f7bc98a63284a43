#include "app/Startup.h"

#include "app/CommandLine.h"
#include "app/ConfigFile.h"
#include "app/NarrowText.h"
#include "app/PortalSettings.h"
#include "app/ProgramLog.h"
#include "library/MainWindow.h"

#include <QApplication>
#include <QWidget>

namespace {

constexpr int majorVersion = 1;
constexpr int minorVersion = 0;

// Without any display, Qt's default platform on X11/Wayland systems aborts the
// process before the command line is even read, so "-help" or a download run
// on a machine without a desktop would crash. Run without a window instead,
// unless a platform was chosen.
void ChooseHeadlessPlatform(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            return;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#endif
}

} // namespace

void SetProgramTitle(QWidget *window, const char *extra)
{
    QString title = QStringLiteral("Z/O/L Portal v%1.%2").arg(majorVersion).arg(minorVersion);
    if (extra)
        title += QLatin1Char(' ') + FromNarrow(extra);
    window->setWindowTitle(title);
}

int RunPortal(int &argc, char **argv)
{
    PortalSettings settings;

    // Qt would abort on "-platform windows"; our own parser must see it.
    const HiddenArguments hidden = HidePlatformArguments(argc, argv);
    ChooseHeadlessPlatform(argc, argv);
    QApplication application(argc, argv);
    RestoreHiddenArguments(hidden, argc, argv);

    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() +
                                     QStringLiteral("/plugins"));

    if (ReadConfigFile("zol_portal.ini", settings) != 0)
        return 1;
    if (argc >= 2 && ParseCommandLine(argc, argv, settings) != 0)
        return 1;
    OpenProgramLog(settings.logFile);

    MainWindow window(&settings);
    window.Initialize(argc, argv);
    SetProgramTitle(&window, "");
    window.show();
    application.exec();
    return 0;
}
