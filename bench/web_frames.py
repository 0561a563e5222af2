#!/usr/bin/env python3
"""Times the browser build in Chromium: serves the page's folder on
loopback, opens it as an app window, paints a busy scene through Chromium's
DevTools protocol (over a pipe) and keeps the pointer over the play area,
then prints the median of the frames the page recorded (simulation,
rendering and showing), when the first frame showed and the page's size.
Usage: web_frames.py FOLDER (run inside an X server: DISPLAY)."""
import functools
import glob
import http.server
import os
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from devtools import devtools, wait_for  # noqa: E402

# The game's window pixels the scene is painted at.
PLAY_CENTRE = (300, 300)
FIRE_LABEL = (650, 50)
# Strokes: keys that pick the element (None: click the fire label), then a
# path of window pixels dragged with the left button, brush size 50.
STROKES = [
    ("Numpad1", [(20, 560), (580, 560)]),
    ("Numpad2", [(40, 60), (560, 60), (560, 140), (40, 140)]),
    ("Numpad3", [(60, 300), (540, 300), (540, 380), (60, 380)]),
    (None, [(80, 480), (520, 480)]),
]
# Frames timed once the scene is painted.
SECONDS = 5
# What counts as the page's size: its code and the game, not the icons.
PAGE_FILES = ["*.html", "*.css", "*.js", "*.wasm"]


class pointer:
    """Mouse events at window pixels of the game, through the canvas's place
    and scale on the page."""

    def __init__(self, browser):
        self.browser = browser
        box = browser.evaluate("(r => [r.left, r.top, r.width / 800, r.height / 600])"
                               "(Module.canvas.getBoundingClientRect())")
        self.left, self.top, self.sx, self.sy = box

    def event(self, kind, at, buttons):
        x, y = at
        self.browser.send("Input.dispatchMouseEvent", type=kind, x=self.left + x * self.sx,
                          y=self.top + y * self.sy, button="left" if buttons or kind != "mouseMoved"
                          else "none", buttons=buttons, clickCount=1)
        time.sleep(0.05)

    def drag(self, path):
        self.event("mouseMoved", path[0], 0)
        self.event("mousePressed", path[0], 1)
        for a, b in zip(path, path[1:]):
            for step in range(1, 11):
                self.event("mouseMoved", (a[0] + (b[0] - a[0]) * step // 10,
                                          a[1] + (b[1] - a[1]) * step // 10), 1)
        self.event("mouseReleased", path[-1], 0)


def press(browser, code):
    for kind in ("rawKeyDown", "keyUp"):
        browser.send("Input.dispatchKeyEvent", type=kind, code=code)
        time.sleep(0.2)


def paint_scene(browser):
    mouse = pointer(browser)
    press(browser, "Digit7")
    for key, path in STROKES:
        if key:
            press(browser, key)
        else:
            mouse.drag([FIRE_LABEL])
        mouse.drag(path)
    mouse.event("mouseMoved", PLAY_CENTRE, 0)


class quiet_handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder):
    handler = functools.partial(quiet_handler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main(folder):
    server = serve(folder)
    url = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    with tempfile.TemporaryDirectory() as profile:
        browser = devtools(["chromium", "--no-sandbox", "--test-type", f"--user-data-dir={profile}",
                            "--no-first-run", "--disable-background-networking",
                            "--disable-component-update", "--disable-sync", f"--app={url}",
                            "--window-size=800,600", "--remote-debugging-pipe"])
        try:
            browser.attach_to_page()
            wait_for(browser, "typeof Module == 'object' && Module.veldrathFirstFrame > 0", 30)
            first = browser.evaluate("Module.veldrathFirstFrame")
            load = browser.evaluate("performance.getEntriesByType('navigation')[0].loadEventEnd")
            paint_scene(browser)
            browser.evaluate("Module.veldrathFrames.splice(0).length")
            time.sleep(SECONDS)
            frames = browser.evaluate("Module.veldrathFrames")
        finally:
            browser.close()
            server.shutdown()
    files = sorted(f for pattern in PAGE_FILES for f in glob.glob(os.path.join(folder, pattern)))
    size = sum(os.path.getsize(f) for f in files)
    print(f"frames timed:      {len(frames)} over {SECONDS} s after painting, pointer on the play area")
    print(f"median frame:      {statistics.median(frames):.2f} ms (target 2 ms);"
          f" 90th percentile {sorted(frames)[len(frames) * 9 // 10]:.2f} ms")
    print(f"first frame:       {first - load:.0f} ms after the page's load event (target 1000 ms);"
          f" {first:.0f} ms after navigation start")
    print(f"page's files:      {size} bytes, {size / 1048576:.2f} MiB (target 1 MiB):"
          f" {', '.join(os.path.basename(f) for f in files)}")


if __name__ == "__main__":
    main(sys.argv[1])
