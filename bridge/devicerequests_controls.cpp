// The device's controls: working mode hour bands, manual bypass, discharge depth and the
// test and on/off commands. GUI thread. A setter stores the values its word uses before
// it queues the word, so the device thread, which reads them when it executes the word,
// never meets the old ones; nothing here talks to the device.
#include "bridge/devicerequests.h"

#include "bridge/settingsrules.h"
#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/helpers.h"
#include "core/logging.h"
#include "core/protocolcode.h"
#include "core/settings.h"
#include "core/textformats.h"

#include <QReadLocker>
#include <QWriteLocker>

#include <cmath>

namespace {
// The discharge depth travels in hundredths.
constexpr double kDepthScale = 100.0;

// The inverter announces no support bits: every control it has is offered.
const QString kInverterControls = QStringLiteral(
    R"({"testSet":{"selfTest1MinFlag":"1","dischargeFlag":"1","cancelTestFlag":"1"},)"
    R"("onOffSet":{"turnOnInverter":"1","turnOffInverter":"1","cancelShutdownFlag":"1","cancelAlarmVoice":"1"}})");

} // namespace

void DeviceRequests::handleSetInvertM(QString request)
{
    const RequestJson req(request);
    if (!usableRequest(req, "handleSetInvertM"))
        return;
    const QStringList bands = req.value(QStringLiteral("model_setting")).split(QLatin1Char('#'), Qt::KeepEmptyParts);
    // Each word carries the bands of its own setting: a later setting queued before these
    // ran neither changes nor drops them. One append keeps the three together.
    appendQueuedCommands({{QStringLiteral("hour0-7"), bands},
                          {QStringLiteral("hour8-15"), bands},
                          {QStringLiteral("hour16-23"), bands}});
}

void DeviceRequests::handleGetInverterMSet()
{
    uint16_t mode;
    uint16_t bands[3] = {};
    {
        QReadLocker locker(&upsInfo.lock);
        mode = upsInfo.inverterMode;
        const uint16_t *source = mode == 0 ? upsInfo.pvHourBands
            : mode == 1                    ? upsInfo.gridHourBands
            : mode == 2                    ? upsInfo.antirefluxHourBands
                                           : nullptr;
        if (source)
            std::copy(source, source + 3, bands);
    }
    static const char *const kModeNames[] = {"photovoltaic", "Grid", "Antireflux"};
    if (mode > 2) {
        emit sigQtSInverterMSet(QString(), QStringLiteral("##"));
        return;
    }
    emit sigQtSInverterMSet(QLatin1String(kModeNames[mode]),
                            QStringLiteral("%1#%2#%3").arg(bands[0]).arg(bands[1]).arg(bands[2]));
}

void DeviceRequests::handleSetMBSet(QString request)
{
    const RequestJson req(request);
    if (!usableRequest(req, "handleSetMBSet"))
        return;
    const QString value = req.value(QStringLiteral("manBypassSwitch"));
    {
        QWriteLocker locker(&settingsLock);
        deviceSettings.manBypassSwitch = value;
    }
    QString failure;
    writeParamKeys({{paramKey(&DeviceSettings::manBypassSwitch), value}}, &failure);
    emit sigSaveResult(QStringLiteral("bypass"), failure);
    appendCommand(value == QLatin1String("0") ? QStringLiteral("OnBypassSwitch") : QStringLiteral("OffBypassSwitch"));
}

void DeviceRequests::handleSetDischargedepth(QString request)
{
    const RequestJson req(request);
    if (!usableRequest(req, "handleSetDischargedepth"))
        return;
    double hundredths = numberOrZero<double>(req.value(QStringLiteral("dischargedepth")));
    // "inf" and "nan" read as numbers; they are no depth, and would be stored and shown.
    if (!std::isfinite(hundredths))
        hundredths = 0;
    const double depth = hundredths / kDepthScale;
    {
        QWriteLocker locker(&settingsLock);
        deviceSettings.depthDischarge = depth;
    }
    QString failure;
    writeParamKeys({{QLatin1String(kDepthDischargeKey), depth}}, &failure);
    emit sigSaveResult(QStringLiteral("depth"), failure);
    appendCommand(QStringLiteral("depthDischarge"));
}

void DeviceRequests::handleSetLongControl(QString request)
{
    const RequestJson req(request);
    if (!usableRequest(req, "handleSetLongControl"))
        return;
    const QString selected = req.value(QStringLiteral("longctlSelected"));
    const QString countdown = req.value(QStringLiteral("countdownOffITime"));
    const QString delay = req.value(QStringLiteral("delayStartITime"));
    qCDebug(lcBridge) << "strselected" << selected;
    {
        QWriteLocker locker(&settingsLock);
        deviceSettings.countdownOffITime = countdown;
        deviceSettings.delayStartITime = delay;
        deviceSettings.longctlSelected = selected;
    }
    QString failure;
    writeParamKeys({{paramKey(&DeviceSettings::countdownOffITime), countdown},
                    {paramKey(&DeviceSettings::delayStartITime), delay},
                    {paramKey(&DeviceSettings::longctlSelected), selected}},
                   &failure);
    emit sigSaveResult(QStringLiteral("longcontrol"), failure);
    // Queued as received: a word the device thread does not know is dropped there.
    appendCommand(selected);
}

void DeviceRequests::handleGetLongControlSet()
{
    QString protocol, countdown, delay, selected;
    {
        QReadLocker locker(&settingsLock);
        protocol = deviceSettings.comProtocol;
        countdown = deviceSettings.countdownOffITime;
        delay = deviceSettings.delayStartITime;
        selected = deviceSettings.longctlSelected;
    }
    uint16_t word0;
    bool valid;
    {
        QReadLocker locker(&upsInfo.lock);
        valid = settingsValid;
        word0 = upsInfo.supportFlags[0];
    }
    if (!valid) {
        emit sigQtSLongConSet(settingsNotReadReply());
        return;
    }
    if (deviceFamily(protocol) == DeviceFamily::Inverter) {
        emit sigQtSLongConSet(kInverterControls);
        return;
    }
    const ReplyJson testSet = ReplyJson()
                                  .add("selfTest1MinFlag", supportFlagText(word0, kSupportSelfTest1MinBit))
                                  .add("dischargeFlag", supportFlagText(word0, kSupportDischargeLowBit))
                                  .add("cancelTestFlag", supportFlagText(word0, kSupportCancelTestBit));
    const ReplyJson onOffSet = ReplyJson()
                                   .add("countdownOffInverterFlag", supportFlagText(word0, kSupportCountdownOffBit))
                                   .add("countdownOffITime", countdown)
                                   .add("delayOnInverterFlag", supportFlagText(word0, kSupportDelayOnBit))
                                   .add("delayStartITime", delay)
                                   .add("cancelShutdownFlag", supportFlagText(word0, kSupportCancelShutdownBit))
                                   .add("startupInverterFlag", supportFlagText(word0, kSupportStartupBit));
    emit sigQtSLongConSet(ReplyJson()
                              .addObject("testSet", testSet)
                              .addObject("onOffSet", onOffSet)
                              .add("longctlSelected", selected)
                              .text());
}
