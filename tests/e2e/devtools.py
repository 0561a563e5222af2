"""Chromium's DevTools protocol over a pipe, shared by the browser
benchmark (bench/web_frames.py) and the page checks (page_checks.py)."""
import fcntl
import json
import os
import select
import subprocess
import time


def above_fd_4(fd):
    moved = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 5)
    os.close(fd)
    return moved


class devtools:
    """Chromium's DevTools protocol over --remote-debugging-pipe: JSON
    messages ended by a zero byte, written to its fd 3, read from its fd 4."""

    def __init__(self, command):
        # The browser's ends are first moved above fd 4: an end that is fd 3
        # or 4 already would stay closed-on-exec, as dup2 onto itself
        # changes nothing.
        to_browser, self.out = os.pipe()
        self.inp, from_browser = os.pipe()
        to_browser, from_browser = above_fd_4(to_browser), above_fd_4(from_browser)

        def pipes():
            os.dup2(to_browser, 3)
            os.dup2(from_browser, 4)

        self.browser = subprocess.Popen(command, preexec_fn=pipes, close_fds=False,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for fd in (to_browser, from_browser):
            os.close(fd)
        self.pending = b""
        self.last_id = 0
        self.session = None
        # The events that came while a reply was awaited, oldest first.
        self.events = []

    def send(self, method, **params):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if self.session:
            message["sessionId"] = self.session
        os.write(self.out, json.dumps(message).encode() + b"\0")
        # A page that never answers (one stuck in a navigation, say) fails
        # the command rather than hanging its caller.
        deadline = time.monotonic() + 60
        while True:
            reply = self.receive(max(0.0, deadline - time.monotonic()))
            if "method" in reply:
                self.events.append(reply)
            elif reply.get("id") == self.last_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]

    def receive(self, seconds=None):
        while b"\0" not in self.pending:
            if seconds is not None and not select.select([self.inp], [], [], seconds)[0]:
                raise RuntimeError(f"no answer from the browser in {seconds:.0f} s")
            chunk = os.read(self.inp, 65536)
            if not chunk:
                raise RuntimeError("the browser closed its DevTools pipe")
            self.pending += chunk
        message, self.pending = self.pending.split(b"\0", 1)
        return json.loads(message)

    def wait_event(self, method, seconds):
        """The first event of that method, kept or coming within `seconds`."""
        deadline = time.monotonic() + seconds
        while True:
            for n, event in enumerate(self.events):
                if event["method"] == method:
                    return self.events.pop(n)
            self.events.append(self.receive(max(0.0, deadline - time.monotonic())))

    def attach_to_page(self):
        for _ in range(100):
            pages = [t for t in self.send("Target.getTargets")["targetInfos"] if t["type"] == "page"]
            if pages:
                self.session = self.send("Target.attachToTarget", targetId=pages[0]["targetId"],
                                         flatten=True)["sessionId"]
                return
            time.sleep(0.1)
        raise RuntimeError("no page opened")

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def close(self):
        self.session = None
        try:
            self.send("Browser.close")
        except RuntimeError:
            pass
        try:
            self.browser.wait(10)
        except subprocess.TimeoutExpired:
            self.browser.kill()
            self.browser.wait()


def wait_for(browser, expression, seconds):
    deadline = time.monotonic() + seconds
    while not browser.evaluate(expression):
        if time.monotonic() > deadline:
            raise RuntimeError(f"timed out waiting for {expression}")
        time.sleep(0.05)
