// The device thread against the device simulator over a real pty with real libmodbus:
// the requests of whole poll plans as the slave saw them, the decoded values, command
// writes, the link lost and regained, and every injected fault. The loop runs on the
// test's fixed clock, one pass per second moved, so a poll plan takes milliseconds.
#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "device/serial_thread.h"
#include "tests/support/devsimprocess.h"
#include "tests/support/testenv.h"

#include <QReadLocker>
#include <QWriteLocker>
#include <QtTest>

#include <memory>

namespace {

constexpr int kPlanSteps = 10;
// The fifth failed step in a row loses the link.
constexpr int kFailuresBeforeLost = 4;
// The simulator answers on its pty within milliseconds, so the link waits a fraction of the
// device's 1.5 s and 0.5 s: each silent or broken reply then costs that much, not seconds.
const ModbusLinkTimings kSimLinkTimings{400, 200};

// Requests as "fn start count" (writes "6 register value"), in the order sent.
QStringList requestTexts(const QList<DevSimProcess::Request> &requests)
{
    QStringList out;
    for (const auto &r : requests)
        out << QStringLiteral("%1 %2 %3").arg(r.fn).arg(r.start).arg(r.fn == 6 ? r.value : r.count);
    return out;
}

int countEvents(const QList<EventItem> &events, int code)
{
    int n = 0;
    for (const EventItem &e : events)
        n += e.code == code;
    return n;
}

QString nulPadded(const QString &text, int nuls) { return text + QString(nuls, QChar(0)); }

} // namespace

class TestDeviceSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pollPlanRequests_data();
    void pollPlanRequests();
    void threePhaseValues();
    void singlePhaseValues();
    void inverterValues();
    void valuesAgree_data();
    void valuesAgree();
    void commandWrites_data();
    void commandWrites();
    void linkLostAndRegained();
    void injectedFaults_data();
    void injectedFaults();
    void garbageBurstsResync_data();
    void garbageBurstsResync();
    void invalidAddressSendsNothing_data();
    void invalidAddressSendsNothing();
    void baudChangeReopensWithoutEvent();
    void runningThreadStopsAfterTransaction();
    void missingPortLoggedOnce();

private:
    void startSim(const QString &family, const QStringList &extra = {});
    void configure(const QString &protocol, const QString &address = QStringLiteral("1"));
    // Moves the clock on by one second per pass; a step (command or poll) every second pass.
    void runSteps(int steps);
    QList<EventItem> takeEvents() { return takeAllEvents(dbEventQueue, dbEventQueueLock); }
    // The codes of the alarm-change events posted so far, in order.
    QList<int> takeAlarmCodes()
    {
        QList<int> codes;
        for (const EventItem &e : takeEvents())
            if (e.code < EventCommSucceed)
                codes << e.code;
        return codes;
    }

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<DevSimProcess> sim;
    std::unique_ptr<ModbusBackend> link;
    std::unique_ptr<serial_thread> thread; // after the link: closes it while it exists
};

void TestDeviceSim::init()
{
    env = std::make_unique<TestEnv>();
    sim = std::make_unique<DevSimProcess>();
    link = makeRtuModbusBackend(kSimLinkTimings);
    thread = std::make_unique<serial_thread>();
    thread->setBackends(link.get(), nullptr);
}

void TestDeviceSim::cleanup()
{
    thread.reset();
    link.reset();
    sim.reset();
    env.reset();
}

void TestDeviceSim::startSim(const QString &family, const QStringList &extra)
{
    QVERIFY(sim->start(QStringList{QStringLiteral("--family"), family, QStringLiteral("--steady")} + extra));
}

void TestDeviceSim::configure(const QString &protocol, const QString &address)
{
    useSerialDevice(sim->path(), protocol, address, QStringLiteral("4"));
}

void TestDeviceSim::runSteps(int steps)
{
    if (!thread->loopStarted())
        thread->beginLoop();
    for (int pass = 0; pass < 2 * steps; ++pass) {
        env->clock().advanceMs(1000);
        thread->loopPass();
    }
}

void TestDeviceSim::pollPlanRequests_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("address");
    QTest::addColumn<QStringList>("expected");

    // Transaction ids 1 status inputs, 2 settings, 3 live values, 4 identity, 5 PV inputs.
    const QString t1 = "2 0 32", t2 = "3 0 68", t3 = "4 0 125", t4 = "4 32768 58", t5 = "4 126 95";
    // Ids 15 and 16 inverter live values, 17 and 18 alarm inputs, 19 settings.
    const QString t15 = "4 0 125", t16 = "4 125 20", t17 = "2 0 125", t18 = "2 125 76", t19 = "3 0 52";
    QTest::newRow("three-phase UPS") << "three" << "0" << 1
                                     << QStringList{t3, t4, t5, t1, t2, t3, t4, t5, t1, t3};
    QTest::newRow("single-phase UPS") << "single" << "1" << 1
                                      << QStringList{t3, t4, t1, t2, t3, t4, t1, t3, t4, t1};
    QTest::newRow("inverter") << "inverter" << "3" << 1
                              << QStringList{t15, t16, t17, t18, t19, t15, t16, t17, t15, t16};
    QTest::newRow("three-phase UPS at slave 17") << "three" << "0" << 17
                                                 << QStringList{t3, t4, t5, t1, t2, t3, t4, t5, t1, t3};
}

void TestDeviceSim::pollPlanRequests()
{
    QFETCH(QString, family);
    QFETCH(QString, protocol);
    QFETCH(int, address);
    QFETCH(QStringList, expected);

    startSim(family, {QStringLiteral("--address"), QString::number(address)});
    configure(protocol, QString::number(address));
    runSteps(kPlanSteps);

    QVERIFY(sim->waitForRequests(kPlanSteps));
    const auto requests = sim->requests();
    QCOMPARE(requestTexts(requests), expected);
    for (const auto &r : requests) {
        QCOMPARE(r.addr, address);
        QCOMPARE(r.reply, QStringLiteral("normal"));
    }
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    const auto events = takeEvents();
    QCOMPARE(countEvents(events, EventCommSucceed), 1);
    QCOMPARE(countEvents(events, EventCommFailed), 0);
}

void TestDeviceSim::threePhaseValues()
{
    startSim(QStringLiteral("three"));
    QVERIFY(sim->command("reg 96 -100")); // phase C bypass power, negative
    QVERIFY(sim->command("bit 3 1"));
    QVERIFY(sim->command("bit 20 1"));
    configure(QStringLiteral("0"));
    runSteps(5); // ids 3, 4, 5, 1, 2

    {
        QReadLocker l(&upsInfo.lock);
        QCOMPARE(upsInfo.values[InputVolt], QStringLiteral("230.1/229.8/231.0"));
        QCOMPARE(upsInfo.values[InputFreq], QStringLiteral("50.0/50.0/50.0"));
        QCOMPARE(upsInfo.values[OutputLoadPercent], QStringLiteral("45.6/44.9/46.2"));
        QCOMPARE(upsInfo.values[BypassActPower], QStringLiteral("0.0/0.0/-10.0"));
        QCOMPARE(upsInfo.values[BatteryVolt], QStringLiteral("432.0"));
        QCOMPARE(upsInfo.values[InputPowerFac], QStringLiteral("1.0"));
        QCOMPARE(upsInfo.values[PVTotalGen], QStringLiteral("45678.9"));
        QCOMPARE(upsInfo.pvTotalGenScaled, QStringLiteral("44308.5"));
        QCOMPARE(upsInfo.sysTemp, QStringLiteral("35.2"));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                     .match(upsInfo.deviceTime)
                     .hasMatch(),
                 qPrintable(upsInfo.deviceTime));
        QCOMPARE(upsInfo.outputFieldMask, uint16_t(0x07FE));
        QCOMPARE(upsInfo.deviceName, nulPadded(QStringLiteral("KS-3310 10kVA"), 3));
        QCOMPARE(upsInfo.deviceType, nulPadded(QStringLiteral("三相在线式UPS"), 3));
        QCOMPARE(upsInfo.deviceManufacturer, nulPadded(QStringLiteral("Kestrava 模拟"), 3));
        QCOMPARE(upsInfo.deviceProtocolVersion, QStringLiteral("1.2"));
        QCOMPARE(upsInfo.deviceMonitorVersion, QStringLiteral("10.5"));
        QCOMPARE(upsInfo.deviceControlVersion, QStringLiteral("1"));
        QCOMPARE(int(upsInfo.pvInputCount), 4);
        QCOMPARE(upsInfo.pvInputTable[1].voltage, QStringLiteral("381.0"));
        QCOMPARE(upsInfo.pvInputTable[3].totalGen, QStringLiteral("4540.0"));
        QCOMPARE(int(upsInfo.statusBits[3]), 1);
        QCOMPARE(int(upsInfo.statusBits[20]), 1);
        QCOMPARE(int(upsInfo.inverterMode), 1);
        QCOMPARE(upsInfo.gridHourBands[2], uint16_t(0x00FF));
        QCOMPARE(upsInfo.supportFlags[0], uint16_t(0xFFFF));
    }
    QVERIFY(settingsValid);
    QCOMPARE(takeAlarmCodes(), (QList<int>{7, 41})); // bits 3 and 20 set, in bit order
}

void TestDeviceSim::singlePhaseValues()
{
    startSim(QStringLiteral("single"));
    QVERIFY(sim->command("reg 25 -200")); // battery current, negative
    configure(QStringLiteral("1"));
    // Ids 3, 4, 1, 2, 3: the link coming up empties the PV samples after the first block,
    // so one sample is left, from the second live-value block.
    runSteps(5);

    QReadLocker l(&upsInfo.lock);
    QCOMPARE(upsInfo.values[InputVolt], QStringLiteral("230.10"));
    QCOMPARE(upsInfo.values[BatteryVolt], QStringLiteral("54.36"));
    QCOMPARE(upsInfo.values[BatteryCurr], QStringLiteral("-2.00"));
    QCOMPARE(upsInfo.values[OutputLoadPercent], QStringLiteral("45.60"));
    QCOMPARE(upsInfo.values[PVPower], QStringLiteral("3.12")); // 380.50 V x 8.20 A
    QCOMPARE(upsInfo.values[PVTotalGen], QStringLiteral("45678.90"));
    QCOMPARE(upsInfo.deviceType, nulPadded(QStringLiteral("单相在线式UPS"), 3));
    QCOMPARE(upsInfo.pvPowerSampleCount, 1);
    QCOMPARE(upsInfo.pvPowerSamples[0], 3.12);
}

void TestDeviceSim::valuesAgree_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("steps");
    QTest::newRow("three-phase") << "three" << "0" << 5;
    QTest::newRow("single-phase") << "single" << "1" << 5;
    QTest::newRow("inverter") << "inverter" << "3" << 5;
}

// The simulated figures agree with each other as a real device's do, within the
// resolution the registers give.
void TestDeviceSim::valuesAgree()
{
    QFETCH(QString, family);
    QFETCH(QString, protocol);
    QFETCH(int, steps);
    startSim(family);
    configure(protocol);
    runSteps(steps);
    QReadLocker l(&upsInfo.lock);
    const auto n = [](const QString &text, int phase = 0) { return text.split(QLatin1Char('/')).value(phase).toDouble(); };
    if (family == QLatin1String("inverter")) {
        const double load = n(inverterInfo.values[41]), pf = n(inverterInfo.values[114]);
        const double va = n(inverterInfo.values[38]), w = n(inverterInfo.values[35]);
        QVERIFY2(qAbs(va - load / 100 * 4000) < 1, qPrintable(inverterInfo.values[38]));
        QVERIFY2(qAbs(w - va * pf) < 1, qPrintable(inverterInfo.values[35]));
        // The flow's PV power (register 89, shown x10) is the PV power of register 131.
        QVERIFY2(qAbs(n(inverterInfo.values[89]) * 10 - n(inverterInfo.values[131])) < 1,
                 qPrintable(inverterInfo.values[89]));
        return;
    }
    const bool three = family == QLatin1String("three");
    const double resolution = three ? 0.1 : 0.01;
    const double pvKw = n(upsInfo.values[PVVolt]) * n(upsInfo.values[PVCurr]) / 1000;
    QVERIFY2(qAbs(n(upsInfo.values[PVPower]) - pvKw) <= resolution, qPrintable(upsInfo.values[PVPower]));
    const double perPhaseKva = three ? 10.0 / 3 : 6.0;
    for (int phase = 0; phase < (three ? 3 : 1); ++phase) {
        const double kva = n(upsInfo.values[OutputAppPower], phase);
        const double kw = n(upsInfo.values[OutputActivePower], phase);
        const double volts = n(upsInfo.values[OutputVolt], phase);
        const double amps = n(upsInfo.values[OutputCurr], phase);
        const double load = n(upsInfo.values[OutputLoadPercent], phase);
        QVERIFY2(qAbs(kva - load / 100 * perPhaseKva) <= resolution, qPrintable(upsInfo.values[OutputAppPower]));
        QVERIFY2(qAbs(kva - volts * amps / 1000) <= 2 * resolution, qPrintable(upsInfo.values[OutputCurr]));
        QVERIFY2(qAbs(kw - kva * n(upsInfo.values[OutputPowerFac])) <= 2 * resolution,
                 qPrintable(upsInfo.values[OutputActivePower]));
    }
    // Hours of charge at this load, as minutes.
    QVERIFY(n(upsInfo.values[BatteryRemainTime]) > 30);
}

void TestDeviceSim::inverterValues()
{
    startSim(QStringLiteral("inverter"));
    QVERIFY(sim->command("bit 109 1")); // alarm slot 18
    QVERIFY(sim->command("bit 197 1")); // alarm slot 24
    configure(QStringLiteral("3"));
    runSteps(5); // ids 15 to 19

    {
        QReadLocker l(&upsInfo.lock);
        QCOMPARE(inverterInfo.values[1], QStringLiteral("230.1"));
        QCOMPARE(inverterInfo.values[7], QStringLiteral("50"));
        QCOMPARE(inverterInfo.values[41], QStringLiteral("45.6"));
        QCOMPARE(inverterInfo.values[75], QStringLiteral("1"));
        QCOMPARE(inverterInfo.values[114], QStringLiteral("0.98"));
        QCOMPARE(inverterInfo.values[131], QStringLiteral("2479"));
        QCOMPARE(inverterInfo.values[134], QStringLiteral("123457")); // 123456.7 in six digits
        QCOMPARE(inverterInfo.settings[20], QStringLiteral("12"));
        QCOMPARE(inverterInfo.settings[21], QStringLiteral("1.05"));
        QCOMPARE(inverterInfo.settings[28], QString::number('K' << 8 | 'e'));
        QCOMPARE(int(inverterInfo.alarms[18]), 1);
        QCOMPARE(int(inverterInfo.alarms[24]), 1);
    }
    QVERIFY(settingsValid);
    QCOMPARE(takeAlarmCodes(), (QList<int>{37, 49})); // slots 18 and 24
}

void TestDeviceSim::commandWrites_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("event");    // -1: none
    QTest::addColumn<int>("reg");      // -1: nothing sent
    QTest::addColumn<int>("value");

    QTest::newRow("self-test, UPS") << "three" << "0" << "selfTest1Min" << 67 << 5 << 0xFFFF;
    QTest::newRow("bypass on, UPS") << "three" << "0" << "OnBypassSwitch" << 75 << 7 << 0xFF00;
    QTest::newRow("bypass off, single-phase") << "single" << "1" << "OffBypassSwitch" << 76 << 7 << 0x00FF;
    QTest::newRow("discharge depth 1.75") << "three" << "0" << "depthDischarge" << 77 << 10 << 175;
    QTest::newRow("countdown off 30") << "three" << "0" << "countdownOffInverter" << 70 << 11 << 30;
    QTest::newRow("hour band, mode 1") << "single" << "1" << "hour8-15" << -1 << 35 << 22;
    QTest::newRow("shutdown, UPS") << "three" << "0" << "shutdown" << 73 << 28 << 0xFFFF;
    QTest::newRow("turn on, inverter") << "inverter" << "3" << "turnOnInverter" << 73 << 0xF000 << 0xFFFF;
    QTest::newRow("shutdown, inverter, warning 15") << "inverter" << "3" << "shutdown" << 73 << 0xF00E << 15;
    QTest::newRow("clear energy, inverter") << "inverter" << "3" << "cleartotalgen" << 76 << 0xF00C << 0xFFFF;
    QTest::newRow("bypass on, inverter: nothing sent") << "inverter" << "3" << "OnBypassSwitch" << 75 << -1 << 0;
}

void TestDeviceSim::commandWrites()
{
    QFETCH(QString, family);
    QFETCH(QString, protocol);
    QFETCH(QString, word);
    QFETCH(int, event);
    QFETCH(int, reg);
    QFETCH(int, value);

    startSim(family);
    configure(protocol);
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.depthDischarge = 1.75;
        deviceSettings.countdownOffITime = QStringLiteral("30");
    }
    {
        QWriteLocker l(&scheduleListLock);
        preAlarm = QStringLiteral("15");
    }
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.inverterMode = 1;
    }

    runSteps(1); // poll step 0
    QVERIFY(sim->waitForRequests(1));
    takeEvents();
    if (word.startsWith(QLatin1String("hour")))
        appendQueuedCommands({{word, {QStringLiteral("11"), QStringLiteral("22"), QStringLiteral("33")}}});
    else
        appendCommand(word);
    runSteps(2); // the word, then poll step 1: the word held the plan

    QVERIFY(sim->waitForRequests(reg < 0 ? 2 : 3));
    const auto requests = sim->requests();
    QStringList plan = requestTexts(requests);
    if (reg >= 0) {
        QCOMPARE(requests.size(), 3);
        QCOMPARE(plan.at(1), QStringLiteral("6 %1 %2").arg(reg).arg(value));
        QCOMPARE(requests.at(1).addr, 1);
        plan.removeAt(1);
    } else {
        QTest::qWait(200); // a write would have been logged by now
        QCOMPARE(sim->requests().size(), 2);
    }
    QVERIFY(plan.at(0) != plan.at(1)); // step 1 followed step 0
    QCOMPARE(thread->currentPollIndex(), uint16_t(2));

    const auto events = takeEvents();
    QCOMPARE(events.size(), event < 0 ? 0 : 1);
    if (event >= 0)
        QCOMPARE(events.at(0).code, event);
}

void TestDeviceSim::linkLostAndRegained()
{
    startSim(QStringLiteral("three"));
    configure(QStringLiteral("0"));
    runSteps(1);
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    QCOMPARE(countEvents(takeEvents(), EventCommSucceed), 1);

    // Each silent step waits out the response time-out.
    QVERIFY(sim->command("fault silence always"));
    runSteps(4);
    QCOMPARE(thread->currentFailCount(), 4);
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    QVERIFY(takeEvents().isEmpty());
    runSteps(2); // the fifth failure loses the link; the sixth changes nothing
    QCOMPARE(upsInfo.commState.load(), int(CommLost));
    auto events = takeEvents();
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.at(0).code, int(EventCommFailed));

    QVERIFY(sim->command("fault none"));
    runSteps(2);
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    QCOMPARE(thread->currentFailCount(), 0);
    events = takeEvents();
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.at(0).code, int(EventCommSucceed));

    int silent = 0;
    for (const auto &r : sim->requests())
        silent += r.reply == QLatin1String("silence");
    QCOMPARE(silent, 6);
}

void TestDeviceSim::injectedFaults_data()
{
    QTest::addColumn<QString>("fault");
    for (const char *f : {"silence", "badcrc", "exception", "wrongslave", "garbage", "truncated"})
        QTest::newRow(f) << QString::fromLatin1(f);
}

void TestDeviceSim::injectedFaults()
{
    QFETCH(QString, fault);

    startSim(QStringLiteral("three"));
    configure(QStringLiteral("0"));
    runSteps(1);
    QCOMPARE(thread->currentFailCount(), 0);

    QVERIFY(sim->command(QStringLiteral("fault %1").arg(fault)));
    runSteps(1);
    QVERIFY(sim->waitForRequests(2));
    QCOMPARE(sim->requests().at(1).reply, fault);
    QCOMPARE(thread->currentFailCount(), 1);
    QVERIFY(!thread->lastPollSucceeded());

    // The fault spoiled one reply: the next step reads a clean line again.
    runSteps(1);
    QCOMPARE(thread->currentFailCount(), 0);
    QVERIFY(thread->lastPollSucceeded());
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    QVERIFY(sim->isRunning());
}

void TestDeviceSim::garbageBurstsResync_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("burst");
    QTest::newRow("three-phase, 1") << "three" << "0" << 1;
    QTest::newRow("three-phase, 2") << "three" << "0" << 2;
    QTest::newRow("three-phase, 5") << "three" << "0" << 5;
    QTest::newRow("three-phase, 20") << "three" << "0" << 20;
    QTest::newRow("single-phase, 2") << "single" << "1" << 2;
    QTest::newRow("inverter, 5") << "inverter" << "3" << 5;
}

void TestDeviceSim::garbageBurstsResync()
{
    QFETCH(QString, family);
    QFETCH(QString, protocol);
    QFETCH(int, burst);

    // Garbage in place of a reply leaves bytes the master has not asked for; unless they
    // are discarded, every later reply is read out of step and the link never returns.
    startSim(family);
    configure(protocol);
    runSteps(1);
    QVERIFY(thread->lastPollSucceeded());
    QVERIFY(sim->waitForRequests(1)); // logged after the reply went out
    takeEvents();

    for (int round = 0; round < 2; ++round) {
        sim->clearRequests();
        QVERIFY(sim->command(QStringLiteral("fault garbage %1").arg(burst)));
        runSteps(burst);
        QVERIFY(sim->waitForRequests(burst));
        QCOMPARE(thread->currentFailCount(), burst);
        runSteps(2);
        QVERIFY(sim->waitForRequests(burst + 2));
        const auto requests = sim->requests();
        QVERIFY2(requests.size() == burst + 2, qPrintable(requestTexts(requests).join(QLatin1Char(','))));
        for (int i = 0; i < requests.size(); ++i)
            QCOMPARE(requests.at(i).reply, QString::fromLatin1(i < burst ? "garbage" : "normal"));
        QCOMPARE(thread->currentFailCount(), 0);
        QVERIFY(thread->lastPollSucceeded());
        QCOMPARE(upsInfo.commState.load(), int(CommOk));

        const auto events = takeEvents();
        const int pairs = burst > kFailuresBeforeLost ? 1 : 0;
        QCOMPARE(countEvents(events, EventCommFailed), pairs);
        QCOMPARE(countEvents(events, EventCommSucceed), pairs);
    }
}

void TestDeviceSim::invalidAddressSendsNothing_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("0, the broadcast address") << "0";
    QTest::newRow("empty") << "";
    QTest::newRow("not a number") << "abc";
    QTest::newRow("248") << "248";
}

void TestDeviceSim::invalidAddressSendsNothing()
{
    QFETCH(QString, address);

    startSim(QStringLiteral("three"));
    configure(QStringLiteral("0"), address);
    runSteps(2);
    appendCommand(QStringLiteral("shutdown"));
    runSteps(1);

    QTest::qWait(200); // a request would have been logged by now
    QCOMPARE(sim->requests().size(), 0);
    QCOMPARE(thread->currentFailCount(), 2);
    QCOMPARE(upsInfo.commState.load(), int(CommConnecting));
}

void TestDeviceSim::baudChangeReopensWithoutEvent()
{
    startSim(QStringLiteral("three"));
    configure(QStringLiteral("0"));
    runSteps(1);
    QCOMPARE(countEvents(takeEvents(), EventCommSucceed), 1);
    {
        QWriteLocker l(&settingsLock);
        systemSettings.dev_boudrate = QStringLiteral("6");
    }
    env->clock().advanceMs(1000);
    thread->loopPass(); // the port rule reopens at 38400 baud
    QCOMPARE(upsInfo.commState.load(), int(CommConnecting));
    QVERIFY(takeEvents().isEmpty());
    QVERIFY(thread->modbusOpen());
    runSteps(1);
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    QCOMPARE(countEvents(takeEvents(), EventCommSucceed), 1);
    QVERIFY(sim->waitForRequests(2));
    QCOMPARE(sim->requests().at(1).reply, QStringLiteral("normal"));
}

void TestDeviceSim::runningThreadStopsAfterTransaction()
{
    // The thread itself on a running clock, while the slave keeps it waiting for a reply.
    env->runClock();
    startSim(QStringLiteral("three"));
    QVERIFY(sim->command("fault silence always"));
    configure(QStringLiteral("0"));
    thread->start();
    QVERIFY(sim->waitForRequests(1, 5000)); // a transaction is under way

    QElapsedTimer timer;
    timer.start();
    thread->stop();
    QVERIFY(thread->wait(5000));
    // At most the rest of the response time-out, then no further pass (the clock would
    // have brought a poll step within a fifth of a second).
    QVERIFY2(timer.elapsed() < kSimLinkTimings.responseMs + 500, qPrintable(QString::number(timer.elapsed())));
    QTest::qWait(300);
    QCOMPARE(sim->requests().size(), 1);
}

void TestDeviceSim::missingPortLoggedOnce()
{
    // Retried every poll step, but named in one warning when it starts and one line
    // when it ends, not once every two seconds.
    const QRegularExpression anyOpenLine(QStringLiteral("device port|No such file"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("cannot open the device port.*No such file or directory")));
    QTest::failOnWarning(anyOpenLine);
    useSerialDevice(env->root() + QStringLiteral("/ttyMissing"), QStringLiteral("0"), QStringLiteral("1"),
                    QStringLiteral("4"));
    runSteps(10);
    QCOMPARE(upsInfo.commState.load(), int(CommLost));

    startSim(QStringLiteral("three"));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("device port open again")));
    configure(QStringLiteral("0"));
    runSteps(3);
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
}

QTEST_GUILESS_MAIN(TestDeviceSim)
#include "tst_devicesim.moc"
