"""The studio and the Windows packer from outside: the studio's controls by their ids, the
driver commands that set them as a user would, its Save As dialog, and PNG files to feed it."""

import struct
import subprocess
import unittest
import zlib

import harness

STUDIO_CLASS = "tovalin.Studio"
# The controls' ids (src/studio/controls_win32.h).
IDS = {
    "frame_list": 1001, "add": 1002, "up": 1003, "down": 1004, "remove": 1005,
    "choose_icon": 1011, "clear_icon": 1012, "icon": 1013, "icon_note": 1014,
    "count": 1021, "move": 1022, "location": 1023, "speed": 1024,
    "version": 1025, "copyright": 1026, "text_note": 1027, "frames_label": 1031,
    "try": 1041, "create": 1042, "preview": 1051,
}
# The common Save As dialog's file name box (cmb13, with its edit control inside).
FILE_NAME_BOX = 1148
SAVE_BUTTON = 1


def studio_exe():
    exe = harness.config().windows_build / "tovalin-studio.exe"
    if not exe.is_file():
        raise unittest.SkipTest(f"studio not built: {exe}")
    return exe


def windows_packer(*args):
    """Runs the Windows tovalin-pack under Wine; returns (exit code, stdout, stderr)."""
    cfg = harness.config()
    packer = cfg.windows_build / "tovalin-pack.exe"
    if not packer.is_file():
        raise unittest.SkipTest(f"Windows packer not built: {packer}")
    proc = subprocess.run([harness.WINE, str(packer), *[str(a) for a in args]], env=cfg.env,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    return (proc.returncode, proc.stdout.decode("utf-8", "replace"),
            proc.stderr.decode("utf-8", "replace"))


def make_png(width, height, pixel):
    """An 8-bit RGBA PNG; pixel(x, y) gives (r, g, b, a)."""
    raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width))
                   for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


def png_claiming(width, height):
    """A PNG whose header claims width x height and that holds no picture data."""
    png = make_png(1, 1, lambda x, y: (0, 0, 0, 0))
    return png[:16] + struct.pack(">II", width, height) + png[24:]


def broken_png(data):
    """The PNG with its compressed picture data scrambled (the chunk's checksum left wrong)."""
    start = data.index(b"IDAT") + 4
    out = bytearray(data)
    for i in range(start + 2, min(start + 40, len(out) - 16)):
        out[i] ^= 0x5A
    return bytes(out)


def gif_of_many_images(count):
    """A GIF89a of `count` 1 x 1 images: a file that claims many frames in few bytes."""
    table = bytes((0, 0, 0, 255, 0, 0))
    head = b"GIF89a" + struct.pack("<HHBBB", 1, 1, 0x80, 0, 0) + table
    image = (struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 0, 10, 0, 0)
             + struct.pack("<BHHHHB", 0x2C, 0, 0, 1, 1, 0) + bytes([2, 2, 0x4C, 0x01, 0]))
    return head + image * count + b";"


class Studio:
    """A studio started with files on its command line, driven through its controls."""

    def __init__(self, test, *files, temp=None):
        self.pid = test.launch(studio_exe(), *[harness.winpath(f) for f in files], temp=temp)
        self.window = harness.wait_windows(pid=self.pid, cls=STUDIO_CLASS, timeout=20)[0]

    def controls(self):
        box = harness.driver("msgbox", "--pid", self.pid, "--class", STUDIO_CLASS, "--wait", 5000)
        return {c["id"]: c for c in box["controls"] if c["id"] in IDS.values()}

    def control(self, name):
        return self.controls()[IDS[name]]

    def text(self, name):
        return self.control(name)["text"]

    def set_text(self, name, text):
        return harness.driver("set-text", "--hwnd", self.control(name)["hwnd"], "--text", text)

    def select(self, name, index):
        return harness.driver("select", "--hwnd", self.control(name)["hwnd"], "--index", index)

    def click(self, name):
        return harness.driver("click", "--hwnd", self.control(name)["hwnd"])

    def items(self):
        """The frame list's rows: [number, file, size], and the selected row."""
        answer = harness.driver("list-items", "--hwnd", self.control("frame_list")["hwnd"])
        return answer["items"], answer["selected"]

    def wait_items(self, count, timeout=20.0):
        hwnd = self.control("frame_list")["hwnd"]

        def enough():
            items = harness.driver("list-items", "--hwnd", hwnd)["items"]
            return items if len(items) == count else None
        return harness.wait_until(enough, timeout=timeout, interval=0.2,
                                  message=f"{count} frames in the studio's list")

    def save_as(self, path):
        """Fills in the Save As dialog the studio shows and presses its Save button."""
        dialog = harness.wait_msgbox(pid=self.pid)
        boxes = [c for c in dialog["controls"]
                 if c["id"] == FILE_NAME_BOX and c["class"].lower() == "edit"]
        if not boxes:
            raise harness.HarnessError(f"no file name box in the dialog {dialog['title']!r}")
        harness.driver("set-text", "--hwnd", boxes[0]["hwnd"], "--text", harness.winpath(path))
        harness.press(pid=self.pid, button_id=SAVE_BUTTON)
        return dialog

    def message(self, timeout=20.0):
        """The next message box: title, text and buttons."""
        return harness.wait_msgbox(pid=self.pid, timeout=timeout)

    def ok(self):
        harness.press(pid=self.pid, button="OK")
