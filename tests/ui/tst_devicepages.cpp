// The device settings, controls and schedule pages, and the SMS page's same-port check,
// in the real window with the program's own qml/ file: what the user types is checked as
// typed, nothing unstorable is sent, and a command that turns power off asks first.
#include "ui/mainwindow.h"

#include "core/clock.h"
#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/dialogs.h"
#include "core/helpers.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "core/historyfiles.h"
#include "tests/history/historyfixture.h"
#include "tests/support/devsimprocess.h"
#include "tests/support/qmlwindow.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/testenv.h"

#include <QSignalSpy>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace {
const QString kProgramQml = QStringLiteral(KESTRAVA_SOURCE_DIR "/qml/qmlmain.qml");

// Types into a field as a user would: the text changes and textEdited fires.
bool type(const QString &name, const QString &text)
{
    QQuickItem *field = pageItem(name);
    if (!field)
        return false;
    field->setProperty("text", text);
    QMetaObject::invokeMethod(field, "textEdited");
    settle();
    return true;
}

bool enabled(const QString &name)
{
    QQuickItem *i = pageItem(name);
    return i && i->isEnabled();
}

// A UPS whose settings block has been read, announcing the one-minute test, the
// countdown shutdown and the discharge depth.
void deviceReported()
{
    QWriteLocker l(&upsInfo.lock);
    upsInfo.supportFlags[0] = uint16_t((1 << 1) | (1 << 6) | (1 << 7));
    settingsValid = true;
}
} // namespace

class TestDevicePages : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void pagesInBothLanguages_data();
    void pagesInBothLanguages();
    void connectionChecksAddress();
    void selfTestWaitsForDevice();
    void controlsFollowSupportAndConfirmPowerOff();
    void inverterTurnOffAsksFirst();
    void commandsThatCutProtectionAsk_data();
    void commandsThatCutProtectionAsk();
    void bypassSentApartFromReported();
    void hourBandsInWords();
    void devicePortClashShown();
    void dischargeDepthChecked();
    void scheduleChecksAsTyped();
    void smsPageRefusesDevicePort_data();
    void smsPageRefusesDevicePort();
    void smsPageShowsTestOutcome_data();
    void smsPageShowsTestOutcome();
    void smsPageShowsRefusedNumber();
    void scheduledShutdownReachesDevice();
    void livePagesOfEachFamily_data();
    void livePagesOfEachFamily();

private:
    // Shown, for the screenshots; the other cases need no window on screen.
    void openWindow(bool shown = false);

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MainWindow> window;
    RecordingDialogs answers;
};

void TestDevicePages::init()
{
    env = std::make_unique<TestEnv>(QDateTime(QDate(2026, 3, 4), QTime(10, 15)));
    loadAllSettings();
    setSerialPortLister([] {
        return QList<SerialPortEntry>{{QStringLiteral("/dev/ttyS0"), QStringLiteral("ttyS0")},
                                      {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("ttyUSB0")}};
    });
    answers = RecordingDialogs();
    answers.boxAnswer = RecordingDialogs::Close;
    setDialogs(&answers);
}

void TestDevicePages::cleanup()
{
    window.reset();
    setDialogs(nullptr);
    setSerialPortLister({});
    env.reset();
}

void TestDevicePages::openWindow(bool shown)
{
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    if (shown) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    settle();
}

void TestDevicePages::pagesInBothLanguages_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<bool>("reported");
    QTest::newRow("English, device not read") << "1" << false;
    QTest::newRow("English, device read") << "1" << true;
    QTest::newRow("Chinese, device read") << "0" << true;
}

void TestDevicePages::pagesInBothLanguages()
{
    QFETCH(QString, lang);
    QFETCH(bool, reported);
    {
        QWriteLocker l(&settingsLock);
        systemSettings.lang = lang;
    }
    if (reported)
        deviceReported();
    QmlWarningRecorder warnings;
    openWindow(true);
    for (const char *page : {"devsettings", "controls", "schedule", "sms"}) {
        showPage(QLatin1String(page));
        // Every check message once, too.
        type(QStringLiteral("slaveAddress"), QStringLiteral("0"));
        type(QStringLiteral("testTime"), QStringLiteral("x"));
        type(QStringLiteral("dischargeDepth"), QStringLiteral("x"));
        type(QStringLiteral("shutdown_0"), QStringLiteral("x"));
        type(QStringLiteral("specialTime_0"), QStringLiteral("2026-02-30 10:00"));
        type(QStringLiteral("specialTime_1"), QStringLiteral("x"));
        const QString shot = QStringLiteral(KESTRAVA_BINARY_DIR "/artifacts/pages/%1-%2.png").arg(QLatin1String(page), lang);
        QDir().mkpath(QFileInfo(shot).path());
        declarativeView->grabFramebuffer().save(shot);
    }
    QVERIFY2(warnings.text().isEmpty(), qPrintable(warnings.text()));
}

void TestDevicePages::connectionChecksAddress()
{
    openWindow();
    showPage(QStringLiteral("devsettings"));
    QCOMPARE(pageItem(QStringLiteral("slaveAddress"))->property("text").toString(), QStringLiteral("1"));
    QCOMPARE(pageItem(QStringLiteral("devicePort"))->property("count").toInt(), 3); // two ports and "None"

    for (const char *bad : {"0", "248", "1x", "", "-1"}) {
        QVERIFY(type(QStringLiteral("slaveAddress"), QLatin1String(bad)));
        QVERIFY2(!enabled(QStringLiteral("saveConnection")), bad);
        QVERIFY(!pageItem(QStringLiteral("connectionProblem"))->property("text").toString().isEmpty());
    }
    QVERIFY(type(QStringLiteral("slaveAddress"), QStringLiteral("17")));
    pageItem(QStringLiteral("deviceFamily"))->setProperty("currentIndex", 2); // inverter
    pageItem(QStringLiteral("portType"))->setProperty("currentIndex", 0);     // serial
    pageItem(QStringLiteral("devicePort"))->setProperty("editText", QStringLiteral("ttyUSB0"));
    settle();
    QVERIFY(click(QStringLiteral("saveConnection")));
    QReadLocker l(&settingsLock);
    QCOMPARE(deviceSettings.comProtocol, QStringLiteral("3"));
    QCOMPARE(deviceSettings.comAddr, QStringLiteral("17"));
    QCOMPARE(deviceSettings.inverterSelectName, QStringLiteral("ttyUSB0"));
}

void TestDevicePages::selfTestWaitsForDevice()
{
    openWindow();
    showPage(QStringLiteral("devsettings"));
    QVERIFY(!enabled(QStringLiteral("saveSelfTest")));

    deviceReported();
    showPage(QStringLiteral("overview"));
    showPage(QStringLiteral("devsettings"));
    QCOMPARE(pageItem(QStringLiteral("testTime"))->property("text").toString(), QStringLiteral("08:00"));
    QVERIFY(type(QStringLiteral("testTime"), QStringLiteral("9:30")));
    QVERIFY(!enabled(QStringLiteral("saveSelfTest")));
    QVERIFY(type(QStringLiteral("testTime"), QStringLiteral("09:30")));
    pageItem(QStringLiteral("testInterval"))->setProperty("currentIndex", 1); // weekly
    pageItem(QStringLiteral("testWeekday"))->setProperty("currentIndex", 4);  // Friday
    settle();
    QVERIFY(click(QStringLiteral("saveSelfTest")));
    QReadLocker l(&settingsLock);
    QCOMPARE(deviceSettings.testInterval, QStringLiteral("1"));
    QCOMPARE(deviceSettings.testTimePerWeek, QStringLiteral("5"));
    QCOMPARE(deviceSettings.strNextTestTime, QStringLiteral("2026-03-06 09:30"));
}

void TestDevicePages::controlsFollowSupportAndConfirmPowerOff()
{
    openWindow();
    showPage(QStringLiteral("controls"));
    QVERIFY(!enabled(QStringLiteral("control_selfTest1Min")));

    deviceReported();
    showPage(QStringLiteral("overview"));
    showPage(QStringLiteral("controls"));
    QVERIFY(enabled(QStringLiteral("control_selfTest1Min")));
    QVERIFY(!enabled(QStringLiteral("control_dischargeLow")));
    QVERIFY(!enabled(QStringLiteral("control_cancelShutdown")));
    QVERIFY(click(QStringLiteral("control_selfTest1Min")));
    QCOMPARE(queuedWords(), QStringList{QStringLiteral("selfTest1Min")});
    QVERIFY(pageItem(QStringLiteral("lastSent"))->property("text").toString().endsWith(QStringLiteral("One-minute test")));

    // The countdown shutdown takes its time with it; an unstorable one is not sent.
    QVERIFY(type(QStringLiteral("countdownTime"), QStringLiteral("70000")));
    QVERIFY(!enabled(QStringLiteral("control_countdownOffInverter")));
    QVERIFY(type(QStringLiteral("countdownTime"), QStringLiteral("30")));
    QVERIFY(click(QStringLiteral("control_countdownOffInverter")));
    QObject *confirm = findObject(QStringLiteral("confirmPowerOff"));
    QVERIFY(confirm);
    QVERIFY(confirm->property("opened").toBool() || confirm->property("visible").toBool());
    QCOMPARE(queuedWords(), QStringList{QStringLiteral("selfTest1Min")}); // nothing until confirmed
    QMetaObject::invokeMethod(confirm, "reject");
    settle();
    QCOMPARE(queuedWords(), QStringList{QStringLiteral("selfTest1Min")});

    QVERIFY(click(QStringLiteral("control_countdownOffInverter")));
    QMetaObject::invokeMethod(confirm, "accept");
    settle();
    QCOMPARE(queuedWords(), (QStringList{QStringLiteral("selfTest1Min"), QStringLiteral("countdownOffInverter")}));
    QReadLocker l(&settingsLock);
    QCOMPARE(deviceSettings.countdownOffITime, QStringLiteral("30"));
}

void TestDevicePages::inverterTurnOffAsksFirst()
{
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.comProtocol = QStringLiteral("3");
    }
    deviceReported();
    openWindow();
    showPage(QStringLiteral("controls"));
    // The inverter offers its fixed set, whatever the support bits say.
    QVERIFY(enabled(QStringLiteral("control_cancelAlarmVoice")));
    QVERIFY(!pageItem(QStringLiteral("control_countdownOffInverter")));
    QVERIFY(click(QStringLiteral("control_turnOffInverter")));
    QObject *confirm = findObject(QStringLiteral("confirmPowerOff"));
    QVERIFY(confirm && confirm->property("visible").toBool());
    QCOMPARE(queuedWords(), QStringList());
    QMetaObject::invokeMethod(confirm, "accept");
    settle();
    QCOMPARE(queuedWords(), QStringList{QStringLiteral("turnOffInverter")});
    // Turning on needs no question.
    QVERIFY(click(QStringLiteral("control_turnOnInverter")));
    QCOMPARE(queuedWords(), (QStringList{QStringLiteral("turnOffInverter"), QStringLiteral("turnOnInverter")}));
}

void TestDevicePages::commandsThatCutProtectionAsk_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("supportBit"); // of word 0; the inverter offers its set whatever they say
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("says"); // in the question: what happens
    QTest::newRow("deep discharge") << "0" << 2 << "control_dischargeLow" << "dischargeLow" << "low-voltage limit";
    QTest::newRow("bypass on") << "1" << 3 << "bypassOn" << "OnBypassSwitch" << "without the device's protection";
    QTest::newRow("countdown shutdown") << "0" << 7 << "control_countdownOffInverter" << "countdownOffInverter"
                                        << "goes off 10 min after";
    QTest::newRow("inverter off") << "3" << 0 << "control_turnOffInverter" << "turnOffInverter" << "goes off as soon as";
}

void TestDevicePages::commandsThatCutProtectionAsk()
{
    QFETCH(QString, protocol);
    QFETCH(int, supportBit);
    QFETCH(QString, button);
    QFETCH(QString, word);
    QFETCH(QString, says);
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.comProtocol = protocol;
    }
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.supportFlags[0] = uint16_t(1 << supportBit);
        settingsValid = true;
    }
    QmlWarningRecorder warnings;
    openWindow(true);
    showPage(QStringLiteral("controls"));
    QQuickItem *question = pageItem(QStringLiteral("confirmPowerOff"));
    QVERIFY(question);

    // From the keyboard: Enter on the button asks, Esc cancels, nothing is queued.
    QQuickItem *opener = pageItem(button);
    QVERIFY(opener && opener->isEnabled());
    opener->forceActiveFocus();
    sendKey(Qt::Key_Return);
    QVERIFY(question->isVisible());
    QCOMPARE(queuedWords(), QStringList());
    const QString text = pageItem(QStringLiteral("confirmPowerOffText"))->property("text").toString();
    QVERIFY2(text.contains(says), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("within a few seconds")), qPrintable(text));
    const QString shot = QStringLiteral(KESTRAVA_BINARY_DIR "/artifacts/pages/controls-question-%1.png").arg(word);
    declarativeView->grabFramebuffer().save(shot);
    sendKey(Qt::Key_Escape);
    QVERIFY(!question->isVisible());
    QCOMPARE(queuedWords(), QStringList());
    QCOMPARE(focusedItem(), opener);

    // Answered yes: the word goes out, once.
    QVERIFY(click(button));
    QCOMPARE(queuedWords(), QStringList());
    QVERIFY(click(QStringLiteral("confirmCommand")));
    QCOMPARE(queuedWords(), QStringList{word});
    QVERIFY2(warnings.text().isEmpty(), qPrintable(warnings.text()));
}

void TestDevicePages::bypassSentApartFromReported()
{
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.comProtocol = QStringLiteral("1");
        deviceSettings.manBypassSwitch = QStringLiteral("0"); // "on" was sent
    }
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.supportFlags[0] = uint16_t(1 << 3);
        settingsValid = true;
        upsInfo.statusMaskHi = 0xffff;
        upsInfo.statusBits[19] = 0; // but the device is not on bypass
    }
    upsInfo.commState = CommOk;
    openWindow();
    window->mainTimer();
    showPage(QStringLiteral("controls"));
    auto shown = [](const char *name) { return pageItem(QLatin1String(name))->property("text").toString(); };
    QCOMPARE(shown("bypassSent"), QStringLiteral("Switch to bypass"));
    QCOMPARE(shown("bypassReported"), QStringLiteral("Not on bypass"));

    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.statusBits[19] = 1;
    }
    window->mainTimer();
    settle();
    QCOMPARE(shown("bypassReported"), QStringLiteral("On bypass"));

    // Leaving the bypass asks nothing: it gives the protection back.
    QVERIFY(click(QStringLiteral("bypassOff")));
    QCOMPARE(queuedWords(), QStringList{QStringLiteral("OffBypassSwitch")});
    QCOMPARE(shown("bypassSent"), QStringLiteral("Leave bypass"));

    upsInfo.commState = CommLost;
    window->mainTimer();
    settle();
    QCOMPARE(shown("bypassReported"), QStringLiteral("Not known: no link to the device"));
}

void TestDevicePages::hourBandsInWords()
{
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.supportFlags[1] = uint16_t(1 << 14); // the mode-1 bands (bit 30)
        settingsValid = true;
        upsInfo.inverterMode = 1;
        upsInfo.gridHourBands[0] = 255;
        upsInfo.gridHourBands[1] = 0;
        upsInfo.gridHourBands[2] = 0x31; // hours 16, 20 and 21
    }
    openWindow(true);
    showPage(QStringLiteral("controls"));
    auto shown = [](const char *name) { return pageItem(QLatin1String(name))->property("text").toString(); };
    QCOMPARE(shown("bandText0"), QStringLiteral("every hour"));
    QCOMPARE(shown("bandText1"), QStringLiteral("no hour"));
    QCOMPARE(shown("bandText2"), QStringLiteral("16 h, 20–21 h"));

    QSignalSpy sent(declarativeView->rootObject(), SIGNAL(setinvertermSignal(QString)));
    QVERIFY(click(QStringLiteral("hour_9")));
    QVERIFY(click(QStringLiteral("hour_16")));
    QCOMPARE(shown("bandText1"), QStringLiteral("9 h"));
    QCOMPARE(shown("bandText2"), QStringLiteral("20–21 h"));
    QVERIFY(click(QStringLiteral("applyMode")));
    QCOMPARE(sent.size(), 1);
    QVERIFY2(sent.at(0).at(0).toString().contains(QStringLiteral("255#2#48")), qPrintable(sent.at(0).at(0).toString()));
    QCOMPARE(queuedWords(), (QStringList{QStringLiteral("hour0-7"), QStringLiteral("hour8-15"), QStringLiteral("hour16-23")}));
}

void TestDevicePages::devicePortClashShown()
{
    {
        QWriteLocker l(&settingsLock);
        smsSettings.SMSSelectName = QStringLiteral("ttyUSB0");
    }
    openWindow();
    showPage(QStringLiteral("devsettings"));
    QVERIFY(!pageItem(QStringLiteral("portClash"))->isVisible());
    pageItem(QStringLiteral("devicePort"))->setProperty("editText", QStringLiteral("ttyUSB0"));
    QVERIFY(click(QStringLiteral("saveConnection")));
    QVERIFY(pageItem(QStringLiteral("portClash"))->isVisible());
    // Stored all the same: the user may be about to move the modem.
    QReadLocker l(&settingsLock);
    QCOMPARE(deviceSettings.inverterSelectName, QStringLiteral("ttyUSB0"));
}

void TestDevicePages::dischargeDepthChecked()
{
    deviceReported();
    openWindow();
    showPage(QStringLiteral("controls"));
    QCOMPARE(pageItem(QStringLiteral("dischargeDepth"))->property("text").toString(), QStringLiteral("1.85"));
    for (const char *bad : {"1.855", "abc", "", "700", "-1"}) {
        QVERIFY(type(QStringLiteral("dischargeDepth"), QLatin1String(bad)));
        QVERIFY2(!enabled(QStringLiteral("applyDepth")), bad);
    }
    QVERIFY(type(QStringLiteral("dischargeDepth"), QStringLiteral("1.7")));
    QVERIFY(click(QStringLiteral("applyDepth")));
    QCOMPARE(queuedWords(), QStringList{QStringLiteral("depthDischarge")});
    QReadLocker l(&settingsLock);
    QCOMPARE(deviceSettings.depthDischarge, 1.7);
}

void TestDevicePages::scheduleChecksAsTyped()
{
    openWindow();
    showPage(QStringLiteral("schedule"));
    QVERIFY(enabled(QStringLiteral("saveSchedule")));
    const struct { const char *field, *text; } bad[] = {
        {"shutdown_0", "22:3"}, {"boot_6", "24:00"}, {"specialTime_2", "2026-02-30 10:00"},
        {"specialTime_3", "2026-03-05"}, {"leadTime", "-5"}, {"leadTime", "five"}};
    for (const auto &b : bad) {
        QVERIFY(type(QLatin1String(b.field), QLatin1String(b.text)));
        QVERIFY2(!enabled(QStringLiteral("saveSchedule")), b.text);
        QVERIFY(!pageItem(QStringLiteral("scheduleProblem"))->property("text").toString().isEmpty());
        // Cleared again: an empty time is an entry that is off.
        QVERIFY(type(QLatin1String(b.field), QLatin1String(b.field) == QLatin1String("leadTime") ? "5" : ""));
    }
    QVERIFY(enabled(QStringLiteral("saveSchedule")));
    QVERIFY(type(QStringLiteral("shutdown_0"), QStringLiteral("22:30"))); // Monday
    QVERIFY(type(QStringLiteral("boot_6"), QStringLiteral("07:00")));     // Sunday
    QVERIFY(type(QStringLiteral("specialTime_0"), QStringLiteral("2026-03-04 18:00")));
    QVERIFY(click(QStringLiteral("saveSchedule")));
    QCOMPARE(pageItem(QStringLiteral("nextShutdown"))->property("text").toString(), QStringLiteral("2026-03-04 18:00"));
    QCOMPARE(pageItem(QStringLiteral("nextStartup"))->property("text").toString(), QStringLiteral("2026-03-08 07:00"));
    QReadLocker l(&scheduleListLock);
    QCOMPARE(scheduleList.size(), 21);
    QCOMPARE(scheduleList.at(0).tasktime, QStringLiteral("2026-03-09 22:30"));
    QCOMPARE(scheduleList.at(13).tasktime, QStringLiteral("2026-03-08 07:00"));
    QCOMPARE(scheduleList.at(14).tasktype, QStringLiteral("shutdown"));
    QCOMPARE(scheduleList.at(14).taskfreq, QStringLiteral("0"));
    QCOMPARE(preAlarm, QStringLiteral("5"));
}

void TestDevicePages::smsPageRefusesDevicePort_data()
{
    QTest::addColumn<QString>("deviceShown"); // the device port as the page is shown
    QTest::addColumn<QString>("deviceSaved"); // and as the user saves
    QTest::addColumn<QString>("modemPort");
    QTest::addColumn<bool>("clash");
    QTest::newRow("the device port") << "ttyUSB0" << "ttyUSB0" << "ttyUSB0" << true;
    QTest::newRow("device moved to it since shown") << "ttyS0" << "ttyUSB0" << "ttyUSB0" << true;
    QTest::newRow("another port") << "ttyUSB0" << "ttyUSB0" << "ttyS0" << false;
    QTest::newRow("device moved away since shown") << "ttyS0" << "ttyUSB0" << "ttyS0" << false;
    QTest::newRow("neither has a port") << "None" << "None" << "None" << false;
}

void TestDevicePages::smsPageRefusesDevicePort()
{
    QFETCH(QString, deviceShown);
    QFETCH(QString, deviceSaved);
    QFETCH(QString, modemPort);
    QFETCH(bool, clash);
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.inverterSelectName = deviceShown;
    }
    openWindow();
    showPage(QStringLiteral("sms"));
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.inverterSelectName = deviceSaved;
    }
    pageItem(QStringLiteral("modemPort"))->setProperty("editText", modemPort);
    QVERIFY(click(QStringLiteral("saveSms")));
    QCOMPARE(answers.boxes.size(), clash ? 1 : 0);
    if (clash)
        QVERIFY(answers.texts().first().contains(QStringLiteral("can't be same")));
    QReadLocker l(&settingsLock);
    QCOMPARE(smsSettings.SMSSelectName, clash ? QStringLiteral("None") : modemPort);
}

void TestDevicePages::smsPageShowsTestOutcome_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("modemOutcome"); // TestSmsState the modem gives; None: the thread decides
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no modem port chosen")
        << "1" << int(TestSmsState::None) << "" << "Test SMS not sent: No modem port is chosen";
    QTest::newRow("no modem port chosen, Chinese")
        << "0" << int(TestSmsState::None) << ""
        << QStringLiteral("\u6d4b\u8bd5\u77ed\u4fe1\u672a\u53d1\u9001\uff1a\u672a\u9009\u62e9\u77ed\u4fe1\u6a21\u5757\u7aef\u53e3");
    QTest::newRow("refused by the modem")
        << "1" << int(TestSmsState::Failed) << "+CMS ERROR: 500" << "Test SMS not sent: +CMS ERROR: 500";
    QTest::newRow("sent") << "1" << int(TestSmsState::Sent) << "" << "Test SMS sent.";
}

void TestDevicePages::smsPageShowsTestOutcome()
{
    QFETCH(QString, lang);
    QFETCH(int, modemOutcome);
    QFETCH(QString, reason);
    {
        QWriteLocker l(&settingsLock);
        systemSettings.lang = lang;
    }
    openWindow();
    showPage(QStringLiteral("sms"));
    QVERIFY(type(QStringLiteral("testPhone"), QStringLiteral("13900000001")));
    QVERIFY(click(QStringLiteral("sendTestSms")));
    QQuickItem *status = pageItem(QStringLiteral("testSmsStatus"));
    const QString queued = status->property("text").toString();
    QVERIFY2(!queued.isEmpty() && !queued.contains(QLatin1String("not sent")), qPrintable(queued));
    if (modemOutcome != int(TestSmsState::None)) {
        // What the SMS thread records once the modem has answered.
        quint64 request;
        {
            QReadLocker l(&settingsLock);
            request = smsSettings.testSmsRequest;
        }
        setTestSmsOutcome(request, TestSmsState(modemOutcome), reason);
    }
    QObject *root = declarativeView->rootObject();
    auto shownNow = [&] {
        QMetaObject::invokeMethod(root, "getSMSStateSignal");
        settle();
        return status->property("text").toString();
    };
    QFETCH(QString, shown);
    QTRY_COMPARE(shownNow(), shown);
}

void TestDevicePages::smsPageShowsRefusedNumber()
{
    openWindow();
    showPage(QStringLiteral("sms"));
    // A request the page itself would not send: its number fields take digits only.
    QVERIFY(QMetaObject::invokeMethod(declarativeView->rootObject(), "setsmsSignal",
                                      Q_ARG(QString, QStringLiteral(R"({"smsFlag":"0","comName":"ttyS0",)"
                                                                    R"("phones":"13800000001,139|2","sms_event_flag":"1,1"})"))));
    settle();
    QCOMPARE(pageItem(QStringLiteral("smsStatus"))->property("text").toString(),
             QStringLiteral(R"(Not saved: the number 139|2 holds "@" or "|".)"));
    QReadLocker l(&settingsLock);
    QCOMPARE(smsSettings.SMSSelectName, QStringLiteral("None"));
    QVERIFY(smsSettings.smsPhones.isEmpty() || smsSettings.smsPhones == QStringList{QString()});
}

void TestDevicePages::scheduledShutdownReachesDevice()
{
    // Wednesday 21:58; the device simulator on its pty, the program on the fixed clock.
    env->clock().set(at(2026, 3, 4, 21, 58));
    DevSimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--family"), QStringLiteral("three"), QStringLiteral("--steady")}));
    useSerialDevice(sim.path(), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("4"));
    openWindow();

    showPage(QStringLiteral("schedule"));
    QVERIFY(type(QStringLiteral("shutdown_2"), QStringLiteral("22:00"))); // Wednesday
    QVERIFY(type(QStringLiteral("leadTime"), QStringLiteral("1")));
    QVERIFY(click(QStringLiteral("saveSchedule")));
    QCOMPARE(pageItem(QStringLiteral("nextShutdown"))->property("text").toString(), QStringLiteral("2026-03-04 22:00"));

    // The history thread ticks once a real second and does what is due in the minute its
    // tick reads; the device thread steps on the clock's changes of the second. So the
    // clock runs ten times as fast as real time through the warning minute until the
    // warning is logged, then through the task minute until the slave has seen the write:
    // each minute gets several ticks even on a busy machine, and is left once its work is seen.
    auto shutdownWrites = [&] {
        int n = 0;
        for (const DevSimProcess::Request &r : sim.requests())
            n += r.fn == 6 && r.start == 0x1C && r.value == 0xFFFF;
        return n;
    };
    const QString eventLog = historyFilePath(HistoryFile::EventLog, DeviceFamily::ThreePhaseUps, QDate(2026, 3, 4));
    auto scheduleEvents = [&] {
        return sqliteRows(eventLog, QStringLiteral("select Description from alarmdata where Description in (63, 73)"));
    };
    auto runMinuteUntil = [&](const QDateTime &minute, const std::function<bool()> &done) {
        env->clock().set(minute);
        while (!done() && env->clock().now() < minute.addSecs(59)) {
            QTest::qWait(100);
            env->clock().advanceMs(1000);
        }
        return done();
    };
    QVERIFY(runMinuteUntil(at(2026, 3, 4, 21, 59), [&] { return scheduleEvents() == QStringList{"63"}; }));
    QVERIFY2(shutdownWrites() == 0, "the write came before the task minute");
    QVERIFY(runMinuteUntil(at(2026, 3, 4, 22, 0), [&] { return shutdownWrites() > 0; }));
    QCOMPARE(shutdownWrites(), 1);

    // The warning and the executed word reach the month's event log.
    QTRY_COMPARE_WITH_TIMEOUT(scheduleEvents(), (QStringList{"63", "73"}), 5000);
    QCOMPARE(pageItem(QStringLiteral("nextShutdown"))->property("text").toString(), QStringLiteral("2026-03-04 22:00"));
    showPage(QStringLiteral("overview"));
    showPage(QStringLiteral("schedule"));
    QCOMPARE(pageItem(QStringLiteral("nextShutdown"))->property("text").toString(), QStringLiteral("2026-03-11 22:00"));
}

void TestDevicePages::livePagesOfEachFamily_data()
{
    QTest::addColumn<QString>("family"); // the simulator's
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("lang");
    for (const char *lang : {"1", "0"}) {
        QTest::addRow("three-phase %s", lang) << "three" << "0" << lang;
        QTest::addRow("single-phase %s", lang) << "single" << "1" << lang;
        QTest::addRow("inverter %s", lang) << "inverter" << "3" << lang;
    }
}

void TestDevicePages::livePagesOfEachFamily()
{
    QFETCH(QString, family);
    QFETCH(QString, protocol);
    QFETCH(QString, lang);
    {
        QWriteLocker l(&settingsLock);
        systemSettings.lang = lang;
    }
    DevSimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--family"), family, QStringLiteral("--steady")}));
    const bool inverter = family == QLatin1String("inverter");
    // The evening: the load exceeds the PV and the battery gives 5 W, in two's complement.
    if (inverter)
        QVERIFY(sim.command(QStringLiteral("reg 90 65531")));
    useSerialDevice(sim.path(), protocol, QStringLiteral("1"), QStringLiteral("4"));
    env->runClock(); // the device thread polls on whole seconds of the clock
    QmlWarningRecorder warnings;
    openWindow(true);
    // The Overview asks again on its timer once the device has been read.
    QVERIFY(quickenRefresh(QStringLiteral("overviewPage")));

    auto text = [](const char *name) {
        QQuickItem *i = pageItem(QLatin1String(name));
        return i ? i->property("text").toString() : QString();
    };
    // Every box of the flow in watts once the device has answered.
    for (const char *box : {"flowPv_value", "flowLoad_value", "flowBattery_value"})
        QTRY_VERIFY2_WITH_TIMEOUT(text(box).endsWith(QLatin1String(" W")) || text(box).endsWith(QLatin1String(" kW")),
                                  qPrintable(QLatin1String(box) + QLatin1Char('=') + text(box)), 20000);
    if (inverter) {
        QCOMPARE(text("flowBattery_value"), QStringLiteral("5 W"));
        QCOMPARE(text("flowBattery_note"), lang == QLatin1String("0") ? QStringLiteral("放电中") : QStringLiteral("Discharging"));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(text("flowInput_value").endsWith(QLatin1String("W")), 5000);
    }
    for (const char *page : {"overview", "output", "bypass", "battery", "ac", "pv", "device", "other"}) {
        showPage(QLatin1String(page));
        savePageShot(QStringLiteral("live-%1-%2-%3").arg(family, lang, QLatin1String(page)));
    }
    QVERIFY2(warnings.text().isEmpty(), qPrintable(warnings.text()));
}

QTEST_MAIN(TestDevicePages)
#include "tst_devicepages.moc"
