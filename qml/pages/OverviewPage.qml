import QtQuick
import QtQuick.Layouts
import "replies.js" as Replies
import "fields.js" as Fields

// The main page: the energy flow, the generation figures and the values of the part of
// the diagram that is selected.
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

    readonly property bool communicating: runState !== "-1"

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

    function showModule(flag, text) {
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

    // The inverter family sends no battery mode, load or input current.
    function withUnit(value, unit) {
        return value === "" ? "-" : value + " " + unit
    }

    function genValue(i, unit) {
        return generation.length > i && generation[i] !== "" ? generation[i] + " " + unit : "-"
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 12

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
                Layout.preferredHeight: 340
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
                    value: page.withUnit(page.batPower, "W")
                    active: page.isActive(page.batPower)
                    selected: page.module === "battery"
                    onClicked: page.selectModule("battery")
                }
                Rectangle {
                    id: device
                    width: 124; height: 84
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
                            text: page.communicating ? Lang.tr("Work mode") + " " + page.runState
                                                     : Lang.tr("Not communicating")
                            color: Theme.headerText
                            font.pixelSize: Theme.fontSize
                        }
                        Text {
                            anchors.horizontalCenter: parent.horizontalCenter
                            visible: page.communicating && page.batState !== ""
                            text: Lang.tr("Battery mode") + " " + page.batState
                            color: Theme.headerText
                            font.pixelSize: Theme.fontSize
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
                Layout.preferredHeight: 340
                Layout.alignment: Qt.AlignTop
                title: Lang.tr(page.moduleTitles[page.module])
                ValueList {
                    id: moduleGrid
                    objectName: "moduleGrid"
                    labelWidth: 130
                    emptyWidth: 270
                    codesAsText: page.family === "2"
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
                        required property var modelData
                        required property int index
                        spacing: 2
                        Text { text: Lang.tr(modelData.label); color: Theme.muted; font.pixelSize: Theme.fontSize }
                        Text {
                            objectName: "generation_" + index
                            text: page.genValue(index, modelData.unit)
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
