#pragma once
// The blocking SMTP client: one object sends one mail over one fresh connection, plain
// TCP or TLS from the first byte, with an optional AUTH LOGIN, and reports the outcome
// through ErrorCloseAll ("success" or "error") exactly once, before the send returns.
//
// Thread: an Smtp is used only by the thread that created it (the e-mail thread for
// alarm and report mails, a worker of the window for the test mail); every wait blocks that
// thread and is bounded (see the time limits in smtp.cpp). No lock is needed.
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QAbstractSocket;
class QTemporaryDir;
class QDateTime;
struct EmailSettings;

// The client's parameters without a log-in (built when serverAuthFlag is "1").
struct SmtpConfig6
{
    QString senderName;     // display name of the From line
    QString senderAddr;     // envelope sender and From address
    QString serverHostaddr; // SMTP server host name or address
    QString serverHostPort; // decimal text
    QString serverAuthFlag; // "0" log in, "1" no log-in, anything else: nothing is sent
    QString sslFlag;        // "0" TLS; counts only when serverAuthFlag is "0"
};

// The same with the AUTH LOGIN account (any serverAuthFlag other than "1").
struct SmtpConfig8
{
    QString senderName;
    QString senderAddr;
    QString serverHostaddr;
    QString serverHostPort;
    QString senderAccount;
    QString senderPassword; // plain text; the caller passes the unscrambled value
    QString serverAuthFlag;
    QString sslFlag;
};

// The time limits of one send. The defaults are the program's; tests shorten them.
struct SmtpTimings
{
    int waitMs = 5000;     // the connection, and each reply: a working server answers well within this
    int greetingWaits = 2; // the greeting gets this many waits: a server may greet late after a reverse lookup
};

// The display name the mails carry: the part of the address before its first "@", the
// whole address when it has none.
QString smtpSenderName(const QString &senderAddr);
// Moves the complete lines (LF or CR LF ended) at the front of pending into text, each
// followed by "\n", up to and including a reply's final line. True once that line has
// been taken, its code ("" when it has none) in code; otherwise the lines of the reply
// so far are in text and the rest of a line not yet ended stays in pending.
bool takeSmtpReplyLines(QByteArray &pending, QString &text, QString &code);
class Smtp : public QObject
{
    Q_OBJECT
public:
    Smtp();
    explicit Smtp(SmtpConfig6 config);
    explicit Smtp(SmtpConfig8 config);
    ~Smtp() override;

    // The account and password stay as they were.
    void setConfig(SmtpConfig6 config);
    void setConfig(SmtpConfig8 config);

    // Sends one single-part HTML mail to every address of recipients that the server
    // accepts. Returns when the dialogue has ended; the outcome has been emitted by then.
    void sendMail(const QStringList &recipients, const QString &subject, const QString &body);
    // Writes the report file of filePeriod ("day", "month" or "year") and sends the report
    // mail with it attached; subjectPeriod chooses the subject, the middle text is unused
    // (callers pass the period three times). The report file is gone when this returns,
    // whatever the outcome.
    void sendReportMail(const QStringList &recipients, const QString &subjectPeriod, const QString &unused,
                        const QString &filePeriod);
    // Writes the period's generation rows as CSV into a folder of this client's own under
    // the system's temporary folder, and names reportFile after it. Any other period
    // writes nothing; so does a generation file that exists but cannot be read, and the
    // report mail is then not sent.
    void createReportFile(const QString &period);
    // The report file's two column headings, in the language of lang.
    void initReportHeader();
    // The report file last written ("" before any); for the caller's checks.
    QString reportFileName() const { return reportFile.fileName(); }

    // A send in progress ends with "error" within kStopPollMs of *flag becoming true, and
    // none starts while it is. The flag may be set from any thread and must outlive the
    // client; null (the default) means the send runs its course.
    void setStopFlag(const std::atomic<bool> *flag) { stopFlag = flag; }
    static constexpr int kStopPollMs = 100;
    // For the sends that follow.
    void setTimings(const SmtpTimings &limits) { timings = limits; }

    // Writes one command line and returns the server's whole reply (each line followed
    // by "\n"), or "" when no complete reply arrived in time. The code of the reply's
    // final line is left in replyCode. "QUIT" reads nothing and closes the connection.
    QString sendCommand(const QString &command);

    static QString encodeBase64(const QString &text);
    static QString decodeBase64(const QString &text);
    // The zone of a Date field: "+hhmm" east of UTC and at UTC, "-hhmm" west.
    static QString timeZoneOffset(const QDateTime &dateTime);
    // "Date: Thu, 15 Jan 2026 12:00:00 +0100" for the application clock's now; no line end.
    static QString dateHeader();

    // The mail text as it goes after DATA: line ends made CR LF, and every line that
    // begins with "." given one more, so no line of the text can end the data.
    static QString toWireText(const QString &text);
    // True when text holds a control character (CR, LF, NUL, ...). Such a text in an
    // address, a display name or a subject would end a command or a header line early.
    static bool hasControlCharacter(const QString &text);

    // Why the latest send failed, in words for the user ("server port 99999 is not a port
    // number", "no connection: Connection refused", "the server answered 535 ..."); empty
    // after a success or when no reason is known.
    QString failureReason() const { return lastFailure; }
    // The recipients of the latest send that the server refused for good (a 5xx reply to
    // RCPT TO), in the caller's order. The mail went to the others; when there were none
    // the send failed.
    QStringList refusedRecipients() const { return refusedAddresses; }
    // True when the latest send failed only because the server refused every recipient
    // for good: sent again, the same mail would meet the same refusal.
    bool refusedForGood() const { return everyRecipientRefused; }

signals:
    void ErrorCloseAll(QString error);
    void SuccessQuit();

private slots:
    void ReadLiner();
    void PutSendLine();

private:
    // The connection step and the dialogue, once mailText and recipients are set.
    void runSend();
    // Waits for the connection (the host lookup included) in an event loop of its own, as
    // a blocking wait cannot be cut short; false on failure, time-out or stop.
    bool waitForConnection();
    bool stopRequested() const { return stopFlag && stopFlag->load(); }
    // The header lines every mail begins with: Date, User-Agent, MIME-Version, To, From
    // and Subject, each ended by "\n".
    QString commonHeader(const QString &subject) const;
    void removeReportFile();
    // False (with a trace) when there is no recipient or a header field holds a control
    // character; checked before anything is sent.
    bool acceptsHeaderFields(const QString &subject) const;
    // Forgets the outcome of the previous send.
    void resetOutcome();
    // Ends the send with its one outcome; later calls within the same send do nothing.
    void finish(const QString &outcome);
    // Ends the send with "error", keeping why for failureReason().
    void fail(const QString &why);
    QString lastFailure;
    // Reads until the final line of one reply has arrived or the deadline has passed;
    // false when it has not. Sets replyText and replyCode.
    bool readReply(qint64 timeoutMs);
    // One dialogue step: the command, then a reply whose final line has the code.
    bool step(const QString &command, const char *expectedCode, const char *logText = nullptr);
    // Sends the command and reads its reply into replyText and replyCode, with a trace.
    void exchange(const QString &command, const char *traceText);
    // Ends the send after a step whose reply was missing or lacked the code it needed.
    void stepFailed(const QString &command, const char *expectedCode, const char *traceText);
    // The RCPT TO of every recipient; false when the send has ended. A recipient refused
    // for good is left out, any other refusal ends the send.
    bool addressRecipients();
    void closeSocket();

    QFile reportFile;
    QString serverHostaddr;
    QString senderName;
    QString senderAccount;
    QString senderPassword;
    QString serverHostPort;
    QString serverAuthFlag;
    QString sslFlag;
    bool connectedFlag = false;
    QString mailText;
    QString greetingLine;
    QString greetingCode;
    QAbstractSocket *socket = nullptr;
    QString senderAddr;
    QStringList recipients;
    QString replyText;
    QString replyCode;
    int waitTimeout = 0;
    SmtpTimings timings;
    QStringList reportHeader;
    QByteArray pendingBytes; // received but not yet part of a reply: a line not yet ended
    bool outcomeSent = false;
    QStringList refusedAddresses;
    bool everyRecipientRefused = false;
    bool reportReady = false; // the last createReportFile wrote every row of its period
    const std::atomic<bool> *stopFlag = nullptr;
    std::unique_ptr<QTemporaryDir> reportDir; // made by createReportFile, removed with the client
};

// Hands the stored e-mail settings to a client (the caller passes a copy taken under
// settingsLock): the record without log-in when serverAuthFlag is "1", the one with the
// account and password for any other flag. The test mail and the e-mail thread both
// configure their clients through this.
void applyEmailSettings(Smtp &smtp, const EmailSettings &settings);
