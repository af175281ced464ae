// The five-minute snapshot file of every family: its name, its columns as the readers
// see them by position, and the value texts with their decimals.
#include "tests/history/historyfixture.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <memory>

class TestSnapshot : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void upsRow_data();
    void upsRow();
    void inverterRow();
    void protocolChangeStartsTheOtherFamilysFile();
    void builderKinds();
    void phaseTexts_data();
    void phaseTexts();

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<data_thread> thread;
};

void TestSnapshot::init()
{
    env = std::make_unique<TestEnv>(at(2026, 1, 15, 10, 5, 42));
    thread = std::make_unique<data_thread>();
}

void TestSnapshot::cleanup()
{
    thread.reset();
    env.reset();
}

void TestSnapshot::upsRow_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("phases");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("three-phase") << "0" << "ThreeUPSAnalogData20260115.db" << "219.7/219.9/220.0" << ".3";
    QTest::newRow("single-phase") << "1" << "SingleUPSAnalogData20260115.db" << "219.74/219.90/220.00" << ".26";
}

void TestSnapshot::upsRow()
{
    QFETCH(QString, protocol);
    QFETCH(QString, file);
    QFETCH(QString, phases);
    QFETCH(QString, suffix);
    setProtocol(protocol);
    {
        QWriteLocker locker(&upsInfo.lock);
        for (int i = 0; i < UpsValueCount; ++i)
            upsInfo.values[i] = QStringLiteral("%1.26").arg(i);
        upsInfo.values[InputVolt] = QStringLiteral("219.74/219.9/220");
    }
    setCommState(CommOk);
    thread->threadTimer();

    const QString path = appPaths.analogDbDir + QLatin1Char('/') + file;
    const QStringList columns = sqliteRows(path, "select name || ' ' || type from pragma_table_info('analogdata')");
    QCOMPARE(columns.size(), 33);
    QCOMPARE(columns.at(0), QStringLiteral("DateTime varchar"));
    QCOMPARE(columns.at(1), QStringLiteral("BatteryDischageTime(M) varchar"));
    QCOMPARE(columns.at(3), QStringLiteral("BatteryRemmainCap(%) varchar"));
    QCOMPARE(columns.at(21), QStringLiteral("OutputAppPower(VA) varchar"));
    QCOMPARE(columns.at(32), QStringLiteral("PVTotalGen(KWH) varchar"));

    const QList<QStringList> rows = readRawRows(path, "select * from analogdata");
    QCOMPARE(rows.size(), 1);
    QStringList expected{"2026/01/15 10:05"};
    for (int i = 0; i < UpsValueCount; ++i)
        expected << (i == InputVolt ? phases : QString::number(i) + suffix);
    QCOMPARE(rows.first(), expected);
}

void TestSnapshot::inverterRow()
{
    setProtocol(QStringLiteral("3"));
    const HistoryValueColumns set = historyValueColumns(DeviceFamily::Inverter);
    for (int i = 0; i < set.count; ++i)
        setInverterValue(set.columns[i].valueIndex, QStringLiteral("%1.123").arg(set.columns[i].valueIndex));
    thread->saveAnalogData(at(2026, 1, 15, 10, 5, 42), QStringLiteral("3"));

    const QString path = appPaths.analogDbDir + "/ZQ700_4000KXAnalogData20260115.db";
    // Each quoted name carries its " varchar" and the column has no declared type.
    const QStringList columns = sqliteRows(path, "select name || '|' || type from pragma_table_info('analogdata')");
    QCOMPARE(columns.size(), 18);
    QCOMPARE(columns.at(0), QStringLiteral("DateTime|varchar"));
    QCOMPARE(columns.at(1), QStringLiteral("Inputvolt(V) varchar|"));
    QCOMPARE(columns.at(7), QStringLiteral("Outputapparentpower(W) varchar|"));
    QCOMPARE(columns.at(17), QStringLiteral("PVmonthgen(KWH) varchar|"));

    // The values as held, in the order of the register entries 1, 7, 11 ... 132, 134.
    QCOMPARE(tableRows(path, "analogdata"),
             QStringList{"2026/01/15 10:05|1.123|7.123|11.123|20.123|26.123|32.123|35.123|38.123|41.123|114.123|"
                         "44.123|47.123|50.123|129.123|131.123|132.123|134.123"});
}

void TestSnapshot::protocolChangeStartsTheOtherFamilysFile()
{
    setUpsValues(QStringLiteral("1"));
    thread->saveAnalogData(at(2026, 1, 15, 10, 5), QStringLiteral("0"));
    thread->saveAnalogData(at(2026, 1, 15, 10, 10), QStringLiteral("1"));
    QCOMPARE(QDir(appPaths.analogDbDir).entryList(QDir::Files),
             (QStringList{"SingleUPSAnalogData20260115.db", "ThreeUPSAnalogData20260115.db"}));
    QCOMPARE(sqliteRows(appPaths.analogDbDir + "/SingleUPSAnalogData20260115.db", "select DateTime, [PVPower(KW)] from analogdata"),
             QStringList{"2026/01/15 10:10|1.00"});
}

void TestSnapshot::builderKinds()
{
    QCOMPARE(thread->createTableSql(0, "0"), QString());
    QCOMPARE(thread->createTableSql(7, "0"), QString());
    QCOMPARE(thread->createTableSql(4, "3"), QStringLiteral("create table monthgen(Num varchar,Date varchar,Gen varchar)"));
    QVERIFY(thread->createTableSql(1, "3").startsWith("create table analogdata(DateTime varchar,'Inputvolt(V) varchar'"));
    QVERIFY(thread->createTableSql(2, "1").endsWith(",[PVTotalGen(KWH)] varchar,Description int)"));
    const BoundStatement none = thread->analogInsertSql(2, "0", at(2026, 1, 15, 10, 5));
    QVERIFY(none.sql.isEmpty());
    QVERIFY(none.values.isEmpty());
    const BoundStatement ups = thread->analogInsertSql(1, "0", at(2026, 1, 15, 10, 5));
    QCOMPARE(ups.values.size(), 33);
    QCOMPARE(ups.sql.count(QLatin1Char('?')), 33);
}

void TestSnapshot::phaseTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("formatted");
    QTest::newRow("one value") << "219.74" << 1 << "219.7";
    QTest::newRow("three phases") << "219.74/219.9/220" << 1 << "219.7/219.9/220.0";
    QTest::newRow("two decimals") << "1/2.345/3" << 2 << "1.00/2.35/3.00";
    QTest::newRow("placeholder") << "0.0/0.0/0.0" << 1 << "0.0/0.0/0.0";
    QTest::newRow("a phase not a number") << "219.7//x" << 1 << "219.7/0.0/0.0";
    QTest::newRow("empty") << "" << 2 << "0.00";
    QTest::newRow("not a number") << "--" << 1 << "0.0";
}

void TestSnapshot::phaseTexts()
{
    QFETCH(QString, text);
    QFETCH(int, decimals);
    QFETCH(QString, formatted);
    QCOMPARE(formatPhases(text, decimals), formatted);
}

QTEST_GUILESS_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
