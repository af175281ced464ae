// What each reply key means on screen: its label (an English text that Lang.tr
// translates), unit, kind ("flag": 1 yes / 0 no; "fault": 1 fault / 0 normal), and the
// quantity that decides how its number is written (see `quantities`).
.pragma library

var output = {
    outputfre: { label: "Frequency", unit: "Hz", quantity: "frequency" },
    outputfac: { label: "Power factor", quantity: "powerFactor" },
    outputvol: { label: "Voltage", unit: "V", quantity: "voltage" },
    outputcur: { label: "Current", unit: "A", quantity: "current" },
    outputactp: { label: "Active power", unit: "kW", inverterUnit: "W", quantity: "power" },
    outputappp: { label: "Apparent power", unit: "kVA", inverterUnit: "VA", quantity: "power" },
    outputwatp: { label: "Watt power", unit: "kW", quantity: "power" },
    outputload: { label: "Load", unit: "%", quantity: "percent" },
    outputstate: { label: "Output", kind: "fault" },
    outputoverload: { label: "Overload", kind: "fault" },
    outputoff: { label: "Output off", kind: "flag" },
    outputshutdown: { label: "Closing output", kind: "flag" }
}

var bypass = {
    bypassfre: { label: "Frequency", unit: "Hz", quantity: "frequency" },
    bypassvol: { label: "Voltage", unit: "V", quantity: "voltage" },
    bypasscur: { label: "Current", unit: "A", quantity: "current" },
    bypassactp: { label: "Active power", unit: "kW", quantity: "power" },
    bypassstate: { label: "Bypass", kind: "fault" },
    bypasssupply: { label: "Supplied by bypass", kind: "flag" }
}

var battery = {
    batmode: { label: "Battery mode", kind: "mode" },
    batdischargetime: { label: "Discharge time", unit: "min", quantity: "duration" },
    batremaintime: { label: "Remaining time", unit: "min", quantity: "duration" },
    batremaincap: { label: "Remaining capacity", unit: "%", quantity: "percent" },
    batvol: { label: "Voltage", unit: "V", quantity: "voltage" },
    batcur: { label: "Current", unit: "A", quantity: "current" },
    battemp: { label: "Temperature", unit: "°C", quantity: "temperature" },
    batstate: { label: "Battery", kind: "fault" },
    batlow: { label: "Voltage low", kind: "flag" },
    batdepletion: { label: "Depleted", kind: "flag" },
    batsupply: { label: "Supplied by battery", kind: "flag" },
    test: { label: "Self-test running", kind: "flag" },
    testfault: { label: "Self-test", kind: "fault" }
}

var ac = {
    inputfac: { label: "Power factor", quantity: "powerFactor" },
    inputfre: { label: "Frequency", unit: "Hz", quantity: "frequency" },
    inputvol: { label: "Voltage", unit: "V", quantity: "voltage" },
    inputcur: { label: "Current", unit: "A", quantity: "current" },
    inputactp: { label: "Active power", unit: "kW", quantity: "power" },
    inputappp: { label: "Apparent power", unit: "kVA", quantity: "power" },
    inputwatp: { label: "Watt power", unit: "kW", quantity: "power" },
    inputfault: { label: "Input", kind: "fault" }
}

var pv = {
    pvvol: { label: "Voltage", unit: "V", quantity: "voltage" },
    pvcur: { label: "Current", unit: "A", quantity: "current" },
    pvpower: { label: "Power", unit: "kW", inverterUnit: "W", quantity: "power" },
    pvdaygen: { label: "Energy today", unit: "kWh", quantity: "energy" },
    pvtotalgen: { label: "Lifetime energy", unit: "kWh", quantity: "energy" },
    pvmode: { label: "PV mode", kind: "mode" },
    pvinputstate: { label: "PV input", kind: "fault" },
    pvstate: { label: "PV", kind: "fault" },
    pvinputfalut: { label: "PV input", kind: "fault" },
    pvfault: { label: "PV", kind: "fault" }
}

var device = {
    devicename: { label: "Name" },
    devicetype: { label: "Type" },
    devicemanufacturer: { label: "Manufacturer" },
    devicepversion: { label: "Protocol version" },
    devicemonitorversion: { label: "Monitor version" },
    devicemcontrolversion: { label: "Control version" }
}

var other = {
    comstate: { label: "Communication", kind: "comm" },
    sysfault: { label: "System", kind: "fault" },
    recfault: { label: "Rectifier", kind: "fault" },
    busfault: { label: "Bus", kind: "fault" },
    invfault: { label: "Inverter", kind: "fault" },
    chargefault: { label: "Charger", kind: "fault" },
    fanfault: { label: "Fan", kind: "fault" },
    fusefault: { label: "Fuse", kind: "fault" },
    overtemp: { label: "Over temperature", kind: "fault" },
    shutdown: { label: "Shut down", kind: "flag" },
    closeoutputcommandexecution: { label: "Closing output", kind: "flag" },
    shutdowncommandexecution: { label: "Shutting down", kind: "flag" },
    waitinputrecovery: { label: "Waiting for input", kind: "flag" },
    delayshutdown: { label: "Delayed shutdown", kind: "flag" },
    upcomingshutdown: { label: "Shutdown coming", kind: "flag" },
    systemp: { label: "Machine temperature", unit: "°C", quantity: "temperature" },
    invertertime: { label: "Device clock", quantity: "dateTime" },
    workmode: { label: "Work mode", kind: "mode" }
}

// How a number is written on screen, per quantity, whatever the family sends: the
// decimals, and the range outside which a value cannot be right (a charge of 105 %, a
// power factor of 1.3). Such a value is still shown, marked, never hidden or clamped.
// The replies keep the device's own resolution and the history files their formats.
var quantities = {
    voltage: { decimals: 1, min: 0 },
    current: { decimals: 1 },
    frequency: { decimals: 1, min: 0 },
    percent: { decimals: 1, min: 0, max: 100 },
    temperature: { decimals: 1, min: -40, max: 120 },
    powerFactor: { decimals: 2, min: 0, max: 1 },
    energy: { decimals: 1, min: 0 }
}

// Whole watts below a kilowatt, kilowatts with two decimals above: one rule for every
// power on screen, so a value reads the same in the flow, the panel and the page.
var kWattsPerKilowatt = 1000
var kKilowattDecimals = 2

// A device number text: a number, or nothing (a placeholder, an empty text).
function numberOf(text) {
    if (typeof text !== "string" || !/^\s*-?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?\s*$/.test(text))
        return NaN
    return Number(text)
}

// n with d decimals; a value that rounds to zero is written without a sign.
function fixed(n, d) {
    var t = n.toFixed(d)
    return /^-0(\.0*)?$/.test(t) ? t.slice(1) : t
}

// The parts of a three-phase value ("a/b/c"), or the one part.
function parts(text) {
    return String(text).split("/")
}

function outOfRange(q, n) {
    return (q.min !== undefined && n < q.min) || (q.max !== undefined && n > q.max)
}

// Powers as numbers in watts (or volt-amperes): unit "kW"/"kVA" counts a thousand.
function wattFactor(unit) {
    return unit && unit.charAt(0) === "k" ? kWattsPerKilowatt : 1
}
function baseUnit(unit) {
    return unit && unit.charAt(0) === "k" ? unit.slice(1) : (unit || "W")
}

// Several powers in one unit ("1.50/1.52/1.49 kW"), chosen by the largest of them.
function powersText(watts, base) {
    var largest = 0
    for (var i = 0; i < watts.length; ++i)
        largest = Math.max(largest, Math.abs(Math.round(watts[i])))
    var kilo = largest >= kWattsPerKilowatt
    return watts.map(function (w) { return kilo ? fixed(w / kWattsPerKilowatt, kKilowattDecimals) : fixed(w, 0) })
        .join("/") + " " + (kilo ? "k" : "") + base
}

// One power in watts as the flow, the panels and the pages write it.
function powerText(watts) {
    return isNaN(watts) ? "-" : powersText([watts], "W")
}

// Minutes as "3 h 49 min": the device counts tenths of a minute, the user hours.
function durationText(minutes, tr) {
    var whole = Math.floor(minutes)
    var h = Math.floor(whole / 60)
    var m = whole % 60
    return h > 0 ? tr("%1 h %2 min").arg(h).arg(m) : tr("%1 min").arg(m)
}

// "yyyy-MM-dd hh:mm", the one date-time form on screen; seconds are dropped.
function dateTimeText(text) {
    var m = /^(\d{4})[-\/](\d{2})[-\/](\d{2})[ T](\d{2}):(\d{2})/.exec(String(text))
    return m ? m[1] + "-" + m[2] + "-" + m[3] + " " + m[4] + ":" + m[5] : String(text)
}

// A value of a field as it is shown: { text, implausible }. A text that is no number
// (a placeholder) is shown as it came, with the field's unit.
function shown(field, value, unit, tr) {
    var text = String(value)
    if (text === "")
        return { text: "-", implausible: false }
    var q = field ? field.quantity : undefined
    var nums = parts(text).map(numberOf)
    var allNumbers = nums.every(function (n) { return !isNaN(n) })
    if (q === "dateTime")
        return { text: dateTimeText(text), implausible: false }
    if (!allNumbers || q === undefined)
        return { text: unit ? text + " " + unit : text, implausible: false }
    if (q === "power") {
        var f = wattFactor(unit)
        return { text: powersText(nums.map(function (n) { return n * f }), baseUnit(unit)), implausible: false }
    }
    if (q === "duration") {
        return { text: nums.map(function (n) { return durationText(n, tr) }).join("/"), implausible: false }
    }
    var rule = quantities[q]
    return {
        text: nums.map(function (n) { return fixed(n, rule.decimals) }).join("/") + (unit ? " " + unit : ""),
        implausible: nums.some(function (n) { return outOfRange(rule, n) })
    }
}

// The same as one text, a value that cannot be right marked in place.
function shownText(field, value, unit, tr) {
    var s = shown(field, value, unit, tr)
    return s.implausible ? s.text + " (" + tr("implausible") + ")" : s.text
}

// The sum of a three-phase power ("a/b/c", in unit) in watts; NaN when a part is no number.
function totalWatts(text, unit) {
    if (text === undefined || text === "")
        return NaN
    var sum = 0
    var nums = parts(text).map(numberOf)
    for (var i = 0; i < nums.length; ++i)
        sum += nums[i]
    return sum * wattFactor(unit)
}

// The link states the program reports as comstate.
function commStateText(code) {
    if (code === "2")
        return "Communicating"
    if (code === "3")
        return "Communication lost"
    return "Connecting"
}

// Any e-mail or SMS event: bit k of a mask selects the event codes 2k and 2k + 1; the
// alarm changes and the link changes use codes 0 to 57 (bits 0 to 28). Codes above
// reach every recipient whatever the mask.
var allEventsMask = "536870911"

// The UPS status bits 0 to 27 and the inverter alarm slots 0 to 25, as the program
// reports them set: a short label each, and "fault" for what needs attention or
// "state" for a way of running that is worth knowing (on battery, shutting down, ...).
var upsConditions = [
    { label: "System fault", kind: "fault" },
    { label: "Rectifier fault", kind: "fault" },
    { label: "Bus fault", kind: "fault" },
    { label: "Battery fault", kind: "fault" },
    { label: "Inverter fault", kind: "fault" },
    { label: "Output fault", kind: "fault" },
    { label: "Charger fault", kind: "fault" },
    { label: "Fan fault", kind: "fault" },
    { label: "Fuse fault", kind: "fault" },
    { label: "Over temperature", kind: "fault" },
    { label: "Input fault", kind: "fault" },
    { label: "Bypass fault", kind: "fault" },
    { label: "Output overload", kind: "fault" },
    { label: "PV input fault", kind: "fault" },
    { label: "PV fault", kind: "fault" },
    { label: "Battery voltage low", kind: "fault" },
    { label: "Battery depleted", kind: "fault" },
    { label: "Output off", kind: "state" },
    { label: "Shut down", kind: "state" },
    { label: "On bypass", kind: "state" },
    { label: "On battery", kind: "state" },
    { label: "Closing output", kind: "state" },
    { label: "Shutting down", kind: "state" },
    { label: "Waiting for input", kind: "state" },
    { label: "Delayed shutdown", kind: "state" },
    { label: "Shutdown coming", kind: "state" },
    { label: "Self-test running", kind: "state" },
    { label: "Self-test failed", kind: "fault" }
]

var inverterConditions = [
    "Input abnormal", "Input voltage abnormal", "Input frequency abnormal", "Battery voltage low",
    "Battery discharge ended", "Battery voltage abnormal", "System fault", "Bus voltage high",
    "Inverter fault", "Inverter soft start timeout", "Inverter over temperature", "Inverter voltage high",
    "Inverter voltage low", "Output short circuit", "Overload fault", "Overload timeout",
    "System over temperature", "Output over voltage", "Output over current", "PV voltage low",
    "PV over voltage", "Bus fault", "Battery fault", "Reserved alarm 1", "Reserved alarm 3",
    "Reserved alarm 5"
].map(function (label) { return { label: label, kind: "fault" } })

// The reported indexes as { index, label, kind }, faults first, each group in index order.
function conditions(family, active) {
    var table = family === "inverter" ? inverterConditions : upsConditions
    var out = []
    for (var i = 0; i < active.length; ++i) {
        var c = table[active[i]]
        out.push({ index: active[i], label: c ? c.label : "Condition " + active[i], kind: c ? c.kind : "fault" })
    }
    return out.filter(function (c) { return c.kind === "fault" })
        .concat(out.filter(function (c) { return c.kind !== "fault" }))
}

// A device code that the program gives no meaning for: "Mode 2", never a bare number.
function modeText(code, tr) {
    if (code === undefined || code === "" || code === "-1")
        return "-"
    return tr("Mode") + " " + code
}

// The groups of events a recipient's mask selects: bit k covers the codes 2k and 2k + 1,
// so one alarm's coming and going; bit 28 the link lost and regained.
function eventGroups(family) {
    var table = family === "inverter" ? inverterConditions : upsConditions
    var out = table.map(function (c, k) { return { bit: k, label: c.label } })
    out[out.length] = { bit: 28, label: "Communication lost or regained" }
    return out
}
