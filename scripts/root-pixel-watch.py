#!/usr/bin/env python3
"""Times how long a trigger takes to change what the screen shows, as a user would see it.

Reads one pixel of the root window (what the X server shows there, windows included) in a tight
loop, fires the trigger, and prints the milliseconds until that pixel differs from what it was
before (the frozen, tinted desktop of an overlay, or any other window appearing over it). Then it
waits, up to the time-out, until the pixel is back to its old value (the overlay closed), so that
runs can follow one another.

  root-pixel-watch.py [--at X Y] [--timeout S] [--close KEYSYM] [--until RRGGBB] --run CMD [ARG...]
  root-pixel-watch.py [--at X Y] [--timeout S] [--close KEYSYM] [--until RRGGBB] --key KEYSYM[+KEYSYM...]

--run starts the command (the clock starts just before the fork); --key presses and releases the
keys through the XTEST extension (the clock starts just before the press). --close sends a key once
the change was seen (for example Escape) and waits for the pixel to come back. --until waits instead
for the pixel to show that colour (what a window appearing shows there, when whatever shows first
is something else), and --close then waits for it to show anything else. Prints one number
(milliseconds), or "timeout" and exits 1; with --stamp, the wall-clock time of the change (seconds
since the epoch) follows it on the same line.
"""
import argparse
import ctypes
import ctypes.util
import subprocess
import sys
import time

x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
xtst = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xtst"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]


class XImage(ctypes.Structure):
    # Only the leading fields are read: the data pointer and the f.destroy_image function.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_uint8)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
                ("obdata", ctypes.c_void_p), ("destroy_image", ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p))]


def main():
    parser = argparse.ArgumentParser(add_help=True)
    parser.add_argument("--at", nargs=2, type=int, default=[200, 300])
    parser.add_argument("--timeout", type=float, default=10.0)
    parser.add_argument("--close")
    parser.add_argument("--until")
    parser.add_argument("--stamp", action="store_true")
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--run", nargs=argparse.REMAINDER)
    group.add_argument("--key")
    args = parser.parse_args()

    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("no X display")
    root = x11.XDefaultRootWindow(display)
    x, y = args.at

    def pixel():
        image = x11.XGetImage(display, root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            return None
        img = ctypes.cast(image, ctypes.POINTER(XImage)).contents
        value = bytes(img.data[0:3])
        img.destroy_image(image)
        return value

    def press(keys):
        codes = [x11.XKeysymToKeycode(display, x11.XStringToKeysym(k.encode())) for k in keys.split("+")]
        for c in codes:
            xtst.XTestFakeKeyEvent(display, c, 1, 0)
        for c in reversed(codes):
            xtst.XTestFakeKeyEvent(display, c, 0, 0)
        x11.XFlush(display)

    before = pixel()
    # The X server hands 24-bit pixels over as B, G, R.
    until = bytes.fromhex(args.until)[::-1] if args.until else None
    if until and before == until:
        sys.exit("the pixel shows that colour before the trigger")
    done = (lambda p: p == until) if until else (lambda p: p != before)
    child = None
    start = time.perf_counter()
    if args.run:
        child = subprocess.Popen(args.run, stdin=subprocess.DEVNULL)
    else:
        press(args.key)
    deadline = start + args.timeout
    seen = None
    while time.perf_counter() < deadline:
        if done(pixel()):
            seen = time.perf_counter()
            seen_wall = time.time()
            break
    if seen is None:
        print("timeout")
        sys.exit(1)
    print(f"{(seen - start) * 1000:.1f}" + (f" {seen_wall:.6f}" if args.stamp else ""), flush=True)
    if args.close:
        time.sleep(0.2)
        press(args.close)
        back = time.perf_counter() + args.timeout
        while time.perf_counter() < back and (pixel() == until if until else pixel() != before):
            time.sleep(0.01)
    if child:
        try:
            child.wait(timeout=args.timeout)
        except subprocess.TimeoutExpired:
            pass


if __name__ == "__main__":
    main()
