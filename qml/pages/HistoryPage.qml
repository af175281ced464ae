pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies
import "historytexts.js" as Texts

// The history files of one period: day, month and year reports, snapshots, events and the
// SMS log, ten rows a page, newest first; each can be saved as CSV or cleared.
PageBase {
    id: page
    property string family: ""
    // Requests: `record` chooses the record signals over the report signals.
    signal pageRequested(bool record, string request)
    signal operationRequested(bool record, string request)

    readonly property var kinds: [
        { type: "report_day", title: "Day report", form: "day", record: false },
        { type: "report_month", title: "Month report", form: "month", record: false },
        { type: "report_year", title: "Year report", form: "year", record: false },
        { type: "record_analogdata", title: "Snapshots", form: "day", record: true },
        { type: "record_eventdata", title: "Events", form: "month", record: true },
        { type: "record_smsdata", title: "SMS log", form: "month", record: true }
    ]
    // The program sends ten rows a page.
    readonly property int pageRows: 10
    property int kindIndex: 0
    readonly property var kind: kinds[kindIndex]
    property int pageNo: 0
    property int count: 0
    property var headings: []
    property var rows: []
    // The last request found the file held locked by another program.
    property bool busy: false
    readonly property int pageCount: Math.max(1, Math.ceil(count / pageRows))

    function t(text) { return Texts.tr(Lang.lang, text) }

    // The period of the kind on view, from the picker's date (the picker's own text may
    // still have the form of the kind before).
    function period() { return Texts.periodText(kinds[kindIndex].form, picker.date) }
    function load(number) {
        var k = kinds[kindIndex]
        var n = Math.max(0, Math.min(number, pageCount - 1))
        pageRequested(k.record, Replies.request({ type: k.type, datetime: period(), page: String(n) }))
    }
    // A change of kind also changes the picker's form: one request for both.
    function reload() { load(0) }
    function operate(operation) {
        var k = kinds[kindIndex]
        operationRequested(k.record, Replies.request({ type: k.type, operation: operation, datetime: period() }))
    }

    function reportHeadings(type) {
        if (type === "report_day")
            return [t("Time"), t(family === "2" ? "Power (W)" : "Power (kW)")]
        return [t("Date"), t("Energy (kWh)")]
    }
    function show(strpage, dcount, headingList, rowList) {
        busy = false
        pageNo = parseInt(strpage, 10) || 0
        count = parseInt(dcount, 10) || 0
        headings = headingList
        rows = rowList
        console.debug(Theme.shownLog, "history " + kind.type + ": page=" + pageNo + " count=" + count
                      + " rows=" + rows.length)
    }
    function showRecord(strpage, dcount, strValue) {
        var json = Replies.json(strValue)
        var keys = json && json.key ? String(json.key).split("#") : []
        show(strpage, dcount, keys.map(function (k) { return Texts.heading(Lang.lang, k) }),
             Replies.rows(json ? json.value : ""))
    }

    onShown: load(pageNo)
    onKindIndexChanged: {
        pageNo = 0
        count = 0
        rows = []
        Qt.callLater(reload) // qmllint disable
    }

    Connections {
        target: UiState.bridge
        function onSigHistoryBusy(strtype) {
            if (strtype !== page.kinds[page.kindIndex].type)
                return
            page.busy = true
            page.count = 0
            // Those of the kind before would name columns this kind does not have.
            page.headings = []
            page.rows = []
            console.debug(Theme.shownLog, "history " + strtype + ": file busy")
        }
        function onSigReport(strtype, strpage, dcount, strValue) {
            if (strtype === page.kinds[page.kindIndex].type)
                page.show(strpage, dcount, page.reportHeadings(strtype), Replies.rows(strValue))
        }
        function onSigAnalogDataRecord(strpage, dcount, strValue) {
            if (page.kinds[page.kindIndex].type === "record_analogdata")
                page.showRecord(strpage, dcount, strValue)
        }
        function onSigEventDataRecord(strpage, dcount, strValue) {
            if (page.kinds[page.kindIndex].type === "record_eventdata")
                page.showRecord(strpage, dcount, strValue)
        }
        function onSigSMSDataRecord(strpage, dcount, strValue) {
            if (page.kinds[page.kindIndex].type !== "record_smsdata")
                return
            var list = Replies.rows(strValue).map(function (r) {
                return [r[0] || "", r[1] || "", r[2] || "", r[3] === "1" ? page.t("Sent") : r[3] === "0" ? page.t("Failed") : (r[3] || "")]
            })
            page.show(strpage, dcount, [page.t("Time"), page.t("Phone"), page.t("Event"), page.t("Result")], list)
        }
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
                objectName: "historyPicker"
                form: page.kind.form
                lang: Lang.lang
                onPeriodChanged: Qt.callLater(page.reload) // qmllint disable
            }
        }

        Flow {
            Layout.fillWidth: true
            spacing: 6
            Repeater {
                model: page.kinds
                delegate: Button {
                    required property var modelData
                    required property int index
                    objectName: "kind_" + modelData.type
                    text: page.t(modelData.title)
                    checkable: true
                    checked: page.kindIndex === index
                    onClicked: page.kindIndex = index
                }
            }
        }

        Card {
            Layout.fillWidth: true
            HistoryTable {
                id: table
                objectName: "historyTable"
                visible: page.headings.length > 0
                Layout.fillWidth: true
                Layout.preferredHeight: implicitHeight
                headings: page.headings
                rows: page.rows
                pinned: page.kind.type === "record_eventdata" ? 2 : 1
                rowSlots: Math.max(page.rows.length, Math.min(page.count, page.pageRows))
            }
            Text {
                objectName: "historyEmpty"
                visible: page.rows.length === 0
                text: page.t(page.busy ? "The history file is in use by another program. Try again in a moment."
                                       : "No records for this period.")
                color: Theme.muted
                font.pixelSize: Theme.fontSize
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 6
            Button {
                objectName: "pageFirst"
                text: page.t("First")
                enabled: page.pageNo > 0
                onClicked: page.load(0)
            }
            Button {
                objectName: "pagePrevious"
                text: page.t("Previous")
                enabled: page.pageNo > 0
                onClicked: page.load(page.pageNo - 1)
            }
            Text {
                objectName: "pageInfo"
                text: page.t("Page %1 of %2").arg(page.pageNo + 1).arg(page.pageCount) + " · "
                      + page.t("%1 rows").arg(page.count)
                color: Theme.text
                font.pixelSize: Theme.fontSize
                Layout.leftMargin: 8
                Layout.rightMargin: 8
            }
            Button {
                objectName: "pageNext"
                text: page.t("Next")
                enabled: page.pageNo + 1 < page.pageCount
                onClicked: page.load(page.pageNo + 1)
            }
            Button {
                objectName: "pageLast"
                text: page.t("Last")
                enabled: page.pageNo + 1 < page.pageCount
                onClicked: page.load(page.pageCount - 1)
            }
            Item { Layout.fillWidth: true }
            Button {
                objectName: "historySave"
                text: page.t("Save as CSV…")
                enabled: page.count > 0
                onClicked: page.operate("save")
            }
            Button {
                objectName: "historyClear"
                text: page.t("Clear")
                enabled: page.count > 0
                onClicked: confirm.ask()
            }
        }
        Item { Layout.fillHeight: true }
    }

    // Clearing deletes the file of the period: asked first.
    Question {
        id: confirm
        objectName: "clearConfirm"
        acceptName: "confirmClear"
        rejectName: "cancelClear"
        title: page.t("Clear history")
        text: page.t("Delete the %1 of %2? This cannot be undone.")
                  .arg(page.t(page.kind.title)).arg(Texts.periodLabel(page.kind.form, picker.date))
        acceptText: page.t("Clear")
        rejectText: page.t("Cancel")
        risky: true
        onAccepted: page.operate("clear")
    }
}
