#pragma once
// The bridge between the QML user interface and the program: every request signal of the
// QML root object that asks for live status, warnings or settings lands on a slot here,
// and each slot answers with one reply signal before it returns.
//
// Thread: GUI thread only (the object and every slot). The slots copy what one reply needs
// under the read side of upsInfo.lock, settingsLock, scheduleListLock or warningListLock,
// release it, and build and emit the reply afterwards; a setter changes its record under
// the write side of settingsLock and touches "param.ini" and the databases after release.
//
// The order of the signals and slots and the signals' parameter names are the QML
// contract: QML handlers refer to the parameters by name. Do not reorder.
#include <QObject>
#include <QString>
#include <QStringList>

struct RecordSnapshot;

class qmlobject : public QObject
{
    Q_OBJECT
public:
    qmlobject();
    ~qmlobject() override;

    // Column titles of the CSV exports of the history browser; filled by that export alone.
    QStringList dayHeader;
    QStringList monthHeader;
    QStringList yearHeader;
    QStringList analogHeader;
    QStringList eventHeader;
    QStringList smsHeader;

    // The history browser (qmlobject_history.cpp).
    // Deletes the file of the kind and period and answers with the kind's empty page; a file
    // that cannot be deleted keeps its page and the user is told.
    void clearReportRecord(const QString &datetime, const QString &type);
    // Asks for a target in the Save As dialog (in the documents folder), writes the file
    // there as CSV and tells the user how many rows went where, or why none did.
    void saveReportRecord(const QString &datetime, const QString &type);
    void buildChartData(const QString &dateTime, const QString &flag);
    void initDayReportHeader();
    void initMonthReportHeader();
    void initYearReportHeader();
    void initAnalogReportHeader();
    void initEventReportHeader();
    void initSmsReportHeader();
    // Headings of a record page (kind 1 snapshots, 2 events) from the family, link state and
    // masks of the request's one snapshot, the same the page's cells are read with.
    static void buildDeviceRecordHeader(QStringList &keys, int kind, const RecordSnapshot &snapshot);
    static void buildDefaultRecordHeader(QStringList &keys, int kind);

    // Asked by the SMS page before it saves: whether modemPort is the device's port as it
    // stands, so the two cannot be set to one port.
    Q_INVOKABLE bool modemPortClashes(const QString &modemPort) const;

signals:
    void sigFlowState(QString runState, QString batState, QString load, QString input, QString pvPower,
                      QString batPower);
    void sigMainGenInfo(QString strMainGenInfo);
    void sigACInfo(QString strACInfo);
    void sigDeviceInfo(QString strDeviceInfo);
    void sigBatInfo(QString strBatInfo);
    void sigBypassInfo(QString strBypassInfo);
    void sigOutputInfo(QString strOutputInfo);
    void sigOtherInfo(QString strOtherInfo);
    void sigPVInfo(QString strPVTInfo, QString strPVInfo);
    void sigMainModuleInfo(QString strModuleFlag, QString strMainMInfo);
    // Emitted by the history browser's chart, report and record slots.
    void sigChartDay(QString daystr);
    void sigChartMonth(QString monthstr);
    void sigChartYear(QString yearstr);
    void sigChartTotal(QString totalstr);
    void sigReport(QString strtype, QString strpage, QString dcount, QString strValue);
    void sigAnalogDataRecord(QString strpage, QString dcount, QString strValue);
    void sigEventDataRecord(QString strpage, QString dcount, QString strValue);
    void sigSMSDataRecord(QString strpage, QString dcount, QString strValue);
    // The answer, in place of the page or chart, to a request whose history file another
    // program held locked: its type ("report_day" ...) or chart flag ("chartday" ...).
    void sigHistoryBusy(QString strtype);
    void emailGetSig(QString emailjson);
    void sigQtSSMSSet(QString smsjson);
    void warningDataSig(QString strtest);
    void clearAlarmSig();
    // Raised by the QML side itself (device port and modem port are the same); the main
    // window shows its warning box.
    void qmlobjectCom();
    void siglang(QString lang);
    void sigSysSet(QString sysjson);
    void sigSMSState(QString smsjson);
    void sigScheduleTime(QString scheTime);
    void sigprotocol(QString strProtocol);
    // handleSetSMS refused the request, nothing changed: this number would split the rows
    // of the SMS log page.
    void sigSMSNumberRefused(QString number);
    // Emitted by each setter before it returns: setting names it ("ports", "lang",
    // "email", "sms"), failure is "" when every file took the change, else why one did not.
    void sigSaveResult(QString setting, QString failure);

public slots:
    void handlegetChartData(QString request);
    void handleMainGenInfo();
    void handleMainModuleData(QString request);
    void handleGetACInfo();
    void handleGetBatInfo();
    void handleGetBypassInfo();
    void handleGetOtherInfo();
    void handleGetOutputInfo();
    void handleGetPVInfo();
    void handleOperReportRecord(QString request);
    void handleReportRecord(QString request);
    void handleSetComConfig(QString request);
    void handleSetPublicPara(QString request);
    void handleSetEmail(QString request);
    void handleSetSMS(QString request);
    void handleGetEmailSet();
    void handleGetSMSSet();
    void handleWarningData();
    void handleClearWarning();
    void handleGetFlowState();
    void handleGetLanguage();
    void handleGetSystemSet();
    void handleSendSMSTest(QString request);
    void handleGetSMSState();
    void handleGetScheduleTime();
    void handleGetProtocol();
    void handleGetdeviceInfo();
};
