<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Annotation</name>
    <message>
        <source>画笔</source>
        <translation>Pen</translation>
    </message>
    <message>
        <source>箭头</source>
        <translation>Arrow</translation>
    </message>
    <message>
        <source>直线</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>矩形</source>
        <translation>Rectangle</translation>
    </message>
    <message>
        <source>椭圆</source>
        <translation>Ellipse</translation>
    </message>
    <message>
        <source>文字</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>步骤编号</source>
        <translation>Numbered step</translation>
    </message>
    <message>
        <source>荧光笔</source>
        <translation>Marker</translation>
    </message>
    <message>
        <source>马赛克</source>
        <translation>Pixelate</translation>
    </message>
    <message>
        <source>涂黑</source>
        <translation>Redact</translation>
    </message>
    <message>
        <source>颜色 %1</source>
        <translation>Colour %1</translation>
    </message>
    <message>
        <source>中键拖动：移动&#x3000;D：删除&#x3000;Ctrl+Z / Ctrl+Y：撤销 / 重做&#x3000;Ctrl+R：上次的区域&#x3000;F：钉在屏幕上&#x3000;O：识别文字</source>
        <translation>Middle drag: move   D: delete   Ctrl+Z / Ctrl+Y: undo / redo   Ctrl+R: last region   F: pin to screen   O: capture text</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>选项“--edit”后面要有图片文件</source>
        <translation>option &apos;--edit&apos; needs a picture file</translation>
    </message>
    <message>
        <source>一次只能编辑一张图片</source>
        <translation>one picture at a time can be edited</translation>
    </message>
    <message>
        <source>选项“--edit”不能与“--capture”同用</source>
        <translation>option &apos;--edit&apos; does not go with &apos;--capture&apos;</translation>
    </message>
    <message>
        <source>未知的捕获方式“%1”（可用 desktop、window、magnifier、text 或 last-region）</source>
        <translation>unknown capture mode &apos;%1&apos; (desktop, window, magnifier, text or last-region)</translation>
    </message>
    <message>
        <source>选项“--delay”后面要有秒数</source>
        <translation>option &apos;--delay&apos; needs a number of seconds</translation>
    </message>
    <message>
        <source>“--delay %1”：秒数应在 0 到 %2 之间</source>
        <translation>&apos;--delay %1&apos;: seconds from 0 to %2</translation>
    </message>
    <message>
        <source>选项“%1”不带值</source>
        <translation>option &apos;%1&apos; takes no value</translation>
    </message>
    <message>
        <source>未知的选项“%1”</source>
        <translation>unknown option &apos;%1&apos;</translation>
    </message>
    <message>
        <source>选项“--delay”要与“--capture”同用</source>
        <translation>option &apos;--delay&apos; goes with &apos;--capture&apos;</translation>
    </message>
    <message>
        <source>；请参阅“vexmor --help”</source>
        <translation>; see &apos;vexmor --help&apos;</translation>
    </message>
    <message>
        <source>选项“--pin”要与“--capture”同用</source>
        <translation>option &apos;--pin&apos; goes with &apos;--capture&apos;</translation>
    </message>
    <message>
        <source>用法：vexmor [选项]... [/tray]
冻结屏幕，圈出要留下的部分；平时在托盘中等候。

  --capture[=方式]   立即捕获：desktop（整个桌面，默认）、window（活动窗口
                     的区域）、magnifier（放大镜）、text（识别所选区域的
                     文字并复制）或 last-region（不经覆盖层再取上次的区
                     域）；已在运行的副本执行它，或确认它已打开的捕获
  --delay 秒数       与 --capture 同用：先等待（0 到 3600 秒；新的请求取代
                     等候中的请求）
  --edit 文件        在覆盖层中打开图片，像捕获一样圈选、画笔和标注；
                     原文件不会被覆盖
  --edit-clipboard   同上，打开剪贴板中的图片
  --pin              与 --capture 同用：确认后把捕获钉在屏幕上原来的位置
  --settings         显示设置
  --history          显示历史：保存下来的捕获
  --tray, /tray      安静地启动到托盘
  --help             显示本帮助并退出
  --version          显示版本并退出

不带选项时，Vexmor 立即捕获，或把已在运行的副本带到前面。
桌面自己占用 Print Screen 键时，请在桌面的键盘设置中把
“vexmor --capture”绑定到一个键。
</source>
        <translation>Usage: vexmor [OPTION]... [/tray]
Freezes the screens and lets you outline what to keep; waits in the tray.

  --capture[=MODE]   capture now: desktop (the default), window (the active window&apos;s area)
                     magnifier, text (the selection&apos;s text recognised and copied), or
                     last-region (the last capture&apos;s region again, without the overlay); a
                     copy already running does it, or confirms the capture it has open
  --delay SECONDS    with --capture: wait first (0 to 3600; a new request replaces a
                     pending one)
  --edit FILE        open a picture in the overlay to select, ink and annotate it as a
                     capture; the original file is never overwritten
  --edit-clipboard   the same with the clipboard&apos;s picture
  --pin              with --capture: pin the confirmed capture to the screen where it was
                     taken
  --settings         show the settings
  --history          show the history: the captures kept
  --tray, /tray      start quietly in the tray
  --help             show this help and exit
  --version          show the version and exit

Without options Vexmor captures at once, or brings a running copy forward.
Bind &apos;vexmor --capture&apos; to a key in your desktop&apos;s keyboard settings where the desktop
keeps Print Screen for itself.
</translation>
    </message>
</context>
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
    <name>HotKeys</name>
    <message>
        <source>以下热键已被其他程序占用：%1。可在桌面的键盘设置中把 %2 绑定到一个键。</source>
        <translation>These hot keys are taken by another program: %1. You can bind %2 to a key in the desktop&apos;s keyboard settings.</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>桌面自己保留了以下热键：%1。可在桌面的键盘设置中把 %2 绑定到一个键。</source>
        <translation>The desktop keeps these hot keys for itself: %1. Bind %2 to a key in the desktop&apos;s keyboard settings.</translation>
    </message>
    <message>
        <source>%3 自己保留了以下热键：%1。可在 %3 的键盘设置中把 %2 绑定到一个键。</source>
        <translation>%3 keeps these hot keys for itself: %1. Bind %2 to a key in the keyboard settings of %3.</translation>
    </message>
</context>
<context>
    <name>Input</name>
    <message>
        <source>无法捕获屏幕：%1</source>
        <translation>Cannot capture the screen: %1</translation>
    </message>
    <message>
        <source>屏幕捕获覆盖</source>
        <translation>Screen capture overlay</translation>
    </message>
</context>
<context>
    <name>KWinScreenShot</name>
    <message>
        <source>KWin 没有给出屏幕截图：%1</source>
        <translation>KWin gave no screenshot: %1</translation>
    </message>
    <message>
        <source>KWin 给出的屏幕截图不完整或无法读取</source>
        <translation>The screenshot KWin gave is incomplete or unreadable</translation>
    </message>
    <message>
        <source>会话总线不能传递文件描述符</source>
        <translation>the session bus cannot pass file descriptors</translation>
    </message>
    <message>
        <source>KWin 不单独提供鼠标指针图像</source>
        <translation>KWin gives no separate picture of the pointer</translation>
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
    <name>PictureEdit</name>
    <message>
        <source>图片太大（%1 × %2 像素；最多 %3 百万像素）</source>
        <translation>the picture is too large (%1 × %2 pixels; at most %3 megapixels)</translation>
    </message>
    <message>
        <source>无法打开图片“%1”：%2</source>
        <translation>Cannot open the picture &apos;%1&apos;: %2</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>the file does not exist</translation>
    </message>
    <message>
        <source>无法读取该文件</source>
        <translation>the file cannot be read</translation>
    </message>
    <message>
        <source>不是可以打开的图片</source>
        <translation>it is not a picture that can be opened</translation>
    </message>
    <message>
        <source>图片已损坏（%1）</source>
        <translation>the picture is damaged (%1)</translation>
    </message>
    <message>
        <source>剪贴板中没有图片</source>
        <translation>the clipboard holds no picture</translation>
    </message>
    <message>
        <source>剪贴板</source>
        <translation>the clipboard</translation>
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
        <source>桌面门户在回应屏幕截图请求之前退出了</source>
        <translation>the desktop portal quit before it answered the screenshot request</translation>
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
    <message>
        <source>桌面门户要把截图存入图片文件夹 %1，但它不存在，也无法创建</source>
        <translation>The desktop portal saves its screenshot in the pictures folder %1, which is missing and could not be created</translation>
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
    <name>Startup</name>
    <message>
        <source>Vexmor需要运行于Windows XP或更高的系统。</source>
        <translation>Vexmor needs an X11 or Wayland desktop to run.</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Vexmor无法启动：没有只属于当前用户的文件夹来存放它的套接字（%1）。</source>
        <translation>Vexmor cannot start: there is no folder of the current user alone for its socket (%1).</translation>
    </message>
</context>
<context>
    <name>TColorBox</name>
    <message>
        <source>黑色</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>褐红色</source>
        <translation>Maroon</translation>
    </message>
    <message>
        <source>绿色</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>橄榄色</source>
        <translation>Olive</translation>
    </message>
    <message>
        <source>藏青色</source>
        <translation>Navy</translation>
    </message>
    <message>
        <source>紫色</source>
        <translation>Purple</translation>
    </message>
    <message>
        <source>蓝绿色</source>
        <translation>Teal</translation>
    </message>
    <message>
        <source>灰色</source>
        <translation>Gray</translation>
    </message>
    <message>
        <source>银色</source>
        <translation>Silver</translation>
    </message>
    <message>
        <source>红色</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>酸橙色</source>
        <translation>Lime</translation>
    </message>
    <message>
        <source>黄色</source>
        <translation>Yellow</translation>
    </message>
    <message>
        <source>蓝色</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>紫红色</source>
        <translation>Fuchsia</translation>
    </message>
    <message>
        <source>浅绿色</source>
        <translation>Aqua</translation>
    </message>
    <message>
        <source>白色</source>
        <translation>White</translation>
    </message>
    <message>
        <source>美元绿</source>
        <translation>Money Green</translation>
    </message>
    <message>
        <source>天蓝色</source>
        <translation>Sky Blue</translation>
    </message>
    <message>
        <source>奶油色</source>
        <translation>Cream</translation>
    </message>
    <message>
        <source>中灰色</source>
        <translation>Medium Gray</translation>
    </message>
    <message>
        <source>滚动条</source>
        <translation>Scroll Bar</translation>
    </message>
    <message>
        <source>桌面</source>
        <translation>Desktop</translation>
    </message>
    <message>
        <source>活动标题栏</source>
        <translation>Active Title Bar</translation>
    </message>
    <message>
        <source>非活动标题栏</source>
        <translation>Inactive Title Bar</translation>
    </message>
    <message>
        <source>菜单</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>窗口背景</source>
        <translation>Window Background</translation>
    </message>
    <message>
        <source>窗口边框</source>
        <translation>Window Frame</translation>
    </message>
    <message>
        <source>菜单文本</source>
        <translation>Menu Text</translation>
    </message>
    <message>
        <source>窗口文本</source>
        <translation>Window Text</translation>
    </message>
    <message>
        <source>标题文本</source>
        <translation>Title Text</translation>
    </message>
    <message>
        <source>活动边框</source>
        <translation>Active Border</translation>
    </message>
    <message>
        <source>非活动边框</source>
        <translation>Inactive Border</translation>
    </message>
    <message>
        <source>应用程序工作区</source>
        <translation>Application Workspace</translation>
    </message>
    <message>
        <source>突出显示</source>
        <translation>Highlight</translation>
    </message>
    <message>
        <source>突出显示文本</source>
        <translation>Highlighted Text</translation>
    </message>
    <message>
        <source>按钮表面</source>
        <translation>Button Face</translation>
    </message>
    <message>
        <source>按钮阴影</source>
        <translation>Button Shadow</translation>
    </message>
    <message>
        <source>灰色文本</source>
        <translation>Grayed Text</translation>
    </message>
    <message>
        <source>按钮文本</source>
        <translation>Button Text</translation>
    </message>
    <message>
        <source>非活动标题文本</source>
        <translation>Inactive Title Text</translation>
    </message>
    <message>
        <source>按钮高光</source>
        <translation>Button Highlight</translation>
    </message>
    <message>
        <source>三维深阴影</source>
        <translation>3D Dark Shadow</translation>
    </message>
    <message>
        <source>三维亮色</source>
        <translation>3D Light</translation>
    </message>
    <message>
        <source>提示文本</source>
        <translation>Tooltip Text</translation>
    </message>
    <message>
        <source>提示背景</source>
        <translation>Tooltip Background</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>自定义...</source>
        <translation>Custom...</translation>
    </message>
    <message>
        <source>颜色</source>
        <translation>Color</translation>
    </message>
</context>
<context>
    <name>THotKeyEdit</name>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
</context>
<context>
    <name>TPinBoard</name>
    <message>
        <source>复制(&amp;C)</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>保存为(&amp;S)...</source>
        <translation>&amp;Save As...</translation>
    </message>
    <message>
        <source>在主窗口中打开(&amp;O)</source>
        <translation>&amp;Open in the main window</translation>
    </message>
    <message>
        <source>关闭(&amp;L)</source>
        <translation>C&amp;lose</translation>
    </message>
</context>
<context>
    <name>TPinWindow</name>
    <message>
        <source>钉图 - Vexmor</source>
        <translation>Pin - Vexmor</translation>
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
        <source>WebP图像(*.webp)</source>
        <translation>WebP image (*.webp)</translation>
    </message>
    <message>
        <source>AVIF图像(*.avif)</source>
        <translation>AVIF image (*.avif)</translation>
    </message>
    <message>
        <source>保存为</source>
        <translation>Save As</translation>
    </message>
</context>
<context>
    <name>TTextCapture</name>
    <message>
        <source>英文</source>
        <translation>English</translation>
    </message>
    <message>
        <source>简体中文</source>
        <translation>Simplified Chinese</translation>
    </message>
    <message>
        <source>繁体中文</source>
        <translation>Traditional Chinese</translation>
    </message>
    <message>
        <source>全部（%1）</source>
        <translation>All (%1)</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>文字识别失败：内存不足。</source>
        <translation>Text recognition failed: out of memory.</translation>
    </message>
    <message>
        <source>没有可用的文字识别语言数据（请安装 tesseract-ocr-eng 或 tesseract-ocr-chi-sim）。</source>
        <translation>No language data for text recognition is installed (install tesseract-ocr-eng or tesseract-ocr-chi-sim).</translation>
    </message>
    <message>
        <source>无法载入文字识别模块：%1</source>
        <translation>The text recognition module cannot be loaded: %1</translation>
    </message>
</context>
<context>
    <name>TTextResultWindow</name>
    <message>
        <source>所选区域中没有找到文字。剪贴板未改变。</source>
        <translation>No text was found in the selection. The clipboard is unchanged.</translation>
    </message>
</context>
<context>
    <name>TVexmorMainForm</name>
    <message>
        <source>桌面会先询问是否允许 Vexmor 截取屏幕。请在桌面的对话框中选择“允许”，以后的捕获不再询问。</source>
        <translation>The desktop will first ask whether Vexmor may take screenshots. Choose “Allow” in the desktop’s dialog; later captures will not ask again.</translation>
    </message>
    <message>
        <source>请显示画笔选项！</source>
        <translation>SHOW PEN OPTIONS!</translation>
    </message>
    <message>
        <source>保存到桌面(&amp;D)</source>
        <translation>Save to &amp;Desktop</translation>
    </message>
    <message>
        <source>保存为(&amp;S)...</source>
        <translation>&amp;Save As...</translation>
    </message>
    <message>
        <source>通过Email发送(&amp;M)...</source>
        <translation>Send by E-&amp;mail...</translation>
    </message>
    <message>
        <source>编辑(&amp;E)...</source>
        <translation>&amp;Edit...</translation>
    </message>
    <message>
        <source>打印(&amp;P)...</source>
        <translation>&amp;Print...</translation>
    </message>
    <message>
        <source>保存到剪贴板(&amp;C)</source>
        <translation>&amp;Copy to Clipboard</translation>
    </message>
    <message>
        <source>抛弃(&amp;R)</source>
        <translation>Disca&amp;rd</translation>
    </message>
    <message>
        <source>立即捕获屏幕</source>
        <translation>Capture now</translation>
    </message>
    <message>
        <source>5秒后捕获屏幕</source>
        <translation>Capture in 5 seconds</translation>
    </message>
    <message>
        <source>重复上次区域</source>
        <translation>Capture last region</translation>
    </message>
    <message>
        <source>30秒后捕获屏幕</source>
        <translation>Capture in 30 seconds</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Vexmor (满)</source>
        <translation>Vexmor (holding a capture)</translation>
    </message>
    <message>
        <source>Vexmor (空)</source>
        <translation>Vexmor (no capture)</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Success</translation>
    </message>
    <message>
        <source>在设置选项卡定义标注画笔颜色。</source>
        <translation>Set the annotation pen color on the Settings tab.</translation>
    </message>
    <message>
        <source>版本 </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>JPG质量(%1)</source>
        <translation>JPG quality (%1)</translation>
    </message>
    <message>
        <source>缩放比例(%1%)</source>
        <translation>Scale (%1%)</translation>
    </message>
    <message>
        <source>复制(&amp;C)</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>删除(&amp;D)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>还没有保存的捕获。确认的每一次捕获都会保存在这里。</source>
        <translation>No captures kept yet. Every capture you confirm is kept here.</translation>
    </message>
    <message>
        <source>无法读取这个捕获：%1</source>
        <translation>This capture cannot be read: %1</translation>
    </message>
    <message>
        <source>钉在屏幕上(&amp;N)</source>
        <translation>Pi&amp;n to screen</translation>
    </message>
    <message>
        <source>识别文字</source>
        <translation>Capture text</translation>
    </message>
</context>
<context>
    <name>TextResultWindow</name>
    <message>
        <source>识别文字</source>
        <translation>Capture text</translation>
    </message>
    <message>
        <source>正在识别文字…</source>
        <translation>Recognising text…</translation>
    </message>
    <message>
        <source>保存图片</source>
        <translation>Save picture</translation>
    </message>
    <message>
        <source>语言：</source>
        <translation>Language:</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>VexmorMainForm</name>
    <message>
        <source>捕获</source>
        <translation>Capture</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>注&#x3000;释</source>
        <translation>Comment</translation>
    </message>
    <message>
        <source>保存到桌面(&amp;D)</source>
        <translation>Save to &amp;Desktop</translation>
    </message>
    <message>
        <source>保存为(&amp;S)...</source>
        <translation>&amp;Save As...</translation>
    </message>
    <message>
        <source>通过Email发送(&amp;M)...</source>
        <translation>Send by E-&amp;mail...</translation>
    </message>
    <message>
        <source>编辑(&amp;E)...</source>
        <translation>&amp;Edit...</translation>
    </message>
    <message>
        <source>打印(&amp;P)...</source>
        <translation>&amp;Print...</translation>
    </message>
    <message>
        <source>保存到剪贴板(&amp;C)</source>
        <translation>&amp;Copy to Clipboard</translation>
    </message>
    <message>
        <source>抛弃(&amp;R)</source>
        <translation>Disca&amp;rd</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>快捷键</source>
        <translation>Hot key</translation>
    </message>
    <message>
        <source>Prt Scr键</source>
        <translation>Print Screen</translation>
    </message>
    <message>
        <source>Ctrl + Prt Scr键</source>
        <translation>Ctrl + Print Screen</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>捕获后</source>
        <translation>After capture</translation>
    </message>
    <message>
        <source>弹出保存窗口</source>
        <translation>Show the save window</translation>
    </message>
    <message>
        <source>自动保存到桌面</source>
        <translation>Save to desktop</translation>
    </message>
    <message>
        <source>自动打开进行编辑</source>
        <translation>Open in the editor</translation>
    </message>
    <message>
        <source>自动复制到剪贴板</source>
        <translation>Copy to clipboard</translation>
    </message>
    <message>
        <source>操作完成后抛弃捕获内容</source>
        <translation>Discard the capture after use</translation>
    </message>
    <message>
        <source>自动设置文件名和注释</source>
        <translation>Fill in file name and comment</translation>
    </message>
    <message>
        <source>捕获鼠标指针</source>
        <translation>Capture the mouse pointer</translation>
    </message>
    <message>
        <source>随Windows自动启动</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>目标图像</source>
        <translation>Output image</translation>
    </message>
    <message>
        <source>格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>JPG质量</source>
        <translation>JPG quality</translation>
    </message>
    <message>
        <source>JPEG、WebP和AVIF的质量；100时WebP和AVIF无损</source>
        <translation>Quality of JPEG, WebP and AVIF; at 100, WebP and AVIF are lossless</translation>
    </message>
    <message>
        <source>编辑格式</source>
        <translation>Edit format</translation>
    </message>
    <message>
        <source>透明PNG图像</source>
        <translation>Transparent PNG</translation>
    </message>
    <message>
        <source>自由形状的选区外透明，PNG、WebP和AVIF均适用</source>
        <translation>Transparent outside a free-form selection, in PNG, WebP and AVIF</translation>
    </message>
    <message>
        <source>缩放</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>画笔</source>
        <translation>Pen</translation>
    </message>
    <message>
        <source>画笔颜色</source>
        <translation>Pen color</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>打开Vexmor主页</source>
        <translation>Open the Vexmor home page</translation>
    </message>
    <message>
        <source>Vexmor 屏幕捕获工具，Tolvane 出品</source>
        <translation>Vexmor screen capture, by Tolvane</translation>
    </message>
    <message>
        <source>Vexmor 主页</source>
        <translation>Vexmor home page</translation>
    </message>
    <message>
        <source>使用帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>版本 </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>图标与标志：Vexmor 作者绘制</source>
        <translation>Icons and logo: Vexmor authors</translation>
    </message>
    <message>
        <source>矢量绘图：Anti-Grain Geometry</source>
        <translation>Vector drawing: Anti-Grain Geometry</translation>
    </message>
    <message>
        <source>音效：用 SoX 合成</source>
        <translation>Sounds: synthesized with SoX</translation>
    </message>
    <message>
        <source>自动复制到剪贴板</source>
        <comment>check box: copy every capture</comment>
        <translation>Always copy to clipboard</translation>
    </message>
    <message>
        <source>界面语言</source>
        <translation>Interface language</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>保留历史</source>
        <translation>History to keep</translation>
    </message>
    <message>
        <source>不保留</source>
        <translation>None</translation>
    </message>
    <message>
        <source>历史</source>
        <translation>History</translation>
    </message>
    <message>
        <source>钉在屏幕上(&amp;N)</source>
        <translation>Pi&amp;n to screen</translation>
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
