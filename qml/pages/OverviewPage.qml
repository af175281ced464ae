pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import "replies.js" as Replies
import "fields.js" as Fields

// The main page: the device's state and its battery at a glance, the energy flow, the
// generation figures and the values of the part of the diagram that is selected.
PageBase {
    id: page
    live: true
    // The module panel shown beside the diagram: "bypass", "ac", "pv", "battery", "output".
    property string module: "output"
    // The device family as the program reports it; "2" is the inverter, whose PV power
    // comes in W (the UPS families report kW).
    property string family: ""
    readonly property string pvUnit: family === "2" ? "W" : "kW"

    property string runState: "-1"
    property string batState: "-1"
    property string load: "0.0"
    property string input: "0.0"
    property string pvPower: "0.0"
    property string batPower: "0.0"
    property var generation: []
    // The battery reply (UPS panel or inverter page) as { key: value }, for the state line.
    property var battery: ({})

    // Both the flow reply and the program's status must say so: either alone may lag.
    readonly property bool communicating: runState !== "-1" && UiState.communicating

    readonly property var moduleTitles: ({
        bypass: "Bypass", ac: "AC input", pv: "PV", battery: "Battery", output: "Output"
    })
    readonly property var moduleFields: ({
        bypass: Fields.bypass, ac: Fields.ac, pv: Fields.pv, battery: Fields.battery, output: Fields.output
    })

    function showFlow(runState_, batState_, load_, input_, pvPower_, batPower_) {
        runState = runState_
        batState = batState_
        load = load_
        input = input_
        pvPower = pvPower_
        batPower = batPower_
        console.debug(Theme.shownLog, "flow: runState=" + runState_ + " batState=" + batState_ + " load=" + load_
                      + " input=" + input_ + " pvPower=" + pvPower_ + " batPower=" + batPower_)
    }

    function showGeneration(text) {
        generation = text ? String(text).split("#") : []
        console.debug(Theme.shownLog, "generation:", text)
    }

    function showBattery(text) {
        battery = Replies.taggedMap(text)
    }

    function showModule(flag, text) {
        if (flag === "battery")
            showBattery(text)
        if (flag !== module)
            return
        moduleGrid.show(text)
        console.debug(Theme.shownLog, "module " + flag + ":", Replies.trace(moduleGrid.items))
    }

    function selectModule(flag) {
        module = flag
        moduleGrid.items = []
        refresh()
    }

    function isActive(value) {
        var n = parseFloat(value)
        return communicating && !isNaN(n) && n !== 0
    }

    // The inverter family sends no battery mode, load or input current; no value is
    // true while the link is down (the program then sends zeros).
    function withUnit(value, unit) {
        return !communicating || value === "" ? "-" : value + " " + unit
    }

    function genValue(i, unit) {
        return communicating && generation.length > i && generation[i] !== "" ? generation[i] + " " + unit : "-"
    }

    // Battery power: its size in whole watts, the sign as a word. The current is
    // positive while the battery charges.
    function batteryPowerText() {
        var n = parseFloat(batPower)
        if (!communicating || isNaN(n))
            return "-"
        return Math.abs(n).toFixed(0) + " W"
    }
    function batteryDirection() {
        var n = parseFloat(batPower)
        if (!communicating || isNaN(n) || Math.abs(n) < 0.5)
            return ""
        return n > 0 ? Lang.tr("Charging") : Lang.tr("Discharging")
    }
    function batteryValue(key, unit) {
        var v = battery[key]
        return communicating && v !== undefined && v !== "" ? v + " " + unit : "-"
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 10

        // The answer to "is everything all right?": the link, the active conditions, and
        // the battery's charge and remaining time.
        Rectangle {
            id: stateBox
            objectName: "overviewState"
            Layout.fillWidth: true
            Layout.preferredHeight: 62
            radius: 4
            readonly property string level: !UiState.communicating ? (UiState.comm === "3" ? "fault" : "state")
                : UiState.faults.length > 0 ? "fault" : UiState.states.length > 0 ? "state" : "normal"
            color: level === "fault" ? "#fdecea" : level === "state" ? "#fff4e0" : "#e8f5e9"
            border.color: level === "fault" ? Theme.alarm : level === "state" ? Theme.warn : Theme.good

            Column {
                anchors.left: parent.left
                anchors.right: batteryBox.left
                anchors.verticalCenter: parent.verticalCenter
                anchors.leftMargin: 12
                anchors.rightMargin: 12
                spacing: 4
                Text {
                    objectName: "overviewStateText"
                    width: parent.width
                    elide: Text.ElideRight
                    font.pixelSize: Theme.fontSize + 3
                    font.bold: true
                    color: stateBox.level === "fault" ? Theme.alarm : stateBox.level === "state" ? Theme.warn : Theme.good
                    text: !UiState.communicating ? UiState.linkText()
                        : UiState.faults.length > 0 ? Lang.tr("Alarm") + ": " + UiState.faults.map(function (c) { return Lang.tr(c.label) }).join(", ")
                        : UiState.states.length > 0 ? UiState.states.map(function (c) { return Lang.tr(c.label) }).join(", ")
                        : Lang.tr("Normal: no alarm")
                }
                Text {
                    objectName: "overviewStateDetail"
                    width: parent.width
                    elide: Text.ElideRight
                    font.pixelSize: Theme.fontSize
                    color: Theme.text
                    text: !UiState.communicating ? (UiState.reasonText() !== "" ? UiState.reasonText() : Lang.tr("Values are not shown until the device answers."))
                        : UiState.faults.length > 0 && UiState.states.length > 0 ? UiState.states.map(function (c) { return Lang.tr(c.label) }).join(", ")
                        : UiState.conditions.length > 0 ? Lang.tr("The warning list keeps the history of each change.")
                        : Lang.tr("The device reports no fault.")
                }
            }
            Row {
                id: batteryBox
                anchors.right: parent.right
                anchors.rightMargin: 14
                anchors.verticalCenter: parent.verticalCenter
                spacing: 22
                Repeater {
                    model: [
                        { name: "charge", label: "Battery charge", key: "batremaincap", unit: "%" },
                        { name: "remaining", label: "Remaining time", key: "batremaintime", unit: "min" }
                    ]
                    delegate: Column {
                        id: batteryFigure
                        required property var modelData
                        spacing: 2
                        Text { text: Lang.tr(batteryFigure.modelData.label); color: Theme.muted; font.pixelSize: Theme.fontSize - 1 }
                        Text {
                            objectName: "overview_" + batteryFigure.modelData.name
                            text: page.batteryValue(batteryFigure.modelData.key, batteryFigure.modelData.unit)
                            color: Theme.text
                            font.pixelSize: Theme.fontSize + 3
                            font.bold: true
                        }
                    }
                }
            }
        }

        Text {
            text: Lang.tr("Energy flow")
            font.pixelSize: Theme.titleSize
            font.bold: true
            color: Theme.header
        }

        RowLayout {
            spacing: 12
            Layout.fillWidth: true

            Rectangle {
                id: diagram
                Layout.preferredWidth: 440
                Layout.preferredHeight: 300
                color: Theme.card
                border.color: Theme.cardBorder
                radius: 4

                // Lines from the device in the middle to each part.
                Rectangle { x: pvNode.x + pvNode.width / 2 - 2; y: pvNode.y + pvNode.height; width: 4
                    height: device.y - y; color: page.isActive(page.pvPower) ? Theme.accent : Theme.line }
                Rectangle { x: gridNode.x + gridNode.width; y: device.y + device.height / 2 - 2; height: 4
                    width: device.x - x; color: page.isActive(page.input) ? Theme.accent : Theme.line }
                Rectangle { x: device.x + device.width; y: device.y + device.height / 2 - 2; height: 4
                    width: loadNode.x - x; color: page.isActive(page.load) ? Theme.accent : Theme.line }
                Rectangle { x: batNode.x + batNode.width / 2 - 2; y: device.y + device.height; width: 4
                    height: batNode.y - y; color: page.isActive(page.batPower) ? Theme.accent : Theme.line }

                FlowNode {
                    id: pvNode
                    objectName: "flowPv"
                    x: (diagram.width - width) / 2; y: 16
                    label: Lang.tr("PV")
                    value: page.withUnit(page.pvPower, page.pvUnit)
                    active: page.isActive(page.pvPower)
                    selected: page.module === "pv"
                    onClicked: page.selectModule("pv")
                }
                FlowNode {
                    id: gridNode
                    objectName: "flowInput"
                    x: 16; y: (diagram.height - height) / 2
                    label: Lang.tr("AC input")
                    value: page.withUnit(page.input, "A")
                    active: page.isActive(page.input)
                    selected: page.module === "ac"
                    onClicked: page.selectModule("ac")
                }
                FlowNode {
                    id: loadNode
                    objectName: "flowLoad"
                    x: diagram.width - width - 16; y: (diagram.height - height) / 2
                    label: Lang.tr("Output")
                    value: page.withUnit(page.load, "%")
                    active: page.isActive(page.load)
                    selected: page.module === "output"
                    onClicked: page.selectModule("output")
                }
                FlowNode {
                    id: batNode
                    objectName: "flowBattery"
                    x: (diagram.width - width) / 2; y: diagram.height - height - 16
                    label: Lang.tr("Battery")
                    value: page.batteryPowerText()
                    note: page.batteryDirection()
                    active: page.isActive(page.batPower)
                    selected: page.module === "battery"
                    onClicked: page.selectModule("battery")
                }
                Rectangle {
                    id: device
                    width: 150; height: 84
                    x: (diagram.width - width) / 2; y: (diagram.height - height) / 2
                    radius: 8
                    color: page.communicating ? Theme.header : Theme.muted
                    Column {
                        anchors.centerIn: parent
                        spacing: 3
                        Text {
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: Lang.tr("Device")
                            color: Theme.headerText
                            font.pixelSize: Theme.fontSize + 1
                            font.bold: true
                        }
                        Text {
                            anchors.horizontalCenter: parent.horizontalCenter
                            objectName: "flowRunState"
                            width: device.width - 12
                            horizontalAlignment: Text.AlignHCenter
                            wrapMode: Text.Wrap
                            maximumLineCount: 2
                            elide: Text.ElideRight
                            text: !page.communicating ? UiState.linkText()
                                : UiState.faults.length > 0 ? Lang.tr("Alarm")
                                : UiState.states.length > 0 ? Lang.tr(UiState.states[0].label) : Lang.tr("Normal")
                            color: Theme.headerText
                            font.pixelSize: Theme.fontSize
                        }
                        Text {
                            anchors.horizontalCenter: parent.horizontalCenter
                            objectName: "flowModes"
                            width: device.width - 8
                            horizontalAlignment: Text.AlignHCenter
                            fontSizeMode: Text.HorizontalFit
                            minimumPixelSize: Theme.fontSize - 5
                            // The inverter sends no modes; the UPS families send codes whose
                            // meaning the device's manual gives.
                            visible: page.communicating && page.family !== "2"
                            text: Fields.modeText(page.runState, Lang.tr)
                                  + (page.batState !== "" ? " · " + Lang.tr("Battery") + " " + Fields.modeText(page.batState, Lang.tr) : "")
                            color: "#b8c7d8"
                            font.pixelSize: Theme.fontSize - 2
                        }
                    }
                }
                Text {
                    anchors.left: parent.left
                    anchors.bottom: parent.bottom
                    anchors.margins: 10
                    text: Lang.tr("Bypass")
                    color: page.module === "bypass" ? Theme.accent : Theme.muted
                    font.pixelSize: Theme.fontSize
                    font.underline: true
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: page.selectModule("bypass")
                    }
                }
            }

            Card {
                Layout.fillWidth: true
                Layout.preferredHeight: 300
                Layout.alignment: Qt.AlignTop
                title: Lang.tr(page.moduleTitles[page.module])
                ValueList {
                    id: moduleGrid
                    objectName: "moduleGrid"
                    labelWidth: 130
                    emptyWidth: 270
                    inverter: page.family === "2"
                    fields: page.moduleFields[page.module]
                }
            }
        }

        Card {
            Layout.fillWidth: true
            title: Lang.tr("Generation")
            RowLayout {
                spacing: 40
                Repeater {
                    model: [
                        { label: "PV power", unit: page.pvUnit },
                        { label: "Energy today", unit: "kWh" },
                        { label: "Lifetime energy", unit: "kWh" },
                        { label: "CO₂ saved", unit: "kg" }
                    ]
                    delegate: Column {
                        id: genFigure
                        required property var modelData
                        required property int index
                        spacing: 2
                        Text { text: Lang.tr(genFigure.modelData.label); color: Theme.muted; font.pixelSize: Theme.fontSize }
                        Text {
                            objectName: "generation_" + genFigure.index
                            text: page.genValue(genFigure.index, genFigure.modelData.unit)
                            color: Theme.text
                            font.pixelSize: Theme.fontSize + 3
                            font.bold: true
                        }
                    }
                }
            }
        }
        Item { Layout.fillHeight: true }
    }
}
