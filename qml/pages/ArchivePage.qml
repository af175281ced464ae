pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Export, import and restore of the settings folder; the program asks for the file and
// confirms. Imported and restored settings take effect at the next start.
PageBase {
    id: page
    signal exportRequested()
    signal importRequested()
    signal restoreRequested()

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
            spacing: 14
            Repeater {
                model: [
                    { name: "exportSettings", button: "Export settings…",
                      about: "Saves every setting, the recipient lists and the schedule in one zip archive." },
                    { name: "importSettings", button: "Import settings…",
                      about: "Replaces the settings with those of an archive; they take effect at the next start." },
                    { name: "restoreSettings", button: "Restore defaults…",
                      about: "Deletes the settings files; the defaults take effect at the next start." }
                ]
                delegate: RowLayout {
                    id: action
                    required property var modelData
                    required property int index
                    spacing: 16
                    Button {
                        objectName: action.modelData.name
                        text: Lang.tr(action.modelData.button)
                        Layout.preferredWidth: 170
                        onClicked: action.index === 0 ? page.exportRequested()
                                                      : action.index === 1 ? page.importRequested() : page.restoreRequested()
                    }
                    Text {
                        text: Lang.tr(action.modelData.about)
                        color: Theme.muted
                        font.pixelSize: Theme.fontSize
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                }
            }
        }
        Item { Layout.fillHeight: true }
    }
}
