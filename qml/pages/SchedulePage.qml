pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies
import "checks.js" as Checks

// The weekly shutdown and start-up times, seven special tasks, and the warning lead time.
// The program replaces the whole schedule with each save and reports the next times.
PageBase {
    id: page
    property string nextShutdown: ""
    property string nextStartup: ""
    // Bumped at every edit, so the checks over the lists run again.
    property int edits: 0
    signal save(string request)
    SaveReply { id: saveReply; target: UiState.device; settings: ["schedule"] }
    Connections {
        target: page
        function onShown() { saveReply.expect() }
    }

    // The weekly entries always travel in this order of days: the reply gives them back by
    // position alone.
    readonly property var weekOrder: [
        { day: 1, text: "Monday" }, { day: 2, text: "Tuesday" }, { day: 3, text: "Wednesday" },
        { day: 4, text: "Thursday" }, { day: 5, text: "Friday" }, { day: 6, text: "Saturday" },
        { day: 0, text: "Sunday" }
    ]
    readonly property var rates: [
        { code: "0", text: Lang.tr("Once") }, { code: "1", text: Lang.tr("Every day") },
        { code: "7", text: Lang.tr("Weekly") }, { code: "30", text: Lang.tr("Every 30 days") }
    ]
    readonly property var taskTypes: [
        { code: "shutdown", text: Lang.tr("Shut down") }, { code: "startup", text: Lang.tr("Start up") }
    ]
    readonly property string problem: {
        edits
        var results = [lead.problem === "" ? "" : Lang.tr("Warning lead time") + ": " + lead.message]
        for (var k = 0; k < weekly.count; ++k) {
            var w = weekly.get(k)
            var bad = Checks.first([Checks.optionalClockTime(w.shutdown), Checks.optionalClockTime(w.boot)])
            results[results.length] = bad === "" ? "" : Lang.tr(weekOrder[k].text) + ": " + Lang.tr(bad)
        }
        for (var j = 0; j < special.count; ++j) {
            var bad2 = Checks.optionalMinute(special.get(j).time)
            results[results.length] = (bad2 === "" ? "" : Lang.tr("Special task") + " " + (j + 1) + ": " + Lang.tr(bad2))
        }
        return Checks.first(results)
    }

    Component.onCompleted: clearLists()

    function clearLists() {
        weekly.clear()
        for (var k = 0; k < weekOrder.length; ++k)
            weekly.append({ shutdown: "", boot: "" })
        special.clear()
        for (var j = 0; j < 7; ++j)
            special.append({ time: "", rate: "0", type: "shutdown" })
        edits++
    }

    function show(text) {
        var s = Replies.json(text)
        if (!s)
            return
        var w = Array.isArray(s.boot_and_shutdown_time) ? s.boot_and_shutdown_time : []
        for (var k = 0; k < weekly.count; ++k) {
            weekly.setProperty(k, "shutdown", k < w.length ? String(w[k].shutdowntime) : "")
            weekly.setProperty(k, "boot", k < w.length ? String(w[k].boottime) : "")
        }
        var t = Array.isArray(s.specialtask) ? s.specialtask : []
        for (var j = 0; j < special.count; ++j) {
            var task = j < t.length ? t[j] : {}
            special.setProperty(j, "time", task.specialtasktime ? String(task.specialtasktime) : "")
            special.setProperty(j, "rate", task.taskrate ? String(task.taskrate) : "0")
            special.setProperty(j, "type", task.case === "startup" ? "startup" : "shutdown")
        }
        lead.text = s.warnbeforeshutdown === "" ? "0" : s.warnbeforeshutdown
        showTimes(s.nextShutdownTime, s.nextStartupTime)
        edits++
        console.debug(Theme.shownLog, "schedule:", text)
    }

    function showTimes(shutdown, startup) {
        nextShutdown = shutdown
        nextStartup = startup
    }

    function request() {
        var w = []
        for (var k = 0; k < weekly.count; ++k)
            w[w.length] = { weekday: weekOrder[k].day, shutdowntime: weekly.get(k).shutdown, boottime: weekly.get(k).boot }
        var t = []
        for (var j = 0; j < special.count; ++j) {
            var e = special.get(j)
            t[t.length] = { specialtasktime: e.time, taskrate: e.rate, case: e.type }
        }
        return Replies.request({ warnbeforeshutdown: lead.text, boot_and_shutdown_time: w, specialtask: t })
    }

    ListModel { id: weekly }
    ListModel { id: special }

    ColumnLayout {
        anchors.fill: parent
        spacing: 10
        Text {
            text: page.title
            font.pixelSize: Theme.titleSize
            font.bold: true
            color: Theme.header
        }
        RowLayout {
            spacing: 12
            Layout.fillWidth: true
            Card {
                Layout.alignment: Qt.AlignTop
                title: Lang.tr("Every week")
                GridLayout {
                    columns: 3
                    columnSpacing: 10
                    rowSpacing: 3
                    Item { width: 1; height: 1 }
                    Label { text: Lang.tr("Shut down"); color: Theme.muted }
                    Label { text: Lang.tr("Start up"); color: Theme.muted }
                    Repeater {
                        model: weekly
                        delegate: Label {
                            required property int index
                            text: Lang.tr(page.weekOrder[index].text)
                            Layout.row: index + 1
                            Layout.column: 0
                        }
                    }
                    Repeater {
                        model: weekly
                        delegate: CheckedField {
                            required property int index
                            required property string shutdown
                            objectName: "shutdown_" + index
                            kind: "optionalClock"
                            placeholderText: "hh:mm"
                            text: shutdown
                            implicitWidth: 76
                            Layout.row: index + 1
                            Layout.column: 1
                            onTextEdited: { weekly.setProperty(index, "shutdown", text); page.edits++ }
                        }
                    }
                    Repeater {
                        model: weekly
                        delegate: CheckedField {
                            required property int index
                            required property string boot
                            objectName: "boot_" + index
                            kind: "optionalClock"
                            placeholderText: "hh:mm"
                            text: boot
                            implicitWidth: 76
                            Layout.row: index + 1
                            Layout.column: 2
                            onTextEdited: { weekly.setProperty(index, "boot", text); page.edits++ }
                        }
                    }
                }
            }
            Card {
                Layout.alignment: Qt.AlignTop
                Layout.fillWidth: true
                title: Lang.tr("Special tasks")
                Repeater {
                    model: special
                    delegate: RowLayout {
                        id: taskRow
                        required property int index
                        required property string time
                        required property string rate
                        required property string type
                        spacing: 6
                        onRateChanged: rateCombo.select(rate)
                        onTypeChanged: typeCombo.select(type)
                        CheckedField {
                            objectName: "specialTime_" + taskRow.index
                            kind: "optionalMinute"
                            placeholderText: "yyyy-MM-dd hh:mm"
                            text: taskRow.time
                            implicitWidth: 150
                            onTextEdited: { special.setProperty(taskRow.index, "time", text); page.edits++ }
                        }
                        CodeCombo {
                            id: rateCombo
                            objectName: "specialRate_" + taskRow.index
                            choices: page.rates
                            implicitWidth: 120
                            Component.onCompleted: select(taskRow.rate)
                            onActivated: special.setProperty(taskRow.index, "rate", code)
                        }
                        CodeCombo {
                            id: typeCombo
                            objectName: "specialType_" + taskRow.index
                            choices: page.taskTypes
                            implicitWidth: 110
                            Component.onCompleted: select(taskRow.type)
                            onActivated: special.setProperty(taskRow.index, "type", code)
                        }
                    }
                }
            }
        }
        RowLayout {
            spacing: 12
            Label { text: Lang.tr("Warning lead time (minutes)") }
            CheckedField { id: lead; objectName: "leadTime"; kind: "whole"; min: 0; max: 65535; text: "0" }
            Button {
                objectName: "saveSchedule"
                text: Lang.tr("Save")
                enabled: page.problem === ""
                onClicked: {
                    saveReply.expect()
                    page.save(page.request())
                }
            }
            Label {
                objectName: "scheduleProblem"
                text: page.problem !== "" ? page.problem : saveReply.text
                color: Theme.alarm
            }
        }
        GridLayout {
            columns: 2
            columnSpacing: 16
            Label { text: Lang.tr("Next shutdown"); color: Theme.muted }
            Label { objectName: "nextShutdown"; text: page.nextShutdown || "-"; font.bold: true }
            Label { text: Lang.tr("Next start-up"); color: Theme.muted }
            Label { objectName: "nextStartup"; text: page.nextStartup || "-"; font.bold: true }
        }
        Item { Layout.fillHeight: true }
    }
}
