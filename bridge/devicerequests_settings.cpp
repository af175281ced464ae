// How the device is reached (protocol, port type, address, port) and the periodic
// self-test. GUI thread. The setters change deviceSettings under the write side of
// settingsLock and write "param.ini" after release; the device thread and the history
// thread pick the values up on their next pass.
#include "bridge/devicerequests.h"

#include "bridge/settingsrules.h"
#include "core/clock.h"
#include "core/devicestate.h"
#include "core/helpers.h"
#include "core/logging.h"
#include "core/protocolcode.h"
#include "core/settings.h"
#include "core/textformats.h"

#include <QReadLocker>
#include <QWriteLocker>

namespace {
// The hour-band controls of the three working modes: word 1 bits 11 and 14, word 2 bit 1.
constexpr int kModeBitsWord1 = (1 << 11) | (1 << 14);
constexpr int kModeBitsWord2 = 1 << 1;
// The discharge depth is shown in the shortest general notation of this many digits.
constexpr int kDepthDigits = 6;
} // namespace

void DeviceRequests::handleGetInverterSet()
{
    // The port list first: listing the system's ports takes no lock of ours.
    const QStringList ports = serialPortNames();

    DeviceSettings d;
    {
        QReadLocker locker(&settingsLock);
        d = deviceSettings;
    }
    const QString comJson = ReplyJson()
                                .add("comProtocol", familyOfProtocol(d.comProtocol))
                                .add("comType", d.comType)
                                .add("comAddr", d.comAddr)
                                .addObject("comName", ReplyJson().addList("com", ports).add("selected", d.inverterSelectName))
                                .text();
    qCDebug(lcBridge) << "invertercomjsoninvertercomjson" << comJson;
    emit sigQtSInverterCom(comJson);

    uint16_t support[3];
    bool valid;
    {
        QReadLocker locker(&upsInfo.lock);
        valid = settingsValid;
        std::copy(std::begin(upsInfo.supportFlags), std::end(upsInfo.supportFlags), support);
    }
    if (!valid) {
        emit sigQtSInverterSet(settingsNotReadReply());
        return;
    }
    const bool modeControl = (support[1] & kModeBitsWord1) || (support[2] & kModeBitsWord2);
    const ReplyJson testSet = ReplyJson()
                                  .add("selfTest1MinFlag", supportFlagText(support[0], kSupportSelfTest1MinBit))
                                  .add("dischargeToLowVolFlag", supportFlagText(support[0], kSupportDischargeLowBit))
                                  .add("selftestType", d.selftestType)
                                  .add("testInterval", d.testInterval)
                                  .add("testTimePerWeek", d.testTimePerWeek)
                                  .add("selftestTime", d.selftestTime);
    const ReplyJson otherSet = ReplyJson()
                                   .add("disDepthFlag", supportFlagText(support[0], kSupportDischargeDepthBit))
                                   .add("disDepthVol", QString::number(d.depthDischarge, 'g', kDepthDigits))
                                   .add("manBypassFlag", supportFlagText(support[0], kSupportManBypassBit))
                                   .add("manBypassSwitch", d.manBypassSwitch)
                                   .add("invertModelFlag", modeControl ? QStringLiteral("1") : QStringLiteral("0"));
    emit sigQtSInverterSet(ReplyJson().addObject("testSet", testSet).addObject("otherSet", otherSet).text());
}

void DeviceRequests::handleSetInverterCom(QString request)
{
    qCDebug(lcBridge) << "invertercom" << request;
    const RequestJson req(request);
    if (!usableRequest(req, "handleSetInverterCom"))
        return;
    const QString family = req.value(QStringLiteral("comProtocol"));
    const QString comType = req.value(QStringLiteral("comType"));
    const QString comAddr = req.value(QStringLiteral("comAddr"));
    const QString selectName = req.value(QStringLiteral("selectName"));

    QString modemPort;
    {
        QReadLocker locker(&settingsLock);
        modemPort = smsSettings.SMSSelectName;
    }
    // Only a warning: the user may be about to move the modem to another port.
    if (portsClash(selectName, modemPort))
        emit serialCom();

    QString protocol;
    {
        // One hold: the device thread never sees a new code with an old port name.
        QWriteLocker locker(&settingsLock);
        protocol = protocolForFamily(family, comType, deviceSettings.comProtocol);
        deviceSettings.comProtocol = protocol;
        deviceSettings.comType = comType;
        deviceSettings.comAddr = comAddr;
        deviceSettings.inverterSelectName = selectName;
    }
    QString failure;
    writeParamKeys({{paramKey(&DeviceSettings::comProtocol), protocol},
                    {paramKey(&DeviceSettings::comType), comType},
                    {paramKey(&DeviceSettings::comAddr), comAddr},
                    {paramKey(&DeviceSettings::inverterSelectName), selectName}},
                   &failure);
    emit sigSaveResult(QStringLiteral("devicecom"), failure);
}

void DeviceRequests::handleSetInverter(QString str)
{
    const RequestJson req(str);
    if (!usableRequest(req, "handleSetInverter"))
        return;
    const QString interval = req.value(QStringLiteral("testInterval"));
    const QString weekday = req.value(QStringLiteral("testTimePerWeek"));
    const QString time = req.value(QStringLiteral("selftestTime"));
    const QString type = req.value(QStringLiteral("selftestType"));
    const QString next = nextSelfTestTime(interval, weekday, time, appClock().now());
    {
        // One hold with the new time: the history thread's check, which compares and
        // advances strNextTestTime under the same lock, never advances the old one over it.
        QWriteLocker locker(&settingsLock);
        deviceSettings.testInterval = interval;
        deviceSettings.testTimePerWeek = weekday;
        deviceSettings.selftestTime = time;
        deviceSettings.selftestType = type;
        deviceSettings.strNextTestTime = next;
    }
    QString failure;
    writeParamKeys({{paramKey(&DeviceSettings::strNextTestTime), next},
                    {paramKey(&DeviceSettings::testInterval), interval},
                    {paramKey(&DeviceSettings::testTimePerWeek), weekday},
                    {paramKey(&DeviceSettings::selftestTime), time},
                    {paramKey(&DeviceSettings::selftestType), type}},
                   &failure);
    emit sigSaveResult(QStringLiteral("selftest"), failure);
}
