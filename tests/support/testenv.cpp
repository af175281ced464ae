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
        static_cast<UpsDeviceValues &>(upsInfo) = UpsDeviceValues();
        inverterInfo = InverterInfo();
    }
    settingsValid = false;
    discardAllEvents();
    clearCommands();
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

void TestEnv::runClock()
{
    m_running = std::make_unique<RunningClock>(m_clock.now(), kRunningClockSpeed);
    setAppClock(m_running.get());
}

ScopedHome::ScopedHome(const QString &home, bool withDocuments)
    : m_home(qgetenv("HOME")), m_configHome(qgetenv("XDG_CONFIG_HOME")), m_hadConfigHome(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
{
    QDir().mkpath(home);
    if (withDocuments)
        QDir().mkpath(home + QStringLiteral("/Documents"));
    qputenv("HOME", QFile::encodeName(home));
    // The folders of the user's own desktop settings would name another documents folder.
    qunsetenv("XDG_CONFIG_HOME");
}

ScopedHome::~ScopedHome()
{
    qputenv("HOME", m_home);
    if (m_hadConfigHome)
        qputenv("XDG_CONFIG_HOME", m_configHome);
}

void TestEnv::writeParamIni(const QString &lines) const
{
    QDir().mkpath(appPaths.paramDir);
    QFile f(appPaths.paramIniPath);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write("[General]\n" + lines.toUtf8() + "\n");
}

QStringList queuedWords()
{
    QStringList words;
    QReadLocker l(&commandQueueLock);
    for (const QueuedCommand &c : std::as_const(commandQueue))
        words << c.word;
    return words;
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
