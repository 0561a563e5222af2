#!/usr/bin/env python3
"""Ends the game the ways a user's desktop does, many times each, and counts
how it ended: exit status or signal, core dumps (core size unlimited, read
from the wait status), what it wrote to stderr and whether it took over a
second. Each run gets a fresh Xvfb of its own, the game's window, the
pointer over the play area, then the ending at a varied moment.

  tests/endings.py [--game build/veldrath] RUNS WAY...

WAY is one of display (the X server ends, as at logout), windowkill
(xdotool windowkill, a window manager's force quit), term, int, hup (the
signal) and escape. Needs Xvfb and xdotool (scripts/lib/install.sh's
hardening_packages).
"""
import argparse
import collections
import os
import random
import resource
import signal
import subprocess
import sys
import tempfile
import time

XVFB = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "lib", "xvfb")
SIGNALS = {"term": signal.SIGTERM, "int": signal.SIGINT, "hup": signal.SIGHUP}


def start_server():
    """A private Xvfb (scripts/lib/xvfb) and its display's name."""
    with tempfile.TemporaryDirectory() as folder:
        number = os.path.join(folder, "display")
        server = subprocess.Popen([XVFB, "800x600", number])
        for _ in range(100):
            written = open(number).read() if os.path.exists(number) else ""
            if written.endswith("\n"):
                return server, ":" + written.strip()
            time.sleep(0.1)
    raise SystemExit("endings: Xvfb did not start")


def unlimited_core():
    resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))


def find_window(env):
    for _ in range(200):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Veldrath$"],
                               env=env, capture_output=True, text=True).stdout.split()
        if found:
            return found[0]
        time.sleep(0.05)
    return None


def end(way, game, server, window, env):
    if way == "display":
        server.terminate()
        server.wait()
    elif way == "windowkill":
        subprocess.run(["xdotool", "windowkill", window], env=env)
    elif way == "escape":
        subprocess.run(["xdotool", "keydown", "Escape", "sleep", "0.2", "keyup", "Escape"], env=env)
    else:
        os.kill(game.pid, SIGNALS[way])


def wait_status(pid, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return status
        time.sleep(0.01)
    os.kill(pid, signal.SIGKILL)
    return None


def describe(status):
    if status is None:
        return "hung, killed"
    if os.WIFEXITED(status):
        return f"exit {os.WEXITSTATUS(status)}"
    core = " with core dump" if os.WCOREDUMP(status) else ""
    return f"killed by {signal.Signals(os.WTERMSIG(status)).name}{core}"


def one_run(path, way, scratch):
    server, display = start_server()
    env = dict(os.environ, DISPLAY=display)
    try:
        with open(os.path.join(scratch, "stderr"), "w+") as errors:
            game = subprocess.Popen([path], env=env, cwd=scratch, stdout=subprocess.DEVNULL,
                                    stderr=errors, preexec_fn=unlimited_core)
            game.returncode = 0  # reaped here, by wait_status
            window = find_window(env)
            if window is None:
                os.kill(game.pid, signal.SIGKILL)
                os.waitpid(game.pid, 0)
                return "no window appeared", "", 0, False
            subprocess.run(["xdotool", "mousemove", "300", "300"], env=env)
            time.sleep(random.uniform(0.2, 0.6))
            began = time.time()
            end(way, game, server, window, env)
            status = wait_status(game.pid, 10)
            took = time.time() - began
            errors.seek(0)
            text = errors.read()
    finally:
        if server.poll() is None:
            server.terminate()
            server.wait()
    cores = [f for f in os.listdir(scratch) if f.startswith("core")]
    for f in cores:
        os.remove(os.path.join(scratch, f))
    dumped = bool(cores) or (status is not None and os.WIFSIGNALED(status) and
                             os.WCOREDUMP(status))
    return describe(status), text, took, dumped


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--game", default=os.path.join(root, "build", "veldrath"))
    parser.add_argument("runs", type=int)
    parser.add_argument("ways", nargs="+", choices=["display", "windowkill", "escape", *SIGNALS])
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        count_endings(args, scratch)


def count_endings(args, scratch):
    for way in args.ways:
        tally = collections.Counter()
        dumps = slow = 0
        for _ in range(args.runs):
            how, text, took, dumped = one_run(os.path.abspath(args.game), way, scratch)
            tally[(how, text)] += 1
            dumps += dumped
            slow += took > 1.0
        print(f"{way}: {args.runs} runs, {dumps} core dumps, {slow} over a second")
        for (how, text), count in tally.most_common():
            print(f"  {count:4d}  {how}, stderr {text!r}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
