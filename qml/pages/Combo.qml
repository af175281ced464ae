pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls

// A combo box with a drawn arrow, for the same reason as Check.
ComboBox {
    id: combo
    indicator: Text {
        x: combo.width - width - 8
        y: (combo.height - height) / 2
        text: "▾"
        color: combo.enabled ? Theme.text : Theme.muted
        font.pixelSize: 13
    }
}
