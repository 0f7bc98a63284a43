#include "download/FileHash.h"

#include "Fixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestFileHash : public QObject
{
    Q_OBJECT

private slots:
    void knownDigests_data();
    void knownDigests();
    void largeFile();
    void unreadable_data();
    void unreadable();
};

void TestFileHash::knownDigests_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("digest");

    // Test vectors of RFC 1321.
    QTest::newRow("empty file") << QByteArray()
                                << QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
    QTest::newRow("abc") << QByteArray("abc") << QStringLiteral("900150983cd24fb0d6963f7d28e17f72");
    QTest::newRow("message digest")
        << QByteArray("message digest") << QStringLiteral("f96b697d7cb7938d525a2f31aaf161d0");
    QTest::newRow("digits") << QByteArray("1234567890123456789012345678901234567890"
                                          "1234567890123456789012345678901234567890")
                            << QStringLiteral("57edf4a22be3c955ac49da2e2107b67a");
}

void TestFileHash::knownDigests()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, digest);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file.bin"));
    QVERIFY(WriteFile(path, bytes));
    QCOMPARE(fileHash(path), digest);
}

void TestFileHash::largeFile()
{
    // Larger than any read buffer, with bytes that differ from piece to piece.
    QByteArray bytes;
    bytes.reserve(5 * 1024 * 1024 + 7);
    quint32 state = 12345;
    while (bytes.size() < 5 * 1024 * 1024 + 7) {
        state = state * 1103515245u + 12345u;
        bytes.append(char(state >> 24));
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    QVERIFY(WriteFile(path, bytes));
    const QString digest = fileHash(path);
    QCOMPARE(digest, Md5Hex(bytes));
    QCOMPARE(digest, digest.toLower());
    QCOMPARE(digest.size(), 32);
}

void TestFileHash::unreadable_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << QStringLiteral("missing.bin");
    QTest::newRow("folder") << QStringLiteral("folder");
}

void TestFileHash::unreadable()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QCOMPARE(fileHash(dir.filePath(name)), QString());
}

QTEST_GUILESS_MAIN(TestFileHash)
#include "tst_filehash.moc"
