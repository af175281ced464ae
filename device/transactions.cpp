#include "device/transactions.h"

#include "core/helpers.h"

namespace {

using T = Transport;
using K = BlockKind;
constexpr ModbusFunction kInputs = ModbusFunction::ReadDiscreteInputs;
constexpr ModbusFunction kHolding = ModbusFunction::ReadHoldingRegisters;
constexpr ModbusFunction kInput = ModbusFunction::ReadInputRegisters;
constexpr bool kChecked = true;

// Every read transaction, each with the protocol codes that read it. Serial replies are
// validated by the library, so they carry no expected length.
const TransactionSpec kTransactions[] = {
    // UPS on a serial port: three-phase "0" and single-phase "1".
    {1, "01", T::Serial, kInputs, 0, 32, 0, false, K::StatusBits},
    {2, "01", T::Serial, kHolding, 0, 68, 0, false, K::ModbusBlock},
    {3, "01", T::Serial, kInput, 0, 125, 0, false, K::ModbusBlock},
    {4, "01", T::Serial, kInput, 0x8000, 58, 0, false, K::ModbusBlock},
    {5, "01", T::Serial, kInput, 126, 95, 0, false, K::ModbusBlock},
    // Inverter on a serial port, "3".
    {15, "3", T::Serial, kInput, 0, 125, 0, false, K::InverterModelBlock},
    {16, "3", T::Serial, kInput, 125, 20, 0, false, K::InverterModelBlock},
    {17, "3", T::Serial, kInputs, 0, 125, 0, false, K::StatusBits},
    {18, "3", T::Serial, kInputs, 125, 76, 0, false, K::StatusBits},
    {19, "3", T::Serial, kHolding, 0, 52, 0, false, K::InverterModelBlock},
    // Single-phase UPS over USB-HID, "2": the input registers in pieces of a few reports.
    {1, "2", T::Hid, kInputs, 0, 32, 9, kChecked, K::StatusBits},
    {2, "2", T::Hid, kHolding, 0, 42, 89, kChecked, K::HidBlock},
    {7, "2", T::Hid, kInput, 0, 21, 47, false, K::HidBlock},
    {8, "2", T::Hid, kInput, 21, 21, 47, false, K::HidBlock},
    {9, "2", T::Hid, kInput, 42, 21, 47, false, K::HidBlock},
    {10, "2", T::Hid, kInput, 63, 10, 25, kChecked, K::HidBlock},
    {11, "2", T::Hid, kInput, 84, 21, 47, kChecked, K::HidBlock},
    {12, "2", T::Hid, kInput, 105, 7, 19, kChecked, K::HidBlock},
    {13, "2", T::Hid, kInput, 0x8000, 20, 45, kChecked, K::HidBlock},
    {14, "2", T::Hid, kInput, 0x8014, 12, 29, kChecked, K::HidBlock},
    // Inverter over USB-HID, "4".
    {21, "4", T::Hid, kInput, 0, 32, 69, false, K::HidBlock},
    {22, "4", T::Hid, kInput, 32, 32, 69, false, K::HidBlock},
    {23, "4", T::Hid, kInput, 64, 32, 69, false, K::HidBlock},
    {24, "4", T::Hid, kInput, 96, 32, 69, false, K::HidBlock},
    {25, "4", T::Hid, kInput, 128, 17, 39, false, K::HidBlock},
    {26, "4", T::Hid, kInputs, 0, 120, 20, false, K::StatusBits},
    {27, "4", T::Hid, kInputs, 120, 80, 15, false, K::StatusBits},
    {28, "4", T::Hid, kHolding, 20, 32, 69, false, K::HidBlock},
};

bool readBy(const TransactionSpec &t, const QString &protocol)
{
    if (protocol.size() != 1)
        return false;
    for (const char *code = t.protocols; *code; ++code)
        if (protocol[0].unicode() == char16_t(*code))
            return true;
    return false;
}

// The USB-HID transaction with id; the ids of "2" and "4" do not overlap.
const TransactionSpec *hidTransaction(int id)
{
    for (const TransactionSpec &t : kTransactions)
        if (t.id == id && t.transport == Transport::Hid)
            return &t;
    return nullptr;
}

// The ids of each protocol code's poll plan, step 0 to 9.
struct PollPlan
{
    const char *protocol;
    int ids[kPollPlanSteps];
};
const PollPlan kPollPlans[] = {
    {"0", {3, 4, 5, 1, 2, 3, 4, 5, 1, 3}},
    {"1", {3, 4, 1, 2, 3, 4, 1, 3, 4, 1}},
    {"2", {7, 8, 9, 10, 11, 12, 13, 14, 1, 2}},
    {"3", {15, 16, 17, 18, 19, 15, 16, 17, 15, 16}},
    {"4", {21, 22, 23, 24, 25, 26, 27, 28, 21, 22}},
};

} // namespace

const TransactionSpec *findTransaction(int id, const QString &protocol)
{
    for (const TransactionSpec &t : kTransactions)
        if (t.id == id && readBy(t, protocol))
            return &t;
    return nullptr;
}

bool isInverterTransaction(const TransactionSpec &spec)
{
    for (const char *code = spec.protocols; *code; ++code)
        if (deviceFamily(QString(QLatin1Char(*code))) == DeviceFamily::Inverter)
            return true;
    return false;
}

const TransactionSpec *findTransaction(int id, BlockKind kind)
{
    for (const TransactionSpec &t : kTransactions)
        if (t.id == id && t.kind == kind)
            return &t;
    return nullptr;
}

int pollPlanId(const QString &protocol, int step)
{
    if (step < 0 || step >= kPollPlanSteps)
        return 0;
    for (const PollPlan &plan : kPollPlans)
        if (protocol == QLatin1String(plan.protocol))
            return plan.ids[step];
    return 0;
}

int slaveAddressFromText(const QString &text, int base)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok, base);
    if (!ok || value < kMinSlaveAddress || value > kMaxSlaveAddress)
        return -1;
    return int(value);
}

HidRequest buildHidRequest(uint8_t slave, ModbusFunction function, uint16_t start, uint16_t countOrValue)
{
    HidRequest r{};
    r[0] = 0x00; // report id
    r[1] = slave;
    r[2] = uint8_t(function);
    r[3] = uint8_t(start >> 8);
    r[4] = uint8_t(start & 0xFF);
    r[5] = uint8_t(countOrValue >> 8);
    r[6] = uint8_t(countOrValue & 0xFF);
    const uint16_t crc = crc16Modbus(r.data() + 1, 6);
    r[7] = uint8_t(crc & 0xFF);
    r[8] = uint8_t(crc >> 8);
    return r;
}

bool verifyHidReply(const uint8_t *reply, int length, int id)
{
    const TransactionSpec *spec = hidTransaction(id);
    if (!spec || !reply || length < kReplyOverheadBytes)
        return false;
    if (reply[0] != 0x01)
        return false;
    if (spec->replyFunctionChecked && reply[1] != uint8_t(spec->function))
        return false;
    const int byteCount = reply[2];
    if (byteCount != spec->expectedReplyBytes - kReplyOverheadBytes)
        return false;
    if (length < byteCount + kReplyOverheadBytes)
        return false;
    const uint16_t crc = crc16Modbus(reply, uint16_t(byteCount + kReplyHeaderBytes));
    return reply[byteCount + 3] == (crc & 0xFF) && reply[byteCount + 4] == (crc >> 8);
}
