pragma ComponentBehavior: Bound
pragma Singleton
import QtQuick
import "fields.js" as Fields

// What every page may need to know of the window and the device at once: whether the
// window is on screen (nothing is asked for while it is not), and the device's present
// state as the program reports it once a second (the link state and the alarm bits or
// slots that are set now).
QtObject {
    property bool onScreen: true
    // The program's context objects "qmlobject" and "serial" once it has published them
    // (null before): pages connect to these rather than to the names.
    property QtObject bridge: null
    property QtObject device: null

    // "" before the first report, then "1" connecting, "2" communicating, "3" lost.
    property string comm: ""
    property string family: "ups"
    property var active: []
    // Why the link is down, when the program knows.
    property string reason: ""

    readonly property bool communicating: comm === "2"
    // The active conditions as { index, label, kind } with kind "fault" or "state",
    // faults first.
    readonly property var conditions: Fields.conditions(family, active)
    readonly property var faults: conditions.filter(function (c) { return c.kind === "fault" })
    readonly property var states: conditions.filter(function (c) { return c.kind !== "fault" })

    // The program's status text (ui/devicestatus.h).
    function show(text) {
        var status
        try {
            status = JSON.parse(text)
        } catch (e) {
            console.warn("device status is no JSON:", text)
            return
        }
        comm = String(status.comm)
        family = status.family === "inverter" ? "inverter" : "ups"
        active = Array.isArray(status.active) ? status.active : []
        reason = status.reason || ""
        console.debug(Theme.shownLog, "status: comm=" + comm + " active=" + active.join(",") + " reason=" + reason)
    }

    // "Communicating" and the like, the reason when the link is down, for one line.
    function linkText() {
        if (comm === "2")
            return Lang.tr("Communicating")
        if (comm === "3")
            return Lang.tr("Communication lost")
        return Lang.tr("Connecting")
    }
    function reasonText() {
        if (reason === "")
            return ""
        if (reason === "no reply")
            return Lang.tr("The device does not answer")
        return Lang.tr("Cannot open the port") + ": " + reason
    }
}
