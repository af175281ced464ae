#include "notify/email_thread.h"

#include "core/clock.h"
#include "core/logging.h"
#include "core/settings.h"
#include "core/threadend.h"
#include "core/translation.h"
#include "notify/smtp.h"

#include <QReadLocker>
#include <QTimer>

#include <algorithm>
#include <iterator>

namespace {
constexpr int kTickMs = 1000;
const char kEventTimeFormat[] = "yyyy-MM-dd hh:mm:ss";
const char kProductWord[] = "Kestrava";

const char *const kLabelSources[] = {QT_TRANSLATE_NOOP("email_thread", "Time:"),
                                     QT_TRANSLATE_NOOP("email_thread", "Log Event:")};
// The text of a code that has none in the family's table: never an empty mail.
const char *const kUnknownEventSource = QT_TRANSLATE_NOOP("email_thread", "Event code %1");

// The three reports: the clock text their time is compared with, and where their
// settings and latch live.
struct ReportRule
{
    const char *period;
    const char *clockFormat;
    QString EmailSettings::*time;
    QString EmailSettings::*flag;
    QString email_thread::*latch;
};

QDateTime startOfMinute(const QDateTime &t)
{
    QDateTime m = t;
    m.setTime(QTime(t.time().hour(), t.time().minute()));
    return m;
}

QString droppedTrace(const QList<EventItem> &dropped)
{
    return QStringLiteral("%1 alarm mail(s) dropped unsent, events of %2 to %3")
        .arg(dropped.size())
        .arg(dropped.first().time.toString(QLatin1String(kEventTimeFormat)),
             dropped.last().time.toString(QLatin1String(kEventTimeFormat)));
}
}

email_thread::email_thread(QObject *parent) : QThread(parent) {}

email_thread::~email_thread()
{
    // The owner has ended the thread; this only makes sure no running thread is destroyed.
    stop();
    exit(0);
    wait();
}

void email_thread::stop()
{
    stopFlag = true;
}

void email_thread::run()
{
    const ThreadEndMark endMark(this);
    timer = new QTimer;
    timer->setInterval(kTickMs);
    // The object lives in the GUI thread; the tick must run here, in the e-mail thread.
    connect(timer, &QTimer::timeout, this, &email_thread::threadTimer, Qt::DirectConnection);
    QTimer::singleShot(0, timer, qOverload<>(&QTimer::start));
    exec();
    delete timer;
    timer = nullptr;
}

void email_thread::threadTimer()
{
    if (inTick || stopFlag)
        return;
    inTick = true;
    checkReports();
    collectEvents();
    if (!pendingMails.isEmpty() && !sendingEventMails && !stopFlag)
        sendEventMails();
    inTick = false;
}

void email_thread::checkReports()
{
    static const ReportRule rules[] = {
        {"day", "hh:mm", &EmailSettings::genRDay, &EmailSettings::genRDFlag, &email_thread::dayReportMinute},
        {"month", "dd hh:mm", &EmailSettings::genRMonth, &EmailSettings::genRMFlag, &email_thread::monthReportMinute},
        {"year", "MM/dd hh:mm", &EmailSettings::genRYear, &EmailSettings::genRYFlag, &email_thread::yearReportMinute},
    };
    QString times[std::size(rules)];
    bool enabled[std::size(rules)];
    {
        QReadLocker locker(&settingsLock);
        for (std::size_t i = 0; i < std::size(rules); ++i) {
            times[i] = emailSettings.*rules[i].time;
            // "0" means send.
            enabled[i] = emailSettings.*rules[i].flag == QLatin1String("0") && !times[i].isEmpty();
        }
    }

    const QDateTime now = startOfMinute(appClock().now());
    QDateTime from = now;
    if (lastReportCheck.isValid() && lastReportCheck < now)
        from = std::max(lastReportCheck.addSecs(60), now.addSecs(-60 * kReportCatchUpMinutes));
    lastReportCheck = now;

    for (QDateTime minute = from; minute <= now && !stopFlag; minute = minute.addSecs(60)) {
        const QString key = minute.toString(QLatin1String(kMinuteFormat));
        for (std::size_t i = 0; i < std::size(rules) && !stopFlag; ++i) {
            QString &latch = this->*rules[i].latch;
            if (!enabled[i] || latch == key || minute.toString(QLatin1String(rules[i].clockFormat)) != times[i])
                continue;
            latch = key;
            sendReport(QLatin1String(rules[i].period));
        }
    }
}

void email_thread::sendReport(const QString &period)
{
    QStringList recipients;
    {
        QReadLocker locker(&settingsLock);
        for (const QString &r : std::as_const(emailSettings.mailRecipients)) {
            if (!r.isEmpty())
                recipients << r;
        }
    }
    if (recipients.isEmpty()) {
        qCDebug(lcNotify) << "e-mail:" << period << "report due, but there is no recipient";
        return;
    }
    switch (deliver([&](Smtp &smtp) { smtp.sendReportMail(recipients, period, period, period); })) {
    case Delivery::Accepted:
        qCDebug(lcNotify) << "e-mail:" << period << "report sent";
        break;
    case Delivery::RefusedForGood:
        qCWarning(lcNotify) << "e-mail: the" << period << "report was not sent: the server refuses every recipient";
        break;
    default:
        qCWarning(lcNotify) << "e-mail: the" << period << "report was not sent";
        break;
    }
}

void email_thread::collectEvents()
{
    const QList<EventItem> taken = takeAllEvents(emailEventQueue, emailEventQueueLock);
    for (const EventItem &e : taken)
        pendingMails.append(PendingMail{e, 0});
    if (pendingMails.size() <= kMaxPendingMails)
        return;
    QList<EventItem> dropped;
    while (pendingMails.size() > kMaxPendingMails)
        dropped << pendingMails.takeFirst().event;
    qCWarning(lcNotify).noquote() << "e-mail: too many alarm mails waiting;" << droppedTrace(dropped);
}

void email_thread::sendEventMails()
{
    sendingEventMails = true;
    while (!pendingMails.isEmpty() && !stopFlag) {
        if (retryAt.isValid() && appClock().now() < retryAt)
            break;
        const Delivery delivery = sendEventMail(pendingMails.first().event);
        // A dialogue cut short by the stop says nothing about the server.
        if (stopFlag)
            break;
        if (delivery != Delivery::Failed) {
            const EventItem done = pendingMails.takeFirst().event;
            // The server answered every command: it is working, whatever it thought of the addresses.
            if (delivery != Delivery::NoRecipient) {
                failuresInRow = 0;
                retryAt = QDateTime();
            }
            if (delivery == Delivery::RefusedForGood)
                qCWarning(lcNotify).noquote()
                    << "e-mail: alarm mail of event" << done.code << "of"
                    << done.time.toString(QLatin1String(kEventTimeFormat))
                    << "dropped: the server refuses every recipient";
        } else {
            PendingMail &failed = pendingMails.first();
            ++failed.failedSends;
            ++failuresInRow;
            const int pause = std::min(kMaxRetryPauseSec, kFirstRetryPauseSec << std::min(failuresInRow - 1, 10));
            retryAt = appClock().now().addSecs(pause);
            if (failed.failedSends >= kMaxSendsPerMail) {
                qCWarning(lcNotify).noquote()
                    << "e-mail: alarm mail of event" << failed.event.code << "of"
                    << failed.event.time.toString(QLatin1String(kEventTimeFormat)) << "dropped after"
                    << failed.failedSends << "failed sends";
                pendingMails.removeFirst();
            } else {
                qCWarning(lcNotify).noquote()
                    << "e-mail: alarm mail of event" << failed.event.code << "not accepted; next try in" << pause
                    << "s";
            }
            break;
        }
        // Reports fall due and events arrive while a long queue drains.
        checkReports();
        collectEvents();
    }
    sendingEventMails = false;
}

email_thread::Delivery email_thread::sendEventMail(const EventItem &event)
{
    QStringList recipients;
    QString protocol;
    {
        QReadLocker locker(&settingsLock);
        const EmailSettings &s = emailSettings;
        recipients = recipientsOfEvent(s.mailRecipients, s.mailEventFlags, event.code, kLastEmailMaskedCode);
        protocol = deviceSettings.comProtocol;
    }
    if (recipients.isEmpty())
        return Delivery::NoRecipient;

    initMailLabels();
    QString text = eventTextAt(eventTextTable(protocol), event.code);
    if (text.isEmpty())
        text = ThreadTranslator(currentLang()).translate("email_thread", kUnknownEventSource).arg(event.code);
    const QString subject = QStringLiteral("%1:%2").arg(QLatin1String(kProductWord), text);
    const QString body = mailLabels.value(0) + event.time.toString(QLatin1String(kEventTimeFormat))
        + QLatin1String("<br/>") + mailLabels.value(1) + text;

    return deliver([&](Smtp &smtp) { smtp.sendMail(recipients, subject, body); });
}

email_thread::Delivery email_thread::deliver(const std::function<void(Smtp &)> &send)
{
    Smtp smtp;
    configureSmtp(&smtp);
    QString outcome;
    connect(&smtp, &Smtp::ErrorCloseAll, &smtp, [&outcome](const QString &result) { outcome = result; });
    send(smtp);
    if (outcome == QLatin1String("success"))
        return Delivery::Accepted;
    return smtp.refusedForGood() ? Delivery::RefusedForGood : Delivery::Failed;
}

void email_thread::configureSmtp(Smtp *smtp)
{
    EmailSettings settings;
    {
        QReadLocker locker(&settingsLock);
        settings = emailSettings;
    }
    applyEmailSettings(*smtp, settings);
    smtp->setStopFlag(&stopFlag);
}

void email_thread::initMailLabels()
{
    // A translator of this thread's own, for this mail only: the GUI thread's texts stay.
    mailLabels = ThreadTranslator(currentLang()).translate("email_thread", kLabelSources);
}
