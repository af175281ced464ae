import QtQuick

// A page of the content area. It asks for its data each time it is shown and, while it
// is shown and live, every `interval` ms.
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
    Component.onCompleted: if (visible) Qt.callLater(showUp)

    Timer {
        interval: page.interval
        repeat: true
        running: page.visible && page.live
        onTriggered: page.refresh()
    }
}
