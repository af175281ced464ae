#pragma once
// Stateless helpers shared by several subsystems; reentrant, callable from any thread.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <type_traits>

// CRC-16/MODBUS; on the wire the low byte goes first.
uint16_t crc16Modbus(const uint8_t *data, uint16_t length);

// A numeric text re-written with two or one decimals; a non-number gives 0.00 / 0.0.
QString format2Decimals(const QString &text);
QString format1Decimal(const QString &text);

// The number a text holds in T (decimal for the integers), or 0 when it holds none or
// one out of T's range; Qt's own result for a float or double that overflows is an
// infinity.
template <typename T>
T numberOrZero(const QString &text)
{
    bool ok = false;
    T value;
    if constexpr (std::is_same_v<T, float>)
        value = text.toFloat(&ok);
    else if constexpr (std::is_same_v<T, double>)
        value = text.toDouble(&ok);
    else if constexpr (std::is_same_v<T, ushort>)
        value = text.toUShort(&ok);
    else if constexpr (std::is_same_v<T, uint>)
        value = text.toUInt(&ok);
    else if constexpr (std::is_same_v<T, qlonglong>)
        value = text.toLongLong(&ok);
    else
        static_assert(!sizeof(T), "numberOrZero: no conversion for this type");
    return ok ? value : T(0);
}

QByteArray toUtf8Bytes(const QString &text);
QString fromUtf8Bytes(const QByteArray &bytes);

// Reversible: flag 0 scrambles, flag 1 unscrambles.
enum { ScrambleEncode = 0, ScrambleDecode = 1 };
QString scramblePassword(const QString &text, int flag);

// Serial ports as the system lists them. On Windows the names come from the registry;
// here from QSerialPortInfo. Tests install a fixed list.
struct SerialPortEntry
{
    QString key;   // the system's device name
    QString value; // the port name users pick
};
using SerialPortLister = std::function<QList<SerialPortEntry>()>;
void setSerialPortLister(SerialPortLister lister); // empty restores the system lister
int serialPortCount();
// The port names users pick, from one listing: a port that comes or goes meanwhile
// cannot shift an index the way serialPortCount and getSerialPortName, two listings, can.
QStringList serialPortNames();
// mode "key" gives the device name, "value" the port name, anything else ""; "nokey"
// past the last index.
QString getSerialPortName(int index, const QString &mode);
// The path or name to open: a name containing "/" is used as it is.
QString serialPortOpenPath(const QString &name);

// Why a file could not be written, in words for the page: "the disk is full" or "the
// disk is read-only" when the file system holding `path` says so, else `detail` (the
// failing call's own words).
QString writeFailureReason(const QString &path, const QString &detail);
