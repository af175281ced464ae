// The SMS thread against the fake modem at the port seam, with pauses and deadlines
// shortened: the modem state on the settings page, who gets which event, every scripted
// fault of the modem and the port, and the SMS log read back with the sqlite3 tool.
#include "bridge/qmlobject.h"
#include "core/events.h"
#include "core/historyfiles.h"
#include "core/paths.h"
#include "core/settings.h"
#include "notify/sms_thread.h"
#include "notify/smspdu.h"
#include "tests/notify/smsfixture.h"
#include "tests/support/fakemodem.h"
#include "tests/support/testenv.h"

#include <QDir>
#include <QReadLocker>
#include <QSignalSpy>
#include <QWriteLocker>
#include <QtTest>

#include <memory>

namespace {

SmsTimings fastTimings()
{
    SmsTimings t;
    t.passPauseMs = 5;
    t.initPauseMs = 1;
    t.infoPauseMs = 1;
    t.commandReplyMs = 200;
    t.sendReplyMs = 400;
    t.restartReplyMs = 100;
    t.pollMs = 5;
    t.reopenMaxPauseMs = 40;
    return t;
}

void configure(const QStringList &phones, const QStringList &masks, const QString &testPhone = {},
               const QString &lang = QStringLiteral("1"))
{
    QWriteLocker l(&settingsLock);
    smsSettings.smsFlag = QStringLiteral("0");
    smsSettings.SMSSelectName = QStringLiteral("ttyFAKE0");
    smsSettings.smsPhones = phones;
    smsSettings.smsEventFlags = masks;
    smsSettings.smsTestPhone = testPhone;
    systemSettings.lang = lang;
    systemSettings.msg_boudrate = QStringLiteral("4");
    systemSettings.msg_databit = QStringLiteral("3");
    systemSettings.msg_checkbit = QStringLiteral("1");
    systemSettings.msg_stopbit = QStringLiteral("1");
}

int queuedEvents()
{
    QReadLocker l(&smsEventQueueLock);
    return int(smsEventQueue.size());
}

// The semi-octet destination field of a national number as the PDU carries it.
QString addressField(const QString &digits)
{
    QString d = digits;
    if (d.size() % 2)
        d += QLatin1Char('F');
    for (int i = 0; i + 1 < d.size(); i += 2)
        std::swap(d[i], d[i + 1]);
    return QStringLiteral("%1").arg(digits.size(), 2, 16, QLatin1Char('0')) + QStringLiteral("91") + d;
}

} // namespace

class TestSmsThread : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void eventSelection_data();
    void eventSelection();
    void recipientsByStoredMask_data();
    void recipientsByStoredMask();
    void lineSettings_data();
    void lineSettings();
    void readyWithModemInfo_data();
    void readyWithModemInfo();
    void alarmToSelectedNumbers();
    void testSmsToTestNumberOnly();
    void eachTestSmsToItsOwnNumber();
    void testSmsOutcomeReachesTheStateReply_data();
    void testSmsOutcomeReachesTheStateReply();
    void staleEventsAreNotSent_data();
    void staleEventsAreNotSent();
    void nothingWaitsWithoutAPort_data();
    void nothingWaitsWithoutAPort();
    void logFolderDeletedWhileRunning();
    void refusedNumbersAreNotSent();
    void modemFaults_data();
    void modemFaults();
    void portVanishesAndComesBack();
    void portThatNeverOpensKeepsQueueBounded();
    void switchedOffClearsState();
    void stopEndsLongWait();
    void stopWaitsForMessageInFlight();
    void logKeepsQuotesAndCodesWithoutText();

private:
    void startThread(const SmsTimings &timings = fastTimings());
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeModemBackend> modem;
    std::unique_ptr<sms_thread> thread;
};

void TestSmsThread::init()
{
    env = std::make_unique<TestEnv>();
    initEventTexts();
    modem = std::make_unique<FakeModemBackend>();
}

void TestSmsThread::cleanup()
{
    if (thread) {
        thread->stop();
        QVERIFY(thread->wait(5000));
    }
    thread.reset();
    modem.reset();
    env.reset();
}

void TestSmsThread::startThread(const SmsTimings &timings)
{
    thread = std::make_unique<sms_thread>(*modem, timings);
    thread->start();
}

void TestSmsThread::eventSelection_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("selected");

    QTest::newRow("bit 0 selects code 0") << 1 << 0 << true;
    QTest::newRow("bit 0 selects code 1") << 1 << 1 << true;
    QTest::newRow("bit 0 not code 2") << 1 << 2 << false;
    QTest::newRow("bit 27 selects code 55") << (1 << 27) << 55 << true;
    QTest::newRow("code 55 needs its bit") << 0x7FFFFFF << 55 << false;
    QTest::newRow("code 56 goes to every number") << 0 << 56 << true;
    QTest::newRow("code 57 goes to every number") << 0 << 57 << true;
    QTest::newRow("command code 77 too") << 0 << 77 << true;
}

void TestSmsThread::eventSelection()
{
    QFETCH(int, mask);
    QFETCH(int, code);
    QTEST(isEventSelected(mask, code), "selected");
}

void TestSmsThread::recipientsByStoredMask_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("selected");
    // Masks as the settings page stores them: every bit set reads beyond a signed int.
    QTest::newRow("every bit of 32") << "4294967295" << 1 << true;
    QTest::newRow("bit 31 and bit 0") << "2147483649" << 0 << true;
    QTest::newRow("every bit of 64") << "18446744073709551615" << 55 << true;
    QTest::newRow("bit 0 only, code 2") << "1" << 2 << false;
    QTest::newRow("not a number") << "x" << 1 << false;
    QTest::newRow("negative") << "-1" << 1 << false;
}

void TestSmsThread::recipientsByStoredMask()
{
    QFETCH(QString, mask);
    QFETCH(int, code);
    QFETCH(bool, selected);
    QCOMPARE(smsRecipients({"13800000001"}, {mask}, code), selected ? QStringList{"13800000001"} : QStringList{});
}

void TestSmsThread::lineSettings_data()
{
    QTest::addColumn<QStringList>("codes"); // baud, data bits, parity, stop bits
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<char>("parity");
    QTest::addColumn<int>("stopBits");

    QTest::newRow("1200 7E2") << QStringList{"1", "2", "3", "2"} << 1200 << 7 << 'E' << 2;
    QTest::newRow("115200 6O1") << QStringList{"7", "1", "2", "1"} << 115200 << 6 << 'O' << 1;
    QTest::newRow("unknown codes: 115200 8N1") << QStringList{"9", "0", "x", ""} << 115200 << 8 << 'N' << 1;
}

void TestSmsThread::lineSettings()
{
    QFETCH(QStringList, codes);
    configure({}, {});
    {
        QWriteLocker l(&settingsLock);
        systemSettings.msg_boudrate = codes.at(0);
        systemSettings.msg_databit = codes.at(1);
        systemSettings.msg_checkbit = codes.at(2);
        systemSettings.msg_stopbit = codes.at(3);
    }
    startThread();
    QTRY_VERIFY(modem->openCount() >= 1);
    QMutexLocker l(&modem->mutex);
    const ModemLineParams p = modem->opens.first();
    QCOMPARE(p.portName, QStringLiteral("ttyFAKE0"));
    QTEST(p.baud, "baud");
    QTEST(p.dataBits, "dataBits");
    QTEST(p.parity, "parity");
    QTEST(p.stopBits, "stopBits");
}

void TestSmsThread::readyWithModemInfo_data()
{
    QTest::addColumn<QByteArray>("csqReply");
    QTest::addColumn<int>("quality");

    QTest::newRow("rssi 21") << QByteArray("\r\n+CSQ: 21,99\r\n\r\nOK\r\n") << 67;
    QTest::newRow("rssi 31") << QByteArray("\r\n+CSQ: 31,0\r\n\r\nOK\r\n") << 100;
    QTest::newRow("rssi 99 is unknown") << QByteArray("\r\n+CSQ: 99,99\r\n\r\nOK\r\n") << kSignalQualityUnknown;
    QTest::newRow("no final OK") << QByteArray("\r\n+CSQ: 21,99\r\n") << 0;
    QTest::newRow("not a number") << QByteArray("\r\n+CSQ: x,99\r\n\r\nOK\r\n") << 0;
    QTest::newRow("out of range") << QByteArray("\r\n+CSQ: 45,99\r\n\r\nOK\r\n") << 0;
}

void TestSmsThread::readyWithModemInfo()
{
    QFETCH(QByteArray, csqReply);
    modem->csqReply = csqReply;
    configure({}, {});
    startThread();
    QTRY_COMPARE(linkState(), 3);
    QTRY_VERIFY(modem->countWrites("AT+CSQ") >= 1 && modem->countWrites("AT+GMI") >= 2);
    QReadLocker l(&settingsLock);
    // Identity texts keep the line end the settings page drops.
    QCOMPARE(smsSettings.modemManufacturer, QStringLiteral("FakeCom\r"));
    QCOMPARE(smsSettings.modemModel, QStringLiteral("FM-100\r"));
    QCOMPARE(smsSettings.modemSoftwareVersion, QStringLiteral("R1.0.7\r"));
    QCOMPARE(smsSettings.modemOperator, QStringLiteral("Fake Net"));
    QCOMPARE(smsSettings.modemServiceCentre, QStringLiteral("+8613800100500"));
    QTEST(smsSettings.modemSignalQuality, "quality");
}

void TestSmsThread::alarmToSelectedNumbers()
{
    // Index 1 is empty; index 2 selects no status code; index 3 selects codes 2 and 3.
    configure({"13800000001", "", "+8613800000002", "13800000003"}, {"1", "1", "0", "2"});
    queueEvent(1);
    queueEvent(EventCommFailed);
    startThread();
    QTRY_COMPARE(logRows().size(), 4);
    const QString t0 = eventText(1), t57 = eventText(EventCommFailed);
    QCOMPARE(logRows(), (QStringList{"2026-01-15 12:00:00|13800000001|" + t0 + "|1",
                                     "2026-01-15 12:00:00|13800000001|" + t57 + "|1",
                                     "2026-01-15 12:00:00|+8613800000002|" + t57 + "|1",
                                     "2026-01-15 12:00:00|13800000003|" + t57 + "|1"}));
    const QList<QByteArray> pdus = modem->pdus();
    QCOMPARE(pdus.size(), 4);
    QVERIFY(pdus.at(0).startsWith(("001100" + addressField("13800000001") + "000001").toLatin1()));
    QVERIFY(pdus.at(2).startsWith(("001100" + addressField("8613800000002") + "000001").toLatin1()));
    // The text carries the event's own time, not the time of sending.
    const QString text = smsMessageText(kSmsEventTime, t57);
    QVERIFY(text.startsWith(QLatin1String("2026-01-15 11:58:07,")));
    QVERIFY(pdus.at(1).endsWith(encode7bit(*gsm7Septets(text)).toLatin1()));
    QCOMPARE(queuedEvents(), 0);
}

void TestSmsThread::testSmsToTestNumberOnly()
{
    configure({"13800000001"}, {"255"}, QStringLiteral("13900000009"), QStringLiteral("0"));
    queueTestSms(QStringLiteral("13900000009"));
    startThread();
    QTRY_COMPARE(logRows().size(), 1);
    QCOMPARE(logRows().first(), "2026-01-15 12:00:00|13900000009|" + eventText(EventTestSms) + "|1");
    QCOMPARE(modem->pdus().size(), 1);
    // lang other than "1": UCS2.
    QVERIFY(modem->pdus().first().startsWith(("001100" + addressField("13900000009") + "000801").toLatin1()));

    // An empty test number sends nothing and logs nothing.
    queueTestSms(QString());
    QTRY_COMPARE(queuedEvents(), 0);
    QTest::qWait(100);
    QCOMPARE(modem->pdus().size(), 1);
    QCOMPARE(logRows().size(), 1);
}

void TestSmsThread::eachTestSmsToItsOwnNumber()
{
    // Two requests from the page, the second before the modem took the first.
    configure({}, {});
    qmlobject bridge;
    bridge.handleSendSMSTest(QStringLiteral(R"({"testphone":"13900000001"})"));
    bridge.handleSendSMSTest(QStringLiteral(R"({"testphone":"13900000002"})"));
    startThread();
    QTRY_COMPARE(logRows().size(), 2);
    const QList<QByteArray> pdus = modem->pdus();
    QCOMPARE(pdus.size(), 2);
    QVERIFY(pdus.at(0).startsWith(("001100" + addressField("13900000001")).toLatin1()));
    QVERIFY(pdus.at(1).startsWith(("001100" + addressField("13900000002")).toLatin1()));
    QCOMPARE(logRows().at(0).section(QLatin1Char('|'), 1, 1), QStringLiteral("13900000001"));
    QCOMPARE(logRows().at(1).section(QLatin1Char('|'), 1, 1), QStringLiteral("13900000002"));
}

void TestSmsThread::testSmsOutcomeReachesTheStateReply_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QList<QByteArray>>("prefixes");
    QTest::addColumn<QList<ModemFault>>("faults");
    QTest::addColumn<QString>("outcome"); // the reply's last two members
    QTest::addColumn<int>("logged");

    using F = ModemFault;
    using P = QList<QByteArray>;
    using L = QList<ModemFault>;
    QTest::newRow("accepted") << "13900000001" << P{} << L{} << R"("testsms":"sent","testsmsreason":"")" << 1;
    QTest::newRow("accepted on the second try")
        << "13900000001" << P{"PDU"} << L{F::CmsError500} << R"("testsms":"sent","testsmsreason":"")" << 1;
    QTest::newRow("refused three times")
        << "13900000001" << P{"PDU", "PDU", "PDU"} << L{F::CmsError500, F::CmsError500, F::CmsError500}
        << R"("testsms":"failed","testsmsreason":"+CMS ERROR: 500")" << 1;
    QTest::newRow("ERROR to every prompt")
        << "13900000001" << P{"AT+CMGS", "AT+CMGS", "AT+CMGS"} << L{F::Error, F::Error, F::Error}
        << R"("testsms":"failed","testsmsreason":"ERROR")" << 1;
    QTest::newRow("no prompt at all")
        << "13900000001" << P{"AT+CMGS", "AT+CMGS", "AT+CMGS"} << L{F::Silence, F::Silence, F::Silence}
        << R"("testsms":"failed","testsmsreason":"The modem did not answer")" << 1;
    QTest::newRow("not a number") << "139-0000" << P{} << L{}
                                  << R"("testsms":"failed","testsmsreason":"The number is not valid")" << 1;
    // Refused before it is queued: a row holding the log page's separators would split it.
    QTest::newRow("log separator @") << "139@1" << P{} << L{}
                                     << R"("testsms":"failed","testsmsreason":"The number is not valid")" << 0;
    QTest::newRow("log separator |") << "139|1" << P{} << L{}
                                     << R"("testsms":"failed","testsmsreason":"The number is not valid")" << 0;
}

void TestSmsThread::testSmsOutcomeReachesTheStateReply()
{
    QFETCH(QString, number);
    QFETCH(QList<QByteArray>, prefixes);
    QFETCH(QList<ModemFault>, faults);
    QFETCH(QString, outcome);
    QFETCH(int, logged);
    for (int i = 0; i < prefixes.size(); ++i)
        modem->plan(prefixes.at(i), faults.at(i));
    configure({}, {});
    qmlobject bridge;
    QSignalSpy replies(&bridge, &qmlobject::sigSMSState);
    auto stateReply = [&] {
        bridge.handleGetSMSState();
        return replies.takeLast().first().toString();
    };
    QVERIFY(stateReply().endsWith(R"("testsms":"","testsmsreason":""})"));
    bridge.handleSendSMSTest(QStringLiteral(R"({"testphone":"%1"})").arg(number));
    if (logged)
        QVERIFY(stateReply().endsWith(R"("testsms":"queued","testsmsreason":""})"));
    startThread();
    QTRY_VERIFY(!stateReply().contains(QLatin1String("queued")));
    QCOMPARE(stateReply().section(QLatin1Char(','), -2), outcome + '}');
    QTRY_VERIFY(modem->countWrites("AT+GMI") >= 2); // the first drain is over
    QCOMPARE(logRows().size(), logged);
    QCOMPARE(queuedEvents(), 0);
}

void TestSmsThread::staleEventsAreNotSent_data()
{
    QTest::addColumn<QList<int>>("ages"); // seconds each event waited when the thread starts
    QTest::addColumn<int>("awaySecs");    // the modem away this much longer
    QTest::addColumn<int>("sent");

    QTest::newRow("burst after an outage: only the fresh one") << QList<int>{900, 601, 30} << 0 << 1;
    QTest::newRow("ten minutes still go") << QList<int>{600, 599} << 0 << 2;
    QTest::newRow("aged while the modem was away") << QList<int>{30, 20} << 600 << 0;
}

void TestSmsThread::staleEventsAreNotSent()
{
    QFETCH(QList<int>, ages);
    QFETCH(int, awaySecs);
    QFETCH(int, sent);
    modem->setPresent(false);
    configure({"13800000001"}, {"1"});
    const QDateTime start = env->clock().now();
    for (const int age : ages)
        queueEvent(1, start.addSecs(-age));
    const int dropped = int(ages.size()) - sent;
    if (dropped)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^SMS: %1 events and messages waited more than 10 minutes")
                                                    .arg(dropped)));
    startThread();
    QTRY_COMPARE(linkState(), 1);
    env->clock().advanceMs(qint64(awaySecs) * 1000);
    QTRY_COMPARE(queuedEvents(), sent);
    modem->setPresent(true);
    QTRY_VERIFY(modem->countWrites("AT+GMI") >= 2); // the first drain is over
    QCOMPARE(modem->pdus().size(), sent);
    QCOMPARE(logRows().size(), sent);
    QCOMPARE(queuedEvents(), 0);
}

void TestSmsThread::nothingWaitsWithoutAPort_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("the default None") << "None";
    QTest::newRow("empty") << "";
    QTest::newRow("blank") << " ";
}

void TestSmsThread::nothingWaitsWithoutAPort()
{
    QFETCH(QString, port);
    configure({"13800000001"}, {"1"});
    {
        QWriteLocker l(&settingsLock);
        smsSettings.SMSSelectName = port;
    }
    qmlobject bridge;
    queueEvent(1);
    bridge.handleSendSMSTest(QStringLiteral(R"({"testphone":"13900000001"})"));
    startThread();
    QTRY_COMPARE(queuedEvents(), 0);
    QTRY_COMPARE(testSmsOutcome(), QStringLiteral("failed: No modem port is chosen"));
    QCOMPARE(linkState(), 1);
    queueEvent(1);
    QTRY_COMPARE(queuedEvents(), 0);
    QCOMPARE(modem->openCount(), 0);

    // Once a port is chosen, what comes from then on goes; nothing from before.
    {
        QWriteLocker l(&settingsLock);
        smsSettings.SMSSelectName = QStringLiteral("ttyFAKE0");
    }
    QTRY_COMPARE(linkState(), 3);
    queueEvent(0, env->clock().now());
    QTRY_COMPARE(logRows().size(), 1);
    QCOMPARE(modem->pdus().size(), 1);
    QCOMPARE(logRows().first().section(QLatin1Char('|'), 2, 2), eventText(0));
}

void TestSmsThread::logFolderDeletedWhileRunning()
{
    configure({"13800000001"}, {"1"});
    queueEvent(1);
    startThread();
    QTRY_COMPARE(logRows().size(), 1);
    QVERIFY(QDir(appPaths.smsDbDir).removeRecursively());
    queueEvent(0);
    QTRY_COMPARE(logRows().size(), 1);
    QCOMPARE(logRows().first().section(QLatin1Char('|'), 2, 2), eventText(0));
    QCOMPARE(modem->pdus().size(), 2);
}

void TestSmsThread::refusedNumbersAreNotSent()
{
    configure({"138-0000-0001", "13800000002"}, {"1", "1"});
    queueEvent(1);
    startThread();
    QTRY_COMPARE(logRows().size(), 2);
    QCOMPARE(logRows().at(0), "2026-01-15 12:00:00|138-0000-0001|" + eventText(1) + "|0");
    QCOMPARE(logRows().at(1), "2026-01-15 12:00:00|13800000002|" + eventText(1) + "|1");
    QCOMPARE(modem->pdus().size(), 1);
    QCOMPARE(modem->countWrites("AT+CMGS"), 1);
}

void TestSmsThread::modemFaults_data()
{
    QTest::addColumn<QList<QByteArray>>("prefixes");
    QTest::addColumn<QList<ModemFault>>("faults");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<int>("messagesWritten");
    QTest::addColumn<int>("resets");

    using F = ModemFault;
    using P = QList<QByteArray>;
    using L = QList<ModemFault>;
    QTest::newRow("+CMS ERROR: 500, then accepted") << P{"PDU"} << L{F::CmsError500} << "1" << 2 << 1;
    QTest::newRow("ERROR to the prompt") << P{"AT+CMGS"} << L{F::Error} << "1" << 1 << 1;
    QTest::newRow("no prompt at all") << P{"AT+CMGS"} << L{F::Silence} << "1" << 1 << 1;
    QTest::newRow("silence after the message") << P{"PDU"} << L{F::Silence} << "1" << 2 << 1;
    QTest::newRow("replies in pieces") << P{"AT+CMGS", "PDU"} << L{F::Split, F::Split} << "1" << 1 << 0;
    // Slower than the old 100-ms quiet rule, within the deadline: sent once, no retry.
    QTest::newRow("late acceptance") << P{"PDU"} << L{F::Late} << "1" << 1 << 0;
    QTest::newRow("late prompt") << P{"AT+CMGS"} << L{F::Late} << "1" << 1 << 0;
    // The message reference is the network's acceptance; a lost OK after it is no refusal.
    QTest::newRow("reference without its OK") << P{"PDU"} << L{F::NoFinalOk} << "1" << 1 << 0;
    // A PDU write that failed goes again only after a prompt of its own: bytes of a
    // half-written copy and a whole one never reach the modem as one message.
    QTest::newRow("message write fails") << P{"PDU"} << L{F::WriteFail} << "1" << 1 << 0;
    QTest::newRow("three refusals") << P{"PDU", "PDU", "PDU"} << L{F::CmsError500, F::CmsError500, F::CmsError500}
                                    << "0" << 3 << 3;
}

void TestSmsThread::modemFaults()
{
    QFETCH(QList<QByteArray>, prefixes);
    QFETCH(QList<ModemFault>, faults);
    for (int i = 0; i < prefixes.size(); ++i)
        modem->plan(prefixes.at(i), faults.at(i));
    configure({"13800000001"}, {"1"});
    queueEvent(1);
    startThread();
    QTRY_COMPARE(logRows().size(), 1);
    QFETCH(QString, flag);
    QCOMPARE(logRows().first().section(QLatin1Char('|'), 3), flag);
    QTEST(int(modem->pdus().size()), "messagesWritten");
    QTEST(modem->countWrites("AT+CFUN=1,1"), "resets");
    QVERIFY(modem->eachMessageAfterItsPrompt());
    QTRY_COMPARE(linkState(), 3);
}

void TestSmsThread::portVanishesAndComesBack()
{
    modem->plan("AT+CMGS", ModemFault::Vanish);
    configure({"13800000001"}, {"1"});
    queueEvent(1);
    startThread();
    QTRY_COMPARE(linkState(), 1);
    {
        QReadLocker l(&settingsLock);
        QVERIFY(smsSettings.modemModel.isEmpty());
    }
    const int opensWhileGone = modem->openCount();
    QTest::qWait(200);
    // Reopening goes on, but with growing pauses: no more than one attempt per 40 ms here.
    QVERIFY(modem->openCount() - opensWhileGone <= 200 / 20);
    QVERIFY(modem->openCount() > opensWhileGone);
    QVERIFY(logRows().isEmpty());

    modem->setPresent(true);
    QTRY_COMPARE(logRows().size(), 1);
    QCOMPARE(logRows().first().section(QLatin1Char('|'), 3), QStringLiteral("1"));
    QCOMPARE(modem->pdus().size(), 1);
    QTRY_COMPARE(linkState(), 3);
}

void TestSmsThread::portThatNeverOpensKeepsQueueBounded()
{
    modem->setPresent(false);
    configure({"13800000001"}, {"268435455"}); // every status code
    for (int i = 0; i < kSmsQueueLimit + 50; ++i)
        queueEvent(i % 56);
    startThread();
    QTRY_COMPARE(linkState(), 1);
    QTRY_COMPARE(queuedEvents(), kSmsQueueLimit);
    {
        QReadLocker l(&smsEventQueueLock);
        QCOMPARE(smsEventQueue.first().code, 50 % 56); // the oldest 50 went
    }
    modem->setPresent(true);
    QTRY_COMPARE_WITH_TIMEOUT(logRows().size(), kSmsQueueLimit, 20000);
}

void TestSmsThread::switchedOffClearsState()
{
    configure({}, {});
    startThread();
    QTRY_COMPARE(linkState(), 3);
    QTRY_VERIFY(modem->countWrites("AT+CSQ") >= 1);
    {
        QWriteLocker l(&settingsLock);
        smsSettings.smsFlag = QStringLiteral("1");
    }
    queueEvent(1);
    QTRY_COMPARE(linkState(), 0);
    QTRY_COMPARE(queuedEvents(), 0);
    {
        QReadLocker l(&settingsLock);
        QVERIFY(smsSettings.modemModel.isEmpty());
        QCOMPARE(smsSettings.modemSignalQuality, 0);
    }

    // While off, nothing waits to go out once it is on again; a test SMS says why.
    qmlobject bridge;
    queueEvent(1, env->clock().now());
    bridge.handleSendSMSTest(QStringLiteral(R"({"testphone":"13900000001"})"));
    QTRY_COMPARE(queuedEvents(), 0);
    QTRY_COMPARE(testSmsOutcome(), QStringLiteral("failed: SMS is switched off"));
    const int queriesBefore = modem->countWrites("AT+GMI");
    {
        QWriteLocker l(&settingsLock);
        smsSettings.smsFlag = QStringLiteral("0");
    }
    QTRY_COMPARE(linkState(), 3);
    QTRY_VERIFY(modem->countWrites("AT+GMI") >= queriesBefore + 2); // a drain after the switch
    QVERIFY(modem->pdus().isEmpty());
}

void TestSmsThread::stopEndsLongWait()
{
    SmsTimings t = fastTimings();
    t.sendReplyMs = 60000;
    modem->plan("AT+CMGS", ModemFault::Silence);
    configure({"13800000001"}, {"1"});
    queueEvent(1);
    startThread(t);
    QTRY_COMPARE(modem->countWrites("AT+CMGS"), 1);
    QElapsedTimer elapsed;
    elapsed.start();
    thread->stop();
    QVERIFY(thread->wait(2000));
    QVERIFY(elapsed.elapsed() < 500);
    QCOMPARE(modem->countWrites("AT+CFUN"), 0);
}

void TestSmsThread::stopWaitsForMessageInFlight()
{
    SmsTimings t = fastTimings();
    t.sendReplyMs = 60000;
    modem->lateMs = 400;
    modem->plan("PDU", ModemFault::Late);
    configure({"13800000001", "13800000002"}, {"1", "1"});
    queueEvent(1);
    startThread(t);
    QTRY_COMPARE(modem->pdus().size(), 1);
    thread->stop();
    QVERIFY(thread->wait(3000));
    // The message in the modem's hands is logged as it went; the next one is not tried.
    QCOMPARE(logRows(), QStringList{"2026-01-15 12:00:00|13800000001|" + eventText(1) + "|1"});
    QCOMPARE(modem->pdus().size(), 1);
}

void TestSmsThread::logKeepsQuotesAndCodesWithoutText()
{
    {
        QWriteLocker l(&settingsLock);
        upsEventTexts[1] = QStringLiteral("Owner's fault 'happen'");
        deviceSettings.comProtocol = QStringLiteral("0");
    }
    configure({"13800000001"}, {"1"});
    queueEvent(1);
    startThread();
    QTRY_COMPARE(logRows().size(), 1);
    QCOMPARE(logRows().first(), QStringLiteral("2026-01-15 12:00:00|13800000001|Owner's fault 'happen'|1"));

    // A table without a text for the code (the inverter's once ended at 76): the message
    // names the code instead of going out empty.
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.comProtocol = QStringLiteral("3");
        inverterEventTexts = inverterEventTexts.mid(0, EventDepthDischarge);
    }
    queueEvent(EventDepthDischarge);
    QTRY_COMPARE(logRows().size(), 2);
    QCOMPARE(logRows().at(1), QStringLiteral("2026-01-15 12:00:00|13800000001|Event 77|1"));
    QVERIFY(modem->pdus().at(1).endsWith(
        encode7bit(*gsm7Septets(QStringLiteral("2026-01-15 11:58:07,Event 77"))).toLatin1()));
}

QTEST_GUILESS_MAIN(TestSmsThread)
#include "tst_smsthread.moc"
