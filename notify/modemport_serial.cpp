// The modem port on QtSerialPort, driven without an event loop through its blocking waits.
#include "notify/modemlink.h"

#include <QSerialPort>

namespace {

// A write to a modem of a few hundred bytes leaves the driver at once; one that does not
// leave within this time has met a port that is gone or stuck.
constexpr int kWriteTimeoutMs = 500;

class SerialModemPort : public ModemPort
{
public:
    explicit SerialModemPort(std::unique_ptr<QSerialPort> port) : m_port(std::move(port)) {}
    ~SerialModemPort() override { m_port->close(); }

    bool write(const QByteArray &data) override
    {
        if (failed())
            return false;
        if (m_port->write(data) != data.size())
            return false;
        while (m_port->bytesToWrite() > 0)
            if (!m_port->waitForBytesWritten(kWriteTimeoutMs))
                return false;
        return !failed();
    }

    QByteArray read(int waitMs) override
    {
        if (failed())
            return {};
        // Without an event loop nothing moves bytes from the driver into the port's buffer
        // but a wait: a wait of 0 still takes what came while no one was waiting.
        if (m_port->bytesAvailable() == 0)
            m_port->waitForReadyRead(qMax(waitMs, 0));
        return m_port->readAll();
    }

    bool failed() const override
    {
        const QSerialPort::SerialPortError e = m_port->error();
        return e == QSerialPort::ResourceError || e == QSerialPort::DeviceNotFoundError
               || e == QSerialPort::PermissionError || !m_port->isOpen();
    }

private:
    std::unique_ptr<QSerialPort> m_port;
};

class SerialModemBackend : public ModemBackend
{
public:
    std::unique_ptr<ModemPort> open(const ModemLineParams &params, QString *error) override
    {
        auto port = std::make_unique<QSerialPort>();
        port->setPortName(params.portName);
        if (!port->open(QIODevice::ReadWrite)) {
            if (error)
                *error = port->errorString();
            return nullptr;
        }
        const QSerialPort::Parity parity = params.parity == 'O'   ? QSerialPort::OddParity
                                           : params.parity == 'E' ? QSerialPort::EvenParity
                                                                  : QSerialPort::NoParity;
        const bool set = port->setBaudRate(params.baud) && port->setDataBits(QSerialPort::DataBits(params.dataBits))
                         && port->setParity(parity)
                         && port->setStopBits(params.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)
                         && port->setFlowControl(QSerialPort::NoFlowControl);
        // A pty takes no line settings; only a port that is gone fails here for real.
        if (!set && port->error() == QSerialPort::ResourceError) {
            if (error)
                *error = port->errorString();
            return nullptr;
        }
        port->clearError();
        return std::make_unique<SerialModemPort>(std::move(port));
    }
};

} // namespace

ModemBackend &serialModemBackend()
{
    static SerialModemBackend backend;
    return backend;
}
