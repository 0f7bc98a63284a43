#include "PublishCommands.h"

#include "DatabaseReplacement.h"
#include "PathPattern.h"
#include "app/CommandLine.h"
#include "download/ClientFiles.h"
#include "download/PathRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QVariant>

#include <algorithm>

namespace {

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

PublishReport Failure(const QString &error)
{
    PublishReport report;
    report.error = error;
    return report;
}

QString PlatformText(int platform)
{
    return QString::fromLatin1(PlatformName(platform));
}

bool RequireFolder(const QString &path, const QString &what, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("%1 %2 does not exist").arg(what, Native(path));
        return false;
    }
    if (!info.isDir()) {
        *error = QStringLiteral("%1 %2 is not a folder").arg(what, Native(path));
        return false;
    }
    return true;
}

// Statements on one database, every value bound; a failure names the file and
// SQLite's reason.
class Statements
{
public:
    Statements(const DatabaseReplacement &replacement, const QString &file)
        : query(replacement.database()), file(file)
    {
    }

    bool exec(const QString &statement, const QVariantList &values = {})
    {
        if (query.prepare(statement)) {
            for (const QVariant &value : values)
                query.addBindValue(value);
            if (query.exec())
                return true;
        }
        failure =
            QStringLiteral("cannot update %1: %2").arg(Native(file), query.lastError().text());
        return false;
    }

    QSqlQuery query;
    QString failure;

private:
    QString file;
};

// The tables the portal reads from library.db; an existing catalogue keeps its own.
bool CreateCatalogueTables(Statements &sql)
{
    return sql.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS games (title TEXT, uuid TEXT, "
                                   "nickname TEXT, icon BLOB, description BLOB, "
                                   "zol_major_version INTEGER, zol_minor_version INTEGER)")) &&
           sql.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS clients (name TEXT, filepath TEXT, "
                                   "crc TEXT, size INTEGER)"));
}

bool ReadWholeFile(const QString &path, const QString &what, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1 %2").arg(what, Native(path));
        return false;
    }
    *bytes = file.readAll();
    return true;
}

// The portal shows each byte of a description as one Latin-1 character, so a
// UTF-8 text is stored in Latin-1; text that is not UTF-8 is taken as Latin-1 already.
bool DescriptionBytes(const QByteArray &file, const QString &path, QByteArray *bytes,
                      QString *error)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(file);
    if (decoder.hasError()) {
        *bytes = file;
        return true;
    }
    const QList<uint> codePoints = text.toUcs4();
    for (const uint c : codePoints) {
        if (c > 0xff) {
            *error = QStringLiteral("description %1 holds the character U+%2, which the portal "
                                    "cannot show (only Latin-1 characters can be shown)")
                         .arg(Native(path),
                              QString::number(c, 16).toUpper().rightJustified(4, QLatin1Char('0')));
            return false;
        }
    }
    *bytes = text.toLatin1();
    return true;
}

QVariant Blob(const QByteArray &bytes, bool given)
{
    return given ? QVariant(bytes) : QVariant(QMetaType(QMetaType::QByteArray));
}

QString EngineText(int major, int minor)
{
    return QStringLiteral("%1.%2").arg(major).arg(minor);
}

quint64 TotalSize(const QList<PublishedFile> &files)
{
    quint64 total = 0;
    for (const PublishedFile &file : files)
        total += file.size;
    return total;
}

} // namespace

PublishReport PublishManifest(const ManifestRequest &request, const HashProgress &progress)
{
    QString error;
    if (!RequireFolder(request.folder, QStringLiteral("game folder"), &error))
        return Failure(error);
    const QString folder = QDir::cleanPath(request.folder);
    const QString nickname = QFileInfo(QFileInfo(folder).absoluteFilePath()).fileName();
    if (!IsSafeFolderName(nickname))
        return Failure(
            QStringLiteral("game folder name \"%1\" is not a plain folder name").arg(nickname));

    const QString manifestPath = folder + u'/' + ManifestFileName();
    const QString temporary = DatabaseReplacement::TemporaryPath(ManifestFileName());
    const QStringList skip{ManifestFileName(), temporary, temporary + QStringLiteral("-journal")};
    QList<PublishedFile> files;
    if (!ScanTree(folder, skip, &files, &error))
        return Failure(error);
    if (files.isEmpty())
        return Failure(QStringLiteral("no files below %1").arg(Native(folder)));

    QStringList editable;
    for (const QString &pattern : request.editablePatterns) {
        const QRegularExpression expression = PathPatternExpression(pattern);
        qsizetype matched = 0;
        for (const PublishedFile &file : files) {
            if (expression.match(file.path).hasMatch()) {
                ++matched;
                if (!editable.contains(file.path))
                    editable.append(file.path);
            }
        }
        if (matched == 0)
            return Failure(QStringLiteral("--editable %1 matches no file below %2")
                               .arg(pattern, Native(folder)));
    }
    editable.sort();

    if (!HashFiles(&files, progress, &error))
        return Failure(error);

    DatabaseReplacement replacement(manifestPath);
    if (!replacement.begin(&error))
        return Failure(error);
    {
        Statements sql(replacement, manifestPath);
        if (!sql.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS files (filepath TEXT, crc TEXT, "
                                     "size INTEGER, platform INTEGER)")) ||
            !sql.exec(QStringLiteral(
                "CREATE TABLE IF NOT EXISTS editable (filepath TEXT, platform INTEGER)")))
            return Failure(sql.failure);
        // Rows of other platforms belong to other runs of this command.
        if (!sql.exec(QStringLiteral("DELETE FROM files WHERE platform=?"), {request.platform}) ||
            !sql.exec(QStringLiteral("DELETE FROM editable WHERE platform=?"), {request.platform}))
            return Failure(sql.failure);
        for (const PublishedFile &file : files) {
            if (!sql.exec(QStringLiteral("INSERT INTO files (filepath, crc, size, platform) "
                                         "VALUES (?, ?, ?, ?)"),
                          {file.path, file.crc, qlonglong(file.size), request.platform}))
                return Failure(sql.failure);
        }
        for (const QString &path : editable) {
            if (!sql.exec(QStringLiteral("INSERT INTO editable (filepath, platform) VALUES (?, ?)"),
                          {path, request.platform}))
                return Failure(sql.failure);
        }
    }
    if (!replacement.commit(&error))
        return Failure(error);

    PublishReport report;
    report.ok = true;
    report.lines << QStringLiteral("%1: %2 files, %3 bytes, %4 editable, platform %5")
                        .arg(Native(manifestPath), QString::number(files.size()),
                             QString::number(TotalSize(files)), QString::number(editable.size()),
                             PlatformText(request.platform));
    const bool hasMarker = std::any_of(files.cbegin(), files.cend(), [](const PublishedFile &f) {
        return f.path == MarkerFileName();
    });
    if (!hasMarker)
        report.warnings << QStringLiteral("%1 has no %2, so the portal will never list the game "
                                          "as installed (see zol_publish marker --help)")
                               .arg(Native(folder), MarkerFileName());
    return report;
}

PublishReport PublishGame(const GameRequest &request)
{
    QString error;
    if (!RequireFolder(request.webRoot, QStringLiteral("web root"), &error))
        return Failure(error);
    if (!IsSafeFolderName(request.uuid))
        return Failure(
            QStringLiteral("--uuid \"%1\" is not a plain folder name").arg(request.uuid));
    if (!IsSafeFolderName(request.nickname))
        return Failure(
            QStringLiteral("--nickname \"%1\" is not a plain folder name").arg(request.nickname));
    if (request.title.trimmed().isEmpty())
        return Failure(QStringLiteral("--title is empty"));

    QByteArray description;
    if (!request.descriptionFile.isEmpty()) {
        QByteArray file;
        if (!ReadWholeFile(request.descriptionFile, QStringLiteral("description"), &file, &error) ||
            !DescriptionBytes(file, request.descriptionFile, &description, &error))
            return Failure(error);
    }
    QByteArray icon;
    if (!request.iconFile.isEmpty()) {
        if (!ReadWholeFile(request.iconFile, QStringLiteral("icon"), &icon, &error))
            return Failure(error);
        if (icon.isEmpty())
            return Failure(QStringLiteral("icon %1 is empty").arg(Native(request.iconFile)));
    }

    const QString cataloguePath = QDir(request.webRoot).filePath(CatalogueFileName());
    DatabaseReplacement replacement(cataloguePath);
    if (!replacement.begin(&error))
        return Failure(error);
    bool replaced = false;
    bool clientListed = false;
    const QString buildName = ClientBuildName(PlatformText(1), request.major, request.minor);
    {
        Statements sql(replacement, cataloguePath);
        if (!CreateCatalogueTables(sql))
            return Failure(sql.failure);
        // Two games in one nickname folder would share one manifest.
        if (!sql.exec(QStringLiteral("SELECT uuid FROM games WHERE lower(nickname)=lower(?) AND "
                                     "lower(uuid)<>lower(?)"),
                      {request.nickname, request.uuid}))
            return Failure(sql.failure);
        if (sql.query.next())
            return Failure(QStringLiteral("nickname \"%1\" is already used by the game %2")
                               .arg(request.nickname, sql.query.value(0).toString()));

        // Uuids name folders and are compared without regard to case by the portal.
        if (!sql.exec(QStringLiteral("DELETE FROM games WHERE lower(uuid)=lower(?)"),
                      {request.uuid}))
            return Failure(sql.failure);
        replaced = sql.query.numRowsAffected() > 0;
        if (!sql.exec(QStringLiteral("INSERT INTO games (title, uuid, nickname, icon, "
                                     "description, zol_major_version, zol_minor_version) "
                                     "VALUES (?, ?, ?, ?, ?, ?, ?)"),
                      {request.title, request.uuid, request.nickname,
                       Blob(icon, !request.iconFile.isEmpty()),
                       Blob(description, !request.descriptionFile.isEmpty()), request.major,
                       request.minor}))
            return Failure(sql.failure);
        clientListed =
            sql.exec(QStringLiteral("SELECT 1 FROM clients WHERE name=? LIMIT 1"), {buildName}) &&
            sql.query.next();
    }
    if (!replacement.commit(&error))
        return Failure(error);

    PublishReport report;
    report.ok = true;
    report.lines << QStringLiteral("%1: %2 game %3 (%4) \"%5\", engine %6")
                        .arg(Native(cataloguePath),
                             replaced ? QStringLiteral("replaced") : QStringLiteral("added"),
                             request.uuid, request.nickname, request.title,
                             EngineText(request.major, request.minor));
    if (!clientListed)
        report.warnings << QStringLiteral("the catalogue lists no files of the client build %1 "
                                          "yet (see zol_publish client --help)")
                               .arg(buildName);
    const QString manifest =
        QDir(request.webRoot).filePath(request.nickname + u'/' + ManifestFileName());
    if (!QFileInfo(manifest).isFile())
        report.warnings << QStringLiteral("%1 does not exist yet (see zol_publish manifest --help)")
                               .arg(Native(manifest));
    return report;
}

PublishReport PublishClient(const ClientRequest &request, const HashProgress &progress)
{
    QString error;
    if (!RequireFolder(request.webRoot, QStringLiteral("web root"), &error))
        return Failure(error);
    const QString webRoot = QFileInfo(request.webRoot).canonicalFilePath();
    // A bare name is a build folder of the web root; anything else is a path.
    QString buildPath = request.buildFolder;
    if (QFileInfo(buildPath).isRelative() && !buildPath.contains(u'/') &&
        !QFileInfo::exists(buildPath))
        buildPath = QDir(webRoot).filePath(buildPath);
    if (!RequireFolder(buildPath, QStringLiteral("client build folder"), &error))
        return Failure(error);
    const QFileInfo build(QFileInfo(buildPath).canonicalFilePath());
    if (build.absolutePath() != webRoot)
        return Failure(QStringLiteral("client build folder %1 is not directly inside the web "
                                      "root %2, where the portal looks for it")
                           .arg(Native(build.filePath()), Native(webRoot)));
    const QString buildName =
        ClientBuildName(PlatformText(request.platform), request.major, request.minor);
    if (build.fileName() != buildName)
        return Failure(QStringLiteral("client build folder %1 must be named %2 for engine %3 on %4")
                           .arg(build.fileName(), buildName,
                                EngineText(request.major, request.minor),
                                PlatformText(request.platform)));

    QList<PublishedFile> files;
    if (!ScanTree(build.filePath(), {}, &files, &error))
        return Failure(error);
    if (files.isEmpty())
        return Failure(QStringLiteral("no files below %1").arg(Native(build.filePath())));
    if (!HashFiles(&files, progress, &error))
        return Failure(error);

    const QString cataloguePath = QDir(request.webRoot).filePath(CatalogueFileName());
    DatabaseReplacement replacement(cataloguePath);
    if (!replacement.begin(&error))
        return Failure(error);
    {
        Statements sql(replacement, cataloguePath);
        if (!CreateCatalogueTables(sql) ||
            !sql.exec(QStringLiteral("DELETE FROM clients WHERE name=?"), {buildName}))
            return Failure(sql.failure);
        for (const PublishedFile &file : files) {
            if (!sql.exec(
                    QStringLiteral(
                        "INSERT INTO clients (name, filepath, crc, size) VALUES (?, ?, ?, ?)"),
                    {buildName, QString(buildName + u'/' + file.path), file.crc,
                     qlonglong(file.size)}))
                return Failure(sql.failure);
        }
    }
    if (!replacement.commit(&error))
        return Failure(error);

    PublishReport report;
    report.ok = true;
    report.lines << QStringLiteral("%1: client build %2, %3 files, %4 bytes")
                        .arg(Native(cataloguePath), buildName, QString::number(files.size()),
                             QString::number(TotalSize(files)));
    const bool hasProgram = std::any_of(files.cbegin(), files.cend(), [](const PublishedFile &f) {
        return f.path == QStringLiteral("zol_client.exe");
    });
    if (!hasProgram)
        report.warnings << QStringLiteral("%1 has no zol_client.exe, the program the portal "
                                          "starts when a game is launched")
                               .arg(Native(build.filePath()));
    return report;
}

PublishReport PublishMarker(const MarkerRequest &request)
{
    QString error;
    if (!RequireFolder(request.folder, QStringLiteral("game folder"), &error))
        return Failure(error);
    if (!IsSafeFolderName(request.uuid))
        return Failure(
            QStringLiteral("--uuid \"%1\" is not a plain folder name").arg(request.uuid));
    const QString markerPath = QDir(request.folder).filePath(MarkerFileName());
    DatabaseReplacement replacement(markerPath);
    if (!replacement.begin(&error))
        return Failure(error);
    {
        // The game keeps its own settings in this table too; only the uuid is ours.
        Statements sql(replacement, markerPath);
        if (!sql.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS settings (uuid TEXT)")) ||
            !sql.exec(QStringLiteral("SELECT count(*) FROM settings")))
            return Failure(sql.failure);
        const bool hasRow = sql.query.next() && sql.query.value(0).toLongLong() > 0;
        if (!sql.exec(hasRow ? QStringLiteral("UPDATE settings SET uuid=?")
                             : QStringLiteral("INSERT INTO settings (uuid) VALUES (?)"),
                      {request.uuid}))
            return Failure(sql.failure);
    }
    if (!replacement.commit(&error))
        return Failure(error);

    PublishReport report;
    report.ok = true;
    report.lines << QStringLiteral("%1: game %2").arg(Native(markerPath), request.uuid);
    return report;
}
