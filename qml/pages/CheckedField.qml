pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import "checks.js" as Checks

// A text field checked as the user types (checks.js): a value the program cannot store
// turns the frame red and says what is wrong; pages send nothing while `problem` is set.
TextField {
    id: field
    property string kind: "whole"
    property int min: 0
    property int max: 65535
    readonly property string problem: Checks.check(kind, text, min, max)
    readonly property string message: problem === "" ? ""
        : kind === "whole" ? Lang.tr(problem).arg(min).arg(max) : Lang.tr(problem)

    implicitWidth: 90
    selectByMouse: true
    background: Rectangle {
        implicitHeight: 28
        radius: 2
        color: field.enabled ? Theme.card : Theme.background
        border.width: field.problem !== "" || field.activeFocus ? 2 : 1
        border.color: field.problem !== "" ? Theme.alarm : field.activeFocus ? Theme.accent : Theme.line
    }
    ToolTip.visible: problem !== "" && (activeFocus || hovered)
    ToolTip.text: message
}
