pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import "replies.js" as Replies

// A live page of one tagged-value reply: the owner asks for it in onRefresh and hands
// the reply to show().
PageBase {
    id: page
    property alias fields: grid.fields
    property alias codesAsText: grid.codesAsText
    property alias inverter: grid.inverter
    live: true

    function show(text) {
        grid.show(text)
        console.debug(Theme.shownLog, page.objectName + ":", Replies.trace(grid.items))
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
            ValueList { id: grid }
        }
        Item { Layout.fillHeight: true }
    }
}
