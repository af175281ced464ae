#include "device/transactions.h"

#include "core/helpers.h"

namespace {

using T = Transport;
using K = BlockKind;

// Serial replies are validated by the library, so they carry no expected length.
const TransactionSpec kTransactions[] = {
    {1, T::Serial, 2, 0, 32, 0, K::StatusBits},
    {2, T::Serial, 3, 0, 68, 0, K::ModbusBlock},
    {3, T::Serial, 4, 0, 125, 0, K::ModbusBlock},
    {4, T::Serial, 4, 0x8000, 58, 0, K::ModbusBlock},
    {5, T::Serial, 4, 126, 95, 0, K::ModbusBlock},
    {15, T::Serial, 4, 0, 125, 0, K::InverterModelBlock},
    {16, T::Serial, 4, 125, 20, 0, K::InverterModelBlock},
    {17, T::Serial, 2, 0, 125, 0, K::StatusBits},
    {18, T::Serial, 2, 125, 76, 0, K::StatusBits},
    {19, T::Serial, 3, 0, 52, 0, K::InverterModelBlock},
};

const TransactionSpec kHidTransactions[] = {
    {1, T::Hid, 2, 0, 32, 9, K::StatusBits},
    {2, T::Hid, 3, 0, 42, 89, K::HidBlock},
    {7, T::Hid, 4, 0, 21, 47, K::HidBlock},
    {8, T::Hid, 4, 21, 21, 47, K::HidBlock},
    {9, T::Hid, 4, 42, 21, 47, K::HidBlock},
    {10, T::Hid, 4, 63, 10, 25, K::HidBlock},
    {11, T::Hid, 4, 84, 21, 47, K::HidBlock},
    {12, T::Hid, 4, 105, 7, 19, K::HidBlock},
    {13, T::Hid, 4, 0x8000, 20, 45, K::HidBlock},
    {14, T::Hid, 4, 0x8014, 12, 29, K::HidBlock},
    {21, T::Hid, 4, 0, 32, 69, K::HidBlock},
    {22, T::Hid, 4, 32, 32, 69, K::HidBlock},
    {23, T::Hid, 4, 64, 32, 69, K::HidBlock},
    {24, T::Hid, 4, 96, 32, 69, K::HidBlock},
    {25, T::Hid, 4, 128, 17, 39, K::HidBlock},
    {26, T::Hid, 2, 0, 120, 20, K::StatusBits},
    {27, T::Hid, 2, 120, 80, 15, K::StatusBits},
    {28, T::Hid, 3, 20, 32, 69, K::HidBlock},
};

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

bool idBelongsTo(int id, const QString &protocol)
{
    if (protocol == QLatin1String("0") || protocol == QLatin1String("1"))
        return id >= 1 && id <= 5;
    if (protocol == QLatin1String("2"))
        return id == 1 || id == 2 || (id >= 7 && id <= 14);
    if (protocol == QLatin1String("3"))
        return id >= 15 && id <= 19;
    if (protocol == QLatin1String("4"))
        return id >= 21 && id <= 28;
    return false;
}

} // namespace

bool isSerialProtocol(const QString &protocol)
{
    return protocol == QLatin1String("0") || protocol == QLatin1String("1") || protocol == QLatin1String("3");
}

Transport transportFor(const QString &protocol)
{
    return isSerialProtocol(protocol) ? Transport::Serial : Transport::Hid;
}

const TransactionSpec *findTransaction(int id, const QString &protocol)
{
    if (!idBelongsTo(id, protocol))
        return nullptr;
    if (transportFor(protocol) == Transport::Serial) {
        for (const TransactionSpec &t : kTransactions)
            if (t.id == id)
                return &t;
    } else {
        for (const TransactionSpec &t : kHidTransactions)
            if (t.id == id)
                return &t;
    }
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

HidRequest buildHidRequest(uint8_t slave, uint8_t function, uint16_t start, uint16_t countOrValue)
{
    HidRequest r{};
    r[0] = 0x00; // report id
    r[1] = slave;
    r[2] = function;
    r[3] = uint8_t(start >> 8);
    r[4] = uint8_t(start & 0xFF);
    r[5] = uint8_t(countOrValue >> 8);
    r[6] = uint8_t(countOrValue & 0xFF);
    const uint16_t crc = crc16Modbus(r.data() + 1, 6);
    r[7] = uint8_t(crc & 0xFF);
    r[8] = uint8_t(crc >> 8);
    return r;
}

namespace {
// The function code a reply must carry, or 0 when the id's check leaves it open.
int requiredFunction(int id)
{
    if (id == 1)
        return 2;
    if (id == 2)
        return 3;
    if (id >= 10 && id <= 14)
        return 4;
    return 0;
}
} // namespace

bool verifyHidReply(const uint8_t *reply, int length, int id)
{
    const TransactionSpec *spec = findTransaction(id, id >= 21 ? QStringLiteral("4") : QStringLiteral("2"));
    if (!spec || !reply || length < kReplyOverheadBytes)
        return false;
    if (reply[0] != 0x01)
        return false;
    const int function = requiredFunction(id);
    if (function != 0 && reply[1] != function)
        return false;
    const int byteCount = reply[2];
    if (byteCount != spec->expectedReplyBytes - kReplyOverheadBytes)
        return false;
    if (length < byteCount + kReplyOverheadBytes)
        return false;
    const uint16_t crc = crc16Modbus(reply, uint16_t(byteCount + kReplyHeaderBytes));
    return reply[byteCount + 3] == (crc & 0xFF) && reply[byteCount + 4] == (crc >> 8);
}
