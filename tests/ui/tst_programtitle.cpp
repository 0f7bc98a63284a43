#include "app/Startup.h"

#include <QObject>
#include <QTest>
#include <QWidget>

class TestProgramTitle : public QObject
{
    Q_OBJECT

private slots:
    void title_data();
    void title();
};

void TestProgramTitle::title_data()
{
    QTest::addColumn<bool>("withExtra");
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QString>("expected");
    QTest::newRow("null") << false << QByteArray() << QStringLiteral("Z/O/L Portal v1.0");
    QTest::newRow("empty, as start-up passes it")
        << true << QByteArray("") << QStringLiteral("Z/O/L Portal v1.0 ");
    QTest::newRow("text") << true << QByteArray("beta 2")
                          << QStringLiteral("Z/O/L Portal v1.0 beta 2");
}

void TestProgramTitle::title()
{
    QFETCH(bool, withExtra);
    QFETCH(QByteArray, extra);
    QFETCH(QString, expected);
    QWidget window;
    window.setWindowTitle(QStringLiteral("before"));
    SetProgramTitle(&window, withExtra ? extra.constData() : nullptr);
    QCOMPARE(window.windowTitle(), expected);
}

QTEST_MAIN(TestProgramTitle)
#include "tst_programtitle.moc"
