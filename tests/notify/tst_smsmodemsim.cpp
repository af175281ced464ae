// The SMS thread on the real serial port code against the modem simulator over a pty:
// initialisation, identity and signal quality on the settings page's reply, alarms and
// the test SMS decoded back by the modem, every injected fault, the port vanishing and
// coming back, and the SMS log read back with the sqlite3 tool.
#include "bridge/qmlobject.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/historyfiles.h"
#include "core/settings.h"
#include "device/serial_thread.h"
#include "notify/sms_thread.h"
#include "tests/notify/smsfixture.h"
#include "tests/support/devsimprocess.h"
#include "tests/support/modemsimprocess.h"
#include "tests/support/testenv.h"

#include <QReadLocker>
#include <QSignalSpy>
#include <QWriteLocker>
#include <QtTest>

#include <memory>

namespace {

// Waits long enough for a pty; the simulator's late replies (400 ms) and split replies
// (150 ms between pieces) both outlast the old rule that a reply ends at 100 ms of quiet.
// The reply waits leave a late reply more than twice its delay, and the simulator's reset
// takes 50 ms, so a silent modem or a reset costs about a second, not several.
SmsTimings simTimings()
{
    SmsTimings t;
    t.passPauseMs = 20;
    t.initPauseMs = 5;
    t.infoPauseMs = 5;
    t.commandReplyMs = 1000;
    t.sendReplyMs = 1200;
    t.restartReplyMs = 1000;
    t.pollMs = 20;
    t.reopenMaxPauseMs = 200;
    return t;
}
const QStringList kSimOptions{QStringLiteral("--late-ms"),    QStringLiteral("400"), QStringLiteral("--split-ms"),
                              QStringLiteral("150"),        QStringLiteral("--restart-ms"), QStringLiteral("50")};
// Messages the modem accepted (the faults that still end in acceptance included).
int accepted(const QList<ModemSimProcess::Sms> &messages)
{
    int n = 0;
    for (const auto &m : messages)
        n += m.reply == QLatin1String("normal") || m.reply == QLatin1String("split")
             || m.reply == QLatin1String("late");
    return n;
}

} // namespace

class TestSmsModemSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readyStateOnSettingsPage_data();
    void readyStateOnSettingsPage();
    void alarmToTwoNumbers();
    void chineseTestSmsToTestNumberOnly();
    void testSmsOutcomeOnTheStateReply_data();
    void testSmsOutcomeOnTheStateReply();
    void injectedFaults_data();
    void injectedFaults();
    void portVanishesAndComesBack();
    void stopWhileModemIsSilent();
    void statusBitReachesTheModem();
    void portHandsOverBytesThatCameUnasked();

private:
    void configure(const QStringList &phones, const QStringList &masks, const QString &lang = QStringLiteral("1"));
    void startThread();
    void waitReady() { QTRY_COMPARE_WITH_TIMEOUT(linkState(), 3, 15000); }

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<ModemSimProcess> sim;
    std::unique_ptr<sms_thread> thread;
};

void TestSmsModemSim::init()
{
    env = std::make_unique<TestEnv>();
    initEventTexts();
    sim = std::make_unique<ModemSimProcess>();
    QVERIFY(sim->start(env->root() + QStringLiteral("/modem.pty"), kSimOptions));
}

void TestSmsModemSim::cleanup()
{
    if (thread) {
        thread->stop();
        QVERIFY(thread->wait(5000));
    }
    thread.reset();
    sim.reset();
    env.reset();
}

void TestSmsModemSim::configure(const QStringList &phones, const QStringList &masks, const QString &lang)
{
    QWriteLocker l(&settingsLock);
    smsSettings.smsFlag = QStringLiteral("0");
    smsSettings.SMSSelectName = sim->link();
    smsSettings.smsPhones = phones;
    smsSettings.smsEventFlags = masks;
    systemSettings.lang = lang;
    systemSettings.msg_boudrate = QStringLiteral("7");
    systemSettings.msg_databit = QStringLiteral("3");
    systemSettings.msg_checkbit = QStringLiteral("1");
    systemSettings.msg_stopbit = QStringLiteral("1");
}

void TestSmsModemSim::startThread()
{
    thread = std::make_unique<sms_thread>(serialModemBackend(), simTimings());
    thread->start();
}

void TestSmsModemSim::readyStateOnSettingsPage_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("quality");
    QTest::newRow("rssi 21") << "csq 21" << "67";
    QTest::newRow("rssi 99: unknown") << "csq 99" << "-1";
}

void TestSmsModemSim::readyStateOnSettingsPage()
{
    QFETCH(QString, control);
    QVERIFY(sim->command(control));
    configure({}, {});
    startThread();
    waitReady();
    QTRY_VERIFY_WITH_TIMEOUT(sim->commands().count(QStringLiteral("AT+CSQ")) >= 1, 10000);
    QCOMPARE(sim->commands().mid(0, 5), (QStringList{"ATE0", "AT+CMGF=0", "AT+CPMS=SM", "AT+CNMI=0,1,0,0,1",
                                                      "AT+GMI"}));

    qmlobject bridge;
    QSignalSpy replies(&bridge, &qmlobject::sigSMSState);
    bridge.handleGetSMSState();
    QCOMPARE(replies.size(), 1);
    QFETCH(QString, quality);
    QCOMPARE(replies.first().first().toString(),
             QStringLiteral(R"({"smsconnected":"3","model":"KS-GSM1","operator":"SIM NET",)"
                            R"("manufacturer":"Kestrava Sim","signalquality":"%1","softwareversion":"KSIM01R01",)"
                            R"("sercentreadd":"+8613800100500","testsms":"","testsmsreason":""})")
                 .arg(quality));
}

void TestSmsModemSim::alarmToTwoNumbers()
{
    configure({"+8613800000001", "13800000002", "13800000003"}, {"1", "1", "0"});
    {
        QWriteLocker l(&settingsLock);
        upsEventTexts[1] = QStringLiteral("Fault @ $5 _x [\u20AC] {ok}");
    }
    startThread();
    waitReady();
    queueEvent(1);
    QVERIFY(sim->waitForMessages(2, 15000));
    const QList<ModemSimProcess::Sms> m = sim->messages();
    const QString text = QStringLiteral("2026-01-15 11:58:07,Fault @ $5 _x [\u20AC] {ok}");
    QCOMPARE(m.at(0).to, QStringLiteral("+8613800000001"));
    QCOMPARE(m.at(0).dcs, QStringLiteral("00"));
    QCOMPARE(m.at(0).text, text);
    QCOMPARE(m.at(0).udl, int(text.size()) + 5); // five escape pairs
    QCOMPARE(m.at(1).to, QStringLiteral("+13800000002"));
    QCOMPARE(m.at(1).text, text);
    QTRY_COMPARE_WITH_TIMEOUT(logRows().size(), 2, 5000);
    QCOMPARE(logRows(), (QStringList{"2026-01-15 12:00:00|+8613800000001|Fault @ $5 _x [\u20AC] {ok}|1",
                                     "2026-01-15 12:00:00|13800000002|Fault @ $5 _x [\u20AC] {ok}|1"}));
    QVERIFY(sim->badPdus().isEmpty());
}

void TestSmsModemSim::chineseTestSmsToTestNumberOnly()
{
    configure({"13800000001"}, {"4294967295"}, QStringLiteral("0"));
    {
        QWriteLocker l(&settingsLock);
        upsEventTexts[EventTestSms] = QStringLiteral("\u6d4b\u8bd5\u77ed\u4fe1");
    }
    startThread();
    waitReady();
    queueTestSms(QStringLiteral("13900000009"));
    QVERIFY(sim->waitForMessages(1, 15000));
    QTRY_COMPARE_WITH_TIMEOUT(logRows().size(), 1, 5000);
    const auto m = sim->messages().first();
    QCOMPARE(m.to, QStringLiteral("+13900000009"));
    QCOMPARE(m.dcs, QStringLiteral("08"));
    QCOMPARE(m.text, QStringLiteral("2026-01-15 11:58:07,\u6d4b\u8bd5\u77ed\u4fe1"));
    QCOMPARE(m.udl, 2 * 24);
    QTest::qWait(300);
    QCOMPARE(sim->messages().size(), 1);
}

void TestSmsModemSim::testSmsOutcomeOnTheStateReply_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("accepted") << "fault none" << R"("testsms":"sent","testsmsreason":"")";
    QTest::newRow("refused by the network")
        << "fault cms500 always PDU" << R"("testsms":"failed","testsmsreason":"+CMS ERROR: 500")";
}

void TestSmsModemSim::testSmsOutcomeOnTheStateReply()
{
    QFETCH(QString, control);
    QFETCH(QString, outcome);
    QVERIFY(sim->command(control));
    configure({}, {});
    startThread();
    waitReady();
    qmlobject bridge;
    QSignalSpy replies(&bridge, &qmlobject::sigSMSState);
    auto testOutcome = [&] {
        bridge.handleGetSMSState();
        return replies.takeLast().first().toString().section(QLatin1Char(','), -2).chopped(1);
    };
    bridge.handleSendSMSTest(QStringLiteral(R"({"testphone":"13900000009"})"));
    QCOMPARE(testOutcome(), QStringLiteral(R"("testsms":"queued","testsmsreason":"")"));
    QTRY_VERIFY_WITH_TIMEOUT(!testOutcome().contains(QLatin1String("queued")), 30000);
    QCOMPARE(testOutcome(), outcome);
    QTRY_COMPARE_WITH_TIMEOUT(logRows().size(), 1, 5000);
    QCOMPARE(logRows().first().section(QLatin1Char('|'), 1, 1), QStringLiteral("13900000009"));
}

void TestSmsModemSim::injectedFaults_data()
{
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<int>("received");  // messages the modem saw
    QTest::addColumn<QString>("flag");

    QTest::newRow("silence to the command") << QStringList{"fault silence 1 AT+CMGS"} << 1 << "1";
    QTest::newRow("ERROR to the command") << QStringList{"fault error 1 AT+CMGS"} << 1 << "1";
    QTest::newRow("+CMS ERROR: 500 to the message") << QStringList{"fault cms500 1 PDU"} << 2 << "1";
    QTest::newRow("silence after the message") << QStringList{"fault silence 1 PDU"} << 2 << "1";
    QTest::newRow("replies split over reads") << QStringList{"fault split 1 AT+CMGS", "fault split 1 PDU"} << 1 << "1";
    QTest::newRow("late acceptance, sent once") << QStringList{"fault late 1 PDU"} << 1 << "1";
    QTest::newRow("late prompt") << QStringList{"fault late 1 AT+CMGS"} << 1 << "1";
    QTest::newRow("late signal quality") << QStringList{"fault late 1 AT+CSQ"} << 1 << "1";
    QTest::newRow("refused three times") << QStringList{"fault cms500 always PDU"} << 3 << "0";
}

void TestSmsModemSim::injectedFaults()
{
    configure({"13800000001"}, {"1"});
    startThread();
    waitReady();
    QFETCH(QStringList, controls);
    for (const QString &c : controls)
        QVERIFY(sim->command(c));
    queueEvent(1);
    QTRY_COMPARE_WITH_TIMEOUT(logRows().size(), 1, 30000);
    QFETCH(QString, flag);
    QCOMPARE(logRows().first().section(QLatin1Char('|'), 3), flag);
    QFETCH(int, received);
    // The simulator's log comes through a pipe of its own, a moment after its reply.
    QVERIFY(sim->waitForMessages(received, 5000));
    QTest::qWait(100);
    QCOMPARE(sim->messages().size(), received);
    QCOMPARE(accepted(sim->messages()), flag == QLatin1String("1") ? 1 : 0);
    QVERIFY(sim->badPdus().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(linkState(), 3, 10000);
}

void TestSmsModemSim::portVanishesAndComesBack()
{
    configure({"13800000001"}, {"1"});
    startThread();
    waitReady();
    QVERIFY(sim->command(QStringLiteral("vanish")));
    QTRY_COMPARE_WITH_TIMEOUT(linkState(), 1, 10000);
    queueEvent(1);
    QTest::qWait(300);
    QVERIFY(logRows().isEmpty());
    QVERIFY(sim->command(QStringLiteral("appear")));
    waitReady();
    QVERIFY(sim->waitForMessages(1, 15000));
    QTRY_COMPARE_WITH_TIMEOUT(logRows().size(), 1, 5000);
    QCOMPARE(logRows().first().section(QLatin1Char('|'), 3), QStringLiteral("1"));
    QCOMPARE(accepted(sim->messages()), 1);
}

void TestSmsModemSim::stopWhileModemIsSilent()
{
    configure({"13800000001"}, {"1"});
    startThread();
    waitReady();
    QVERIFY(sim->command(QStringLiteral("fault silence always")));
    QTest::qWait(200);
    QElapsedTimer elapsed;
    elapsed.start();
    thread->stop();
    QVERIFY(thread->wait(3000));
    QVERIFY2(elapsed.elapsed() < 500, qPrintable(QString::number(elapsed.elapsed())));
}

// The road of one alarm with real parts at both ends: a status bit raised in the device
// simulator, polled by the running device thread, arrives at the modem simulator as an SMS
// to the number whose mask selects it; the link event goes to both numbers.
void TestSmsModemSim::statusBitReachesTheModem()
{
    env->runClock(); // the device thread polls on whole seconds of the clock
    DevSimProcess device;
    QVERIFY(device.start({QStringLiteral("--family"), QStringLiteral("three"), QStringLiteral("--steady")}));
    useSerialDevice(device.path(), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("4"));
    // Bit 3 selects codes 6 and 7 (battery fault).
    configure({"13800000001", "13800000002"}, {"8", "0"});

    serial_thread deviceThread;
    deviceThread.start();
    startThread();
    QTRY_COMPARE_WITH_TIMEOUT(upsInfo.commState.load(), int(CommOk), 20000);
    QVERIFY(device.command(QStringLiteral("bit 3 1")));

    // One status poll per ten-step cycle of two seconds a step.
    QVERIFY(sim->waitForMessages(3, 40000));
    QStringList received;
    for (const auto &m : sim->messages())
        received << m.to + QLatin1Char(' ') + m.text.section(QLatin1Char(','), 1);
    QCOMPARE(received, (QStringList{"+13800000001 " + eventText(EventCommSucceed),
                                    "+13800000002 " + eventText(EventCommSucceed),
                                    "+13800000001 " + eventText(7)}));

    deviceThread.stop();
    deviceThread.exit(0);
    QVERIFY(deviceThread.wait(5000));
}

QTEST_MAIN(TestSmsModemSim)
// The thread drops what is still in the line before each command (a late OK of an
// earlier one); that takes a read without a wait to give the bytes that came while no
// one was waiting, or the late OK ends the next command's reply in its place.
void TestSmsModemSim::portHandsOverBytesThatCameUnasked()
{
    QString error;
    const std::unique_ptr<ModemPort> port = serialModemBackend().open(
        ModemLineParams{sim->link(), 115200, 8, 'N', 1}, &error);
    QVERIFY2(port, qPrintable(error));
    QVERIFY(port->write("AT+GMI\r"));
    QThread::msleep(300); // the reply is in the line; nobody reads, no event loop runs
    QByteArray bytes = port->read(0);
    QVERIFY2(bytes.contains("OK"), bytes.constData());
}

#include "tst_smsmodemsim.moc"
