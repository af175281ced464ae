pragma ComponentBehavior: Bound
import QtQuick

// One part of the energy-flow diagram; a click selects it.
Rectangle {
    id: node
    property string label
    property string value
    // A second line under the value ("Charging", "Load 45.6 %"), in the warning colour
    // when it holds a value that cannot be right.
    property string note
    property bool noteWarn: false
    property bool selected: false
    property bool active: false
    signal clicked()

    width: 126
    height: 62
    radius: 6
    color: selected ? "#e3eefb" : Theme.card
    border.color: selected ? Theme.accent : Theme.cardBorder
    border.width: selected ? 2 : 1

    Column {
        anchors.centerIn: parent
        spacing: 2
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: node.label
            color: Theme.muted
            font.pixelSize: Theme.fontSize
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            objectName: node.objectName + "_value"
            text: node.value
            color: node.active ? Theme.accent : Theme.text
            width: node.width - 8
            horizontalAlignment: Text.AlignHCenter
            // Long values shrink to fit the box, never past it.
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: Theme.fontSize - 4
            font.pixelSize: Theme.fontSize + 2
            font.bold: true
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            objectName: node.objectName + "_note"
            visible: node.note !== ""
            text: node.note
            color: node.noteWarn ? Theme.warn : Theme.muted
            width: node.width - 8
            horizontalAlignment: Text.AlignHCenter
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: Theme.fontSize - 5
            font.pixelSize: Theme.fontSize - 2
        }
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: node.clicked()
    }
}
