#!/usr/bin/env python3
"""Checks by hand how the browser build takes a finger, in Chromium with
touch emulation, through its DevTools protocol: serves the page's folder on
loopback (as web_frames.py does), plays each case on a fresh page and reads
the canvas. Prints one line per case and exits 1 if any failed.
Usage: web_touch.py FOLDER (run inside an X server: DISPLAY)."""
import sys
import tempfile
import time

from web_frames import open_game, pointer, serve

TAP_SECONDS = 0.03
# Window pixels of the panel's labels.
LABEL = {"Empty": (700, 10), "Wall": (700, 20), "Sand": (700, 30), "Water": (700, 40),
         "Fire": (700, 50)}


class finger:
    def __init__(self, browser):
        self.browser = browser
        self.box = pointer(browser)

    def touch(self, kind, at=None):
        points = [dict(zip("xy", self.box.page(at)))] if at else []
        self.browser.send("Input.dispatchTouchEvent", type=kind, touchPoints=points)

    def stroke(self, path, seconds=0.05):
        self.touch("touchStart", path[0])
        for at in path[1:]:
            time.sleep(seconds)
            self.touch("touchMove", at)
        time.sleep(seconds)
        self.touch("touchEnd")
        time.sleep(0.2)

    def tap(self, at):
        self.stroke([at], TAP_SECONDS)


def lit(browser, box):
    """How many pixels of the canvas in BOX (left, top, right, bottom) are
    not black."""
    left, top, right, bottom = box
    return browser.evaluate(
        f"(d => {{ let n = 0; for (let i = 0; i < d.length; i += 4) n += d[i] || d[i + 1] || d[i + 2]"
        f" ? 1 : 0; return n; }})(Module.canvas.getContext('2d')"
        f".getImageData({left}, {top}, {right - left}, {bottom - top}).data)")


def picture(browser, box):
    """A checksum of the canvas's pixels in BOX."""
    left, top, right, bottom = box
    return browser.evaluate(
        f"(d => d.reduce((sum, v, i) => (sum * 31 + v + i) % 1000000007, 0))"
        f"(Module.canvas.getContext('2d').getImageData({left}, {top}, {right - left},"
        f" {bottom - top}).data)")


def selection(browser):
    return browser.evaluate("Module.veldrathSelection()")


def strokes_do_not_join(browser, hand):
    hand.stroke([(60, 60), (160, 60), (260, 60)])
    hand.tap((100, 300))
    # Walls along the first stroke and at the tap; nothing between the
    # stroke's end and the tap, nor from the window's centre.
    return (lit(browser, (60, 56, 260, 64)) > 1000 and lit(browser, (96, 296, 104, 304)) > 0
            and lit(browser, (150, 120, 230, 250)) == 0 and lit(browser, (250, 100, 390, 290)) == 0)


def label_tap_selects(browser, hand):
    hand.tap(LABEL["Sand"])
    # The panel shows "Sand" dark on white: most of its box is lit.
    return selection(browser)["element"] == 2 and lit(browser, (620, 25, 652, 33)) > 128


def grid_tap_paints(browser, hand):
    hand.tap((300, 450))
    return lit(browser, (290, 440, 310, 460)) > 0


def grid_runs_after_label_tap(browser, hand):
    browser.evaluate("Module.veldrathPress('Numpad2')")
    hand.tap((300, 100))
    hand.tap(LABEL["Water"])
    column = (280, 0, 320, 600)
    before = picture(browser, column)
    time.sleep(0.3)
    return selection(browser)["element"] == 3 and picture(browser, column) != before


def press_and_tap(browser, hand):
    browser.evaluate("Module.veldrathPress('Digit4'); Module.veldrathTap(700, 50)")
    time.sleep(0.2)
    return selection(browser) == {"element": 4, "size": 10}


def short_click_counts(browser, hand):
    mouse = pointer(browser)
    mouse.event("mouseMoved", LABEL["Empty"], 0)
    mouse.event("mousePressed", LABEL["Empty"], 1, 0)
    mouse.event("mouseReleased", LABEL["Empty"], 0)
    return selection(browser)["element"] == 0


CASES = [strokes_do_not_join, label_tap_selects, grid_tap_paints, grid_runs_after_label_tap,
         press_and_tap, short_click_counts]


def main(folder):
    server = serve(folder)
    url = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    failed = 0
    for case in CASES:
        with tempfile.TemporaryDirectory() as profile:
            browser = open_game(url, profile)
            try:
                browser.send("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=1)
                ok = case(browser, finger(browser))
            finally:
                browser.close()
        failed += not ok
        print(f"{'ok  ' if ok else 'FAIL'} {case.__name__}")
    server.shutdown()
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main(sys.argv[1])
