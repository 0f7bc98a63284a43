#include "download/PathRules.h"

#include <QtTest>

class TestPathRules : public QObject
{
    Q_OBJECT

private slots:
    void relativePath_data();
    void relativePath();
    void folderName_data();
    void folderName();
};

void TestPathRules::relativePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("safe");

    QTest::newRow("plain file") << QStringLiteral("game.zol") << true;
    QTest::newRow("sub-folders") << QStringLiteral("data/maps/a.map") << true;
    QTest::newRow("dots inside a name") << QStringLiteral("a..b/c.d.e") << true;
    QTest::newRow("blank inside a name") << QStringLiteral("my maps/a b.map") << true;
    QTest::newRow("non-ASCII") << QStringLiteral(u"d\u00e9j\u00e0/\u00fc.txt") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << false;
    QTest::newRow("parent") << QStringLiteral("../x") << false;
    QTest::newRow("parent inside") << QStringLiteral("a/../../x") << false;
    QTest::newRow("parent at the end") << QStringLiteral("a/..") << false;
    QTest::newRow("current folder") << QStringLiteral("./a") << false;
    QTest::newRow("empty segment") << QStringLiteral("a//b") << false;
    QTest::newRow("trailing slash") << QStringLiteral("a/") << false;
    QTest::newRow("drive letter") << QStringLiteral("C:/Windows/x.dll") << false;
    QTest::newRow("drive relative") << QStringLiteral("C:x.dll") << false;
    QTest::newRow("backslash parent") << QStringLiteral("..\\x") << false;
    QTest::newRow("backslash separator") << QStringLiteral("a\\b") << false;
    QTest::newRow("UNC") << QStringLiteral("\\\\host\\share\\x") << false;
    QTest::newRow("newline") << QStringLiteral("a\nb") << false;
    QTest::newRow("NUL") << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b")) << false;
    QTest::newRow("DEL") << QString(QStringLiteral("a") + QChar(0x7f)) << false;
}

void TestPathRules::relativePath()
{
    QFETCH(QString, path);
    QFETCH(bool, safe);
    QCOMPARE(IsSafeRelativePath(path), safe);
}

void TestPathRules::folderName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");

    QTest::newRow("uuid") << QStringLiteral("6f1c2a0e-8d55-4b7e-9a0b-2c1f9d3e4a5b") << true;
    QTest::newRow("nickname") << QStringLiteral("demo") << true;
    QTest::newRow("dot inside") << QStringLiteral("v1.2") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("current") << QStringLiteral(".") << false;
    QTest::newRow("parent") << QStringLiteral("..") << false;
    QTest::newRow("slash") << QStringLiteral("a/b") << false;
    QTest::newRow("backslash") << QStringLiteral("a\\b") << false;
    QTest::newRow("colon") << QStringLiteral("c:") << false;
    QTest::newRow("trailing dot") << QStringLiteral("name.") << false;
    QTest::newRow("trailing blank") << QStringLiteral("name ") << false;
    QTest::newRow("tab") << QStringLiteral("a\tb") << false;
}

void TestPathRules::folderName()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(IsSafeFolderName(name), safe);
}

QTEST_GUILESS_MAIN(TestPathRules)
#include "tst_pathrules.moc"
