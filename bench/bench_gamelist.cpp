// Times MainWindow::RebuildGameList on a catalogue of many games, some of them
// installed (a folder with a marker that names the game), on the offscreen
// platform. Usage: bench_gamelist [games] [installed] [runs]
#include "app/PortalSettings.h"
#include "entry/GameEntry.h"
#include "library/MainWindow.h"

#include <QApplication>
#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

QByteArray MakeIcon()
{
    QImage image(64, 64, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, QColor::fromHsv((x * 5 + y * 3) % 360, 180, 220));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString Uuid(int index)
{
    return QStringLiteral("bench-%1").arg(index, 5, 10, QLatin1Char('0'));
}

QString Nickname(int index)
{
    return QStringLiteral("game%1").arg(index);
}

// Runs the statements on a new SQLite file; `rows` fills the prepared insert.
template <typename Rows>
bool WriteDatabase(const QString &path, const QStringList &schema, const QString &insert, Rows rows)
{
    const QString name = QStringLiteral("bench_writer");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        QSqlQuery query(db);
        for (const QString &statement : schema)
            ok = ok && query.exec(statement);
        ok = ok && query.prepare(insert);
        ok = ok && rows(query);
        ok = ok && db.commit();
        if (!ok)
            std::fprintf(stderr, "bench_gamelist: %s: %s\n", qPrintable(path),
                         qPrintable(query.lastError().text()));
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool WriteCatalogue(int games, const QByteArray &icon)
{
    const QStringList schema = {
        QStringLiteral("CREATE TABLE games(title TEXT, uuid TEXT, nickname TEXT, icon BLOB, "
                       "description BLOB, zol_major_version INTEGER, zol_minor_version INTEGER)"),
        QStringLiteral("CREATE TABLE clients(name TEXT, filepath TEXT, crc TEXT, size INTEGER)")};
    return WriteDatabase(QStringLiteral("library.db"), schema,
                         QStringLiteral("INSERT INTO games VALUES(?, ?, ?, ?, ?, 1, 0)"),
                         [&](QSqlQuery &query) {
                             for (int i = 0; i < games; ++i) {
                                 query.bindValue(0, QStringLiteral("Game number %1").arg(i));
                                 query.bindValue(1, Uuid(i));
                                 query.bindValue(2, Nickname(i));
                                 query.bindValue(3, icon);
                                 query.bindValue(4, QByteArray("A game of the benchmark.\n"
                                                               "   Second line, indented."));
                                 if (!query.exec())
                                     return false;
                             }
                             return true;
                         });
}

bool WriteMarker(int index)
{
    const QString folder = Uuid(index) + u'/' + Nickname(index);
    if (!QDir().mkpath(folder))
        return false;
    return WriteDatabase(folder + QStringLiteral("/game.zol"),
                         {QStringLiteral("CREATE TABLE settings(uuid TEXT)")},
                         QStringLiteral("INSERT INTO settings VALUES(?)"), [&](QSqlQuery &query) {
                             query.bindValue(0, Uuid(index));
                             return query.exec();
                         });
}

double Median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Argument(int argc, char **argv, int index, int fallback)
{
    return argc > index ? std::max(1, std::atoi(argv[index])) : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int games = Argument(argc, argv, 1, 2000);
    const int installed = std::min(games, Argument(argc, argv, 2, 200));
    const int runs = Argument(argc, argv, 3, 7);

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    if (!WriteCatalogue(games, MakeIcon()))
        return 1;
    const int step = games / installed;
    for (int i = 0; i < installed; ++i) {
        if (!WriteMarker(i * step))
            return 1;
    }

    PortalSettings settings;
    MainWindow window(&settings);
    window.show();
    window.OpenLibraryDatabase();

    QList<double> rebuild;
    QList<double> settle;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        window.RebuildGameList();
        rebuild.append(timer.nsecsElapsed() / 1e6);
        timer.restart();
        QCoreApplication::processEvents();
        settle.append(timer.nsecsElapsed() / 1e6);

        // A fast rebuild that lists the wrong games would measure nothing.
        const QList<GameEntry *> entries = window.findChildren<GameEntry *>();
        const auto installedEntries =
            std::count_if(entries.begin(), entries.end(),
                          [](GameEntry *entry) { return entry->Info().installed; });
        if (entries.size() != games || installedEntries != installed) {
            std::fprintf(stderr, "bench_gamelist: %lld entries, %lld installed; expected %d, %d\n",
                         static_cast<long long>(entries.size()),
                         static_cast<long long>(installedEntries), games, installed);
            return 1;
        }
    }

    std::printf("bench_gamelist: %d games, %d installed, %d runs: RebuildGameList median %.1f ms "
                "(min %.1f, max %.1f); the events it leaves: median %.1f ms\n",
                games, installed, runs, Median(rebuild),
                *std::min_element(rebuild.begin(), rebuild.end()),
                *std::max_element(rebuild.begin(), rebuild.end()), Median(settle));
    std::printf("rebuild_ms=%.1f\nsettle_ms=%.1f\n", Median(rebuild), Median(settle));
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
