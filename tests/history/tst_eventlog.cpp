// The event log: rows per family, the constant values of a lost link, the month of the
// pass, and no event lost while the file cannot be written (within the bound).
#include "tests/history/historyfixture.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <memory>

class TestEventLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rowsPerFamily_data();
    void rowsPerFamily();
    void emptyQueueTouchesNothing();
    void eventsOfTwoMonthsGoToThePassMonth();
    void unopenableFileKeepsTheEvents();
    void lastingFailureLoggedOnce_data();
    void lastingFailureLoggedOnce();
    void failedInsertPutsEventsBackInOrder();
    void backlogIsBounded();

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<data_thread> thread;
};

void TestEventLog::init()
{
    env = std::make_unique<TestEnv>(at(2026, 1, 15, 10, 0));
    thread = std::make_unique<data_thread>();
    setCommState(CommOk);
}

void TestEventLog::cleanup()
{
    thread.reset();
    env.reset();
}

void TestEventLog::rowsPerFamily_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("stored");

    // Three-phase texts are re-written phase by phase; codes 57 and 58 carry constants.
    QTest::newRow("three-phase alarm") << "0" << "219.74/219.9/220" << 3 << "ThreeUPSEventLog202601.db"
                                       << "219.7/219.9/220.0";
    QTest::newRow("three-phase single value") << "0" << "49.96" << 3 << "ThreeUPSEventLog202601.db" << "50.0";
    QTest::newRow("three-phase lost link") << "0" << "219.74/219.9/220" << 57 << "ThreeUPSEventLog202601.db"
                                           << "0.0";
    QTest::newRow("single-phase alarm") << "1" << "229.456" << 5 << "SingleUPSEventLog202601.db" << "229.46";
    QTest::newRow("single-phase lost link") << "2" << "229.456" << 57 << "SingleUPSEventLog202601.db" << "0.00";
    QTest::newRow("single-phase port failed") << "1" << "229.456" << 58 << "SingleUPSEventLog202601.db" << "0.00";
    QTest::newRow("single-phase not a number") << "1" << "--" << 4 << "SingleUPSEventLog202601.db" << "0.00";
    // The inverter stores its texts as held, for every code.
    QTest::newRow("inverter lost link") << "3" << "230.1" << 57 << "ZQ700_4000KXEventLog202601.db" << "230.1";
    QTest::newRow("inverter command") << "4" << "230.1" << 73 << "ZQ700_4000KXEventLog202601.db" << "230.1";
}

void TestEventLog::rowsPerFamily()
{
    QFETCH(QString, protocol);
    QFETCH(QString, value);
    QFETCH(int, code);
    QFETCH(QString, file);
    QFETCH(QString, stored);

    setProtocol(protocol);
    setUpsValues(value);
    const DeviceFamily family = deviceFamily(protocol);
    const HistoryValueColumns columns = historyValueColumns(family);
    for (int i = 0; i < columns.count; ++i)
        setInverterValue(columns.columns[i].valueIndex, value);
    // The tick rewrites the inverter's energy of the day; the event is drained in the same tick.
    const QString dayEnergy = family == DeviceFamily::Inverter ? QStringLiteral("0") : stored;

    queueDbEvent(at(2026, 1, 15, 9, 59, 58), code);
    env->clock().set(at(2026, 1, 15, 10, 1, 7));
    thread->threadTimer();
    QCOMPARE(queuedDbEvents(), 0);

    const QString path = appPaths.alarmDbDir + QLatin1Char('/') + file;
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    QCOMPARE(storedCreateText(path), historyCreateSql(HistoryFile::EventLog, family));
    const QList<QStringList> rows = readRawRows(path, "select * from alarmdata");
    QCOMPARE(rows.size(), 1);
    QStringList expected{"2026/01/15 09:59:58"};
    for (int i = 0; i < columns.count; ++i)
        expected << (columns.columns[i].valueIndex == InverterInfo::kDayEnergyIndex && family == DeviceFamily::Inverter
                         ? dayEnergy
                         : stored);
    expected << QString::number(code);
    QCOMPARE(rows.first(), expected);
    // The code is a number in its int column, as the readers sort and compare it.
    QCOMPARE(sqliteRows(path, "select typeof(Description) from alarmdata"), QStringList{"integer"});
}

void TestEventLog::emptyQueueTouchesNothing()
{
    TestEnv bare(at(2026, 1, 15, 10, 0), false);
    data_thread fresh;
    setProtocol(QStringLiteral("0"));
    fresh.saveEventLog(at(2026, 1, 15, 10, 0), QStringLiteral("0"));
    QVERIFY(!QFileInfo::exists(appPaths.alarmDbDir));
}

void TestEventLog::eventsOfTwoMonthsGoToThePassMonth()
{
    setProtocol(QStringLiteral("1"));
    queueDbEvent(at(2026, 1, 31, 23, 59, 59), 57);
    queueDbEvent(at(2026, 2, 1, 0, 0, 0), 56);
    thread->saveEventLog(at(2026, 2, 1, 0, 0, 1), QStringLiteral("1"));
    QVERIFY(!QFileInfo::exists(appPaths.alarmDbDir + "/SingleUPSEventLog202601.db"));
    const QString path = appPaths.alarmDbDir + "/SingleUPSEventLog202602.db";
    QCOMPARE(sqliteRows(path, "select DateTime, Description from alarmdata order by rowid"),
             (QStringList{"2026/01/31 23:59:59|57", "2026/02/01 00:00:00|56"}));
}

void TestEventLog::unopenableFileKeepsTheEvents()
{
    setProtocol(QStringLiteral("0"));
    const QString path = appPaths.alarmDbDir + "/ThreeUPSEventLog202601.db";
    // A folder where the file should be: SQLite cannot open it.
    QVERIFY(QDir().mkpath(path));
    queueDbEvent(at(2026, 1, 15, 10, 0, 1), 7);
    queueDbEvent(at(2026, 1, 15, 10, 0, 2), 8);
    thread->saveEventLog(at(2026, 1, 15, 10, 0, 3), QStringLiteral("0"));
    QCOMPARE(queuedDbEvents(), 2);
    queueDbEvent(at(2026, 1, 15, 10, 0, 4), 9);
    thread->saveEventLog(at(2026, 1, 15, 10, 0, 4), QStringLiteral("0"));
    QCOMPARE(queuedDbEvents(), 3);

    QVERIFY(QDir(path).removeRecursively());
    thread->saveEventLog(at(2026, 1, 15, 10, 0, 5), QStringLiteral("0"));
    QCOMPARE(queuedDbEvents(), 0);
    QCOMPARE(sqliteRows(path, "select DateTime, Description from alarmdata order by rowid"),
             (QStringList{"2026/01/15 10:00:01|7", "2026/01/15 10:00:02|8", "2026/01/15 10:00:04|9"}));
}

namespace {
struct LoggedLine
{
    QtMsgType type;
    QString category;
    QString text;
};
QList<LoggedLine> loggedLines;

void recordLine(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    loggedLines.append({type, QString::fromLatin1(context.category), text});
}

int historyLines(QtMsgType type)
{
    int count = 0;
    for (const LoggedLine &line : std::as_const(loggedLines))
        count += line.type == type && line.category == QLatin1String("kestrava.history");
    return count;
}
}

void TestEventLog::lastingFailureLoggedOnce_data()
{
    QTest::addColumn<bool>("unopenable");
    QTest::newRow("file cannot be opened") << true;
    QTest::newRow("insert refused") << false;
}

void TestEventLog::lastingFailureLoggedOnce()
{
    // Retried at every tick while the events cannot be written, but named in one warning
    // when that starts and one line when it ends, not once a second.
    QFETCH(bool, unopenable);
    setProtocol(QStringLiteral("0"));
    const QString path = appPaths.alarmDbDir + "/ThreeUPSEventLog202601.db";
    if (unopenable)
        QVERIFY(QDir().mkpath(path)); // a folder where the file should be
    else
        QVERIFY(runRawStatements(path, {historyCreateSql(HistoryFile::EventLog, DeviceFamily::ThreePhaseUps),
                                        "create trigger refuse before insert on alarmdata "
                                        "begin select raise(abort, 'refused'); end"}));
    queueDbEvent(at(2026, 1, 15, 10, 1, 0), 7);
    loggedLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordLine);
    const auto tick = [this](int second) {
        env->clock().set(at(2026, 1, 15, 10, 1, second));
        thread->threadTimer();
    };
    for (int second = 1; second <= 6; ++second)
        tick(second);
    const int warningsWhileFailing = historyLines(QtWarningMsg);
    const int infosWhileFailing = historyLines(QtInfoMsg);
    const int eventsWhileFailing = queuedDbEvents();

    if (unopenable)
        QDir(path).removeRecursively();
    else
        runRawStatements(path, {"drop trigger refuse"});
    for (int second = 7; second <= 10; ++second)
        tick(second);
    qInstallMessageHandler(previous);

    QCOMPARE(eventsWhileFailing, 1);
    QCOMPARE(warningsWhileFailing, 1);
    QCOMPARE(infosWhileFailing, 0);
    QVERIFY2(loggedLines.first().text.contains(path), qPrintable(loggedLines.first().text));
    QCOMPARE(historyLines(QtWarningMsg), 1);
    QCOMPARE(historyLines(QtInfoMsg), 1);
    QVERIFY(loggedLines.last().text.contains("event log works again"));
    QCOMPARE(queuedDbEvents(), 0);
    QCOMPARE(sqliteRows(path, "select Description from alarmdata"), QStringList{"7"});
}

void TestEventLog::failedInsertPutsEventsBackInOrder()
{
    setProtocol(QStringLiteral("0"));
    const QString path = appPaths.alarmDbDir + "/ThreeUPSEventLog202601.db";
    // The second insert of the pass fails: the first must not stay alone in the file.
    QVERIFY(runRawStatements(path, {historyCreateSql(HistoryFile::EventLog, DeviceFamily::ThreePhaseUps),
                                    "create trigger refuse before insert on alarmdata when new.Description = 8 "
                                    "begin select raise(abort, 'refused'); end"}));
    queueDbEvent(at(2026, 1, 15, 10, 0, 1), 7);
    queueDbEvent(at(2026, 1, 15, 10, 0, 2), 8);
    thread->saveEventLog(at(2026, 1, 15, 10, 0, 3), QStringLiteral("0"));
    QCOMPARE(rowCount(path, "alarmdata"), 0);
    queueDbEvent(at(2026, 1, 15, 10, 0, 4), 9);
    {
        QReadLocker locker(&dbEventQueueLock);
        QCOMPARE(dbEventQueue.size(), 3);
        QCOMPARE(dbEventQueue.at(0).code, 7);
        QCOMPARE(dbEventQueue.at(1).code, 8);
        QCOMPARE(dbEventQueue.at(2).code, 9);
    }
    QVERIFY(runRawStatements(path, {"drop trigger refuse"}));
    thread->saveEventLog(at(2026, 1, 15, 10, 0, 5), QStringLiteral("0"));
    QCOMPARE(sqliteRows(path, "select Description from alarmdata order by rowid"), (QStringList{"7", "8", "9"}));
}

void TestEventLog::backlogIsBounded()
{
    setProtocol(QStringLiteral("0"));
    const QString path = appPaths.alarmDbDir + "/ThreeUPSEventLog202601.db";
    QVERIFY(QDir().mkpath(path));
    const int extra = 25;
    const QDateTime first = at(2026, 1, 15, 0, 0, 0);
    {
        QWriteLocker locker(&dbEventQueueLock);
        for (int i = 0; i < int(kEventQueueLimit) + extra; ++i)
            dbEventQueue.append(EventItem{first.addSecs(i), i % 56});
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("oldest queued events dropped"));
    thread->saveEventLog(at(2026, 1, 15, 10, 0, 3), QStringLiteral("0"));
    QReadLocker locker(&dbEventQueueLock);
    QCOMPARE(int(dbEventQueue.size()), int(kEventQueueLimit));
    QCOMPARE(dbEventQueue.first().time, first.addSecs(extra));
    QCOMPARE(dbEventQueue.last().time, first.addSecs(int(kEventQueueLimit) + extra - 1));
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
