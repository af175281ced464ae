// Paths, first-run folders, what each protocol code means and the start-up placeholders.
#include "core/devicestate.h"
#include "core/paths.h"
#include "core/protocolcode.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "core/startup.h"
#include "tests/core/dbfixture.h"
#include "tests/support/testenv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void pathRules_data();
    void pathRules();
    void everyPathField();
    void firstRunCreatesFolders();
    void laterRunLeavesFoldersAlone();
    void startupCreatesNoSettingsFile();
    void historyFolderFollowsWritability_data();
    void historyFolderFollowsWritability();
    void startupLoadsEveryStore();
    void placeholdersByProtocol_data();
    void placeholdersByProtocol();
    void familyByProtocol_data();
    void familyByProtocol();
};

void TestPaths::pathRules_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("dataDir");
    QTest::addRow("windows backslashes") << "C:\\Users\\me\\AppData\\Local" << "C:/Users/me/AppData/Local/Kestrava";
    QTest::addRow("mixed separators") << "D:\\data/share\\x" << "D:/data/share/x/Kestrava";
    QTest::addRow("unix") << "/home/me/.local/share" << "/home/me/.local/share/Kestrava";
}

void TestPaths::pathRules()
{
    QFETCH(QString, location);
    QFETCH(QString, dataDir);
    initAppPaths(location, QStringLiteral("/opt/kestrava"));
    QCOMPARE(appPaths.dataDir, dataDir);
    QVERIFY(!appPaths.dataDir.contains(QLatin1Char('\\')));
    QCOMPARE(appPaths.paramDir, dataDir + "/param");
    QCOMPARE(appPaths.paramIniPath, dataDir + "/param" + "/param.ini");
}

void TestPaths::everyPathField()
{
    initAppPaths(QStringLiteral("/u/share"), QStringLiteral("/opt/k"));
    const AppPaths &p = appPaths;
    QCOMPARE(p.paramIniPath, QStringLiteral("/u/share/Kestrava/param/param.ini"));
    QCOMPARE(p.dataDir, QStringLiteral("/u/share/Kestrava"));
    QCOMPARE(p.smtpRecDbPath, QStringLiteral("/u/share/Kestrava/param/smtprec.db"));
    QCOMPARE(p.smsRecDbPath, QStringLiteral("/u/share/Kestrava/param/smsrec.db"));
    QCOMPARE(p.scheduleDbPath, QStringLiteral("/u/share/Kestrava/param/schedule.db"));
    QCOMPARE(p.paramDir, QStringLiteral("/u/share/Kestrava/param"));
    QCOMPARE(p.alarmDbDir, QStringLiteral("/opt/k/alarmdb"));
    QCOMPARE(p.analogDbDir, QStringLiteral("/opt/k/analogdb"));
    QCOMPARE(p.smsDbDir, QStringLiteral("/opt/k/smsdatadb"));
    QCOMPARE(p.dayGenDbDir, QStringLiteral("/opt/k/daygendb"));
    QCOMPARE(p.monthGenDbDir, QStringLiteral("/opt/k/monthgendb"));
    QCOMPARE(p.yearGenDbDir, QStringLiteral("/opt/k/yeargendb"));
    QCOMPARE(p.totalGenDbDir, QStringLiteral("/opt/k/totalgendb"));
    QCOMPARE(p.appDir, QStringLiteral("/opt/k"));
}

void TestPaths::firstRunCreatesFolders()
{
    TestEnv env(QDateTime(QDate(2026, 1, 15), QTime(12, 0)), false);
    QVERIFY(!QDir(appPaths.dataDir).exists());
    createAppFolders();
    for (const QString &dir : {appPaths.dataDir, appPaths.paramDir, appPaths.analogDbDir, appPaths.dayGenDbDir,
                               appPaths.monthGenDbDir, appPaths.yearGenDbDir, appPaths.totalGenDbDir,
                               appPaths.alarmDbDir, appPaths.smsDbDir})
        QVERIFY2(QDir(dir).exists(), qPrintable(dir));
    QCOMPARE(QDir(appPaths.paramDir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestPaths::laterRunLeavesFoldersAlone()
{
    TestEnv env;
    const QString kept = appPaths.alarmDbDir + "/202601alarm.db";
    {
        QFile f(kept);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("history");
    }
    createAppFolders();
    QFile f(kept);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("history"));
}

void TestPaths::startupCreatesNoSettingsFile()
{
    TestEnv env(QDateTime(QDate(2026, 1, 15), QTime(12, 0)), false);
    settingsValid = true;
    runStartup(env.dataLocation(), env.appDir());
    QVERIFY(!settingsValid);
    QVERIFY(QDir(appPaths.smsDbDir).exists());
    QCOMPARE(QDir(appPaths.paramDir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QCOMPARE(deviceSettings.comProtocol, QStringLiteral("0"));
}

void TestPaths::historyFolderFollowsWritability_data()
{
    QTest::addColumn<bool>("programFolderWritable");
    QTest::addRow("program folder writable: history beside the program") << true;
    // /proc refuses every new file, even root's, as an installed program's folder would.
    QTest::addRow("installed program: history in the data folder") << false;
}

void TestPaths::historyFolderFollowsWritability()
{
    QFETCH(bool, programFolderWritable);
    TestEnv env(QDateTime(QDate(2026, 1, 15), QTime(12, 0)), false);
    const QString programFolder = programFolderWritable ? env.appDir() : QStringLiteral("/proc");
    QCOMPARE(folderIsWritable(programFolder), programFolderWritable);
    runStartup(env.dataLocation(), programFolder);
    const QString root = programFolderWritable ? env.appDir() : appPaths.dataDir;
    const QStringList names{"analogdb", "alarmdb", "daygendb", "monthgendb", "yeargendb", "totalgendb", "smsdatadb"};
    const QStringList folders{appPaths.analogDbDir,   appPaths.alarmDbDir,    appPaths.dayGenDbDir,
                              appPaths.monthGenDbDir, appPaths.yearGenDbDir, appPaths.totalGenDbDir,
                              appPaths.smsDbDir};
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(folders.at(i), root + QLatin1Char('/') + names.at(i));
        QVERIFY2(QDir(folders.at(i)).exists(), qPrintable(folders.at(i)));
    }
    // The probe leaves nothing behind.
    QCOMPARE(QDir(env.appDir()).entryList(QDir::Hidden | QDir::Files), QStringList());
}

void TestPaths::startupLoadsEveryStore()
{
    // 2026-01-15 12:00: the stored self-test and schedule times lie in the past.
    TestEnv env;
    env.writeParamIni(QStringLiteral("lang=0\nmsg_boudrate=7\ncomProtocol=3\ntestInterval=1\n"
                                     "strNextTestTime=2026-01-14 08:00\nserverHostPort=465\nsmsFlag=1\n"));
    QVERIFY(runRawStatements(appPaths.smtpRecDbPath, {"create table emailrec(recipient varchar,eventflag varchar)",
                                                      "insert into emailrec values('a@example.org','3')"}));
    QVERIFY(runRawStatements(appPaths.smsRecDbPath, {"create table smsrec(recnumber varchar,eventflag varchar)",
                                                     "insert into smsrec values('13800000000','5')"}));
    QVERIFY(runRawStatements(appPaths.scheduleDbPath,
                             {"create table schedtable(tasktime varchar,taskfreq varchar,tasktype varchar,"
                              "tasksettime varchar)",
                              "insert into schedtable values('2026-01-14 22:00','1','shutdown','22:00')"}));
    runStartup(env.dataLocation(), env.appDir());
    QCOMPARE(systemSettings.lang, QStringLiteral("0"));
    QCOMPARE(systemSettings.msg_boudrate, QStringLiteral("7"));
    QCOMPARE(deviceSettings.comProtocol, QStringLiteral("3"));
    QCOMPARE(deviceSettings.strNextTestTime, QStringLiteral("2026-01-21 08:00"));
    QCOMPARE(emailSettings.serverHostPort, QStringLiteral("465"));
    QCOMPARE(emailSettings.mailRecipients, QStringList{"a@example.org"});
    QCOMPARE(emailSettings.mailEventFlags, QStringList{"3"});
    QCOMPARE(smsSettings.smsFlag, QStringLiteral("1"));
    QCOMPARE(smsSettings.smsPhones, QStringList{"13800000000"});
    QCOMPARE(scheduleList.size(), 1);
    QCOMPARE(scheduleList.first().tasktime, QStringLiteral("2026-01-15 22:00"));
    QCOMPARE(nextShutdownTime, QStringLiteral("2026-01-15 22:00"));
    QReadLocker l(&upsInfo.lock);
    QCOMPARE(upsInfo.values[InputVolt], QStringLiteral("0.0"));
}

void TestPaths::placeholdersByProtocol_data()
{
    QTest::addColumn<QString>("iniLines");
    QTest::addColumn<bool>("threePhase");
    QTest::addRow("no key") << "" << true;
    QTest::addRow("0") << "comProtocol=0" << true;
    QTest::addRow("1") << "comProtocol=1" << false;
    QTest::addRow("2") << "comProtocol=2" << false;
    QTest::addRow("3") << "comProtocol=3" << false;
    QTest::addRow("4") << "comProtocol=4" << false;
    QTest::addRow("empty") << "comProtocol=" << false;
    QTest::addRow("other") << "comProtocol=00" << false;
}

void TestPaths::placeholdersByProtocol()
{
    QFETCH(QString, iniLines);
    QFETCH(bool, threePhase);
    TestEnv env;
    env.writeParamIni(iniLines);
    {
        // Leftovers of an earlier run of the record must all be replaced.
        QWriteLocker l(&upsInfo.lock);
        upsInfo.statusBits[5] = upsInfo.statusBitsPrev[31] = 1;
        upsInfo.pvInputCount = 4;
        upsInfo.pvPowerSampleCount = 9;
    }
    runStartup(env.dataLocation(), env.appDir());

    const QString phase = threePhase ? QStringLiteral("0.0/0.0/0.0") : QStringLiteral("0.0");
    QReadLocker l(&upsInfo.lock);
    for (int i : {InputFreq, InputVolt, InputCurr, InputActPower, InputAppPower, InputWattPower, OutputVolt,
                  OutputCurr, OutputActivePower, OutputAppPower, OutputWattPower, OutputLoadPercent, BypassVol,
                  BypassCurr, BypassActPower})
        QCOMPARE(upsInfo.values[i], phase);
    for (int i : {BatteryDischageTime, BatteryRemainTime, BatteryRemmainCap, BatteryVolt, BatteryCurr, BatteryTemp,
                  InputPowerFac, InputGenC, OutputFrq, OutputPowerFac, OutputGen, BypassFreq, PVVolt, PVCurr,
                  PVPower, PVDayGen, PVTotalGen})
        QCOMPARE(upsInfo.values[i], QStringLiteral("0"));
    QCOMPARE(upsInfo.sysTemp, QStringLiteral("0"));
    QCOMPARE(upsInfo.workMode, QStringLiteral("-1"));
    QCOMPARE(upsInfo.batMode, QStringLiteral("-1"));
    QCOMPARE(upsInfo.pvTotalGenScaled, QStringLiteral("0"));
    QCOMPARE(upsInfo.deviceTime, QString());
    QCOMPARE(upsInfo.pvMode, QString());
    QCOMPARE(upsInfo.deviceName, QString());
    QCOMPARE(upsInfo.statusBits[5], uint8_t(0));
    QCOMPARE(upsInfo.statusBitsPrev[31], uint8_t(0));
    QCOMPARE(upsInfo.pvInputCount, uint8_t(0));
    QCOMPARE(upsInfo.pvPowerSampleCount, 0);
    QCOMPARE(upsInfo.commState.load(), int(CommConnecting));
    for (int i = 0; i < ThreePhaseUPSInfo::kPvInputRows; ++i) {
        const UnitRecord &r = upsInfo.pvInputTable[i];
        QCOMPARE(r.inputNo, QString::number(i + 1));
        for (const QString &v : {r.voltage, r.current, r.fault, r.dayGen, r.totalGen})
            QCOMPARE(v, QStringLiteral("0"));
    }
}

void TestPaths::familyByProtocol_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("dayStem");
    QTest::addColumn<QString>("totalStem");
    QTest::addColumn<int>("transport");
    QTest::addColumn<QString>("pageFamily");
    const int inv = int(DeviceFamily::Inverter), three = int(DeviceFamily::ThreePhaseUps),
              single = int(DeviceFamily::SinglePhaseUps);
    const int serial = int(DeviceTransport::Serial), hid = int(DeviceTransport::Hid);
    QTest::addRow("3") << "3" << inv << "zq700_4000kxdaygen" << "zq700_4000kxtotalgen" << serial << "2";
    QTest::addRow("4") << "4" << inv << "zq700_4000kxdaygen" << "zq700_4000kxtotalgen" << hid << "2";
    QTest::addRow("0") << "0" << three << "threeUPSdaygen" << "threeUPStotalgen" << serial << "0";
    QTest::addRow("1") << "1" << single << "singleUPSdaygen" << "singleUPStotalgen" << serial << "1";
    QTest::addRow("2") << "2" << single << "singleUPSdaygen" << "singleUPStotalgen" << hid << "1";
    QTest::addRow("empty") << "" << single << "singleUPSdaygen" << "singleUPStotalgen" << hid << "";
    QTest::addRow("34") << "34" << single << "singleUPSdaygen" << "singleUPStotalgen" << hid << "34";
}

void TestPaths::familyByProtocol()
{
    QFETCH(QString, code);
    QFETCH(int, family);
    QFETCH(QString, dayStem);
    QFETCH(QString, totalStem);
    QFETCH(int, transport);
    QFETCH(QString, pageFamily);
    assignGenTableNames();
    QCOMPARE(int(deviceFamily(code)), family);
    QCOMPARE(int(deviceTransport(code)), transport);
    QCOMPARE(familyOfProtocol(code), pageFamily);
    QCOMPARE(genTablesFor(code).day, dayStem);
    QCOMPARE(genTablesFor(code).total, totalStem);
    QCOMPARE(inverterGenTables.month, QStringLiteral("zq700_4000kxmonthgen"));
    QCOMPARE(threeUpsGenTables.year, QStringLiteral("threeUPSyeargen"));
    QCOMPARE(singleUpsGenTables.month, QStringLiteral("singleUPSmonthgen"));
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
