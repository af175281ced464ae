import QtQuick

// One part of the energy-flow diagram; a click selects it.
Rectangle {
    id: node
    property string label
    property string value
    property bool selected: false
    property bool active: false
    signal clicked()

    width: 126
    height: 58
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
            // Three-phase values ("a/b/c") take the smaller size to fit.
            font.pixelSize: node.value.length > 10 ? Theme.fontSize - 1 : Theme.fontSize + 2
            font.bold: true
        }
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: node.clicked()
    }
}
