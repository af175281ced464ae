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
                min: 0
                max: views.chartsPage.niceMax(views.chartsPage.dayValues)
                labelFormat: "%.1f"
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
                categories: views.chartsPage.barLabels
            }
            // qmllint disable import type property
            axisY: ValueAxis {
                id: barY
                min: 0
                max: views.chartsPage.niceMax(views.chartsPage.barValues)
                labelFormat: "%.1f"
                titleText: views.chartsPage.t("Energy (kWh)")
            }
            // qmllint enable import type property
            BarSet { id: barSet; values: views.chartsPage.barValues; color: "#5b9bd5"; borderColor: Theme.accent }
        }
    }
}
