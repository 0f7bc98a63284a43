#include "PublishArguments.h"
#include "PublishCommands.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {

void Print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const PublishCommand command = ParsePublishArguments(app.arguments().mid(1));
    if (command.kind == PublishCommand::Kind::Help) {
        Print(stdout, command.text);
        return ExitOk;
    }
    if (command.kind == PublishCommand::Kind::Usage) {
        Print(stderr, QStringLiteral("zol_publish: %1\n").arg(command.text));
        return ExitUsage;
    }

    // The progress line rewrites itself with "\r", which only a terminal shows as intended.
    bool progressShown = false;
    HashProgress progress;
    if (isatty(STDERR_FILENO)) {
        progress = [&progressShown](qsizetype done, qsizetype total) {
            Print(stderr, QStringLiteral("\rhashing %1/%2 files").arg(done).arg(total));
            progressShown = true;
        };
    }

    PublishReport report;
    switch (command.kind) {
    case PublishCommand::Kind::Manifest:
        report = PublishManifest(command.manifest, progress);
        break;
    case PublishCommand::Kind::Game:
        report = PublishGame(command.game);
        break;
    case PublishCommand::Kind::Client:
        report = PublishClient(command.client, progress);
        break;
    case PublishCommand::Kind::Marker:
        report = PublishMarker(command.marker);
        break;
    case PublishCommand::Kind::Help:
    case PublishCommand::Kind::Usage:
        break;
    }
    if (progressShown)
        Print(stderr, QStringLiteral("\n"));
    if (!report.ok) {
        Print(stderr, QStringLiteral("zol_publish: %1\n").arg(report.error));
        return ExitFailed;
    }
    for (const QString &warning : std::as_const(report.warnings))
        Print(stderr, QStringLiteral("zol_publish: warning: %1\n").arg(warning));
    for (const QString &line : std::as_const(report.lines))
        Print(stdout, line + u'\n');
    return ExitOk;
}
