import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies

// The SMTP server, the alarm recipients and the generation reports; and the test e-mail.
PageBase {
    id: page
    signal save(string request)
    signal sendTest(string request)

    function show(text) {
        var s = Replies.json(text)
        if (!s)
            return
        host.text = s.serverHostaddr
        port.text = s.serverHostPort
        sender.text = s.senderAddr
        login.checked = s.serverAuthFlag === "0"
        account.text = s.senderAccount
        password.text = s.senderPassword
        tls.checked = s.sslFlag === "0"
        recipients.load(s.email_receiver_addrs, s.email_event_flag)
        dayReport.checked = s.genRDFlag === "0"
        dayTime.text = s.genRDay
        monthReport.checked = s.genRMFlag === "0"
        monthTime.text = s.genRMonth
        yearReport.checked = s.genRYFlag === "0"
        yearTime.text = s.genRYear
        console.debug(Theme.shownLog, "email: server=" + s.serverHostaddr + " recipients="
                      + recipients.addresses().length)
    }

    function smtpSettings() {
        return {
            serverHostaddr: host.text, serverHostPort: port.text, senderAddr: sender.text,
            serverAuthFlag: login.checked ? "0" : "1", senderAccount: account.text,
            senderPassword: password.text, sslFlag: tls.checked ? "0" : "1"
        }
    }

    function request() {
        var r = smtpSettings()
        r.email_receiver_addrs = recipients.addresses()
        r.email_event_flag = recipients.masks()
        r.genRDFlag = dayReport.checked ? "0" : "1"
        r.genRDay = dayTime.text
        r.genRMFlag = monthReport.checked ? "0" : "1"
        r.genRMonth = monthTime.text
        r.genRYFlag = yearReport.checked ? "0" : "1"
        r.genRYear = yearTime.text
        return Replies.request(r)
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 10
        Text {
            text: page.title
            font.pixelSize: Theme.titleSize
            font.bold: true
            color: Theme.header
        }
        RowLayout {
            spacing: 12
            Layout.fillWidth: true
            Layout.fillHeight: true
            ColumnLayout {
                spacing: 12
                Layout.alignment: Qt.AlignTop
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("Mail server")
                    GridLayout {
                        columns: 2
                        columnSpacing: 10
                        rowSpacing: 4
                        Label { text: Lang.tr("Server") }
                        TextField { id: host; objectName: "serverHost"; Layout.preferredWidth: 200 }
                        Label { text: Lang.tr("Port") }
                        TextField {
                            id: port
                            objectName: "serverPort"
                            Layout.preferredWidth: 80
                            validator: IntValidator { bottom: 1; top: 65535 }
                        }
                        Label { text: Lang.tr("Sender") }
                        TextField { id: sender; Layout.preferredWidth: 200 }
                        Check { id: login; text: Lang.tr("Log in"); Layout.columnSpan: 2 }
                        Label { text: Lang.tr("Account"); enabled: login.checked }
                        TextField { id: account; enabled: login.checked; Layout.preferredWidth: 200 }
                        Label { text: Lang.tr("Password"); enabled: login.checked }
                        TextField {
                            id: password
                            enabled: login.checked
                            echoMode: TextInput.Password
                            Layout.preferredWidth: 200
                        }
                        Check {
                            id: tls
                            text: Lang.tr("Use TLS")
                            enabled: login.checked
                            Layout.columnSpan: 2
                        }
                    }
                }
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("Generation reports")
                    GridLayout {
                        columns: 3
                        columnSpacing: 10
                        rowSpacing: 2
                        Check { id: dayReport; text: Lang.tr("Daily") }
                        TextField { id: dayTime; Layout.preferredWidth: 110; enabled: dayReport.checked }
                        Label { text: "hh:mm"; color: Theme.muted }
                        Check { id: monthReport; text: Lang.tr("Monthly") }
                        TextField { id: monthTime; Layout.preferredWidth: 110; enabled: monthReport.checked }
                        Label { text: "dd hh:mm"; color: Theme.muted }
                        Check { id: yearReport; text: Lang.tr("Yearly") }
                        TextField { id: yearTime; Layout.preferredWidth: 110; enabled: yearReport.checked }
                        Label { text: "MM/dd hh:mm"; color: Theme.muted }
                    }
                }
            }
            Card {
                Layout.fillWidth: true
                Layout.fillHeight: true
                title: Lang.tr("Alarm recipients")
                RecipientList { id: recipients; placeholder: "name@example.org" }
            }
        }
        RowLayout {
            spacing: 12
            Button {
                objectName: "saveEmail"
                text: Lang.tr("Save")
                onClicked: page.save(page.request())
            }
            Button {
                objectName: "sendTestEmail"
                text: Lang.tr("Send test e-mail")
                onClicked: page.sendTest(Replies.request(page.smtpSettings()))
            }
        }
    }
}
