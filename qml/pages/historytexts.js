// The texts of the history and chart pages in the language the program is set to
// ("0" Chinese, anything else English), and the period texts the history files carry.
.pragma library

var zh = {
    "Day report": "日报表",
    "Month report": "月报表",
    "Year report": "年报表",
    "Snapshots": "数据记录",
    "Events": "事件记录",
    "SMS log": "短信记录",
    "Time": "时间",
    "Date": "日期",
    "Day": "日",
    "Month": "月",
    "Year": "年",
    "Total": "总计",
    "Power (kW)": "功率 (kW)",
    "Power (W)": "功率 (W)",
    "Energy (kWh)": "发电量 (kWh)",
    "Phone": "手机号码",
    "Event": "事件",
    "Result": "结果",
    "Sent": "已发送",
    "Failed": "失败",
    "First": "首页",
    "Previous": "上一页",
    "Next": "下一页",
    "Last": "末页",
    "Today": "今天",
    "Page %1 of %2": "第 %1 页，共 %2 页",
    "%1 rows": "%1 条",
    "No records for this period.": "该时段没有记录。",
    "The history file is in use by another program. Try again in a moment.": "历史文件正被其他程序占用，请稍后再试。",
    "Save as CSV…": "另存为 CSV…",
    "Clear": "清除",
    "Cancel": "取消",
    "Clear history": "清除历史记录",
    "Delete the %1 of %2? This cannot be undone.": "删除 %2 的%1？此操作无法撤销。",
    "Power curve of the day": "当日功率曲线",
    "Generation of each day": "每日发电量",
    "Generation of each month": "每月发电量",
    "Generation of each year": "每年发电量",
    "No generation recorded for this period.": "该时段没有发电记录。",
    "Show": "显示"
}

// The headings of the snapshot and event pages arrive as the program's column names, in
// English or, with the Chinese language, in Chinese; each maps to words for a person.
// Rows: the names as sent, then the words in English and in Chinese.
var headingRows = [
    [["DateTime", "日期时间"], "Time", "时间"],
    [["Event Description", "事件描述"], "Event", "事件"],
    [["BatteryDischageTime", "电池放电时间"], "Battery discharge time (min)", "电池放电时间 (分)"],
    [["BatteryRemainTime", "电池剩余时间"], "Battery time left (min)", "电池剩余时间 (分)"],
    [["BatteryRemmainCap", "BattRemainCap", "电池剩余容量"], "Battery capacity (%)", "电池剩余容量 (%)"],
    [["BatteryVolt(V)", "BattVolt(V)", "电池电压(V)"], "Battery voltage (V)", "电池电压 (V)"],
    [["BatteryCurr(A)", "电池电流(A)"], "Battery current (A)", "电池电流 (A)"],
    [["BatteryTemp(C)", "电池温度(C)"], "Battery temperature (°C)", "电池温度 (°C)"],
    [["InputPowerFac", "输入功率因数"], "Input power factor", "输入功率因数"],
    [["InputGenC(KW)", "输入发电量(KW)"], "Input energy (kWh)", "输入电量 (kWh)"],
    [["InputFreq(Hz)", "输入频率(Hz)"], "Input frequency (Hz)", "输入频率 (Hz)"],
    [["InputVolt(V)", "输入电压(V)"], "Input voltage (V)", "输入电压 (V)"],
    [["InputCurr(A)", "输入电流(A)"], "Input current (A)", "输入电流 (A)"],
    [["InputActPower(KW)", "输入有功功率(KW)"], "Input active power (kW)", "输入有功功率 (kW)"],
    [["InputAppPower(KVA)", "输入视在功率(KVA)"], "Input apparent power (kVA)", "输入视在功率 (kVA)"],
    [["InputWattPower(KVar)", "输入无功功率(KVar)"], "Input reactive power (kvar)", "输入无功功率 (kvar)"],
    [["OutputFrq(HZ)", "OutputFrq(Hz)", "OutputFreq(Hz)", "输出频率(Hz)"], "Output frequency (Hz)", "输出频率 (Hz)"],
    [["OutputPowerFac", "OutputPowerFactor", "输出功率因数"], "Output power factor", "输出功率因数"],
    [["OutputGen(KW)", "输出发电量(KW)"], "Output energy (kWh)", "输出电量 (kWh)"],
    [["OutputVolt(V)", "输出电压(V)"], "Output voltage (V)", "输出电压 (V)"],
    [["OutputCurr(A)", "输出电流(A)"], "Output current (A)", "输出电流 (A)"],
    [["OutputActivePower(KW)", "输出有功功率(KW)"], "Output active power (kW)", "输出有功功率 (kW)"],
    [["OutputActivePower(W)", "输出有功功率(W)"], "Output active power (W)", "输出有功功率 (W)"],
    [["OutputAppPower(KVA)", "输出视在功率(KVA)"], "Output apparent power (kVA)", "输出视在功率 (kVA)"],
    [["OutputApparentPower(VA)", "输出视在功率(VA)"], "Output apparent power (VA)", "输出视在功率 (VA)"],
    [["OutputWattPower(KVar)", "输出无功功率(KVar)"], "Output reactive power (kvar)", "输出无功功率 (kvar)"],
    [["OutputLoadPercent(%)", "输出负载(%)"], "Output load (%)", "输出负载 (%)"],
    [["BypassFreq(Hz)", "BypFreq(Hz)", "旁路频率(Hz)"], "Bypass frequency (Hz)", "旁路频率 (Hz)"],
    [["BypassVol(V)", "BypVolt(V)", "旁路电压(V)"], "Bypass voltage (V)", "旁路电压 (V)"],
    [["BypassCurr(A)", "旁路电流(A)"], "Bypass current (A)", "旁路电流 (A)"],
    [["BypassActPower(KW)", "旁路有功功率(KW)"], "Bypass active power (kW)", "旁路有功功率 (kW)"],
    [["MachineTemp", "机内温度"], "Internal temperature (°C)", "机内温度 (°C)"],
    [["PVVolt(V)", "PV电压(V)"], "PV voltage (V)", "光伏电压 (V)"],
    [["PVCurr(A)", "PV电流(A)"], "PV current (A)", "光伏电流 (A)"],
    [["PVPower(KW)", "PV功率(KW)"], "PV power (kW)", "光伏功率 (kW)"],
    [["PVPower(W)", "PV功率(W)"], "PV power (W)", "光伏功率 (W)"],
    [["PVDayGen(KWH)", "PV日发电量(KWH)"], "PV energy today (kWh)", "光伏日发电量 (kWh)"],
    [["PVTotalGen(KWH)", "PV总发电量(KWH)"], "PV energy in all (kWh)", "光伏总发电量 (kWh)"]
]

var headingWords = (function () {
    var map = {}
    for (var i = 0; i < headingRows.length; ++i) {
        var names = headingRows[i][0]
        for (var j = 0; j < names.length; ++j)
            map[names[j]] = { en: headingRows[i][1], zh: headingRows[i][2] }
    }
    return map
})()

var unknownHeadings = {}

// The words of a record heading; a name not in the table is shown as it came, and logged
// once.
function heading(lang, name) {
    var words = headingWords[name]
    if (words !== undefined)
        return lang === "0" ? words.zh : words.en
    if (!unknownHeadings[name]) {
        unknownHeadings[name] = true
        console.warn("no words for the history heading", JSON.stringify(name))
    }
    return name
}

function isKnownHeading(name) {
    return headingWords[name] !== undefined
}

function tr(lang, text) {
    if (lang !== "0")
        return text
    var translated = zh[text]
    if (translated !== undefined)
        return translated
    console.warn("no Chinese text for", JSON.stringify(text))
    return text
}

function pad(n, width) {
    var s = String(n)
    while (s.length < width)
        s = "0" + s
    return s
}

// "yyyyMMdd", "yyyyMM" or "yyyy" of a date: the period in the names of the history files.
function periodText(form, date) {
    var y = pad(date.getFullYear(), 4)
    if (form === "year")
        return y
    var m = pad(date.getMonth() + 1, 2)
    if (form === "month")
        return y + m
    return y + m + pad(date.getDate(), 2)
}

// The same period as a person reads it.
function periodLabel(form, date) {
    var y = pad(date.getFullYear(), 4)
    if (form === "year")
        return y
    var m = pad(date.getMonth() + 1, 2)
    if (form === "month")
        return y + "-" + m
    return y + "-" + m + "-" + pad(date.getDate(), 2)
}

// The date one period before (step -1) or after (step 1).
function stepPeriod(form, date, step) {
    var d = new Date(date.getFullYear(), date.getMonth(), date.getDate())
    if (form === "year")
        d.setFullYear(d.getFullYear() + step, 0, 1)
    else if (form === "month")
        d.setMonth(d.getMonth() + step, 1)
    else
        d.setDate(d.getDate() + step)
    return d
}
