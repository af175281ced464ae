// The history file names and table formats, written out literally: they are the format of
// files already in the field. The tables are created in real SQLite files and read back
// through SQLite's own schema.
#include "core/historyfiles.h"
#include "core/paths.h"
#include "dbfixture.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(HistoryFile)
Q_DECLARE_METATYPE(DeviceFamily)
Q_DECLARE_METATYPE(HistoryPeriod)

class TestHistoryFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void filePaths_data();
    void filePaths();
    void periodCheck_data();
    void periodCheck();
    void generationTables_data();
    void generationTables();
    void valueTables_data();
    void valueTables();
};

void TestHistoryFiles::initTestCase()
{
    initAppPaths(QStringLiteral("/data"), QStringLiteral("/app"));
}

void TestHistoryFiles::filePaths_data()
{
    QTest::addColumn<HistoryFile>("file");
    QTest::addColumn<DeviceFamily>("family");
    QTest::addColumn<QString>("expected");
    const auto inv = DeviceFamily::Inverter;
    const auto three = DeviceFamily::ThreePhaseUps;
    const auto single = DeviceFamily::SinglePhaseUps;
    QTest::addRow("day inverter") << HistoryFile::DayGen << inv << "/app/daygendb/zq700_4000kxdaygen20261208.db";
    QTest::addRow("day three") << HistoryFile::DayGen << three << "/app/daygendb/threeUPSdaygen20261208.db";
    QTest::addRow("day single") << HistoryFile::DayGen << single << "/app/daygendb/singleUPSdaygen20261208.db";
    QTest::addRow("month inverter") << HistoryFile::MonthGen << inv << "/app/monthgendb/zq700_4000kxmonthgen202612.db";
    QTest::addRow("month three") << HistoryFile::MonthGen << three << "/app/monthgendb/threeUPSmonthgen202612.db";
    QTest::addRow("month single") << HistoryFile::MonthGen << single << "/app/monthgendb/singleUPSmonthgen202612.db";
    QTest::addRow("year inverter") << HistoryFile::YearGen << inv << "/app/yeargendb/zq700_4000kxyeargen2026.db";
    QTest::addRow("year three") << HistoryFile::YearGen << three << "/app/yeargendb/threeUPSyeargen2026.db";
    QTest::addRow("year single") << HistoryFile::YearGen << single << "/app/yeargendb/singleUPSyeargen2026.db";
    QTest::addRow("total inverter") << HistoryFile::TotalGen << inv << "/app/totalgendb/zq700_4000kxtotalgen.db";
    QTest::addRow("total three") << HistoryFile::TotalGen << three << "/app/totalgendb/threeUPStotalgen.db";
    QTest::addRow("total single") << HistoryFile::TotalGen << single << "/app/totalgendb/singleUPStotalgen.db";
    QTest::addRow("lifetime counter") << HistoryFile::TotalGenByDay << inv
                                      << "/app/totalgendb/zq700_4000kxtotalgen20261208.db";
    QTest::addRow("lifetime counter, any family") << HistoryFile::TotalGenByDay << three
                                                  << "/app/totalgendb/zq700_4000kxtotalgen20261208.db";
    QTest::addRow("day energy") << HistoryFile::DayEnergy << inv << "/app/totalgendb/zq700_4000kxdaygen20261208.db";
    QTest::addRow("analog inverter") << HistoryFile::AnalogData << inv
                                     << "/app/analogdb/ZQ700_4000KXAnalogData20261208.db";
    QTest::addRow("analog three") << HistoryFile::AnalogData << three << "/app/analogdb/ThreeUPSAnalogData20261208.db";
    QTest::addRow("analog single") << HistoryFile::AnalogData << single
                                   << "/app/analogdb/SingleUPSAnalogData20261208.db";
    QTest::addRow("events inverter") << HistoryFile::EventLog << inv << "/app/alarmdb/ZQ700_4000KXEventLog202612.db";
    QTest::addRow("events three") << HistoryFile::EventLog << three << "/app/alarmdb/ThreeUPSEventLog202612.db";
    QTest::addRow("events single") << HistoryFile::EventLog << single << "/app/alarmdb/SingleUPSEventLog202612.db";
    QTest::addRow("sms log") << HistoryFile::SmsLog << inv << "/app/smsdatadb/sms_log_s202612.db";
}

void TestHistoryFiles::filePaths()
{
    QFETCH(HistoryFile, file);
    QFETCH(DeviceFamily, family);
    QFETCH(QString, expected);
    QCOMPARE(historyFilePath(file, family, QDate(2026, 12, 8)), expected);
    // The same name from the period text a request carries.
    QCOMPARE(historyFilePath(file, family, periodText(historyPeriod(file), QDate(2026, 12, 8))), expected);
}

void TestHistoryFiles::periodCheck_data()
{
    QTest::addColumn<HistoryPeriod>("period");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addRow("day") << HistoryPeriod::Day << "20261208" << true;
    QTest::addRow("month") << HistoryPeriod::Month << "202612" << true;
    QTest::addRow("year") << HistoryPeriod::Year << "2026" << true;
    QTest::addRow("total takes none") << HistoryPeriod::None << "" << true;
    QTest::addRow("total with text") << HistoryPeriod::None << "2026" << false;
    QTest::addRow("month on a day") << HistoryPeriod::Day << "202612" << false;
    QTest::addRow("day on a month") << HistoryPeriod::Month << "20261208" << false;
    QTest::addRow("empty") << HistoryPeriod::Month << "" << false;
    QTest::addRow("parent folder") << HistoryPeriod::Day << "../../x" << false;
    QTest::addRow("slash") << HistoryPeriod::Year << "20/6" << false;
    QTest::addRow("dashes") << HistoryPeriod::Day << "2026-12-" << false;
    QTest::addRow("letters") << HistoryPeriod::Year << "2o26" << false;
    QTest::addRow("blank") << HistoryPeriod::Year << "2026 " << false;
    QTest::addRow("full-width digits") << HistoryPeriod::Year << QString::fromUtf8("２０２６") << false;
    QTest::addRow("arabic-indic digits") << HistoryPeriod::Year << QString::fromUtf8("٢٠٢٦") << false;
    QTest::addRow("sign") << HistoryPeriod::Year << "-202" << false;
}

void TestHistoryFiles::periodCheck()
{
    QFETCH(HistoryPeriod, period);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(isPeriodText(period, text), accepted);
}

void TestHistoryFiles::generationTables_data()
{
    QTest::addColumn<HistoryFile>("file");
    QTest::addColumn<DeviceFamily>("family");
    QTest::addColumn<QString>("create");
    QTest::addColumn<QString>("deleteSql");
    const auto inv = DeviceFamily::Inverter;
    const auto ups = DeviceFamily::SinglePhaseUps;
    QTest::addRow("day inverter") << HistoryFile::DayGen << inv
                                  << "create table daygen(num varchar, date varchar,power varchar)" << "";
    QTest::addRow("day ups") << HistoryFile::DayGen << ups << "create table daygen(Num varchar,Date varchar,Power varchar)"
                             << "";
    QTest::addRow("month inverter") << HistoryFile::MonthGen << inv
                                    << "create table monthgen(num varchar, Date varchar,Gen varchar)"
                                    << "delete from monthgen where Date=?";
    QTest::addRow("month ups") << HistoryFile::MonthGen << DeviceFamily::ThreePhaseUps
                               << "create table monthgen(Num varchar,Date varchar,Gen varchar)"
                               << "delete from monthgen where Date=?";
    QTest::addRow("year inverter") << HistoryFile::YearGen << inv
                                   << "create table yeargen(num varchar, Date varchar,Gen varchar)"
                                   << "delete from yeargen where Date=?";
    QTest::addRow("year ups") << HistoryFile::YearGen << ups << "create table yeargen(Num varchar,Date varchar,Gen varchar)"
                              << "delete from yeargen where Date=?";
    QTest::addRow("total") << HistoryFile::TotalGen << ups << "create table totalgen(Date varchar,Gen varchar)"
                           << "delete from totalgen where Date=?";
    QTest::addRow("lifetime counter") << HistoryFile::TotalGenByDay << inv
                                      << "create table totalgenbyday(Date varchar,totalgen varchar)" << "";
    QTest::addRow("day energy") << HistoryFile::DayEnergy << inv << "create table daygen(date varchar,daygen varchar)"
                                << "";
    QTest::addRow("sms log") << HistoryFile::SmsLog << ups
                             << "create table smslog(DateTime varchar,user varchar,event varchar,flag varchar)" << "";
}

void TestHistoryFiles::generationTables()
{
    QFETCH(HistoryFile, file);
    QFETCH(DeviceFamily, family);
    QFETCH(QString, create);
    QFETCH(QString, deleteSql);
    QCOMPARE(historyCreateSql(file, family), create);
    QCOMPARE(historyDeleteSql(file), deleteSql);
    // The insert has one placeholder per column of the created table.
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("t.db"));
    QStringList values;
    for (int i = 0; i < historyColumnCount(file, family); ++i)
        values << QStringLiteral("'v%1'").arg(i);
    QString insert = historyInsertSql(file, family);
    for (const QString &v : values)
        insert.replace(insert.indexOf(QLatin1Char('?')), 1, v);
    QVERIFY(runRawStatements(db, {create, insert}));
    QCOMPARE(readRawRows(db, QStringLiteral("select * from ") + historyTableName(file)), QList<QStringList>{
        [&] {
            QStringList row;
            for (const QString &v : values)
                row << v.mid(1, v.size() - 2);
            return row;
        }()});
}

void TestHistoryFiles::valueTables_data()
{
    QTest::addColumn<HistoryFile>("file");
    QTest::addColumn<DeviceFamily>("family");
    QTest::addColumn<QString>("columns"); // name:type of every column, as SQLite reports them
    const QString ups =
        "DateTime:varchar,BatteryDischageTime(M):varchar,BatteryRemainTime(M):varchar,BatteryRemmainCap(%):varchar,"
        "BatteryVolt(V):varchar,BatteryCurr(A):varchar,BatteryTemp(C):varchar,InputPowerFac:varchar,%1:varchar,"
        "InputFreq(HZ):varchar,InputVolt(V):varchar,InputCurr(A):varchar,InputActPower(KW):varchar,"
        "InputAppPower(KVA):varchar,InputWattPower(KVar):varchar,OutputFrq(HZ):varchar,OutputPowerFac:varchar,"
        "OutputGen(KWH):varchar,OutputVolt(V):varchar,OutputCurr(A):varchar,OutputActivePower(KW):varchar,"
        "%2:varchar,OutputWattPower(KVar):varchar,OutputLoadPercent(%):varchar,BypassFreq(HZ):varchar,"
        "BypassVol(V):varchar,BypassCurr(A):varchar,BypassActPower(KW):varchar,PVVolt(V):varchar,%3:varchar,"
        "PVPower(KW):varchar,PVDayGen(KWH):varchar,PVTotalGen(KWH):varchar";
    QTest::addRow("analog three") << HistoryFile::AnalogData << DeviceFamily::ThreePhaseUps
                                  << ups.arg("InputGenC(KWH)", "OutputAppPower(VA)", "PVCurr(A)");
    QTest::addRow("analog single") << HistoryFile::AnalogData << DeviceFamily::SinglePhaseUps
                                   << ups.arg("InputGenC(KWH)", "OutputAppPower(VA)", "PVCurr(A)");
    QTest::addRow("events ups") << HistoryFile::EventLog << DeviceFamily::ThreePhaseUps
                                << ups.arg("InputGenC(KW)", "OutputAppPower(KVA)", "PVCurr") + ",Description:INT";
    QTest::addRow("analog inverter")
        << HistoryFile::AnalogData << DeviceFamily::Inverter
        << "DateTime:varchar,Inputvolt(V) varchar:,Inputfreq(Hz) varchar:,Bypvolt(V) varchar:,Bypfreq(Hz) varchar:,"
           "Outputvolt(V) varchar:,Outputfreq(Hz) varchar:,Outputapparentpower(W) varchar:,"
           "Outputapparantpower(W) varchar:,Outputloadpercent(%) varchar:,Outputfactor varchar:,"
           "Innertemperature(C) varchar:,Battvolt(V) varchar:,Remaincapacity(%) varchar:,PVvolt(V) varchar:,"
           "PVpower(W) varchar:,PVdaygen(KWH) varchar:,PVmonthgen(KWH) varchar:";
    QTest::addRow("events inverter")
        << HistoryFile::EventLog << DeviceFamily::Inverter
        << "DateTime:varchar,Inputvolt(V):varchar,Inputfreq(Hz):varchar,Bypvolt(V):varchar,Bypfreq(Hz):varchar,"
           "Outputvolt(V):varchar,Outputfreq(Hz):varchar,Outputactivepower(W):varchar,Outputapparantpower(W):varchar,"
           "Outputloadpercent(%):varchar,Outputfactor:varchar,Innertemperature(C):varchar,Battvolt(V):varchar,"
           "Remaincapacity(%):varchar,PVvolt(V):varchar,PVpower(W):varchar,PVdaygen(KWH):varchar,"
           "PVtotalgen(KWH):varchar,Description:INT";
}

void TestHistoryFiles::valueTables()
{
    QFETCH(HistoryFile, file);
    QFETCH(DeviceFamily, family);
    QFETCH(QString, columns);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("t.db"));
    QVERIFY(runRawStatements(db, {historyCreateSql(file, family)}));
    QStringList seen;
    for (const QStringList &row :
         readRawRows(db, QStringLiteral("select name,type from pragma_table_info('%1')").arg(historyTableName(file))))
        seen << row.join(QLatin1Char(':'));
    QCOMPARE(seen.join(QLatin1Char(',')), columns);
    QCOMPARE(historyColumnCount(file, family), seen.size());
    if (file == HistoryFile::EventLog)
        QCOMPARE(eventCodeColumn(family), seen.size() - 1);
}

QTEST_GUILESS_MAIN(TestHistoryFiles)
#include "tst_historyfiles.moc"
