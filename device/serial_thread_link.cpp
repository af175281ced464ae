// The device thread's transports: opening and closing them and the read transaction.
#include "device/serial_thread.h"

#include "core/helpers.h"
#include "core/logging.h"
#include "core/settings.h"
#include "device/decoders.h"
#include "device/transactions.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <cstring>

namespace {

// The device's USB ids; both are matched exactly (a product id of 0 is no wildcard).
constexpr uint16_t kHidVendorId = 0x0001;
constexpr uint16_t kHidProductId = 0x0000;
// Replies come in input reports of 8 bytes.
constexpr int kHidReportBytes = 8;
// The device starts its reply within 500 ms and sends each further report within 800 ms.
constexpr int kFirstReportWaitMs = 500;
constexpr int kNextReportWaitMs = 800;
// The longest reply is 89 bytes; the first phase stops once it holds more than the
// expected length, so it can hold at most 7 bytes beyond it.
constexpr int kHidReplyCapacity = 96;
// A device that keeps sending after its reply is drained for this many reports, then
// left; what it sends later meets the next transaction's reply check.
constexpr int kMaxTrailingReports = 4;
// However slowly a device drips reports, one reply read ends within this time: the
// first wait plus one full wait for each report the longest reply needs.
constexpr int kMaxReplyReadMs = kFirstReportWaitMs + kNextReportWaitMs * (kHidReplyCapacity / kHidReportBytes - 1);
// Registers and inputs of the longest serial read.
constexpr int kMaxSerialCount = 125;

QByteArray hex(const uint8_t *data, int length)
{
    return QByteArray(reinterpret_cast<const char *>(data), qMax(0, length)).toHex(' ');
}

} // namespace

bool serial_thread::openModbusPort()
{
    closeModbus();
    const DeviceLinkSettings s = linkSettings();
    SerialLineParams p;
    p.device = serialPortOpenPath(s.inverterSelectName).toLatin1();
    // An unknown line code gives 0, which leaves the port closed, rather than a guess at
    // the framing (the stored file's own fallback is 8N1).
    p.baud = devicePortBaud(s.dev_boudrate);
    p.parity = portParity(s.dev_checkbit, 0);
    p.dataBits = portDataBits(s.dev_databit, 0);
    p.stopBits = portStopBits(s.dev_stopbit, 0);
    modbusCtx = modbusBackend->open(p);
    qCDebug(lcDevice) << "serial port" << p.device << p.baud << (modbusCtx ? "open" : "not open");
    openFault = modbusCtx ? QString()
                          : QString::fromLatin1(p.device) + QStringLiteral(": ")
            + QString::fromLocal8Bit(modbusBackend->lastOpenError());
    reportOpenFault();
    return modbusCtx != nullptr;
}

void serial_thread::reportOpenFault()
{
    if (openFault == reportedOpenFault)
        return;
    if (openFault.isEmpty())
        qCInfo(lcDevice).noquote() << "device port open again (it was" << reportedOpenFault + QLatin1Char(')');
    else
        qCWarning(lcDevice).noquote() << "cannot open the device port," << openFault
                                      << "- retried every poll step without a further word until it opens";
    reportedOpenFault = openFault;
}

void serial_thread::closeModbus()
{
    modbusCtx.reset();
}

bool serial_thread::openHid()
{
    closeHid();
    hidDevice = hidBackend->open(kHidVendorId, kHidProductId);
    openFault = hidDevice ? QString() : QStringLiteral("USB-HID: no such device");
    reportOpenFault();
    qCDebug(lcDevice) << "USB-HID device" << (hidDevice ? "open" : "not found");
    return hidDevice != nullptr;
}

void serial_thread::closeHid()
{
    if (!hidDevice)
        return;
    hidDevice.reset();
    // The library is shut down after every close, so a replugged device is found anew.
    hidBackend->shutdown();
}

bool serial_thread::checkHidWritten(int written)
{
    if (written == kHidRequestBytes)
        return true;
    closeHid();
    return false;
}

int serial_thread::readHidReply(uint8_t *buffer, int capacity, int expectedLength)
{
    if (!hidDevice || !buffer || capacity <= 0)
        return 0;
    QElapsedTimer elapsed;
    elapsed.start();
    int collected = 0;
    int reads = 0;
    // Reads one report, appending what fits; false when none came (time-out, error,
    // or the time for the whole reply is spent).
    auto readReport = [&](int waitMs) {
        const qint64 left = kMaxReplyReadMs - elapsed.elapsed();
        if (left <= 0)
            return false;
        uint8_t report[kHidReportBytes];
        const int n = hidDevice->readTimeout(report, sizeof report, int(qMin<qint64>(waitMs, left)));
        ++reads;
        if (n <= 0)
            return false;
        const int take = qMin(qMin(n, kHidReportBytes), capacity - collected);
        std::memcpy(buffer + collected, report, size_t(take));
        collected += take;
        return true;
    };

    while (collected < capacity && readReport(reads == 0 ? kFirstReportWaitMs : kNextReportWaitMs)) {
        if (collected > expectedLength)
            break;
    }
    // A reply cut short by a pause is completed here; once it is complete, a device that
    // goes on sending is drained for a few reports and then left.
    const int byteCount = collected > 2 ? buffer[2] : 0;
    if (expectedLength > byteCount) {
        const int complete = qMin(expectedLength, capacity);
        int trailing = 0;
        while (trailing < kMaxTrailingReports && readReport(kNextReportWaitMs)) {
            if (collected >= complete)
                ++trailing;
        }
    }
    qCDebug(lcDeviceRaw) << "HID reply" << hex(buffer, collected);
    return collected;
}

bool serial_thread::verifyReply(const uint8_t *reply, int length, int id) const
{
    return verifyHidReply(reply, length, id);
}

int serial_thread::slaveAddress(const QString &comAddr, int base)
{
    const int slave = slaveAddressFromText(comAddr, base);
    if (slave >= 0) {
        addressWarned = false;
    } else if (!addressWarned || warnedAddress != comAddr) {
        // Address 0 would be a broadcast that every device on the bus obeys.
        qCWarning(lcDevice) << "no valid slave address in" << comAddr << "; nothing is sent";
        addressWarned = true;
        warnedAddress = comAddr;
    }
    return slave;
}

bool serial_thread::queryBlock(int id, const QString &protocol)
{
    const TransactionSpec *spec = findTransaction(id, protocol);
    if (!spec)
        return false;
    const DeviceLinkSettings s = linkSettings();
    return spec->transport == Transport::Hid ? queryHid(*spec, s) : querySerial(*spec, s);
}

bool serial_thread::queryHid(const TransactionSpec &spec, const DeviceLinkSettings &s)
{
    if (!hidDevice && !openHid())
        return false;
    int slave = 1;
    // The inverter's live-value and alarm reads are addressed to the configured slave;
    // its replies still carry address 1.
    if (spec.id >= 21 && spec.id <= 27) {
        slave = slaveAddress(s.comAddr, 16);
        if (slave < 0)
            return false;
    }
    const HidRequest request = buildHidRequest(uint8_t(slave), spec.function, spec.start, spec.count);
    qCDebug(lcDeviceRaw) << "HID request" << hex(request.data(), kHidRequestBytes);
    if (!checkHidWritten(hidDevice->write(request.data(), request.size()))) {
        qCDebug(lcDevice) << "transaction" << spec.id << "short write";
        return false;
    }
    uint8_t reply[kHidReplyCapacity] = {};
    const int length = readHidReply(reply, kHidReplyCapacity, spec.expectedReplyBytes);
    if (!verifyReply(reply, length, spec.id)) {
        qCDebug(lcDevice) << "transaction" << spec.id << "reply rejected," << length << "bytes";
        return false;
    }
    qCDebug(lcDevice) << "transaction" << spec.id << "ok";

    // verifyReply has checked that the byte count covers every register or input.
    uint16_t registers[kMaxSerialCount] = {};
    uint8_t inputs[kMaxSerialCount] = {};
    const uint8_t *data = reply + kReplyHeaderBytes;
    if (spec.kind == BlockKind::StatusBits) {
        for (int k = 0; k < spec.count; ++k)
            inputs[k] = (data[k / 8] >> (k % 8)) & 1;
    } else {
        for (int i = 0; i < spec.count; ++i)
            registers[i] = uint16_t(data[2 * i] << 8 | data[2 * i + 1]);
    }
    return decodeBlock(spec, registers, inputs);
}

bool serial_thread::querySerial(const TransactionSpec &spec, const DeviceLinkSettings &s)
{
    const int slave = slaveAddress(s.comAddr, 10);
    if (slave < 0)
        return false;
    if (!modbusCtx && !openModbusPort())
        return false;
    modbusCtx->setSlave(slave);
    uint16_t registers[kMaxSerialCount] = {};
    uint8_t inputs[kMaxSerialCount] = {};
    int rc = -1;
    switch (spec.function) {
    case ModbusFunction::ReadDiscreteInputs:
        rc = modbusCtx->readInputBits(spec.start, spec.count, inputs);
        break;
    case ModbusFunction::ReadHoldingRegisters:
        rc = modbusCtx->readRegisters(spec.start, spec.count, registers);
        break;
    case ModbusFunction::ReadInputRegisters:
        rc = modbusCtx->readInputRegisters(spec.start, spec.count, registers);
        break;
    case ModbusFunction::WriteSingleRegister:
        break; // no read transaction writes
    }
    if (rc == -1) {
        // The link has already discarded what was left of the reply; the port is still
        // reopened, as the device may have been unplugged.
        qCDebug(lcDevice) << "transaction" << spec.id << "failed; port closed";
        closeModbus();
        return false;
    }
    if (rc != spec.count) {
        qCDebug(lcDevice) << "transaction" << spec.id << "short:" << rc;
        return false;
    }
    qCDebug(lcDevice) << "transaction" << spec.id << "ok";
    return decodeBlock(spec, registers, inputs);
}

bool serial_thread::decodeBlock(const TransactionSpec &spec, const uint16_t *registers, const uint8_t *inputs)
{
    switch (spec.kind) {
    case BlockKind::StatusBits:
        return checkStatusBits(spec.id, inputs, spec.count);
    case BlockKind::ModbusBlock:
        return parseModbusBlock(DecodeContext{linkSettings().comProtocol, gbkCodec}, spec.id, registers, spec.count);
    case BlockKind::HidBlock:
        return parseHidBlock(DecodeContext{linkSettings().comProtocol, gbkCodec}, spec.id, registers, spec.count);
    case BlockKind::InverterModelBlock:
        return parseInverterModelBlock(spec.id, registers, spec.count);
    }
    return false;
}
