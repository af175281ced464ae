// Decoding of register and input blocks into the shared device state.
#include "serial_thread.h"

bool serial_thread::parseModbusBlock(int id, const quint16 *block, int count)
{
    Q_UNUSED(id)
    Q_UNUSED(block)
    Q_UNUSED(count)
    return true;
}

bool serial_thread::parseHidBlock(int id, const quint16 *block, int count)
{
    Q_UNUSED(id)
    Q_UNUSED(block)
    Q_UNUSED(count)
    return true;
}

void serial_thread::updateSettingRegisters(const quint16 *block, int count)
{
    Q_UNUSED(block)
    Q_UNUSED(count)
}

bool serial_thread::parseInverterModelBlock(int id, const quint16 *block, int count)
{
    Q_UNUSED(id)
    Q_UNUSED(block)
    Q_UNUSED(count)
    return true;
}

void serial_thread::parseDeviceIdentity(const quint16 *block, int count)
{
    Q_UNUSED(block)
    Q_UNUSED(count)
}

void serial_thread::parseDeviceVersions(const quint16 *block, int count)
{
    Q_UNUSED(block)
    Q_UNUSED(count)
}

bool serial_thread::checkStatusBits(int id, const quint8 *inputs, int count)
{
    Q_UNUSED(id)
    Q_UNUSED(inputs)
    Q_UNUSED(count)
    return true;
}
