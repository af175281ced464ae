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
