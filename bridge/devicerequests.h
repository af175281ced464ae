#pragma once
// The user interface's requests for the device's settings, controls and schedule, and
// their replies. The window publishes the object to the QML as "serial".
//
// Thread: GUI thread only; every slot emits its reply before it returns. The object holds
// nothing of its own. It reaches the device thread only through the shared state and the
// command queue, each behind its own lock: deviceSettings, smsSettings (settingsLock),
// scheduleList, preAlarm and the next times (scheduleListLock), the decoded support bits and
// hour bands (upsInfo.lock), settingsValid (atomic), and the words it queues
// (commandQueueLock, through core/commandqueue.h).
#include <QObject>
#include <QString>

class DeviceRequests : public QObject
{
    Q_OBJECT
public:
    explicit DeviceRequests(QObject *parent = nullptr) : QObject(parent) {}

public slots:
    // Controls (devicerequests_controls.cpp).
    void handleSetLongControl(QString request);
    void handleGetLongControlSet();
    void handleSetMBSet(QString request);
    void handleGetInverterMSet();
    void handleSetInvertM(QString request);
    // Port, protocol and self-test (devicerequests_settings.cpp).
    void handleGetInverterSet();
    void handleSetInverterCom(QString request);
    void handleSetInverter(QString str);
    // Schedule (devicerequests_schedule.cpp).
    void handleSetSched(QString request);
    void handleGetschedule();
    // Controls again, in the order the user interface knows them.
    void handleSetDischargedepth(QString request);

signals:
    // The order of the signals and their parameter names are the QML contract.
    void sigQtSLongConSet(QString longconjson);
    void sigQtSInverterMSet(QString flag, QString strinverterM);
    void sigQtSInverterCom(QString invertercomjson);
    void sigQtSInverterSet(QString inverterjson);
    void sigQtSSchedSet(QString schedjson);
    // The device is set to the modem's port; only a warning, the setting is kept.
    void serialCom();
    void sigQtSSchedTime(QString minShutdownTime, QString minStartupTime);
    // Emitted by each setter that stores settings, before it returns: setting names it
    // ("devicecom", "selftest", "schedule", "bypass", "depth", "longcontrol"), failure is
    // "" when the files took the change, else why one did not.
    void sigSaveResult(QString setting, QString failure);
};
