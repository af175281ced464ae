// The SMTP client against a real server (aiosmtpd, plain and TLS) and against a scripted
// raw peer for the replies a friendly server never sends.
#include "notify/smtp.h"

#include "tests/notify/smtpfixture.h"
#include "tests/support/testenv.h"

#include <QHostInfo>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimeZone>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {
const QString kSender = QStringLiteral("kestrava@example.com");
const QString kSubject = QStringLiteral("Kestrava:Prüfung 日报表");
const QString kBody = QStringLiteral("Time:2026-01-15 12:00:00<br/>Log Event:This is test Email!");
// The scripted peer, a thread of the test, answers at once unless its script pauses: a
// wait of half a second is ample, and the rows about the limits are written in it. The
// real server and the stop keep the program's limits, so a time-out cannot pass for a stop.
const SmtpTimings kShortLimits{500, 2};

SmtpConfig8 config(quint16 port, const QString &authFlag, const QString &sslFlag, const QString &account = {},
                   const QString &password = {})
{
    return {smtpSenderName(kSender), kSender, QStringLiteral("127.0.0.1"), QString::number(port),
            account, password, authFlag, sslFlag};
}

struct Outcome
{
    QStringList results; // every ErrorCloseAll text, in order
    int quits = 0;       // SuccessQuit emissions
};

Outcome send(Smtp &smtp, const QStringList &to, const QString &subject = kSubject, const QString &body = kBody)
{
    QSignalSpy results(&smtp, &Smtp::ErrorCloseAll);
    QSignalSpy quits(&smtp, &Smtp::SuccessQuit);
    smtp.sendMail(to, subject, body);
    Outcome o;
    for (const QList<QVariant> &args : results)
        o.results << args.at(0).toString();
    o.quits = int(quits.count());
    return o;
}

// The lines the client sent outside the mail text: the data between "DATA" and "."
// is left out.
QStringList commandLines(const QStringList &received)
{
    QStringList out;
    bool inData = false;
    for (const QString &line : received) {
        if (inData && line != QLatin1String("."))
            continue;
        inData = line == QLatin1String("DATA") && !inData;
        out << line;
    }
    return out;
}
}

class TestSmtp : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void realServer_data();
    void realServer();
    void receivedMessage();
    void dotLinesArriveIntact();

    void stopEndsAStalledDialogue_data();
    void stopEndsAStalledDialogue();
    void refusedBeforeConnecting_data();
    void refusedBeforeConnecting();
    void scriptedPeer_data();
    void scriptedPeer();

    void wireText_data();
    void wireText();
    void zoneOffset_data();
    void zoneOffset();
    void dateLine_data();
    void dateLine();
    void base64();

private:
    SmtpServer server;
    std::unique_ptr<TestEnv> env;
};

void TestSmtp::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.error()));
}

void TestSmtp::init()
{
    env = std::make_unique<TestEnv>();
    server.clearMessages();
}

void TestSmtp::cleanup()
{
    env.reset();
}

void TestSmtp::realServer_data()
{
    QTest::addColumn<QString>("port"); // "plain", "tls", "unused", or the port text itself
    QTest::addColumn<QString>("authFlag");
    QTest::addColumn<QString>("sslFlag");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("recipients");
    QTest::addColumn<QString>("result"); // "success", "error", or "refused": an error for good
    QTest::addColumn<QStringList>("refused"); // what the client reports refused for good

    const QStringList one{QStringLiteral("alice@example.com")};
    const QStringList two{QStringLiteral("alice@example.com"), QStringLiteral("bob@example.com")};
    const QString ok = QStringLiteral("success");
    const QString error = QStringLiteral("error");
    const QStringList none;
    // With no log-in the TLS flag does not count: the plain port answers.
    QTest::newRow("plain without log-in") << "plain" << "1" << "0" << "" << "" << one << ok << none;
    QTest::newRow("TLS with log-in") << "tls" << "0" << "0" << "user" << "secret" << two << ok << none;
    QTest::newRow("log-in over plain TCP") << "plain" << "0" << "1" << "user" << "secret" << one << ok << none;
    QTest::newRow("AUTH refused (535)") << "plain" << "0" << "1" << "user" << "wrong" << one << error << none;
    QTest::newRow("AUTH refused over TLS") << "tls" << "0" << "0" << "nobody" << "secret" << one << error << none;
    // The others still get the mail.
    QTest::newRow("second recipient refused (550)")
        << "plain" << "1" << "1" << "" << ""
        << QStringList{QStringLiteral("alice@example.com"), QStringLiteral("refused@example.com"),
                       QStringLiteral("carol@example.com")}
        << ok << QStringList{QStringLiteral("refused@example.com")};
    QTest::newRow("first recipient refused over TLS")
        << "tls" << "0" << "0" << "user" << "secret"
        << QStringList{QStringLiteral("refused@example.com"), QStringLiteral("bob@example.com")} << ok
        << QStringList{QStringLiteral("refused@example.com")};
    QTest::newRow("every recipient refused")
        << "plain" << "1" << "1" << "" << ""
        << QStringList{QStringLiteral("refused-a@example.com"), QStringLiteral("refused-b@example.com")}
        << "refused" << QStringList{QStringLiteral("refused-a@example.com"), QStringLiteral("refused-b@example.com")};
    // A 4xx is the server's passing trouble: the whole mail fails, to be sent again.
    QTest::newRow("a recipient busy (450)")
        << "plain" << "1" << "1" << "" << ""
        << QStringList{QStringLiteral("alice@example.com"), QStringLiteral("busy@example.com")} << error << none;
    QTest::newRow("refused and busy") << "plain" << "1" << "1" << "" << ""
                                      << QStringList{QStringLiteral("refused@example.com"),
                                                     QStringLiteral("busy@example.com")}
                                      << error << QStringList{QStringLiteral("refused@example.com")};
    QTest::newRow("end of data refused") << "plain" << "1" << "1" << "" << ""
                                         << QStringList{QStringLiteral("rejectdata@example.com")} << error << none;
    QTest::newRow("TLS to a plain server") << "plain" << "0" << "0" << "user" << "secret" << one << error << none;
    QTest::newRow("nothing listening on the port") << "unused" << "1" << "1" << "" << "" << one << error << none;
    QTest::newRow("port text not a number") << "25x" << "1" << "1" << "" << "" << one << error << none;
    QTest::newRow("empty port text") << "" << "1" << "1" << "" << "" << one << error << none;
    QTest::newRow("auth flag 2") << "plain" << "2" << "1" << "user" << "secret" << one << error << none;
    QTest::newRow("auth flag empty") << "plain" << "" << "0" << "user" << "secret" << one << error << none;
}

void TestSmtp::realServer()
{
    QFETCH(QString, port);
    QFETCH(QString, authFlag);
    QFETCH(QString, sslFlag);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(QStringList, recipients);
    QFETCH(QString, result);
    QFETCH(QStringList, refused);

    SmtpConfig8 c = config(0, authFlag, sslFlag, account, password);
    if (port == QLatin1String("plain"))
        c.serverHostPort = QString::number(server.plainPort());
    else if (port == QLatin1String("tls"))
        c.serverHostPort = QString::number(server.tlsPort());
    else if (port == QLatin1String("unused"))
        c.serverHostPort = QString::number(unusedPort());
    else
        c.serverHostPort = port;
    Smtp smtp(c);

    QElapsedTimer took;
    took.start();
    const Outcome o = send(smtp, recipients);
    const bool forGood = result == QLatin1String("refused");
    QCOMPARE(o.results, QStringList{forGood ? QStringLiteral("error") : result});
    QCOMPARE(o.quits, result == QLatin1String("success") ? 1 : 0);
    QCOMPARE(smtp.refusedForGood(), forGood);
    QCOMPARE(smtp.refusedRecipients(), refused);
    // The reason a user reads names every address refused for good.
    if (forGood) {
        for (const QString &address : std::as_const(refused))
            QVERIFY2(smtp.failureReason().contains(address), qPrintable(smtp.failureReason()));
    }
    // Every row fails fast: a refusal is a reply, not a time-out.
    QVERIFY2(took.elapsed() < 4000, qPrintable(QString::number(took.elapsed())));

    const QStringList files = server.messageFiles();
    if (result != QLatin1String("success")) {
        QVERIFY(files.isEmpty());
        return;
    }
    QCOMPARE(files.size(), 1);
    const QJsonObject envelope = SmtpServer::envelope(files.first());
    QCOMPARE(envelope.value(QLatin1String("mail_from")).toString(), kSender);
    QStringList accepted = recipients;
    for (const QString &address : std::as_const(refused))
        accepted.removeAll(address);
    QCOMPARE(jsonTexts(envelope.value(QLatin1String("rcpt_tos"))), accepted);
}

void TestSmtp::receivedMessage()
{
    Smtp smtp(config(server.plainPort(), QStringLiteral("1"), QStringLiteral("1")));
    const QStringList to{QStringLiteral("alice@example.com"), QStringLiteral("bob@example.com")};
    QCOMPARE(send(smtp, to).results, QStringList{QStringLiteral("success")});
    QCOMPARE(server.messageFiles().size(), 1);

    const QJsonObject m = SmtpServer::parseMessage(server.messageFiles().first());
    QVERIFY2(!m.contains(QLatin1String("failure")), qPrintable(m.value(QLatin1String("failure")).toString()));
    QCOMPARE(m.value(QLatin1String("subject")).toString(), kSubject);
    QCOMPARE(m.value(QLatin1String("from_addr")).toString(), kSender);
    QCOMPARE(m.value(QLatin1String("from_name")).toString(), QStringLiteral("kestrava"));
    QCOMPARE(jsonTexts(m.value(QLatin1String("to"))), to);
    QCOMPARE(m.value(QLatin1String("content_type")).toString(), QStringLiteral("text/html"));
    QCOMPARE(qint64(m.value(QLatin1String("date")).toDouble()), env->clock().now().toSecsSinceEpoch());
    QString body = m.value(QLatin1String("body")).toString();
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // The header is followed by two empty lines before the body; the line end before
    // the final "." belongs to the last line.
    QCOMPARE(body, QStringLiteral("\n\n") + kBody + QLatin1Char('\n'));
}

void TestSmtp::dotLinesArriveIntact()
{
    // Unstuffed, ".hidden" would lose its dot at the server and the lone "." would end
    // the data there, leaving the rest to be read as commands.
    const QString body = QStringLiteral(".first\nline\n.\n.hidden\n..two\r\n.\r\nRSET\r\nlast");
    Smtp smtp(config(server.plainPort(), QStringLiteral("1"), QStringLiteral("1")));
    QCOMPARE(send(smtp, {QStringLiteral("alice@example.com")}, kSubject, body).results,
             QStringList{QStringLiteral("success")});
    QCOMPARE(server.messageFiles().size(), 1);
    QString received = SmtpServer::parseMessage(server.messageFiles().first()).value(QLatin1String("body")).toString();
    received.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QString expected = body;
    expected.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QCOMPARE(received, QStringLiteral("\n\n") + expected + QLatin1Char('\n'));
}

void TestSmtp::stopEndsAStalledDialogue_data()
{
    QTest::addColumn<QStringList>("script"); // empty: a server that never even accepts
    QTest::addColumn<int>("stopAfterMs");
    QTest::addColumn<QStringList>("received");
    const QString ehlo = QStringLiteral("ehlo ") + QHostInfo::localHostName();
    QTest::newRow("stop before the send") << QStringList{">220 ready\r\n", "<"} << 0 << QStringList{};
    QTest::newRow("server that never greets") << QStringList{} << 300 << QStringList{};
    QTest::newRow("server silent after EHLO")
        << QStringList{">220 ready\r\n", "<", "~4000"} << 500 << QStringList{"<connected>", ehlo};
}

void TestSmtp::stopEndsAStalledDialogue()
{
    QFETCH(QStringList, script);
    QFETCH(int, stopAfterMs);
    QFETCH(QStringList, received);

    // The listening socket alone: the system completes the connection, nothing answers.
    QTcpServer silent;
    std::unique_ptr<ScriptedSmtpPeer> peer;
    quint16 port = 0;
    if (script.isEmpty()) {
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        port = silent.serverPort();
    } else {
        peer = std::make_unique<ScriptedSmtpPeer>(script);
        port = peer->listen();
    }
    QVERIFY(port != 0);

    std::atomic<bool> stop{stopAfterMs == 0};
    Smtp smtp(config(port, QStringLiteral("1"), QStringLiteral("1")));
    smtp.setStopFlag(&stop);
    // The client blocks this thread, so the stop comes from another, as the window's does.
    std::unique_ptr<QThread> stopper(QThread::create([&stop, stopAfterMs] {
        QThread::msleep(ulong(stopAfterMs));
        stop = true;
    }));
    stopper->start();
    QElapsedTimer took;
    took.start();
    QCOMPARE(send(smtp, {QStringLiteral("alice@example.com")}).results, QStringList{QStringLiteral("error")});
    QVERIFY2(took.elapsed() < stopAfterMs + 1000, qPrintable(QString::number(took.elapsed())));
    stopper->wait();
    if (peer)
        QCOMPARE(peer->finish(), received);
}

void TestSmtp::refusedBeforeConnecting_data()
{
    QTest::addColumn<QString>("senderAddr");
    QTest::addColumn<QString>("senderName");
    QTest::addColumn<QStringList>("recipients");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("authFlag");
    QTest::addColumn<int>("portShift"); // added to the listening port

    const QStringList to{QStringLiteral("alice@example.com")};
    const QString name = smtpSenderName(kSender);
    QTest::newRow("auth flag 2") << kSender << name << to << kSubject << "2" << 0;
    QTest::newRow("CR LF in the sender address")
        << QStringLiteral("a@example.com>\r\nRCPT TO:<victim@example.com") << name << to << kSubject << "1" << 0;
    QTest::newRow("LF in a recipient")
        << kSender << name << QStringList{QStringLiteral("alice@example.com"), QStringLiteral("bob@example.com\nDATA")}
        << kSubject << "1" << 0;
    QTest::newRow("CR in the subject")
        << kSender << name << to << QStringLiteral("alarm\rBcc: victim@example.com") << "1" << 0;
    QTest::newRow("LF in the display name") << kSender << QStringLiteral("kes\ntrava") << to << kSubject << "1" << 0;
    QTest::newRow("NUL in a recipient") << kSender << name << QStringList{QString::fromUtf8("al\0ice@example.com", 18)}
                                        << kSubject << "1" << 0;
    QTest::newRow("tab in the subject") << kSender << name << to << QStringLiteral("a\tb") << "1" << 0;
    QTest::newRow("no recipient") << kSender << name << QStringList() << kSubject << "1" << 0;
    // Cut to 16 bits, this port text would reach the peer.
    QTest::newRow("port beyond 65535") << kSender << name << to << kSubject << "1" << 65536;
}

void TestSmtp::refusedBeforeConnecting()
{
    QFETCH(QString, senderAddr);
    QFETCH(QString, senderName);
    QFETCH(QStringList, recipients);
    QFETCH(QString, subject);
    QFETCH(QString, authFlag);
    QFETCH(int, portShift);

    ScriptedSmtpPeer peer({QStringLiteral(">220 ready\r\n"), QStringLiteral("<")});
    const quint16 port = peer.listen();
    QVERIFY(port != 0);
    SmtpConfig8 c = config(port, authFlag, QStringLiteral("1"));
    c.serverHostPort = QString::number(int(port) + portShift);
    c.senderAddr = senderAddr;
    c.senderName = senderName;
    Smtp smtp(c);
    const Outcome o = send(smtp, recipients, subject);
    QCOMPARE(o.results, QStringList{QStringLiteral("error")});
    QCOMPARE(peer.finish(), QStringList());
}

void TestSmtp::scriptedPeer_data()
{
    QTest::addColumn<QString>("authFlag");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QString>("result"); // "success", "error", or "refused": an error for good
    QTest::addColumn<QStringList>("commands"); // what the client sent, the mail text left out

    const QString ehlo = QStringLiteral("ehlo ") + QHostInfo::localHostName();
    const QString from = QStringLiteral("MAIL FROM: <kestrava@example.com>");
    const QString rcpt = QStringLiteral("RCPT TO:<alice@example.com>");
    const QString c = QStringLiteral("<connected>");
    const QString d = QStringLiteral("DATA");
    const QString end = QStringLiteral(".");
    const QString quit = QStringLiteral("QUIT");
    // The rest of a dialogue that the server accepts, after the EHLO reply.
    const QStringList rest{"<", ">250 ok\r\n", "<", ">250 ok\r\n", "<", ">354 go ahead\r\n", "<data", ">250 stored\r\n"};

    const QStringList greeted{">220 ready\r\n", "<", ">250 ok\r\n", "<", ">250 ok\r\n", "<"};
    QTest::newRow("only recipient refused (550): no DATA")
        << "1" << "" << (greeted + QStringList{">550 5.1.1 no such user\r\n"}) << "refused"
        << QStringList{c, ehlo, from, rcpt};
    QTest::newRow("251 accepts a recipient")
        << "1" << "" << (greeted + QStringList{">251 will forward\r\n", "<", ">354 go ahead\r\n", "<data", ">250 stored\r\n"})
        << "success" << QStringList{c, ehlo, from, rcpt, d, end, quit};
    QTest::newRow("recipient reply without a code")
        << "1" << "" << (greeted + QStringList{">mailbox unavailable\r\n"}) << "error"
        << QStringList{c, ehlo, from, rcpt};
    QTest::newRow("recipient unanswered") << "1" << "" << greeted << "error" << QStringList{c, ehlo, from, rcpt};
    QTest::newRow("421 greeting") << "1" << "" << QStringList{">421 busy, try later\r\n"} << "error"
                                  << QStringList{c};
    QTest::newRow("multi-line greeting")
        << "1" << "" << (QStringList{">220-kestrava-test\r\n220-still greeting\r\n220 ready\r\n", "<", ">250 ok\r\n"} + rest)
        << "success" << QStringList{c, ehlo, from, rcpt, d, end, quit};
    QTest::newRow("replies split across segments")
        << "1" << ""
        << (QStringList{">22", "~50", ">0 rea", "~50", ">dy\r", "~50", ">\n", "<", ">250-kestrava\r\n250-SI",
                        "~50", ">ZE 1000\r\n250 HE", "~50", ">LP\r\n"}
            + rest)
        << "success" << QStringList{c, ehlo, from, rcpt, d, end, quit};
    QTest::newRow("LF line ends") << "1" << "" << (QStringList{">220 ready\n", "<", ">250-a\n250 b\n"} + rest)
                                  << "success" << QStringList{c, ehlo, from, rcpt, d, end, quit};
    QTest::newRow("log-in, literal base64")
        << "0" << "user"
        << (QStringList{">220 ready\r\n", "<", ">250 ok\r\n", "<", ">334 VXNlcm5hbWU6\r\n", "<",
                        ">334 UGFzc3dvcmQ6\r\n", "<", ">235 ok\r\n"}
            + rest)
        << "success"
        << QStringList{c, ehlo, "AUTH LOGIN", "dXNlcg==", "c2VjcmV0", from, rcpt, d, end, quit};
    QTest::newRow("empty account sends an empty line")
        << "0" << ""
        << (QStringList{">220 ready\r\n", "<", ">250 ok\r\n", "<", ">334 VXNlcm5hbWU6\r\n", "<",
                        ">334 UGFzc3dvcmQ6\r\n", "<", ">535 no\r\n"})
        << "error" << QStringList{c, ehlo, "AUTH LOGIN", "", "c2VjcmV0"};
    QTest::newRow("final line refuses after a 250 line")
        << "1" << "" << QStringList{">220 ready\r\n", "<", ">250-hello\r\n421 closing now\r\n"} << "error"
        << QStringList{c, ehlo};
    QTest::newRow("expected code only inside the text")
        << "1" << "" << QStringList{">220 ready\r\n", "<", ">500 250 is not my code\r\n"} << "error"
        << QStringList{c, ehlo};
    QTest::newRow("greeting code only inside the text")
        << "1" << "" << QStringList{">554 220 no service\r\n"} << "error" << QStringList{c};
    QTest::newRow("two greetings in one read, the last refusing")
        << "1" << "" << QStringList{">220-hi\r\n554 go away\r\n"} << "error" << QStringList{c};
    QTest::newRow("server hangs up mid-reply")
        << "1" << "" << QStringList{">220 ready\r\n", "<", ">250-hello\r\n"} << "error" << QStringList{c, ehlo};
    // The limit holds for the whole reply, however often a line trickles in.
    QTest::newRow("reply trickling past the limit")
        << "1" << "" << QStringList{">220 ready\r\n", "<", ">250-a\r\n", "~300", ">250-b\r\n", "~300", ">250 c\r\n"}
        << "error" << QStringList{c, ehlo};
    // The greeting may take two waits, no more.
    QTest::newRow("greeting in its second wait")
        << "1" << "" << (QStringList{"~700", ">220 ready\r\n", "<", ">250 ok\r\n"} + rest) << "success"
        << QStringList{c, ehlo, from, rcpt, d, end, quit};
    QTest::newRow("greeting that never ends")
        << "1" << "" << QStringList{">220-first line\r\n", "~1100"} << "error" << QStringList{c};
}

void TestSmtp::scriptedPeer()
{
    QFETCH(QString, authFlag);
    QFETCH(QString, account);
    QFETCH(QStringList, script);
    QFETCH(QString, result);
    QFETCH(QStringList, commands);

    ScriptedSmtpPeer peer(script);
    const quint16 port = peer.listen();
    QVERIFY(port != 0);
    Smtp smtp(config(port, authFlag, QStringLiteral("1"), account, QStringLiteral("secret")));
    smtp.setTimings(kShortLimits);
    QElapsedTimer took;
    took.start();
    const Outcome o = send(smtp, {QStringLiteral("alice@example.com")});
    // The longest row waits out the greeting's limit; none waits for another limit after it.
    QVERIFY2(took.elapsed() < kShortLimits.waitMs * (kShortLimits.greetingWaits + 1),
             qPrintable(QString::number(took.elapsed())));
    const bool forGood = result == QLatin1String("refused");
    QCOMPARE(o.results, QStringList{forGood ? QStringLiteral("error") : result});
    QCOMPARE(smtp.refusedForGood(), forGood);
    QCOMPARE(o.quits, result == QLatin1String("success") ? 1 : 0);
    QCOMPARE(commandLines(peer.finish()), commands);
}

void TestSmtp::wireText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("wire");
    QTest::newRow("LF becomes CR LF") << "a\nb\n" << "a\r\nb\r\n";
    QTest::newRow("CR LF stays") << "a\r\nb" << "a\r\nb";
    QTest::newRow("a lone dot line") << "a\n.\nb" << "a\r\n..\r\nb";
    QTest::newRow("a line beginning with a dot") << "a\n.hidden" << "a\r\n..hidden";
    QTest::newRow("the first line") << ".x\ny" << "..x\r\ny";
    QTest::newRow("dot lines in a row") << "\n.\n.\n" << "\r\n..\r\n..\r\n";
    QTest::newRow("a dot line already doubled") << "a\n..b" << "a\r\n...b";
    QTest::newRow("dots inside a line") << "a.b.\n" << "a.b.\r\n";
}

void TestSmtp::wireText()
{
    QFETCH(QString, text);
    QFETCH(QString, wire);
    QCOMPARE(Smtp::toWireText(text), wire);
}

void TestSmtp::zoneOffset_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("zone");
    const QDate day(2026, 1, 15);
    QTest::newRow("8 h east at 00:30") << QDateTime(day, QTime(0, 30), QTimeZone(8 * 3600)) << "+0800";
    QTest::newRow("5 h west at 23:30") << QDateTime(day, QTime(23, 30), QTimeZone(-5 * 3600)) << "-0500";
    QTest::newRow("5.5 h east") << QDateTime(day, QTime(12, 0), QTimeZone(5 * 3600 + 1800)) << "+0530";
    QTest::newRow("3.5 h west") << QDateTime(day, QTime(12, 0), QTimeZone(-(3 * 3600 + 1800))) << "-0330";
    QTest::newRow("UTC") << QDateTime(day, QTime(12, 0), QTimeZone::utc()) << "+0000";
    QTest::newRow("New York in summer")
        << QDateTime(QDate(2026, 7, 1), QTime(12, 0), QTimeZone("America/New_York")) << "-0400";
}

void TestSmtp::zoneOffset()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, zone);
    QCOMPARE(Smtp::timeZoneOffset(when), zone);
}

void TestSmtp::dateLine_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("line"); // without the zone
    QTest::newRow("Thursday") << QDateTime(QDate(2026, 1, 15), QTime(12, 0)) << "Date: Thu, 15 Jan 2026 12:00:00";
    QTest::newRow("Sunday, day without leading zero")
        << QDateTime(QDate(2026, 3, 1), QTime(9, 5, 7)) << "Date: Sun, 1 Mar 2026 09:05:07";
    QTest::newRow("Monday, last second of the year")
        << QDateTime(QDate(2029, 12, 31), QTime(23, 59, 59)) << "Date: Mon, 31 Dec 2029 23:59:59";
}

void TestSmtp::dateLine()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, line);
    env->clock().set(now);
    QCOMPARE(Smtp::dateHeader(), line + QLatin1Char(' ') + Smtp::timeZoneOffset(now));
}

void TestSmtp::base64()
{
    QCOMPARE(Smtp::encodeBase64(QStringLiteral("user")), QStringLiteral("dXNlcg=="));
    QCOMPARE(Smtp::encodeBase64(QString()), QString());
    QCOMPARE(Smtp::encodeBase64(QStringLiteral("日报表")), QStringLiteral("5pel5oql6KGo"));
    QCOMPARE(Smtp::decodeBase64(QStringLiteral("5pel5oql6KGo")), QStringLiteral("日报表"));
    QCOMPARE(Smtp::decodeBase64(QStringLiteral("YQBi")), QStringLiteral("a")); // "a", NUL, "b"
}

QTEST_GUILESS_MAIN(TestSmtp)
#include "tst_smtp.moc"
