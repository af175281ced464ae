pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "pages"
import "pages/replies.js" as Replies
import "pages/fields.js" as Fields

// The root of the user interface. The program wires the request signals below to its
// slots by name and drives the items "sysRunTime", "alarmRect" and "alarmNum" once a
// second; replies come back as signals of the context objects "qmlobject" and "serial".
// "window" is the frameless program window, which the header moves, minimises and closes.
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


    // The page on view (see `pages` below).
    property string page: "overview"
    // "0" three-phase UPS, "1" single-phase UPS, "2" inverter, as the program reports it.
    property string family: ""
    // The link state of the last status reply: "1" connecting, "2" communicating, "3" lost.
    property string commState: ""
    // Set by the program: false while the window is minimized or hidden. The pages ask
    // for nothing then.
    property bool onScreen: true
    Binding { target: UiState; property: "onScreen"; value: root.onScreen }
    Binding { target: UiState; property: "bridge"; value: root.contextReady ? qmlobject : null } // qmllint disable unqualified
    Binding { target: UiState; property: "device"; value: root.contextReady ? serial : null } // qmllint disable unqualified

    // The program hands its device status text (link state, active alarms) to show()
    // whenever it changes.
    Item {
        id: deviceStatus
        objectName: "deviceStatus"
        function show(text) { UiState.show(text) }
    }

    // Every page has its key from anywhere: Ctrl+1 to Ctrl+9 the first nine, Alt+1 to
    // Alt+9 the next nine; the keys that a field does not take come up to here (a
    // question on screen keeps them).
    readonly property int pagesPerModifier: 9
    function pageShortcut(index) {
        return (index < pagesPerModifier ? "Ctrl+" : "Alt+") + (index % pagesPerModifier + 1)
    }
    Keys.onPressed: function (event) {
        if (event.key < Qt.Key_1 || event.key > Qt.Key_9)
            return
        var mods = event.modifiers & (Qt.ControlModifier | Qt.AltModifier | Qt.ShiftModifier | Qt.MetaModifier)
        var first = mods === Qt.ControlModifier ? 0 : mods === Qt.AltModifier ? pagesPerModifier : -1
        var index = first + event.key - Qt.Key_1
        if (first < 0 || index >= pages.length)
            return
        root.page = root.pages[index].name
        navList.forceActiveFocus()
        event.accepted = true
    }
    function stepPage(delta) {
        for (var i = 0; i < pages.length; ++i) {
            if (pages[i].name === page) {
                page = pages[Math.max(0, Math.min(pages.length - 1, i + delta))].name
                return
            }
        }
    }

    // The program publishes its objects after it has created this root, so everything
    // that talks to them is built once they are there, outside the publishing call.
    // The linter cannot know the context objects ("qmlobject", "serial", "window"): the
    // lines that name them say so.
    readonly property bool contextReady: typeof qmlobject !== "undefined" && qmlobject !== null // qmllint disable unqualified
                                         && typeof serial !== "undefined" && serial !== null // qmllint disable unqualified
    // Once the objects are there and every binding to them has settled: the content
    // comes into view and the first requests go out.
    property bool started: false
    Timer {
        interval: 0
        running: root.contextReady && !root.started
        onTriggered: {
            // The family first: the Overview's requests depend on it.
            root.getLanguageSignal()
            root.getProtocolSignal()
            root.getotherinfoSignal()
            root.started = true
        }
    }

    readonly property var pages: [
        { name: "overview", title: "Overview" },
        { name: "output", title: "Output" },
        { name: "bypass", title: "Bypass" },
        { name: "battery", title: "Battery" },
        { name: "ac", title: "AC input" },
        { name: "pv", title: "PV" },
        { name: "device", title: "Device" },
        { name: "other", title: "Status" },
        { name: "warnings", title: "Warnings" },
        { name: "history", title: "History" },
        { name: "charts", title: "Charts" },
        { name: "system", title: "System" },
        { name: "email", title: "E-mail" },
        { name: "sms", title: "SMS" },
        { name: "devsettings", title: "Device settings" },
        { name: "controls", title: "Controls" },
        { name: "schedule", title: "Schedule" },
        { name: "archive", title: "Settings archive" }
    ]

    function moveWindowBy(dx, dy) {
        window.pos = Qt.point(window.pos.x + dx, window.pos.y + dy) // qmllint disable unqualified
    }
    function minimizeWindow() { window.showMinimized() } // qmllint disable unqualified
    function closeWindow() { window.close() } // qmllint disable unqualified

    function familyText(code) {
        if (code === "0")
            return Lang.tr("Three-phase UPS")
        if (code === "1")
            return Lang.tr("Single-phase UPS")
        if (code === "2")
            return Lang.tr("Inverter")
        return ""
    }

    Rectangle {
        id: header
        width: parent.width
        height: 52
        color: Theme.header

        // Dragging the header moves the frameless window. The press point stays under
        // the pointer, so each move is the pointer's offset from it.
        MouseArea {
            id: dragArea
            anchors.fill: parent
            property point pressPoint
            onPressed: function (mouse) { pressPoint = Qt.point(mouse.x, mouse.y) }
            onPositionChanged: function (mouse) {
                if (pressed)
                    root.moveWindowBy(mouse.x - pressPoint.x, mouse.y - pressPoint.y)
            }
        }

        Row {
            anchors.left: parent.left
            anchors.leftMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            spacing: 14
            Text {
                text: "Kestrava"
                color: Theme.headerText
                font.pixelSize: 20
                font.bold: true
            }
            Text {
                anchors.baseline: parent.children[0].baseline
                text: root.familyText(root.family)
                color: "#b8c7d8"
                font.pixelSize: Theme.fontSize
            }
        }

        Row {
            anchors.right: windowButtons.left
            anchors.rightMargin: 18
            anchors.verticalCenter: parent.verticalCenter
            spacing: 18

            // The device's state at a glance: the link, else the first fault, else the
            // first noteworthy state, else "Normal". A click shows the Overview.
            Rectangle {
                id: statusPill
                objectName: "headerStatus"
                anchors.verticalCenter: parent.verticalCenter
                readonly property string level: UiState.comm === "" ? ""
                    : !UiState.communicating ? (UiState.comm === "3" ? "fault" : "state")
                    : UiState.faults.length > 0 ? "fault" : UiState.states.length > 0 ? "state" : "normal"
                readonly property var first: UiState.faults.length > 0 ? UiState.faults[0]
                                                                        : UiState.states.length > 0 ? UiState.states[0] : null
                width: Math.min(statusText.implicitWidth + 24, 330)
                height: 26
                radius: 13
                color: level === "fault" ? Theme.alarm : level === "state" ? Theme.warn : Theme.good
                visible: level !== ""
                Text {
                    id: statusText
                    objectName: "headerStatusText"
                    anchors.centerIn: parent
                    width: Math.min(implicitWidth, 306)
                    elide: Text.ElideRight
                    text: {
                        if (!UiState.communicating)
                            return UiState.linkText()
                        if (statusPill.first === null)
                            return Lang.tr("Normal")
                        var more = UiState.conditions.length - 1
                        return (statusPill.level === "fault" ? "⚠ " : "") + Lang.tr(statusPill.first.label)
                            + (more > 0 ? "  +" + more : "")
                    }
                    color: "white"
                    font.pixelSize: Theme.fontSize
                    font.bold: statusPill.level === "fault"
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: root.page = "overview"
                }
            }
            Row {
                anchors.verticalCenter: parent.verticalCenter
                spacing: 6
                Text {
                    text: Lang.tr("Program uptime")
                    color: "#b8c7d8"
                    font.pixelSize: Theme.fontSize
                }
                Text {
                    id: sysRunTime
                    objectName: "sysRunTime"
                    function getRunTime(text) { sysRunTime.text = text; return text }
                    text: "00:00:00"
                    color: Theme.headerText
                    font.pixelSize: Theme.fontSize
                    font.bold: true
                }
            }
            Rectangle {
                id: alarmRect
                objectName: "alarmRect"
                anchors.verticalCenter: parent.verticalCenter
                opacity: 0
                function setOpacity_1() { alarmRect.opacity = 1 }
                function setOpacity_0() { alarmRect.opacity = 0 }
                // Lit while the event list holds lines; the number is what needs attention
                // now (active alarms, or the lost link), red while there is any.
                width: Math.max(26, alarmNum.implicitWidth + 14); height: 26; radius: 13
                color: alarmNum.count > 0 ? Theme.alarm : Theme.navActive
                border.color: "white"
                border.width: 2
                Text {
                    id: alarmNum
                    objectName: "alarmNum"
                    property int count: 0
                    function updateAlarmNo(n) { alarmNum.count = n; alarmNum.text = n; return n }
                    anchors.centerIn: parent
                    color: "white"
                    font.pixelSize: Theme.fontSize
                    font.bold: true
                }
                MouseArea {
                    anchors.fill: parent
                    enabled: alarmRect.opacity > 0
                    cursorShape: Qt.PointingHandCursor
                    onClicked: root.page = "warnings"
                }
            }
        }

        Row {
            id: windowButtons
            anchors.right: parent.right
            anchors.top: parent.top
            height: parent.height
            Repeater {
                model: [{ name: "minimize", mark: "–" }, { name: "close", mark: "✕" }]
                delegate: Rectangle {
                    id: windowButton
                    required property var modelData
                    objectName: modelData.name + "Button"
                    width: 46
                    height: windowButtons.height
                    color: buttonArea.containsMouse ? (modelData.name === "close" ? Theme.alarm : Theme.nav)
                                                    : "transparent"
                    Text {
                        anchors.centerIn: parent
                        text: windowButton.modelData.mark
                        color: Theme.headerText
                        font.pixelSize: 18
                    }
                    MouseArea {
                        id: buttonArea
                        anchors.fill: parent
                        hoverEnabled: true
                        onClicked: windowButton.modelData.name === "close" ? root.closeWindow() : root.minimizeWindow()
                    }
                }
            }
        }
    }

    Rectangle {
        id: nav
        anchors.top: header.bottom
        anchors.bottom: parent.bottom
        width: 170
        color: Theme.nav
        // The side menu takes the arrow keys (and Home, End) while it has the focus, which
        // it has at start; Tab moves between it and the page's fields.
        Column {
            id: navList
            objectName: "navList"
            anchors.fill: parent
            anchors.topMargin: 8
            focus: true
            activeFocusOnTab: true
            Keys.onUpPressed: root.stepPage(-1)
            Keys.onDownPressed: root.stepPage(1)
            Keys.onPressed: function (event) {
                if (event.key === Qt.Key_Home || event.key === Qt.Key_End) {
                    root.page = root.pages[event.key === Qt.Key_Home ? 0 : root.pages.length - 1].name
                    event.accepted = true
                }
            }
            Repeater {
                model: root.pages
                delegate: Rectangle {
                    id: navEntry
                    required property var modelData
                    required property int index
                    objectName: "nav_" + modelData.name
                    width: nav.width
                    height: Math.min(40, (nav.height - 8) / root.pages.length)
                    color: root.page === modelData.name ? Theme.navActive
                                                        : navArea.containsMouse ? "#34597f" : "transparent"
                    // The focus ring: where the arrow keys act.
                    border.color: "#ffd54f"
                    border.width: navList.activeFocus && root.page === modelData.name ? 2 : 0
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        anchors.left: parent.left
                        anchors.leftMargin: 14
                        anchors.right: shortcutText.left
                        anchors.rightMargin: 4
                        elide: Text.ElideRight
                        text: Lang.tr(navEntry.modelData.title)
                        color: Theme.headerText
                        font.pixelSize: Theme.fontSize + 1
                        font.bold: root.page === navEntry.modelData.name
                    }
                    MouseArea {
                        id: navArea
                        anchors.fill: parent
                        hoverEnabled: true
                        onClicked: {
                            root.page = navEntry.modelData.name
                            navList.forceActiveFocus()
                        }
                    }
                    Text {
                        id: shortcutText
                        anchors.verticalCenter: parent.verticalCenter
                        anchors.right: parent.right
                        anchors.rightMargin: 8
                        objectName: "shortcut_" + navEntry.modelData.name
                        text: root.pageShortcut(navEntry.index)
                        color: "#8fa6bf"
                        font.pixelSize: Theme.fontSize - 3
                    }
                }
            }
        }
    }

    // Hidden until the context objects are there: a page asks for its values when it
    // comes into view, and its requests would go nowhere before.
    Item {
        id: content
        objectName: "content"
        anchors.top: header.bottom
        anchors.left: nav.right
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 16
        visible: root.started
        Item {
            id: pageArea
            anchors.fill: parent
            function title(name) {
                for (var i = 0; i < root.pages.length; ++i) {
                    if (root.pages[i].name === name)
                        return Lang.tr(root.pages[i].title)
                }
                return name
            }


            // The header's link state. The status page asks for the same reply while it is
            // on view, and that reply sets the header too, so this one rests meanwhile.

            Connections {
                target: UiState.bridge
                function onSigFlowState(runState, batState, load, input, pvPower, batPower) {
                    overview.showFlow(runState, batState, load, input, pvPower, batPower)
                }
                function onSigMainGenInfo(strMainGenInfo) { overview.showGeneration(strMainGenInfo) }
                function onSigMainModuleInfo(strModuleFlag, strMainMInfo) {
                    overview.showModule(strModuleFlag, strMainMInfo)
                }
                function onSigOutputInfo(strOutputInfo) {
                    if (overview.panelFromPages)
                        overview.showModule("output", strOutputInfo)
                }
                function onSigBypassInfo(strBypassInfo) {
                    if (overview.panelFromPages)
                        overview.showModule("bypass", strBypassInfo)
                }
                function onSigBatInfo(strBatInfo) {
                    if (overview.panelFromPages)
                        overview.showModule("battery", strBatInfo)
                }
                function onSigACInfo(strACInfo) {
                    if (overview.panelFromPages)
                        overview.showModule("ac", strACInfo)
                }
                function onSigPVInfo(strPVTInfo, strPVInfo) {
                    if (overview.panelFromPages)
                        overview.showModule("pv", strPVTInfo)
                }
                function onSigOtherInfo(strOtherInfo) {
                    var state = Replies.taggedMap(strOtherInfo).comstate
                    root.commState = state === undefined ? "" : state
                }
                function onSiglang(lang) { Lang.lang = lang }
                function onSigprotocol(strProtocol) { root.family = strProtocol }
            }

            OverviewPage {
                id: overview
                objectName: "overviewPage"
                anchors.fill: parent
                visible: root.page === "overview"
                family: root.family
                // The module panels are built from UPS values alone; for an inverter the
                // panel shows the matching live page instead.
                readonly property var pageRequests: ({
                    output: root.getoutputinfoSignal, ac: root.getacInfoSignal, battery: root.getbatinfoSignal,
                    pv: root.getpvinfoSignal, bypass: root.getbypassinfoSignal
                })
                readonly property bool panelFromPages: root.family === "2"
                onRefresh: {
                    root.getFlowStateSignal()
                    root.getmwindowgenInfoSinal()
                    // The flow's input and output powers come with those pages.
                    root.getoutputinfoSignal()
                    root.getacInfoSignal()
                    if (panelFromPages) {
                        if (overview.module !== "output" && overview.module !== "ac")
                            pageRequests[overview.module]()
                    } else {
                        root.mainModuleDataSignal(Replies.request({ flag: overview.module }))
                    }
                    // The battery's charge and remaining time stay in view whatever the panel.
                    if (overview.module !== "battery") {
                        if (panelFromPages)
                            root.getbatinfoSignal()
                        else
                            root.mainModuleDataSignal(Replies.request({ flag: "battery" }))
                    }
                }
            }
            // Every page but the Overview is built as it first comes into view.
            PageSlot {
                inView: root.page === "output"
                ValuesPage {
                    id: outputPage
                    inverter: root.family === "2"
                    objectName: "outputPage"
                    anchors.fill: parent
                    visible: root.page === "output"
                    title: pageArea.title("output")
                    fields: Fields.output
                    onRefresh: root.getoutputinfoSignal()
                    Connections {
                        target: UiState.bridge
                        function onSigOutputInfo(strOutputInfo) { outputPage.show(strOutputInfo) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "bypass"
                ValuesPage {
                    id: bypassPage
                    inverter: root.family === "2"
                    objectName: "bypassPage"
                    anchors.fill: parent
                    visible: root.page === "bypass"
                    title: pageArea.title("bypass")
                    fields: Fields.bypass
                    onRefresh: root.getbypassinfoSignal()
                    Connections {
                        target: UiState.bridge
                        function onSigBypassInfo(strBypassInfo) { bypassPage.show(strBypassInfo) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "battery"
                ValuesPage {
                    id: batteryPage
                    inverter: root.family === "2"
                    objectName: "batteryPage"
                    anchors.fill: parent
                    visible: root.page === "battery"
                    title: pageArea.title("battery")
                    fields: Fields.battery
                    onRefresh: root.getbatinfoSignal()
                    Connections {
                        target: UiState.bridge
                        function onSigBatInfo(strBatInfo) { batteryPage.show(strBatInfo) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "ac"
                ValuesPage {
                    id: acPage
                    inverter: root.family === "2"
                    objectName: "acPage"
                    anchors.fill: parent
                    visible: root.page === "ac"
                    title: pageArea.title("ac")
                    fields: Fields.ac
                    onRefresh: root.getacInfoSignal()
                    Connections {
                        target: UiState.bridge
                        function onSigACInfo(strACInfo) { acPage.show(strACInfo) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "pv"
                PvPage {
                    id: pvPage
                    inverter: root.family === "2"
                    objectName: "pvPage"
                    anchors.fill: parent
                    visible: root.page === "pv"
                    title: pageArea.title("pv")
                    onRefresh: root.getpvinfoSignal()
                    Connections {
                        target: UiState.bridge
                        function onSigPVInfo(strPVTInfo, strPVInfo) { pvPage.show(strPVTInfo, strPVInfo) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "device"
                ValuesPage {
                    id: devicePage
                    inverter: root.family === "2"
                    objectName: "devicePage"
                    anchors.fill: parent
                    visible: root.page === "device"
                    title: pageArea.title("device")
                    fields: Fields.device
                    interval: 5000
                    onRefresh: root.getdeviceinfoSignal()
                    Connections {
                        target: UiState.bridge
                        function onSigDeviceInfo(strDeviceInfo) { devicePage.show(strDeviceInfo) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "other"
                ValuesPage {
                    id: otherPage
                    inverter: root.family === "2"
                    objectName: "otherPage"
                    anchors.fill: parent
                    visible: root.page === "other"
                    title: pageArea.title("other")
                    fields: Fields.other
                    onRefresh: root.getotherinfoSignal()
                    Connections {
                        target: UiState.bridge
                        function onSigOtherInfo(strOtherInfo) {
                            if (otherPage.visible)
                                otherPage.show(strOtherInfo)
                        }
                    }
                }
            }
            PageSlot {
                inView: root.page === "history"
                HistoryPage {
                    id: historyPage
                    objectName: "historyPage"
                    anchors.fill: parent
                    visible: root.page === "history"
                    title: pageArea.title("history")
                    family: root.family
                    onPageRequested: function (record, request) {
                        record ? root.getRecordSignal(request) : root.getReportSignal(request)
                    }
                    onOperationRequested: function (record, request) {
                        record ? root.saveCleaRecordSignal(request) : root.saveClearReportCall(request)
                    }
                }
            }
            PageSlot {
                inView: root.page === "charts"
                ChartsPage {
                    id: chartsPage
                    objectName: "chartsPage"
                    anchors.fill: parent
                    visible: root.page === "charts"
                    title: pageArea.title("charts")
                    family: root.family
                    onChartRequested: function (request) { root.getchartdataSignal(request) }
                }
            }
            PageSlot {
                inView: root.page === "warnings"
                WarningsPage {
                    id: warningsPage
                    objectName: "warningsPage"
                    anchors.fill: parent
                    visible: root.page === "warnings"
                    title: pageArea.title("warnings")
                    onRefresh: root.getWarningDataSignal()
                    onClearRequested: root.clearWarningSignal()
                    Connections {
                        target: UiState.bridge
                        function onWarningDataSig(strtest) { warningsPage.show(strtest) }
                        function onClearAlarmSig() { warningsPage.cleared() }
                    }
                }
            }
            PageSlot {
                inView: root.page === "system"
                SystemPage {
                    id: systemPage
                    objectName: "systemPage"
                    anchors.fill: parent
                    visible: root.page === "system"
                    title: pageArea.title("system")
                    family: root.family
                    onShown: {
                        root.getSystemSetSignal()
                        root.getScheduleTimeSignal()
                        root.getProtocolSignal()
                    }
                    onSaveLanguage: function (request) {
                        root.setPublicparaSignal(request)
                        root.getLanguageSignal()
                    }
                    onSavePorts: function (request) {
                        root.setComConfigSignal(request)
                        root.getSystemSetSignal()
                    }
                    Connections {
                        target: UiState.bridge
                        function onSigSysSet(sysjson) { systemPage.showSettings(sysjson) }
                        function onSigScheduleTime(scheTime) { systemPage.showScheduleTime(scheTime) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "email"
                EmailPage {
                    id: emailPage
                    objectName: "emailPage"
                    anchors.fill: parent
                    visible: root.page === "email"
                    title: pageArea.title("email")
                    onShown: root.getemailsetSignal()
                    onSave: function (request) {
                        root.setemailSignal(request)
                        root.getemailsetSignal()
                    }
                    onSendTest: function (request) { root.sendtestemailSignal(request) }
                    Connections {
                        target: UiState.bridge
                        function onEmailGetSig(emailjson) { emailPage.show(emailjson) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "sms"
                SmsPage {
                    id: smsPage
                    objectName: "smsPage"
                    anchors.fill: parent
                    visible: root.page === "sms"
                    title: pageArea.title("sms")
                    onShown: root.getsmssetSignal()
                    onRefresh: root.getSMSStateSignal()
                    onPortClash: qmlobject.qmlobjectCom() // qmllint disable unqualified
                    onSave: function (request) {
                        root.setsmsSignal(request)
                        root.getsmssetSignal()
                    }
                    onSendTest: function (request) {
                        root.sendSMSTestSignal(request)
                        root.getSMSStateSignal()
                    }
                    Connections {
                        target: UiState.bridge
                        function onSigQtSSMSSet(smsjson) { smsPage.showSettings(smsjson) }
                        function onSigSMSState(smsjson) { smsPage.showState(smsjson) }
                        function onSigSMSNumberRefused(number) { smsPage.showRefused(number) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "devsettings"
                DeviceSettingsPage {
                    id: deviceSettingsPage
                    objectName: "deviceSettingsPage"
                    anchors.fill: parent
                    visible: root.page === "devsettings"
                    title: pageArea.title("devsettings")
                    onShown: root.getInverterSetSignal()
                    onSaveConnection: function (request) {
                        root.setInvertercomSignal(request)
                        root.getInverterSetSignal()
                        root.getProtocolSignal()
                    }
                    onSaveSelfTest: function (request) {
                        root.setinverterSignal(request)
                        root.getInverterSetSignal()
                    }
                    Connections {
                        target: UiState.device
                        function onSigQtSInverterCom(invertercomjson) { deviceSettingsPage.showCom(invertercomjson) }
                        function onSigQtSInverterSet(inverterjson) { deviceSettingsPage.showSettings(inverterjson) }
                        function onSerialCom() { deviceSettingsPage.portClash = true }
                    }
                }
            }
            PageSlot {
                inView: root.page === "controls"
                ControlsPage {
                    id: controlsPage
                    objectName: "controlsPage"
                    anchors.fill: parent
                    visible: root.page === "controls"
                    title: pageArea.title("controls")
                    live: true
                    interval: 5000
                    onRefresh: {
                        root.getlongconsetSignal()
                        root.getInverterSetSignal()
                        root.getinvertermodelSignal()
                    }
                    onSendControl: function (request) { root.setlongcontrolSignal(request) }
                    onSetBypass: function (request) {
                        root.setmanbypasssetSignal(request)
                        root.getInverterSetSignal()
                    }
                    onSetDepth: function (request) {
                        root.setDischargedepthSignal(request)
                        root.getInverterSetSignal()
                    }
                    onSetMode: function (request) { root.setinvertermSignal(request) }
                    Connections {
                        target: UiState.device
                        function onSigQtSInverterSet(inverterjson) { controlsPage.showSettings(inverterjson) }
                        function onSigQtSLongConSet(longconjson) { controlsPage.showControls(longconjson) }
                        function onSigQtSInverterMSet(flag, strinverterM) { controlsPage.showMode(flag, strinverterM) }
                    }
                }
            }
            PageSlot {
                inView: root.page === "schedule"
                SchedulePage {
                    id: schedulePage
                    objectName: "schedulePage"
                    anchors.fill: parent
                    visible: root.page === "schedule"
                    title: pageArea.title("schedule")
                    onShown: root.getscheduleSignal()
                    onSave: function (request) {
                        root.setscheduleSignal(request)
                        root.getscheduleSignal()
                    }
                    Connections {
                        target: UiState.device
                        function onSigQtSSchedSet(schedjson) { schedulePage.show(schedjson) }
                        function onSigQtSSchedTime(minShutdownTime, minStartupTime) {
                            schedulePage.showTimes(minShutdownTime, minStartupTime)
                        }
                    }
                }
            }
            PageSlot {
                inView: root.page === "archive"
                ArchivePage {
                    id: archivePage
                    objectName: "archivePage"
                    anchors.fill: parent
                    visible: root.page === "archive"
                    title: pageArea.title("archive")
                    onExportRequested: root.outputConfigSignal()
                    onImportRequested: root.inputConfigSignal()
                    onRestoreRequested: root.restoreconfigSignal()
                }
            }
        }
    }
}
