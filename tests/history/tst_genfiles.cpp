// The generation files of every family: names, create texts, rows by position and their
// decimals, replaced period rows and appended day rows, a calendar stepped across a day,
// a month and a year, full precision of the sums, and a period row that survives a
// failed rewrite.
#include "tests/history/historyfixture.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <memory>

namespace {
void setPvSamples(const QList<double> &samples)
{
    QWriteLocker locker(&upsInfo.lock);
    upsInfo.pvPowerSampleCount = 0;
    for (double s : samples)
        upsInfo.appendPvPowerSample(s);
}

int pvSampleCount()
{
    QReadLocker locker(&upsInfo.lock);
    return upsInfo.pvPowerSampleCount;
}

void setUpsValue(int index, const QString &text)
{
    QWriteLocker locker(&upsInfo.lock);
    upsInfo.values[index] = text;
}

QString genFile(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name;
}
}

class TestGenFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void upsChain_data();
    void upsChain();
    void inverterChain();
    void inverterDayEnergyInDoublePrecision();
    void calendarSteppedAcrossDayMonthAndYear();
    void sumsKeepFullPrecision_data();
    void sumsKeepFullPrecision();
    void failedRewriteKeepsThePeriodRow();
    void sumGenReadsWithoutCreating();
    void deletedFolderIsMadeAgain();
    void dayEnergyText_data();
    void dayEnergyText();

private:
    // One tick in the minute before re-arms the save latch, then the tick of the save.
    void saveAt(const QDateTime &t)
    {
        env->clock().set(t.addSecs(-60));
        thread->threadTimer();
        env->clock().set(t);
        setCommState(CommOk);
        thread->threadTimer();
    }

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<data_thread> thread;
};

void TestGenFiles::init()
{
    env = std::make_unique<TestEnv>(at(2026, 1, 15, 10, 0));
    thread = std::make_unique<data_thread>();
}

void TestGenFiles::cleanup()
{
    thread.reset();
    env.reset();
}

void TestGenFiles::upsChain_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("stem");
    QTest::addColumn<QString>("meanPower");
    QTest::addColumn<QString>("dayGen");
    QTest::addColumn<QString>("laterDayGen");
    QTest::addColumn<QString>("idlePower");
    QTest::newRow("three-phase") << "0" << "threeUPS" << "123.5" << "12.3" << "20.0" << "0.0";
    QTest::newRow("single-phase serial") << "1" << "singleUPS" << "123.46" << "12.35" << "20.00" << "0.00";
    QTest::newRow("single-phase USB") << "2" << "singleUPS" << "123.46" << "12.35" << "20.00" << "0.00";
}

void TestGenFiles::upsChain()
{
    QFETCH(QString, protocol);
    QFETCH(QString, stem);
    QFETCH(QString, meanPower);
    QFETCH(QString, dayGen);
    QFETCH(QString, laterDayGen);
    QFETCH(QString, idlePower);

    setProtocol(protocol);
    setUpsValue(PVPower, QStringLiteral("0.0"));
    setUpsValue(PVDayGen, QStringLiteral("12.3456"));
    setPvSamples({100.0, 146.92}); // mean 123.46
    saveAt(at(2026, 1, 15, 10, 5, 0));
    QCOMPARE(pvSampleCount(), 0); // the save empties the samples

    const QString day = genFile(appPaths.dayGenDbDir, stem + "daygen20260115.db");
    const QString month = genFile(appPaths.monthGenDbDir, stem + "monthgen202601.db");
    const QString year = genFile(appPaths.yearGenDbDir, stem + "yeargen2026.db");
    const QString total = genFile(appPaths.totalGenDbDir, stem + "totalgen.db");
    QCOMPARE(storedCreateText(day), QStringLiteral("create table daygen(Num varchar,Date varchar,Power varchar)"));
    QCOMPARE(storedCreateText(month), QStringLiteral("create table monthgen(Num varchar,Date varchar,Gen varchar)"));
    QCOMPARE(storedCreateText(year), QStringLiteral("create table yeargen(Num varchar,Date varchar,Gen varchar)"));
    QCOMPARE(storedCreateText(total), QStringLiteral("create table totalgen(Date varchar,Gen varchar)"));

    QCOMPARE(tableRows(day, "daygen"), QStringList{"121|2026/01/15 10:05|" + meanPower});
    QCOMPARE(tableRows(month, "monthgen"), QStringList{"15|2026/01/15|" + dayGen});
    QCOMPARE(tableRows(year, "yeargen"), QStringList{"1|2026/01|" + dayGen});
    QCOMPARE(tableRows(total, "totalgen"), QStringList{"2026|" + dayGen});

    // The next save: no sample since (the current PV power instead), the period rows replaced.
    setUpsValue(PVDayGen, QStringLiteral("20"));
    saveAt(at(2026, 1, 15, 10, 10, 3));
    QCOMPARE(tableRows(day, "daygen"),
             (QStringList{"121|2026/01/15 10:05|" + meanPower, "122|2026/01/15 10:10|" + idlePower}));
    QCOMPARE(tableRows(month, "monthgen"), QStringList{"15|2026/01/15|" + laterDayGen});
    QCOMPARE(tableRows(year, "yeargen"), QStringList{"1|2026/01|" + laterDayGen});
    QCOMPARE(tableRows(total, "totalgen"), QStringList{"2026|" + laterDayGen});
}

void TestGenFiles::inverterChain()
{
    setProtocol(QStringLiteral("3"));
    setInverterValue(InverterInfo::kLifetimeEnergyIndex, QStringLiteral("1500.5"));
    setInverterValue(131, QStringLiteral("850"));
    saveAt(at(2026, 1, 15, 0, 0, 0));

    const QString counter = genFile(appPaths.totalGenDbDir, "zq700_4000kxtotalgen20260115.db");
    const QString energy = genFile(appPaths.totalGenDbDir, "zq700_4000kxdaygen20260115.db");
    const QString day = genFile(appPaths.dayGenDbDir, "zq700_4000kxdaygen20260115.db");
    const QString month = genFile(appPaths.monthGenDbDir, "zq700_4000kxmonthgen202601.db");
    const QString year = genFile(appPaths.yearGenDbDir, "zq700_4000kxyeargen2026.db");
    const QString total = genFile(appPaths.totalGenDbDir, "zq700_4000kxtotalgen.db");
    QCOMPARE(storedCreateText(counter), QStringLiteral("create table totalgenbyday(Date varchar,totalgen varchar)"));
    QCOMPARE(storedCreateText(energy), QStringLiteral("create table daygen(date varchar,daygen varchar)"));
    QCOMPARE(storedCreateText(day), QStringLiteral("create table daygen(num varchar, date varchar,power varchar)"));
    QCOMPARE(storedCreateText(month), QStringLiteral("create table monthgen(num varchar, Date varchar,Gen varchar)"));
    QCOMPARE(storedCreateText(year), QStringLiteral("create table yeargen(num varchar, Date varchar,Gen varchar)"));
    QCOMPARE(storedCreateText(total), QStringLiteral("create table totalgen(Date varchar,Gen varchar)"));

    // The first save of the day: the day's energy starts at "0".
    QCOMPARE(tableRows(counter, "totalgenbyday"), QStringList{"20260115 00:00|1500.5"});
    QCOMPARE(tableRows(energy, "daygen"), QStringList{"20260115 00:00|0"});
    QCOMPARE(tableRows(day, "daygen"), QStringList{"0|2026/01/15 00:00|850"});
    QCOMPARE(tableRows(month, "monthgen"), QStringList{"15|20260115|0"});
    QCOMPARE(tableRows(year, "yeargen"), QStringList{"1|2026/01|0.00"});
    QCOMPARE(tableRows(total, "totalgen"), QStringList{"2026|0.00"});

    setInverterValue(InverterInfo::kLifetimeEnergyIndex, QStringLiteral("1512.0"));
    setInverterValue(131, QStringLiteral("910"));
    saveAt(at(2026, 1, 15, 0, 5, 0));
    QCOMPARE(tableRows(counter, "totalgenbyday"),
             (QStringList{"20260115 00:00|1500.5", "20260115 00:05|1512.0"}));
    QCOMPARE(tableRows(energy, "daygen"), (QStringList{"20260115 00:00|0", "20260115 00:05|11.5"}));
    QCOMPARE(tableRows(day, "daygen"),
             (QStringList{"0|2026/01/15 00:00|850", "1|2026/01/15 00:05|910"}));
    QCOMPARE(tableRows(month, "monthgen"), QStringList{"15|20260115|11.5"});
    QCOMPARE(tableRows(year, "yeargen"), QStringList{"1|2026/01|11.50"});
    QCOMPARE(tableRows(total, "totalgen"), QStringList{"2026|11.50"});

    // Lost and regained within 00:05: the slot is saved already, so the working files and
    // the curve keep their one row of it, and the period rows stay one each.
    setCommState(CommLost);
    thread->threadTimer();
    setInverterValue(InverterInfo::kLifetimeEnergyIndex, QStringLiteral("1513"));
    saveAt(at(2026, 1, 15, 0, 5, 40));
    QCOMPARE(rowCount(counter, "totalgenbyday"), 2);
    QCOMPARE(rowCount(day, "daygen"), 2);
    QCOMPARE(tableRows(month, "monthgen"), QStringList{"15|20260115|11.5"});
    QCOMPARE(thread->selectGen(at(2026, 1, 15, 0, 6), 4), QStringLiteral("11.5"));
}

void TestGenFiles::inverterDayEnergyInDoublePrecision()
{
    // In single precision 45690.37 - 45678.9 gives 11.46875, stored as 11.4688.
    setProtocol(QStringLiteral("4"));
    setInverterValue(InverterInfo::kLifetimeEnergyIndex, QStringLiteral("45678.9"));
    saveAt(at(2026, 1, 15, 8, 0, 0));
    setInverterValue(InverterInfo::kLifetimeEnergyIndex, QStringLiteral("45690.37"));
    saveAt(at(2026, 1, 15, 8, 5, 0));
    const QString energy = genFile(appPaths.totalGenDbDir, "zq700_4000kxdaygen20260115.db");
    QCOMPARE(sqliteRows(energy, "select daygen from daygen"), (QStringList{"0", "11.47"}));
    QCOMPARE(inverterValueNow(InverterInfo::kDayEnergyIndex), QStringLiteral("11.47"));
}

void TestGenFiles::calendarSteppedAcrossDayMonthAndYear()
{
    setProtocol(QStringLiteral("1"));
    const struct
    {
        QDateTime time;
        const char *dayGen;
    } saves[] = {
        {at(2026, 12, 30, 23, 55, 0), "4"},
        {at(2026, 12, 31, 23, 55, 0), "5"},
        {at(2027, 1, 1, 0, 0, 0), "1"},
        {at(2027, 1, 1, 0, 5, 0), "1.5"},
    };
    for (const auto &save : saves) {
        setUpsValue(PVDayGen, QLatin1String(save.dayGen));
        setPvSamples({10.0});
        saveAt(save.time);
    }
    const QString months = appPaths.monthGenDbDir;
    QCOMPARE(tableRows(months + "/singleUPSmonthgen202612.db", "monthgen"),
             (QStringList{"30|2026/12/30|4.00", "31|2026/12/31|5.00"}));
    QCOMPARE(tableRows(months + "/singleUPSmonthgen202701.db", "monthgen"),
             QStringList{"1|2027/01/01|1.50"});
    QCOMPARE(tableRows(appPaths.yearGenDbDir + "/singleUPSyeargen2026.db", "yeargen"),
             QStringList{"12|2026/12|9.00"});
    QCOMPARE(tableRows(appPaths.yearGenDbDir + "/singleUPSyeargen2027.db", "yeargen"),
             QStringList{"1|2027/01|1.50"});
    QCOMPARE(tableRows(appPaths.totalGenDbDir + "/singleUPStotalgen.db", "totalgen"),
             (QStringList{"2026|9.00", "2027|1.50"}));
    QCOMPARE(rowCount(appPaths.dayGenDbDir + "/singleUPSdaygen20261231.db", "daygen"), 1);
    QCOMPARE(sqliteRows(appPaths.dayGenDbDir + "/singleUPSdaygen20270101.db", "select Num, Date from daygen"),
             (QStringList{"0|2027/01/01 00:00", "1|2027/01/01 00:05"}));
}

void TestGenFiles::sumsKeepFullPrecision_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("total");
    QTest::newRow("three-phase") << "0" << "1234567.8";
    QTest::newRow("single-phase") << "1" << "1234567.80";
    QTest::newRow("inverter") << "3" << "1234567.80";
}

void TestGenFiles::sumsKeepFullPrecision()
{
    QFETCH(QString, protocol);
    QFETCH(QString, total);
    const DeviceFamily family = deviceFamily(protocol);
    const QString year = historyFilePath(HistoryFile::YearGen, family, QDate(2026, 1, 15));
    QVERIFY(runRawStatements(year, {historyCreateSql(HistoryFile::YearGen, family),
                                    "insert into yeargen values('1','2026/01','1234000.5')",
                                    "insert into yeargen values('2','2026/02','567.3')"}));
    QCOMPARE(thread->sumGen("2026", 6, protocol), QStringLiteral("1234567.8"));
    if (family == DeviceFamily::Inverter)
        thread->saveTotalGen(at(2026, 3, 1, 0, 0));
    else
        thread->saveTotal(at(2026, 3, 1, 0, 0), protocol);
    QCOMPARE(sqliteRows(historyFilePath(HistoryFile::TotalGen, family, QString()), "select * from totalgen"),
             QStringList{"2026|" + total});
}

void TestGenFiles::failedRewriteKeepsThePeriodRow()
{
    setProtocol(QStringLiteral("1"));
    // The insert fails after the delete has run, as a full disk would make it.
    const QString trigger = QStringLiteral("create trigger refuse before insert on monthgen "
                                           "begin select raise(abort, 'disk full'); end");
    const QString month = historyFilePath(HistoryFile::MonthGen, DeviceFamily::SinglePhaseUps, QDate(2026, 1, 15));
    QVERIFY(runRawStatements(month, {historyCreateSql(HistoryFile::MonthGen, DeviceFamily::SinglePhaseUps),
                                     "insert into monthgen values('15','2026/01/15','7.00')", trigger}));
    setUpsValue(PVDayGen, QStringLiteral("8"));
    thread->saveMonth(at(2026, 1, 15, 10, 5), QStringLiteral("1"));
    QCOMPARE(tableRows(month, "monthgen"), QStringList{"15|2026/01/15|7.00"});

    QVERIFY(runRawStatements(month, {"drop trigger refuse"}));
    thread->saveMonth(at(2026, 1, 15, 10, 10), QStringLiteral("1"));
    QCOMPARE(tableRows(month, "monthgen"), QStringList{"15|2026/01/15|8.00"});
}

void TestGenFiles::sumGenReadsWithoutCreating()
{
    QCOMPARE(thread->sumGen("202601", 5, "0"), QString()); // no file
    QCOMPARE(thread->sumGen("2026", 6, "3"), QString());
    QCOMPARE(thread->sumGen("202601", 7, "0"), QString()); // no such kind
    QVERIFY(QDir(appPaths.monthGenDbDir).isEmpty());
    QVERIFY(QDir(appPaths.yearGenDbDir).isEmpty());

    const QString month = historyFilePath(HistoryFile::MonthGen, DeviceFamily::ThreePhaseUps, QString("202601"));
    QVERIFY(runRawStatements(month, {}));
    QCOMPARE(thread->sumGen("202601", 5, "0"), QStringLiteral("0")); // a file without its table
    QVERIFY(runRawStatements(month, {historyCreateSql(HistoryFile::MonthGen, DeviceFamily::ThreePhaseUps),
                                     "insert into monthgen values('1','2026/01/01','1.25')",
                                     "insert into monthgen values('2','2026/01/02','')",
                                     "insert into monthgen values('3','2026/01/03','n/a')",
                                     "insert into monthgen values('4','2026/01/04','2.5')"}));
    QCOMPARE(thread->sumGen("202601", 5, "0"), QStringLiteral("3.75"));
    // A period that is not one names no other file.
    QCOMPARE(thread->sumGen("../x", 5, "0"), QString());
}

void TestGenFiles::deletedFolderIsMadeAgain()
{
    setProtocol(QStringLiteral("0"));
    QVERIFY(QDir(appPaths.dayGenDbDir).removeRecursively());
    saveAt(at(2026, 1, 15, 10, 5, 0));
    QCOMPARE(rowCount(appPaths.dayGenDbDir + "/threeUPSdaygen20260115.db", "daygen"), 1);
}

void TestGenFiles::dayEnergyText_data()
{
    QTest::addColumn<double>("kWh");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("one decimal") << 11.5 << "11.5";
    QTest::newRow("rounded") << 1234.5678 << "1234.57";
    QTest::newRow("whole") << 12.0 << "12";
    QTest::newRow("float noise") << (45690.37 - 45678.9) << "11.47";
    QTest::newRow("below a hundredth") << 0.004 << "0";
}

void TestGenFiles::dayEnergyText()
{
    QFETCH(double, kWh);
    QFETCH(QString, text);
    QCOMPARE(formatDayEnergy(kWh), text);
}

QTEST_GUILESS_MAIN(TestGenFiles)
#include "tst_genfiles.moc"
