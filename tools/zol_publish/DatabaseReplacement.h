#pragma once

#include <QSqlDatabase>
#include <QString>

// Edits a SQLite file as a whole: a copy beside it (or a new file) is changed,
// then renamed over the original. Until `commit` succeeds the original stays as
// it was, and a web server serving it never sees a half-written database.
// SQLite keeps its own file handles, so QSaveFile cannot do this.
class DatabaseReplacement
{
public:
    explicit DatabaseReplacement(const QString &targetPath);
    ~DatabaseReplacement(); // discards the copy unless committed
    DatabaseReplacement(const DatabaseReplacement &) = delete;
    DatabaseReplacement &operator=(const DatabaseReplacement &) = delete;

    // The name of the working copy beside `targetPath`.
    static QString TemporaryPath(const QString &targetPath);

    // Copies the existing file (if any) and opens the copy inside a transaction.
    bool begin(QString *error);
    QSqlDatabase database() const;
    // Commits the transaction, closes the copy and renames it over the target.
    bool commit(QString *error);

private:
    void discard();

    QString target;
    QString temporary;
    QString connectionName;
    bool opened = false;
};
