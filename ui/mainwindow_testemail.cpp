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
#include <QReadLocker>
#include <QWriteLocker>

namespace {
const char kTimeFormat[] = "yyyy-MM-dd hh:mm:ss";

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
    // The result box runs an event loop inside the send; a request that arrives through
    // it must neither start a second dialogue nor free the client that is sending.
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

    if (testSmtp)
        testSmtp.release()->deleteLater();
    testSmtp = std::make_unique<Smtp>();
    applyEmailSettings(*testSmtp, stored);
    connect(testSmtp.get(), &Smtp::ErrorCloseAll, this, &MainWindow::receiverSmtpSignal);

    const QString body = emailTexts.at(TimeLabel) + eventTime.toString(QLatin1String(kTimeFormat))
        + QLatin1String("<br/>") + emailTexts.at(EventLabel) + eventText;
    const QString subject = QStringLiteral("%1:%2").arg(QStringLiteral("Kestrava"), eventText);

    testEmailInProgress = true;
    testSmtp->sendMail({stored.senderAddr}, subject, body);
    testEmailInProgress = false;
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
    QMessageBox box(QMessageBox::Warning, emailTexts.value(BoxTitle), emailTexts.value(text), QMessageBox::Ok, this);
    dialogs().execMessageBox(box);
}
