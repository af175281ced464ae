pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies

// The on-screen event list, newest first, coloured by kind, and the button that clears it
// (after a question: the list is the only on-screen record of what happened).
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
        confirming = false
    }

    property bool confirming: false

    // What an event line reports, from its text in either language: a recovery, a
    // command or message the program sent, or else an alarm.
    function kindOf(description) {
        var d = String(description)
        if (/disappear|diappear|normal|succeed|success|消失|正常|成功|恢复/i.test(d))
            return "recovery"
        if (/^send|command|manual bypass|test sms|test email|发送|命令|测试/i.test(d))
            return "info"
        return "alarm"
    }
    function kindColor(kind) {
        return kind === "recovery" ? Theme.good : kind === "info" ? Theme.accent : Theme.alarm
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
                visible: !page.confirming
                text: Lang.tr("Clear warnings")
                enabled: page.warnings.length > 0
                onClicked: page.confirming = true
            }
            Text {
                visible: page.confirming
                text: Lang.tr("Clear the list? Active alarms stay in the header.")
                color: Theme.text
                font.pixelSize: Theme.fontSize
            }
            Button {
                objectName: "confirmClearWarnings"
                visible: page.confirming
                text: Lang.tr("Clear")
                onClicked: {
                    page.confirming = false
                    page.clearRequested()
                }
            }
            Button {
                objectName: "cancelClearWarnings"
                visible: page.confirming
                text: Lang.tr("Cancel")
                onClicked: page.confirming = false
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
                    readonly property string kind: page.kindOf(modelData.description)
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
                        color: line.kind === "alarm" ? Theme.alarm : Theme.text
                        font.pixelSize: Theme.fontSize
                        font.bold: line.kind === "alarm"
                    }
                }
            }
        }
    }
}
