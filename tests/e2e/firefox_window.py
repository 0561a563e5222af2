#!/usr/bin/python3
"""Firefox ESR in kiosk mode with the profile PROFILE at URL, ending with
Firefox's status once the game on the page has ended. Firefox reports its
kiosk window as a tab (display mode "browser"), and a tab stays open after
the game, saying so; this watcher asks the page through Marionette,
Firefox's own remote protocol, on a port of the system's choosing (the
profile sets marionette.port 0), and then quits Firefox.

    tests/e2e/firefox_window.py PROFILE URL
"""
import json
import os
import signal
import socket
import subprocess
import sys
import time

# The page marks its body once the game has ended.
ENDED = "return document.body !== null && document.body.classList.contains('ended')"


class marionette:
    """Marionette's messages: a decimal length, a colon and that many bytes
    of JSON; commands [0, id, name, parameters], replies [1, id, error,
    result]."""

    def __init__(self, port):
        self.socket = socket.create_connection(("127.0.0.1", port))
        self.pending = b""
        self.last_id = 0
        self.receive()  # its greeting

    def receive(self):
        while b":" not in self.pending:
            self.read()
        length, self.pending = self.pending.split(b":", 1)
        while len(self.pending) < int(length):
            self.read()
        message, self.pending = self.pending[:int(length)], self.pending[int(length):]
        return json.loads(message)

    def read(self):
        chunk = self.socket.recv(65536)
        if not chunk:
            raise ConnectionError("Firefox closed Marionette")
        self.pending += chunk

    def send(self, command, parameters):
        self.last_id += 1
        message = json.dumps([0, self.last_id, command, parameters]).encode()
        self.socket.sendall(str(len(message)).encode() + b":" + message)
        while True:
            reply = self.receive()
            if reply[0] == 1 and reply[1] == self.last_id:
                if reply[2]:
                    raise RuntimeError(f"{command}: {reply[2]}")
                return reply[3]


def port_of(firefox, profile):
    path = os.path.join(profile, "MarionetteActivePort")
    while firefox.poll() is None:
        try:
            with open(path) as file:
                return int(file.read())
        except (OSError, ValueError):
            time.sleep(0.1)
    return None


def watch(firefox, profile):
    port = port_of(firefox, profile)
    if port is None:
        return
    remote = marionette(port)
    remote.send("WebDriver:NewSession", {"capabilities": {}})
    while True:
        try:
            ended = remote.send("WebDriver:ExecuteScript", {"script": ENDED, "args": []})["value"]
        except RuntimeError:
            ended = False  # a page still loading has no answer yet
        if ended:
            remote.send("Marionette:Quit", {"flags": ["eForceQuit"]})
            return
        time.sleep(0.05)


def main(profile, url):
    firefox = subprocess.Popen(["firefox-esr", "--kiosk", "--width", "800", "--height", "600",
                                "--no-remote", "--marionette", "--profile", profile, url])
    # The end-to-end driver stops the launcher with a signal: it is meant
    # for Firefox.
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, lambda number, _: firefox.send_signal(number))
    try:
        watch(firefox, profile)
    except (ConnectionError, OSError):
        pass  # Firefox ended first
    return firefox.wait()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
