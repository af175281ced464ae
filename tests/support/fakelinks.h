#pragma once
// Fake transports for the device thread: a Modbus-RTU link and a USB-HID report device
// that record every request and answer from a fault plan. Header-only; the user links
// kestrava_device.
#include "core/helpers.h"
#include "device/devicelinks.h"

#include <QByteArray>
#include <QList>

#include <cstring>
#include <memory>

// ---- serial -------------------------------------------------------------------------

struct FakeModbusRequest
{
    int slave = 0;
    int function = 0; // 2, 3, 4 reads; 6 write
    int address = 0;
    int count = 0;    // for a write: the value
    bool operator==(const FakeModbusRequest &o) const
    {
        return slave == o.slave && function == o.function && address == o.address && count == o.count;
    }
};

enum class ModbusFault {
    None,
    Error, // -1, as a time-out, CRC error or exception reply gives
    Short  // one register or input fewer than asked
};

class FakeModbusBackend : public ModbusBackend
{
public:
    std::unique_ptr<ModbusLink> open(const SerialLineParams &params) override;

    bool refuseOpen = false;
    QByteArray openError; // what a refused open says, as the system would
    QByteArray lastOpenError() const override { return refuseOpen ? openError : QByteArray(); }
    QList<SerialLineParams> opens;
    QList<FakeModbusRequest> requests; // reads and writes, oldest first
    QList<ModbusFault> faults;         // one per read, oldest first; none left: None
    int linksAlive = 0;
    // Register i of a reply holds valueBase + address + i; inputs alternate 1, 0.
    uint16_t valueBase = 0;

    ModbusFault nextFault() { return faults.isEmpty() ? ModbusFault::None : faults.takeFirst(); }
};

class FakeModbusLink : public ModbusLink
{
public:
    explicit FakeModbusLink(FakeModbusBackend *b) : m_b(b) { ++m_b->linksAlive; }
    ~FakeModbusLink() override { --m_b->linksAlive; }
    bool setSlave(int slave) override
    {
        m_slave = slave;
        return true;
    }
    int readInputBits(int address, int count, uint8_t *dest) override
    {
        return read(2, address, count, [&](int i) { dest[i] = uint8_t((i + 1) % 2); });
    }
    int readRegisters(int address, int count, uint16_t *dest) override
    {
        return read(3, address, count, [&](int i) { dest[i] = uint16_t(m_b->valueBase + address + i); });
    }
    int readInputRegisters(int address, int count, uint16_t *dest) override
    {
        return read(4, address, count, [&](int i) { dest[i] = uint16_t(m_b->valueBase + address + i); });
    }
    int writeRegister(int address, uint16_t value) override
    {
        m_b->requests.append({m_slave, 6, address, value});
        return 1;
    }

private:
    template<typename Fill>
    int read(int function, int address, int count, Fill fill)
    {
        m_b->requests.append({m_slave, function, address, count});
        switch (m_b->nextFault()) {
        case ModbusFault::Error:
            return -1;
        case ModbusFault::Short:
            for (int i = 0; i < count - 1; ++i)
                fill(i);
            return count - 1;
        case ModbusFault::None:
            break;
        }
        for (int i = 0; i < count; ++i)
            fill(i);
        return count;
    }
    FakeModbusBackend *m_b;
    int m_slave = -1;
};

inline std::unique_ptr<ModbusLink> FakeModbusBackend::open(const SerialLineParams &params)
{
    opens.append(params);
    if (refuseOpen)
        return nullptr;
    return std::make_unique<FakeModbusLink>(this);
}

// ---- USB-HID ------------------------------------------------------------------------

enum class HidFault {
    None,
    Silent,        // no report at all
    ShortWrite,    // writes 8 of the 9 bytes and sends nothing
    Exception,     // function | 0x80, exception code 2
    WrongSlave,    // the reply carries the request's slave address
    BadCrc,        // CRC bytes swapped
    Truncated,     // the last report of the reply never comes
    Gap,           // one time-out after the first report, then the rest
    Endless        // reports without end
};

// Appends the Modbus CRC of the frame so far, low byte first.
inline void appendModbusCrc(QByteArray &frame)
{
    const uint16_t crc = crc16Modbus(reinterpret_cast<const uint8_t *>(frame.constData()), uint16_t(frame.size()));
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}

// A Modbus-RTU reply to a read request, as the device builds it: address 1, function,
// byte count, data, CRC (registers hold valueBase + address + i, inputs alternate 1, 0).
inline QByteArray fakeModbusReply(int function, int start, int count, uint16_t valueBase = 0, uint8_t slave = 1)
{
    QByteArray r;
    r.append(char(slave));
    r.append(char(function));
    if (function == 2) {
        QByteArray bits((count + 7) / 8, '\0');
        for (int k = 0; k < count; ++k)
            if ((k + 1) % 2)
                bits[k / 8] = char(uint8_t(bits[k / 8]) | (1 << (k % 8)));
        r.append(char(bits.size()));
        r.append(bits);
    } else {
        r.append(char(2 * count));
        for (int i = 0; i < count; ++i) {
            const uint16_t v = uint16_t(valueBase + start + i);
            r.append(char(v >> 8));
            r.append(char(v & 0xFF));
        }
    }
    appendModbusCrc(r);
    return r;
}

class FakeHidBackend;

class FakeHidDevice : public HidDevice
{
public:
    static constexpr int kReportBytes = 8;
    explicit FakeHidDevice(FakeHidBackend *b);
    ~FakeHidDevice() override;
    int write(const uint8_t *data, size_t length) override;
    int readTimeout(uint8_t *data, size_t length, int milliseconds) override;

private:
    FakeHidBackend *m_b;
    QByteArray m_pending;
    int m_gapAfter = -1; // reports to hand out before one time-out
    bool m_endless = false;
};

class FakeHidBackend : public HidBackend
{
public:
    std::unique_ptr<HidDevice> open(uint16_t vendorId, uint16_t productId) override
    {
        openedIds.append(qMakePair(vendorId, productId));
        if (!present)
            return nullptr;
        auto device = std::make_unique<FakeHidDevice>(this);
        openDevice = device.get();
        return device;
    }
    void shutdown() override { ++shutdowns; }

    HidFault nextFault() { return faults.isEmpty() ? HidFault::None : faults.takeFirst(); }

    bool present = true;
    QList<QPair<uint16_t, uint16_t>> openedIds;
    int shutdowns = 0;
    int devicesAlive = 0;
    FakeHidDevice *openDevice = nullptr; // the newest device still open, owned by its opener
    QList<QByteArray> requests;  // every output report as written
    QList<HidFault> faults;      // one per request, oldest first
    QList<int> readWaits;        // the time-out of every read
    uint16_t valueBase = 0;
    // Replaces the device's answer to the next request (already framed).
    QList<QByteArray> scriptedReplies;
};

inline FakeHidDevice::FakeHidDevice(FakeHidBackend *b) : m_b(b) { ++m_b->devicesAlive; }
inline FakeHidDevice::~FakeHidDevice()
{
    --m_b->devicesAlive;
    if (m_b->openDevice == this)
        m_b->openDevice = nullptr;
}

inline int FakeHidDevice::write(const uint8_t *data, size_t length)
{
    const QByteArray request(reinterpret_cast<const char *>(data), int(length));
    m_b->requests.append(request);
    const HidFault fault = m_b->nextFault();
    if (fault == HidFault::ShortWrite)
        return int(length) - 1;
    if (length != 9 || data[2] == 6)
        return int(length); // commands get no answer
    const int function = data[2];
    const int start = data[3] << 8 | data[4];
    const int count = data[5] << 8 | data[6];
    QByteArray reply = m_b->scriptedReplies.isEmpty()
                           ? fakeModbusReply(function, start, count, m_b->valueBase,
                                             fault == HidFault::WrongSlave ? data[1] : 1)
                           : m_b->scriptedReplies.takeFirst();
    switch (fault) {
    case HidFault::Silent:
        reply.clear();
        break;
    case HidFault::Exception: {
        reply = QByteArray::fromHex("01");
        reply.append(char(function | 0x80));
        reply.append(char(0x02));
        appendModbusCrc(reply);
        break;
    }
    case HidFault::BadCrc:
        std::swap(reply.data()[reply.size() - 1], reply.data()[reply.size() - 2]);
        break;
    case HidFault::Truncated:
        reply.chop(((reply.size() - 1) % kReportBytes) + 1);
        break;
    case HidFault::Gap:
        m_gapAfter = 1;
        break;
    case HidFault::Endless:
        m_endless = true;
        break;
    default:
        break;
    }
    m_pending += reply;
    return int(length);
}

inline int FakeHidDevice::readTimeout(uint8_t *data, size_t length, int milliseconds)
{
    m_b->readWaits.append(milliseconds);
    if (m_gapAfter == 0) {
        m_gapAfter = -1;
        return 0;
    }
    if (m_gapAfter > 0)
        --m_gapAfter;
    if (m_pending.isEmpty() && m_endless)
        m_pending = QByteArray(kReportBytes, char(0xA5));
    if (m_pending.isEmpty())
        return 0;
    // Input reports have a fixed size; the last one of a reply is padded with zeros.
    QByteArray report = m_pending.left(kReportBytes);
    m_pending.remove(0, kReportBytes);
    report.append(QByteArray(kReportBytes - report.size(), '\0'));
    const size_t n = qMin(length, size_t(kReportBytes));
    std::memcpy(data, report.constData(), n);
    return int(n);
}
