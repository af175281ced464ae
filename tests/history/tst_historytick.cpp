// The history tick: when the five-minute save runs, the event drain in every tick, and
// the inverter's energy of the day across midnight, the first save and a cleared counter.
#include "tests/history/historyfixture.h"
#include "tests/support/sqlitelock.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <memory>

class TestHistoryTick : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void saveRunsOncePerSaveMinuteWhileCommunicating();
    void saveRunsAtTheFirstCommunicatingTickOfAMinute();
    void eventsAreWrittenInEveryTick();
    void oneClockReadingServesTheWholeTick_data();
    void oneClockReadingServesTheWholeTick();
    void dayEnergyAcrossMidnightAndTheFirstSave();
    void upsTickCreatesNoInverterFile();
    void slotOfDay_data();
    void slotOfDay();
    void selectGenReadsWithoutCreating();
    void busySaveIsRetriedWithinItsSlot_data();
    void busySaveIsRetriedWithinItsSlot();
    void slotIsSavedOnceWhateverTheClock_data();
    void slotIsSavedOnceWhateverTheClock();
    void stopEndsASaveThatWaitsForALockedFile();

private:
    QString analogFile(const QDate &day) const
    {
        return historyFilePath(HistoryFile::AnalogData, DeviceFamily::ThreePhaseUps, day);
    }
    void tickAt(const QDateTime &t, int commState)
    {
        env->clock().set(t);
        setCommState(commState);
        thread->threadTimer();
    }

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<data_thread> thread;
};

void TestHistoryTick::init()
{
    env = std::make_unique<TestEnv>(at(2026, 1, 15, 10, 0));
    thread = std::make_unique<data_thread>();
    setProtocol(QStringLiteral("0"));
    setUpsValues(QStringLiteral("1.0"));
}

void TestHistoryTick::cleanup()
{
    thread.reset();
    env.reset();
}

void TestHistoryTick::saveRunsOncePerSaveMinuteWhileCommunicating()
{
    struct Step
    {
        QTime time;
        int commState;
        int rowsAfter;
    };
    const Step steps[] = {
        {QTime(10, 4, 59), CommOk, 0},
        {QTime(10, 5, 0), CommOk, 1},
        {QTime(10, 5, 1), CommOk, 1},
        {QTime(10, 5, 59), CommOk, 1},
        {QTime(10, 6, 0), CommOk, 1},       // arms again
        {QTime(10, 10, 0), CommLost, 1},     // not communicating: no save
        {QTime(10, 10, 20), CommOk, 2},
        {QTime(10, 10, 30), CommOk, 2},
        {QTime(10, 10, 40), CommConnecting, 2}, // lost and back within the minute:
        {QTime(10, 10, 50), CommOk, 2},          // the slot is saved already
        {QTime(10, 15, 0), CommConnecting, 2},
        {QTime(10, 15, 59), CommLost, 2},    // a whole save minute without the device
        {QTime(10, 16, 0), CommOk, 2},
    };
    for (const Step &step : steps) {
        tickAt(QDateTime(QDate(2026, 1, 15), step.time), step.commState);
        QCOMPARE(QFileInfo::exists(analogFile(QDate(2026, 1, 15))) ? rowCount(analogFile(QDate(2026, 1, 15)), "analogdata") : 0,
                 step.rowsAfter);
    }
    // Each save wrote the whole chain, and the period rows stayed one per period.
    const QString month = historyFilePath(HistoryFile::MonthGen, DeviceFamily::ThreePhaseUps, QDate(2026, 1, 15));
    QCOMPARE(rowCount(month, "monthgen"), 1);
    QCOMPARE(rowCount(historyFilePath(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps, QDate(2026, 1, 15)), "daygen"), 2);
}

void TestHistoryTick::saveRunsAtTheFirstCommunicatingTickOfAMinute()
{
    // The program starts in the middle of a save minute; the device answers ten seconds later.
    tickAt(at(2026, 1, 15, 10, 5, 30), CommConnecting);
    QVERIFY(!QFileInfo::exists(analogFile(QDate(2026, 1, 15))));
    tickAt(at(2026, 1, 15, 10, 5, 40), CommOk);
    QCOMPARE(rowCount(analogFile(QDate(2026, 1, 15)), "analogdata"), 1);
}

void TestHistoryTick::eventsAreWrittenInEveryTick()
{
    const QString events = historyFilePath(HistoryFile::EventLog, DeviceFamily::ThreePhaseUps, QDate(2026, 1, 15));
    queueDbEvent(at(2026, 1, 15, 10, 7, 1), EventCommFailed);
    tickAt(at(2026, 1, 15, 10, 7, 1), CommLost);
    QCOMPARE(rowCount(events, "alarmdata"), 1);
    QCOMPARE(queuedDbEvents(), 0);
    queueDbEvent(at(2026, 1, 15, 10, 7, 2), 3);
    tickAt(at(2026, 1, 15, 10, 7, 2), CommConnecting);
    QCOMPARE(rowCount(events, "alarmdata"), 2);
}

namespace {
// A clock that moves five minutes on at every reading: a tick that read it twice would
// put one save into two days, two months and two years.
class JumpingClock : public Clock
{
public:
    explicit JumpingClock(const QDateTime &start) : m_next(start) {}
    QDateTime now() const override
    {
        QMutexLocker l(&m_mutex);
        const QDateTime t = m_next;
        m_next = m_next.addSecs(300);
        return t;
    }

private:
    mutable QMutex m_mutex;
    mutable QDateTime m_next;
};
}

void TestHistoryTick::oneClockReadingServesTheWholeTick_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::newRow("three-phase UPS") << "0";
    QTest::newRow("inverter") << "3";
}

void TestHistoryTick::oneClockReadingServesTheWholeTick()
{
    QFETCH(QString, protocol);
    setProtocol(protocol);
    setCommState(CommOk);
    queueDbEvent(at(2026, 12, 31, 23, 54, 59), 7);
    JumpingClock clock(at(2026, 12, 31, 23, 55, 0));
    setAppClock(&clock);
    thread->threadTimer();
    setAppClock(&env->clock());

    QStringList written;
    const QString folders[] = {appPaths.analogDbDir, appPaths.alarmDbDir, appPaths.dayGenDbDir,
                               appPaths.monthGenDbDir, appPaths.yearGenDbDir, appPaths.totalGenDbDir};
    for (const QString &folder : folders)
        written += QDir(folder).entryList(QDir::Files);
    QVERIFY(!written.isEmpty());
    for (const QString &name : written)
        QVERIFY2(!name.contains(QLatin1String("2027")), qPrintable(written.join(' ')));
    const DeviceFamily family = deviceFamily(protocol);
    QCOMPARE(sqliteRows(historyFilePath(HistoryFile::AnalogData, family, QDate(2026, 12, 31)),
                        "select DateTime from analogdata"),
             QStringList{"2026/12/31 23:55"});
    QCOMPARE(sqliteRows(historyFilePath(HistoryFile::TotalGen, family, QString()), "select Date from totalgen"),
             QStringList{"2026"});
}

void TestHistoryTick::dayEnergyAcrossMidnightAndTheFirstSave()
{
    setProtocol(QStringLiteral("3"));
    const int day = InverterInfo::kDayEnergyIndex;
    const int lifetime = InverterInfo::kLifetimeEnergyIndex;
    setInverterValue(lifetime, QStringLiteral("1500.5"));

    // The day before has no save yet: nothing produced that the program has seen.
    tickAt(at(2026, 1, 14, 23, 59, 59), CommOk);
    QCOMPARE(inverterValueNow(day), QStringLiteral("0"));

    // Midnight: the day energy is "0" and the save of that tick stores the first total.
    tickAt(at(2026, 1, 15, 0, 0, 0), CommOk);
    QCOMPARE(inverterValueNow(day), QStringLiteral("0"));
    const QString counter = historyFilePath(HistoryFile::TotalGenByDay, DeviceFamily::Inverter, QDate(2026, 1, 15));
    QCOMPARE(readRawRows(counter, "select * from totalgenbyday"),
             (QList<QStringList>{{"20260115 00:00", "1500.5"}}));

    tickAt(at(2026, 1, 15, 0, 0, 1), CommOk);
    QCOMPARE(inverterValueNow(day), QStringLiteral("0"));
    setInverterValue(lifetime, QStringLiteral("1512.0"));
    tickAt(at(2026, 1, 15, 0, 1, 0), CommOk);
    QCOMPARE(inverterValueNow(day), QStringLiteral("11.50"));

    // Another writer replaces the day's counter file: the next tick reads its first row.
    QVERIFY(QFile::remove(counter));
    QVERIFY(runRawStatements(counter, {"create table totalgenbyday(Date varchar,totalgen varchar)",
                                       "insert into totalgenbyday values('20260115 00:00','1510')"}));
    tickAt(at(2026, 1, 15, 0, 2, 0), CommOk);
    QCOMPARE(inverterValueNow(day), QStringLiteral("2.00"));

    // "cleartotalgen" deletes the day's counter file: no start value until the next save,
    // so the day shows "0", not the lifetime energy.
    QVERIFY(QFile::remove(counter));
    tickAt(at(2026, 1, 15, 0, 3, 0), CommOk);
    QCOMPARE(inverterValueNow(day), QStringLiteral("0"));
    tickAt(at(2026, 1, 15, 0, 5, 0), CommOk);
    QCOMPARE(inverterValueNow(day), QStringLiteral("0"));
    setInverterValue(lifetime, QStringLiteral("1513.25"));
    tickAt(at(2026, 1, 15, 0, 6, 0), CommOk);
    QCOMPARE(inverterValueNow(day), QStringLiteral("1.25"));

    // A counter that goes back below the day's first total gives "0".
    setInverterValue(lifetime, QStringLiteral("10"));
    tickAt(at(2026, 1, 15, 0, 7, 0), CommOk);
    QCOMPARE(inverterValueNow(day), QStringLiteral("0"));
}

void TestHistoryTick::upsTickCreatesNoInverterFile()
{
    tickAt(at(2026, 1, 15, 10, 1, 0), CommOk);
    tickAt(at(2026, 1, 15, 10, 5, 0), CommOk);
    QCOMPARE(inverterValueNow(InverterInfo::kDayEnergyIndex), QStringLiteral("0"));
    const QStringList files = QDir(appPaths.totalGenDbDir).entryList(QDir::Files);
    QCOMPARE(files, QStringList{"threeUPStotalgen.db"});
}

void TestHistoryTick::slotOfDay_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<int>("slot");
    QTest::newRow("midnight") << QTime(0, 0, 0) << 0;
    QTest::newRow("end of first slot") << QTime(0, 4, 59) << 0;
    QTest::newRow("second slot") << QTime(0, 5, 0) << 1;
    QTest::newRow("noon") << QTime(12, 0, 0) << 144;
    QTest::newRow("last second") << QTime(23, 59, 59) << 287;
}

void TestHistoryTick::slotOfDay()
{
    QFETCH(QTime, time);
    QFETCH(int, slot);
    QCOMPARE(data_thread::slotOfDay(time), slot);
}

void TestHistoryTick::selectGenReadsWithoutCreating()
{
    const QDateTime now = at(2026, 1, 15, 10, 0);
    const QString counter = historyFilePath(HistoryFile::TotalGenByDay, DeviceFamily::Inverter, now.date());
    QCOMPARE(thread->selectGen(now, 3), QString());
    QCOMPARE(thread->selectGen(now, 4), QString());
    QCOMPARE(thread->selectGen(now, 5), QString());
    QVERIFY(QDir(appPaths.totalGenDbDir).isEmpty());

    QVERIFY(runRawStatements(counter, {}));
    QVERIFY(QFileInfo(counter).size() == 0);
    QCOMPARE(thread->selectGen(now, 3), QStringLiteral("0")); // a file without its table

    QVERIFY(runRawStatements(counter, {"create table totalgenbyday(Date varchar,totalgen varchar)"}));
    QCOMPARE(thread->selectGen(now, 3), QString()); // the table without a row

    // The start value is the row inserted first, even where another order would sort first.
    QVERIFY(runRawStatements(counter, {"insert into totalgenbyday values('20260115 00:10','1600')",
                                       "insert into totalgenbyday values('20260115 00:05','1500')"}));
    QCOMPARE(thread->selectGen(now, 3), QStringLiteral("1600"));

    const QString energy = historyFilePath(HistoryFile::DayEnergy, DeviceFamily::Inverter, now.date());
    QVERIFY(runRawStatements(energy, {"create table daygen(date varchar,daygen varchar)",
                                      "insert into daygen values('20260115 00:05','1')",
                                      "insert into daygen values('20260115 00:15','3')",
                                      "insert into daygen values('20260115 00:10','2')"}));
    QCOMPARE(thread->selectGen(now, 4), QStringLiteral("3"));
}

namespace {
// The files of one five-minute save of the family at `time`, the rows of the slot
// appended to some and replaced in the others.
const HistoryFile kSavedFiles[] = {HistoryFile::AnalogData, HistoryFile::DayGen, HistoryFile::MonthGen,
                                   HistoryFile::YearGen, HistoryFile::TotalGen};
const HistoryFile kInverterWorkingFiles[] = {HistoryFile::TotalGenByDay, HistoryFile::DayEnergy};

QStringList savedFiles(DeviceFamily family, const QDate &day)
{
    QStringList paths;
    for (HistoryFile f : kSavedFiles)
        paths << historyFilePath(f, family, day);
    if (family == DeviceFamily::Inverter) {
        for (HistoryFile f : kInverterWorkingFiles)
            paths << historyFilePath(f, family, day);
    }
    return paths;
}

// The row counts of the files of a save, in the order of savedFiles: "1 2 1 1 1".
QString savedRowCounts(DeviceFamily family, const QDate &day)
{
    QStringList out;
    for (const QString &path : savedFiles(family, day)) {
        const QString table = QFileInfo(path).exists()
            ? sqliteRows(path, QStringLiteral("select name from sqlite_master")).value(0)
            : QString();
        out << (table.isEmpty() ? QStringLiteral("0")
                                : sqliteRows(path, QStringLiteral("select count(*) from ") + table).value(0));
    }
    return out.join(QLatin1Char(' '));
}
}

void TestHistoryTick::busySaveIsRetriedWithinItsSlot_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("lockedFile");
    QTest::addColumn<QTime>("retryAt");
    QTest::addColumn<QString>("snapshotTime"); // of the one snapshot row in the end
    QTest::addColumn<QString>("rowCounts");    // snapshot, curve, month, year, total[, working files]
    QTest::newRow("snapshot file, retried in the slot")
        << "0" << int(HistoryFile::AnalogData) << QTime(10, 7, 30) << "2026/01/15 10:07" << "1 1 1 1 1";
    QTest::newRow("day curve holds up the inverter's period rows")
        << "3" << int(HistoryFile::DayGen) << QTime(10, 9, 59) << "2026/01/15 10:05" << "1 1 1 1 1 1 1";
    QTest::newRow("slot over before the file is free")
        << "1" << int(HistoryFile::AnalogData) << QTime(10, 10, 0) << "2026/01/15 10:10" << "1 2 1 1 1";
}

void TestHistoryTick::busySaveIsRetriedWithinItsSlot()
{
    QFETCH(QString, protocol);
    QFETCH(int, lockedFile);
    QFETCH(QTime, retryAt);
    QFETCH(QString, snapshotTime);
    QFETCH(QString, rowCounts);
    setProtocol(protocol);
    const DeviceFamily family = deviceFamily(protocol);
    const QDate day(2026, 1, 15);
    const QString locked = historyFilePath(HistoryFile(lockedFile), family, day);
    QVERIFY(QDir().mkpath(QFileInfo(locked).path()));
    {
        // Held over the save minute's first tick for longer than a statement waits.
        const ShortBusyWait shortWait;
        SqliteLockHolder holder;
        QVERIFY(holder.start({locked}, SqliteLockHolder::kUntilReleased));
        tickAt(at(2026, 1, 15, 10, 5, 0), CommOk);
        QVERIFY(holder.release());
    }
    tickAt(at(2026, 1, 15, 10, 6, 0), CommConnecting); // no retry without the device
    const bool slotOver = retryAt.minute() % 5 == 0;
    if (slotOver)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                               "five-minute save of 2026-01-15 10:05 dropped.*five minutes are over")));
    tickAt(QDateTime(day, retryAt), CommOk);
    tickAt(QDateTime(day, retryAt), CommOk);

    // Every file of the save holds its row, written once the file was free.
    QCOMPARE(savedRowCounts(family, day), rowCounts);
    QCOMPARE(sqliteRows(historyFilePath(HistoryFile::AnalogData, family, day), "select DateTime from analogdata"),
             QStringList{snapshotTime});
}

void TestHistoryTick::slotIsSavedOnceWhateverTheClock_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::newRow("three-phase UPS") << "0";
    QTest::newRow("single-phase UPS") << "1";
    QTest::newRow("inverter") << "3";
}

void TestHistoryTick::slotIsSavedOnceWhateverTheClock()
{
    QFETCH(QString, protocol);
    setProtocol(protocol);
    const DeviceFamily family = deviceFamily(protocol);
    tickAt(at(2026, 1, 15, 10, 5, 0), CommOk);
    tickAt(at(2026, 1, 15, 10, 4, 30), CommOk); // the clock set back a minute
    tickAt(at(2026, 1, 15, 10, 5, 0), CommOk);
    // A restart within the slot.
    thread = std::make_unique<data_thread>();
    tickAt(at(2026, 1, 15, 10, 9, 0), CommLost);
    tickAt(at(2026, 1, 15, 10, 5, 30), CommOk);

    QCOMPARE(savedRowCounts(family, QDate(2026, 1, 15)),
             family == DeviceFamily::Inverter ? QStringLiteral("1 1 1 1 1 1 1") : QStringLiteral("1 1 1 1 1"));
    // The next slot is saved as ever.
    tickAt(at(2026, 1, 15, 10, 9, 59), CommOk);
    tickAt(at(2026, 1, 15, 10, 10, 0), CommOk);
    QCOMPARE(rowCount(historyFilePath(HistoryFile::AnalogData, family, QDate(2026, 1, 15)), "analogdata"), 2);
}

namespace {
// The fixed clock that says when a tick has begun.
class WatchedClock : public FixedClock
{
public:
    using FixedClock::FixedClock;
    QDateTime now() const override
    {
        reads.fetch_add(1);
        return FixedClock::now();
    }
    mutable std::atomic<int> reads{0};
};
}

void TestHistoryTick::stopEndsASaveThatWaitsForALockedFile()
{
    setProtocol(QStringLiteral("3"));
    setCommState(CommOk);
    const QDate day(2026, 1, 15);
    const QStringList files = savedFiles(DeviceFamily::Inverter, day);
    for (const QString &path : files)
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    SqliteLockHolder holder;
    QVERIFY(holder.start(files, 60000));

    WatchedClock clock(at(2026, 1, 15, 10, 5, 0));
    setAppClock(&clock);
    thread->start();
    QTRY_VERIFY_WITH_TIMEOUT(clock.reads.load() > 0, 10000);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                           "five-minute save of 2026-01-15 10:05 dropped.*closing")));
    // As the main window closes it: the wait is bounded by the time a user waits for a
    // window to close, far below what seven locked files cost at full busy waits.
    thread->stop();
    thread->quit();
    const bool ended = thread->wait(3000);
    if (!ended)
        thread->wait();
    setAppClock(&env->clock());
    QVERIFY(ended);
    QVERIFY(QFileInfo::exists(files.first()));
}

QTEST_GUILESS_MAIN(TestHistoryTick)
#include "tst_historytick.moc"
