import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "fields.js" as Fields

// Recipients with their event masks (decimal bit masks: bit k selects the events 2k and
// 2k + 1), edited in place; the two lists stay parallel.
ColumnLayout {
    id: list
    property string placeholder: ""
    spacing: 4

    function load(addresses, masks) {
        entries.clear()
        var a = Array.isArray(addresses) ? addresses : []
        var m = Array.isArray(masks) ? masks : []
        for (var i = 0; i < a.length; ++i) {
            if (a[i] !== "")
                entries.append({ address: a[i], mask: i < m.length ? m[i] : "0" })
        }
    }
    // The rows with an address, as two parallel arrays.
    function addresses() { return collect("address") }
    function masks() { return collect("mask") }
    function collect(role) {
        var out = []
        for (var i = 0; i < entries.count; ++i) {
            var e = entries.get(i)
            if (e.address.trim() !== "")
                out.push(role === "address" ? e.address.trim() : (e.mask === "" ? "0" : e.mask))
        }
        return out
    }

    ListModel { id: entries }

    RowLayout {
        spacing: 8
        Text { text: Lang.tr("Recipient"); color: Theme.muted; font.pixelSize: Theme.fontSize; Layout.preferredWidth: 200 }
        Text { text: Lang.tr("Event mask"); color: Theme.muted; font.pixelSize: Theme.fontSize }
    }
    Repeater {
        model: entries
        delegate: RowLayout {
            required property int index
            required property string address
            required property string mask
            spacing: 8
            TextField {
                objectName: "recipient_" + index
                text: address
                placeholderText: list.placeholder
                Layout.preferredWidth: 200
                onTextEdited: entries.setProperty(index, "address", text)
            }
            TextField {
                objectName: "mask_" + index
                text: mask
                Layout.preferredWidth: 100
                validator: RegularExpressionValidator { regularExpression: /[0-9]{0,10}/ }
                onTextEdited: entries.setProperty(index, "mask", text)
            }
            Button {
                text: Lang.tr("All events")
                onClicked: entries.setProperty(index, "mask", Fields.allEventsMask)
            }
            Button {
                text: "✕"
                implicitWidth: 32
                onClicked: entries.remove(index)
            }
        }
    }
    Button {
        objectName: "addRecipient"
        text: Lang.tr("Add recipient")
        onClicked: entries.append({ address: "", mask: Fields.allEventsMask })
    }
}
