pragma ComponentBehavior: Bound
import QtQuick

// A page of the content area. It asks for its data each time it is shown and, while it
// is shown and live, every `interval` ms; while the window is minimized or hidden it
// asks for nothing, and asks at once when the window is back.
Item {
    id: page
    property string title
    property bool live: false
    property int interval: 2000
    // Each time the page comes into view, then refresh.
    signal shown()
    signal refresh()

    function showUp() {
        shown()
        refresh()
    }
    onVisibleChanged: if (visible) showUp()
    // Not while the page is still being built: layouts miss the rows added then.
    Component.onCompleted: if (visible) Qt.callLater(showUp) // qmllint disable

    Timer {
        interval: page.interval
        repeat: true
        running: page.visible && page.live && UiState.onScreen
        onTriggered: page.refresh()
    }
    Connections {
        target: UiState
        function onOnScreenChanged() {
            if (UiState.onScreen && page.visible && page.live)
                page.refresh()
        }
    }
}
