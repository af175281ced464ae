// The road of one alarm, with real parts at both ends: a status bit raised in the device
// simulator, polled by the running device thread over a pty, reaches a real SMTP server
// (aiosmtpd) as a mail from the running e-mail thread, to the recipient whose mask
// selects it and to nobody else.
#include "device/serial_thread.h"
#include "notify/email_thread.h"

#include "core/devicestate.h"
#include "core/events.h"
#include "core/settings.h"
#include "tests/notify/smtpfixture.h"
#include "tests/support/devsimprocess.h"
#include "tests/support/testenv.h"

#include <QtTest>

class TestAlarmRoad : public QObject
{
    Q_OBJECT
private slots:
    void statusBitReachesTheMailbox();
};

void TestAlarmRoad::statusBitReachesTheMailbox()
{
    SmtpServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    TestEnv env;
    initEventTexts();
    env.runClock(); // the device thread polls on whole seconds of the clock

    DevSimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--family"), QStringLiteral("three"), QStringLiteral("--steady")}));
    useSerialDevice(sim.path(), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("4"));
    {
        QWriteLocker locker(&settingsLock);
        emailSettings.serverHostaddr = QStringLiteral("127.0.0.1");
        emailSettings.serverHostPort = QString::number(server.plainPort());
        emailSettings.senderAddr = QStringLiteral("kestrava@example.com");
        emailSettings.serverAuthFlag = QStringLiteral("1");
        // Bit 3 selects codes 6 and 7 (battery fault); bit 28 the link events.
        emailSettings.mailRecipients = QStringList{QStringLiteral("battery@example.com"),
                                                   QStringLiteral("link@example.com")};
        emailSettings.mailEventFlags = QStringList{QStringLiteral("8"), QStringLiteral("268435456")};
    }

    email_thread mail;
    serial_thread device;
    mail.start();
    device.start();
    QTRY_COMPARE_WITH_TIMEOUT(upsInfo.commState.load(), int(CommOk), 20000);
    QVERIFY(sim.command(QStringLiteral("bit 3 1")));

    // One status poll per ten-step cycle of two seconds a step.
    QTRY_COMPARE_WITH_TIMEOUT(server.messageFiles().size(), 2, 40000);
    QStringList subjects;
    QStringList recipients;
    for (const QString &file : server.messageFiles()) {
        subjects << SmtpServer::parseMessage(file).value(QLatin1String("subject")).toString();
        recipients << jsonTexts(SmtpServer::envelope(file).value(QLatin1String("rcpt_tos")));
    }
    QCOMPARE(subjects,
             (QStringList{QStringLiteral("Kestrava:Communication  succeed"), QStringLiteral("Kestrava:Battery fault happen")}));
    QCOMPARE(recipients, (QStringList{QStringLiteral("link@example.com"), QStringLiteral("battery@example.com")}));

    mail.stop();
    mail.exit(0);
    device.stop();
    device.exit(0);
    QVERIFY(mail.wait(5000));
    QVERIFY(device.wait(5000));
}

QTEST_GUILESS_MAIN(TestAlarmRoad)
#include "tst_alarmroad.moc"
