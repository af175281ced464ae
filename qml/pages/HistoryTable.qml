pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls

// One page of history rows under their headings. The first `pinned` columns (the time, on
// event pages also the event) stay in place while the others scroll sideways, so a row
// never loses what it is about. Each column is as wide as its widest cell; a long heading
// takes two lines instead of widening its column.
Item {
    id: table
    property var headings: []
    property var rows: []
    property int pinned: 1
    // The rows the table has room for; a page sets the rows of a full page, so the last,
    // shorter page leaves the buttons below where they were.
    property int rowSlots: rows.length
    readonly property int rowHeight: 30
    readonly property int headerHeight: 44
    readonly property int padding: 8
    // A heading wider than this breaks into two lines rather than widen its column.
    readonly property int wrapWidth: 110
    // A cell wider than this (a long event text) is cut short; the rest stays readable.
    readonly property int maxCellWidth: 300
    readonly property int columnCount: headings.length
    readonly property int pinnedCount: Math.min(pinned, columnCount)
    readonly property var widths: columnWidths(width)
    readonly property int pinnedWidth: spanWidth(0, pinnedCount)
    readonly property bool scrolls: scroller.contentWidth > scroller.width + 0.5
    implicitHeight: headerHeight + rowSlots * rowHeight + (scrolls ? 14 : 0)

    FontMetrics {
        id: cellFont
        font.pixelSize: Theme.fontSize - 1
    }
    FontMetrics {
        id: headFont
        font.pixelSize: Theme.fontSize - 1
        font.bold: true
    }

    function cellText(row, column) {
        var v = row[column]
        return v === undefined || v === null ? "" : String(v)
    }
    // Natural widths, then what the table has to spare shared out, so a short table
    // spans the card.
    function columnWidths(available) {
        var out = []
        var sum = 0
        for (var c = 0; c < columnCount; ++c) {
            var cells = 0
            for (var r = 0; r < rows.length; ++r)
                cells = Math.max(cells, cellFont.advanceWidth(cellText(rows[r], c)))
            var w = Math.ceil(Math.min(maxCellWidth, Math.max(cells, headingWidth(String(headings[c]))))) + 2 * padding
            out.push(w)
            sum += w
        }
        var spare = available - sum - 2
        if (spare > 0 && columnCount > 0) {
            var share = Math.floor(spare / columnCount)
            for (var i = 0; i < out.length; ++i)
                out[i] += share
        }
        return out
    }
    // A heading up to wrapWidth on one line; a longer one on two, broken between the words
    // where the wider line is narrowest (a text without spaces breaks anywhere).
    function headingWidth(text) {
        var whole = headFont.advanceWidth(text)
        if (whole <= wrapWidth)
            return whole
        var words = text.split(" ")
        if (words.length < 2)
            return whole / 2 + headFont.maximumCharacterWidth
        var best = whole
        for (var k = 1; k < words.length; ++k) {
            var wider = Math.max(headFont.advanceWidth(words.slice(0, k).join(" ")),
                                 headFont.advanceWidth(words.slice(k).join(" ")))
            best = Math.min(best, wider)
        }
        return Math.max(best, wrapWidth) + 1
    }
    function spanWidth(from, to) {
        var s = 0
        for (var c = from; c < to; ++c)
            s += widths[c] || 0
        return s
    }

    // Columns from..to-1: the heading band, then the rows.
    component Part: Column {
        id: part
        property int from: 0
        property int to: 0
        readonly property int span: table.spanWidth(from, to)
        Rectangle {
            width: part.span
            height: table.headerHeight
            color: "#e3eaf2"
            Row {
                Repeater {
                    model: Math.max(0, part.to - part.from)
                    delegate: Text {
                        required property int index
                        readonly property int column: part.from + index
                        objectName: "heading_" + column
                        width: table.widths[column] || 0
                        height: table.headerHeight
                        leftPadding: table.padding
                        rightPadding: table.padding
                        verticalAlignment: Text.AlignVCenter
                        text: String(table.headings[column])
                        wrapMode: Text.Wrap
                        maximumLineCount: 2
                        elide: Text.ElideRight
                        lineHeight: 0.95
                        font: headFont.font
                        color: Theme.header
                    }
                }
            }
        }
        Repeater {
            model: table.rows
            delegate: Rectangle {
                id: rowItem
                required property var modelData
                required property int index
                objectName: part.from === 0 ? "row_" + index : ""
                width: part.span
                height: table.rowHeight
                color: index % 2 ? "#f6f8fa" : Theme.card
                Row {
                    anchors.verticalCenter: parent.verticalCenter
                    Repeater {
                        model: Math.max(0, part.to - part.from)
                        delegate: Text {
                            required property int index
                            readonly property int column: part.from + index
                            objectName: "cell_" + rowItem.index + "_" + column
                            width: table.widths[column] || 0
                            leftPadding: table.padding
                            rightPadding: table.padding
                            text: table.cellText(rowItem.modelData, column)
                            elide: Text.ElideRight
                            font: cellFont.font
                            color: Theme.text
                        }
                    }
                }
            }
        }
    }

    Part {
        id: pinnedPart
        objectName: "pinnedColumns"
        from: 0
        to: table.pinnedCount
    }
    // The edge the scrolled columns pass under.
    Rectangle {
        x: table.pinnedWidth
        width: 1
        height: table.headerHeight + table.rows.length * table.rowHeight
        visible: table.scrolls && table.pinnedCount > 0
        color: Theme.cardBorder
        z: 1
    }
    Flickable {
        id: scroller
        objectName: "scrolledColumns"
        x: table.pinnedWidth
        width: Math.max(0, table.width - table.pinnedWidth)
        height: table.height
        contentWidth: scrolledPart.span
        contentHeight: height
        clip: true
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.horizontal: ScrollBar {
            // Not AsNeeded: a page's headings and rows arrive one after the other, and the
            // bar of the moment between would stay over the last row.
            policy: table.scrolls ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }
        Part {
            id: scrolledPart
            from: table.pinnedCount
            to: table.columnCount
        }
    }
}
