#include "library/MainWindow.h"

#include "Fixtures.h"
#include "TestHttpServer.h"
#include "app/PortalSettings.h"
#include "app/ProgramLog.h"
#include "entry/GameEntry.h"
#include "ui_MainWindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

namespace {

GameInfo Game(const QString &uuid)
{
    GameInfo info;
    info.uuid = uuid;
    info.nickname = u"nick"_qs;
    info.title = u"Title "_qs + uuid;
    return info;
}

QVBoxLayout *Section(MainWindow &window, const char *name)
{
    return window.findChild<QVBoxLayout *>(QLatin1String(name));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void formObjects_data();
    void formObjects();
    void formLayouts_data();
    void formLayouts();
    void formLooks();
    void presetObjectNameIsKept();
    void entriesAreFollowedByLines();
    void clearLayoutDeletesAtOnce();
    void findMainWindow_data();
    void findMainWindow();
    void destroyedWithRequestInFlight();
    void destructorRemovesEveryConnection();

private:
    QString startDir;
    QTemporaryDir *temp = nullptr;
    QTemporaryDir logDir;
    QString logPath;
    PortalSettings settings;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(logDir.isValid());
    logPath = logDir.filePath(u"portal.log"_qs);
    QCOMPARE(OpenProgramLog(logPath.toStdString()), 0);
}

void TestMainWindow::init()
{
    startDir = QDir::currentPath();
    temp = new QTemporaryDir;
    QVERIFY(temp->isValid());
    QVERIFY(QDir::setCurrent(temp->path()));
}

void TestMainWindow::cleanup()
{
    QDir::setCurrent(startDir);
    delete temp;
    temp = nullptr;
}

void TestMainWindow::formObjects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName"); // the parent QObject

    QTest::newRow("centralwidget") << u"centralwidget"_qs << u"QWidget"_qs << u"MainWindow"_qs;
    QTest::newRow("verticalLayout_4")
        << u"verticalLayout_4"_qs << u"QVBoxLayout"_qs << u"centralwidget"_qs;
    QTest::newRow("verticalLayout")
        << u"verticalLayout"_qs << u"QVBoxLayout"_qs << u"verticalLayout_4"_qs;
    QTest::newRow("groupBox") << u"groupBox"_qs << u"QGroupBox"_qs << u"centralwidget"_qs;
    QTest::newRow("verticalLayout_5")
        << u"verticalLayout_5"_qs << u"QVBoxLayout"_qs << u"groupBox"_qs;
    QTest::newRow("scrollArea") << u"scrollArea"_qs << u"QScrollArea"_qs << u"groupBox"_qs;
    QTest::newRow("scrollAreaWidgetContents")
        << u"scrollAreaWidgetContents"_qs << u"QWidget"_qs << u"qt_scrollarea_viewport"_qs;
    QTest::newRow("verticalLayout_6")
        << u"verticalLayout_6"_qs << u"QVBoxLayout"_qs << u"scrollAreaWidgetContents"_qs;
    QTest::newRow("verticalLayout_Installed")
        << u"verticalLayout_Installed"_qs << u"QVBoxLayout"_qs << u"verticalLayout_6"_qs;
    QTest::newRow("groupBox_2") << u"groupBox_2"_qs << u"QGroupBox"_qs << u"centralwidget"_qs;
    QTest::newRow("verticalLayout_7")
        << u"verticalLayout_7"_qs << u"QVBoxLayout"_qs << u"groupBox_2"_qs;
    QTest::newRow("scrollArea_2") << u"scrollArea_2"_qs << u"QScrollArea"_qs << u"groupBox_2"_qs;
    QTest::newRow("scrollAreaWidgetContents_2")
        << u"scrollAreaWidgetContents_2"_qs << u"QWidget"_qs << u"qt_scrollarea_viewport"_qs;
    QTest::newRow("verticalLayout_8")
        << u"verticalLayout_8"_qs << u"QVBoxLayout"_qs << u"scrollAreaWidgetContents_2"_qs;
    QTest::newRow("verticalLayout_Available")
        << u"verticalLayout_Available"_qs << u"QVBoxLayout"_qs << u"verticalLayout_8"_qs;
}

void TestMainWindow::formObjects()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);

    MainWindow window(&settings);
    const QList<QObject *> found = window.findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
    QVERIFY(found.first()->parent());
    QCOMPARE(found.first()->parent()->objectName(), parentName);
}

void TestMainWindow::formLayouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<bool>("enabled");

    const QMargins three(3, 3, 3, 3);
    QTest::newRow("verticalLayout_4") << u"verticalLayout_4"_qs << 3 << three << true;
    QTest::newRow("verticalLayout_5") << u"verticalLayout_5"_qs << 3 << three << true;
    QTest::newRow("verticalLayout_6") << u"verticalLayout_6"_qs << 3 << three << true;
    QTest::newRow("verticalLayout_7") << u"verticalLayout_7"_qs << 3 << three << true;
    QTest::newRow("verticalLayout_8") << u"verticalLayout_8"_qs << 3 << three << true;
    // The layout of the two group boxes is switched off by the constructor.
    QTest::newRow("verticalLayout") << u"verticalLayout"_qs << -1 << QMargins() << false;
}

void TestMainWindow::formLayouts()
{
    QFETCH(QString, name);
    QFETCH(int, spacing);
    QFETCH(QMargins, margins);
    QFETCH(bool, enabled);

    MainWindow window(&settings);
    auto *layout = window.findChild<QVBoxLayout *>(name);
    QVERIFY(layout);
    if (spacing >= 0)
        QCOMPARE(layout->spacing(), spacing);
    if (!margins.isNull())
        QCOMPARE(layout->contentsMargins(), margins);
    QCOMPARE(layout->isEnabled(), enabled);
}

void TestMainWindow::formLooks()
{
    MainWindow window(&settings);
    QCOMPARE(window.objectName(), u"MainWindow"_qs);
    QCOMPARE(window.windowTitle(), u"MainWindow"_qs);
    QCOMPARE(window.size(), QSize(400, 480));
    QVERIFY(!window.menuWidget());
    QCOMPARE(window.centralWidget()->objectName(), u"centralwidget"_qs);

    const QStringList boxes = {u"groupBox"_qs, u"groupBox_2"_qs};
    const QStringList titles = {u"Installed"_qs, u"Download"_qs};
    const QStringList areas = {u"scrollArea"_qs, u"scrollArea_2"_qs};
    const QStringList contents = {u"scrollAreaWidgetContents"_qs, u"scrollAreaWidgetContents_2"_qs};
    auto *outer = window.findChild<QVBoxLayout *>(u"verticalLayout"_qs);
    for (int i = 0; i < 2; ++i) {
        auto *box = window.findChild<QGroupBox *>(boxes[i]);
        QVERIFY(box);
        QCOMPARE(box->title(), titles[i]);
        QCOMPARE(int(box->alignment()), int(Qt::AlignLeft | Qt::AlignTop));
        QCOMPARE(outer->indexOf(box), i); // "Installed" above "Download"
        auto *area = window.findChild<QScrollArea *>(areas[i]);
        QVERIFY(area->widgetResizable());
        QCOMPARE(int(area->alignment()), int(Qt::AlignLeft | Qt::AlignTop));
        QCOMPARE(area->widget()->objectName(), contents[i]);
    }
    QCOMPARE(Section(window, "verticalLayout_Installed")->count(), 0);
    QCOMPARE(Section(window, "verticalLayout_Available")->count(), 0);
}

void TestMainWindow::presetObjectNameIsKept()
{
    QMainWindow preset;
    preset.setObjectName(u"Portal"_qs);
    Ui::MainWindow form;
    form.setupUi(&preset);
    QCOMPARE(preset.objectName(), u"Portal"_qs);
    QCOMPARE(form.verticalLayout_Available->objectName(), u"verticalLayout_Available"_qs);

    QMainWindow plain;
    Ui::MainWindow form2;
    form2.setupUi(&plain);
    QCOMPARE(plain.objectName(), u"MainWindow"_qs);
}

void TestMainWindow::entriesAreFollowedByLines()
{
    MainWindow window(&settings);
    QVBoxLayout *section = Section(window, "verticalLayout_Installed");
    const QStringList uuids = {u"c"_qs, u"a"_qs, u"b"_qs};
    for (const QString &uuid : uuids)
        window.AddGameEntry(Game(uuid), u"Launch"_qs, section);

    QCOMPARE(section->count(), 6);
    QCOMPARE(int(section->alignment()), int(Qt::AlignTop));
    QCOMPARE(Section(window, "verticalLayout_Available")->count(), 0);
    for (int i = 0; i < uuids.size(); ++i) {
        auto *entry = qobject_cast<GameEntry *>(section->itemAt(2 * i)->widget());
        QVERIFY(entry);
        QCOMPARE(entry->Info().uuid, uuids[i]); // in the order of the calls
        QCOMPARE(entry->parentWidget()->objectName(), u"scrollAreaWidgetContents"_qs);
        auto *line = qobject_cast<QFrame *>(section->itemAt(2 * i + 1)->widget());
        QVERIFY(line);
        QVERIFY(!qobject_cast<GameEntry *>(line));
        QCOMPARE(line->frameShape(), QFrame::HLine);
        QCOMPARE(line->frameShadow(), QFrame::Sunken);
    }
}

void TestMainWindow::clearLayoutDeletesAtOnce()
{
    MainWindow window(&settings);
    QVBoxLayout *section = Section(window, "verticalLayout_Available");
    for (const QString &uuid : {u"x"_qs, u"y"_qs})
        window.AddGameEntry(Game(uuid), u"Download"_qs, section);
    auto *nested = new QVBoxLayout;
    auto *nestedLabel = new QLabel(u"nested"_qs);
    nested->addWidget(nestedLabel);
    section->addLayout(nested);

    QList<QPointer<QWidget>> widgets;
    for (int i = 0; i < section->count(); ++i) {
        if (QWidget *widget = section->itemAt(i)->widget())
            widgets.append(widget);
    }
    widgets.append(nestedLabel);
    QCOMPARE(widgets.size(), 5);

    MainWindow::ClearLayout(section);
    QCOMPARE(section->count(), 0);
    // No event loop in between: the widgets must already be gone.
    for (const QPointer<QWidget> &widget : std::as_const(widgets))
        QVERIFY(widget.isNull());
    MainWindow::ClearLayout(section); // an empty section stays empty
    QCOMPARE(section->count(), 0);
}

void TestMainWindow::findMainWindow_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("findsWindow");

    QTest::newRow("the window itself") << u"window"_qs << true;
    QTest::newRow("an entry in a section") << u"entry"_qs << true;
    QTest::newRow("the label inside an entry") << u"label"_qs << true;
    QTest::newRow("a plain object owned by the window") << u"owned object"_qs << true;
    QTest::newRow("null") << u"null"_qs << false;
    QTest::newRow("an object without parent") << u"orphan"_qs << false;
    QTest::newRow("a widget of another window") << u"stranger"_qs << false;
}

void TestMainWindow::findMainWindow()
{
    QFETCH(QString, start);
    QFETCH(bool, findsWindow);

    MainWindow window(&settings);
    window.AddGameEntry(Game(u"g"_qs), u"Download"_qs, Section(window, "verticalLayout_Available"));
    auto *entry = window.findChild<GameEntry *>();
    QVERIFY(entry);
    QObject owned(&window);
    QObject orphan;
    QWidget strangerWindow;
    QLabel stranger(&strangerWindow);

    QObject *object = nullptr;
    if (start == u"window")
        object = &window;
    else if (start == u"entry")
        object = entry;
    else if (start == u"label")
        object = entry->findChild<QLabel *>(u"labelTitle"_qs);
    else if (start == u"owned object")
        object = &owned;
    else if (start == u"orphan")
        object = &orphan;
    else if (start == u"stranger")
        object = &stranger;
    QVERIFY(start == u"null" || object);

    QCOMPARE(FindMainWindow(object), findsWindow ? &window : nullptr);
}

void TestMainWindow::destroyedWithRequestInFlight()
{
    TestHttpServer server;
    QVERIFY(server.listen());
    TestHttpResponse slow;
    WriteCatalogue(temp->filePath(u"served.db"_qs), {});
    slow.body = ReadFile(temp->filePath(u"served.db"_qs));
    QVERIFY(!slow.body.isEmpty());
    slow.chunkSize = 100;
    slow.pauseMs = 50;
    server.setResponse("/library.db", slow);

    settings.webUrl = "http://127.0.0.1";
    settings.webPort = server.port();
    auto *window = new MainWindow(&settings);
    window->Initialize(0, nullptr);
    QSignalSpy received(&server, &TestHttpServer::requestReceived);
    QVERIFY(received.wait(5000));
    delete window;

    // Nothing may react any more: a live reply would now report the closed
    // connection to slotError and slotFinished. Wait a bounded while, as this
    // checks that something does not happen.
    server.close();
    QTest::qWait(300);
    QVERIFY(!QFileInfo::exists(u"library.db"_qs));
    QVERIFY(!QSqlDatabase::contains(u"GAME_LIBRARY"_qs));
    QVERIFY(!ReadFile(logPath).contains("Network Error"));
}

void TestMainWindow::destructorRemovesEveryConnection()
{
    QVERIFY(WriteCatalogue(u"library.db"_qs, {}));
    auto *window = new MainWindow(&settings);
    window->OpenLibraryDatabase();
    QVERIFY(QSqlDatabase::database(u"GAME_LIBRARY"_qs).isOpen());
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_qs, u"other"_qs);
        other.setDatabaseName(temp->filePath(u"other.db"_qs));
        QVERIFY(other.open());
        QSqlDatabase::addDatabase(u"QSQLITE"_qs, u"never opened"_qs);
    }
    QCOMPARE(QSqlDatabase::connectionNames().size(), 3);
    delete window;
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
