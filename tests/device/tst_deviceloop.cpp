// The device thread's loop driven pass by pass with a fixed clock: the poll plan of each
// protocol code, command slots, the link states with their events, the port and
// transport rules; and the real thread: it idles without spinning and stops promptly.
#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/protocolcode.h"
#include "core/settings.h"
#include "device/serial_thread.h"
#include "tests/device/devicefixture.h"
#include "tests/support/testenv.h"

#include <QSemaphore>
#include <QtTest>

#include <sys/resource.h>

namespace {
// The events beyond the status edges that the decoders post for the fake's inputs.
QList<int> eventCodes()
{
    QList<int> codes;
    QReadLocker l(&dbEventQueueLock);
    for (const EventItem &e : dbEventQueue)
        if (e.code >= EventCommSucceed)
            codes.append(e.code);
    return codes;
}

// Every read transaction as the device sees it: function, first register, count.
struct Wire
{
    int function, start, count;
};
const QMap<int, Wire> &transactionWire()
{
    static const QMap<int, Wire> wire = {
        {1, {2, 0, 32}},      {2, {3, 0, 68}},      {3, {4, 0, 125}},    {4, {4, 0x8000, 58}},
        {5, {4, 126, 95}},    {7, {4, 0, 21}},      {8, {4, 21, 21}},    {9, {4, 42, 21}},
        {10, {4, 63, 10}},    {11, {4, 84, 21}},    {12, {4, 105, 7}},   {13, {4, 0x8000, 20}},
        {14, {4, 0x8014, 12}}, {15, {4, 0, 125}},   {16, {4, 125, 20}},  {17, {2, 0, 125}},
        {18, {2, 125, 76}},   {19, {3, 0, 52}},     {21, {4, 0, 32}},    {22, {4, 32, 32}},
        {23, {4, 64, 32}},    {24, {4, 96, 32}},    {25, {4, 128, 17}},  {26, {2, 0, 120}},
        {27, {2, 120, 80}},   {28, {3, 20, 32}},
    };
    return wire;
}

// The id whose wire form this is; the two forms of id 2 and the shared forms of the
// two families are told apart by the protocol code.
int idOf(const QString &protocol, int function, int start, int count)
{
    if (function == 3 && start == 0 && count == 42)
        return 2; // the USB-HID form of the settings block
    QList<int> candidates;
    for (auto it = transactionWire().cbegin(); it != transactionWire().cend(); ++it)
        if (it->function == function && it->start == start && it->count == count)
            candidates.append(it.key());
    for (int id : candidates) {
        const bool inverter = id >= 15;
        if (inverter == (deviceFamily(protocol) == DeviceFamily::Inverter))
            return id;
    }
    return candidates.value(0, -1);
}

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

class TestDeviceLoop : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pollPlan_data();
    void pollPlan();
    void firstSecondOpensThePort();
    void queuedWordHoldsPollIndex();
    void fiveFailuresPostOneLost();
    void linkFaultNamesTheReason();
    void baudChangeReconnectsWithoutEvent();
    void reopeningKeepsFailCount();
    void protocolChangeKeepsLinkState();
    void usbProtocolsIgnorePortSettings_data();
    void usbProtocolsIgnorePortSettings();
    void unknownProtocolFailsEveryStep();
    void noStepWithoutChangeOfSecond();
    void idleThreadDoesNotSpin();
    void stopEndsAfterTransactionInProgress();

private:
    void tick(int seconds = 1);
    QList<int> idsSeen(const QString &protocol) const;

    std::unique_ptr<DeviceFixture> f;
};

void TestDeviceLoop::init()
{
    f = std::make_unique<DeviceFixture>();
    setLinkSettings(QStringLiteral("0"));
}

void TestDeviceLoop::cleanup()
{
    f.reset();
}

void TestDeviceLoop::tick(int seconds)
{
    for (int i = 0; i < seconds; ++i) {
        f->env.clock().advanceMs(1000);
        f->thread.loopPass();
    }
}

QList<int> TestDeviceLoop::idsSeen(const QString &protocol) const
{
    QList<int> ids;
    for (const FakeModbusRequest &r : f->modbus.requests)
        if (r.function != 6)
            ids.append(idOf(protocol, r.function, r.address, r.count));
    for (const QByteArray &r : f->hid.requests) {
        const auto b = [&](int i) { return int(uint8_t(r.at(i))); };
        if (b(2) != 6)
            ids.append(idOf(protocol, b(2), b(3) << 8 | b(4), b(5) << 8 | b(6)));
    }
    return ids;
}

void TestDeviceLoop::pollPlan_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QList<int>>("ids");
    QTest::newRow("0") << "0" << QList<int>{3, 4, 5, 1, 2, 3, 4, 5, 1, 3, 3, 4};
    QTest::newRow("1") << "1" << QList<int>{3, 4, 1, 2, 3, 4, 1, 3, 4, 1, 3, 4};
    QTest::newRow("2") << "2" << QList<int>{7, 8, 9, 10, 11, 12, 13, 14, 1, 2, 7, 8};
    QTest::newRow("3") << "3" << QList<int>{15, 16, 17, 18, 19, 15, 16, 17, 15, 16, 15, 16};
    QTest::newRow("4") << "4" << QList<int>{21, 22, 23, 24, 25, 26, 27, 28, 21, 22, 21, 22};
}

void TestDeviceLoop::pollPlan()
{
    QFETCH(QString, protocol);
    QFETCH(QList<int>, ids);
    setLinkSettings(protocol);
    f->thread.beginLoop();
    tick();
    // Every step succeeds: a wrong count, reply length or reply check for any one id
    // fails its step, which a healthy link state after the plan would hide.
    for (int step = 0; step < ids.size(); ++step) {
        tick(2);
        QVERIFY2(f->thread.lastPollSucceeded(), qPrintable(QStringLiteral("step %1").arg(step)));
    }
    QCOMPARE(idsSeen(protocol), ids);
    QCOMPARE(eventCodes(), QList<int>{EventCommSucceed});
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    for (const FakeModbusRequest &r : f->modbus.requests)
        QCOMPARE(r.slave, 1);
}

void TestDeviceLoop::firstSecondOpensThePort()
{
    f->thread.beginLoop();
    tick();
    // The port rule and then the transport rule each open it; the first closes again.
    QCOMPARE(f->modbus.opens.size(), 2);
    QCOMPARE(f->modbus.linksAlive, 1);
    QCOMPARE(f->modbus.opens.first().device, QByteArray("/tmp/fake-port"));
    QVERIFY(f->modbus.requests.isEmpty());
    tick();
    QCOMPARE(f->modbus.requests.size(), 1);
}

void TestDeviceLoop::queuedWordHoldsPollIndex()
{
    setLinkSettings(QStringLiteral("3"));
    f->thread.beginLoop();
    tick(2); // step 0: id 15
    QCOMPARE(f->thread.currentPollIndex(), uint16_t(1));
    appendCommand(QStringLiteral("selfTest1Min"));
    tick(); // odd second: nothing
    QCOMPARE(f->modbus.requests.size(), 1);
    tick(); // the command slot
    QCOMPARE(f->modbus.requests.size(), 2);
    QCOMPARE(f->modbus.requests.last(), (FakeModbusRequest{1, 6, 0xF008, 0xFFFF}));
    QCOMPARE(f->thread.currentPollIndex(), uint16_t(1));
    tick(2); // the step that was due
    QCOMPARE(idsSeen(QStringLiteral("3")), (QList<int>{15, 16}));
    QCOMPARE(eventCodes(), (QList<int>{EventCommSucceed, EventSelfTest1Min}));
}

void TestDeviceLoop::fiveFailuresPostOneLost()
{
    f->modbus.faults = QList<ModbusFault>(7, ModbusFault::Error);
    f->thread.beginLoop();
    tick(1 + 2 * 4);
    QVERIFY(eventCodes().isEmpty());
    QCOMPARE(upsInfo.commState.load(), int(CommConnecting));
    tick(2);
    QCOMPARE(eventCodes(), QList<int>{EventCommFailed});
    QCOMPARE(upsInfo.commState.load(), int(CommLost));
    tick(4);
    QCOMPARE(eventCodes(), QList<int>{EventCommFailed});
    QCOMPARE(f->thread.currentFailCount(), 7);
    // Every failed read closed the port; each next step opened it again.
    QCOMPARE(f->modbus.requests.size(), 7);
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.pvPowerSampleCount = 9;
    }
    settingsValid = true;
    tick(2);
    QCOMPARE(eventCodes(), (QList<int>{EventCommFailed, EventCommSucceed}));
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    QCOMPARE(f->thread.currentFailCount(), 0);
    QVERIFY(!settingsValid);
    QCOMPARE(upsInfo.pvPowerSampleCount, 0);
}

void TestDeviceLoop::linkFaultNamesTheReason()
{
    const auto fault = [] {
        QReadLocker l(&upsInfo.lock);
        return upsInfo.linkFault;
    };
    f->modbus.refuseOpen = true;
    f->modbus.openError = "No such file or directory";
    f->thread.beginLoop();
    tick(3);
    QCOMPARE(fault(), QStringLiteral("/tmp/fake-port: No such file or directory"));

    // Open, and silent.
    f->modbus.refuseOpen = false;
    f->modbus.faults = QList<ModbusFault>(3, ModbusFault::Error);
    tick(2);
    QCOMPARE(fault(), QString::fromLatin1(ThreePhaseUPSInfo::kLinkFaultNoReply));
    tick(4);
    QCOMPARE(fault(), QString::fromLatin1(ThreePhaseUPSInfo::kLinkFaultNoReply));

    // Answering: no fault.
    tick(2);
    QCOMPARE(fault(), QString());
}

void TestDeviceLoop::baudChangeReconnectsWithoutEvent()
{
    f->thread.beginLoop();
    tick(3);
    QCOMPARE(eventCodes(), QList<int>{EventCommSucceed});
    settingsValid = true;
    {
        QWriteLocker l(&settingsLock);
        systemSettings.dev_boudrate = QStringLiteral("6");
    }
    tick();
    QCOMPARE(upsInfo.commState.load(), int(CommConnecting));
    QCOMPARE(upsInfo.commStatePrev.load(), int(CommConnecting));
    QVERIFY(!settingsValid);
    QCOMPARE(f->modbus.opens.last().baud, 38400);
    QCOMPARE(eventCodes(), QList<int>{EventCommSucceed});
    tick(2);
    QCOMPARE(eventCodes(), (QList<int>{EventCommSucceed, EventCommSucceed}));
}

void TestDeviceLoop::reopeningKeepsFailCount()
{
    f->modbus.faults = QList<ModbusFault>(8, ModbusFault::Error);
    f->thread.beginLoop();
    tick(1 + 2 * 6);
    QCOMPARE(eventCodes(), QList<int>{EventCommFailed});
    {
        QWriteLocker l(&settingsLock);
        systemSettings.dev_boudrate = QStringLiteral("5");
    }
    tick();
    QCOMPARE(upsInfo.commState.load(), int(CommConnecting));
    // The link is still failing: the first failed step after the reopening is a loss.
    tick(2);
    QCOMPARE(upsInfo.commState.load(), int(CommLost));
    QCOMPARE(eventCodes(), (QList<int>{EventCommFailed, EventCommFailed}));
}

void TestDeviceLoop::protocolChangeKeepsLinkState()
{
    f->thread.beginLoop();
    tick(3);
    settingsValid = true;
    const int opens = int(f->modbus.opens.size());
    setLinkSettings(QStringLiteral("3"));
    tick();
    QCOMPARE(f->modbus.opens.size(), opens + 1);
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    QVERIFY(settingsValid);
    tick(2);
    QCOMPARE(idsSeen(QStringLiteral("3")).last(), 16); // the plan goes on at its index
    QCOMPARE(eventCodes(), QList<int>{EventCommSucceed});
}

void TestDeviceLoop::usbProtocolsIgnorePortSettings_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::newRow("2") << "2";
    QTest::newRow("4") << "4";
}

void TestDeviceLoop::usbProtocolsIgnorePortSettings()
{
    QFETCH(QString, protocol);
    setLinkSettings(protocol);
    f->thread.beginLoop();
    tick(3);
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.inverterSelectName = QStringLiteral("/tmp/other");
        systemSettings.dev_boudrate = QStringLiteral("1");
    }
    tick(2);
    QVERIFY(f->modbus.opens.isEmpty());
    QCOMPARE(f->hid.openedIds.size(), 1);
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
}

void TestDeviceLoop::unknownProtocolFailsEveryStep()
{
    setLinkSettings(QStringLiteral("7"));
    appendCommand(QStringLiteral("selfTest1Min"));
    f->thread.beginLoop();
    tick(1 + 2 * 6);
    QCOMPARE(f->hid.openedIds.size(), 1); // the USB-HID transport is opened
    QVERIFY(f->hid.requests.isEmpty());    // but nothing is ever sent
    QCOMPARE(eventCodes(), (QList<int>{EventSelfTest1Min, EventCommFailed}));
    QCOMPARE(upsInfo.commState.load(), int(CommLost));
}

void TestDeviceLoop::noStepWithoutChangeOfSecond()
{
    f->thread.beginLoop();
    for (int i = 0; i < 50; ++i) {
        f->env.clock().advanceMs(19);
        f->thread.loopPass();
    }
    // 950 ms: no change of the second yet.
    QVERIFY(f->modbus.opens.isEmpty());
    // A transaction that took several seconds counts as one change.
    tick();
    f->env.clock().advanceMs(5000);
    f->thread.loopPass();
    QCOMPARE(f->modbus.requests.size(), 1);
}

void TestDeviceLoop::idleThreadDoesNotSpin()
{
    // The clock stands still: the thread has nothing to do and must sleep.
    f->thread.start();
    QTest::qWait(100);
    const double before = processCpuSeconds();
    QTest::qWait(1000);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.1, qPrintable(QString::number(used)));
    QElapsedTimer t;
    t.start();
    f->thread.stop();
    QVERIFY(f->thread.wait(1000));
    QVERIFY2(t.elapsed() < 200, qPrintable(QString::number(t.elapsed())));
}

void TestDeviceLoop::stopEndsAfterTransactionInProgress()
{
    // A fake link whose read blocks until the test lets it go.
    struct BlockingBackend : FakeModbusBackend
    {
        QSemaphore entered, release;
        std::unique_ptr<ModbusLink> open(const SerialLineParams &p) override
        {
            struct Link : FakeModbusLink
            {
                BlockingBackend *b;
                explicit Link(BlockingBackend *bb) : FakeModbusLink(bb), b(bb) {}
                int readInputRegisters(int a, int c, uint16_t *d) override
                {
                    b->entered.release();
                    b->release.acquire();
                    return FakeModbusLink::readInputRegisters(a, c, d);
                }
            };
            opens.append(p);
            return std::make_unique<Link>(this);
        }
    } blocking;
    f->thread.setBackends(&blocking, &f->hid);
    const auto guard = qScopeGuard([&] {
        blocking.release.release(100);
        f->thread.stop();
        f->thread.wait();
        f->thread.setBackends(&f->modbus, &f->hid);
    });
    f->thread.start();
    QTest::qWait(50);
    bool inside = false;
    for (int i = 0; i < 3 && !inside; ++i) {
        f->env.clock().advanceMs(1000);
        inside = blocking.entered.tryAcquire(1, 500);
    }
    QVERIFY(inside);
    f->thread.stop();
    QTest::qWait(50);
    QVERIFY(f->thread.isRunning()); // still inside the transaction
    f->env.clock().advanceMs(2000); // a further slot would be due now
    blocking.release.release();
    QVERIFY(f->thread.wait(1000));
    QCOMPARE(blocking.requests.size(), 1);
}

QTEST_GUILESS_MAIN(TestDeviceLoop)
#include "tst_deviceloop.moc"
