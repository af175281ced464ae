#include "core/protocolcode.h"

namespace {

struct ProtocolCode
{
    const char *code;
    DeviceFamily family;
    DeviceTransport transport;
    const char *pageFamily;
};

const ProtocolCode kProtocolCodes[] = {
    {"0", DeviceFamily::ThreePhaseUps, DeviceTransport::Serial, "0"},
    {"1", DeviceFamily::SinglePhaseUps, DeviceTransport::Serial, "1"},
    {"2", DeviceFamily::SinglePhaseUps, DeviceTransport::Hid, "1"},
    {"3", DeviceFamily::Inverter, DeviceTransport::Serial, "2"},
    {"4", DeviceFamily::Inverter, DeviceTransport::Hid, "2"},
};

// An unknown code has no poll plan and leaves the serial port closed.
constexpr DeviceFamily kUnknownFamily = DeviceFamily::SinglePhaseUps;
constexpr DeviceTransport kUnknownTransport = DeviceTransport::Hid;

// comType of the settings page.
const QLatin1String kSerialPortType("0");
const QLatin1String kHidPortType("1");

const ProtocolCode *findCode(const QString &comProtocol)
{
    for (const ProtocolCode &p : kProtocolCodes)
        if (comProtocol == QLatin1String(p.code))
            return &p;
    return nullptr;
}

const ProtocolCode *findCode(const QString &pageFamily, DeviceTransport transport)
{
    for (const ProtocolCode &p : kProtocolCodes)
        if (pageFamily == QLatin1String(p.pageFamily) && p.transport == transport)
            return &p;
    return nullptr;
}

} // namespace

DeviceFamily deviceFamily(const QString &comProtocol)
{
    const ProtocolCode *p = findCode(comProtocol);
    return p ? p->family : kUnknownFamily;
}

DeviceTransport deviceTransport(const QString &comProtocol)
{
    const ProtocolCode *p = findCode(comProtocol);
    return p ? p->transport : kUnknownTransport;
}

QString familyOfProtocol(const QString &comProtocol)
{
    const ProtocolCode *p = findCode(comProtocol);
    return p ? QString::fromLatin1(p->pageFamily) : comProtocol;
}

QString protocolForFamily(const QString &family, const QString &comType, const QString &currentProtocol)
{
    const ProtocolCode *serial = findCode(family, DeviceTransport::Serial);
    const ProtocolCode *hid = findCode(family, DeviceTransport::Hid);
    if (!serial || !hid)
        return family;
    if (comType == kSerialPortType)
        return QString::fromLatin1(serial->code);
    if (comType == kHidPortType)
        return QString::fromLatin1(hid->code);
    return currentProtocol;
}
