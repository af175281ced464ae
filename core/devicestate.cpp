#include "core/devicestate.h"

ThreePhaseUPSInfo::ThreePhaseUPSInfo(QObject *parent) : QObject(parent) {}

ThreePhaseUPSInfo::~ThreePhaseUPSInfo() = default;

void ThreePhaseUPSInfo::initSingleValues()
{
    initValues(false);
}

void ThreePhaseUPSInfo::initThreePhaseValues()
{
    initValues(true);
}

void ThreePhaseUPSInfo::appendPvPowerSample(double watts)
{
    if (pvPowerSampleCount < kMaxPvPowerSamples)
        pvPowerSamples[pvPowerSampleCount++] = watts;
}

void ThreePhaseUPSInfo::initValues(bool threePhase)
{
    static const bool perPhase[UpsValueCount] = {
        false, false, false, false, false, false, false, false, // battery, input PF, input energy
        true,  true,  true,  true,  true,  true,                // input per phase
        false, false, false,                                    // output freq, PF, energy
        true,  true,  true,  true,  true,  true,                // output per phase
        false, true,  true,  true,                              // bypass
        false, false, false, false, false                       // PV
    };
    const QString phasePlaceholder = threePhase ? QStringLiteral("0.0/0.0/0.0") : QStringLiteral("0.0");
    const QString zero = QStringLiteral("0");

    for (int i = 0; i < kStatusBitCount; ++i) {
        statusBits[i] = 0;
        statusBitsPrev[i] = 0;
    }
    pvInputCount = 0;
    sysTemp = zero;
    workMode = QStringLiteral("-1");
    batMode = QStringLiteral("-1");
    for (int i = 0; i < UpsValueCount; ++i)
        values[i] = perPhase[i] ? phasePlaceholder : zero;
    pvTotalGenScaled = zero;
    for (int i = 0; i < kPvInputRows; ++i) {
        UnitRecord &row = pvInputTable[i];
        row.inputNo = QString::number(i + 1);
        row.voltage = row.current = row.dayGen = row.totalGen = row.fault = zero;
    }
    pvPowerSampleCount = 0;
}
