#!/usr/bin/env python3
"""The Windows program under wine, in a real window: wine draws it on the X
display this runs on (Xvfb). Waits for the window titled "zorva", closes it
with taskkill (WM_CLOSE, which SDL hands the program as a quit event), and
checks a clean shut-down:
exit status 0, the log and "config.txt" in the application-data folder of
the Windows rules (%APPDATA%\\zorva inside the wine prefix) holding the whole
start-up and shut-down.

    win32_window_close.py tools/wine-run.sh build-win/zorva.exe [options...]

The options go to the player; the test passes "-windowed 1".
"""
import ctypes
import ctypes.util
import os
import shutil
import subprocess
import sys
import time

wine_run, player, options = sys.argv[1], sys.argv[2], sys.argv[3:]

env = dict(os.environ, ZORVA_WINE_DISPLAY="1", WINE_TIMEOUT="90")
env.pop("SDL_VIDEODRIVER", None)
env.pop("SDL_AUDIODRIVER", None)
# A prefix of its own: the engine tests' prefix runs without a display, and
# a wine desktop keeps the display it was started with.
env["WINEPREFIX"] = os.path.join(os.path.dirname(os.path.abspath(player)), "wineprefix-window")


def wine(*args):
    result = subprocess.run([wine_run, *args], env=env, capture_output=True, text=True, timeout=120)
    return result.stdout.strip()


appdata_windows = wine("cmd", "/c", "echo %APPDATA%").splitlines()[-1].strip()
appdata = wine("winepath", "-u", appdata_windows).splitlines()[-1].strip()
if not appdata.startswith("/"):
    sys.exit(f"cannot find %APPDATA% in the wine prefix: {appdata_windows!r} -> {appdata!r}")
folder = os.path.join(appdata, "zorva")
shutil.rmtree(folder, ignore_errors=True)

x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                           ctypes.POINTER(ctypes.c_uint)]
x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
x11.XFree.argtypes = [ctypes.c_void_p]


def windows_named(display, window, title, found):
    name = ctypes.c_char_p()
    if x11.XFetchName(display, window, ctypes.byref(name)) and name.value:
        if name.value.decode(errors="replace") == title:
            found.append(window)
        x11.XFree(name)
    root, parent = ctypes.c_ulong(), ctypes.c_ulong()
    children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    if not x11.XQueryTree(display, window, ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(count)):
        return found
    try:
        for i in range(count.value):
            windows_named(display, children[i], title, found)
    finally:
        if children:
            x11.XFree(children)
    return found


# Windows come and go while the tree is walked (the player replaces its
# window during start-up): an error about a window that has just gone is
# ignored instead of ending this script, as Xlib's default handler would.
X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore_x_errors = X_ERROR_HANDLER(lambda display, event: 0)
x11.XSetErrorHandler.argtypes = [X_ERROR_HANDLER]
x11.XSetErrorHandler(ignore_x_errors)

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no X display")
proc = subprocess.Popen([wine_run, player, *options], env=env)
windows = []
deadline = time.time() + 60
while time.time() < deadline and not windows and proc.poll() is None:
    windows = windows_named(display, x11.XDefaultRootWindow(display), "zorva", [])
    time.sleep(0.2)
if not windows:
    proc.kill()
    sys.exit(f"the player's window never appeared (exit status {proc.poll()})")
time.sleep(1.0)  # let the loop run a few frames

# Close it as Windows does: taskkill without /F posts WM_CLOSE to the
# process's top-level windows, which SDL hands the program as a quit event.
# (A window manager's WM_DELETE_WINDOW does not reach an unmanaged wine
# window on a bare X server.) A close that reaches the window while the
# player still replaces it during start-up is lost with it, so the close is
# repeated until the player ends.
status = None
deadline = time.time() + 60
while status is None and time.time() < deadline:
    wine("taskkill", "/IM", os.path.basename(player))
    try:
        status = proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        pass
if status is None:
    proc.kill()
    sys.exit("the player did not end after its window was closed")
if status != 0:
    sys.exit(f"the player ended with status {status}")
log_path = os.path.join(folder, "log.txt")
if not os.path.exists(log_path):
    sys.exit(f"no log at {log_path}: {os.listdir(appdata)}")
log = open(log_path, errors="replace").read()
for line in ("platform: Windows", "tamu_video_init", "tamu_exit", "tamu_main_exit", "tamu_config_save",
             "tamu_items_created: 0"):
    if line not in log:
        sys.exit(f"log.txt lacks '{line}':\n{log}")
config = os.path.join(folder, "config.txt")
if not os.path.exists(config) or "sessions 1" not in open(config, errors="replace").read():
    sys.exit(f"no config.txt with one session at {config}")
print(f"window closed, player ended cleanly; log and config in {folder}")
