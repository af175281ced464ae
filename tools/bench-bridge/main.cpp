// Times each live reply of the bridge: every one runs in the GUI thread once a second or
// more, so each must stay well below a frame. Calls each slot kCalls times against a
// filled device state (every mask open, three-phase texts, eight PV inputs, a full warning
// list) with a receiver connected, and prints the median time per reply.
#include "bridge/qmlobject.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/protocolcode.h"
#include "core/settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {
constexpr int kCalls = 10000;
constexpr double kTargetMicroseconds = 20.0;

void fillState()
{
    QWriteLocker l(&upsInfo.lock);
    upsInfo.commState = CommOk;
    upsInfo.statusMaskLo = upsInfo.statusMaskHi = 0xFFFF;
    upsInfo.otherInfoMask = upsInfo.batFieldMask = upsInfo.inputFieldMask = 0xFFFF;
    upsInfo.outputFieldMask = upsInfo.bypassFieldMask = upsInfo.pvFieldMask = 0xFFFF;
    upsInfo.pvInputMask = 0x00FF;
    upsInfo.pvInputCount = 8;
    for (int i = 0; i < UpsValueCount; ++i)
        upsInfo.values[i] = QStringLiteral("230.%1/229.%1/231.%1").arg(i % 10);
    upsInfo.values[BatteryVolt] = QStringLiteral("53.6");
    upsInfo.values[BatteryCurr] = QStringLiteral("-2.5");
    upsInfo.batMode = QStringLiteral("2");
    upsInfo.pvMode = QStringLiteral("1");
    upsInfo.sysTemp = QStringLiteral("36.5");
    upsInfo.deviceTime = QStringLiteral("2026-01-15 11:59:30");
    upsInfo.workMode = QStringLiteral("3");
    upsInfo.pvTotalGenScaled = QStringLiteral("12345.67");
    upsInfo.deviceName = QStringLiteral("UPS-10K");
    upsInfo.deviceType = QStringLiteral("TOWER");
    upsInfo.deviceManufacturer = QStringLiteral("MAKER");
    upsInfo.deviceProtocolVersion = QStringLiteral("1.2");
    upsInfo.deviceMonitorVersion = QStringLiteral("10.5");
    upsInfo.deviceControlVersion = QStringLiteral("2");
    for (int b = 0; b < ThreePhaseUPSInfo::kStatusBitCount; ++b)
        upsInfo.statusBits[b] = b % 2;
    for (int n = 0; n < ThreePhaseUPSInfo::kPvInputRows; ++n)
        upsInfo.pvInputTable[n] = UnitRecord{QString::number(n + 1), QStringLiteral("380.5"), QStringLiteral("8.2"),
                                             QStringLiteral("0"), QStringLiteral("12.4"), QStringLiteral("4567.8")};
    for (int r = 0; r < InverterInfo::kValueCount; ++r)
        inverterInfo.values[r] = QString::number(r * 1.5);
    for (int r = 0; r < InverterInfo::kSettingCount; ++r)
        inverterInfo.settings[r] = QString::number(0x4100 + r);
}

struct Case
{
    const char *name;
    std::function<void(qmlobject &)> call;
};

double medianMicroseconds(qmlobject &bridge, const Case &c)
{
    std::vector<qint64> ns(kCalls);
    QElapsedTimer timer;
    for (int i = 0; i < kCalls; ++i) {
        timer.start();
        c.call(bridge);
        ns[i] = timer.nsecsElapsed();
    }
    std::nth_element(ns.begin(), ns.begin() + kCalls / 2, ns.end());
    return ns[kCalls / 2] / 1000.0;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    fillState();
    initEventTexts();
    for (int i = 0; i < kWarningListSize; ++i)
        addEventRecord(EventItem{QDateTime::currentDateTime(), 2 * i + 1});

    qmlobject bridge;
    // A receiver on every reply, as the QML side is: the texts are handed over, not dropped.
    QString sink;
    const auto keep = [&sink](const QString &t) { sink = t; };
    const auto keep2 = [&sink](const QString &, const QString &t) { sink = t; };
    QObject::connect(&bridge, &qmlobject::sigFlowState, &bridge,
                     [&sink](const QString &, const QString &, const QString &, const QString &, const QString &,
                             const QString &b) { sink = b; });
    QObject::connect(&bridge, &qmlobject::sigMainGenInfo, &bridge, keep);
    QObject::connect(&bridge, &qmlobject::sigACInfo, &bridge, keep);
    QObject::connect(&bridge, &qmlobject::sigBatInfo, &bridge, keep);
    QObject::connect(&bridge, &qmlobject::sigBypassInfo, &bridge, keep);
    QObject::connect(&bridge, &qmlobject::sigOutputInfo, &bridge, keep);
    QObject::connect(&bridge, &qmlobject::sigOtherInfo, &bridge, keep);
    QObject::connect(&bridge, &qmlobject::sigDeviceInfo, &bridge, keep);
    QObject::connect(&bridge, &qmlobject::sigPVInfo, &bridge, keep2);
    QObject::connect(&bridge, &qmlobject::sigMainModuleInfo, &bridge, keep2);
    QObject::connect(&bridge, &qmlobject::warningDataSig, &bridge, keep);

    const std::vector<Case> cases = {
        {"handleGetFlowState", [](qmlobject &b) { b.handleGetFlowState(); }},
        {"handleMainGenInfo", [](qmlobject &b) { b.handleMainGenInfo(); }},
        {"handleGetACInfo", [](qmlobject &b) { b.handleGetACInfo(); }},
        {"handleGetBatInfo", [](qmlobject &b) { b.handleGetBatInfo(); }},
        {"handleGetBypassInfo", [](qmlobject &b) { b.handleGetBypassInfo(); }},
        {"handleGetOutputInfo", [](qmlobject &b) { b.handleGetOutputInfo(); }},
        {"handleGetOtherInfo", [](qmlobject &b) { b.handleGetOtherInfo(); }},
        {"handleGetPVInfo", [](qmlobject &b) { b.handleGetPVInfo(); }},
        {"handleGetdeviceInfo", [](qmlobject &b) { b.handleGetdeviceInfo(); }},
        {"handleMainModuleData battery",
         [](qmlobject &b) { b.handleMainModuleData(QStringLiteral(R"({"flag":"battery"})")); }},
        {"handleMainModuleData pv", [](qmlobject &b) { b.handleMainModuleData(QStringLiteral(R"({"flag":"pv"})")); }},
        {"handleWarningData (8 events)", [](qmlobject &b) { b.handleWarningData(); }},
    };

    QTextStream out(stdout);
    bool allWithin = true;
    out << "median time per reply over " << kCalls << " calls (target < " << kTargetMicroseconds << " us)\n";
    for (const char *protocol : {"0", "3"}) {
        {
            QWriteLocker l(&settingsLock);
            deviceSettings.comProtocol = QLatin1String(protocol);
        }
        out << "protocol " << protocol << (deviceFamily(QLatin1String(protocol)) == DeviceFamily::Inverter
                                               ? " (inverter)\n"
                                               : " (three-phase UPS)\n");
        for (const Case &c : cases) {
            const double us = medianMicroseconds(bridge, c);
            allWithin = allWithin && us < kTargetMicroseconds;
            out << QStringLiteral("  %1 %2 us\n").arg(QLatin1String(c.name), -32).arg(us, 7, 'f', 2);
        }
    }
    out << (allWithin ? "all within target\n" : "SOME ABOVE TARGET\n");
    return allWithin ? 0 : 1;
}
