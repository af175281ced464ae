// A small user interface that talks to the bridge the way the real one does: requests as
// JSON.stringify texts through root signals, replies JSON.parse'd in signal handlers.
import QtQuick

Item {
    id: root
    width: 200
    height: 100

    signal setemailSignal(string json)
    signal getemailsetSignal()
    signal mainModuleDataSignal(string json)
    signal getWarningDataSignal()
    signal clearWarningSignal()

    property string password: ""
    property string recipients: ""
    property string masks: ""
    property string moduleFlag: ""
    property string moduleText: ""
    property int warningCount: -1
    property string newestWarning: ""
    property bool alarmCleared: false

    function saveEmail(pass, addrs, flags) {
        setemailSignal(JSON.stringify({ serverHostaddr: "smtp.example.org", serverHostPort: 25,
                                        senderPassword: pass, email_receiver_addrs: addrs,
                                        email_event_flag: flags }))
        getemailsetSignal()
    }
    function askModule(flag) { mainModuleDataSignal(JSON.stringify({ flag: flag })) }
    function portClashes(port) { return qmlobject.modemPortClashes(port) }

    Connections {
        target: qmlobject
        function onEmailGetSig(emailjson) {
            var o = JSON.parse(emailjson)
            root.password = o.senderPassword
            root.recipients = o.email_receiver_addrs.join(";")
            root.masks = o.email_event_flag.join(";")
        }
        function onSigMainModuleInfo(strModuleFlag, strMainMInfo) {
            root.moduleFlag = strModuleFlag
            root.moduleText = strMainMInfo
        }
        function onWarningDataSig(strtest) {
            var list = JSON.parse(strtest)
            root.warningCount = list.length
            root.newestWarning = list.length > 0 ? list[0].date + " " + list[0].description : ""
        }
        function onClearAlarmSig() { root.alarmCleared = true }
    }

    Rectangle {
        anchors.fill: parent
        Rectangle {
            objectName: "alarmRect"
            width: 20
            height: 20
            opacity: 1
            function setOpacity_0() { opacity = 0 }
        }
    }
}
