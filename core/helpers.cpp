#include "core/helpers.h"

#include <QMutex>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStorageInfo>

#include <algorithm>
#include <array>
#include <cmath>

namespace {
// The two byte tables of the table-driven CRC-16/MODBUS (reflected polynomial 0xA001):
// hiTable holds the byte folded into the running low byte, loTable the new high byte.
struct CrcTables
{
    std::array<uint8_t, 256> hi{};
    std::array<uint8_t, 256> lo{};
};

constexpr CrcTables makeCrcTables()
{
    CrcTables t;
    for (int i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        t.hi[i] = static_cast<uint8_t>(crc & 0xFF);
        t.lo[i] = static_cast<uint8_t>(crc >> 8);
    }
    return t;
}

constexpr CrcTables kCrcTables = makeCrcTables();

QString formatFixed(const QString &text, int decimals)
{
    // The number reader takes "inf" and "nan" too; neither is a value to show or store.
    const double value = numberOrZero<double>(text);
    return QStringLiteral("%1").arg(std::isfinite(value) ? value : 0.0, 0, 'f', decimals);
}

// Key bytes stay below 0x20: XOR then changes only the low five bits, so printable
// ASCII stays printable ASCII and the scrambled text stays valid UTF-8.
uint8_t scrambleKey(int position)
{
    return static_cast<uint8_t>(1 + (position * 7 + 3) % 31);
}

QList<SerialPortEntry> systemSerialPorts()
{
    QList<SerialPortEntry> ports;
    QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    std::sort(infos.begin(), infos.end(),
              [](const QSerialPortInfo &a, const QSerialPortInfo &b) { return a.portName() < b.portName(); });
    for (const QSerialPortInfo &info : infos)
        ports.append(SerialPortEntry{info.systemLocation(), info.portName()});
    return ports;
}

// Saving one of our files takes a few pages of the file system; less free room than this
// is taken for the cause of a failed write.
constexpr qint64 kRoomForASaveBytes = 64 * 1024;

QMutex listerMutex;
SerialPortLister currentLister;

QList<SerialPortEntry> listPorts()
{
    SerialPortLister lister;
    {
        QMutexLocker l(&listerMutex);
        lister = currentLister;
    }
    return lister ? lister() : systemSerialPorts();
}
}

uint16_t crc16Modbus(const uint8_t *data, uint16_t length)
{
    uint8_t first = 0xFF;
    uint8_t second = 0xFF;
    for (uint16_t i = 0; i < length; ++i) {
        const uint8_t index = first ^ data[i];
        first = second ^ kCrcTables.hi[index];
        second = kCrcTables.lo[index];
    }
    return static_cast<uint16_t>(second << 8 | first);
}

QString format2Decimals(const QString &text)
{
    return formatFixed(text, 2);
}

QString format1Decimal(const QString &text)
{
    return formatFixed(text, 1);
}

QByteArray toUtf8Bytes(const QString &text)
{
    return text.isEmpty() ? QByteArray() : text.toUtf8();
}

QString fromUtf8Bytes(const QByteArray &bytes)
{
    return bytes.isEmpty() ? QString() : QString::fromUtf8(bytes);
}

QString scramblePassword(const QString &text, int flag)
{
    const QByteArray in = toUtf8Bytes(text);
    const int n = in.size();
    QByteArray out(n, '\0');
    for (int j = 0; j < n; ++j) {
        const uint8_t key = scrambleKey(flag == ScrambleEncode ? j : n - 1 - j);
        out[n - 1 - j] = static_cast<char>(static_cast<uint8_t>(in[j]) ^ key);
    }
    return fromUtf8Bytes(out);
}

void setSerialPortLister(SerialPortLister lister)
{
    QMutexLocker l(&listerMutex);
    currentLister = std::move(lister);
}

int serialPortCount()
{
    return listPorts().size();
}

QStringList serialPortNames()
{
    QStringList names;
    for (const SerialPortEntry &port : listPorts())
        names.append(port.value);
    return names;
}

QString getSerialPortName(int index, const QString &mode)
{
    const QList<SerialPortEntry> ports = listPorts();
    if (index < 0 || index >= ports.size())
        return QStringLiteral("nokey");
    if (mode == QLatin1String("key"))
        return ports.at(index).key;
    if (mode == QLatin1String("value"))
        return ports.at(index).value;
    return QString();
}

QString serialPortOpenPath(const QString &name)
{
    if (name.contains(QLatin1Char('/')))
        return name;
#ifdef Q_OS_WIN
    // Names past COM9 need the device namespace.
    return name.size() > 4 ? QStringLiteral("\\\\.\\") + name : name;
#else
    return QStringLiteral("/dev/") + name;
#endif
}

QString writeFailureReason(const QString &path, const QString &detail)
{
    // The folder, not the file: a file that was never written has no storage to ask about.
    const QStorageInfo storage(QFileInfo(path).absolutePath());
    if (storage.isValid() && storage.isReadOnly())
        return QStringLiteral("the disk is read-only");
    if (storage.isValid() && storage.bytesAvailable() < kRoomForASaveBytes)
        return QStringLiteral("the disk is full");
    return detail;
}
