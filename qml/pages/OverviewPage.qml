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
    // The output and AC input page replies as { key: value }: the flow's powers.
    property var outputValues: ({})
    property var inputValues: ({})
    readonly property bool inverter: family === "2"

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

    Connections {
        target: UiState.bridge
        function onSigOutputInfo(strOutputInfo) { page.outputValues = Replies.taggedMap(strOutputInfo) }
        function onSigACInfo(strACInfo) { page.inputValues = Replies.taggedMap(strACInfo) }
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

    // The powers of the flow in watts, NaN where the device gives none. The UPS families
    // send kW (three phases joined by "/"), the inverter W. The PV power is the one that
    // the generation figures show, so that both read the same.
    readonly property real pvWatts: !communicating ? NaN
        : inverter ? Fields.numberOf(generation[0]) : Fields.numberOf(pvPower) * Fields.kWattsPerKilowatt
    readonly property real inputWatts: communicating && !inverter ? Fields.totalWatts(inputValues.inputactp, "kW") : NaN
    readonly property real outputWatts: communicating ? Fields.totalWatts(outputValues.outputactp, inverter ? "W" : "kW") : NaN
    readonly property real batteryWatts: communicating ? Fields.numberOf(batPower) : NaN
    // The UPS reports running on bypass as status bit 19; the flow then goes around the device.
    readonly property bool onBypass: communicating && !inverter && UiState.family === "ups"
                                     && UiState.active.indexOf(kOnBypassBit) >= 0
    readonly property int kOnBypassBit: 19
    // Narrower than the others, so that the lines to the device stay in view.
    readonly property int sideNodeWidth: 114

    // Less than half a watt is no flow.
    function flowing(watts) {
        return !isNaN(watts) && Math.abs(watts) >= 0.5
    }

    // A value as a field of the live pages shows it, "-" when there is none; marked when
    // it cannot be right.
    function fieldText(field, value, unit) {
        if (!communicating || value === undefined || value === "")
            return "-"
        return Fields.shownText(field, value, unit, Lang.tr)
    }
    function fieldImplausible(field, value, unit) {
        return communicating && value !== undefined && value !== "" && Fields.shown(field, value, unit, Lang.tr).implausible
    }

    // The second line of the AC input box: the UPS input current per phase, or the
    // inverter's input voltage (it reports no input power or current).
    readonly property string inputNote: !communicating ? ""
        : inverter ? fieldText(Fields.ac.inputvol, inputValues.inputvol, "V")
        : input !== "" ? fieldText(Fields.ac.inputcur, input, "A") : ""
    // The UPS flow reply carries the load; the inverter's comes with its output page.
    readonly property string loadValue: inverter ? (outputValues.outputload || "") : load
    readonly property string outputNote: !communicating || loadValue === "" ? ""
        : Lang.tr("Load") + " " + fieldText(Fields.output.outputload, loadValue, "%")

    function genValue(i, field, unit) {
        if (!communicating || generation.length <= i || generation[i] === "")
            return "-"
        return fieldText(field, generation[i], unit)
    }

    // Battery power: its size, the sign as a word. Positive while the battery charges.
    function batteryPowerText() {
        return Fields.powerText(Math.abs(batteryWatts))
    }
    function batteryDirection() {
        if (!flowing(batteryWatts))
            return ""
        return batteryWatts > 0 ? Lang.tr("Charging") : Lang.tr("Discharging")
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
                        readonly property var field: Fields.battery[modelData.key]
                        readonly property var value: page.battery[modelData.key]
                        spacing: 2
                        Text { text: Lang.tr(batteryFigure.modelData.label); color: Theme.muted; font.pixelSize: Theme.fontSize - 1 }
                        Text {
                            objectName: "overview_" + batteryFigure.modelData.name
                            text: page.fieldText(batteryFigure.field, batteryFigure.value, batteryFigure.modelData.unit)
                            color: page.fieldImplausible(batteryFigure.field, batteryFigure.value, batteryFigure.modelData.unit)
                                   ? Theme.warn : Theme.text
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

                // Lines from the device in the middle to each part; on bypass the input
                // feeds the output around the device.
                Rectangle { x: gridNode.x + gridNode.width; y: device.y + device.height / 2 - 2; height: 4
                    width: device.x - x
                    color: !page.onBypass && page.flowing(page.inputWatts) ? Theme.accent : Theme.line }
                Rectangle { x: device.x + device.width; y: device.y + device.height / 2 - 2; height: 4
                    width: loadNode.x - x
                    color: !page.onBypass && page.flowing(page.outputWatts) ? Theme.accent : Theme.line }
                Rectangle { x: batNode.x + batNode.width / 2 - 2; y: device.y + device.height; width: 4
                    height: batNode.y - y; color: page.flowing(page.batteryWatts) ? Theme.accent : Theme.line }
                Item {
                    id: bypassPath
                    objectName: "flowBypass"
                    readonly property bool active: page.onBypass
                    readonly property color tint: active ? Theme.warn : Theme.line
                    readonly property int thickness: active ? 4 : 2
                    readonly property real pathTop: pvNode.y + pvNode.height + 14
                    Rectangle { x: gridNode.x + gridNode.width / 2 - bypassPath.thickness / 2; y: bypassPath.pathTop
                        width: bypassPath.thickness; height: gridNode.y - y; color: bypassPath.tint }
                    Rectangle { x: gridNode.x + gridNode.width / 2 - bypassPath.thickness / 2; y: bypassPath.pathTop
                        width: loadNode.x + loadNode.width / 2 - x + bypassPath.thickness / 2
                        height: bypassPath.thickness; color: bypassPath.tint }
                    Rectangle { x: loadNode.x + loadNode.width / 2 - bypassPath.thickness / 2; y: bypassPath.pathTop
                        width: bypassPath.thickness; height: loadNode.y - y; color: bypassPath.tint }
                }
                Text {
                    objectName: "flowBypassLabel"
                    x: gridNode.x + gridNode.width / 2 + 8
                    y: bypassPath.pathTop - height - 1
                    text: page.onBypass ? Lang.tr("On bypass") : Lang.tr("Bypass")
                    color: page.onBypass ? Theme.warn : page.module === "bypass" ? Theme.accent : Theme.muted
                    font.pixelSize: Theme.fontSize - 1
                    font.bold: page.onBypass
                    font.underline: true
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: page.selectModule("bypass")
                    }
                }
                // Over the bypass path, which it crosses.
                Rectangle { x: pvNode.x + pvNode.width / 2 - 2; y: pvNode.y + pvNode.height; width: 4
                    height: device.y - y; color: page.flowing(page.pvWatts) ? Theme.accent : Theme.line }

                FlowNode {
                    id: pvNode
                    objectName: "flowPv"
                    x: (diagram.width - width) / 2; y: 12
                    label: Lang.tr("PV")
                    value: page.communicating ? Fields.powerText(page.pvWatts) : "-"
                    active: page.flowing(page.pvWatts)
                    selected: page.module === "pv"
                    onClicked: page.selectModule("pv")
                }
                FlowNode {
                    id: gridNode
                    objectName: "flowInput"
                    width: page.sideNodeWidth
                    x: 16; y: (diagram.height - height) / 2
                    label: Lang.tr("AC input")
                    value: page.communicating ? Fields.powerText(page.inputWatts) : "-"
                    note: page.inputNote
                    active: page.flowing(page.inputWatts)
                    selected: page.module === "ac"
                    onClicked: page.selectModule("ac")
                }
                FlowNode {
                    id: loadNode
                    objectName: "flowLoad"
                    width: page.sideNodeWidth
                    x: diagram.width - width - 16; y: (diagram.height - height) / 2
                    label: Lang.tr("Output")
                    value: page.communicating ? Fields.powerText(page.outputWatts) : "-"
                    note: page.outputNote
                    noteWarn: page.fieldImplausible(Fields.output.outputload, page.loadValue, "%")
                    active: page.flowing(page.outputWatts)
                    selected: page.module === "output"
                    onClicked: page.selectModule("output")
                }
                FlowNode {
                    id: batNode
                    objectName: "flowBattery"
                    x: (diagram.width - width) / 2; y: diagram.height - height - 12
                    label: Lang.tr("Battery")
                    value: page.communicating ? page.batteryPowerText() : "-"
                    note: page.batteryDirection()
                    active: page.flowing(page.batteryWatts)
                    selected: page.module === "battery"
                    onClicked: page.selectModule("battery")
                }
                Rectangle {
                    id: device
                    width: 128; height: 84
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
                        { label: "PV power", field: Fields.pv.pvpower, unit: page.pvUnit },
                        { label: "Energy today", field: Fields.pv.pvdaygen, unit: "kWh" },
                        { label: "Lifetime energy", field: Fields.pv.pvtotalgen, unit: "kWh" },
                        { label: "CO₂ saved", field: Fields.pv.pvtotalgen, unit: "kg" }
                    ]
                    delegate: Column {
                        id: genFigure
                        required property var modelData
                        required property int index
                        spacing: 2
                        Text { text: Lang.tr(genFigure.modelData.label); color: Theme.muted; font.pixelSize: Theme.fontSize }
                        Text {
                            objectName: "generation_" + genFigure.index
                            text: page.genValue(genFigure.index, genFigure.modelData.field, genFigure.modelData.unit)
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
