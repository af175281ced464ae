// The window with the real QML engine and the program's own qml/ file.
#include "ui/mainwindow.h"
#include "ui/traystatus.h"
#include "bridge/devicerequests.h"

#include "core/events.h"
#include "core/historyfiles.h"
#include "core/paths.h"
#include "core/settings.h"
#include "device/decoders.h"
#include "tests/bridge/bridgefixture.h"
#include "tests/core/dbfixture.h"
#include "tests/support/devsimprocess.h"
#include "tests/support/fullfolder.h"
#include "tests/support/qmlwindow.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/testenv.h"
#include "core/dialogs.h"

#include <QAction>
#include <QDialog>
#include <QTimer>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QMetaMethod>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWidget>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const QString kProgramQml = QStringLiteral(KESTRAVA_SOURCE_DIR "/qml/qmlmain.qml");

QObject *contextObject(const char *name)
{
    return declarativeView->rootContext()->contextProperty(QLatin1String(name)).value<QObject *>();
}

QQuickItem *rootItem(const char *name)
{
    auto *root = qobject_cast<QQuickItem *>(declarativeView->rootObject());
    return root ? root->findChild<QQuickItem *>(QLatin1String(name)) : nullptr;
}

// Emits a root signal by its signature, with the request text when it takes one.
bool emitRoot(const QByteArray &signature, const QString &request)
{
    QObject *root = declarativeView->rootObject();
    const QByteArray name = signature.left(signature.indexOf('('));
    if (signature.endsWith("(QString)"))
        return QMetaObject::invokeMethod(root, name.constData(), Q_ARG(QString, request));
    return QMetaObject::invokeMethod(root, name.constData());
}

QString settingText(const QString &name)
{
    QReadLocker locker(&settingsLock);
    if (name == QLatin1String("dev_boudrate"))
        return systemSettings.dev_boudrate;
    if (name == QLatin1String("lang"))
        return systemSettings.lang;
    if (name == QLatin1String("serverHostaddr"))
        return emailSettings.serverHostaddr;
    if (name == QLatin1String("serverHostPort"))
        return emailSettings.serverHostPort;
    if (name == QLatin1String("SMSSelectName"))
        return smsSettings.SMSSelectName;
    if (name == QLatin1String("smsTestPhone"))
        return smsSettings.smsTestPhone;
    return QStringLiteral("<unknown setting>");
}

QString itemText(const QString &name)
{
    QQuickItem *item = findItem(name);
    return item ? item->property("text").toString() : QStringLiteral("<no item %1>").arg(name);
}

bool clickItem(const QString &name)
{
    QQuickItem *item = findItem(name);
    return item && QMetaObject::invokeMethod(item, "clicked");
}

void setItemText(const QString &name, const QString &text)
{
    QQuickItem *item = findItem(name);
    QVERIFY2(item, qPrintable(name));
    item->setProperty("text", text);
}

void postWarnings(int count);

// A communicating three-phase UPS with every gate open and one warning on screen, so
// every page has values to show.
void showAllDeviceValues()
{
    fillDeviceState();
    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.deviceName = QStringLiteral("Test UPS");
    }
    setDeviceState(QStringLiteral("0"), allMasks(), CommOk);
    postWarnings(1);
}

// Exactly these UPS status bits or inverter alarm slots set, every other one clear.
void setConditions(const QList<int> &ups, const QList<int> &inverter)
{
    QWriteLocker l(&upsInfo.lock);
    std::fill(std::begin(upsInfo.statusBits), std::end(upsInfo.statusBits), uint8_t(0));
    std::fill(std::begin(inverterInfo.alarms), std::end(inverterInfo.alarms), uint8_t(0));
    for (int bit : ups)
        upsInfo.statusBits[bit] = 1;
    for (int slot : inverter)
        inverterInfo.alarms[slot] = 1;
}

QString currentPage()
{
    return declarativeView->rootObject()->property("page").toString();
}

// Sets what a row names: "u<i>=text" the UPS's values[i], "i<r>=text" the inverter's
// register text, "w<r>=word" an inverter input register as the device sends it (decoded
// by the program, the other registers of its block 0); in the order given.
void setDeviceValues(const QStringList &values)
{
    for (const QString &entry : values) {
        const int eq = entry.indexOf(QLatin1Char('='));
        const int index = entry.mid(1, eq - 1).toInt();
        const QString text = entry.mid(eq + 1);
        if (entry.startsWith(QLatin1Char('w'))) {
            quint16 block[125] = {};
            block[index] = quint16(text.toUInt());
            QVERIFY(parseInverterModelBlock(15, block, 125));
            continue;
        }
        QWriteLocker l(&upsInfo.lock);
        if (entry.startsWith(QLatin1Char('u')))
            upsInfo.values[index] = text;
        else
            inverterInfo.values[index] = text;
    }
}

// An item's text, or "name.property" of it.
QString shownText(const QString &spec)
{
    const int dot = spec.indexOf(QLatin1Char('.'));
    QQuickItem *item = findItem(dot < 0 ? spec : spec.left(dot));
    if (!item)
        return QStringLiteral("<no item %1>").arg(spec);
    return item->property(dot < 0 ? "text" : qPrintable(spec.mid(dot + 1))).toString();
}

void postWarnings(int count)
{
    for (int i = 0; i < count; ++i)
        addEventRecord(EventItem{QDateTime::currentDateTime(), 1});
}
}

// The whole request contract, in its order.
const char *const kRequests[] = {
    "getFlowStateSignal()", "getLanguageSignal()", "getmwindowgenInfoSinal()", "getacInfoSignal()",
    "getbatinfoSignal()", "getbypassinfoSignal()", "getotherinfoSignal()", "getoutputinfoSignal()",
    "getdeviceinfoSignal()", "getpvinfoSignal()", "mainModuleDataSignal(QString)",
    "getchartdataSignal(QString)", "getReportSignal(QString)", "getRecordSignal(QString)",
    "saveClearReportCall(QString)", "saveCleaRecordSignal(QString)", "getInverterSetSignal()",
    "setinverterSignal(QString)", "setinvertermSignal(QString)", "setlongcontrolSignal(QString)",
    "setscheduleSignal(QString)", "setComConfigSignal(QString)", "setPublicparaSignal(QString)",
    "setemailSignal(QString)", "setsmsSignal(QString)", "getemailsetSignal()", "getsmssetSignal()",
    "setmanbypasssetSignal(QString)", "getinvertermodelSignal()", "sendtestemailSignal(QString)",
    "getlongconsetSignal()", "getWarningDataSignal()", "clearWarningSignal()", "getscheduleSignal()",
    "setDischargedepthSignal(QString)", "inputConfigSignal()", "outputConfigSignal()",
    "restoreconfigSignal()", "setInvertercomSignal(QString)", "getSystemSetSignal()",
    "getSMSStateSignal()", "sendSMSTestSignal(QString)", "getProtocolSignal()", "getScheduleTimeSignal()",
};

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void rootDeclaresEveryRequest();
    void slotsAndWiringInContractOrder();
    void requestGetsReply_data();
    void requestGetsReply();
    void missingRootSignalKeepsOtherConnections();
    void missingQmlFileLeavesRunningProgram();
    void relativeQmlPathFromRunFolder();

    void runTimeText_data();
    void runTimeText();
    void alarmIndicator_data();
    void alarmIndicator();
    void timerSkipsMissingItems();

    void trayTexts_data();
    void trayTexts();
    void trayClickShowsHiddenWindowOnly();
    void trayClickRestoresMinimizedWindow();
    void trayShowsDeviceState_data();
    void trayShowsDeviceState();
    void trayFacesDiffer();
    void closeButtonAsks_data();
    void closeButtonAsks();
    void portConflictWarningIsEnglish();
    void windowGeometry();

    void pageShowsReplies_data();
    void pageShowsReplies();
    void overviewOfInverter();
    void livePageRefreshesWhileShown();
    void languageFollowsSetting();
    void warningsPageClears();
    void warningLinesByKind_data();
    void warningLinesByKind();
    void formsRefuseBadInput_data();
    void formsRefuseBadInput();
    void saveIsConfirmed();
    void failedSaveIsShown_data();
    void failedSaveIsShown();
    void eventChooserWritesTheMask();
    void settingsPagesSave();
    void archiveButtonsAsk_data();
    void archiveButtonsAsk();
    void headerMovesAndClosesWindow();
    void exitWhileDeviceIsSilent();
    void historyThreadRunsWithTheWindow();
    void exitWhileMailServerIsSilent();
    void smsThreadRunsWithTheWindow();

    void deviceStateAtAGlance_data();
    void deviceStateAtAGlance();
    void activeAlarmOutlivesClearedWarnings();
    void linkLossShowsDashesAndReason();
    void unitsPerFamily_data();
    void unitsPerFamily();
    void overviewFlow_data();
    void overviewFlow();
    void valuesPerQuantity_data();
    void valuesPerQuantity();
    void keyboardNavigation();
    void everyPageHasAShortcut();
    void questionHoldsTheKeyboard();
    void focusReturnsAfterFileDialog();
    void minimizedWindowRendersNothing();

private:
    // The window with the program's own user interface, shown and settled.
    bool openShownWindow();

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MainWindow> window;
    RecordingDialogs answers;
};

void TestMainWindow::init()
{
    env = std::make_unique<TestEnv>();
    setDialogs(&answers);
    answers = RecordingDialogs();
    // No box here is answered: every question counts as closed.
    answers.boxAnswer = RecordingDialogs::Close;
}

bool TestMainWindow::openShownWindow()
{
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return false;
    settle();
    return true;
}

void TestMainWindow::cleanup()
{
    window.reset();
    // The scene graph hands its textures to deleteLater when the view goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    setDialogs(nullptr);
    env.reset();
}

void TestMainWindow::rootDeclaresEveryRequest()
{
    const auto &requests = kRequests;
    QCOMPARE(std::size(requests), size_t(44));
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    const QMetaObject *meta = declarativeView->rootObject()->metaObject();
    for (const char *request : requests)
        QVERIFY2(meta->indexOfSignal(request) >= 0, request);
}

void TestMainWindow::slotsAndWiringInContractOrder()
{
    QStringList slotNames;
    const QMetaObject &meta = MainWindow::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        if (meta.method(i).methodType() == QMetaMethod::Slot)
            slotNames << QString::fromLatin1(meta.method(i).methodSignature());
    }
    QCOMPARE(slotNames, (QStringList{"getInitValue()", "mystr()", "mainTimer()", "handleTestEmail(QString)",
                                     "receiverSmtpSignal(QString)", "handleInputConfig()", "handleOutputConfig()",
                                     "handleRestoreConfig()", "handleWarning()", "handleSerialCom()",
                                     "iconActivated(QSystemTrayIcon::ActivationReason)"}));
    QStringList contract;
    for (const char *request : kRequests)
        contract << QLatin1String(request);
    QCOMPARE(MainWindow::wiredRequests(), contract);
}

void TestMainWindow::requestGetsReply_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QByteArray>("receiver");
    // A reply signal of the receiver, or empty when the request only changes a setting.
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("value");

    const QString none;
    auto reply = [](const char *request, const QString &arg, const char *receiver, const char *replySignal) {
        QTest::newRow(request) << QByteArray(request) << arg << QByteArray(receiver) << QByteArray(replySignal)
                               << QString() << QString();
    };
    auto effect = [](const char *request, const QString &arg, const char *setting, const char *value) {
        QTest::newRow(request) << QByteArray(request) << arg << QByteArray("qmlobject") << QByteArray()
                               << QString::fromLatin1(setting) << QString::fromLatin1(value);
    };
    auto asks = [](const char *request, const QString &arg = QString()) {
        QTest::newRow(request) << QByteArray(request) << arg << QByteArray("window") << QByteArray()
                               << QString() << QString();
    };
    reply("getFlowStateSignal()", none, "qmlobject", "sigFlowState(QString,QString,QString,QString,QString,QString)");
    reply("getLanguageSignal()", none, "qmlobject", "siglang(QString)");
    reply("getmwindowgenInfoSinal()", none, "qmlobject", "sigMainGenInfo(QString)");
    reply("getacInfoSignal()", none, "qmlobject", "sigACInfo(QString)");
    reply("getbatinfoSignal()", none, "qmlobject", "sigBatInfo(QString)");
    reply("getbypassinfoSignal()", none, "qmlobject", "sigBypassInfo(QString)");
    reply("getotherinfoSignal()", none, "qmlobject", "sigOtherInfo(QString)");
    reply("getoutputinfoSignal()", none, "qmlobject", "sigOutputInfo(QString)");
    reply("getdeviceinfoSignal()", none, "qmlobject", "sigDeviceInfo(QString)");
    reply("getpvinfoSignal()", none, "qmlobject", "sigPVInfo(QString,QString)");
    reply("mainModuleDataSignal(QString)", QStringLiteral("{\"flag\":\"battery\"}"), "qmlobject",
          "sigMainModuleInfo(QString,QString)");
    reply("getchartdataSignal(QString)", QStringLiteral("{\"flag\":\"charttotal\"}"), "qmlobject",
          "sigChartTotal(QString)");
    reply("getReportSignal(QString)", QStringLiteral("{\"type\":\"report_day\",\"datetime\":\"20260115\"}"),
          "qmlobject", "sigReport(QString,QString,QString,QString)");
    reply("getRecordSignal(QString)", QStringLiteral("{\"type\":\"record_eventdata\",\"datetime\":\"202601\"}"),
          "qmlobject", "sigEventDataRecord(QString,QString,QString)");
    reply("saveClearReportCall(QString)",
          QStringLiteral("{\"type\":\"report_month\",\"operation\":\"clear\",\"datetime\":\"202601\"}"),
          "qmlobject", "sigReport(QString,QString,QString,QString)");
    reply("saveCleaRecordSignal(QString)",
          QStringLiteral("{\"type\":\"record_smsdata\",\"operation\":\"clear\",\"datetime\":\"202601\"}"),
          "qmlobject", "sigSMSDataRecord(QString,QString,QString)");
    // The device requests answer under "serial".
    reply("getInverterSetSignal()", none, "serial", "sigQtSInverterSet(QString)");
    reply("setscheduleSignal(QString)", QStringLiteral("{\"warnbeforeshutdown\":\"5\"}"), "serial",
          "sigQtSSchedTime(QString,QString)");
    reply("getinvertermodelSignal()", none, "serial", "sigQtSInverterMSet(QString,QString)");
    reply("getlongconsetSignal()", none, "serial", "sigQtSLongConSet(QString)");
    reply("getscheduleSignal()", none, "serial", "sigQtSSchedSet(QString)");
    reply("setInvertercomSignal(QString)", QStringLiteral("{\"comProtocol\":\"1\",\"selectName\":\"ttyS3\"}"),
          "serial", "sigSaveResult(QString,QString)");
    effect("setComConfigSignal(QString)", QStringLiteral("{\"dev_boudrate\":\"5\"}"), "dev_boudrate", "5");
    effect("setPublicparaSignal(QString)", QStringLiteral("{\"lang\":\"1\"}"), "lang", "1");
    effect("setemailSignal(QString)", QStringLiteral("{\"serverHostaddr\":\"127.0.0.1\"}"), "serverHostaddr",
           "127.0.0.1");
    effect("setsmsSignal(QString)", QStringLiteral("{\"smsFlag\":\"1\",\"comName\":\"ttyS7\"}"), "SMSSelectName",
           "ttyS7");
    reply("getemailsetSignal()", none, "qmlobject", "emailGetSig(QString)");
    reply("getsmssetSignal()", none, "qmlobject", "sigQtSSMSSet(QString)");
    reply("getWarningDataSignal()", none, "qmlobject", "warningDataSig(QString)");
    reply("clearWarningSignal()", none, "qmlobject", "clearAlarmSig()");
    // Not a JSON object: nothing is sent, the failure box is shown.
    asks("sendtestemailSignal(QString)", QStringLiteral("not a request"));
    asks("inputConfigSignal()");
    asks("outputConfigSignal()");
    asks("restoreconfigSignal()");
    reply("getSystemSetSignal()", none, "qmlobject", "sigSysSet(QString)");
    reply("getSMSStateSignal()", none, "qmlobject", "sigSMSState(QString)");
    effect("sendSMSTestSignal(QString)", QStringLiteral("{\"testphone\":\"5550100\"}"), "smsTestPhone", "5550100");
    reply("getProtocolSignal()", none, "qmlobject", "sigprotocol(QString)");
    reply("getScheduleTimeSignal()", none, "qmlobject", "sigScheduleTime(QString)");
}

void TestMainWindow::requestGetsReply()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, argument);
    QFETCH(QByteArray, receiver);
    QFETCH(QByteArray, reply);
    QFETCH(QString, setting);
    QFETCH(QString, value);

    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    QObject *target = contextObject(receiver.constData());
    QVERIFY2(target, receiver.constData());

    if (reply.isEmpty()) {
        QVERIFY(emitRoot(request, argument));
        if (setting.isEmpty()) // a window slot: it asks the user first
            QCOMPARE(answers.boxes.size() + answers.fileDialogCount(), 1);
        else
            QCOMPARE(settingText(setting), value);
        return;
    }
    const int index = target->metaObject()->indexOfSignal(reply.constData());
    QVERIFY2(index >= 0, reply.constData());
    QSignalSpy spy(target, target->metaObject()->method(index));
    QVERIFY(emitRoot(request, argument));
    // Replies are emitted before the request returns.
    QCOMPARE(spy.count(), 1);
}

void TestMainWindow::missingRootSignalKeepsOtherConnections()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("partial.qml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // Declares two of the request signals; the first of the wiring order is missing.
    file.write("import QtQuick\nItem { signal getLanguageSignal(); signal getProtocolSignal() }\n");
    file.close();

    window = std::make_unique<MainWindow>();
    window->loadQmlView(path);
    QObject *bridge = contextObject("qmlobject");
    QVERIFY(bridge);
    QSignalSpy lang(bridge, SIGNAL(siglang(QString)));
    QSignalSpy protocol(bridge, SIGNAL(sigprotocol(QString)));
    QVERIFY(emitRoot("getLanguageSignal()", {}));
    QVERIFY(emitRoot("getProtocolSignal()", {}));
    QCOMPARE(lang.count(), 1);
    QCOMPARE(protocol.count(), 1);
}

void TestMainWindow::missingQmlFileLeavesRunningProgram()
{
    window = std::make_unique<MainWindow>();
    window->loadQmlView(QStringLiteral("/nonexistent/Kestrava/qml/qmlmain.qml"));
    QVERIFY(!declarativeView->rootObject());
    QVERIFY(contextObject("window") == window.get());
    QVERIFY(contextObject("ThreeUPS"));
    QVERIFY(qobject_cast<DeviceRequests *>(contextObject("serial")));
    QVERIFY(window->deviceThreadRunning());
    window->show();
    const uint32_t before = runSeconds;
    window->mainTimer();
    QCOMPARE(runSeconds, before + 1);
    QTRY_VERIFY_WITH_TIMEOUT(runSeconds >= before + 2, 3000); // the timer runs on its own
    QVERIFY(window->isVisible());
}

void TestMainWindow::relativeQmlPathFromRunFolder()
{
    // The run folder sits beside a "Kestrava" link to the source tree, as tools/run lays
    // it out, so the program's relative path finds the program's own file.
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QStringLiteral(KESTRAVA_BINARY_DIR "/run")));
    window = std::make_unique<MainWindow>();
    window->loadQmlView(QStringLiteral("../Kestrava/qml/qmlmain.qml"));
    QDir::setCurrent(saved);
    QCOMPARE(declarativeView->status(), QQuickWidget::Ready);
    QVERIFY(rootItem("sysRunTime"));
}

void TestMainWindow::runTimeText_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<uint>("seconds");
    QTest::addColumn<QString>("text");
    const struct {
        const char *name;
        uint seconds;
        const char *english;
        const char *chinese;
    } rows[] = {
        {"59 s", 59, "00:00:59", "00:00:59"},
        {"a minute", 60, "00:01:00", "00:01:00"},
        {"an hour less 1 s", 3599, "00:59:59", "00:59:59"},
        {"an hour", 3600, "01:00:00", "01:00:00"},
        {"a day less 1 s", 86399, "23:59:59", "23:59:59"},
        {"a day", 86400, "01d:00:00:00", "01天00:00:00"},
        {"1 d 1 h 1 min 1 s", 90061, "01d:01:01:01", "01天01:01:01"},
        {"100 days", 8640000, "100d:00:00:00", "100天00:00:00"},
    };
    for (const auto &r : rows) {
        QTest::addRow("%s, English", r.name) << QStringLiteral("1") << r.seconds << QString::fromUtf8(r.english);
        QTest::addRow("%s, Chinese", r.name) << QStringLiteral("0") << r.seconds << QString::fromUtf8(r.chinese);
    }
}

void TestMainWindow::runTimeText()
{
    QFETCH(QString, lang);
    QFETCH(uint, seconds);
    QFETCH(QString, text);
    window = std::make_unique<MainWindow>();
    systemSettings.lang = lang;
    QCOMPARE(window->formatRunTime(seconds), text);
}

void TestMainWindow::alarmIndicator_data()
{
    QTest::addColumn<int>("warnings");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("comm");
    QTest::addColumn<QList<int>>("conditions"); // UPS bits or inverter slots set
    QTest::addColumn<qreal>("opacity");
    QTest::addColumn<QString>("number");
    // Lit while the list holds lines; the number counts what needs attention now, not
    // the lines (which stop at eight).
    QTest::newRow("none") << 0 << "0" << int(CommOk) << QList<int>{} << 0.0 << QString();
    QTest::newRow("three lines, all well") << 3 << "0" << int(CommOk) << QList<int>{} << 1.0 << QStringLiteral("0");
    QTest::newRow("nine lines, two faults and on battery")
        << 9 << "0" << int(CommOk) << QList<int>{3, 12, 20} << 1.0 << QStringLiteral("2");
    QTest::newRow("inverter, one slot") << 2 << "3" << int(CommOk) << QList<int>{0} << 1.0 << QStringLiteral("1");
    QTest::newRow("link lost") << 1 << "0" << int(CommLost) << QList<int>{3} << 1.0 << QStringLiteral("1");
}

void TestMainWindow::alarmIndicator()
{
    QFETCH(int, warnings);
    QFETCH(QString, protocol);
    QFETCH(int, comm);
    QFETCH(QList<int>, conditions);
    QFETCH(qreal, opacity);
    QFETCH(QString, number);
    fillDeviceState();
    setDeviceState(protocol, allMasks(), comm);
    const bool inverter = deviceFamily(protocol) == DeviceFamily::Inverter;
    setConditions(inverter ? QList<int>{} : conditions, inverter ? conditions : QList<int>{});
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    QQuickItem *alarmRect = rootItem("alarmRect");
    QQuickItem *alarmNum = rootItem("alarmNum");
    QVERIFY(alarmRect && alarmNum);
    alarmRect->setOpacity(0.5);
    postWarnings(warnings);

    window->mainTimer();
    QCOMPARE(alarmRect->opacity(), opacity);
    QCOMPARE(alarmNum->property("text").toString(), number);
    QCOMPARE(rootItem("sysRunTime")->property("text").toString(), window->formatRunTime(runSeconds));
}

void TestMainWindow::timerSkipsMissingItems()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("noruntime.qml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("import QtQuick\nItem { Item { objectName: \"alarmRect\"; opacity: 0\n"
               "  function setOpacity_1() { opacity = 1 } function setOpacity_0() { opacity = 0 } } }\n");
    file.close();
    window = std::make_unique<MainWindow>();
    window->loadQmlView(path);
    postWarnings(2);
    window->mainTimer();
    QCOMPARE(rootItem("alarmRect")->opacity(), 1.0);
}

void TestMainWindow::trayTexts_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("English") << QStringLiteral("1")
                             << QStringList{QStringLiteral("&Restore"), QString(), QStringLiteral("&Hide"), QString(),
                                            QStringLiteral("&Quit")};
    QTest::newRow("Chinese") << QStringLiteral("0")
                             << QStringList{QStringLiteral("恢复"), QString(), QStringLiteral("隐藏"), QString(),
                                            QStringLiteral("退出")};
}

void TestMainWindow::trayTexts()
{
    QFETCH(QString, lang);
    QFETCH(QStringList, entries);
    systemSettings.lang = lang;
    window = std::make_unique<MainWindow>();
    QMenu *menu = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *m = qobject_cast<QMenu *>(w))
            menu = m;
    }
    QVERIFY(menu);
    QStringList shown;
    for (QAction *a : menu->actions())
        shown << (a->isSeparator() ? QString() : a->text());
    QCOMPARE(shown, entries);
}

void TestMainWindow::trayClickShowsHiddenWindowOnly()
{
    window = std::make_unique<MainWindow>();
    window->iconActivated(QSystemTrayIcon::DoubleClick);
    QVERIFY(window->isHidden());
    window->iconActivated(QSystemTrayIcon::Context);
    QVERIFY(window->isHidden());
    window->iconActivated(QSystemTrayIcon::Trigger);
    QVERIFY(window->isVisible());
    window->iconActivated(QSystemTrayIcon::Trigger);
    QVERIFY(window->isVisible());
}

void TestMainWindow::trayClickRestoresMinimizedWindow()
{
    QVERIFY(openShownWindow());
    // The header's "–".
    QVERIFY(QMetaObject::invokeMethod(declarativeView->rootObject(), "minimizeWindow"));
    settle();
    QVERIFY(window->isMinimized());
    window->iconActivated(QSystemTrayIcon::Context);
    QVERIFY(window->isMinimized());
    window->iconActivated(QSystemTrayIcon::Trigger);
    settle();
    QVERIFY(!window->isMinimized());
    QVERIFY(window->isVisible());
    QVERIFY(declarativeView->isVisible()); // rendering again
}

void TestMainWindow::trayShowsDeviceState_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("comm");
    QTest::addColumn<QList<int>>("conditions");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("toolTip");
    const int normal = int(TrayLevel::Normal), alarm = int(TrayLevel::Alarm), noLink = int(TrayLevel::NoLink);
    QTest::newRow("all well") << "1" << "0" << int(CommOk) << QList<int>{} << normal << "Kestrava\nNormal";
    // On battery is a way of running, not an alarm.
    QTest::newRow("on battery") << "1" << "1" << int(CommOk) << QList<int>{20} << normal << "Kestrava\nNormal";
    QTest::newRow("battery fault") << "1" << "0" << int(CommOk) << QList<int>{3, 20} << alarm
                                   << "Kestrava\nAlarm: Battery fault happen";
    QTest::newRow("two faults") << "1" << "0" << int(CommOk) << QList<int>{3, 12} << alarm
                                << "Kestrava\nAlarm: Battery fault happen, and 1 more";
    QTest::newRow("inverter input") << "1" << "4" << int(CommOk) << QList<int>{0} << alarm
                                    << "Kestrava\nAlarm: Input abnormal appear";
    QTest::newRow("link lost") << "1" << "0" << int(CommLost) << QList<int>{3} << noLink
                               << "Kestrava\nNo link to the device";
    QTest::newRow("connecting") << "1" << "0" << int(CommConnecting) << QList<int>{} << noLink
                                << "Kestrava\nConnecting to the device";
    QTest::newRow("Chinese, battery fault") << "0" << "0" << int(CommOk) << QList<int>{3} << alarm
                                            << "Kestrava\n告警：电池故障发生";
}

void TestMainWindow::trayShowsDeviceState()
{
    QFETCH(QString, lang);
    QFETCH(QString, protocol);
    QFETCH(int, comm);
    QFETCH(QList<int>, conditions);
    QFETCH(int, level);
    QFETCH(QString, toolTip);
    systemSettings.lang = lang;
    fillDeviceState();
    setDeviceState(protocol, allMasks(), comm);
    const bool inverter = deviceFamily(protocol) == DeviceFamily::Inverter;
    setConditions(inverter ? QList<int>{} : conditions, inverter ? conditions : QList<int>{});
    window = std::make_unique<MainWindow>();
    window->mainTimer();
    QCOMPARE(int(window->shownTrayStatus().level), level);
    QCOMPARE(window->shownTrayStatus().toolTip, toolTip);

    // The device recovers: the tray follows at the next tick.
    setDeviceState(protocol, allMasks(), CommOk);
    setConditions({}, {});
    window->mainTimer();
    QCOMPARE(window->shownTrayStatus().level, TrayLevel::Normal);
}

void TestMainWindow::trayFacesDiffer()
{
    const QImage normal = trayFace(TrayLevel::Normal).pixmap(32).toImage();
    const QImage alarm = trayFace(TrayLevel::Alarm).pixmap(32).toImage();
    const QImage noLink = trayFace(TrayLevel::NoLink).pixmap(32).toImage();
    QVERIFY(!normal.isNull());
    QVERIFY(normal != alarm);
    QVERIFY(normal != noLink);
    QVERIFY(alarm != noLink);
    // The alarm's mark is red.
    const QColor mark = alarm.pixelColor(26, 26);
    QVERIFY2(mark.red() > 150 && mark.green() < 100, qPrintable(mark.name()));
}

void TestMainWindow::closeButtonAsks_data()
{
    QTest::addColumn<QString>("answer"); // the button clicked, empty for Esc
    QTest::addColumn<bool>("remember");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("minimized");
    QTest::addColumn<int>("secondBoxes"); // the boxes after a second click on the close button
    // Without a system tray (as here) the window goes on minimized, never hidden beyond reach.
    QTest::newRow("quit") << "&Quit" << false << false << false << 2;
    QTest::newRow("keep monitoring") << "Keep monitoring, minimized" << false << true << true << 2;
    QTest::newRow("cancel") << "Cancel" << false << true << false << 2;
    QTest::newRow("Esc") << "" << true << true << false << 2;
    QTest::newRow("keep monitoring, remembered") << "Keep monitoring, minimized" << true << true << true << 1;
}

void TestMainWindow::closeButtonAsks()
{
    QFETCH(QString, answer);
    QFETCH(bool, remember);
    QFETCH(bool, visible);
    QFETCH(bool, minimized);
    QFETCH(int, secondBoxes);
    QVERIFY(openShownWindow());
    answers.buttonAnswer = answer;
    answers.tickCheckBox = remember;
    QVERIFY(QMetaObject::invokeMethod(declarativeView->rootObject(), "closeWindow"));
    settle();
    QCOMPARE(answers.boxes.size(), 1);
    QCOMPARE(answers.boxes.at(0).text, QStringLiteral("Quit Kestrava and stop monitoring the device?"));
    QCOMPARE(answers.boxes.at(0).defaultButton, QStringLiteral("Keep monitoring, minimized"));
    QCOMPARE(window->isVisible(), visible);
    QCOMPARE(window->isMinimized(), minimized);
    if (!visible)
        return;
    window->showNormal();
    settle();
    QVERIFY(QMetaObject::invokeMethod(declarativeView->rootObject(), "closeWindow"));
    settle();
    QCOMPARE(answers.boxes.size(), secondBoxes);
}

void TestMainWindow::portConflictWarningIsEnglish()
{
    systemSettings.lang = QStringLiteral("0");
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    QObject *bridge = contextObject("qmlobject");
    QVERIFY(bridge);
    // The QML raises the conflict through the context object.
    QVERIFY(QMetaObject::invokeMethod(bridge, "qmlobjectCom"));
    QCOMPARE(answers.titles(), QStringList{QStringLiteral("Tip")});
    QCOMPARE(answers.texts(),
             QStringList{QStringLiteral("The SMS communication port and the UPS communication port can't be same !")});
    QCOMPARE(answers.boxes.at(0).buttons.size(), 1);
}

void TestMainWindow::windowGeometry()
{
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    QCOMPARE(window->size(), QSize(980, 680));
    QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
    const QMargins margins = window->layout()->contentsMargins();
    QCOMPARE(margins, QMargins(5, 3, 5, 7));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(declarativeView->geometry(), QRect(5, 3, 970, 670));
}

void TestMainWindow::pageShowsReplies_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("text");
    // The fixture's device values name their place: values[i] is "u<i>", the PV input
    // rows "v<n>", "c<n>", ...; every gate is open and the odd status bits are set.
    QTest::newRow("overview, output panel") << "overview" << "value_outputvol" << "u17 V";
    QTest::newRow("overview, flow") << "overview" << "flowLoad_note" << "Load u22 %";
    QTest::newRow("overview, generation") << "overview" << "generation_2" << "u31 kWh";
    QTest::newRow("output") << "output" << "value_outputvol" << "u17 V";
    QTest::newRow("output, status bit 5 set") << "output" << "value_outputstate" << "Fault";
    QTest::newRow("bypass") << "bypass" << "value_bypassvol" << "u24 V";
    QTest::newRow("battery") << "battery" << "value_batvol" << "u3 V";
    QTest::newRow("battery, status bit 16 clear") << "battery" << "value_batdepletion" << "No";
    QTest::newRow("AC input") << "ac" << "value_inputvol" << "u9 V";
    QTest::newRow("PV") << "pv" << "value_pvvol" << "u27 V";
    QTest::newRow("PV input 8 voltage") << "pv" << "pvinput_7_1" << "v8";
    QTest::newRow("PV input 1 fault") << "pv" << "pvinput_0_5" << "Normal";
    QTest::newRow("device") << "device" << "value_devicename" << "Test UPS";
    QTest::newRow("status") << "other" << "value_comstate" << "Communicating";
    QTest::newRow("status, machine temperature") << "other" << "value_systemp" << "36.6 °C";
    QTest::newRow("warnings") << "warnings" << "warning_0" << "System fault happen";
    QTest::newRow("system") << "system" << "family" << "Three-phase UPS";
    QTest::newRow("e-mail") << "email" << "serverHost" << QString::fromLatin1(kDefaultServerHostaddr);
    QTest::newRow("e-mail, where the test goes") << "email" << "testEmailNote"
                                                 << "The test e-mail goes to this address only.";
    // SMS is on at first start, with no modem port chosen.
    QTest::newRow("sms") << "sms" << "modemState" << "Modem port failed";
}

void TestMainWindow::pageShowsReplies()
{
    QFETCH(QString, page);
    QFETCH(QString, item);
    QFETCH(QString, text);
    loadEmailSettings(); // the first-start defaults
    loadSmsSettings();
    showAllDeviceValues();
    QmlWarningRecorder warnings;
    QVERIFY(openShownWindow());
    showPage(page);
    // The modem state comes from the SMS thread's first pass, and the page asks for it
    // every few seconds.
    QTRY_COMPARE_WITH_TIMEOUT(itemText(item), text, 8000);
    savePageShot(page);
    QVERIFY2(warnings.messages().isEmpty(), qPrintable(warnings.messages().join(QLatin1Char('\n'))));
}

void TestMainWindow::overviewOfInverter()
{
    // The module panels hold UPS values only; the inverter's panel is its live page.
    fillDeviceState();
    setDeviceState(QStringLiteral("3"), Masks(), CommOk);
    QmlWarningRecorder warnings;
    QVERIFY(openShownWindow());
    QCOMPARE(itemText(QStringLiteral("value_outputvol")), QStringLiteral("i26 V"));
    QVERIFY(clickItem(QStringLiteral("flowBattery")));
    settle();
    QCOMPARE(itemText(QStringLiteral("value_batvol")), QStringLiteral("i47 V"));
    QCOMPARE(itemText(QStringLiteral("value_batstate")), QStringLiteral("State i75")); // a state code, not a bit
    // Its PV power comes in W, the same figure in the flow as under generation; "i131" is
    // no number, so the flow has none.
    QCOMPARE(itemText(QStringLiteral("flowPv_value")), QStringLiteral("-"));
    QCOMPARE(itemText(QStringLiteral("generation_0")), QStringLiteral("i131 W"));
    savePageShot(QStringLiteral("overview-inverter"));
    QVERIFY2(warnings.messages().isEmpty(), qPrintable(warnings.messages().join(QLatin1Char('\n'))));
}

void TestMainWindow::livePageRefreshesWhileShown()
{
    setDeviceState(QStringLiteral("0"), Masks(), CommOk);
    QVERIFY(openShownWindow());
    QObject *bridge = contextObject("qmlobject");
    QSignalSpy output(bridge, SIGNAL(sigOutputInfo(QString)));
    QSignalSpy bypass(bridge, SIGNAL(sigBypassInfo(QString)));
    showPage(QStringLiteral("output"));
    QCOMPARE(output.count(), 1); // asked for as it comes into view
    QVERIFY(quickenRefresh(QStringLiteral("outputPage")));
    QTRY_VERIFY_WITH_TIMEOUT(output.count() >= 2, 5000); // and again on its timer
    QCOMPARE(bypass.count(), 0); // a page out of view asks for nothing
}

void TestMainWindow::languageFollowsSetting()
{
    systemSettings.lang = QStringLiteral("0");
    // Every value row and warning present, so each label is looked up too.
    showAllDeviceValues();
    QmlWarningRecorder warnings;
    QVERIFY(openShownWindow());
    // Every page once in Chinese, so a text the catalogue lacks or a binding that fails
    // in this language shows up too.
    for (const char *page : {"overview", "output", "bypass", "battery", "ac", "pv", "device", "other",
                             "warnings", "system", "email", "sms", "archive"})
        showPage(QLatin1String(page));
    QCOMPARE(itemText(QStringLiteral("exportSettings")), QStringLiteral("导出设置…"));
    showPage(QStringLiteral("overview"));
    savePageShot(QStringLiteral("overview-zh"));
    QVERIFY2(warnings.messages().isEmpty(), qPrintable(warnings.messages().join(QLatin1Char('\n'))));

    // The language page switches at once.
    showPage(QStringLiteral("system"));
    QQuickItem *language = findItem(QStringLiteral("language"));
    QVERIFY(language);
    language->setProperty("currentIndex", 0); // English
    QVERIFY(clickItem(QStringLiteral("saveLanguage")));
    settle();
    QCOMPARE(systemSettings.lang, QStringLiteral("1"));
    showPage(QStringLiteral("archive"));
    QCOMPARE(itemText(QStringLiteral("exportSettings")), QStringLiteral("Export settings…"));
}

void TestMainWindow::warningsPageClears()
{
    setDeviceState(QStringLiteral("0"), Masks(), CommOk);
    postWarnings(3);
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    settle();
    showPage(QStringLiteral("warnings"));
    QVERIFY(findItem(QStringLiteral("warning_2")));
    // The first click asks; a cancel keeps the list.
    QVERIFY(clickItem(QStringLiteral("clearWarnings")));
    settle();
    QVERIFY(clickItem(QStringLiteral("cancelClearWarnings")));
    settle();
    QVERIFY(findItem(QStringLiteral("warning_2")));
    {
        QReadLocker locker(&warningListLock);
        QCOMPARE(warningList.size(), 3);
    }
    QVERIFY(clickItem(QStringLiteral("clearWarnings")));
    settle();
    QVERIFY(clickItem(QStringLiteral("confirmClearWarnings")));
    settle();
    QVERIFY(!findItem(QStringLiteral("warning_0")));
    QReadLocker locker(&warningListLock);
    QVERIFY(warningList.isEmpty());
}

void TestMainWindow::formsRefuseBadInput_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("reason");
    QTest::newRow("port 99999") << "email" << "serverPort" << "99999" << "saveEmail" << "emailStatus"
                                << "Enter a whole number from 1 to 65535";
    QTest::newRow("port 0") << "email" << "serverPort" << "0" << "sendTestEmail" << "emailStatus"
                            << "Enter a whole number from 1 to 65535";
    QTest::newRow("sender") << "email" << "sender" << "not an address" << "sendTestEmail" << "emailStatus"
                            << "Write an e-mail address, for example name@example.org";
    QTest::newRow("daily report 25:99") << "email" << "dayTime" << "25:99" << "saveEmail" << "emailStatus"
                                        << "Write the time as hh:mm, for example 22:30";
    QTest::newRow("monthly report") << "email" << "monthTime" << "32 08:00" << "saveEmail" << "emailStatus"
                                    << "Write the day and time as dd hh:mm, for example 01 08:00";
    QTest::newRow("yearly report") << "email" << "yearTime" << "02/30 08:00" << "saveEmail" << "emailStatus"
                                   << "No such date";
    QTest::newRow("recipient foo") << "email" << "recipient_0" << "foo" << "saveEmail" << "emailStatus"
                                   << "Recipient 1: Write an e-mail address, for example name@example.org";
    QTest::newRow("phone abc") << "sms" << "phone_0" << "abc" << "saveSms" << "smsStatus"
                               << "Recipient 1: Write the number in digits, with an optional leading +";
    QTest::newRow("test SMS to abc") << "sms" << "testPhone" << "abc" << "sendTestSms" << "testSmsStatus"
                                     << "Write the number in digits, with an optional leading +";
}

void TestMainWindow::formsRefuseBadInput()
{
    loadEmailSettings(); // the first-start defaults
    loadSmsSettings();
    QFETCH(QString, page);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, button);
    QFETCH(QString, status);
    QFETCH(QString, reason);
    {
        QWriteLocker locker(&settingsLock);
        emailSettings.senderAddr = QStringLiteral("kestrava@example.org");
        emailSettings.genRDFlag = emailSettings.genRMFlag = emailSettings.genRYFlag = QStringLiteral("0");
        emailSettings.genRDay = QStringLiteral("08:00");
        emailSettings.genRMonth = QStringLiteral("01 08:00");
        emailSettings.genRYear = QStringLiteral("01/01 08:00");
    }
    QVERIFY(openShownWindow());
    showPage(page);
    if (field.endsWith(QLatin1String("_0"))) {
        QVERIFY(clickItem(page == QLatin1String("sms") ? QStringLiteral("addPhone") : QStringLiteral("addRecipient")));
        settle();
    }
    QVERIFY(findItem(button)->property("enabled").toBool() || button == QLatin1String("sendTestSms"));
    setItemText(field, text);
    QMetaObject::invokeMethod(findItem(field), "textEdited");
    settle();
    QCOMPARE(itemText(status), reason);
    QVERIFY(!findItem(button)->property("enabled").toBool());

    // Pressed anyway, it sends nothing.
    const QString before = settingText(QStringLiteral("serverHostPort"));
    QObject *bridge = contextObject("qmlobject");
    QSignalSpy emailSaved(bridge, SIGNAL(emailGetSig(QString)));
    QSignalSpy smsSaved(bridge, SIGNAL(sigQtSSMSSet(QString)));
    QVERIFY(clickItem(button));
    settle();
    QCOMPARE(answers.boxes.size(), 0); // no test e-mail went out
    QCOMPARE(emailSaved.count() + smsSaved.count(), 0);
    QCOMPARE(settingText(QStringLiteral("serverHostPort")), before);
    QCOMPARE(settingText(QStringLiteral("smsTestPhone")), QString());
}

void TestMainWindow::saveIsConfirmed()
{
    loadEmailSettings();
    {
        QWriteLocker locker(&settingsLock);
        emailSettings.serverHostaddr = QStringLiteral("smtp.example.org");
        emailSettings.senderAddr = QStringLiteral("kestrava@example.org");
    }
    QVERIFY(openShownWindow());
    showPage(QStringLiteral("email"));
    QCOMPARE(itemText(QStringLiteral("emailStatus")), QString());
    setItemText(QStringLiteral("serverPort"), QStringLiteral("587"));
    QVERIFY(clickItem(QStringLiteral("saveEmail")));
    settle();
    QCOMPARE(settingText(QStringLiteral("serverHostPort")), QStringLiteral("587"));
    QCOMPARE(itemText(QStringLiteral("emailStatus")), QStringLiteral("Settings saved."));
}

void TestMainWindow::failedSaveIsShown_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("lang");
    QTest::newRow("e-mail") << "email" << "saveEmail" << "emailStatus" << "1";
    QTest::newRow("SMS") << "sms" << "saveSms" << "smsStatus" << "1";
    QTest::newRow("schedule") << "schedule" << "saveSchedule" << "scheduleProblem" << "1";
    QTest::newRow("ports") << "system" << "savePorts" << "portsSaveFailure" << "1";
    QTest::newRow("language") << "system" << "saveLanguage" << "languageSaveFailure" << "1";
    QTest::newRow("self-test") << "devsettings" << "saveSelfTest" << "selfTestSaveFailure" << "1";
    QTest::newRow("e-mail, Chinese") << "email" << "saveEmail" << "emailStatus" << "0";
}

void TestMainWindow::failedSaveIsShown()
{
    QFETCH(QString, page);
    QFETCH(QString, button);
    QFETCH(QString, status);
    QFETCH(QString, lang);
    FullFolder folder;
    if (!folder.mount(appPaths.paramDir))
        QSKIP("mounting a small file system is not allowed here");
    loadEmailSettings();
    {
        QWriteLocker locker(&settingsLock);
        systemSettings.lang = lang;
        emailSettings.serverHostaddr = QStringLiteral("smtp.example.org");
        emailSettings.senderAddr = QStringLiteral("kestrava@example.org");
    }
    // The self-test settings are offered once the device has reported its own.
    settingsValid = true;
    QVERIFY(folder.fill());
    QVERIFY(openShownWindow());
    declarativeView->rootObject()->setProperty("family", QStringLiteral("0"));
    showPage(page);
    QCOMPARE(itemText(status), QString());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not saved to|cannot write")));
    QVERIFY(clickItem(button));
    settle();
    const QString expected = lang == QLatin1String("0") ? QStringLiteral("设置未保存: 磁盘已满")
                                                        : QStringLiteral("Settings not saved: the disk is full");
    QCOMPARE(itemText(status), expected);

    // Saved once there is room again: the failure goes.
    folder.release();
    QVERIFY(clickItem(button));
    settle();
    QVERIFY2(!itemText(status).contains(expected), qPrintable(itemText(status)));
}

void TestMainWindow::eventChooserWritesTheMask()
{
    loadEmailSettings();
    QVERIFY(openShownWindow());
    showPage(QStringLiteral("email"));
    QVERIFY(clickItem(QStringLiteral("addRecipient")));
    settle();
    setItemText(QStringLiteral("recipient_0"), QStringLiteral("ops@example.org"));
    QMetaObject::invokeMethod(findItem(QStringLiteral("recipient_0")), "textEdited");
    QCOMPARE(itemText(QStringLiteral("events_0")), QStringLiteral("All events"));
    QVERIFY(clickItem(QStringLiteral("events_0")));
    settle();
    savePageShot(QStringLiteral("email-events"));
    // Battery fault (bit 3) and the link (bit 28) off: 536870911 - 8 - 268435456.
    for (const char *box : {"event_3", "event_28"}) {
        QQuickItem *item = findItem(QLatin1String(box));
        QVERIFY2(item, box);
        item->setProperty("checked", false);
        QMetaObject::invokeMethod(item, "toggled");
    }
    settle();
    QCOMPARE(itemText(QStringLiteral("events_0")), QStringLiteral("27 events"));
    QVERIFY(clickItem(QStringLiteral("closeEventChooser")));
    settle();
    QVERIFY(clickItem(QStringLiteral("saveEmail")));
    settle();
    QReadLocker locker(&settingsLock);
    QCOMPARE(emailSettings.mailEventFlags, QStringList{QStringLiteral("268435447")});
}

void TestMainWindow::warningLinesByKind_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("kind");
    QTest::newRow("fault, English") << "1" << "0" << 7 << "alarm";           // Battery fault happen
    QTest::newRow("recovery, English") << "1" << "0" << 6 << "recovery";     // Battery fault disappear
    QTest::newRow("voltage normal") << "1" << "0" << 30 << "recovery";       // Battery voltage normal
    QTest::newRow("on battery") << "1" << "1" << 41 << "state";              // Battery supply happen
    QTest::newRow("link regained") << "1" << "0" << 56 << "recovery";        // Communication succeed
    QTest::newRow("link lost") << "1" << "0" << 57 << "alarm";
    QTest::newRow("command") << "1" << "0" << 67 << "info";                  // Send battery test...
    // The inverter's alarms say "abnormal": no longer read as "normal".
    QTest::newRow("inverter input abnormal") << "1" << "3" << 1 << "alarm";  // Input abnormal appear
    QTest::newRow("inverter battery voltage abnormal") << "1" << "4" << 11 << "alarm";
    QTest::newRow("inverter input back") << "1" << "3" << 0 << "recovery";
    QTest::newRow("fault, Chinese") << "0" << "0" << 7 << "alarm";
    QTest::newRow("recovery, Chinese") << "0" << "0" << 6 << "recovery";
    QTest::newRow("command, Chinese") << "0" << "0" << 67 << "info";
    QTest::newRow("inverter input abnormal, Chinese") << "0" << "3" << 1 << "alarm"; // 市电异常发生
}

void TestMainWindow::warningLinesByKind()
{
    QFETCH(QString, lang);
    QFETCH(QString, protocol);
    QFETCH(int, code);
    QFETCH(QString, kind);
    systemSettings.lang = lang;
    setDeviceState(protocol, Masks(), CommOk);
    addEventRecord(EventItem{QDateTime::currentDateTime(), code});
    QVERIFY(openShownWindow());
    showPage(QStringLiteral("warnings"));
    QQuickItem *line = findItem(QStringLiteral("warning_0"));
    QVERIFY(line);
    QCOMPARE(line->property("kind").toString(), kind);
}

void TestMainWindow::settingsPagesSave()
{
    loadEmailSettings(); // the first-start defaults: a form with a port to keep
    QmlWarningRecorder warnings;
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    settle();

    showPage(QStringLiteral("system"));
    findItem(QStringLiteral("devBaud"))->setProperty("currentIndex", 4); // 19200
    QVERIFY(clickItem(QStringLiteral("savePorts")));
    QCOMPARE(settingText(QStringLiteral("dev_boudrate")), QStringLiteral("5"));

    showPage(QStringLiteral("email"));
    setItemText(QStringLiteral("serverHost"), QStringLiteral("127.0.0.1"));
    QVERIFY(clickItem(QStringLiteral("addRecipient")));
    settle();
    setItemText(QStringLiteral("recipient_0"), QStringLiteral("ops@example.org"));
    QMetaObject::invokeMethod(findItem(QStringLiteral("recipient_0")), "textEdited");
    QVERIFY(clickItem(QStringLiteral("saveEmail")));
    settle();
    {
        QReadLocker locker(&settingsLock);
        QCOMPARE(emailSettings.serverHostaddr, QStringLiteral("127.0.0.1"));
        QCOMPARE(emailSettings.mailRecipients, QStringList{QStringLiteral("ops@example.org")});
        QCOMPARE(emailSettings.mailEventFlags, QStringList{QStringLiteral("536870911")});
    }
    // Shown again as stored.
    QCOMPARE(itemText(QStringLiteral("recipient_0")), QStringLiteral("ops@example.org"));
    // The test e-mail goes to a port where nothing listens: the window reports failure.
    setItemText(QStringLiteral("sender"), QStringLiteral("kestrava@example.org"));
    setItemText(QStringLiteral("serverPort"), QStringLiteral("1"));
    QVERIFY(clickItem(QStringLiteral("sendTestEmail")));
    QCOMPARE(settingText(QStringLiteral("serverHostPort")), QStringLiteral("1"));
    // The dialogue runs off the GUI thread; its box opens when it has ended.
    QTRY_COMPARE_WITH_TIMEOUT(answers.boxes.size(), 1, 10000);

    showPage(QStringLiteral("sms"));
    setItemText(QStringLiteral("testPhone"), QStringLiteral("5550100"));
    QVERIFY(clickItem(QStringLiteral("sendTestSms")));
    QCOMPARE(settingText(QStringLiteral("smsTestPhone")), QStringLiteral("5550100"));
    findItem(QStringLiteral("modemPort"))->setProperty("editText", QStringLiteral("ttyUSB3"));
    QVERIFY(clickItem(QStringLiteral("saveSms")));
    QCOMPARE(settingText(QStringLiteral("SMSSelectName")), QStringLiteral("ttyUSB3"));
    QVERIFY2(warnings.messages().isEmpty(), qPrintable(warnings.messages().join(QLatin1Char('\n'))));
}

void TestMainWindow::archiveButtonsAsk_data()
{
    QTest::addColumn<QString>("button");
    // Export asks for the file at once; import and restore first ask to go on.
    QTest::addColumn<bool>("fileDialog");
    QTest::newRow("export") << "exportSettings" << true;
    QTest::newRow("import") << "importSettings" << false;
    QTest::newRow("restore") << "restoreSettings" << false;
}

void TestMainWindow::archiveButtonsAsk()
{
    QFETCH(QString, button);
    QFETCH(bool, fileDialog);
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    settle();
    showPage(QStringLiteral("archive"));
    QVERIFY(clickItem(button));
    // The window's slot ran: it asked for a file, or asked to confirm.
    QCOMPARE(answers.fileDialogCount(), fileDialog ? 1 : 0);
    QCOMPARE(answers.boxes.size(), fileDialog ? 0 : 1);
}

void TestMainWindow::headerMovesAndClosesWindow()
{
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QPoint before = window->pos();
    QObject *root = declarativeView->rootObject();
    QVERIFY(QMetaObject::invokeMethod(root, "moveWindowBy", Q_ARG(QVariant, 40), Q_ARG(QVariant, 25)));
    QCOMPARE(window->pos(), before + QPoint(40, 25));
    answers.buttonAnswer = QStringLiteral("&Quit");
    QVERIFY(QMetaObject::invokeMethod(root, "closeWindow"));
    QVERIFY(!window->isVisible());
}

void TestMainWindow::exitWhileDeviceIsSilent()
{
    DevSimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--family"), QStringLiteral("three"), QStringLiteral("--steady")}));
    QVERIFY(sim.command(QStringLiteral("fault silence always")));
    useSerialDevice(sim.path(), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("4"));
    env->runClock(); // the device thread polls on whole seconds of the clock
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    // The device thread now waits for a reply that never comes.
    QVERIFY(sim.waitForRequests(1, 10000));

    // The exit waits for that exchange to time out (1.5 s), not longer.
    constexpr qint64 kExitBoundMs = 3000;
    QElapsedTimer exit;
    exit.start();
    window.reset();
    QVERIFY2(exit.elapsed() < kExitBoundMs, qPrintable(QString::number(exit.elapsed())));
}

void TestMainWindow::historyThreadRunsWithTheWindow()
{
    window = std::make_unique<MainWindow>();
    window->loadQmlView(QStringLiteral("/nonexistent/Kestrava/qml/qmlmain.qml"));
    auto *history = qobject_cast<QThread *>(contextObject("mydata"));
    QVERIFY(history);
    QVERIFY(history->isRunning());
    QVERIFY(history->metaObject()->indexOfSlot("threadTimer()") >= 0);

    // Its own timer drains the events into the month's event log.
    postEvent(EventCommFailed);
    const QString log = historyFilePath(HistoryFile::EventLog, DeviceFamily::SinglePhaseUps,
                                        appClock().now().date());
    QTRY_COMPARE_WITH_TIMEOUT(readRawRows(log, QStringLiteral("select Description from alarmdata")),
                              (QList<QStringList>{{QStringLiteral("57")}}), 5000);

    QPointer<QThread> watched(history);
    window.reset();
    QVERIFY(!watched); // gone with the window, and stopped before it went
}

void TestMainWindow::exitWhileMailServerIsSilent()
{
    // Listening alone: the connection is made and the greeting never comes.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    {
        QWriteLocker locker(&settingsLock);
        emailSettings.serverHostaddr = QStringLiteral("127.0.0.1");
        emailSettings.serverHostPort = QString::number(silent.serverPort());
        emailSettings.senderAddr = QStringLiteral("kestrava@example.com");
        emailSettings.serverAuthFlag = QStringLiteral("1");
        emailSettings.mailRecipients = QStringList{QStringLiteral("alice@example.com")};
        emailSettings.mailEventFlags = QStringList{QStringLiteral("4294967295")};
    }
    postEvent(EventCommFailed);
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    // The e-mail thread's first tick is now waiting for the greeting, for up to 10 s.
    QVERIFY(silent.waitForNewConnection(10000));

    constexpr qint64 kExitBoundMs = 3000;
    QElapsedTimer exit;
    exit.start();
    window.reset();
    QVERIFY2(exit.elapsed() < kExitBoundMs, qPrintable(QString::number(exit.elapsed())));
}

void TestMainWindow::smsThreadRunsWithTheWindow()
{
    {
        QWriteLocker l(&settingsLock);
        smsSettings.smsFlag = QStringLiteral("0");
        smsSettings.SMSSelectName = QStringLiteral("None");
    }
    window = std::make_unique<MainWindow>();
    window->loadQmlView(QStringLiteral("/nonexistent/Kestrava/qml/qmlmain.qml"));
    auto *sms = qobject_cast<QThread *>(contextObject("sms"));
    QVERIFY(sms);
    QVERIFY(sms->isRunning());
    // No such modem port: the settings page shows the port as failed.
    QTRY_COMPARE_WITH_TIMEOUT(
        [] {
            QReadLocker l(&settingsLock);
            return smsSettings.connect;
        }(),
        1, 5000);

    QPointer<QThread> watched(sms);
    QElapsedTimer exit;
    exit.start();
    window.reset();
    QVERIFY(!watched);
    QVERIFY2(exit.elapsed() < 3000, qPrintable(QString::number(exit.elapsed())));
}

void TestMainWindow::deviceStateAtAGlance_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QList<int>>("ups");
    QTest::addColumn<QList<int>>("inverter");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("overview");
    // Battery fault (3), overload (12) and on battery (20): the faults lead, the state
    // follows; the header names the first and counts the rest.
    const QList<int> threeConditions{3, 12, 20};
    QTest::newRow("UPS, all well") << "1" << "0" << QList<int>{} << QList<int>{} << "Normal" << "Normal: no alarm";
    QTest::newRow("UPS, two faults, on battery")
        << "1" << "0" << threeConditions << QList<int>{} << "⚠ Battery fault  +2"
        << "Alarm: Battery fault, Output overload";
    QTest::newRow("UPS, on battery only") << "1" << "1" << QList<int>{20} << QList<int>{} << "On battery"
                                          << "On battery";
    QTest::newRow("UPS, Chinese") << "0" << "0" << threeConditions << QList<int>{} << "⚠ 电池故障  +2"
                                  << "告警: 电池故障, 输出过载";
    QTest::newRow("inverter, overload slot") << "1" << "3" << QList<int>{} << QList<int>{14} << "⚠ Overload fault"
                                             << "Alarm: Overload fault";
    // The inverter's slots are not the UPS bits: UPS bit 3 set means nothing here.
    QTest::newRow("inverter, all well") << "1" << "4" << QList<int>{3} << QList<int>{} << "Normal"
                                        << "Normal: no alarm";
}

void TestMainWindow::deviceStateAtAGlance()
{
    QFETCH(QString, lang);
    QFETCH(QString, protocol);
    QFETCH(QList<int>, ups);
    QFETCH(QList<int>, inverter);
    QFETCH(QString, header);
    QFETCH(QString, overview);
    systemSettings.lang = lang;
    fillDeviceState();
    setDeviceState(protocol, allMasks(), CommOk);
    {
        QWriteLocker l(&upsInfo.lock);
        std::fill(std::begin(upsInfo.statusBits), std::end(upsInfo.statusBits), uint8_t(0));
        std::fill(std::begin(inverterInfo.alarms), std::end(inverterInfo.alarms), uint8_t(0));
        for (int bit : ups)
            upsInfo.statusBits[bit] = 1;
        for (int slot : inverter)
            inverterInfo.alarms[slot] = 1;
    }
    QmlWarningRecorder warnings;
    QVERIFY(openShownWindow());
    QCOMPARE(itemText(QStringLiteral("headerStatusText")), header);
    QCOMPARE(itemText(QStringLiteral("overviewStateText")), overview);
    savePageShot(QStringLiteral("overview-state-") + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')).remove(QLatin1Char(',')));
    QVERIFY2(warnings.messages().isEmpty(), qPrintable(warnings.messages().join(QLatin1Char('\n'))));
}

void TestMainWindow::activeAlarmOutlivesClearedWarnings()
{
    fillDeviceState();
    setDeviceState(QStringLiteral("0"), allMasks(), CommOk);
    setConditions({3}, {});
    postWarnings(2);
    QVERIFY(openShownWindow());
    showPage(QStringLiteral("warnings"));
    QVERIFY(clickItem(QStringLiteral("clearWarnings")));
    settle();
    QVERIFY(clickItem(QStringLiteral("confirmClearWarnings")));
    settle();
    window->mainTimer();
    settle();
    // The list is empty and its badge gone; the battery fault is still there.
    QCOMPARE(rootItem("alarmRect")->opacity(), 0.0);
    QCOMPARE(itemText(QStringLiteral("headerStatusText")), QStringLiteral("⚠ Battery fault"));
    showPage(QStringLiteral("overview"));
    QCOMPARE(itemText(QStringLiteral("overviewStateText")), QStringLiteral("Alarm: Battery fault"));

    // It goes when the device clears the bit, at the next tick.
    setConditions({}, {});
    window->mainTimer();
    settle();
    QCOMPARE(itemText(QStringLiteral("headerStatusText")), QStringLiteral("Normal"));
}

void TestMainWindow::linkLossShowsDashesAndReason()
{
    fillDeviceState();
    setDeviceState(QStringLiteral("0"), allMasks(), CommOk);
    QVERIFY(openShownWindow());
    showPage(QStringLiteral("battery"));
    QVERIFY(quickenRefresh(QStringLiteral("batteryPage")));
    QCOMPARE(itemText(QStringLiteral("value_batvol")), QStringLiteral("u3 V"));

    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.linkFault = QStringLiteral("/dev/ttyUSB0: No such file or directory");
    }
    upsInfo.commState = CommLost;
    window->mainTimer();
    settle();
    QCOMPARE(itemText(QStringLiteral("headerStatusText")), QStringLiteral("Communication lost"));
    // A page keeps its rows and shows dashes, not the last values.
    QTRY_COMPARE_WITH_TIMEOUT(itemText(QStringLiteral("value_batvol")), QStringLiteral("-"), 5000);
    showPage(QStringLiteral("overview"));
    for (const char *item : {"flowPv_value", "flowInput_value", "flowLoad_value", "flowBattery_value", "generation_0",
                             "overview_charge", "overview_remaining"})
        QCOMPARE(itemText(QLatin1String(item)), QStringLiteral("-"));
    QCOMPARE(itemText(QStringLiteral("overviewStateDetail")),
             QStringLiteral("Cannot open the port: /dev/ttyUSB0: No such file or directory"));
    savePageShot(QStringLiteral("overview-link-lost"));

    {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.linkFault = QString::fromLatin1(ThreePhaseUPSInfo::kLinkFaultNoReply);
    }
    window->mainTimer();
    settle();
    QCOMPARE(itemText(QStringLiteral("overviewStateDetail")), QStringLiteral("The device does not answer"));
}

void TestMainWindow::unitsPerFamily_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("text");
    // A UPS reports its powers in kW, the inverter in W and VA.
    QTest::newRow("UPS output power") << "0" << "output" << "value_outputactp" << "u19 kW";
    QTest::newRow("UPS apparent power") << "1" << "output" << "value_outputappp" << "u20 kVA";
    QTest::newRow("UPS PV power") << "0" << "pv" << "value_pvpower" << "u29 kW";
    QTest::newRow("UPS remaining time") << "0" << "battery" << "value_batremaintime" << "u1 min";
    QTest::newRow("UPS battery mode") << "0" << "battery" << "value_batmode" << "Mode bm";
    QTest::newRow("UPS work mode") << "0" << "other" << "value_workmode" << "Mode 3";
    QTest::newRow("inverter output power") << "3" << "output" << "value_outputactp" << "i35 W";
    QTest::newRow("inverter apparent power") << "4" << "output" << "value_outputappp" << "i38 VA";
    QTest::newRow("inverter PV power") << "3" << "pv" << "value_pvpower" << "i131 W";
    QTest::newRow("inverter load") << "3" << "output" << "value_outputload" << "i41 %";
}

void TestMainWindow::unitsPerFamily()
{
    QFETCH(QString, protocol);
    QFETCH(QString, page);
    QFETCH(QString, item);
    QFETCH(QString, text);
    fillDeviceState();
    setDeviceState(protocol, allMasks(), CommOk);
    QVERIFY(openShownWindow());
    showPage(page);
    QCOMPARE(itemText(item), text);
}

void TestMainWindow::overviewFlow_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QStringList>("values"); // as setDeviceValues takes them
    QTest::addColumn<QList<int>>("statusBits"); // the UPS status bits set
    QTest::addColumn<QStringList>("shown");     // "item=text" or "item.property=value"

    // Every box in watts or kilowatts: the UPS sends kW per phase (summed here), the
    // inverter W; current and load as the second line.
    QTest::newRow("three-phase")
        << "0"
        << QStringList{"u19=1.5/1.5/1.4", "u22=45.6/44.9/46.2", "u11=1.6/1.6/1.7", "u10=3.3/3.4/3.3", "u29=2.1",
                       "u3=432.0", "u4=-2.5", "u2=97.6", "u1=229.5"}
        << QList<int>{}
        << QStringList{"flowLoad_value=4.40 kW", "flowLoad_note=Load 45.6/44.9/46.2 %", "flowInput_value=4.90 kW",
                       "flowInput_note=3.3/3.4/3.3 A", "flowPv_value=2.10 kW", "generation_0=2.10 kW",
                       "flowBattery_value=1.08 kW", "flowBattery_note=Discharging", "overview_charge=97.6 %",
                       "overview_remaining=3 h 49 min", "flowBypassLabel=Bypass", "flowBypass.active=false"};
    QTest::newRow("single-phase, small figures")
        << "1" << QStringList{"u19=0.45", "u22=45.80", "u11=0.50", "u10=2.17", "u29=0.00", "u3=54.36", "u4=1.10",
                              "u1=45.0"}
        << QList<int>{}
        << QStringList{"flowLoad_value=450 W", "flowLoad_note=Load 45.8 %", "flowInput_value=500 W",
                       "flowInput_note=2.2 A", "flowPv_value=0 W", "flowPv_value.color=#1d2733",
                       "flowBattery_value=60 W", "flowBattery_note=Charging", "overview_remaining=45 min"};
    // Shown as they come, marked.
    QTest::newRow("impossible load and charge")
        << "1" << QStringList{"u22=123.0", "u2=105.0"} << QList<int>{}
        << QStringList{"flowLoad_note=Load 123.0 % (implausible)", "overview_charge=105.0 % (implausible)",
                       "overview_charge.color=#b26a00"};
    QTest::newRow("on bypass")
        << "0" << QStringList{"u19=1.5/1.5/1.4"} << QList<int>{19}
        << QStringList{"flowBypassLabel=On bypass", "flowBypass.active=true", "flowLoad_value=4.40 kW"};
    // The battery power is two's complement: 65531 is the battery giving 5 W.
    QTest::newRow("inverter, battery discharging")
        << "3" << QStringList{"w90=65531", "i35=1771.8", "i41=45.6", "i131=1999.6", "i1=230.1"} << QList<int>{}
        << QStringList{"flowBattery_value=5 W", "flowBattery_note=Discharging", "flowLoad_value=1.77 kW",
                       "flowLoad_note=Load 45.6 %", "flowPv_value=2.00 kW", "generation_0=2.00 kW",
                       "flowInput_value=-", "flowInput_note=230.1 V"};
    QTest::newRow("inverter, battery charging")
        << "4" << QStringList{"w90=5"} << QList<int>{}
        << QStringList{"flowBattery_value=5 W", "flowBattery_note=Charging"};
}

void TestMainWindow::overviewFlow()
{
    QFETCH(QString, protocol);
    QFETCH(QStringList, values);
    QFETCH(QList<int>, statusBits);
    QFETCH(QStringList, shown);
    fillDeviceState();
    setDeviceState(protocol, allMasks(), CommOk);
    setConditions({}, {});
    for (int bit : statusBits) {
        QWriteLocker l(&upsInfo.lock);
        upsInfo.statusBits[bit] = 1;
    }
    setDeviceValues(values);
    QmlWarningRecorder warnings;
    QVERIFY(openShownWindow());
    window->mainTimer();
    settle();
    for (const QString &entry : shown) {
        const int eq = entry.indexOf(QLatin1Char('='));
        QTRY_COMPARE_WITH_TIMEOUT(shownText(entry.left(eq)), entry.mid(eq + 1), 5000);
    }
    savePageShot(QStringLiteral("overview-flow-") + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')).remove(QLatin1Char(',')));
    QVERIFY2(warnings.messages().isEmpty(), qPrintable(warnings.messages().join(QLatin1Char('\n'))));
}

void TestMainWindow::valuesPerQuantity_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("text");

    // One rule per quantity whatever decimals the family sends.
    QTest::newRow("single-phase load") << "1" << "1" << QStringList{"u22=45.80"} << "output" << "value_outputload" << "45.8 %";
    QTest::newRow("single-phase battery temperature") << "1" << "1" << QStringList{"u5=26.10"} << "battery" << "value_battemp" << "26.1 °C";
    QTest::newRow("three-phase charge") << "1" << "0" << QStringList{"u2=97.6"} << "battery" << "value_batremaincap" << "97.6 %";
    QTest::newRow("inverter whole frequency") << "1" << "3" << QStringList{"i32=50"} << "output" << "value_outputfre" << "50.0 Hz";
    QTest::newRow("inverter frequency") << "1" << "3" << QStringList{"i32=50.1"} << "output" << "value_outputfre" << "50.1 Hz";
    QTest::newRow("single-phase frequency") << "1" << "1" << QStringList{"u14=49.98"} << "output" << "value_outputfre" << "50.0 Hz";
    QTest::newRow("three-phase voltages") << "1" << "0" << QStringList{"u17=220.0/220.1/219.9"} << "output" << "value_outputvol" << "220.0/220.1/219.9 V";
    QTest::newRow("power factor") << "1" << "1" << QStringList{"u15=0.95"} << "output" << "value_outputfac" << "0.95";
    // The same power rule as the flow.
    QTest::newRow("three-phase powers") << "1" << "0" << QStringList{"u19=1.5/1.5/1.4"} << "output" << "value_outputactp" << "1.50/1.50/1.40 kW";
    QTest::newRow("single-phase small power") << "1" << "1" << QStringList{"u19=0.45"} << "output" << "value_outputactp" << "450 W";
    QTest::newRow("inverter power") << "1" << "3" << QStringList{"i35=1771.8"} << "output" << "value_outputactp" << "1.77 kW";
    QTest::newRow("inverter apparent power") << "1" << "3" << QStringList{"i38=1863"} << "output" << "value_outputappp" << "1.86 kVA";
    QTest::newRow("PV energy") << "1" << "1" << QStringList{"u30=12.34"} << "pv" << "value_pvdaygen" << "12.3 kWh";
    // Hours and minutes, never fractions of a minute.
    QTest::newRow("remaining time") << "1" << "0" << QStringList{"u1=229.5"} << "battery" << "value_batremaintime" << "3 h 49 min";
    QTest::newRow("remaining time, Chinese") << "0" << "0" << QStringList{"u1=229.5"} << "battery" << "value_batremaintime" << "3 小时 49 分钟";
    QTest::newRow("short remaining time") << "1" << "1" << QStringList{"u1=45.0"} << "battery" << "value_batremaintime" << "45 min";
    QTest::newRow("device clock") << "1" << "0" << QStringList{} << "other" << "value_invertertime" << "2026-01-15 11:59";
    // Impossible values are shown, marked.
    QTest::newRow("charge above full") << "1" << "1" << QStringList{"u2=105.0"} << "battery" << "value_batremaincap" << "105.0 % (implausible)";
    QTest::newRow("load above full") << "1" << "0" << QStringList{"u22=123.0/40.0/40.0"} << "output" << "value_outputload" << "123.0/40.0/40.0 % (implausible)";
    QTest::newRow("inverter charge above full") << "1" << "3" << QStringList{"i50=105"} << "battery" << "value_batremaincap" << "105.0 % (implausible)";
    QTest::newRow("power factor above one") << "1" << "1" << QStringList{"u15=1.30"} << "output" << "value_outputfac" << "1.30 (implausible)";
    QTest::newRow("implausible, Chinese") << "0" << "1" << QStringList{"u2=105.0"} << "battery" << "value_batremaincap" << "105.0 % (数值不合理)";
}

void TestMainWindow::valuesPerQuantity()
{
    QFETCH(QString, lang);
    QFETCH(QString, protocol);
    QFETCH(QStringList, values);
    QFETCH(QString, page);
    QFETCH(QString, item);
    QFETCH(QString, text);
    systemSettings.lang = lang;
    fillDeviceState();
    setDeviceState(protocol, allMasks(), CommOk);
    setDeviceValues(values);
    QmlWarningRecorder warnings;
    QVERIFY(openShownWindow());
    showPage(page);
    QTRY_COMPARE_WITH_TIMEOUT(itemText(item), text, 5000);
    QVERIFY2(warnings.messages().isEmpty(), qPrintable(warnings.messages().join(QLatin1Char('\n'))));
}

void TestMainWindow::keyboardNavigation()
{
    QVERIFY(openShownWindow());
    QCOMPARE(currentPage(), QStringLiteral("overview"));
    sendKey(Qt::Key_Down);
    QCOMPARE(currentPage(), QStringLiteral("output"));
    sendKey(Qt::Key_Up);
    sendKey(Qt::Key_Up); // stays on the first page
    QCOMPARE(currentPage(), QStringLiteral("overview"));
    sendKey(Qt::Key_End);
    QCOMPARE(currentPage(), QStringLiteral("archive"));
    sendKey(Qt::Key_4, Qt::ControlModifier);
    QCOMPARE(currentPage(), QStringLiteral("battery"));
    // The focus ring marks the page the keys act on.
    QQuickItem *entry = findItem(QStringLiteral("nav_battery"));
    QVERIFY(entry);
    QCOMPARE(entry->property("border").value<QObject *>()->property("width").toInt(), 2);

    // From a text field too: the shortcut is not typed into it.
    showPage(QStringLiteral("email"));
    QQuickItem *field = findItem(QStringLiteral("serverHost"));
    QVERIFY(field);
    field->forceActiveFocus();
    const QString before = field->property("text").toString();
    sendKey(Qt::Key_2, Qt::ControlModifier);
    QCOMPARE(currentPage(), QStringLiteral("output"));
    QCOMPARE(field->property("text").toString(), before);
}

void TestMainWindow::everyPageHasAShortcut()
{
    QVERIFY(openShownWindow());
    const QVariantList pages = declarativeView->rootObject()->property("pages").toList();
    QCOMPARE(pages.size(), 18);
    for (int i = 0; i < pages.size(); ++i) {
        const Qt::KeyboardModifier modifier = i < 9 ? Qt::ControlModifier : Qt::AltModifier;
        sendKey(Qt::Key_1 + i % 9, modifier);
        QCOMPARE(currentPage(), pages.at(i).toMap().value(QStringLiteral("name")).toString());
    }
    // The side menu names each key.
    QCOMPARE(itemText(QStringLiteral("shortcut_archive")), QStringLiteral("Alt+9"));
}

void TestMainWindow::questionHoldsTheKeyboard()
{
    setDeviceState(QStringLiteral("0"), Masks(), CommOk);
    postWarnings(3);
    QVERIFY(openShownWindow());
    showPage(QStringLiteral("warnings"));
    QQuickItem *opener = findItem(QStringLiteral("clearWarnings"));
    QQuickItem *question = findItem(QStringLiteral("clearWarningsQuestion"));
    QVERIFY(opener && question);
    auto listSize = [] {
        QReadLocker locker(&warningListLock);
        return warningList.size();
    };

    // Enter presses the focused button, as Space does.
    opener->forceActiveFocus();
    sendKey(Qt::Key_Return);
    QVERIFY(question->isVisible());
    // The safe answer has the focus; Tab and the page keys stay in the question.
    QCOMPARE(focusedItem()->objectName(), QStringLiteral("cancelClearWarnings"));
    for (int i = 0; i < 5; ++i) {
        sendKey(Qt::Key_Tab);
        QVERIFY2(question->isAncestorOf(focusedItem()), qPrintable(focusedItem()->objectName()));
    }
    sendKey(Qt::Key_Backtab);
    QVERIFY(question->isAncestorOf(focusedItem()));
    sendKey(Qt::Key_2, Qt::ControlModifier);
    sendKey(Qt::Key_Down);
    QCOMPARE(currentPage(), QStringLiteral("warnings"));
    QVERIFY(question->isVisible());

    // Esc cancels and hands the focus back.
    sendKey(Qt::Key_Escape);
    QVERIFY(!question->isVisible());
    QCOMPARE(listSize(), 3);
    QCOMPARE(focusedItem(), opener);

    // Asked again: Tab to the answer, Enter takes it.
    sendKey(Qt::Key_Return);
    QVERIFY(question->isVisible());
    sendKey(Qt::Key_Tab);
    QCOMPARE(focusedItem()->objectName(), QStringLiteral("confirmClearWarnings"));
    savePageShot(QStringLiteral("warnings-question"));
    sendKey(Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(!question->isVisible());
    QCOMPARE(listSize(), 0);

    // A page turned away by the mouse while asking counts as a cancel.
    postWarnings(1);
    window->mainTimer();
    showPage(QStringLiteral("overview"));
    showPage(QStringLiteral("warnings"));
    QVERIFY(clickItem(QStringLiteral("clearWarnings")));
    QVERIFY(question->isVisible());
    showPage(QStringLiteral("overview"));
    showPage(QStringLiteral("warnings"));
    QVERIFY(!question->isVisible());
    QCOMPARE(listSize(), 1);
}

void TestMainWindow::focusReturnsAfterFileDialog()
{
    setDialogs(nullptr); // the program's own, modal dialogs
    QVERIFY(openShownWindow());
    showPage(QStringLiteral("archive"));
    QQuickItem *button = findItem(QStringLiteral("exportSettings"));
    QVERIFY(button);
    declarativeView->setFocus();
    button->forceActiveFocus();
    QCOMPARE(focusedItem(), button);

    // The user closes each dialog that opens.
    int closed = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&closed] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            dialog->reject();
            ++closed;
        }
    });
    closer.start(0);
    sendKey(Qt::Key_Return); // Enter on the export button opens the file dialog
    closer.stop();
    QCOMPARE(closed, 1);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(declarativeView));
    QCOMPARE(focusedItem(), button);
}

void TestMainWindow::minimizedWindowRendersNothing()
{
    setDeviceState(QStringLiteral("0"), Masks(), CommOk);
    QVERIFY(openShownWindow());
    QObject *root = declarativeView->rootObject();
    QVERIFY(root->property("onScreen").toBool());
    QSignalSpy flow(contextObject("qmlobject"), SIGNAL(sigFlowState(QString,QString,QString,QString,QString,QString)));
    QVERIFY(quickenRefresh(QStringLiteral("overviewPage")));
    QTRY_VERIFY(flow.count() >= 2); // on screen, it asks on its timer

    window->showMinimized();
    settle();
    QVERIFY(!declarativeView->isVisible());
    QVERIFY(!root->property("onScreen").toBool());
    flow.clear();
    QTest::qWait(3 * kQuickRefreshMs); // three of the Overview's refresh periods
    QCOMPARE(flow.count(), 0);

    window->showNormal();
    settle();
    QVERIFY(declarativeView->isVisible());
    QVERIFY(root->property("onScreen").toBool());
    QVERIFY(flow.count() >= 1); // brought up to date at once

    window->hide();
    settle();
    QVERIFY(!root->property("onScreen").toBool());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
