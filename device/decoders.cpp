// The decoders: register and discrete-input blocks into upsInfo and inverterInfo.
//
// Every block is stored under one write hold of upsInfo.lock (which also guards
// inverterInfo); events are posted after the hold is released. A block shorter than its
// transaction reads is refused whole: the decoder stores nothing and reports failure, so
// the poll step fails instead of reading past the block.
#include "device/decoders.h"

#include "core/devicestate.h"
#include "core/events.h"
#include "core/helpers.h"
#include "core/logging.h"
#include "core/protocolcode.h"
#include "device/upsregisters.h"
#include "device/transactions.h"

#include <QDate>
#include <QTextCodec>
#include <QTime>
#include <QVarLengthArray>

namespace {

// True when the block covers the whole transaction; logs the refusal otherwise.
bool blockComplete(int id, int count, int needed)
{
    if (count >= needed)
        return true;
    qCWarning(lcDevice) << "block of transaction" << id << "has" << count << "entries, expected"
                        << needed << "- nothing stored";
    return false;
}

// The transaction of a block that a decoder of kind is to store. Null when it stores
// nothing; *result is then the decoder's result: true for an id it does not decode,
// false for a block shorter than its transaction.
const TransactionSpec *acceptBlock(int id, BlockKind kind, int count, bool *result)
{
    const TransactionSpec *spec = findTransaction(id, kind);
    *result = !spec || blockComplete(id, count, spec->count);
    return *result && spec ? spec : nullptr;
}

// A register block seen by register number: element k is register first + k.
struct Window
{
    const quint16 *block;
    int first;
    int count;

    bool has(int reg, int n = 1) const { return reg >= first && reg + n <= first + count; }
    quint16 at(int reg) const { return block[reg - first]; }
    // Two registers r:r+1 as one 32-bit number, r the high half.
    quint32 wide(int reg) const { return (quint32(at(reg)) << 16) | at(reg + 1); }
};

// The general text first (six significant digits), then the fixed decimals: a value
// with more digits loses them before the decimals are added, as the pages expect.
QString render(double value, int decimals)
{
    const QString general = QString::number(value);
    switch (decimals) {
    case 1:
        return format1Decimal(general);
    case 2:
        return format2Decimals(general);
    default:
        return general;
    }
}

struct ValueForm
{
    double scale;
    int decimals;
    bool isSigned; // two's-complement register
};

// How one of values[] is rendered from its registers (device/upsregisters.h), per family.
struct UpsValueRow
{
    int index;        // into ThreePhaseUPSInfo::values
    ValueForm three;  // protocol "0"
    ValueForm single; // protocols "1" and "2"
};

constexpr ValueForm d1(double s) { return {s, 1, false}; }
constexpr ValueForm d2(double s) { return {s, 2, false}; }
constexpr ValueForm d1s(double s) { return {s, 1, true}; }
constexpr ValueForm d2s(double s) { return {s, 2, true}; }

// In index order.
constexpr UpsValueRow kUpsValueRows[] = {
    {BatteryDischageTime, d1(0.1), d1(0.1)},
    {BatteryRemainTime, d1(0.1), d1(0.1)},
    {BatteryRemmainCap, d1(0.1), d1(0.1)},
    {BatteryVolt, d1(0.1), d2(0.01)},
    {BatteryCurr, d1s(0.1), d2s(0.01)},
    {BatteryTemp, d1s(0.1), d2s(0.1)},
    {InputPowerFac, d1(0.01), d2(0.01)},
    {InputGenC, d1(0.1), d2(0.01)},
    {InputFreq, d1(0.01), d2(0.01)},
    {InputVolt, d1(0.1), d2(0.01)},
    {InputCurr, d1(0.1), d2s(0.01)},
    {InputActPower, d1(0.1), d2s(0.01)},
    {InputAppPower, d1(0.1), d2(0.01)},
    {InputWattPower, d1(0.1), d2(0.01)},
    {OutputFrq, d1(0.01), d2(0.01)},
    {OutputPowerFac, d1(0.01), d2(0.01)},
    {OutputGen, d1(0.1), d2(0.01)},
    {OutputVolt, d1(0.1), d2(0.01)},
    {OutputCurr, d1(0.1), d2(0.01)},
    {OutputActivePower, d1(0.1), d2s(0.01)},
    {OutputAppPower, d1(0.1), d2(0.01)},
    {OutputWattPower, d1(0.1), d2(0.01)},
    {OutputLoadPercent, d1(0.1), d2(0.1)},
    {BypassFreq, d1(0.01), d2(0.01)},
    {BypassVol, d1(0.1), d2(0.01)},
    {BypassCurr, d1s(0.1), d2s(0.01)},
    {BypassActPower, d1s(0.1), d2s(0.01)},
    {PVVolt, d1(0.1), d2(0.01)},
    {PVCurr, d1(0.1), d2(0.01)},
    {PVPower, d1(0.1), d2(0.01)},
    {PVDayGen, d1(0.1), d2(0.01)},
    {PVTotalGen, d1(0.1), d2(0.01)},
};

// Lifetime PV energy as the main page shows it: the device's figure less 3 %.
constexpr double kPvTotalGenShownFactor = 0.97;
constexpr int kPvPowerRegister = kUpsValuePlaces[PVPower].reg;

// Raw words kept as the device sends them (capability masks).
struct UpsWordRow
{
    int reg;
    uint16_t ThreePhaseUPSInfo::*member;
};

constexpr UpsWordRow kUpsWordRows[] = {
    {UpsRegister::StatusMaskLo, &ThreePhaseUPSInfo::statusMaskLo},
    {UpsRegister::StatusMaskHi, &ThreePhaseUPSInfo::statusMaskHi},
    {UpsRegister::OtherInfoMask, &ThreePhaseUPSInfo::otherInfoMask},
    {UpsRegister::BatFieldMask, &ThreePhaseUPSInfo::batFieldMask},
    {UpsRegister::InputFieldMask, &ThreePhaseUPSInfo::inputFieldMask},
    {UpsRegister::OutputFieldMask, &ThreePhaseUPSInfo::outputFieldMask},
    {UpsRegister::BypassFieldMask, &ThreePhaseUPSInfo::bypassFieldMask},
    {UpsRegister::PvFieldMask, &ThreePhaseUPSInfo::pvFieldMask},
    {UpsRegister::PvInputMask, &ThreePhaseUPSInfo::pvInputMask},
};

// Mode codes kept as decimal integers.
struct UpsCodeRow
{
    int reg;
    QString ThreePhaseUPSInfo::*member;
};

constexpr UpsCodeRow kUpsCodeRows[] = {
    {UpsRegister::WorkMode, &ThreePhaseUPSInfo::workMode},
    {UpsRegister::BatMode, &ThreePhaseUPSInfo::batMode},
    {UpsRegister::PvMode, &ThreePhaseUPSInfo::pvMode},
};

constexpr int kSysTempRegister = UpsRegister::SysTemp;
constexpr int kDeviceClockRegister = UpsRegister::DeviceClock;

double registerProduct(const Window &w, int reg, bool wide, const ValueForm &form)
{
    if (wide)
        return double(w.wide(reg)) * form.scale;
    if (form.isSigned)
        return double(qint16(w.at(reg))) * form.scale;
    return double(w.at(reg)) * form.scale;
}

int bcdByte(quint8 b)
{
    return (b >> 4) * 10 + (b & 0x0F);
}

// The device sends a two-digit year; it cannot predate this program, so the century is
// 2000. Date and time are formatted apart so that a clock time inside a local
// daylight-saving gap is shown as the device sent it. Bytes that form no valid date or
// time give the empty text.
QString deviceClockText(quint16 yearMonth, quint16 dayHour, quint16 minuteSecond)
{
    const QDate date(2000 + bcdByte(yearMonth >> 8), bcdByte(yearMonth & 0xFF), bcdByte(dayHour >> 8));
    const QTime time(bcdByte(dayHour & 0xFF), bcdByte(minuteSecond >> 8), bcdByte(minuteSecond & 0xFF));
    if (!date.isValid() || !time.isValid())
        return QString();
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + time.toString(QStringLiteral("hh:mm:ss"));
}

// Stores every UPS input-register field whose registers all lie inside the window: the
// serial block (0 to 124) carries all of them, each USB-HID piece its own share. A window
// that holds the PV power register adds one PV power sample. Caller holds upsInfo.lock
// for writing.
void storeUpsInputs(const Window &w, bool threePhase)
{
    ThreePhaseUPSInfo &u = upsInfo;
    for (const UpsWordRow &row : kUpsWordRows) {
        if (w.has(row.reg))
            u.*row.member = w.at(row.reg);
    }
    for (const UpsCodeRow &row : kUpsCodeRows) {
        if (w.has(row.reg))
            u.*row.member = QString::number(w.at(row.reg));
    }
    if (w.has(kSysTempRegister))
        u.sysTemp = render(w.at(kSysTempRegister) * 0.1, 0);
    if (w.has(kDeviceClockRegister, UpsRegister::DeviceClockWidth))
        u.deviceTime = deviceClockText(w.at(kDeviceClockRegister), w.at(kDeviceClockRegister + 1),
                                       w.at(kDeviceClockRegister + 2));
    if (w.has(kPvPowerRegister))
        u.appendPvPowerSample(w.at(kPvPowerRegister) * (threePhase ? 0.1 : 0.01));

    for (const UpsValueRow &row : kUpsValueRows) {
        const UpsRegisterPlace &place = kUpsValuePlaces[row.index];
        const ValueForm &form = threePhase ? row.three : row.single;
        const int stride = threePhase ? place.phaseStride : 0;
        const bool wide = place.width == 2;
        if (!w.has(place.reg, place.width) || (stride && !w.has(place.reg + 2 * stride)))
            continue;
        const double product = registerProduct(w, place.reg, wide, form);
        if (stride) {
            u.values[row.index] = render(product, form.decimals) + QLatin1Char('/')
                + render(registerProduct(w, place.reg + stride, false, form), form.decimals) + QLatin1Char('/')
                + render(registerProduct(w, place.reg + 2 * stride, false, form), form.decimals);
        } else {
            u.values[row.index] = render(product, form.decimals);
        }
        if (row.index == PVTotalGen)
            u.pvTotalGenScaled = render(product * kPvTotalGenShownFactor, form.decimals);
    }
}

// Per-input PV table: input n (1 to 8) in the twelve registers from 126 + 12 (n - 1).
constexpr int kPvTableFirstRegister = UpsRegister::PvTableFirst;
constexpr int kPvTableRegistersPerInput = UpsRegister::PvTableRegistersPerInput;
// Status bits of one PV input that count as a fault.
constexpr quint16 kPvInputFaultBits = 0x1F98;

// Caller holds upsInfo.lock for writing; the masks are those of the latest live block.
void storePvInputTable(const Window &w)
{
    ThreePhaseUPSInfo &u = upsInfo;
    u.pvInputCount = 0;
    if (!(u.pvFieldMask & kUpsPvInputTableBit) || u.pvInputMask == 0)
        return;
    for (int n = 1; n <= ThreePhaseUPSInfo::kPvInputRows; ++n) {
        if (!(u.pvInputMask & (1u << (n - 1))))
            continue;
        ++u.pvInputCount;
        const int b = kPvTableFirstRegister + kPvTableRegistersPerInput * (n - 1);
        UnitRecord &row = u.pvInputTable[n - 1];
        row.inputNo = QString::number(n);
        row.voltage = render(w.at(b) * 0.1, 1);
        row.current = render(w.at(b + 1) * 0.1, 1);
        row.fault = (w.at(b + 4) & kPvInputFaultBits) ? QStringLiteral("1") : QStringLiteral("0");
        row.dayGen = render(w.wide(b + 5) * 0.1, 1);
        row.totalGen = render(w.wide(b + 7) * 0.1, 1);
    }
}

// Identity texts: eight registers, each giving its low byte and then its high byte, as 16
// bytes of GBK, zero bytes included. Without a GBK codec on the machine the bytes are
// read as Latin-1, which keeps plain ASCII names readable.
constexpr int kIdentityTextRegisters = 8;

QString identityText(QTextCodec *codec, const quint16 *words)
{
    QByteArray bytes(2 * kIdentityTextRegisters, '\0');
    for (int i = 0; i < kIdentityTextRegisters; ++i) {
        bytes[2 * i] = char(words[i] & 0xFF);
        bytes[2 * i + 1] = char(words[i] >> 8);
    }
    if (!codec) {
        static bool warned = false;
        if (!warned) {
            qCWarning(lcDevice) << "no GBK codec: identity texts read as Latin-1";
            warned = true;
        }
        return QString::fromLatin1(bytes);
    }
    return codec->toUnicode(bytes);
}

// Identity block from register 0x8000: name at 0x8004, type at 0x800C.
constexpr int kIdentityBlockCount = 20;
constexpr int kNameOffset = 4;
constexpr int kTypeOffset = 12;
// Versions block from register 0x8014: manufacturer, then three version numbers.
constexpr int kVersionsBlockCount = 12;
constexpr int kProtocolVersionOffset = 8;

// Callers hold upsInfo.lock for writing and have checked the block length.
void storeIdentity(QTextCodec *codec, const quint16 *block)
{
    upsInfo.deviceName = identityText(codec, block + kNameOffset);
    upsInfo.deviceType = identityText(codec, block + kTypeOffset);
}

void storeVersions(QTextCodec *codec, const quint16 *block)
{
    upsInfo.deviceManufacturer = identityText(codec, block);
    upsInfo.deviceProtocolVersion = render(block[kProtocolVersionOffset] * 0.1, 0);
    upsInfo.deviceMonitorVersion = render(block[kProtocolVersionOffset + 1] * 0.1, 0);
    upsInfo.deviceControlVersion = render(block[kProtocolVersionOffset + 2] * 0.1, 0);
}

// Settings block from holding register 0: support bitmap, hour bands and work mode.
constexpr int kSettingsNeeded = 41; // up to holding register 40, the work mode

void storeSettings(const quint16 *block)
{
    ThreePhaseUPSInfo &u = upsInfo;
    for (int i = 0; i < 3; ++i) {
        u.supportFlags[i] = block[i];
        u.pvHourBands[i] = block[31 + i];
        u.gridHourBands[i] = block[34 + i];
        u.antirefluxHourBands[i] = block[37 + i];
    }
    u.inverterMode = block[40];
}

// The inverter's battery power is two's complement: negative while the battery gives
// power, which an unsigned reading turns into some 6553 W of charging.
constexpr int kInverterBatteryPowerRegister = 90;

// Inverter input register r into values[r]: 75 is a code, 114 has two decimals of scale.
QString inverterValueText(int reg, quint16 word)
{
    if (reg == 75)
        return QString::number(word);
    if (reg == kInverterBatteryPowerRegister)
        return render(qint16(word) * 0.1, 0);
    return render(word * (reg == 114 ? 0.01 : 0.1), 0);
}

// Holding register r into settings[r]: 21 is scaled by 0.01, the others are integers.
QString inverterSettingText(int reg, quint16 word)
{
    return reg == 21 ? render(word * 0.01, 0) : QString::number(word);
}

// values[134] holds the lifetime energy, registers 134:135 as one 32-bit number.
void storeLifetimeEnergy(const Window &w)
{
    inverterInfo.values[InverterInfo::kLifetimeEnergyIndex] =
        render(w.wide(InverterInfo::kLifetimeEnergyIndex) * 0.1, 0);
}

// The last input register decoded one to one; 132 is the history thread's, 133 unused.
constexpr int kLastPlainInverterValue = 131;

// Caller holds upsInfo.lock for writing.
void storeInverterInputs(const Window &w)
{
    const int last = qMin(w.first + w.count - 1, kLastPlainInverterValue);
    for (int r = w.first; r <= last; ++r)
        inverterInfo.values[r] = inverterValueText(r, w.at(r));
    if (w.has(InverterInfo::kLifetimeEnergyIndex, 2))
        storeLifetimeEnergy(w);
}

constexpr int kLastInverterSetting = 51;

void storeInverterSettings(const Window &w)
{
    const int last = qMin(w.first + w.count - 1, kLastInverterSetting);
    for (int r = w.first; r <= last; ++r)
        inverterInfo.settings[r] = inverterSettingText(r, w.at(r));
}

// The discrete input behind each inverter alarm slot; slots from 19 on lie in the second
// block of inputs.
constexpr int kAlarmSlotInputs[InverterInfo::kAlarmCount] = {
    3, 4, 5, 12, 13, 14, 40, 49, 51, 52, 55, 56, 57, 59, 60, 61, 64, 108, 109, // first block
    134, 135, 136, 137, 138, 197, 198,                                         // second block
};
constexpr int kFirstSecondBlockSlot = 19;

// UPS status bits beyond 27 have no event texts of their own: the codes they would take
// (56 to 63) belong to the link, test-message and schedule events, so they post nothing.
constexpr int kStatusBitsWithEvents = 28;

} // namespace

QTextCodec *platformGbkCodec()
{
    return QTextCodec::codecForName("GBK");
}

bool parseModbusBlock(const DecodeContext &context, int id, const quint16 *block, int count)
{
    bool result = true;
    const TransactionSpec *spec = acceptBlock(id, BlockKind::ModbusBlock, count, &result);
    if (!spec)
        return result;
    const Window w{block, spec->start, spec->count};
    switch (id) {
    case 2:
        updateSettingRegisters(block, count);
        settingsValid = true;
        return true;
    case 3: {
        // The family rendering follows the protocol code of the moment.
        const bool threePhase = deviceFamily(context.comProtocol) == DeviceFamily::ThreePhaseUps;
        QWriteLocker l(&upsInfo.lock);
        storeUpsInputs(w, threePhase);
        return true;
    }
    case 4: {
        QWriteLocker l(&upsInfo.lock);
        storeIdentity(context.gbkCodec, block);
        storeVersions(context.gbkCodec, block + kIdentityBlockCount);
        return true;
    }
    case 5: {
        QWriteLocker l(&upsInfo.lock);
        storePvInputTable(w);
        return true;
    }
    default:
        return true;
    }
}

bool parseHidBlock(const DecodeContext &context, int id, const quint16 *block, int count)
{
    bool result = true;
    const TransactionSpec *spec = acceptBlock(id, BlockKind::HidBlock, count, &result);
    if (!spec)
        return result;
    const Window w{block, spec->start, spec->count};
    switch (id) {
    case 2:
        updateSettingRegisters(block, count);
        settingsValid = true;
        return true;
    case 13:
        parseDeviceIdentity(context.gbkCodec, block, count);
        return true;
    case 14:
        parseDeviceVersions(context.gbkCodec, block, count);
        return true;
    case 28: {
        {
            QWriteLocker l(&upsInfo.lock);
            storeInverterSettings(w);
        }
        settingsValid = true;
        return true;
    }
    default:
        break;
    }
    QWriteLocker l(&upsInfo.lock);
    if (isInverterTransaction(*spec))
        storeInverterInputs(w);
    else
        storeUpsInputs(w, false); // USB-HID carries the single-phase UPS only
    return true;
}

void updateSettingRegisters(const quint16 *block, int count)
{
    if (!blockComplete(2, count, kSettingsNeeded))
        return;
    QWriteLocker l(&upsInfo.lock);
    storeSettings(block);
}

bool parseInverterModelBlock(int id, const quint16 *block, int count)
{
    bool result = true;
    const TransactionSpec *spec = acceptBlock(id, BlockKind::InverterModelBlock, count, &result);
    if (!spec)
        return result;
    const Window w{block, spec->start, spec->count};
    {
        QWriteLocker l(&upsInfo.lock);
        if (id == 19)
            storeInverterSettings(w);
        else
            storeInverterInputs(w);
    }
    if (id == 19)
        settingsValid = true;
    return true;
}

void parseDeviceIdentity(QTextCodec *gbkCodec, const quint16 *block, int count)
{
    if (!blockComplete(13, count, kIdentityBlockCount))
        return;
    QWriteLocker l(&upsInfo.lock);
    storeIdentity(gbkCodec, block);
}

void parseDeviceVersions(QTextCodec *gbkCodec, const quint16 *block, int count)
{
    if (!blockComplete(14, count, kVersionsBlockCount))
        return;
    QWriteLocker l(&upsInfo.lock);
    storeVersions(gbkCodec, block);
}

bool checkStatusBits(int id, const quint8 *inputs, int count)
{
    bool result = true;
    const TransactionSpec *spec = acceptBlock(id, BlockKind::StatusBits, count, &result);
    if (!spec)
        return result;

    // At most 32 changes per block; posted after the guard is released.
    QVarLengthArray<int, ThreePhaseUPSInfo::kStatusBitCount> codes;
    // Stores one slot's state; a change gives the event code 2 * slot + state.
    auto takeSlot = [&codes](uint8_t &state, uint8_t &previous, quint8 input, int slot, bool hasEvent) {
        state = input ? 1 : 0;
        if (state == previous)
            return;
        previous = state;
        if (hasEvent)
            codes.append(2 * slot + state);
    };
    {
        QWriteLocker l(&upsInfo.lock);
        if (!isInverterTransaction(*spec)) {
            for (int i = 0; i < ThreePhaseUPSInfo::kStatusBitCount; ++i)
                takeSlot(upsInfo.statusBits[i], upsInfo.statusBitsPrev[i], inputs[i], i, i < kStatusBitsWithEvents);
        } else {
            // The alarm inputs come in two blocks; the first starts at input 0.
            const bool firstBlock = spec->start == 0;
            const int from = firstBlock ? 0 : kFirstSecondBlockSlot;
            const int to = firstBlock ? kFirstSecondBlockSlot : InverterInfo::kAlarmCount;
            for (int j = from; j < to; ++j)
                takeSlot(inverterInfo.alarms[j], inverterInfo.alarmsPrev[j], inputs[kAlarmSlotInputs[j] - spec->start],
                         j, true);
        }
    }
    for (int code : codes)
        postEvent(code);
    return true;
}
