<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QObject</name>
    <message>
        <source>System fault disappear</source>
        <translation>系统故障消失</translation>
    </message>
</context>
</TS>
