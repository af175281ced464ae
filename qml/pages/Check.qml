pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls

// A check box with a drawn indicator. The style's own indicator is a tinted image whose
// texture the toolkit keeps after the view is gone.
CheckBox {
    id: box
    indicator: Rectangle {
        implicitWidth: 16
        implicitHeight: 16
        x: box.leftPadding
        y: box.topPadding + (box.availableHeight - height) / 2
        radius: 2
        color: box.enabled ? Theme.card : Theme.background
        border.color: box.activeFocus ? Theme.accent : Theme.line
        Text {
            anchors.centerIn: parent
            visible: box.checked
            text: "✓"
            color: box.enabled ? Theme.accent : Theme.muted
            font.pixelSize: 13
            font.bold: true
        }
    }
}
