// What each reply key means on screen: its label (an English text that Lang.tr
// translates), unit, and kind ("flag": 1 yes / 0 no; "fault": 1 fault / 0 normal).
.pragma library

var output = {
    outputfre: { label: "Frequency", unit: "Hz" },
    outputfac: { label: "Power factor" },
    outputvol: { label: "Voltage", unit: "V" },
    outputcur: { label: "Current", unit: "A" },
    outputactp: { label: "Active power", unit: "kW", inverterUnit: "W" },
    outputappp: { label: "Apparent power", unit: "kVA", inverterUnit: "VA" },
    outputwatp: { label: "Watt power", unit: "kW" },
    outputload: { label: "Load", unit: "%" },
    outputstate: { label: "Output", kind: "fault" },
    outputoverload: { label: "Overload", kind: "fault" },
    outputoff: { label: "Output off", kind: "flag" },
    outputshutdown: { label: "Closing output", kind: "flag" }
}

var bypass = {
    bypassfre: { label: "Frequency", unit: "Hz" },
    bypassvol: { label: "Voltage", unit: "V" },
    bypasscur: { label: "Current", unit: "A" },
    bypassactp: { label: "Active power", unit: "kW" },
    bypassstate: { label: "Bypass", kind: "fault" },
    bypasssupply: { label: "Supplied by bypass", kind: "flag" }
}

var battery = {
    batmode: { label: "Battery mode", kind: "mode" },
    batdischargetime: { label: "Discharge time", unit: "min" },
    batremaintime: { label: "Remaining time", unit: "min" },
    batremaincap: { label: "Remaining capacity", unit: "%" },
    batvol: { label: "Voltage", unit: "V" },
    batcur: { label: "Current", unit: "A" },
    battemp: { label: "Temperature", unit: "°C" },
    batstate: { label: "Battery", kind: "fault" },
    batlow: { label: "Voltage low", kind: "flag" },
    batdepletion: { label: "Depleted", kind: "flag" },
    batsupply: { label: "Supplied by battery", kind: "flag" },
    test: { label: "Self-test running", kind: "flag" },
    testfault: { label: "Self-test", kind: "fault" }
}

var ac = {
    inputfac: { label: "Power factor" },
    inputfre: { label: "Frequency", unit: "Hz" },
    inputvol: { label: "Voltage", unit: "V" },
    inputcur: { label: "Current", unit: "A" },
    inputactp: { label: "Active power", unit: "kW" },
    inputappp: { label: "Apparent power", unit: "kVA" },
    inputwatp: { label: "Watt power", unit: "kW" },
    inputfault: { label: "Input", kind: "fault" }
}

var pv = {
    pvvol: { label: "Voltage", unit: "V" },
    pvcur: { label: "Current", unit: "A" },
    pvpower: { label: "Power", unit: "kW", inverterUnit: "W" },
    pvdaygen: { label: "Energy today", unit: "kWh" },
    pvtotalgen: { label: "Lifetime energy", unit: "kWh" },
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
    systemp: { label: "Machine temperature", unit: "°C" },
    invertertime: { label: "Device clock" },
    workmode: { label: "Work mode", kind: "mode" }
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
