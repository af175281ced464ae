// Event fan-out, the two event-text tables with their Chinese catalogue, and the command queue.
#include "core/commandqueue.h"
#include "core/events.h"
#include "core/paths.h"
#include "core/protocolcode.h"
#include "core/settings.h"
#include "core/translation.h"
#include "tests/support/testenv.h"

#include <QFile>
#include <QLibraryInfo>
#include <QThread>
#include <QTranslator>
#include <QtTest>

#include <climits>
#include <memory>
#include <vector>

class TestEvents : public QObject
{
    Q_OBJECT

private slots:
    void tablesHoldOneTextPerCode();
    void textByCode_data();
    void textByCode();
    void activeFamilyPicksTable();
    void kindByCode_data();
    void kindByCode();
    void warningListKeepsEightNewest();
    void testSmsReachesSmsQueueOnly();
    void concurrentPostsAreAllKept();
    void commandQueueOrder();
    void eventQueuesAreBounded();
    void takeEventsTakesOldestFirst();
    void commandQueueIsBounded();
    void chineseTexts_data();
    void chineseTexts();
    void everyTextHasChinese();
    void scopeLeavesEnglishBehind();
    void catalogues();
    void catalogueTexts_data();
    void catalogueTexts();
};

namespace {
QList<int> codes(const QList<EventItem> &queue)
{
    QList<int> out;
    for (const EventItem &e : queue)
        out << e.code;
    return out;
}
}

void TestEvents::tablesHoldOneTextPerCode()
{
    TestEnv env;
    initEventTexts();
    QCOMPARE(upsEventTexts.size(), 78);
    QCOMPARE(inverterEventTexts.size(), 78);
    for (int code = 0; code < 78; ++code) {
        QVERIFY2(!upsEventTexts.at(code).isEmpty(), qPrintable(QString::number(code)));
        QVERIFY2(!inverterEventTexts.at(code).isEmpty(), qPrintable(QString::number(code)));
    }
    // Status edges come in pairs per bit; the two texts of a pair always differ.
    for (int bit = 0; bit < 28; ++bit) {
        QVERIFY(upsEventTexts.at(2 * bit) != upsEventTexts.at(2 * bit + 1));
        QVERIFY(inverterEventTexts.at(2 * bit) != inverterEventTexts.at(2 * bit + 1));
    }
}

void TestEvents::textByCode_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addRow("ups 0") << "0" << 0 << "System fault disappear";
    QTest::addRow("ups 1") << "1" << 1 << "System fault happen";
    QTest::addRow("ups 28") << "2" << 28 << "PV fault diappear";
    QTest::addRow("ups 30") << "0" << 30 << "Battery voltage normal";
    QTest::addRow("ups 55") << "0" << 55 << "Test failure happen";
    QTest::addRow("ups 56") << "0" << 56 << "Communication  succeed";
    QTest::addRow("ups 59") << "1" << 59 << "This is test SMS!";
    QTest::addRow("ups 73") << "0" << 73 << "Send  shutting down inverter";
    QTest::addRow("ups 74") << "0" << 74 << "Send startup command of starting up inverter command";
    QTest::addRow("ups 75") << "0" << 75 << "Send  On Bypassswitch command";
    QTest::addRow("ups 76") << "2" << 76 << "Send  Off Bypassswitch command";
    QTest::addRow("ups 77") << "0" << 77 << "Send  dischargedepth command";
    QTest::addRow("inverter 0") << "3" << 0 << "Input abnormal disappear";
    QTest::addRow("inverter 13") << "4" << 13 << "System fault appear";
    QTest::addRow("inverter 45") << "3" << 45 << "Batt fault appear";
    QTest::addRow("inverter 46") << "3" << 46 << "Reserved0";
    QTest::addRow("inverter 55") << "4" << 55 << "Reserved9";
    QTest::addRow("inverter 57") << "3" << 57 << "Communication failed";
    QTest::addRow("inverter 63") << "3" << 63 << "Schedule shut down inverter command";
    QTest::addRow("inverter 72") << "3" << 72 << "Send cancel to Shut down inverter command";
    QTest::addRow("inverter 73") << "3" << 73 << "Send turn on inverter command";
    QTest::addRow("inverter 74") << "3" << 74 << "Send turn off inverter command";
    QTest::addRow("inverter 75") << "4" << 75 << "Send cancel alarm voice command";
    QTest::addRow("inverter 76") << "3" << 76 << "Send clear total gen command";
    QTest::addRow("inverter 77") << "3" << 77 << "Send  dischargedepth command";
    QTest::addRow("below range") << "0" << -1 << "";
    QTest::addRow("past range ups") << "0" << 78 << "";
    QTest::addRow("past range inverter") << "3" << 78 << "";
    QTest::addRow("far past") << "3" << INT_MAX << "";
    QTest::addRow("far below") << "0" << INT_MIN << "";
}

void TestEvents::textByCode()
{
    QFETCH(QString, protocol);
    QFETCH(int, code);
    QFETCH(QString, text);
    TestEnv env;
    initEventTexts();
    QCOMPARE(eventText(code, protocol), text);
}

void TestEvents::activeFamilyPicksTable()
{
    TestEnv env;
    initEventTexts();
    deviceSettings.comProtocol = QStringLiteral("4");
    QCOMPARE(eventText(0), QStringLiteral("Input abnormal disappear"));
    deviceSettings.comProtocol = QStringLiteral("1");
    QCOMPARE(eventText(0), QStringLiteral("System fault disappear"));
    // Before the tables are built nothing is read out of range.
    upsEventTexts.clear();
    QCOMPARE(eventText(0), QString());
}

void TestEvents::kindByCode_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kind");
    // The texts say "normal" and "abnormal" either way: only the code tells.
    QTest::addRow("inverter input abnormal") << "3" << 1 << "Input abnormal appear" << "alarm";
    QTest::addRow("inverter battery voltage abnormal") << "4" << 11 << "Batt volt abnormal appear" << "alarm";
    QTest::addRow("inverter input back") << "3" << 0 << "Input abnormal disappear" << "recovery";
    QTest::addRow("inverter reserved slot") << "3" << 47 << "Reserved1" << "alarm";
    QTest::addRow("ups battery voltage normal") << "0" << 30 << "Battery voltage normal" << "recovery";
    QTest::addRow("ups battery voltage low") << "0" << 31 << "Battery voltage low" << "alarm";
    QTest::addRow("ups on battery") << "1" << 41 << "Battery supply happen" << "state";
    QTest::addRow("ups mains back") << "1" << 40 << "Battery supply disappear" << "recovery";
    QTest::addRow("ups self-test failed") << "0" << 55 << "Test failure happen" << "alarm";
    QTest::addRow("link regained") << "0" << 56 << "Communication  succeed" << "recovery";
    QTest::addRow("link lost") << "3" << 57 << "Communication failed" << "alarm";
    QTest::addRow("port failed") << "0" << 58 << "Serial port failed to open" << "alarm";
    QTest::addRow("schedule warning") << "0" << 63 << "Schedule shut down inverter command" << "info";
    QTest::addRow("command sent") << "3" << 77 << "Send  dischargedepth command" << "info";
    QTest::addRow("unknown code") << "0" << 120 << "" << "alarm";
}

void TestEvents::kindByCode()
{
    QFETCH(QString, protocol);
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, kind);
    TestEnv env;
    initEventTexts();
    QCOMPARE(eventText(code, protocol), text);
    const bool inverter = deviceFamily(protocol) == DeviceFamily::Inverter;
    QCOMPARE(QLatin1String(eventKindName(eventKind(code, inverter))), kind);
}

void TestEvents::warningListKeepsEightNewest()
{
    TestEnv env;
    for (int i = 1; i <= 9; ++i) {
        env.clock().advanceMs(1000);
        postEvent(i);
    }
    QCOMPARE(codes(warningList), (QList<int>{2, 3, 4, 5, 6, 7, 8, 9}));
    const QList<int> all{1, 2, 3, 4, 5, 6, 7, 8, 9};
    QCOMPARE(codes(dbEventQueue), all);
    QCOMPARE(codes(emailEventQueue), all);
    QCOMPARE(codes(smsEventQueue), all);
    QCOMPARE(dbEventQueue.last().time, env.clock().now());
    QCOMPARE(warningList.first().time, env.clock().now().addSecs(-7));
}

void TestEvents::testSmsReachesSmsQueueOnly()
{
    TestEnv env;
    postTestSmsEvent();
    QCOMPARE(smsEventQueue.size(), 1);
    QCOMPARE(smsEventQueue.first().code, 59);
    QCOMPARE(smsEventQueue.first().time, env.clock().now());
    QVERIFY(dbEventQueue.isEmpty());
    QVERIFY(emailEventQueue.isEmpty());
    QVERIFY(warningList.isEmpty());
    QCOMPARE(takeAllEvents(smsEventQueue, smsEventQueueLock).size(), 1);
    QVERIFY(smsEventQueue.isEmpty());
}

void TestEvents::concurrentPostsAreAllKept()
{
    TestEnv env;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(QThread::create([t] {
            for (int i = 0; i < kPerThread; ++i)
                postEvent(t);
        }));
        threads.back()->start();
    }
    for (auto &t : threads)
        QVERIFY(t->wait(30000));
    QCOMPARE(dbEventQueue.size(), kThreads * kPerThread);
    QCOMPARE(emailEventQueue.size(), kThreads * kPerThread);
    QCOMPARE(smsEventQueue.size(), kThreads * kPerThread);
    QCOMPARE(warningList.size(), 8);
}

void TestEvents::commandQueueOrder()
{
    TestEnv env;
    appendCommand(QStringLiteral("depthDischarge"));
    appendCommands({QStringLiteral("hour0-7"), QStringLiteral("hour8-15"), QStringLiteral("hour16-23")});
    appendCommand(QStringLiteral("shutdown"));
    QStringList taken;
    QueuedCommand command;
    while (takeCommand(&command))
        taken << command.word;
    QCOMPARE(taken, (QStringList{"depthDischarge", "hour0-7", "hour8-15", "hour16-23", "shutdown"}));
    QVERIFY(!takeCommand(&command));
}

void TestEvents::eventQueuesAreBounded()
{
    TestEnv env;
    const QDateTime base = env.clock().now();
    const int extra = 5;
    // One warning per queue for the whole overflow, not one per dropped event.
    const QRegularExpression full(QStringLiteral("queue full"));
    for (const char *name : {"event log", "e-mail", "SMS"})
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^%1 queue full").arg(name)));
    QTest::failOnWarning(full);
    for (int i = 0; i < kEventQueueLimit + extra; ++i)
        addEventRecord(EventItem{base.addSecs(i), i % EventCommSucceed});

    for (QList<EventItem> *queue : {&dbEventQueue, &emailEventQueue, &smsEventQueue}) {
        QCOMPARE(queue->size(), kEventQueueLimit);
        QCOMPARE(queue->first().time, base.addSecs(extra)); // the oldest went
        QCOMPARE(queue->last().time, base.addSecs(kEventQueueLimit + extra - 1));
    }
    QCOMPARE(warningList.size(), kWarningListSize);

    // Once a consumer has made room, a new overflow is reported again; the test SMS goes
    // through the same bound.
    takeAllEvents(smsEventQueue, smsEventQueueLock);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^SMS queue full")));
    for (int i = 0; i < kEventQueueLimit + extra; ++i)
        postTestSmsEvent();
    QCOMPARE(smsEventQueue.size(), kEventQueueLimit);
    QCOMPARE(dbEventQueue.size(), kEventQueueLimit);
}

void TestEvents::takeEventsTakesOldestFirst()
{
    TestEnv env;
    for (int code = 0; code < 5; ++code)
        postEvent(code);
    QCOMPARE(codes(takeEvents(emailEventQueue, emailEventQueueLock, 2)), (QList<int>{0, 1}));
    QCOMPARE(codes(emailEventQueue), (QList<int>{2, 3, 4}));
    QCOMPARE(codes(takeEvents(emailEventQueue, emailEventQueueLock, 10)), (QList<int>{2, 3, 4}));
    QVERIFY(emailEventQueue.isEmpty());
    QVERIFY(takeEvents(emailEventQueue, emailEventQueueLock, 3).isEmpty());
}

void TestEvents::commandQueueIsBounded()
{
    TestEnv env;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^command queue full")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("queue full")));
    const int extra = 3;
    for (int i = 0; i < kCommandQueueLimit + extra - 3; ++i)
        appendCommand(QStringLiteral("w%1").arg(i));
    // A group appended last stays whole.
    appendCommands({QStringLiteral("hour0-7"), QStringLiteral("hour8-15"), QStringLiteral("hour16-23")});
    QCOMPARE(commandQueue.size(), kCommandQueueLimit);
    QCOMPARE(commandQueue.first().word, QStringLiteral("w%1").arg(extra));
    QCOMPARE(commandQueue.last().word, QStringLiteral("hour16-23"));
    QueuedCommand command;
    QVERIFY(takeCommand(&command));
    QCOMPARE(command.word, QStringLiteral("w%1").arg(extra));
}

void TestEvents::chineseTexts_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addRow("zh ups 0") << "0" << "0" << 0 << "系统故障消失";
    QTest::addRow("zh ups 56") << "0" << "1" << 56 << "通讯成功";
    QTest::addRow("zh ups 73") << "0" << "0" << 73 << "发送关闭逆变器命令";
    QTest::addRow("zh inverter 73") << "0" << "3" << 73 << "发送开机命令";
    QTest::addRow("zh inverter 1") << "0" << "4" << 1 << "市电异常发生";
    QTest::addRow("zh 77") << "0" << "3" << 77 << "发送放电深度命令";
    QTest::addRow("zh inverter 46") << "0" << "3" << 46 << "保留0";
    QTest::addRow("english") << "1" << "0" << 0 << "System fault disappear";
    QTest::addRow("empty lang") << "" << "3" << 73 << "Send turn on inverter command";
    QTest::addRow("other lang") << "00" << "0" << 56 << "Communication  succeed";
}

void TestEvents::chineseTexts()
{
    QFETCH(QString, lang);
    QFETCH(QString, protocol);
    QFETCH(int, code);
    QFETCH(QString, text);
    TestEnv env;
    {
        ChineseTranslatorScope zh(lang);
        initEventTexts();
    }
    QCOMPARE(eventText(code, protocol), text);
}

void TestEvents::everyTextHasChinese()
{
    TestEnv env;
    initEventTexts();
    const QStringList englishUps = upsEventTexts;
    const QStringList englishInverter = inverterEventTexts;
    {
        ChineseTranslatorScope zh(QStringLiteral("0"));
        initEventTexts();
    }
    for (int code = 0; code < 78; ++code) {
        QVERIFY2(upsEventTexts.at(code) != englishUps.at(code), qPrintable(englishUps.at(code)));
        QVERIFY2(inverterEventTexts.at(code) != englishInverter.at(code), qPrintable(englishInverter.at(code)));
    }
}

void TestEvents::scopeLeavesEnglishBehind()
{
    TestEnv env;
    {
        ChineseTranslatorScope zh(QStringLiteral("0"));
        QCOMPARE(QCoreApplication::translate("QObject", "Day Report"), QStringLiteral("日报表"));
    }
    QCOMPARE(QCoreApplication::translate("QObject", "Day Report"), QStringLiteral("Day Report"));
    initEventTexts();
    QCOMPARE(eventText(0, QStringLiteral("0")), QStringLiteral("System fault disappear"));
}

void TestEvents::catalogues()
{
    QTranslator toolkit;
    QVERIFY(toolkit.load(QStringLiteral(":/qt_zh_CN.qm")));
    QVERIFY(!toolkit.isEmpty());
    QVERIFY(!toolkit.translate("QPlatformTheme", "Cancel").isEmpty());
    // The toolkit's whole base catalogue, not the small index that only loads others.
    QFile embedded(QStringLiteral(":/qt_zh_CN.qm"));
    QFile installed(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm"));
    QVERIFY(embedded.open(QIODevice::ReadOnly));
    QVERIFY(installed.open(QIODevice::ReadOnly));
    QVERIFY(embedded.readAll() == installed.readAll());

    QTranslator program;
    QVERIFY(program.load(QStringLiteral(":/zh.qm")));
    QCOMPARE(program.translate("QObject", "Day Report"), QStringLiteral("日报表"));
    QCOMPARE(program.translate("QObject", "Month Report"), QStringLiteral("月报表"));
    QCOMPARE(program.translate("QObject", "Year Report"), QStringLiteral("年报表"));

    QCOMPARE(ThreadTranslator(QStringLiteral("0")).translate("QObject", "Year Report"), QStringLiteral("年报表"));
    QCOMPARE(ThreadTranslator(QStringLiteral("1")).translate("QObject", "Year Report"), QStringLiteral("Year Report"));
}

void TestEvents::catalogueTexts_data()
{
    // Texts that later builders look up by context and exact source text: the window's
    // dialogs and test e-mail, the history pages and exports, the report and alarm mails.
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("chinese");
    QTest::addRow("tray") << QByteArray("MainWindow") << QByteArray("&Hide") << "隐藏";
    QTest::addRow("tray alarm") << QByteArray("MainWindow") << QByteArray("Alarm: %1, and %2 more")
                                << "告警：%1，另有 %2 项";
    QTest::addRow("close question") << QByteArray("MainWindow") << QByteArray("Keep monitoring in the tray")
                                    << "在托盘中继续监控";
    QTest::addRow("archive box") << QByteArray("MainWindow") << QByteArray("Parameter Settings") << "参数设置";
    QTest::addRow("test mail label") << QByteArray("MainWindow") << QByteArray("Log Event:") << "事件记录：";
    QTest::addRow("test mail failed") << QByteArray("MainWindow")
                                      << QByteArray("Send email failed,network error or configure error!")
                                      << "发送邮件失败，网络错误或配置错误！";
    QTest::addRow("record heading") << QByteArray("qmlobject") << QByteArray("Event Description") << "事件描述";
    QTest::addRow("masked heading") << QByteArray("qmlobject") << QByteArray("OutputFrq(HZ)") << "输出频率(Hz)";
    QTest::addRow("inverter heading") << QByteArray("qmlobject") << QByteArray("OutputApparentPower(VA)")
                                      << "输出视在功率(VA)";
    QTest::addRow("inverter export") << QByteArray("qmlobject") << QByteArray("OutputApparentPower(W)")
                                     << "输出视在功率(W)";
    QTest::addRow("sms export") << QByteArray("qmlobject") << QByteArray("phone") << "手机号码";
    QTest::addRow("report header") << QByteArray("Smtp") << QByteArray("Gen") << "发电量";
    QTest::addRow("alarm mail label") << QByteArray("email_thread") << QByteArray("Time:") << "时间：";
    QTest::addRow("day mark") << QByteArray("QObject") << QByteArray("d:") << "天";
}

void TestEvents::catalogueTexts()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, source);
    QFETCH(QString, chinese);
    QTranslator program;
    QVERIFY(program.load(QStringLiteral(":/zh.qm")));
    QCOMPARE(program.translate(context.constData(), source.constData()), chinese);
}

QTEST_GUILESS_MAIN(TestEvents)
#include "tst_events.moc"
