pragma ComponentBehavior: Bound
import QtQuick
import "replies.js" as Replies
import "fields.js" as Fields

// The items of one tagged-value reply, in reply order, as label and value rows. `fields`
// names the keys the page knows: { key: { label, unit, kind } }; kind "flag" shows 1/0 as
// yes/no, "fault" as fault/normal. Unknown keys are shown under their own name.
// A positioner, not a layout: rows added while the page is being built are placed too.
Column {
    id: grid
    property var fields: ({})
    property var items: []
    // Shown when the reply has no items: the device is not communicating, or it reports
    // nothing in this area.
    property string emptyText: Lang.tr("No data: the device is not communicating or does not report these values.")
    property int labelWidth: 170
    // Wide enough for a three-phase value with its unit ("230.1/229.8/231.0 V").
    property int valueWidth: 220
    property int emptyWidth: 420
    // The inverter family: its values come in its own units (W where a UPS reports kW),
    // and it sends state codes where the UPS families send 0/1 status bits.
    property bool inverter: false
    property bool codesAsText: inverter
    // The rows of the last reply while the link is down: their values read "-".
    property bool stale: false

    spacing: 5

    function show(text) {
        var received = Replies.tagged(text)
        // Not communicating, the program sends nothing: keep the rows, drop the values.
        stale = received.length === 0 && !UiState.communicating && items.length > 0
        if (!stale)
            items = received
    }

    function unitOf(field) {
        return inverter && field.inverterUnit !== undefined ? field.inverterUnit : field.unit
    }

    function valueText(item) {
        if (stale)
            return "-"
        var field = fields[item.key]
        if (field && codesAsText && (field.kind === "flag" || field.kind === "fault"))
            return item.value === "" ? "-" : Lang.tr("State") + " " + item.value
        if (field && field.kind === "mode")
            return Fields.modeText(item.value, Lang.tr)
        if (field && field.kind === "flag")
            return item.value === "1" ? Lang.tr("Yes") : Lang.tr("No")
        if (field && field.kind === "fault")
            return item.value === "1" ? Lang.tr("Fault") : Lang.tr("Normal")
        if (field && field.kind === "comm")
            return Lang.tr(Fields.commStateText(item.value))
        // Identity texts come padded with NUL characters to their register count.
        var value = item.value.replace(/\u0000/g, "").trim()
        return Fields.shownText(field, value, field ? unitOf(field) : undefined, Lang.tr)
    }

    function implausible(item) {
        var field = fields[item.key]
        return !stale && field !== undefined && field.kind === undefined
            && Fields.shown(field, item.value, unitOf(field), Lang.tr).implausible
    }

    function valueColor(item) {
        var field = fields[item.key]
        if (stale)
            return Theme.muted
        if (implausible(item))
            return Theme.warn
        if (field && field.kind === "fault" && !codesAsText)
            return item.value === "1" ? Theme.alarm : Theme.good
        if (field && field.kind === "comm")
            return item.value === "2" ? Theme.good : Theme.alarm
        return Theme.text
    }

    Text {
        visible: grid.items.length === 0
        width: grid.emptyWidth
        wrapMode: Text.Wrap
        text: grid.emptyText
        color: Theme.muted
        font.pixelSize: Theme.fontSize
    }
    Repeater {
        model: grid.items
        delegate: Row {
            id: valueRow
            required property var modelData
            spacing: 12
            Text {
                width: grid.labelWidth
                elide: Text.ElideRight
                text: grid.fields[valueRow.modelData.key] ? Lang.tr(grid.fields[valueRow.modelData.key].label)
                                                          : valueRow.modelData.key
                color: Theme.muted
                font.pixelSize: Theme.fontSize
            }
            Text {
                objectName: "value_" + valueRow.modelData.key
                width: grid.valueWidth
                elide: Text.ElideRight
                text: grid.valueText(valueRow.modelData)
                color: grid.valueColor(valueRow.modelData)
                font.pixelSize: Theme.fontSize
                font.bold: true
            }
        }
    }
}
