#pragma once

#include "PublishCommands.h"

#include <QString>
#include <QStringList>

// The command line of zol_publish, parsed.
struct PublishCommand
{
    enum class Kind { Usage, Help, Manifest, Game, Client, Marker };

    Kind kind = Kind::Usage;
    QString text; // Help: the help text; Usage: what is wrong
    ManifestRequest manifest;
    GameRequest game;
    ClientRequest client;
    MarkerRequest marker;
};

// `arguments` without the program name. Options take their value as the next
// argument or after "=" (--title=Name); "--" ends the options.
PublishCommand ParsePublishArguments(const QStringList &arguments);

// The help text of a command, or the overview for an empty or unknown name.
QString PublishHelp(const QString &command);

// Exit codes of zol_publish.
enum PublishExit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };
