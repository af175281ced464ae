pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A question over its page that holds the keyboard until it is answered: Tab goes round
// its two buttons only, Esc cancels, Enter takes the focused button (the window sees to
// that for every button), no other key reaches the page behind, and the focus goes back
// where it was. The safe answer has the focus first. A page turned away by the mouse
// meanwhile counts as a cancel.
FocusScope {
    id: question
    property string title
    property string text
    property string acceptText: Lang.tr("OK")
    property string rejectText: Lang.tr("Cancel")
    property string acceptName: objectName + "Accept"
    property string rejectName: objectName + "Cancel"
    // The accept button in the alarm colour: it cuts power or protection, or deletes.
    property bool risky: false
    property bool asking: false
    signal accepted()
    signal rejected()

    anchors.fill: parent
    z: 100
    visible: asking
    property Item returnFocus: null

    function ask() {
        if (asking)
            return
        returnFocus = question.Window.activeFocusItem
        asking = true
        rejectButton.forceActiveFocus(Qt.TabFocusReason)
    }
    function finish(yes) {
        if (!asking)
            return
        asking = false
        if (returnFocus !== null && returnFocus.visible)
            returnFocus.forceActiveFocus(Qt.OtherFocusReason)
        returnFocus = null
        if (yes)
            accepted()
        else
            rejected()
    }
    function accept() { finish(true) }
    function reject() { finish(false) }
    onVisibleChanged: if (!visible && asking) finish(false)

    // Tab and the arrows move between the two buttons; a focused button would otherwise
    // hand Tab on along the page's focus chain.
    function other(button) { return button === rejectButton ? acceptButton : rejectButton }
    function moveFocus(button, event) {
        question.other(button).forceActiveFocus(Qt.TabFocusReason)
        event.accepted = true
    }
    Keys.onPressed: function (event) {
        if (event.key === Qt.Key_Escape)
            question.finish(false)
        event.accepted = true
    }

    Rectangle {
        anchors.fill: parent
        color: "#80000000"
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.AllButtons
            onWheel: function (wheel) { wheel.accepted = true }
        }
    }
    Card {
        anchors.centerIn: parent
        width: 440
        title: question.title
        Text {
            objectName: question.objectName + "Text"
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: question.text
            color: Theme.text
            font.pixelSize: Theme.fontSize
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            Layout.topMargin: 8
            spacing: 8
            Button {
                id: rejectButton
                objectName: question.rejectName
                text: question.rejectText
                onClicked: question.finish(false)
                Keys.onTabPressed: function (event) { question.moveFocus(rejectButton, event) }
                Keys.onBacktabPressed: function (event) { question.moveFocus(rejectButton, event) }
                Keys.onLeftPressed: function (event) { question.moveFocus(rejectButton, event) }
                Keys.onRightPressed: function (event) { question.moveFocus(rejectButton, event) }
            }
            Button {
                id: acceptButton
                objectName: question.acceptName
                text: question.acceptText
                palette.buttonText: question.risky ? Theme.alarm : Theme.text
                font.bold: question.risky
                onClicked: question.finish(true)
                Keys.onTabPressed: function (event) { question.moveFocus(acceptButton, event) }
                Keys.onBacktabPressed: function (event) { question.moveFocus(acceptButton, event) }
                Keys.onLeftPressed: function (event) { question.moveFocus(acceptButton, event) }
                Keys.onRightPressed: function (event) { question.moveFocus(acceptButton, event) }
            }
        }
    }
}
