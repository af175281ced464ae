#pragma once
// Logging categories: turn on exactly the trace you need with QT_LOGGING_RULES,
// e.g. QT_LOGGING_RULES="kestrava.device.raw.debug=true".
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCore)       // kestrava.core: start-up, settings, schedule
Q_DECLARE_LOGGING_CATEGORY(lcDevice)     // kestrava.device: link state, transactions
Q_DECLARE_LOGGING_CATEGORY(lcDeviceRaw)  // kestrava.device.raw: hex dumps of frames
Q_DECLARE_LOGGING_CATEGORY(lcBridge)     // kestrava.bridge: QML requests and replies
Q_DECLARE_LOGGING_CATEGORY(lcHistory)    // kestrava.history: history databases
Q_DECLARE_LOGGING_CATEGORY(lcNotify)     // kestrava.notify: SMTP and SMS
Q_DECLARE_LOGGING_CATEGORY(lcUi)         // kestrava.ui: window, tray, archive

#include <QString>

// A problem that lasts while something is retried on a timer (a port that will not open, a
// file that cannot be written): logged in one warning when it starts or changes, and in one
// line when it ends, not at every retry. One thread uses an object.
class RetriedProblem
{
public:
    // `what` names the thing retried, e.g. "event log".
    RetriedProblem(QMessageLogger::CategoryFunction log, QString what);
    // The outcome of one attempt: the problem's text, or an empty text when it succeeded.
    void report(const QString &problem);
    bool active() const { return !m_reported.isEmpty(); }

private:
    QMessageLogger::CategoryFunction m_log;
    QString m_what;
    QString m_reported;
};
