// SMS-SUBMIT PDUs against vectors worked out by hand from 3GPP TS 23.040 (address,
// first octet, lengths) and TS 23.038 (septet packing, default and extension alphabet,
// UCS2).
#include "notify/smspdu.h"

#include <QtTest>

class TestSmsPdu : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data();
    void numbers();
    void header_data();
    void header();
    void body_data();
    void body();
    void lengthLimits_data();
    void lengthLimits();
    void wholeSubmission();
};

void TestSmsPdu::numbers_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<bool>("international");

    QTest::newRow("national") << "13800138000" << true << "13800138000" << false;
    QTest::newRow("plus is international") << "+8613800138000" << true << "8613800138000" << true;
    QTest::newRow("twenty digits") << QString(20, QLatin1Char('9')) << true << QString(20, QLatin1Char('9')) << false;
    QTest::newRow("empty") << "" << false << "" << false;
    QTest::newRow("plus alone") << "+" << false << "" << false;
    QTest::newRow("letter") << "1380013800a" << false << "" << false;
    QTest::newRow("blank inside") << "138 0013 8000" << false << "" << false;
    QTest::newRow("dash") << "138-0013-8000" << false << "" << false;
    QTest::newRow("second plus") << "+86+138" << false << "" << false;
    QTest::newRow("quote") << "138'00" << false << "" << false;
    QTest::newRow("full-width digit") << QStringLiteral("138\uFF10") << false << "" << false;
    QTest::newRow("twenty-one digits") << QString(21, QLatin1Char('9')) << false << "" << false;
}

void TestSmsPdu::numbers()
{
    QFETCH(QString, number);
    QFETCH(bool, accepted);
    QString why;
    const std::optional<SmsNumber> n = parseSmsNumber(number, &why);
    QCOMPARE(n.has_value(), accepted);
    QCOMPARE(why.isEmpty(), accepted);
    if (accepted) {
        QTEST(n->digits, "digits");
        QTEST(n->international, "international");
    }
}

void TestSmsPdu::header_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("ucs2");
    QTest::addColumn<QString>("header");

    QTest::newRow("odd length gets the F pad") << "1234567" << false << "0011000791214365F7000001";
    QTest::newRow("UCS2 coding scheme") << "1234567" << true << "0011000791214365F7000801";
    QTest::newRow("even length no pad") << "12345678" << false << "001100089121436587000001";
    QTest::newRow("plus: digits after it, count in hex")
        << "+8613800138000" << false << "0011000d91683108108300F0000001";
}

void TestSmsPdu::header()
{
    QFETCH(QString, number);
    QFETCH(bool, ucs2);
    const std::optional<SmsNumber> n = parseSmsNumber(number);
    QVERIFY(n);
    QTEST(buildPduHeader(*n, ucs2 ? SmsAlphabet::Ucs2 : SmsAlphabet::Gsm7), "header");
}

void TestSmsPdu::body_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("preferGsm7");
    QTest::addColumn<bool>("sentGsm7");
    QTest::addColumn<QString>("body");

    QTest::newRow("abc 7-bit") << "abc" << true << true << "0361f118";
    QTest::newRow("hellohello") << "hellohello" << true << true << "0ae8329bfd4697d9ec37";
    QTest::newRow("at dollar underscore are GSM codes") << "@$_" << true << true << "03004104";
    QTest::newRow("euro is an escape pair") << QStringLiteral("\u20AC") << true << true << "029b32";
    QTest::newRow("bracket is an escape pair") << "[" << true << true << "021b1e";
    QTest::newRow("pound and e-acute in the default table")
        << QStringLiteral("\u00A3\u00E9") << true << true << "028102"; // septets 01 05
    QTest::newRow("abc UCS2") << "abc" << false << false << "06006100620063";
    QTest::newRow("Chinese UCS2") << QStringLiteral("\u4E2D\u6587") << false << false << "044e2d6587";
    QTest::newRow("Chinese falls back to UCS2")
        << QStringLiteral("a\u4E2D") << true << false << "0400614e2d";
    QTest::newRow("backquote is outside GSM") << "a`" << true << false << "0400610060";
    QTest::newRow("empty text") << "" << true << true << "00";
}

void TestSmsPdu::body()
{
    QFETCH(QString, text);
    QFETCH(bool, preferGsm7);
    QFETCH(bool, sentGsm7);
    const SmsUserData d = buildPduBody(text, preferGsm7 ? SmsAlphabet::Gsm7 : SmsAlphabet::Ucs2);
    QCOMPARE(d.alphabet == SmsAlphabet::Gsm7, sentGsm7);
    QTEST(d.body, "body");
    QCOMPARE(d.text, text);
    QVERIFY(!d.shortened);
}

void TestSmsPdu::lengthLimits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("preferGsm7");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<int>("userDataLength"); // septets or octets

    const QString a160(160, QLatin1Char('a'));
    QTest::newRow("160 septets fit") << a160 << true << a160 << 160;
    QTest::newRow("161 septets cut to 160") << a160 + QLatin1Char('b') << true << a160 << 160;
    const QString a159(159, QLatin1Char('a'));
    QTest::newRow("escape pair not split") << a159 + QStringLiteral("\u20AC") << true << a159 << 159;
    QTest::newRow("escape pair that fits") << QString(158, QLatin1Char('a')) + QStringLiteral("\u20AC") << true
                                           << QString(158, QLatin1Char('a')) + QStringLiteral("\u20AC") << 160;
    const QString zh70(70, QChar(0x4E2D));
    QTest::newRow("70 UCS2 units fit") << zh70 << false << zh70 << 140;
    QTest::newRow("71 UCS2 units cut to 70") << zh70 + QChar(0x6587) << false << zh70 << 140;
    const QString zh69(69, QChar(0x4E2D));
    QTest::newRow("surrogate pair not split") << zh69 + QStringLiteral("\U0001F600") << false << zh69 << 138;
    QTest::newRow("fallback text cut to 70 units")
        << QString(100, QLatin1Char('a')) + QChar(0x4E2D) << true << QString(70, QLatin1Char('a')) << 140;
}

void TestSmsPdu::lengthLimits()
{
    QFETCH(QString, text);
    QFETCH(bool, preferGsm7);
    QFETCH(QString, sent);
    QFETCH(int, userDataLength);
    const SmsUserData d = buildPduBody(text, preferGsm7 ? SmsAlphabet::Gsm7 : SmsAlphabet::Ucs2);
    QCOMPARE(d.text, sent);
    QCOMPARE(d.shortened, sent != text);
    QCOMPARE(d.body.left(2).toInt(nullptr, 16), userDataLength);
    // Never more than the 140 octets of one SMS.
    QVERIFY((d.body.size() - 2) / 2 <= 140);
}

void TestSmsPdu::wholeSubmission()
{
    const std::optional<SmsNumber> n = parseSmsNumber(QStringLiteral("1234567"));
    QVERIFY(n);
    const SmsPdu pdu = buildSmsPdu(*n, QStringLiteral("abc"), SmsAlphabet::Gsm7);
    QCOMPARE(pdu.hex, QStringLiteral("0011000791214365F7000001") + QStringLiteral("0361f118"));
    QCOMPARE(pdu.tpduOctets, 15);
    QCOMPARE(cmgsCommand(pdu), QByteArray("AT+CMGS=015\r"));
    QCOMPARE(pduSubmission(pdu), pdu.hex.toLatin1() + '\x1a');
}

QTEST_GUILESS_MAIN(TestSmsPdu)
#include "tst_smspdu.moc"
