pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls

// A choice stored as a code: `choices` is [{ code, text }], texts as shown. A code that is not among the
// choices selects the one the program treats it as (`otherCode`).
Combo {
    id: combo
    property var choices: []
    property string otherCode: choices.length > 0 ? choices[0].code : ""
    readonly property string code: currentIndex >= 0 && currentIndex < choices.length ? choices[currentIndex].code : ""

    model: choices.map(function (c) { return c.text })
    implicitWidth: 120

    function select(value) {
        for (var i = 0; i < choices.length; ++i) {
            if (choices[i].code === value) {
                currentIndex = i
                return
            }
        }
        for (var j = 0; j < choices.length; ++j) {
            if (choices[j].code === otherCode)
                currentIndex = j
        }
    }
}
