#include "notify/sms_thread.h"

#include "core/clock.h"
#include "core/events.h"
#include "core/logging.h"
#include "core/settings.h"
#include "core/threadend.h"
#include "history/historyio.h"
#include "history/historyshared.h"
#include "notify/smspdu.h"

#include <QReadLocker>
#include <QWriteLocker>

namespace {

// Modem link states shown on the settings page.
enum LinkState { LinkOff = 0, LinkPortFailed = 1, LinkPortOpen = 2, LinkReady = 3 };

// At exit, the window waits for every thread; a message the modem has taken gets this
// long for its acceptance, well inside the exit's bound.
constexpr int kStopGraceMs = 1500;

// A command write that fails on a port that is still there is tried again after a short
// pause. A message is written once per prompt: part of a failed copy followed by a whole
// one would reach the modem as one garbled message, its address possibly among it.
constexpr int kWriteAttempts = 3;
constexpr int kMessageWriteAttempts = 1;

// A code outside the table leaves the port's own default: 115200 baud, 8N1.
constexpr int kDefaultModemBaud = 115200;

// The codes of the modem's line settings as stored in "param.ini".
ModemLineParams lineParams(const QString &name, const QString &baud, const QString &dataBits,
                           const QString &parity, const QString &stopBits)
{
    const bool known = baud.size() == 1 && baud.at(0) >= QLatin1Char('1') && baud.at(0) <= QLatin1Char('7');
    return ModemLineParams{name, known ? modemPortBaud(baud) : kDefaultModemBaud, portDataBits(dataBits, 8),
                           portParity(parity, 'N'), portStopBits(stopBits, 1)};
}

// Echo off; PDU mode (TS 27.005 3.2.3); messages kept on the SIM; new-message
// indications buffered in the modem, so no unsolicited line breaks into a reply.
const char *const kInitCommands[] = {"ATE0\r", "AT+CMGF=0\r", "AT+CPMS=SM\r", "AT+CNMI=0,1,0,0,1\r"};
constexpr const char *kResetCommand = "AT+CFUN=1,1\r";

// Why a test SMS was not sent, as the settings page shows them (it translates them); a
// modem's refusal travels as the modem's own result code.
const QString kWhySwitchedOff = QStringLiteral("SMS is switched off");
const QString kWhyNoPort = QStringLiteral("No modem port is chosen");
const QString kWhyStale = QStringLiteral("It waited more than 10 minutes for the modem");
const QString kWhyQueueFull = QStringLiteral("Too many messages were waiting");
const QString kWhyNoAnswer = QStringLiteral("The modem did not answer");
const QString kWhyPortLost = QStringLiteral("The modem port failed during the send");

void reportTestFailure(quint64 request, const QString &why)
{
    if (request)
        setTestSmsOutcome(request, TestSmsState::Failed, why);
}

// How a reply that was no acceptance ended, for the page.
QString refusal(const ModemReply &reply)
{
    return reply.final() == ModemReply::None ? kWhyNoAnswer : reply.outcome();
}

// An event code that has no text in the family's table (code 77 of the inverter) still
// says which event it was.
QString textOfEvent(int code, const QString &comProtocol)
{
    const QString text = eventText(code, comProtocol);
    return text.isEmpty() ? QStringLiteral("Event %1").arg(code) : text;
}

} // namespace

bool isEventSelected(quint64 mask, int code)
{
    return eventMaskSelects(mask, code, kLastSmsMaskedCode);
}

QStringList smsRecipients(const QStringList &phones, const QStringList &masks, int code)
{
    return recipientsOfEvent(phones, masks, code, kLastSmsMaskedCode);
}

QString smsMessageText(const QDateTime &eventTime, const QString &eventText)
{
    return eventTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QLatin1Char(',') + eventText;
}

sms_thread::sms_thread(QObject *parent) : sms_thread(serialModemBackend(), SmsTimings(), parent) {}

sms_thread::sms_thread(ModemBackend &backend, const SmsTimings &timings, QObject *parent)
    : QThread(parent), m_backend(backend), m_timings(timings)
{
}

sms_thread::~sms_thread()
{
    stop();
    wait();
}

void sms_thread::stop()
{
    {
        QMutexLocker locker(&m_pauseMutex);
        stopRequested = true;
    }
    m_stopWake.wakeAll();
}

void sms_thread::run()
{
    const ThreadEndMark endMark(this);
    while (!stopRequested)
        pass();
    closePort();
    if (!m_outbox.isEmpty())
        qCWarning(lcNotify) << "SMS: stopped with" << m_outbox.size() << "messages not sent";
}

sms_thread::PassSettings sms_thread::readPassSettings() const
{
    QReadLocker locker(&settingsLock);
    return PassSettings{smsSettings.smsFlag,           smsSettings.SMSSelectName,     systemSettings.msg_boudrate,
                        systemSettings.msg_databit,    systemSettings.msg_checkbit,   systemSettings.msg_stopbit};
}

void sms_thread::pass()
{
    const PassSettings s = readPassSettings();

    if (s.smsFlag != QLatin1String("0")) {
        // Nor does anything wait while SMS is off, to go out in a burst once it is on.
        const int dropped = dropAll(kWhySwitchedOff);
        if (modemPort || linkState() != LinkOff) {
            closePort();
            if (dropped)
                qCInfo(lcNotify) << "SMS switched off:" << dropped << "events and messages not sent";
            setLinkState(LinkOff);
            clearModemInfo();
        }
        sleepMs(m_timings.passPauseMs);
        return;
    }

    if (!portChosen(s.portName)) {
        // Nothing waits for a modem that was never set up: a new installation would
        // otherwise collect its alarms for days and send them once a port is chosen.
        closePort();
        lastPortName = s.portName;
        setLinkState(LinkPortFailed);
        clearModemInfo();
        const int dropped = dropAll(kWhyNoPort);
        if (!m_noPortNoted)
            qCInfo(lcNotify) << "SMS: on, but no modem port is chosen; events are not kept";
        else if (dropped)
            qCDebug(lcNotify) << "SMS: no modem port," << dropped << "events not kept";
        m_noPortNoted = true;
        sleepMs(m_timings.passPauseMs);
        return;
    }
    m_noPortNoted = false;

    trimEventQueue();
    dropStale();
    const bool sameLine = s.portName == lastPortName && s.baud == lastBaudRate && s.dataBits == lastDataBits
                          && s.parity == lastParity && s.stopBits == lastStopBits;
    if (!sameLine || linkState() <= LinkPortFailed || !modemPort) {
        if (!sameLine) {
            // New line settings deserve an attempt at once, whatever failed before.
            m_reopenAt = QDeadlineTimer(0);
            m_reopenPauseMs = 0;
        }
        if (m_reopenAt.hasExpired()) {
            const bool opened = openPort(s);
            setLinkState(opened ? LinkPortOpen : LinkPortFailed);
            lastPortName = s.portName;
            lastBaudRate = s.baud;
            lastDataBits = s.dataBits;
            lastParity = s.parity;
            lastStopBits = s.stopBits;
        }
    }
    if (!modemPort) {
        clearModemInfo();
        sleepMs(m_timings.passPauseMs);
        return;
    }

    bool ready = false;
    if (linkState() != LinkPortFailed) {
        const bool answered = initModem();
        if (!modemPort)
            return;
        if (answered)
            setLinkState(LinkReady);
        ready = answered || linkState() == LinkReady;
    }
    if (!ready) {
        clearModemInfo();
        sleepMs(m_timings.passPauseMs);
        return;
    }

    sleepMs(m_timings.passPauseMs);
    if (stopRequested)
        return;
    queryModemInfo();
    if (!modemPort)
        return;
    sleepMs(m_timings.passPauseMs);
    if (stopRequested)
        return;
    drain();
    sleepMs(m_timings.passPauseMs);
}

void sms_thread::sleepMs(int ms)
{
    const QDeadlineTimer until(ms);
    QMutexLocker locker(&m_pauseMutex);
    while (!stopRequested && !until.hasExpired())
        m_stopWake.wait(&m_pauseMutex, until);
}

void sms_thread::closePort() { modemPort.reset(); }

bool sms_thread::openPort(const PassSettings &s)
{
    closePort();
    QString error;
    modemPort = m_backend.open(lineParams(s.portName, s.baud, s.dataBits, s.parity, s.stopBits), &error);
    if (modemPort) {
        m_reopenPauseMs = 0;
        qCInfo(lcNotify) << "SMS: modem port" << s.portName << "open";
        return true;
    }
    m_reopenPauseMs = m_reopenPauseMs ? qMin(2 * m_reopenPauseMs, m_timings.reopenMaxPauseMs)
                                      : m_timings.passPauseMs;
    m_reopenAt = QDeadlineTimer(m_reopenPauseMs);
    qCWarning(lcNotify) << "SMS: cannot open the modem port" << s.portName << error << "- next attempt in"
                        << m_reopenPauseMs << "ms";
    return false;
}

void sms_thread::portLost(const char *when)
{
    qCWarning(lcNotify) << "SMS: the modem port failed" << when << "- reopening";
    closePort();
    setLinkState(LinkPortFailed);
    clearModemInfo();
    m_reopenPauseMs = m_reopenPauseMs ? qMin(2 * m_reopenPauseMs, m_timings.reopenMaxPauseMs)
                                      : m_timings.passPauseMs;
    m_reopenAt = QDeadlineTimer(m_reopenPauseMs);
}

bool sms_thread::sendCommand(const QByteArray &command, int attempts)
{
    for (int attempt = 1; attempt <= attempts && modemPort; ++attempt) {
        if (modemPort->write(command))
            return true;
        if (modemPort->failed() || stopRequested)
            break;
        QThread::msleep(unsigned(m_timings.pollMs));
    }
    if (modemPort)
        portLost("while writing");
    return false;
}

ModemReply sms_thread::waitReply(ModemReply::Kind kind, int timeoutMs)
{
    ModemReply reply(kind);
    QDeadlineTimer deadline(timeoutMs);
    bool stopSeen = false;
    while (modemPort && !reply.isDone()) {
        if (stopRequested && !stopSeen) {
            // A message already handed to the modem is waited for a little longer, so
            // its log row says whether it went; every other wait ends now.
            stopSeen = true;
            if (kind != ModemReply::Submit)
                break;
            deadline = qMin(deadline, QDeadlineTimer(kStopGraceMs));
        }
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        const QByteArray bytes = modemPort->read(int(qMin<qint64>(left, m_timings.pollMs)));
        qCDebug(lcNotify).noquote() << "SMS: modem <" << bytes.toPercentEncoding(" +:,\"^");
        reply.feed(bytes);
        if (bytes.isEmpty() && modemPort->failed())
            portLost("while reading");
    }
    return reply;
}

ModemReply sms_thread::exchange(const QByteArray &command, ModemReply::Kind kind, int timeoutMs)
{
    if (!modemPort)
        return ModemReply(kind);
    // What is still in the line belongs to an earlier command (a late OK, an indication).
    const QByteArray stale = modemPort->read(0);
    if (!stale.isEmpty())
        qCDebug(lcNotify) << "SMS: dropped" << stale.size() << "stale bytes before" << command.trimmed();
    if (!sendCommand(command, kWriteAttempts))
        return ModemReply(kind);
    ModemReply reply = waitReply(kind, timeoutMs);
    if (!reply.isDone())
        qCDebug(lcNotify) << "SMS:" << command.trimmed() << "got no final result in" << timeoutMs << "ms";
    return reply;
}

bool sms_thread::initModem()
{
    bool allOk = true;
    int n = 0;
    for (const char *command : kInitCommands) {
        const ModemReply reply = exchange(command, ModemReply::Command, m_timings.commandReplyMs);
        if (!modemPort || stopRequested)
            return false;
        allOk = allOk && reply.final() == ModemReply::Ok;
        if (++n < int(std::size(kInitCommands)))
            sleepMs(m_timings.initPauseMs);
    }
    return allOk;
}

void sms_thread::queryModemInfo()
{
    const char *const commands[] = {"AT+GMI\r", "AT+GMM\r", "AT+GMR\r", "AT+COPS?\r", "AT+CSCA?\r", "AT+CSQ\r"};
    QList<ModemReply> replies;
    for (const char *command : commands) {
        if (!replies.isEmpty())
            sleepMs(m_timings.infoPauseMs);
        replies << exchange(command, ModemReply::Command, m_timings.commandReplyMs);
        if (!modemPort || stopRequested)
            return;
    }
    // The settings page drops the last character of the identity texts: the line end
    // these texts have always been stored with.
    auto identity = [](const ModemReply &r) {
        const QString line = modemIdentityLine(r);
        return line.isEmpty() ? line : line + QLatin1Char('\r');
    };
    QWriteLocker locker(&settingsLock);
    smsSettings.modemManufacturer = identity(replies.at(0));
    smsSettings.modemModel = identity(replies.at(1));
    smsSettings.modemSoftwareVersion = identity(replies.at(2));
    smsSettings.modemOperator = modemQuotedField(replies.at(3), "+COPS:");
    smsSettings.modemServiceCentre = modemQuotedField(replies.at(4), "+CSCA:");
    smsSettings.modemSignalQuality = modemSignalQuality(replies.at(5));
}

void sms_thread::resetModem()
{
    exchange(kResetCommand, ModemReply::Startup, m_timings.restartReplyMs);
    if (!modemPort || stopRequested)
        return;
    sleepMs(m_timings.passPauseMs);
    const bool answered = initModem();
    if (modemPort)
        setLinkState(answered ? LinkReady : LinkPortOpen);
}

void sms_thread::trimEventQueue()
{
    QList<EventItem> dropped;
    {
        QWriteLocker locker(&smsEventQueueLock);
        if (smsEventQueue.size() > kSmsQueueLimit) {
            dropped = smsEventQueue.mid(0, smsEventQueue.size() - kSmsQueueLimit);
            smsEventQueue.remove(0, dropped.size());
        }
    }
    for (const EventItem &e : std::as_const(dropped))
        reportTestFailure(e.request, kWhyQueueFull);
    if (!dropped.isEmpty())
        qCWarning(lcNotify) << "SMS: queue full," << dropped.size() << "oldest events dropped";
}

int sms_thread::dropAll(const QString &why)
{
    const QList<EventItem> events = takeAllEvents(smsEventQueue, smsEventQueueLock);
    for (const EventItem &e : events)
        reportTestFailure(e.request, why);
    for (const Outgoing &o : std::as_const(m_outbox))
        reportTestFailure(o.request, why);
    const int dropped = int(events.size() + m_outbox.size());
    m_outbox.clear();
    return dropped;
}

void sms_thread::dropStale()
{
    const QDateTime oldest = appClock().now().addSecs(-kSmsMaxWaitSecs);
    QList<quint64> tests;
    qsizetype dropped = 0;
    {
        QWriteLocker locker(&smsEventQueueLock);
        dropped += smsEventQueue.removeIf([&](const EventItem &e) {
            if (e.time >= oldest)
                return false;
            tests << e.request;
            return true;
        });
    }
    dropped += m_outbox.removeIf([&](const Outgoing &o) {
        if (o.time >= oldest)
            return false;
        tests << o.request;
        return true;
    });
    for (const quint64 request : std::as_const(tests))
        reportTestFailure(request, kWhyStale);
    if (dropped)
        qCWarning(lcNotify) << "SMS:" << dropped << "events and messages waited more than" << kSmsMaxWaitSecs / 60
                            << "minutes for the modem; not sent";
}

bool sms_thread::fillOutbox()
{
    EventItem event;
    {
        QWriteLocker locker(&smsEventQueueLock);
        if (smsEventQueue.isEmpty())
            return false;
        event = smsEventQueue.takeFirst();
    }
    QStringList numbers;
    {
        QReadLocker locker(&settingsLock);
        // A test SMS goes to the number of its own request, whatever was asked since.
        numbers = event.code == EventTestSms
                      ? QStringList{event.number}
                      : smsRecipients(smsSettings.smsPhones, smsSettings.smsEventFlags, event.code);
    }
    for (const QString &number : std::as_const(numbers))
        m_outbox.append(Outgoing{number, event.code, event.time, event.request});
    int dropped = 0;
    while (m_outbox.size() > kSmsOutboxLimit) {
        reportTestFailure(m_outbox.first().request, kWhyQueueFull);
        m_outbox.removeFirst();
        ++dropped;
    }
    if (dropped)
        qCWarning(lcNotify) << "SMS: too many messages waiting," << dropped << "oldest dropped";
    return true;
}

void sms_thread::drain()
{
    while (!stopRequested && modemPort) {
        dropStale();
        if (m_outbox.isEmpty() && !fillOutbox())
            return;
        if (m_outbox.isEmpty())
            continue; // an event without recipients
        const Outgoing o = m_outbox.first();
        QString comProtocol;
        {
            QReadLocker locker(&settingsLock);
            comProtocol = deviceSettings.comProtocol;
        }
        const QString eventText = textOfEvent(o.code, comProtocol);
        QString why;
        if (!parseSmsNumber(o.number, &why)) {
            m_outbox.removeFirst();
            qCWarning(lcNotify) << "SMS: not sent to" << o.number << "for event" << o.code << ":" << why;
            reportTestFailure(o.request, QLatin1String(kTestSmsBadNumber));
            if (!o.number.isEmpty())
                logSms(o.number, eventText, false);
            continue;
        }
        const SendResult result = sendSms(o.number, smsMessageText(o.time, eventText), &why);
        if (result == SendResult::PortLost)
            return; // the message stays first and goes once the port is back
        m_outbox.removeFirst();
        logSms(o.number, eventText, result == SendResult::Sent);
        if (result == SendResult::Sent && o.request)
            setTestSmsOutcome(o.request, TestSmsState::Sent);
        else if (result != SendResult::Sent)
            reportTestFailure(o.request, why);
    }
}

sms_thread::SendResult sms_thread::sendSms(const QString &number, const QString &text, QString *why)
{
    QString lang;
    {
        QReadLocker locker(&settingsLock);
        lang = systemSettings.lang;
    }
    const SmsPdu pdu = buildSmsPdu(*parseSmsNumber(number), text,
                                   lang == QLatin1String("1") ? SmsAlphabet::Gsm7 : SmsAlphabet::Ucs2);
    if (pdu.userData.shortened)
        qCInfo(lcNotify) << "SMS: text to" << number << "shortened to" << pdu.userData.text.size() << "characters";

    bool pduWritten = false;
    // A port that fails once the message is out leaves it unknown whether it went.
    *why = kWhyPortLost;
    for (int attempt = 1; attempt <= kSmsSendTries; ++attempt) {
        const ModemReply prompt = exchange(cmgsCommand(pdu), ModemReply::Prompt, m_timings.sendReplyMs);
        if (!modemPort)
            return pduWritten ? SendResult::Refused : SendResult::PortLost;
        if (prompt.sawPrompt()) {
            if (!sendCommand(pduSubmission(pdu), kMessageWriteAttempts))
                // A PDU cut short lacks its Ctrl-Z, and a modem sends nothing without it.
                return pduWritten ? SendResult::Refused : SendResult::PortLost;
            pduWritten = true;
            const ModemReply accepted = waitReply(ModemReply::Submit, m_timings.sendReplyMs);
            // "+CMGS: n" is the network's acceptance; the OK after it only closes the
            // reply, and a message retried for its loss would go twice.
            const bool referenced = accepted.messageReference() >= 0
                                    && (accepted.final() == ModemReply::Ok || accepted.final() == ModemReply::None);
            if (referenced) {
                qCInfo(lcNotify) << "SMS: sent to" << number << "reference" << accepted.messageReference();
                return SendResult::Sent;
            }
            qCWarning(lcNotify) << "SMS: to" << number << "try" << attempt << "not accepted:" << accepted.outcome();
            // Gone after the message went out: it may have been sent, so it is not sent again.
            if (!modemPort)
                return SendResult::Refused;
            *why = refusal(accepted);
        } else {
            qCWarning(lcNotify) << "SMS: to" << number << "try" << attempt << "no prompt:" << prompt.outcome();
            *why = refusal(prompt);
        }
        if (stopRequested)
            return SendResult::Refused;
        resetModem();
        if (!modemPort) {
            *why = kWhyPortLost;
            return pduWritten ? SendResult::Refused : SendResult::PortLost;
        }
    }
    return SendResult::Refused;
}

void sms_thread::logSms(const QString &number, const QString &text, bool sent)
{
    // A log that cannot be written is traced where it fails; the SMS itself went as it went.
    appendSmsLogRow(appClock().now(), number, text, sent);
}

void sms_thread::setLinkState(int state)
{
    QWriteLocker locker(&settingsLock);
    smsSettings.connect = state;
}

int sms_thread::linkState() const
{
    QReadLocker locker(&settingsLock);
    return smsSettings.connect;
}

void sms_thread::clearModemInfo()
{
    QWriteLocker locker(&settingsLock);
    smsSettings.modemManufacturer.clear();
    smsSettings.modemModel.clear();
    smsSettings.modemSoftwareVersion.clear();
    smsSettings.modemOperator.clear();
    smsSettings.modemServiceCentre.clear();
    smsSettings.modemSignalQuality = 0;
}
