// The window's test e-mail end to end: the QML root's request, the stored settings, the
// mail at a real server (aiosmtpd) and the result box, answered through the dialog seam.
#include "ui/mainwindow.h"

#include "core/helpers.h"
#include "core/paths.h"
#include "core/settings.h"
#include "tests/notify/smtpfixture.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/testenv.h"
#include "core/dialogs.h"

#include <QJsonArray>
#include <QMessageBox>
#include <QQuickItem>
#include <QQuickWidget>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {
const QString kProgramQml = QStringLiteral(KESTRAVA_SOURCE_DIR "/qml/qmlmain.qml");
const QString kSender = QStringLiteral("kestrava@example.com");
const QString kSuccessText = QStringLiteral("Successfully send email");
const QString kFailureText = QStringLiteral("Send email failed,network error or configure error!");

// A success says where the mail went.
QString successText(const QString &sender = kSender)
{
    return kSuccessText + QStringLiteral("\n\nIt went to the sender address %1.").arg(sender);
}

QString request(const QString &port, const QString &authFlag, const QString &sslFlag, const QString &password,
                const QString &sender = kSender)
{
    return QStringLiteral("{\"serverHostaddr\":\"127.0.0.1\",\"serverHostPort\":\"%1\",\"senderAddr\":\"%2\","
                          "\"serverAuthFlag\":\"%3\",\"senderAccount\":\"user\",\"senderPassword\":\"%4\","
                          "\"sslFlag\":\"%5\"}")
        .arg(port, sender, authFlag, password, sslFlag);
}

bool emitTestEmail(const QString &text)
{
    return QMetaObject::invokeMethod(declarativeView->rootObject(), "sendtestemailSignal", Q_ARG(QString, text));
}

// Longer than any dialogue of these tests takes (each of its waits ends within 5 s).
constexpr int kDialogueWaitMs = 20000;

// The result box opens when the dialogue has ended, in the GUI thread's event loop.
bool waitForBoxes(const RecordingDialogs &answers, int n)
{
    return QTest::qWaitFor([&] { return answers.texts().size() >= n; }, kDialogueWaitMs);
}

QString bodyText(const QJsonObject &message)
{
    QString body = message.value(QLatin1String("body")).toString();
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return body.trimmed();
}
}

class TestTestEmail : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sendsAndTells_data();
    void sendsAndTells();
    void chineseTexts();
    void requestWhileSendingIsRefused();
    void requestThatIsNoObject();
    void slowServerLeavesWindowResponsive();
    void closingWindowEndsDialogue();

private:
    void openWindow(const QString &lang);

    SmtpServer server;
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MainWindow> window;
    RecordingDialogs answers;
};

void TestTestEmail::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.error()));
}

void TestTestEmail::init()
{
    env = std::make_unique<TestEnv>();
    server.clearMessages();
    answers = RecordingDialogs();
    setDialogs(&answers);
}

void TestTestEmail::cleanup()
{
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    setDialogs(nullptr);
    env.reset();
}

void TestTestEmail::openWindow(const QString &lang)
{
    {
        QWriteLocker locker(&settingsLock);
        systemSettings.lang = lang;
        // The test mail goes to the sender alone, never to the alarm recipients.
        emailSettings.mailRecipients = QStringList{QStringLiteral("alarms@example.com")};
        emailSettings.mailEventFlags = QStringList{QStringLiteral("0")};
    }
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
}

void TestTestEmail::sendsAndTells_data()
{
    QTest::addColumn<QString>("port"); // "plain", "tls" or "unused"
    QTest::addColumn<QString>("authFlag");
    QTest::addColumn<QString>("sslFlag");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<QString>("stored"); // the password as "param.ini" holds it
    QTest::addColumn<QString>("reason"); // what the failure box says under its text

    QTest::newRow("plain, no log-in") << "plain" << "1" << "0" << "secret" << kSender << true << "|dkqnw" << "";
    QTest::newRow("TLS with log-in") << "tls" << "0" << "0" << "secret" << kSender << true << "|dkqnw" << "";
    QTest::newRow("sender without @") << "plain" << "1" << "1" << "secret" << "kestrava" << true << "|dkqnw" << "";
    QTest::newRow("password refused") << "plain" << "0" << "1" << "wrong" << kSender << false << "fw}ys" << "the server answered: 5";
    QTest::newRow("auth flag 2") << "plain" << "2" << "1" << "secret" << kSender << false << "|dkqnw" << "";
    QTest::newRow("nothing listening") << "unused" << "1" << "1" << "secret" << kSender << false << "|dkqnw"
                                       << "no connection to 127.0.0.1";
    // The test mail goes to the sender alone: refused, nothing was delivered.
    QTest::newRow("sender address refused as recipient")
        << "plain" << "1" << "1" << "secret" << "refused@example.com" << false << "|dkqnw"
        << "refused every recipient: refused@example.com (550";
    QTest::newRow("CR LF in the sender") << "plain" << "1" << "1" << "secret"
                                         << "kestrava@example.com\\r\\nRCPT TO:<x@example.com>" << false << "|dkqnw" << "";
}

void TestTestEmail::sendsAndTells()
{
    QFETCH(QString, port);
    QFETCH(QString, authFlag);
    QFETCH(QString, sslFlag);
    QFETCH(QString, password);
    QFETCH(QString, sender);
    QFETCH(bool, delivered);
    QFETCH(QString, stored);
    QFETCH(QString, reason);

    openWindow(QStringLiteral("1"));
    const quint16 number = port == QLatin1String("plain") ? server.plainPort()
        : port == QLatin1String("tls")                    ? server.tlsPort()
                                                          : unusedPort();
    QVERIFY(emitTestEmail(request(QString::number(number), authFlag, sslFlag, password, sender)));
    QVERIFY(waitForBoxes(answers, 1));

    // Exactly one box: a success looks like one and says where the mail went; a failure
    // is a warning.
    QCOMPARE(answers.titles(), QStringList{QStringLiteral("Email")});
    QCOMPARE(answers.texts().size(), 1);
    const QString text = answers.texts().first();
    // The failure text, and under it the client's reason where it has one.
    if (delivered || reason.isEmpty())
        QCOMPARE(text, delivered ? successText(sender) : kFailureText);
    else
        QVERIFY2(text.startsWith(kFailureText + QStringLiteral("\n\n")) && text.contains(reason), qPrintable(text));
    QCOMPARE(answers.icons(), QList<QMessageBox::Icon>{delivered ? QMessageBox::Information : QMessageBox::Warning});

    // Stored whatever the outcome: plain in memory, scrambled in "param.ini".
    {
        QReadLocker locker(&settingsLock);
        QCOMPARE(emailSettings.serverHostPort, QString::number(number));
        QCOMPARE(emailSettings.serverAuthFlag, authFlag);
        QCOMPARE(emailSettings.senderPassword, password);
        QCOMPARE(emailSettings.senderAccount, QStringLiteral("user"));
    }
    QSettings ini(appPaths.paramIniPath, QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("senderPassword")).toString(), stored);
    QVERIFY(ini.value(QStringLiteral("senderPassword")).toString() != password);
    QCOMPARE(ini.value(QStringLiteral("sslFlag")).toString(), sslFlag);
    QCOMPARE(ini.value(QStringLiteral("serverHostaddr")).toString(), QStringLiteral("127.0.0.1"));

    const QStringList files = server.messageFiles();
    if (!delivered) {
        QVERIFY(files.isEmpty());
        return;
    }
    QCOMPARE(files.size(), 1);
    QCOMPARE(jsonTexts(SmtpServer::envelope(files.first()).value(QLatin1String("rcpt_tos"))), QStringList{sender});
    const QJsonObject m = SmtpServer::parseMessage(files.first());
    QCOMPARE(m.value(QLatin1String("subject")).toString(), QStringLiteral("Kestrava:This is test Email!"));
    QCOMPARE(m.value(QLatin1String("from_addr")).toString(), sender);
    QCOMPARE(m.value(QLatin1String("from_name")).toString(), QStringLiteral("kestrava"));
    QCOMPARE(jsonTexts(m.value(QLatin1String("to"))), QStringList{sender});
    QCOMPARE(qint64(m.value(QLatin1String("date")).toDouble()), env->clock().now().toSecsSinceEpoch());
    QCOMPARE(bodyText(m), QStringLiteral("Time:2026-01-15 12:00:00<br/>Log Event:This is test Email!"));
}

void TestTestEmail::chineseTexts()
{
    openWindow(QStringLiteral("0"));
    QVERIFY(emitTestEmail(request(QString::number(server.plainPort()), QStringLiteral("1"), QStringLiteral("1"),
                                  QStringLiteral("secret"))));
    QVERIFY(waitForBoxes(answers, 1));
    QCOMPARE(answers.titles(), QStringList{QStringLiteral("邮件")});
    QCOMPARE(answers.texts(), QStringList{QStringLiteral("发送邮件成功\n\n邮件已发往发件人地址 %1。").arg(kSender)});
    QCOMPARE(server.messageFiles().size(), 1);
    const QJsonObject m = SmtpServer::parseMessage(server.messageFiles().first());
    const QString body = bodyText(m);
    QVERIFY2(body.startsWith(QStringLiteral("时间：2026-01-15 12:00:00<br/>事件记录：")), qPrintable(body));
    // The event text comes from the table built in the chosen language.
    QVERIFY2(!body.endsWith(QLatin1String("This is test Email!")), qPrintable(body));
    const QString eventText = body.section(QStringLiteral("事件记录："), 1);
    QCOMPARE(m.value(QLatin1String("subject")).toString(), QStringLiteral("Kestrava:") + eventText);
}

void TestTestEmail::requestWhileSendingIsRefused()
{
    openWindow(QStringLiteral("1"));
    const QString plain = request(QString::number(server.plainPort()), QStringLiteral("1"), QStringLiteral("1"),
                                  QStringLiteral("secret"));
    // The box of the first mail is open inside its send; a second request then would
    // free the client whose send is still on the stack.
    answers.whileOpen = [plain] { QVERIFY(emitTestEmail(plain)); };
    QVERIFY(emitTestEmail(plain));
    // And one while the dialogue is still under way.
    QVERIFY(emitTestEmail(plain));
    QVERIFY(waitForBoxes(answers, 1));
    QTest::qWait(300); // a second dialogue would have ended by now
    QCOMPARE(answers.texts(), QStringList{successText()});
    QCOMPARE(server.messageFiles().size(), 1);

    // Once it has ended, the next request sends again, with a new client.
    answers.whileOpen = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(emitTestEmail(plain));
    QVERIFY(waitForBoxes(answers, 2));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(answers.texts(), (QStringList{successText(), successText()}));
    QCOMPARE(server.messageFiles().size(), 2);
}

void TestTestEmail::requestThatIsNoObject()
{
    openWindow(QStringLiteral("1"));
    {
        QWriteLocker locker(&settingsLock);
        emailSettings.serverHostaddr = QStringLiteral("mail.example.com");
    }
    QVERIFY(emitTestEmail(QStringLiteral("not json")));
    QCOMPARE(answers.texts(), QStringList{kFailureText});
    QReadLocker locker(&settingsLock);
    QCOMPARE(emailSettings.serverHostaddr, QStringLiteral("mail.example.com"));
}

void TestTestEmail::slowServerLeavesWindowResponsive()
{
    // A valid server that takes a while over its greeting and two of its replies: long
    // enough for the window's ticker to tick a dozen times in each, were its loop free.
    ScriptedSmtpPeer peer({QStringLiteral("~300"), QStringLiteral(">220 slow.example.com\r\n"), QStringLiteral("<"),
                           QStringLiteral("~300"), QStringLiteral(">250 ok\r\n"), QStringLiteral("<"),
                           QStringLiteral(">250 ok\r\n"), QStringLiteral("<"), QStringLiteral(">250 ok\r\n"),
                           QStringLiteral("<"), QStringLiteral(">354 go on\r\n"), QStringLiteral("<data"),
                           QStringLiteral("~300"), QStringLiteral(">250 queued\r\n"), QStringLiteral("<")});
    const quint16 port = peer.listen();
    QVERIFY(port != 0);
    openWindow(QStringLiteral("1"));
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(25);

    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(emitTestEmail(request(QString::number(port), QStringLiteral("1"), QStringLiteral("1"),
                                  QStringLiteral("secret"))));
    QVERIFY2(elapsed.elapsed() < 500, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY(answers.texts().isEmpty());
    QVERIFY(waitForBoxes(answers, 1));
    QCOMPARE(answers.texts(), QStringList{successText()});
    // The window's event loop ran all through the slow parts of the dialogue (36 ticks).
    QVERIFY2(ticks > 18, qPrintable(QString::number(ticks)));
    const QStringList sent = peer.finish();
    QVERIFY2(sent.contains(QStringLiteral("QUIT")), qPrintable(sent.join(QLatin1Char('|'))));
}

void TestTestEmail::closingWindowEndsDialogue()
{
    // Every reply takes four seconds: valid, but the dialogue would last half a minute.
    QStringList script{QStringLiteral(">220 slow.example.com\r\n")};
    for (int i = 0; i < 6; ++i)
        script << QStringLiteral("<") << QStringLiteral("~4000") << QStringLiteral(">250 ok\r\n");
    ScriptedSmtpPeer peer(script);
    const quint16 port = peer.listen();
    QVERIFY(port != 0);
    openWindow(QStringLiteral("1"));

    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(emitTestEmail(request(QString::number(port), QStringLiteral("1"), QStringLiteral("1"),
                                  QStringLiteral("secret"))));
    QTest::qWait(500); // the client has sent its EHLO and waits for the reply
    window.reset();
    QVERIFY2(elapsed.elapsed() < 3500, qPrintable(QString::number(elapsed.elapsed())));
    QCoreApplication::processEvents();
    QVERIFY(answers.texts().isEmpty());
    const QStringList sent = peer.finish();
    QCOMPARE(sent.value(0), QStringLiteral("<connected>"));
    QVERIFY2(sent.value(1).startsWith(QLatin1String("ehlo ")), qPrintable(sent.join(QLatin1Char('|'))));
    QVERIFY(!sent.contains(QStringLiteral("QUIT")));
}

QTEST_MAIN(TestTestEmail)
#include "tst_testemail.moc"
