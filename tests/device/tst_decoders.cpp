// The decoders: UPS blocks of both families and transports, the inverter map, identity
// texts, status bits and alarm slots with their events, and blocks too short to decode.
#include "core/devicestate.h"
#include "core/events.h"
#include "core/settings.h"
#include "device/decoders.h"
#include "tests/support/testenv.h"

#include <QReadLocker>
#include <QTextCodec>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

namespace {

// ---------------------------------------------------------------------------------
// The device's register maps as these tests see them: every register position used
// below comes from these tables.

// What each transaction reads: first register (or discrete input) and count.
struct BlockSpec
{
    const char *decoder; // "modbus", "hid", "inverter", "status"
    int id;
    int first;
    int count;
};

const BlockSpec kBlocks[] = {
    {"status", 1, 0, 32},
    {"modbus", 2, 0, 68},
    {"modbus", 3, 0, 125},
    {"modbus", 4, 0x8000, 58},
    {"modbus", 5, 126, 95},
    {"hid", 2, 0, 42},
    {"hid", 7, 0, 21},
    {"hid", 8, 21, 21},
    {"hid", 9, 42, 21},
    {"hid", 10, 63, 10},
    {"hid", 11, 84, 21},
    {"hid", 12, 105, 7},
    {"hid", 13, 0x8000, 20},
    {"hid", 14, 0x8014, 12},
    {"inverter", 15, 0, 125},
    {"inverter", 16, 125, 20},
    {"status", 17, 0, 125},
    {"status", 18, 125, 76},
    {"inverter", 19, 0, 52},
    {"hid", 21, 0, 32},
    {"hid", 22, 32, 32},
    {"hid", 23, 64, 32},
    {"hid", 24, 96, 32},
    {"hid", 25, 128, 17},
    {"status", 26, 0, 120},
    {"status", 27, 120, 80},
    {"hid", 28, 20, 32},
};

const BlockSpec &blockSpec(const QString &decoder, int id)
{
    for (const BlockSpec &b : kBlocks) {
        if (decoder == QLatin1String(b.decoder) && b.id == id)
            return b;
    }
    qFatal("no block %s %d", qPrintable(decoder), id);
}

// Named UPS registers. width 2: a 32-bit value, the high half first. value: the index
// of upsInfo.values the register renders into, or -1. A name ending in .B or .C is the
// phase B or C register of a three-phase value.
struct Spot
{
    const char *name;
    int reg;
    int width;
    int value;
};

const Spot kUpsSpots[] = {
    {"statusMaskLo", 0, 1, -1},
    {"statusMaskHi", 1, 1, -1},
    {"otherInfoMask", 2, 1, -1},
    {"sysTemp", 3, 1, -1},
    {"clockYearMonth", 6, 1, -1},
    {"clockDayHour", 7, 1, -1},
    {"clockMinuteSecond", 8, 1, -1},
    {"workMode", 9, 1, -1},
    {"batFieldMask", 19, 1, -1},
    {"batMode", 20, 1, -1},
    {"BatteryDischageTime", 21, 1, BatteryDischageTime},
    {"BatteryRemainTime", 22, 1, BatteryRemainTime},
    {"BatteryRemmainCap", 23, 1, BatteryRemmainCap},
    {"BatteryVolt", 24, 1, BatteryVolt},
    {"BatteryCurr", 25, 1, BatteryCurr},
    {"BatteryTemp", 26, 1, BatteryTemp},
    {"inputFieldMask", 36, 1, -1},
    {"InputPowerFac", 39, 1, InputPowerFac},
    {"InputGenC", 40, 2, InputGenC},
    {"InputFreq", 42, 1, InputFreq},
    {"InputVolt", 43, 1, InputVolt},
    {"InputCurr", 44, 1, InputCurr},
    {"InputActPower", 45, 1, InputActPower},
    {"InputAppPower", 46, 1, InputAppPower},
    {"InputWattPower", 47, 1, InputWattPower},
    {"InputFreq.B", 48, 1, -1},
    {"InputCurr.B", 50, 1, -1},
    {"InputFreq.C", 54, 1, -1},
    {"InputCurr.C", 56, 1, -1},
    {"outputFieldMask", 60, 1, -1},
    {"OutputFrq", 63, 1, OutputFrq},
    {"OutputPowerFac", 64, 1, OutputPowerFac},
    {"OutputGen", 65, 2, OutputGen},
    {"OutputVolt", 67, 1, OutputVolt},
    {"OutputCurr", 68, 1, OutputCurr},
    {"OutputActivePower", 69, 1, OutputActivePower},
    {"OutputAppPower", 70, 1, OutputAppPower},
    {"OutputWattPower", 71, 1, OutputWattPower},
    {"OutputLoadPercent", 72, 1, OutputLoadPercent},
    {"OutputVolt.B", 73, 1, -1},
    {"OutputLoadPercent.B", 78, 1, -1},
    {"OutputVolt.C", 79, 1, -1},
    {"OutputLoadPercent.C", 84, 1, -1},
    {"bypassFieldMask", 85, 1, -1},
    {"BypassFreq", 87, 1, BypassFreq},
    {"BypassVol", 88, 1, BypassVol},
    {"BypassCurr", 89, 1, BypassCurr},
    {"BypassActPower", 90, 1, BypassActPower},
    {"BypassVol.B", 91, 1, -1},
    {"BypassActPower.B", 93, 1, -1},
    {"BypassVol.C", 94, 1, -1},
    {"BypassActPower.C", 96, 1, -1},
    {"pvFieldMask", 102, 1, -1},
    {"pvInputMask", 103, 1, -1},
    {"pvMode", 104, 1, -1},
    {"PVVolt", 105, 1, PVVolt},
    {"PVCurr", 106, 1, PVCurr},
    {"PVPower", 107, 1, PVPower},
    {"PVDayGen", 108, 2, PVDayGen},
    {"PVTotalGen", 110, 2, PVTotalGen},
    // Identity (16-byte GBK texts of eight registers) and versions.
    {"deviceName", 0x8004, 8, -1},
    {"deviceType", 0x800C, 8, -1},
    {"deviceManufacturer", 0x8014, 8, -1},
    {"deviceProtocolVersion", 0x801C, 1, -1},
    {"deviceMonitorVersion", 0x801D, 1, -1},
    {"deviceControlVersion", 0x801E, 1, -1},
    // Settings block, holding registers.
    {"supportFlags", 0, 3, -1},
    {"pvHourBands", 31, 3, -1},
    {"gridHourBands", 34, 3, -1},
    {"antirefluxHourBands", 37, 3, -1},
    {"inverterMode", 40, 1, -1},
};

const Spot &spot(const QString &name)
{
    for (const Spot &s : kUpsSpots) {
        if (name == QLatin1String(s.name))
            return s;
    }
    qFatal("no register named %s", qPrintable(name));
}

// Per-input PV table: input n (1 to 8) in twelve registers from 126 + 12 (n - 1).
struct PvField
{
    const char *name;
    int offset;
    int width;
};
const PvField kPvFields[] = {
    {"voltage", 0, 1}, {"current", 1, 1}, {"status", 4, 1}, {"dayGen", 5, 2}, {"totalGen", 7, 2},
};
int pvInputRegister(int input, const QString &field, int *width)
{
    for (const PvField &f : kPvFields) {
        if (field == QLatin1String(f.name)) {
            *width = f.width;
            return 126 + 12 * (input - 1) + f.offset;
        }
    }
    qFatal("no PV field %s", qPrintable(field));
}

// Inverter alarm slot j and its discrete input.
const int kAlarmSlotInputs[26] = {3,   4,   5,   12,  13,  14,  40,  49,  51,  52,  55,  56,  57,
                                  59,  60,  61,  64,  108, 109, 134, 135, 136, 137, 138, 197, 198};

// ---------------------------------------------------------------------------------

// A register block of one transaction, zero-filled, addressed by register number.
struct Block
{
    int first = 0;
    QVector<quint16> regs;

    Block(const QString &decoder, int id)
    {
        const BlockSpec &b = blockSpec(decoder, id);
        first = b.first;
        regs.fill(0, b.count);
    }
    void set(int reg, quint32 value, int width = 1)
    {
        if (width == 2) {
            regs[reg - first] = quint16(value >> 16);
            regs[reg - first + 1] = quint16(value);
        } else {
            regs[reg - first] = quint16(value);
        }
    }
    // "Name=value Name.B=value": decimal or 0x hex; a negative value is stored as its
    // two's complement; "pv3.voltage=..." names a per-input PV register.
    void apply(const QString &assignments)
    {
        for (const QString &a : assignments.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString name = a.section(QLatin1Char('='), 0, 0);
            const QString text = a.section(QLatin1Char('='), 1);
            bool ok = false;
            const qint64 value = text.startsWith(QLatin1String("0x")) ? text.mid(2).toLongLong(&ok, 16)
                                                                        : text.toLongLong(&ok);
            QVERIFY2(ok, qPrintable(a));
            int width = 1;
            int reg = 0;
            if (name.startsWith(QLatin1String("pv")) && name.at(2).isDigit())
                reg = pvInputRegister(name.mid(2, 1).toInt(), name.section(QLatin1Char('.'), 1), &width);
            else {
                const Spot &s = spot(name);
                reg = s.reg;
                width = s.width;
            }
            set(reg, quint32(value), width);
        }
    }
    // Eight registers from the bytes of a 16-byte text, low byte first.
    void setText(const QString &name, const QByteArray &bytes)
    {
        const int reg = spot(name).reg;
        for (int i = 0; i < 8; ++i) {
            const quint8 lo = 2 * i < bytes.size() ? quint8(bytes[2 * i]) : 0;
            const quint8 hi = 2 * i + 1 < bytes.size() ? quint8(bytes[2 * i + 1]) : 0;
            regs[reg - first + i] = quint16(hi << 8 | lo);
        }
    }
    const quint16 *data() const { return regs.constData(); }
    int count() const { return int(regs.size()); }
};

// A discrete-input block with the given inputs set.
QVector<quint8> inputBlock(int id, const QList<int> &setInputs)
{
    const BlockSpec &b = blockSpec(QStringLiteral("status"), id);
    QVector<quint8> in(b.count, 0);
    for (int n : setInputs)
        in[n - b.first] = 1;
    return in;
}

void setProtocol(const QString &code)
{
    QWriteLocker l(&settingsLock);
    deviceSettings.comProtocol = code;
}

// A field of upsInfo by name: values by their register's name, the other members by
// their own, "pv3.voltage" for a row of the per-input PV table.
QString upsField(const QString &name)
{
    QReadLocker l(&upsInfo.lock);
    const ThreePhaseUPSInfo &u = upsInfo;
    if (name.startsWith(QLatin1String("pv")) && name.at(2).isDigit()) {
        const UnitRecord &r = u.pvInputTable[name.mid(2, 1).toInt() - 1];
        const QString f = name.section(QLatin1Char('.'), 1);
        if (f == QLatin1String("inputNo")) return r.inputNo;
        if (f == QLatin1String("voltage")) return r.voltage;
        if (f == QLatin1String("current")) return r.current;
        if (f == QLatin1String("fault")) return r.fault;
        if (f == QLatin1String("dayGen")) return r.dayGen;
        if (f == QLatin1String("totalGen")) return r.totalGen;
    }
    const QHash<QString, std::function<QString()>> named = {
        {"statusMaskLo", [&] { return QString::number(u.statusMaskLo); }},
        {"statusMaskHi", [&] { return QString::number(u.statusMaskHi); }},
        {"otherInfoMask", [&] { return QString::number(u.otherInfoMask); }},
        {"batFieldMask", [&] { return QString::number(u.batFieldMask); }},
        {"inputFieldMask", [&] { return QString::number(u.inputFieldMask); }},
        {"outputFieldMask", [&] { return QString::number(u.outputFieldMask); }},
        {"bypassFieldMask", [&] { return QString::number(u.bypassFieldMask); }},
        {"pvFieldMask", [&] { return QString::number(u.pvFieldMask); }},
        {"pvInputMask", [&] { return QString::number(u.pvInputMask); }},
        {"pvInputCount", [&] { return QString::number(u.pvInputCount); }},
        {"sysTemp", [&] { return u.sysTemp; }},
        {"deviceTime", [&] { return u.deviceTime; }},
        {"workMode", [&] { return u.workMode; }},
        {"batMode", [&] { return u.batMode; }},
        {"pvMode", [&] { return u.pvMode; }},
        {"pvTotalGenScaled", [&] { return u.pvTotalGenScaled; }},
        {"deviceName", [&] { return u.deviceName; }},
        {"deviceType", [&] { return u.deviceType; }},
        {"deviceManufacturer", [&] { return u.deviceManufacturer; }},
        {"deviceProtocolVersion", [&] { return u.deviceProtocolVersion; }},
        {"deviceMonitorVersion", [&] { return u.deviceMonitorVersion; }},
        {"deviceControlVersion", [&] { return u.deviceControlVersion; }},
        {"inverterMode", [&] { return QString::number(u.inverterMode); }},
        {"supportFlags", [&] { return QStringLiteral("%1,%2,%3").arg(u.supportFlags[0]).arg(u.supportFlags[1]).arg(u.supportFlags[2]); }},
        {"pvHourBands", [&] { return QStringLiteral("%1,%2,%3").arg(u.pvHourBands[0]).arg(u.pvHourBands[1]).arg(u.pvHourBands[2]); }},
        {"gridHourBands", [&] { return QStringLiteral("%1,%2,%3").arg(u.gridHourBands[0]).arg(u.gridHourBands[1]).arg(u.gridHourBands[2]); }},
        {"antirefluxHourBands", [&] { return QStringLiteral("%1,%2,%3").arg(u.antirefluxHourBands[0]).arg(u.antirefluxHourBands[1]).arg(u.antirefluxHourBands[2]); }},
    };
    if (named.contains(name))
        return named.value(name)();
    const Spot &s = spot(name);
    if (s.value < 0)
        qFatal("%s is not a value", qPrintable(name));
    return u.values[s.value];
}

// Everything the decoders may write, as one text, to show that a refused block changed
// nothing.
QString stateFingerprint()
{
    QStringList parts;
    for (const Spot &s : kUpsSpots) {
        const QString n = QLatin1String(s.name);
        if (!n.contains(QLatin1Char('.')) && !n.startsWith(QLatin1String("clock")))
            parts << upsField(n);
    }
    for (int n = 1; n <= 8; ++n)
        for (const char *f : {"inputNo", "voltage", "current", "fault", "dayGen", "totalGen"})
            parts << upsField(QStringLiteral("pv%1.%2").arg(n).arg(QLatin1String(f)));
    QReadLocker l(&upsInfo.lock);
    parts << QString::number(upsInfo.pvInputCount) << QString::number(upsInfo.pvPowerSampleCount);
    for (int i = 0; i < 32; ++i)
        parts << QString::number(upsInfo.statusBits[i]) << QString::number(upsInfo.statusBitsPrev[i]);
    for (const QString &v : inverterInfo.values)
        parts << v;
    for (const QString &v : inverterInfo.settings)
        parts << v;
    for (int j = 0; j < InverterInfo::kAlarmCount; ++j)
        parts << QString::number(inverterInfo.alarms[j]) << QString::number(inverterInfo.alarmsPrev[j]);
    parts << (settingsValid ? QStringLiteral("valid") : QStringLiteral("invalid"));
    return parts.join(QLatin1Char('|'));
}

QList<int> takeCodes()
{
    QList<int> out;
    for (const EventItem &e : takeAllEvents(dbEventQueue, dbEventQueueLock))
        out << e.code;
    return out;
}

} // namespace

class TestDecoders : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void upsSerialValues_data();
    void upsSerialValues();
    void hidPieces_data();
    void hidPieces();
    void hidPieceStoresOnlyItsOwnFields();
    void pvPowerSamples_data();
    void pvPowerSamples();
    void pvPowerSamplesStopAt55();
    void pvInputTable_data();
    void pvInputTable();
    void settingsBlock_data();
    void settingsBlock();
    void inverterBlocks_data();
    void inverterBlocks();
    void inverterHidSettingsLeaveFirstTwenty();
    void identity_data();
    void identity();
    void identityWithoutCodec();
    void identityBlocks();
    void statusEvents_data();
    void statusEvents();
    void statusBitsStoredWithTheirTime();
    void shortBlocksStoreNothing_data();
    void shortBlocksStoreNothing();
    void shortBlocksForPlainDecoders();
    void unknownIdsStoreNothing_data();
    void unknownIdsStoreNothing();
    void storesUnderTheWriteLock_data();
    void storesUnderTheWriteLock();

private:
    std::unique_ptr<TestEnv> env;
    QTextCodec *gbk = nullptr;

    // The context the device thread would pass: the protocol code as it stands now.
    DecodeContext context() const
    {
        QReadLocker l(&settingsLock);
        return DecodeContext{deviceSettings.comProtocol, gbk};
    }

    // Shared state emptied and the fixed clock installed (the old one removed first, so
    // its clean-up does not undo the new one).
    void freshState()
    {
        env.reset();
        env = std::make_unique<TestEnv>(QDateTime(QDate(2026, 3, 4), QTime(10, 20, 30)));
    }

    bool decode(const QString &decoder, int id, const Block &b)
    {
        if (decoder == QLatin1String("modbus"))
            return parseModbusBlock(context(), id, b.data(), b.count());
        if (decoder == QLatin1String("hid"))
            return parseHidBlock(context(), id, b.data(), b.count());
        if (decoder == QLatin1String("inverter"))
            return parseInverterModelBlock(id, b.data(), b.count());
        qFatal("no decoder %s", qPrintable(decoder));
    }
};

void TestDecoders::init()
{
    freshState();
    gbk = platformGbkCodec();
}

void TestDecoders::cleanup()
{
    env.reset();
}

void TestDecoders::upsSerialValues_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("registers");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::addRow("3p bypass volt per phase") << "0" << "BypassVol=2301 BypassVol.B=2298 BypassVol.C=2310"
                                              << "BypassVol" << "230.1/229.8/231.0";
    QTest::addRow("3p bypass power") << "0" << "BypassActPower=1500 BypassActPower.B=1400 BypassActPower.C=1300"
                                     << "BypassActPower" << "150.0/140.0/130.0";
    QTest::addRow("3p bypass power negative phase C")
        << "0" << "BypassActPower=1500 BypassActPower.B=1400 BypassActPower.C=-100" << "BypassActPower"
        << "150.0/140.0/-10.0";
    QTest::addRow("3p input current unsigned") << "0" << "InputCurr=0xFFFF InputCurr.B=1 InputCurr.C=10"
                                                << "InputCurr" << "6553.5/0.1/1.0";
    QTest::addRow("3p input freq x0.01") << "0" << "InputFreq=5001 InputFreq.B=4999 InputFreq.C=5000"
                                         << "InputFreq" << "50.0/50.0/50.0";
    QTest::addRow("3p output volt") << "0" << "OutputVolt=2200 OutputVolt.B=2211 OutputVolt.C=2199"
                                    << "OutputVolt" << "220.0/221.1/219.9";
    QTest::addRow("3p load percent") << "0" << "OutputLoadPercent=456 OutputLoadPercent.B=1 OutputLoadPercent.C=999"
                                     << "OutputLoadPercent" << "45.6/0.1/99.9";
    QTest::addRow("1p load percent x0.1 two decimals") << "1" << "OutputLoadPercent=456 OutputLoadPercent.B=999"
                                                      << "OutputLoadPercent" << "45.60";
    QTest::addRow("3p input PF x0.01 one decimal") << "0" << "InputPowerFac=99" << "InputPowerFac" << "1.0";
    QTest::addRow("1p input PF") << "1" << "InputPowerFac=99" << "InputPowerFac" << "0.99";
    QTest::addRow("1p battery current negative") << "1" << "BatteryCurr=-200" << "BatteryCurr" << "-2.00";
    QTest::addRow("1p battery current positive") << "1" << "BatteryCurr=200" << "BatteryCurr" << "2.00";
    QTest::addRow("3p battery current negative") << "0" << "BatteryCurr=-25" << "BatteryCurr" << "-2.5";
    QTest::addRow("1p battery temp x0.1 signed") << "1" << "BatteryTemp=-10" << "BatteryTemp" << "-1.00";
    QTest::addRow("3p battery volt") << "0" << "BatteryVolt=5432" << "BatteryVolt" << "543.2";
    QTest::addRow("1p battery volt") << "1" << "BatteryVolt=5432" << "BatteryVolt" << "54.32";
    QTest::addRow("battery time one decimal") << "1" << "BatteryDischageTime=50" << "BatteryDischageTime" << "5.0";
    QTest::addRow("1p input current signed") << "1" << "InputCurr=-1" << "InputCurr" << "-0.01";
    QTest::addRow("1p output power signed") << "1" << "OutputActivePower=-150" << "OutputActivePower" << "-1.50";
    QTest::addRow("1p output volt unsigned") << "1" << "OutputVolt=0xFFFF" << "OutputVolt" << "655.35";
    QTest::addRow("3p input energy 32-bit") << "0" << "InputGenC=70000" << "InputGenC" << "7000.0";
    QTest::addRow("1p output energy 32-bit") << "1" << "OutputGen=65536" << "OutputGen" << "655.36";
    QTest::addRow("1p PV total 32-bit") << "1" << "PVTotalGen=65536" << "PVTotalGen" << "655.36";
    QTest::addRow("1p PV total shown") << "1" << "PVTotalGen=65536" << "pvTotalGenScaled" << "635.70";
    QTest::addRow("3p PV total shown") << "0" << "PVTotalGen=65536" << "pvTotalGenScaled" << "6357.0";
    // Seven significant digits keep six before the decimals are added.
    QTest::addRow("1p PV day seven digits") << "1" << "PVDayGen=1234567" << "PVDayGen" << "12345.70";
    QTest::addRow("1p PV power") << "1" << "PVPower=1234" << "PVPower" << "12.34";
    QTest::addRow("3p bypass freq") << "0" << "BypassFreq=4998" << "BypassFreq" << "50.0";
    // Signedness and scale differ between the families value by value: a word read with
    // the other family's form shows a plausible but wrong figure.
    QTest::addRow("3p battery temp signed") << "0" << "BatteryTemp=-25" << "BatteryTemp" << "-2.5";
    QTest::addRow("3p input power unsigned") << "0" << "InputActPower=0xFFFF" << "InputActPower" << "6553.5/0.0/0.0";
    QTest::addRow("3p output power unsigned") << "0" << "OutputActivePower=0xFFFF" << "OutputActivePower"
                                              << "6553.5/0.0/0.0";
    QTest::addRow("3p bypass current signed") << "0" << "BypassCurr=-100" << "BypassCurr" << "-10.0/0.0/0.0";
    QTest::addRow("1p output current unsigned") << "1" << "OutputCurr=0xFFFF" << "OutputCurr" << "655.35";
    QTest::addRow("1p input apparent power unsigned") << "1" << "InputAppPower=0xFFFF" << "InputAppPower"
                                                      << "655.35";
    QTest::addRow("1p bypass power signed") << "1" << "BypassActPower=-150" << "BypassActPower" << "-1.50";
    QTest::addRow("3p output freq x0.01") << "0" << "OutputFrq=4999" << "OutputFrq" << "50.0";
    QTest::addRow("3p output PF x0.01") << "0" << "OutputPowerFac=87" << "OutputPowerFac" << "0.9";
    QTest::addRow("3p output energy 32-bit") << "0" << "OutputGen=70000" << "OutputGen" << "7000.0";
    QTest::addRow("3p PV volt") << "0" << "PVVolt=3805" << "PVVolt" << "380.5";
    QTest::addRow("device clock") << "1" << "clockYearMonth=0x2405 clockDayHour=0x1715 clockMinuteSecond=0x3045"
                                  << "deviceTime" << "2024-05-17 15:30:45";
    QTest::addRow("device clock not a date") << "1" << "clockYearMonth=0x2413 clockDayHour=0x0101 clockMinuteSecond=0"
                                             << "deviceTime" << "";
    QTest::addRow("temperature general") << "0" << "sysTemp=253" << "sysTemp" << "25.3";
    QTest::addRow("temperature whole") << "1" << "sysTemp=250" << "sysTemp" << "25";
    QTest::addRow("work mode") << "0" << "workMode=3" << "workMode" << "3";
    QTest::addRow("battery mode") << "1" << "batMode=2" << "batMode" << "2";
    QTest::addRow("PV mode") << "1" << "pvMode=1" << "pvMode" << "1";
    QTest::addRow("output mask raw") << "0" << "outputFieldMask=0xFFFF" << "outputFieldMask" << "65535";
    QTest::addRow("status mask raw") << "1" << "statusMaskHi=0x8001" << "statusMaskHi" << "32769";
}

void TestDecoders::upsSerialValues()
{
    QFETCH(QString, protocol);
    QFETCH(QString, registers);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    setProtocol(protocol);
    Block b(QStringLiteral("modbus"), 3);
    b.apply(registers);
    QVERIFY(parseModbusBlock(context(), 3, b.data(), b.count()));
    QCOMPARE(upsField(field), expected);
}

void TestDecoders::hidPieces_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("registers");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::addRow("7 clock") << 7 << "clockYearMonth=0x2612 clockDayHour=0x3123 clockMinuteSecond=0x5959"
                             << "deviceTime" << "2026-12-31 23:59:59";
    QTest::addRow("7 masks") << 7 << "otherInfoMask=0x38" << "otherInfoMask" << "56";
    QTest::addRow("7 battery mask") << 7 << "batFieldMask=0x3F" << "batFieldMask" << "63";
    QTest::addRow("8 battery current") << 8 << "BatteryCurr=-200" << "BatteryCurr" << "-2.00";
    QTest::addRow("8 input energy") << 8 << "InputGenC=123456" << "InputGenC" << "1234.56";
    QTest::addRow("8 input mask") << 8 << "inputFieldMask=0xFC" << "inputFieldMask" << "252";
    QTest::addRow("9 input freq") << 9 << "InputFreq=5001" << "InputFreq" << "50.01";
    QTest::addRow("9 input power signed") << 9 << "InputActPower=-5" << "InputActPower" << "-0.05";
    QTest::addRow("10 load percent") << 10 << "OutputLoadPercent=456" << "OutputLoadPercent" << "45.60";
    QTest::addRow("10 output energy") << 10 << "OutputGen=65536" << "OutputGen" << "655.36";
    QTest::addRow("11 bypass current signed") << 11 << "BypassCurr=-300" << "BypassCurr" << "-3.00";
    QTest::addRow("11 PV input mask") << 11 << "pvInputMask=0x05" << "pvInputMask" << "5";
    QTest::addRow("12 PV total") << 12 << "PVTotalGen=65536" << "PVTotalGen" << "655.36";
    QTest::addRow("12 PV total shown") << 12 << "PVTotalGen=65536" << "pvTotalGenScaled" << "635.70";
    QTest::addRow("12 PV volt") << 12 << "PVVolt=38012" << "PVVolt" << "380.12";
}

// USB-HID carries the single-phase UPS only, whatever comProtocol says.
void TestDecoders::hidPieces()
{
    QFETCH(int, id);
    QFETCH(QString, registers);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    for (const char *protocol : {"2", "0"}) {
        freshState();
        setProtocol(QLatin1String(protocol));
        Block b(QStringLiteral("hid"), id);
        b.apply(registers);
        QVERIFY(parseHidBlock(context(), id, b.data(), b.count()));
        QCOMPARE(upsField(field), expected);
    }
}

void TestDecoders::hidPieceStoresOnlyItsOwnFields()
{
    setProtocol(QStringLiteral("2"));
    upsInfo.initSingleValues();
    Block b(QStringLiteral("hid"), 9);
    b.regs.fill(1234);
    QVERIFY(parseHidBlock(context(), 9, b.data(), b.count()));
    QCOMPARE(upsField(QStringLiteral("InputFreq")), QStringLiteral("12.34"));
    QCOMPARE(upsField(QStringLiteral("outputFieldMask")), QStringLiteral("1234"));
    // Neighbours in pieces 8 and 10 keep their placeholders.
    QCOMPARE(upsField(QStringLiteral("InputGenC")), QStringLiteral("0"));
    QCOMPARE(upsField(QStringLiteral("OutputFrq")), QStringLiteral("0"));
    QCOMPARE(upsField(QStringLiteral("inputFieldMask")), QStringLiteral("0"));
    QCOMPARE(upsInfo.pvPowerSampleCount, 0);
}

void TestDecoders::pvPowerSamples_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("decoder");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("samples");
    QTest::addColumn<double>("sample");
    QTest::addRow("serial three-phase") << "0" << "modbus" << 3 << 1 << 123.4;
    QTest::addRow("serial single-phase") << "1" << "modbus" << 3 << 1 << 12.34;
    QTest::addRow("hid piece 12") << "2" << "hid" << 12 << 1 << 12.34;
    QTest::addRow("hid piece 11 takes none") << "2" << "hid" << 11 << 0 << 0.0;
    QTest::addRow("PV table takes none") << "0" << "modbus" << 5 << 0 << 0.0;
}

void TestDecoders::pvPowerSamples()
{
    QFETCH(QString, protocol);
    QFETCH(QString, decoder);
    QFETCH(int, id);
    QFETCH(int, samples);
    QFETCH(double, sample);
    setProtocol(protocol);
    Block b(decoder, id);
    if (id != 5 && id != 11)
        b.apply(QStringLiteral("PVPower=1234"));
    QVERIFY(decode(decoder, id, b));
    QReadLocker l(&upsInfo.lock);
    QCOMPARE(upsInfo.pvPowerSampleCount, samples);
    if (samples)
        QCOMPARE(upsInfo.pvPowerSamples[0], sample);
}

// The buffer holds 55; a sample arriving while it is full is dropped, the count stays.
void TestDecoders::pvPowerSamplesStopAt55()
{
    setProtocol(QStringLiteral("1"));
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.pvPowerSampleCount = ThreePhaseUPSInfo::kMaxPvPowerSamples - 1;
    }
    Block b(QStringLiteral("modbus"), 3);
    b.apply(QStringLiteral("PVPower=500"));
    QVERIFY(parseModbusBlock(context(), 3, b.data(), b.count()));
    b.apply(QStringLiteral("PVPower=700"));
    for (int i = 0; i < 3; ++i)
        QVERIFY(parseModbusBlock(context(), 3, b.data(), b.count()));
    Block h(QStringLiteral("hid"), 12);
    h.apply(QStringLiteral("PVPower=900"));
    QVERIFY(parseHidBlock(context(), 12, h.data(), h.count()));
    QReadLocker l(&upsInfo.lock);
    QCOMPARE(upsInfo.pvPowerSampleCount, 55);
    QCOMPARE(upsInfo.pvPowerSamples[54], 5.0);
    // The values themselves are still stored while the samples are full.
    QCOMPARE(upsInfo.values[PVPower], QStringLiteral("9.00"));
}

void TestDecoders::pvInputTable_data()
{
    QTest::addColumn<QString>("masks");
    QTest::addColumn<QString>("registers");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QStringList>("fields");   // "pv1.voltage=..."
    QTest::addRow("inputs 1 and 3")
        << "pvFieldMask=1 pvInputMask=0x0005"
        << "pv1.voltage=3801 pv1.current=52 pv1.status=0x0008 pv1.dayGen=70000 pv1.totalGen=65536 "
           "pv3.voltage=3902 pv3.current=1 pv3.status=0x0001 pv3.dayGen=5 pv3.totalGen=0 "
           "pv2.voltage=9999"
        << "2"
        << QStringList{"pv1.inputNo=1", "pv1.voltage=380.1", "pv1.current=5.2", "pv1.fault=1",
                       "pv1.dayGen=7000.0", "pv1.totalGen=6553.6", "pv3.inputNo=3", "pv3.voltage=390.2",
                       "pv3.current=0.1", "pv3.fault=0", "pv3.dayGen=0.5", "pv3.totalGen=0.0",
                       "pv2.voltage=0", "pv4.voltage=0", "pv8.voltage=0"};
    QTest::addRow("fault bits outside the mask") << "pvFieldMask=1 pvInputMask=0x80" << "pv8.status=0x2000"
                                                 << "1" << QStringList{"pv8.fault=0", "pv8.inputNo=8"};
    QTest::addRow("fault bit 0x1000") << "pvFieldMask=1 pvInputMask=0x80" << "pv8.status=0x1000"
                                      << "1" << QStringList{"pv8.fault=1"};
    QTest::addRow("table not announced") << "pvFieldMask=0xFFFE pvInputMask=0xFF" << "pv1.voltage=3801"
                                         << "0" << QStringList{"pv1.voltage=0"};
    QTest::addRow("no inputs") << "pvFieldMask=1 pvInputMask=0" << "pv1.voltage=3801"
                               << "0" << QStringList{"pv1.voltage=0"};
}

void TestDecoders::pvInputTable()
{
    QFETCH(QString, masks);
    QFETCH(QString, registers);
    QFETCH(QString, count);
    QFETCH(QStringList, fields);
    setProtocol(QStringLiteral("1"));
    upsInfo.initSingleValues();
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.pvInputCount = 7;
    }
    Block live(QStringLiteral("modbus"), 3);
    live.apply(masks);
    QVERIFY(parseModbusBlock(context(), 3, live.data(), live.count()));
    Block table(QStringLiteral("modbus"), 5);
    table.apply(registers);
    QVERIFY(parseModbusBlock(context(), 5, table.data(), table.count()));
    QCOMPARE(upsField(QStringLiteral("pvInputCount")), count);
    for (const QString &f : fields)
        QCOMPARE(upsField(f.section(QLatin1Char('='), 0, 0)), f.section(QLatin1Char('='), 1));
}

void TestDecoders::settingsBlock_data()
{
    QTest::addColumn<QString>("decoder");
    QTest::addRow("serial") << "modbus";
    QTest::addRow("hid") << "hid";
}

void TestDecoders::settingsBlock()
{
    QFETCH(QString, decoder);
    Block b(decoder, 2);
    for (int r = 0; r < b.count(); ++r)
        b.regs[r] = quint16(1000 + r);
    QVERIFY(!settingsValid);
    QVERIFY(decode(decoder, 2, b));
    QVERIFY(settingsValid);
    QCOMPARE(upsField(QStringLiteral("supportFlags")), QStringLiteral("1000,1001,1002"));
    QCOMPARE(upsField(QStringLiteral("pvHourBands")), QStringLiteral("1031,1032,1033"));
    QCOMPARE(upsField(QStringLiteral("gridHourBands")), QStringLiteral("1034,1035,1036"));
    QCOMPARE(upsField(QStringLiteral("antirefluxHourBands")), QStringLiteral("1037,1038,1039"));
    QCOMPARE(upsField(QStringLiteral("inverterMode")), QStringLiteral("1040"));
}

void TestDecoders::inverterBlocks_data()
{
    QTest::addColumn<QString>("decoder");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("reg");     // register in the block; its value/setting index is the same
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("target"); // "values" or "settings"
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");

    QTest::addRow("15 general x0.1") << "inverter" << 15 << 7 << 500 << "values" << 7 << "50";
    QTest::addRow("15 general fraction") << "inverter" << 15 << 0 << 2305 << "values" << 0 << "230.5";
    QTest::addRow("15 code register") << "inverter" << 15 << 75 << 3 << "values" << 75 << "3";
    QTest::addRow("15 x0.01 register") << "inverter" << 15 << 114 << 98 << "values" << 114 << "0.98";
    QTest::addRow("15 last register") << "inverter" << 15 << 124 << 65535 << "values" << 124 << "6553.5";
    // The battery power is two's complement, negative while the battery gives power.
    QTest::addRow("15 battery power discharging") << "inverter" << 15 << 90 << 0xFFCE << "values" << 90 << "-5";
    QTest::addRow("15 battery power charging") << "inverter" << 15 << 90 << 1234 << "values" << 90 << "123.4";
    QTest::addRow("15 battery power most negative") << "inverter" << 15 << 90 << 0x8000 << "values" << 90 << "-3276.8";
    QTest::addRow("15 register 91 stays unsigned") << "inverter" << 15 << 91 << 0xFFCE << "values" << 91 << "6548.6";
    QTest::addRow("23 battery power discharging") << "hid" << 23 << 90 << 0xFFFB << "values" << 90 << "-0.5";
    QTest::addRow("16 first register") << "inverter" << 16 << 125 << 12 << "values" << 125 << "1.2";
    QTest::addRow("16 register 131") << "inverter" << 16 << 131 << 1 << "values" << 131 << "0.1";
    QTest::addRow("16 lifetime high half") << "inverter" << 16 << 134 << 1 << "values" << 134 << "6553.6";
    QTest::addRow("16 lifetime low half") << "inverter" << 16 << 135 << 105 << "values" << 134 << "10.5";
    QTest::addRow("16 register 133 unused") << "inverter" << 16 << 133 << 77 << "values" << 133 << "";
    QTest::addRow("16 register 132 unused") << "inverter" << 16 << 132 << 77 << "values" << 132 << "";
    QTest::addRow("19 x0.01 setting") << "inverter" << 19 << 21 << 105 << "settings" << 21 << "1.05";
    QTest::addRow("19 int setting") << "inverter" << 19 << 20 << 3 << "settings" << 20 << "3";
    QTest::addRow("19 character codes stay int") << "inverter" << 19 << 28 << 0x4142 << "settings" << 28 << "16706";
    QTest::addRow("19 first setting") << "inverter" << 19 << 0 << 7 << "settings" << 0 << "7";
    QTest::addRow("19 last setting") << "inverter" << 19 << 51 << 9 << "settings" << 51 << "9";
    QTest::addRow("21 first value") << "hid" << 21 << 0 << 2305 << "values" << 0 << "230.5";
    QTest::addRow("22 value 63") << "hid" << 22 << 63 << 10 << "values" << 63 << "1";
    QTest::addRow("23 code register") << "hid" << 23 << 75 << 3 << "values" << 75 << "3";
    QTest::addRow("24 x0.01 register") << "hid" << 24 << 114 << 98 << "values" << 114 << "0.98";
    QTest::addRow("24 value 127") << "hid" << 24 << 127 << 5 << "values" << 127 << "0.5";
    QTest::addRow("25 value 128") << "hid" << 25 << 128 << 5 << "values" << 128 << "0.5";
    QTest::addRow("25 lifetime") << "hid" << 25 << 135 << 105 << "values" << 134 << "10.5";
    QTest::addRow("25 register 133 unused") << "hid" << 25 << 133 << 77 << "values" << 133 << "";
    QTest::addRow("28 x0.01 setting") << "hid" << 28 << 21 << 105 << "settings" << 21 << "1.05";
    QTest::addRow("28 last setting") << "hid" << 28 << 51 << 4 << "settings" << 51 << "4";
}

void TestDecoders::inverterBlocks()
{
    QFETCH(QString, decoder);
    QFETCH(int, id);
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(QString, target);
    QFETCH(int, index);
    QFETCH(QString, expected);
    Block b(decoder, id);
    b.set(reg, quint32(value));
    QVERIFY(decode(decoder, id, b));
    QReadLocker l(&upsInfo.lock);
    const QString got = target == QLatin1String("values") ? inverterInfo.values[index] : inverterInfo.settings[index];
    QCOMPARE(got, expected);
    // The settings blocks mark the device's settings as read; the live blocks do not.
    QCOMPARE(bool(settingsValid), target == QLatin1String("settings"));
    QVERIFY(inverterInfo.settings[52].isEmpty());
}

void TestDecoders::inverterHidSettingsLeaveFirstTwenty()
{
    Block serial(QStringLiteral("inverter"), 19);
    serial.regs.fill(1);
    QVERIFY(parseInverterModelBlock(19, serial.data(), serial.count()));
    settingsValid = false;
    Block hid(QStringLiteral("hid"), 28);
    hid.regs.fill(2);
    QVERIFY(parseHidBlock(context(), 28, hid.data(), hid.count()));
    QVERIFY(settingsValid);
    QReadLocker l(&upsInfo.lock);
    for (int r = 0; r < 20; ++r)
        QCOMPARE(inverterInfo.settings[r], QStringLiteral("1"));
    QCOMPARE(inverterInfo.settings[20], QStringLiteral("2"));
    QCOMPARE(inverterInfo.settings[21], QStringLiteral("0.02"));
    QCOMPARE(inverterInfo.settings[51], QStringLiteral("2"));
}

void TestDecoders::identity_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::addRow("ASCII name keeps its zero bytes")
        << "deviceName" << QByteArray("ABCD") << QStringLiteral("ABCD") + QString(12, QChar(0));
    QTest::addRow("GBK name") << "deviceName" << QByteArray("\xd6\xd0\xce\xc4")
                              << QString::fromUtf8("中文") + QString(12, QChar(0));
    QTest::addRow("full type") << "deviceType" << QByteArray("0123456789ABCDEF") << "0123456789ABCDEF";
    QTest::addRow("zero byte mid-text") << "deviceType" << QByteArray("AB\0CD", 5)
                                        << QStringLiteral("AB") + QChar(0) + QStringLiteral("CD") + QString(11, QChar(0));
    QTest::addRow("GBK manufacturer") << "deviceManufacturer" << QByteArray("\xc9\xcf\xba\xa3 X")
                                      << QString::fromUtf8("上海 X") + QString(10, QChar(0));
}

void TestDecoders::identity()
{
    QFETCH(QString, field);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QVERIFY(gbk);
    // Serial block 4 holds all; USB-HID splits it at the manufacturer.
    Block serial(QStringLiteral("modbus"), 4);
    serial.setText(field, bytes);
    QVERIFY(parseModbusBlock(context(), 4, serial.data(), serial.count()));
    QCOMPARE(upsField(field), expected);

    freshState();
    const int hidId = field == QLatin1String("deviceManufacturer") ? 14 : 13;
    Block hid(QStringLiteral("hid"), hidId);
    hid.setText(field, bytes);
    QVERIFY(parseHidBlock(context(), hidId, hid.data(), hid.count()));
    QCOMPARE(upsField(field), expected);
}

// A machine without the GBK codec still gets the identity, plain ASCII intact.
void TestDecoders::identityWithoutCodec()
{
    gbk = nullptr;
    Block b(QStringLiteral("modbus"), 4);
    b.setText(QStringLiteral("deviceName"), QByteArray("UPS-3K"));
    b.setText(QStringLiteral("deviceManufacturer"), QByteArray("\xc9\xcf"));
    b.apply(QStringLiteral("deviceProtocolVersion=12"));
    QVERIFY(parseModbusBlock(context(), 4, b.data(), b.count()));
    QCOMPARE(upsField(QStringLiteral("deviceName")), QStringLiteral("UPS-3K") + QString(10, QChar(0)));
    QCOMPARE(upsField(QStringLiteral("deviceManufacturer")).size(), 16);
    QCOMPARE(upsField(QStringLiteral("deviceProtocolVersion")), QStringLiteral("1.2"));

    Block h(QStringLiteral("hid"), 13);
    h.setText(QStringLiteral("deviceType"), QByteArray("T1"));
    parseDeviceIdentity(gbk, h.data(), h.count());
    QCOMPARE(upsField(QStringLiteral("deviceType")), QStringLiteral("T1") + QString(14, QChar(0)));
}

void TestDecoders::identityBlocks()
{
    Block serial(QStringLiteral("modbus"), 4);
    serial.setText(QStringLiteral("deviceName"), "N");
    serial.setText(QStringLiteral("deviceType"), "T");
    serial.setText(QStringLiteral("deviceManufacturer"), "M");
    serial.apply(QStringLiteral("deviceProtocolVersion=12 deviceMonitorVersion=105 deviceControlVersion=10"));
    QVERIFY(parseModbusBlock(context(), 4, serial.data(), serial.count()));
    const QString pad15(15, QChar(0));
    QCOMPARE(upsField(QStringLiteral("deviceName")), QStringLiteral("N") + pad15);
    QCOMPARE(upsField(QStringLiteral("deviceType")), QStringLiteral("T") + pad15);
    QCOMPARE(upsField(QStringLiteral("deviceManufacturer")), QStringLiteral("M") + pad15);
    QCOMPARE(upsField(QStringLiteral("deviceProtocolVersion")), QStringLiteral("1.2"));
    QCOMPARE(upsField(QStringLiteral("deviceMonitorVersion")), QStringLiteral("10.5"));
    QCOMPARE(upsField(QStringLiteral("deviceControlVersion")), QStringLiteral("1"));

    // USB-HID piece 13 alone leaves the manufacturer and the versions as they were.
    Block name(QStringLiteral("hid"), 13);
    name.setText(QStringLiteral("deviceName"), "X");
    QVERIFY(parseHidBlock(context(), 13, name.data(), name.count()));
    QCOMPARE(upsField(QStringLiteral("deviceName")), QStringLiteral("X") + pad15);
    QCOMPARE(upsField(QStringLiteral("deviceType")), QString(16, QChar(0)));
    QCOMPARE(upsField(QStringLiteral("deviceManufacturer")), QStringLiteral("M") + pad15);
    QCOMPARE(upsField(QStringLiteral("deviceProtocolVersion")), QStringLiteral("1.2"));

    Block versions(QStringLiteral("hid"), 14);
    versions.apply(QStringLiteral("deviceMonitorVersion=7"));
    QVERIFY(parseHidBlock(context(), 14, versions.data(), versions.count()));
    QCOMPARE(upsField(QStringLiteral("deviceMonitorVersion")), QStringLiteral("0.7"));
    QCOMPARE(upsField(QStringLiteral("deviceManufacturer")), QString(16, QChar(0)));
    QCOMPARE(upsField(QStringLiteral("deviceName")), QStringLiteral("X") + pad15);
}

void TestDecoders::statusEvents_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QList<int>>("before"); // inputs set in an earlier block, or empty
    QTest::addColumn<QList<int>>("after");  // inputs set in the block under test
    QTest::addColumn<QList<int>>("codes");  // events the block under test posts, in order

    QTest::addRow("first UPS block") << 1 << QList<int>{} << QList<int>{3, 20} << QList<int>{7, 41};
    QTest::addRow("identical UPS block") << 1 << QList<int>{3, 20} << QList<int>{3, 20} << QList<int>{};
    QTest::addRow("battery low clears") << 1 << QList<int>{15} << QList<int>{} << QList<int>{30};
    QTest::addRow("bit 0 and bit 27") << 1 << QList<int>{27} << QList<int>{0} << QList<int>{1, 54};
    QTest::addRow("bits 28 to 31 post nothing") << 1 << QList<int>{28} << QList<int>{29, 30, 31} << QList<int>{};
    QTest::addRow("serial input 109") << 17 << QList<int>{} << QList<int>{109} << QList<int>{37};
    QTest::addRow("hid input 109") << 26 << QList<int>{} << QList<int>{109} << QList<int>{37};
    QTest::addRow("serial input 0 is no slot") << 17 << QList<int>{} << QList<int>{0, 1, 2, 124} << QList<int>{};
    QTest::addRow("two slots lower first") << 17 << QList<int>{} << QList<int>{64, 3} << QList<int>{1, 33};
    QTest::addRow("slot clears and another sets") << 17 << QList<int>{40} << QList<int>{49} << QList<int>{12, 15};
    QTest::addRow("serial input 197") << 18 << QList<int>{} << QList<int>{197} << QList<int>{49};
    QTest::addRow("hid input 197") << 27 << QList<int>{} << QList<int>{197} << QList<int>{49};
    QTest::addRow("serial second block all slots") << 18 << QList<int>{} << QList<int>{134, 135, 136, 137, 138, 197, 198}
                                                   << QList<int>{39, 41, 43, 45, 47, 49, 51};
    QTest::addRow("hid second block clears") << 27 << QList<int>{198} << QList<int>{199} << QList<int>{50};
}

// A change posts 2 x index + new value once; an unchanged block posts nothing.
void TestDecoders::statusEvents()
{
    QFETCH(int, id);
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);
    QFETCH(QList<int>, codes);
    if (!before.isEmpty()) {
        const QVector<quint8> in = inputBlock(id, before);
        QVERIFY(checkStatusBits(id, in.constData(), int(in.size())));
        takeCodes();
    }
    const QVector<quint8> in = inputBlock(id, after);
    QVERIFY(checkStatusBits(id, in.constData(), int(in.size())));
    QCOMPARE(takeCodes(), codes);
    // The same block again changes nothing.
    QVERIFY(checkStatusBits(id, in.constData(), int(in.size())));
    QCOMPARE(takeCodes(), QList<int>{});
}

void TestDecoders::statusBitsStoredWithTheirTime()
{
    QVector<quint8> in = inputBlock(1, {0, 28, 31});
    in[5] = 0xFF; // anything but 0 counts as set
    QVERIFY(checkStatusBits(1, in.constData(), int(in.size())));
    {
        QReadLocker l(&upsInfo.lock);
        for (int i = 0; i < 32; ++i) {
            const int expected = (i == 0 || i == 5 || i == 28 || i == 31) ? 1 : 0;
            QCOMPARE(int(upsInfo.statusBits[i]), expected);
            QCOMPARE(int(upsInfo.statusBitsPrev[i]), expected);
        }
    }
    const QList<EventItem> events = takeAllEvents(warningList, warningListLock);
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(1).code, 11);
    QCOMPARE(events.at(0).time, env->clock().now());
    // Every queue gets the events.
    QCOMPARE(takeCodes(), QList<int>({1, 11}));
    QCOMPARE(takeAllEvents(emailEventQueue, emailEventQueueLock).size(), 2);
    QCOMPARE(takeAllEvents(smsEventQueue, smsEventQueueLock).size(), 2);

    // Inverter slots are stored as 0 or 1 too.
    QVector<quint8> inv = inputBlock(17, {});
    inv[kAlarmSlotInputs[6]] = 7;
    QVERIFY(checkStatusBits(17, inv.constData(), int(inv.size())));
    QCOMPARE(takeCodes(), QList<int>{13}); // slot 6 sets
    QReadLocker l(&upsInfo.lock);
    QCOMPARE(int(inverterInfo.alarms[6]), 1);
}

void TestDecoders::shortBlocksStoreNothing_data()
{
    QTest::addColumn<QString>("decoder");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("count");
    for (const BlockSpec &b : kBlocks) {
        QTest::addRow("%s %d one short", b.decoder, b.id) << QString::fromLatin1(b.decoder) << b.id << b.count - 1;
        if (b.id == 3 || b.id == 1 || b.id == 17)
            QTest::addRow("%s %d empty", b.decoder, b.id) << QString::fromLatin1(b.decoder) << b.id << 0;
    }
}

// A block shorter than its transaction is refused whole: false, nothing stored, no
// event; the poll step fails.
void TestDecoders::shortBlocksStoreNothing()
{
    QFETCH(QString, decoder);
    QFETCH(int, id);
    QFETCH(int, count);
    setProtocol(id >= 15 ? QStringLiteral("3") : QStringLiteral("0"));
    // The previous live block announced every PV input, so a table block would write.
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.pvFieldMask = 1;
        upsInfo.pvInputMask = 0xFF;
    }
    const QString before = stateFingerprint();
    // The data behind the short count is readable, so a decoder that reads past the
    // count would store it rather than crash.
    QVector<quint16> regs(300, 0x4141);
    QVector<quint8> inputs(300, 1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("nothing stored$")));
    bool ok = true;
    if (decoder == QLatin1String("status"))
        ok = checkStatusBits(id, inputs.constData(), count);
    else if (decoder == QLatin1String("modbus"))
        ok = parseModbusBlock(context(), id, regs.constData(), count);
    else if (decoder == QLatin1String("hid"))
        ok = parseHidBlock(context(), id, regs.constData(), count);
    else
        ok = parseInverterModelBlock(id, regs.constData(), count);
    QVERIFY(!ok);
    QCOMPARE(stateFingerprint(), before);
    QCOMPARE(takeCodes(), QList<int>{});
}

void TestDecoders::shortBlocksForPlainDecoders()
{
    const QVector<quint16> regs(100, 0x4141);
    const QString before = stateFingerprint();
    for (int i = 0; i < 3; ++i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("nothing stored$")));
    updateSettingRegisters(regs.constData(), 40);
    parseDeviceIdentity(gbk, regs.constData(), 19);
    parseDeviceVersions(gbk, regs.constData(), 11);
    QCOMPARE(stateFingerprint(), before);
    QCOMPARE(upsField(QStringLiteral("inverterMode")), QStringLiteral("0"));
    // Long enough: stored.
    updateSettingRegisters(regs.constData(), 41);
    parseDeviceIdentity(gbk, regs.constData(), 20);
    parseDeviceVersions(gbk, regs.constData(), 12);
    QCOMPARE(upsField(QStringLiteral("inverterMode")), QStringLiteral("16705"));
    QCOMPARE(upsField(QStringLiteral("deviceType")), QString(16, QLatin1Char('A')));
    QCOMPARE(upsField(QStringLiteral("deviceManufacturer")), QString(16, QLatin1Char('A')));
    QCOMPARE(upsField(QStringLiteral("deviceControlVersion")), QStringLiteral("1670.5"));
    // The plain settings copy does not mark the settings as read: its callers do.
    QVERIFY(!settingsValid);
}

void TestDecoders::unknownIdsStoreNothing_data()
{
    QTest::addColumn<QString>("decoder");
    QTest::addColumn<int>("id");
    QTest::addRow("modbus 1") << "modbus" << 1;
    QTest::addRow("modbus 6") << "modbus" << 6;
    QTest::addRow("modbus 7") << "modbus" << 7;
    QTest::addRow("modbus 15") << "modbus" << 15;
    QTest::addRow("hid 3") << "hid" << 3;
    QTest::addRow("hid 20") << "hid" << 20;
    QTest::addRow("hid 26") << "hid" << 26;
    QTest::addRow("hid 15") << "hid" << 15;
    QTest::addRow("inverter 17") << "inverter" << 17;
    QTest::addRow("inverter 21") << "inverter" << 21;
    QTest::addRow("status 2") << "status" << 2;
    QTest::addRow("status 19") << "status" << 19;
    QTest::addRow("status 0") << "status" << 0;
}

// An id a decoder does not know stores nothing and still counts as a successful step.
void TestDecoders::unknownIdsStoreNothing()
{
    QFETCH(QString, decoder);
    QFETCH(int, id);
    const QVector<quint16> regs(300, 0x4141);
    const QVector<quint8> inputs(300, 1);
    const QString before = stateFingerprint();
    bool ok = false;
    if (decoder == QLatin1String("status"))
        ok = checkStatusBits(id, inputs.constData(), int(inputs.size()));
    else if (decoder == QLatin1String("modbus"))
        ok = parseModbusBlock(context(), id, regs.constData(), int(regs.size()));
    else if (decoder == QLatin1String("hid"))
        ok = parseHidBlock(context(), id, regs.constData(), int(regs.size()));
    else
        ok = parseInverterModelBlock(id, regs.constData(), int(regs.size()));
    QVERIFY(ok);
    QCOMPARE(stateFingerprint(), before);
    QCOMPARE(takeCodes(), QList<int>{});
}

void TestDecoders::storesUnderTheWriteLock_data()
{
    QTest::addColumn<QString>("decoder");
    QTest::addColumn<int>("id");
    for (const BlockSpec &b : kBlocks)
        QTest::addRow("%s %d", b.decoder, b.id) << QString::fromLatin1(b.decoder) << b.id;
}

// While a reader holds the guard, a decoder waits before it stores anything.
void TestDecoders::storesUnderTheWriteLock()
{
    QFETCH(QString, decoder);
    QFETCH(int, id);
    setProtocol(QStringLiteral("1"));
    const BlockSpec &spec = blockSpec(decoder, id);
    QVector<quint16> regs(spec.count, 0x0101);
    QVector<quint8> inputs(spec.count, 1);
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.pvFieldMask = 1;
        upsInfo.pvInputMask = 0xFF;
    }
    const QString before = stateFingerprint();
    std::atomic<bool> done{false};
    bool finishedEarly = false;
    std::thread worker;
    {
        QReadLocker reader(&upsInfo.lock);
        worker = std::thread([&] {
            if (decoder == QLatin1String("status"))
                checkStatusBits(id, inputs.constData(), spec.count);
            else if (decoder == QLatin1String("modbus"))
                parseModbusBlock(context(), id, regs.constData(), spec.count);
            else if (decoder == QLatin1String("hid"))
                parseHidBlock(context(), id, regs.constData(), spec.count);
            else
                parseInverterModelBlock(id, regs.constData(), spec.count);
            done = true;
        });
        QTest::qWait(30);
        finishedEarly = done;
    }
    worker.join();
    QVERIFY2(!finishedEarly, "decoder finished while a reader held the guard");
    QVERIFY(done);
    QVERIFY(stateFingerprint() != before);
}

QTEST_GUILESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
