#include "library/RemoveDirectory.h"

#include "Fixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every path below `path`, relative to it, sorted; links are listed, not followed.
QStringList TreeOf(const QString &path)
{
    const QString root = QDir(path).absolutePath();
    QStringList paths;
    QDirIterator it(
        root, QDir::NoDotAndDotDot | QDir::System | QDir::Hidden | QDir::AllDirs | QDir::Files,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(QDir(root).relativeFilePath(it.next()));
    paths.sort();
    return paths;
}

bool RunChattr(const QString &flag, const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("chattr"), {flag, path});
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Makes a file immutable for the life of the guard. Root may remove any file it
// has write access to, so this is the one way to make a removal fail here.
class ImmutableFile
{
public:
    explicit ImmutableFile(const QString &path) : path(path), active(RunChattr(u"+i"_qs, path)) {}
    ~ImmutableFile()
    {
        if (active)
            RunChattr(u"-i"_qs, path);
    }
    bool isActive() const { return active; }

private:
    QString path;
    bool active;
};

} // namespace

class TestRemoveDirectory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void removesTree_data();
    void removesTree();
    void missingPath();
    void fileIsLeftAlone();
    void linksAreNotFollowed_data();
    void linksAreNotFollowed();
    void stopsAtFirstFailure();

private:
    QString startDir;
    QTemporaryDir *temp = nullptr;
};

void TestRemoveDirectory::init()
{
    startDir = QDir::currentPath();
    temp = new QTemporaryDir;
    QVERIFY(temp->isValid());
    QVERIFY(QDir::setCurrent(temp->path()));
}

void TestRemoveDirectory::cleanup()
{
    QDir::setCurrent(startDir);
    delete temp;
    temp = nullptr;
}

void TestRemoveDirectory::removesTree_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<bool>("absolute");

    const QStringList files = {
        u"a.txt"_qs, u".hidden"_qs, u"sub/b.bin"_qs, u"sub/.secret/c"_qs, u"sub/deeper/d/e.dat"_qs,
        u"z/.z"_qs};
    const QStringList folders = {u"empty"_qs, u"sub/empty too"_qs, u".hidden folder"_qs};
    QTest::newRow("empty folder, relative") << QStringList() << QStringList() << false;
    QTest::newRow("tree, relative") << files << folders << false;
    QTest::newRow("tree, absolute") << files << folders << true;
}

void TestRemoveDirectory::removesTree()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(bool, absolute);

    QVERIFY(QDir().mkpath(u"game/top"_qs));
    for (const QString &file : files)
        QVERIFY(WriteFile(u"game/top/"_qs + file, file.toUtf8()));
    for (const QString &folder : folders)
        QVERIFY(QDir().mkpath(u"game/top/"_qs + folder));
    QVERIFY(WriteFile(u"game/beside.txt"_qs, "stays"));

    const QString path =
        absolute ? QDir::current().absoluteFilePath(u"game/top"_qs) : u"game/top"_qs;
    QVERIFY(RemoveDirectory(path));
    QVERIFY(!QFileInfo::exists(u"game/top"_qs));
    QCOMPARE(TreeOf(u"game"_qs), QStringList{u"beside.txt"_qs});
}

void TestRemoveDirectory::missingPath()
{
    QVERIFY(RemoveDirectory(u"no/such/folder"_qs));
    QVERIFY(RemoveDirectory(QDir::current().absoluteFilePath(u"missing"_qs)));
    QVERIFY(TreeOf(QDir::currentPath()).isEmpty());
}

void TestRemoveDirectory::fileIsLeftAlone()
{
    QVERIFY(WriteFile(u"game.zol"_qs, "marker bytes"));
    QVERIFY(RemoveDirectory(u"game.zol"_qs));
    QCOMPARE(ReadFile(u"game.zol"_qs), QByteArray("marker bytes"));
}

void TestRemoveDirectory::linksAreNotFollowed_data()
{
    QTest::addColumn<QString>("linkPath"); // the link, below the working directory
    QTest::addColumn<QString>("target");   // what it points to
    QTest::addColumn<QString>("removed");  // the path passed to RemoveDirectory

    QTest::newRow("link to a folder outside")
        << u"game/data/outside"_qs << u"outside"_qs << u"game"_qs;
    QTest::newRow("link to a file outside")
        << u"game/data/file"_qs << u"outside/keep.txt"_qs << u"game"_qs;
    QTest::newRow("link to the tree's parent") << u"game/up"_qs << u"."_qs << u"game"_qs;
    QTest::newRow("dangling link") << u"game/data/dangling"_qs << u"nowhere"_qs << u"game"_qs;
    QTest::newRow("top path is a link to a folder") << u"game"_qs << u"outside"_qs << u"game"_qs;
}

void TestRemoveDirectory::linksAreNotFollowed()
{
    QFETCH(QString, linkPath);
    QFETCH(QString, target);
    QFETCH(QString, removed);

    QVERIFY(WriteFile(u"outside/keep.txt"_qs, "keep"));
    QVERIFY(WriteFile(u"outside/deep/keep2.txt"_qs, "keep2"));
    if (linkPath != u"game")
        QVERIFY(WriteFile(u"game/data/own.txt"_qs, "own"));
    QVERIFY(QDir().mkpath(QFileInfo(linkPath).path()));
    QVERIFY(QFile::link(QDir::current().absoluteFilePath(target), linkPath));
    const QStringList outsideBefore = TreeOf(u"outside"_qs);

    QVERIFY(RemoveDirectory(removed));
    QVERIFY(!QFileInfo(removed).exists());
    QVERIFY(!QFileInfo(removed).isSymLink());
    QCOMPARE(TreeOf(u"outside"_qs), outsideBefore);
    QCOMPARE(ReadFile(u"outside/keep.txt"_qs), QByteArray("keep"));
}

void TestRemoveDirectory::stopsAtFirstFailure()
{
    // Listing order: folders first, then files, each by name.
    const QStringList files = {
        u"a_first/one.txt"_qs, u"m_middle/1.txt"_qs,       u"m_middle/2_locked.txt"_qs,
        u"m_middle/3.txt"_qs,  u"m_middle/n/inner.txt"_qs, u"z_last/x.txt"_qs,
        u"top.txt"_qs};
    for (const QString &file : files)
        QVERIFY(WriteFile(u"game/"_qs + file, "x"));

    ImmutableFile locked(u"game/m_middle/2_locked.txt"_qs);
    if (!locked.isActive())
        QSKIP("chattr +i is not available here, and root can remove any other file");
    QVERIFY(!QFile(u"game/m_middle/2_locked.txt"_qs).remove()); // the fixture holds

    QVERIFY(!RemoveDirectory(u"game"_qs));
    // Gone: what was listed before the locked file, in its folder and above it.
    // Kept: the file, what comes after it, and every folder that holds it.
    const QStringList expected = {u"m_middle"_qs,       u"m_middle/2_locked.txt"_qs,
                                  u"m_middle/3.txt"_qs, u"top.txt"_qs,
                                  u"z_last"_qs,         u"z_last/x.txt"_qs};
    QCOMPARE(TreeOf(u"game"_qs), expected);
}

QTEST_GUILESS_MAIN(TestRemoveDirectory)
#include "tst_removedirectory.moc"
