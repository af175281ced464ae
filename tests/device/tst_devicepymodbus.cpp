// Cross-check of the serial transport against an independent slave: Debian's pymodbus
// RTU server (pymodbus_slave.py) on one end of a socat pty pair, the device thread on the
// other. The values the slave serves must come out decoded, and a command word must
// arrive as the register write it stands for.
#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "device/serial_thread.h"
#include "tests/support/testenv.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QReadLocker>
#include <QtTest>

namespace {
constexpr int kStartTimeoutMs = 10000;

// Waits until the process prints a line starting with prefix; the line, or "".
QString waitForLine(QProcess &p, const QString &prefix, QString *seen, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        *seen += QString::fromUtf8(p.readAllStandardOutput());
        for (const QString &line : seen->split(QLatin1Char('\n')))
            if (line.startsWith(prefix))
                return line;
        if (p.state() != QProcess::Running)
            break;
        p.waitForReadyRead(50);
    }
    return QString();
}
} // namespace

class TestDevicePymodbus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void threePhasePlanAndCommand();

private:
    QTemporaryDir dir;
    QProcess socat;
    QProcess slave;
    QString slaveOutput;
};

void TestDevicePymodbus::initTestCase()
{
    const QString a = dir.filePath(QStringLiteral("slave-end"));
    const QString b = dir.filePath(QStringLiteral("master-end"));
    socat.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + a,
                                          QStringLiteral("pty,raw,echo=0,link=") + b});
    QVERIFY2(socat.waitForStarted(), "socat is missing (tools/install-deps installs it)");
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!(QFileInfo::exists(a) && QFileInfo::exists(b)) && !deadline.hasExpired())
        QTest::qWait(20);
    QVERIFY(QFileInfo::exists(a) && QFileInfo::exists(b));

    // Debian's Python modules are seen by /usr/bin/python3 only.
    slave.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    slave.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(KESTRAVA_SOURCE_DIR "/tests/device/pymodbus_slave.py"), a});
    QVERIFY(slave.waitForStarted());
    QVERIFY2(!waitForLine(slave, QStringLiteral("ready"), &slaveOutput, kStartTimeoutMs).isEmpty(),
             "the pymodbus slave did not start");
}

void TestDevicePymodbus::cleanupTestCase()
{
    for (QProcess *p : {&slave, &socat}) {
        p->terminate();
        if (!p->waitForFinished(3000))
            p->kill();
        p->waitForFinished(3000);
    }
}

void TestDevicePymodbus::threePhasePlanAndCommand()
{
    TestEnv env;
    // Baud code 4 is 9600, as the slave's side.
    useSerialDevice(dir.filePath(QStringLiteral("master-end")), QStringLiteral("0"), QStringLiteral("1"),
                    QStringLiteral("4"));
    serial_thread thread;
    thread.beginLoop();
    auto runSteps = [&](int steps) {
        for (int pass = 0; pass < 2 * steps; ++pass) {
            env.clock().advanceMs(1000);
            thread.loopPass();
        }
    };

    runSteps(5); // ids 3, 4, 5, 1, 2
    QCOMPARE(thread.currentFailCount(), 0);
    QCOMPARE(upsInfo.commState.load(), int(CommOk));
    {
        QReadLocker l(&upsInfo.lock);
        QCOMPARE(upsInfo.sysTemp, QStringLiteral("42.1"));
        QCOMPARE(upsInfo.values[InputVolt], QStringLiteral("230.1/229.8/231.0"));
        QCOMPARE(upsInfo.values[OutputVolt], QStringLiteral("220.0/221.0/219.0"));
        QCOMPARE(upsInfo.values[BypassActPower], QStringLiteral("150.0/140.0/-10.0"));
        QCOMPARE(upsInfo.values[PVTotalGen], QStringLiteral("6553.6"));
        QCOMPARE(upsInfo.deviceName, QStringLiteral("ABCD") + QString(12, QChar(0)));
        QCOMPARE(upsInfo.deviceProtocolVersion, QStringLiteral("1.2"));
        QCOMPARE(int(upsInfo.pvInputCount), 2);
        QCOMPARE(upsInfo.pvInputTable[0].voltage, QStringLiteral("380.5"));
        QCOMPARE(upsInfo.pvInputTable[2].voltage, QStringLiteral("390.0"));
        QCOMPARE(int(upsInfo.statusBits[3]), 1);
        QCOMPARE(int(upsInfo.statusBits[20]), 1);
        QCOMPARE(upsInfo.supportFlags[0], uint16_t(0x1234));
        QCOMPARE(int(upsInfo.inverterMode), 2);
    }
    QVERIFY(settingsValid);

    appendCommand(QStringLiteral("selfTest1Min"));
    runSteps(1);
    QVERIFY2(!waitForLine(slave, QStringLiteral("write 5 65535"), &slaveOutput, 3000).isEmpty(),
             qPrintable(slaveOutput));
}

QTEST_GUILESS_MAIN(TestDevicePymodbus)
#include "tst_devicepymodbus.moc"
