// The modem reply parser on replies written out byte for byte, each fed whole and one byte
// at a time: where a reply ends, what it says, and the fields of the information replies.
#include "notify/modemreply.h"

#include <QtTest>

Q_DECLARE_METATYPE(ModemReply::Kind)
Q_DECLARE_METATYPE(ModemReply::Final)

class TestModemReply : public QObject
{
    Q_OBJECT

private slots:
    void endings_data();
    void endings();
    void fields_data();
    void fields();
    void boundedNoise();
};

void TestModemReply::endings_data()
{
    QTest::addColumn<ModemReply::Kind>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("done");
    QTest::addColumn<ModemReply::Final>("final");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<bool>("prompt");

    using R = ModemReply;
    QTest::newRow("OK") << R::Command << QByteArray("\r\nOK\r\n") << true << R::Ok << -1 << false;
    QTest::newRow("echo then OK") << R::Command << QByteArray("ATE0\r\r\nOK\r\n") << true << R::Ok << -1 << false;
    QTest::newRow("ERROR") << R::Command << QByteArray("\r\nERROR\r\n") << true << R::Error << -1 << false;
    QTest::newRow("+CMS ERROR: 500") << R::Command << QByteArray("\r\n+CMS ERROR: 500\r\n") << true << R::CmsError
                                     << 500 << false;
    QTest::newRow("+CME ERROR: 10") << R::Command << QByteArray("\r\n+CME ERROR: 10\r\n") << true << R::CmeError << 10
                                    << false;
    QTest::newRow("verbose +CME ERROR") << R::Command << QByteArray("\r\n+CME ERROR: SIM not inserted\r\n") << true
                                        << R::CmeError << -1 << false;
    QTest::newRow("no final result yet") << R::Command << QByteArray("\r\n+CSQ: 21,99\r\n") << false << R::None << -1
                                         << false;
    QTest::newRow("OK without its line end") << R::Command << QByteArray("\r\nOK") << false << R::None << -1 << false;
    QTest::newRow("OK inside a line is no result") << R::Command << QByteArray("\r\nBOOK\r\n") << false << R::None
                                                   << -1 << false;
    QTest::newRow("prompt") << R::Prompt << QByteArray("\r\n> ") << true << R::None << -1 << true;
    QTest::newRow("error instead of the prompt") << R::Prompt << QByteArray("\r\n+CMS ERROR: 304\r\n") << true
                                                 << R::CmsError << 304 << false;
    QTest::newRow("a late OK is not the prompt") << R::Prompt << QByteArray("\r\nOK\r\n") << false << R::None << -1
                                                 << false;
    QTest::newRow("> inside a line is no prompt") << R::Command << QByteArray("\r\n> \r\n") << false << R::None << -1
                                                  << false;
    QTest::newRow("accepted") << R::Submit << QByteArray("\r\n+CMGS: 12\r\n\r\nOK\r\n") << true << R::Ok << -1
                              << false;
    QTest::newRow("a bare OK is a late one") << R::Submit << QByteArray("\r\nOK\r\n") << false << R::None << -1
                                             << false;
    QTest::newRow("late OK, then the acceptance")
        << R::Submit << QByteArray("\r\nOK\r\n\r\n+CMGS: 3\r\n\r\nOK\r\n") << true << R::Ok << -1 << false;
    QTest::newRow("refused") << R::Submit << QByteArray("\r\n+CMS ERROR: 500\r\n") << true << R::CmsError << 500
                             << false;
    QTest::newRow("start-up report") << R::Startup << QByteArray("\r\nOK\r\n\r\n^SYSSTART\r\n") << true << R::None
                                     << -1 << false;
    QTest::newRow("reset without its report") << R::Startup << QByteArray("\r\nOK\r\n") << false << R::None << -1
                                              << false;
    QTest::newRow("bytes after the end are not this reply's")
        << R::Command << QByteArray("\r\nOK\r\n\r\n+CMS ERROR: 500\r\n") << true << R::Ok << -1 << false;
}

void TestModemReply::endings()
{
    QFETCH(ModemReply::Kind, kind);
    QFETCH(QByteArray, bytes);
    ModemReply whole(kind);
    whole.feed(bytes);
    ModemReply bytewise(kind);
    for (const char c : bytes)
        bytewise.feed(QByteArray(1, c));
    for (const ModemReply *r : {&whole, &bytewise}) {
        QTEST(r->isDone(), "done");
        QTEST(r->final(), "final");
        QTEST(r->errorCode(), "errorCode");
        QTEST(r->sawPrompt(), "prompt");
    }
    QCOMPARE(bytewise.lines(), whole.lines());
}

void TestModemReply::fields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("identity");
    QTest::addColumn<QString>("quoted");
    QTest::addColumn<int>("quality");

    QTest::newRow("identity") << QByteArray("\r\nKestrava Sim\r\n\r\nOK\r\n") << "Kestrava Sim" << "" << 0;
    QTest::newRow("echoed identity") << QByteArray("AT+GMI\r\r\nKestrava Sim\r\n\r\nOK\r\n") << "Kestrava Sim" << ""
                                     << 0;
    QTest::newRow("identity without OK") << QByteArray("\r\nKestrava Sim\r\n") << "" << "" << 0;
    QTest::newRow("identity after ERROR") << QByteArray("\r\nKestrava Sim\r\n\r\nERROR\r\n") << "" << "" << 0;
    QTest::newRow("operator") << QByteArray("\r\n+COPS: 0,0,\"SIM NET\"\r\n\r\nOK\r\n") << "+COPS: 0,0,\"SIM NET\""
                              << "SIM NET" << 0;
    QTest::newRow("no operator") << QByteArray("\r\n+COPS: 0\r\n\r\nOK\r\n") << "+COPS: 0" << "" << 0;
    QTest::newRow("one quote only") << QByteArray("\r\n+COPS: 0,0,\"SIM\r\n\r\nOK\r\n") << "+COPS: 0,0,\"SIM" << ""
                                    << 0;
    QTest::newRow("service centre") << QByteArray("\r\n+CSCA: \"+8613800100500\",145\r\n\r\nOK\r\n")
                                    << "+CSCA: \"+8613800100500\",145" << "+8613800100500" << 0;
    QTest::newRow("rssi 21") << QByteArray("\r\n+CSQ: 21,99\r\n\r\nOK\r\n") << "+CSQ: 21,99" << "" << 67;
    QTest::newRow("rssi 31") << QByteArray("\r\n+CSQ: 31,0\r\n\r\nOK\r\n") << "+CSQ: 31,0" << "" << 100;
    QTest::newRow("rssi 0") << QByteArray("\r\n+CSQ: 0,0\r\n\r\nOK\r\n") << "+CSQ: 0,0" << "" << 0;
    QTest::newRow("rssi 99 unknown") << QByteArray("\r\n+CSQ: 99,99\r\n\r\nOK\r\n") << "+CSQ: 99,99" << ""
                                     << kSignalQualityUnknown;
    QTest::newRow("rssi 32 out of range") << QByteArray("\r\n+CSQ: 32,99\r\n\r\nOK\r\n") << "+CSQ: 32,99" << "" << 0;
    QTest::newRow("rssi negative") << QByteArray("\r\n+CSQ: -1,99\r\n\r\nOK\r\n") << "+CSQ: -1,99" << "" << 0;
    QTest::newRow("rssi not a number") << QByteArray("\r\n+CSQ: ab,99\r\n\r\nOK\r\n") << "+CSQ: ab,99" << "" << 0;
    QTest::newRow("indication before the quality")
        << QByteArray("\r\n+CMTI: \"SM\",1\r\n+CSQ: 10,99\r\n\r\nOK\r\n") << "+CMTI: \"SM\",1" << "" << 32;
    QTest::newRow("indication before the operator")
        << QByteArray("\r\n+CMTI: \"SM\",1\r\n+COPS: 0,0,\"SIM NET\"\r\n\r\nOK\r\n") << "+CMTI: \"SM\",1" << "SIM NET" << 0;
}

void TestModemReply::fields()
{
    QFETCH(QByteArray, bytes);
    ModemReply r;
    r.feed(bytes);
    QTEST(modemIdentityLine(r), "identity");
    QTEST(modemQuotedField(r, bytes.contains("+CSCA") ? "+CSCA:" : "+COPS:"), "quoted");
    QTEST(modemSignalQuality(r), "quality");
}

void TestModemReply::boundedNoise()
{
    // A line without end and endless lines are dropped, and the final result still counts.
    ModemReply r;
    r.feed(QByteArray(100000, 'x'));
    r.feed("\r\n");
    for (int i = 0; i < 1000; ++i)
        r.feed("\r\nline\r\n");
    QVERIFY(!r.isDone());
    r.feed("\r\nOK\r\n");
    QVERIFY(r.isDone());
    QCOMPARE(r.final(), ModemReply::Ok);
    QVERIFY(r.overflowed());
    QCOMPARE(r.lines().size(), ModemReply::kMaxLines);
    for (const QByteArray &line : r.lines())
        QVERIFY(line.size() <= ModemReply::kMaxLineBytes);
}

QTEST_GUILESS_MAIN(TestModemReply)
#include "tst_modemreply.moc"
