#include "entry/GameEntry.h"

#include <QApplication>
#include <QBuffer>
#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

namespace {

QByteArray ImageBytes(const char *format)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

GameInfo Info(const QString &title, const QByteArray &icon = {}, bool installed = false)
{
    GameInfo info;
    info.title = title;
    info.uuid = u"uuid-1"_qs;
    info.nickname = u"nick"_qs;
    info.description = u"line one\n    indented line"_qs;
    info.icon = icon;
    info.installed = installed;
    return info;
}

QPushButton *Button(GameEntry &entry)
{
    return entry.findChild<QPushButton *>(u"pushButton"_qs);
}

QLabel *Title(GameEntry &entry)
{
    return entry.findChild<QLabel *>(u"labelTitle"_qs);
}

} // namespace

class TestGameEntry : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void heightIsFixed_data();
    void heightIsFixed();
    void texts_data();
    void texts();
    void icon_data();
    void icon();
    void releaseRunsTheButtonAction();
    void contextMenuOnlyOnTheButton();
};

void TestGameEntry::form()
{
    QWidget parent;
    GameEntry entry(Info(u"Game"_qs), u"Download"_qs, &parent);
    QCOMPARE(entry.objectName(), u"GameEntry"_qs);
    QCOMPARE(entry.parentWidget(), &parent);
    QCOMPARE(entry.minimumSize(), QSize(310, 68));
    QCOMPARE(entry.maximumSize(), QSize(16777215, 68));
    QCOMPARE(entry.windowTitle(), u"Form"_qs);
    QVERIFY(entry.styleSheet().isEmpty());
    QVERIFY(!entry.autoFillBackground());

    auto *outer = qobject_cast<QHBoxLayout *>(entry.layout());
    QVERIFY(outer);
    QCOMPARE(outer->objectName(), u"horizontalLayout_2"_qs);
    QCOMPARE(outer->spacing(), 2);
    QCOMPARE(outer->contentsMargins(), QMargins(2, 2, 2, 2));
    QCOMPARE(outer->count(), 2);

    QPushButton *button = Button(entry);
    QCOMPARE(outer->itemAt(0)->widget(), button);
    QCOMPARE(button->minimumSize(), QSize(64, 64));
    QCOMPARE(button->maximumSize(), QSize(64, 64));
    QCOMPARE(button->iconSize(), QSize(64, 64));
    QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(button->isFlat());
    QVERIFY(button->text().isEmpty());
    QCOMPARE(button->contextMenuPolicy(), Qt::CustomContextMenu);

    auto *frame = entry.findChild<QFrame *>(u"frame"_qs);
    QCOMPARE(outer->itemAt(1)->widget(), frame);
    QCOMPARE(frame->minimumSize(), QSize(225, 0));
    QCOMPARE(frame->styleSheet(), u"background-color:rgb(170, 170, 127);"_qs);
    QCOMPARE(frame->frameShape(), QFrame::StyledPanel);
    QCOMPARE(frame->frameShadow(), QFrame::Raised);
    auto *panel = qobject_cast<QVBoxLayout *>(frame->layout());
    QCOMPARE(panel->objectName(), u"verticalLayout"_qs);
    QCOMPARE(panel->contentsMargins(), QMargins(2, 2, 2, 2));
    QCOMPARE(panel->count(), 1);
    QCOMPARE(panel->itemAt(0)->widget(), Title(entry));
    QCOMPARE(Title(entry)->font().pointSize(), 14);
    QVERIFY(Title(entry)->wordWrap());
    // Only the button has a menu.
    QCOMPARE(frame->contextMenuPolicy(), Qt::DefaultContextMenu);
    QCOMPARE(Title(entry)->contextMenuPolicy(), Qt::DefaultContextMenu);
}

void TestGameEntry::heightIsFixed_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("sectionWidth");

    QTest::newRow("short") << u"Go"_qs << 400;
    QTest::newRow("empty") << QString() << 400;
    QTest::newRow("long, wraps") << QString(u"A very long title "_qs.repeated(12)) << 400;
    QTest::newRow("several lines") << u"one\ntwo\nthree\nfour"_qs << 400;
    QTest::newRow("wide section") << u"Go"_qs << 900;
}

void TestGameEntry::heightIsFixed()
{
    QFETCH(QString, title);
    QFETCH(int, sectionWidth);

    QWidget section;
    auto *layout = new QVBoxLayout(&section);
    auto *entry = new GameEntry(Info(title), u"Launch"_qs, &section);
    layout->addWidget(entry);
    layout->addStretch();
    section.resize(sectionWidth, 600);
    section.show();
    QVERIFY(QTest::qWaitForWindowExposed(&section));

    QCOMPARE(entry->height(), 68);
    QVERIFY(entry->width() >= 310);
    QCOMPARE(entry->width(), section.contentsRect().width() - layout->contentsMargins().left() -
                                 layout->contentsMargins().right()); // grows with its section
    QVERIFY(entry->findChild<QFrame *>(u"frame"_qs)->width() >= 225);
    QCOMPARE(Button(*entry)->size(), QSize(64, 64));
}

void TestGameEntry::texts_data()
{
    QTest::addColumn<QString>("actionWord");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("description");

    QTest::newRow("installed") << u"Launch"_qs << u"Space Game"_qs << u"plain"_qs;
    QTest::newRow("available") << u"Download"_qs << u"Space Game"_qs << u"plain"_qs;
    QTest::newRow("lines and blanks kept")
        << u"Download"_qs << u"T"_qs << u"first\n   second  with  gaps\n\tthird"_qs;
    QTest::newRow("markup in the title") << u"Launch"_qs << u"<b>x</b> & y"_qs << QString();
}

void TestGameEntry::texts()
{
    QFETCH(QString, actionWord);
    QFETCH(QString, title);
    QFETCH(QString, description);

    GameInfo info = Info(title);
    info.description = description;
    QWidget parent;
    GameEntry entry(info, actionWord, &parent);

    QCOMPARE(Button(entry)->toolTip(), actionWord + u' ' + title);
    QCOMPARE(Title(entry)->text(), title);
    QCOMPARE(Title(entry)->toolTip(), u"<p style='white-space:pre'>"_qs + description);
    QVERIFY(Title(entry)->toolTip().endsWith(description)); // no closing tag added
    QCOMPARE(entry.Info().title, title);
    QCOMPARE(entry.Info().description, description);
    QCOMPARE(entry.Info().uuid, info.uuid);
    QCOMPARE(entry.Info().nickname, info.nickname);
}

void TestGameEntry::icon_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("shown");

    QTest::newRow("PNG") << ImageBytes("PNG") << true;
    QTest::newRow("BMP") << ImageBytes("BMP") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("not an image") << QByteArray("GIF89a but not really") << false;
    QTest::newRow("cut-off PNG") << ImageBytes("PNG").left(20) << false;
}

void TestGameEntry::icon()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, shown);

    QWidget parent;
    GameEntry entry(Info(u"Game"_qs, bytes), u"Download"_qs, &parent);
    const QIcon icon = Button(entry)->icon();
    QCOMPARE(icon.isNull(), !shown);
    QCOMPARE(icon.pixmap(16, 16).isNull(), !shown);
    QCOMPARE(entry.Info().icon, bytes);
    // Without a picture the button keeps its shape and stays usable.
    QCOMPARE(Button(entry)->minimumSize(), QSize(64, 64));
    QVERIFY(Button(entry)->isFlat());
    QVERIFY(Button(entry)->text().isEmpty());
    QVERIFY(Button(entry)->isEnabled());
}

void TestGameEntry::releaseRunsTheButtonAction()
{
    // An available game asks before it downloads; answering Cancel shows that the
    // button's release reached the entry, and nothing else happens.
    QWidget parent;
    auto *entry = new GameEntry(Info(u"Broken Icon"_qs, "no image"), u"Download"_qs, &parent);
    QSignalSpy released(Button(*entry), &QPushButton::released);
    QSignalSpy clicked(Button(*entry), &QPushButton::clicked);

    QString boxTitle;
    QString boxText;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        boxTitle = box->windowTitle();
        boxText = box->text();
        box->button(QMessageBox::Cancel)->click();
    });
    emit Button(*entry)->released();

    QCOMPARE(released.count(), 1);
    QCOMPARE(clicked.count(), 0); // the action hangs on released, not clicked
    QCOMPARE(boxTitle, u"Verify Download"_qs);
    QVERIFY2(boxText.contains(u"Broken Icon"_qs), qPrintable(boxText));
    QVERIFY(!QApplication::activeModalWidget());
    delete entry;
}

void TestGameEntry::contextMenuOnlyOnTheButton()
{
    QWidget parent;
    auto *entry = new GameEntry(Info(u"Game"_qs, {}, true), u"Launch"_qs, &parent);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    QStringList shown;
    QTimer::singleShot(0, this, [&] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            for (const QAction *action : menu->actions())
                shown.append(action->text());
            menu->close();
        }
    });
    emit Button(*entry)->customContextMenuRequested(QPoint(5, 5));
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.first(), u"Launch"_qs);
    QVERIFY(!QApplication::activePopupWidget());
    delete entry;
}

QTEST_MAIN(TestGameEntry)
#include "tst_gameentry.moc"
