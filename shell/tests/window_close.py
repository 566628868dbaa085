#!/usr/bin/env python3
"""Starts the player in a real X window (under Xvfb), waits for its window,
asks it to close the way a window manager does (WM_DELETE_WINDOW), and
checks that it shuts down cleanly: exit status 0 and the whole shut-down in
its log.

With "spinning" after the player (and a number of seconds, 1 when not
given), it runs (-run) a cart that stores a cart data value and then never
gives up its frame; the close must still end the player within that many
seconds of its CPU time (which the load of the machine does not stretch),
with the cart's data saved."""
import ctypes
import ctypes.util
import os
import resource
import subprocess
import sys
import tempfile
import time

player = sys.argv[1]
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
x11.XFree.argtypes = [ctypes.c_void_p]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


def find_window(display, window, title):
    name = ctypes.c_char_p()
    if x11.XFetchName(display, window, ctypes.byref(name)) and name.value:
        found = name.value.decode(errors="replace") == title
        if found:
            return window
    root, parent = ctypes.c_ulong(), ctypes.c_ulong()
    children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    if not x11.XQueryTree(display, window, ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(count)):
        return None
    try:
        for i in range(count.value):
            hit = find_window(display, children[i], title)
            if hit:
                return hit
    finally:
        if children:
            x11.XFree(children)
    return None


spinning = len(sys.argv) > 2 and sys.argv[2] == "spinning"
limit = float(sys.argv[3]) if len(sys.argv) > 3 else 1.0
home = tempfile.mkdtemp(prefix="zorva-window-")
env = dict(os.environ, HOME=home)
env.pop("SDL_VIDEODRIVER", None)
env.pop("SDL_AUDIODRIVER", None)
command = [player]
if spinning:
    cart = os.path.join(home, "spin.zv")
    with open(cart, "w") as f:
        f.write("zorva cartridge\nversion 11\n__lua__\n"
                "cartdata('window_spin') dset(0, 7) cstore(0, 0, 1)\n"
                "co = cocreate(function() while true do end end)\n"
                "while true do coresume(co) end\n")
    command += ["-run", cart]
proc = subprocess.Popen(command, env=env)
display = x11.XOpenDisplay(None)
if not display:
    proc.kill()
    sys.exit("no X display")
window = None
deadline = time.time() + 20
while time.time() < deadline and window is None and proc.poll() is None:
    window = find_window(display, x11.XDefaultRootWindow(display), "zorva")
    time.sleep(0.1)
if window is None:
    proc.kill()
    sys.exit("the player's window never appeared")
if spinning:
    # The cart's cstore file says it runs (after the boot sequence).
    cstore = os.path.join(home, ".ostrel", "zorva", "cstore")
    deadline = time.time() + 60
    while time.time() < deadline and not (os.path.isdir(cstore) and os.listdir(cstore)):
        time.sleep(0.05)
    time.sleep(0.2)  # well into the spin
    with open(f"/proc/{proc.pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu_before = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
else:
    time.sleep(0.5)  # let the loop run a few frames

event = ClientMessage()
event.type = 33  # ClientMessage
event.window = window
event.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.format = 32
event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
event.data[1] = 0  # CurrentTime
x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x11.XFlush(display)

deadline = time.time() + 20
while proc.poll() is None and time.time() < deadline:
    time.sleep(0.01)
if proc.returncode is None:
    proc.kill()
    sys.exit("the player did not end after its window was closed")
status = proc.returncode
if spinning:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    spent = usage.ru_utime + usage.ru_stime - cpu_before
    if spent > limit:
        sys.exit(f"the player took {spent:.2f} s of CPU time to end")
    data = open(os.path.join(home, ".ostrel", "zorva", "cdata", "window_spin.zvd.txt")).read()
    if not data.startswith("00070000"):
        sys.exit(f"the cart's data was not saved: {data!r}")
if status != 0:
    sys.exit(f"the player ended with status {status}")
log = open(os.path.join(home, ".ostrel", "zorva", "log.txt")).read()
for line in ("tamu_video_init", "tamu_exit", "tamu_main_exit", "tamu_config_save", "tamu_items_created: 0"):
    if line not in log:
        sys.exit(f"log.txt lacks '{line}':\n{log}")
print("window closed, player ended cleanly")
