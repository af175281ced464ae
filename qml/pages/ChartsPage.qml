pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies
import "historytexts.js" as Texts

// Generation charts: the power curve of a day, the energy of each day of a month, of each
// month of a year, and of each year.
PageBase {
    id: page
    property string family: ""
    signal chartRequested(string request)

    // `bar` names what one bar stands for, the words under the bar axis.
    readonly property var charts: [
        { flag: "chartday", title: "Day", form: "day", caption: "Power curve of the day", bar: "" },
        { flag: "chartmonth", title: "Month", form: "month", caption: "Generation of each day", bar: "Day" },
        { flag: "chartyear", title: "Year", form: "year", caption: "Generation of each month", bar: "Month" },
        { flag: "charttotal", title: "Total", form: "", caption: "Generation of each year", bar: "Year" }
    ]
    property int chartIndex: 0
    readonly property var chart: charts[chartIndex]
    // What the last reply held: the day's values, or the bars' labels and values.
    property var dayValues: []
    property var barLabels: []
    property var barValues: []
    // The last request found the file held locked by another program.
    property bool busy: false
    readonly property bool empty: chart.flag === "chartday" ? dayValues.length === 0 : barValues.length === 0

    function t(text) { return Texts.tr(Lang.lang, text) }

    function load() {
        var c = charts[chartIndex]
        chartRequested(Replies.request({ dateTime: c.form ? Texts.periodText(c.form, picker.date) : "", flag: c.flag }))
    }

    // A value axis from 0 with round steps (1, 2 or 5 times a power of ten), at most five
    // of them and a little room above the largest value; labels show the step's decimals.
    function axisScale(values) {
        var m = 0
        for (var i = 0; i < values.length; ++i)
            m = Math.max(m, Number(values[i]) || 0)
        if (!(m > 0))
            return { max: 1, ticks: 6, format: "%.1f" }
        var raw = m * 1.05 / 5
        var power = Math.pow(10, Math.floor(Math.log(raw) / Math.LN10))
        var norm = raw / power
        var step = (norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10) * power
        var steps = Math.ceil(m * 1.05 / step - 1e-9)
        var decimals = Math.max(0, -Math.floor(Math.log(step) / Math.LN10 + 1e-9))
        return { max: Number((steps * step).toFixed(decimals)), ticks: steps + 1, format: "%." + decimals + "f" }
    }

    function showDay(text) {
        busy = false
        dayValues = text ? String(text).split("#") : []
        console.debug(Theme.shownLog, "chart day: values=" + dayValues.length)
    }

    // One bar for every day of the month, month of the year, or year from the first to the
    // last the reply names; a period without a row stands at 0. The reply's first field is
    // the day, month or year number.
    function showBars(flag, text) {
        busy = false
        var rows = Replies.rows(text)
        var first = 1
        var last = 0
        if (flag === "chartmonth") {
            last = new Date(picker.date.getFullYear(), picker.date.getMonth() + 1, 0).getDate()
        } else if (flag === "chartyear") {
            last = 12
        } else {
            first = Infinity
            last = -Infinity
            for (var i = 0; i < rows.length; ++i) {
                var year = parseInt(rows[i][0], 10)
                if (!isNaN(year)) {
                    first = Math.min(first, year)
                    last = Math.max(last, year)
                }
            }
        }
        var labels = []
        var values = []
        for (var n = first; n <= last; ++n) {
            labels[n - first] = String(n)
            values[n - first] = 0
        }
        for (var r = 0; r < rows.length; ++r) {
            var at = parseInt(rows[r][0], 10) - first
            if (at >= 0 && at < values.length)
                values[at] = Number(rows[r][1]) || 0
            else
                console.warn("chart " + flag + ": no bar for", JSON.stringify(rows[r][0]))
        }
        barLabels = labels
        barValues = rows.length > 0 ? values : []
        console.debug(Theme.shownLog, "chart " + flag + ": bars=" + barValues.length)
    }

    onShown: load()
    // A change of chart also changes the picker's form: one request for both.
    onChartIndexChanged: Qt.callLater(load) // qmllint disable

    Connections {
        target: UiState.bridge
        function onSigHistoryBusy(strtype) {
            if (strtype !== page.charts[page.chartIndex].flag)
                return
            page.busy = true
            page.dayValues = []
            page.barLabels = []
            page.barValues = []
            console.debug(Theme.shownLog, "chart " + strtype + ": file busy")
        }
        function onSigChartDay(daystr) { if (page.charts[page.chartIndex].flag === "chartday") page.showDay(daystr) }
        function onSigChartMonth(monthstr) { if (page.charts[page.chartIndex].flag === "chartmonth") page.showBars("chartmonth", monthstr) }
        function onSigChartYear(yearstr) { if (page.charts[page.chartIndex].flag === "chartyear") page.showBars("chartyear", yearstr) }
        function onSigChartTotal(totalstr) { if (page.charts[page.chartIndex].flag === "charttotal") page.showBars("charttotal", totalstr) }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            Text {
                text: page.title
                font.pixelSize: Theme.titleSize
                font.bold: true
                color: Theme.header
                Layout.fillWidth: true
            }
            PeriodPicker {
                id: picker
                objectName: "chartPicker"
                visible: page.chart.form !== ""
                form: page.chart.form || "year"
                lang: Lang.lang
                onPeriodChanged: Qt.callLater(page.load) // qmllint disable
            }
        }

        RowLayout {
            spacing: 6
            Repeater {
                model: page.charts
                delegate: Button {
                    required property var modelData
                    required property int index
                    objectName: "chart_" + modelData.flag
                    text: page.t(modelData.title)
                    checkable: true
                    checked: page.chartIndex === index
                    onClicked: page.chartIndex = index
                }
            }
        }

        Card {
            Layout.fillWidth: true
            Layout.fillHeight: true
            title: page.t(page.chart.caption)

            Item {
                Layout.fillWidth: true
                Layout.preferredHeight: 430

                // The chart views exist only while the page is on view: each keeps
                // rendered images of its own. They are a file of their own, given the
                // page as they are made, because this Qt's Loader cannot make a
                // component bound to this file.
                Loader {
                    id: chartLoader
                    objectName: "chartLoader"
                    anchors.fill: parent
                    active: page.visible
                    function build() {
                        if (chartLoader.active)
                            chartLoader.setSource("ChartViews.qml", { chartsPage: page })
                        else
                            chartLoader.setSource("")
                    }
                    onActiveChanged: chartLoader.build()
                    Component.onCompleted: chartLoader.build()
                }

                Text {
                    objectName: "chartEmpty"
                    anchors.centerIn: parent
                    visible: page.empty
                    text: page.t(page.busy ? "The history file is in use by another program. Try again in a moment."
                                           : "No generation recorded for this period.")
                    color: Theme.muted
                    font.pixelSize: Theme.fontSize + 1
                }
            }
        }
    }
}
