// What each reply key means on screen: its label (an English text that Lang.tr
// translates), unit, and kind ("flag": 1 yes / 0 no; "fault": 1 fault / 0 normal).
.pragma library

var output = {
    outputfre: { label: "Frequency", unit: "Hz" },
    outputfac: { label: "Power factor" },
    outputvol: { label: "Voltage", unit: "V" },
    outputcur: { label: "Current", unit: "A" },
    outputactp: { label: "Active power", unit: "kW" },
    outputappp: { label: "Apparent power", unit: "kVA" },
    outputwatp: { label: "Watt power" },
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
    batmode: { label: "Battery mode" },
    batdischargetime: { label: "Discharge time" },
    batremaintime: { label: "Remaining time" },
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
    inputwatp: { label: "Watt power" },
    inputfault: { label: "Input", kind: "fault" }
}

var pv = {
    pvvol: { label: "Voltage", unit: "V" },
    pvcur: { label: "Current", unit: "A" },
    pvpower: { label: "Power", unit: "kW" },
    pvdaygen: { label: "Energy today", unit: "kWh" },
    pvtotalgen: { label: "Lifetime energy", unit: "kWh" },
    pvmode: { label: "PV mode" },
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
    workmode: { label: "Work mode" }
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
