import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies

// The on-screen warnings, newest first, and the button that clears them.
PageBase {
    id: page
    live: true
    property var warnings: []
    signal clearRequested()

    function show(text) {
        var list = Replies.json(text)
        warnings = Array.isArray(list) ? list : []
        console.debug(Theme.shownLog, "warnings: count=" + warnings.length)
    }

    function cleared() {
        warnings = []
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 12
        RowLayout {
            Layout.fillWidth: true
            Text {
                text: page.title
                font.pixelSize: Theme.titleSize
                font.bold: true
                color: Theme.header
                Layout.fillWidth: true
            }
            Button {
                objectName: "clearWarnings"
                text: Lang.tr("Clear warnings")
                enabled: page.warnings.length > 0
                onClicked: page.clearRequested()
            }
        }
        Card {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Text {
                visible: page.warnings.length === 0
                text: Lang.tr("No warnings.")
                color: Theme.muted
                font.pixelSize: Theme.fontSize
            }
            Repeater {
                model: page.warnings
                delegate: RowLayout {
                    required property var modelData
                    required property int index
                    spacing: 20
                    Text {
                        text: modelData.date
                        color: Theme.muted
                        font.pixelSize: Theme.fontSize
                        Layout.preferredWidth: 130
                    }
                    Text {
                        objectName: "warning_" + index
                        text: modelData.description
                        color: Theme.alarm
                        font.pixelSize: Theme.fontSize
                        font.bold: true
                    }
                }
            }
        }
    }
}
