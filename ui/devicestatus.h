#pragma once
// What the header, the Overview, the alarm badge and the tray icon show as the device's
// state at a glance: the link state and the alarm bits and slots that are set right now.
// The warning list holds events (and is cleared by the user); this is the device's
// present condition.
//
// Thread: any; copies under the read side of upsInfo.lock and settingsLock in turn,
// never both at once.
#include <QList>
#include <QString>

struct DeviceStatus
{
    int comm = 0; // CommState
    bool inverter = false;
    QString protocol;
    // The set status bits (UPS, only those the device reports) or alarm slots (inverter)
    // in ascending order; empty while the link is not communicating, as stored bits are
    // stale then.
    QList<int> active;
    QString reason; // why the link is down, when that is known
    bool operator==(const DeviceStatus &o) const
    {
        return comm == o.comm && inverter == o.inverter && protocol == o.protocol && active == o.active
            && reason == o.reason;
    }
};

DeviceStatus readDeviceStatus();

// One JSON object: "comm" the link state (1, 2, 3), "family" "ups" or "inverter",
// "active" as in DeviceStatus, "reason" why the link is down when that is known.
QString deviceStatusText(const DeviceStatus &status);
QString deviceStatusText();

// The active conditions that need attention (alarms, not ways of running), ascending.
QList<int> activeAlarms(const DeviceStatus &status);
// What needs attention now, as the alarm badge counts it: the active alarms, or the
// link itself while it is lost.
int attentionCount(const DeviceStatus &status);
