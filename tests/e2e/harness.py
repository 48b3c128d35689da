"""End-to-end harness: runs the player under Wine on an X display and looks at it from outside.

Everything Windows-side goes through tovalin-driver.exe (see driver_win32.cpp), which answers
each command with one JSON object. Mouse and keyboard input comes from xdotool, screenshots
from ImageMagick's import. Standard library only.

Typical test:

    class MyTest(harness.PlayerTestCase):
        def test_something(self):
            exe = self.pack_sample()
            player = self.launch(exe)
            box = self.wait_msgbox(player)
            ...
"""

import atexit
import contextlib
import dataclasses
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import time
import unittest
import zlib
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
# The 64-bit loader, named directly: the plain `wine` command picks the 32-bit one whenever
# wine32 is installed, and that half cannot start on a kernel without 32-bit support.
WINE = os.environ.get("WINELOADER") or "/usr/lib/wine/wine64"
WINESERVER = os.environ.get("WINESERVER") or "/usr/lib/wine/wineserver64"
DESKTOP_COLOUR = (0x3A, 0x6E, 0xA5)

# The warning a player without a package shows, and the caption of every other message.
NO_PACKAGE_TITLE = "警告"
NO_PACKAGE_TEXT = "TOVALIN+で「単体EXE作成」しなければ動作しません。"
APP_TITLE = "TOVALIN+"


class HarnessError(AssertionError):
    """Something the test waited for did not happen; reported as a test failure."""


class DriverError(HarnessError):
    def __init__(self, message, result=None):
        super().__init__(message)
        self.result = result or {}


# ---------------------------------------------------------------------------------------------
# Configuration


@dataclasses.dataclass
class Config:
    build: Path
    artifacts: Path
    env: dict
    display: str
    # The Windows build the tests run: the 64-bit twin, or "mingw" (the 32-bit player) where the
    # machine can run 32-bit code.
    windows: str = "mingw64"

    @property
    def windows_build(self):
        return self.build / self.windows

    @property
    def packer(self):
        return self.build / "native" / "tovalin-pack"

    @property
    def player(self):
        return self.windows_build / "tovalin-player.exe"

    @property
    def driver(self):
        return self.windows_build / "tovalin-driver.exe"

    @property
    def wine_log(self):
        return self.artifacts / "wine-stderr.log"


_config = None
_launched = {}  # pid -> image name of every process the harness started and has not seen end


def configure(build=None, artifacts=None, windows=None):
    """Sets where the binaries are and where artifacts go; returns the Config."""
    global _config
    build = Path(build or REPO / "build").resolve()
    artifacts = Path(artifacts or build / "artifacts").resolve()
    env = dict(os.environ)
    env["WINEPREFIX"] = os.environ.get("WINEPREFIX") or str(build / "wineprefix")
    env["WINEARCH"] = "win64"
    env["WINELOADER"] = WINE
    env["WINESERVER"] = WINESERVER
    env["WINEDEBUG"] = "-all"
    env["LANG"] = env["LC_ALL"] = "ja_JP.UTF-8"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    _config = Config(build, artifacts, env, os.environ.get("DISPLAY", ""),
                     windows or os.environ.get("TOVALIN_WINDOWS_BUILD") or "mingw64")
    return _config


def config():
    return _config or configure()


_gui_reason = None
_gui_checked = False


def gui_unavailable():
    """Why GUI tests cannot run here, or None when they can."""
    global _gui_reason, _gui_checked
    if _gui_checked:
        return _gui_reason
    _gui_checked = True
    cfg = config()
    reason = None
    if not cfg.display:
        reason = "no DISPLAY set (start Xvfb and export DISPLAY)"
    elif not os.access(WINE, os.X_OK):
        reason = f"64-bit Wine is not installed ({WINE})"
    elif not cfg.driver.is_file():
        reason = f"driver not built: {cfg.driver}"
    elif not cfg.player.is_file():
        reason = f"player not built: {cfg.player}"
    elif subprocess.run(["xdpyinfo"], env=cfg.env, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL).returncode != 0:
        reason = f"X display {cfg.display} does not answer"
    _gui_reason = reason
    return reason


def require_gui():
    reason = gui_unavailable()
    if reason:
        raise unittest.SkipTest(reason)


_wine_started = False


def start_wine():
    """Prepares the Wine session once per run: prefix, a lingering wineserver, a known desktop.

    The server is started here, with no pipes of ours, because every Wine process inherits the
    standard error of whoever started the server. It lingers 30 s after the last process, so
    no test pays for its start and nothing needs killing at the end.
    """
    global _wine_started
    if _wine_started:
        return
    _wine_started = True
    cfg = config()
    cfg.artifacts.mkdir(parents=True, exist_ok=True)
    prefix = Path(cfg.env["WINEPREFIX"])
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-p30"], env=cfg.env, **quiet)
    if not (prefix / "system.reg").exists():
        prefix.mkdir(parents=True, exist_ok=True)
        subprocess.run([WINE, "wineboot", "-i"], env=cfg.env, timeout=300, **quiet)
    # There is no window manager on the test display. Left "managed", every captioned window
    # (a message box) waits two seconds for one whenever it is hidden or activated.
    # A brand-new prefix may not have flushed user.reg yet: then the setting is simply absent.
    user_reg = prefix / "user.reg"
    current = user_reg.read_text(errors="replace") if user_reg.exists() else ""
    if '"Managed"="N"' not in current:
        reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
    # A run that stopped in the middle of a high-resolution test may have left its setting.
    stale_dpi = re.search(r'"LogPixels"=dword:([0-9a-f]+)', current)
    if stale_dpi and int(stale_dpi.group(1), 16) != _display_dpi:
        reg_add(r"HKCU\Control Panel\Desktop", "LogPixels", _display_dpi, kind="REG_DWORD")
        subprocess.run([WINESERVER, "-k"], env=cfg.env, timeout=60, **quiet)
        subprocess.run([WINESERVER, "-w"], env=cfg.env, timeout=60, **quiet)
        subprocess.run([WINESERVER, "-p30"], env=cfg.env, **quiet)
    set_desktop_colour(DESKTOP_COLOUR)
    driver("processes")  # brings up Wine's own processes before the first test is timed out


_display_dpi = 96


def reg_add(key, name, data, kind="REG_SZ"):
    """Writes one value into the prefix's registry through Wine's own reg command."""
    subprocess.run([WINE, "reg", "add", key, "/v", name, "/t", kind, "/d", str(data), "/f"],
                   env=config().env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=True)


def reg_query(key, name):
    """One value of the prefix's registry as Wine's own reg command shows it: (type, data), or
    None when the key or the value is missing."""
    proc = subprocess.run([WINE, "reg", "query", key, "/v", name], env=config().env,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    if proc.returncode != 0:
        return None
    # reg writes through the console's code page when its output is a pipe.
    for line in proc.stdout.decode("cp932", errors="replace").splitlines():
        fields = line.strip().split("    ", 2)
        if len(fields) == 3 and fields[0] == name:
            return fields[1], fields[2]
    raise HarnessError(f"reg query {key} /v {name}: no such line in {proc.stdout!r}")


def reg_delete(key, name):
    """Removes one value of the prefix's registry, if it is there."""
    subprocess.run([WINE, "reg", "delete", key, "/v", name, "/f"], env=config().env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


def set_display_dpi(dpi):
    """Gives the Wine session a display of `dpi` dots per inch (Wine reads the LogPixels
    setting when its processes start): every Wine process is ended and the session started
    again. Nothing happens when the session already has that resolution."""
    global _display_dpi, _wine_started
    if dpi == _display_dpi:
        return
    cfg = config()
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    reg_add(r"HKCU\Control Panel\Desktop", "LogPixels", dpi, kind="REG_DWORD")
    subprocess.run([WINESERVER, "-k"], env=cfg.env, timeout=60, **quiet)
    subprocess.run([WINESERVER, "-w"], env=cfg.env, timeout=60, **quiet)
    _launched.clear()
    _display_dpi = dpi
    _wine_started = False
    start_wine()


_x11_connection = None


def set_desktop_colour(rgb):
    """Plain desktop so that shaped windows' outlines show in screenshots.

    Sets the root window's background pixel over the X protocol itself (xsetroot is not always
    installed) and keeps that connection open for the rest of the run: an X server that is not
    told otherwise resets itself, background included, when its last client leaves, which
    happens whenever Wine shuts down between two tests.
    """
    global _x11_connection
    # The old connection closes only once the new one is open: a server left with no client
    # resets itself, and a connection made while it does is dropped.
    previous, _x11_connection = _x11_connection, None
    display = config().display
    number = display.split(":", 1)[1].split(".", 1)[0] if ":" in display else ""
    if display.split(":", 1)[0] not in ("", "unix") or not number.isdigit():
        raise HarnessError(f"cannot set the desktop colour of display {display!r}")
    _x11_connection = x = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    x.settimeout(10)
    x.connect(f"/tmp/.X11-unix/X{number}")
    root, masks = _x11_setup(x, number)
    pixel = 0
    for value, mask in zip(rgb, masks):
        shift = (mask & -mask).bit_length() - 1
        width = mask.bit_length() - shift
        pixel |= ((value * ((1 << width) - 1) + 127) // 255) << shift
    back_pixel = 0x2
    x.sendall(struct.pack("<BBHIII", 2, 0, 4, root, back_pixel, pixel)  # ChangeWindowAttributes
              + struct.pack("<BBHIhhHH", 61, 0, 4, root, 0, 0, 0, 0)  # ClearArea, whole window
              + struct.pack("<BBH", 43, 0, 1))  # GetInputFocus: its reply says all is done
    reply = _x11_read(x, 32)
    if previous:
        previous.close()
    if reply[0] != 1:
        raise HarnessError(f"X server refused to set the desktop colour (error {reply[1]})")


def _x11_read(x, n):
    data = b""
    while len(data) < n:
        chunk = x.recv(n - len(data))
        if not chunk:
            raise HarnessError("X server closed the connection")
        data += chunk
    return data


def _x11_cookie(number):
    path = Path(os.environ.get("XAUTHORITY") or Path.home() / ".Xauthority")
    try:
        data = path.read_bytes()
    except OSError:
        return b"", b""
    pos, fields = 2, []
    while pos + 2 <= len(data):
        fields = []
        for _ in range(4):
            length = struct.unpack_from(">H", data, pos)[0]
            fields.append(data[pos + 2:pos + 2 + length])
            pos += 2 + length
        if fields[1] == number.encode() and fields[2] == b"MIT-MAGIC-COOKIE-1":
            return fields[2], fields[3]
        pos += 2  # family of the next entry
    return b"", b""


def _x11_setup(x, number):
    """Opens the connection; returns the first screen's root window and its visual's masks."""
    name, cookie = _x11_cookie(number)
    pad = lambda b: b + b"\0" * (-len(b) % 4)  # noqa: E731
    x.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, len(name), len(cookie)) + pad(name)
              + pad(cookie))
    head = _x11_read(x, 8)
    body = _x11_read(x, struct.unpack_from("<H", head, 6)[0] * 4)
    if head[0] != 1:
        raise HarnessError(f"X server refused the connection: {body[:head[1]]!r}")
    vendor_length, formats = struct.unpack_from("<H", body, 16)[0], body[21]
    screen = 32 + vendor_length + (-vendor_length % 4) + 8 * formats
    root = struct.unpack_from("<I", body, screen)[0]
    root_visual = struct.unpack_from("<I", body, screen + 32)[0]
    pos, depths = screen + 40, body[screen + 39]
    for _ in range(depths):
        visuals = struct.unpack_from("<H", body, pos + 2)[0]
        pos += 8
        for _ in range(visuals):
            visual, red, green, blue = struct.unpack_from("<I4xIII", body, pos)
            if visual == root_visual:
                return root, (red, green, blue)
            pos += 24
    raise HarnessError("X server: root visual not found")


# ---------------------------------------------------------------------------------------------
# Paths


def winpath(path):
    """Unix path as Wine sees it through drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def unixpath(windows_path):
    """Windows path (Z:\\... or C:\\... of the prefix) back to a Unix path."""
    drive, rest = windows_path[:2].upper(), windows_path[2:].replace("\\", "/")
    if drive == "Z:":
        return Path(rest or "/")
    if drive == "C:":
        return Path(config().env["WINEPREFIX"]) / "drive_c" / rest.lstrip("/")
    raise ValueError(f"no Unix path for {windows_path!r}")


# ---------------------------------------------------------------------------------------------
# The driver


# Driver commands that only look: asking one again changes nothing.
_QUESTIONS = frozenset({"windows", "msgbox", "gui-resources", "tray", "processes", "modules",
                        "list-items", "gui-thread"})


def _run_driver(args, timeout):
    cfg = config()
    cfg.artifacts.mkdir(parents=True, exist_ok=True)
    cmd = [WINE, str(cfg.driver), *[str(a) for a in args]]
    with open(cfg.wine_log, "ab") as log:
        try:
            return subprocess.run(cmd, env=cfg.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=log, timeout=timeout)
        except subprocess.TimeoutExpired as e:
            raise DriverError(f"driver {args[0]} did not answer in {timeout} s") from e


def driver(*args, check=True, timeout=60):
    """Runs one driver command; returns its JSON answer.

    With check, an answer that reports failure raises DriverError (a test failure).
    """
    proc = _run_driver(args, timeout)
    if proc.returncode != 0 and not proc.stdout.strip() and args[0] in _QUESTIONS:
        # A driver that printed nothing did not get to answer: once in a full run the driver
        # ended with exit code 1 and no output at all while a drag held the pointer. A question
        # changes nothing, so it is asked once more; the Wine log keeps a trace.
        with open(config().wine_log, "ab") as log:
            log.write(f"harness: driver {' '.join(map(str, args))} ended with "
                      f"{proc.returncode:#x} before it answered; asked again\n".encode())
        proc = _run_driver(args, timeout)
    lines = proc.stdout.decode("utf-8", errors="strict").strip().splitlines()
    try:
        result = json.loads(lines[-1]) if lines else {}
    except json.JSONDecodeError as e:
        raise DriverError(f"driver {args[0]}: not JSON: {proc.stdout[:200]!r}") from e
    if proc.returncode == 2:
        raise DriverError(f"driver usage error: {result.get('error')}", result)
    if check and proc.returncode != 0:
        raise DriverError(f"driver {' '.join(map(str, args))}: {result.get('error')} "
                          f"(exit {proc.returncode:#x}, answer {result})", result)
    return result


def _ms(seconds):
    return str(int(seconds * 1000))


def _process_args(pid=None, image=None):
    out = []
    if pid is not None:
        out += ["--pid", pid]
    if image is not None:
        out += ["--image", image]
    return out


def launch(exe, *args, temp=None, cwd=None, env=None):
    """Starts a Windows program (Unix path) with TEMP and TMP set to `temp`; returns its pid."""
    cmd = ["launch"]
    if temp is not None:
        cmd += ["--temp", winpath(temp)]
    if cwd is not None:
        cmd += ["--cwd", winpath(cwd)]
    for name, value in (env or {}).items():
        cmd += ["--env", f"{name}={value}"]
    result = driver(*cmd, "--", winpath(exe), *args)
    _launched[result["pid"]] = Path(exe).name
    return result["pid"]


def windows(pid=None, image=None, cls=None, hidden=False):
    """Top-level windows, topmost first (see the driver for the fields)."""
    cmd = ["windows", *_process_args(pid, image)]
    if cls:
        cmd += ["--class", cls]
    if hidden:
        cmd.append("--all")
    return driver(*cmd)["windows"]


def wait_windows(pid=None, image=None, cls=None, count=1, timeout=10.0):
    """Waits until at least `count` visible top-level windows match; returns them."""
    cmd = ["windows", *_process_args(pid, image), "--count", count, "--wait", _ms(timeout)]
    if cls:
        cmd += ["--class", cls]
    result = driver(*cmd, check=False)
    if len(result["windows"]) < count:
        raise HarnessError(f"expected {count} window(s) of {pid or image} in {timeout} s, "
                           f"saw {len(result['windows'])}{_ended(result)}")
    return result["windows"]


def _ended(result):
    if not result.get("exited"):
        return ""
    code = result.get("code")
    return f"; the process ended (exit code {code if code is not None else 'unknown'})"


def msgbox(pid=None, image=None, timeout=0.0):
    """The message box (dialog) a process shows, or None when there is none within `timeout`
    (waiting on a pid stops when that process ends)."""
    result = driver("msgbox", *_process_args(pid, image), "--wait", _ms(timeout), check=False)
    return None if "error" in result else result


def wait_msgbox(pid=None, image=None, timeout=10.0):
    result = driver("msgbox", *_process_args(pid, image), "--wait", _ms(timeout), check=False)
    if "error" in result:
        raise HarnessError(f"no message box from {pid or image} within {timeout} s"
                           f"{_ended(result)}")
    return result


def press(pid=None, image=None, button="OK", button_id=None, wait_exit=None, timeout=5.0,
          how="command"):
    """Presses a button of the process's dialog; with wait_exit (s) also waits for the exit.

    The answer holds the dialog as it was ("dialog"), and with wait_exit "exited" and "code".
    """
    cmd = ["press", *_process_args(pid, image), "--wait", _ms(timeout), "--how", how]
    cmd += ["--id", button_id] if button_id is not None else ["--button", button]
    if wait_exit is not None:
        cmd += ["--wait-exit", _ms(wait_exit)]
    result = driver(*cmd, timeout=60 + (wait_exit or 0))
    if result.get("exited"):
        _launched.pop(pid, None)
    return result


def ending(pid, action, timeout=10.0):
    """Runs action(), which is to make the process end, and waits for the end; returns the
    wait-exit answer. The process is held open from before the action, so its exit code can be
    read however soon after the action it ends (once nobody holds an ended process, its code is
    lost)."""
    def act(first):
        if first.get("waiting"):
            action()
    _, result = driver_around(["wait-exit", "--pid", pid, "--timeout", _ms(timeout),
                               "--announce"], act, timeout)
    if result.get("exited"):
        _launched.pop(pid, None)
    return result


def driver_around(args, action, timeout):
    """Runs a driver command that announces itself with a first JSON line before it waits for
    something; calls action(first answer) once that line is in, and returns the first and the
    last answer."""
    cfg = config()
    cmd = [WINE, str(cfg.driver), *[str(a) for a in args]]
    with open(cfg.wine_log, "ab") as log:
        proc = subprocess.Popen(cmd, env=cfg.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=log)
        try:
            first = json.loads(proc.stdout.readline().decode("utf-8") or "{}")
            action(first)
            out, _ = proc.communicate(timeout=60 + timeout)
        except BaseException:
            proc.kill()
            proc.wait()
            raise
    lines = out.decode("utf-8").strip().splitlines()
    return first, (json.loads(lines[-1]) if lines else first)


def wait_exit(pid, timeout=10.0):
    """Waits for a process to end; returns {"exited", "code", ...}. "gone" when it had ended."""
    result = driver("wait-exit", "--pid", pid, "--timeout", _ms(timeout), check=False,
                    timeout=60 + timeout)
    if result.get("exited"):
        _launched.pop(pid, None)
    return result


def running(pid):
    return any(p["pid"] == pid for p in driver("processes", "--pid", pid)["processes"])


def kill(pid):
    """Ends a process the harness started, unless it is known to have ended.

    Wine reuses process ids quickly, so the image name must match too: an id that has been
    handed on to another program since is left alone.
    """
    image = _launched.pop(pid, None)
    if image is None:
        return {"killed": [], "gone": [pid]}
    return driver("kill", "--pid", pid, "--image", image, check=False)


def linux_processes(pid):
    """The Linux processes that run the harness-launched Windows process pid (Wine runs each
    Windows process as one Linux process, whose command line names the executable)."""
    image = _launched.get(pid)
    if image is None:
        raise HarnessError(f"process {pid} was not launched by the harness or has ended")
    found = linux_processes_running(image)
    if not found:
        raise HarnessError(f"no Linux process runs {image}")
    return found


def linux_processes_running(image):
    """The Linux processes of this session's Wine prefix whose command line names `image`.
    Other Wine sessions on the machine (the parts of a run side by side, another checkout's
    tests) start executables of the same names, each under its own prefix."""
    prefix = f"WINEPREFIX={config().env['WINEPREFIX']}".encode()
    found = []
    for proc in Path("/proc").iterdir():
        try:
            if (proc.name.isdigit() and image.encode() in (proc / "cmdline").read_bytes()
                    and prefix in (proc / "environ").read_bytes().split(b"\0")):
                found.append(int(proc.name))
        except OSError:
            continue
    return found


@contextlib.contextmanager
def stopped(pid):
    """Holds the Windows process pid still (SIGSTOP) for the body: its timers wait, and what it
    has drawn stays on the screen, however long a look at it takes on a busy machine. The
    system can still be asked about its windows, but nothing may send them a message."""
    held = linux_processes(pid)
    for linux_pid in held:
        os.kill(linux_pid, signal.SIGSTOP)
    try:
        yield
    finally:
        for linux_pid in held:
            os.kill(linux_pid, signal.SIGCONT)


def kill_all_launched():
    for pid in list(_launched):
        try:
            kill(pid)
        except HarnessError:
            pass


atexit.register(kill_all_launched)


def gui_resources(pid):
    """{"gdi", "user", "handles", "private_bytes", "pagefile_bytes", "working_set"}; None
    where the system does not tell (under Wine: gdi, user, handles and private_bytes; its
    pagefile_bytes is the process's private memory)."""
    return driver("gui-resources", "--pid", pid)


def modules(pid):
    """The base names of the libraries the process has loaded, in lower case."""
    return [name.lower() for name in driver("modules", "--pid", pid)["modules"]]


def tray_icons_shown():
    """The icons Wine's tray shows now (none when the tray window is hidden or gone)."""
    result = driver("tray", check=False)
    tray_window = result.get("tray")
    if not tray_window or not tray_window.get("visible"):
        return []
    return result.get("icons") or []


def tray(icons=1, timeout=10.0):
    """Wine's tray window and its icons ("icons": [{"rect", "center": [x, y]}, ...])."""
    result = driver("tray", "--icons", icons, "--wait", _ms(timeout), check=False)
    if "error" in result:
        raise HarnessError(f"no tray with {icons} icon(s) within {timeout} s")
    return result


def wait_until(predicate, timeout=10.0, interval=0.1, message="condition"):
    """Polls predicate() until it returns something true; returns that value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise HarnessError(f"timed out after {timeout} s waiting for {message}")
        time.sleep(interval)


# ---------------------------------------------------------------------------------------------
# Mouse, keyboard and screen


def xdotool(*args):
    subprocess.run(["xdotool", *[str(a) for a in args]], env=config().env, check=True,
                   stdout=subprocess.DEVNULL, timeout=30)


def mouse_move(x, y):
    xdotool("mousemove", x, y)


def click(x, y, button=1, repeat=1):
    xdotool("mousemove", x, y, "click", "--repeat", repeat, button)


def right_click(x, y):
    click(x, y, button=3)


def mouse_down(x, y, button=1):
    xdotool("mousemove", x, y, "mousedown", button)


def mouse_up(button=1):
    xdotool("mouseup", button)


def in_move_loop(pid):
    return driver("gui-thread", "--pid", pid)["movesize"]


def press_for_drag(pid, x, y, button=1, timeout=20.0):
    """Presses on a window of process pid and waits until its move loop runs: motion that
    arrives before the loop has started is lost, and how long the start takes depends on how
    busy the machine is."""
    mouse_down(x, y, button)
    try:
        wait_until(lambda: in_move_loop(pid), timeout=timeout, interval=0.02,
                   message=f"the move loop of process {pid} after the press")
    except HarnessError:
        mouse_up(button)  # a button left down would spoil every later test's clicks
        raise


def drag(pid, start, end, button=1, steps=10, step_pause=0.04):
    """Presses at start on a window of process pid, moves to end in steps and releases."""
    (x0, y0), (x1, y1) = start, end
    press_for_drag(pid, x0, y0, button)
    for i in range(1, steps + 1):
        mouse_move(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
        time.sleep(step_pause)
    mouse_up(button)
    # The loop takes the motion and the release in order, so once it has ended the window
    # stands where the last motion put it.
    wait_until(lambda: not in_move_loop(pid), timeout=20.0, interval=0.02,
               message=f"the move loop of process {pid} to end after the release")


def key(*keys):
    xdotool("key", *keys)


class Image:
    """An RGB image read from a PNG (8-bit RGB or RGBA, as screenshot() writes)."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    @classmethod
    def load(cls, path):
        data = Path(path).read_bytes()
        if data[:8] != b"\x89PNG\r\n\x1a\n":
            raise ValueError(f"{path} is not a PNG")
        pos, idat, header = 8, b"", None
        while pos < len(data):
            length, kind = struct.unpack_from(">I4s", data, pos)
            body = data[pos + 8:pos + 8 + length]
            pos += 12 + length
            if kind == b"IHDR":
                header = struct.unpack(">IIBBBBB", body)
            elif kind == b"IDAT":
                idat += body
            elif kind == b"IEND":
                break
        width, height, depth, colour, _, _, interlace = header
        if depth != 8 or colour not in (2, 6) or interlace:
            raise ValueError(f"{path}: unsupported PNG (depth {depth}, colour type {colour})")
        channels = 3 if colour == 2 else 4
        raw = zlib.decompress(idat)
        stride = width * channels
        rows, prev = [], bytearray(stride)
        for y in range(height):
            kind = raw[y * (stride + 1)]
            line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
            _unfilter(kind, line, prev, channels)
            rows.append(line)
            prev = line
        rgb = bytearray()
        for line in rows:
            if channels == 3:
                rgb += line
            else:
                for i in range(0, len(line), 4):
                    rgb += line[i:i + 3]
        return cls(width, height, bytes(rgb))


def _unfilter(kind, line, prev, bpp):
    for i in range(len(line)):
        a = line[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if kind == 1:
            line[i] = (line[i] + a) & 0xFF
        elif kind == 2:
            line[i] = (line[i] + b) & 0xFF
        elif kind == 3:
            line[i] = (line[i] + (a + b) // 2) & 0xFF
        elif kind == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            pred = a if pa <= pb and pa <= pc else b if pb <= pc else c
            line[i] = (line[i] + pred) & 0xFF


def paint(pid):
    """Makes the process paint its windows now (a new window shows what was below it until
    its owner gets round to painting)."""
    return driver("paint", "--pid", pid, check=False)


def screenshot(path, paint_pids=()):
    """Saves the whole screen as an 8-bit RGB PNG, after the given processes have painted
    their windows; returns the path."""
    for pid in paint_pids:
        paint(pid)
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["import", "-window", "root", f"PNG24:{path}"], env=config().env,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    return path


# ---------------------------------------------------------------------------------------------
# Packages


def pack(output, icon, frames, count=None, move=None, location=None, speed=None, version=None,
         copyright=None, player=None):
    """Builds a character executable with the native packer; returns its path."""
    cfg = config()
    if not cfg.packer.is_file():
        raise unittest.SkipTest(f"packer not built: {cfg.packer}")
    cmd = [str(cfg.packer), "create", "-o", str(output), "--icon", str(icon),
           *[str(f) for f in frames]]
    for option, value in (("--count", count), ("--move", move), ("--location", location),
                          ("--speed", speed), ("--version", version),
                          ("--copyright", copyright)):
        if value is not None:
            cmd += [option, str(value)]
    cmd += ["--player", str(player or cfg.player)]
    Path(output).unlink(missing_ok=True)
    proc = subprocess.run(cmd, env=cfg.env, capture_output=True, timeout=60)
    if proc.returncode != 0:
        raise HarnessError(f"tovalin-pack create failed ({proc.returncode}): "
                           f"{proc.stderr.decode('utf-8', 'replace')}")
    if not Path(output).is_file():
        raise HarnessError(f"tovalin-pack create succeeded but wrote no {output}")
    return Path(output)


def pack_list(exe):
    """Output lines of `tovalin-pack list EXE`."""
    cfg = config()
    proc = subprocess.run([str(cfg.packer), "list", str(exe)], env=cfg.env, capture_output=True,
                          timeout=60)
    if proc.returncode != 0:
        raise HarnessError(f"tovalin-pack list failed: {proc.stderr.decode('utf-8', 'replace')}")
    return proc.stdout.decode("utf-8").splitlines()


def sample_assets():
    """The sample character's icon and frames; skips the test when they are not there."""
    icon = REPO / "assets" / "sample" / "tovalin.ico"
    frames = sorted((REPO / "assets" / "sample" / "frames").glob("*.gif"))
    if not icon.is_file() or not frames:
        raise unittest.SkipTest("sample assets (assets/sample/tovalin.ico, frames/*.gif) absent")
    return icon, frames


DEFAULT_SETTINGS = (("CHA", "1"), ("MOV", "静止"), ("LOC", "中心"), ("ANI", "普通"),
                    ("UVR", "Ver 1.00"), ("CPY", "(C) e2e"))


def header_lines(files, settings=DEFAULT_SETTINGS):
    """Header lines (without CR LF) as the packer writes them for files [(name, bytes)...]."""
    lines = ["VER100"]
    for i, (name, data) in enumerate(files):
        lines += [("ICO" if i == 0 else "FIL") + name, f"SIZ{len(data)}"]
    lines += [tag + value for tag, value in settings]
    return lines


def build_package(files, lines=None, length=None, player=None, tail=b""):
    """A character executable's bytes: player + length line + header + file data + tail.

    files are (name, bytes) with the icon first; lines replace the generated header lines
    (str are encoded in code page 932, bytes are taken as they are); length overrides the
    length line's text.
    """
    if lines is None:
        lines = header_lines(files)
    body = b"".join((l if isinstance(l, bytes) else l.encode("cp932")) + b"\r\n" for l in lines)
    length_line = str(len(body) if length is None else length).encode("ascii")
    stub = Path(player or config().player).read_bytes()
    return stub + length_line + b"\r\n" + body + b"".join(d for _, d in files) + tail


def image_end(exe_bytes):
    """Where the package starts: the end of the last section-table entry's raw data. The
    optional header is 224 bytes in a 32-bit image and 240 in a 64-bit one (magic 0x20B)."""
    pe = struct.unpack_from("<h", exe_bytes, 60)[0]
    sections = exe_bytes[pe + 6]
    optional = 240 if struct.unpack_from("<H", exe_bytes, pe + 24)[0] == 0x20B else 224
    table = pe + 4 + 20 + optional
    size, pointer = struct.unpack_from("<II", exe_bytes, table + 40 * (sections - 1) + 16)
    return size + pointer


def make_gif(width, height, pixels=None, palette=((255, 255, 255), (200, 40, 40)),
             transparent=0):
    """A GIF89a image; pixels is a row-major list of palette indices (default: a filled disc
    of colour 1 on the transparent colour 0)."""
    if pixels is None:
        cx, cy, r2 = (width - 1) / 2, (height - 1) / 2, (min(width, height) / 2) ** 2
        pixels = [1 if (x - cx) ** 2 + (y - cy) ** 2 <= r2 else 0
                  for y in range(height) for x in range(width)]
    table = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    out = bytearray(b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0))
    for rgb in table:
        out += bytes(rgb)
    if transparent is not None:
        out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 1, 0, transparent, 0)
    out += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
    out += bytes([8]) + _gif_blocks(_lzw_literal_codes(pixels)) + b"\x00;"
    return bytes(out)


def _lzw_literal_codes(pixels):
    """LZW data that only uses literal codes, with a clear code often enough that the code
    width stays at 9 bits; every decoder reads it, and no compressor is needed."""
    clear, end = 256, 257
    codes = [clear]
    for i, p in enumerate(pixels):
        if i and i % 250 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    bits, nbits, out = 0, 0, bytearray()
    for code in codes:
        bits |= code << nbits
        nbits += 9
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def _gif_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out += bytes([len(chunk)]) + chunk
    return bytes(out)


def make_ico(size=32, rgba=(200, 40, 40, 255)):
    """An icon file with one 32-bit image of one colour."""
    colour = bytes((rgba[2], rgba[1], rgba[0], rgba[3]))
    pixels = colour * (size * size)
    mask = b"\x00" * (((size + 31) // 32) * 4 * size)
    dib = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask),
                      0, 0, 0, 0) + pixels + mask
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(dib), 22)
    return struct.pack("<HHH", 0, 1, 1) + entry + dib


# ---------------------------------------------------------------------------------------------
# Folders


def tree(folder):
    """Every file and folder below `folder`, as sorted relative paths ("sub/" for folders)."""
    folder = Path(folder)
    out = []
    for path in sorted(folder.rglob("*")):
        rel = path.relative_to(folder).as_posix()
        out.append(rel + "/" if path.is_dir() else rel)
    return out


def clean_folder(path):
    path = Path(path)
    if path.exists():
        shutil.rmtree(path)
    path.mkdir(parents=True)
    return path


# ---------------------------------------------------------------------------------------------
# Test case base


class PlayerTestCase(unittest.TestCase):
    """A test with its own work folder (artifacts/<test id>/) and an empty temporary folder
    (work/temp) that players started by launch() see as TEMP and TMP. Everything launched is
    ended after the test."""

    def setUp(self):
        require_gui()
        start_wine()
        self.work = clean_folder(config().artifacts / self.id().replace("__main__.", ""))
        self.temp = clean_folder(self.work / "temp")
        self._players = []
        self.addCleanup(self._end_players)

    def _end_players(self):
        ended = [kill(pid) for pid in self._players]  # no-op for those seen to end
        if any(answer.get("killed") for answer in ended):
            # A killed player's tray icon goes when the tray notices its window is gone; the
            # next test must not find it (or click it).
            wait_until(lambda: not tray_icons_shown(), timeout=20.0, interval=0.2,
                       message="the tray icons of this test's players to go")

    def launch(self, exe, *args, temp=None, cwd=None, env=None):
        """Starts exe with TEMP=self.temp (or temp) in the work folder (or cwd); returns pid."""
        pid = launch(exe, *args, temp=temp or self.temp, cwd=cwd or self.work, env=env)
        self._players.append(pid)
        return pid

    def screenshot(self, name):
        """Saves work/NAME.png once the test's running players have painted."""
        return screenshot(self.work / f"{name}.png",
                          [pid for pid in self._players if pid in _launched])

    def failure_screenshot(self):
        """Called by the runner when the test fails, while its windows are still up."""
        try:
            self.screenshot("failure")
        except (OSError, subprocess.SubprocessError, HarnessError):
            pass

    def wait_msgbox(self, pid, timeout=10.0):
        return wait_msgbox(pid=pid, timeout=timeout)

    def assert_no_msgbox(self, pid):
        box = msgbox(pid=pid)
        self.assertIsNone(box, f"unexpected message box: {box and (box['title'], box['text'])}")

    def press_ok_and_wait_exit(self, pid, timeout=10.0):
        """Presses OK on the process's message box and asserts that the process then ends."""
        result = press(pid=pid, button="OK", wait_exit=timeout)
        self.assertTrue(result.get("exited"), f"process {pid} still running after OK")
        return result

    def assert_message(self, box, title, text=None):
        self.assertEqual(box["title"], title)
        if text is not None:
            self.assertEqual(box["text"], text)
        self.assertEqual([b["text"] for b in box["buttons"]], ["OK"])

    def write_exe(self, name, data):
        path = self.work / name
        path.write_bytes(data)
        return path

    def pack_sample(self, name="sample.exe", **settings):
        icon, frames = sample_assets()
        return pack(self.work / name, icon, frames, **settings)


def sample_generator():
    """The sample's generator module (assets/make_sample.py), for its GIF, ICO and BMP readers."""
    global _sample_generator
    if _sample_generator is None:
        import importlib.util
        path = REPO / "assets" / "make_sample.py"
        module_spec = importlib.util.spec_from_file_location("tovalin_make_sample", path)
        _sample_generator = importlib.util.module_from_spec(module_spec)
        module_spec.loader.exec_module(_sample_generator)
    return _sample_generator


_sample_generator = None
