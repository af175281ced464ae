// Live status replies: energy flow, main-page generation, the live pages and panels,
// device identity, other status and PV. GUI thread; each reply copies its values under
// the read side of upsInfo.lock and builds its text after release.
#include "bridge/qmlobject.h"

#include "bridge/bridgecommon.h"
#include "core/devicestate.h"
#include "core/helpers.h"
#include "core/textformats.h"
#include "device/upsregisters.h"

#include <QReadLocker>
#include <QVarLengthArray>

#include <cstdint>
#include <iterator>

namespace {

// ---- Where a UPS field lies behind its capability mask -------------------------------

using MaskArea = UpsMaskArea;

// Sources of UPS items beyond values[0..31].
enum UpsSource : int {
    SrcBatMode = UpsValueCount,
    SrcPvMode,
    SrcSysTemp,
    SrcDeviceTime,
    SrcWorkMode,
    SrcStatusBit // statusBits[statusBit]
};

struct FieldPlace
{
    MaskArea area;
    int reg;   // the field's first input register
    int width; // registers it occupies: 2 for a 32-bit value, 3 for the device clock
};

constexpr FieldPlace fieldPlace(int source)
{
    if (source >= 0 && source < UpsValueCount) {
        const UpsRegisterPlace &p = kUpsValuePlaces[source];
        return {p.area, p.reg, p.width};
    }
    switch (source) {
    case SrcBatMode: return {MaskArea::Battery, UpsRegister::BatMode, 1};
    case SrcPvMode: return {MaskArea::Pv, UpsRegister::PvMode, 1};
    case SrcSysTemp: return {MaskArea::Other, UpsRegister::SysTemp, 1};
    case SrcDeviceTime: return {MaskArea::Other, UpsRegister::DeviceClock, UpsRegister::DeviceClockWidth};
    case SrcWorkMode: return {MaskArea::Other, UpsRegister::WorkMode, 1};
    default: return {MaskArea::Other, 0, 0};
    }
}

constexpr uint16_t fieldBits(int source)
{
    const FieldPlace p = fieldPlace(source);
    const int shift = p.reg - upsMaskFirstRegister(p.area);
    return static_cast<uint16_t>(((1u << p.width) - 1u) << shift);
}

static_assert(fieldBits(OutputFrq) == 0x0002);
static_assert(fieldBits(OutputGen) == 0x0018);
static_assert(fieldBits(SrcDeviceTime) == 0x0038);

constexpr uint16_t kPvInputTableBit = kUpsPvInputTableBit;

uint16_t areaMask(MaskArea area)
{
    switch (area) {
    case MaskArea::Other: return upsInfo.otherInfoMask;
    case MaskArea::Battery: return upsInfo.batFieldMask;
    case MaskArea::Input: return upsInfo.inputFieldMask;
    case MaskArea::Output: return upsInfo.outputFieldMask;
    case MaskArea::Bypass: return upsInfo.bypassFieldMask;
    case MaskArea::Pv: return upsInfo.pvFieldMask;
    }
    return 0;
}

// ---- Items of the UPS pages ----------------------------------------------------------

enum class ValueForm : uint8_t { AsStored, OneDecimal };

struct UpsItem
{
    const char *key;
    int source;
    int statusBit = -1;
    // A field gated by its lowest register alone (the main-page PV panel's day energy).
    bool lowestBitOnly = false;
    ValueForm form = ValueForm::AsStored;
};

constexpr UpsItem field(const char *key, int source, ValueForm form = ValueForm::AsStored)
{
    return UpsItem{key, source, -1, false, form};
}
constexpr UpsItem fieldLowestBit(const char *key, int source)
{
    return UpsItem{key, source, -1, true, ValueForm::AsStored};
}
constexpr UpsItem status(const char *key, int bit)
{
    return UpsItem{key, SrcStatusBit, bit, false, ValueForm::AsStored};
}

// Caller holds upsInfo.lock for reading.
bool statusReported(int bit)
{
    return bit < 16 ? (upsInfo.statusMaskLo >> bit) & 1u : (upsInfo.statusMaskHi >> (bit - 16)) & 1u;
}

// Caller holds upsInfo.lock for reading.
bool gateHolds(const UpsItem &item)
{
    if (item.source == SrcStatusBit)
        return statusReported(item.statusBit);
    uint16_t bits = fieldBits(item.source);
    if (item.lowestBitOnly)
        bits &= static_cast<uint16_t>(-bits); // lowest set bit
    const uint16_t mask = areaMask(fieldPlace(item.source).area);
    return (mask & bits) == bits;
}

// Caller holds upsInfo.lock for reading. Texts are implicitly shared: copying is cheap.
QString upsText(const UpsItem &item)
{
    switch (item.source) {
    case SrcBatMode: return upsInfo.batMode;
    case SrcPvMode: return upsInfo.pvMode;
    case SrcSysTemp: return upsInfo.sysTemp;
    case SrcDeviceTime: return upsInfo.deviceTime;
    case SrcWorkMode: return upsInfo.workMode;
    default: return upsInfo.values[item.source];
    }
}

// One item that passed its gate: the copied text, or the copied status bit, formatted
// after the guard is released.
struct PickedItem
{
    const UpsItem *item;
    QString text;
    int bit = 0;
};
using PickedItems = QVarLengthArray<PickedItem, 16>;

// Caller holds upsInfo.lock for reading.
template<std::size_t N>
void pickUpsItems(const UpsItem (&items)[N], PickedItems &picked)
{
    for (const UpsItem &item : items) {
        if (!gateHolds(item))
            continue;
        if (item.source == SrcStatusBit)
            picked.append(PickedItem{&item, QString(), upsInfo.statusBits[item.statusBit]});
        else
            picked.append(PickedItem{&item, upsText(item)});
    }
}

void appendPicked(TaggedValueText &text, const PickedItems &picked)
{
    for (const PickedItem &p : picked) {
        if (p.item->source == SrcStatusBit)
            text.add(p.item->key, QString::number(p.bit));
        else
            text.add(p.item->key, p.item->form == ValueForm::OneDecimal ? format1Decimal(p.text) : p.text);
    }
}

template<std::size_t N>
QString upsItemsText(const UpsItem (&items)[N])
{
    PickedItems picked;
    {
        QReadLocker locker(&upsInfo.lock);
        pickUpsItems(items, picked);
    }
    TaggedValueText text;
    appendPicked(text, picked);
    return text.text();
}

// ---- Items of the inverter pages: input register texts, never gated -------------------

struct InverterItem
{
    const char *key;
    int reg;
};

template<std::size_t N>
QString inverterItemsText(const InverterItem (&items)[N])
{
    QString values[N];
    {
        QReadLocker locker(&upsInfo.lock);
        for (std::size_t i = 0; i < N; ++i)
            values[i] = inverterInfo.values[items[i].reg];
    }
    TaggedValueText text;
    for (std::size_t i = 0; i < N; ++i)
        text.add(items[i].key, values[i]);
    return text.text();
}

// ---- The pages -----------------------------------------------------------------------

const UpsItem kUpsOutputPage[] = {
    field("outputfre", OutputFrq),          field("outputfac", OutputPowerFac),
    field("outputvol", OutputVolt),         field("outputcur", OutputCurr),
    field("outputactp", OutputActivePower), field("outputappp", OutputAppPower),
    field("outputwatp", OutputWattPower),   field("outputload", OutputLoadPercent),
    status("outputstate", 5),               status("outputoverload", 12),
    status("outputoff", 17),
};
const InverterItem kInverterOutputPage[] = {
    {"outputfre", 32}, {"outputvol", 26}, {"outputactp", 35}, {"outputappp", 38}, {"outputload", 41},
};

const UpsItem kUpsBypassPage[] = {
    field("bypassfre", BypassFreq),      field("bypassvol", BypassVol), field("bypasscur", BypassCurr),
    field("bypassactp", BypassActPower), status("bypassstate", 11),     status("bypasssupply", 19),
};
const InverterItem kInverterBypassPage[] = {{"bypassfre", 20}, {"bypassvol", 11}};

const UpsItem kUpsBatteryPage[] = {
    field("batmode", SrcBatMode),
    field("batdischargetime", BatteryDischageTime),
    field("batremaintime", BatteryRemainTime),
    field("batremaincap", BatteryRemmainCap),
    field("batvol", BatteryVolt),
    field("batcur", BatteryCurr),
    field("battemp", BatteryTemp),
    status("batstate", 3),
    status("batlow", 15),
    status("batdepletion", 16),
    status("batsupply", 20),
    status("test", 26),
    status("testfault", 27),
};
const InverterItem kInverterBatteryPage[] = {{"batvol", 47}, {"batremaincap", 50}, {"batstate", 75}};

const UpsItem kUpsAcPage[] = {
    field("inputfac", InputPowerFac),  field("inputfre", InputFreq),      field("inputvol", InputVolt),
    field("inputcur", InputCurr),      field("inputactp", InputActPower), field("inputappp", InputAppPower),
    field("inputwatp", InputWattPower), status("inputfault", 10),
};
const InverterItem kInverterAcPage[] = {{"inputfre", 7}, {"inputvol", 1}};

// The main page's module panels: other key sets and orders than the pages, but for the
// bypass panel, which is the bypass page.
const UpsItem kAcPanel[] = {
    field("inputfac", InputPowerFac), field("inputfre", InputFreq), field("inputvol", InputVolt),
    field("inputcur", InputCurr),     status("inputfault", 10),
};
const UpsItem kPvPanel[] = {
    field("pvvol", PVVolt),   field("pvcur", PVCurr),        field("pvpower", PVPower),
    fieldLowestBit("pvdaygen", PVDayGen), field("pvmode", SrcPvMode), status("pvfault", 14),
    status("pvinputfalut", 13),
};
const UpsItem kBatteryPanel[] = {
    field("batdischargetime", BatteryDischageTime),
    field("batremaintime", BatteryRemainTime),
    field("batremaincap", BatteryRemmainCap),
    field("batvol", BatteryVolt),
    field("batcur", BatteryCurr),
    field("battemp", BatteryTemp),
    field("batmode", SrcBatMode),
    status("batstate", 3),
    status("batlow", 15),
    status("batdepletion", 16),
    status("batsupply", 20),
};
const UpsItem kOutputPanel[] = {
    field("outputfre", OutputFrq),   field("outputfac", OutputPowerFac), field("outputvol", OutputVolt),
    field("outputcur", OutputCurr),  field("outputload", OutputLoadPercent), status("outputstate", 5),
    status("outputoverload", 12),    status("outputshutdown", 21),
};

const UpsItem kOtherPage[] = {
    status("sysfault", 0),
    status("recfault", 1),
    status("busfault", 2),
    status("invfault", 4),
    status("chargefault", 6),
    status("fanfault", 7),
    status("fusefault", 8),
    status("overtemp", 9),
    status("shutdown", 18),
    status("closeoutputcommandexecution", 21),
    status("shutdowncommandexecution", 22),
    status("waitinputrecovery", 23),
    status("delayshutdown", 24),
    status("upcomingshutdown", 25),
    field("systemp", SrcSysTemp, ValueForm::OneDecimal),
    field("invertertime", SrcDeviceTime),
    field("workmode", SrcWorkMode),
};

const UpsItem kUpsPvPage[] = {
    field("pvvol", PVVolt),        field("pvcur", PVCurr),         field("pvpower", PVPower),
    field("pvdaygen", PVDayGen),   field("pvtotalgen", PVTotalGen), field("pvmode", SrcPvMode),
    status("pvinputstate", 13),    status("pvstate", 14),
};
const InverterItem kInverterPvPage[] = {
    {"pvvol", 129}, {"pvpower", 131}, {"pvdaygen", InverterInfo::kDayEnergyIndex},
    {"pvtotalgen", InverterInfo::kLifetimeEnergyIndex},
};

// Input registers of the inverter's flow and generation figures.
constexpr int kInverterFlowPvPowerReg = 89;  // one tenth of the raw register
constexpr int kInverterFlowBatPowerReg = 90; // one tenth of the raw register
constexpr int kInverterPvPowerReg = 131;

// Holding registers of the inverter's identity.
constexpr int kInverterProtocolVersionReg = 20;
constexpr int kInverterMonitorVersionReg = 21;
constexpr int kInverterManufacturerFirstReg = 28; // 8 registers, 16 characters
constexpr int kInverterManufacturerRegs = 8;
constexpr int kInverterTypeFirstReg = 44;         // 5 registers, 10 characters
constexpr int kInverterTypeRegs = 5;

// The lifetime energy's display factor on the main page.
constexpr double kLifetimeGenFactor = 0.97;

// The general six-significant-digit rendering every device value uses.
QString generalText(double value)
{
    return QString::number(value, 'g', 6);
}

// Two characters per register, high byte first, every byte kept (Latin-1), so the text
// always has twice as many characters as registers.
QString registerText(const QString *settings, int count)
{
    QString out;
    out.reserve(count * 2);
    for (int i = 0; i < count; ++i) {
        const uint w = numberOrZero<uint>(settings[i]) & 0xFFFFu;
        out += QChar(char16_t(w >> 8));
        out += QChar(char16_t(w & 0xFFu));
    }
    return out;
}

bool communicating()
{
    return upsInfo.commState.load() == CommOk;
}

} // namespace

void qmlobject::handleGetFlowState()
{
    if (!communicating()) {
        const QString none = QStringLiteral("-1");
        const QString zero = QStringLiteral("0.0");
        emit sigFlowState(none, none, zero, zero, zero, zero);
        return;
    }
    if (bridgeInverterActive()) {
        QString pv, bat;
        {
            QReadLocker locker(&upsInfo.lock);
            pv = inverterInfo.values[kInverterFlowPvPowerReg];
            bat = inverterInfo.values[kInverterFlowBatPowerReg];
        }
        // Single precision, as the device values are kept.
        const float pvPower = numberOrZero<float>(pv) * 10.0f;
        const float batPower = numberOrZero<float>(bat) * 10.0f;
        emit sigFlowState(QStringLiteral("7"), QString(), QString(), QString(), generalText(pvPower),
                          generalText(batPower));
        return;
    }
    QString workMode, batMode, load, input, pvPower, volt, curr;
    {
        QReadLocker locker(&upsInfo.lock);
        workMode = upsInfo.workMode;
        batMode = upsInfo.batMode;
        load = upsInfo.values[OutputLoadPercent];
        input = upsInfo.values[InputCurr];
        pvPower = upsInfo.values[PVPower];
        volt = upsInfo.values[BatteryVolt];
        curr = upsInfo.values[BatteryCurr];
    }
    const float product = numberOrZero<float>(volt) * numberOrZero<float>(curr);
    emit sigFlowState(workMode, batMode, load, input, pvPower, format2Decimals(generalText(product)));
}

void qmlobject::handleMainGenInfo()
{
    if (!communicating()) {
        emit sigMainGenInfo(QString());
        return;
    }
    QString power, day, total, scaled;
    if (bridgeInverterActive()) {
        {
            QReadLocker locker(&upsInfo.lock);
            power = inverterInfo.values[kInverterPvPowerReg];
            day = inverterInfo.values[InverterInfo::kDayEnergyIndex];
            total = inverterInfo.values[InverterInfo::kLifetimeEnergyIndex];
        }
        scaled = generalText(numberOrZero<double>(total) * kLifetimeGenFactor);
    } else {
        QReadLocker locker(&upsInfo.lock);
        power = upsInfo.values[PVPower];
        day = upsInfo.values[PVDayGen];
        total = upsInfo.values[PVTotalGen];
        scaled = upsInfo.pvTotalGenScaled;
    }
    emit sigMainGenInfo(QStringList{power, day, total, scaled}.join(QLatin1Char('#')));
}

void qmlobject::handleMainModuleData(QString request)
{
    const QString flag = RequestJson(request).value(QStringLiteral("flag"));
    if (!communicating()) {
        emit sigMainModuleInfo(flag, QString());
        return;
    }
    QString text;
    if (flag == QLatin1String("bypass"))
        text = upsItemsText(kUpsBypassPage);
    else if (flag == QLatin1String("ac"))
        text = upsItemsText(kAcPanel);
    else if (flag == QLatin1String("pv"))
        text = upsItemsText(kPvPanel);
    else if (flag == QLatin1String("battery"))
        text = upsItemsText(kBatteryPanel);
    else if (flag == QLatin1String("output"))
        text = upsItemsText(kOutputPanel);
    emit sigMainModuleInfo(flag, text);
}

namespace {
template<std::size_t U, std::size_t I>
QString livePageText(const UpsItem (&ups)[U], const InverterItem (&inverter)[I])
{
    if (!communicating())
        return QString();
    return bridgeInverterActive() ? inverterItemsText(inverter) : upsItemsText(ups);
}
}

void qmlobject::handleGetACInfo()
{
    emit sigACInfo(livePageText(kUpsAcPage, kInverterAcPage));
}

void qmlobject::handleGetBatInfo()
{
    emit sigBatInfo(livePageText(kUpsBatteryPage, kInverterBatteryPage));
}

void qmlobject::handleGetBypassInfo()
{
    emit sigBypassInfo(livePageText(kUpsBypassPage, kInverterBypassPage));
}

void qmlobject::handleGetOutputInfo()
{
    emit sigOutputInfo(livePageText(kUpsOutputPage, kInverterOutputPage));
}

void qmlobject::handleGetOtherInfo()
{
    const int state = upsInfo.commState.load();
    TaggedValueText text;
    text.add("comstate", QString::number(state));
    if (state == CommOk) {
        PickedItems picked;
        {
            QReadLocker locker(&upsInfo.lock);
            pickUpsItems(kOtherPage, picked);
        }
        appendPicked(text, picked);
    }
    emit sigOtherInfo(text.text());
}

void qmlobject::handleGetPVInfo()
{
    if (!communicating()) {
        emit sigPVInfo(QString(), QString());
        return;
    }
    if (bridgeInverterActive()) {
        emit sigPVInfo(inverterItemsText(kInverterPvPage), QString());
        return;
    }
    PickedItems picked;
    QVarLengthArray<UnitRecord, ThreePhaseUPSInfo::kPvInputRows> rows;
    {
        QReadLocker locker(&upsInfo.lock);
        pickUpsItems(kUpsPvPage, picked);
        if ((upsInfo.pvFieldMask & kPvInputTableBit) && upsInfo.pvInputMask != 0 && upsInfo.pvInputCount != 0) {
            for (int i = 0; i < ThreePhaseUPSInfo::kPvInputRows; ++i) {
                if ((upsInfo.pvInputMask >> i) & 1u)
                    rows.append(upsInfo.pvInputTable[i]);
            }
        }
    }
    TaggedValueText values;
    appendPicked(values, picked);
    // Rows joined by "!" whatever pvInputCount says: a count that lags the input mask
    // must not glue two rows together or leave a trailing "!".
    QString list;
    for (const UnitRecord &r : rows) {
        if (!list.isEmpty())
            list += QLatin1Char('!');
        list += QStringList{r.inputNo, r.voltage, r.current, r.dayGen, r.totalGen, r.fault}.join(QLatin1Char('#'));
    }
    emit sigPVInfo(values.text(), list);
}

void qmlobject::handleGetdeviceInfo()
{
    if (!communicating()) {
        emit sigDeviceInfo(QString());
        return;
    }
    TaggedValueText text;
    if (bridgeInverterActive()) {
        QString type[kInverterTypeRegs], maker[kInverterManufacturerRegs], protocolVersion, monitorVersion;
        {
            QReadLocker locker(&upsInfo.lock);
            std::copy_n(inverterInfo.settings + kInverterTypeFirstReg, kInverterTypeRegs, type);
            std::copy_n(inverterInfo.settings + kInverterManufacturerFirstReg, kInverterManufacturerRegs, maker);
            protocolVersion = inverterInfo.settings[kInverterProtocolVersionReg];
            monitorVersion = inverterInfo.settings[kInverterMonitorVersionReg];
        }
        text.add("devicetype", registerText(type, kInverterTypeRegs))
            .add("devicemanufacturer", registerText(maker, kInverterManufacturerRegs))
            .add("devicepversion", protocolVersion)
            .add("devicemonitorversion", QLatin1Char('V') + monitorVersion);
    } else {
        QString name, type, maker, protocolVersion, monitorVersion, controlVersion;
        {
            QReadLocker locker(&upsInfo.lock);
            name = upsInfo.deviceName;
            type = upsInfo.deviceType;
            maker = upsInfo.deviceManufacturer;
            protocolVersion = upsInfo.deviceProtocolVersion;
            monitorVersion = upsInfo.deviceMonitorVersion;
            controlVersion = upsInfo.deviceControlVersion;
        }
        text.add("devicename", name)
            .add("devicetype", type)
            .add("devicemanufacturer", maker)
            .add("devicepversion", protocolVersion)
            .add("devicemonitorversion", monitorVersion)
            .add("devicemcontrolversion", controlVersion);
    }
    emit sigDeviceInfo(text.text());
}
