// The four settings loaders against real "param.ini" files and recipient databases.
#include "core/clock.h"
#include "core/helpers.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "core/sqlutil.h"
#include "tests/core/dbfixture.h"
#include "tests/core/gapzone.h"
#include "tests/support/fullfolder.h"
#include "tests/support/sqlitelock.h"
#include "tests/support/testenv.h"

#include <QDir>
#include <QScopeGuard>
#include <QSettings>
#include <QtTest>

#include <optional>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void defaultsWithoutFiles();
    void valuesFromParamIni();
    void numbersThatDoNotConvert_data();
    void numbersThatDoNotConvert();
    void unquotedCommaValue();
    void corruptParamIni_data();
    void corruptParamIni();
    void streamValuesSetAside_data();
    void streamValuesSetAside();
    void writeFailureIsReported();
    void failedSaveKeepsTheFile_data();
    void failedSaveKeepsTheFile();
    void passwordStoredScrambled_data();
    void passwordStoredScrambled();
    void recipientsFromDatabase();
    void recipientsSurviveSaveAndLoad_data();
    void recipientsSurviveSaveAndLoad();
    void badRecipientDatabase_data();
    void badRecipientDatabase();
    void recipientsBusyAtStart_data();
    void recipientsBusyAtStart();
    void selfTestCatchUp_data();
    void selfTestCatchUp();
    void portCodes_data();
    void portCodes();
    void portsClash_data();
    void portsClash();
};

void TestSettings::initTestCase()
{
    verifyGapZone();
}

void TestSettings::defaultsWithoutFiles()
{
    TestEnv env;
    loadAllSettings();
    const SystemSettings &s = systemSettings;
    QCOMPARE(preAlarm, QString());
    QCOMPARE(s.lang, QStringLiteral("1"));
    QCOMPARE(QStringList({s.dev_boudrate, s.dev_databit, s.dev_checkbit, s.dev_stopbit}),
             QStringList({"2", "3", "1", "1"}));
    QCOMPARE(QStringList({s.msg_boudrate, s.msg_databit, s.msg_checkbit, s.msg_stopbit}),
             QStringList({"4", "3", "1", "1"}));
    const DeviceSettings &d = deviceSettings;
    QCOMPARE(QStringList({d.comProtocol, d.comType, d.comAddr, d.inverterSelectName}),
             QStringList({"0", "0", "1", "None"}));
    QCOMPARE(QStringList({d.testInterval, d.testTimePerWeek, d.selftestTime, d.selftestType}),
             QStringList({"0", "0", "08:00", "0"}));
    QCOMPARE(d.depthDischarge, 1.85);
    QCOMPARE(QStringList({d.manBypassSwitch, d.countdownOffITime, d.delayStartITime, d.longctlSelected,
                          d.strNextTestTime}),
             QStringList({"0", "10", "10", "", ""}));
    const EmailSettings &e = emailSettings;
    QCOMPARE(e.serverHostaddr, QLatin1String(kDefaultServerHostaddr));
    QCOMPARE(QStringList({e.serverHostPort, e.senderAddr, e.serverAuthFlag, e.senderAccount, e.senderPassword,
                          e.sslFlag}),
             QStringList({"25", "", "1", "", "", "1"}));
    QCOMPARE(QStringList({e.genRDFlag, e.genRDay, e.genRMFlag, e.genRMonth, e.genRYFlag, e.genRYear}),
             QStringList({"0", "", "0", "", "0", ""}));
    QVERIFY(e.mailRecipients.isEmpty() && e.mailEventFlags.isEmpty());
    const SmsSettings &m = smsSettings;
    QCOMPARE(m.smsFlag, QStringLiteral("0"));
    QCOMPARE(m.SMSSelectName, QStringLiteral("None"));
    QCOMPARE(m.connect, 0);
    QVERIFY(m.smsPhones.isEmpty() && m.smsEventFlags.isEmpty());
    // Reading creates nothing: no "param.ini", no database file.
    QCOMPARE(QDir(appPaths.paramDir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestSettings::valuesFromParamIni()
{
    TestEnv env;
    env.writeParamIni(QStringLiteral(
        "preAlarm=5\nlang=0\ndev_boudrate=4\ndev_databit=2\ndev_checkbit=3\ndev_stopbit=2\n"
        "msg_boudrate=7\nmsg_databit=1\nmsg_checkbit=2\nmsg_stopbit=2\n"
        "comProtocol=3\ncomType=1\ncomAddr=7\ninverterSelectName=ttyUSB0\ntestInterval=2\n"
        "testTimePerWeek=3\nselftestTime=21:30\nselftestType=1\ndepthDischarge=0.42\nmanBypassSwitch=1\n"
        "countdownOffITime=30\ndelayStartITime=45\nlongctlSelected=delayOnInverter\n"
        "strNextTestTime=2026-02-01 21:30\n"
        "serverHostaddr=mail.example.org\nserverHostPort=587\nsenderAddr=ups@example.org\n"
        "serverAuthFlag=0\nsenderAccount=ups\nsslFlag=0\ngenRDFlag=1\ngenRDay=23:00\n"
        "genRMFlag=1\ngenRMonth=01 06:00\ngenRYFlag=1\ngenRYear=01/02 07:00\n"
        "smsFlag=1\nSMSSelectName=ttyS1\nconnect=3"));
    const QStringList before = folderSnapshot(appPaths.paramDir);
    loadAllSettings();
    QCOMPARE(preAlarm, QStringLiteral("5"));
    QCOMPARE(systemSettings.lang, QStringLiteral("0"));
    QCOMPARE(systemSettings.dev_stopbit, QStringLiteral("2"));
    QCOMPARE(systemSettings.msg_boudrate, QStringLiteral("7"));
    QCOMPARE(systemSettings.msg_databit, QStringLiteral("1"));
    QCOMPARE(deviceSettings.comProtocol, QStringLiteral("3"));
    QCOMPARE(deviceSettings.comAddr, QStringLiteral("7"));
    QCOMPARE(deviceSettings.inverterSelectName, QStringLiteral("ttyUSB0"));
    QCOMPARE(deviceSettings.selftestTime, QStringLiteral("21:30"));
    QCOMPARE(deviceSettings.depthDischarge, 0.42);
    QCOMPARE(deviceSettings.delayStartITime, QStringLiteral("45"));
    QCOMPARE(deviceSettings.longctlSelected, QStringLiteral("delayOnInverter"));
    QCOMPARE(deviceSettings.strNextTestTime, QStringLiteral("2026-02-01 21:30"));
    QCOMPARE(emailSettings.serverHostaddr, QStringLiteral("mail.example.org"));
    QCOMPARE(emailSettings.serverHostPort, QStringLiteral("587"));
    QCOMPARE(emailSettings.serverAuthFlag, QStringLiteral("0"));
    QCOMPARE(emailSettings.genRMonth, QStringLiteral("01 06:00"));
    QCOMPARE(emailSettings.genRYear, QStringLiteral("01/02 07:00"));
    QCOMPARE(smsSettings.smsFlag, QStringLiteral("1"));
    QCOMPARE(smsSettings.SMSSelectName, QStringLiteral("ttyS1"));
    QCOMPARE(smsSettings.connect, 3);
    // Every other member from its own key: the loaders read the key tables, and a row
    // that names the wrong member shows here.
    const SystemSettings &s = systemSettings;
    QCOMPARE(QStringList({s.dev_boudrate, s.dev_databit, s.dev_checkbit, s.msg_checkbit, s.msg_stopbit}),
             QStringList({"4", "2", "3", "2", "2"}));
    const DeviceSettings &d = deviceSettings;
    QCOMPARE(QStringList({d.comType, d.testInterval, d.testTimePerWeek, d.selftestType, d.manBypassSwitch,
                          d.countdownOffITime}),
             QStringList({"1", "2", "3", "1", "1", "30"}));
    const EmailSettings &e = emailSettings;
    QCOMPARE(QStringList({e.senderAddr, e.senderAccount, e.sslFlag, e.genRDFlag, e.genRDay, e.genRMFlag,
                          e.genRYFlag}),
             QStringList({"ups@example.org", "ups", "0", "1", "23:00", "1", "1"}));
    QCOMPARE(folderSnapshot(appPaths.paramDir), before);
}

void TestSettings::numbersThatDoNotConvert_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<double>("depth");
    QTest::addColumn<int>("connect");
    QTest::addColumn<QString>("delay");
    QTest::addRow("letters") << "depthDischarge=abc\nconnect=x\ndelayStartITime=abc" << 0.0 << 0 << "abc";
    QTest::addRow("empty") << "depthDischarge=\nconnect=\ndelayStartITime=" << 0.0 << 0 << "";
    QTest::addRow("decimal comma") << "depthDischarge=\"1,5\"\nconnect=2.5" << 0.0 << 0 << "10";
}

void TestSettings::numbersThatDoNotConvert()
{
    QFETCH(QString, lines);
    QFETCH(double, depth);
    QFETCH(int, connect);
    QFETCH(QString, delay);
    TestEnv env;
    env.writeParamIni(lines);
    loadAllSettings();
    QCOMPARE(deviceSettings.depthDischarge, depth);
    QCOMPARE(smsSettings.connect, connect);
    QCOMPARE(deviceSettings.delayStartITime, delay);
}

void TestSettings::unquotedCommaValue()
{
    TestEnv env;
    // A hand edit without quotes: the INI reader splits it into a list.
    env.writeParamIni(QStringLiteral("senderAddr=a@example.org, b@example.org\nselftestTime=\"07:00\""));
    loadEmailSettings();
    loadDeviceSettings();
    QCOMPARE(emailSettings.senderAddr, QStringLiteral("a@example.org, b@example.org"));
    QCOMPARE(deviceSettings.selftestTime, QStringLiteral("07:00"));
    // Read whole, as written: no space added, none taken away.
    env.writeParamIni(QStringLiteral("senderAddr=a@example.org,b@example.org\n[General]\nsenderAccount=x ,y,  z"));
    loadEmailSettings();
    QCOMPARE(emailSettings.senderAddr, QStringLiteral("a@example.org,b@example.org"));
    QCOMPARE(emailSettings.senderAccount, QStringLiteral("x ,y,  z"));
}

void TestSettings::corruptParamIni_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("damaged"); // named in a warning, and copied before a rewrite
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 73 + 11) & 0xFF));
    const QString utf16Text = QStringLiteral("comProtocol=3\nlang=0\n");
    const QByteArray utf16 = QByteArray("\xff\xfe", 2)
        + QByteArray(reinterpret_cast<const char *>(utf16Text.utf16()), utf16Text.size() * 2);
    QTest::addRow("binary") << binary << true;
    QTest::addRow("UTF-16") << utf16 << true;
    QTest::addRow("unterminated group") << QByteArray("[General\ncomProtocol=3\n") << true;
    QTest::addRow("no equals signs") << QByteArray("comProtocol\nlang\n\n") << true;
    QTest::addRow("other group only") << QByteArray("[Other]\ncomProtocol=3\nlang=0\n") << false;
    QTest::addRow("empty") << QByteArray() << false;
    QTest::addRow("nul bytes") << QByteArray("comProtocol=3") + QByteArray(3, '\0') + QByteArray("lang=0") << true;
}

void TestSettings::corruptParamIni()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, damaged);
    TestEnv env;
    writeFile(appPaths.paramIniPath, content);
    const QStringList before = folderSnapshot(appPaths.paramDir);
    if (damaged)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("param.ini\" is damaged")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("damaged|cannot write")));
    loadAllSettings();
    // Whatever a damaged file yields, every loader ends and the record is usable.
    QVERIFY(!deviceSettings.selftestTime.isNull());
    QVERIFY(!systemSettings.dev_boudrate.isEmpty());
    QCOMPARE(emailSettings.serverHostPort, QStringLiteral("25"));
    QCOMPARE(folderSnapshot(appPaths.paramDir), before);

    // The first save keeps the damaged file beside the new one; later saves leave the copy.
    const QString copy = appPaths.paramIniPath + QLatin1String(kDamagedCopySuffix);
    writeFile(copy, "an older copy");
    if (damaged)
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("was kept as")));
    QVERIFY(writeParamKeys({{QStringLiteral("lang"), QStringLiteral("0")}}));
    QVERIFY(writeParamKeys({{QStringLiteral("comProtocol"), QStringLiteral("2")}}));
    QFile kept(copy);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), damaged ? content : QByteArray("an older copy"));
    QCOMPARE(QSettings(appPaths.paramIniPath, QSettings::IniFormat).value("comProtocol").toString(),
             QStringLiteral("2"));
}

void TestSettings::streamValuesSetAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("cleaned"); // what is left of "param.ini" for the reader
    QTest::addColumn<bool>("copyBlocked");   // the damaged copy cannot be made
    const QByteArray safe("lang=0\ncomProtocol=3\n");
    // A stream whose list length asks for some 25 GB: the reader ends the program with it.
    const QByteArray crafted = QByteArray::fromBase64(
        "cHRoRP//////////////////////////////////////////////aXNjaGFyZ2U9QFZhcmlhbnQoXDBcMFwwXP8L////"
        "Ov/feDFceDNceGU4KQpjb21QznRlQXJyYXkoNCkKc3RnZT1AVmFyKGU=");
    QTest::addRow("crafted list length") << safe + crafted
                                           << safe + QByteArray("comP\xce" "teArray(4)\nstge=@Var(e") << false;
    QTest::addRow("plain") << "k=@Variant(\\0\\0\\0\\x7f)\n" + safe << safe << false;
    QTest::addRow("date-time") << safe + "k=@DateTime(\\0\\0)\n" << safe << false;
    QTest::addRow("quoted halves") << "k=\"@Var\"\"iant(x)\"\n" + safe << safe << false;
    QTest::addRow("continued line") << "k=@Var\\\r\niant(x)\r\n" + safe << safe << false;
    QTest::addRow("escaped at sign") << safe + "k=\\x40Variant(y)" << safe << false;
    QTest::addRow("escaped letter") << safe + "k=@\\126ariant(y)" << safe << false;
    // A quoted value goes on over its line ends: nothing of such a file is read.
    QTest::addRow("quoted across lines") << safe + "k=\"@Var\niant(x)\"\n" << QByteArray() << false;
    QTest::addRow("copy blocked") << "k=@Variant(\\0)\n" + safe << QByteArray() << true;
}

void TestSettings::streamValuesSetAside()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, cleaned);
    QFETCH(bool, copyBlocked);
    TestEnv env;
    // A file that could not be set aside is left alone for the rest of the run; the next
    // cases start from a readable one.
    const auto readableAgain = qScopeGuard([] {
        QFile::remove(appPaths.paramIniPath);
        checkParamIni();
    });
    writeFile(appPaths.paramIniPath, content);
    const QString copy = appPaths.paramIniPath + QLatin1String(kDamagedCopySuffix);
    if (copyBlocked)
        QVERIFY(QDir().mkpath(copy + QStringLiteral("/entry")));
    else
        writeFile(copy, "an older copy");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is damaged: it holds values")));
    if (copyBlocked)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot set .* aside")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    loadAllSettings();
    QFile file(appPaths.paramIniPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const bool linesKept = cleaned.contains("lang=0");
    QCOMPARE(systemSettings.lang, QLatin1String(linesKept ? "0" : "1"));
    QCOMPARE(deviceSettings.comProtocol, QLatin1String(linesKept ? "3" : "0"));
    QString failure;
    if (copyBlocked) {
        // The file stays as it was, and no save pretends to have gone through it.
        QCOMPARE(file.readAll(), content);
        QVERIFY(!writeParamKeys({{QStringLiteral("lang"), QStringLiteral("1")}}, &failure));
        QVERIFY2(failure.contains(QLatin1String("could not be set aside")), qPrintable(failure));
        return;
    }
    QCOMPARE(file.readAll(), cleaned);
    QFile kept(copy);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), content);
    // The copy is made once: a save later does not replace it with the cleaned file.
    QVERIFY(writeParamKeys({{QStringLiteral("lang"), QStringLiteral("1")}}, &failure));
    QVERIFY(kept.seek(0));
    QCOMPARE(kept.readAll(), content);
}

void TestSettings::writeFailureIsReported()
{
    TestEnv env;
    // A folder where the file should be: no write can succeed (the tests may run as root).
    QVERIFY(QDir().mkpath(appPaths.paramIniPath));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot write")));
    QVERIFY(!writeParamKeys({{QStringLiteral("lang"), QStringLiteral("0")}}));
}

namespace {
enum StoredFile { ParamIniFile, EmailRecipientsFile, SmsRecipientsFile, ScheduleFile };

QString storedPath(StoredFile file)
{
    switch (file) {
    case ParamIniFile:
        return appPaths.paramIniPath;
    case EmailRecipientsFile:
        return appPaths.smtpRecDbPath;
    case SmsRecipientsFile:
        return appPaths.smsRecDbPath;
    case ScheduleFile:
        break;
    }
    return appPaths.scheduleDbPath;
}

// Stores value in file the way its setter does.
bool saveValue(StoredFile file, const QString &value, QString *failure)
{
    switch (file) {
    case ParamIniFile:
        return writeParamKeys({{QStringLiteral("lang"), value}}, failure);
    case EmailRecipientsFile:
        return saveEmailRecipients({value}, {QStringLiteral("1")}, failure);
    case SmsRecipientsFile:
        return saveSmsRecipients({value}, {QStringLiteral("1")}, failure);
    case ScheduleFile:
        break;
    }
    scheduleList = {ScheduleItem{"shutdown", "2030-01-01 08:00", "0", value}};
    return saveSchedule(ScheduleCallerGui, failure);
}

// The value as the start-up loader reads it back from file.
QString loadedValue(StoredFile file)
{
    switch (file) {
    case ParamIniFile:
        loadSystemSettings();
        return systemSettings.lang;
    case EmailRecipientsFile:
        loadEmailSettings();
        return emailSettings.mailRecipients.value(0);
    case SmsRecipientsFile:
        loadSmsSettings();
        return smsSettings.smsPhones.value(0);
    case ScheduleFile:
        break;
    }
    loadSchedule();
    return scheduleList.value(0).tasksettime;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
}

void TestSettings::failedSaveKeepsTheFile_data()
{
    QTest::addColumn<int>("file");
    QTest::addColumn<bool>("fullDisk"); // else a folder stands where the new copy is written
    QTest::addColumn<bool>("heldBefore");
    QTest::addRow("param.ini, disk full") << int(ParamIniFile) << true << true;
    QTest::addRow("smtprec.db, disk full") << int(EmailRecipientsFile) << true << true;
    QTest::addRow("smtprec.db, disk full, first save") << int(EmailRecipientsFile) << true << false;
    QTest::addRow("smsrec.db, disk full") << int(SmsRecipientsFile) << true << true;
    QTest::addRow("schedule.db, disk full") << int(ScheduleFile) << true << true;
    QTest::addRow("schedule.db, disk full, first save") << int(ScheduleFile) << true << false;
    QTest::addRow("schedule.db, copy blocked") << int(ScheduleFile) << false << true;
    QTest::addRow("smsrec.db, copy blocked, first save") << int(SmsRecipientsFile) << false << false;
}

void TestSettings::failedSaveKeepsTheFile()
{
    QFETCH(int, file);
    QFETCH(bool, fullDisk);
    QFETCH(bool, heldBefore);
    const auto stored = StoredFile(file);
    TestEnv env;
    FullFolder folder;
    if (fullDisk && !folder.mount(appPaths.paramDir))
        QSKIP("mounting a small file system is not allowed here");
    const QString path = storedPath(stored);
    QString failure;
    if (heldBefore)
        QVERIFY(saveValue(stored, QStringLiteral("0"), &failure));
    const QByteArray before = fileBytes(path);
    if (fullDisk)
        QVERIFY(folder.fill());
    else
        QVERIFY(QDir().mkpath(replacementPath(path)));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not saved to|cannot write")));
    QVERIFY(!saveValue(stored, QStringLiteral("2"), &failure));
    if (fullDisk)
        QCOMPARE(failure, QStringLiteral("the disk is full"));
    else
        QVERIFY2(failure.contains(QFileInfo(path).fileName()), qPrintable(failure));
    // The old file whole, or still none; no empty file and no half-written copy beside it.
    QCOMPARE(fileBytes(path), before);
    if (fullDisk) {
        const QStringList left = QDir(appPaths.paramDir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(left, (heldBefore ? QStringList{"filler", QFileInfo(path).fileName()} : QStringList{"filler"}));
    }
    // In this process the settings objects keep unsaved "param.ini" keys pending for the
    // next save; a restart reads the file, whose bytes are compared above.
    if (heldBefore && stored != ParamIniFile)
        QCOMPARE(loadedValue(stored), QStringLiteral("0"));

    // With room again, the next save goes through.
    if (fullDisk)
        folder.release();
    else
        QVERIFY(QDir(replacementPath(path)).removeRecursively());
    QVERIFY(saveValue(stored, QStringLiteral("3"), &failure));
    QCOMPARE(loadedValue(stored), QStringLiteral("3"));
}

void TestSettings::passwordStoredScrambled_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("stored"); // as "param.ini" holds it, so that old files keep loading
    QTest::addRow("empty") << "" << "";
    QTest::addRow("plain") << "s3cret" << "|dkq8w";
    QTest::addRow("ini specials") << "a,b;c=d\"e'f#g\\h[i] %" << "(&C~Ka^}0j\"x4k5b\"p'e";
    QTest::addRow("long") << "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ"
                          << "CKRTJ@YUMI{`j|ria}unh~dnw\x7fgovpvlfyqm<%!9=5* :4";
}

void TestSettings::passwordStoredScrambled()
{
    QFETCH(QString, password);
    QFETCH(QString, stored);
    TestEnv env;
    QVERIFY(writeParamKeys({{QStringLiteral("senderPassword"), stored}}));
    QCOMPARE(QSettings(appPaths.paramIniPath, QSettings::IniFormat).value("senderPassword").toString(), stored);
    loadEmailSettings();
    QCOMPARE(emailSettings.senderPassword, password);
    QCOMPARE(scramblePassword(emailSettings.senderPassword, ScrambleEncode), stored);
}

void TestSettings::recipientsFromDatabase()
{
    TestEnv env;
    QVERIFY(runRawStatements(appPaths.smtpRecDbPath,
                             {"create table emailrec(recipient varchar,eventflag varchar)",
                              "insert into emailrec values('a@example.org','1')",
                              "insert into emailrec values('b@example.org','255')",
                              "insert into emailrec values('c@example.org','0')"}));
    QVERIFY(runRawStatements(appPaths.smsRecDbPath,
                             {"create table smsrec(recnumber varchar,eventflag varchar)",
                              "insert into smsrec values('+4912345','3')"}));
    const QStringList before = folderSnapshot(appPaths.paramDir);
    loadEmailSettings();
    loadSmsSettings();
    QCOMPARE(emailSettings.mailRecipients, (QStringList{"a@example.org", "b@example.org", "c@example.org"}));
    QCOMPARE(emailSettings.mailEventFlags, (QStringList{"1", "255", "0"}));
    QCOMPARE(smsSettings.smsPhones, QStringList{"+4912345"});
    QCOMPARE(smsSettings.smsEventFlags, QStringList{"3"});
    QCOMPARE(folderSnapshot(appPaths.paramDir), before);
    QVERIFY(QSqlDatabase::connectionNames().isEmpty());
}

void TestSettings::recipientsSurviveSaveAndLoad_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("masks");
    QTest::addRow("apostrophe") << QStringList{"o'brien@example.org", "x@example.org"} << QStringList{"7", "1'"};
    QTest::addRow("quotes and semicolons") << QStringList{"a\"b'); drop table emailrec; --"} << QStringList{"0"};
    QTest::addRow("none") << QStringList{} << QStringList{};
    QTest::addRow("unicode") << QStringList{"用户@例子.中国"} << QStringList{"65535"};
}

void TestSettings::recipientsSurviveSaveAndLoad()
{
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, masks);
    TestEnv env;
    // An earlier, longer list is replaced as a whole.
    QVERIFY(saveEmailRecipients({"old1", "old2", "old3"}, {"1", "2", "3"}));
    QVERIFY(saveEmailRecipients(addresses, masks));
    QVERIFY(saveSmsRecipients(addresses, masks));
    loadEmailSettings();
    loadSmsSettings();
    QCOMPARE(emailSettings.mailRecipients, addresses);
    QCOMPARE(emailSettings.mailEventFlags, masks);
    QCOMPARE(smsSettings.smsPhones, addresses);
    QCOMPARE(smsSettings.smsEventFlags, masks);
    QVERIFY(QSqlDatabase::connectionNames().isEmpty());
}

void TestSettings::badRecipientDatabase_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QByteArray>("rawContent");
    QTest::addRow("not sqlite") << QStringList{} << QByteArray("this is not a database\n");
    QTest::addRow("sqlite header then garbage") << QStringList{} << QByteArray("SQLite format 3") + QByteArray(1, '\0') + QByteArray(200, 'x');
    QTest::addRow("no table") << QStringList{"create table other(a varchar)"} << QByteArray();
    QTest::addRow("one column") << QStringList{"create table emailrec(recipient varchar)",
                                               "insert into emailrec values('a@example.org')",
                                               "create table smsrec(recnumber varchar)",
                                               "insert into smsrec values('123')"}
                                << QByteArray();
    QTest::addRow("no rows") << QStringList{"create table emailrec(recipient varchar,eventflag varchar)",
                                            "create table smsrec(recnumber varchar,eventflag varchar)"}
                             << QByteArray();
}

void TestSettings::badRecipientDatabase()
{
    QFETCH(QStringList, statements);
    QFETCH(QByteArray, rawContent);
    TestEnv env;
    for (const QString &path : {appPaths.smtpRecDbPath, appPaths.smsRecDbPath}) {
        if (statements.isEmpty())
            writeFile(path, rawContent);
        else
            QVERIFY(runRawStatements(path, statements));
    }
    emailSettings.mailRecipients = QStringList{"stale"};
    smsSettings.smsPhones = QStringList{"stale"};
    const QStringList before = folderSnapshot(appPaths.paramDir);
    loadEmailSettings();
    loadSmsSettings();
    QVERIFY(emailSettings.mailRecipients.isEmpty());
    QVERIFY(emailSettings.mailEventFlags.isEmpty());
    QVERIFY(smsSettings.smsPhones.isEmpty());
    QVERIFY(smsSettings.smsEventFlags.isEmpty());
    QCOMPARE(emailSettings.serverHostPort, QStringLiteral("25"));
    QCOMPARE(folderSnapshot(appPaths.paramDir), before);
}

void TestSettings::recipientsBusyAtStart_data()
{
    QTest::addColumn<int>("holdMs");
    QTest::addColumn<bool>("read");
    // The loader waits a few seconds for a file another process holds.
    QTest::addRow("busy for a second") << 1000 << true;
    // Held past both reads' waits, until the test lets go; the waits are short ones here.
    QTest::addRow("busy for longer than the wait") << SqliteLockHolder::kUntilReleased << false;
}

void TestSettings::recipientsBusyAtStart()
{
    QFETCH(int, holdMs);
    QFETCH(bool, read);
    TestEnv env;
    QVERIFY(saveEmailRecipients({"a@example.org", "b@example.org"}, {"1", "2"}));
    QVERIFY(saveSmsRecipients({"+4912345"}, {"3"}));
    SqliteLockHolder holder;
    QVERIFY(holder.start({appPaths.smtpRecDbPath, appPaths.smsRecDbPath}, holdMs));
    std::optional<ShortBusyWait> shortWait;
    if (!read) {
        shortWait.emplace();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("recipients could not be read from .*smtprec.db")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("recipients could not be read from .*smsrec.db")));
    }
    loadEmailSettings();
    loadSmsSettings();
    QCOMPARE(emailSettings.recipientsRead, read);
    QCOMPARE(smsSettings.recipientsRead, read);
    QCOMPARE(emailSettings.mailRecipients, read ? QStringList({"a@example.org", "b@example.org"}) : QStringList());
    QCOMPARE(smsSettings.smsPhones, read ? QStringList{"+4912345"} : QStringList());
    QVERIFY(holder.release());
}

void TestSettings::selfTestCatchUp_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("expected");
    const QString now = QStringLiteral("2026-01-15 12:00");
    QTest::addRow("none stays none") << "1" << "" << now << "";
    QTest::addRow("weekly, 3 weeks 1 day past") << "1" << "2025-12-24 08:00" << now << "2026-01-21 08:00";
    QTest::addRow("fortnightly, 1 day past") << "2" << "2026-01-14 12:00" << now << "2026-01-28 12:00";
    QTest::addRow("equal to now is past") << "1" << "2026-01-15 12:00" << now << "2026-01-22 12:00";
    QTest::addRow("one minute ahead stays") << "1" << "2026-01-15 12:01" << now << "2026-01-15 12:01";
    QTest::addRow("no interval, past") << "0" << "2026-01-01 08:00" << now << "";
    QTest::addRow("no interval, future") << "0" << "2026-02-01 08:00" << now << "2026-02-01 08:00";
    QTest::addRow("unknown interval, past") << "5" << "2026-01-01 08:00" << now << "";
    QTest::addRow("unknown interval, future") << "x" << "2026-02-01 08:00" << now << "2026-02-01 08:00";
    QTest::addRow("far past") << "1" << "1900-01-01 08:00" << now << "2026-01-19 08:00";
    QTest::addRow("garbage") << "1" << "garbage" << now << "";
    QTest::addRow("garbage before now") << "2" << "1999-99-99 99:99" << now << "";
    QTest::addRow("short form") << "1" << "2026-1-5 8:00" << now << "";
    QTest::addRow("seconds") << "1" << "2026-01-10 08:00:00" << now << "";
    // 02:30 does not exist in Berlin on 2025-03-30; the clock time stays for later days.
    QTest::addRow("dst gap, past") << "1" << "2025-03-30 02:30" << "2025-04-01 10:00" << "2025-04-06 02:30";
    QTest::addRow("dst gap, future") << "1" << "2025-03-30 02:30" << "2025-03-29 10:00" << "2025-03-30 02:30";
    QTest::addRow("lands on dst gap") << "1" << "2025-03-23 02:30" << "2025-03-29 10:00" << "2025-03-30 02:30";
    QTest::addRow("dst repeated hour") << "2" << "2025-10-12 02:30" << "2025-10-26 02:30" << "2025-11-09 02:30";
}

void TestSettings::selfTestCatchUp()
{
    QFETCH(QString, interval);
    QFETCH(QString, stored);
    QFETCH(QString, now);
    QFETCH(QString, expected);
    TestEnv env(minute(now));
    QVERIFY(env.clock().now().isValid());
    env.writeParamIni(QStringLiteral("testInterval=%1\nstrNextTestTime=%2").arg(interval, stored));
    const QStringList before = folderSnapshot(appPaths.paramDir);
    loadDeviceSettings();
    QCOMPARE(deviceSettings.strNextTestTime, expected);
    QCOMPARE(catchUpSelfTestTime(stored, interval, now), expected);
    // The key keeps its old value until a writer stores a new one.
    QCOMPARE(folderSnapshot(appPaths.paramDir), before);
}

void TestSettings::portCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("deviceBaud");
    QTest::addColumn<int>("modemBaud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<char>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addRow("1") << "1" << 1200 << 1200 << 6 << 'N' << 1;
    QTest::addRow("2") << "2" << 2400 << 2400 << 7 << 'O' << 2;
    QTest::addRow("3") << "3" << 4800 << 4800 << 8 << 'E' << 1;
    QTest::addRow("4") << "4" << 9600 << 9600 << 8 << 'N' << 1;
    QTest::addRow("6") << "6" << 38400 << 38400 << 8 << 'N' << 1;
    QTest::addRow("7") << "7" << 115200 << 115200 << 8 << 'N' << 1;
    QTest::addRow("empty") << "" << 115200 << 9600 << 8 << 'N' << 1;
    QTest::addRow("0") << "0" << 115200 << 9600 << 8 << 'N' << 1;
    // Both baud codes are texts, as the line codes: what merely reads as the number 5
    // is no code, and each port opens at its fallback rate.
    QTest::addRow("5") << "5" << 19200 << 19200 << 8 << 'N' << 1;
    QTest::addRow("leading zero") << "05" << 115200 << 9600 << 8 << 'N' << 1;
    QTest::addRow("plus sign") << "+5" << 115200 << 9600 << 8 << 'N' << 1;
    QTest::addRow("blank before") << " 5" << 115200 << 9600 << 8 << 'N' << 1;
}

void TestSettings::portCodes()
{
    QFETCH(QString, code);
    QFETCH(int, deviceBaud);
    QFETCH(int, modemBaud);
    QFETCH(int, dataBits);
    QFETCH(char, parity);
    QFETCH(int, stopBits);
    QCOMPARE(devicePortBaud(code), deviceBaud);
    QCOMPARE(modemPortBaud(code), modemBaud);
    QCOMPARE(portDataBits(code), dataBits);
    QCOMPARE(portParity(code), parity);
    QCOMPARE(portStopBits(code), stopBits);
}


void TestSettings::portsClash_data()
{
    QTest::addColumn<QString>("devicePort");
    QTest::addColumn<QString>("modemPort");
    QTest::addColumn<bool>("clash");
    // "None" is the default of both settings: two settings without a port share nothing.
    QTest::newRow("both None") << "None" << "None" << false;
    QTest::newRow("both empty") << "" << "" << false;
    QTest::newRow("both blank") << " " << " " << false;
    QTest::newRow("same real port") << "ttyUSB0" << "ttyUSB0" << true;
    QTest::newRow("different ports") << "ttyUSB0" << "ttyS0" << false;
    QTest::newRow("device without a port") << "None" << "ttyUSB0" << false;
    QTest::newRow("modem without a port") << "ttyUSB0" << "None" << false;
}

void TestSettings::portsClash()
{
    QFETCH(QString, devicePort);
    QFETCH(QString, modemPort);
    QFETCH(bool, clash);
    QCOMPARE(::portsClash(devicePort, modemPort), clash);
    QCOMPARE(::portsClash(modemPort, devicePort), clash);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
