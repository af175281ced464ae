import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "pages"

// The root of the user interface. The program wires the request signals below to its
// slots by name and drives the items "sysRunTime", "alarmRect" and "alarmNum" once a
// second; replies come back as signals of the context objects "qmlobject" and "serial".
Rectangle {
    id: root
    width: 970
    height: 670
    color: Theme.background

    // Requests. A (string request) argument carries one JSON object text.
    signal getFlowStateSignal()
    signal getLanguageSignal()
    signal getmwindowgenInfoSinal()
    signal getacInfoSignal()
    signal getbatinfoSignal()
    signal getbypassinfoSignal()
    signal getotherinfoSignal()
    signal getoutputinfoSignal()
    signal getdeviceinfoSignal()
    signal getpvinfoSignal()
    signal mainModuleDataSignal(string request)
    signal getchartdataSignal(string request)
    signal getReportSignal(string request)
    signal getRecordSignal(string request)
    signal saveClearReportCall(string request)
    signal saveCleaRecordSignal(string request)
    signal getInverterSetSignal()
    signal setinverterSignal(string request)
    signal setinvertermSignal(string request)
    signal setlongcontrolSignal(string request)
    signal setscheduleSignal(string request)
    signal setComConfigSignal(string request)
    signal setPublicparaSignal(string request)
    signal setemailSignal(string request)
    signal setsmsSignal(string request)
    signal getemailsetSignal()
    signal getsmssetSignal()
    signal setmanbypasssetSignal(string request)
    signal getinvertermodelSignal()
    signal sendtestemailSignal(string request)
    signal getlongconsetSignal()
    signal getWarningDataSignal()
    signal clearWarningSignal()
    signal getscheduleSignal()
    signal setDischargedepthSignal(string request)
    signal inputConfigSignal()
    signal outputConfigSignal()
    signal restoreconfigSignal()
    signal setInvertercomSignal(string request)
    signal getSystemSetSignal()
    signal getSMSStateSignal()
    signal sendSMSTestSignal(string request)
    signal getProtocolSignal()
    signal getScheduleTimeSignal()

    Text {
        id: sysRunTime
        objectName: "sysRunTime"
        function getRunTime(text) { sysRunTime.text = text; return text }
        text: "00:00:00"
    }
    Rectangle {
        id: alarmRect
        objectName: "alarmRect"
        opacity: 0
        function setOpacity_1() { alarmRect.opacity = 1 }
        function setOpacity_0() { alarmRect.opacity = 0 }
        width: 24; height: 24; radius: 12
        color: "#d32f2f"
        Text {
            id: alarmNum
            objectName: "alarmNum"
            function updateAlarmNo(count) { alarmNum.text = count; return count }
            anchors.centerIn: parent
            color: "white"
        }
    }
}
