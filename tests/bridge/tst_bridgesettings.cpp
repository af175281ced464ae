// The settings, warning and test-SMS slots of the bridge against a real "param.ini" and
// real recipient databases in a temporary folder.
#include "bridge/qmlobject.h"
#include "core/events.h"
#include "core/helpers.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "core/sqlutil.h"
#include "core/textformats.h"
#include "tests/bridge/bridgefixture.h"
#include "tests/support/sqlitelock.h"
#include "tests/support/testenv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {
QString iniValue(const char *key)
{
    return QSettings(appPaths.paramIniPath, QSettings::IniFormat).value(QLatin1String(key)).toString();
}

QList<QStringList> tableRows(const QString &path, const char *table)
{
    DbConnection db(QStringLiteral("testread"), path, DbConnection::ReadExisting);
    return db.selectRows(QStringLiteral("select * from %1").arg(QLatin1String(table)));
}

QString onlyArgument(QSignalSpy &spy)
{
    if (spy.count() != 1)
        return QStringLiteral("<%1 emissions>").arg(spy.count());
    return spy.takeFirst().at(0).toString();
}

QString reply(qmlobject &bridge, void (qmlobject::*slot)(), void (qmlobject::*signal)(QString))
{
    QSignalSpy spy(&bridge, signal);
    (bridge.*slot)();
    return onlyArgument(spy);
}

const char kEmailDefaults[] = R"({"serverHostaddr":"192.168.1.1","serverHostPort":"25","senderAddr":"",)"
                              R"("serverAuthFlag":"1","senderAccount":"","senderPassword":"","sslFlag":"1",)"
                              R"("email_receiver_addrs":[],"email_event_flag":[],"genRDFlag":"0","genRDay":"",)"
                              R"("genRMFlag":"0","genRMonth":"","genRYFlag":"0","genRYear":""})";
}

class TestBridgeSettings : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        setSerialPortLister({});
    }
    void cleanup()
    {
        setSerialPortLister({});
        env.reset();
    }

    void systemSetDefaults();
    void comConfigRoundTrip();
    void settersIgnoreNonObjects_data();
    void settersIgnoreNonObjects();
    void language_data();
    void language();
    void protocol_data();
    void protocol();
    void scheduleTime();
    void emailDefaults();
    void emailRoundTrip();
    void emailEmptyLists();
    void emailRecipientWithComma();
    void recipientsUnreadAtStartAreKept();
    void smsSetAndGet_data();
    void smsSetAndGet();
    void smsPortListWhilePortsChange();
    void smsStateShortensModemTexts_data();
    void smsStateShortensModemTexts();
    void testSms();
    void smsNumbersWithLogSeparatorsRefused_data();
    void smsNumbersWithLogSeparatorsRefused();
    void warningsNewestFirst();
    void warningsFollowFamily();
    void clearWarnings();

private:
    std::unique_ptr<TestEnv> env;
    qmlobject bridge;
};

void TestBridgeSettings::systemSetDefaults()
{
    loadAllSettings();
    QCOMPARE(reply(bridge, &qmlobject::handleGetSystemSet, &qmlobject::sigSysSet),
             QStringLiteral(R"({"lang":"1","dev_boudrate":"2","dev_databit":"3","dev_checkbit":"1",)"
                            R"("dev_stopbit":"1","msg_boudrate":"4","msg_databit":"3","msg_checkbit":"1",)"
                            R"("msg_stopbit":"1"})"));
}

void TestBridgeSettings::comConfigRoundTrip()
{
    loadAllSettings();
    // Numbers arrive as their shortest text; a missing key is stored empty.
    bridge.handleSetComConfig(QStringLiteral(R"({"dev_boudrate":"6","dev_databit":2,"dev_checkbit":"3",)"
                                             R"("dev_stopbit":"2","msg_boudrate":"7","msg_databit":"1",)"
                                             R"("msg_checkbit":"2"})"));
    const QString expected = QStringLiteral(R"({"lang":"1","dev_boudrate":"6","dev_databit":"2",)"
                                            R"("dev_checkbit":"3","dev_stopbit":"2","msg_boudrate":"7",)"
                                            R"("msg_databit":"1","msg_checkbit":"2","msg_stopbit":""})");
    QCOMPARE(reply(bridge, &qmlobject::handleGetSystemSet, &qmlobject::sigSysSet), expected);
    QCOMPARE(iniValue("dev_boudrate"), QStringLiteral("6"));
    QCOMPARE(iniValue("dev_databit"), QStringLiteral("2"));
    QCOMPARE(iniValue("msg_checkbit"), QStringLiteral("2"));
    QCOMPARE(iniValue("msg_stopbit"), QString());

    resetSharedState();
    initAppPaths(env->dataLocation(), env->appDir());
    loadAllSettings();
    QCOMPARE(reply(bridge, &qmlobject::handleGetSystemSet, &qmlobject::sigSysSet), expected);
}

void TestBridgeSettings::settersIgnoreNonObjects_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("request");
    for (const char *slot : {"handleSetComConfig", "handleSetPublicPara", "handleSetEmail", "handleSetSMS",
                             "handleSendSMSTest"}) {
        QTest::newRow(QByteArray(slot) + " empty") << QByteArray(slot) << "";
        QTest::newRow(QByteArray(slot) + " garbage") << QByteArray(slot) << "{lang:0";
        QTest::newRow(QByteArray(slot) + " array") << QByteArray(slot) << R"([{"lang":"0"}])";
        QTest::newRow(QByteArray(slot) + " text") << QByteArray(slot) << R"("0")";
        // Every key the five slots read, one of them far longer than any setting.
        const QString oversized = QString(2 * kMaxRequestText, QLatin1Char('x'));
        QTest::newRow(QByteArray(slot) + " oversized")
            << QByteArray(slot)
            << QStringLiteral(R"({"lang":"0","dev_boudrate":"4","senderAccount":"%1","smsFlag":"1",)"
                              R"("phones":"123","testphone":"123","email_receiver_addrs":"a@x.org"})")
                   .arg(oversized);
    }
    QTest::newRow("handleSetEmail 20 MB") << QByteArray("handleSetEmail")
                                          << QStringLiteral(R"({"senderAccount":"%1"})")
                                                 .arg(QString(20 << 20, QLatin1Char('x')));
}

void TestBridgeSettings::settersIgnoreNonObjects()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, request);
    loadAllSettings();
    initEventTexts();
    const QString system = reply(bridge, &qmlobject::handleGetSystemSet, &qmlobject::sigSysSet);
    const QString email = reply(bridge, &qmlobject::handleGetEmailSet, &qmlobject::emailGetSig);
    const QString sms = reply(bridge, &qmlobject::handleGetSMSSet, &qmlobject::sigQtSSMSSet);
    const QStringList texts = upsEventTexts;

    QVERIFY(QMetaObject::invokeMethod(&bridge, slot.constData(), Q_ARG(QString, request)));

    QCOMPARE(reply(bridge, &qmlobject::handleGetSystemSet, &qmlobject::sigSysSet), system);
    QCOMPARE(reply(bridge, &qmlobject::handleGetEmailSet, &qmlobject::emailGetSig), email);
    QCOMPARE(reply(bridge, &qmlobject::handleGetSMSSet, &qmlobject::sigQtSSMSSet), sms);
    QCOMPARE(upsEventTexts, texts);
    QVERIFY(smsSettings.smsTestPhone.isEmpty());
    QVERIFY(smsEventQueue.isEmpty());
    QVERIFY(!QFile::exists(appPaths.paramIniPath));
    QVERIFY(!QFile::exists(appPaths.smtpRecDbPath));
    QVERIFY(!QFile::exists(appPaths.smsRecDbPath));
}

void TestBridgeSettings::language_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("text0");
    QTest::addColumn<QString>("inverterText0");
    QTest::newRow("chinese") << "0" << QString::fromUtf8("系统故障消失") << QString();
    QTest::newRow("english") << "1" << "System fault disappear" << "Input abnormal disappear";
    QTest::newRow("other code is english") << "2" << "System fault disappear" << "Input abnormal disappear";
}

void TestBridgeSettings::language()
{
    QFETCH(QString, lang);
    QFETCH(QString, text0);
    QFETCH(QString, inverterText0);
    loadAllSettings();
    bridge.handleSetPublicPara(QStringLiteral(R"({"lang":"%1"})").arg(lang));
    QCOMPARE(upsEventTexts.size(), int(EventCodeCount));
    QCOMPARE(inverterEventTexts.size(), int(EventCodeCount));
    QCOMPARE(upsEventTexts.at(0), text0);
    if (!inverterText0.isEmpty())
        QCOMPARE(inverterEventTexts.at(0), inverterText0);
    QCOMPARE(reply(bridge, &qmlobject::handleGetLanguage, &qmlobject::siglang), lang);
    QCOMPARE(iniValue("lang"), lang);
    // The catalogues are removed again: a text translated now is English.
    QCOMPARE(QCoreApplication::translate("QObject", "System fault disappear"),
             QStringLiteral("System fault disappear"));
}

void TestBridgeSettings::protocol_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("family");
    QTest::newRow("three-phase") << "0" << "0";
    QTest::newRow("single serial") << "1" << "1";
    QTest::newRow("single hid") << "2" << "1";
    QTest::newRow("inverter serial") << "3" << "2";
    QTest::newRow("inverter hid") << "4" << "2";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("unknown") << "9" << "9";
}

void TestBridgeSettings::protocol()
{
    QFETCH(QString, stored);
    QFETCH(QString, family);
    setProtocol(stored);
    QCOMPARE(reply(bridge, &qmlobject::handleGetProtocol, &qmlobject::sigprotocol), family);
}

void TestBridgeSettings::scheduleTime()
{
    QCOMPARE(reply(bridge, &qmlobject::handleGetScheduleTime, &qmlobject::sigScheduleTime),
             QStringLiteral(R"({"nextShutdownTime":"","nextStartupTime":""})"));
    {
        QWriteLocker l(&scheduleListLock);
        nextShutdownTime = QStringLiteral("2026-01-16 22:00");
        nextStartupTime = QStringLiteral("2026-01-17 07:30");
    }
    QCOMPARE(reply(bridge, &qmlobject::handleGetScheduleTime, &qmlobject::sigScheduleTime),
             QStringLiteral(R"({"nextShutdownTime":"2026-01-16 22:00","nextStartupTime":"2026-01-17 07:30"})"));
}

void TestBridgeSettings::emailDefaults()
{
    loadAllSettings();
    QCOMPARE(reply(bridge, &qmlobject::handleGetEmailSet, &qmlobject::emailGetSig), QLatin1String(kEmailDefaults));
}

void TestBridgeSettings::emailRoundTrip()
{
    loadAllSettings();
    const QString password = QStringLiteral("pa\"ss\\w'rd");
    QJsonObject request{
        {"serverHostaddr", "smtp.example.org"}, {"serverHostPort", 465}, {"senderAddr", "ups@example.org"},
        {"serverAuthFlag", "0"}, {"senderAccount", "ups"}, {"senderPassword", password}, {"sslFlag", "0"},
        {"email_receiver_addrs", QJsonArray{"a@example.org", "o'brien@example.org"}},
        {"email_event_flag", QJsonArray{"3"}}, // one mask short
        {"genRDFlag", "0"}, {"genRDay", "23:30"}, {"genRMFlag", "1"}, {"genRMonth", "01 08:00"},
        {"genRYFlag", "1"}, {"genRYear", "01/01 08:00"}};
    bridge.handleSetEmail(QString::fromUtf8(QJsonDocument(request).toJson()));

    const QString got = reply(bridge, &qmlobject::handleGetEmailSet, &qmlobject::emailGetSig);
    const QJsonObject parsed = QJsonDocument::fromJson(got.toUtf8()).object();
    QCOMPARE(parsed.value("senderPassword").toString(), password);
    QCOMPARE(parsed.value("serverHostPort").toString(), QStringLiteral("465"));
    QCOMPARE(parsed.value("email_receiver_addrs").toArray(), (QJsonArray{"a@example.org", "o'brien@example.org"}));
    QCOMPARE(parsed.value("email_event_flag").toArray(), (QJsonArray{"3", "0"}));
    QCOMPARE(parsed.keys().size(), 15);
    QVERIFY(got.startsWith(QLatin1String(R"({"serverHostaddr":"smtp.example.org","serverHostPort":"465",)")));
    QVERIFY(got.contains(QLatin1String(R"("sslFlag":"0","email_receiver_addrs":[)")));
    QVERIFY(got.endsWith(QLatin1String(R"("genRYFlag":"1","genRYear":"01/01 08:00"})")));

    // Scrambled on disk, in clear in memory.
    QCOMPARE(iniValue("senderPassword"), QStringLiteral("ao1xTrj0jt"));
    QVERIFY(iniValue("senderPassword") != password);
    QCOMPARE(iniValue("genRMonth"), QStringLiteral("01 08:00"));
    QCOMPARE(tableRows(appPaths.smtpRecDbPath, "emailrec"),
             (QList<QStringList>{{"a@example.org", "3"}, {"o'brien@example.org", "0"}}));

    // After a restart the loader gives the same reply.
    resetSharedState();
    initAppPaths(env->dataLocation(), env->appDir());
    loadAllSettings();
    QCOMPARE(reply(bridge, &qmlobject::handleGetEmailSet, &qmlobject::emailGetSig), got);
}

void TestBridgeSettings::emailEmptyLists()
{
    loadAllSettings();
    bridge.handleSetEmail(QStringLiteral(R"({"email_receiver_addrs":[],"email_event_flag":""})"));
    QCOMPARE(tableRows(appPaths.smtpRecDbPath, "emailrec"), (QList<QStringList>{{"", ""}}));
    const QString got = reply(bridge, &qmlobject::handleGetEmailSet, &qmlobject::emailGetSig);
    QVERIFY2(got.contains(QLatin1String(R"("email_receiver_addrs":[""],"email_event_flag":[""])")), qPrintable(got));
}

void TestBridgeSettings::emailRecipientWithComma()
{
    loadAllSettings();
    bridge.handleSetEmail(QStringLiteral(R"({"email_receiver_addrs":["a@x.org,b@x.org"],"email_event_flag":["7"]})"));
    QCOMPARE(tableRows(appPaths.smtpRecDbPath, "emailrec"), (QList<QStringList>{{"a@x.org", "7"}, {"b@x.org", "0"}}));
}

void TestBridgeSettings::recipientsUnreadAtStartAreKept()
{
    // Both tables are busy (another process) for longer than the loader waits.
    QVERIFY(saveEmailRecipients({"a@example.org", "b@example.org"}, {"1", "2"}));
    QVERIFY(saveSmsRecipients({"+4912345"}, {"3"}));
    {
        const ShortBusyWait shortWait;
        SqliteLockHolder holder;
        QVERIFY(holder.start({appPaths.smtpRecDbPath, appPaths.smsRecDbPath}, SqliteLockHolder::kUntilReleased));
        loadAllSettings();
        QVERIFY(holder.release());
    }
    QVERIFY(emailSettings.mailRecipients.isEmpty());

    // Saving another field of each page, with the (empty) lists the page was shown.
    bridge.handleSetEmail(QStringLiteral(R"({"serverHostaddr":"smtp.example.org","email_receiver_addrs":[],)"
                                         R"("email_event_flag":[]})"));
    bridge.handleSetSMS(QStringLiteral(R"({"smsFlag":"1","comName":"ttyUSB0","phones":"","sms_event_flag":""})"));
    QCOMPARE(iniValue("serverHostaddr"), QStringLiteral("smtp.example.org"));
    QCOMPARE(iniValue("smsFlag"), QStringLiteral("1"));
    QCOMPARE(tableRows(appPaths.smtpRecDbPath, "emailrec"),
             (QList<QStringList>{{"a@example.org", "1"}, {"b@example.org", "2"}}));
    QCOMPARE(tableRows(appPaths.smsRecDbPath, "smsrec"), (QList<QStringList>{{"+4912345", "3"}}));

    // A list the user has written replaces the table, and from then on every save does.
    bridge.handleSetEmail(QStringLiteral(R"({"email_receiver_addrs":["c@example.org"],"email_event_flag":["7"]})"));
    bridge.handleSetSMS(QStringLiteral(R"({"phones":"555","sms_event_flag":"9"})"));
    QCOMPARE(tableRows(appPaths.smtpRecDbPath, "emailrec"), (QList<QStringList>{{"c@example.org", "7"}}));
    QCOMPARE(tableRows(appPaths.smsRecDbPath, "smsrec"), (QList<QStringList>{{"555", "9"}}));
    bridge.handleSetEmail(QStringLiteral(R"({"email_receiver_addrs":[],"email_event_flag":[]})"));
    QCOMPARE(tableRows(appPaths.smtpRecDbPath, "emailrec"), (QList<QStringList>{{"", ""}}));
}

void TestBridgeSettings::smsSetAndGet_data()
{
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QList<QStringList>>("rows");

    QTest::newRow("two ports")
        << QList<SerialPortEntry>{{"/dev/ttyS0", "ttyS0"}, {"/dev/ttyUSB0", "ttyUSB0"}}
        << R"({"smsFlag":"0","comName":"ttyUSB0","phones":["13800000000","13900000000"],"sms_event_flag":[5]})"
        << R"({"smsFlag":"0","comName":{"com":["ttyS0","ttyUSB0"],"selected":"ttyUSB0"},)"
           R"("phones":["13800000000","13900000000"],"sms_event_flag":["5","0"],"smsconnected":"0","model":"",)"
           R"("operator":"","manufacturer":"","signalquality":"0","softwareversion":"","sercentreadd":"","testsms":"","testsmsreason":""})"
        << QList<QStringList>{{"13800000000", "5"}, {"13900000000", "0"}};
    QTest::newRow("no port, selection kept")
        << QList<SerialPortEntry>() << R"({"smsFlag":"1","comName":"None","phones":"","sms_event_flag":""})"
        << R"({"smsFlag":"1","comName":{"com":[],"selected":"None"},"phones":[""],"sms_event_flag":[""],)"
           R"("smsconnected":"0","model":"","operator":"","manufacturer":"","signalquality":"0",)"
           R"("softwareversion":"","sercentreadd":"","testsms":"","testsmsreason":""})"
        << QList<QStringList>{{"", ""}};
    QTest::newRow("more masks than numbers")
        << QList<SerialPortEntry>{{"/dev/ttyS0", "ttyS0"}}
        << R"({"smsFlag":"0","comName":"ttyS0","phones":"13800000000","sms_event_flag":"3,4,5"})"
        << R"({"smsFlag":"0","comName":{"com":["ttyS0"],"selected":"ttyS0"},"phones":["13800000000"],)"
           R"("sms_event_flag":["3"],"smsconnected":"0","model":"","operator":"","manufacturer":"",)"
           R"("signalquality":"0","softwareversion":"","sercentreadd":"","testsms":"","testsmsreason":""})"
        << QList<QStringList>{{"13800000000", "3"}};
}

// An adapter unplugged while the list is read must not leave a gap or a name twice.
void TestBridgeSettings::smsPortListWhilePortsChange()
{
    loadAllSettings();
    auto calls = std::make_shared<int>(0);
    setSerialPortLister([calls] {
        QList<SerialPortEntry> ports{{QStringLiteral("/dev/ttyS0"), QStringLiteral("ttyS0")}};
        if ((*calls)++ == 0)
            ports.append({QStringLiteral("/dev/ttyUSB0"), QStringLiteral("ttyUSB0")});
        return ports;
    });
    QVERIFY(reply(bridge, &qmlobject::handleGetSMSSet, &qmlobject::sigQtSSMSSet)
                .contains(QLatin1String(R"("comName":{"com":["ttyS0","ttyUSB0"],)")));
}

void TestBridgeSettings::smsSetAndGet()
{
    QFETCH(QList<SerialPortEntry>, ports);
    QFETCH(QString, request);
    QFETCH(QString, expected);
    QFETCH(QList<QStringList>, rows);
    loadAllSettings();
    QVERIFY(reply(bridge, &qmlobject::handleGetSMSSet, &qmlobject::sigQtSSMSSet)
                .contains(QLatin1String(R"("phones":[],"sms_event_flag":[])")));
    setSerialPortLister([ports] { return ports; });
    bridge.handleSetSMS(request);
    QCOMPARE(reply(bridge, &qmlobject::handleGetSMSSet, &qmlobject::sigQtSSMSSet), expected);
    const QJsonObject req = QJsonDocument::fromJson(request.toUtf8()).object();
    QCOMPARE(iniValue("smsFlag"), req.value("smsFlag").toString());
    QCOMPARE(iniValue("SMSSelectName"), req.value("comName").toString());
    QCOMPARE(tableRows(appPaths.smsRecDbPath, "smsrec"), rows);
}

void TestBridgeSettings::smsStateShortensModemTexts_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("sentModel");
    QTest::newRow("carriage return dropped") << "M35\r" << "M35";
    QTest::newRow("empty stays empty") << "" << "";
    QTest::newRow("one character") << "X" << "";
}

void TestBridgeSettings::smsStateShortensModemTexts()
{
    QFETCH(QString, model);
    QFETCH(QString, sentModel);
    {
        QWriteLocker l(&settingsLock);
        smsSettings.connect = 3;
        smsSettings.modemModel = model;
        smsSettings.modemManufacturer = QStringLiteral("Quectel\r");
        smsSettings.modemSoftwareVersion = QStringLiteral("R1.0\r");
        smsSettings.modemOperator = QStringLiteral("CHINA MOBILE");
        smsSettings.modemServiceCentre = QStringLiteral("+8613800100500");
        smsSettings.modemSignalQuality = 64;
    }
    const QString state = QStringLiteral(R"("smsconnected":"3","model":"%1","operator":"CHINA MOBILE",)"
                                         R"("manufacturer":"Quectel","signalquality":"64","softwareversion":"R1.0",)"
                                         R"("sercentreadd":"+8613800100500","testsms":"","testsmsreason":"")")
                              .arg(sentModel);
    QCOMPARE(reply(bridge, &qmlobject::handleGetSMSState, &qmlobject::sigSMSState), QLatin1Char('{') + state + '}');
    QVERIFY(reply(bridge, &qmlobject::handleGetSMSSet, &qmlobject::sigQtSSMSSet).endsWith(state + '}'));
    QCOMPARE(smsSettings.modemModel, model);
}

void TestBridgeSettings::testSms()
{
    loadAllSettings();
    {
        QWriteLocker l(&settingsLock);
        smsSettings.smsFlag = QStringLiteral("1"); // notification off: the test is still queued
    }
    bridge.handleSendSMSTest(QStringLiteral(R"({"testphone":13800000000})"));
    QCOMPARE(smsSettings.smsTestPhone, QStringLiteral("13800000000"));
    QCOMPARE(smsEventQueue.size(), 1);
    QCOMPARE(smsEventQueue.at(0).code, 59);
    QCOMPARE(smsEventQueue.at(0).time, env->clock().now());
    QCOMPARE(smsEventQueue.at(0).number, QStringLiteral("13800000000"));
    QVERIFY(dbEventQueue.isEmpty());
    QVERIFY(emailEventQueue.isEmpty());
    QVERIFY(warningList.isEmpty());
    QVERIFY(!QFile::exists(appPaths.paramIniPath));
}

void TestBridgeSettings::smsNumbersWithLogSeparatorsRefused_data()
{
    QTest::addColumn<QString>("phones");
    QTest::addColumn<QString>("refused");
    QTest::newRow("row separator") << R"(["13800000001","139@00"])" << "139@00";
    QTest::newRow("field separator") << R"("1380|0000001")" << "1380|0000001";
    QTest::newRow("both, the first named") << R"(["a|b","c@d"])" << "a|b";
}

void TestBridgeSettings::smsNumbersWithLogSeparatorsRefused()
{
    QFETCH(QString, phones);
    QVERIFY(saveSmsRecipients({"13800000009"}, {"3"}));
    writeParamKeys({{QStringLiteral("smsFlag"), QStringLiteral("1")}});
    loadAllSettings();
    QSignalSpy refusals(&bridge, &qmlobject::sigSMSNumberRefused);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^SMS settings refused, nothing changed")));
    bridge.handleSetSMS(QStringLiteral(R"({"smsFlag":"0","comName":"ttyS0","phones":%1,"sms_event_flag":"1,1"})")
                            .arg(phones));
    QCOMPARE(refusals.size(), 1);
    QTEST(refusals.first().first().toString(), "refused");
    QCOMPARE(smsSettings.smsFlag, QStringLiteral("1"));
    QCOMPARE(smsSettings.SMSSelectName, QStringLiteral("None"));
    QCOMPARE(smsSettings.smsPhones, QStringList{"13800000009"});
    QCOMPARE(iniValue("smsFlag"), QStringLiteral("1"));
    QCOMPARE(tableRows(appPaths.smsRecDbPath, "smsrec"), (QList<QStringList>{{"13800000009", "3"}}));
}

void TestBridgeSettings::warningsNewestFirst()
{
    loadAllSettings();
    initEventTexts();
    QCOMPARE(reply(bridge, &qmlobject::handleWarningData, &qmlobject::warningDataSig), QStringLiteral("[]"));
    const QDateTime base(QDate(2026, 1, 15), QTime(10, 0, 5));
    for (int i = 0; i < 9; ++i)
        addEventRecord(EventItem{base.addSecs(i * 20), 2 * i + 1});
    const QJsonArray list =
        QJsonDocument::fromJson(reply(bridge, &qmlobject::handleWarningData, &qmlobject::warningDataSig).toUtf8())
            .array();
    QCOMPARE(list.size(), 8);
    QCOMPARE(list.at(0).toObject().value("description").toString(), upsEventTexts.at(17));
    QCOMPARE(list.at(0).toObject().value("date").toString(), QStringLiteral("2026-01-15 10:02"));
    QCOMPARE(list.at(7).toObject().value("description").toString(), upsEventTexts.at(3));
    // Seconds never appear: events of one minute share their date.
    QCOMPARE(list.at(6).toObject().value("date").toString(), QStringLiteral("2026-01-15 10:00"));
    QCOMPARE(list.at(7).toObject().value("date").toString(), QStringLiteral("2026-01-15 10:00"));
    QCOMPARE(list.at(0).toObject().keys(), (QStringList{"date", "description", "kind"}));
}

void TestBridgeSettings::warningsFollowFamily()
{
    loadAllSettings();
    initEventTexts();
    const QDateTime t(QDate(2026, 1, 15), QTime(9, 30));
    addEventRecord(EventItem{t, 0});
    addEventRecord(EventItem{t, 57});
    addEventRecord(EventItem{t, 120}); // no text in either table
    setProtocol(QStringLiteral("1"));
    QCOMPARE(reply(bridge, &qmlobject::handleWarningData, &qmlobject::warningDataSig),
             QStringLiteral(R"([{"date":"2026-01-15 09:30","description":"","kind":"alarm"},)"
                            R"({"date":"2026-01-15 09:30","description":"Communication failed","kind":"alarm"},)"
                            R"({"date":"2026-01-15 09:30","description":"System fault disappear","kind":"recovery"}])"));
    setProtocol(QStringLiteral("4"));
    QCOMPARE(reply(bridge, &qmlobject::handleWarningData, &qmlobject::warningDataSig),
             QStringLiteral(R"([{"date":"2026-01-15 09:30","description":"","kind":"alarm"},)"
                            R"({"date":"2026-01-15 09:30","description":"Communication failed","kind":"alarm"},)"
                            R"({"date":"2026-01-15 09:30","description":"Input abnormal disappear","kind":"recovery"}])"));
}

void TestBridgeSettings::clearWarnings()
{
    loadAllSettings();
    initEventTexts();
    postEvent(57);
    postEvent(1);
    QVERIFY(declarativeView == nullptr);
    QSignalSpy cleared(&bridge, &qmlobject::clearAlarmSig);
    bridge.handleClearWarning();
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(reply(bridge, &qmlobject::handleWarningData, &qmlobject::warningDataSig), QStringLiteral("[]"));
    // The other queues keep their copies.
    QCOMPARE(dbEventQueue.size(), 2);
    QCOMPARE(emailEventQueue.size(), 2);
    QCOMPARE(smsEventQueue.size(), 2);
}

QTEST_MAIN(TestBridgeSettings)
#include "tst_bridgesettings.moc"
