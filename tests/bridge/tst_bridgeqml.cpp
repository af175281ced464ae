// The bridge through the real QML engine: the QML side sends JSON.stringify requests and
// JSON.parses the replies.
#include "bridge/qmlobject.h"
#include "core/events.h"
#include "core/paths.h"
#include "core/settings.h"
#include "tests/bridge/bridgefixture.h"
#include "tests/support/testenv.h"

#include <QMetaMethod>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWidget>
#include <QtTest>

#include <memory>

class TestBridgeQml : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void emailThroughQml_data();
    void emailThroughQml();
    void moduleThroughQml();
    void warningsAndClearThroughQml();
    void modemPortClashThroughQml_data();
    void modemPortClashThroughQml();
    void signalsAndSlotsInDeclaredOrder();

private:
    QVariant rootProperty(const char *name) const { return view->rootObject()->property(name); }

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<QQuickWidget> view;
    qmlobject bridge;
};

void TestBridgeQml::initTestCase()
{
    view = std::make_unique<QQuickWidget>();
    view->rootContext()->setContextProperty(QStringLiteral("qmlobject"), &bridge);
    view->setSource(QUrl::fromLocalFile(QStringLiteral(KESTRAVA_SOURCE_DIR "/tests/bridge/bridgetest.qml")));
    QVERIFY2(view->status() == QQuickWidget::Ready, qPrintable(QDebug::toString(view->errors())));
    QObject *root = view->rootObject();
    QVERIFY(connect(root, SIGNAL(setemailSignal(QString)), &bridge, SLOT(handleSetEmail(QString))));
    QVERIFY(connect(root, SIGNAL(getemailsetSignal()), &bridge, SLOT(handleGetEmailSet())));
    QVERIFY(connect(root, SIGNAL(mainModuleDataSignal(QString)), &bridge, SLOT(handleMainModuleData(QString))));
    QVERIFY(connect(root, SIGNAL(getWarningDataSignal()), &bridge, SLOT(handleWarningData())));
    QVERIFY(connect(root, SIGNAL(clearWarningSignal()), &bridge, SLOT(handleClearWarning())));
}

void TestBridgeQml::init()
{
    env = std::make_unique<TestEnv>();
    loadAllSettings();
    initEventTexts();
    declarativeView = view.get();
}

void TestBridgeQml::cleanup()
{
    declarativeView = nullptr;
    env.reset();
}

void TestBridgeQml::cleanupTestCase()
{
    view.reset();
}

void TestBridgeQml::emailThroughQml_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("recipients");
    QTest::addColumn<QVariantList>("masks");
    QTest::addColumn<QString>("readRecipients");
    QTest::addColumn<QString>("readMasks");
    QTest::newRow("plain") << "secret" << QStringList{"a@example.org", "b@example.org"} << QVariantList{3, 12}
                           << "a@example.org;b@example.org" << "3;12";
    QTest::newRow("quote and backslash") << "a\"b\\c" << QStringList{"a@example.org"} << QVariantList{"7"}
                                         << "a@example.org" << "7";
    QTest::newRow("control character and unicode") << QString::fromUtf8("密\tcode\n") << QStringList{"x@y.z", "w@v.u"}
                                                   << QVariantList{1} << "x@y.z;w@v.u" << "1;0";
}

void TestBridgeQml::emailThroughQml()
{
    QFETCH(QString, password);
    QFETCH(QStringList, recipients);
    QFETCH(QVariantList, masks);
    QFETCH(QString, readRecipients);
    QFETCH(QString, readMasks);
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "saveEmail", Q_ARG(QVariant, password),
                                      Q_ARG(QVariant, recipients), Q_ARG(QVariant, masks)));
    QCOMPARE(rootProperty("password").toString(), password);
    QCOMPARE(rootProperty("recipients").toString(), readRecipients);
    QCOMPARE(rootProperty("masks").toString(), readMasks);
    QCOMPARE(emailSettings.serverHostPort, QStringLiteral("25"));
}

void TestBridgeQml::moduleThroughQml()
{
    fillDeviceState();
    Masks m;
    m.bat = 0x0011; // battery mode and voltage
    setMasks(m);
    setProtocol(QStringLiteral("1"));
    upsInfo.commState = CommOk;
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "askModule", Q_ARG(QVariant, QStringLiteral("battery"))));
    QCOMPARE(rootProperty("moduleFlag").toString(), QStringLiteral("battery"));
    QCOMPARE(rootProperty("moduleText").toString(), QStringLiteral("#batvol!u3#batmode!bm"));
}

void TestBridgeQml::warningsAndClearThroughQml()
{
    addEventRecord(EventItem{QDateTime(QDate(2026, 1, 15), QTime(8, 0)), 1});
    addEventRecord(EventItem{QDateTime(QDate(2026, 1, 15), QTime(8, 5)), 57});
    QObject *root = view->rootObject();
    QVERIFY(QMetaObject::invokeMethod(root, "getWarningDataSignal"));
    QCOMPARE(rootProperty("warningCount").toInt(), 2);
    QCOMPARE(rootProperty("newestWarning").toString(), QStringLiteral("2026-01-15 08:05 Communication failed"));

    auto *alarm = root->findChild<QQuickItem *>(QStringLiteral("alarmRect"));
    QVERIFY(alarm);
    QCOMPARE(alarm->opacity(), 1.0);
    QVERIFY(QMetaObject::invokeMethod(root, "clearWarningSignal"));
    QCOMPARE(alarm->opacity(), 0.0);
    QVERIFY(rootProperty("alarmCleared").toBool());
    QVERIFY(QMetaObject::invokeMethod(root, "getWarningDataSignal"));
    QCOMPARE(rootProperty("warningCount").toInt(), 0);
}

void TestBridgeQml::modemPortClashThroughQml_data()
{
    QTest::addColumn<QString>("devicePort");
    QTest::addColumn<QString>("modemPort");
    QTest::addColumn<bool>("clash");
    QTest::newRow("both None") << "None" << "None" << false;
    QTest::newRow("both empty") << "" << "" << false;
    QTest::newRow("same real port") << "ttyUSB0" << "ttyUSB0" << true;
    QTest::newRow("different ports") << "ttyUSB0" << "ttyS0" << false;
}

void TestBridgeQml::modemPortClashThroughQml()
{
    QFETCH(QString, devicePort);
    QFETCH(QString, modemPort);
    QFETCH(bool, clash);
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.inverterSelectName = devicePort;
    }
    QVariant got;
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "portClashes", Q_RETURN_ARG(QVariant, got),
                                      Q_ARG(QVariant, modemPort)));
    QCOMPARE(got.toBool(), clash);
}

void TestBridgeQml::signalsAndSlotsInDeclaredOrder()
{
    // QML handlers name the parameters, and the window wires the slots by signature.
    const QStringList expectedSignals{
        "sigFlowState(runState,batState,load,input,pvPower,batPower)",
        "sigMainGenInfo(strMainGenInfo)",
        "sigACInfo(strACInfo)",
        "sigDeviceInfo(strDeviceInfo)",
        "sigBatInfo(strBatInfo)",
        "sigBypassInfo(strBypassInfo)",
        "sigOutputInfo(strOutputInfo)",
        "sigOtherInfo(strOtherInfo)",
        "sigPVInfo(strPVTInfo,strPVInfo)",
        "sigMainModuleInfo(strModuleFlag,strMainMInfo)",
        "sigChartDay(daystr)",
        "sigChartMonth(monthstr)",
        "sigChartYear(yearstr)",
        "sigChartTotal(totalstr)",
        "sigReport(strtype,strpage,dcount,strValue)",
        "sigAnalogDataRecord(strpage,dcount,strValue)",
        "sigEventDataRecord(strpage,dcount,strValue)",
        "sigSMSDataRecord(strpage,dcount,strValue)",
        "sigHistoryBusy(strtype)",
        "emailGetSig(emailjson)",
        "sigQtSSMSSet(smsjson)",
        "warningDataSig(strtest)",
        "clearAlarmSig()",
        "qmlobjectCom()",
        "siglang(lang)",
        "sigSysSet(sysjson)",
        "sigSMSState(smsjson)",
        "sigScheduleTime(scheTime)",
        "sigprotocol(strProtocol)",
        "sigSMSNumberRefused(number)",
        "sigSaveResult(setting,failure)",
    };
    const QStringList expectedSlots{
        "handlegetChartData(QString)", "handleMainGenInfo()", "handleMainModuleData(QString)", "handleGetACInfo()", "handleGetBatInfo()",
        "handleGetBypassInfo()", "handleGetOtherInfo()", "handleGetOutputInfo()", "handleGetPVInfo()",
        "handleOperReportRecord(QString)", "handleReportRecord(QString)", "handleSetComConfig(QString)", "handleSetPublicPara(QString)", "handleSetEmail(QString)",
        "handleSetSMS(QString)", "handleGetEmailSet()", "handleGetSMSSet()", "handleWarningData()",
        "handleClearWarning()", "handleGetFlowState()", "handleGetLanguage()", "handleGetSystemSet()",
        "handleSendSMSTest(QString)", "handleGetSMSState()", "handleGetScheduleTime()", "handleGetProtocol()",
        "handleGetdeviceInfo()",
    };
    const QMetaObject &mo = qmlobject::staticMetaObject;
    QStringList gotSignals, gotSlots;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QMetaMethod m = mo.method(i);
        if (m.methodType() == QMetaMethod::Signal) {
            QVERIFY2(m.parameterTypes().count(QByteArray("QString")) == m.parameterCount(), m.methodSignature());
            gotSignals << QString::fromLatin1(m.name() + '(' + m.parameterNames().join(',') + ')');
        } else if (m.methodType() == QMetaMethod::Slot && m.access() == QMetaMethod::Public) {
            gotSlots << QString::fromLatin1(m.methodSignature());
        }
    }
    QCOMPARE(gotSignals, expectedSignals);
    QCOMPARE(gotSlots, expectedSlots);
    // Every signal comes before every slot in the meta-object.
    QCOMPARE(mo.indexOfSignal("sigSaveResult(QString,QString)") + 1, mo.indexOfSlot("handlegetChartData(QString)"));
}

QTEST_MAIN(TestBridgeQml)
#include "tst_bridgeqml.moc"
