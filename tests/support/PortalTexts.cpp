#include "PortalTexts.h"

#include "Fixtures.h"

#include <QRegularExpression>

const QByteArray helpText =
    "\n"
    "Launches Z/O/L Portal\n"
    "\n"
    "ZOL_PORTAL [-?|-h|-help] | [-uuid <uuid>] | [-download] | [-patch] | [-repair] | [-log "
    "<file>] "
    "|           [-start] | [-platform <windows|mac|linux>]\n"
    "\n"
    "-?, -h, -help\n"
    "   Displays program execution requirements and command-line parameter help\n"
    "-download\n"
    "   Starts a full client download specified by -uuid and -platform\n"
    "-patch\n"
    "   Updates game files for the game specified by -uuid and -platform\n"
    "-repair\n"
    "   Attempts to fix a downloaded game by downloading missing files and cleaning scripts\n"
    "-uuid <uuid>\n"
    "   Required by -download, -patch, -repair, and -start to specify the target game\n"
    "-log <file>\n"
    "   Specifies output file the portal will use for logging events and errors\n"
    "   Default is zol.log\n"
    "-platform <windows|mac|linux>\n"
    "   Specifies the desired operating system for downloads\n"
    "\n";

QByteArrayList LogMessages(const QString &path)
{
    static const QRegularExpression line(
        QStringLiteral("^Server: \\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] (.*)$"),
        QRegularExpression::DotMatchesEverythingOption);
    QByteArray content = ReadFile(path);
    QByteArrayList messages;
    if (content.isEmpty())
        return messages;
    if (!content.endsWith('\n'))
        return {"! no line end at the end of the file"};
    content.chop(1);
    for (const QByteArray &text : content.split('\n')) {
        const QRegularExpressionMatch match = line.match(QString::fromLatin1(text));
        messages << (match.hasMatch() ? match.captured(1).toLatin1() : '!' + text);
    }
    return messages;
}
