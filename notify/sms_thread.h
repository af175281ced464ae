#pragma once
// The SMS thread: keeps a GSM modem ready on a serial port of its own, reads its identity
// and signal quality for the settings page, and sends every queued event as an SMS in PDU
// mode to the numbers whose masks select it, logging each message in the month's SMS log.
//
// Threads: the constructor, the destructor and stop() run in the GUI thread; run() and
// everything it calls run in the SMS thread, which has no event loop. Shared values: the
// SMS, system and device settings are read as copies under the read side of settingsLock;
// the modem state of smsSettings (connect, the modem texts, the signal quality) is written
// here under its write side; smsEventQueue is taken from under its own lock. No lock is
// held while the modem is spoken to or the log is written.
#include "notify/modemlink.h"
#include "notify/modemreply.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <memory>

// The pauses and reply deadlines of the modem dialogue. The defaults are the program's;
// tests shorten them.
struct SmsTimings
{
    int passPauseMs = 1000;     // between passes, and before and after the information queries
    int initPauseMs = 2000;     // after each of the first three initialisation commands
    int infoPauseMs = 1000;     // between two information queries
    int commandReplyMs = 2000;  // a modem answers a plain command well within this
    int sendReplyMs = 10000;    // the prompt, and the network's acceptance of a message
    int restartReplyMs = 20000; // a modem reset until its start-up report
    int pollMs = 100;           // one wait for bytes; a stop request is seen within this
    int reopenMaxPauseMs = 30000; // the longest pause between two attempts to reopen the port
};

// Queued events and messages while the modem cannot send: an alarm storm or a long outage
// keeps the newest, so the most recent state of the device still goes out.
inline constexpr int kSmsQueueLimit = 100;
inline constexpr int kSmsOutboxLimit = 100;
// An event that waited longer than the validity its message gives the network (10
// minutes) tells of a state long past; after an outage it would arrive in a burst.
inline constexpr qint64 kSmsMaxWaitSecs = 10 * 60;
// A message the modem does not accept is tried this often, with a modem reset after each try.
inline constexpr int kSmsSendTries = 3;

// The recipient rule of core/settings.h with the SMS numbers' last masked code.
bool isEventSelected(quint64 mask, int code);
QStringList smsRecipients(const QStringList &phones, const QStringList &masks, int code);
// "yyyy-MM-dd hh:mm:ss,<text>" with the event's own time.
QString smsMessageText(const QDateTime &eventTime, const QString &eventText);

class sms_thread : public QThread
{
    Q_OBJECT
public:
    explicit sms_thread(QObject *parent = nullptr);
    // Tests plug in a fake modem back end (kept by the caller) and short timings.
    sms_thread(ModemBackend &backend, const SmsTimings &timings, QObject *parent = nullptr);
    ~sms_thread() override;

    // Asks run() to end; every wait of the thread ends within one poll. Returns at once.
    void stop();

protected:
    void run() override;

private:
    // The settings of one pass, copied in one hold of settingsLock.
    struct PassSettings
    {
        QString smsFlag;
        QString portName;
        QString baud, dataBits, parity, stopBits;
    };
    // One message still to send: a number and its event.
    struct Outgoing
    {
        QString number;
        int code = 0;
        QDateTime time;
        quint64 request = 0; // a test SMS's request, 0 for an alarm
    };
    enum class SendResult { Sent, Refused, PortLost };

    PassSettings readPassSettings() const;
    void pass();
    void sleepMs(int ms);
    void closePort();
    bool openPort(const PassSettings &s);
    void portLost(const char *when);
    bool sendCommand(const QByteArray &command, int attempts);
    ModemReply waitReply(ModemReply::Kind kind, int timeoutMs);
    ModemReply exchange(const QByteArray &command, ModemReply::Kind kind, int timeoutMs);
    bool initModem();
    void queryModemInfo();
    void resetModem();
    void drain();
    bool fillOutbox();
    SendResult sendSms(const QString &number, const QString &text, QString *why);
    void logSms(const QString &number, const QString &text, bool sent);
    void setLinkState(int state);
    int linkState() const;
    void clearModemInfo();
    void trimEventQueue();
    int dropAll(const QString &why);
    void dropStale();

    ModemBackend &m_backend;
    const SmsTimings m_timings;
    std::atomic_bool stopRequested{false};
    // The pauses wait on this condition, so a stop request ends them at once and an idle
    // thread does not wake at all; stopRequested is set under the mutex so no wake is missed.
    QMutex m_pauseMutex;
    QWaitCondition m_stopWake;
    std::unique_ptr<ModemPort> modemPort;
    QString lastPortName = QStringLiteral("0");
    QString lastBaudRate;
    QString lastDataBits = QStringLiteral("0");
    QString lastParity = QStringLiteral("0");
    QString lastStopBits = QStringLiteral("0");
    // After a failed open or a lost port the next attempt waits, longer after each failure.
    QDeadlineTimer m_reopenAt{0};
    int m_reopenPauseMs = 0;
    QList<Outgoing> m_outbox; // SMS thread only
    bool m_noPortNoted = false;
};
