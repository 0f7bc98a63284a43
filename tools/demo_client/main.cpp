// The demo's game client. The portal starts it without arguments, in the game's
// uuid folder; it tells which game that is and, without a display, records it
// in started.txt there instead of showing a window.

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>

#include <cstdio>

namespace {

struct StartedGame
{
    QString uuid;
    QString nickname;
    QString title;
    int fileCount = 0;
};

// The first row of `statement` on the SQLite file, column 0, or nothing.
QString FirstValue(const QString &path, const QString &statement, const QString &binding)
{
    if (!QFileInfo(path).isFile())
        return QString();
    const QString connection = QStringLiteral("demo-client");
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(statement);
            if (!binding.isNull())
                query.addBindValue(binding);
            if (query.exec() && query.next())
                value = query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return value;
}

StartedGame FindGame(const QDir &folder)
{
    StartedGame game;
    game.uuid = folder.dirName();
    // The game's own folder is the one whose marker names this uuid.
    const QStringList subfolders = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : subfolders) {
        const QString marker = folder.filePath(name + QStringLiteral("/game.zol"));
        const QString markerUuid =
            FirstValue(marker, QStringLiteral("SELECT uuid FROM settings"), QString());
        if (markerUuid.compare(game.uuid, Qt::CaseInsensitive) == 0) {
            game.nickname = name;
            break;
        }
    }
    // The portal keeps the catalogue in the folder above the game's.
    game.title = FirstValue(folder.absoluteFilePath(QStringLiteral("../library.db")),
                            QStringLiteral("SELECT title FROM games WHERE uuid=?"), game.uuid);
    if (!game.nickname.isEmpty()) {
        QDirIterator it(folder.filePath(game.nickname), QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            ++game.fileCount;
        }
    }
    return game;
}

QString Describe(const StartedGame &game, int argumentCount)
{
    QStringList lines;
    lines << QStringLiteral("Demo client started \"%1\"")
                 .arg(game.title.isEmpty() ? QStringLiteral("an unknown game") : game.title);
    lines << QStringLiteral("uuid: %1").arg(game.uuid);
    if (game.nickname.isEmpty())
        lines << QStringLiteral("game folder: none with a game.zol naming this uuid");
    else
        lines << QStringLiteral("game folder: %1 (%2 files)")
                     .arg(game.nickname, QString::number(game.fileCount));
    lines << QStringLiteral("arguments: %1").arg(argumentCount);
    return lines.join(u'\n') + u'\n';
}

bool HasDisplay()
{
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char **argv)
{
    const int argumentCount = argc - 1;
    if (!HasDisplay()) {
        QCoreApplication app(argc, argv);
        const QString text = Describe(FindGame(QDir::current()), argumentCount);
        QFile file(QStringLiteral("started.txt"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return file.error() == QFileDevice::NoError ? 0 : 1;
    }

    QApplication app(argc, argv);
    const StartedGame game = FindGame(QDir::current());
    const QString text = Describe(game, argumentCount);
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Z/O/L demo client"));
    auto *layout = new QVBoxLayout(&window);
    auto *title = new QLabel(game.title.isEmpty() ? game.uuid : game.title, &window);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.8);
    font.setBold(true);
    title->setFont(font);
    layout->addWidget(title);
    layout->addWidget(new QLabel(text.trimmed(), &window));
    auto *quit = new QPushButton(QStringLiteral("Quit"), &window);
    QObject::connect(quit, &QPushButton::clicked, &app, &QApplication::quit);
    layout->addWidget(quit);
    window.resize(420, 200);
    window.show();
    return app.exec();
}
