#include "download/FileReceiver.h"

#include "Fixtures.h"
#include "library/RemoveDirectory.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(FileReceiver::Verdict)

namespace {

// Every file below `root`, relative to it, sorted.
QStringList FilesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

QByteArrayList Pieces(const QByteArray &bytes, int size)
{
    QByteArrayList pieces;
    for (int at = 0; at < bytes.size(); at += size)
        pieces.append(bytes.mid(at, size));
    return pieces;
}

} // namespace

class TestFileReceiver : public QObject
{
    Q_OBJECT

private slots:
    void finish_data();
    void finish();
    void cannotWrite_data();
    void cannotWrite();
    void commitFails();
    void unfinishedLeavesTargetAlone_data();
    void unfinishedLeavesTargetAlone();
    void onlyFirstFinishCounts();
};

void TestFileReceiver::finish_data()
{
    QTest::addColumn<QByteArray>("earlier"); // null: no earlier file
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<QString>("crc"); // "body"/"BODY": the body's digest in that case
    QTest::addColumn<FileReceiver::Verdict>("verdict");

    using V = FileReceiver::Verdict;
    const QByteArray old("old contents");
    const QByteArray body = QByteArray("new contents ").repeated(5000);
    QTest::newRow("new file, no digest")
        << QByteArray() << body << 4096 << true << QString() << V::Saved;
    QTest::newRow("replaces, digest matches")
        << old << body << 1000 << true << QStringLiteral("body") << V::Saved;
    QTest::newRow("replaces, upper-case digest")
        << old << body << 65536 << true << QStringLiteral("BODY") << V::Saved;
    QTest::newRow("empty body replaces")
        << old << QByteArray() << 1 << true << QString() << V::Saved;
    QTest::newRow("empty body, digest of nothing")
        << QByteArray() << QByteArray() << 1 << true << QStringLiteral("body") << V::Saved;
    QTest::newRow("digest differs")
        << old << body << 777 << true << QStringLiteral("0123456789abcdef0123456789abcdef")
        << V::ChecksumMismatch;
    QTest::newRow("digest differs, no earlier file")
        << QByteArray() << body << 777 << true << QStringLiteral("0123456789abcdef0123456789abcdef")
        << V::ChecksumMismatch;
    QTest::newRow("transfer failed")
        << old << body.left(9999) << 500 << false << QString() << V::TransferFailed;
    QTest::newRow("transfer failed, digest matches")
        << old << body << 500 << false << QStringLiteral("body") << V::TransferFailed;
    QTest::newRow("transfer failed, nothing arrived")
        << QByteArray() << QByteArray() << 1 << false << QString() << V::TransferFailed;
}

void TestFileReceiver::finish()
{
    QFETCH(QByteArray, earlier);
    QFETCH(QByteArray, body);
    QFETCH(int, pieceSize);
    QFETCH(bool, succeeded);
    QFETCH(QString, crc);
    QFETCH(FileReceiver::Verdict, verdict);

    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("game/data/file.pak"));
    if (!earlier.isNull())
        QVERIFY(WriteFile(target, earlier));
    if (crc == u"body")
        crc = Md5Hex(body);
    else if (crc == u"BODY")
        crc = Md5Hex(body).toUpper();

    FileReceiver receiver(target);
    for (const QByteArray &piece : Pieces(body, pieceSize))
        receiver.write(piece);
    QCOMPARE(receiver.received(), quint64(body.size()));
    QCOMPARE(receiver.digest(), Md5Hex(body));
    QCOMPARE(receiver.finish(succeeded, crc), verdict);

    const bool saved = verdict == FileReceiver::Verdict::Saved;
    const bool targetThere = saved || !earlier.isNull();
    QCOMPARE(QFileInfo::exists(target), targetThere);
    if (targetThere)
        QCOMPARE(ReadFile(target), saved ? body : earlier);
    // No temporary file beside the target, whatever the verdict.
    QCOMPARE(FilesBelow(dir.path()),
             targetThere ? QStringList{QStringLiteral("game/data/file.pak")} : QStringList());
}

void TestFileReceiver::cannotWrite_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("obstacle"); // a file made before, or a folder when it ends in "/"

    QTest::newRow("folder at the target")
        << QStringLiteral("game/file.pak") << QStringLiteral("game/file.pak/");
    QTest::newRow("file where a folder must go")
        << QStringLiteral("game/sub/file.pak") << QStringLiteral("game/sub");
    QTest::newRow("name too long")
        << QStringLiteral("game/") + QString(300, u'x') << QStringLiteral("game/");
}

void TestFileReceiver::cannotWrite()
{
    QFETCH(QString, target);
    QFETCH(QString, obstacle);
    QTemporaryDir dir;
    if (obstacle.endsWith(u'/'))
        QVERIFY(QDir(dir.path()).mkpath(obstacle));
    else
        QVERIFY(WriteFile(dir.filePath(obstacle), "in the way"));
    const QStringList before = FilesBelow(dir.path());

    FileReceiver receiver(dir.filePath(target));
    receiver.write("first piece");
    receiver.write("second piece");
    QCOMPARE(receiver.received(), quint64(23));
    QCOMPARE(receiver.finish(true, QString()), FileReceiver::Verdict::SaveFailed);
    QCOMPARE(FilesBelow(dir.path()), before);
    if (!obstacle.endsWith(u'/'))
        QCOMPARE(ReadFile(dir.filePath(obstacle)), QByteArray("in the way"));
}

void TestFileReceiver::commitFails()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("game/file.pak"));
    FileReceiver receiver(target);
    receiver.write("some bytes");
    // The folder goes away under the temporary file, so the rename cannot work.
    QVERIFY(RemoveDirectory(dir.filePath(QStringLiteral("game"))));
    QCOMPARE(receiver.finish(true, QString()), FileReceiver::Verdict::SaveFailed);
    QVERIFY(!QFileInfo::exists(target));
}

void TestFileReceiver::unfinishedLeavesTargetAlone_data()
{
    QTest::addColumn<bool>("discard"); // discard() first, or only destroy
    QTest::newRow("destroyed mid-transfer") << false;
    QTest::newRow("discarded mid-transfer") << true;
}

void TestFileReceiver::unfinishedLeavesTargetAlone()
{
    QFETCH(bool, discard);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("file.pak"));
    QVERIFY(WriteFile(target, "earlier"));
    {
        FileReceiver receiver(target);
        receiver.write(QByteArray(100000, 'n'));
        // The body goes to a temporary file, not to the target.
        QCOMPARE(ReadFile(target), QByteArray("earlier"));
        if (discard) {
            receiver.discard();
            receiver.write("more");
            QCOMPARE(receiver.finish(true, QString()), FileReceiver::Verdict::TransferFailed);
        }
    }
    QCOMPARE(ReadFile(target), QByteArray("earlier"));
    QCOMPARE(FilesBelow(dir.path()), QStringList{QStringLiteral("file.pak")});
}

void TestFileReceiver::onlyFirstFinishCounts()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("file.pak"));
    FileReceiver receiver(target);
    receiver.write("body");
    QCOMPARE(receiver.finish(true, QString()), FileReceiver::Verdict::Saved);
    receiver.write("late");
    QCOMPARE(receiver.finish(true, QString()), FileReceiver::Verdict::TransferFailed);
    QCOMPARE(ReadFile(target), QByteArray("body"));
}

QTEST_GUILESS_MAIN(TestFileReceiver)
#include "tst_filereceiver.moc"
