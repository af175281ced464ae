#pragma once
// Device states for the bridge tests: every UPS value and inverter register filled with a
// text that names its place, so a reply shows which entry each item came from.
#include "core/devicestate.h"
#include "core/settings.h"

#include <QReadWriteLock>
#include <QString>

inline void setProtocol(const QString &code)
{
    QWriteLocker l(&settingsLock);
    deviceSettings.comProtocol = code;
}

// values[i] = "u<i>", inverter values[r] = "i<r>", settings[r] = "<r>"; odd status bits set;
// every mask clear, so a test opens exactly the gates it needs.
inline void fillDeviceState()
{
    QWriteLocker l(&upsInfo.lock);
    for (int i = 0; i < UpsValueCount; ++i)
        upsInfo.values[i] = QStringLiteral("u%1").arg(i);
    upsInfo.batMode = QStringLiteral("bm");
    upsInfo.pvMode = QStringLiteral("pm");
    upsInfo.sysTemp = QStringLiteral("36.57");
    upsInfo.deviceTime = QStringLiteral("2026-01-15 11:59:30");
    upsInfo.workMode = QStringLiteral("3");
    upsInfo.pvTotalGenScaled = QStringLiteral("sc");
    for (int b = 0; b < ThreePhaseUPSInfo::kStatusBitCount; ++b)
        upsInfo.statusBits[b] = b % 2;
    for (int r = 0; r < InverterInfo::kValueCount; ++r)
        inverterInfo.values[r] = QStringLiteral("i%1").arg(r);
    for (int r = 0; r < InverterInfo::kSettingCount; ++r)
        inverterInfo.settings[r] = QString::number(r);
    for (int n = 0; n < ThreePhaseUPSInfo::kPvInputRows; ++n) {
        UnitRecord &row = upsInfo.pvInputTable[n];
        row.inputNo = QString::number(n + 1);
        row.voltage = QStringLiteral("v%1").arg(n + 1);
        row.current = QStringLiteral("c%1").arg(n + 1);
        row.fault = QStringLiteral("f%1").arg(n + 1);
        row.dayGen = QStringLiteral("d%1").arg(n + 1);
        row.totalGen = QStringLiteral("t%1").arg(n + 1);
    }
}

struct Masks
{
    uint16_t statusLo = 0, statusHi = 0, other = 0, bat = 0, input = 0, output = 0, bypass = 0, pv = 0;
    uint16_t pvInputs = 0;
    uint8_t pvInputCount = 0;
};

inline void setMasks(const Masks &m)
{
    QWriteLocker l(&upsInfo.lock);
    upsInfo.statusMaskLo = m.statusLo;
    upsInfo.statusMaskHi = m.statusHi;
    upsInfo.otherInfoMask = m.other;
    upsInfo.batFieldMask = m.bat;
    upsInfo.inputFieldMask = m.input;
    upsInfo.outputFieldMask = m.output;
    upsInfo.bypassFieldMask = m.bypass;
    upsInfo.pvFieldMask = m.pv;
    upsInfo.pvInputMask = m.pvInputs;
    upsInfo.pvInputCount = m.pvInputCount;
}

inline Masks allMasks()
{
    Masks m;
    m.statusLo = m.statusHi = m.other = m.bat = m.input = m.output = m.bypass = m.pv = 0xFFFF;
    m.pvInputs = 0x00FF;
    m.pvInputCount = 8;
    return m;
}

inline void setDeviceState(const QString &protocol, const Masks &masks, int commState)
{
    setProtocol(protocol);
    setMasks(masks);
    upsInfo.commState = commState;
}
