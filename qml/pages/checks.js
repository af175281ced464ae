// Checks of what the user types into the device, control and schedule pages. Each gives
// "" for a value the program can store, or an English text (for Lang.tr) saying what is
// wrong. The forms are the program's own: "hh:mm", "yyyy-MM-dd hh:mm", whole numbers.
.pragma library

function pad2(n) {
    return (n < 10 ? "0" : "") + n
}

// "hh:mm", two digits each, a real time of day.
function clockTime(text) {
    var m = /^([0-9]{2}):([0-9]{2})$/.exec(text)
    if (!m || Number(m[1]) > 23 || Number(m[2]) > 59)
        return "Write the time as hh:mm, for example 22:30"
    return ""
}

// The same, or nothing at all (the entry is off).
function optionalClockTime(text) {
    return text === "" ? "" : clockTime(text)
}

// "yyyy-MM-dd hh:mm" on a real calendar day, or nothing at all.
function optionalMinute(text) {
    if (text === "")
        return ""
    var m = /^([0-9]{4})-([0-9]{2})-([0-9]{2}) ([0-9]{2}):([0-9]{2})$/.exec(text)
    if (!m)
        return "Write the date and time as yyyy-MM-dd hh:mm"
    var year = Number(m[1]), month = Number(m[2]), day = Number(m[3])
    var d = new Date(year, month - 1, day)
    if (month < 1 || month > 12 || d.getFullYear() !== year || d.getMonth() !== month - 1 || d.getDate() !== day)
        return "No such date"
    if (Number(m[4]) > 23 || Number(m[5]) > 59)
        return "No such time of day"
    return ""
}

// A whole number from min to max, digits only.
function wholeNumber(text, min, max) {
    if (!/^[0-9]+$/.test(text) || Number(text) < min || Number(text) > max)
        return "Enter a whole number from %1 to %2"
    return ""
}

// A voltage with at most two decimals whose hundredths fit the device's register.
function depthVolts(text) {
    if (!/^[0-9]{1,3}(\.[0-9]{1,2})?$/.test(text) || Math.round(Number(text) * 100) > 65535)
        return "Enter a voltage from 0 to 655.35 with at most two decimals"
    return ""
}

// The volts as the hundredths the program takes.
function hundredths(text) {
    return String(Math.round(Number(text) * 100))
}

// An e-mail address: something, "@", a domain with a dot; no spaces.
function address(text) {
    if (!/^[^\s@]+@[^\s@]+\.[^\s@]+$/.test(text))
        return "Write an e-mail address, for example name@example.org"
    return ""
}

// A server name or address: no spaces, not empty.
function host(text) {
    if (!/^[A-Za-z0-9.:\-\[\]_]+$/.test(text))
        return "Write the server's name or address, for example smtp.example.org"
    return ""
}

// A phone number: digits, an optional leading "+", 3 to 20 digits.
function phone(text) {
    if (!/^\+?[0-9]{3,20}$/.test(text))
        return "Write the number in digits, with an optional leading +"
    return ""
}

// The monthly report time "dd hh:mm".
function monthTime(text) {
    var m = /^([0-9]{2}) ([0-9]{2}):([0-9]{2})$/.exec(text)
    if (!m || Number(m[1]) < 1 || Number(m[1]) > 31 || Number(m[2]) > 23 || Number(m[3]) > 59)
        return "Write the day and time as dd hh:mm, for example 01 08:00"
    return ""
}

// The yearly report time "MM/dd hh:mm" on a day that every year has.
function yearTime(text) {
    var m = /^([0-9]{2})\/([0-9]{2}) ([0-9]{2}):([0-9]{2})$/.exec(text)
    if (!m)
        return "Write the date and time as MM/dd hh:mm"
    var month = Number(m[1]), day = Number(m[2])
    var d = new Date(2023, month - 1, day)
    if (month < 1 || month > 12 || d.getMonth() !== month - 1 || d.getDate() !== day)
        return "No such date"
    if (Number(m[3]) > 23 || Number(m[4]) > 59)
        return "No such time of day"
    return ""
}

// The check of a field kind: "clock", "optionalClock", "optionalMinute", "whole" (min to
// max; the text has %1 and %2 for them), "volts", "address", "host", "phone",
// "monthTime", "yearTime", or "optional:" and one of these (empty is fine too).
function check(kind, text, min, max) {
    if (kind === "clock")
        return clockTime(text)
    if (kind === "optionalClock")
        return optionalClockTime(text)
    if (kind === "optionalMinute")
        return optionalMinute(text)
    if (kind === "whole")
        return wholeNumber(text, min, max)
    if (kind === "volts")
        return depthVolts(text)
    if (kind === "address")
        return address(text)
    if (kind === "host")
        return host(text)
    if (kind === "phone")
        return phone(text)
    if (kind === "monthTime")
        return monthTime(text)
    if (kind === "yearTime")
        return yearTime(text)
    // What is off (a report not sent) may stay empty; what is written must be right.
    if (kind.indexOf("optional:") === 0)
        return text === "" ? "" : check(kind.slice(9), text, min, max)
    return ""
}

// The first problem of a list of check results, or "".
function first(results) {
    for (var i = 0; i < results.length; ++i) {
        if (results[i] !== "")
            return results[i]
    }
    return ""
}
