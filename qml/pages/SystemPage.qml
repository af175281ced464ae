pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies

// Language, the serial parameters of the device port and of the modem port, and what the
// program reports about the device family and the schedule.
PageBase {
    id: page
    property string family: ""
    property string nextShutdown: ""
    property string nextStartup: ""
    signal saveLanguage(string request)
    signal savePorts(string request)
    SaveReply { id: langReply; target: UiState.bridge; settings: ["lang"] }
    SaveReply { id: portsReply; target: UiState.bridge; settings: ["ports"] }
    Connections {
        target: page
        function onShown() {
            langReply.expect()
            portsReply.expect()
        }
    }

    readonly property var deviceBauds: [
        { code: "1", text: "1200" }, { code: "2", text: "2400" }, { code: "3", text: "4800" },
        { code: "4", text: "9600" }, { code: "5", text: "19200" }, { code: "6", text: "38400" },
        { code: "7", text: "115200" }
    ]
    readonly property var modemBauds: [
        { code: "1", text: "1200" }, { code: "2", text: "2400" }, { code: "3", text: "4800" },
        { code: "4", text: "9600" }, { code: "5", text: "19200" }, { code: "6", text: "38400" },
        { code: "7", text: "115200" }
    ]
    readonly property var dataBits: [{ code: "1", text: "6" }, { code: "2", text: "7" }, { code: "3", text: "8" }]
    readonly property var parities: [
        { code: "1", text: Lang.tr("None") }, { code: "2", text: Lang.tr("Odd") }, { code: "3", text: Lang.tr("Even") }
    ]
    readonly property var stopBits: [{ code: "1", text: "1" }, { code: "2", text: "2" }]
    readonly property var languages: [{ code: "1", text: "English" }, { code: "0", text: "中文" }]

    function showSettings(text) {
        var s = Replies.json(text)
        if (!s)
            return
        language.select(s.lang)
        devBaud.select(s.dev_boudrate)
        devData.select(s.dev_databit)
        devParity.select(s.dev_checkbit)
        devStop.select(s.dev_stopbit)
        msgBaud.select(s.msg_boudrate)
        msgData.select(s.msg_databit)
        msgParity.select(s.msg_checkbit)
        msgStop.select(s.msg_stopbit)
        console.debug(Theme.shownLog, "system:", text)
    }

    function showScheduleTime(text) {
        var s = Replies.json(text)
        nextShutdown = s ? s.nextShutdownTime : ""
        nextStartup = s ? s.nextStartupTime : ""
    }

    function familyText(code) {
        if (code === "0")
            return Lang.tr("Three-phase UPS")
        if (code === "1")
            return Lang.tr("Single-phase UPS")
        if (code === "2")
            return Lang.tr("Inverter")
        return code
    }

    function portRequest() {
        return Replies.request({
            dev_boudrate: devBaud.code, dev_databit: devData.code, dev_checkbit: devParity.code,
            dev_stopbit: devStop.code, msg_boudrate: msgBaud.code, msg_databit: msgData.code,
            msg_checkbit: msgParity.code, msg_stopbit: msgStop.code
        })
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 12
        Text {
            text: page.title
            font.pixelSize: Theme.titleSize
            font.bold: true
            color: Theme.header
        }
        Card {
            Layout.fillWidth: true
            title: Lang.tr("Language")
            RowLayout {
                spacing: 12
                CodeCombo {
                    id: language
                    objectName: "language"
                    choices: page.languages
                    otherCode: "1"
                }
                Button {
                    objectName: "saveLanguage"
                    text: Lang.tr("Apply")
                    onClicked: {
                        langReply.expect()
                        page.saveLanguage(Replies.request({ lang: language.code }))
                    }
                }
                Text {
                    objectName: "languageSaveFailure"
                    text: langReply.text
                    color: Theme.alarm
                    font.pixelSize: Theme.fontSize
                }
            }
        }
        Card {
            Layout.fillWidth: true
            title: Lang.tr("Serial ports")
            GridLayout {
                columns: 5
                columnSpacing: 12
                rowSpacing: 6
                Item { width: 1; height: 1 }
                Repeater {
                    model: ["Baud rate", "Data bits", "Parity", "Stop bits"]
                    delegate: Text {
                        required property string modelData
                        text: Lang.tr(modelData)
                        color: Theme.muted
                        font.pixelSize: Theme.fontSize
                    }
                }
                Text { text: Lang.tr("Device port"); color: Theme.text; font.pixelSize: Theme.fontSize }
                CodeCombo { id: devBaud; objectName: "devBaud"; choices: page.deviceBauds; otherCode: "7" }
                CodeCombo { id: devData; choices: page.dataBits; otherCode: "3" }
                CodeCombo { id: devParity; choices: page.parities; otherCode: "1" }
                CodeCombo { id: devStop; choices: page.stopBits; otherCode: "1" }
                Text { text: Lang.tr("Modem port"); color: Theme.text; font.pixelSize: Theme.fontSize }
                CodeCombo { id: msgBaud; objectName: "msgBaud"; choices: page.modemBauds; otherCode: "4" }
                CodeCombo { id: msgData; choices: page.dataBits; otherCode: "3" }
                CodeCombo { id: msgParity; choices: page.parities; otherCode: "1" }
                CodeCombo { id: msgStop; choices: page.stopBits; otherCode: "1" }
            }
            Button {
                objectName: "savePorts"
                text: Lang.tr("Save")
                onClicked: {
                    portsReply.expect()
                    page.savePorts(page.portRequest())
                }
            }
            Text {
                objectName: "portsSaveFailure"
                text: portsReply.text
                color: Theme.alarm
                font.pixelSize: Theme.fontSize
            }
        }
        Card {
            Layout.fillWidth: true
            title: Lang.tr("Device and schedule")
            GridLayout {
                columns: 2
                columnSpacing: 16
                rowSpacing: 5
                Text { text: Lang.tr("Device family"); color: Theme.muted; font.pixelSize: Theme.fontSize }
                Text { objectName: "family"; text: page.familyText(page.family); font.pixelSize: Theme.fontSize; font.bold: true }
                Text { text: Lang.tr("Next shutdown"); color: Theme.muted; font.pixelSize: Theme.fontSize }
                Text { text: page.nextShutdown || "-"; font.pixelSize: Theme.fontSize; font.bold: true }
                Text { text: Lang.tr("Next start-up"); color: Theme.muted; font.pixelSize: Theme.fontSize }
                Text { text: page.nextStartup || "-"; font.pixelSize: Theme.fontSize; font.bold: true }
            }
        }
        Item { Layout.fillHeight: true }
    }
}
