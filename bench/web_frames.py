#!/usr/bin/env python3
"""Times the browser build in Chromium: opens the page at URL, served from
FOLDER, as an app window, paints a busy scene through Chromium's
DevTools protocol (over a pipe) and keeps the pointer over the play area,
then prints the median work of the game's frames (simulation, rendering and
showing, from Module.onFrame), at full speed and with the processor slowed
down four times as on a phone, how long a touch and a mouse press on a
panel label take to change the game's selection, when the first frame
showed, how the canvas showed it and the page's size.
Usage: web_frames.py FOLDER URL (run inside an X server: DISPLAY)."""
import glob
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from devtools import devtools, wait_for  # noqa: E402

# The game's window pixels the scene is painted at.
PLAY_CENTRE = (300, 300)
FIRE_LABEL = (650, 50)
# Labels tapped in turn, so that each tap changes the selection: Empty, Wall.
LABELS = [(700, 10), (700, 20)]
TAPS = 10
TAP_SECONDS = 0.03
# Chromium's CPU throttling that stands for a phone's processor.
PHONE_SLOWDOWN = 4
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


# How the game's canvas shows the screen. (A canvas that took a 2D context
# gives no WebGL2 context: the question changes nothing.)
SHOWN_THROUGH = "Module.canvas.getContext('webgl2') ? 'WebGL2' : 'a 2D context'"

# The page marks the game's first frame on the performance timeline.
FIRST_FRAME = "performance.getEntriesByName('veldrath-first-frame')"
GAME_STARTED = FIRST_FRAME + ".length > 0"


def start_again(browser):
    """Reloads the page, once the game's first frame has shown."""
    browser.evaluate("window.benchReloading = true")
    browser.send("Page.reload")
    wait_for(browser, "!window.benchReloading && " + GAME_STARTED, 30)


class pointer:
    """Mouse events at window pixels of the game, through the canvas's place
    and scale on the page."""

    def __init__(self, browser):
        self.browser = browser
        box = browser.evaluate("(r => [r.left, r.top, r.width / 800, r.height / 600])"
                               "(Module.canvas.getBoundingClientRect())")
        self.left, self.top, self.sx, self.sy = box

    def page(self, at):
        """The page's CSS pixel at window pixel AT."""
        return self.left + at[0] * self.sx, self.top + at[1] * self.sy

    def event(self, kind, at, buttons, pause=0.05):
        x, y = self.page(at)
        self.browser.send("Input.dispatchMouseEvent", type=kind, x=x, y=y,
                          button="left" if buttons or kind != "mouseMoved" else "none",
                          buttons=buttons, clickCount=1)
        time.sleep(pause)

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


def frame_work(browser):
    """The work of the frames of the next SECONDS, in ms."""
    browser.evaluate("window.benchFrames = []; window.pageOnFrame = Module.onFrame;"
                     " Module.onFrame = w => benchFrames.push(w)")
    time.sleep(SECONDS)
    return browser.evaluate("Module.onFrame = pageOnFrame; benchFrames")


def next_renderings(browser):
    """Waits for the page's next two renderings. With a finger the page
    shows its touch bar at once, but fits the canvas beside it only as it
    next renders (a ResizeObserver): a tap placed before then misses the
    canvas."""
    browser.send("Runtime.evaluate", awaitPromise=True,
                 expression="new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))")


def touch_tap(browser, at):
    x, y = pointer(browser).page(at)
    browser.send("Input.dispatchTouchEvent", type="touchStart", touchPoints=[{"x": x, "y": y}])
    time.sleep(TAP_SECONDS)
    browser.send("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])


def mouse_tap(browser, at):
    mouse = pointer(browser)
    mouse.event("mouseMoved", at, 0, 0.1)
    mouse.event("mousePressed", at, 1, TAP_SECONDS)
    mouse.event("mouseReleased", at, 0)


def tap_latencies(browser, tap):
    """From each press's event to the end of the first frame in which the
    game's selection changed, in ms; None for a tap the game missed."""
    browser.evaluate("if (!window.benchTaps) Module.canvas.addEventListener('pointerdown',"
                     " e => benchTaps.push([e.timeStamp]));"
                     "window.benchTaps = [];"
                     "Module.onSelection = () => { const t = benchTaps[benchTaps.length - 1];"
                     " if (t && t.length == 1) t.push(performance.now()); }")
    for i in range(TAPS):
        tap(browser, LABELS[i % 2])
        time.sleep(0.25 + 0.02 * i)
    taps = browser.evaluate("Module.onSelection = null; benchTaps")
    return [t[1] - t[0] if len(t) == 2 else None for t in taps]


def latency_line(name, latencies):
    seen = [t for t in latencies if t is not None]
    median = f"median {statistics.median(seen):.0f} ms" if seen else "none seen"
    return f"{name} {median} over {len(seen)} of {len(latencies)} taps, longest {max(seen or [0]):.0f} ms"


def open_game(url, profile):
    """Chromium showing the page at URL as an app window, once the game's
    first frame has shown. An X server without a graphics card offers only
    Mesa's software renderer, for which Chromium's blocklist turns WebGL
    off; the page is timed as a phone, which has a graphics processor,
    shows it: through WebGL2."""
    browser = devtools(["chromium", "--no-sandbox", "--test-type", f"--user-data-dir={profile}",
                        "--ignore-gpu-blocklist",
                        "--no-first-run", "--disable-background-networking",
                        "--disable-component-update", "--disable-sync", f"--app={url}",
                        "--window-size=800,600", "--remote-debugging-pipe"])
    try:
        browser.attach_to_page()
        wait_for(browser, GAME_STARTED, 30)
    except RuntimeError:
        browser.close()
        raise
    return browser


def main(folder, url):
    with tempfile.TemporaryDirectory() as profile:
        browser = open_game(url, profile)
        try:
            first = browser.evaluate(FIRST_FRAME + "[0].startTime")
            shown = browser.evaluate(SHOWN_THROUGH)
            load = browser.evaluate("performance.getEntriesByType('navigation')[0].loadEventEnd")
            paint_scene(browser)
            frames = frame_work(browser)
            # The same scene, as busy, painted again on a phone.
            start_again(browser)
            browser.send("Emulation.setCPUThrottlingRate", rate=PHONE_SLOWDOWN)
            paint_scene(browser)
            slow_frames = frame_work(browser)
            browser.send("Emulation.setCPUThrottlingRate", rate=1)
            mouse = tap_latencies(browser, mouse_tap)
            browser.send("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=1)
            next_renderings(browser)
            touch = tap_latencies(browser, touch_tap)
        finally:
            browser.close()
    files = sorted(f for pattern in PAGE_FILES for f in glob.glob(os.path.join(folder, pattern)))
    size = sum(os.path.getsize(f) for f in files)
    print(f"frames timed:      {len(frames)} over {SECONDS} s after painting, pointer on the play area")
    print(f"median frame:      {statistics.median(frames):.2f} ms (target 2 ms);"
          f" 90th percentile {percentile_90(frames):.2f} ms")
    print(f"phone's frame:     {statistics.median(slow_frames):.2f} ms (target 3 ms) with the processor"
          f" {PHONE_SLOWDOWN} x slower; 90th percentile {percentile_90(slow_frames):.2f} ms,"
          f" {len(slow_frames)} frames")
    print(latency_line("touch to game:    ", touch) + " (target 25 ms)")
    print(latency_line("mouse to game:    ", mouse))
    print(f"first frame:       {first - load:.0f} ms after the page's load event (target 1000 ms);"
          f" {first:.0f} ms after navigation start")
    print(f"shown through:     {shown}")
    print(f"page's files:      {size} bytes, {size / 1048576:.2f} MiB (target 1 MiB):"
          f" {', '.join(os.path.basename(f) for f in files)}")


def percentile_90(values):
    return sorted(values)[len(values) * 9 // 10]


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
