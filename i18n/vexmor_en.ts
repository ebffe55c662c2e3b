<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>VexmorMainForm</name>
    <message>
        <source>Vexmor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>捕获</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>注&#x3000;释</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存到桌面(&amp;D)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存为(&amp;S)...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>通过Email发送(&amp;M)...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>编辑(&amp;E)...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打印(&amp;P)...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存到剪贴板(&amp;C)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>抛弃(&amp;R)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设置</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>快捷键</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Prt Scr键</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl + Prt Scr键</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>自定义</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>捕获后</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>弹出保存窗口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>自动保存到桌面</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>自动打开进行编辑</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>自动复制到剪贴板</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>操作完成后抛弃捕获内容</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>自动设置文件名和注释</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>捕获鼠标指针</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>随Windows自动启动</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>目标图像</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>格式</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PNG</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>JPG</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>BMP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>JPG质量</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>编辑格式</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>透明PNG图像</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>缩放</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>画笔</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>画笔颜色</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>关于</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开Vexmor主页</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Vexmor 屏幕捕获工具，Tolvane 出品</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Vexmor 主页</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>使用帮助</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>版本 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>图标与标志：Vexmor 作者绘制</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>矢量绘图：Anti-Grain Geometry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>音效：用 SoX 合成</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
