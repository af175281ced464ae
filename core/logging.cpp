#include "core/logging.h"

Q_LOGGING_CATEGORY(lcCore, "kestrava.core", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDevice, "kestrava.device", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDeviceRaw, "kestrava.device.raw", QtWarningMsg)
Q_LOGGING_CATEGORY(lcBridge, "kestrava.bridge", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHistory, "kestrava.history", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNotify, "kestrava.notify", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "kestrava.ui", QtInfoMsg)

RetriedProblem::RetriedProblem(QMessageLogger::CategoryFunction log, QString what)
    : m_log(log), m_what(std::move(what))
{
}

void RetriedProblem::report(const QString &problem)
{
    if (problem == m_reported)
        return;
    if (problem.isEmpty())
        qCInfo(m_log).noquote() << m_what << "works again (it was:" << m_reported + QLatin1Char(')');
    else
        qCWarning(m_log).noquote() << m_what + QLatin1Char(':') << problem
                                   << "- retried without a further word until it works";
    m_reported = problem;
}
