#include "app/ConfigFile.h"

#include "app/IniSyntax.h"
#include "app/NarrowText.h"
#include "app/PortalSettings.h"
#include "app/ProgramLog.h"

#include <QFile>

#include <exception>
#include <optional>

namespace {

// The whole file, or nothing when it is missing or cannot be opened or read
// (a folder of that name, for one).
std::optional<std::string> ReadWholeFile(const std::string &fileName)
{
    QFile file(QFile::decodeName(QByteArray::fromStdString(fileName)));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return content.toStdString();
}

} // namespace

int ReadConfigFile(const std::string &fileName, PortalSettings &settings)
{
    const std::string name = FileSystemPath(fileName);
    const std::optional<std::string> content = ReadWholeFile(name);
    if (!content)
        return 0;

    try {
        settings.configFile = name;
        PrintLine("Parsing " + settings.configFile);
        const IniDictionary dictionary = ParseIniText(*content);
        settings.logFile = IniLookup(dictionary, "portal:log").value_or(defaultProgramLog);
        const std::optional<std::string> port = IniLookup(dictionary, "web:port");
        settings.webPort = port ? IniAtoi(*port) : 80;
        settings.webUrl = IniLookup(dictionary, "web:url").value_or("127.0.0.1");
    } catch (const std::exception &) {
        // Only running out of memory can get here with these string types.
        PrintLine("Error encountered while parsing " + settings.configFile);
        return 1;
    }
    return 0;
}
