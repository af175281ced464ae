pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies

// SMS alarms through the GSM modem: the switch, the modem port, the phone numbers with
// their event masks, the modem's state, and the test SMS.
PageBase {
    id: page
    live: true
    interval: 3000
    property var modem: ({})
    signal save(string request)
    signal sendTest(string request)
    property bool saving: false
    property string savedText: ""
    // The settings were not saved: why, in the user's words.
    property string refusedText: ""
    SaveReply { id: saveReply; target: UiState.bridge; settings: ["sms"] }
    // What became of the latest test SMS, from the state reply.
    property string testText: ""
    Connections {
        target: page
        function onShown() {
            page.savedText = ""
            page.refusedText = ""
            page.testText = ""
            saveReply.expect()
        }
    }
    // The modem port chosen is the device's port: nothing is saved.
    signal portClash()

    // Asked of the program, which knows the device's port as it stands and which names are
    // no port at all.
    function clashes(port) {
        return UiState.bridge !== null && UiState.bridge.modemPortClashes(port) // qmllint disable type
    }

    function showSettings(text) {
        var s = Replies.json(text)
        if (!s)
            return
        smsOn.checked = s.smsFlag === "0"
        var ports = s.comName && Array.isArray(s.comName.com) ? s.comName.com.slice() : []
        var selected = s.comName ? s.comName.selected : ""
        if (selected && ports.indexOf(selected) < 0)
            ports.push(selected)
        modemPort.model = ports
        modemPort.currentIndex = ports.indexOf(selected)
        modemPort.editText = selected
        phones.load(s.phones, s.sms_event_flag)
        if (saving)
            savedText = saveReply.failure === "" ? Lang.tr("Settings saved.") : saveReply.text
        saving = false
        showState(text)
    }

    // The bridge refused the numbers, nothing changed.
    function showRefused(number) {
        saving = false
        savedText = ""
        refusedText = Lang.tr("Not saved: the number %1 holds \"@\" or \"|\".").arg(number)
    }

    function queuedText(state) {
        return state === "3" ? Lang.tr("Queued for the modem.")
                             : Lang.tr("Queued; the modem is not ready, so it waits up to 10 minutes.")
    }

    // The program's own reasons are translated; a modem's result code stays as it came.
    function reasonText(reason) {
        return Lang.has(reason) ? Lang.tr(reason) : reason
    }

    function testOutcomeText(s) {
        if (s.testsms === "sent")
            return Lang.tr("Test SMS sent.")
        if (s.testsms === "failed")
            return Lang.tr("Test SMS not sent: %1").arg(reasonText(s.testsmsreason))
        if (s.testsms === "queued")
            return queuedText(s.smsconnected)
        return testText
    }

    function showState(text) {
        var s = Replies.json(text)
        modem = s ? s : {}
        testText = testOutcomeText(modem)
        console.debug(Theme.shownLog, "modem: smsconnected=" + modem.smsconnected + " signalquality="
                      + modem.signalquality)
    }

    function stateText(code) {
        if (code === "1")
            return Lang.tr("Modem port failed")
        if (code === "2")
            return Lang.tr("Port open, modem not ready")
        if (code === "3")
            return Lang.tr("Ready")
        return Lang.tr("Off")
    }

    function request() {
        return Replies.request({
            smsFlag: smsOn.checked ? "0" : "1", comName: modemPort.editText,
            phones: phones.addresses(), sms_event_flag: phones.masks()
        })
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
            Card {
                Layout.fillWidth: true
                Layout.fillHeight: true
                title: Lang.tr("SMS alarms")
                Check { id: smsOn; objectName: "smsOn"; text: Lang.tr("Send alarms by SMS") }
                RowLayout {
                    spacing: 10
                    Label { text: Lang.tr("Modem port") }
                    Combo {
                        id: modemPort
                        objectName: "modemPort"
                        editable: true
                        Layout.preferredWidth: 180
                    }
                }
                RecipientList { id: phones; placeholder: "+8613800000000"; kind: "phone"; namePrefix: "phone_"; addName: "addPhone" }
                RowLayout {
                    spacing: 10
                    Button {
                        objectName: "saveSms"
                        text: Lang.tr("Save")
                        enabled: phones.problem === ""
                        onClicked: {
                            page.savedText = ""
                            page.refusedText = ""
                            if (phones.problem !== "")
                                return
                            if (page.clashes(modemPort.editText.trim())) {
                                page.portClash()
                            } else {
                                page.saving = true
                                saveReply.expect()
                                page.save(page.request())
                            }
                        }
                    }
                    Text {
                        objectName: "smsStatus"
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                        text: phones.problem !== "" ? phones.problem
                                                    : page.refusedText !== "" ? page.refusedText : page.savedText
                        color: phones.problem !== "" || page.refusedText !== "" || saveReply.failure !== "" ? Theme.alarm : Theme.good
                        font.pixelSize: Theme.fontSize
                    }
                }
            }
            ColumnLayout {
                spacing: 12
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 300
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("Modem")
                    GridLayout {
                        columns: 2
                        columnSpacing: 12
                        rowSpacing: 4
                        Label { text: Lang.tr("State"); color: Theme.muted }
                        Label {
                            objectName: "modemState"
                            text: page.stateText(page.modem.smsconnected)
                            color: page.modem.smsconnected === "3" ? Theme.good : Theme.text
                            font.bold: true
                        }
                        Label { text: Lang.tr("Manufacturer"); color: Theme.muted }
                        Label { text: page.modem.manufacturer || "-" }
                        Label { text: Lang.tr("Model"); color: Theme.muted }
                        Label { text: page.modem.model || "-" }
                        Label { text: Lang.tr("Software version"); color: Theme.muted }
                        Label { text: page.modem.softwareversion || "-" }
                        Label { text: Lang.tr("Operator"); color: Theme.muted }
                        Label { text: page.modem.operator || "-" }
                        Label { text: Lang.tr("Service centre"); color: Theme.muted }
                        Label { text: page.modem.sercentreadd || "-" }
                        Label { text: Lang.tr("Signal"); color: Theme.muted }
                        // -1: the modem cannot measure the signal.
                        SignalBar {
                            visible: page.modem.signalquality !== "-1"
                            value: parseInt(page.modem.signalquality) || 0
                            Layout.preferredWidth: 120
                        }
                        Label {
                            objectName: "signalUnknown"
                            visible: page.modem.signalquality === "-1"
                            text: Lang.tr("Unknown")
                        }
                    }
                }
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("Test SMS")
                    RowLayout {
                        spacing: 8
                        CheckedField {
                            id: testPhone
                            objectName: "testPhone"
                            kind: text === "" ? "optional:phone" : "phone"
                            placeholderText: Lang.tr("Phone number")
                            Layout.preferredWidth: 160
                        }
                        Button {
                            objectName: "sendTestSms"
                            text: Lang.tr("Send")
                            enabled: testPhone.text !== "" && testPhone.problem === ""
                            onClicked: {
                                if (testPhone.text === "" || testPhone.problem !== "")
                                    return
                                page.testText = page.queuedText(page.modem.smsconnected)
                                page.sendTest(Replies.request({ testphone: testPhone.text.trim() }))
                            }
                        }
                    }
                    Text {
                        objectName: "testSmsStatus"
                        Layout.fillWidth: true
                        wrapMode: Text.Wrap
                        text: testPhone.problem !== "" ? testPhone.message : page.testText
                        color: testPhone.problem !== "" || page.modem.testsms === "failed" ? Theme.alarm : Theme.muted
                        font.pixelSize: Theme.fontSize - 1
                    }
                }
            }
        }
    }
}
