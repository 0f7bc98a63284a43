#include "PublishArguments.h"

#include "app/CommandLine.h"

#include <QHash>
#include <QRegularExpression>

namespace {

struct OptionSpec
{
    QString name; // without the leading "--"
    bool repeatable = false;
};

struct RawArguments
{
    QStringList positional;
    QHash<QString, QStringList> options;
    bool help = false;
};

const QString Overview = QStringLiteral(
    "Usage: zol_publish <command> [arguments]\n"
    "\n"
    "Turns a publisher's web root into the files the Z/O/L portal reads. The web root\n"
    "is laid out as the web server serves it:\n"
    "  <webroot>/library.db                          the catalogue (written by game, client)\n"
    "  <webroot>/client_<platform>_<major>_<minor>/  one folder per engine client build\n"
    "  <webroot>/<nickname>/                         one folder per game, with patch.db\n"
    "\n"
    "Commands:\n"
    "  manifest   write <webroot>/<nickname>/patch.db from the game's files\n"
    "  game       add or replace a game in <webroot>/library.db\n"
    "  client     list the files of an engine client build in <webroot>/library.db\n"
    "  marker     write the game's marker <webroot>/<nickname>/game.zol\n"
    "\n"
    "A usual order: marker, manifest, client, game. Run manifest again after any\n"
    "change of a game's files, and client after any change of a build.\n"
    "\"zol_publish <command> --help\" describes a command.\n"
    "\n"
    "Databases are replaced as a whole: a new file is written beside the old one and\n"
    "renamed over it, so a failed run leaves them as they were.\n"
    "Exit codes: 0 done, 1 the command failed, 2 wrong arguments.\n");

const QString ManifestHelp = QStringLiteral(
    "Usage: zol_publish manifest <webroot>/<nickname> [--platform windows|linux|mac]\n"
    "                            [--editable PATTERN]...\n"
    "\n"
    "Writes patch.db in the game folder: a table files(filepath, crc, size, platform)\n"
    "with every file below the folder except patch.db itself (paths with \"/\", sorted,\n"
    "lower-case hexadecimal MD5, sizes in bytes), and a table editable(filepath,\n"
    "platform) with the files a player may change, which a patch leaves alone.\n"
    "Rows of other platforms already in patch.db are kept.\n"
    "\n"
    "  --platform NAME      the platform of the rows: windows (default), linux or mac;\n"
    "                       the portal downloads the windows rows\n"
    "  --editable PATTERN   mark the files matching PATTERN as editable; may be given\n"
    "                       several times; a pattern that matches no file is an error\n"
    "\n"
    "PATTERN is matched against the whole path below the game folder, with letter\n"
    "case: * is any run of characters within one name, ? one such character, ** any\n"
    "run across folders, **/ zero or more folders; every other character stands for\n"
    "itself. Quote patterns so the shell does not expand them. Examples:\n"
    "  'config/*.ini'   config/video.ini, not config/old/video.ini\n"
    "  'saves/**'       every file below saves\n"
    "  '**/user.cfg'    user.cfg in the folder itself or in any sub-folder\n"
    "\n"
    "File names the portal refuses (with \"\\\", \":\" or control characters) stop the\n"
    "command with an error naming the file.\n");

const QString GameHelp = QStringLiteral(
    "Usage: zol_publish game <webroot> --uuid UUID --nickname NICKNAME --title TITLE\n"
    "                        --engine MAJOR.MINOR [--description FILE] [--icon IMAGE]\n"
    "\n"
    "Adds the game to the games table of <webroot>/library.db, or replaces the whole\n"
    "row of the game with the same uuid (letter case aside); give --description and\n"
    "--icon again when replacing. Creates library.db and its tables when missing.\n"
    "\n"
    "  --uuid UUID            the game's identifier and the name of its folder on the\n"
    "                         player's disk\n"
    "  --nickname NICKNAME    the name of the game's folder, <webroot>/<nickname>; no\n"
    "                         other game may use it\n"
    "  --title TITLE          the title the portal shows\n"
    "  --engine MAJOR.MINOR   the engine version; the portal installs the client build\n"
    "                         client_windows_<major>_<minor> with the game\n"
    "  --description FILE     a text file shown as the game's tool tip; UTF-8 text is\n"
    "                         stored as Latin-1, the only characters the portal shows\n"
    "  --icon IMAGE           an image file (PNG, JPEG, ...) shown as the game's icon\n"
    "\n"
    "UUID and NICKNAME must be plain folder names: no \"/\", \"\\\", \":\" or control\n"
    "characters, not \".\" or \"..\", not ending in a dot or a blank.\n");

const QString ClientHelp = QStringLiteral(
    "Usage: zol_publish client <webroot> <build-folder> --engine MAJOR.MINOR\n"
    "                          [--platform windows|linux|mac]\n"
    "\n"
    "Rewrites the clients rows of one engine client build in <webroot>/library.db:\n"
    "name client_<platform>_<major>_<minor>, filepath <build-name>/<path>, crc and size\n"
    "of every file below the build folder. Rows of other builds are kept. Creates\n"
    "library.db and its tables when missing.\n"
    "\n"
    "<build-folder> is the build's folder directly inside the web root, given as a\n"
    "path or as its bare name, and named like the build (client_windows_1_2 for\n"
    "--engine 1.2). The portal copies the build's files into the game's folder and\n"
    "launches the game by starting zol_client.exe from there.\n"
    "\n"
    "  --engine MAJOR.MINOR   the engine version of the build\n"
    "  --platform NAME        windows (default), linux or mac; the portal asks for\n"
    "                         the windows builds\n");

const QString MarkerHelp = QStringLiteral(
    "Usage: zol_publish marker <webroot>/<nickname> --uuid UUID\n"
    "\n"
    "Writes game.zol in the game folder, a SQLite database with a table\n"
    "settings(uuid). Once downloaded, it tells the portal that the game is installed.\n"
    "An existing game.zol keeps its other settings; only the uuid is set. Run\n"
    "manifest afterwards so that patch.db lists it.\n"
    "\n"
    "  --uuid UUID   the game's uuid, as given to zol_publish game\n");

QString SeeHelp(const QString &command)
{
    return QStringLiteral(" (see zol_publish %1 --help)").arg(command);
}

// Splits options from positional arguments; fills `error` on an unknown,
// repeated or value-less option.
bool Split(const QString &command, const QStringList &arguments, const QList<OptionSpec> &specs,
           RawArguments *raw, QString *error)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString argument = arguments.at(i);
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            raw->positional << argument;
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
            continue;
        }
        if (argument == u"--help" || argument == u"-h") {
            raw->help = true;
            continue;
        }
        if (!argument.startsWith(u"--")) {
            *error = QStringLiteral("%1: unknown option %2").arg(command, argument);
            return false;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
        const auto spec = std::find_if(specs.cbegin(), specs.cend(),
                                       [&](const OptionSpec &s) { return s.name == name; });
        if (spec == specs.cend()) {
            *error = QStringLiteral("%1: unknown option --%2").arg(command, name);
            return false;
        }
        QString value;
        if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments.at(++i);
        } else {
            *error = QStringLiteral("%1: --%2 needs a value").arg(command, name);
            return false;
        }
        if (!spec->repeatable && raw->options.contains(name)) {
            *error = QStringLiteral("%1: --%2 is given twice").arg(command, name);
            return false;
        }
        raw->options[name] << value;
    }
    return true;
}

bool Positional(const QString &command, const RawArguments &raw, const QStringList &names,
                QString *error)
{
    if (raw.positional.size() < names.size()) {
        *error = QStringLiteral("%1: %2 is missing").arg(command, names.at(raw.positional.size()));
        return false;
    }
    if (raw.positional.size() > names.size()) {
        *error = QStringLiteral("%1: unexpected argument %2")
                     .arg(command, raw.positional.at(names.size()));
        return false;
    }
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (raw.positional.at(i).isEmpty()) {
            *error = QStringLiteral("%1: %2 is empty").arg(command, names.at(i));
            return false;
        }
    }
    return true;
}

bool Required(const QString &command, const RawArguments &raw, const QString &name, QString *value,
              QString *error)
{
    if (!raw.options.contains(name)) {
        *error = QStringLiteral("%1: --%2 is required").arg(command, name);
        return false;
    }
    *value = raw.options.value(name).constFirst();
    return true;
}

bool Engine(const QString &command, const RawArguments &raw, int *major, int *minor, QString *error)
{
    QString text;
    if (!Required(command, raw, QStringLiteral("engine"), &text, error))
        return false;
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,9})\\.([0-9]{1,9})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        *error = QStringLiteral("%1: --engine %2 is not of the form MAJOR.MINOR (such as 1.2)")
                     .arg(command, text);
        return false;
    }
    *major = match.captured(1).toInt();
    *minor = match.captured(2).toInt();
    return true;
}

bool Platform(const QString &command, const RawArguments &raw, int *platform, QString *error)
{
    if (!raw.options.contains(QStringLiteral("platform")))
        return true;
    const QString name = raw.options.value(QStringLiteral("platform")).constFirst();
    for (int number = 1; number <= 3; ++number) {
        if (name == QString::fromLatin1(PlatformName(number))) {
            *platform = number;
            return true;
        }
    }
    *error = QStringLiteral("%1: --platform %2 is not windows, linux or mac").arg(command, name);
    return false;
}

bool Optional(const RawArguments &raw, const QString &name, QString *value, QString *error,
              const QString &command)
{
    if (!raw.options.contains(name))
        return true;
    *value = raw.options.value(name).constFirst();
    if (value->isEmpty()) {
        *error = QStringLiteral("%1: --%2 is empty").arg(command, name);
        return false;
    }
    return true;
}

} // namespace

QString PublishHelp(const QString &command)
{
    if (command == u"manifest")
        return ManifestHelp;
    if (command == u"game")
        return GameHelp;
    if (command == u"client")
        return ClientHelp;
    if (command == u"marker")
        return MarkerHelp;
    return Overview;
}

PublishCommand ParsePublishArguments(const QStringList &arguments)
{
    PublishCommand result;
    const auto usage = [&result](const QString &text) {
        result.kind = PublishCommand::Kind::Usage;
        result.text = text;
        return result;
    };
    const auto help = [&result](const QString &command) {
        result.kind = PublishCommand::Kind::Help;
        result.text = PublishHelp(command);
        return result;
    };

    if (arguments.isEmpty())
        return usage(QStringLiteral("no command given (see zol_publish --help)"));
    const QString command = arguments.constFirst();
    if (command == u"--help" || command == u"-h" || command == u"help")
        return help(arguments.value(1));

    QList<OptionSpec> specs;
    QStringList positionalNames;
    if (command == u"manifest") {
        specs = {{QStringLiteral("platform")}, {QStringLiteral("editable"), true}};
        positionalNames = {QStringLiteral("the game folder")};
    } else if (command == u"game") {
        specs = {{QStringLiteral("uuid")},        {QStringLiteral("nickname")},
                 {QStringLiteral("title")},       {QStringLiteral("engine")},
                 {QStringLiteral("description")}, {QStringLiteral("icon")}};
        positionalNames = {QStringLiteral("the web root")};
    } else if (command == u"client") {
        specs = {{QStringLiteral("engine")}, {QStringLiteral("platform")}};
        positionalNames = {QStringLiteral("the web root"), QStringLiteral("the build folder")};
    } else if (command == u"marker") {
        specs = {{QStringLiteral("uuid")}};
        positionalNames = {QStringLiteral("the game folder")};
    } else {
        return usage(QStringLiteral("unknown command %1 (see zol_publish --help)").arg(command));
    }

    RawArguments raw;
    QString error;
    if (!Split(command, arguments.mid(1), specs, &raw, &error))
        return usage(error + SeeHelp(command));
    if (raw.help)
        return help(command);
    if (!Positional(command, raw, positionalNames, &error))
        return usage(error + SeeHelp(command));

    bool ok = true;
    if (command == u"manifest") {
        result.kind = PublishCommand::Kind::Manifest;
        result.manifest.folder = raw.positional.at(0);
        result.manifest.editablePatterns = raw.options.value(QStringLiteral("editable"));
        ok = Platform(command, raw, &result.manifest.platform, &error);
        for (const QString &pattern : std::as_const(result.manifest.editablePatterns)) {
            if (ok && pattern.isEmpty()) {
                error = QStringLiteral("%1: --editable is empty").arg(command);
                ok = false;
            }
        }
    } else if (command == u"game") {
        result.kind = PublishCommand::Kind::Game;
        GameRequest &game = result.game;
        game.webRoot = raw.positional.at(0);
        ok = Required(command, raw, QStringLiteral("uuid"), &game.uuid, &error) &&
             Required(command, raw, QStringLiteral("nickname"), &game.nickname, &error) &&
             Required(command, raw, QStringLiteral("title"), &game.title, &error) &&
             Engine(command, raw, &game.major, &game.minor, &error) &&
             Optional(raw, QStringLiteral("description"), &game.descriptionFile, &error, command) &&
             Optional(raw, QStringLiteral("icon"), &game.iconFile, &error, command);
    } else if (command == u"client") {
        result.kind = PublishCommand::Kind::Client;
        result.client.webRoot = raw.positional.at(0);
        result.client.buildFolder = raw.positional.at(1);
        ok = Engine(command, raw, &result.client.major, &result.client.minor, &error) &&
             Platform(command, raw, &result.client.platform, &error);
    } else {
        result.kind = PublishCommand::Kind::Marker;
        result.marker.folder = raw.positional.at(0);
        ok = Required(command, raw, QStringLiteral("uuid"), &result.marker.uuid, &error);
    }
    if (!ok)
        return usage(error + SeeHelp(command));
    return result;
}
