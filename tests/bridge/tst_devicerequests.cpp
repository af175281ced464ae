// The device requests of the user interface: port, protocol and self-test, the controls
// and the schedule, against a real "param.ini" and "schedule.db" in a temporary folder,
// and the words they queue as the device thread then writes them on a fake link.
#include "bridge/devicerequests.h"
#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/helpers.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "core/sqlutil.h"
#include "core/textformats.h"
#include "device/transactions.h"
#include "tests/device/devicefixture.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {
// Wednesday 2026-03-04, 10:15 (local time).
const QDateTime kWednesday(QDate(2026, 3, 4), QTime(10, 15));

QString iniValue(const QString &key)
{
    return QSettings(appPaths.paramIniPath, QSettings::IniFormat).value(key).toString();
}

QString onlyText(QSignalSpy &spy, int argument = 0)
{
    if (spy.count() != 1)
        return QStringLiteral("<%1 emissions>").arg(spy.count());
    return spy.takeFirst().at(argument).toString();
}

void setSupport(uint16_t w0, uint16_t w1, uint16_t w2, bool valid = true)
{
    QWriteLocker l(&upsInfo.lock);
    upsInfo.supportFlags[0] = w0;
    upsInfo.supportFlags[1] = w1;
    upsInfo.supportFlags[2] = w2;
    settingsValid = valid;
}

// {"boot_and_shutdown_time":[...7 entries...],"specialtask":[...],"warnbeforeshutdown":lead}
QString scheduleRequest(const QStringList &weekly, const QStringList &special, const QString &lead)
{
    return QStringLiteral(R"({"boot_and_shutdown_time":[%1],"specialtask":[%2],"warnbeforeshutdown":"%3"})")
        .arg(weekly.join(QLatin1Char(',')), special.join(QLatin1Char(',')), lead);
}

QString weekly(int weekday, const QString &shutdown, const QString &boot)
{
    return QStringLiteral(R"({"weekday":%1,"shutdowntime":"%2","boottime":"%3"})").arg(weekday).arg(shutdown, boot);
}

QString special(const QString &time, const QString &rate, const QString &type)
{
    return QStringLiteral(R"({"specialtasktime":"%1","taskrate":"%2","case":"%3"})").arg(time, rate, type);
}

QStringList emptyWeek()
{
    QStringList w;
    for (int d = 0; d < 7; ++d)
        w << weekly(d, QString(), QString());
    return w;
}

// Executes every queued word on protocol; the register, value pairs the fake links saw, in order.
QList<int> executeQueue(DeviceFixture &f, const QString &protocol)
{
    while (f.thread.executeNextCommand(protocol)) {
    }
    QList<int> seen;
    for (const FakeModbusRequest &r : std::as_const(f.modbus.requests))
        seen << r.address << r.count;
    for (const QByteArray &r : std::as_const(f.hid.requests))
        seen << (uint8_t(r[3]) << 8 | uint8_t(r[4])) << (uint8_t(r[5]) << 8 | uint8_t(r[6]));
    return seen;
}

QList<QStringList> storedRows()
{
    DbConnection db(QStringLiteral("testsched"), appPaths.scheduleDbPath, DbConnection::ReadExisting);
    return db.selectRows(QStringLiteral("select * from schedtable"));
}
} // namespace

class TestDeviceRequests : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void signalsAndSlotsAsTheQmlKnowsThem();
    void familyMapping_data();
    void familyMapping();
    void portListReply();
    void portListWhilePortsChange();
    void samePortAsModem_data();
    void samePortAsModem();
    void settersSaveEveryKey_data();
    void settersSaveEveryKey();
    void nonObjectChangesNothing();
    void supportReplyPerBit_data();
    void supportReplyPerBit();
    void repliesBeforeSettingsBlock();
    void longControlReply();
    void nextSelfTest_data();
    void nextSelfTest();
    void controlWords_data();
    void controlWords();
    void queuedWordsReachRegisters_data();
    void queuedWordsReachRegisters();
    void modeBandsTravelWithTheirWords_data();
    void modeBandsTravelWithTheirWords();
    void hourBandsPerMode_data();
    void hourBandsPerMode();
    void scheduleRowsWeekdayExample();
    void specialTaskCatchUp_data();
    void specialTaskCatchUp();
    void scheduleReplyAfterRestart();
    void scheduleReplyEmptyAndShort();
    void scheduleNextTimesIncludeSpecial();
    void scheduleReplyReadsRowsByKind_data();
    void scheduleReplyReadsRowsByKind();

private:
    std::unique_ptr<DeviceFixture> f;
    DeviceRequests requests;
};

void TestDeviceRequests::init()
{
    f = std::make_unique<DeviceFixture>(kWednesday);
    loadAllSettings();
    setSerialPortLister([] { return QList<SerialPortEntry>(); });
}

void TestDeviceRequests::cleanup()
{
    setSerialPortLister({});
    f.reset();
}

void TestDeviceRequests::signalsAndSlotsAsTheQmlKnowsThem()
{
    // QML handlers name the parameters, and the window wires the slots by signature.
    const QStringList expectedSignals{
        "sigQtSLongConSet(longconjson)", "sigQtSInverterMSet(flag,strinverterM)",
        "sigQtSInverterCom(invertercomjson)", "sigQtSInverterSet(inverterjson)", "sigQtSSchedSet(schedjson)",
        "serialCom()", "sigQtSSchedTime(minShutdownTime,minStartupTime)", "sigSaveResult(setting,failure)",
    };
    const QStringList expectedSlots{
        "handleSetLongControl(QString)", "handleGetLongControlSet()", "handleSetMBSet(QString)",
        "handleGetInverterMSet()", "handleSetInvertM(QString)", "handleGetInverterSet()",
        "handleSetInverterCom(QString)", "handleSetInverter(QString)", "handleSetSched(QString)",
        "handleGetschedule()", "handleSetDischargedepth(QString)",
    };
    const QMetaObject &mo = DeviceRequests::staticMetaObject;
    QStringList gotSignals, gotSlots;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QMetaMethod m = mo.method(i);
        if (m.methodType() == QMetaMethod::Signal)
            gotSignals << QString::fromLatin1(m.name() + '(' + m.parameterNames().join(',') + ')');
        else if (m.methodType() == QMetaMethod::Slot && m.access() == QMetaMethod::Public)
            gotSlots << QString::fromLatin1(m.methodSignature());
    }
    QCOMPARE(gotSignals, expectedSignals);
    QCOMPARE(gotSlots, expectedSlots);
}

void TestDeviceRequests::familyMapping_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("comType");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("shown");
    QTest::newRow("single serial") << "0" << "1" << "0" << "1" << "1";
    QTest::newRow("single USB-HID") << "0" << "1" << "1" << "2" << "1";
    QTest::newRow("inverter serial") << "1" << "2" << "0" << "3" << "2";
    QTest::newRow("inverter USB-HID") << "1" << "2" << "1" << "4" << "2";
    QTest::newRow("three-phase ignores the port type") << "4" << "0" << "1" << "0" << "0";
    QTest::newRow("unknown port type keeps the code") << "3" << "1" << "5" << "3" << "2";
    QTest::newRow("other family text is the code") << "0" << "7" << "0" << "7" << "7";
}

void TestDeviceRequests::familyMapping()
{
    QFETCH(QString, before);
    QFETCH(QString, family);
    QFETCH(QString, comType);
    QFETCH(QString, code);
    QFETCH(QString, shown);
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.comProtocol = before;
    }
    requests.handleSetInverterCom(QStringLiteral(R"({"comProtocol":"%1","comType":"%2","comAddr":"3","selectName":"COM4"})")
                                       .arg(family, comType));
    {
        QReadLocker l(&settingsLock);
        QCOMPARE(deviceSettings.comProtocol, code);
        QCOMPARE(deviceSettings.comType, comType);
    }
    QCOMPARE(iniValue(QStringLiteral("comProtocol")), code);
    QSignalSpy com(&requests, &DeviceRequests::sigQtSInverterCom);
    requests.handleGetInverterSet();
    QCOMPARE(onlyText(com), QStringLiteral(R"({"comProtocol":"%1","comType":"%2","comAddr":"3",)"
                                           R"("comName":{"com":[],"selected":"COM4"}})")
                                .arg(shown, comType));
}

void TestDeviceRequests::portListReply()
{
    setSerialPortLister([] {
        return QList<SerialPortEntry>{{QStringLiteral("/dev/ttyS0"), QStringLiteral("ttyS0")},
                                      {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("ttyUSB0")}};
    });
    QSignalSpy com(&requests, &DeviceRequests::sigQtSInverterCom);
    QSignalSpy set(&requests, &DeviceRequests::sigQtSInverterSet);
    requests.handleGetInverterSet();
    QCOMPARE(onlyText(com), QStringLiteral(R"({"comProtocol":"0","comType":"0","comAddr":"1",)"
                                           R"("comName":{"com":["ttyS0","ttyUSB0"],"selected":"None"}})"));
    QCOMPARE(set.count(), 1);
}

// An adapter unplugged while the list is read: the reply lists the ports of one moment,
// never a placeholder or a name twice.
void TestDeviceRequests::portListWhilePortsChange()
{
    auto calls = std::make_shared<int>(0);
    setSerialPortLister([calls] {
        QList<SerialPortEntry> ports{{QStringLiteral("/dev/ttyS0"), QStringLiteral("ttyS0")}};
        if ((*calls)++ == 0)
            ports.append({QStringLiteral("/dev/ttyUSB0"), QStringLiteral("ttyUSB0")});
        return ports;
    });
    QSignalSpy com(&requests, &DeviceRequests::sigQtSInverterCom);
    requests.handleGetInverterSet();
    QCOMPARE(onlyText(com), QStringLiteral(R"({"comProtocol":"0","comType":"0","comAddr":"1",)"
                                           R"("comName":{"com":["ttyS0","ttyUSB0"],"selected":"None"}})"));
}

void TestDeviceRequests::samePortAsModem_data()
{
    QTest::addColumn<QString>("modemPort");
    QTest::addColumn<QString>("devicePort");
    QTest::addColumn<bool>("warned");
    // No port chosen on either side is no clash.
    QTest::newRow("both None") << "None" << "None" << false;
    QTest::newRow("both empty") << "" << "" << false;
    QTest::newRow("same port") << "ttyUSB1" << "ttyUSB1" << true;
    QTest::newRow("other port") << "ttyUSB1" << "ttyUSB0" << false;
}

void TestDeviceRequests::samePortAsModem()
{
    QFETCH(QString, modemPort);
    QFETCH(QString, devicePort);
    QFETCH(bool, warned);
    {
        QWriteLocker l(&settingsLock);
        smsSettings.SMSSelectName = modemPort;
    }
    QSignalSpy spy(&requests, &DeviceRequests::serialCom);
    requests.handleSetInverterCom(
        QStringLiteral(R"({"comProtocol":"1","comType":"0","comAddr":"1","selectName":"%1"})").arg(devicePort));
    QCOMPARE(spy.count(), warned ? 1 : 0);
    // Never refused.
    QReadLocker l(&settingsLock);
    QCOMPARE(deviceSettings.inverterSelectName, devicePort);
}

void TestDeviceRequests::settersSaveEveryKey_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("port") << "handleSetInverterCom"
                          << R"({"comProtocol":"2","comType":"1","comAddr":"17","selectName":"ttyUSB3"})"
                          << QStringList{"comProtocol", "comType", "comAddr", "inverterSelectName"}
                          << QStringList{"4", "1", "17", "ttyUSB3"};
    // Wednesday 10:15: the coming Friday at 09:30.
    QTest::newRow("self-test") << "handleSetInverter"
                               << R"({"testInterval":"2","testTimePerWeek":5,"selftestTime":"09:30","selftestType":"1"})"
                               << QStringList{"strNextTestTime", "testInterval", "testTimePerWeek", "selftestTime",
                                              "selftestType"}
                               << QStringList{"2026-03-06 09:30", "2", "5", "09:30", "1"};
    QTest::newRow("self-test off") << "handleSetInverter"
                                   << R"({"testInterval":"0","testTimePerWeek":"5","selftestTime":"09:30","selftestType":"0"})"
                                   << QStringList{"strNextTestTime", "testInterval"} << QStringList{"", "0"};
    QTest::newRow("bypass") << "handleSetMBSet" << R"({"manBypassSwitch":"1"})" << QStringList{"manBypassSwitch"}
                            << QStringList{"1"};
    QTest::newRow("long control") << "handleSetLongControl"
                                  << R"({"longctlSelected":"delayOnInverter","countdownOffITime":"30","delayStartITime":"45"})"
                                  << QStringList{"countdownOffITime", "delayStartITime", "longctlSelected"}
                                  << QStringList{"30", "45", "delayOnInverter"};
    QTest::newRow("discharge depth") << "handleSetDischargedepth" << R"({"dischargedepth":"170"})"
                                     << QStringList{"depthDischarge"} << QStringList{"1.7"};
    QTest::newRow("lead time") << "handleSetSched" << R"({"warnbeforeshutdown":"5"})" << QStringList{"preAlarm"}
                               << QStringList{"5"};
}

void TestDeviceRequests::settersSaveEveryKey()
{
    QFETCH(QString, slot);
    QFETCH(QString, request);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, values);
    QVERIFY(QMetaObject::invokeMethod(&requests, slot.toLatin1().constData(), Q_ARG(QString, request)));
    for (int i = 0; i < keys.size(); ++i)
        QCOMPARE(iniValue(keys.at(i)), values.at(i));

    // A fresh start reads back what the setter holds in memory.
    DeviceSettings held;
    QString lead;
    {
        QReadLocker l(&settingsLock);
        held = deviceSettings;
    }
    {
        QReadLocker l(&scheduleListLock);
        lead = ::preAlarm;
    }
    loadAllSettings();
    QReadLocker l(&settingsLock);
    QCOMPARE(deviceSettings.comProtocol, held.comProtocol);
    QCOMPARE(deviceSettings.comType, held.comType);
    QCOMPARE(deviceSettings.comAddr, held.comAddr);
    QCOMPARE(deviceSettings.inverterSelectName, held.inverterSelectName);
    QCOMPARE(deviceSettings.testInterval, held.testInterval);
    QCOMPARE(deviceSettings.testTimePerWeek, held.testTimePerWeek);
    QCOMPARE(deviceSettings.selftestTime, held.selftestTime);
    QCOMPARE(deviceSettings.selftestType, held.selftestType);
    QCOMPARE(deviceSettings.strNextTestTime, held.strNextTestTime);
    QCOMPARE(deviceSettings.manBypassSwitch, held.manBypassSwitch);
    QCOMPARE(deviceSettings.depthDischarge, held.depthDischarge);
    QCOMPARE(deviceSettings.countdownOffITime, held.countdownOffITime);
    QCOMPARE(deviceSettings.delayStartITime, held.delayStartITime);
    QCOMPARE(deviceSettings.longctlSelected, held.longctlSelected);
    QCOMPARE(::preAlarm, lead);
}

void TestDeviceRequests::nonObjectChangesNothing()
{
    requests.handleSetSched(scheduleRequest({weekly(5, QStringLiteral("22:00"), QString())}, {}, QStringLiteral("5")));
    const QString before = iniValue(QStringLiteral("comProtocol"));
    const char *setters[] = {"handleSetInverterCom", "handleSetInverter", "handleSetMBSet", "handleSetDischargedepth",
                           "handleSetLongControl", "handleSetInvertM", "handleSetSched"};
    for (const char *slot : setters) {
        for (const QString &text : {QString(), QStringLiteral("[1,2]"), QStringLiteral("{garbled")})
            QVERIFY(QMetaObject::invokeMethod(&requests, slot, Q_ARG(QString, text)));
    }
    QCOMPARE(queuedWords(), QStringList());
    QCOMPARE(iniValue(QStringLiteral("comProtocol")), before);
    QReadLocker l(&scheduleListLock);
    QCOMPARE(scheduleList.size(), 2);
    QCOMPARE(nextShutdownTime, QStringLiteral("2026-03-06 22:00"));
    QCOMPARE(::preAlarm, QStringLiteral("5"));
}

void TestDeviceRequests::supportReplyPerBit_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("bit");
    QTest::addColumn<QString>("key");
    QTest::newRow("selfTest1Min") << 0 << 1 << "selfTest1MinFlag";
    QTest::newRow("dischargeToLowVol") << 0 << 2 << "dischargeToLowVolFlag";
    QTest::newRow("manBypass") << 0 << 3 << "manBypassFlag";
    QTest::newRow("disDepth") << 0 << 6 << "disDepthFlag";
    QTest::newRow("mode, word 1 bit 11") << 1 << 11 << "invertModelFlag";
    QTest::newRow("mode, word 1 bit 14") << 1 << 14 << "invertModelFlag";
    QTest::newRow("mode, word 2 bit 1") << 2 << 1 << "invertModelFlag";
    QTest::newRow("word 0 bit 4 shows nothing here") << 0 << 4 << "";
    QTest::newRow("word 1 bit 1 shows nothing here") << 1 << 1 << "";
}

void TestDeviceRequests::supportReplyPerBit()
{
    QFETCH(int, word);
    QFETCH(int, bit);
    QFETCH(QString, key);
    uint16_t w[3] = {};
    w[word] = uint16_t(1u << bit);
    setSupport(w[0], w[1], w[2]);
    QSignalSpy set(&requests, &DeviceRequests::sigQtSInverterSet);
    requests.handleGetInverterSet();
    const QString text = onlyText(set);
    const QString flagged = [&] {
        QStringList on;
        const char *keys[] = {"selfTest1MinFlag", "dischargeToLowVolFlag", "disDepthFlag", "manBypassFlag",
                              "invertModelFlag"};
        for (const char *k : keys) {
            if (text.contains(QStringLiteral("\"%1\":\"1\"").arg(QLatin1String(k))))
                on << QLatin1String(k);
        }
        return on.join(QLatin1Char(','));
    }();
    QCOMPARE(flagged, key);
    if (key == QLatin1String("selfTest1MinFlag"))
        QCOMPARE(text, QStringLiteral(R"({"testSet":{"selfTest1MinFlag":"1","dischargeToLowVolFlag":"0",)"
                                      R"("selftestType":"0","testInterval":"0","testTimePerWeek":"0","selftestTime":"08:00"},)"
                                      R"("otherSet":{"disDepthFlag":"0","disDepthVol":"1.85","manBypassFlag":"0",)"
                                      R"("manBypassSwitch":"0","invertModelFlag":"0"}})"));
}

void TestDeviceRequests::repliesBeforeSettingsBlock()
{
    for (const char *protocol : {"0", "1", "2", "3", "4"}) {
        {
            QWriteLocker l(&settingsLock);
            deviceSettings.comProtocol = QLatin1String(protocol);
        }
        setSupport(0xFFFF, 0xFFFF, 0xFFFF, false);
        QSignalSpy com(&requests, &DeviceRequests::sigQtSInverterCom);
        QSignalSpy set(&requests, &DeviceRequests::sigQtSInverterSet);
        QSignalSpy longCon(&requests, &DeviceRequests::sigQtSLongConSet);
        requests.handleGetInverterSet();
        requests.handleGetLongControlSet();
        QVERIFY(onlyText(com).startsWith(QStringLiteral("{\"comProtocol\"")));
        QCOMPARE(onlyText(set), QStringLiteral("''"));
        QCOMPARE(onlyText(longCon), QStringLiteral("''"));
    }
}

void TestDeviceRequests::longControlReply()
{
    // Only bits 1, 2, 7, 8 and 14 of word 0.
    setSupport(uint16_t((1 << 1) | (1 << 2) | (1 << 7) | (1 << 8) | (1 << 14)), 0, 0);
    requests.handleSetLongControl(
        QStringLiteral(R"({"longctlSelected":"countdownOffInverter","countdownOffITime":"10","delayStartITime":"10"})"));
    QSignalSpy spy(&requests, &DeviceRequests::sigQtSLongConSet);
    requests.handleGetLongControlSet();
    QCOMPARE(onlyText(spy),
             QStringLiteral(R"({"testSet":{"selfTest1MinFlag":"1","dischargeFlag":"1","cancelTestFlag":"0"},)"
                            R"("onOffSet":{"countdownOffInverterFlag":"1","countdownOffITime":"10",)"
                            R"("delayOnInverterFlag":"1","delayStartITime":"10","cancelShutdownFlag":"0",)"
                            R"("startupInverterFlag":"1"},"longctlSelected":"countdownOffInverter"})"));
    setSupport(0, 0, 0);
    for (const char *protocol : {"3", "4"}) {
        {
            QWriteLocker l(&settingsLock);
            deviceSettings.comProtocol = QLatin1String(protocol);
        }
        requests.handleGetLongControlSet();
        QCOMPARE(onlyText(spy), QStringLiteral(R"({"testSet":{"selfTest1MinFlag":"1","dischargeFlag":"1",)"
                                               R"("cancelTestFlag":"1"},"onOffSet":{"turnOnInverter":"1",)"
                                               R"("turnOffInverter":"1","cancelShutdownFlag":"1","cancelAlarmVoice":"1"}})"));
    }
}

void TestDeviceRequests::nextSelfTest_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("weekday");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("next");
    const QDateTime monday0759(QDate(2026, 3, 2), QTime(7, 59, 30));
    const QDateTime monday0800(QDate(2026, 3, 2), QTime(8, 0, 10));
    const QDateTime friday(QDate(2026, 3, 6), QTime(12, 0));
    QTest::newRow("Monday 07:59, later today") << monday0759 << "1" << "1" << "08:00" << "2026-03-02 08:00";
    QTest::newRow("Monday 08:00, next week") << monday0800 << "1" << "1" << "08:00" << "2026-03-09 08:00";
    QTest::newRow("Sunday from Wednesday") << kWednesday << "2" << "0" << "08:00" << "2026-03-08 08:00";
    QTest::newRow("Wednesday from Friday") << friday << "1" << "3" << "08:00" << "2026-03-11 08:00";
    QTest::newRow("not a number is Sunday") << kWednesday << "1" << "x" << "08:00" << "2026-03-08 08:00";
    QTest::newRow("interval 0") << kWednesday << "0" << "5" << "08:00" << "";
    QTest::newRow("unknown interval still set") << kWednesday << "3" << "5" << "08:00" << "2026-03-06 08:00";
    QTest::newRow("empty time") << kWednesday << "1" << "5" << "" << "";
    QTest::newRow("one-digit hour") << kWednesday << "1" << "5" << "8:00" << "";
    QTest::newRow("no such hour") << kWednesday << "1" << "5" << "25:00" << "";
    QTest::newRow("trailing text") << kWednesday << "1" << "5" << "08:00x" << "";
    QTest::newRow("weekday 7") << kWednesday << "1" << "7" << "08:00" << "";
    QTest::newRow("weekday -1") << kWednesday << "1" << "-1" << "08:00" << "";
}

void TestDeviceRequests::nextSelfTest()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, interval);
    QFETCH(QString, weekday);
    QFETCH(QString, time);
    QFETCH(QString, next);
    f->env.clock().set(now);
    requests.handleSetInverter(QStringLiteral(R"({"testInterval":"%1","testTimePerWeek":"%2","selftestTime":"%3","selftestType":"0"})")
                                    .arg(interval, weekday, time));
    {
        QReadLocker l(&settingsLock);
        QCOMPARE(deviceSettings.strNextTestTime, next);
        QCOMPARE(deviceSettings.selftestTime, time);
    }
    QCOMPARE(iniValue(QStringLiteral("strNextTestTime")), next);
}

void TestDeviceRequests::controlWords_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("bypass 0 on") << "handleSetMBSet" << R"({"manBypassSwitch":"0"})" << QStringList{"OnBypassSwitch"};
    QTest::newRow("bypass 1 off") << "handleSetMBSet" << R"({"manBypassSwitch":"1"})" << QStringList{"OffBypassSwitch"};
    QTest::newRow("bypass empty off") << "handleSetMBSet" << R"({"manBypassSwitch":""})" << QStringList{"OffBypassSwitch"};
    QTest::newRow("bypass on off") << "handleSetMBSet" << R"({"manBypassSwitch":"on"})" << QStringList{"OffBypassSwitch"};
    QTest::newRow("depth") << "handleSetDischargedepth" << R"({"dischargedepth":"185"})" << QStringList{"depthDischarge"};
    QTest::newRow("modes") << "handleSetInvertM" << R"({"model_setting":"1#2#3"})"
                           << QStringList{"hour0-7", "hour8-15", "hour16-23"};
    QTest::newRow("long control as received") << "handleSetLongControl"
                                              << R"({"longctlSelected":"turnOffInverter"})"
                                              << QStringList{"turnOffInverter"};
    QTest::newRow("long control empty") << "handleSetLongControl" << R"({"countdownOffITime":"5"})" << QStringList{""};
}

void TestDeviceRequests::controlWords()
{
    QFETCH(QString, slot);
    QFETCH(QString, request);
    QFETCH(QStringList, words);
    QVERIFY(QMetaObject::invokeMethod(&requests, slot.toLatin1().constData(), Q_ARG(QString, request)));
    QCOMPARE(queuedWords(), words);
}

void TestDeviceRequests::queuedWordsReachRegisters_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("mode");
    // register, value pairs as the fake link saw them, in order.
    QTest::addColumn<QList<int>>("writes");
    QTest::addColumn<double>("depth");
    QTest::newRow("depth 185") << "0" << "handleSetDischargedepth" << R"({"dischargedepth":"185"})" << 0
                               << QList<int>{10, 185} << 1.85;
    QTest::newRow("depth 170 on 4") << "4" << "handleSetDischargedepth" << R"({"dischargedepth":170})" << 0
                                    << QList<int>{10, 170} << 1.7;
    QTest::newRow("depth not a number") << "1" << "handleSetDischargedepth" << R"({"dischargedepth":"deep"})" << 0
                                        << QList<int>{10, 0} << 0.0;
    QTest::newRow("depth inf") << "1" << "handleSetDischargedepth" << R"({"dischargedepth":"inf"})" << 0
                               << QList<int>{10, 0} << 0.0;
    QTest::newRow("bands in grid mode") << "0" << "handleSetInvertM" << R"({"model_setting":"12#34#56"})" << 1
                                        << QList<int>{34, 12, 35, 34, 36, 56} << 1.85;
    QTest::newRow("bands in mode 7") << "2" << "handleSetInvertM" << R"({"model_setting":"1#x#3#9"})" << 7
                                     << QList<int>{37, 1, 38, 0, 39, 3} << 1.85;
    QTest::newRow("two bands send none") << "0" << "handleSetInvertM" << R"({"model_setting":"1#2"})" << 0
                                         << QList<int>{} << 1.85;
    QTest::newRow("countdown with its time") << "0" << "handleSetLongControl"
                                             << R"({"longctlSelected":"countdownOffInverter","countdownOffITime":"300","delayStartITime":"9"})"
                                             << 0 << QList<int>{11, 300} << 1.85;
    QTest::newRow("turn off inverter") << "3" << "handleSetLongControl"
                                       << R"({"longctlSelected":"turnOffInverter","countdownOffITime":"","delayStartITime":""})"
                                       << 0 << QList<int>{0xF001, 0xFFFF} << 1.85;
    QTest::newRow("bypass off") << "1" << "handleSetMBSet" << R"({"manBypassSwitch":"1"})" << 0
                                << QList<int>{7, 0x00FF} << 1.85;
}

void TestDeviceRequests::queuedWordsReachRegisters()
{
    QFETCH(QString, protocol);
    QFETCH(QString, slot);
    QFETCH(QString, request);
    QFETCH(int, mode);
    QFETCH(QList<int>, writes);
    QFETCH(double, depth);
    setLinkSettings(protocol);
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.inverterMode = uint16_t(mode);
    }
    QVERIFY(QMetaObject::invokeMethod(&requests, slot.toLatin1().constData(), Q_ARG(QString, request)));
    if (deviceTransport(protocol) == DeviceTransport::Serial)
        QVERIFY(f->thread.openModbusPort());
    else
        QVERIFY(f->thread.openHid());
    QCOMPARE(executeQueue(*f, protocol), writes);
    QReadLocker l(&settingsLock);
    QCOMPARE(deviceSettings.depthDischarge, depth);
}

void TestDeviceRequests::modeBandsTravelWithTheirWords_data()
{
    QTest::addColumn<QStringList>("settings"); // model_setting of each request, in order
    QTest::addColumn<QList<int>>("writes");
    QTest::newRow("second setting before the first ran")
        << QStringList{"12#34#56", "7#8#9"} << QList<int>{34, 12, 35, 34, 36, 56, 34, 7, 35, 8, 36, 9};
    QTest::newRow("short setting, then a full one") << QStringList{"1#2", "7#8#9"} << QList<int>{34, 7, 35, 8, 36, 9};
    QTest::newRow("full setting, then a short one") << QStringList{"7#8#9", "1#2"} << QList<int>{34, 7, 35, 8, 36, 9};
}

void TestDeviceRequests::modeBandsTravelWithTheirWords()
{
    QFETCH(QStringList, settings);
    setLinkSettings(QStringLiteral("0"));
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.inverterMode = 1;
    }
    for (const QString &bands : std::as_const(settings))
        requests.handleSetInvertM(QStringLiteral(R"({"model_setting":"%1"})").arg(bands));
    QVERIFY(f->thread.openModbusPort());
    QTEST(executeQueue(*f, QStringLiteral("0")), "writes");
}

void TestDeviceRequests::hourBandsPerMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("bands");
    QTest::newRow("photovoltaic") << 0 << "photovoltaic" << "1#2#3";
    QTest::newRow("grid") << 1 << "Grid" << "4#5#6";
    QTest::newRow("anti-reflux") << 2 << "Antireflux" << "7#8#65535";
    QTest::newRow("unknown mode") << 3 << "" << "##";
}

void TestDeviceRequests::hourBandsPerMode()
{
    QFETCH(int, mode);
    QFETCH(QString, flag);
    QFETCH(QString, bands);
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.inverterMode = uint16_t(mode);
        const uint16_t values[9] = {1, 2, 3, 4, 5, 6, 7, 8, 65535};
        std::copy(values, values + 3, upsInfo.pvHourBands);
        std::copy(values + 3, values + 6, upsInfo.gridHourBands);
        std::copy(values + 6, values + 9, upsInfo.antirefluxHourBands);
    }
    // Shown whether or not the settings block has been read.
    settingsValid = false;
    QSignalSpy spy(&requests, &DeviceRequests::sigQtSInverterMSet);
    requests.handleGetInverterMSet();
    QCOMPARE(spy.count(), 1);
    const QList<QVariant> args = spy.takeFirst();
    QCOMPARE(args.at(0).toString(), flag);
    QCOMPARE(args.at(1).toString(), bands);
}

void TestDeviceRequests::scheduleRowsWeekdayExample()
{
    // Wednesday 10:15: Monday is 5 days ahead, Friday 2, Sunday 4; today's 09:00 is past,
    // today's 11:00 ahead, and today's 10:15 (the current minute) goes to next week.
    QStringList week = emptyWeek();
    week[0] = weekly(1, QStringLiteral("22:30"), QStringLiteral("07:00"));
    week[1] = weekly(5, QStringLiteral("23:00"), QString());
    week[2] = weekly(0, QString(), QStringLiteral("06:00"));
    week[3] = weekly(3, QStringLiteral("09:00"), QStringLiteral("11:00"));
    week[4] = QStringLiteral(R"({"weekday":"3","shutdowntime":"10:15","boottime":"10:16"})");
    week[5] = weekly(2, QStringLiteral("7:00"), QStringLiteral("nonsense"));
    QSignalSpy times(&requests, &DeviceRequests::sigQtSSchedTime);
    requests.handleSetSched(scheduleRequest(week, {}, QStringLiteral("5")));

    const QStringList expected = {
        "2026-03-09 22:30", "2026-03-09 07:00", "2026-03-06 23:00", "", "", "2026-03-08 06:00",
        "2026-03-11 09:00", "2026-03-04 11:00", "2026-03-11 10:15", "2026-03-04 10:16", "", "", "", ""};
    QStringList tasktimes;
    {
        QReadLocker l(&scheduleListLock);
        QCOMPARE(scheduleList.size(), 14);
        for (int i = 0; i < scheduleList.size(); ++i) {
            const ScheduleItem &row = scheduleList.at(i);
            tasktimes << row.tasktime;
            QCOMPARE(row.tasktype, i % 2 ? QStringLiteral("startup") : QStringLiteral("shutdown"));
            QCOMPARE(row.taskfreq, QStringLiteral("7"));
        }
        QCOMPARE(scheduleList.at(10).tasksettime, QStringLiteral("7:00"));
    }
    QCOMPARE(tasktimes, expected);
    QCOMPARE(times.count(), 1);
    QCOMPARE(times.first().at(0).toString(), QStringLiteral("2026-03-06 23:00"));
    QCOMPARE(times.first().at(1).toString(), QStringLiteral("2026-03-04 10:16"));
    const QList<QStringList> stored = storedRows();
    QCOMPARE(stored.size(), 14);
    QCOMPARE(stored.at(0), (QStringList{"2026-03-09 22:30", "7", "shutdown", "22:30"}));
}

void TestDeviceRequests::specialTaskCatchUp_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("due");
    QTest::newRow("ahead stays") << "2026-03-04 10:16" << "0" << "2026-03-04 10:16";
    QTest::newRow("now is past, once") << "2026-03-04 10:15" << "0" << "";
    QTest::newRow("daily, ten days back") << "2026-02-22 09:00" << "1" << "2026-03-05 09:00";
    QTest::newRow("daily, earlier today") << "2026-03-04 10:00" << "1" << "2026-03-05 10:00";
    QTest::newRow("weekly") << "2026-02-25 12:00" << "7" << "2026-03-04 12:00";
    QTest::newRow("30 days, 65 days back") << "2025-12-29 11:00" << "30" << "2026-03-29 11:00";
    QTest::newRow("unknown rate in the past ends") << "2026-01-01 00:00" << "2" << "";
    QTest::newRow("unknown rate ahead stays") << "2026-05-01 00:00" << "x" << "2026-05-01 00:00";
    QTest::newRow("not a time") << "tomorrow" << "1" << "";
    QTest::newRow("no date") << "10:30" << "1" << "";
    QTest::newRow("empty") << "" << "1" << "";
}

void TestDeviceRequests::specialTaskCatchUp()
{
    QFETCH(QString, time);
    QFETCH(QString, rate);
    QFETCH(QString, due);
    QElapsedTimer timer;
    timer.start();
    requests.handleSetSched(scheduleRequest(emptyWeek(), {special(time, rate, QStringLiteral("shutdown"))}, QString()));
    QVERIFY(timer.elapsed() < 5000);
    QReadLocker l(&scheduleListLock);
    QCOMPARE(scheduleList.size(), 15);
    const ScheduleItem row = scheduleList.at(14);
    QCOMPARE(row.tasktime, due);
    QCOMPARE(row.tasksettime, due);
    QCOMPARE(row.taskfreq, rate);
    QCOMPARE(row.tasktype, QStringLiteral("shutdown"));
    QCOMPARE(nextShutdownTime, due);
}

void TestDeviceRequests::scheduleReplyAfterRestart()
{
    QStringList week = emptyWeek();
    week[0] = weekly(1, QStringLiteral("22:30"), QStringLiteral("07:00"));
    QStringList tasks;
    for (int j = 0; j < 7; ++j)
        tasks << special(QString(), QString(), QString());
    tasks[0] = special(QStringLiteral("2026-02-20 08:00"), QStringLiteral("0"), QStringLiteral("startup"));
    tasks[1] = special(QStringLiteral("2026-02-22 09:00"), QStringLiteral("1"), QStringLiteral("shutdown"));
    tasks[2] = special(QStringLiteral("2026-04-01 12:00"), QStringLiteral("30"), QStringLiteral("reboot"));
    requests.handleSetSched(scheduleRequest(week, tasks, QStringLiteral("5")));

    const QString expected = QStringLiteral(
        R"({"boot_and_shutdown_time":[{"shutdowntime":"22:30","boottime":"07:00"},)"
        R"({"shutdowntime":"","boottime":""},{"shutdowntime":"","boottime":""},{"shutdowntime":"","boottime":""},)"
        R"({"shutdowntime":"","boottime":""},{"shutdowntime":"","boottime":""},{"shutdowntime":"","boottime":""}],)"
        R"("specialtask":[{"specialtasktime":"","taskrate":"0","case":"startup"},)"
        R"({"specialtasktime":"2026-03-05 09:00","taskrate":"1","case":"shutdown"},)"
        R"({"specialtasktime":"2026-04-01 12:00","taskrate":"30","case":"reboot"},)"
        R"({"specialtasktime":"","taskrate":"","case":""},{"specialtasktime":"","taskrate":"","case":""},)"
        R"({"specialtasktime":"","taskrate":"","case":""},{"specialtasktime":"","taskrate":"","case":""}],)"
        R"("warnbeforeshutdown":"5","nextShutdownTime":"2026-03-05 09:00","nextStartupTime":"2026-03-09 07:00"})");
    QSignalSpy spy(&requests, &DeviceRequests::sigQtSSchedSet);
    requests.handleGetschedule();
    QCOMPARE(onlyText(spy), expected);

    // The next start reads the same schedule back from "schedule.db" and "param.ini".
    {
        QWriteLocker l(&scheduleListLock);
        scheduleList.clear();
        nextShutdownTime.clear();
        nextStartupTime.clear();
        ::preAlarm.clear();
    }
    loadAllSettings();
    loadSchedule();
    requests.handleGetschedule();
    QCOMPARE(onlyText(spy), expected);
}

void TestDeviceRequests::scheduleReplyEmptyAndShort()
{
    const QString emptyArrays = QStringLiteral(
        R"({"boot_and_shutdown_time":[{"shutdowntime":"","boottime":""},{"shutdowntime":"","boottime":""},)"
        R"({"shutdowntime":"","boottime":""},{"shutdowntime":"","boottime":""},{"shutdowntime":"","boottime":""},)"
        R"({"shutdowntime":"","boottime":""},{"shutdowntime":"","boottime":""}],"specialtask":[)"
        R"({"specialtasktime":"","taskrate":"","case":""},{"specialtasktime":"","taskrate":"","case":""},)"
        R"({"specialtasktime":"","taskrate":"","case":""},{"specialtasktime":"","taskrate":"","case":""},)"
        R"({"specialtasktime":"","taskrate":"","case":""},{"specialtasktime":"","taskrate":"","case":""},)"
        R"({"specialtasktime":"","taskrate":"","case":""}],)");
    QSignalSpy spy(&requests, &DeviceRequests::sigQtSSchedSet);
    requests.handleGetschedule();
    QCOMPARE(onlyText(spy), emptyArrays + QStringLiteral(R"("warnbeforeshutdown":"","nextShutdownTime":"","nextStartupTime":""})"));

    // Two weekly entries and no special array: four rows; the rest of the reply is "".
    requests.handleSetSched(QStringLiteral(R"({"boot_and_shutdown_time":[{"weekday":1,"shutdowntime":"22:30",)"
                                            R"("boottime":""},{"weekday":2}],"specialtask":"none","warnbeforeshutdown":""})"));
    {
        QReadLocker l(&scheduleListLock);
        QCOMPARE(scheduleList.size(), 4);
    }
    requests.handleGetschedule();
    QString firstEntrySet = emptyArrays;
    firstEntrySet.replace(QStringLiteral(R"([{"shutdowntime":"","boottime":""})"),
                          QStringLiteral(R"([{"shutdowntime":"22:30","boottime":""})"));
    QCOMPARE(onlyText(spy), firstEntrySet + QStringLiteral(R"("warnbeforeshutdown":"","nextShutdownTime":"2026-03-09 22:30","nextStartupTime":""})"));

    // More than 21 rows (a table written by other means): the first 21 are shown.
    {
        QWriteLocker l(&scheduleListLock);
        scheduleList.clear();
        for (int i = 0; i < 14; ++i)
            scheduleList.append(ScheduleItem{i % 2 ? QStringLiteral("startup") : QStringLiteral("shutdown"), QString(),
                                             QStringLiteral("7"), QStringLiteral("s%1").arg(i)});
        for (int i = 14; i < 25; ++i)
            scheduleList.append(ScheduleItem{QStringLiteral("t%1").arg(i), QString(), QStringLiteral("f%1").arg(i),
                                             QStringLiteral("s%1").arg(i)});
    }
    requests.handleGetschedule();
    const QString text = onlyText(spy);
    QVERIFY(text.startsWith(QStringLiteral(R"({"boot_and_shutdown_time":[{"shutdowntime":"s0","boottime":"s1"},)")));
    QVERIFY(text.contains(QStringLiteral(R"({"shutdowntime":"s12","boottime":"s13"}],"specialtask":[{"specialtasktime":"s14",)")));
    QVERIFY(text.contains(QStringLiteral(R"({"specialtasktime":"s20","taskrate":"f20","case":"t20"}])")));
    QVERIFY(!text.contains(QStringLiteral("s21")));
}

void TestDeviceRequests::scheduleNextTimesIncludeSpecial()
{
    QStringList week = emptyWeek();
    week[4] = weekly(4, QStringLiteral("22:00"), QStringLiteral("06:30"));
    QSignalSpy times(&requests, &DeviceRequests::sigQtSSchedTime);
    requests.handleSetSched(scheduleRequest(
        week, {special(QStringLiteral("2026-03-04 18:00"), QStringLiteral("0"), QStringLiteral("shutdown"))}, "3"));
    QCOMPARE(times.count(), 1);
    QCOMPARE(times.first().at(0).toString(), QStringLiteral("2026-03-04 18:00"));
    QCOMPARE(times.first().at(1).toString(), QStringLiteral("2026-03-05 06:30"));
}

void TestDeviceRequests::scheduleReplyReadsRowsByKind_data()
{
    QTest::addColumn<QStringList>("week");
    QTest::addColumn<QStringList>("tasks");
    QTest::addColumn<QStringList>("weeklyReply"); // the non-empty weekly objects, from the first
    QTest::addColumn<QStringList>("specialReply");
    const QStringList tasks{special(QStringLiteral("2026-03-10 08:00"), QStringLiteral("0"), QStringLiteral("shutdown")),
                            special(QStringLiteral("2026-03-11 09:00"), QStringLiteral("7"), QStringLiteral("startup")),
                            special(QString(), QStringLiteral("7"), QStringLiteral("shutdown"))};
    const QString noEntry = QStringLiteral(R"({"shutdowntime":"","boottime":""})");
    QTest::newRow("no weekly entries") << QStringList() << tasks << QStringList() << tasks;
    QTest::newRow("three weekly entries")
        << QStringList{weekly(1, QStringLiteral("22:30"), QStringLiteral("07:00")), weekly(2, QString(), QString()),
                       weekly(3, QStringLiteral("23:00"), QString())}
        << tasks
        << QStringList{QStringLiteral(R"({"shutdowntime":"22:30","boottime":"07:00"})"), noEntry,
                       QStringLiteral(R"({"shutdowntime":"23:00","boottime":""})")}
        << tasks;
    QTest::newRow("one weekly entry, no tasks") << QStringList{weekly(1, QString(), QStringLiteral("07:00"))} << QStringList()
                                                << QStringList{QStringLiteral(R"({"shutdowntime":"","boottime":"07:00"})")}
                                                << QStringList();
}

void TestDeviceRequests::scheduleReplyReadsRowsByKind()
{
    QFETCH(QStringList, week);
    QFETCH(QStringList, tasks);
    QFETCH(QStringList, weeklyReply);
    QFETCH(QStringList, specialReply);
    requests.handleSetSched(scheduleRequest(week, tasks, QStringLiteral("5")));
    while (weeklyReply.size() < 7)
        weeklyReply << QStringLiteral(R"({"shutdowntime":"","boottime":""})");
    while (specialReply.size() < 7)
        specialReply << special(QString(), QString(), QString());
    QSignalSpy spy(&requests, &DeviceRequests::sigQtSSchedSet);
    requests.handleGetschedule();
    const QString text = onlyText(spy);
    const QString arrays = QStringLiteral(R"({"boot_and_shutdown_time":[%1],"specialtask":[%2],"warnbeforeshutdown":"5",)")
                               .arg(weeklyReply.join(QLatin1Char(',')), specialReply.join(QLatin1Char(',')));
    QCOMPARE(text.left(arrays.size()), arrays);
}

QTEST_GUILESS_MAIN(TestDeviceRequests)
#include "tst_devicerequests.moc"
