// The schedule store: loading with catch-up, the next times, and the rewrite of "schedule.db".
#include "core/clock.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "tests/core/dbfixture.h"
#include "tests/core/gapzone.h"
#include "tests/support/testenv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestSchedule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noFileNoList();
    void catchUp_data();
    void catchUp();
    void pullBackAfterClockSetBack_data();
    void pullBackAfterClockSetBack();
    void nextTimes();
    void nextTimesKeptWhenNoRowOfAKind();
    void saveAndLoadKeepEveryRow();
    void saveEmptyList();
    void saveReplacesOldTable();
    void saveWithoutDatabaseStillSelects();
    void badDatabase_data();
    void badDatabase();
};

namespace {
const QString kCreate = QStringLiteral(
    "create table schedtable(tasktime varchar,taskfreq varchar,tasktype varchar,tasksettime varchar)");

// Rows as (tasktime, taskfreq, tasktype, tasksettime), written with plain statements.
bool writeSchedule(const QList<QStringList> &rows)
{
    QStringList sql{kCreate};
    for (const QStringList &r : rows)
        sql << QStringLiteral("insert into schedtable values('%1','%2','%3','%4')").arg(r.at(0), r.at(1), r.at(2), r.at(3));
    return runRawStatements(appPaths.scheduleDbPath, sql);
}

bool sameRows(const QList<ScheduleItem> &a, const QList<ScheduleItem> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].tasktype != b[i].tasktype || a[i].tasktime != b[i].tasktime || a[i].taskfreq != b[i].taskfreq
            || a[i].tasksettime != b[i].tasksettime)
            return false;
    }
    return true;
}
}

void TestSchedule::initTestCase()
{
    verifyGapZone();
}

void TestSchedule::noFileNoList()
{
    TestEnv env;
    scheduleList.append(ScheduleItem{"shutdown", "2030-01-01 08:00", "0", ""});
    loadSchedule();
    QVERIFY(scheduleList.isEmpty());
    QCOMPARE(nextShutdownTime, QString());
    QCOMPARE(nextStartupTime, QString());
    QVERIFY(!QFile::exists(appPaths.scheduleDbPath));
}

void TestSchedule::catchUp_data()
{
    QTest::addColumn<QString>("tasktime");
    QTest::addColumn<QString>("taskfreq");
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("expected");
    QTest::addRow("daily, 3 days 2 hours past") << "2026-01-12 08:00" << "1" << "2026-01-15 10:00" << "2026-01-16 08:00";
    QTest::addRow("weekly, a week past at now") << "2026-01-08 12:00" << "7" << "2026-01-15 12:00" << "2026-01-22 12:00";
    QTest::addRow("30 days, due now") << "2026-01-15 12:00" << "30" << "2026-01-15 12:00" << "2026-02-14 12:00";
    QTest::addRow("daily, due now") << "2026-01-15 12:00" << "1" << "2026-01-15 12:00" << "2026-01-16 12:00";
    QTest::addRow("once, past") << "2026-01-15 11:59" << "0" << "2026-01-15 12:00" << "";
    QTest::addRow("once, future") << "2026-01-15 12:01" << "0" << "2026-01-15 12:00" << "2026-01-15 12:01";
    QTest::addRow("unset") << "" << "1" << "2026-01-15 12:00" << "";
    QTest::addRow("unknown freq, past") << "2026-01-01 08:00" << "2" << "2026-01-15 12:00" << "";
    QTest::addRow("unknown freq, future") << "2026-02-01 08:00" << "" << "2026-01-15 12:00" << "2026-02-01 08:00";
    QTest::addRow("daily, far past") << "1970-01-01 08:00" << "1" << "2026-01-15 12:00" << "2026-01-16 08:00";
    QTest::addRow("garbage") << "tomorrow" << "1" << "2026-01-15 12:00" << "";
    QTest::addRow("garbage before now") << "0000-00-00 00:00" << "7" << "2026-01-15 12:00" << "";
    QTest::addRow("bad month") << "2026-13-01 08:00" << "30" << "2026-01-15 12:00" << "";
    // 02:30 does not exist in Berlin on 2025-03-30; a daily task keeps its clock time.
    QTest::addRow("dst gap, past") << "2025-03-30 02:30" << "1" << "2025-03-30 10:00" << "2025-03-31 02:30";
    QTest::addRow("dst gap, future") << "2025-03-30 02:30" << "7" << "2025-03-30 01:59" << "2025-03-30 02:30";
    QTest::addRow("lands on dst gap") << "2025-03-29 02:30" << "1" << "2025-03-30 01:00" << "2025-03-30 02:30";
    QTest::addRow("once in dst gap") << "2025-03-30 02:30" << "0" << "2025-03-30 03:00" << "";
}

void TestSchedule::catchUp()
{
    QFETCH(QString, tasktime);
    QFETCH(QString, taskfreq);
    QFETCH(QString, now);
    QFETCH(QString, expected);
    TestEnv env(minute(now));
    QVERIFY(env.clock().now().isValid());
    QVERIFY(writeSchedule({{tasktime, taskfreq, "shutdown", "08:00"}}));
    const QStringList before = folderSnapshot(appPaths.paramDir);
    loadSchedule();
    QCOMPARE(scheduleList.size(), 1);
    QCOMPARE(scheduleList.first().tasktime, expected);
    QCOMPARE(scheduleList.first().taskfreq, taskfreq);
    QCOMPARE(nextShutdownTime, expected);
    QCOMPARE(catchUpTaskTime(tasktime, taskfreq, now), expected);
    // Nothing is written back at load.
    QCOMPARE(folderSnapshot(appPaths.paramDir), before);
    QVERIFY(QSqlDatabase::connectionNames().isEmpty());
}

void TestSchedule::pullBackAfterClockSetBack_data()
{
    QTest::addColumn<QString>("tasktime");
    QTest::addColumn<QString>("taskfreq");
    QTest::addColumn<QString>("before"); // the clock before the step
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("expected");
    QTest::addRow("daily, one day back") << "2026-01-16 00:50" << "1" << "2026-01-15 01:00" << "2026-01-14 01:00" << "2026-01-15 00:50";
    QTest::addRow("daily, back onto its minute") << "2026-01-16 00:50" << "1" << "2026-01-15 01:00" << "2026-01-15 00:50" << "2026-01-16 00:50";
    QTest::addRow("daily, an hour back") << "2026-01-16 00:50" << "1" << "2026-01-15 01:00" << "2026-01-15 00:00" << "2026-01-15 00:50";
    QTest::addRow("weekly, seven days back") << "2026-01-22 22:00" << "7" << "2026-01-15 22:05" << "2026-01-08 22:05" << "2026-01-15 22:00";
    QTest::addRow("weekly, three days back") << "2026-01-22 22:00" << "7" << "2026-01-20 10:00" << "2026-01-17 10:00" << "2026-01-22 22:00";
    QTest::addRow("30 days, 45 days back") << "2026-02-14 12:00" << "30" << "2026-01-15 13:00" << "2025-12-01 13:00" << "2025-12-16 12:00";
    QTest::addRow("daily, years back") << "2026-01-16 08:00" << "1" << "2026-01-15 09:00" << "2001-05-05 07:00" << "2001-05-05 08:00";
    // More than one period ahead of the old clock: a later start the user chose.
    QTest::addRow("daily, later start kept") << "2026-02-01 08:00" << "1" << "2026-01-15 09:00" << "2026-01-14 09:00" << "2026-02-01 08:00";
    QTest::addRow("once, kept") << "2026-01-15 12:00" << "0" << "2026-01-15 11:00" << "2026-01-01 11:00" << "2026-01-15 12:00";
    QTest::addRow("unknown freq, kept") << "2026-01-16 12:00" << "2" << "2026-01-15 13:00" << "2026-01-01 13:00" << "2026-01-16 12:00";
    QTest::addRow("unset") << "" << "1" << "2026-01-15 13:00" << "2026-01-01 13:00" << "";
    QTest::addRow("garbage") << "tomorrow" << "7" << "2026-01-15 13:00" << "2026-01-01 13:00" << "tomorrow";
    // 02:30 does not exist in Berlin on 2025-03-30; the clock time is kept as set.
    QTest::addRow("back onto the dst gap day") << "2025-03-31 02:30" << "1" << "2025-03-30 10:00" << "2025-03-29 10:00" << "2025-03-30 02:30";
}

void TestSchedule::pullBackAfterClockSetBack()
{
    QFETCH(QString, tasktime);
    QFETCH(QString, taskfreq);
    QFETCH(QString, before);
    QFETCH(QString, now);
    QTEST(pullBackTaskTime(tasktime, taskfreq, before, now), "expected");
}

void TestSchedule::nextTimes()
{
    TestEnv env(minute(QStringLiteral("2026-01-15 12:00")));
    QVERIFY(writeSchedule({{"2030-01-02 08:00", "0", "shutdown", ""},
                           {"2030-01-01 09:00", "0", "shutdown", ""},
                           {"2029-12-31 07:00", "0", "startup", ""},
                           {"", "1", "shutdown", ""},
                           {"2027-01-01 00:00", "0", "Shutdown", ""},
                           {"2028-01-01 00:00", "1", "special", ""},
                           {"2031-01-01 07:00", "7", "startup", ""}}));
    loadSchedule();
    QCOMPARE(scheduleList.size(), 7);
    QCOMPARE(nextShutdownTime, QStringLiteral("2030-01-01 09:00"));
    QCOMPARE(nextStartupTime, QStringLiteral("2029-12-31 07:00"));
}

void TestSchedule::nextTimesKeptWhenNoRowOfAKind()
{
    TestEnv env(minute(QStringLiteral("2026-01-15 12:00")));
    QVERIFY(writeSchedule({{"2030-01-01 07:00", "0", "startup", ""}}));
    nextShutdownTime = QStringLiteral("2029-06-01 06:00");
    loadSchedule();
    QCOMPARE(nextShutdownTime, QStringLiteral("2029-06-01 06:00"));
    QCOMPARE(nextStartupTime, QStringLiteral("2030-01-01 07:00"));
    // A save starts the selection afresh.
    saveSchedule(ScheduleCallerGui);
    QCOMPARE(nextShutdownTime, QString());
    QCOMPARE(nextStartupTime, QStringLiteral("2030-01-01 07:00"));
}

void TestSchedule::saveAndLoadKeepEveryRow()
{
    TestEnv env(minute(QStringLiteral("2026-01-15 12:00")));
    QList<ScheduleItem> rows;
    for (int day = 0; day < 7; ++day) {
        rows.append(ScheduleItem{"shutdown", QStringLiteral("2026-01-%1 22:00").arg(16 + day), "7", "22:00"});
        rows.append(ScheduleItem{"startup", day == 3 ? QString() : QStringLiteral("2026-01-%1 06:30").arg(16 + day),
                                 "7", day == 3 ? QString() : QStringLiteral("06:30")});
    }
    rows.append(ScheduleItem{"shutdown", "2026-03-01 12:00", "0", "it's the 1st, 12:00"});
    rows.append(ScheduleItem{"o'clock task", "2026-04-01 12:00", "30", "'); drop table schedtable; --"});
    rows.append(ScheduleItem{"startup", "2026-05-01 12:00", "1", "\"quoted\" \\ back"});
    for (int i = 0; i < 4; ++i)
        rows.append(ScheduleItem{"shutdown", QString(), "0", QString()});

    for (int caller : {int(ScheduleCallerGui), int(ScheduleCallerHistory)}) {
        scheduleList = rows;
        saveSchedule(caller);
        QCOMPARE(nextShutdownTime, QStringLiteral("2026-01-16 22:00"));
        QCOMPARE(nextStartupTime, QStringLiteral("2026-01-16 06:30"));
        QVERIFY(QSqlDatabase::connectionNames().isEmpty());
        scheduleList.clear();
        loadSchedule();
        QVERIFY(sameRows(scheduleList, rows));
    }
    // Another reader takes the columns by position: tasktime, taskfreq, tasktype, tasksettime.
    const QList<QStringList> raw = readRawRows(appPaths.scheduleDbPath, QStringLiteral("select * from schedtable"));
    QCOMPARE(raw.size(), rows.size());
    QCOMPARE(raw.at(15), (QStringList{"2026-04-01 12:00", "30", "o'clock task", "'); drop table schedtable; --"}));
}

void TestSchedule::saveEmptyList()
{
    TestEnv env;
    nextShutdownTime = nextStartupTime = QStringLiteral("2030-01-01 00:00");
    saveSchedule(ScheduleCallerGui);
    QVERIFY(QFile::exists(appPaths.scheduleDbPath));
    QCOMPARE(readRawRows(appPaths.scheduleDbPath, "select count(*) from schedtable"), QList<QStringList>{{"0"}});
    QCOMPARE(nextShutdownTime, QString());
    QCOMPARE(nextStartupTime, QString());
}

void TestSchedule::saveReplacesOldTable()
{
    TestEnv env;
    QVERIFY(writeSchedule({{"2030-01-01 08:00", "0", "shutdown", "a"}, {"2030-01-02 08:00", "0", "shutdown", "b"}}));
    scheduleList = {ScheduleItem{"startup", "2031-01-01 08:00", "1", "c"}};
    saveSchedule(ScheduleCallerHistory);
    QCOMPARE(readRawRows(appPaths.scheduleDbPath, "select * from schedtable"),
             (QList<QStringList>{{"2031-01-01 08:00", "1", "startup", "c"}}));
}

void TestSchedule::saveWithoutDatabaseStillSelects()
{
    TestEnv env;
    // A folder in place of the file: nothing can be opened, the list still counts.
    QVERIFY(QDir().mkpath(appPaths.scheduleDbPath));
    scheduleList = {ScheduleItem{"shutdown", "2030-01-01 08:00", "0", ""}};
    saveSchedule(ScheduleCallerGui);
    QCOMPARE(nextShutdownTime, QStringLiteral("2030-01-01 08:00"));
    QVERIFY(QFileInfo(appPaths.scheduleDbPath).isDir());
}

void TestSchedule::badDatabase_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QByteArray>("rawContent");
    QTest::addRow("not sqlite") << QStringList{} << QByteArray("shutdown 2030-01-01 08:00\n");
    QTest::addRow("no table") << QStringList{"create table other(a varchar)"} << QByteArray();
    QTest::addRow("three columns") << QStringList{"create table schedtable(tasktime varchar,taskfreq varchar,tasktype varchar)",
                                                  "insert into schedtable values('2030-01-01 08:00','0','shutdown')"}
                                   << QByteArray();
    QTest::addRow("no rows") << QStringList{kCreate} << QByteArray();
}

void TestSchedule::badDatabase()
{
    QFETCH(QStringList, statements);
    QFETCH(QByteArray, rawContent);
    TestEnv env;
    if (statements.isEmpty())
        writeFile(appPaths.scheduleDbPath, rawContent);
    else
        QVERIFY(runRawStatements(appPaths.scheduleDbPath, statements));
    const QStringList before = folderSnapshot(appPaths.paramDir);
    loadSchedule();
    QVERIFY(scheduleList.isEmpty());
    QCOMPARE(nextShutdownTime, QString());
    QCOMPARE(nextStartupTime, QString());
    QCOMPARE(folderSnapshot(appPaths.paramDir), before);
    QVERIFY(QSqlDatabase::connectionNames().isEmpty());
    if (!statements.isEmpty())
        return;
    // Saving over a file that is not a database leaves it as it is.
    scheduleList = {ScheduleItem{"shutdown", "2030-01-01 08:00", "0", ""}};
    saveSchedule(ScheduleCallerGui);
    QCOMPARE(folderSnapshot(appPaths.paramDir), before);
    QCOMPARE(nextShutdownTime, QStringLiteral("2030-01-01 08:00"));
}

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
