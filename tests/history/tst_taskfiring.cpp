// The schedule and self-test firing of the history thread, driven tick by tick on the
// fixed clock: what is posted and queued in which tick, what the rows become, and what
// "schedule.db" and "param.ini" hold afterwards. Runs in Europe/Berlin, so the
// daylight-saving gap and the repeated hour are real local times.
#include "bridge/devicerequests.h"
#include "core/commandqueue.h"
#include "core/events.h"
#include "core/schedule.h"
#include "core/sqlutil.h"
#include "core/settings.h"
#include "history/data_thread.h"
#include "tests/core/gapzone.h"
#include "tests/history/historyfixture.h"
#include "tests/support/eventqueues.h"

#include <QSettings>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {
const QString kShutdown = QStringLiteral("shutdown");
const QString kStartup = QStringLiteral("startup");

ScheduleItem row(const QString &type, const QString &time, const QString &freq)
{
    return ScheduleItem{type, time, freq, time};
}

void setSchedule(const QList<ScheduleItem> &rows, const QString &lead)
{
    QWriteLocker l(&scheduleListLock);
    scheduleList = rows;
    preAlarm = lead;
    saveSchedule(ScheduleCallerGui);
}

QStringList rowTimes()
{
    QReadLocker l(&scheduleListLock);
    QStringList out;
    for (const ScheduleItem &r : scheduleList)
        out << r.tasktime;
    return out;
}

QStringList storedTimes()
{
    DbConnection db(QStringLiteral("testsched"), appPaths.scheduleDbPath, DbConnection::ReadExisting);
    QStringList out;
    for (const QStringList &r : db.selectRows(QStringLiteral("select tasktime from schedtable")))
        out << r.value(0);
    return out;
}

QString nextTime(const QString &type)
{
    QReadLocker l(&scheduleListLock);
    return type == kShutdown ? nextShutdownTime : nextStartupTime;
}

void setSelfTest(const QString &next, const QString &interval, const QString &type)
{
    QWriteLocker l(&settingsLock);
    deviceSettings.strNextTestTime = next;
    deviceSettings.testInterval = interval;
    deviceSettings.selftestType = type;
}

QString selfTestTime()
{
    QReadLocker l(&settingsLock);
    return deviceSettings.strNextTestTime;
}

QString iniSelfTestTime()
{
    return QSettings(appPaths.paramIniPath, QSettings::IniFormat).value(QStringLiteral("strNextTestTime")).toString();
}
} // namespace

class TestTaskFiring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { verifyGapZone(); }
    void init();
    void cleanup();

    void weeklyShutdown_data();
    void weeklyShutdown();
    void leadWithoutMinutes_data();
    void leadWithoutMinutes();
    void setInsideTheLead_data();
    void setInsideTheLead();
    void oneTimeSpecialTask();
    void weeklyAndSpecialSameMinute();
    void shutdownAndStartupSameTick();
    void startupWithItsOwnLatch();
    void unknownRepeatFiresOnce();
    void clockJumpsOverTask();
    void daylightSavingGap();
    void repeatedHour();
    void clockSetBack_data();
    void clockSetBack();
    void smallStepBackFiresNothingTwice();
    void selfTest_data();
    void selfTest();
    void selfTestClockJump();
    void selfTestRacesSetter();
    void selfTestClockSetBack_data();
    void selfTestClockSetBack();

private:
    // One tick every `step` seconds from `from` up to and including `to` (local times);
    // each line of the result is "hh:mm:ss event N" or "hh:mm:ss word W", followed by the
    // register value queued with the word if any, in the order posted and queued within
    // a tick.
    QStringList run(const QDateTime &from, const QDateTime &to, int step = 15);
    QStringList tick(const QDateTime &now);

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<data_thread> history;
};

void TestTaskFiring::init()
{
    env = std::make_unique<TestEnv>(at(2026, 3, 4, 12, 0));
    history = std::make_unique<data_thread>();
    setProtocol(QStringLiteral("0"));
}

void TestTaskFiring::cleanup()
{
    history.reset();
    env.reset();
}

QStringList TestTaskFiring::tick(const QDateTime &now)
{
    env->clock().set(now);
    history->checkTask(now);
    QStringList out;
    const QString stamp = now.toString(QStringLiteral("hh:mm:ss"));
    for (const EventItem &e : takeAllEvents(dbEventQueue, dbEventQueueLock))
        out << QStringLiteral("%1 event %2").arg(stamp).arg(e.code);
    discardAllEvents();
    QueuedCommand c;
    while (takeCommand(&c))
        out << QStringLiteral("%1 word %2").arg(stamp, c.word) + (c.values.isEmpty() ? QString() : QLatin1Char(' ') + c.values.join(QLatin1Char(' ')));
    return out;
}

QStringList TestTaskFiring::run(const QDateTime &from, const QDateTime &to, int step)
{
    QStringList out;
    for (QDateTime t = from; t <= to; t = t.addSecs(step))
        out << tick(t);
    return out;
}

void TestTaskFiring::weeklyShutdown_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QStringList>("timeline");
    const QStringList ups{"21:55:00 event 63", "22:00:00 word shutdown"};
    // The inverter counts the lead down itself: its word goes with the warning.
    const QStringList inverter{"21:55:00 event 63", "21:55:00 word shutdown 5"};
    QTest::newRow("0") << "0" << ups;
    QTest::newRow("1") << "1" << ups;
    QTest::newRow("2") << "2" << ups;
    QTest::newRow("3") << "3" << inverter;
    QTest::newRow("4") << "4" << inverter;
}

void TestTaskFiring::weeklyShutdown()
{
    QFETCH(QString, protocol);
    QFETCH(QStringList, timeline);
    setProtocol(protocol);
    setSchedule({row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("7"))}, QStringLiteral("5"));
    QCOMPARE(run(at(2026, 3, 4, 21, 53), at(2026, 3, 4, 22, 2)), timeline);
    QCOMPARE(rowTimes(), QStringList{"2026-03-11 22:00"});
    QCOMPARE(storedTimes(), QStringList{"2026-03-11 22:00"});
    QCOMPARE(nextTime(kShutdown), QStringLiteral("2026-03-11 22:00"));
}

void TestTaskFiring::leadWithoutMinutes_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("lead");
    QTest::newRow("empty, UPS") << "1" << "";
    QTest::newRow("not a number, UPS") << "0" << "five";
    QTest::newRow("negative, UPS") << "0" << "-5";
    QTest::newRow("empty, inverter") << "3" << "";
    QTest::newRow("negative, inverter") << "4" << "-5";
}

void TestTaskFiring::leadWithoutMinutes()
{
    QFETCH(QString, protocol);
    QFETCH(QString, lead);
    setProtocol(protocol);
    setSchedule({row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("7"))}, lead);
    // Warning and task in one tick, the event before the word.
    const QString word = deviceFamily(protocol) == DeviceFamily::Inverter ? "22:00:00 word shutdown 0" : "22:00:00 word shutdown";
    QCOMPARE(run(at(2026, 3, 4, 21, 58), at(2026, 3, 4, 22, 1)), (QStringList{"22:00:00 event 63", word}));
    QCOMPARE(rowTimes(), QStringList{"2026-03-11 22:00"});
}

void TestTaskFiring::setInsideTheLead_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QList<QDateTime>>("ticks"); // the first ticks, then one every 15 s
    QTest::addColumn<QStringList>("timeline");
    const QList<QDateTime> setLate{at(2026, 3, 4, 21, 57, 30)};
    // Ticks up to 21:54:50, then the clock steps 80 s over the warning minute.
    const QList<QDateTime> stepped{at(2026, 3, 4, 21, 54), at(2026, 3, 4, 21, 54, 50), at(2026, 3, 4, 21, 56, 10)};
    // The inverter is given the minutes left, so that it still acts at 22:00.
    QTest::newRow("set inside the lead, UPS") << "2" << setLate
                                              << QStringList{"21:57:30 event 63", "22:00:00 word shutdown"};
    QTest::newRow("set inside the lead, inverter") << "3" << setLate
                                                   << QStringList{"21:57:30 event 63", "21:57:30 word shutdown 3"};
    QTest::newRow("set inside the lead, inverter over USB-HID")
        << "4" << setLate << QStringList{"21:57:30 event 63", "21:57:30 word shutdown 3"};
    QTest::newRow("warning minute stepped over, UPS") << "0" << stepped
                                                      << QStringList{"21:56:10 event 63", "22:00:10 word shutdown"};
    QTest::newRow("warning minute stepped over, inverter")
        << "3" << stepped << QStringList{"21:56:10 event 63", "21:56:10 word shutdown 4"};
}

void TestTaskFiring::setInsideTheLead()
{
    QFETCH(QString, protocol);
    QFETCH(QList<QDateTime>, ticks);
    QFETCH(QStringList, timeline);
    setProtocol(protocol);
    setSchedule({row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("7"))}, QStringLiteral("5"));
    QStringList seen;
    for (const QDateTime &t : ticks)
        seen << tick(t);
    seen << run(ticks.last().addSecs(15), at(2026, 3, 4, 22, 2));
    QCOMPARE(seen, timeline);
    QCOMPARE(rowTimes(), QStringList{"2026-03-11 22:00"});
}

void TestTaskFiring::oneTimeSpecialTask()
{
    setSchedule({row(kShutdown, QStringLiteral("2026-03-05 23:00"), QStringLiteral("7")),
                 row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("0"))},
                QString());
    QCOMPARE(run(at(2026, 3, 4, 21, 59), at(2026, 3, 4, 22, 1)), (QStringList{"22:00:00 event 63", "22:00:00 word shutdown"}));
    QCOMPARE(rowTimes(), (QStringList{"2026-03-05 23:00", ""}));
    QCOMPARE(nextTime(kShutdown), QStringLiteral("2026-03-05 23:00"));

    setSchedule({row(kShutdown, QStringLiteral("2026-03-04 22:10"), QStringLiteral("0"))}, QString());
    QCOMPARE(run(at(2026, 3, 4, 22, 10), at(2026, 3, 4, 22, 11)).size(), 2);
    QCOMPARE(nextTime(kShutdown), QString());
    QCOMPARE(storedTimes(), QStringList{""});
}

void TestTaskFiring::weeklyAndSpecialSameMinute()
{
    setSchedule({row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("7")),
                 row(kStartup, QStringLiteral("2026-03-05 07:00"), QStringLiteral("7")),
                 row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("1"))},
                QStringLiteral("0"));
    QCOMPARE(run(at(2026, 3, 4, 21, 59), at(2026, 3, 4, 22, 1)), (QStringList{"22:00:00 event 63", "22:00:00 word shutdown"}));
    QCOMPARE(rowTimes(), (QStringList{"2026-03-11 22:00", "2026-03-05 07:00", "2026-03-05 22:00"}));
    QCOMPARE(storedTimes(), rowTimes());
    QCOMPARE(nextTime(kShutdown), QStringLiteral("2026-03-05 22:00"));
}

void TestTaskFiring::shutdownAndStartupSameTick()
{
    setSchedule({row(kStartup, QStringLiteral("2026-03-04 22:00"), QStringLiteral("7")),
                 row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("7"))},
                QString());
    QCOMPARE(run(at(2026, 3, 4, 22, 0), at(2026, 3, 4, 22, 0, 59)),
             (QStringList{"22:00:00 event 63", "22:00:00 event 64", "22:00:00 word shutdown",
                          "22:00:00 word startupInverter"}));
}

void TestTaskFiring::startupWithItsOwnLatch()
{
    setProtocol(QStringLiteral("3"));
    setSchedule({row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("7")),
                 row(kStartup, QStringLiteral("2026-03-04 22:10"), QStringLiteral("1"))},
                QStringLiteral("10"));
    QCOMPARE(run(at(2026, 3, 4, 21, 49), at(2026, 3, 4, 22, 11), 20),
             (QStringList{"21:50:00 event 63", "21:50:00 word shutdown 10", "22:00:00 event 64",
                          "22:00:00 word startupInverter 10"}));
    QCOMPARE(rowTimes(), (QStringList{"2026-03-11 22:00", "2026-03-05 22:10"}));
}

void TestTaskFiring::unknownRepeatFiresOnce()
{
    // A row with a repeat code the schedule does not know (a table written by other means).
    {
        QWriteLocker l(&scheduleListLock);
        scheduleList = {row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("14"))};
        preAlarm.clear();
        selectNextTimes();
    }
    QCOMPARE(run(at(2026, 3, 4, 22, 0), at(2026, 3, 4, 22, 5), 5), (QStringList{"22:00:00 event 63", "22:00:00 word shutdown"}));
    QCOMPARE(rowTimes(), QStringList{""});
}

void TestTaskFiring::clockJumpsOverTask()
{
    setSchedule({row(kShutdown, QStringLiteral("2026-03-04 22:00"), QStringLiteral("7")),
                 row(kShutdown, QStringLiteral("2026-03-04 22:10"), QStringLiteral("0"))},
                QStringLiteral("1"));
    QCOMPARE(run(at(2026, 3, 4, 21, 58), at(2026, 3, 4, 21, 58, 30)), QStringList());
    // Suspended from 21:58:30 to 22:03: no word late, and the row moves on by its week.
    QCOMPARE(tick(at(2026, 3, 4, 22, 3)), QStringList());
    QCOMPARE(rowTimes(), (QStringList{"2026-03-11 22:00", "2026-03-04 22:10"}));
    QCOMPARE(storedTimes(), rowTimes());
    // The next task of the same type still fires.
    QCOMPARE(run(at(2026, 3, 4, 22, 8), at(2026, 3, 4, 22, 11)), (QStringList{"22:09:00 event 63", "22:10:00 word shutdown"}));
}

void TestTaskFiring::daylightSavingGap()
{
    // 2025-03-30: local clocks go from 01:59:59 to 03:00:00; 02:30 never comes.
    setSchedule({row(kShutdown, QStringLiteral("2025-03-30 02:30"), QStringLiteral("7")),
                 row(kStartup, QStringLiteral("2025-03-30 03:02"), QStringLiteral("7"))},
                QString());
    const QDateTime from = minute(QStringLiteral("2025-03-30 01:58"));
    QCOMPARE(run(from, from.addSecs(8 * 60), 30), (QStringList{"03:02:00 event 64", "03:02:00 word startupInverter"}));
    QCOMPARE(rowTimes(), (QStringList{"2025-04-06 02:30", "2025-04-06 03:02"}));
}

void TestTaskFiring::repeatedHour()
{
    // 2025-10-26: local clocks run 02:00 to 02:59 twice; a task at 02:30 fires once.
    setSchedule({row(kShutdown, QStringLiteral("2025-10-26 02:30"), QStringLiteral("1"))}, QString());
    const QDateTime from = at(2025, 10, 26, 1, 55);
    QCOMPARE(from.addSecs(2 * 3600).time(), QTime(2, 55)); // one hour of real time is repeated
    QCOMPARE(run(from, from.addSecs(3 * 3600), 30), (QStringList{"02:30:00 event 63", "02:30:00 word shutdown"}));
    QCOMPARE(rowTimes(), QStringList{"2025-10-27 02:30"});
}

void TestTaskFiring::clockSetBack_data()
{
    QTest::addColumn<QString>("freq");
    QTest::addColumn<int>("daysBack");
    QTest::newRow("daily, one day back") << "1" << 1;
    QTest::newRow("weekly, seven days back") << "7" << 7;
    QTest::newRow("every 30 days, 30 days back") << "30" << 30;
}

void TestTaskFiring::clockSetBack()
{
    QFETCH(QString, freq);
    QFETCH(int, daysBack);
    // A repeating shutdown, a later start of a daily start-up, and a one-time task.
    setSchedule({row(kShutdown, QStringLiteral("2026-03-05 00:50"), freq),
                 row(kStartup, QStringLiteral("2026-04-20 00:30"), QStringLiteral("1")),
                 row(kShutdown, QStringLiteral("2026-04-10 12:00"), QStringLiteral("0"))},
                QString());
    QCOMPARE(run(at(2026, 3, 5, 0, 49), at(2026, 3, 5, 1, 0), 30), (QStringList{"00:50:00 event 63", "00:50:00 word shutdown"}));
    const QString fired = rowTimes().first();

    // Back at 01:00 of the day the repeat before: the shutdown of the next morning is
    // the one just fired, not one a period later.
    const QDateTime back = at(2026, 3, 5, 1, 0).addDays(-daysBack);
    QCOMPARE(tick(back), QStringList());
    const QStringList expected{back.addDays(daysBack).toString(QStringLiteral("yyyy-MM-dd")) + " 00:50",
                               "2026-04-20 00:30", "2026-04-10 12:00"};
    QCOMPARE(rowTimes(), expected);
    QCOMPARE(storedTimes(), expected);
    QCOMPARE(nextTime(kShutdown), expected.first());
    QVERIFY(expected.first() < fired);

    // The warning and the word come again at that minute.
    const QDateTime due = minute(expected.first());
    QCOMPARE(run(due.addSecs(-60), due.addSecs(60), 30), (QStringList{"00:50:00 event 63", "00:50:00 word shutdown"}));
}

void TestTaskFiring::smallStepBackFiresNothingTwice()
{
    setSchedule({row(kShutdown, QStringLiteral("2026-03-05 00:50"), QStringLiteral("1"))}, QStringLiteral("2"));
    QCOMPARE(run(at(2026, 3, 5, 0, 48), at(2026, 3, 5, 0, 50, 40), 20), (QStringList{"00:48:00 event 63", "00:50:00 word shutdown"}));
    // A time-keeping correction of 50 s back, into the minute before the task.
    QCOMPARE(run(at(2026, 3, 5, 0, 49, 50), at(2026, 3, 5, 0, 51), 10), QStringList());
    QCOMPARE(rowTimes(), QStringList{"2026-03-06 00:50"});
}

void TestTaskFiring::selfTest_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("next");
    QTest::addColumn<QStringList>("timeline");
    QTest::newRow("weekly, one minute") << "1" << "0" << "2026-03-11 08:00" << QStringList{"08:00:00 word selfTest1Min"};
    QTest::newRow("two weeks, discharge") << "2" << "1" << "2026-03-18 08:00" << QStringList{"08:00:00 word dischargeLow"};
    QTest::newRow("unknown interval, once") << "3" << "0" << "" << QStringList{"08:00:00 word selfTest1Min"};
}

void TestTaskFiring::selfTest()
{
    QFETCH(QString, interval);
    QFETCH(QString, type);
    QFETCH(QString, next);
    QFETCH(QStringList, timeline);
    setSelfTest(QStringLiteral("2026-03-04 08:00"), interval, type);
    QCOMPARE(run(at(2026, 3, 4, 7, 59), at(2026, 3, 4, 8, 1), 5), timeline);
    QCOMPARE(selfTestTime(), next);
    QCOMPARE(iniSelfTestTime(), next);

    // Off: nothing, ever.
    setSelfTest(QString(), interval, type);
    QCOMPARE(run(at(2026, 3, 4, 7, 59), at(2026, 3, 4, 8, 1), 5), QStringList());
}

void TestTaskFiring::selfTestClockJump()
{
    setSelfTest(QStringLiteral("2026-03-04 08:00"), QStringLiteral("1"), QStringLiteral("0"));
    QCOMPARE(tick(at(2026, 3, 4, 7, 59, 50)), QStringList());
    QCOMPARE(tick(at(2026, 3, 4, 8, 1, 5)), QStringList());
    QCOMPARE(selfTestTime(), QStringLiteral("2026-03-11 08:00"));
    QCOMPARE(iniSelfTestTime(), QStringLiteral("2026-03-11 08:00"));
}

void TestTaskFiring::selfTestRacesSetter()
{
    // The user sets a new self-test (Friday 09:30) while the due one fires: the new time
    // survives in memory and in "param.ini", and the due word is queued at most once.
    DeviceRequests requests;
    const QString request = QStringLiteral(R"({"testInterval":"1","testTimePerWeek":"5","selftestTime":"09:30","selftestType":"0"})");
    const QDateTime due = at(2026, 3, 4, 8, 0, 1);
    env->clock().set(due);
    for (int round = 0; round < 40; ++round) {
        setSelfTest(QStringLiteral("2026-03-04 08:00"), QStringLiteral("1"), QStringLiteral("0"));
        std::atomic<bool> go{false};
        std::thread user([&] {
            while (!go) {
            }
            requests.handleSetInverter(request);
        });
        go = true;
        history->checkSelfTest(due);
        user.join();
        QCOMPARE(selfTestTime(), QStringLiteral("2026-03-06 09:30"));
        QCOMPARE(iniSelfTestTime(), QStringLiteral("2026-03-06 09:30"));
        QStringList words;
        QueuedCommand c;
        while (takeCommand(&c))
            words << c.word;
        QVERIFY(words.size() <= 1);
    }
}

void TestTaskFiring::selfTestClockSetBack_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("daysBack");
    QTest::addColumn<QString>("next"); // after the step
    QTest::newRow("weekly, seven days back") << "1" << 7 << "2026-03-04 08:00";
    QTest::newRow("weekly, one day back") << "1" << 1 << "2026-03-04 08:00";
    QTest::newRow("two weeks, seven days back") << "2" << 7 << "2026-03-04 08:00";
}

void TestTaskFiring::selfTestClockSetBack()
{
    QFETCH(QString, interval);
    QFETCH(int, daysBack);
    QFETCH(QString, next);
    setSelfTest(QStringLiteral("2026-03-04 08:00"), interval, QStringLiteral("0"));
    QCOMPARE(run(at(2026, 3, 4, 7, 59), at(2026, 3, 4, 9, 0), 30), QStringList{"08:00:00 word selfTest1Min"});
    QCOMPARE(tick(at(2026, 3, 4, 9, 0).addDays(-daysBack)), QStringList());
    QCOMPARE(selfTestTime(), next);
    QCOMPARE(iniSelfTestTime(), next);
    const QDateTime due = minute(next);
    QCOMPARE(run(due.addSecs(-60), due.addSecs(60), 30), QStringList{"08:00:00 word selfTest1Min"});
}

QTEST_GUILESS_MAIN(TestTaskFiring)
#include "tst_taskfiring.moc"
