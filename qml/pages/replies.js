// Readers of the reply texts the program sends, and the writer of requests.
// Every page uses these; no page splits a reply by hand.
.pragma library

// "#key!value#key!value": the pieces after each "#", each cut at its first "!".
// Returns the items in reply order as [{ key, value }].
function tagged(text) {
    var items = []
    if (!text)
        return items
    var pieces = String(text).split("#")
    for (var i = 1; i < pieces.length; ++i) {
        var mark = pieces[i].indexOf("!")
        if (mark < 0)
            items.push({ key: pieces[i], value: "" })
        else
            items.push({ key: pieces[i].slice(0, mark), value: pieces[i].slice(mark + 1) })
    }
    return items
}

// The same items as a lookup object: { key: value }.
function taggedMap(text) {
    var map = {}
    var items = tagged(text)
    for (var i = 0; i < items.length; ++i)
        map[items[i].key] = items[i].value
    return map
}

// A table: rows joined by rowMark, fields of a row by fieldMark (the field-row texts use
// "@" and "|", the PV input list "!" and "#"). The empty text has no rows.
function rows(text, rowMark, fieldMark) {
    if (!text)
        return []
    return String(text).split(rowMark || "@").map(function (row) { return row.split(fieldMark || "|") })
}

// The PV input list: one row per present input, fields in this order.
function pvInputs(text) {
    return rows(text, "!", "#").map(function (f) {
        return { inputNo: f[0] || "", voltage: f[1] || "", current: f[2] || "",
                 dayGen: f[3] || "", totalGen: f[4] || "", fault: f[5] || "" }
    })
}

// A JSON reply, or null when it does not parse (the program does not escape the values
// it sends, so a stray quotation mark in a setting breaks the reply).
function json(text) {
    try {
        return JSON.parse(text)
    } catch (e) {
        return null
    }
}

// A request: one JSON object text. Lists travel as arrays; the program joins their
// items with ",".
function request(object) {
    return JSON.stringify(object)
}

// "key=value key=value", for the trace of what a page shows.
function trace(items) {
    return items.map(function (item) { return item.key + "=" + item.value }).join(" ")
}
