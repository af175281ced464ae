<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Configuration File(*.zip)</source>
        <translation>配置文件(*.zip)</translation>
    </message>
    <message>
        <source>Exit(&amp;Q)</source>
        <translation>退出(Q)</translation>
    </message>
    <message>
        <source>Kestrava</source>
        <translation>Kestrava</translation>
    </message>
    <message>
        <source>Minimize(&amp;N)</source>
        <translation>最小化(N)</translation>
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
        <source>Resume(&amp;R)</source>
        <translation>恢复(R)</translation>
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
</context>
<context>
    <name>QObject</name>
    <message>
        <source>System fault disappear</source>
        <translation>系统故障消失</translation>
    </message>
    <message>
        <source>d:</source>
        <translation>天</translation>
    </message>
</context>
</TS>
