#include "ui/mainwindow.h"

#include "core/devicestate.h"
#include "core/events.h"
#include "core/logging.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/translation.h"
#include "bridge/bridgecommon.h"
#include "ui/configarchive.h"
#include "core/dialogs.h"
#include "ui/devicestatus.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPainter>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWidget>
#include <QReadLocker>
#include <QTimer>

uint32_t runSeconds = 0;

namespace {
constexpr int kTickMs = 1000;
constexpr int kWindowWidth = 980;
constexpr int kWindowHeight = 680;
// The view sits inside these margins (left, top, right, bottom); the window paints
// nothing there, so they stay transparent.
constexpr int kMarginLeft = 5;
constexpr int kMarginTop = 3;
constexpr int kMarginRight = 5;
constexpr int kMarginBottom = 7;
constexpr unsigned kSecondsPerDay = 86400;
constexpr unsigned kSecondsPerHour = 3600;
constexpr unsigned kSecondsPerMinute = 60;

enum RequestReceiver { ToBridge, ToDeviceRequests, ToWindow };

struct RequestRow
{
    const char *signal; // of the QML root object; (QString) carries a request text
    RequestReceiver receiver;
    const char *slot;
};

// The QML root's request signals and where each lands, in wiring order: the order of
// the request contract, which the QML side and its tests number the requests by.
const RequestRow kRequestRows[] = {
    {"getFlowStateSignal()", ToBridge, "handleGetFlowState()"},
    {"getLanguageSignal()", ToBridge, "handleGetLanguage()"},
    {"getmwindowgenInfoSinal()", ToBridge, "handleMainGenInfo()"},
    {"getacInfoSignal()", ToBridge, "handleGetACInfo()"},
    {"getbatinfoSignal()", ToBridge, "handleGetBatInfo()"},
    {"getbypassinfoSignal()", ToBridge, "handleGetBypassInfo()"},
    {"getotherinfoSignal()", ToBridge, "handleGetOtherInfo()"},
    {"getoutputinfoSignal()", ToBridge, "handleGetOutputInfo()"},
    {"getdeviceinfoSignal()", ToBridge, "handleGetdeviceInfo()"},
    {"getpvinfoSignal()", ToBridge, "handleGetPVInfo()"},
    {"mainModuleDataSignal(QString)", ToBridge, "handleMainModuleData(QString)"},
    {"getchartdataSignal(QString)", ToBridge, "handlegetChartData(QString)"},
    {"getReportSignal(QString)", ToBridge, "handleReportRecord(QString)"},
    {"getRecordSignal(QString)", ToBridge, "handleReportRecord(QString)"},
    {"saveClearReportCall(QString)", ToBridge, "handleOperReportRecord(QString)"},
    {"saveCleaRecordSignal(QString)", ToBridge, "handleOperReportRecord(QString)"},
    {"getInverterSetSignal()", ToDeviceRequests, "handleGetInverterSet()"},
    {"setinverterSignal(QString)", ToDeviceRequests, "handleSetInverter(QString)"},
    {"setinvertermSignal(QString)", ToDeviceRequests, "handleSetInvertM(QString)"},
    {"setlongcontrolSignal(QString)", ToDeviceRequests, "handleSetLongControl(QString)"},
    {"setscheduleSignal(QString)", ToDeviceRequests, "handleSetSched(QString)"},
    {"setComConfigSignal(QString)", ToBridge, "handleSetComConfig(QString)"},
    {"setPublicparaSignal(QString)", ToBridge, "handleSetPublicPara(QString)"},
    {"setemailSignal(QString)", ToBridge, "handleSetEmail(QString)"},
    {"setsmsSignal(QString)", ToBridge, "handleSetSMS(QString)"},
    {"getemailsetSignal()", ToBridge, "handleGetEmailSet()"},
    {"getsmssetSignal()", ToBridge, "handleGetSMSSet()"},
    {"setmanbypasssetSignal(QString)", ToDeviceRequests, "handleSetMBSet(QString)"},
    {"getinvertermodelSignal()", ToDeviceRequests, "handleGetInverterMSet()"},
    {"sendtestemailSignal(QString)", ToWindow, "handleTestEmail(QString)"},
    {"getlongconsetSignal()", ToDeviceRequests, "handleGetLongControlSet()"},
    {"getWarningDataSignal()", ToBridge, "handleWarningData()"},
    {"clearWarningSignal()", ToBridge, "handleClearWarning()"},
    {"getscheduleSignal()", ToDeviceRequests, "handleGetschedule()"},
    {"setDischargedepthSignal(QString)", ToDeviceRequests, "handleSetDischargedepth(QString)"},
    {"inputConfigSignal()", ToWindow, "handleInputConfig()"},
    {"outputConfigSignal()", ToWindow, "handleOutputConfig()"},
    {"restoreconfigSignal()", ToWindow, "handleRestoreConfig()"},
    {"setInvertercomSignal(QString)", ToDeviceRequests, "handleSetInverterCom(QString)"},
    {"getSystemSetSignal()", ToBridge, "handleGetSystemSet()"},
    {"getSMSStateSignal()", ToBridge, "handleGetSMSState()"},
    {"sendSMSTestSignal(QString)", ToBridge, "handleSendSMSTest(QString)"},
    {"getProtocolSignal()", ToBridge, "handleGetProtocol()"},
    {"getScheduleTimeSignal()", ToBridge, "handleGetScheduleTime()"},
};

QString twoDigits(unsigned value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

void callItem(QQuickItem *item, const char *function)
{
    if (item)
        QMetaObject::invokeMethod(item, function);
}

void callItem(QQuickItem *item, const char *function, const QVariant &argument)
{
    if (!item)
        return;
    QVariant discarded;
    QMetaObject::invokeMethod(item, function, Q_RETURN_ARG(QVariant, discarded),
                              Q_ARG(QVariant, argument));
}
}

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent),
      cursor(Qt::ArrowCursor),
      shadowPixmap(QStringLiteral(":/qml/Image/window_shadow.png"))
{
    {
        // Every text built in this block follows lang; the catalogues go when it ends.
        ChineseTranslatorScope translators(currentLang());
        initEventTexts();

        timer = new QTimer(this);
        timer->start(kTickMs);

        declarativeView = new QQuickWidget(this);
        auto *layout = new QHBoxLayout;
        layout->addWidget(declarativeView);
        layout->setContentsMargins(kMarginLeft, kMarginTop, kMarginRight, kMarginBottom);
        setLayout(layout);
        setFixedSize(kWindowWidth, kWindowHeight);

        buildTrayIcon();
    }

    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    // The taskbar and the window switcher show these.
    setWindowTitle(QStringLiteral("Kestrava"));
    setWindowIcon(QIcon(QStringLiteral(":/images/vemlo.png")));
    setAttribute(Qt::WA_TranslucentBackground);

    connect(&qmlBridge, &qmlobject::qmlobjectCom, this, &MainWindow::handleWarning);
    connect(&deviceRequests, &DeviceRequests::serialCom, this, &MainWindow::handleSerialCom);
    connect(timer, &QTimer::timeout, this, &MainWindow::mainTimer);
}

MainWindow::~MainWindow()
{
    delete timer;
    timer = nullptr;
    // The view and its engine go before the objects they were given: QML handlers and
    // bindings reach the bridge and the thread objects until the engine is gone.
    delete declarativeView;
    declarativeView = nullptr;
    stopThreads();
    delete trayIconMenu;
}

void MainWindow::stopThreads()
{
    // Every stop request goes out before the first wait, so the threads wind down
    // together and the exit takes the longest of their current exchanges, not the sum.
    // A thread that joins the window adds its request here and its wait below, in the
    // order history, e-mail, SMS, device.
    dataThread.stop();
    dataThread.exit(0);
    emailThread.stop(); // a dialogue in progress ends at once, not after its time-outs
    emailThread.exit(0);
    smsThread.stop();
    smsThread.exit(0);
    serialThread.stop();
    serialThread.exit(0);
    stopTestEmail();

    dataThread.wait();
    emailThread.wait();
    smsThread.wait();
    serialThread.wait();
}

void MainWindow::buildTrayIcon()
{
    trayIcon = new QSystemTrayIcon(this);

    minimizeAction = new QAction(QIcon(QStringLiteral(":/images/gtk-remove.png")), tr("&Hide"), this);
    restoreAction = new QAction(QIcon(QStringLiteral(":/images/gtk-fullscreen.png")), tr("&Restore"), this);
    quitAction = new QAction(QIcon(QStringLiteral(":/images/stop.png")), tr("&Quit"), this);
    connect(restoreAction, &QAction::triggered, this, &MainWindow::restoreWindow);
    connect(minimizeAction, &QAction::triggered, this, &QWidget::hide);
    connect(quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);

    trayIconMenu = new QMenu;
    trayIconMenu->addAction(restoreAction);
    trayIconMenu->addSeparator();
    trayIconMenu->addAction(minimizeAction);
    trayIconMenu->addSeparator();
    trayIconMenu->addAction(quitAction);

    // Until the first tick tells the device's state.
    trayShown = TrayStatus{TrayLevel::NoLink, tr("Kestrava")};
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCDebug(lcUi) << "no system tray: the tray icon stays hidden";
        return;
    }
    trayIcon->setIcon(trayFace(TrayLevel::NoLink));
    trayIcon->setToolTip(trayShown.toolTip);
    trayIcon->setContextMenu(trayIconMenu);
    trayIcon->setVisible(true);
    connect(trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::iconActivated);
}

void MainWindow::loadQmlView(const QString &path)
{
    // A user interface folder beside the working folder wins, so it can be edited in
    // place; a program started from anywhere else uses the copy built into it.
    const QUrl builtIn(QStringLiteral("qrc:/Kestrava/qml/qmlmain.qml"));
    declarativeView->setSource(QFileInfo::exists(path) ? QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())
                                                       : builtIn);
    if (declarativeView->status() != QQuickWidget::Ready)
        qCWarning(lcUi) << "the user interface did not load from" << path << declarativeView->errors();

    QQmlContext *context = declarativeView->rootContext();
    context->setContextProperty(QStringLiteral("window"), this);
    connectRootSignals(declarativeView->rootObject());
    context->setContextProperty(QStringLiteral("qmlobject"), &qmlBridge);
    context->setContextProperty(QStringLiteral("ThreeUPS"), &upsInfo);
    context->setContextProperty(QStringLiteral("serial"), &deviceRequests);
    context->setContextProperty(QStringLiteral("mydata"), &dataThread);
    context->setContextProperty(QStringLiteral("sms"), &smsThread);
    dataThread.start(QThread::InheritPriority);
    emailThread.start(QThread::InheritPriority);
    if (QObject *root = declarativeView->rootObject())
        root->setProperty("onScreen", onScreen);
    shownDeviceStatus.clear();
    showDeviceStatus(readDeviceStatus());
    // Key presses reach the view's window before any item.
    declarativeView->quickWindow()->installEventFilter(this);
    serialThread.start(QThread::InheritPriority);
    smsThread.start(QThread::InheritPriority);
}

QStringList MainWindow::wiredRequests()
{
    QStringList names;
    for (const RequestRow &row : kRequestRows)
        names << QLatin1String(row.signal);
    return names;
}

QObject *MainWindow::requestReceiver(int receiver)
{
    switch (receiver) {
    case ToBridge:
        return &qmlBridge;
    case ToDeviceRequests:
        return &deviceRequests;
    case ToWindow:
        return this;
    }
    return nullptr;
}

void MainWindow::connectRootSignals(QObject *root)
{
    if (!root) {
        qCWarning(lcUi) << "no QML root object: no request signal is wired";
        return;
    }
    const QMetaObject *rootMeta = root->metaObject();
    for (const RequestRow &row : kRequestRows) {
        const int signalIndex = rootMeta->indexOfSignal(row.signal);
        if (signalIndex < 0) {
            qCWarning(lcUi) << "the QML root declares no signal" << row.signal;
            continue;
        }
        QObject *receiver = requestReceiver(row.receiver);
        const int slotIndex = receiver ? receiver->metaObject()->indexOfSlot(row.slot) : -1;
        if (slotIndex < 0) {
            qCWarning(lcUi) << "no receiver for" << row.signal << "slot" << row.slot;
            continue;
        }
        connect(root, rootMeta->method(signalIndex), receiver, receiver->metaObject()->method(slotIndex));
    }
}

bool MainWindow::getInitValue()
{
    return false;
}

QString MainWindow::mystr()
{
    return QStringLiteral("10");
}

void MainWindow::mainTimer()
{
    ++runSeconds;
    // First, so that the warning count's early return below cannot skip them.
    const DeviceStatus status = readDeviceStatus();
    showDeviceStatus(status);
    showTrayStatus(status);
    callItem(findViewItem(QStringLiteral("sysRunTime")), "getRunTime", formatRunTime(runSeconds));

    qsizetype warnings = 0;
    {
        // Counted and released before QML runs: a QML handler that clears the list
        // takes this lock for writing.
        QReadLocker locker(&warningListLock);
        warnings = warningList.size();
    }
    QQuickItem *alarmRect = findViewItem(QStringLiteral("alarmRect"));
    if (warnings == 0) {
        callItem(alarmRect, "setOpacity_0");
        return;
    }
    callItem(alarmRect, "setOpacity_1");
    // The badge tells what needs attention now, not how many lines the list holds (its
    // newest eight, recoveries and commands among them).
    callItem(findViewItem(QStringLiteral("alarmNum")), "updateAlarmNo", QVariant(attentionCount(status)));
}

void MainWindow::showDeviceStatus(const DeviceStatus &status)
{
    QQuickItem *item = findViewItem(QStringLiteral("deviceStatus"));
    if (!item)
        return;
    const QString text = deviceStatusText(status);
    if (text == shownDeviceStatus)
        return;
    shownDeviceStatus = text;
    callItem(item, "show", text);
}

void MainWindow::showTrayStatus(const DeviceStatus &status)
{
    if (trayStatusSet && status == trayDeviceStatus)
        return;
    trayStatusSet = true;
    trayDeviceStatus = status;
    TrayStatus next;
    {
        ChineseTranslatorScope translators(currentLang());
        next = trayStatus(status);
    }
    if (next == trayShown)
        return;
    if (next.level != trayShown.level)
        qCInfo(lcUi) << "tray:" << next.toolTip.section(QLatin1Char('\n'), 1);
    trayShown = next;
    if (!trayIcon->isVisible())
        return;
    trayIcon->setIcon(trayFace(next.level));
    trayIcon->setToolTip(next.toolTip);
}

QString MainWindow::formatRunTime(unsigned int seconds) const
{
    const unsigned days = seconds / kSecondsPerDay;
    const QString clock = twoDigits((seconds % kSecondsPerDay) / kSecondsPerHour) + QLatin1Char(':')
        + twoDigits((seconds % kSecondsPerHour) / kSecondsPerMinute) + QLatin1Char(':')
        + twoDigits(seconds % kSecondsPerMinute);
    if (days == 0)
        return clock;
    ChineseTranslatorScope translators(currentLang());
    return twoDigits(days) + QObject::tr("d:") + clock;
}

void MainWindow::initConfigTexts()
{
    ConfigArchive::initConfigTexts(configTexts);
}

void MainWindow::handleInputConfig()
{
    ConfigArchive::handleInputConfig(this, configTexts);
}

void MainWindow::handleOutputConfig()
{
    ConfigArchive::handleOutputConfig(this, configTexts);
}

void MainWindow::handleRestoreConfig()
{
    ConfigArchive::handleRestoreConfig(this, configTexts);
}

void MainWindow::handleWarning()
{
    // Built with no catalogue installed, so it reads in English whatever lang says.
    QMessageBox box(QMessageBox::Warning, tr("Tip"),
                    tr("The SMS communication port and the UPS communication port can't be same !"),
                    QMessageBox::Ok, this);
    box.setDefaultButton(static_cast<QPushButton *>(nullptr));
    dialogs().execMessageBox(box);
}

void MainWindow::handleSerialCom()
{
}

void MainWindow::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger && (isHidden() || isMinimized()))
        restoreWindow();
}

void MainWindow::restoreWindow()
{
    showNormal();
    raise();
    activateWindow();
}

MainWindow::CloseChoice MainWindow::askHowToClose()
{
    if (keptCloseChoice != CloseChoice::Ask)
        return keptCloseChoice;
    // Without a tray a hidden window could not be brought back: it is minimized instead.
    const bool tray = trayIcon->isVisible();
    ChineseTranslatorScope translators(currentLang());
    QMessageBox box(QMessageBox::Question, tr("Close Kestrava"), tr("Quit Kestrava and stop monitoring the device?"),
                    QMessageBox::NoButton, this);
    box.setInformativeText(tr("While Kestrava is not running, no alarm is shown, mailed or sent by SMS, no history "
                              "is written and no scheduled shutdown, start-up or self-test is carried out."));
    QPushButton *quit = box.addButton(tr("&Quit"), QMessageBox::DestructiveRole);
    QPushButton *keep = box.addButton(tray ? tr("Keep monitoring in the tray") : tr("Keep monitoring, minimized"),
                                      QMessageBox::AcceptRole);
    box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setCheckBox(new QCheckBox(tr("Do not ask again until Kestrava ends")));
    QAbstractButton *clicked = dialogs().execMessageBox(box);
    const CloseChoice choice = clicked == quit ? CloseChoice::Quit : clicked == keep ? CloseChoice::Hide
                                                                                      : CloseChoice::Ask;
    if (choice != CloseChoice::Ask && box.checkBox()->isChecked())
        keptCloseChoice = choice;
    return choice;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A session that ends (log-out, shutdown) is not held up by a question.
    if (qApp->isSavingSession()) {
        event->accept();
        return;
    }
    switch (askHowToClose()) {
    case CloseChoice::Quit:
        qCInfo(lcUi) << "closed by the user: monitoring ends";
        event->accept();
        return;
    case CloseChoice::Hide:
        event->ignore();
        if (trayIcon->isVisible())
            hide();
        else
            showMinimized();
        return;
    case CloseChoice::Ask:
        event->ignore();
        return;
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (!key || !declarativeView || watched != declarativeView->quickWindow())
        return QWidget::eventFilter(watched, event);
    const auto *pressed = static_cast<QKeyEvent *>(event);
    const bool enter = (pressed->key() == Qt::Key_Return || pressed->key() == Qt::Key_Enter)
        && (pressed->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    QQuickItem *focused = declarativeView->quickWindow()->activeFocusItem();
    if (!enter || !focused || !focused->inherits("QQuickAbstractButton"))
        return QWidget::eventFilter(watched, event);
    // The button takes it as the Space it already knows, press and release alike, so it
    // behaves exactly as with Space (checkable buttons toggle, disabled ones do nothing).
    QKeyEvent space(event->type(), Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), pressed->isAutoRepeat());
    QCoreApplication::sendEvent(watched, &space);
    return true;
}

void MainWindow::paintEvent(QPaintEvent *)
{
    // Paints nothing: with the translucent background everything outside the view
    // stays transparent.
    QPainter painter(this);
    painter.end();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    followScreenState();
    repaint();
}

void MainWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    followScreenState();
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        followScreenState();
}

void MainWindow::followScreenState()
{
    // A minimized window stays "visible" to Qt, and the view would go on rendering every
    // change into its offscreen buffer for nobody: hiding the view stops that.
    const bool shown = isVisible() && !isMinimized();
    if (shown == onScreen || !declarativeView)
        return;
    onScreen = shown;
    declarativeView->setVisible(shown);
    if (QObject *root = declarativeView->rootObject())
        root->setProperty("onScreen", shown);
    qCDebug(lcUi) << "window on screen:" << shown;
}
