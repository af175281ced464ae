#include "ui/devicestatus.h"

#include "core/devicestate.h"
#include "core/events.h"
#include "core/protocolcode.h"
#include "core/settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QReadLocker>

namespace {
// Status bits 28 to 31 have no meaning that the program knows of.
constexpr int kKnownStatusBits = 28;

bool statusBitReported(int bit)
{
    return bit < 16 ? (upsInfo.statusMaskLo >> bit) & 1u : (upsInfo.statusMaskHi >> (bit - 16)) & 1u;
}
}

DeviceStatus readDeviceStatus()
{
    DeviceStatus status;
    {
        QReadLocker locker(&settingsLock);
        status.protocol = deviceSettings.comProtocol;
    }
    status.inverter = deviceFamily(status.protocol) == DeviceFamily::Inverter;
    status.comm = upsInfo.commState.load();

    QReadLocker locker(&upsInfo.lock);
    if (status.comm != CommOk) {
        status.reason = upsInfo.linkFault;
        return status;
    }
    if (status.inverter) {
        for (int slot = 0; slot < InverterInfo::kAlarmCount; ++slot) {
            if (inverterInfo.alarms[slot])
                status.active.append(slot);
        }
    } else {
        for (int bit = 0; bit < kKnownStatusBits; ++bit) {
            if (upsInfo.statusBits[bit] && statusBitReported(bit))
                status.active.append(bit);
        }
    }
    return status;
}

QString deviceStatusText(const DeviceStatus &status)
{
    QJsonArray active;
    for (int index : status.active)
        active.append(index);
    QJsonObject o;
    o.insert(QStringLiteral("comm"), status.comm);
    o.insert(QStringLiteral("family"), status.inverter ? QStringLiteral("inverter") : QStringLiteral("ups"));
    o.insert(QStringLiteral("active"), active);
    o.insert(QStringLiteral("reason"), status.reason);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QString deviceStatusText()
{
    return deviceStatusText(readDeviceStatus());
}

QList<int> activeAlarms(const DeviceStatus &status)
{
    QList<int> alarms;
    for (int index : status.active) {
        if (conditionIsAlarm(index, status.inverter))
            alarms.append(index);
    }
    return alarms;
}

int attentionCount(const DeviceStatus &status)
{
    if (status.comm == CommLost)
        return 1;
    return int(activeAlarms(status).size());
}
