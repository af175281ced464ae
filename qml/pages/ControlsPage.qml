pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies
import "checks.js" as Checks

// Commands to the device: battery tests, the on/off commands with their two times, the
// manual bypass, the discharge depth and the working mode's hour bands. Only the controls
// the device announces are enabled; every command that cuts the output or the protection
// asks first, saying what happens and when. The word goes to the device's queue only
// once the question is answered yes.
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
    // The command goes to the device either way; this says whether its setting was stored.
    SaveReply { id: saveReply; target: UiState.device; settings: ["bypass", "depth", "longcontrol"] }
    Connections {
        target: page
        function onShown() { saveReply.expect() }
    }

    readonly property bool inverter: controls !== null && controls.onOffSet !== undefined
                                     && controls.onOffSet.turnOnInverter !== undefined
    // The word behind each button: its reply flag, its text, and for a command that cuts
    // the output or the protection the question's title and what happens ("%1" the
    // countdown in minutes).
    readonly property var testCommands: [
        { word: "selfTest1Min", flag: "selfTest1MinFlag", text: "One-minute test" },
        { word: "dischargeLow", flag: "dischargeFlag", text: "Discharge to low voltage",
          title: "Discharge the battery to low voltage?",
          what: "The battery is run down to its low-voltage limit. Should the mains fail during the test or soon after it, the battery has little or no time left to carry the load." },
        { word: "cancelTest", flag: "cancelTestFlag", text: "Cancel test" }
    ]
    readonly property var upsOnOff: [
        { word: "countdownOffInverter", flag: "countdownOffInverterFlag", text: "Shut down after the countdown",
          title: "Turn the power off?",
          what: "The output goes off %1 min after the device takes the command: the equipment on it loses its power." },
        { word: "delayOnInverter", flag: "delayOnInverterFlag", text: "Start up after the delay" },
        { word: "cancelShutdown", flag: "cancelShutdownFlag", text: "Cancel shutdown" },
        { word: "startupInverter", flag: "startupInverterFlag", text: "Start up now" }
    ]
    readonly property var inverterOnOff: [
        { word: "turnOnInverter", flag: "turnOnInverter", text: "Turn the inverter on" },
        { word: "turnOffInverter", flag: "turnOffInverter", text: "Turn the inverter off",
          title: "Turn the power off?",
          what: "The inverter's output goes off as soon as the device takes the command: the equipment on it loses its power." },
        { word: "cancelShutdown", flag: "cancelShutdownFlag", text: "Cancel shutdown" },
        { word: "cancelAlarmVoice", flag: "cancelAlarmVoice", text: "Silence the alarm" }
    ]
    readonly property var bypassCommand: {
        "text": "Switch to bypass", "title": "Switch the output to bypass?",
        "what": "The output is fed straight from the mains, without the device's protection: a disturbance of the mains reaches the equipment, and a mains failure cuts its power until the bypass is left."
    }
    // The device takes one word from its queue every two seconds.
    readonly property string whenText: "The device carries it out as soon as it takes the command from its queue, within a few seconds."

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
        if (fillFields && other)
            depth.text = other.disDepthVol
    }

    // What was last asked of the bypass (the stored setting) and what the device says
    // (the UPS status bit 19, "on bypass"): the two differ until the device has switched,
    // or when it refused.
    readonly property int onBypassBit: 19
    readonly property string bypassSent: other === null ? "" : other.manBypassSwitch === "0" ? "on" : "off"
    readonly property string bypassReported: !UiState.communicating ? "unknown"
        : UiState.family === "inverter" ? "unreported"
        : UiState.active.indexOf(onBypassBit) >= 0 ? "on" : "off"
    function bypassSentText() {
        return bypassSent === "on" ? Lang.tr("Switch to bypass") : bypassSent === "off" ? Lang.tr("Leave bypass") : "-"
    }
    function bypassReportedText() {
        if (bypassReported === "on")
            return Lang.tr("On bypass")
        if (bypassReported === "off")
            return Lang.tr("Not on bypass")
        if (bypassReported === "unreported")
            return Lang.tr("Not reported by this device")
        return Lang.tr("Not known: no link to the device")
    }
    function setBypassTo(on) {
        fillFields = true
        saveReply.expect()
        setBypass(Replies.request({ manBypassSwitch: on ? "0" : "1" }))
    }

    // The last of the three replies of a refresh: the fields are filled for this time.
    function showMode(flag, bands) {
        mode = flag
        if (!fillFields)
            return
        fillFields = controls === null
        var b = String(bands).split("#")
        bandValues = [parseInt(b[0], 10) || 0, parseInt(b[1], 10) || 0, parseInt(b[2], 10) || 0]
    }

    // Each hour band is a word whose bit i stands for hour i of the band (the band of
    // hours 8 to 15 has hour 8 in bit 0): set, the working mode applies in that hour.
    // Bits above the eighth are kept as the device sent them.
    property var bandValues: [0, 0, 0]
    readonly property int hoursPerBand: 8
    function hourOn(band, hour) { return (bandValues[band] >> hour) & 1 }
    function toggleHour(band, hour) {
        var v = bandValues.slice()
        v[band] = v[band] ^ (1 << hour)
        bandValues = v
    }
    // The hours of a band in words: "every hour", "no hour", or runs such as "4–7 h, 9 h".
    function bandText(band) {
        var v = bandValues[band] & 0xff
        if (v === 0xff)
            return Lang.tr("every hour")
        if (v === 0)
            return Lang.tr("no hour")
        var runs = []
        var start = -1
        for (var h = 0; h <= hoursPerBand; ++h) {
            var on = h < hoursPerBand && ((v >> h) & 1)
            if (on && start < 0)
                start = h
            if (!on && start >= 0) {
                var first = band * hoursPerBand + start
                var last = band * hoursPerBand + h - 1
                runs.push(first === last ? first + " h" : first + "–" + last + " h")
                start = -1
            }
        }
        return runs.join(", ")
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
        saveReply.expect()
        sendControl(Replies.request({ longctlSelected: word, countdownOffITime: countdown.text, delayStartITime: delay.text }))
    }

    function whatHappens(command) {
        var what = Lang.tr(command.what)
        return what.indexOf("%1") >= 0 ? what.arg(countdown.text) : what
    }

    function ask(command) {
        if (command.what === undefined) {
            send(command)
            return
        }
        confirm.command = command
        confirm.ask()
    }

    Question {
        id: confirm
        objectName: "confirmPowerOff"
        acceptName: "confirmCommand"
        rejectName: "cancelCommand"
        property var command: null
        title: command ? Lang.tr(command.title) : ""
        text: command ? page.whatHappens(command) + "\n\n" + Lang.tr(page.whenText) : ""
        acceptText: command ? Lang.tr(command.text) : ""
        risky: true
        onAccepted: {
            if (command === page.bypassCommand)
                page.setBypassTo(true)
            else if (command)
                page.send(command)
        }
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
        Text {
            objectName: "controlsSaveFailure"
            visible: text !== ""
            text: saveReply.text
            color: Theme.alarm
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
                        Label { text: Lang.tr("Countdown before shutdown (min)") }
                        CheckedField { id: countdown; objectName: "countdownTime"; kind: "whole"; min: 0; max: 65535 }
                        Label { text: Lang.tr("Delay before start-up (min)") }
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
                    GridLayout {
                        columns: 2
                        columnSpacing: 12
                        rowSpacing: 2
                        Layout.fillWidth: true
                        Label { text: Lang.tr("The device reports"); color: Theme.muted }
                        Label {
                            objectName: "bypassReported"
                            text: page.bypassReportedText()
                            font.bold: true
                            wrapMode: Text.WordWrap
                            Layout.fillWidth: true
                        }
                        Label { text: Lang.tr("Last sent"); color: Theme.muted }
                        Label {
                            objectName: "bypassSent"
                            text: page.bypassSentText()
                            wrapMode: Text.WordWrap
                            Layout.fillWidth: true
                        }
                    }
                    RowLayout {
                        Button {
                            objectName: "bypassOn"
                            text: Lang.tr("Switch to bypass") + "…"
                            onClicked: page.ask(page.bypassCommand)
                        }
                        Button {
                            objectName: "bypassOff"
                            text: Lang.tr("Leave bypass")
                            onClicked: page.setBypassTo(false)
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
                                saveReply.expect()
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
                    Label {
                        text: Lang.tr("The hours in which the mode applies:")
                        color: Theme.muted
                    }
                    Repeater {
                        model: 3
                        delegate: ColumnLayout {
                            id: bandRow
                            required property int index
                            spacing: 0
                            Row {
                                spacing: 1
                                Repeater {
                                    model: page.hoursPerBand
                                    delegate: Button {
                                        id: hourButton
                                        required property int index
                                        readonly property int hour: bandRow.index * page.hoursPerBand + index
                                        objectName: "hour_" + hour
                                        // Drawn as on while the mode applies in the hour.
                                        highlighted: page.hourOn(bandRow.index, index)
                                        onClicked: page.toggleHour(bandRow.index, hourButton.index)
                                        text: hour
                                        implicitWidth: 32
                                        implicitHeight: 26
                                        padding: 0
                                        font.pixelSize: Theme.fontSize - 2
                                    }
                                }
                            }
                            Text {
                                objectName: "bandText" + bandRow.index
                                text: page.bandText(bandRow.index)
                                color: Theme.text
                                font.pixelSize: Theme.fontSize - 1
                            }
                        }
                    }
                    Button {
                        objectName: "applyMode"
                        text: Lang.tr("Apply")
                        onClicked: page.setMode(Replies.request({ model_setting: page.bandValues.join("#") }))
                    }
                }
            }
        }
        Item { Layout.fillHeight: true }
    }
}
