// The window's test e-mail: the user's first check that alarm mails will reach them.
#include "ui/mainwindow.h"

#include "core/clock.h"
#include "core/events.h"
#include "core/logging.h"
#include "core/settings.h"
#include "core/textformats.h"
#include "core/translation.h"
#include "core/dialogs.h"

#include <QMessageBox>
#include <QThread>
#include <QReadLocker>
#include <QWriteLocker>

namespace {
const char kTimeFormat[] = "yyyy-MM-dd hh:mm:ss";
// Closing the window ends a test mail in progress; the client's waits see the stop flag
// within kStopPollMs, so this is only reached by a hung host name lookup.
constexpr unsigned long kTestEmailStopWaitMs = 3000;

enum EmailText { TimeLabel, EventLabel, BoxTitle, SuccessText, FailureText };
}

void MainWindow::initEmailTexts()
{
    emailTexts.clear();
    emailTexts << tr("Time:") << tr("Log Event:") << tr("Email") << tr("Successfully send email")
               << tr("Send email failed,network error or configure error!");
}

void MainWindow::handleTestEmail(QString request)
{
    // One dialogue at a time: a request while one is under way, or while its result box
    // is open, is refused.
    if (testEmailInProgress) {
        qCWarning(lcUi) << "a test e-mail is being sent; the new request is refused";
        return;
    }
    const QDateTime eventTime = appClock().now();
    const RequestJson req(request);

    QString values[kEmailServerKeyCount];
    for (int i = 0; i < kEmailServerKeyCount; ++i)
        values[i] = req.value(QLatin1String(kEmailKeys[i].key));
    EmailSettings stored;
    QString lang;
    QString eventText;
    if (req.isObject()) {
        QWriteLocker locker(&settingsLock);
        for (int i = 0; i < kEmailServerKeyCount; ++i)
            emailSettings.*kEmailKeys[i].member = values[i];
        stored = emailSettings;
        lang = systemSettings.lang;
        eventText = upsEventTexts.value(EventTestEmail);
    } else {
        qCWarning(lcUi) << "test e-mail: the request is not a JSON object; nothing is stored or sent";
        QReadLocker locker(&settingsLock);
        lang = systemSettings.lang;
    }

    ChineseTranslatorScope translators(lang);
    initEmailTexts();
    if (!req.isObject()) {
        receiverSmtpSignal(QStringLiteral("error"));
        return;
    }

    if (!writeParamKeys(emailParamKeys(values, kEmailServerKeyCount)))
        qCWarning(lcUi) << "test e-mail: the server settings could not be written to param.ini";

    const QString body = emailTexts.at(TimeLabel) + eventTime.toString(QLatin1String(kTimeFormat))
        + QLatin1String("<br/>") + emailTexts.at(EventLabel) + eventText;
    const QString subject = QStringLiteral("%1:%2").arg(QStringLiteral("Kestrava"), eventText);

    // The dialogue blocks for as long as a slow server keeps it going, so it runs in a
    // worker of its own: the client is created, used and destroyed there. The job is
    // shared, so that a worker still running when the window has gone touches nothing
    // of the window.
    auto job = std::make_shared<TestEmailJob>();
    QThread *worker = QThread::create([job, stored, subject, body] {
        Smtp smtp;
        applyEmailSettings(smtp, stored);
        smtp.setStopFlag(&job->abort);
        QObject::connect(&smtp, &Smtp::ErrorCloseAll, [job](const QString &outcome) { job->outcome = outcome; });
        smtp.sendMail({stored.senderAddr}, subject, body);
        job->failure = smtp.failureReason();
    });
    // Queued into the GUI thread; dropped with the window if it goes first.
    // Built while the translators are installed; the result box comes later.
    const QString sentTo = tr("It went to the sender address %1.").arg(stored.senderAddr);
    connect(worker, &QThread::finished, this, [this, job, worker, sentTo] {
        testEmailJob.reset();
        testEmailThread = nullptr;
        worker->deleteLater();
        testEmailFailure = job->failure;
        testEmailSentTo = sentTo;
        receiverSmtpSignal(job->outcome.isEmpty() ? QStringLiteral("error") : job->outcome);
        testEmailFailure.clear();
        testEmailSentTo.clear();
        testEmailInProgress = false;
    });
    testEmailInProgress = true;
    testEmailJob = job;
    testEmailThread = worker;
    worker->start();
}

void MainWindow::stopTestEmail()
{
    if (!testEmailThread)
        return;
    testEmailJob->abort = true;
    // A thread object must outlive its thread: one that did not end is left, not freed.
    if (testEmailThread->wait(kTestEmailStopWaitMs))
        delete testEmailThread;
    else
        qCWarning(lcUi) << "test e-mail: the dialogue did not end in time; its worker is left to finish";
    // Whatever happened, the window no longer shows its outcome.
    testEmailThread = nullptr;
    testEmailJob.reset();
}

void MainWindow::receiverSmtpSignal(QString error)
{
    cursor.setShape(Qt::ArrowCursor);
    setCursor(cursor);
    int text = -1;
    if (error == QLatin1String("success"))
        text = SuccessText;
    else if (error == QLatin1String("error"))
        text = FailureText;
    if (text < 0)
        return;
    // The client's reason is in English, as the program's log is. A success says where
    // the mail went: to the sender's own address, not to the alarm recipients.
    QString detail;
    if (text == FailureText && !testEmailFailure.isEmpty())
        detail = QStringLiteral("\n\n") + testEmailFailure;
    else if (text == SuccessText && !testEmailSentTo.isEmpty())
        detail = QStringLiteral("\n\n") + testEmailSentTo;
    QMessageBox box(text == SuccessText ? QMessageBox::Information : QMessageBox::Warning,
                    emailTexts.value(BoxTitle), emailTexts.value(text) + detail, QMessageBox::Ok, this);
    dialogs().execMessageBox(box);
}
