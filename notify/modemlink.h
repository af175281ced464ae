#pragma once
// The SMS thread's way to the GSM modem: a serial port behind a small interface, so tests
// can plug in a fake that scripts the modem's faults (tests/support/fakemodem.h).
//
// Thread: a port is opened, used and destroyed by the SMS thread alone.
#include <QByteArray>
#include <QString>

#include <memory>

struct ModemLineParams
{
    QString portName; // a name such as ttyUSB0 or COM3, or a path such as /dev/ttyUSB0
    int baud = 0;
    int dataBits = 0;
    char parity = 'N'; // 'N', 'O', 'E'
    int stopBits = 0;
};

// One open modem port. Destroying it closes it.
class ModemPort
{
public:
    virtual ~ModemPort() = default;
    // Writes all of data; false when the port reports an error or does not take it.
    virtual bool write(const QByteArray &data) = 0;
    // The bytes that have come, waiting up to waitMs for the first; empty when none came.
    virtual QByteArray read(int waitMs) = 0;
    // True once the port has failed for good (unplugged, I/O error): only a reopen helps.
    virtual bool failed() const = 0;
};

class ModemBackend
{
public:
    virtual ~ModemBackend() = default;
    // An open port, or null (with the reason in error) when it cannot be opened.
    virtual std::unique_ptr<ModemPort> open(const ModemLineParams &params, QString *error) = 0;
};

// The real back end (QtSerialPort); process-wide and stateless.
ModemBackend &serialModemBackend();
