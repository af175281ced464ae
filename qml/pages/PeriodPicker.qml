pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "historytexts.js" as Texts

// The day, month or year a page shows, stepped with the arrows; `period` is its text as
// the history files carry it ("yyyyMMdd", "yyyyMM", "yyyy").
RowLayout {
    id: picker
    property string form: "day"
    property string lang: "1"
    property date date: new Date()
    readonly property string period: Texts.periodText(form, date)
    spacing: 6

    Button {
        objectName: "periodBack"
        text: "‹"
        implicitWidth: 34
        onClicked: picker.date = Texts.stepPeriod(picker.form, picker.date, -1)
    }
    Text {
        objectName: "periodLabel"
        text: Texts.periodLabel(picker.form, picker.date)
        font.pixelSize: Theme.fontSize + 1
        font.bold: true
        color: Theme.text
        horizontalAlignment: Text.AlignHCenter
        Layout.preferredWidth: 96
    }
    Button {
        objectName: "periodForward"
        text: "›"
        implicitWidth: 34
        onClicked: picker.date = Texts.stepPeriod(picker.form, picker.date, 1)
    }
    Button {
        objectName: "periodToday"
        text: Texts.tr(picker.lang, "Today")
        onClicked: picker.date = new Date()
    }
}
