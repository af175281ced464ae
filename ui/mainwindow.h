#pragma once
// The program's one top-level window: a frameless, translucent 980 x 680 widget whose
// only content is the QML view. It owns the worker threads and the bridge objects, loads
// the QML file, publishes the context objects, wires the QML root's request signals,
// offers the tray icon and drives the run-time and alarm indicator once a second.
//
// Thread: GUI thread only. The worker-thread objects belong to the GUI thread too, so
// every slot wired from the QML root runs synchronously inside the QML's emission.
#include <QCursor>
#include <QPixmap>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QWidget>

#include <cstdint>

#include "bridge/devicerequests.h"
#include "bridge/qmlobject.h"
#include "device/serial_thread.h"
#include "history/data_thread.h"
#include "notify/email_thread.h"
#include "notify/sms_thread.h"
#include "notify/smtp.h"
#include "ui/devicestatus.h"
#include "ui/traystatus.h"

#include <atomic>
#include <memory>

class QAction;
class QMenu;
class QQuickItem;
class QThread;
class QTimer;

// Ticks of the window's one-second timer since start; counts ticks, not wall time.
// GUI thread only.
extern uint32_t runSeconds;

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Loads the QML file (a local path, relative paths against the working directory),
    // publishes the context objects, wires the request signals and starts the threads.
    void loadQmlView(const QString &path);

    // The QML root's request signals in the order loadQmlView connects them.
    static QStringList wiredRequests();

    // "hh:mm:ss", with days "DDd:hh:mm:ss" (day mark translated when lang is "0").
    QString formatRunTime(unsigned int seconds) const;

public slots:
    bool getInitValue();
    QString mystr();
    void mainTimer();
    // The test e-mail (mainwindow_testemail.cpp): stores the request's seven server
    // settings and sends one mail to the sender's own address. The SMTP dialogue runs in
    // a worker thread; the result box opens when it has ended. A request that comes
    // while one is being sent is refused.
    void handleTestEmail(QString request);
    // The test client's outcome, "success" or "error", shown in a box.
    void receiverSmtpSignal(QString error);
    // The configuration archive; the work is ConfigArchive's (configarchive.h).
    void handleInputConfig();
    void handleOutputConfig();
    void handleRestoreConfig();
    void handleWarning();
    void handleSerialCom();
    // A click on the tray icon brings the window back, hidden or minimized.
    void iconActivated(QSystemTrayIcon::ActivationReason reason);

public:
    // What the tray shows now (also without a system tray, where nothing is shown).
    TrayStatus shownTrayStatus() const { return trayShown; }
    // The device thread is no context object (the QML's "serial" is the request object),
    // so whether it runs is asked here.
    bool deviceThreadRunning() const { return serialThread.isRunning(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    // The close button asks whether to quit, which ends all monitoring, or to go on in the
    // tray; the answer may be kept until the program ends.
    void closeEvent(QCloseEvent *event) override;
    // Enter presses the focused button of the user interface, as Space does.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildTrayIcon();
    void initConfigTexts();
    void connectRootSignals(QObject *root);
    QObject *requestReceiver(int receiver);
    void stopThreads();
    // Shown and not minimized: the view renders only then, and the pages ask for
    // values only then.
    void followScreenState();
    void showDeviceStatus(const DeviceStatus &status);
    void showTrayStatus(const DeviceStatus &status);
    void restoreWindow();
    enum class CloseChoice { Ask, Quit, Hide };
    CloseChoice askHowToClose();

    QTimer *timer = nullptr;
    QCursor cursor;
    data_thread dataThread;
    email_thread emailThread;
    serial_thread serialThread;
    sms_thread smsThread;
    qmlobject qmlBridge;
    DeviceRequests deviceRequests;
    QStringList configTexts;
    QStringList emailTexts;
    void initEmailTexts();
    // The test mail under way: its worker and the state it shares with it (the abort
    // flag, set here; the outcome, written by the worker before it finishes).
    struct TestEmailJob
    {
        std::atomic<bool> abort{false};
        QString outcome;
        QString failure; // why it failed, in the client's words
    };
    std::shared_ptr<TestEmailJob> testEmailJob;
    QThread *testEmailThread = nullptr;
    bool testEmailInProgress = false;
    QString testEmailFailure; // shown under the failure text of the next result box
    QString testEmailSentTo; // where the mail went, shown under the next success text
    // Aborts a test mail under way and waits (bounded) for its worker.
    void stopTestEmail();
    QString shownDeviceStatus; // the status text the view has, to send only changes
    // The status the tray was last given, to rebuild its texts only on a change.
    DeviceStatus trayDeviceStatus;
    bool trayStatusSet = false;
    TrayStatus trayShown;
    CloseChoice keptCloseChoice = CloseChoice::Ask;
    bool onScreen = false;
    // The original window shadow image is not among the resources; nothing draws it.
    QPixmap shadowPixmap;
    QMenu *trayIconMenu = nullptr; // parentless (Qt 6 has no desktop widget); owned here
    QSystemTrayIcon *trayIcon = nullptr;
    QAction *quitAction = nullptr;
    QAction *minimizeAction = nullptr;
    QAction *restoreAction = nullptr;
};
