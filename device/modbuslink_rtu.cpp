// The serial transport: Modbus-RTU master through libmodbus.
#include "core/logging.h"
#include "device/devicelinks.h"

#include <modbus.h>

#include <cerrno>

namespace {

// The device answers within 1.5 s; a pause of 0.5 s inside a reply ends it. Set on
// every context, whatever the library's defaults are.
constexpr uint32_t kResponseTimeoutSec = 1;
constexpr uint32_t kResponseTimeoutUsec = 500000;
constexpr uint32_t kByteTimeoutSec = 0;
constexpr uint32_t kByteTimeoutUsec = 500000;

class RtuLink : public ModbusLink
{
public:
    explicit RtuLink(modbus_t *ctx) : m_ctx(ctx) {}
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
    static int report(int rc, const char *what)
    {
        if (rc < 0)
            qCDebug(lcDevice, "%s: %s", what, modbus_strerror(errno));
        return rc;
    }
    modbus_t *m_ctx;
};

class RtuBackend : public ModbusBackend
{
public:
    std::unique_ptr<ModbusLink> open(const SerialLineParams &p) override
    {
        // The library does not refuse every bad line parameter itself; a bad code must
        // leave the port closed rather than open it with a guess.
        if (p.dataBits < 5 || p.dataBits > 8 || (p.stopBits != 1 && p.stopBits != 2)) {
            qCWarning(lcDevice, "serial port %s: invalid line parameters", p.device.constData());
            return nullptr;
        }
        modbus_t *ctx = modbus_new_rtu(p.device.constData(), p.baud, p.parity, p.dataBits, p.stopBits);
        if (!ctx) {
            qCWarning(lcDevice, "serial port %s: %s", p.device.constData(), modbus_strerror(errno));
            return nullptr;
        }
        modbus_set_response_timeout(ctx, kResponseTimeoutSec, kResponseTimeoutUsec);
        modbus_set_byte_timeout(ctx, kByteTimeoutSec, kByteTimeoutUsec);
        modbus_set_error_recovery(ctx, MODBUS_ERROR_RECOVERY_NONE);
        if (modbus_connect(ctx) == -1) {
            qCWarning(lcDevice, "serial port %s: %s", p.device.constData(), modbus_strerror(errno));
            modbus_free(ctx);
            return nullptr;
        }
        return std::make_unique<RtuLink>(ctx);
    }
};

} // namespace

ModbusBackend &rtuModbusBackend()
{
    static RtuBackend backend;
    return backend;
}
