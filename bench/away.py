#!/usr/bin/env python3
"""What the player costs while nobody watches: five fast bouncing characters measured running,
then with the session locked, with the display off, and behind a full-screen window, each for
the same time. CPU is read from Linux (/proc) for the player's Wine process, wineserver and the
X server, as bench/steady.py reads it. Prints one AWAY line per state for bench/table.py.

    bench/away.py --build BUILD CHARA.exe [--seconds 10]
"""
import argparse
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import steady  # noqa: E402  (its process classification and /proc readings)

WM_WTSSESSION_CHANGE = 0x02B1
WTS_SESSION_LOCK, WTS_SESSION_UNLOCK = 7, 8
SETTLE_SECONDS = 4.0
CALM_SECONDS = 1.0  # after a change, before its slice is measured


class Driver:
    """tests/e2e's driver, run under Wine for one command at a time."""

    def __init__(self, build):
        self.exe = os.path.join(build, "tovalin-driver.exe")

    def run(self, *args, timeout=60):
        # Standard error to nowhere: a program the driver starts inherits it, and a pipe would
        # then stay open for as long as the character runs.
        out = subprocess.run([steady.WINE_RUN, self.exe, *map(str, args)], stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout,
                             check=False)
        return out.stdout.decode("utf-8", "replace").strip().splitlines()[-1:]


def measure(processes, seconds):
    processes.classify()
    start = processes.sample()
    time.sleep(seconds)
    processes.classify()
    end = processes.sample()
    cost, _ = processes.cost(start, end)
    wall = end[0] - start[0]
    return {group: cost[group] / wall for group in ("player", "wineserver", "x")}


def line(state, figures):
    return "AWAY state=" + state + " " + " ".join(f"{k}={v:.5f}" for k, v in figures.items())


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the mingw64 build folder")
    parser.add_argument("chara", help="five fast bouncing characters, packed")
    parser.add_argument("--seconds", type=float, default=10)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    driver = Driver(build)
    temp = os.path.join(os.path.dirname(os.path.abspath(args.chara)), "away-temp")
    os.makedirs(temp, exist_ok=True)
    launched = driver.run("launch", "--temp", steady.windows_path(temp), "--",
                          steady.windows_path(args.chara))
    pid = int(launched[0].split('"pid":')[1].split(",")[0].split("}")[0])
    processes = steady.Processes(os.environ["WINEPREFIX"], os.environ["DISPLAY"],
                                 os.path.basename(args.chara), None)
    try:
        time.sleep(SETTLE_SECONDS)
        print(line("running", measure(processes, args.seconds)), flush=True)

        driver.run("post", "--pid", pid, "--msg", WM_WTSSESSION_CHANGE, "--wparam",
                   WTS_SESSION_LOCK)
        time.sleep(CALM_SECONDS)
        print(line("locked", measure(processes, args.seconds)), flush=True)
        driver.run("post", "--pid", pid, "--msg", WM_WTSSESSION_CHANGE, "--wparam",
                   WTS_SESSION_UNLOCK)

        driver.run("display-state", "--pid", pid, "--state", 0)
        time.sleep(CALM_SECONDS)
        print(line("displayoff", measure(processes, args.seconds)), flush=True)
        driver.run("display-state", "--pid", pid, "--state", 1)

        cover_ms = int((args.seconds + 2 * CALM_SECONDS) * 1000)
        cover = threading.Thread(target=driver.run, args=("cover", "--ms", cover_ms),
                                 kwargs={"timeout": 60 + cover_ms / 1000})
        cover.start()
        time.sleep(CALM_SECONDS)
        print(line("fullscreen", measure(processes, args.seconds)), flush=True)
        cover.join()
    finally:
        driver.run("kill", "--pid", pid)
    return 0


if __name__ == "__main__":
    sys.exit(main())
