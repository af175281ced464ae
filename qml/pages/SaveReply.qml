pragma ComponentBehavior: Bound
import QtQuick

// The program's word on a page's last save: each setter says, before it returns, whether
// every file took the change. Set `target` to the object whose setters the page calls and
// `settings` to the names they report under; call expect() just before the save.
QtObject {
    id: reply
    property QtObject target: null
    property var settings: []
    // Why the last save was not stored, as the program said it; "" when it was (or none yet).
    property string failure: ""
    // The line a page shows for it; "" when there is nothing to say.
    readonly property string text: failure === "" ? "" : Lang.tr("Settings not saved") + ": " + Lang.reason(failure)

    function expect() { failure = "" }

    property Connections replies: Connections {
        target: reply.target
        function onSigSaveResult(setting, failed) {
            if (reply.settings.indexOf(setting) >= 0)
                reply.failure = failed
        }
    }
}
