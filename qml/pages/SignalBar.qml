pragma ComponentBehavior: Bound
import QtQuick

// A level from 0 to 100 as a filled bar.
Rectangle {
    id: bar
    property int value: 0
    implicitWidth: 120
    implicitHeight: 10
    radius: 3
    color: Theme.background
    border.color: Theme.cardBorder
    Rectangle {
        width: (bar.width - 2) * Math.max(0, Math.min(100, bar.value)) / 100
        height: bar.height - 2
        x: 1; y: 1
        radius: 2
        color: Theme.good
    }
}
