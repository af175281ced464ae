// The device thread's loop, the poll plan and the link state.
#include "device/serial_thread.h"

#include "core/clock.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/logging.h"
#include "core/protocolcode.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "core/threadend.h"
#include "device/decoders.h"
#include "device/transactions.h"

#include <QMutexLocker>
#include <QWriteLocker>
#include <QReadLocker>
#include <QWriteLocker>

namespace {
// The loop must see every change of the second; it pauses at most this long between
// two clock readings, so it stays idle without missing one.
constexpr int kMaxPauseMs = 50;
// Command and poll slots come every second change of the second.
constexpr uint8_t kTicksPerSlot = 2;
// The fifth failed step in a row means the link is lost.
constexpr int kFailuresBeforeLost = 4;
constexpr int8_t kMaxFailCount = 127;
} // namespace

DeviceLinkSettings readDeviceLinkSettings()
{
    DeviceLinkSettings s;
    {
        QReadLocker lock(&settingsLock);
        s.comProtocol = deviceSettings.comProtocol;
        s.comAddr = deviceSettings.comAddr;
        s.inverterSelectName = deviceSettings.inverterSelectName;
        s.dev_boudrate = systemSettings.dev_boudrate;
        s.dev_databit = systemSettings.dev_databit;
        s.dev_checkbit = systemSettings.dev_checkbit;
        s.dev_stopbit = systemSettings.dev_stopbit;
        s.countdownOffITime = deviceSettings.countdownOffITime;
        s.delayStartITime = deviceSettings.delayStartITime;
        s.depthDischarge = deviceSettings.depthDischarge;
    }
    // preAlarm belongs to the schedule's guard; never held together with settingsLock.
    QReadLocker lock(&scheduleListLock);
    s.preAlarm = ::preAlarm;
    return s;
}

serial_thread::serial_thread()
    : QThread(nullptr),
      modbusBackend(&rtuModbusBackend()),
      hidBackend(&hidapiBackend())
{
    gbkCodec = platformGbkCodec();
}

serial_thread::~serial_thread()
{
    closeModbus();
    closeHid();
}

void serial_thread::stop()
{
    stopRequested = true;
    QMutexLocker lock(&wakeMutex);
    wakeCondition.wakeAll();
}

void serial_thread::setBackends(ModbusBackend *modbus, HidBackend *hid)
{
    closeModbus();
    closeHid();
    modbusBackend = modbus ? modbus : &rtuModbusBackend();
    hidBackend = hid ? hid : &hidapiBackend();
}

uint32_t serial_thread::readSecond() const
{
    return uint32_t(appClock().now().toSecsSinceEpoch());
}

void serial_thread::run()
{
    const ThreadEndMark endMark(this);
    beginLoop();
    while (!stopRequested) {
        loopPass();
        waitForNextReading();
    }
}

void serial_thread::waitForNextReading()
{
    // Wake just after the next change of the second, but never later than kMaxPauseMs.
    const int msIntoSecond = int(appClock().now().toMSecsSinceEpoch() % 1000);
    const int pause = qBound(1, 1000 - msIntoSecond + 1, kMaxPauseMs);
    QMutexLocker lock(&wakeMutex);
    if (!stopRequested)
        wakeCondition.wait(&wakeMutex, pause);
}

void serial_thread::beginLoop()
{
    lastSecond = readSecond();
}

void serial_thread::loopPass()
{
    if (stopRequested)
        return;
    nowSecond = readSecond();
    if (nowSecond == lastSecond)
        return;

    passSettings = readDeviceLinkSettings();
    const DeviceLinkSettings &s = passSettings;
    inPass = true;
    runSecondChange(s);
    inPass = false;
}

void serial_thread::runSecondChange(const DeviceLinkSettings &s)
{

    if (deviceTransport(s.comProtocol) == DeviceTransport::Serial
        && (portNameSnapshot != s.inverterSelectName || baudSnapshot != s.dev_boudrate
            || dataBitsSnapshot != s.dev_databit || paritySnapshot != s.dev_checkbit
            || stopBitsSnapshot != s.dev_stopbit)) {
        portNameSnapshot = s.inverterSelectName;
        baudSnapshot = s.dev_boudrate;
        dataBitsSnapshot = s.dev_databit;
        paritySnapshot = s.dev_checkbit;
        stopBitsSnapshot = s.dev_stopbit;
        upsInfo.commStatePrev = CommConnecting;
        upsInfo.commState = CommConnecting;
        settingsValid = false;
        qCDebug(lcDevice) << "port settings changed; reopening" << s.inverterSelectName;
        openModbusPort();
        tickCount = 0;
    }

    if (protocolSnapshot != s.comProtocol) {
        tickCount = 0;
        qCDebug(lcDevice) << "protocol" << s.comProtocol;
        if (deviceTransport(s.comProtocol) == DeviceTransport::Serial) {
            closeHid();
            openModbusPort();
        } else {
            closeModbus();
            openHid();
        }
        protocolSnapshot = s.comProtocol;
    }

    ++tickCount;
    if (tickCount != kTicksPerSlot) {
        lastSecond = nowSecond;
        return;
    }

    tickCount = 0;
    if (executeNextCommand(s.comProtocol)) {
        lastSecond = nowSecond;
        return;
    }

    if (pollIndex >= kPollPlanSteps)
        pollIndex = 0;
    lastPollOk = pollStep(s.comProtocol, pollIndex);
    {
        // A failed read closes the port and the next step opens it again, so the port's
        // state says nothing here; the latest open does.
        const QString fault = lastPollOk         ? QString()
            : !openFault.isEmpty()               ? openFault
                                                 : QString::fromLatin1(ThreePhaseUPSInfo::kLinkFaultNoReply);
        QWriteLocker lock(&upsInfo.lock);
        upsInfo.linkFault = fault;
    }
    if (lastPollOk) {
        failCount = 0;
        setCommState(CommOk);
    } else {
        if (failCount < kMaxFailCount)
            ++failCount;
        if (failCount > kFailuresBeforeLost)
            setCommState(CommLost);
    }
    ++pollIndex;
    lastSecond = nowSecond;
}

void serial_thread::setCommState(int state)
{
    upsInfo.commState = state;
    if (state == upsInfo.commStatePrev)
        return;
    const int code = state == CommOk ? EventCommSucceed : EventCommFailed;
    settingsValid = false;
    {
        QWriteLocker lock(&upsInfo.lock);
        upsInfo.pvPowerSampleCount = 0;
    }
    upsInfo.commStatePrev = state;
    qCInfo(lcDevice) << "link state" << state;
    postEvent(code);
}

bool serial_thread::pollStep(const QString &protocol, uint16_t step)
{
    const int id = pollPlanId(protocol, step);
    if (id == 0)
        return false;
    return queryBlock(id, protocol);
}
