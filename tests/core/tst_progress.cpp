#include "download/Progress.h"

#include <QtTest>

#include <limits>

class TestProgress : public QObject
{
    Q_OBJECT

private slots:
    void percent_data();
    void percent();
    void neverFallsNorPassesHundred();
    void line_data();
    void line();
};

void TestProgress::percent_data()
{
    QTest::addColumn<quint64>("received");
    QTest::addColumn<quint64>("size");
    QTest::addColumn<int>("expected");

    const quint64 max = std::numeric_limits<quint64>::max();
    QTest::newRow("nothing yet") << quint64(0) << quint64(1000) << 0;
    QTest::newRow("half of 200 MB") << quint64(100000000) << quint64(200000000) << 50;
    QTest::newRow("rounds down") << quint64(2) << quint64(3) << 66;
    QTest::newRow("one byte short") << quint64(99) << quint64(100) << 99;
    QTest::newRow("complete") << quint64(200000000) << quint64(200000000) << 100;
    QTest::newRow("more than announced") << quint64(300) << quint64(100) << 100;
    QTest::newRow("beyond 32 bits")
        << quint64(3) * (quint64(1) << 32) << quint64(4) * (quint64(1) << 32) << 75;
    // received * 100 no longer fits in 64 bits here.
    QTest::newRow("huge, one byte short") << max - 1 << max << 99;
    QTest::newRow("huge, a third") << max / 3 << max << 33;
    QTest::newRow("huge, complete") << max << max << 100;
}

void TestProgress::percent()
{
    QFETCH(quint64, received);
    QFETCH(quint64, size);
    QFETCH(int, expected);
    QCOMPARE(ProgressPercent(received, size), expected);
}

void TestProgress::neverFallsNorPassesHundred()
{
    const quint64 size = 200000000;
    int previous = 0;
    for (quint64 received = 0; received <= 2 * size; received += 1048573) {
        const int percent = ProgressPercent(received, size);
        QVERIFY2(percent >= previous, qPrintable(QString::number(received)));
        QVERIFY(percent <= 100);
        previous = percent;
    }
    QCOMPARE(previous, 100);
}

void TestProgress::line_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<quint64>("received");
    QTest::addColumn<quint64>("size");
    QTest::addColumn<QString>("expected");

    QTest::newRow("with size") << QStringLiteral("demo/data/a.pak") << quint64(100000000)
                               << quint64(200000000)
                               << QStringLiteral("Downloading demo/data/a.pak: 50%");
    QTest::newRow("capped") << QStringLiteral("x") << quint64(5000) << quint64(10)
                            << QStringLiteral("Downloading x: 100%");
    QTest::newRow("start") << QStringLiteral("x") << quint64(0) << quint64(10)
                           << QStringLiteral("Downloading x: 0%");
    QTest::newRow("size unknown") << QStringLiteral("demo/patch.db") << quint64(12345) << quint64(0)
                                  << QStringLiteral("Downloading demo/patch.db");
}

void TestProgress::line()
{
    QFETCH(QString, path);
    QFETCH(quint64, received);
    QFETCH(quint64, size);
    QFETCH(QString, expected);
    QCOMPARE(ProgressLine(path, received, size), expected);
}

QTEST_GUILESS_MAIN(TestProgress)
#include "tst_progress.moc"
