pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "replies.js" as Replies

// How the program reaches the device (family, port type, port, slave address) and the
// periodic battery self-test. The self-test settings come with the device's settings
// block, so they can be changed once the device has reported it.
PageBase {
    id: page
    // The self-test part of the last device-settings reply; null until the device has
    // reported its settings since the link last changed.
    property var testSet: null
    property bool portClash: false
    signal saveConnection(string request)
    signal saveSelfTest(string request)
    SaveReply { id: connectionReply; target: UiState.device; settings: ["devicecom"] }
    SaveReply { id: selfTestReply; target: UiState.device; settings: ["selftest"] }
    Connections {
        target: page
        function onShown() {
            connectionReply.expect()
            selfTestReply.expect()
        }
    }

    readonly property var families: [
        { code: "0", text: Lang.tr("Three-phase UPS") }, { code: "1", text: Lang.tr("Single-phase UPS") },
        { code: "2", text: Lang.tr("Inverter") }
    ]
    readonly property var portTypes: [{ code: "0", text: Lang.tr("Serial port") }, { code: "1", text: "USB-HID" }]
    readonly property var intervals: [
        { code: "0", text: Lang.tr("Off") }, { code: "1", text: Lang.tr("Every week") },
        { code: "2", text: Lang.tr("Every two weeks") }
    ]
    readonly property var weekdays: [
        { code: "1", text: Lang.tr("Monday") }, { code: "2", text: Lang.tr("Tuesday") },
        { code: "3", text: Lang.tr("Wednesday") }, { code: "4", text: Lang.tr("Thursday") },
        { code: "5", text: Lang.tr("Friday") }, { code: "6", text: Lang.tr("Saturday") },
        { code: "0", text: Lang.tr("Sunday") }
    ]
    readonly property var testKinds: [
        { code: "0", text: Lang.tr("One-minute test") }, { code: "1", text: Lang.tr("Discharge to low voltage") }
    ]
    // The three-phase family has one port type; the others need it to pick the transport.
    readonly property bool needsPortType: family.code !== "0"
    readonly property bool serialPort: !needsPortType || portType.code === "0"

    function showCom(text) {
        var s = Replies.json(text)
        if (!s)
            return
        family.select(s.comProtocol)
        portType.select(s.comType)
        address.text = s.comAddr
        var ports = s.comName && Array.isArray(s.comName.com) ? s.comName.com.slice() : []
        var selected = s.comName ? s.comName.selected : ""
        if (selected && ports.indexOf(selected) < 0)
            ports.push(selected)
        port.model = ports
        port.currentIndex = ports.indexOf(selected)
        port.editText = selected
        console.debug(Theme.shownLog, "device connection:", text)
    }

    function showSettings(text) {
        var s = Replies.json(text)
        testSet = s && s.testSet ? s.testSet : null
        if (testSet) {
            interval.select(testSet.testInterval)
            weekday.select(testSet.testTimePerWeek)
            testTime.text = testSet.selftestTime
            testKind.select(testSet.selftestType === "0" ? "0" : "1")
        }
        console.debug(Theme.shownLog, "device settings:", text)
    }

    function connectionRequest() {
        return Replies.request({
            comProtocol: family.code, comType: needsPortType ? portType.code : "0",
            comAddr: address.text, selectName: port.editText.trim()
        })
    }

    function selfTestRequest() {
        return Replies.request({
            testInterval: interval.code, testTimePerWeek: weekday.code, selftestTime: testTime.text,
            selftestType: testKind.code
        })
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 12
        Text {
            text: page.title
            font.pixelSize: Theme.titleSize
            font.bold: true
            color: Theme.header
        }
        Card {
            Layout.fillWidth: true
            title: Lang.tr("Connection")
            GridLayout {
                columns: 2
                columnSpacing: 16
                rowSpacing: 6
                Label { text: Lang.tr("Device family") }
                CodeCombo { id: family; objectName: "deviceFamily"; choices: page.families; implicitWidth: 180 }
                Label { text: Lang.tr("Port type"); enabled: page.needsPortType }
                CodeCombo {
                    id: portType
                    objectName: "portType"
                    choices: page.portTypes
                    enabled: page.needsPortType
                    implicitWidth: 180
                }
                Label { text: Lang.tr("Serial port"); enabled: page.serialPort }
                Combo {
                    id: port
                    objectName: "devicePort"
                    editable: true
                    enabled: page.serialPort
                    Layout.preferredWidth: 180
                }
                Label { text: Lang.tr("Slave address") }
                CheckedField { id: address; objectName: "slaveAddress"; kind: "whole"; min: 1; max: 247 }
            }
            Text {
                objectName: "connectionProblem"
                visible: text !== ""
                text: address.message !== "" ? Lang.tr("Slave address") + ": " + address.message
                    : page.serialPort && port.editText.trim() === "" ? Lang.tr("Choose the device's serial port") : ""
                color: Theme.alarm
                font.pixelSize: Theme.fontSize
            }
            Text {
                objectName: "portClash"
                visible: page.portClash
                text: Lang.tr("The modem uses this port too: move the modem to another port on the SMS page.")
                color: Theme.alarm
                font.pixelSize: Theme.fontSize
                wrapMode: Text.WordWrap
                Layout.fillWidth: true
            }
            Button {
                objectName: "saveConnection"
                text: Lang.tr("Save")
                enabled: address.problem === "" && !(page.serialPort && port.editText.trim() === "")
                onClicked: {
                    page.portClash = false
                    connectionReply.expect()
                    page.saveConnection(page.connectionRequest())
                }
            }
            Text {
                objectName: "connectionSaveFailure"
                text: connectionReply.text
                color: Theme.alarm
                font.pixelSize: Theme.fontSize
            }
        }
        Card {
            Layout.fillWidth: true
            title: Lang.tr("Battery self-test")
            Text {
                visible: page.testSet === null
                text: Lang.tr("Shown once the device has reported its settings.")
                color: Theme.muted
                font.pixelSize: Theme.fontSize
            }
            GridLayout {
                columns: 4
                columnSpacing: 16
                rowSpacing: 6
                enabled: page.testSet !== null
                Label { text: Lang.tr("Repeat") }
                CodeCombo { id: interval; objectName: "testInterval"; choices: page.intervals; implicitWidth: 160 }
                Label { text: Lang.tr("Weekday") }
                CodeCombo { id: weekday; objectName: "testWeekday"; choices: page.weekdays; otherCode: "0"; implicitWidth: 160 }
                Label { text: Lang.tr("Time") }
                CheckedField { id: testTime; objectName: "testTime"; kind: "clock"; placeholderText: "08:00" }
                Label { text: Lang.tr("Kind") }
                CodeCombo { id: testKind; objectName: "testKind"; choices: page.testKinds; implicitWidth: 200 }
            }
            Text {
                visible: page.testSet !== null && testKind.code === "0" && page.testSet.selfTest1MinFlag !== "1"
                         || page.testSet !== null && testKind.code === "1" && page.testSet.dischargeToLowVolFlag !== "1"
                text: Lang.tr("The device does not announce this test; it may ignore it.")
                color: Theme.muted
                font.pixelSize: Theme.fontSize
            }
            Text {
                visible: testTime.problem !== "" && page.testSet !== null
                text: Lang.tr("Time") + ": " + testTime.message
                color: Theme.alarm
                font.pixelSize: Theme.fontSize
            }
            Button {
                objectName: "saveSelfTest"
                text: Lang.tr("Save")
                enabled: page.testSet !== null && testTime.problem === ""
                onClicked: {
                    selfTestReply.expect()
                    page.saveSelfTest(page.selfTestRequest())
                }
            }
            Text {
                objectName: "selfTestSaveFailure"
                text: selfTestReply.text
                color: Theme.alarm
                font.pixelSize: Theme.fontSize
            }
        }
        Item { Layout.fillHeight: true }
    }
}
