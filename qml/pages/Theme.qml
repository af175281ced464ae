pragma ComponentBehavior: Bound
pragma Singleton
import QtQuick

QtObject {
    readonly property color background: "#eef2f6"
    readonly property color header: "#1f3a56"
    readonly property color headerText: "#ffffff"
    readonly property color nav: "#2b4c6f"
    readonly property color navActive: "#3f7cbf"
    readonly property color card: "#ffffff"
    readonly property color cardBorder: "#d5dde6"
    readonly property color text: "#1d2733"
    readonly property color muted: "#607080"
    readonly property color accent: "#1565c0"
    readonly property color good: "#2e7d32"
    readonly property color alarm: "#d32f2f"
    // A state worth a look that is no fault: on battery, connecting, shutting down.
    readonly property color warn: "#b26a00"
    readonly property color line: "#b0bec5"
    readonly property int fontSize: 13
    readonly property int titleSize: 17

    // What the pages show, as they receive it: turn on with
    // QT_LOGGING_RULES="kestrava.ui.shown.debug=true".
    readonly property LoggingCategory shownLog: LoggingCategory {
        name: "kestrava.ui.shown"
        defaultLogLevel: LoggingCategory.Warning
    }
}
