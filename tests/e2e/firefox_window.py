#!/usr/bin/python3
"""Firefox ESR in kiosk mode with the profile PROFILE at URL, ending with
Firefox's status once the game on the page has ended. Firefox reports its
kiosk window as a tab (display mode "browser"), and a tab stays open after
the game, saying so in its title too; this watcher reads the titles of the
X server's windows and then stops Firefox. (A Marionette session would
read the page, but with one open Firefox loses some of the suite's input.)

    tests/e2e/firefox_window.py PROFILE URL
"""
import ctypes
import ctypes.util
import signal
import subprocess
import sys
import time

# The page's title once the game has ended.
ENDED = b"Veldrath: the game has ended"

x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                           ctypes.POINTER(ctypes.c_uint)]
x11.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long,
                                   ctypes.c_long, ctypes.c_int, ctypes.c_ulong,
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                   ctypes.POINTER(ctypes.c_void_p)]
x11.XFree.argtypes = [ctypes.c_void_p]
# Windows may vanish while the tree is read: no X error ends the watcher.
ignore_errors = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda *_: 0)
x11.XSetErrorHandler(ignore_errors)


class screen:
    """The window titles (_NET_WM_NAME, in UTF-8) of an X display."""

    def __init__(self):
        self.display = x11.XOpenDisplay(None)
        self.name = x11.XInternAtom(self.display, b"_NET_WM_NAME", 0)
        self.utf8 = x11.XInternAtom(self.display, b"UTF8_STRING", 0)

    def title(self, window):
        kind, format, length, after = (ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(),
                                       ctypes.c_ulong())
        data = ctypes.c_void_p()
        if x11.XGetWindowProperty(self.display, window, self.name, 0, 1024, 0, self.utf8,
                                  ctypes.byref(kind), ctypes.byref(format), ctypes.byref(length),
                                  ctypes.byref(after), ctypes.byref(data)) != 0 or not data:
            return b""
        title = ctypes.string_at(data, length.value)
        x11.XFree(data)
        return title

    def titles(self, window=None):
        window = window or x11.XDefaultRootWindow(self.display)
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        found = [self.title(window)]
        if x11.XQueryTree(self.display, window, ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(count)):
            for i in range(count.value):
                found += self.titles(children[i])
            if children:
                x11.XFree(children)
        return found


def main(profile, url):
    firefox = subprocess.Popen(["firefox-esr", "--kiosk", "--width", "800", "--height", "600",
                                "--no-remote", "--profile", profile, url])
    # The end-to-end driver stops the launcher with a signal: it is meant
    # for Firefox.
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, lambda number, _: firefox.send_signal(number))
    windows = screen()
    while firefox.poll() is None:
        if any(title.startswith(ENDED) for title in windows.titles()):
            firefox.terminate()
            firefox.wait()
            return 0
        time.sleep(0.1)
    return firefox.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
