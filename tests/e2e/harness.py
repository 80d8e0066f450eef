"""Drives Halovane.exe under Wine in Xvfb: the display, the Wine prefix, the
program and its helper, pointer and keys, screenshots, bitmaps and checks.

Procedural on purpose: one module-level session record and small functions.
Every process started here is ended here, by its own id.
"""
import os
import shutil
import signal
import struct
import subprocess
import time
import zlib

# Filled by StartSession.
session = {}


class Failure(Exception):
    """A scenario's check did not hold."""


def Check(condition, message):
    if not condition:
        raise Failure(message)


# ---------------------------------------------------------------- session

def FindFreeDisplay():
    for number in range(57, 200):
        if not os.path.exists("/tmp/.X11-unix/X%d" % number) and not os.path.exists("/tmp/.X%d-lock" % number):
            return number
    raise Failure("no free X display number")


def ResourceIds():
    """The program's resource ids by name, read from resources/resource.h."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "resource.h")
    ids = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 3 and parts[0] == "#define" and parts[2].lstrip("-").isdigit():
                ids[parts[1]] = int(parts[2])
    return ids


def RequireTools():
    for tool in ("Xvfb", "xdotool", "xwd"):
        Check(shutil.which(tool), "%s is missing: install the packages of scripts/setup.sh" % tool)


def WineSettings():
    """The loader, the wineserver, the arch and the environment, as
    scripts/wine-env.sh settles them for every script of the project."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "wine-env.sh")
    done = subprocess.run(["bash", script, "--print"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    Check(done.returncode == 0, "scripts/wine-env.sh failed: %s" % done.stderr.strip())
    values = dict(line.split("=", 1) for line in done.stdout.splitlines() if "=" in line)
    Check(values.get("HALOVANE_WINE") and values.get("HALOVANE_WINESERVER"),
          "no Wine loader for %s: run scripts/setup.sh" % values.get("HALOVANE_WINE_ARCH"))
    return values


def StartSession(work_dir, exe, helper, renderer):
    RequireTools()
    hook = os.path.join(os.path.dirname(helper), "titlehook.dll")
    for path, what in ((exe, "Halovane.exe"), (helper, "wininfo.exe"), (hook, "titlehook.dll"),
                       (renderer, "halovane-render")):
        Check(os.path.isfile(path), "%s not found at %s (build it first)" % (what, path))
    if os.path.exists(work_dir):
        shutil.rmtree(work_dir)
    os.makedirs(work_dir)
    wine = WineSettings()
    session.update(work=work_dir, exe=exe, helper=helper, hook=hook, renderer=renderer, started=[],
                   wine=wine["HALOVANE_WINE"], wineserver=wine["HALOVANE_WINESERVER"], wine_env=wine)
    print("e2e: %s under %s" % (wine["HALOVANE_WINE_ARCH"], wine["HALOVANE_WINE"]), flush=True)
    number = FindFreeDisplay()
    display = ":%d" % number
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.update(display=display, xvfb=xvfb)
    deadline = time.time() + 10
    while not os.path.exists("/tmp/.X11-unix/X%d" % number):
        Check(xvfb.poll() is None, "Xvfb failed to start on %s" % display)
        Check(time.time() < deadline, "Xvfb did not come up on %s" % display)
        time.sleep(0.05)
    MakeBasePrefix()


def BaseEnvironment(prefix):
    env = dict(os.environ)
    env.update({k: v for k, v in session["wine_env"].items() if k.startswith("WINE") and v})
    env.update(DISPLAY=session["display"], WINEPREFIX=prefix, WINEDEBUG="-all")
    return env


def MakeBasePrefix():
    prefix = os.path.join(session["work"], "base-prefix")
    env = BaseEnvironment(prefix)
    started = time.time()
    booted = subprocess.run([session["wine"], "wineboot.exe", "-i"], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, errors="replace", timeout=300)
    Check(booted.returncode == 0, "Wine could not make a prefix (exit %d): %s"
          % (booted.returncode, booted.stderr.strip()[-2000:]))
    registry = [
        # Wine's virtual desktop: fixed frames, and `wine Halovane.exe` stays the
        # program's own process, so its exit status is the program's.
        ("HKCU\\Software\\Wine\\Explorer", "Desktop", "REG_SZ", "Default"),
        ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "REG_SZ", "1280x1000"),
        # A crash must fail the test, not wait for a click.
        ("HKCU\\Software\\Wine\\WineDbg", "ShowCrashDialog", "REG_DWORD", "0"),
    ]
    for key, name, kind, value in registry:
        subprocess.run([session["wine"], "reg", "add", key, "/v", name, "/t", kind, "/d", value, "/f"], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    subprocess.run([session["wineserver"], "-w"], env=env, timeout=120)
    Check(os.path.isfile(os.path.join(prefix, "system.reg")), "wineboot did not create a Wine prefix")
    session["base_prefix"] = prefix
    print("e2e: Wine prefix made in %.1f s" % (time.time() - started), flush=True)


def CopyPrefix(target):
    # Hard links for the large, never-written system files; real copies of
    # what Wine writes (it replaces registry files by renaming, but be safe).
    subprocess.run(["cp", "-al", session["base_prefix"], target], check=True)
    for root, _, files in os.walk(target):
        for name in files:
            if name.endswith(".reg") or name.endswith(".ini"):
                path = os.path.join(root, name)
                data = open(path, "rb").read()
                os.unlink(path)
                open(path, "wb").write(data)


def EndSession():
    xvfb = session.get("xvfb")
    if xvfb and xvfb.poll() is None:
        xvfb.terminate()
        try:
            xvfb.wait(5)
        except subprocess.TimeoutExpired:
            xvfb.kill()
            xvfb.wait()


# ---------------------------------------------------------------- one test

def NewTest(name, run_dir=None):
    """A fresh directory with its own prefix and a copy of the program; or,
    given run_dir, the program already there (an unpacked release)."""
    base = os.path.join(session["work"], name)
    os.makedirs(base)
    CopyPrefix(os.path.join(base, "prefix"))
    if run_dir is None:
        run_dir = os.path.join(base, "run")
        os.makedirs(run_dir)
        shutil.copy(session["exe"], os.path.join(run_dir, "Halovane.exe"))
    shutil.copy(session["helper"], os.path.join(base, "wininfo.exe"))
    shutil.copy(session["hook"], os.path.join(base, "titlehook.dll"))
    test = dict(name=name, base=base, run=run_dir, env=BaseEnvironment(os.path.join(base, "prefix")),
                program=None, helper=None, hwnd=None, origin=None)
    StartHelper(test)
    return test


def StartHelper(test):
    helper = subprocess.Popen([session["wine"], os.path.join(test["base"], "wininfo.exe")], cwd=test["base"],
                              env=test["env"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, encoding="latin-1")
    test["helper"] = helper
    Ask(test, "windows")  # waits until Wine and its desktop are up
    # Before the program starts, so its every title change is recorded.
    hooked = Ask(test, "hooked")
    Check(hooked == ["1"], "the window helper: %s" % " ".join(hooked))


def Ask(test, command):
    helper = test["helper"]
    helper.stdin.write(command + "\n")
    helper.stdin.flush()
    lines = []
    while True:
        line = helper.stdout.readline()
        Check(line != "", "the window helper ended unexpectedly")
        line = line.rstrip("\n")
        if line == ".":
            return lines
        lines.append(line)


def Unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def TopWindows(test):
    windows = []
    for line in Ask(test, "windows"):
        head, _, title = line.partition("\t")
        hwnd, pid, visible, cls = head.split(" ", 3)
        windows.append(dict(hwnd=int(hwnd), visible=visible == "1", cls=Unescape(cls), title=Unescape(title)))
    return windows


def WindowInfo(test, hwnd):
    line = Ask(test, "info %d" % hwnd)[0]
    fields = line.split(" ", 10)
    if fields[0] != "1":
        return None
    numbers = [int(v) for v in fields[1:10]]
    return dict(visible=numbers[0] == 1, origin=(numbers[1], numbers[2]), size=(numbers[3], numbers[4]),
                frame=tuple(numbers[5:9]), title=Unescape(fields[10]) if len(fields) > 10 else "")


def Controls(test, hwnd):
    controls = []
    for line in Ask(test, "controls %d" % hwnd):
        head, _, text = line.partition("\t")
        child, cid, enabled, checked, cls = head.split(" ", 4)
        controls.append(dict(hwnd=int(child), id=int(cid), enabled=enabled == "1", checked=int(checked),
                             cls=Unescape(cls), text=Unescape(text)))
    return controls


def WaitFor(what, probe, timeout):
    """Polls probe until it gives a true value; what may be a function, asked
    only on a timeout, so the message tells the state at that moment."""
    deadline = time.time() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.time() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what() if callable(what) else what))
        time.sleep(0.03)


def FindWindow(test, cls=None, title=None, timeout=15):
    def probe():
        for w in TopWindows(test):
            if w["visible"] and (cls is None or w["cls"] == cls) and (title is None or w["title"] == title):
                return w
        return None
    return WaitFor("a window %s %s" % (cls or "", repr(title) if title else ""), probe, timeout)


def VisibleDialogs(test):
    return [w for w in TopWindows(test) if w["visible"] and w["cls"] == "#32770"]


def StartProgram(test, wait_window=True):
    program = subprocess.Popen([session["wine"], "Halovane.exe"], cwd=test["run"], env=test["env"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    test["program"] = program
    if wait_window:
        window = FindWindow(test, cls="HALOVANE")
        test["hwnd"] = window["hwnd"]
        info = WindowInfo(test, test["hwnd"])
        test["origin"] = info["origin"]
        test["client"] = info["size"]
        # The first paint happens before the message loop starts; let it land.
        StableClient(test)
    return program


def Title(test):
    info = WindowInfo(test, test["hwnd"])
    return info["title"] if info else None


# Title changes are waited on as events, never as states: a wait for "done!"
# that reads the title could take the end of an earlier run for the new one,
# and a short run passes through its titles faster than they can be read.
# titlehook.dll logs every change as it happens; a mark taken before an action
# lets a wait accept only what came after it.

def TitleLog(test):
    """Every title the program's main window has been given, in order."""
    try:
        with open(os.path.join(test["base"], "titles.log"), "rb") as f:
            text = f.read().decode("latin-1")
    except FileNotFoundError:
        return []
    titles = []
    for line in text.split("\n")[:-1]:  # a line without its end is still being written
        head, _, title = line.partition("\t")
        if int(head.split(" ")[0]) == test["hwnd"]:
            titles.append(title)
    return titles


def TitleMark(test):
    """Taken before an action: the waits below look only at later titles."""
    return len(TitleLog(test))


def WaitTitles(test, mark, wanted, timeout=60):
    """Waits until the titles set after mark hold wanted in that order, others
    possibly between; returns the mark just past the last one matched."""
    def probe():
        log, k = TitleLog(test), 0
        for i in range(mark, len(log)):
            if log[i] == wanted[k]:
                k += 1
                if k == len(wanted):
                    return i + 1
        return None
    return WaitFor(lambda: "the titles %r after %r (came: %r)" % (
        wanted, TitleLog(test)[:mark][-1:], TitleLog(test)[mark:]), probe, timeout)


RUN = ["initializing", "plotting...", "done!"]


def WaitRun(test, mark, timeout=120):
    """A run started after mark and ran to its end."""
    return WaitTitles(test, mark, RUN, timeout)


def TitleStays(test, mark, title, seconds=0.5):
    """An action since mark set no title. Nothing happening has no event to
    wait for: a change would come within milliseconds, so the wait is short."""
    time.sleep(seconds)
    came, now = TitleLog(test)[mark:], Title(test)
    Check(not came and now == title, "titles %r came and the title is %r, expected it to stay %r" % (came, now, title))


def WaitExit(test, timeout=20):
    try:
        return test["program"].wait(timeout)
    except subprocess.TimeoutExpired:
        raise Failure("the program did not exit within %.0f s" % timeout)


def EndTest(test):
    """Ends whatever this test started, by process id, then its wineserver."""
    for key in ("program", "helper"):
        proc = test.get(key)
        if proc and proc.poll() is None:
            if key == "helper":
                try:
                    proc.stdin.write("quit\n")
                    proc.stdin.flush()
                    proc.wait(5)
                    continue
                except (OSError, subprocess.TimeoutExpired):
                    pass
            proc.kill()
            proc.wait()
    # The prefix is this test's own, so this ends only what the test started.
    subprocess.run([session["wineserver"], "-k"], env=test["env"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([session["wineserver"], "-w"], env=test["env"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def RemoveTest(test):
    shutil.rmtree(test["base"], ignore_errors=True)


# ---------------------------------------------------------------- input

PAUSE = 0.06


def Xdo(test, *args):
    subprocess.run(["xdotool"] + [str(a) for a in args], env=test["env"], check=True)


def MoveTo(test, x, y):
    ox, oy = test["origin"]
    Xdo(test, "mousemove", ox + x, oy + y)
    time.sleep(PAUSE)


def MoveScreen(test, x, y):
    Xdo(test, "mousemove", x, y)
    time.sleep(PAUSE)


# The program reads the pointer's position when it handles a button message,
# not where the button went down; so before the pointer moves on, the tests
# wait until the program has handled the press.

def RightClick(test, x, y, shift=False):
    """In the left pane: a press, which stops any run, and a release that
    starts a run from there; the caller waits for that run."""
    MoveTo(test, x, y)
    if shift:
        Xdo(test, "keydown", "shift")
        time.sleep(PAUSE)
    mark = TitleMark(test)
    Xdo(test, "mousedown", 3)
    WaitTitles(test, mark, ["stopped"], 20)  # the press handled
    Xdo(test, "mouseup", 3)
    time.sleep(PAUSE)
    if shift:
        Xdo(test, "keyup", "shift")
        time.sleep(PAUSE)


def DragPath(start, end, steps=6):
    (sx, sy), (ex, ey) = start, end
    return [(sx + (ex - sx) * k // steps, sy + (ey - sy) * k // steps) for k in range(1, steps + 1)]


def Capture(test):
    return int(Ask(test, "capture %d" % test["hwnd"])[0])


def Press(test, x, y):
    """The left button down at a client point; the window captures the pointer
    when it has handled the press."""
    MoveTo(test, x, y)
    Xdo(test, "mousedown", 1)
    WaitFor("the window to take the pointer on a press", lambda: Capture(test) == test["hwnd"], 20)


def Release(test):
    Xdo(test, "mouseup", 1)
    WaitFor("the window to let the pointer go on a release", lambda: Capture(test) == 0, 20)


def Drag(test, start, end):
    Press(test, *start)
    for point in DragPath(start, end):
        MoveTo(test, *point)
    Release(test)


def Key(test, *keys):
    for key in keys:
        Xdo(test, "key", key)
        time.sleep(PAUSE)


def Type(test, text):
    Xdo(test, "type", "--delay", "30", "--", text)
    time.sleep(PAUSE)


# ---------------------------------------------------------------- screenshots

def GrabScreen(test):
    raw = subprocess.run(["xwd", "-root", "-silent"], env=test["env"], stdout=subprocess.PIPE, check=True).stdout
    return ParseXwd(raw)


def ParseXwd(raw):
    """A ZPixmap XWD dump of a depth-24 screen -> pixel rows with channel positions.
    Pixels take 4 bytes, or 3 once Wine's desktop has changed the pixmap format;
    lines may be longer than the pixels. The colour map (identity on Xvfb) is applied."""
    fields = struct.unpack(">25I", raw[:100])
    header_size, version, pixmap_format, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line, ncolours = fields[7], fields[11], fields[12], fields[19]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    size = bits_per_pixel // 8
    Check(version == 7 and pixmap_format == 2 and depth == 24 and size in (3, 4) and bytes_per_line >= width * size,
          "unexpected screenshot format %r" % (fields,))
    data = raw[header_size + 12 * ncolours:]
    tables = [None, None, None]
    if ncolours == 256:
        entries = [struct.unpack_from(">IHHHBB", raw, header_size + 12 * i) for i in range(256)]
        if any((e[1] >> 8, e[2] >> 8, e[3] >> 8) != (i, i, i) for i, e in enumerate(entries)):
            tables = [bytes(e[k] >> 8 for e in entries) for k in (3, 2, 1)]

    def position(mask):
        # Byte position of a channel inside each 32-bit pixel.
        index = ((mask & -mask).bit_length() - 1) // 8
        return index if byte_order == 0 else size - 1 - index
    return dict(width=width, height=height, stride=bytes_per_line, size=size, data=data, tables=tables,
                pos=(position(blue_mask), position(green_mask), position(red_mask)))


def Crop(screen, x, y, w, h):
    """Top-down BGR bytes of a screen rectangle."""
    out = bytearray(w * h * 3)
    b, g, r = screen["pos"]
    size = screen["size"]
    for row in range(h):
        start = (y + row) * screen["stride"] + x * size
        line = screen["data"][start:start + w * size]
        o = row * w * 3
        for channel, at in enumerate((b, g, r)):
            values = line[at::size]
            table = screen["tables"][channel]
            out[o + channel:o + w * 3:3] = values.translate(table) if table else values
    return dict(width=w, height=h, data=bytes(out))


def GrabClient(test):
    ox, oy = test["origin"]
    return Crop(GrabScreen(test), ox, oy, 1024, 512)


def WaitClient(test, accept, timeout=20):
    """A settled client screenshot that accept takes; the repaint that shows a
    change comes a little after the title or input that caused it. On a
    timeout, the last one, for the caller's check to report."""
    deadline = time.time() + timeout
    while True:
        client = StableClient(test)
        if accept(client) or time.time() > deadline:
            return client


def StableClient(test, timeout=10):
    """A client-area screenshot taken once two grabs in a row agree."""
    previous = GrabClient(test)
    deadline = time.time() + timeout
    while True:
        time.sleep(0.1)
        current = GrabClient(test)
        if current["data"] == previous["data"]:
            return current
        Check(time.time() < deadline, "the screen did not settle within %.0f s" % timeout)
        previous = current


def Pane(client, right):
    w = client["width"]
    out = bytearray()
    for row in range(512):
        start = (row * w + (512 if right else 0)) * 3
        out += client["data"][start:start + 512 * 3]
    return dict(width=512, height=512, data=bytes(out))


# ---------------------------------------------------------------- bitmaps

def ReadBmp(path):
    """A 24-bit bottom-up bitmap -> top-down image with packed rows."""
    raw = open(path, "rb").read()
    Check(raw[:2] == b"BM", "%s is not a bitmap" % path)
    offset, = struct.unpack_from("<I", raw, 10)
    width, height = struct.unpack_from("<ii", raw, 18)
    bits, = struct.unpack_from("<H", raw, 28)
    Check(bits == 24 and height > 0, "%s: unexpected bitmap layout" % path)
    stride = (width * 3 + 3) & ~3  # rows are filled out to 4 bytes
    pixels = raw[offset:offset + stride * height]
    Check(len(pixels) == stride * height, "%s is shorter than its header says" % path)
    rows = [pixels[(height - 1 - r) * stride:(height - 1 - r) * stride + width * 3] for r in range(height)]
    return dict(width=width, height=height, data=b"".join(rows))


def WritePng(path, image):
    """Failure images as PNG, which every viewer opens."""
    w, h, data = image["width"], image["height"], image["data"]
    raw = bytearray()
    for r in range(h):
        line = bytearray(data[r * w * 3:(r + 1) * w * 3])
        line[0::3], line[2::3] = line[2::3], line[0::3]  # BGR -> RGB
        raw += b"\0" + line

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(bytes(raw), 6)) + chunk(b"IEND", b""))


def SpanTable(source, target):
    spans = []
    for x in range(target):
        first = x * source // target
        last = max(first, (x + 1) * source // target - 1)
        spans.append((first, last))
    return spans


def PaneAverage(image, w=512, h=512):
    """What the right pane shows for an output image: each pane pixel is the
    mean of the image pixels it covers, rounded to nearest; pane rows count
    from the bottom like the image's."""
    ow, oh, data = image["width"], image["height"], image["data"]
    if ow % w or oh % h:
        return PaneAverageBySpans(image, w, h)
    kx, ky = ow // w, oh // h
    n = kx * ky
    # Rounded means by table lookup; sums are formed with big integers holding
    # one channel value per 16-bit lane (at most 255 * n, well below 65536).
    means = bytes((t + n // 2) // n for t in range(255 * n + 1))
    out = bytearray(w * h * 3)
    stride = ow * 3
    lanes = bytearray(2 * stride)
    for y in range(h):
        # The pane's row y from the top covers image rows y*ky .. y*ky+ky-1
        # from the top as well.
        rows = 0
        for r in range(y * ky, y * ky + ky):
            lanes[0::2] = data[r * stride:(r + 1) * stride]
            rows += int.from_bytes(lanes, "little")
        block = rows
        for j in range(1, kx):
            block += rows >> (j * 3 * 16)
        sums = memoryview(block.to_bytes(2 * stride + 8, "little")[:2 * stride]).cast("H")
        o = y * w * 3
        for ch in range(3):
            out[o + ch:o + w * 3:3] = bytes(means[t] for t in sums[ch::kx * 3])
    return dict(width=w, height=h, data=bytes(out))


def PaneAverageBySpans(image, w, h):
    ow, oh, data = image["width"], image["height"], image["data"]
    cols, rows_from_bottom = SpanTable(ow, w), SpanTable(oh, h)
    out = bytearray(w * h * 3)
    for y in range(h):  # pane row from the top
        first, last = rows_from_bottom[h - 1 - y]
        sums = [0] * (ow * 3)
        for b in range(first, last + 1):  # image row b from the bottom is data row oh-1-b
            sums = list(map(int.__add__, sums, data[(oh - 1 - b) * ow * 3:(oh - b) * ow * 3]))
        n_rows = last - first + 1
        o = y * w * 3
        for x, (c0, c1) in enumerate(cols):
            n = (c1 - c0 + 1) * n_rows
            for ch in range(3):
                total = sum(sums[c * 3 + ch] for c in range(c0, c1 + 1))
                out[o + x * 3 + ch] = (total + n // 2) // n
    return dict(width=w, height=h, data=bytes(out))


def DiffImage(a, b):
    out = bytearray(len(a["data"]))
    for i, (p, q) in enumerate(zip(a["data"], b["data"])):
        out[i] = 255 if p != q else 0
    return dict(width=a["width"], height=a["height"], data=bytes(out))


def CountDiff(a, b):
    """Differing pixels of two images of one size, and the first of them."""
    w = a["width"]
    bad, first = 0, None
    for i in range(0, len(a["data"]), 3):
        if a["data"][i:i + 3] != b["data"][i:i + 3]:
            bad += 1
            if first is None:
                first = (i // 3 % w, i // 3 // w, a["data"][i:i + 3][::-1].hex(), b["data"][i:i + 3][::-1].hex())
    return bad, first


def FailureDir(test):
    path = os.path.join(session["work"], "failures", test["name"])
    os.makedirs(path, exist_ok=True)
    return path


def KeepScreen(test):
    """The whole screen at the moment a test failed, with the windows open then."""
    try:
        screen = GrabScreen(test)
        folder = FailureDir(test)
        WritePng(os.path.join(folder, "screen.png"), Crop(screen, 0, 0, screen["width"], screen["height"]))
        log = os.path.join(test["base"], "titles.log")
        if os.path.exists(log):
            shutil.copy(log, os.path.join(folder, "titles.log"))
        if test.get("helper") and test["helper"].poll() is None:
            with open(os.path.join(folder, "windows.txt"), "w") as f:
                for w in TopWindows(test):
                    if w["visible"]:
                        f.write("%(hwnd)d %(cls)s %(title)r\n" % w)
    except (Failure, OSError, subprocess.SubprocessError, ValueError):
        pass


def WindowsPath(path):
    # Wine maps the Unix root to drive Z:.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def CheckImagesEqual(test, what, actual, expected):
    if actual["data"] == expected["data"] and actual["width"] == expected["width"]:
        return
    folder = FailureDir(test)
    tag = what.replace(" ", "-")
    WritePng(os.path.join(folder, tag + "-actual.png"), actual)
    WritePng(os.path.join(folder, tag + "-expected.png"), expected)
    detail = ""
    if actual["width"] == expected["width"] and actual["height"] == expected["height"]:
        WritePng(os.path.join(folder, tag + "-diff.png"), DiffImage(actual, expected))
        bad, first = CountDiff(actual, expected)
        detail = "; %d pixels differ, first at %s (x, y, actual rgb, expected rgb)" % (bad, first)
    raise Failure("%s differs from the expected image%s; images in %s" % (what, detail, folder))


def Black(w, h):
    return dict(width=w, height=h, data=bytes(w * h * 3))


# ---------------------------------------------------------------- the renderer

def Render(test, args, output):
    cmd = [session["renderer"], "--quiet", "-o", output] + args
    done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    Check(done.returncode == 0, "halovane-render %s failed (%d): %s" % (" ".join(args), done.returncode,
                                                                       done.stderr.strip()))
    return output


def F32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def ViewPixelToPlane(col, row, center):
    return (F32((col - 256) / 512 * 2.0 + center[0]), F32((256 - row) / 512 * 2.0 + center[1]))


def RegionPixelToPlane(col, row, region):
    width, cx, cy = region
    return (F32((col - 256) * (width / 512) + cx), F32((256 - row) * (width / 512) + cy))


def DragRegion(start, end, center, region=None):
    """The region a drag from client start to client end selects: the float32
    RegionWidth, centre, and the double width the reciprocal is taken of."""
    if region is None:
        a = ViewPixelToPlane(start[0], 512 - start[1], center)
        b = ViewPixelToPlane(end[0], 512 - end[1], center)
    else:
        a = RegionPixelToPlane(start[0] - 512, 512 - start[1], region)
        b = RegionPixelToPlane(end[0] - 512, 512 - end[1], region)
    d = b[0] - a[0]
    return dict(width=F32(d), d=d, cx=F32((a[0] + b[0]) * 0.5), cy=F32((a[1] + b[1]) * 0.5))


def RegionArgument(region):
    return "%r,%r,%r" % (region["cx"], region["cy"], region["d"])
