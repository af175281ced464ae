#pragma once
// What the header and the Overview show as the device's state at a glance: the link
// state and the alarm bits and slots that are set right now. The warning list holds
// events (and is cleared by the user); this is the device's present condition.
//
// Thread: any; copies under the read side of upsInfo.lock and settingsLock in turn,
// never both at once.
#include <QString>

// One JSON object: "comm" the link state (1, 2, 3), "family" "ups" or "inverter",
// "active" the set status bits (UPS, only those the device reports) or alarm slots
// (inverter) in ascending order, "reason" why the link is down when that is known.
// While the link is not communicating "active" is empty: stored bits are stale then.
QString deviceStatusText();
