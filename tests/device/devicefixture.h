#pragma once
// A device thread that was never started, on the fake serial and USB-HID links, with a
// fresh shared state and a fixed clock. Tests drive it call by call or pass by pass.
#include "device/serial_thread.h"
#include "tests/support/fakelinks.h"
#include "tests/support/testenv.h"

struct DeviceFixture
{
    explicit DeviceFixture(const QDateTime &now = QDateTime(QDate(2026, 1, 15), QTime(12, 0))) : env(now)
    {
        thread.setBackends(&modbus, &hid);
    }
    ~DeviceFixture()
    {
        thread.stop();
        thread.wait();
    }

    TestEnv env;
    FakeModbusBackend modbus;
    FakeHidBackend hid;
    serial_thread thread; // last: closes its links while the fakes still exist
};

// The link settings of a working set-up: 9600 8N1 on a named port.
inline void setLinkSettings(const QString &protocol, const QString &comAddr = QStringLiteral("1"),
                            const QString &portName = QStringLiteral("/tmp/fake-port"))
{
    useSerialDevice(portName, protocol, comAddr, QStringLiteral("4"));
}
