<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Export</name>
    <message>
        <source>Vexmor捕获</source>
        <translation>Vexmor Capture</translation>
    </message>
    <message>
        <source>我的视频捕获</source>
        <translation>Vexmor Captures</translation>
    </message>
    <message>
        <source>无法保存捕获图像。</source>
        <translation>Cannot save the captured image.</translation>
    </message>
    <message>
        <source>无法找到桌面文件夹。</source>
        <translation>Cannot find the desktop folder.</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>HelpCard</name>
    <message>
        <source>CTRL +</source>
        <translation>CTRL +</translation>
    </message>
    <message>
        <source>SCREEN CAPTURE</source>
        <translation>SCREEN CAPTURE</translation>
    </message>
</context>
<context>
    <name>Input</name>
    <message>
        <source>无法捕获屏幕：%1</source>
        <translation>Cannot capture the screen: %1</translation>
    </message>
</context>
<context>
    <name>OverlayPaint</name>
    <message>
        <source>Ctrl to select</source>
        <translation>Ctrl to select</translation>
    </message>
    <message>
        <source>Color</source>
        <translation>Color</translation>
    </message>
    <message>
        <source>Sel color</source>
        <translation>Sel color</translation>
    </message>
</context>
<context>
    <name>PortalScreenshot</name>
    <message>
        <source>桌面门户拒绝了屏幕截图请求</source>
        <translation>the desktop portal refused the screenshot request</translation>
    </message>
    <message>
        <source>屏幕截图请求已被取消</source>
        <translation>the screenshot request was canceled</translation>
    </message>
    <message>
        <source>桌面门户没有及时回应屏幕截图请求</source>
        <translation>the desktop portal did not answer the screenshot request in time</translation>
    </message>
    <message>
        <source>桌面门户不提供屏幕截图</source>
        <translation>the desktop portal offers no screenshots</translation>
    </message>
    <message>
        <source>桌面门户给出的截图不是本地文件</source>
        <translation>the desktop portal&apos;s screenshot is not a local file</translation>
    </message>
    <message>
        <source>无法读取桌面门户给出的截图</source>
        <translation>cannot read the desktop portal&apos;s screenshot</translation>
    </message>
    <message>
        <source>桌面门户不提供鼠标指针图像</source>
        <translation>the desktop portal offers no picture of the mouse pointer</translation>
    </message>
    <message>
        <source>截取区域为空</source>
        <translation>the capture area is empty</translation>
    </message>
</context>
<context>
    <name>PortalShortcuts</name>
    <message>
        <source>捕获整个桌面</source>
        <translation>Capture the whole desktop</translation>
    </message>
    <message>
        <source>捕获活动窗口</source>
        <translation>Capture the active window</translation>
    </message>
    <message>
        <source>用放大镜捕获</source>
        <translation>Capture with the magnifier</translation>
    </message>
    <message>
        <source>Vexmor 热键 %1</source>
        <translation>Vexmor hot key %1</translation>
    </message>
</context>
<context>
    <name>ScreenGrab</name>
    <message>
        <source>此桌面不提供截取屏幕的方法</source>
        <translation>this desktop offers no way to capture the screen</translation>
    </message>
</context>
<context>
    <name>TSavePictureDialog</name>
    <message>
        <source>PNG图像(*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>JPEG图像(*.jpg;*.jpeg)</source>
        <translation>JPEG image (*.jpg;*.jpeg)</translation>
    </message>
    <message>
        <source>位图(*.bmp)</source>
        <translation>Bitmap (*.bmp)</translation>
    </message>
    <message>
        <source>保存为</source>
        <translation>Save As</translation>
    </message>
</context>
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
<context>
    <name>WaylandGrabber</name>
    <message>
        <source>与 Wayland 混成器的连接已断开</source>
        <translation>the connection to the Wayland compositor was lost</translation>
    </message>
    <message>
        <source>Wayland 混成器不提供屏幕复制接口</source>
        <translation>the Wayland compositor offers no screen copy interface</translation>
    </message>
    <message>
        <source>截取区域为空</source>
        <translation>the capture area is empty</translation>
    </message>
    <message>
        <source>无法为屏幕副本分配共享内存</source>
        <translation>no shared memory for the screen copy</translation>
    </message>
    <message>
        <source>Wayland 混成器没有交出屏幕的副本</source>
        <translation>the Wayland compositor did not hand over a copy of the screen</translation>
    </message>
</context>
<context>
    <name>X11Services</name>
    <message>
        <source>截取区域为空</source>
        <translation>the capture area is empty</translation>
    </message>
    <message>
        <source>X 服务器以大端字节序发送像素，本程序不支持</source>
        <translation>the X server sends pixels in big-endian order, which is not supported</translation>
    </message>
    <message>
        <source>不支持的屏幕色深：%1 位</source>
        <translation>unsupported screen depth: %1 bits</translation>
    </message>
    <message>
        <source>X 服务器没有与屏幕色深相符的像素格式</source>
        <translation>the X server has no pixel format for the screen depth</translation>
    </message>
    <message>
        <source>X 服务器拒绝交出屏幕内容</source>
        <translation>the X server refused to hand out the screen</translation>
    </message>
    <message>
        <source>没有连接到 X11 显示</source>
        <translation>not connected to an X11 display</translation>
    </message>
</context>
</TS>
