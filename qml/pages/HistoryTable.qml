pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls

// One page of history rows under their headings; wide tables scroll sideways.
Flickable {
    id: table
    property var headings: []
    property var rows: []
    readonly property int firstWidth: 150
    readonly property int cellWidth: Math.max(110, headings.length > 0 ? (width - firstWidth) / Math.max(1, headings.length - 1) : 110)
    readonly property int rowHeight: 30
    contentWidth: Math.max(width, firstWidth + Math.max(0, headings.length - 1) * cellWidth)
    contentHeight: height
    clip: true
    flickableDirection: Flickable.HorizontalFlick
    boundsBehavior: Flickable.StopAtBounds
    ScrollBar.horizontal: ScrollBar { policy: table.contentWidth > table.width ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded }

    function widthOf(column) { return column === 0 ? firstWidth : cellWidth }

    Column {
        width: table.contentWidth
        Rectangle {
            width: parent.width
            height: table.rowHeight + 6
            color: "#e3eaf2"
            Row {
                anchors.verticalCenter: parent.verticalCenter
                Repeater {
                    model: table.headings
                    delegate: Text {
                        required property var modelData
                        required property int index
                        objectName: "heading_" + index
                        width: table.widthOf(index)
                        leftPadding: 8
                        text: modelData
                        elide: Text.ElideRight
                        font.pixelSize: Theme.fontSize - 1
                        font.bold: true
                        color: Theme.header
                    }
                }
            }
        }
        Repeater {
            model: table.rows
            delegate: Rectangle {
                id: rowItem
                required property var modelData
                required property int index
                objectName: "row_" + index
                width: table.contentWidth
                height: table.rowHeight
                color: index % 2 ? "#f6f8fa" : Theme.card
                Row {
                    anchors.verticalCenter: parent.verticalCenter
                    Repeater {
                        model: rowItem.modelData
                        delegate: Text {
                            required property var modelData
                            required property int index
                            width: table.widthOf(index)
                            leftPadding: 8
                            text: modelData
                            elide: Text.ElideRight
                            font.pixelSize: Theme.fontSize - 1
                            color: Theme.text
                        }
                    }
                }
            }
        }
    }
}
