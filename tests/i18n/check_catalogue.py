#!/usr/bin/python3
# The English catalogue against the sources: lupdate run over the program's folders into a scratch
# copy must find nothing new and nothing gone, every text must have its English, each English text
# keeps its source's place markers (%1, %n) and accelerator letter, and the program's own Chinese texts are
# the sources, exactly as written.
#
#   check_catalogue.py LUPDATE SOURCE_DIR LUPDATE-OPTION...
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

FOLDERS = ["app", "capture", "gfx", "output", "platform", "thumb"]

# Texts the program shows exactly as its designers wrote them. The picture dialog's filter is put
# together from its three descriptions (the patterns are no text); the overlay's caption is the name
# the desktop's tools find it by and is never shown, so it stays as it is in every language.
DESIGN_TEXTS = [
    "30秒后捕获屏幕", "5秒后捕获屏幕", "立即捕获屏幕", "设置", "退出", "Ctrl + Prt Scr键", "Prt Scr键", "自定义",
    "JPG质量", "Vexmor (满)", "Vexmor (空)", "Vexmor捕获",
    "Vexmor需要运行于Windows XP或更高的系统。", "保存为", "保存为(&S)...", "保存到剪贴板(&C)", "保存到桌面(&D)",
    "关于", "在设置选项卡定义标注画笔颜色。", "弹出保存窗口", "快捷键", "成功", "我的视频捕获",
    "打印(&P)...", "抛弃(&R)", "捕获", "捕获后", "捕获鼠标指针", "操作完成后抛弃捕获内容", "文件名",
    "无法保存捕获图像。", "无法找到桌面文件夹。", "格式", "注\u3000释", "版本 ", "画笔", "画笔颜色", "目标图像",
    "编辑(&E)...", "编辑格式", "缩放", "自动保存到桌面", "自动复制到剪贴板", "自动打开进行编辑",
    "自动设置文件名和注释", "请显示画笔选项！", "透明PNG图像", "通过Email发送(&M)...", "错误", "随Windows自动启动",
    "PNG图像(*.png)", "JPEG图像(*.jpg;*.jpeg)", "位图(*.bmp)",
]

MARKERS = re.compile(r"%(?:\d+|n)")


def messages(path):
    out = {}
    for context in ET.parse(path).getroot().findall("context"):
        name = context.findtext("name")
        for m in context.findall("message"):
            comment = m.findtext("comment")
            tr = m.find("translation")
            key = (name, m.findtext("source"), comment)
            out[key] = (tr.text or "", tr.get("type"))
    return out


def accelerator(text):
    """The accelerator's letter, lower case ("&&" is a literal ampersand), or None."""
    found = re.search(r"&(\S)", text.replace("&&", ""))
    return found.group(1).lower() if found else None


def main():
    lupdate, root, options = sys.argv[1], sys.argv[2], sys.argv[3:]
    committed_path = os.path.join(root, "i18n", "vexmor_en.ts")
    committed = messages(committed_path)
    faults = []
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, "vexmor_en.ts")
        shutil.copy(committed_path, copy)
        run = subprocess.run([lupdate, *options, *[os.path.join(root, f) for f in FOLDERS], "-ts", copy],
                             capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stdout, run.stderr)
            return 1
        updated = messages(copy)
    for key in sorted(set(updated) - set(committed), key=str):
        faults.append("a text of the sources is not in the catalogue (ninja update_translations): %r" % (key,))
    for key in sorted(set(committed) - set(updated), key=str):
        faults.append("the catalogue holds a text no source has any more: %r" % (key,))
    for key, (english, kind) in sorted(updated.items(), key=str):
        context, source, _ = key
        if kind in ("unfinished", "vanished", "obsolete") or not english.strip():
            faults.append("no English for %s: %r" % (context, source))
            continue
        if sorted(MARKERS.findall(source)) != sorted(MARKERS.findall(english)):
            faults.append("place markers differ in %s: %r -> %r" % (context, source, english))
        # The same key opens the entry in either language.
        if accelerator(source) != accelerator(english):
            faults.append("accelerator differs in %s: %r -> %r" % (context, source, english))
        if re.search(r"[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]", english):
            faults.append("English with Chinese in it in %s: %r -> %r" % (context, source, english))
    sources = {source for (_, source, _) in updated}
    for text in DESIGN_TEXTS:
        if text not in sources:
            faults.append("the program's text %r is not a source text as written" % text)
    for f in faults:
        print(f)
    print("%d texts, %d faults" % (len(updated), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
