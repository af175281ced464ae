// The live replies of the bridge against tables of device states: link states, device
// families, masks that gate items in and out.
#include "bridge/qmlobject.h"
#include "tests/bridge/bridgefixture.h"
#include "tests/support/testenv.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(Masks)

namespace {
// Output, bypass, battery and AC page texts with every gate open (odd status bits set).
const char kUpsOutputAll[] = "#outputfre!u14#outputfac!u15#outputvol!u17#outputcur!u18#outputactp!u19"
                             "#outputappp!u20#outputwatp!u21#outputload!u22#outputstate!1#outputoverload!0"
                             "#outputoff!1";
const char kUpsBypassAll[] = "#bypassfre!u23#bypassvol!u24#bypasscur!u25#bypassactp!u26#bypassstate!1"
                             "#bypasssupply!1";
const char kUpsBatteryAll[] = "#batmode!bm#batdischargetime!u0#batremaintime!u1#batremaincap!u2#batvol!u3"
                              "#batcur!u4#battemp!u5#batstate!1#batlow!1#batdepletion!0#batsupply!0#test!0"
                              "#testfault!1";
const char kUpsAcAll[] = "#inputfac!u6#inputfre!u8#inputvol!u9#inputcur!u10#inputactp!u11#inputappp!u12"
                         "#inputwatp!u13#inputfault!0";

Masks outputMask(uint16_t field, uint16_t lo = 0, uint16_t hi = 0)
{
    Masks m;
    m.output = field;
    m.statusLo = lo;
    m.statusHi = hi;
    return m;
}
}

class TestLivePages : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        fillDeviceState();
    }
    void cleanup() { env.reset(); }

    void livePage_data();
    void livePage();
    void modulePanel_data();
    void modulePanel();
    void flowState_data();
    void flowState();
    void mainGenInfo_data();
    void mainGenInfo();
    void otherInfo_data();
    void otherInfo();
    void pvInfo_data();
    void pvInfo();
    void deviceInfoUps();
    void deviceInfoInverter_data();
    void deviceInfoInverter();
    void deviceInfoNotCommunicating();

private:
    std::unique_ptr<TestEnv> env;
    qmlobject bridge;
};

void TestLivePages::livePage_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("commState");
    QTest::addColumn<Masks>("masks");
    QTest::addColumn<QString>("expected");

    const QByteArray out = "handleGetOutputInfo", outSig = SIGNAL(sigOutputInfo(QString));
    const QByteArray byp = "handleGetBypassInfo", bypSig = SIGNAL(sigBypassInfo(QString));
    const QByteArray bat = "handleGetBatInfo", batSig = SIGNAL(sigBatInfo(QString));
    const QByteArray ac = "handleGetACInfo", acSig = SIGNAL(sigACInfo(QString));

    for (const char *p : {"0", "1", "3"}) {
        for (int state : {1, 3}) {
            const QByteArray tag = QByteArray("state ") + QByteArray::number(state) + " protocol " + p;
            QTest::newRow(tag + " output") << out << outSig << p << state << allMasks() << "";
            QTest::newRow(tag + " bypass") << byp << bypSig << p << state << allMasks() << "";
            QTest::newRow(tag + " battery") << bat << batSig << p << state << allMasks() << "";
            QTest::newRow(tag + " ac") << ac << acSig << p << state << allMasks() << "";
        }
    }
    for (const char *p : {"0", "1", "2"}) {
        const QByteArray tag = QByteArray("ups ") + p;
        QTest::newRow(tag + " output all") << out << outSig << p << 2 << allMasks() << kUpsOutputAll;
        QTest::newRow(tag + " bypass all") << byp << bypSig << p << 2 << allMasks() << kUpsBypassAll;
        QTest::newRow(tag + " battery all") << bat << batSig << p << 2 << allMasks() << kUpsBatteryAll;
        QTest::newRow(tag + " ac all") << ac << acSig << p << 2 << allMasks() << kUpsAcAll;
    }
    QTest::newRow("ups nothing reported") << out << outSig << "0" << 2 << Masks() << "";
    QTest::newRow("output frequency and load only")
        << out << outSig << "0" << 2 << outputMask(0x0402) << "#outputfre!u14#outputload!u22";
    QTest::newRow("output status bit clear but reported")
        << out << outSig << "0" << 2 << outputMask(0, 1u << 12) << "#outputoverload!0";
    QTest::newRow("output high status word") << out << outSig << "0" << 2 << outputMask(0, 0, 0x0002)
                                             << "#outputoff!1";
    QTest::newRow("output energy bits show nothing") << out << outSig << "0" << 2 << outputMask(0x0018) << "";
    {
        Masks m;
        m.output = 0xFFFF; // another area's mask opens no battery gate
        QTest::newRow("battery ignores other areas") << bat << batSig << "1" << 2 << m << "";
        m.bat = 0x0001;
        m.statusLo = 1u << 3;
        QTest::newRow("battery mode and state") << bat << batSig << "1" << 2 << m << "#batmode!bm#batstate!1";
    }
    {
        Masks m;
        m.input = 0x000C; // the input energy's two bits: not shown on the page
        QTest::newRow("ac energy only") << ac << acSig << "0" << 2 << m << "";
        m.bypass = 0x0010;
        QTest::newRow("bypass power only") << byp << bypSig << "0" << 2 << m << "#bypassactp!u26";
    }
    for (const char *p : {"3", "4"}) {
        const QByteArray tag = QByteArray("inverter ") + p;
        QTest::newRow(tag + " output") << out << outSig << p << 2 << Masks()
                                       << "#outputfre!i32#outputvol!i26#outputactp!i35#outputappp!i38#outputload!i41";
        QTest::newRow(tag + " bypass") << byp << bypSig << p << 2 << Masks() << "#bypassfre!i20#bypassvol!i11";
        QTest::newRow(tag + " battery") << bat << batSig << p << 2 << Masks()
                                        << "#batvol!i47#batremaincap!i50#batstate!i75";
        QTest::newRow(tag + " ac") << ac << acSig << p << 2 << Masks() << "#inputfre!i7#inputvol!i1";
    }
}

void TestLivePages::livePage()
{
    QFETCH(QByteArray, slot);
    QFETCH(QByteArray, signal);
    QFETCH(QString, protocol);
    QFETCH(int, commState);
    QFETCH(Masks, masks);
    QFETCH(QString, expected);

    setDeviceState(protocol, masks, commState);
    QSignalSpy spy(&bridge, signal.constData());
    QVERIFY(QMetaObject::invokeMethod(&bridge, slot.constData()));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), expected);
}

void TestLivePages::modulePanel_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("commState");
    QTest::addColumn<Masks>("masks");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bypass") << R"({"flag":"bypass"})" << "0" << 2 << allMasks() << "bypass" << kUpsBypassAll;
    QTest::newRow("ac") << R"({"flag":"ac"})" << "1" << 2 << allMasks() << "ac"
                        << "#inputfac!u6#inputfre!u8#inputvol!u9#inputcur!u10#inputfault!0";
    QTest::newRow("pv") << R"({"flag":"pv"})" << "0" << 2 << allMasks() << "pv"
                        << "#pvvol!u27#pvcur!u28#pvpower!u29#pvdaygen!u30#pvmode!pm#pvfault!0#pvinputfalut!1";
    QTest::newRow("battery") << R"({"flag":"battery"})" << "2" << 2 << allMasks() << "battery"
                             << "#batdischargetime!u0#batremaintime!u1#batremaincap!u2#batvol!u3#batcur!u4"
                                "#battemp!u5#batmode!bm#batstate!1#batlow!1#batdepletion!0#batsupply!0";
    QTest::newRow("output") << R"({"flag":"output"})" << "0" << 2 << allMasks() << "output"
                            << "#outputfre!u14#outputfac!u15#outputvol!u17#outputcur!u18#outputload!u22"
                               "#outputstate!1#outputoverload!0#outputshutdown!1";
    Masks lowDayGen;
    lowDayGen.pv = 0x0020; // the lower of the day energy's two bits
    QTest::newRow("pv day energy by its lower bit") << R"({"flag":"pv"})" << "0" << 2 << lowDayGen << "pv"
                                                    << "#pvdaygen!u30";
    QTest::newRow("letter case differs") << R"({"flag":"Battery"})" << "0" << 2 << allMasks() << "Battery" << "";
    QTest::newRow("unknown flag") << R"({"flag":"grid"})" << "0" << 2 << allMasks() << "grid" << "";
    QTest::newRow("no flag") << R"({"page":"pv"})" << "0" << 2 << allMasks() << "" << "";
    QTest::newRow("not an object") << R"(["pv"])" << "0" << 2 << allMasks() << "" << "";
    QTest::newRow("number flag") << R"({"flag":5})" << "0" << 2 << allMasks() << "5" << "";
    QTest::newRow("connecting") << R"({"flag":"pv"})" << "0" << 1 << allMasks() << "pv" << "";
    QTest::newRow("lost") << R"({"flag":"ac"})" << "3" << 3 << allMasks() << "ac" << "";
    QTest::newRow("inverter uses the ups masks") << R"({"flag":"bypass"})" << "3" << 2 << allMasks() << "bypass"
                                                 << kUpsBypassAll;
    QTest::newRow("inverter with clear masks") << R"({"flag":"bypass"})" << "4" << 2 << Masks() << "bypass" << "";
}

void TestLivePages::modulePanel()
{
    QFETCH(QString, request);
    QFETCH(QString, protocol);
    QFETCH(int, commState);
    QFETCH(Masks, masks);
    QFETCH(QString, flag);
    QFETCH(QString, expected);

    setDeviceState(protocol, masks, commState);
    QSignalSpy spy(&bridge, &qmlobject::sigMainModuleInfo);
    bridge.handleMainModuleData(request);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), flag);
    QCOMPARE(spy.at(0).at(1).toString(), expected);
}

void TestLivePages::flowState_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("commState");
    QTest::addColumn<QStringList>("values"); // volt, curr (UPS) or reg 89, reg 90 (inverter)
    QTest::addColumn<QStringList>("expected");

    const QStringList idle{"-1", "-1", "0.0", "0.0", "0.0", "0.0"};
    for (const char *p : {"0", "1", "3", "4"}) {
        QTest::newRow(QByteArray("connecting ") + p) << p << 1 << QStringList{"53.6", "-2.5"} << idle;
        QTest::newRow(QByteArray("lost ") + p) << p << 3 << QStringList{"53.6", "-2.5"} << idle;
    }
    QTest::newRow("ups discharging") << "0" << 2 << QStringList{"53.6", "-2.5"}
                                     << QStringList{"3", "bm", "u22", "u10", "u29", "-134.00"};
    QTest::newRow("ups charging") << "1" << 2 << QStringList{"54.00", "2.00"}
                                  << QStringList{"3", "bm", "u22", "u10", "u29", "108.00"};
    QTest::newRow("ups current not a number") << "2" << 2 << QStringList{"53.6", "n/a"}
                                              << QStringList{"3", "bm", "u22", "u10", "u29", "0.00"};
    // Six significant digits first: 1234567 becomes 1.23457e+06, so the last digits read 0.
    QTest::newRow("ups product of a million") << "0" << 2 << QStringList{"1000", "1234.567"}
                                              << QStringList{"3", "bm", "u22", "u10", "u29", "1234570.00"};
    QTest::newRow("inverter") << "3" << 2 << QStringList{"123.4", "0"}
                              << QStringList{"7", "", "", "", "1234", "0"};
    QTest::newRow("inverter not numbers") << "4" << 2 << QStringList{"", "x"}
                                          << QStringList{"7", "", "", "", "0", "0"};
    QTest::newRow("inverter negative battery") << "4" << 2 << QStringList{"0.5", "-250.5"}
                                               << QStringList{"7", "", "", "", "5", "-2505"};
}

void TestLivePages::flowState()
{
    QFETCH(QString, protocol);
    QFETCH(int, commState);
    QFETCH(QStringList, values);
    QFETCH(QStringList, expected);

    setProtocol(protocol);
    upsInfo.commState = commState;
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.values[BatteryVolt] = values.at(0);
        upsInfo.values[BatteryCurr] = values.at(1);
        inverterInfo.values[89] = values.at(0);
        inverterInfo.values[90] = values.at(1);
    }
    QSignalSpy spy(&bridge, &qmlobject::sigFlowState);
    bridge.handleGetFlowState();
    QCOMPARE(spy.count(), 1);
    QStringList got;
    for (const QVariant &v : spy.at(0))
        got << v.toString();
    QCOMPARE(got, expected);
}

void TestLivePages::mainGenInfo_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("commState");
    QTest::addColumn<QString>("dayGen"); // PVDayGen (UPS) or register 132 (inverter)
    QTest::addColumn<QString>("lifetime"); // register 134 (inverter)
    QTest::addColumn<QString>("expected");

    QTest::newRow("connecting") << "0" << 1 << "u30" << "1000" << "";
    QTest::newRow("lost inverter") << "3" << 3 << "i132" << "1000" << "";
    QTest::newRow("ups") << "0" << 2 << "u30" << "" << "u29#u30#u31#sc";
    QTest::newRow("ups empty day energy") << "1" << 2 << "" << "" << "u29##u31#sc";
    QTest::newRow("inverter 1000") << "3" << 2 << "2.5" << "1000" << "i131#2.5#1000#970";
    QTest::newRow("inverter 1500") << "4" << 2 << "0" << "1500" << "i131#0#1500#1455";
    QTest::newRow("inverter lifetime not a number") << "4" << 2 << "0" << "" << "i131#0##0";
}

void TestLivePages::mainGenInfo()
{
    QFETCH(QString, protocol);
    QFETCH(int, commState);
    QFETCH(QString, dayGen);
    QFETCH(QString, lifetime);
    QFETCH(QString, expected);

    setProtocol(protocol);
    upsInfo.commState = commState;
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.values[PVDayGen] = dayGen;
        inverterInfo.values[132] = dayGen;
        inverterInfo.values[134] = lifetime;
    }
    QSignalSpy spy(&bridge, &qmlobject::sigMainGenInfo);
    bridge.handleMainGenInfo();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), expected);
}

void TestLivePages::otherInfo_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("commState");
    QTest::addColumn<Masks>("masks");
    QTest::addColumn<QString>("expected");

    QTest::newRow("connecting") << "0" << 1 << allMasks() << "#comstate!1";
    QTest::newRow("lost") << "1" << 3 << allMasks() << "#comstate!3";
    QTest::newRow("nothing reported") << "0" << 2 << Masks() << "#comstate!2";
    QTest::newRow("everything") << "0" << 2 << allMasks()
                                << "#comstate!2#sysfault!0#recfault!1#busfault!0#invfault!0#chargefault!0"
                                   "#fanfault!1#fusefault!0#overtemp!1#shutdown!0#closeoutputcommandexecution!1"
                                   "#shutdowncommandexecution!0#waitinputrecovery!1#delayshutdown!0"
                                   "#upcomingshutdown!1#systemp!36.6#invertertime!2026-01-15 11:59:30#workmode!3";
    Masks partial;
    partial.other = 0x0018 | 0x0040; // two of the clock's three bits, and the work mode
    partial.statusLo = 0x0028;       // bits 3 and 5 belong to other pages
    partial.statusHi = 0x0004;       // status bit 18
    QTest::newRow("partial") << "2" << 2 << partial << "#comstate!2#shutdown!0#workmode!3";
    QTest::newRow("inverter without ups masks") << "3" << 2 << Masks() << "#comstate!2";
}

void TestLivePages::otherInfo()
{
    QFETCH(QString, protocol);
    QFETCH(int, commState);
    QFETCH(Masks, masks);
    QFETCH(QString, expected);

    setDeviceState(protocol, masks, commState);
    QSignalSpy spy(&bridge, &qmlobject::sigOtherInfo);
    bridge.handleGetOtherInfo();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), expected);
}

void TestLivePages::pvInfo_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("commState");
    QTest::addColumn<Masks>("masks");
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("inputs");

    QTest::newRow("connecting") << "0" << 1 << allMasks() << "" << "";
    QTest::newRow("lost inverter") << "3" << 3 << allMasks() << "" << "";
    QString allRows;
    for (int n = 1; n <= 8; ++n)
        allRows += QStringLiteral("%1%2#v%2#c%2#d%2#t%2#f%2").arg(n == 1 ? "" : "!").arg(n);
    QTest::newRow("everything") << "0" << 2 << allMasks()
                                << "#pvvol!u27#pvcur!u28#pvpower!u29#pvdaygen!u30#pvtotalgen!u31#pvmode!pm"
                                   "#pvinputstate!1#pvstate!0"
                                << allRows;
    Masks two;
    two.pv = 0x0001 | 0x0020; // the per-input table, and only the lower day-energy bit
    two.pvInputs = 0x0005;
    two.pvInputCount = 2;
    QTest::newRow("inputs 1 and 3") << "1" << 2 << two << "" << "1#v1#c1#d1#t1#f1!3#v3#c3#d3#t3#f3";
    Masks noTable = two;
    noTable.pv = 0x0180; // the lifetime energy's two bits, no per-input table
    QTest::newRow("table bit clear") << "0" << 2 << noTable << "#pvtotalgen!u31" << "";
    Masks noCount = two;
    noCount.pvInputCount = 0;
    QTest::newRow("count 0") << "2" << 2 << noCount << "" << "";
    Masks noInputs = two;
    noInputs.pvInputs = 0;
    QTest::newRow("no inputs present") << "0" << 2 << noInputs << "" << "";
    // A count that lags behind the input mask still gives whole rows joined by "!".
    Masks lagging = two;
    lagging.pvInputs = 0x0007;
    QTest::newRow("count behind the mask") << "0" << 2 << lagging << ""
                                           << "1#v1#c1#d1#t1#f1!2#v2#c2#d2#t2#f2!3#v3#c3#d3#t3#f3";
    QTest::newRow("inverter") << "4" << 2 << allMasks() << "#pvvol!i129#pvpower!i131#pvdaygen!i132#pvtotalgen!i134"
                              << "";
}

void TestLivePages::pvInfo()
{
    QFETCH(QString, protocol);
    QFETCH(int, commState);
    QFETCH(Masks, masks);
    QFETCH(QString, values);
    QFETCH(QString, inputs);

    setDeviceState(protocol, masks, commState);
    QSignalSpy spy(&bridge, &qmlobject::sigPVInfo);
    bridge.handleGetPVInfo();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), values);
    QCOMPARE(spy.at(0).at(1).toString(), inputs);
}

void TestLivePages::deviceInfoUps()
{
    setProtocol(QStringLiteral("0"));
    upsInfo.commState = CommOk;
    QSignalSpy spy(&bridge, &qmlobject::sigDeviceInfo);
    bridge.handleGetdeviceInfo();
    // No mask applies: six items even with every text empty.
    QCOMPARE(spy.takeFirst().at(0).toString(),
             QStringLiteral("#devicename!#devicetype!#devicemanufacturer!#devicepversion!#devicemonitorversion!"
                            "#devicemcontrolversion!"));
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.deviceName = QStringLiteral("ABCD") + QString(12, QChar(0));
        upsInfo.deviceType = QStringLiteral("T");
        upsInfo.deviceManufacturer = QStringLiteral("M");
        upsInfo.deviceProtocolVersion = QStringLiteral("1.2");
        upsInfo.deviceMonitorVersion = QStringLiteral("10.5");
        upsInfo.deviceControlVersion = QStringLiteral("1");
    }
    setMasks(Masks());
    bridge.handleGetdeviceInfo();
    QCOMPARE(spy.takeFirst().at(0).toString(),
             QStringLiteral("#devicename!ABCD") + QString(12, QChar(0))
                 + QStringLiteral("#devicetype!T#devicemanufacturer!M#devicepversion!1.2"
                                  "#devicemonitorversion!10.5#devicemcontrolversion!1"));
}

void TestLivePages::deviceInfoInverter_data()
{
    QTest::addColumn<QStringList>("settings"); // holding registers from 20 on; "" keeps empty
    QTest::addColumn<QString>("expected");

    const QString nul(1, QChar(0));
    QTest::newRow("settings not read yet")
        << QStringList() << QStringLiteral("#devicetype!") + nul.repeated(10) + QStringLiteral("#devicemanufacturer!")
                                + nul.repeated(16) + QStringLiteral("#devicepversion!#devicemonitorversion!V");
    QStringList regs(32);
    regs[0] = QStringLiteral("3");      // 20: protocol version
    regs[1] = QStringLiteral("1.05");   // 21: monitor version
    regs[8] = QString::number(0x4142);  // 28: "AB"
    regs[9] = QString::number(0x4300);  // 29: "C" and a zero byte
    regs[10] = QStringLiteral("x");     // 30: not a number, two zero characters
    regs[24] = QString::number(0x5A51); // 44: "ZQ"
    regs[25] = QString::number(0x00E9); // 45: a zero byte and Latin-1 e acute
    const QString maker = QStringLiteral("ABC") + nul.repeated(13);
    const QString type = QStringLiteral("ZQ") + nul + QChar(0xE9) + nul.repeated(6);
    QTest::newRow("filled") << regs
                            << QStringLiteral("#devicetype!") + type + QStringLiteral("#devicemanufacturer!") + maker
                                   + QStringLiteral("#devicepversion!3#devicemonitorversion!V1.05");
}

void TestLivePages::deviceInfoInverter()
{
    QFETCH(QStringList, settings);
    QFETCH(QString, expected);

    {
        QWriteLocker l(&upsInfo.lock);
        for (QString &s : inverterInfo.settings)
            s.clear();
        for (int i = 0; i < settings.size(); ++i)
            inverterInfo.settings[20 + i] = settings.at(i);
    }
    for (const char *p : {"3", "4"}) {
        setProtocol(QLatin1String(p));
        upsInfo.commState = CommOk;
        QSignalSpy spy(&bridge, &qmlobject::sigDeviceInfo);
        bridge.handleGetdeviceInfo();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), expected);
    }
}

void TestLivePages::deviceInfoNotCommunicating()
{
    for (const char *p : {"0", "3"}) {
        setProtocol(QLatin1String(p));
        for (int state : {1, 3}) {
            upsInfo.commState = state;
            QSignalSpy spy(&bridge, &qmlobject::sigDeviceInfo);
            bridge.handleGetdeviceInfo();
            QCOMPARE(spy.count(), 1);
            QCOMPARE(spy.at(0).at(0).toString(), QString());
        }
    }
}

QTEST_MAIN(TestLivePages)
#include "tst_livepages.moc"
