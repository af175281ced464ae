pragma ComponentBehavior: Bound
import QtQuick
import QtCharts

// The two chart views of the charts page: the day's power curve as an area, the energy of
// each day, month or year as bars; they draw what the page holds.
Item {
    id: views
    required property ChartsPage chartsPage

    function fillDay() {
        dayLine.clear()
        for (var i = 0; i < views.chartsPage.dayValues.length; ++i)
            dayLine.append(i * 5 / 60, Number(views.chartsPage.dayValues[i]) || 0)
    }
    Component.onCompleted: views.fillDay()
    Connections {
        target: views.chartsPage
        function onDayValuesChanged() { views.fillDay() }
    }

    ChartView {
        id: dayChart
        objectName: "dayChart"
        anchors.fill: parent
        visible: views.chartsPage.chart.flag === "chartday"
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
                titleText: views.chartsPage.t("Time")
            }
            axisY: ValueAxis {
                id: dayY
                readonly property var range: views.chartsPage.axisScale(views.chartsPage.dayValues)
                min: 0
                max: range.max
                tickCount: range.ticks
                labelFormat: range.format
                titleText: views.chartsPage.t(views.chartsPage.family === "2" ? "Power (W)" : "Power (kW)")
            }
            // qmllint enable import type property
            upperSeries: LineSeries { id: dayLine }
        }
    }

    ChartView {
        id: barChart
        objectName: "barChart"
        anchors.fill: parent
        visible: views.chartsPage.chart.flag !== "chartday"
        antialiasing: true
        legend.visible: false
        backgroundRoundness: 0
        margins { left: 4; right: 4; top: 4; bottom: 4 }
        BarSeries {
            id: bars
            labelsVisible: false
            axisX: BarCategoryAxis {
                id: barAxis
                objectName: "barAxis"
                categories: views.chartsPage.barLabels
                // Drawn below instead: this Qt cuts a two-digit day to "…" under 31 bars.
                labelsVisible: false
            }
            // qmllint disable import type property
            axisY: ValueAxis {
                id: barY
                readonly property var range: views.chartsPage.axisScale(views.chartsPage.barValues)
                min: 0
                max: range.max
                tickCount: range.ticks
                labelFormat: range.format
                titleText: views.chartsPage.t("Energy (kWh)")
            }
            // qmllint enable import type property
            BarSet { id: barSet; values: views.chartsPage.barValues; color: "#5b9bd5"; borderColor: Theme.accent }
        }
        Repeater {
            model: views.chartsPage.barLabels
            delegate: Text {
                required property string modelData
                required property int index
                readonly property real slot: barChart.plotArea.width / Math.max(1, views.chartsPage.barLabels.length)
                objectName: "barLabel_" + index
                x: barChart.plotArea.x + (index + 0.5) * slot - width / 2
                y: barChart.plotArea.y + barChart.plotArea.height + 5
                text: modelData
                font.pixelSize: Theme.fontSize - 2
                color: "#333333"
            }
        }
        // What a bar stands for, under the bars. Not the category axis's own title: this Qt
        // draws that a second time in the chart's corner.
        Text {
            objectName: "barAxisTitle"
            x: barChart.plotArea.x + (barChart.plotArea.width - width) / 2
            y: barChart.plotArea.y + barChart.plotArea.height + 22
            text: views.chartsPage.t(views.chartsPage.chart.bar || "Day")
            font.pixelSize: Theme.fontSize - 1
            font.bold: true
            color: "#333333"
        }
    }
}
