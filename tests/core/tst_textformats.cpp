// The request reader and the reply builders, byte for byte.
#include "core/textformats.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <limits>

class TestTextFormats : public QObject
{
    Q_OBJECT

private slots:
    void numberText_data();
    void numberText();
    void requestValue_data();
    void requestValue();
    void requestIsObject_data();
    void requestIsObject();
    void requestList_data();
    void requestList();
    void replyJson();
    void replyJsonEscapes_data();
    void replyJsonEscapes();
    void taggedValueText();
    void fieldRowText();
    void recordPage();
    void warningList();
    void daySeries_data();
    void daySeries();
};

void TestTextFormats::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.5") << 1.5 << "1.5";
    QTest::newRow("10") << 10.0 << "10";
    QTest::newRow("0") << 0.0 << "0";
    QTest::newRow("-0") << -0.0 << "0";
    QTest::newRow("-3") << -3.0 << "-3";
    QTest::newRow("0.1") << 0.1 << "0.1";
    QTest::newRow("0.1+0.2") << 0.1 + 0.2 << "0.30000000000000004";
    QTest::newRow("1e21") << 1e21 << "1e+21";
    QTest::newRow("1e20") << 1e20 << "100000000000000000000";
    QTest::newRow("1.5e21") << 1.5e21 << "1.5e+21";
    QTest::newRow("123456789012") << 123456789012.0 << "123456789012";
    QTest::newRow("1e-7") << 1e-7 << "1e-7";
    QTest::newRow("1.25e-7") << 1.25e-7 << "1.25e-7";
    QTest::newRow("1e-6") << 1e-6 << "0.000001";
    QTest::newRow("0.00012") << 0.00012 << "0.00012";
    QTest::newRow("-2.5e-10") << -2.5e-10 << "-2.5e-10";
    QTest::newRow("max") << std::numeric_limits<double>::max() << "1.7976931348623157e+308";
    QTest::newRow("denormal") << 5e-324 << "5e-324";
}

void TestTextFormats::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(ecmaNumberText(value), expected);
}

void TestTextFormats::requestValue_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("expected"); // the text of the key "k"
    QTest::newRow("string") << R"({"k":"COM3"})" << "COM3";
    QTest::newRow("string kept as is") << "{\"k\":\" a\\\"b,c \"}" << " a\"b,c ";
    QTest::newRow("empty string") << R"({"k":""})" << "";
    QTest::newRow("integer") << R"({"k":10})" << "10";
    QTest::newRow("fraction") << R"({"k":1.5})" << "1.5";
    QTest::newRow("exponent written") << R"({"k":2E3})" << "2000";
    QTest::newRow("big") << R"({"k":1e21})" << "1e+21";
    QTest::newRow("small") << R"({"k":0.0000001})" << "1e-7";
    QTest::newRow("negative") << R"({"k":-0.5})" << "-0.5";
    QTest::newRow("true") << R"({"k":true})" << "true";
    QTest::newRow("false") << R"({"k":false})" << "false";
    QTest::newRow("null") << R"({"k":null})" << "null";
    QTest::newRow("array") << R"({"k":["a@b.c","x@y.z"]})" << "a@b.c,x@y.z";
    QTest::newRow("array of numbers") << R"({"k":[1,2.5,true]})" << "1,2.5,true";
    QTest::newRow("empty array") << R"({"k":[]})" << "";
    QTest::newRow("array with empty items") << R"({"k":["",""]})" << ",";
    QTest::newRow("array with null") << R"({"k":["a",null,"b"]})" << "a,,b";
    QTest::newRow("nested array") << R"({"k":[["a","b"],"c"]})" << "a,b,c";
    QTest::newRow("object") << R"({"k":{"x":1}})" << "[object Object]";
    QTest::newRow("missing key") << R"({"other":"x"})" << "";
    QTest::newRow("empty text") << "" << "";
    QTest::newRow("not json") << "value" << "";
    QTest::newRow("truncated") << R"({"k":"x")" << "";
    QTest::newRow("array request") << R"([{"k":"x"}])" << "";
    QTest::newRow("string request") << R"("k")" << "";
    QTest::newRow("unicode") << QString::fromUtf8(R"({"k":"短信\u0041"})") << QString::fromUtf8("短信A");
}

void TestTextFormats::requestValue()
{
    QFETCH(QString, request);
    QFETCH(QString, expected);
    QCOMPARE(RequestJson(request).value(QStringLiteral("k")), expected);
}

void TestTextFormats::requestIsObject_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("isObject");
    QTest::newRow("object") << R"({"k":"x"})" << true;
    QTest::newRow("empty object") << "{}" << true;
    QTest::newRow("empty text") << "" << false;
    QTest::newRow("garbage") << "{k:x}" << false;
    QTest::newRow("array") << "[]" << false;
    QTest::newRow("number") << "5" << false;
    QTest::newRow("null") << "null" << false;

    // Oversized values are refused where they enter: the whole request is no request.
    const QString kib(kMaxRequestText, QLatin1Char('x'));
    const auto member = [](const QString &json) { return QStringLiteral("{\"a\":\"1\",\"k\":%1}").arg(json); };
    QTest::newRow("text of 1 KiB") << member('"' + kib + '"') << true;
    QTest::newRow("text of 1 KiB and one") << member('"' + kib + "x\"") << false;
    QTest::newRow("20 MB text") << member('"' + QString(20 << 20, QLatin1Char('x')) + '"') << false;
    QStringList entries(kMaxRequestListEntries, QStringLiteral("user@example.org"));
    QTest::newRow("list of 500 entries") << member('"' + entries.join(',') + '"') << true;
    QTest::newRow("list of 501 entries") << member('"' + (entries + QStringList{"x"}).join(',') + '"') << false;
    QTest::newRow("list with an entry beyond 1 KiB") << member("\"a," + kib + "x\"") << false;
    QTest::newRow("list beyond 64 KiB") << member('"' + QStringList(100, kib).join(',') + '"') << false;
    QStringList items(kMaxRequestListEntries + 1, QStringLiteral("\"1\""));
    QTest::newRow("array of 501 items") << member('[' + items.join(',') + ']') << false;
    QTest::newRow("array item beyond 1 KiB") << member("[\"" + kib + "x\"]") << false;
    QTest::newRow("nested text beyond 1 KiB") << member("[{\"t\":\"" + kib + "x\"}]") << false;
    QTest::newRow("key beyond 1 KiB") << QStringLiteral("{\"%1\":\"1\"}").arg(kib + 'x') << false;
}

void TestTextFormats::requestIsObject()
{
    QFETCH(QString, request);
    QFETCH(bool, isObject);
    QCOMPARE(RequestJson(request).isObject(), isObject);
}

void TestTextFormats::requestList_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("array") << R"({"k":["a","b"]})" << QStringList{"a", "b"};
    QTest::newRow("joined text") << R"({"k":"a,b"})" << QStringList{"a", "b"};
    QTest::newRow("comma inside an item splits it") << R"({"k":["a,b","c"]})" << QStringList{"a", "b", "c"};
    QTest::newRow("empty parts kept") << R"({"k":",a,"})" << QStringList{"", "a", ""};
    QTest::newRow("empty text is one empty item") << R"({"k":""})" << QStringList{""};
    QTest::newRow("empty array is one empty item") << R"({"k":[]})" << QStringList{""};
    QTest::newRow("missing is one empty item") << "{}" << QStringList{""};
}

void TestTextFormats::requestList()
{
    QFETCH(QString, request);
    QFETCH(QStringList, expected);
    QCOMPARE(RequestJson(request).list(QStringLiteral("k")), expected);
}

void TestTextFormats::replyJson()
{
    QCOMPARE(ReplyJson().text(), QStringLiteral("{}"));
    const QString text = ReplyJson()
                             .add("smsFlag", QStringLiteral("0"))
                             .addObject("comName", ReplyJson().addList("com", {}).add("selected", QStringLiteral("None")))
                             .addList("phones", {QStringLiteral("123"), QString()})
                             .add("signalquality", QString::number(45))
                             .text();
    QCOMPARE(text, QStringLiteral(R"({"smsFlag":"0","comName":{"com":[],"selected":"None"},"phones":["123",""],)"
                                  R"("signalquality":"45"})"));
    QVERIFY(QJsonDocument::fromJson(text.toUtf8()).isObject());
}

void TestTextFormats::replyJsonEscapes_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "a#b!c|d@e" << "a#b!c|d@e";
    QTest::newRow("non-ascii") << QString::fromUtf8("中国移动") << QString::fromUtf8("中国移动");
    QTest::newRow("quote") << "pa\"ss" << "pa\\\"ss";
    QTest::newRow("backslash") << "C:\\x" << "C:\\\\x";
    QTest::newRow("carriage return") << "M35\r" << "M35\\r";
    QTest::newRow("line feed and tab") << "a\nb\tc" << "a\\nb\\tc";
    QTest::newRow("nul and escape") << QStringLiteral("A") + QChar(0) + QChar(0x1B) << "A\\u0000\\u001b";
    QTest::newRow("slash stays") << "a/b" << "a/b";
}

void TestTextFormats::replyJsonEscapes()
{
    QFETCH(QString, value);
    QFETCH(QString, written);
    const QString text = ReplyJson().add("v", value).addList("l", {value}).text();
    QCOMPARE(text, QStringLiteral("{\"v\":\"%1\",\"l\":[\"%1\"]}").arg(written));
    const QJsonObject parsed = QJsonDocument::fromJson(text.toUtf8()).object();
    QCOMPARE(parsed.value(QLatin1String("v")).toString(), value);
}

void TestTextFormats::taggedValueText()
{
    QCOMPARE(TaggedValueText().text(), QString());
    QCOMPARE(TaggedValueText().addIf(false, "a", QStringLiteral("1")).text(), QString());
    QCOMPARE(TaggedValueText()
                 .add("outputfre", QStringLiteral("50.00"))
                 .addIf(false, "outputfac", QStringLiteral("0.9"))
                 .addIf(true, "outputvol", QString())
                 .add("q", QStringLiteral("a\"#b"))
                 .text(),
             QStringLiteral("#outputfre!50.00#outputvol!#q!a\"#b"));
}

void TestTextFormats::fieldRowText()
{
    QCOMPARE(FieldRowText().text(), QString());
    QCOMPARE(FieldRowText().addRow({QStringLiteral("2026-01-15"), QStringLiteral("3.5")}).text(),
             QStringLiteral("2026-01-15|3.5"));
    QCOMPARE(FieldRowText().addRow({"a", "b"}).addRow({"c", ""}).addRow({"d"}).text(), QStringLiteral("a|b@c|@d"));
}

void TestTextFormats::recordPage()
{
    QCOMPARE(recordPageJson({}, QString()), QStringLiteral(R"({"key":"","value":""})"));
    QCOMPARE(recordPageJson({"Time", "Event"}, FieldRowText().addRow({"t1", "Say \"hi\""}).text()),
             QStringLiteral("{\"key\":\"Time#Event\",\"value\":\"t1|Say \\\"hi\\\"\"}"));
}

void TestTextFormats::warningList()
{
    QCOMPARE(WarningListJson().text(), QStringLiteral("[]"));
    const QString text = WarningListJson()
                             .add(QStringLiteral("2026-01-15 12:00"), QStringLiteral("Communication failed"), "alarm")
                             .add(QStringLiteral("2026-01-15 11:59"), QStringLiteral("Bus fault happen"), "alarm")
                             .text();
    QCOMPARE(text, QStringLiteral(R"([{"date":"2026-01-15 12:00","description":"Communication failed","kind":"alarm"},)"
                                  R"({"date":"2026-01-15 11:59","description":"Bus fault happen","kind":"alarm"}])"));
    QVERIFY(QJsonDocument::fromJson(text.toUtf8()).isArray());
}

void TestTextFormats::daySeries_data()
{
    QTest::addColumn<QList<int>>("slotIndexes");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no values") << QList<int>() << QStringList() << "";
    QTest::newRow("first slot only") << QList<int>{0} << QStringList{"1.5"} << "1.5";
    QTest::newRow("00:10 only") << QList<int>{2} << QStringList{"0.25"} << "0#0#0.25";
    QTest::newRow("gap") << QList<int>{1, 4} << QStringList{"a", "b"} << "0#a#0#0#b";
    QTest::newRow("last slot of the day") << QList<int>{287} << QStringList{"x"}
                                          << QStringLiteral("0#").repeated(287) + QStringLiteral("x");
    QTest::newRow("outside the day ignored") << QList<int>{-1, 1, 288} << QStringList{"n", "a", "z"} << "0#a";
}

void TestTextFormats::daySeries()
{
    QFETCH(QList<int>, slotIndexes);
    QFETCH(QStringList, values);
    QFETCH(QString, expected);
    QMap<int, QString> series;
    for (int i = 0; i < slotIndexes.size(); ++i)
        series.insert(slotIndexes.at(i), values.at(i));
    QCOMPARE(daySeriesText(series), expected);
}

QTEST_GUILESS_MAIN(TestTextFormats)
#include "tst_textformats.moc"
