<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>&amp;Hide</source>
        <translation>隐藏</translation>
    </message>
    <message>
        <source>&amp;Restore</source>
        <translation>恢复</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>No link to the device</source>
        <translation>与设备无通讯</translation>
    </message>
    <message>
        <source>Connecting to the device</source>
        <translation>正在连接设备</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>正常</translation>
    </message>
    <message>
        <source>Alarm: %1</source>
        <translation>告警：%1</translation>
    </message>
    <message>
        <source>Alarm: %1, and %2 more</source>
        <translation>告警：%1，另有 %2 项</translation>
    </message>
    <message>
        <source>Close Kestrava</source>
        <translation>关闭 Kestrava</translation>
    </message>
    <message>
        <source>Quit Kestrava and stop monitoring the device?</source>
        <translation>退出 Kestrava 并停止监控设备？</translation>
    </message>
    <message>
        <source>While Kestrava is not running, no alarm is shown, mailed or sent by SMS, no history is written and no scheduled shutdown, start-up or self-test is carried out.</source>
        <translation>Kestrava 不运行时，不显示告警，不发送告警邮件和短信，不记录历史，也不执行定时关机、开机或自检。</translation>
    </message>
    <message>
        <source>Keep monitoring in the tray</source>
        <translation>在托盘中继续监控</translation>
    </message>
    <message>
        <source>Keep monitoring, minimized</source>
        <translation>最小化并继续监控</translation>
    </message>
    <message>
        <source>Do not ask again until Kestrava ends</source>
        <translation>本次运行期间不再询问</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Configuration File(*.zip)</source>
        <translation>配置文件(*.zip)</translation>
    </message>
    <message>
        <source>Kestrava</source>
        <translation>Kestrava</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Parameter Settings</source>
        <translation>参数设置</translation>
    </message>
    <message>
        <source>These SMS numbers were left out of the imported settings, as a number may not hold &quot;@&quot; or &quot;|&quot;:
%1</source>
        <translation>以下短信号码含有 &quot;@&quot; 或 &quot;|&quot;，未随配置导入：
%1</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>另存为</translation>
    </message>
    <message>
        <source>The SMS communication port and the UPS communication port can&apos;t be same !</source>
        <translation>短信端口和设备通讯端口不能一样！</translation>
    </message>
    <message>
        <source>The current configuration will be lost if restore default configuration,confirm to continue?</source>
        <translation>恢复默认配置将丢失当前配置，确认继续吗？</translation>
    </message>
    <message>
        <source>The current configuration will be lost if use this configuration file,confirm to continue?</source>
        <translation>使用此配置文件将丢失当前配置，确认继续吗？</translation>
    </message>
    <message>
        <source>Tip</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Time:</source>
        <translation>时间：</translation>
    </message>
    <message>
        <source>Log Event:</source>
        <translation>事件记录：</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>邮件</translation>
    </message>
    <message>
        <source>Successfully send email</source>
        <translation>发送邮件成功</translation>
    </message>
    <message>
        <source>It went to the sender address %1.</source>
        <translation>邮件已发往发件人地址 %1。</translation>
    </message>
    <message>
        <source>Send email failed,network error or configure error!</source>
        <translation>发送邮件失败，网络错误或配置错误！</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>System fault disappear</source>
        <translation>系统故障消失</translation>
    </message>
    <message>
        <source>System fault happen</source>
        <translation>系统故障发生</translation>
    </message>
    <message>
        <source>Rectifier fault disappear</source>
        <translation>整流器故障消失</translation>
    </message>
    <message>
        <source>Rectifier fault happen</source>
        <translation>整流器故障发生</translation>
    </message>
    <message>
        <source>Bus fault disappear</source>
        <translation>母线故障消失</translation>
    </message>
    <message>
        <source>Bus fault happen</source>
        <translation>母线故障发生</translation>
    </message>
    <message>
        <source>Battery fault disappear</source>
        <translation>电池故障消失</translation>
    </message>
    <message>
        <source>Battery fault happen</source>
        <translation>电池故障发生</translation>
    </message>
    <message>
        <source>Inverter fault disappear</source>
        <translation>逆变器故障消失</translation>
    </message>
    <message>
        <source>Inverter fault happen</source>
        <translation>逆变器故障发生</translation>
    </message>
    <message>
        <source>Output fault disappear</source>
        <translation>输出故障消失</translation>
    </message>
    <message>
        <source>Output fault happen</source>
        <translation>输出故障发生</translation>
    </message>
    <message>
        <source>Charging module fault disappear</source>
        <translation>充电模块故障消失</translation>
    </message>
    <message>
        <source>Charging module fault happen</source>
        <translation>充电模块故障发生</translation>
    </message>
    <message>
        <source>Fan fault disappear</source>
        <translation>风扇故障消失</translation>
    </message>
    <message>
        <source>Fan fault happen</source>
        <translation>风扇故障发生</translation>
    </message>
    <message>
        <source>Fuse fault disappear</source>
        <translation>熔丝故障消失</translation>
    </message>
    <message>
        <source>Fuse fault happen</source>
        <translation>熔丝故障发生</translation>
    </message>
    <message>
        <source>Over temperature disappear</source>
        <translation>过温消失</translation>
    </message>
    <message>
        <source>Over temperature happen</source>
        <translation>过温发生</translation>
    </message>
    <message>
        <source>Input fault disappear</source>
        <translation>输入故障消失</translation>
    </message>
    <message>
        <source>Input fault happen</source>
        <translation>输入故障发生</translation>
    </message>
    <message>
        <source>Bypass fault disappear</source>
        <translation>旁路故障消失</translation>
    </message>
    <message>
        <source>Bypass fault happen</source>
        <translation>旁路故障发生</translation>
    </message>
    <message>
        <source>Output overload disappear</source>
        <translation>输出过载消失</translation>
    </message>
    <message>
        <source>Output overload happen</source>
        <translation>输出过载发生</translation>
    </message>
    <message>
        <source>PV Input fault disappear</source>
        <translation>光伏输入故障消失</translation>
    </message>
    <message>
        <source>PV Input fault happen</source>
        <translation>光伏输入故障发生</translation>
    </message>
    <message>
        <source>PV fault diappear</source>
        <translation>光伏故障消失</translation>
    </message>
    <message>
        <source>PV fault happen</source>
        <translation>光伏故障发生</translation>
    </message>
    <message>
        <source>Battery voltage normal</source>
        <translation>电池电压正常</translation>
    </message>
    <message>
        <source>Battery voltage low</source>
        <translation>电池电压低</translation>
    </message>
    <message>
        <source>Battery voltage depletion disappear</source>
        <translation>电池电压耗尽消失</translation>
    </message>
    <message>
        <source>Battery voltage depletion happen</source>
        <translation>电池电压耗尽发生</translation>
    </message>
    <message>
        <source>Output off disappear</source>
        <translation>输出关闭消失</translation>
    </message>
    <message>
        <source>Output off happen</source>
        <translation>输出关闭发生</translation>
    </message>
    <message>
        <source>Shutdown disappear</source>
        <translation>关机消失</translation>
    </message>
    <message>
        <source>Shutdown happen</source>
        <translation>关机发生</translation>
    </message>
    <message>
        <source>Bypass supply disappear</source>
        <translation>旁路供电消失</translation>
    </message>
    <message>
        <source>Bypass supply happen</source>
        <translation>旁路供电发生</translation>
    </message>
    <message>
        <source>Battery supply disappear</source>
        <translation>电池供电消失</translation>
    </message>
    <message>
        <source>Battery supply happen</source>
        <translation>电池供电发生</translation>
    </message>
    <message>
        <source>Execute closing output disappear</source>
        <translation>执行关闭输出消失</translation>
    </message>
    <message>
        <source>Execute closing output happen</source>
        <translation>执行关闭输出发生</translation>
    </message>
    <message>
        <source>Execute shutdown disappear</source>
        <translation>执行关机消失</translation>
    </message>
    <message>
        <source>Execute shutdown happen</source>
        <translation>执行关机发生</translation>
    </message>
    <message>
        <source>Wait input recovery disappear</source>
        <translation>等待输入恢复消失</translation>
    </message>
    <message>
        <source>Wait input recovery happen</source>
        <translation>等待输入恢复发生</translation>
    </message>
    <message>
        <source>Delay shutdown disappear</source>
        <translation>延时关机消失</translation>
    </message>
    <message>
        <source>Delay shutdown happen</source>
        <translation>延时关机发生</translation>
    </message>
    <message>
        <source>Upcoming shutdown disappear</source>
        <translation>即将关机消失</translation>
    </message>
    <message>
        <source>Upcoming shutdown happen</source>
        <translation>即将关机发生</translation>
    </message>
    <message>
        <source>Test disappear</source>
        <translation>测试消失</translation>
    </message>
    <message>
        <source>Test happen</source>
        <translation>测试发生</translation>
    </message>
    <message>
        <source>Test failure disappear</source>
        <translation>测试失败消失</translation>
    </message>
    <message>
        <source>Test failure happen</source>
        <translation>测试失败发生</translation>
    </message>
    <message>
        <source>Communication  succeed</source>
        <translation>通讯成功</translation>
    </message>
    <message>
        <source>Communication failed</source>
        <translation>通讯失败</translation>
    </message>
    <message>
        <source>Serial port failed to open</source>
        <translation>串口打开失败</translation>
    </message>
    <message>
        <source>This is test SMS!</source>
        <translation>这是测试短信！</translation>
    </message>
    <message>
        <source>This is test Email!</source>
        <translation>这是测试邮件！</translation>
    </message>
    <message>
        <source>Send email success</source>
        <translation>发送邮件成功</translation>
    </message>
    <message>
        <source>Send email fail</source>
        <translation>发送邮件失败</translation>
    </message>
    <message>
        <source>Schedule shut down inverter command</source>
        <translation>定时关闭逆变器命令</translation>
    </message>
    <message>
        <source>Schedule start up inverter command</source>
        <translation>定时开启逆变器命令</translation>
    </message>
    <message>
        <source>Manual bypass on</source>
        <translation>手动旁路开启</translation>
    </message>
    <message>
        <source>Manual bypass off</source>
        <translation>手动旁路关闭</translation>
    </message>
    <message>
        <source>Send battery test one minute command</source>
        <translation>发送电池测试一分钟命令</translation>
    </message>
    <message>
        <source>Send battery low voltage test command</source>
        <translation>发送电池低电压测试命令</translation>
    </message>
    <message>
        <source>Send cancel test command</source>
        <translation>发送取消测试命令</translation>
    </message>
    <message>
        <source>Send countdown to shut down the inverter command</source>
        <translation>发送倒计时关闭逆变器命令</translation>
    </message>
    <message>
        <source>Send delay starting inverter command</source>
        <translation>发送延时开启逆变器命令</translation>
    </message>
    <message>
        <source>Send cancel to Shut down inverter command</source>
        <translation>发送取消关闭逆变器命令</translation>
    </message>
    <message>
        <source>Send  shutting down inverter</source>
        <translation>发送关闭逆变器命令</translation>
    </message>
    <message>
        <source>Send startup command of starting up inverter command</source>
        <translation>发送开启逆变器命令</translation>
    </message>
    <message>
        <source>Send  On Bypassswitch command</source>
        <translation>发送开启旁路开关命令</translation>
    </message>
    <message>
        <source>Send  Off Bypassswitch command</source>
        <translation>发送关闭旁路开关命令</translation>
    </message>
    <message>
        <source>Send  dischargedepth command</source>
        <translation>发送放电深度命令</translation>
    </message>
    <message>
        <source>Input abnormal disappear</source>
        <translation>市电异常消失</translation>
    </message>
    <message>
        <source>Input abnormal appear</source>
        <translation>市电异常发生</translation>
    </message>
    <message>
        <source>Input volt abnormal disappear</source>
        <translation>市电电压异常消失</translation>
    </message>
    <message>
        <source>Input volt abnormal appear</source>
        <translation>市电电压异常发生</translation>
    </message>
    <message>
        <source>Input freq abnormal disappear</source>
        <translation>市电频率异常消失</translation>
    </message>
    <message>
        <source>Input freq abnormal appear</source>
        <translation>市电频率异常发生</translation>
    </message>
    <message>
        <source>Batt low volt disappear</source>
        <translation>电池电压低消失</translation>
    </message>
    <message>
        <source>Batt low volt appear</source>
        <translation>电池电压低发生</translation>
    </message>
    <message>
        <source>Batt discharge end disappear</source>
        <translation>电池放电终止消失</translation>
    </message>
    <message>
        <source>Batt discharge end appear</source>
        <translation>电池放电终止发生</translation>
    </message>
    <message>
        <source>Batt volt abnormal disappear</source>
        <translation>电池电压异常消失</translation>
    </message>
    <message>
        <source>Batt volt abnormal appear</source>
        <translation>电池电压异常发生</translation>
    </message>
    <message>
        <source>System fault appear</source>
        <translation>系统故障发生</translation>
    </message>
    <message>
        <source>BUS volt high disappear</source>
        <translation>母线电压高消失</translation>
    </message>
    <message>
        <source>BUS volt high appear</source>
        <translation>母线电压高发生</translation>
    </message>
    <message>
        <source>Inverter fault appear</source>
        <translation>逆变器故障发生</translation>
    </message>
    <message>
        <source>Inverter soft start timeout disappear</source>
        <translation>逆变器软启动超时消失</translation>
    </message>
    <message>
        <source>Inverter soft start timeout appear</source>
        <translation>逆变器软启动超时发生</translation>
    </message>
    <message>
        <source>Inverter over temp disappear</source>
        <translation>逆变器过温消失</translation>
    </message>
    <message>
        <source>Inverter over temp appear</source>
        <translation>逆变器过温发生</translation>
    </message>
    <message>
        <source>Inverter volt high disappear</source>
        <translation>逆变器电压高消失</translation>
    </message>
    <message>
        <source>Inverter volt high appear</source>
        <translation>逆变器电压高发生</translation>
    </message>
    <message>
        <source>Inverter volt low disappear</source>
        <translation>逆变器电压低消失</translation>
    </message>
    <message>
        <source>Inverter volt low appear</source>
        <translation>逆变器电压低发生</translation>
    </message>
    <message>
        <source>Output short circuit disappear</source>
        <translation>输出短路消失</translation>
    </message>
    <message>
        <source>Output short circuit appear</source>
        <translation>输出短路发生</translation>
    </message>
    <message>
        <source>Over load fault disappear</source>
        <translation>过载故障消失</translation>
    </message>
    <message>
        <source>Over load fault appear</source>
        <translation>过载故障发生</translation>
    </message>
    <message>
        <source>Over load timeout disappear</source>
        <translation>过载超时消失</translation>
    </message>
    <message>
        <source>Over load timeout appear</source>
        <translation>过载超时发生</translation>
    </message>
    <message>
        <source>System overtemp fault disappear</source>
        <translation>系统过温故障消失</translation>
    </message>
    <message>
        <source>System overtemp fault appear</source>
        <translation>系统过温故障发生</translation>
    </message>
    <message>
        <source>Output over volt disappear</source>
        <translation>输出过压消失</translation>
    </message>
    <message>
        <source>Output over volt appear</source>
        <translation>输出过压发生</translation>
    </message>
    <message>
        <source>Output over current disappear</source>
        <translation>输出过流消失</translation>
    </message>
    <message>
        <source>Output over current appear</source>
        <translation>输出过流发生</translation>
    </message>
    <message>
        <source>PV owe volt disappear</source>
        <translation>光伏欠压消失</translation>
    </message>
    <message>
        <source>PV owe volt appear</source>
        <translation>光伏欠压发生</translation>
    </message>
    <message>
        <source>PV over volt disappear</source>
        <translation>光伏过压消失</translation>
    </message>
    <message>
        <source>PV over volt appear</source>
        <translation>光伏过压发生</translation>
    </message>
    <message>
        <source>BUS fault disappear</source>
        <translation>母线故障消失</translation>
    </message>
    <message>
        <source>BUS fault appear</source>
        <translation>母线故障发生</translation>
    </message>
    <message>
        <source>Batt fault disappear</source>
        <translation>电池故障消失</translation>
    </message>
    <message>
        <source>Batt fault appear</source>
        <translation>电池故障发生</translation>
    </message>
    <message>
        <source>Reserved0</source>
        <translation>保留0</translation>
    </message>
    <message>
        <source>Reserved1</source>
        <translation>保留1</translation>
    </message>
    <message>
        <source>Reserved2</source>
        <translation>保留2</translation>
    </message>
    <message>
        <source>Reserved3</source>
        <translation>保留3</translation>
    </message>
    <message>
        <source>Reserved4</source>
        <translation>保留4</translation>
    </message>
    <message>
        <source>Reserved5</source>
        <translation>保留5</translation>
    </message>
    <message>
        <source>Reserved6</source>
        <translation>保留6</translation>
    </message>
    <message>
        <source>Reserved7</source>
        <translation>保留7</translation>
    </message>
    <message>
        <source>Reserved8</source>
        <translation>保留8</translation>
    </message>
    <message>
        <source>Reserved9</source>
        <translation>保留9</translation>
    </message>
    <message>
        <source>Send turn on inverter command</source>
        <translation>发送开机命令</translation>
    </message>
    <message>
        <source>Send turn off inverter command</source>
        <translation>发送关机命令</translation>
    </message>
    <message>
        <source>Send cancel alarm voice command</source>
        <translation>发送消除告警声音命令</translation>
    </message>
    <message>
        <source>Send clear total gen command</source>
        <translation>发送清除总发电量命令</translation>
    </message>
    <message>
        <source>Day Report</source>
        <translation>日报表</translation>
    </message>
    <message>
        <source>Month Report</source>
        <translation>月报表</translation>
    </message>
    <message>
        <source>Year Report</source>
        <translation>年报表</translation>
    </message>
    <message>
        <source>d:</source>
        <translation>天</translation>
    </message>
</context>
<context>
    <name>qmlobject</name>
    <message>
        <source>DateTime</source>
        <translation>日期时间</translation>
    </message>
    <message>
        <source>Event Description</source>
        <translation>事件描述</translation>
    </message>
    <message>
        <source>BatteryDischageTime</source>
        <translation>电池放电时间</translation>
    </message>
    <message>
        <source>BatteryRemainTime</source>
        <translation>电池剩余时间</translation>
    </message>
    <message>
        <source>BatteryRemmainCap</source>
        <translation>电池剩余容量</translation>
    </message>
    <message>
        <source>BatteryVolt(V)</source>
        <translation>电池电压(V)</translation>
    </message>
    <message>
        <source>BatteryCurr(A)</source>
        <translation>电池电流(A)</translation>
    </message>
    <message>
        <source>BatteryTemp(C)</source>
        <translation>电池温度(C)</translation>
    </message>
    <message>
        <source>InputPowerFac</source>
        <translation>输入功率因数</translation>
    </message>
    <message>
        <source>InputGenC(KW)</source>
        <translation>输入发电量(KW)</translation>
    </message>
    <message>
        <source>InputFreq(Hz)</source>
        <translation>输入频率(Hz)</translation>
    </message>
    <message>
        <source>InputVolt(V)</source>
        <translation>输入电压(V)</translation>
    </message>
    <message>
        <source>InputCurr(A)</source>
        <translation>输入电流(A)</translation>
    </message>
    <message>
        <source>InputActPower(KW)</source>
        <translation>输入有功功率(KW)</translation>
    </message>
    <message>
        <source>InputAppPower(KVA)</source>
        <translation>输入视在功率(KVA)</translation>
    </message>
    <message>
        <source>InputWattPower(KVar)</source>
        <translation>输入无功功率(KVar)</translation>
    </message>
    <message>
        <source>OutputFrq(HZ)</source>
        <translation>输出频率(Hz)</translation>
    </message>
    <message>
        <source>OutputPowerFac</source>
        <translation>输出功率因数</translation>
    </message>
    <message>
        <source>OutputGen(KW)</source>
        <translation>输出发电量(KW)</translation>
    </message>
    <message>
        <source>OutputVolt(V)</source>
        <translation>输出电压(V)</translation>
    </message>
    <message>
        <source>OutputCurr(A)</source>
        <translation>输出电流(A)</translation>
    </message>
    <message>
        <source>OutputActivePower(KW)</source>
        <translation>输出有功功率(KW)</translation>
    </message>
    <message>
        <source>OutputAppPower(KVA)</source>
        <translation>输出视在功率(KVA)</translation>
    </message>
    <message>
        <source>OutputWattPower(KVar)</source>
        <translation>输出无功功率(KVar)</translation>
    </message>
    <message>
        <source>OutputLoadPercent(%)</source>
        <translation>输出负载(%)</translation>
    </message>
    <message>
        <source>BypassFreq(Hz)</source>
        <translation>旁路频率(Hz)</translation>
    </message>
    <message>
        <source>BypassVol(V)</source>
        <translation>旁路电压(V)</translation>
    </message>
    <message>
        <source>BypassCurr(A)</source>
        <translation>旁路电流(A)</translation>
    </message>
    <message>
        <source>BypassActPower(KW)</source>
        <translation>旁路有功功率(KW)</translation>
    </message>
    <message>
        <source>PVVolt(V)</source>
        <translation>PV电压(V)</translation>
    </message>
    <message>
        <source>PVCurr(A)</source>
        <translation>PV电流(A)</translation>
    </message>
    <message>
        <source>PVPower(KW)</source>
        <translation>PV功率(KW)</translation>
    </message>
    <message>
        <source>PVDayGen(KWH)</source>
        <translation>PV日发电量(KWH)</translation>
    </message>
    <message>
        <source>PVTotalGen(KWH)</source>
        <translation>PV总发电量(KWH)</translation>
    </message>
    <message>
        <source>BypVolt(V)</source>
        <translation>旁路电压(V)</translation>
    </message>
    <message>
        <source>BypFreq(Hz)</source>
        <translation>旁路频率(Hz)</translation>
    </message>
    <message>
        <source>OutputFreq(Hz)</source>
        <translation>输出频率(Hz)</translation>
    </message>
    <message>
        <source>OutputActivePower(W)</source>
        <translation>输出有功功率(W)</translation>
    </message>
    <message>
        <source>OutputApparentPower(VA)</source>
        <translation>输出视在功率(VA)</translation>
    </message>
    <message>
        <source>OutputPowerFactor</source>
        <translation>输出功率因数</translation>
    </message>
    <message>
        <source>MachineTemp</source>
        <translation>机内温度</translation>
    </message>
    <message>
        <source>BattVolt(V)</source>
        <translation>电池电压(V)</translation>
    </message>
    <message>
        <source>BattRemainCap</source>
        <translation>电池剩余容量</translation>
    </message>
    <message>
        <source>PVPower(W)</source>
        <translation>PV功率(W)</translation>
    </message>
    <message>
        <source>OutputFrq(Hz)</source>
        <translation>输出频率(Hz)</translation>
    </message>
    <message>
        <source>OutputApparentPower(W)</source>
        <translation>输出视在功率(W)</translation>
    </message>
    <message>
        <source>BatteryDischageTime(M)</source>
        <translation>电池放电时间(M)</translation>
    </message>
    <message>
        <source>BatteryRemainTime(M)</source>
        <translation>电池剩余时间(M)</translation>
    </message>
    <message>
        <source>BatteryRemmainCap(%)</source>
        <translation>电池剩余容量(%)</translation>
    </message>
    <message>
        <source>InputGen(KWH)</source>
        <translation>输入发电量(KWH)</translation>
    </message>
    <message>
        <source>InputFreq(HZ)</source>
        <translation>输入频率(HZ)</translation>
    </message>
    <message>
        <source>OutputGen(KWH)</source>
        <translation>输出发电量(KWH)</translation>
    </message>
    <message>
        <source>BypassFreq(HZ)</source>
        <translation>旁路频率(HZ)</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>日期</translation>
    </message>
    <message>
        <source>Power(W)</source>
        <translation>功率(W)</translation>
    </message>
    <message>
        <source>Power(KW)</source>
        <translation>功率(KW)</translation>
    </message>
    <message>
        <source>Gen(KWH)</source>
        <translation>发电量(KWH)</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>描述</translation>
    </message>
    <message>
        <source>phone</source>
        <translation>手机号码</translation>
    </message>
    <message>
        <source>event</source>
        <translation>事件描述</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>另存为</translation>
    </message>
    <message>
        <source>History</source>
        <translation>历史记录</translation>
    </message>
    <message>
        <source>The history file %1 could not be deleted: %2</source>
        <translation>历史文件 %1 无法删除：%2</translation>
    </message>
    <message>
        <source>The CSV file %1 could not be written: %2</source>
        <translation>CSV 文件 %1 无法写入：%2</translation>
    </message>
    <message>
        <source>The history file could not be read to its end.</source>
        <translation>历史文件未能完整读取。</translation>
    </message>
    <message>
        <source>The CSV file %1 was not written: %2.</source>
        <translation>CSV 文件 %1 未写入：%2。</translation>
    </message>
    <message>
        <source>Nothing was exported: the history file %1 is in use by another program (%2). Try again in a moment.</source>
        <translation>未导出任何内容：历史文件 %1 正被其他程序占用（%2），请稍后再试。</translation>
    </message>
    <message>
        <source>Nothing was exported: the history file %1 could not be read: %2</source>
        <translation>未导出任何内容：历史文件 %1 无法读取：%2</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>它不是普通文件</translation>
    </message>
    <message>
        <source>it is the history file being exported</source>
        <translation>它就是正在导出的历史文件</translation>
    </message>
    <message>
        <source>it is a database file, not a CSV file</source>
        <translation>它是数据库文件，不是 CSV 文件</translation>
    </message>
    <message>
        <source>CSV File(*.csv)</source>
        <translation>CSV 文件(*.csv)</translation>
    </message>
    <message>
        <source>Saved 1 row to %1.</source>
        <translation>已将 1 行保存到 %1。</translation>
    </message>
    <message>
        <source>Saved %1 rows to %2.</source>
        <translation>已将 %1 行保存到 %2。</translation>
    </message>
</context>
<context>
    <name>Smtp</name>
    <message>
        <source>Date</source>
        <translation>日期</translation>
    </message>
    <message>
        <source>Gen</source>
        <translation>发电量</translation>
    </message>
</context>
<context>
    <name>email_thread</name>
    <message>
        <source>Time:</source>
        <translation>时间：</translation>
    </message>
    <message>
        <source>Log Event:</source>
        <translation>事件记录：</translation>
    </message>
    <message>
        <source>Event code %1</source>
        <translation>事件代码 %1</translation>
    </message>
</context>
</TS>
