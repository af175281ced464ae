// The e-mail thread against a real server (aiosmtpd): alarm mails per family and language,
// recipients chosen by their masks, reports at their minutes with the fixed clock, a failed
// alarm mail retried after its pause while a recipient refused for good is not, the bounds,
// and the stop while a server says nothing.
// The tick is driven from the test thread, except where the thread itself must stop.
#include "notify/email_thread.h"

#include "core/events.h"
#include "core/settings.h"
#include "tests/notify/smtpfixture.h"
#include "tests/support/testenv.h"

#include <QJsonArray>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {
const QString kSender = QStringLiteral("kestrava@example.com");
const QString kAlice = QStringLiteral("alice@example.com");

struct Recipient
{
    QString address;
    QString mask;
};

void configure(quint16 port, const QList<Recipient> &recipients, const QString &protocol = QStringLiteral("0"),
               const QString &lang = QStringLiteral("1"))
{
    QWriteLocker locker(&settingsLock);
    EmailSettings &s = emailSettings;
    s.serverHostaddr = QStringLiteral("127.0.0.1");
    s.serverHostPort = QString::number(port);
    s.senderAddr = kSender;
    s.serverAuthFlag = QStringLiteral("1");
    s.sslFlag = QStringLiteral("1");
    s.mailRecipients.clear();
    s.mailEventFlags.clear();
    for (const Recipient &r : recipients) {
        s.mailRecipients << r.address;
        s.mailEventFlags << r.mask;
    }
    deviceSettings.comProtocol = protocol;
    systemSettings.lang = lang;
}

void setPort(quint16 port)
{
    QWriteLocker locker(&settingsLock);
    emailSettings.serverHostPort = QString::number(port);
}

void setReports(const QStringList &times, const QStringList &flags)
{
    QWriteLocker locker(&settingsLock);
    emailSettings.genRDay = times.value(0);
    emailSettings.genRMonth = times.value(1);
    emailSettings.genRYear = times.value(2);
    emailSettings.genRDFlag = flags.value(0);
    emailSettings.genRMFlag = flags.value(1);
    emailSettings.genRYFlag = flags.value(2);
}

QDateTime at(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}
}

class TestEmailThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void alarmMail_data();
    void alarmMail();
    void recipientsByMask_data();
    void recipientsByMask();
    void reportMinutes_data();
    void reportMinutes();
    void reportToEveryAddress();
    void refusedRecipients_data();
    void refusedRecipients();
    void failedMailRetriedThenAcceptedOnce();
    void failedMailDroppedAfterBoundedSends();
    void waitingMailsAreBounded();
    void stopWhileServerNeverAnswers();

private:
    QStringList subjects() const;

    SmtpServer server;
    std::unique_ptr<TestEnv> env;
};

void TestEmailThread::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.error()));
}

void TestEmailThread::init()
{
    env = std::make_unique<TestEnv>(at(QStringLiteral("2026-01-15 12:00:00")));
    initEventTexts();
    server.clearMessages();
}

void TestEmailThread::cleanup()
{
    env.reset();
}

QStringList TestEmailThread::subjects() const
{
    QStringList out;
    for (const QString &file : server.messageFiles())
        out << SmtpServer::parseMessage(file).value(QLatin1String("subject")).toString();
    return out;
}

void TestEmailThread::alarmMail_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("labelTime");
    QTest::addColumn<QString>("labelEvent");

    QTest::newRow("three-phase UPS, English") << "0" << "1" << 2 << "Rectifier fault disappear" << "Time:"
                                              << "Log Event:";
    QTest::newRow("single-phase UPS, English") << "2" << "1" << 31 << "Battery voltage low" << "Time:"
                                               << "Log Event:";
    QTest::newRow("inverter, English") << "3" << "1" << 2 << "Input volt abnormal disappear" << "Time:"
                                       << "Log Event:";
    // The labels follow lang; the event text is the shared table's, built here in English.
    QTest::newRow("inverter, Chinese labels") << "4" << "0" << 57 << "Communication failed" << "时间："
                                              << "事件记录：";
    QTest::newRow("code without a text") << "3" << "1" << 78 << "Event code 78" << "Time:" << "Log Event:";
    QTest::newRow("code without a text, Chinese") << "0" << "0" << 99 << "事件代码 99" << "时间："
                                                  << "事件记录：";
}

void TestEmailThread::alarmMail()
{
    QFETCH(QString, protocol);
    QFETCH(QString, lang);
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, labelTime);
    QFETCH(QString, labelEvent);

    configure(server.plainPort(), {{kAlice, QStringLiteral("4294967295")}}, protocol, lang);
    // Sent later than it happened: the mail carries the event's own time.
    addEventRecord(EventItem{at(QStringLiteral("2026-01-15 11:58:07")), code});
    email_thread thread;
    thread.threadTimer();
    QCOMPARE(thread.pendingMailCount(), 0);

    QCOMPARE(server.messageFiles().size(), 1);
    const QJsonObject m = SmtpServer::parseMessage(server.messageFiles().first());
    QCOMPARE(m.value(QLatin1String("subject")).toString(), QStringLiteral("Kestrava:") + text);
    QCOMPARE(m.value(QLatin1String("content_type")).toString(), QStringLiteral("text/html"));
    QCOMPARE(m.value(QLatin1String("body")).toString().trimmed(),
             labelTime + QStringLiteral("2026-01-15 11:58:07<br/>") + labelEvent + text);
}

void TestEmailThread::recipientsByMask_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("expected"); // envelope recipients, in table order

    // a: bit 2 (codes 4, 5); b: bits 0 and 1 (codes 0 to 3); c: bit 28 (56, 57);
    // d: a mask that is no number; an empty address with every bit set; e: every bit of
    // 64 set; f: bit 40 and bit 2, a number beyond 32 bits.
    const QStringList everyone{"a@example.com", "b@example.com", "c@example.com", "d@example.com",
                               "e@example.com", "f@example.com"};
    QTest::newRow("code 5, status bit 2") << 5 << QStringList{"a@example.com", "e@example.com", "f@example.com"};
    QTest::newRow("code 4, status bit 2") << 4 << QStringList{"a@example.com", "e@example.com", "f@example.com"};
    QTest::newRow("code 3, status bit 1") << 3 << QStringList{"b@example.com", "e@example.com"};
    QTest::newRow("code 57, bit 28") << 57 << QStringList{"c@example.com", "e@example.com"};
    QTest::newRow("code 56, bit 28") << 56 << QStringList{"c@example.com", "e@example.com"};
    QTest::newRow("code 58 to everyone") << 58 << everyone;
    QTest::newRow("code 63 to everyone") << 63 << everyone;
    QTest::newRow("code 72 to everyone") << 72 << everyone;
    QTest::newRow("code 0, bit 0 and every bit") << 0 << QStringList{"b@example.com", "e@example.com"};
    QTest::newRow("code 54 only with every bit") << 54 << QStringList{"e@example.com"};
}

void TestEmailThread::recipientsByMask()
{
    QFETCH(int, code);
    QFETCH(QStringList, expected);

    configure(server.plainPort(), {{"a@example.com", "4"},
                                   {"b@example.com", "3"},
                                   {"", "4294967295"},
                                   {"c@example.com", "268435456"},
                                   {"d@example.com", "junk"},
                                   {"e@example.com", "18446744073709551615"},
                                   {"f@example.com", "1099511627780"}});
    postEvent(code);
    email_thread thread;
    thread.threadTimer();
    // An event nobody is to receive is gone without a mail.
    QCOMPARE(thread.pendingMailCount(), 0);
    const QStringList files = server.messageFiles();
    QCOMPARE(files.size(), expected.isEmpty() ? 0 : 1);
    if (!expected.isEmpty())
        QCOMPARE(jsonTexts(SmtpServer::envelope(files.first()).value(QLatin1String("rcpt_tos"))), expected);
}

void TestEmailThread::reportMinutes_data()
{
    QTest::addColumn<QStringList>("times"); // day, month, year
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QStringList>("ticks");
    QTest::addColumn<QStringList>("expected");

    const QStringList on{"0", "0", "0"};
    const QString day = QStringLiteral("Day Report");
    QTest::newRow("day at 08:00: once in its minute, again the next day")
        << QStringList{"08:00", "", ""} << on
        << QStringList{"2026-01-15 07:59:59", "2026-01-15 08:00:00", "2026-01-15 08:00:30", "2026-01-15 08:00:59",
                       "2026-01-15 08:01:00", "2026-01-16 08:00:05"}
        << QStringList{day, day};
    QTest::newRow("started within the minute") << QStringList{"08:00", "", ""} << on
                                               << QStringList{"2026-01-15 08:00:45"} << QStringList{day};
    QTest::newRow("day, month and year at one midnight, in that order")
        << QStringList{"00:00", "01 00:00", "01/01 00:00"} << on
        << QStringList{"2026-12-31 23:59:59", "2027-01-01 00:00:00", "2027-01-01 00:00:40"}
        << QStringList{day, "Month Report", "Year Report"};
    QTest::newRow("month on the 31st skips April")
        << QStringList{"", "31 08:00", ""} << on << QStringList{"2026-04-30 08:00:00", "2026-05-31 08:00:20"}
        << QStringList{"Month Report"};
    QTest::newRow("flags off") << QStringList{"08:00", "15 08:00", "01/15 08:00"} << QStringList{"1", "", "x"}
                               << QStringList{"2026-01-15 08:00:00"} << QStringList{};
    // The tick of 08:00 never came: the thread was sending until 08:02.
    QTest::newRow("minute passed while busy") << QStringList{"08:00", "", ""} << on
                                              << QStringList{"2026-01-15 07:59:50", "2026-01-15 08:02:10"}
                                              << QStringList{day};
    QTest::newRow("minute far behind a clock jump") << QStringList{"08:00", "", ""} << on
                                                    << QStringList{"2026-01-15 07:00:00", "2026-01-15 09:30:00"}
                                                    << QStringList{};
    QTest::newRow("clock set back within the minute")
        << QStringList{"08:00", "", ""} << on
        << QStringList{"2026-01-15 08:00:10", "2026-01-15 07:59:50", "2026-01-15 08:00:20"} << QStringList{day};
}

void TestEmailThread::reportMinutes()
{
    QFETCH(QStringList, times);
    QFETCH(QStringList, flags);
    QFETCH(QStringList, ticks);
    QFETCH(QStringList, expected);

    configure(server.plainPort(), {{kAlice, QStringLiteral("0")}});
    setReports(times, flags);
    email_thread thread;
    for (const QString &tick : ticks) {
        env->clock().set(at(tick));
        thread.threadTimer();
    }
    QCOMPARE(subjects(), expected);
}

void TestEmailThread::reportToEveryAddress()
{
    // Masks play no part in reports; empty addresses get nothing.
    configure(server.plainPort(), {{kAlice, "0"}, {"", "0"}, {"bob@example.com", "junk"}});
    setReports({"12:00", "", ""}, {"0", "0", "0"});
    email_thread thread;
    thread.threadTimer();
    QCOMPARE(server.messageFiles().size(), 1);
    QCOMPARE(jsonTexts(SmtpServer::envelope(server.messageFiles().first()).value(QLatin1String("rcpt_tos"))),
             (QStringList{kAlice, QStringLiteral("bob@example.com")}));
}

void TestEmailThread::refusedRecipients_data()
{
    QTest::addColumn<QStringList>("addresses"); // with the masks at the same index
    QTest::addColumn<QStringList>("masks");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QStringList>("delivered"); // envelope recipients of each mail, ',' joined
    QTest::addColumn<int>("pending");
    QTest::addColumn<QStringList>("refusals"); // the server's refusals after the first tick

    const QString every = QStringLiteral("4294967295");
    // A mistyped address must not hold back what the good one is to get.
    QTest::newRow("one of two refused for good")
        << QStringList{"refused@example.com", kAlice} << QStringList{every, every} << QList<int>{57, 56}
        << QStringList{kAlice, kAlice} << 0
        << QStringList{"550 refused@example.com", "550 refused@example.com"};
    QTest::newRow("every recipient refused, the next alarm goes at once")
        << QStringList{"refused-a@example.com", "refused-b@example.com", kAlice}
        << QStringList{"268435456", "268435456", "4"} << QList<int>{57, 5} << QStringList{kAlice} << 0
        << QStringList{"550 refused-a@example.com", "550 refused-b@example.com"};
    // A 4xx is the server's passing trouble: the mail waits for its retry, whole.
    QTest::newRow("a recipient busy (450)")
        << QStringList{"busy@example.com", kAlice} << QStringList{every, every} << QList<int>{57}
        << QStringList{} << 1 << QStringList{"450 busy@example.com"};
}

void TestEmailThread::refusedRecipients()
{
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, masks);
    QFETCH(QList<int>, codes);
    QFETCH(QStringList, delivered);
    QFETCH(int, pending);
    QFETCH(QStringList, refusals);

    QList<Recipient> recipients;
    for (qsizetype i = 0; i < addresses.size(); ++i)
        recipients << Recipient{addresses.at(i), masks.at(i)};
    configure(server.plainPort(), recipients);
    for (int code : std::as_const(codes))
        postEvent(code);
    email_thread thread;
    thread.threadTimer();

    QStringList envelopes;
    for (const QString &file : server.messageFiles())
        envelopes << jsonTexts(SmtpServer::envelope(file).value(QLatin1String("rcpt_tos"))).join(QLatin1Char(','));
    QCOMPARE(envelopes, delivered);
    QCOMPARE(thread.pendingMailCount(), pending);
    QCOMPARE(server.refusals(), refusals);

    // Past the first retry pause: a mail refused for good is never tried again, one that
    // met a passing refusal is.
    env->clock().advanceMs(qint64(email_thread::kFirstRetryPauseSec + 1) * 1000);
    thread.threadTimer();
    QCOMPARE(server.messageFiles().size(), delivered.size());
    QCOMPARE(server.refusals(), pending == 0 ? refusals : refusals + refusals);
}

void TestEmailThread::failedMailRetriedThenAcceptedOnce()
{
    configure(unusedPort(), {{kAlice, QStringLiteral("4294967295")}});
    postEvent(57);
    email_thread thread;
    thread.threadTimer();
    QCOMPARE(thread.pendingMailCount(), 1);

    // The server is back, but the pause after a failure holds for a minute.
    setPort(server.plainPort());
    env->clock().advanceMs(30 * 1000);
    thread.threadTimer();
    QCOMPARE(server.messageFiles().size(), 0);
    QCOMPARE(thread.pendingMailCount(), 1);

    env->clock().advanceMs(31 * 1000);
    thread.threadTimer();
    QCOMPARE(subjects(), QStringList{QStringLiteral("Kestrava:Communication failed")});
    QCOMPARE(thread.pendingMailCount(), 0);
    // Accepted once, sent once.
    for (int i = 0; i < 3; ++i) {
        env->clock().advanceMs(120 * 1000);
        thread.threadTimer();
    }
    QCOMPARE(server.messageFiles().size(), 1);
}

void TestEmailThread::failedMailDroppedAfterBoundedSends()
{
    configure(unusedPort(), {{kAlice, QStringLiteral("4294967295")}});
    postEvent(57);
    email_thread thread;
    // The pauses grow: 60, 120, 240 and 480 s after the first four failures.
    const int pauses[] = {60, 120, 240, 480};
    thread.threadTimer();
    for (int pause : pauses) {
        QCOMPARE(thread.pendingMailCount(), 1);
        env->clock().advanceMs(qint64(pause - 1) * 1000);
        thread.threadTimer(); // not yet due: no send, so no failure counted
        env->clock().advanceMs(1000);
        thread.threadTimer();
    }
    QCOMPARE(thread.pendingMailCount(), 0);

    setPort(server.plainPort());
    env->clock().advanceMs(3600 * 1000);
    thread.threadTimer();
    QCOMPARE(server.messageFiles().size(), 0);

    // A new event goes out once the last pause has passed.
    postEvent(56);
    thread.threadTimer();
    QCOMPARE(subjects(), QStringList{QStringLiteral("Kestrava:Communication  succeed")});
}

void TestEmailThread::waitingMailsAreBounded()
{
    configure(unusedPort(), {{kAlice, QStringLiteral("4294967295")}});
    for (int i = 0; i < email_thread::kMaxPendingMails + 5; ++i)
        postEvent(57);
    email_thread thread;
    thread.threadTimer();
    QCOMPARE(thread.pendingMailCount(), email_thread::kMaxPendingMails);
}

void TestEmailThread::stopWhileServerNeverAnswers()
{
    // Listening alone: the system completes the connection, and no greeting ever comes.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    configure(silent.serverPort(), {{kAlice, QStringLiteral("4294967295")}});
    postEvent(57);

    email_thread thread;
    thread.start();
    QVERIFY(silent.waitForNewConnection(5000));
    QTest::qWait(300); // well inside the client's wait for the greeting

    QElapsedTimer took;
    took.start();
    thread.stop();
    thread.exit(0);
    QVERIFY(thread.wait(5000));
    QVERIFY2(took.elapsed() < 3000, qPrintable(QString::number(took.elapsed())));
}

QTEST_GUILESS_MAIN(TestEmailThread)
#include "tst_email_thread.moc"
