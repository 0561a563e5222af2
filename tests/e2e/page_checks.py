#!/usr/bin/env python3
"""The page on phones and tablets, and the traps around it, in headless
Chromium driven through its DevTools protocol: each case of CASES opens the
page in a new tab of a new profile, with touch emulation at a device's size
where it names one, and reads the game's state from the canvas's pixels.
Prints a line per case; the status is the number of cases that failed.
Usage: page_checks.py FOLDER (the unpacked browser zip)."""
import base64
import functools
import http.server
import os
import re
import shutil
import sys
import tempfile
import threading
import time

from devtools import devtools, wait_for

# CSS width, height and device pixel ratio.
DEVICES = {"phone": (390, 844, 3), "phone landscape": (844, 390, 3), "tablet": (1024, 768, 2)}
LABELS = ["Empty", "Wall", "Sand", "Water", "Fire"]
SIZES = [1, 2, 5, 10, 15, 25, 50]
# The files the page runs, as a new build's must all arrive after an update.
PAGE_FILES = ["index.html", "page.css", "page.js", "veldrath.js", "veldrath.wasm"]
DAY = 24 * 3600

# The canvas read in the page: what each cell, label and the size marker
# show, by the colours the game asks for (the palette's are near them).
READ = """(() => {
  const colours = [[0,0,0], [90,90,90], [255,210,128], [0,0,255], [255,0,0],
                   [200,200,200], [255,255,255], [255,255,0]];
  // Read through a copy: a 2D context taken from the game's canvas itself
  // would keep the game from drawing through WebGL2.
  const copy = Object.assign(document.createElement('canvas'), {width: 800, height: 600});
  copy.getContext('2d').drawImage(document.querySelector('canvas'), 0, 0);
  const d = copy.getContext('2d').getImageData(0, 0, 800, 600).data;
  const shade = (x, y) => {
    const i = 4 * (y * 800 + x);
    let best = 0, far = 1e9;
    colours.forEach((c, n) => {
      const f = (c[0] - d[i]) ** 2 + (c[1] - d[i + 1]) ** 2 + (c[2] - d[i + 2]) ** 2;
      if (f < far) { far = f; best = n; }
    });
    return best;
  };
  const cells = [];
  for (let y = 0; y < 300; y++)
    for (let x = 0; x < 300; x++) cells.push(shade(2 * x, 2 * y));
  const labels = LABELS.map((text, n) => {
    let white = 0;
    for (let y = 5 + 10 * n; y < 13 + 10 * n; y++)
      for (let x = 620; x < 620 + 8 * text.length; x++) white += shade(x, y) == 6 ? 1 : -1;
    return white > 0;
  });
  let top = -1;
  for (let y = 0; y < 600 && top < 0; y++)
    for (let x = 600; x < 620; x++) if (shade(x, y) == 7) { top = y; break; }
  return {cells: cells.join(''), label: labels.indexOf(true),
          marker: top < 0 ? -1 : (top - 15) / 10, panel: shade(700, 300) == 5};
})()""".replace("LABELS", repr(LABELS))
GREY, WALL, SAND = "5", "1", "2"

# Where the canvas's 800 x 600 pixels are drawn on the page, in CSS px:
# inside its border, through any transform, kept in proportion.
PLACE = """(() => {
  const c = document.querySelector('canvas'), r = c.getBoundingClientRect();
  const k = r.width / c.offsetWidth, w = c.clientWidth * k, h = c.clientHeight * k;
  const s = Math.min(w / 800, h / 600);
  return [r.left + c.clientLeft * k + (w - 800 * s) / 2,
          r.top + c.clientTop * k + (h - 600 * s) / 2, s];
})()"""

# Elements with text of their own over the canvas.
OVER_CANVAS = """(() => {
  const c = document.querySelector('canvas'), r = c.getBoundingClientRect();
  return [...document.body.querySelectorAll('*')].filter(e => {
    if (e.contains(c) || !e.innerText || !e.innerText.trim()) return false;
    return [...e.getClientRects()].some(b => b.width > 0 && b.height > 0 &&
      b.left < r.right && b.right > r.left && b.top < r.bottom && b.bottom > r.top);
  }).map(e => e.outerHTML.slice(0, 120));
})()"""


class page:
    """A tab opened straight at its address, so that it has one history
    entry, as when a player follows a link."""

    def __init__(self, url, device, profile, flags=()):
        self.tools = devtools(["chromium", "--headless", "--no-sandbox", "--test-type",
                               f"--user-data-dir={profile}", "--no-first-run",
                               "--disable-background-networking", "--disable-component-update",
                               "--disable-sync", "--remote-debugging-pipe", *flags, url])
        self.tools.attach_to_page()
        self.target = self.tools.send("Target.getTargetInfo")["targetInfo"]["targetId"]
        self.tools.send("Runtime.enable")
        self.tools.send("Log.enable")
        if device:
            width, height, ratio = DEVICES[device]
            self.tools.send("Emulation.setDeviceMetricsOverride", width=width, height=height,
                            deviceScaleFactor=ratio, mobile=True)
            self.tools.send("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
        # Loaded again with all that in force: a reload keeps the one entry.
        self.reload()

    def js(self, expression):
        return self.tools.evaluate(expression)

    def until(self, expression, seconds=15):
        wait_for(self.tools, expression, seconds)

    def started(self, seconds=15):
        self.until(f"document.querySelector('canvas') && {READ}.panel", seconds)

    def reload(self, seconds=15):
        """Reloads, and waits for the new page's scripts to run."""
        self.tools.events = [e for e in self.tools.events
                             if e["method"] != "Runtime.executionContextCreated"]
        self.tools.send("Page.reload")
        self.tools.wait_event("Runtime.executionContextCreated", seconds)

    def refused(self):
        """What the page's Content Security Policy refused."""
        return [e["params"]["entry"]["text"] for e in self.tools.events
                if e["method"] == "Log.entryAdded"
                and "Content Security Policy" in e["params"]["entry"]["text"]]

    def read(self):
        return self.js(READ)

    def touches(self, kind, points, on_canvas=True):
        """Touches at canvas pixels, or at CSS px on the page."""
        left, top, scale = self.js(PLACE) if on_canvas else (0, 0, 1)
        self.tools.send("Input.dispatchTouchEvent", type=kind, touchPoints=[
            {"x": left + x * scale, "y": top + y * scale, "id": n}
            for n, (x, y) in enumerate(points)])

    def tap(self, x, y, seconds=0.03, on_canvas=True):
        self.touches("touchStart", [(x, y)], on_canvas)
        time.sleep(seconds)
        self.touches("touchEnd", [])
        time.sleep(0.2)

    def drag(self, path):
        self.touches("touchStart", path[:1])
        for a, b in zip(path, path[1:]):
            for step in range(1, 11):
                self.touches("touchMove", [(a[0] + (b[0] - a[0]) * step // 10,
                                            a[1] + (b[1] - a[1]) * step // 10)])
                time.sleep(0.03)
        self.touches("touchEnd", [])
        time.sleep(0.2)

    def panel(self):
        """The selection and size as the panel shows them, redrawn by a
        finger held on it where it changes nothing."""
        self.touches("touchStart", [(700, 300)])
        time.sleep(0.15)
        state = self.read()
        self.touches("touchEnd", [])
        return state["label"], state["marker"]

    def key(self, code):
        for kind in ("rawKeyDown", "keyUp"):
            self.tools.send("Input.dispatchKeyEvent", type=kind, code=code, key=code,
                            windowsVirtualKeyCode=27 if code == "Escape" else 0)
            time.sleep(0.2)

    def buttons(self, name):
        """The buttons of that accessible name: their box (CSS px) and
        whether they show as pressed."""
        root = self.tools.send("DOM.getDocument")["root"]["nodeId"]
        found = []
        for node in self.tools.send("Accessibility.queryAXTree", nodeId=root, accessibleName=name,
                                    role="button")["nodes"]:
            box = self.tools.send("DOM.getBoxModel",
                                  backendNodeId=node["backendDOMNodeId"])["model"]
            pressed = any(p["name"] == "pressed" and p["value"]["value"] == "true"
                          for p in node.get("properties", []))
            found.append((box, pressed))
        return found

    def tab_open(self):
        self.tools.session, session = None, self.tools.session
        targets = self.tools.send("Target.getTargets")["targetInfos"]
        self.tools.session = session
        return any(t["targetId"] == self.target for t in targets)

    def close(self):
        self.tools.close()


def cell(image, x, y):
    return image["cells"][300 * (y // 2) + x // 2]


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


def strokes_do_not_join(p, site):
    p.started()
    p.drag([(60, 60), (260, 60)])
    p.tap(100, 300)
    image = p.read()
    expect(cell(image, 160, 60) == WALL, "the stroke painted nothing")
    expect(cell(image, 100, 300) == WALL, "a 30 ms tap on the grid painted nothing")
    # On the paths joined strokes would draw, diagonally first: from the
    # first stroke's end to the tap, and from the centre to the first touch.
    for x, y in [(180, 140), (230, 130)]:
        expect(cell(image, x, y) != WALL, f"a line joins the strokes at ({x},{y})")


def short_taps(p, site):
    p.started()
    p.tap(650, 30)  # Sand
    expect(p.panel()[0] == 2, "a 30 ms tap on the Sand label did not select it")
    p.tap(300, 100)
    expect(SAND in p.read()["cells"], "a 30 ms tap on the grid painted nothing")
    p.tap(650, 40)  # Water
    before = p.read()["cells"]
    time.sleep(0.3)
    expect(p.read()["cells"] != before, "the grid stands still after a label tap")


def bar_buttons(p, site):
    p.started()
    groups = [LABELS, [f"Size {s}" for s in SIZES]]
    for name, shown in [(n, (i, None)) for i, n in enumerate(LABELS)] + \
                       [(f"Size {s}", (None, s)) for s in SIZES]:
        buttons = p.buttons(name)
        expect(len(buttons) == 1, f"{len(buttons)} buttons named {name}")
        box = buttons[0][0]
        expect(box["width"] >= 44 and box["height"] >= 44,
               f"{name} is {box['width']} x {box['height']} CSS px")
        quad = box["border"]
        p.tap((quad[0] + quad[4]) / 2, (quad[1] + quad[5]) / 2, 0.1, on_canvas=False)
        label, marker = p.panel()
        expect(shown[0] in (None, label) and shown[1] in (None, marker),
               f"{name} left the panel at label {label}, size {marker}")
        group = groups[name not in LABELS]
        pressed = [n for n in group if any(b[1] for b in p.buttons(n))]
        expect(pressed == [name], f"after {name}, pressed: {pressed}")


def pinch_on_the_bars(p, site):
    p.started()
    width, height, _ = DEVICES["tablet"]
    spots = [(4, height // 2), (width - 4, height // 2), (width // 2, 4), (width // 2, height - 4)]
    bare = [s for s in spots if p.js(f"(e => !e.closest('canvas, button'))"
                                     f"(document.elementFromPoint({s[0]}, {s[1]}))")]
    expect(bare, "no black space beside the game")
    x, y = bare[0]
    for spread in range(10, 160, 15):
        p.touches("touchMove" if spread > 10 else "touchStart",
                  [(x, y - spread), (x, y + spread)], on_canvas=False)
        time.sleep(0.02)
    p.touches("touchEnd", [], on_canvas=False)
    time.sleep(0.5)
    scale = p.js("visualViewport.scale")
    expect(scale == 1, f"the page is zoomed {scale} times")


def escape_in_a_tab(p, site):
    p.started()
    try:
        p.key("Escape")
        p.until("/The game has ended\\./.test(document.body.innerText)", 5)
    except RuntimeError:
        expect(p.tab_open(), "the tab closed")
        raise
    expect(p.js("[...document.querySelectorAll('button')].some(b => b.offsetParent)"),
           "no button starts the game again")


def whole_update(p, site):
    p.started()
    p.until("navigator.serviceWorker.controller != null")
    site.build("the next build", time.time() - DAY)
    p.tools.send("Network.enable")
    p.reload()
    p.started()
    answers = {e["params"]["response"]["url"].split("?")[0].rsplit("/", 1)[-1] or "index.html":
               e["params"]["requestId"] for e in p.tools.events
               if e["method"] == "Network.responseReceived"}
    for name in PAGE_FILES:
        expect(name in answers, f"{name} was not loaded")
        body = p.tools.send("Network.getResponseBody", requestId=answers[name])
        got = (base64.b64decode(body["body"]) if body["base64Encoded"]
               else body["body"].encode())
        expect(got == site.file(name), f"{name} came from the old build")


def stalled_server(p, site):
    p.started()
    p.until("navigator.serviceWorker.controller != null")
    site.stall.set()
    reloaded = time.monotonic()
    try:
        p.reload(3)
        p.started(reloaded + 3 - time.monotonic())
    except RuntimeError:
        raise AssertionError("no game 3 s after a reload from a stalled server")


def wrong_wasm_type(p, site):
    p.started()
    time.sleep(0.5)
    over = p.js(OVER_CANVAS)
    expect(not over, f"over the canvas: {over}")


def offline(p, site):
    p.started()
    p.until("navigator.serviceWorker.controller != null")
    site.close()
    p.reload()
    p.started()


# Name, device (None: a plain window), how the site is served and the
# browser's flags, the check. In every case the page's Content Security
# Policy, which allows only its own origin, refuses nothing: it asks nothing
# of another.
CASES = [
    ("starts", None, {}, lambda p, site: p.started()),
    # V8 without its compilers has no WebAssembly, as in browsers locked down so.
    ("says why it cannot start without WebAssembly", None, {"flags": ["--js-flags=--jitless"]},
     lambda p, site: p.until("/WebAssembly/.test(document.body.innerText)", 5)),
    ("starts offline from the files it keeps", None, {}, offline),
    ("two touch strokes do not join", "phone", {}, strokes_do_not_join),
    ("30 ms taps select a label and paint, and the grid runs on after a label tap",
     "phone landscape", {}, short_taps),
    ("each touch-bar button selects what it names, at 44 px or more", "phone", {}, bar_buttons),
    ("each touch-bar button selects what it names, at 44 px or more", "phone landscape", {},
     bar_buttons),
    ("a pinch on the bars leaves the page unzoomed", "tablet", {}, pinch_on_the_bars),
    ("Escape in a tab leaves it open, saying that the game has ended", None, {}, escape_in_a_tab),
    ("an update with day-old files is whole after one reload", "tablet", {"age": 2 * DAY},
     whole_update),
    ("a stalled server still starts the game from the kept copy within 3 s", "phone", {},
     stalled_server),
    ("a wrong type for .wasm puts nothing over the canvas", "phone",
     {"wasm_type": "application/octet-stream"}, wrong_wasm_type),
    ("opened from disk, it says that it must be served over HTTP", None, {"disk": True},
     lambda p, site: p.until("/HTTP/.test(document.body.innerText)", 5)),
]


class handler(http.server.SimpleHTTPRequestHandler):
    """python3 -m http.server's answers (Last-Modified, no Cache-Control),
    with the site's type for .wasm, or none at all while it stalls."""

    def __init__(self, *args, site, **kwargs):
        self.site = site
        super().__init__(*args, **kwargs)

    def guess_type(self, path):
        if path.endswith(".wasm"):
            return self.site.wasm_type
        return super().guess_type(path)

    def send_head(self):
        if self.site.stall.is_set():
            self.site.ended.wait()
            return None
        return super().send_head()

    def log_message(self, *args):
        pass


class server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a browser that drops a connection it no longer needs


class site:
    """A copy of the page's folder served on loopback."""

    def __init__(self, folder, work, age=DAY, wasm_type="application/wasm", disk=False):
        self.original = folder
        self.folder = os.path.join(work, "site")
        shutil.copytree(folder, self.folder)
        self.wasm_type = wasm_type
        self.stall = threading.Event()
        self.ended = threading.Event()
        self.build("", time.time() - age)
        self.server = server(("127.0.0.1", 0),
                             functools.partial(handler, site=self, directory=self.folder))
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = (f"file://{self.folder}/index.html" if disk
                    else f"http://127.0.0.1:{self.server.server_address[1]}/")

    def build(self, marker, mtime):
        """Every file of the page as a build whose files all differ by the
        marker (none: the zip's own), last modified at mtime. The build's
        stamp, which the page's addresses carry (?v=), changes with it."""
        with open(os.path.join(self.original, "index.html"), "rb") as f:
            stamp = re.search(rb"\?v=(\w+)", f.read())
        for name in os.listdir(self.original):
            with open(os.path.join(self.original, name), "rb") as f:
                data = f.read()
            if marker and stamp and not name.endswith((".wasm", ".png")):
                data = data.replace(stamp.group(1), stamp.group(1)[::-1])
            if marker and name.endswith(".wasm"):
                # A custom section, which WebAssembly ignores.
                section = bytes([len("marker")]) + b"marker" + marker.encode()
                data += b"\0" + bytes([len(section)]) + section
            elif marker and name.endswith((".js", ".css")):
                data += f"\n/* {marker} */\n".encode()
            elif marker and name.endswith(".html"):
                data += f"\n<!-- {marker} -->\n".encode()
            path = os.path.join(self.folder, name)
            with open(path, "wb") as f:
                f.write(data)
            os.utime(path, (mtime, mtime))

    def file(self, name):
        with open(os.path.join(self.folder, name), "rb") as f:
            return f.read()

    def close(self):
        """Ends the server: its port then refuses connections."""
        self.ended.set()
        self.server.shutdown()
        self.server.server_close()


def run(case, folder):
    name, device, options, check = case
    serving = {k: v for k, v in options.items() if k != "flags"}
    with tempfile.TemporaryDirectory() as work:
        served = site(folder, work, **serving)
        browser = None
        try:
            browser = page(served.url, device, os.path.join(work, "profile"),
                           options.get("flags", []))
            check(browser, served)
            refused = browser.refused()
            expect(not refused, f"refused: {refused}")
            return None
        except (AssertionError, RuntimeError) as error:
            return str(error)
        finally:
            if browser:
                browser.close()
            served.close()


def main(folder):
    failed = 0
    for case in CASES:
        error = run(case, folder)
        where = f" ({case[1]})" if case[1] else ""
        print(f"page_checks: {'FAIL' if error else 'ok'}: {case[0]}{where}"
              f"{': ' + error if error else ''}", flush=True)
        failed += error is not None
    return failed


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
