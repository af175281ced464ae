pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtCharts
import "replies.js" as Replies
import "historytexts.js" as Texts

// Generation charts: the power curve of a day, the energy of each day of a month, of each
// month of a year, and of each year.
PageBase {
    id: page
    property string family: ""
    signal chartRequested(string request)

    readonly property var charts: [
        { flag: "chartday", title: "Day", form: "day", caption: "Power curve of the day" },
        { flag: "chartmonth", title: "Month", form: "month", caption: "Generation of each day" },
        { flag: "chartyear", title: "Year", form: "year", caption: "Generation of each month" },
        { flag: "charttotal", title: "Total", form: "", caption: "Generation of each year" }
    ]
    property int chartIndex: 0
    readonly property var chart: charts[chartIndex]
    // What the last reply held: the day's values, or the bars' labels and values.
    property var dayValues: []
    property var barLabels: []
    property var barValues: []
    readonly property bool empty: chart.flag === "chartday" ? dayValues.length === 0 : barValues.length === 0

    function t(text) { return Texts.tr(Lang.lang, text) }

    function load() {
        var c = charts[chartIndex]
        chartRequested(Replies.request({ dateTime: c.form ? Texts.periodText(c.form, picker.date) : "", flag: c.flag }))
    }

    function niceMax(values) {
        var m = 0
        for (var i = 0; i < values.length; ++i)
            m = Math.max(m, Number(values[i]) || 0)
        if (m <= 0)
            return 1
        var step = Math.pow(10, Math.floor(Math.log(m) / Math.LN10))
        return Math.ceil(m * 1.1 / step) * step
    }

    function showDay(text) {
        dayValues = text ? String(text).split("#") : []
        dayLine.clear()
        for (var i = 0; i < dayValues.length; ++i)
            dayLine.append(i * 5 / 60, Number(dayValues[i]) || 0)
        dayY.max = niceMax(dayValues)
        console.debug(Theme.shownLog, "chart day: values=" + dayValues.length)
    }

    function showBars(flag, text) {
        var rows = Replies.rows(text)
        if (flag === "charttotal")
            rows.sort(function (a, b) { return Number(a[0]) - Number(b[0]) })
        barLabels = rows.map(function (r) { return r[0] || "" })
        barValues = rows.map(function (r) { return Number(r[1]) || 0 })
        barAxis.categories = barLabels
        barSet.values = barValues
        barY.max = niceMax(barValues)
        console.debug(Theme.shownLog, "chart " + flag + ": bars=" + barValues.length)
    }

    onShown: load()
    // A change of chart also changes the picker's form: one request for both.
    onChartIndexChanged: Qt.callLater(load) // qmllint disable

    Connections {
        target: UiState.bridge
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

                ChartView {
                    id: dayChart
                    objectName: "dayChart"
                    anchors.fill: parent
                    visible: page.chart.flag === "chartday"
                    antialiasing: true
                    legend.visible: false
                    backgroundRoundness: 0
                    margins { left: 4; right: 4; top: 4; bottom: 4 }
                    AreaSeries {
                        color: "#5b9bd5"
                        borderColor: Theme.accent
                        borderWidth: 2
                        // Qt Charts 6.4 ships no type description of ValueAxis, so the
                        // linter cannot check the axes.
                        // qmllint disable import type property
                        axisX: ValueAxis {
                            id: dayX
                            min: 0
                            max: 24
                            tickCount: 9
                            labelFormat: "%d:00"
                            titleText: page.t("Time")
                        }
                        axisY: ValueAxis {
                            id: dayY
                            min: 0
                            max: 1
                            labelFormat: "%.1f"
                            titleText: page.t(page.family === "2" ? "Power (W)" : "Power (kW)")
                        }
                        // qmllint enable import type property
                        upperSeries: LineSeries { id: dayLine }
                    }
                }

                ChartView {
                    id: barChart
                    objectName: "barChart"
                    anchors.fill: parent
                    visible: page.chart.flag !== "chartday"
                    antialiasing: true
                    legend.visible: false
                    backgroundRoundness: 0
                    margins { left: 4; right: 4; top: 4; bottom: 4 }
                    BarSeries {
                        id: bars
                        labelsVisible: false
                        axisX: BarCategoryAxis {
                            id: barAxis
                            titleText: page.t(page.chart.flag === "chartmonth" ? "Day"
                                              : page.chart.flag === "chartyear" ? "Month" : "Year")
                        }
                        // qmllint disable import type property
                        axisY: ValueAxis {
                            id: barY
                            min: 0
                            max: 1
                            labelFormat: "%.1f"
                            titleText: page.t("Energy (kWh)")
                        }
                        // qmllint enable import type property
                        BarSet { id: barSet; color: "#5b9bd5"; borderColor: Theme.accent }
                    }
                }

                Text {
                    objectName: "chartEmpty"
                    anchors.centerIn: parent
                    visible: page.empty
                    text: page.t("No generation recorded for this period.")
                    color: Theme.muted
                    font.pixelSize: Theme.fontSize + 1
                }
            }
        }
    }
}
