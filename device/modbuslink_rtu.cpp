// The serial transport: Modbus-RTU master through libmodbus.
#include "core/logging.h"
#include "device/devicelinks.h"

#include <modbus.h>

#include <poll.h>
#include <unistd.h>

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>

namespace {

// An RTU frame ends after a silence of 3.5 characters; above 19200 baud the gap is fixed
// at 1750 us, since the character time would leave too little for the receiver.
constexpr int kGapCharsTimes2 = 7;
constexpr int kFastBaud = 19200;
constexpr int kFastGapUsec = 1750;
// USB serial adapters hand on what they received every 16 ms (their latency timer), so a
// line counts as quiet only after longer than that, whatever the baud rate.
constexpr int kMinQuietMs = 20;
// A device that never stops sending is left after this long; the next failed reply
// resynchronises again.
constexpr int kMaxDrainMs = 1000;

int quietGapMs(const SerialLineParams &p)
{
    const int bitsPerChar = 1 + p.dataBits + (p.parity == 'N' ? 0 : 1) + p.stopBits;
    const long gapUsec = p.baud > kFastBaud ? kFastGapUsec
                                            : (long(kGapCharsTimes2) * bitsPerChar * 1000000L) / (2L * p.baud);
    return std::max(kMinQuietMs, int((gapUsec + 999) / 1000));
}

class RtuLink : public ModbusLink
{
public:
    RtuLink(modbus_t *ctx, int quietMs) : m_ctx(ctx), m_quietMs(quietMs) {}
    ~RtuLink() override
    {
        modbus_close(m_ctx);
        modbus_free(m_ctx);
    }
    bool setSlave(int slave) override { return modbus_set_slave(m_ctx, slave) == 0; }
    int readInputBits(int address, int count, uint8_t *dest) override
    {
        return report(modbus_read_input_bits(m_ctx, address, count, dest), "read input bits");
    }
    int readRegisters(int address, int count, uint16_t *dest) override
    {
        return report(modbus_read_registers(m_ctx, address, count, dest), "read holding registers");
    }
    int readInputRegisters(int address, int count, uint16_t *dest) override
    {
        return report(modbus_read_input_registers(m_ctx, address, count, dest), "read input registers");
    }
    int writeRegister(int address, uint16_t value) override
    {
        return report(modbus_write_register(m_ctx, address, value), "write register");
    }

private:
    int report(int rc, const char *what)
    {
        if (rc < 0) {
            qCDebug(lcDevice, "%s: %s", what, modbus_strerror(errno));
            resynchronise();
        }
        return rc;
    }

    // After a failed or malformed reply the rest of it (or a late one) may still be in
    // the input buffer or on its way; read as the next reply, it would put every later
    // transaction out of step. Reopening the port discards nothing while the other end
    // stays open (a pty, an adapter with its own buffer), so the input is flushed and
    // drained until the line has been quiet for a whole inter-frame gap.
    void resynchronise()
    {
        modbus_flush(m_ctx);
        const int fd = modbus_get_socket(m_ctx);
        if (fd < 0)
            return;
        QElapsedTimer elapsed;
        elapsed.start();
        qint64 discarded = 0;
        while (elapsed.elapsed() < kMaxDrainMs) {
            pollfd pfd{fd, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, m_quietMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || !(pfd.revents & POLLIN))
                break;
            char scratch[256];
            const ssize_t n = ::read(fd, scratch, sizeof scratch);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            discarded += n;
        }
        qCDebug(lcDeviceRaw) << "resynchronised; discarded" << discarded << "bytes after the flush";
    }

    modbus_t *m_ctx;
    const int m_quietMs;
};

// The library takes its time-outs as seconds and microseconds.
void setTimeout(modbus_t *ctx, int (*set)(modbus_t *, uint32_t, uint32_t), int ms)
{
    set(ctx, uint32_t(ms / 1000), uint32_t(ms % 1000) * 1000);
}

class RtuBackend : public ModbusBackend
{
public:
    explicit RtuBackend(const ModbusLinkTimings &timings) : m_timings(timings) {}
    std::unique_ptr<ModbusLink> open(const SerialLineParams &p) override
    {
        // The library does not refuse every bad line parameter itself; a bad code must
        // leave the port closed rather than open it with a guess.
        if (p.dataBits < 5 || p.dataBits > 8 || (p.stopBits != 1 && p.stopBits != 2)) {
            // The device thread reports a failed open once, when it starts (lastOpenError).
            qCDebug(lcDevice, "serial port %s: invalid line parameters", p.device.constData());
            m_lastError = "invalid line parameters";
            return nullptr;
        }
        modbus_t *ctx = modbus_new_rtu(p.device.constData(), p.baud, p.parity, p.dataBits, p.stopBits);
        if (!ctx) {
            m_lastError = modbus_strerror(errno);
            qCDebug(lcDevice, "serial port %s: %s", p.device.constData(), m_lastError.constData());
            return nullptr;
        }
        // Set on every context, whatever the library's defaults are.
        setTimeout(ctx, modbus_set_response_timeout, m_timings.responseMs);
        setTimeout(ctx, modbus_set_byte_timeout, m_timings.byteMs);
        modbus_set_error_recovery(ctx, MODBUS_ERROR_RECOVERY_NONE);
        if (modbus_connect(ctx) == -1) {
            m_lastError = modbus_strerror(errno);
            qCDebug(lcDevice, "serial port %s: %s", p.device.constData(), m_lastError.constData());
            modbus_free(ctx);
            return nullptr;
        }
        m_lastError.clear();
        return std::make_unique<RtuLink>(ctx, quietGapMs(p));
    }
    QByteArray lastOpenError() const override { return m_lastError; }

private:
    const ModbusLinkTimings m_timings;
    QByteArray m_lastError; // device thread only, like every open()
};

} // namespace

ModbusBackend &rtuModbusBackend()
{
    static RtuBackend backend{ModbusLinkTimings()};
    return backend;
}

std::unique_ptr<ModbusBackend> makeRtuModbusBackend(const ModbusLinkTimings &timings)
{
    return std::make_unique<RtuBackend>(timings);
}
