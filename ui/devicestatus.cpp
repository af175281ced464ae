#include "ui/devicestatus.h"

#include "core/devicestate.h"
#include "core/paths.h"
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

QString deviceStatusText()
{
    QString protocol;
    {
        QReadLocker locker(&settingsLock);
        protocol = deviceSettings.comProtocol;
    }
    const bool inverter = deviceFamily(protocol) == DeviceFamily::Inverter;
    const int comm = upsInfo.commState.load();

    QJsonArray active;
    QString reason;
    {
        QReadLocker locker(&upsInfo.lock);
        if (comm == CommOk) {
            if (inverter) {
                for (int slot = 0; slot < InverterInfo::kAlarmCount; ++slot) {
                    if (inverterInfo.alarms[slot])
                        active.append(slot);
                }
            } else {
                for (int bit = 0; bit < kKnownStatusBits; ++bit) {
                    if (upsInfo.statusBits[bit] && statusBitReported(bit))
                        active.append(bit);
                }
            }
        } else {
            reason = upsInfo.linkFault;
        }
    }
    QJsonObject o;
    o.insert(QStringLiteral("comm"), comm);
    o.insert(QStringLiteral("family"), inverter ? QStringLiteral("inverter") : QStringLiteral("ups"));
    o.insert(QStringLiteral("active"), active);
    o.insert(QStringLiteral("reason"), reason);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}
