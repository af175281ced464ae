pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts

// A titled white panel; its children go into a column below the title.
Rectangle {
    id: card
    property string title
    default property alias content: column.data
    property alias spacing: column.spacing

    color: Theme.card
    border.color: Theme.cardBorder
    radius: 4
    implicitWidth: column.implicitWidth + 24
    implicitHeight: column.implicitHeight + (title ? heading.implicitHeight + 8 : 0) + 24

    Text {
        id: heading
        visible: card.title !== ""
        text: card.title
        x: 12; y: 10
        font.pixelSize: Theme.fontSize + 1
        font.bold: true
        color: Theme.header
    }
    ColumnLayout {
        id: column
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: card.title ? heading.bottom : parent.top
        anchors.margins: 12
        anchors.topMargin: card.title ? 8 : 12
        spacing: 4
    }
}
