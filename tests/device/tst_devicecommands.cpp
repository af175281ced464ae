// Command words: the event each posts, and the register and value it writes over the
// transport of each protocol code.
#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "device/serial_thread.h"
#include "device/transactions.h"
#include "tests/device/devicefixture.h"
#include "tests/support/testenv.h"

#include <QtTest>

namespace {
constexpr int kNoEvent = -1;
constexpr int kNothingSent = -1;

QList<int> eventCodes()
{
    QList<int> codes;
    QReadLocker l(&dbEventQueueLock);
    for (const EventItem &e : dbEventQueue)
        codes.append(e.code);
    return codes;
}
} // namespace

class TestDeviceCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandTable_data();
    void commandTable();
    void hidWireBytes_data();
    void hidWireBytes();
    void hourBandRegisterFollowsMode_data();
    void hourBandRegisterFollowsMode();
    void values_data();
    void values();
    void shortHourBandListSendsNothing();
    void invalidAddressSendsNothing_data();
    void invalidAddressSendsNothing();
    void closedTransportSendsNothing();
    void clearTotalGenRemovesTodaysFile();
    void executeNextCommandOldestFirst();
    void valueQueuedWithWord_data();
    void valueQueuedWithWord();

private:
    // Runs one word on protocol, an hour word with hourBands as queued with it, and
    // returns the register and value written, or kNothingSent in both.
    QPair<int, int> execute(const QString &protocol, const QString &word);

    std::unique_ptr<DeviceFixture> f;
    QStringList hourBands;
};

void TestDeviceCommands::init()
{
    f = std::make_unique<DeviceFixture>(QDateTime(QDate(2026, 3, 4), QTime(10, 0)));
    initAppPaths(f->env.dataLocation(), f->env.appDir());
    assignGenTableNames();
    createAppFolders();
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.comAddr = QStringLiteral("3");
        deviceSettings.countdownOffITime = QStringLiteral("300");
        deviceSettings.delayStartITime = QStringLiteral("120");
        deviceSettings.depthDischarge = 1.85;
    }
    {
        QWriteLocker l(&scheduleListLock);
        preAlarm = QStringLiteral("15");
    }
    hourBands = {QStringLiteral("100"), QStringLiteral("200"), QStringLiteral("300")};
}

void TestDeviceCommands::cleanup()
{
    f.reset();
}

QPair<int, int> TestDeviceCommands::execute(const QString &protocol, const QString &word)
{
    if (deviceTransport(protocol) == DeviceTransport::Serial)
        f->thread.openModbusPort();
    else
        f->thread.openHid();
    f->modbus.requests.clear();
    f->hid.requests.clear();
    f->thread.executeCommand(protocol, word, word.startsWith(QLatin1String("hour")) ? hourBands : QStringList());
    if (!f->modbus.requests.isEmpty()) {
        const FakeModbusRequest r = f->modbus.requests.takeFirst();
        if (r.function != 6 || r.slave != 3 || !f->modbus.requests.isEmpty())
            return {-2, -2};
        return {r.address, r.count};
    }
    if (!f->hid.requests.isEmpty()) {
        const QByteArray r = f->hid.requests.takeFirst();
        if (r.size() != 9 || r[1] != 1 || r[2] != 6 || !f->hid.requests.isEmpty())
            return {-2, -2};
        const HidRequest expected = buildHidRequest(1, ModbusFunction::WriteSingleRegister, uint16_t(uint8_t(r[3]) << 8 | uint8_t(r[4])),
                                                    uint16_t(uint8_t(r[5]) << 8 | uint8_t(r[6])));
        if (QByteArray(reinterpret_cast<const char *>(expected.data()), 9) != r)
            return {-3, -3}; // CRC
        return {uint8_t(r[3]) << 8 | uint8_t(r[4]), uint8_t(r[5]) << 8 | uint8_t(r[6])};
    }
    return {kNothingSent, kNothingSent};
}

void TestDeviceCommands::commandTable_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::newRow("selfTest1Min 0") << "selfTest1Min" << "0" << 67 << 5 << 0xFFFF;
    QTest::newRow("selfTest1Min 2") << "selfTest1Min" << "2" << 67 << 5 << 0xFFFF;
    QTest::newRow("selfTest1Min 3") << "selfTest1Min" << "3" << 67 << 0xF008 << 0xFFFF;
    QTest::newRow("selfTest1Min 4") << "selfTest1Min" << "4" << 67 << 0xF008 << 0xFFFF;
    QTest::newRow("dischargeLow 1") << "dischargeLow" << "1" << 68 << 6 << 0xFFFF;
    QTest::newRow("dischargeLow 4") << "dischargeLow" << "4" << 68 << 0xF009 << 0xFFFF;
    QTest::newRow("cancelTest 2") << "cancelTest" << "2" << 69 << 8 << 0xFFFF;
    QTest::newRow("cancelTest 3") << "cancelTest" << "3" << 69 << 0xF00A << 0xFFFF;
    QTest::newRow("countdownOffInverter 0") << "countdownOffInverter" << "0" << 70 << 11 << 300;
    QTest::newRow("countdownOffInverter 3") << "countdownOffInverter" << "3" << 70 << kNothingSent << kNothingSent;
    QTest::newRow("countdownOffInverter 4") << "countdownOffInverter" << "4" << 70 << 11 << 300;
    QTest::newRow("delayOnInverter 1") << "delayOnInverter" << "1" << 71 << 12 << 120;
    QTest::newRow("delayOnInverter 3") << "delayOnInverter" << "3" << 71 << kNothingSent << kNothingSent;
    QTest::newRow("cancelShutdown 0") << "cancelShutdown" << "0" << 72 << 9 << 0xFFFF;
    QTest::newRow("cancelShutdown 4") << "cancelShutdown" << "4" << 72 << 0xF010 << 0xFFFF;
    QTest::newRow("shutdown 0") << "shutdown" << "0" << 73 << 28 << 0xFFFF;
    QTest::newRow("shutdown 3 lead time") << "shutdown" << "3" << 73 << 0xF00E << 15;
    QTest::newRow("shutdown 4 lead time") << "shutdown" << "4" << 73 << 0xF00E << 15;
    QTest::newRow("startupInverter 2") << "startupInverter" << "2" << 74 << 18 << 0xFFFF;
    QTest::newRow("startupInverter 3 lead time") << "startupInverter" << "3" << 74 << 0xF00F << 15;
    QTest::newRow("startupInverter 4 lead time") << "startupInverter" << "4" << 74 << 0xF00F << 15;
    QTest::newRow("turnOnInverter 0") << "turnOnInverter" << "0" << 73 << kNothingSent << kNothingSent;
    QTest::newRow("turnOnInverter 3") << "turnOnInverter" << "3" << 73 << 0xF000 << 0xFFFF;
    QTest::newRow("turnOffInverter 4") << "turnOffInverter" << "4" << 74 << 0xF001 << 0xFFFF;
    QTest::newRow("turnOffInverter 2") << "turnOffInverter" << "2" << 74 << kNothingSent << kNothingSent;
    QTest::newRow("cancelAlarmVoice 3") << "cancelAlarmVoice" << "3" << 75 << 0xF00B << 0xFFFF;
    QTest::newRow("cancelAlarmVoice 1") << "cancelAlarmVoice" << "1" << 75 << kNothingSent << kNothingSent;
    QTest::newRow("OnBypassSwitch 0") << "OnBypassSwitch" << "0" << 75 << 7 << 0xFF00;
    QTest::newRow("OnBypassSwitch 3") << "OnBypassSwitch" << "3" << 75 << kNothingSent << kNothingSent;
    QTest::newRow("OnBypassSwitch 4") << "OnBypassSwitch" << "4" << 75 << 7 << 0xFF00;
    QTest::newRow("OffBypassSwitch 2") << "OffBypassSwitch" << "2" << 76 << 7 << 0x00FF;
    QTest::newRow("cleartotalgen 3") << "cleartotalgen" << "3" << 76 << 0xF00C << 0xFFFF;
    QTest::newRow("cleartotalgen 1") << "cleartotalgen" << "1" << 76 << kNothingSent << kNothingSent;
    QTest::newRow("depthDischarge 0") << "depthDischarge" << "0" << 77 << 10 << 185;
    QTest::newRow("depthDischarge 3") << "depthDischarge" << "3" << 77 << kNothingSent << kNothingSent;
    QTest::newRow("hour0-7 0") << "hour0-7" << "0" << kNoEvent << 31 << 100;
    QTest::newRow("hour8-15 2") << "hour8-15" << "2" << kNoEvent << 32 << 200;
    QTest::newRow("hour16-23 4") << "hour16-23" << "4" << kNoEvent << 33 << 300;
    QTest::newRow("hour16-23 3") << "hour16-23" << "3" << kNoEvent << kNothingSent << kNothingSent;
    QTest::newRow("unknown protocol") << "selfTest1Min" << "7" << 67 << kNothingSent << kNothingSent;
    QTest::newRow("empty word") << "" << "0" << kNoEvent << kNothingSent << kNothingSent;
    QTest::newRow("case differs") << "Shutdown" << "0" << kNoEvent << kNothingSent << kNothingSent;
}

void TestDeviceCommands::commandTable()
{
    QFETCH(QString, word);
    QFETCH(QString, protocol);
    QFETCH(int, event);
    QFETCH(int, reg);
    QFETCH(int, value);
    const QPair<int, int> sent = execute(protocol, word);
    QCOMPARE(sent.first, reg);
    QCOMPARE(sent.second, value);
    QCOMPARE(eventCodes(), event == kNoEvent ? QList<int>() : QList<int>{event});
}

void TestDeviceCommands::hidWireBytes_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QByteArray>("report");
    QTest::newRow("OnBypassSwitch 2") << "OnBypassSwitch" << "2" << QByteArray("00 01 06 00 07 FF 00 79 FB");
    QTest::newRow("OnBypassSwitch 4, address 1") << "OnBypassSwitch" << "4" << QByteArray("00 01 06 00 07 FF 00 79 FB");
    QTest::newRow("selfTest1Min 2") << "selfTest1Min" << "2" << QByteArray("00 01 06 00 05 FF FF 98 7B");
    QTest::newRow("shutdown 4, lead 15") << "shutdown" << "4" << QByteArray("00 01 06 F0 0E 00 0F 9B 0D");
}

void TestDeviceCommands::hidWireBytes()
{
    QFETCH(QString, word);
    QFETCH(QString, protocol);
    QFETCH(QByteArray, report);
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.comAddr = QStringLiteral("10");
    }
    QVERIFY(f->thread.openHid());
    f->thread.executeCommand(protocol, word);
    QCOMPARE(f->hid.requests.size(), 1);
    QCOMPARE(f->hid.requests.first().toHex(' ').toUpper(), report);
}

void TestDeviceCommands::hourBandRegisterFollowsMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("reg");
    QTest::newRow("photovoltaic") << 0 << 32;
    QTest::newRow("grid") << 1 << 35;
    QTest::newRow("anti-reflux") << 2 << 38;
    QTest::newRow("other mode") << 5 << 38;
}

void TestDeviceCommands::hourBandRegisterFollowsMode()
{
    QFETCH(int, mode);
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.inverterMode = uint16_t(mode);
    }
    QTEST(execute(QStringLiteral("2"), QStringLiteral("hour8-15")).first, "reg");
}

void TestDeviceCommands::values_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<double>("depth");
    QTest::addColumn<QString>("text"); // countdownOffITime, delayStartITime, preAlarm or the hour value
    QTest::addColumn<int>("value");
    QTest::newRow("depth 1.75") << "depthDischarge" << "0" << 1.75 << "" << 175;
    QTest::newRow("depth 1.7") << "depthDischarge" << "0" << 1.7 << "" << 170;
    QTest::newRow("countdown 65535") << "countdownOffInverter" << "1" << 0.0 << "65535" << 65535;
    QTest::newRow("countdown above 16 bits") << "countdownOffInverter" << "1" << 0.0 << "70000" << 0;
    QTest::newRow("countdown not a number") << "countdownOffInverter" << "1" << 0.0 << "5m" << 0;
    QTest::newRow("lead time empty") << "shutdown" << "3" << 0.0 << "" << 0;
    QTest::newRow("lead time 65535") << "startupInverter" << "3" << 0.0 << "65535" << 65535;
    // A value the register cannot hold is sent as 0, never cut to its low bits.
    QTest::newRow("lead time above 16 bits") << "shutdown" << "3" << 0.0 << "65537" << 0;
    QTest::newRow("lead time negative") << "shutdown" << "3" << 0.0 << "-1" << 0;
    QTest::newRow("hour value above 16 bits") << "hour0-7" << "1" << 0.0 << "65636" << 0;
    QTest::newRow("hour value negative") << "hour8-15" << "4" << 0.0 << "-2" << 0;
    QTest::newRow("delay negative") << "delayOnInverter" << "2" << 0.0 << "-5" << 0;
    QTest::newRow("depth 655.35") << "depthDischarge" << "2" << 655.35 << "" << 65535;
    QTest::newRow("depth above 16 bits") << "depthDischarge" << "1" << 700.0 << "" << 0;
    QTest::newRow("depth negative") << "depthDischarge" << "4" << -1.0 << "" << 0;
    QTest::newRow("depth not finite") << "depthDischarge" << "0" << qQNaN() << "" << 0;
    QTest::newRow("hour value not a number") << "hour0-7" << "1" << 0.0 << "x" << 0;
}

void TestDeviceCommands::values()
{
    QFETCH(QString, word);
    QFETCH(QString, protocol);
    QFETCH(double, depth);
    QFETCH(QString, text);
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.depthDischarge = depth;
        deviceSettings.countdownOffITime = text;
        deviceSettings.delayStartITime = text;
    }
    {
        QWriteLocker l(&scheduleListLock);
        preAlarm = text;
    }
    hourBands = {text, text, text};
    QTEST(execute(protocol, word).second, "value");
}

void TestDeviceCommands::shortHourBandListSendsNothing()
{
    hourBands = {QStringLiteral("1"), QStringLiteral("2")};
    for (const char *word : {"hour0-7", "hour8-15", "hour16-23"})
        QCOMPARE(execute(QStringLiteral("0"), QLatin1String(word)).first, kNothingSent);
    hourBands.clear();
    QCOMPARE(execute(QStringLiteral("2"), QStringLiteral("hour0-7")).first, kNothingSent);
    QVERIFY(eventCodes().isEmpty());
}

void TestDeviceCommands::invalidAddressSendsNothing_data()
{
    QTest::addColumn<QString>("comAddr");
    QTest::newRow("empty") << "";
    QTest::newRow("not a number") << "one";
    QTest::newRow("broadcast") << "0";
    QTest::newRow("above 247") << "300";
}

void TestDeviceCommands::invalidAddressSendsNothing()
{
    QFETCH(QString, comAddr);
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.comAddr = comAddr;
    }
    QVERIFY(f->thread.openModbusPort());
    f->thread.executeCommand(QStringLiteral("0"), QStringLiteral("shutdown"));
    QVERIFY(f->modbus.requests.isEmpty());
    QCOMPARE(eventCodes(), QList<int>{73});
}

void TestDeviceCommands::closedTransportSendsNothing()
{
    f->thread.executeCommand(QStringLiteral("0"), QStringLiteral("selfTest1Min"));
    f->thread.executeCommand(QStringLiteral("2"), QStringLiteral("selfTest1Min"));
    QVERIFY(f->modbus.opens.isEmpty());
    QVERIFY(f->hid.openedIds.isEmpty());
    QCOMPARE(eventCodes(), (QList<int>{67, 67}));
}

void TestDeviceCommands::clearTotalGenRemovesTodaysFile()
{
    const QString today = appPaths.totalGenDbDir + QStringLiteral("/zq700_4000kxtotalgen20260304.db");
    const QString yesterday = appPaths.totalGenDbDir + QStringLiteral("/zq700_4000kxtotalgen20260303.db");
    for (const QString &path : {today, yesterday}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    f->thread.executeCommand(QStringLiteral("1"), QStringLiteral("cleartotalgen"));
    QVERIFY(!QFile::exists(today));
    QVERIFY(QFile::exists(yesterday));
    // No file: nothing else happens.
    f->thread.executeCommand(QStringLiteral("3"), QStringLiteral("cleartotalgen"));
    QCOMPARE(eventCodes(), (QList<int>{76, 76}));
}

void TestDeviceCommands::executeNextCommandOldestFirst()
{
    QVERIFY(f->thread.openModbusPort());
    QVERIFY(!f->thread.executeNextCommand(QStringLiteral("0")));
    appendCommands({QStringLiteral("selfTest1Min"), QStringLiteral("bogus"), QStringLiteral("cancelTest")});
    QVERIFY(f->thread.executeNextCommand(QStringLiteral("0")));
    QVERIFY(f->thread.executeNextCommand(QStringLiteral("0"))); // a word outside the table uses its slot
    QVERIFY(f->thread.executeNextCommand(QStringLiteral("0")));
    QVERIFY(!f->thread.executeNextCommand(QStringLiteral("0")));
    QCOMPARE(f->modbus.requests.size(), 2);
    QCOMPARE(f->modbus.requests.at(0).address, 5);
    QCOMPARE(f->modbus.requests.at(1).address, 8);
    QCOMPARE(eventCodes(), (QList<int>{67, 69}));
}

void TestDeviceCommands::valueQueuedWithWord_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QStringList>("writes"); // register=value in hexadecimal, in the order sent
    // Queued: "shutdown" with 3 fixed, then a plain "startupInverter" and a "shutdown" with 0.
    QTest::newRow("inverter, serial") << "3" << QStringList{"f00e=3", "f00f=f", "f00e=0"};
    QTest::newRow("inverter, USB-HID") << "4" << QStringList{"f00e=3", "f00f=f", "f00e=0"};
    QTest::newRow("UPS: its own value") << "1" << QStringList{"1c=ffff", "12=ffff", "1c=ffff"};
    QTest::newRow("UPS over USB-HID") << "2" << QStringList{"1c=ffff", "12=ffff", "1c=ffff"};
}

void TestDeviceCommands::valueQueuedWithWord()
{
    QFETCH(QString, protocol);
    QVERIFY(deviceTransport(protocol) == DeviceTransport::Serial ? f->thread.openModbusPort() : f->thread.openHid());
    appendCommandWithValue(QStringLiteral("shutdown"), 3);
    appendCommand(QStringLiteral("startupInverter"));
    appendCommandWithValue(QStringLiteral("shutdown"), 0);
    while (f->thread.executeNextCommand(protocol)) {
    }
    QStringList writes;
    for (const FakeModbusRequest &r : std::as_const(f->modbus.requests))
        writes << QStringLiteral("%1=%2").arg(r.address, 0, 16).arg(r.count, 0, 16);
    for (const QByteArray &r : std::as_const(f->hid.requests))
        writes << QStringLiteral("%1=%2").arg(uint8_t(r[3]) << 8 | uint8_t(r[4]), 0, 16).arg(uint8_t(r[5]) << 8 | uint8_t(r[6]), 0, 16);
    QTEST(writes, "writes");
    QCOMPARE(eventCodes(), (QList<int>{73, 74, 73}));
}

QTEST_GUILESS_MAIN(TestDeviceCommands)
#include "tst_devicecommands.moc"
