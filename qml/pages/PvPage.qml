pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import "replies.js" as Replies
import "fields.js" as Fields

// The PV values and the list of PV inputs.
PageBase {
    id: page
    live: true
    property var inputs: []
    property alias inverter: grid.inverter

    function show(values, inputList) {
        grid.show(values)
        inputs = Replies.pvInputs(inputList)
        console.debug(Theme.shownLog, "pv:", Replies.trace(grid.items), "inputs=" + inputs.length)
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
            ValueList { id: grid; fields: Fields.pv }
        }
        Card {
            Layout.fillWidth: true
            visible: page.inputs.length > 0
            title: Lang.tr("PV inputs")
            GridLayout {
                columns: 6
                columnSpacing: 28
                rowSpacing: 4
                Repeater {
                    model: ["Input", "Voltage (V)", "Current (A)", "Energy today (kWh)", "Lifetime energy (kWh)",
                            "State"]
                    delegate: Text {
                        required property string modelData
                        text: Lang.tr(modelData)
                        color: Theme.muted
                        font.pixelSize: Theme.fontSize
                    }
                }
                Repeater {
                    model: page.inputs
                    delegate: Repeater {
                        id: inputRow
                        required property var modelData
                        required property int index
                        readonly property var row: modelData
                        readonly property int rowIndex: index
                        // The units are in the column titles; the decimals those of the values above.
                        function figure(field, value) { return Fields.shown(field, value, undefined, Lang.tr).text }
                        model: [row.inputNo, figure(Fields.pv.pvvol, row.voltage), figure(Fields.pv.pvcur, row.current),
                                figure(Fields.pv.pvdaygen, row.dayGen), figure(Fields.pv.pvtotalgen, row.totalGen),
                                row.fault === "1" ? Lang.tr("Fault") : Lang.tr("Normal")]
                        delegate: Text {
                            required property string modelData
                            required property int index
                            objectName: "pvinput_" + inputRow.rowIndex + "_" + index
                            text: modelData
                            color: index === 5 && inputRow.row.fault === "1" ? Theme.alarm : Theme.text
                            font.pixelSize: Theme.fontSize
                        }
                    }
                }
            }
        }
        Item { Layout.fillHeight: true }
    }
}
