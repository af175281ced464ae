// Settings replies and setters: system, port, language, protocol, schedule times, e-mail,
// SMS and the test SMS. GUI thread. A setter changes its record under the write side of
// settingsLock, then writes "param.ini" and its table after release; a getter copies under
// the read side and builds after release.
#include "bridge/qmlobject.h"

#include "bridge/bridgecommon.h"
#include "core/events.h"
#include "core/helpers.h"
#include "core/logging.h"
#include "core/protocolcode.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "core/textformats.h"
#include "core/translation.h"

#include <QReadLocker>
#include <QWriteLocker>

#include <iterator>

namespace {

// A recipient whose request carried no mask gets the mask that selects nothing but the
// events every recipient receives.
const QString kMissingMask = QStringLiteral("0");

// Request lists arrive as one text each. Masks are padded, and masks beyond the last
// recipient dropped, so the lists stay parallel: no reader goes past the end of the mask
// list, and memory holds what the table will give back at the next start.
void fitMasks(QStringList &masks, qsizetype recipientCount)
{
    while (masks.size() < recipientCount)
        masks.append(kMissingMask);
    masks.erase(masks.begin() + recipientCount, masks.end());
}

bool rejectNonObject(const RequestJson &request, const char *slot)
{
    if (request.isObject())
        return false;
    qCDebug(lcBridge) << slot << "ignores a request that is not a JSON object; nothing changed";
    return true;
}

// The modem's identity lines still end in the carriage return of its answer.
QString withoutLastCharacter(const QString &text)
{
    return text.isEmpty() ? text : text.chopped(1);
}

// The modem members of the SMS replies, copied under the read side of settingsLock.
struct ModemState
{
    qint32 connect = 0;
    QString model, modemOperator, manufacturer, softwareVersion, serviceCentre;
    qint32 signalQuality = 0;
    TestSmsState testState = TestSmsState::None;
    QString testReason;
};

// Caller holds settingsLock for reading.
ModemState copyModemState()
{
    const SmsSettings &s = smsSettings;
    return ModemState{s.connect,
                      s.modemModel,
                      s.modemOperator,
                      s.modemManufacturer,
                      s.modemSoftwareVersion,
                      s.modemServiceCentre,
                      s.modemSignalQuality,
                      s.testSmsState,
                      s.testSmsReason};
}

// The latest test SMS as the page reads it: "" before the first, then "queued", "sent"
// or "failed".
QString testStateText(TestSmsState state)
{
    switch (state) {
    case TestSmsState::Queued:
        return QStringLiteral("queued");
    case TestSmsState::Sent:
        return QStringLiteral("sent");
    case TestSmsState::Failed:
        return QStringLiteral("failed");
    case TestSmsState::None:
        break;
    }
    return QString();
}

void addModemState(ReplyJson &reply, const ModemState &m)
{
    reply.add("smsconnected", QString::number(m.connect))
        .add("model", withoutLastCharacter(m.model))
        .add("operator", m.modemOperator)
        .add("manufacturer", withoutLastCharacter(m.manufacturer))
        .add("signalquality", QString::number(m.signalQuality))
        .add("softwareversion", withoutLastCharacter(m.softwareVersion))
        .add("sercentreadd", m.serviceCentre)
        .add("testsms", testStateText(m.testState))
        .add("testsmsreason", m.testReason);
}

// The first number that cannot stand in a row of the SMS log page; null when all can.
QString unloggableNumber(const QStringList &numbers)
{
    for (const QString &number : numbers)
        if (!fitsFieldRow(number))
            return number;
    return QString();
}

} // namespace

void qmlobject::handleGetSystemSet()
{
    SystemSettings s;
    {
        QReadLocker locker(&settingsLock);
        s = systemSettings;
    }
    ReplyJson reply;
    for (const auto &k : kSystemKeys)
        reply.add(k.key, s.*k.member);
    emit sigSysSet(reply.text());
}

void qmlobject::handleSetComConfig(QString request)
{
    const RequestJson req(request);
    if (rejectNonObject(req, "handleSetComConfig"))
        return;
    ParamKeys keys;
    {
        QWriteLocker locker(&settingsLock);
        for (int i = kPortKeyFirst; i < kSystemKeyCount; ++i) {
            const SettingsKey<SystemSettings> &k = kSystemKeys[i];
            const QString value = req.value(QLatin1String(k.key));
            systemSettings.*k.member = value;
            keys.append({QLatin1String(k.key), value});
        }
    }
    QString failure;
    writeParamKeys(keys, &failure);
    emit sigSaveResult(QStringLiteral("ports"), failure);
}

void qmlobject::handleGetScheduleTime()
{
    QString shutdown, startup;
    {
        QReadLocker locker(&scheduleListLock);
        shutdown = nextShutdownTime;
        startup = nextStartupTime;
    }
    emit sigScheduleTime(ReplyJson().add("nextShutdownTime", shutdown).add("nextStartupTime", startup).text());
}

void qmlobject::handleGetLanguage()
{
    emit siglang(currentLang());
}

void qmlobject::handleSetPublicPara(QString request)
{
    const RequestJson req(request);
    if (rejectNonObject(req, "handleSetPublicPara"))
        return;
    const QString lang = req.value(QStringLiteral("lang"));
    {
        // The event texts come out Chinese only while the catalogues are installed.
        const ChineseTranslatorScope translators(lang);
        initEventTexts();
    }
    {
        QWriteLocker locker(&settingsLock);
        systemSettings.lang = lang;
    }
    QString failure;
    writeParamKeys({{paramKey(&SystemSettings::lang), lang}}, &failure);
    emit sigSaveResult(QStringLiteral("lang"), failure);
}

bool qmlobject::modemPortClashes(const QString &modemPort) const
{
    QString devicePort;
    {
        QReadLocker locker(&settingsLock);
        devicePort = deviceSettings.inverterSelectName;
    }
    return portsClash(devicePort, modemPort);
}

void qmlobject::handleGetProtocol()
{
    const QString protocol = bridgeProtocol();
    emit sigprotocol(familyOfProtocol(protocol));
    qCDebug(lcBridge) << "strProtocolstrProtocol" << protocol << protocol;
}

void qmlobject::handleSetEmail(QString request)
{
    const RequestJson req(request);
    if (rejectNonObject(req, "handleSetEmail"))
        return;
    QString values[kEmailKeyCount];
    for (int i = 0; i < kEmailKeyCount; ++i)
        values[i] = req.value(QLatin1String(kEmailKeys[i].key));
    const QStringList recipients = req.list(QStringLiteral("email_receiver_addrs"));
    QStringList masks = req.list(QStringLiteral("email_event_flag"));
    fitMasks(masks, recipients.size());
    bool rewrite;
    {
        QWriteLocker locker(&settingsLock);
        for (int i = 0; i < kEmailKeyCount; ++i)
            emailSettings.*kEmailKeys[i].member = values[i];
        rewrite = mayRewriteRecipients(emailSettings.recipientsRead, emailSettings.mailRecipients,
                                       emailSettings.mailEventFlags, recipients, masks);
        if (rewrite) {
            emailSettings.mailRecipients = recipients;
            emailSettings.mailEventFlags = masks;
        }
    }
    // A file that cannot be written keeps its old content; memory holds the new, and the
    // page says that it was not saved.
    QString failure;
    writeParamKeys(emailParamKeys(values, kEmailKeyCount), &failure);
    if (!rewrite) {
        qCWarning(lcBridge) << "e-mail recipients unchanged and their file unread; the file is kept";
    } else if (saveEmailRecipients(recipients, masks, &failure)) {
        QWriteLocker locker(&settingsLock);
        emailSettings.recipientsRead = true;
    }
    emit sigSaveResult(QStringLiteral("email"), failure);
}

void qmlobject::handleGetEmailSet()
{
    EmailSettings e;
    {
        QReadLocker locker(&settingsLock);
        e = emailSettings;
    }
    ReplyJson reply;
    for (int i = 0; i < kEmailKeyCount; ++i) {
        if (i == kEmailServerKeyCount) {
            reply.addList("email_receiver_addrs", e.mailRecipients);
            reply.addList("email_event_flag", e.mailEventFlags);
        }
        reply.add(kEmailKeys[i].key, e.*kEmailKeys[i].member);
    }
    emit emailGetSig(reply.text());
}

void qmlobject::handleSetSMS(QString request)
{
    const RequestJson req(request);
    if (rejectNonObject(req, "handleSetSMS"))
        return;
    const QString flag = req.value(QStringLiteral("smsFlag"));
    const QString portName = req.value(QStringLiteral("comName"));
    const QStringList phones = req.list(QStringLiteral("phones"));
    const QString refused = unloggableNumber(phones);
    if (!refused.isNull()) {
        qCWarning(lcBridge) << "SMS settings refused, nothing changed: the number" << refused
                            << "holds a separator of the SMS log";
        emit sigSMSNumberRefused(refused);
        return;
    }
    QStringList masks = req.list(QStringLiteral("sms_event_flag"));
    fitMasks(masks, phones.size());
    bool rewrite;
    {
        QWriteLocker locker(&settingsLock);
        smsSettings.smsFlag = flag;
        smsSettings.SMSSelectName = portName;
        rewrite = mayRewriteRecipients(smsSettings.recipientsRead, smsSettings.smsPhones, smsSettings.smsEventFlags,
                                       phones, masks);
        if (rewrite) {
            smsSettings.smsPhones = phones;
            smsSettings.smsEventFlags = masks;
        }
    }
    QString failure;
    writeParamKeys({{paramKey(&SmsSettings::smsFlag), flag}, {paramKey(&SmsSettings::SMSSelectName), portName}},
                   &failure);
    if (!rewrite) {
        qCWarning(lcBridge) << "SMS recipients unchanged and their file unread; the file is kept";
    } else if (saveSmsRecipients(phones, masks, &failure)) {
        QWriteLocker locker(&settingsLock);
        smsSettings.recipientsRead = true;
    }
    emit sigSaveResult(QStringLiteral("sms"), failure);
}

void qmlobject::handleGetSMSSet()
{
    // The port list first: listing the system's ports takes no lock of ours.
    const QStringList ports = serialPortNames();

    QString flag, selected;
    QStringList phones, masks;
    ModemState modem;
    {
        QReadLocker locker(&settingsLock);
        flag = smsSettings.smsFlag;
        selected = smsSettings.SMSSelectName;
        phones = smsSettings.smsPhones;
        masks = smsSettings.smsEventFlags;
        modem = copyModemState();
    }
    ReplyJson reply;
    reply.add("smsFlag", flag)
        .addObject("comName", ReplyJson().addList("com", ports).add("selected", selected))
        .addList("phones", phones)
        .addList("sms_event_flag", masks);
    addModemState(reply, modem);
    emit sigQtSSMSSet(reply.text());
}

void qmlobject::handleGetSMSState()
{
    ModemState modem;
    {
        QReadLocker locker(&settingsLock);
        modem = copyModemState();
    }
    ReplyJson reply;
    addModemState(reply, modem);
    emit sigSMSState(reply.text());
}

void qmlobject::handleSendSMSTest(QString request)
{
    const RequestJson req(request);
    if (rejectNonObject(req, "handleSendSMSTest"))
        return;
    const QString number = req.value(QStringLiteral("testphone"));
    quint64 serial;
    {
        QWriteLocker locker(&settingsLock);
        smsSettings.smsTestPhone = number;
        serial = ++smsSettings.testSmsRequest;
        smsSettings.testSmsState = TestSmsState::Queued;
        smsSettings.testSmsReason.clear();
    }
    // Never queued, so never in the SMS log, where it would split its row.
    if (!fitsFieldRow(number)) {
        qCWarning(lcBridge) << "test SMS refused: the number" << number << "holds a separator of the SMS log";
        setTestSmsOutcome(serial, TestSmsState::Failed, QLatin1String(kTestSmsBadNumber));
        return;
    }
    postTestSmsEvent(number, serial);
}
