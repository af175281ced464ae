pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies

// The SMTP server, the alarm recipients and the generation reports; and the test e-mail.
PageBase {
    id: page
    signal save(string request)
    signal sendTest(string request)
    // Set when a save went out; the reply that follows it confirms it on screen.
    property bool saving: false
    property string savedText: ""
    SaveReply { id: saveReply; target: UiState.bridge; settings: ["email"] }

    // What keeps the settings from being stored, or "" (each field says it in place too).
    readonly property string problem: {
        var fields = [host, port, sender, dayTime, monthTime, yearTime]
        for (var i = 0; i < fields.length; ++i) {
            if (fields[i].problem !== "")
                return fields[i].message
        }
        return recipients.problem
    }
    Connections {
        target: page
        function onShown() {
            page.savedText = ""
            saveReply.expect()
        }
    }
    // The test mail needs the server part alone.
    readonly property string serverProblem: host.problem !== "" ? host.message
        : port.problem !== "" ? port.message : sender.problem !== "" ? sender.message
        : host.text === "" || sender.text === "" ? Lang.tr("A test e-mail needs the server and the sender.") : ""

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
        if (saving)
            savedText = saveReply.failure === "" ? Lang.tr("Settings saved.") : saveReply.text
        saving = false
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
                // The rest of the width goes to the recipients, whose rows need room for
                // an address, its events and the remove button.
                Layout.preferredWidth: 350
                Layout.fillWidth: false
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("Mail server")
                    GridLayout {
                        columns: 2
                        columnSpacing: 10
                        rowSpacing: 4
                        Label { text: Lang.tr("Server") }
                        CheckedField { id: host; objectName: "serverHost"; kind: "optional:host"; Layout.preferredWidth: 200 }
                        Label { text: Lang.tr("Port") }
                        CheckedField {
                            id: port
                            objectName: "serverPort"
                            kind: "whole"
                            min: 1
                            max: 65535
                            Layout.preferredWidth: 80
                        }
                        Label { text: Lang.tr("Sender") }
                        CheckedField { id: sender; objectName: "sender"; kind: "optional:address"; Layout.preferredWidth: 200 }
                        // The alarm recipients do not get the test: it checks the server part alone.
                        Item { implicitWidth: 1; implicitHeight: 1 }
                        Text {
                            objectName: "testEmailNote"
                            text: Lang.tr("The test e-mail goes to this address only.")
                            color: Theme.muted
                            font.pixelSize: Theme.fontSize - 1
                        }
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
                        CheckedField {
                            id: dayTime
                            objectName: "dayTime"
                            kind: "optional:clock"
                            Layout.preferredWidth: 110
                            enabled: dayReport.checked
                        }
                        Label { text: "hh:mm"; color: Theme.muted }
                        Check { id: monthReport; text: Lang.tr("Monthly") }
                        CheckedField {
                            id: monthTime
                            objectName: "monthTime"
                            kind: "optional:monthTime"
                            Layout.preferredWidth: 110
                            enabled: monthReport.checked
                        }
                        Label { text: "dd hh:mm"; color: Theme.muted }
                        Check { id: yearReport; text: Lang.tr("Yearly") }
                        CheckedField {
                            id: yearTime
                            objectName: "yearTime"
                            kind: "optional:yearTime"
                            Layout.preferredWidth: 110
                            enabled: yearReport.checked
                        }
                        Label { text: "MM/dd hh:mm"; color: Theme.muted }
                    }
                }
            }
            Card {
                Layout.fillWidth: true
                Layout.fillHeight: true
                title: Lang.tr("Alarm recipients")
                RecipientList { id: recipients; placeholder: "name@example.org"; kind: "address" }
            }
        }
        RowLayout {
            spacing: 12
            Button {
                objectName: "saveEmail"
                text: Lang.tr("Save")
                enabled: page.problem === ""
                onClicked: {
                    page.savedText = ""
                    if (page.problem !== "")
                        return
                    page.saving = true
                    saveReply.expect()
                    page.save(page.request())
                }
            }
            Button {
                objectName: "sendTestEmail"
                text: Lang.tr("Send test e-mail")
                enabled: page.serverProblem === ""
                onClicked: {
                    if (page.serverProblem === "")
                        page.sendTest(Replies.request(page.smtpSettings()))
                }
            }
            Text {
                objectName: "emailStatus"
                Layout.fillWidth: true
                elide: Text.ElideRight
                text: page.problem !== "" ? page.problem : page.savedText !== "" ? page.savedText : page.serverProblem
                color: page.problem !== "" || saveReply.failure !== "" ? Theme.alarm
                    : page.savedText !== "" ? Theme.good : Theme.muted
                font.pixelSize: Theme.fontSize
            }
        }
    }
}
