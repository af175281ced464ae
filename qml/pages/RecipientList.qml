pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "fields.js" as Fields
import "checks.js" as Checks

// Recipients with their event masks (decimal bit masks: bit k selects the events 2k and
// 2k + 1), edited in place; the two lists stay parallel. Each address is checked as it is
// typed (`kind`, see checks.js); the events are chosen from a list of check boxes.
ColumnLayout {
    id: list
    property string placeholder: ""
    property string kind: "address"
    // The rows' object names: prefix + row number.
    property string namePrefix: "recipient_"
    property string addName: "addRecipient"
    spacing: 4

    // Counts the changes of the list, so that `problem` follows them (a list model's
    // rows are not watched by bindings).
    property int edits: 0
    // The first row that cannot be stored, as "Recipient 2: <reason>", or "".
    readonly property string problem: {
        edits
        for (var i = 0; i < entries.count; ++i) {
            // A row left empty is dropped, not stored.
            var bad = Checks.check("optional:" + kind, entries.get(i).address.trim(), 0, 0)
            if (bad !== "")
                return Lang.tr("Recipient") + " " + (i + 1) + ": " + Lang.tr(bad)
        }
        return ""
    }

    function load(addresses, masks) {
        entries.clear()
        var a = Array.isArray(addresses) ? addresses : []
        var m = Array.isArray(masks) ? masks : []
        for (var i = 0; i < a.length; ++i) {
            if (a[i] !== "")
                entries.append({ address: a[i], mask: i < m.length ? m[i] : "0" })
        }
        ++edits
    }
    // The rows with an address, as two parallel arrays.
    function addresses() { return collect("address") }
    function masks() { return collect("mask") }
    function collect(role) {
        var out = []
        for (var i = 0; i < entries.count; ++i) {
            var e = entries.get(i)
            if (e.address.trim() !== "")
                out[out.length] = role === "address" ? e.address.trim() : (e.mask === "" ? "0" : e.mask)
        }
        return out
    }

    // The mask's bits as numbers, safe beyond 32 bits (a stored mask may set them all).
    function bitSet(mask, bit) {
        return Math.floor(Number(mask) / Math.pow(2, bit)) % 2 === 1
    }
    function withBit(mask, bit, on) {
        var n = Number(mask) || 0
        if (bitSet(n, bit) === on)
            return String(n)
        return String(on ? n + Math.pow(2, bit) : n - Math.pow(2, bit))
    }
    // "All events", "3 events", "No events".
    function maskSummary(mask) {
        var groups = Fields.eventGroups(UiState.family)
        var on = 0
        for (var i = 0; i < groups.length; ++i) {
            if (bitSet(mask, groups[i].bit))
                ++on
        }
        if (on === groups.length)
            return Lang.tr("All events")
        if (on === 0)
            return Lang.tr("No events")
        return Lang.tr("%1 events").arg(on)
    }

    ListModel { id: entries }

    Repeater {
        id: rows
        model: entries
        delegate: RowLayout {
            id: entry
            required property int index
            required property string address
            required property string mask
            spacing: 6
            Layout.fillWidth: true
            CheckedField {
                id: addressField
                objectName: list.namePrefix + entry.index
                kind: "optional:" + list.kind
                text: entry.address
                placeholderText: list.placeholder
                Layout.fillWidth: true
                Layout.minimumWidth: 140
                onTextEdited: {
                    entries.setProperty(entry.index, "address", text)
                    ++list.edits
                }
            }
            Button {
                objectName: "events_" + entry.index
                text: list.maskSummary(entry.mask)
                Layout.preferredWidth: 96
                onClicked: {
                    chooser.row = entry.index
                    chooser.open()
                }
            }
            Button {
                objectName: "remove_" + entry.index
                text: "✕"
                Layout.preferredWidth: 30
                onClicked: {
                    entries.remove(entry.index)
                    ++list.edits
                }
            }
        }
    }
    Button {
        objectName: list.addName
        text: Lang.tr("Add recipient")
        onClicked: {
            entries.append({ address: "", mask: Fields.allEventsMask })
            ++list.edits
        }
    }

    // The events of one row, a check box each; every change writes the row's mask.
    Popup {
        id: chooser
        objectName: "eventChooser"
        property int row: -1
        readonly property string mask: row >= 0 && row < entries.count ? entries.get(row).mask : "0"
        // Over the list, kept inside the window by the margins.
        x: list.width - width
        y: 0
        margins: 8
        width: 520
        height: implicitContentHeight + topPadding + bottomPadding
        modal: true
        padding: 14
        // No ids inside: the content item is a deferred property.
        contentItem: ColumnLayout {
            spacing: 6
            Text {
                text: Lang.tr("Events sent to this recipient")
                font.bold: true
                font.pixelSize: Theme.fontSize + 1
                color: Theme.header
            }
            GridLayout {
                columns: 2
                columnSpacing: 12
                rowSpacing: 0
                Repeater {
                    model: Fields.eventGroups(UiState.family)
                    delegate: Check {
                        required property var modelData
                        objectName: "event_" + modelData.bit
                        text: Lang.tr(modelData.label)
                        font.pixelSize: Theme.fontSize - 1
                        padding: 2
                        checked: list.bitSet(chooser.mask, modelData.bit)
                        onToggled: entries.setProperty(chooser.row, "mask",
                                                       list.withBit(chooser.mask, modelData.bit, checked))
                    }
                }
            }
            RowLayout {
                spacing: 8
                Button {
                    text: Lang.tr("All events")
                    onClicked: entries.setProperty(chooser.row, "mask", Fields.allEventsMask)
                }
                Button {
                    text: Lang.tr("No events")
                    onClicked: entries.setProperty(chooser.row, "mask", "0")
                }
                Item { Layout.fillWidth: true }
                Button {
                    objectName: "closeEventChooser"
                    text: Lang.tr("Close")
                    onClicked: chooser.close()
                }
            }
        }
    }
}
