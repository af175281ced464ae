#pragma once
// The two ways the device thread reaches the power device, each behind a small
// interface so that tests and the fuzz targets can plug in fakes that script faults.
//
// Thread: every object here is used by the device thread alone (tests may drive a
// thread object that was never started from their own thread).
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>

// Serial line parameters as the library takes them. A value of 0 (parity, data bits,
// stop bits) means the stored code was not a valid one.
struct SerialLineParams
{
    QByteArray device; // the path or name to open, Latin-1
    int baud = 0;
    char parity = 0;   // 'N', 'O', 'E'
    int dataBits = 0;  // 6, 7, 8
    int stopBits = 0;  // 1, 2
};

// One connected Modbus-RTU master context. Destroying it closes and frees it.
// The reads return the count read, or -1 on any error (time-out, CRC, exception reply,
// line error).
class ModbusLink
{
public:
    virtual ~ModbusLink() = default;
    virtual bool setSlave(int slave) = 0;
    virtual int readInputBits(int address, int count, uint8_t *dest) = 0;
    virtual int readRegisters(int address, int count, uint16_t *dest) = 0;
    virtual int readInputRegisters(int address, int count, uint16_t *dest) = 0;
    virtual int writeRegister(int address, uint16_t value) = 0;
};

class ModbusBackend
{
public:
    virtual ~ModbusBackend() = default;
    // A connected context, or null when it cannot be created or does not connect.
    virtual std::unique_ptr<ModbusLink> open(const SerialLineParams &params) = 0;
    // Why the latest open() gave null, in the system's words; empty when not known.
    virtual QByteArray lastOpenError() const { return QByteArray(); }
};

// One open USB-HID device in blocking mode. Destroying it closes it.
class HidDevice
{
public:
    virtual ~HidDevice() = default;
    // Bytes written, or -1.
    virtual int write(const uint8_t *data, size_t length) = 0;
    // Bytes of one input report, 0 on a time-out, -1 on an error.
    virtual int readTimeout(uint8_t *data, size_t length, int milliseconds) = 0;
};

class HidBackend
{
public:
    virtual ~HidBackend() = default;
    // The first device whose ids equal vendorId and productId exactly, or null.
    virtual std::unique_ptr<HidDevice> open(uint16_t vendorId, uint16_t productId) = 0;
    // Shuts the library down; it starts again at the next open.
    virtual void shutdown() = 0;
};

// How long the serial link waits on the device, in ms: for a reply to begin, and for each
// further byte once it has. Tests that make a device fall silent take short ones.
struct ModbusLinkTimings
{
    // The device answers within 1.5 s; a pause of 0.5 s inside a reply ends it.
    int responseMs = 1500;
    int byteMs = 500;
};

// The real back ends (libmodbus, hidapi); process-wide, stateless apart from the library.
// The serial one waits as ModbusLinkTimings' defaults say.
ModbusBackend &rtuModbusBackend();
HidBackend &hidapiBackend();
// A serial back end of its own that waits as `timings` says.
std::unique_ptr<ModbusBackend> makeRtuModbusBackend(const ModbusLinkTimings &timings);
