"""What the end-to-end tests share: the desktop under Xvfb driven with xdotool,
the window's layout on the screen, and the results a scan must give, computed
here from the scan itself, independently of the program."""
import argparse
import math
import os
import pathlib
import shutil
import struct
import subprocess
import tempfile
import time
from decimal import Decimal, ROUND_HALF_EVEN, ROUND_HALF_UP, Context

# The menu bar's fixed height: the layout's client area of 1184 x 863 starts below it.
MENU_BAR = 20
SCREEN = (1184, 863 + MENU_BAR)


def client(x, y):
    """A layout position of the client area, on the screen."""
    return (x, y + MENU_BAR)


PICTURE_ORIGIN = client(8, 8)  # Panel2's top-left corner; Image2 sits at its origin after a load
BUTTON_OPEN = client(60, 648)
BUTTON_ANALYZE = client(292, 648)
BUTTON_SAVE = client(416, 648)
BUTTON_EXIT = client(1126, 648)
BUTTON_START_STOP = client(1016, 84)
EDIT_DPI = client(1096, 33)
LABEL_DPI = client(982, 32)
# The coordinates list: its P(n) heads, 24 pixels a row below the 24-pixel head
# row (row 3 is 22 high), scrolled to the top.
LIST_HEAD_X = client(956 + 16 + 28, 0)[0]


def list_row_y(landmark):
    """The screen y of the middle of row P(landmark) while the list is scrolled to the top."""
    top = 8 + 183 + 1 + 24 + 24 * (landmark - 1) - (2 if landmark > 3 else 0)
    return client(0, top + 11)[1]


DPI = "254"

OIV = [
    "601", "602R", "602L", "603R", "603L", "604R", "604L", "605R", "605L", "606R",
    "606L", "611R", "611L", "612R", "612L", "613R", "613L", "614R", "614L", "615R",
    "615L", "617R", "617L", "618R", "618L", "607R", "607L", "608R", "608L", "609R",
    "609L", "610R", "610L", "618aR", "618aL",
]
DISTANCES = ["01-02", "01-03", "01-04", "01-05", "01-06", "01-31", "01-09", "01-29",
             "01-11", "01-32", "27-13", "25-15", "23-17", "11-13", "13-17", "17-20",
             "20-23", "23-27", "27-29"]


def heads():
    names = ["No.", "Name", "Surface, cm2"] + ["OIV " + code for code in OIV]
    names += ["D " + pair for pair in DISTANCES]
    for n in range(2, 33):
        names += ["P(%d).X" % n, "P(%d).Y" % n]
    return names


def decimal_text(value):
    """A value as the results table prints it (fixed form only: enough here)."""
    exact = Decimal(value)
    if exact == 0:
        return "0.00"
    expansion = Context(prec=18, rounding=ROUND_HALF_EVEN).plus(abs(exact))
    exponent = expansion.adjusted() + 1
    kept = min(exponent + 2, 5)
    if kept < 0:
        return "0.00"
    rounded = expansion.quantize(Decimal(1).scaleb(exponent - kept), rounding=ROUND_HALF_UP)
    assert rounded < 99999.5, "the exponent form is not needed here"
    if rounded == 0:
        return "0.00"
    return ("-" if exact < 0 else "") + "%.2f" % rounded


def leaf_pixel_count(bmp_path):
    data = pathlib.Path(bmp_path).read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24
    stride = (width * 3 + 3) & ~3
    count = 0
    for row in range(abs(height)):
        line = data[offset + row * stride: offset + row * stride + width * 3]
        # Sum the three bytes of each pixel; 659 or less is leaf.
        count += sum(1 for b, g, r in zip(line[0::3], line[1::3], line[2::3]) if b + g + r < 660)
    return count, data, offset, stride, width, height


def is_leaf_around(scan, x, y, reach=8):
    _, data, offset, stride, width, height = scan
    for py in range(y - reach, y + reach + 1):
        row = height - 1 - py  # bottom-up rows
        for px in range(x - reach, x + reach + 1):
            i = offset + row * stride + px * 3
            if data[i] + data[i + 1] + data[i + 2] >= 660:
                return False
    return True


def expected_row(points, count, name, number=1, dpi=None):
    scale = 25.4 / float(dpi or DPI)
    surface = scale * scale * 0.01 * count
    cells = [str(number), name, decimal_text(surface)]

    def missing(n):
        return n not in points

    def length(xa, ya, xb, yb):
        pixels = math.sqrt((xa - xb) ** 2 + (ya - yb) ** 2)
        return decimal_text(Decimal(pixels) * Decimal(scale))

    def distance(a, b):
        if missing(a) or missing(b):
            return "NA"
        return length(*points[a], *points[b])

    def to_midpoint(tip, a, b):
        if missing(tip) or missing(a) or missing(b):
            return "NA"
        (xa, ya), (xb, yb) = points[a], points[b]
        return length(*points[tip], (xa + xb) * 0.5, (ya + yb) * 0.5)

    def direction(a, b):
        (xa, ya), (xb, yb) = points[a], points[b]
        return math.atan2(yb - ya, xb - xa) * 57.29577951308232

    def angle(v, b, d):
        if missing(v) or missing(b) or missing(d):
            return "NA"
        value = abs(direction(v, b) - direction(v, d))
        return decimal_text(360.0 - value if value > 180.0 else value)

    pairs = [(1, 20), (1, 17), (1, 23), (1, 13), (1, 27), (2, 11), (6, 29), (1, 19), (1, 21),
             (1, 14), (1, 26), (8, 9), (7, 31)]
    cells += [distance(a, b) for a, b in pairs]
    cells += [to_midpoint(17, 16, 18), to_midpoint(23, 22, 24), distance(16, 18), distance(22, 24)]
    cells += [to_midpoint(11, 10, 12), to_midpoint(29, 28, 30), distance(10, 12), distance(28, 30)]
    cells += [distance(15, 17), distance(25, 23), distance(29, 11), distance(31, 9)]
    cells += [angle(1, 20, 3), angle(1, 20, 5), angle(1, 3, 2), angle(1, 5, 6),
              angle(2, 11, 13), angle(6, 29, 27), angle(1, 13, 9), angle(1, 27, 31),
              angle(1, 29, 11), angle(1, 31, 9)]
    cells += [distance(int(p[:2]), int(p[3:])) for p in DISTANCES]
    x1, y1 = points.get(1, (0, 0))
    for n in range(2, 33):
        if missing(1) or missing(n):
            cells += ["NA", "NA"]
        else:
            cells += [str(points[n][0] - x1), str(points[n][1] - y1)]
    return cells


def parse_options(source="--leafscan", folder="scans"):
    """The command line of a script: the program, where its pictures come from
    (the scan drawer by default), and a work folder, made afresh with an empty
    folder for pictures."""
    parser = argparse.ArgumentParser()
    for option in ("--kestra", source, "--work"):
        parser.add_argument(option, required=True)
    options = parser.parse_args()
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(os.path.join(options.work, folder))
    return options


def draw_scan(leafscan, path, *copies):
    """Draws a leaf scan, copies it to each of `copies`; as leaf_pixel_count."""
    subprocess.run([leafscan, path], check=True, timeout=120)
    for copy in copies:
        shutil.copyfile(path, copy)
    return leaf_pixel_count(path)


def check_saved(path, rows):
    """Compares a saved results file to the byte with the table of rows (heads
    first); prints what differs and returns whether it is equal."""
    saved = pathlib.Path(path).read_bytes()
    lines = saved.split(b"\r\n")
    assert lines[-1] == b"", "nothing follows the last CR LF"
    for line in lines[:-1]:
        assert line.count(b"\t") == 119 and line.endswith(b"\t"), line[:80]
    wanted = b"".join("".join(cell + "\t" for cell in row).encode() + b"\r\n" for row in rows)
    if saved == wanted:
        return True
    for number, (got, want) in enumerate(zip(lines, wanted.split(b"\r\n"))):
        for column, (a, b) in enumerate(zip(got.split(b"\t"), want.split(b"\t"))):
            if a != b:
                print("row %d column %d: saved %r, expected %r" % (number, column, a, b))
    print("saved file differs from the expected one (%d lines, %d expected)"
          % (len(lines) - 1, len(rows)))
    return False


def finish(path, rows, exit_code):
    """1 if the saved results differ from the rows; else 0, the program having ended well."""
    if not check_saved(path, rows):
        return 1
    assert exit_code == 0, exit_code
    return 0


def wait_until(predicate, seconds, step=0.1):
    """The predicate's first true answer, asked every `step` seconds, or its last one."""
    deadline = time.time() + seconds
    while True:
        answer = predicate()
        if answer or time.time() > deadline:
            return answer
        time.sleep(step)


def wait_for_file(path, seconds=30):
    wait_until(lambda: os.path.exists(path), seconds, step=0.2)
    time.sleep(0.5)


class Desktop:
    def __init__(self):
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            self.display = ":" + pipe.readline().strip()
        # Journals of results go to a folder of this desktop's, so that no
        # earlier run's unsaved rows ask their question here.
        self.state = tempfile.mkdtemp(prefix="kestra-state-")
        self.env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb",
                        XDG_STATE_HOME=self.state)
        self.env.pop("WAYLAND_DISPLAY", None)
        # Qt and the X libraries keep a few allocations until exit.
        self.env["ASAN_OPTIONS"] = "detect_leaks=0"
        self.program = None

    def xdotool(self, *arguments, check=True):
        return subprocess.run(["xdotool", *map(str, arguments)], env=self.env, check=check,
                              capture_output=True, text=True, timeout=60).stdout.strip()

    def wait_window(self, name):
        return self.xdotool("search", "--sync", "--onlyvisible", "--name", name).split()[0]

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)
        self.xdotool("click", 1)
        time.sleep(0.15)

    def key(self, *keys):
        self.xdotool("key", "--delay", 80, *keys)
        time.sleep(0.15)

    def activate(self):
        """Without a window manager nothing makes the window active again once
        a dialog has gone, and shortcuts need it active: a click does."""
        self.click(*LABEL_DPI)

    def start_recording(self):
        self.click(*BUTTON_START_STOP)
        self.click(*BUTTON_START_STOP)

    def type_dpi(self, text):
        self.click(*EDIT_DPI)
        self.key("ctrl+a")
        self.xdotool("type", "--delay", 50, text)

    def type_into_dialog(self, title, text):
        dialog = self.wait_window(title)
        time.sleep(0.5)  # a dialog takes its focus a moment after it maps
        self.xdotool("windowfocus", "--sync", dialog)
        self.key("ctrl+a")
        self.xdotool("type", "--delay", 30, text)
        self.key("Return")

    def screenshot(self, path):
        if shutil.which("import"):
            subprocess.run(["import", "-window", "root", path], env=self.env, timeout=60)

    def launch(self, kestra, cwd=None, arguments=(), title="^KESTRA v2.04$"):
        """Starts the program and lets its window settle; it is ended with the desktop."""
        self.program = subprocess.Popen([kestra, *arguments], cwd=cwd, env=self.env)
        self.wait_window(title)
        time.sleep(1.0)
        return self.program

    def open_scan(self, path, by_key=False):
        """Opens a scan through the open dialog, from the button or Ctrl+O."""
        if by_key:
            self.key("ctrl+o")
        else:
            self.click(*BUTTON_OPEN)
        self.type_into_dialog("^Open$", path)
        self.wait_window("^KESTRA v2.04 - .*%s$" % os.path.basename(path))
        time.sleep(0.5)

    def save_results(self, path, shot, by_key=False):
        """Saves through the save dialog, from the button or Ctrl+S; a screenshot follows."""
        if by_key:
            self.key("ctrl+s")
        else:
            self.click(*BUTTON_SAVE)
        self.type_into_dialog("^Save As$", path)
        wait_for_file(path)
        self.screenshot(shot)

    def quit(self, by_key=False):
        """Leaves through Exit or Ctrl+Q; returns the program's exit code."""
        if by_key:
            self.activate()
            self.key("ctrl+q")
        else:
            self.click(*BUTTON_EXIT)
        return self.program.wait(timeout=30)

    def close(self):
        if self.program is not None and self.program.poll() is None:
            self.program.kill()
        self.server.terminate()
        self.server.wait(timeout=10)
        shutil.rmtree(self.state, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *error):
        self.close()


def steps_to(current, following):
    return (following - current) % 32


def slider_handle(position):
    # TrackBar1 spans x 972..1165 at y 122..166; its handle rides at y 139,
    # about 25.6 pixels a position from x 979.
    return client(979 + position * 179 // 7, 139)


