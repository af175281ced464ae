#pragma once
// The e-mail thread: one alarm mail per posted event to the recipients whose event masks
// select it, and the day, month and year generation reports at the minutes the user set,
// to every recipient. All the work is done, synchronously, by the one-second tick.
//
// Thread: the object is created, started and stopped by the GUI thread; run(), the tick
// and every send run in the e-mail thread, and every member but stopFlag belongs to that
// thread alone. stop() may be called from any thread. Shared state is read as copies:
// the settings and event texts under settingsLock, the events taken off emailEventQueue
// under its lock (core/settings.h, core/events.h); no lock is held across a dialogue.
#include "core/events.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

class QTimer;
class Smtp;

class email_thread : public QThread
{
    Q_OBJECT
public:
    explicit email_thread(QObject *parent = nullptr);
    ~email_thread() override;

    // Any thread: no mail starts after this, and a dialogue in progress ends within a
    // fraction of a second. The owner then exits the event loop and waits.
    void stop();

    // Mails the period's report ("day", "month" or "year") to every recipient.
    void sendReport(const QString &period);
    // Mails every waiting event, oldest first, until one fails or a retry is not yet due.
    void sendEventMails();
    // Hands the current server settings to a client, and the thread's stop flag.
    void configureSmtp(Smtp *smtp);
    // The two labels of an alarm mail body, in the mail language.
    void initMailLabels();

    // The alarm mails still to be sent, retries included; e-mail thread (or a test that
    // drives the tick itself).
    int pendingMailCount() const { return int(pendingMails.size()); }

    // At most this many alarm mails wait while no mail can be sent; a newer event pushes
    // out the oldest, with a trace.
    static constexpr int kMaxPendingMails = 1000;
    // A mail that failed this many dialogues is dropped, with a trace.
    static constexpr int kMaxSendsPerMail = 5;
    // After a failed dialogue no alarm mail is tried for this long, doubled after every
    // further failure in a row up to kMaxRetryPauseSec: a server that is down is not
    // hammered, and one that comes back is used within minutes.
    static constexpr int kFirstRetryPauseSec = 60;
    static constexpr int kMaxRetryPauseSec = 16 * 60;
    // A report whose minute passed while the thread was busy sending (or the clock
    // jumped) is still sent, when that minute lies no further back than this.
    static constexpr int kReportCatchUpMinutes = 60;

public slots:
    void threadTimer();

protected:
    void run() override;

private:
    struct PendingMail
    {
        EventItem event;
        int failedSends = 0;
    };
    // Moves the newly posted events into pendingMails, keeping its bound.
    void collectEvents();
    // Sends each report whose minute has come since the last check, once per minute.
    void checkReports();
    enum class Delivery {
        Accepted,       // the server took the mail for at least one recipient
        NoRecipient,    // nobody is to receive it; nothing was sent
        RefusedForGood, // the server refused every recipient for good; sending again cannot help
        Failed,         // the server could not take it (no connection, no answer, a 4xx ...)
    };
    // One alarm mail.
    Delivery sendEventMail(const EventItem &event);
    // One mail over a client of its own with the current server settings.
    Delivery deliver(const std::function<void(Smtp &)> &send);

    QStringList mailLabels;
    // The minute ("yyyy-MM-dd hh:mm") of the last report of each period. A report goes
    // out in a due minute unless its latch already holds that minute.
    QString dayReportMinute;
    QString monthReportMinute;
    QString yearReportMinute;
    QTimer *timer = nullptr;
    bool sendingEventMails = false;
    bool inTick = false;             // a client's wait may run a tick inside a tick
    QDateTime lastReportCheck;       // the minute the reports were last checked for
    QList<PendingMail> pendingMails; // oldest first
    QDateTime retryAt;               // no alarm mail before this; invalid when none failed
    int failuresInRow = 0;
    std::atomic<bool> stopFlag{false};
};
