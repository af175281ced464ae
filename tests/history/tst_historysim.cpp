// The history thread beside the device thread polling the device simulator over a pty, both
// on the test's fixed clock: what the device reports reaches the snapshot, generation and
// event files of its family.
#include "tests/history/historyfixture.h"

#include "device/serial_thread.h"
#include "tests/support/devsimprocess.h"

#include <QtTest>

#include <memory>

class TestHistorySim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deviceValuesReachTheFiles_data();
    void deviceValuesReachTheFiles();

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<DevSimProcess> sim;
    std::unique_ptr<serial_thread> device;
    std::unique_ptr<data_thread> history;
};

void TestHistorySim::init()
{
    env = std::make_unique<TestEnv>(at(2026, 1, 15, 10, 4, 40));
    sim = std::make_unique<DevSimProcess>();
    device = std::make_unique<serial_thread>();
    history = std::make_unique<data_thread>();
}

void TestHistorySim::cleanup()
{
    history.reset();
    device.reset();
    sim.reset();
    env.reset();
}

void TestHistorySim::deviceValuesReachTheFiles_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("protocol");
    QTest::newRow("three-phase UPS") << "three" << "0";
    QTest::newRow("inverter") << "inverter" << "3";
}

void TestHistorySim::deviceValuesReachTheFiles()
{
    QFETCH(QString, family);
    QFETCH(QString, protocol);
    QVERIFY(sim->start({QStringLiteral("--family"), family, QStringLiteral("--steady")}));
    useSerialDevice(sim->path(), protocol, QStringLiteral("1"), QStringLiteral("4"));

    // Both threads' work, one second at a time, across the save minute 10:05.
    device->beginLoop();
    QStringList heldAtSave;
    const DeviceFamily fam = deviceFamily(protocol);
    const HistoryValueColumns columns = historyValueColumns(fam);
    for (int second = 0; second < 40; ++second) {
        env->clock().advanceMs(1000);
        device->loopPass();
        if (env->clock().now().time() == QTime(10, 5, 0)) {
            QCOMPARE(upsInfo.commState.load(), int(CommOk));
            QReadLocker locker(&upsInfo.lock);
            for (int i = 0; i < columns.count; ++i) {
                const int index = columns.columns[i].valueIndex;
                heldAtSave << (fam == DeviceFamily::Inverter ? inverterInfo.values[index] : upsInfo.values[index]);
            }
        }
        history->threadTimer();
    }
    QCOMPARE(heldAtSave.size(), columns.count);

    const QDate day(2026, 1, 15);
    const QList<QStringList> snapshot =
        readRawRows(historyFilePath(HistoryFile::AnalogData, fam, day), QStringLiteral("select * from analogdata"));
    QCOMPARE(snapshot.size(), 1);
    QCOMPARE(snapshot.first().first(), QStringLiteral("2026/01/15 10:05"));
    for (int i = 0; i < columns.count; ++i) {
        const QString &held = heldAtSave.at(i);
        // The simulator's texts carry one decimal already; the inverter's day energy is the
        // history thread's own (no save before this one today, so "0").
        QString expected = fam == DeviceFamily::Inverter ? held : formatPhases(held, 1);
        if (columns.columns[i].valueIndex == InverterInfo::kDayEnergyIndex && fam == DeviceFamily::Inverter)
            expected = QStringLiteral("0");
        QCOMPARE(snapshot.first().at(i + 1), expected);
    }
    if (fam == DeviceFamily::ThreePhaseUps)
        QCOMPARE(snapshot.first().at(1 + InputVolt), QStringLiteral("230.1/229.8/231.0"));

    // The link came up: its event is in the month's log.
    const QList<QStringList> events = readRawRows(historyFilePath(HistoryFile::EventLog, fam, day),
                                                  QStringLiteral("select Description from alarmdata"));
    QVERIFY(events.contains(QStringList{QString::number(EventCommSucceed)}));
    // And the whole generation chain of the family was written.
    QCOMPARE(rowCount(historyFilePath(HistoryFile::DayGen, fam, day), "daygen"), 1);
    QCOMPARE(rowCount(historyFilePath(HistoryFile::MonthGen, fam, day), "monthgen"), 1);
    QCOMPARE(rowCount(historyFilePath(HistoryFile::YearGen, fam, day), "yeargen"), 1);
    QCOMPARE(rowCount(historyFilePath(HistoryFile::TotalGen, fam, day), "totalgen"), 1);
    if (fam == DeviceFamily::Inverter) {
        QCOMPARE(readRawRows(historyFilePath(HistoryFile::TotalGenByDay, fam, day),
                             QStringLiteral("select totalgen from totalgenbyday")),
                 (QList<QStringList>{{heldAtSave.last()}}));
    }
}

QTEST_GUILESS_MAIN(TestHistorySim)
#include "tst_historysim.moc"
