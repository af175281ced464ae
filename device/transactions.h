#pragma once
// The read transactions of the poll plan and the wire form of their USB-HID requests
// and replies. Pure functions: callable from any thread.
#include "core/protocolcode.h"

#include <QString>

#include <array>
#include <cstdint>

using Transport = DeviceTransport;

// The Modbus function codes of this master's requests.
enum class ModbusFunction : uint8_t {
    ReadDiscreteInputs = 2,
    ReadHoldingRegisters = 3,
    ReadInputRegisters = 4,
    WriteSingleRegister = 6,
};

// How a transaction's reply is handed on.
enum class BlockKind { StatusBits, ModbusBlock, HidBlock, InverterModelBlock };

struct TransactionSpec
{
    int id = 0;
    // The protocol codes whose poll plans read this transaction, one character each.
    const char *protocols = "";
    Transport transport = Transport::Serial;
    ModbusFunction function = ModbusFunction::ReadInputRegisters;
    uint16_t start = 0;
    uint16_t count = 0;
    // USB-HID only: the whole reply, slave address to CRC: byte count + 5.
    int expectedReplyBytes = 0;
    // USB-HID only: whether the reply check compares the function code of the reply.
    bool replyFunctionChecked = false;
    BlockKind kind = BlockKind::ModbusBlock;
};

// The transaction that id reads on protocol code protocol; null when the code does not
// have that id (ids 6 and 20 exist nowhere; an unknown code has none).
const TransactionSpec *findTransaction(int id, const QString &protocol);
// True for a transaction read by a code of the inverter family.
bool isInverterTransaction(const TransactionSpec &spec);
// The transaction with id whose block a decoder of kind decodes, whichever protocol
// code reads it (an id names the same registers for one kind on every code); null when
// there is none.
const TransactionSpec *findTransaction(int id, BlockKind kind);

// Steps in one poll plan.
inline constexpr int kPollPlanSteps = 10;
// The id of one poll step, or 0 when the protocol code has no plan.
int pollPlanId(const QString &protocol, int step);

// Modbus allows slave addresses 1 to 247; 0 is the broadcast every device obeys.
inline constexpr int kMinSlaveAddress = 1;
inline constexpr int kMaxSlaveAddress = 247;
// comAddr as the serial link and the inverter's USB-HID reads use it (decimal or
// hexadecimal); -1 when it is not a number or lies outside 1..247, so nothing is sent.
int slaveAddressFromText(const QString &text, int base);

// A USB-HID output report: report id 0, then one Modbus-RTU request of 8 bytes.
inline constexpr int kHidRequestBytes = 9;
using HidRequest = std::array<uint8_t, kHidRequestBytes>;
// Function, first register or input, count (or value for function 6), CRC low then high.
HidRequest buildHidRequest(uint8_t slave, ModbusFunction function, uint16_t start, uint16_t countOrValue);

// Modbus-RTU reply framing: address, function, byte count, data, CRC low, CRC high.
inline constexpr int kReplyHeaderBytes = 3;
inline constexpr int kReplyOverheadBytes = 5;

// The reply checks of a USB-HID read transaction: slave 1, the function where the
// transaction checks it, the byte count it expects, enough bytes for it, and the CRC.
// An exception reply (function | 0x80, one data byte) therefore never passes.
bool verifyHidReply(const uint8_t *reply, int length, int id);
