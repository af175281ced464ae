pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies

// The on-screen event list, newest first, coloured by the kind the program gives each
// event, and the button that clears it (after a question: the list is the only on-screen
// record of what happened).
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

    // "alarm", "state", "recovery" or "info", as the program decided by the event's code;
    // a line without one draws attention rather than pass for good news.
    function kindOf(line) {
        var k = line.kind
        return k === "state" || k === "recovery" || k === "info" ? k : "alarm"
    }
    function kindColor(kind) {
        return kind === "recovery" ? Theme.good : kind === "info" ? Theme.accent
             : kind === "state" ? Theme.warn : Theme.alarm
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
                onClicked: confirm.ask()
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
                    id: line
                    required property var modelData
                    required property int index
                    readonly property string kind: page.kindOf(modelData)
                    spacing: 20
                    Text {
                        text: line.modelData.date
                        color: Theme.muted
                        font.pixelSize: Theme.fontSize
                        Layout.preferredWidth: 130
                    }
                    Rectangle {
                        Layout.preferredWidth: 8
                        Layout.preferredHeight: 8
                        radius: 4
                        color: page.kindColor(line.kind)
                    }
                    Text {
                        objectName: "warning_" + line.index
                        property string kind: line.kind
                        text: line.modelData.description
                        color: line.kind === "alarm" ? Theme.alarm : line.kind === "state" ? Theme.warn : Theme.text
                        font.pixelSize: Theme.fontSize
                        font.bold: line.kind === "alarm"
                    }
                }
            }
        }
    }

    Question {
        id: confirm
        objectName: "clearWarningsQuestion"
        acceptName: "confirmClearWarnings"
        rejectName: "cancelClearWarnings"
        title: Lang.tr("Clear warnings")
        text: Lang.tr("Clear the list? Active alarms stay in the header.")
        acceptText: Lang.tr("Clear")
        risky: true
        onAccepted: page.clearRequested()
    }
}
