#include "app/IniSyntax.h"

#include <QObject>
#include <QTest>

#include <climits>

// The configuration reader's syntax, looked up the way start-up looks up its keys.
class TestIniSyntax : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void atoi_data();
    void atoi();
};

void TestIniSyntax::parse_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("defined");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("entries");

    // A comment line holding a key line in its last characters: one read takes
    // 1023 characters, so "url=..." comes back as a line of its own.
    const QByteArray tail = "url=http://tail.example/" + QByteArray(53, 't');
    const QByteArray longLine = ';' + QByteArray(1022, 'x') + tail;
    QCOMPARE(longLine.size(), 1100);
    const QByteArray longValue = "url=" + QByteArray(1096, 'v');

    QTest::newRow("capitals") << QByteArray("[WEB]\nURL = http://Example.ORG\n")
                              << QByteArray("web:url") << true << QByteArray("http://Example.ORG")
                              << 1;
    QTest::newRow("look-up in capitals")
        << QByteArray("[web]\nurl = a\n") << QByteArray("Web:URL") << true << QByteArray("a") << 1;
    QTest::newRow("leading white space") << QByteArray("  \t[web]\n\t url\t= a\n")
                                         << QByteArray("web:url") << true << QByteArray("a") << 1;
    QTest::newRow("blank before name")
        << QByteArray("[ web]\nurl = a\n") << QByteArray("web:url") << false << QByteArray() << 1;
    QTest::newRow("blank kept in name") << QByteArray("[web ]\nurl = a\n") << QByteArray("web :url")
                                        << true << QByteArray("a") << 1;
    QTest::newRow("missing bracket")
        << QByteArray("[web\nurl = a\n") << QByteArray("web:url") << false << QByteArray() << 1;
    QTest::newRow("missing bracket keeps line end")
        << QByteArray("[Web\nurl = a\n") << QByteArray("web\n:url") << true << QByteArray("a") << 1;
    QTest::newRow("text after bracket") << QByteArray("[web] ; main server\nurl = a\n")
                                        << QByteArray("web:url") << true << QByteArray("a") << 1;
    QTest::newRow("empty brackets are no section")
        << QByteArray("[web]\n[]\nurl = a\n") << QByteArray("web:url") << true << QByteArray("a")
        << 1;
    QTest::newRow("empty value") << QByteArray("[web]\nurl =\n") << QByteArray("web:url") << false
                                 << QByteArray() << 0;
    QTest::newRow("empty value before comment")
        << QByteArray("[web]\nurl =  ; none\n") << QByteArray("web:url") << false << QByteArray()
        << 0;
    QTest::newRow("empty value keeps earlier one")
        << QByteArray("[web]\nurl = a\nurl = \n") << QByteArray("web:url") << true
        << QByteArray("a") << 1;
    QTest::newRow("two double quotes at line end")
        << QByteArray("[web]\nurl = \"\"\n") << QByteArray("web:url") << true << QByteArray("\"\"")
        << 1;
    QTest::newRow("two single quotes at line end")
        << QByteArray("[web]\nurl = ''\n") << QByteArray("web:url") << true << QByteArray("''")
        << 1;
    QTest::newRow("two double quotes before semicolon")
        << QByteArray("[web]\nurl = \"\";nothing\n") << QByteArray("web:url") << true
        << QByteArray() << 1;
    QTest::newRow("two single quotes before hash")
        << QByteArray("[web]\nurl = ''#nothing\n") << QByteArray("web:url") << true << QByteArray()
        << 1;
    QTest::newRow("two quotes at end of file")
        << QByteArray("[web]\nurl = \"\"") << QByteArray("web:url") << true << QByteArray() << 1;
    QTest::newRow("two quotes and a blank at end of file")
        << QByteArray("[web]\nurl = \"\" ") << QByteArray("web:url") << true << QByteArray("\"\"")
        << 1;
    QTest::newRow("inline comment") << QByteArray("[web]\nurl = a b ; comment\n")
                                    << QByteArray("web:url") << true << QByteArray("a b") << 1;
    QTest::newRow("hash comment") << QByteArray("[web]\nurl = a#b\n") << QByteArray("web:url")
                                  << true << QByteArray("a") << 1;
    QTest::newRow("equals sign in bare value")
        << QByteArray("[web]\nurl = a=b\n") << QByteArray("web:url") << true << QByteArray("a=b")
        << 1;
    QTest::newRow("quoted semicolon")
        << QByteArray("[web]\nurl = \"a;b#c=d\" ignored\n") << QByteArray("web:url") << true
        << QByteArray("a;b#c=d") << 1;
    QTest::newRow("single-quoted") << QByteArray("[web]\nurl = ' x;y '\n") << QByteArray("web:url")
                                   << true << QByteArray(" x;y") << 1;
    QTest::newRow("unterminated quote")
        << QByteArray("[web]\nurl = \"abc ;d\n") << QByteArray("web:url") << true
        << QByteArray("abc ;d") << 1;
    QTest::newRow("digits then letters")
        << QByteArray("[web]\nport = 8080abc\n") << QByteArray("web:port") << true
        << QByteArray("8080abc") << 1;
    QTest::newRow("key with inner blanks")
        << QByteArray("[web]\nBase Url \t = a\n") << QByteArray("web:base url") << true
        << QByteArray("a") << 1;
    QTest::newRow("duplicate key")
        << QByteArray("[web]\nurl = a\n[portal]\nlog = x\n[web]\nurl = b\n")
        << QByteArray("web:url") << true << QByteArray("b") << 2;
    QTest::newRow("key before any section")
        << QByteArray("url = a\n[web]\n") << QByteArray("web:url") << false << QByteArray() << 1;
    QTest::newRow("key before any section is stored bare")
        << QByteArray("url = a\n[web]\n") << QByteArray(":url") << true << QByteArray("a") << 1;
    QTest::newRow("comment lines") << QByteArray("[web]\n;url = a\n  # url = b\n")
                                   << QByteArray("web:url") << false << QByteArray() << 0;
    QTest::newRow("line without equals sign")
        << QByteArray("[web]\nurl a\nurl = b\n") << QByteArray("web:url") << true << QByteArray("b")
        << 1;
    QTest::newRow("line starting with equals sign")
        << QByteArray("[web]\n= a\n") << QByteArray("web:") << false << QByteArray() << 0;
    QTest::newRow("CRLF line ends") << QByteArray("[Web]\r\nurl = a \r\nport = 81\r\n")
                                    << QByteArray("web:url") << true << QByteArray("a") << 2;
    QTest::newRow("CRLF two quotes") << QByteArray("[web]\r\nurl = \"\"\r\n")
                                     << QByteArray("web:url") << true << QByteArray("\"\"") << 1;
    QTest::newRow("CRLF missing bracket")
        << QByteArray("[web\r\nurl = a\r\n") << QByteArray("web\r\n:url") << true << QByteArray("a")
        << 1;
    QTest::newRow("no final line end")
        << QByteArray("[web]\nurl = a") << QByteArray("web:url") << true << QByteArray("a") << 1;
    QTest::newRow("long line tail is a key line")
        << QByteArray("[web]\n" + longLine + "\n") << QByteArray("web:url") << true << tail.mid(4)
        << 1;
    QTest::newRow("long value cut at read length")
        << QByteArray("[web]\n" + longValue + "\n") << QByteArray("web:url") << true
        << QByteArray(1019, 'v') << 1;
}

void TestIniSyntax::parse()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, key);
    QFETCH(bool, defined);
    QFETCH(QByteArray, value);
    QFETCH(int, entries);

    const IniDictionary dictionary = ParseIniText(content.toStdString());
    const std::optional<std::string> found = IniLookup(dictionary, key.toStdString());
    QCOMPARE(found.has_value(), defined);
    if (found)
        QCOMPARE(QByteArray::fromStdString(*found), value);
    QCOMPARE(int(dictionary.size()), entries);
}

void TestIniSyntax::atoi_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("number");

    QTest::newRow("digits") << QByteArray("8080") << 8080;
    QTest::newRow("digits then letters") << QByteArray("8080abc") << 8080;
    QTest::newRow("letters only") << QByteArray("http") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("leading blanks and sign") << QByteArray(" \t-12") << -12;
    QTest::newRow("plus sign") << QByteArray("+7x") << 7;
    QTest::newRow("sign then blank") << QByteArray("- 5") << 0;
    QTest::newRow("hexadecimal is not read") << QByteArray("0x10") << 0;
    QTest::newRow("blank inside digits") << QByteArray("80 80") << 80;
    QTest::newRow("largest") << QByteArray("2147483647") << INT_MAX;
    QTest::newRow("smallest") << QByteArray("-2147483648") << INT_MIN;
    QTest::newRow("too large is clamped") << QByteArray("99999999999999999999") << INT_MAX;
    QTest::newRow("too small is clamped") << QByteArray("-2147483649") << INT_MIN;
}

void TestIniSyntax::atoi()
{
    QFETCH(QByteArray, text);
    QFETCH(int, number);
    QCOMPARE(IniAtoi(text.toStdString()), number);
}

QTEST_GUILESS_MAIN(TestIniSyntax)
#include "tst_inisyntax.moc"
