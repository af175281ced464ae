pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies
import "checks.js" as Checks

// Commands to the device: battery tests, the on/off commands with their two times, the
// manual bypass, the discharge depth and the working mode's hour bands. Only the controls
// the device announces are enabled; a command that turns power off asks first.
PageBase {
    id: page
    // The parts of the replies; null until the device has reported its settings.
    property var controls: null
    property var other: null
    property string mode: ""
    // The command words sent one by one through the long-control request, which also
    // stores the two times; the device takes one word every two seconds.
    property string lastSent: ""
    // The fields take the device's values when the page comes into view and after an
    // apply, never while the user may be typing.
    property bool fillFields: true
    onShown: fillFields = true
    signal sendControl(string request)
    signal setBypass(string request)
    signal setDepth(string request)
    signal setMode(string request)

    readonly property bool inverter: controls !== null && controls.onOffSet !== undefined
                                     && controls.onOffSet.turnOnInverter !== undefined
    // The word behind each button: its reply flag, its text, and whether it cuts the power.
    readonly property var testCommands: [
        { word: "selfTest1Min", flag: "selfTest1MinFlag", text: "One-minute test" },
        { word: "dischargeLow", flag: "dischargeFlag", text: "Discharge to low voltage" },
        { word: "cancelTest", flag: "cancelTestFlag", text: "Cancel test" }
    ]
    readonly property var upsOnOff: [
        { word: "countdownOffInverter", flag: "countdownOffInverterFlag", text: "Shut down after the countdown", powerOff: true },
        { word: "delayOnInverter", flag: "delayOnInverterFlag", text: "Start up after the delay" },
        { word: "cancelShutdown", flag: "cancelShutdownFlag", text: "Cancel shutdown" },
        { word: "startupInverter", flag: "startupInverterFlag", text: "Start up now" }
    ]
    readonly property var inverterOnOff: [
        { word: "turnOnInverter", flag: "turnOnInverter", text: "Turn the inverter on" },
        { word: "turnOffInverter", flag: "turnOffInverter", text: "Turn the inverter off", powerOff: true },
        { word: "cancelShutdown", flag: "cancelShutdownFlag", text: "Cancel shutdown" },
        { word: "cancelAlarmVoice", flag: "cancelAlarmVoice", text: "Silence the alarm" }
    ]

    function showControls(text) {
        var s = Replies.json(text)
        controls = s && s.testSet ? s : null
        if (fillFields && controls && controls.onOffSet && controls.onOffSet.countdownOffITime !== undefined) {
            countdown.text = controls.onOffSet.countdownOffITime
            delay.text = controls.onOffSet.delayStartITime
        }
        console.debug(Theme.shownLog, "controls:", text)
    }

    function showSettings(text) {
        var s = Replies.json(text)
        other = s && s.otherSet ? s.otherSet : null
        if (fillFields && other) {
            bypassOn.checked = other.manBypassSwitch === "0"
            bypassOff.checked = other.manBypassSwitch !== "0"
            depth.text = other.disDepthVol
        }
    }

    // The last of the three replies of a refresh: the fields are filled for this time.
    function showMode(flag, bands) {
        mode = flag
        if (!fillFields)
            return
        fillFields = controls === null
        var b = String(bands).split("#")
        band0.text = b[0] || ""
        band1.text = b[1] || ""
        band2.text = b[2] || ""
    }

    function flagOn(set, key) {
        return controls !== null && controls[set] !== undefined && controls[set][key] === "1"
    }

    function modeText(flag) {
        if (flag === "photovoltaic")
            return Lang.tr("Photovoltaic")
        if (flag === "Grid")
            return Lang.tr("Grid")
        if (flag === "Antireflux")
            return Lang.tr("Anti-reflux")
        return Lang.tr("Unknown")
    }

    // The times travel with every word: the request stores them too.
    function send(command) {
        lastSent = command.text
        var word = command.word
        sendControl(Replies.request({ longctlSelected: word, countdownOffITime: countdown.text, delayStartITime: delay.text }))
    }

    function ask(command) {
        if (command.powerOff) {
            confirm.command = command
            confirm.open()
        } else {
            send(command)
        }
    }

    Dialog {
        id: confirm
        objectName: "confirmPowerOff"
        property var command: null
        anchors.centerIn: parent
        modal: true
        width: 420
        title: Lang.tr("Turn the power off?")
        standardButtons: Dialog.Ok | Dialog.Cancel
        Label {
            width: confirm.availableWidth
            wrapMode: Text.WordWrap
            text: confirm.command ? Lang.tr(confirm.command.text) + "\n"
                                    + Lang.tr("The equipment on this device's output loses its power.") : ""
        }
        onAccepted: if (command) page.send(command)
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
        Text {
            visible: page.controls === null
            text: Lang.tr("The controls are offered once the device has reported its settings.")
            color: Theme.muted
            font.pixelSize: Theme.fontSize
        }
        RowLayout {
            spacing: 12
            Layout.fillWidth: true
            ColumnLayout {
                spacing: 12
                Layout.alignment: Qt.AlignTop
                Layout.fillWidth: true
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("Battery test")
                    Flow {
                        spacing: 8
                        Layout.fillWidth: true
                        Repeater {
                            model: page.testCommands
                            delegate: Button {
                                required property var modelData
                                objectName: "control_" + modelData.word
                                text: Lang.tr(modelData.text)
                                enabled: page.flagOn("testSet", modelData.flag)
                                onClicked: page.ask(modelData)
                            }
                        }
                    }
                }
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("On and off")
                    GridLayout {
                        visible: !page.inverter
                        columns: 2
                        columnSpacing: 12
                        rowSpacing: 4
                        Label { text: Lang.tr("Countdown before shutdown") }
                        CheckedField { id: countdown; objectName: "countdownTime"; kind: "whole"; min: 0; max: 65535 }
                        Label { text: Lang.tr("Delay before start-up") }
                        CheckedField { id: delay; objectName: "delayTime"; kind: "whole"; min: 0; max: 65535 }
                    }
                    Text {
                        visible: !page.inverter && (countdown.problem !== "" || delay.problem !== "")
                        text: countdown.message !== "" ? countdown.message : delay.message
                        color: Theme.alarm
                        font.pixelSize: Theme.fontSize
                    }
                    Flow {
                        spacing: 8
                        Layout.fillWidth: true
                        Repeater {
                            model: page.inverter ? page.inverterOnOff : page.upsOnOff
                            delegate: Button {
                                required property var modelData
                                objectName: "control_" + modelData.word
                                text: Lang.tr(modelData.text)
                                // The UPS takes its times with the command: none is sent unstorable.
                                enabled: page.flagOn("onOffSet", modelData.flag)
                                         && (page.inverter || countdown.problem === "" && delay.problem === "")
                                onClicked: page.ask(modelData)
                            }
                        }
                    }
                }
                Text {
                    objectName: "lastSent"
                    visible: page.lastSent !== ""
                    text: page.lastSent === "" ? "" : Lang.tr("Sent to the device's queue:") + " " + Lang.tr(page.lastSent)
                    color: Theme.muted
                    font.pixelSize: Theme.fontSize
                }
            }
            ColumnLayout {
                spacing: 12
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 300
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("Manual bypass")
                    enabled: page.other !== null && page.other.manBypassFlag === "1"
                    RowLayout {
                        RadioButton { id: bypassOn; objectName: "bypassOn"; text: Lang.tr("On") }
                        RadioButton { id: bypassOff; objectName: "bypassOff"; text: Lang.tr("Off"); checked: true }
                        Button {
                            objectName: "applyBypass"
                            text: Lang.tr("Apply")
                            onClicked: {
                                page.fillFields = true
                                page.setBypass(Replies.request({ manBypassSwitch: bypassOn.checked ? "0" : "1" }))
                            }
                        }
                    }
                }
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("Discharge depth (V)")
                    enabled: page.other !== null && page.other.disDepthFlag === "1"
                    RowLayout {
                        CheckedField { id: depth; objectName: "dischargeDepth"; kind: "volts" }
                        Button {
                            objectName: "applyDepth"
                            text: Lang.tr("Apply")
                            enabled: depth.problem === ""
                            onClicked: {
                                page.fillFields = true
                                page.setDepth(Replies.request({ dischargedepth: Checks.hundredths(depth.text) }))
                            }
                        }
                    }
                    Text {
                        visible: depth.problem !== ""
                        text: depth.message
                        color: Theme.alarm
                        font.pixelSize: Theme.fontSize
                        wrapMode: Text.WordWrap
                        Layout.fillWidth: true
                    }
                }
                Card {
                    Layout.fillWidth: true
                    title: Lang.tr("Working mode") + ": " + page.modeText(page.mode)
                    enabled: page.other !== null && page.other.invertModelFlag === "1" && page.mode !== ""
                    GridLayout {
                        columns: 3
                        columnSpacing: 8
                        rowSpacing: 2
                        Label { text: "0–7 h"; color: Theme.muted }
                        Label { text: "8–15 h"; color: Theme.muted }
                        Label { text: "16–23 h"; color: Theme.muted }
                        CheckedField { id: band0; objectName: "band0"; kind: "whole"; implicitWidth: 80 }
                        CheckedField { id: band1; objectName: "band1"; kind: "whole"; implicitWidth: 80 }
                        CheckedField { id: band2; objectName: "band2"; kind: "whole"; implicitWidth: 80 }
                    }
                    Button {
                        objectName: "applyMode"
                        text: Lang.tr("Apply")
                        enabled: band0.problem === "" && band1.problem === "" && band2.problem === ""
                        onClicked: page.setMode(Replies.request({ model_setting: band0.text + "#" + band1.text + "#" + band2.text }))
                    }
                }
            }
        }
        Item { Layout.fillHeight: true }
    }
}
