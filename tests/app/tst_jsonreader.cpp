// JsonReader: outside JSON with a member named twice is refused before Qt's
// parser sees it (that parser leaks a replaced object or array member).
#include "app/jsonreader.h"

#include <QJsonObject>
#include <QtTest>

class TestJsonReader : public QObject
{
    Q_OBJECT

private slots:
    void duplicates_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("name");
        QTest::newRow("none") << QByteArray(R"({"a":{"b":1},"c":[{"a":1},{"a":2}]})") << -1 << "";
        QTest::newRow("same names in sibling objects") << QByteArray(R"([{"a":1},{"a":2}])") << -1 << "";
        QTest::newRow("object replaced") << QByteArray(R"({"a":{"b":"c"},"a":[1]})") << 15 << "a";
        QTest::newRow("nested") << QByteArray(R"({"x":{"k":1, "k" :2}})") << 13 << "k";
        QTest::newRow("escaped spelling") << QByteArray(R"({"ab":1,"\u0061b":2})") << 8 << "ab";
        // Two spellings of one name: an escape and its UTF-8 bytes.
        QTest::newRow("utf-8 and escape") << QByteArray("{\"M\xc3\xa9\":{},\"M\\u00e9\":[]}") << 10
                                          << QString("M") + QChar(0xe9);
        // The parser refuses invalid UTF-8 anyway: not a name to compare.
        QTest::newRow("invalid utf-8") << QByteArray("{\"M\xaf\":{},\"M\xaf\":[]}") << -1 << "";
        QTest::newRow("string values are not names") << QByteArray(R"({"a":"a","b":"a"})") << -1 << "";
        QTest::newRow("quote inside a name") << QByteArray(R"({"a\"":1,"a":2})") << -1 << "";
        QTest::newRow("unterminated") << QByteArray(R"({"a":1,"a)") << -1 << "";
        QTest::newRow("trailing backslash") << QByteArray("{\"a\\") << -1 << "";
        QTest::newRow("closers without openers") << QByteArray(R"(]]}}{"a":1})") << -1 << "";
    }
    void duplicates()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, offset);
        QFETCH(QString, name);
        QString found;
        QCOMPARE(JsonReader::duplicateMember(text, &found), offset);
        QCOMPARE(found, name);
    }

    void refusedTextIsAParseError()
    {
        QTest::ignoreMessage(QtWarningMsg, "json refused, member \"a\" given twice at offset 15");
        QJsonParseError pe{};
        const QJsonDocument doc = JsonReader::parse(R"({"a":{"b":"c"},"a":[1]})", &pe);
        QVERIFY(doc.isNull());
        QCOMPARE(pe.error, QJsonParseError::IllegalValue);
        QCOMPARE(pe.offset, 15);
    }

    void acceptedTextParsesAsQtDoes()
    {
        QJsonParseError pe{};
        const QJsonDocument doc = JsonReader::parse(R"( {"ret": 0, "angle": 50} )", &pe);
        QCOMPARE(pe.error, QJsonParseError::NoError);
        QCOMPARE(doc.object().value("angle").toInt(), 50);
        QVERIFY(JsonReader::parse("{\"a\":", &pe).isNull());
        QVERIFY(pe.error != QJsonParseError::NoError);
    }
};

QTEST_GUILESS_MAIN(TestJsonReader)
#include "tst_jsonreader.moc"
