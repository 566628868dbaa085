#!/usr/bin/env python3
"""Shows a known back page in a real X window (under Xvfb) and reads the
window's pixels back from the X server: first windowed (256 x 256, each
page pixel a 2 x 2 block), then full screen (the page 6 x at the centre of
a 1024 x 768 screen), then windowed again; then closes the window as a
window manager does and checks a clean exit.

    real_window_test.py PROBE renderer|software

PROBE is build/tools/window_probe. Run under a 24-bit screen, and under a
16-bit one for the software path's format conversion."""
import ctypes
import ctypes.util
import os
import subprocess
import sys
import tempfile
import time

probe, mode = sys.argv[1], sys.argv[2]
TITLE = "zorva-probe"

x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                           ctypes.POINTER(ctypes.c_uint)]
x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XDestroyImage = None  # a macro in Xlib: freed through XFree of the data and the record


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("pad", ctypes.c_char * 256)]


x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XWindowAttributes)]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


def find_window(display, window):
    name = ctypes.c_char_p()
    if x11.XFetchName(display, window, ctypes.byref(name)) and name.value:
        if name.value.decode(errors="replace") == TITLE:
            return window
    root, parent = ctypes.c_ulong(), ctypes.c_ulong()
    children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    if not x11.XQueryTree(display, window, ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(count)):
        return None
    try:
        for i in range(count.value):
            hit = find_window(display, children[i])
            if hit:
                return hit
    finally:
        if children:
            x11.XFree(children)
    return None


def mask_bits(mask):
    shift = 0
    while mask and not mask & 1:
        mask >>= 1
        shift += 1
    width = 0
    while mask & 1:
        mask >>= 1
        width += 1
    return shift, width


def grab(display, window):
    """The window's pixels as (width, height, function (x, y) -> (r, g, b) with the
    channel widths of the screen)."""
    attrs = XWindowAttributes()
    x11.XGetWindowAttributes(display, window, ctypes.byref(attrs))
    w, h = attrs.width, attrs.height
    ptr = x11.XGetImage(display, window, 0, 0, w, h, 0xFFFFFFFF, 2)  # ZPixmap
    if not ptr:
        sys.exit("XGetImage failed")
    img = XImage.from_address(ptr)
    data = ctypes.string_at(img.data, img.bytes_per_line * img.height)
    bpp = img.bits_per_pixel // 8
    masks = [mask_bits(m) for m in (img.red_mask, img.green_mask, img.blue_mask)]
    pitch = img.bytes_per_line
    x11.XFree(ctypes.c_void_p(img.data))
    x11.XFree(ctypes.c_void_p(ptr))

    def pixel(x, y):
        v = int.from_bytes(data[y * pitch + x * bpp: y * pitch + x * bpp + bpp], "little")
        return tuple((v >> s) & ((1 << n) - 1) for s, n in masks)

    def quantise(rgb):
        return tuple(c >> (8 - n) for c, (s, n) in zip(rgb, masks))

    return w, h, pixel, quantise


def page_colour(px, py):
    i = (px // 8 + py // 8) & 15
    return ((i * 16) & 255, (255 - i * 16) & 255, (i * 8) & 255)


def differences(w, h, pixel, quantise, scale, ox, oy):
    bad = []
    for fy in range(oy, oy + 128 * scale, 3):
        for fx in range(ox, ox + 128 * scale, 3):
            want = quantise(page_colour((fx - ox) // scale, (fy - oy) // scale))
            got = pixel(fx, fy)
            if got != want:
                bad.append((fx, fy, got, want))
    # Outside the page: black bars.
    for fx, fy in ((0, 0), (ox - 1, h // 2), (w - 1, h - 1)):
        if 0 <= fx < w and (fx < ox or fx >= ox + 128 * scale) and pixel(fx, fy) != (0, 0, 0):
            bad.append((fx, fy, pixel(fx, fy), (0, 0, 0)))
    return bad


# The window of that size showing the page, looked at again until the
# time given (before the probe's next switch): on a loaded machine the
# first frame after a switch may come late.
def check(display, label, want_w, want_h, scale, ox, oy, until):
    w = h = 0
    window = None
    bad = None
    while True:
        window = find_window(display, x11.XDefaultRootWindow(display))
        if window:
            w, h, pixel, quantise = grab(display, window)
            if (w, h) == (want_w, want_h):
                bad = differences(w, h, pixel, quantise, scale, ox, oy)
                if not bad:
                    break
        if time.time() > until:
            if bad:
                sys.exit(f"{label}: {len(bad)} pixels differ, first {bad[:3]}")
            sys.exit(f"{label}: no {want_w} x {want_h} window (last {w} x {h})" if window
                     else f"{label}: no window")
        time.sleep(0.05)
    print(f"{label}: {w} x {h} as expected")
    return window


home = tempfile.mkdtemp(prefix="zorva-probe-")
env = dict(os.environ, HOME=home)
env.pop("SDL_VIDEODRIVER", None)
env.pop("SDL_AUDIODRIVER", None)
proc = subprocess.Popen([probe, mode], env=env, stdout=subprocess.PIPE, text=True)
display = x11.XOpenDisplay(None)
if not display:
    proc.kill()
    sys.exit("no X display")
try:
    first = proc.stdout.readline().split()
    if first[:2] != ["mode", mode]:
        sys.exit(f"the probe runs {first}, not {mode}")
    start = time.time()
    time.sleep(0.8)
    check(display, "windowed", 256, 256, 2, 0, 0, start + 1.9)
    time.sleep(max(0.0, start + 2.8 - time.time()))
    check(display, "full screen", 1024, 768, 6, 128, 0, start + 3.9)
    time.sleep(max(0.0, start + 4.8 - time.time()))
    window = check(display, "windowed again", 256, 256, 2, 0, 0, start + 10)

    event = ClientMessage()
    event.type = 33  # ClientMessage
    event.window = window
    event.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    try:
        status = proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        sys.exit("the probe did not end after its window was closed")
    if status != 0:
        sys.exit(f"the probe ended with status {status}")
    log = open(os.path.join(home, ".ostrel", "zorva-probe", "log.txt")).read()
    if "tamu_items_created: 0" not in log:
        sys.exit(f"the probe's shut-down left objects:\n{log}")
    print("real window: presented, switched and closed cleanly")
finally:
    if proc.poll() is None:
        proc.kill()
