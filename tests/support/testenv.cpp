#include "tests/support/testenv.h"

#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "tests/support/eventqueues.h"

#include <QDir>
#include <QFile>

void resetSharedState()
{
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.commState = CommConnecting;
        upsInfo.commStatePrev = CommConnecting;
        upsInfo.statusMaskLo = upsInfo.statusMaskHi = upsInfo.otherInfoMask = 0;
        upsInfo.batFieldMask = upsInfo.inputFieldMask = upsInfo.outputFieldMask = 0;
        upsInfo.bypassFieldMask = upsInfo.pvFieldMask = upsInfo.pvInputMask = 0;
        upsInfo.pvInputCount = 0;
        upsInfo.sysTemp.clear();
        upsInfo.deviceTime.clear();
        upsInfo.workMode.clear();
        upsInfo.batMode.clear();
        for (QString &v : upsInfo.values)
            v.clear();
        upsInfo.pvMode.clear();
        upsInfo.pvTotalGenScaled.clear();
        upsInfo.deviceName.clear();
        upsInfo.deviceType.clear();
        upsInfo.deviceManufacturer.clear();
        upsInfo.deviceProtocolVersion.clear();
        upsInfo.deviceMonitorVersion.clear();
        upsInfo.deviceControlVersion.clear();
        for (UnitRecord &r : upsInfo.pvInputTable)
            r = UnitRecord();
        for (int i = 0; i < ThreePhaseUPSInfo::kStatusBitCount; ++i)
            upsInfo.statusBits[i] = upsInfo.statusBitsPrev[i] = 0;
        for (int i = 0; i < 3; ++i) {
            upsInfo.gridHourBands[i] = upsInfo.antirefluxHourBands[i] = 0;
            upsInfo.supportFlags[i] = upsInfo.pvHourBands[i] = 0;
        }
        upsInfo.inverterMode = 0;
        upsInfo.pvPowerSampleCount = 0;
        inverterInfo = InverterInfo();
    }
    settingsValid = false;
    discardAllEvents();
    {
        QWriteLocker l(&commandQueueLock);
        commandQueue.clear();
    }
    {
        QWriteLocker l(&settingsLock);
        systemSettings = SystemSettings();
        deviceSettings = DeviceSettings();
        emailSettings = EmailSettings();
        smsSettings = SmsSettings();
        upsEventTexts.clear();
        inverterEventTexts.clear();
    }
    {
        QWriteLocker l(&scheduleListLock);
        scheduleList.clear();
        nextShutdownTime.clear();
        nextStartupTime.clear();
        preAlarm.clear();
    }
    recordColumnKeys.clear();
    appPaths = AppPaths();
}

TestEnv::TestEnv(const QDateTime &now, bool createFolders) : m_clock(now)
{
    resetSharedState();
    QDir().mkpath(appDir());
    initAppPaths(dataLocation(), appDir());
    if (createFolders)
        createAppFolders();
    assignGenTableNames();
    setAppClock(&m_clock);
}

TestEnv::~TestEnv()
{
    setAppClock(nullptr);
}

void TestEnv::writeParamIni(const QString &lines) const
{
    QDir().mkpath(appPaths.paramDir);
    QFile f(appPaths.paramIniPath);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write("[General]\n" + lines.toUtf8() + "\n");
}

void useSerialDevice(const QString &device, const QString &protocol, const QString &address,
                     const QString &baudCode)
{
    QWriteLocker l(&settingsLock);
    deviceSettings.comProtocol = protocol;
    deviceSettings.comAddr = address;
    deviceSettings.inverterSelectName = device;
    systemSettings.dev_boudrate = baudCode;
    systemSettings.dev_databit = QStringLiteral("3");
    systemSettings.dev_checkbit = QStringLiteral("1");
    systemSettings.dev_stopbit = QStringLiteral("1");
}
