#include "DatabaseReplacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

namespace {

QString NextConnectionName()
{
    static int counter = 0;
    return QStringLiteral("zol_publish_%1").arg(++counter);
}

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

DatabaseReplacement::DatabaseReplacement(const QString &targetPath)
    : target(targetPath), temporary(TemporaryPath(targetPath)), connectionName(NextConnectionName())
{
}

DatabaseReplacement::~DatabaseReplacement()
{
    discard();
}

QString DatabaseReplacement::TemporaryPath(const QString &targetPath)
{
    return targetPath + QStringLiteral(".zol_publish-new");
}

bool DatabaseReplacement::begin(QString *error)
{
    const QFileInfo info(target);
    if (info.exists() && !info.isFile()) {
        *error = QStringLiteral("%1 is not a file").arg(Native(target));
        return false;
    }
    // A copy left behind by an interrupted run is stale.
    if (QFileInfo::exists(temporary) && !QFile::remove(temporary)) {
        *error = QStringLiteral("cannot replace %1").arg(Native(temporary));
        return false;
    }
    if (info.exists() && !QFile::copy(target, temporary)) {
        *error = QStringLiteral("cannot copy %1 to %2").arg(Native(target), Native(temporary));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(temporary);
    opened = true;
    if (!db.open()) {
        *error =
            QStringLiteral("cannot create %1: %2").arg(Native(temporary), db.lastError().text());
        return false;
    }
    // SQLite reads a file lazily; this is where a file that is no database shows.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !db.transaction()) {
        *error = QStringLiteral("%1 is not a SQLite database").arg(Native(target));
        return false;
    }
    return true;
}

QSqlDatabase DatabaseReplacement::database() const
{
    return QSqlDatabase::database(connectionName, false);
}

bool DatabaseReplacement::commit(QString *error)
{
    {
        QSqlDatabase db = database();
        if (!db.commit()) {
            *error =
                QStringLiteral("cannot write %1: %2").arg(Native(temporary), db.lastError().text());
            return false;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    opened = false;
    // POSIX rename replaces the target in one step; readers see the old or the new file.
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(target).constData()) != 0) {
        *error = QStringLiteral("cannot rename %1 to %2").arg(Native(temporary), Native(target));
        QFile::remove(temporary);
        return false;
    }
    return true;
}

void DatabaseReplacement::discard()
{
    if (opened) {
        {
            QSqlDatabase db = database();
            db.rollback();
            db.close();
        }
        QSqlDatabase::removeDatabase(connectionName);
        opened = false;
    }
    if (QFileInfo(temporary).isFile())
        QFile::remove(temporary);
}
