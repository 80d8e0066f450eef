"""End-to-end scenarios of Halovane.exe under Wine in Xvfb.

python3 tests/e2e/scenarios.py EXE HELPER RENDERER WORKDIR [name ...]
Each scenario starts the program in a fresh directory with a fresh copy of
the Wine prefix; the checks compare its screen and files with what
halovane-render makes for the same settings.
"""
import os
import sys
import time
import traceback

import harness as h
from harness import Check

# The Properties dialog's control ids, by the names the program gives them.
ID = h.ResourceIds()

SCENARIOS = []


def Scenario(function):
    SCENARIOS.append(function)
    return function


def Ini(**values):
    lines = ["[HV]"] + ["%s=%s" % (k, v) for k, v in values.items()]
    return "\n".join(lines) + "\n"


def RendererSettings(test):
    """The settings file the program reads, for halovane-render."""
    path = os.path.join(test["run"], "Halovane.ini")
    if os.path.exists(path):
        return path
    empty = os.path.join(test["base"], "defaults.ini")
    open(empty, "w").close()
    return empty


def Expected(test, name, *args):
    out = os.path.join(test["base"], name)
    h.Render(test, ["--settings", RendererSettings(test)] + list(args), out)
    return h.ReadBmp(out)


def CheckLeftPane(test, what, client, *render_args):
    h.CheckImagesEqual(test, what, h.Pane(client, right=False), Expected(test, "expected-view.bmp", *render_args))


def CheckLeftPaneShows(test, what, *render_args):
    """The left pane comes to show what halovane-render draws; returns the
    client screenshot."""
    expected = Expected(test, "expected-view.bmp", *render_args)
    client = h.WaitClient(test, lambda c: h.Pane(c, right=False)["data"] == expected["data"])
    h.CheckImagesEqual(test, what, h.Pane(client, right=False), expected)
    return client


def OpenProperties(test):
    # "Sto&p" and "&Properties" share the mnemonic p; Wine runs Stop on Alt+F p.
    h.Key(test, "alt+f", "Down", "Down", "Down", "Down", "Return")
    return h.FindWindow(test, cls="#32770", title="Properties")


def Field(controls, cid):
    for c in controls:
        if c["id"] == cid:
            return c
    raise h.Failure("no control %d in the dialog" % cid)


def ClickControl(test, control):
    info = h.WindowInfo(test, control["hwnd"])
    x, y = info["origin"]
    w, hgt = info["size"]
    h.MoveScreen(test, x + w // 2, y + hgt // 2)
    h.Xdo(test, "click", 1)
    h.time.sleep(h.PAUSE)


def DialogGone(test, hwnd, timeout=10):
    h.WaitFor("the dialog to close", lambda: h.WindowInfo(test, hwnd) is None, timeout)


def DialogStays(test, hwnd, seconds=0.5):
    # That the dialog stays has no event to wait for; a closing one goes
    # within milliseconds, so the wait is short.
    time.sleep(seconds)
    info = h.WindowInfo(test, hwnd)
    Check(info is not None and info["visible"], "the dialog closed, expected it to stay open")


def ReadIni(test):
    with open(os.path.join(test["run"], "Halovane.ini"), newline="") as f:
        return f.read().replace("\r\n", "\n").split("\n")


def WaitMessageBox(test, text, timeout=15):
    def probe():
        for w in h.VisibleDialogs(test):
            if any(text in c["text"] for c in h.Controls(test, w["hwnd"])):
                return w
        return None
    return h.WaitFor("a message box saying %r" % text, probe, timeout)


# ---------------------------------------------------------------- start-up

@Scenario
def startup_window_and_exit_by_menu(test):
    h.StartProgram(test)
    Check(h.Title(test) == "Halovane", "start title is %r, expected 'Halovane'" % h.Title(test))
    Check(test["client"] == (1024, 512), "client area is %s, expected (1024, 512)" % (test["client"],))
    client = CheckLeftPaneShows(test, "start-up left pane", "--runs", "0")
    h.CheckImagesEqual(test, "start-up right pane", h.Pane(client, right=True), h.Black(512, 512))
    h.Key(test, "alt+f", "x")
    code = h.WaitExit(test, 10)
    Check(code == 0, "File > Exit gave exit code %d" % code)


@Scenario
def startup_output_too_large(test):
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write("[HV]\r\nWidth=100000\r\nHeight=100000\r\n")
    h.StartProgram(test, wait_window=False)
    box = WaitMessageBox(test, "Out of memory. Choose a smaller output size.")
    Check(box["title"] == "Memory Error.", "memory box caption is %r" % box["title"])
    Check(not [w for w in h.TopWindows(test) if w["cls"] == "HALOVANE"], "a main window exists behind the box")
    h.MoveScreen(test, 5, 5)
    h.Key(test, "Return")
    code = h.WaitExit(test, 10)
    Check(code == 0, "exit code after the memory box is %d" % code)


@Scenario
def exit_by_close_box_and_alt_f4(test):
    for how in ("close box", "Alt+F4"):
        h.StartProgram(test)
        started = time.time()
        if how == "close box":
            answer = h.Ask(test, "closebox %d" % test["hwnd"])[0].split()
            Check(len(answer) == 2, "no close box found")
            x, y = int(answer[0]), int(answer[1])
            h.MoveScreen(test, x, y)
            started = time.time()
            h.Xdo(test, "click", 1)
        else:
            h.Key(test, "alt+F4")
        code = h.WaitExit(test, 10)
        took = time.time() - started
        Check(code == 0, "%s gave exit code %d" % (how, code))
        Check(took < 1.0, "%s took %.1f s to exit while idle" % (how, took))
        print("    %s: exit code 0 in %.2f s" % (how, took))


@Scenario
def close_during_long_region_run(test):
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write("[HV]\r\nIterations=100000000\r\nSamplePoints=100000\r\nX=-0.75\r\nY=0.1\r\n")
    h.StartProgram(test)
    mark = h.TitleMark(test)
    h.Drag(test, (128, 128), (384, 384))
    h.WaitTitles(test, mark, ["initializing", "plotting..."], 60)  # seeded, now in its passes
    started = time.time()
    h.Key(test, "alt+F4")
    code = h.WaitExit(test, 20)
    Check(code == 0, "closing during a run gave exit code %d" % code)
    print("    closed during a region run in %.2f s" % (time.time() - started))


# ---------------------------------------------------------------- right click

@Scenario
def right_click_view_runs(test):
    h.StartProgram(test)
    center = (-0.5, 0.0)
    for shift, (x, y) in ((False, (300, 200)), (True, (256, 256))):
        if shift:
            # A new process: the worker's random numbers start again from 1.
            h.Key(test, "alt+f", "x")
            Check(h.WaitExit(test) == 0, "exit code not 0")
            h.StartProgram(test)
        mark = h.TitleMark(test)
        h.RightClick(test, x, y, shift=shift)
        h.WaitRun(test, mark)
        re, im = h.ViewPixelToPlane(x, 512 - y, center)
        args = ["--start", "%r,%r" % (re, im)] + ([] if shift else ["--snap"])
        CheckLeftPaneShows(test, "left pane after %sright click" % ("Shift+" if shift else ""), *args)
    Check((re, im) == center, "Shift+right click at (256, 256) is not the centre")


# ---------------------------------------------------------------- regions

REGION_INI = dict(X="-0.75", Y="0.1", SampleRadius="0.02")


def SaveAndCompare(test, region, what):
    path = os.path.join(test["run"], "output.bmp")
    if os.path.exists(path):
        os.unlink(path)
    h.Key(test, "alt+f", "s")
    # Written beside and renamed over it, the file appears whole.
    h.WaitFor("output.bmp", lambda: os.path.exists(path), 20)
    expected = os.path.join(test["base"], "expected-output.bmp")
    h.Render(test, ["--settings", RendererSettings(test), "--region", h.RegionArgument(region)], expected)
    saved, wanted = open(path, "rb").read(), open(expected, "rb").read()
    if saved != wanted:
        h.CheckImagesEqual(test, what + " output.bmp", h.ReadBmp(path), h.ReadBmp(expected))
        raise h.Failure("%s: output.bmp differs from halovane-render in its header" % what)
    return h.ReadBmp(path)


def CheckRegionSavedAndShown(test, region, what):
    """After a region run: output.bmp equals halovane-render's, and the right
    pane comes to show it averaged. Returns the client screenshot."""
    image = SaveAndCompare(test, region, what)
    shown = h.PaneAverage(image)
    client = h.WaitClient(test, lambda c: h.Pane(c, right=True)["data"] == shown["data"])
    h.CheckImagesEqual(test, "right pane after the " + what, h.Pane(client, right=True), shown)
    return client


@Scenario
def region_drag_save_and_zoom(test):
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write(Ini(**REGION_INI))
    h.StartProgram(test)
    start, end = (140, 150), (372, 360)
    region = h.DragRegion(start, end, (-0.5, 0.0))
    mark = h.TitleMark(test)
    h.Drag(test, start, end)
    h.WaitRun(test, mark)
    client = CheckRegionSavedAndShown(test, region, "first region")
    CheckLeftPane(test, "left pane after a region run", client, "--runs", "0")


@Scenario
def region_zoom_in_right_pane(test):
    # With SampleRadius 0 every sample starts at (X, Y), so a second run's
    # picture does not depend on the random numbers the first one drew.
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write(Ini(X="-0.75", Y="0.1", SampleRadius="0"))
    h.StartProgram(test)
    first = h.DragRegion((128, 128), (384, 384), (-0.5, 0.0))
    mark = h.TitleMark(test)
    h.Drag(test, (128, 128), (384, 384))
    mark = h.WaitRun(test, mark)
    second = h.DragRegion((640, 128), (896, 384), None, (first["width"], first["cx"], first["cy"]))
    h.Drag(test, (640, 128), (896, 384))
    h.WaitRun(test, mark)
    CheckRegionSavedAndShown(test, second, "zoomed region")


@Scenario
def region_with_odd_output_width(test):
    # 1001 pixels make rows of 3003 bytes: the file fills them out to 3004.
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write(Ini(Width="1001", Height="1001", **REGION_INI))
    h.StartProgram(test)
    start, end = (150, 140), (380, 390)
    region = h.DragRegion(start, end, (-0.5, 0.0))
    mark = h.TitleMark(test)
    h.Drag(test, start, end)
    h.WaitRun(test, mark)
    CheckRegionSavedAndShown(test, region, "1001 x 1001 region")
    Check(os.path.getsize(os.path.join(test["run"], "output.bmp")) == 54 + 3004 * 1001,
          "output.bmp of a 1001-wide image is not filled out to 4-byte rows")


@Scenario
def selection_rectangle_colours(test):
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write(Ini(Iterations="100000000"))
    h.StartProgram(test)
    before = h.StableClient(test)
    start, end = (100, 100), (300, 250)
    h.Press(test, *start)
    for point in h.DragPath(start, end):
        h.MoveTo(test, *point)
    expected = bytearray(before["data"])
    for y in range(start[1], end[1]):
        for x in range(start[0], end[0]):
            inside = start[0] < x < end[0] - 1 and start[1] < y < end[1] - 1
            if inside:
                i = (y * 1024 + x) * 3
                for ch in range(3):
                    expected[i + ch] |= 64
    expected = bytes(expected)
    during = h.WaitClient(test, lambda c: c["data"] == expected)
    h.Release(test)
    h.CheckImagesEqual(test, "selection rectangle", during, dict(width=1024, height=512, data=expected))


# ---------------------------------------------------------------- commands

@Scenario
def go_stop_keys_and_about(test):
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write(Ini(Iterations="200000000"))
    h.StartProgram(test)
    # Each action, then the titles it must set, or none.
    mark = h.TitleMark(test)
    h.RightClick(test, 256, 256, shift=True)
    h.WaitTitles(test, mark, ["initializing", "plotting..."], 30)
    steps = [(("shift+s",), None, "plotting..."), (("s",), ["stopped"], None),
             (("shift+g",), None, "stopped"), (("g",), ["initializing", "plotting..."], None),
             (("alt+f", "p"), ["stopped"], None), (("alt+f", "g"), ["initializing", "plotting..."], None),
             (("alt+f", "Down", "Down", "Down", "Return"), ["stopped"], None)]  # Stop by position too
    for keys, titles, stays in steps:
        mark = h.TitleMark(test)
        h.Key(test, *keys)
        if titles:
            h.WaitTitles(test, mark, titles, 30)
        else:
            h.TitleStays(test, mark, stays)
    for keys in (("alt+slash",), ("alt+question",), ("alt+h", "a")):
        h.Key(test, *keys)
        about = h.FindWindow(test, cls="#32770", title="About")
        texts = " ".join(c["text"] for c in h.Controls(test, about["hwnd"]))
        Check("Halovane Version 1.0" in texts, "About does not say 'Halovane Version 1.0': %r" % texts)
        Check("USE AT YOUR OWN RISK! Right click to choose start point." in texts, "About text: %r" % texts)
        h.Key(test, "Escape")
        DialogGone(test, about["hwnd"])
    h.Key(test, "alt+f", "x")
    Check(h.WaitExit(test) == 0, "exit code not 0")


@Scenario
def continuous_drift_and_clear(test):
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write(Ini(Iterations="500000", X="-0.75", Y="0.1", DriftX="0.001", DriftY="-0.002", Clear="0"))
    h.StartProgram(test)
    outline = h.StableClient(test)
    mark = h.TitleMark(test)
    h.Key(test, "alt+f", "t")
    # Runs chain with no further input: each run end seeds the next.
    h.WaitTitles(test, mark, ["initializing", "plotting..."] * 2 + ["initializing"], 60)
    stop = h.TitleMark(test)
    h.Key(test, "s")
    h.WaitTitles(test, stop, ["stopped"], 10)
    # The run ends repainted the left pane; below the menu's drop-down.
    def lower(client):
        return h.Pane(client, right=False)["data"][200 * 512 * 3:]
    client = h.WaitClient(test, lambda c: lower(c) != lower(outline))
    Check(lower(client) != lower(outline), "continuous runs drew nothing in the left pane")
    dialog = OpenProperties(test)
    controls = h.Controls(test, dialog["hwnd"])
    shown = (Field(controls, ID["IDC_X"])["text"], Field(controls, ID["IDC_Y"])["text"])
    h.Key(test, "Escape")
    DialogGone(test, dialog["hwnd"])
    # The drift is added in float32 at each run end that chains another, and
    # each chained run is seeded: one fewer drift than seedings.
    drifts = h.TitleLog(test)[mark:].count("initializing") - 1
    px, py = h.F32(-0.75), h.F32(0.1)
    for _ in range(drifts):
        px, py = h.F32(px + h.F32(0.001)), h.F32(py + h.F32(-0.002))
    Check(shown == ("%.8f" % px, "%.8f" % py),
          "start point %r after %d continuous run ends, expected %r" % (shown, drifts, ("%.8f" % px, "%.8f" % py)))
    print("    %d continuous run ends drifted the start point to %s" % (drifts, shown))
    # A region run, then Clear: both panes back to the outline and black, and
    # Go runs in view mode again, leaving the right pane black.
    black = h.Black(512, 512)
    mark = h.TitleMark(test)
    h.Drag(test, (128, 128), (384, 384))
    h.WaitRun(test, mark)
    client = h.WaitClient(test, lambda c: h.Pane(c, True)["data"] != black["data"])
    Check(h.Pane(client, True)["data"] != black["data"], "the region run drew nothing")
    h.Key(test, "alt+f", "c")
    client = h.WaitClient(test, lambda c: h.Pane(c, True)["data"] == black["data"])
    CheckLeftPane(test, "left pane after Clear", client, "--runs", "0")
    h.CheckImagesEqual(test, "right pane after Clear", h.Pane(client, right=True), black)
    mark = h.TitleMark(test)
    h.Key(test, "g")
    h.WaitRun(test, mark)
    client = h.WaitClient(test, lambda c: h.Pane(c, False)["data"] != h.Pane(outline, False)["data"])
    h.CheckImagesEqual(test, "right pane after Go in view mode", h.Pane(client, right=True), black)
    Check(h.Pane(client, False)["data"] != h.Pane(outline, False)["data"], "Go after Clear drew nothing in the left pane")


# ---------------------------------------------------------------- properties

DEFAULT_FIELDS = {
    ID["IDC_ITERATIONS"]: "10000", ID["IDC_CENTERX"]: "-0.500", ID["IDC_CENTERY"]: "0.000",
    ID["IDC_SAMPLEPOINTS"]: "320", ID["IDC_X"]: "0.00000000", ID["IDC_Y"]: "0.00000000",
    ID["IDC_SAMPLERADIUS"]: "0.005000", ID["IDC_DRIFTX"]: "0.000000", ID["IDC_DRIFTY"]: "0.000000",
    ID["IDC_BORDERDISTANCE"]: "0.0000099999997", ID["IDC_OUTPUTWIDTH"]: "2048", ID["IDC_OUTPUTHEIGHT"]: "2048",
    ID["IDC_BRIGHTNESS"]: "12", ID["IDC_MAXBAILOUT"]: "4.000", ID["IDC_MINBAILOUT"]: "0.0000099999997",
}
DEFAULT_CHECKS = {ID["IDC_CLEAR"]: 1, ID["IDC_JULIA"]: 0, ID["IDC_BORDERONLY"]: 0, ID["IDC_CHECKBAILOUT"]: 0,
                  ID["IDC_PREVIEW"]: 0}
# Tab stops after the Iterations field, in order (1 and 2: the OK and Cancel buttons).
TAB_ORDER = [ID[name] if name else number for name, number in (
    ("IDC_ITERATIONS", 0), ("IDC_CENTERX", 0), ("IDC_CENTERY", 0), ("IDC_SAMPLEPOINTS", 0), ("IDC_X", 0),
    ("IDC_Y", 0), ("IDC_SAMPLERADIUS", 0), ("IDC_DRIFTX", 0), ("IDC_DRIFTY", 0), ("IDC_BORDERDISTANCE", 0),
    ("IDC_OUTPUTWIDTH", 0), ("IDC_BRIGHTNESS", 0), ("IDC_CLEAR", 0), ("IDC_JULIA", 0), ("IDC_BORDERONLY", 0),
    ("", 1), ("", 2), ("IDC_CHECKBAILOUT", 0), ("IDC_MAXBAILOUT", 0), ("IDC_MINBAILOUT", 0), ("IDC_PREVIEW", 0))]


def FocusField(test, cid):
    h.Key(test, *["Tab"] * TAB_ORDER.index(cid))


@Scenario
def properties_fields_save_and_cancel(test):
    h.StartProgram(test)
    dialog = OpenProperties(test)
    controls = h.Controls(test, dialog["hwnd"])
    for cid, text in DEFAULT_FIELDS.items():
        Check(Field(controls, cid)["text"] == text, "field %d shows %r, expected %r" % (cid, Field(controls, cid)["text"], text))
    for cid, state in DEFAULT_CHECKS.items():
        Check(Field(controls, cid)["checked"] == state, "check box %d is %d" % (cid, Field(controls, cid)["checked"]))
    Check(not Field(controls, ID["IDC_OUTPUTHEIGHT"])["enabled"], "the Height field is not disabled")
    # Esc changes nothing.
    h.Type(test, "777")
    h.Key(test, "Escape")
    DialogGone(test, dialog["hwnd"])
    Check(not os.path.exists(os.path.join(test["run"], "Halovane.ini")), "Esc wrote a settings file")
    # Cancel by its button changes nothing.
    dialog = OpenProperties(test)
    controls = h.Controls(test, dialog["hwnd"])
    Check(Field(controls, ID["IDC_ITERATIONS"])["text"] == "10000", "Esc changed Iterations")
    h.Type(test, "555")
    ClickControl(test, Field(controls, 2))
    DialogGone(test, dialog["hwnd"])
    Check(not os.path.exists(os.path.join(test["run"], "Halovane.ini")), "Cancel wrote a settings file")
    # Edits and a ticked box are stored and written as the 21 lines.
    dialog = OpenProperties(test)
    h.Type(test, "5000")  # Iterations: its text is selected on opening
    h.Key(test, "Tab")
    h.Type(test, "-0.25")  # Center X
    # From Center X (index 1) to Julia (index 13).
    h.Key(test, *["Tab"] * (TAB_ORDER.index(ID["IDC_JULIA"]) - 1))
    h.Key(test, "space")
    controls = h.Controls(test, dialog["hwnd"])
    Check(Field(controls, ID["IDC_JULIA"])["checked"] == 1, "the Julia box did not tick")
    h.Key(test, "Return")
    DialogGone(test, dialog["hwnd"])
    expected = ["[HV]", "Width=2048", "Height=2048", "Iterations=5000", "SamplePoints=320", "Brightness=12",
                "Clear=1", "Julia=1", "BorderOnly=0", "CheckBailout=0", "Preview=0", "X=0.0000000000000",
                "Y=0.0000000000000", "CenterX=-0.2500000000000", "CenterY=0.0000000000000",
                "DriftX=0.0000000000000", "DriftY=0.0000000000000", "SampleRadius=0.0049999998882",
                "BorderDistance=0.0000099999997", "MaxBailout=4.0000000000000", "MinBailout=0.0000099999997"]
    lines = [l for l in ReadIni(test) if l != ""]
    Check(lines == expected, "Halovane.ini holds %r, expected %r" % (lines, expected))
    dialog = OpenProperties(test)
    controls = h.Controls(test, dialog["hwnd"])
    Check(Field(controls, ID["IDC_ITERATIONS"])["text"] == "5000" and Field(controls, ID["IDC_CENTERX"])["text"] == "-0.250",
          "reopened dialog shows %r, %r" % (Field(controls, ID["IDC_ITERATIONS"])["text"], Field(controls, ID["IDC_CENTERX"])["text"]))
    h.Key(test, "Escape")
    DialogGone(test, dialog["hwnd"])
    h.Key(test, "alt+f", "x")
    Check(h.WaitExit(test) == 0, "exit code not 0")


@Scenario
def properties_output_size_and_memory(test):
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write(Ini(Iterations="200000000"))
    h.StartProgram(test)
    mark = h.TitleMark(test)
    h.RightClick(test, 256, 256, shift=True)
    h.WaitTitles(test, mark, ["initializing", "plotting..."], 30)
    # During a run the new output size is refused silently.
    ini_before = ReadIni(test)
    dialog = OpenProperties(test)
    FocusField(test, ID["IDC_OUTPUTWIDTH"])
    h.Type(test, "1024")
    h.Key(test, "Return")
    DialogStays(test, dialog["hwnd"])
    Check(not any(w["title"] == "Memory Error." for w in h.VisibleDialogs(test)), "a message was shown")
    Check(ReadIni(test) == ini_before, "the refused OK wrote the settings file")
    h.Key(test, "Escape")
    DialogGone(test, dialog["hwnd"])
    mark = h.TitleMark(test)
    h.Key(test, "s")
    h.WaitTitles(test, mark, ["stopped"], 10)
    # After Stop the same change is accepted.
    dialog = OpenProperties(test)
    controls = h.Controls(test, dialog["hwnd"])
    Check(Field(controls, ID["IDC_OUTPUTWIDTH"])["text"] == "2048", "the refused size was kept: %r" % Field(controls, ID["IDC_OUTPUTWIDTH"])["text"])
    FocusField(test, ID["IDC_OUTPUTWIDTH"])
    h.Type(test, "1024")
    h.Key(test, "Return")
    DialogGone(test, dialog["hwnd"])
    lines = ReadIni(test)
    Check("Width=1024" in lines and "Height=1024" in lines, "Halovane.ini after the size change: %r" % lines)
    path = os.path.join(test["run"], "output.bmp")
    h.Key(test, "alt+f", "s")
    h.WaitFor("output.bmp of the new size", lambda: os.path.exists(path) and os.path.getsize(path) == 54 + 1024 * 1024 * 3, 20)
    # A sample count that cannot be allocated: the box, and the dialog stays.
    dialog = OpenProperties(test)
    FocusField(test, ID["IDC_SAMPLEPOINTS"])
    h.Type(test, "1000000000")
    h.Key(test, "Return")
    box = WaitMessageBox(test, "Out of memory. Choose a smaller sample size.")
    Check(box["title"] == "Memory Error.", "memory box caption %r" % box["title"])
    h.Key(test, "Return")
    DialogGone(test, box["hwnd"])
    DialogStays(test, dialog["hwnd"])
    # The user must still see the dialog: above the main window, which lists
    # top-level windows from the top of the stack down.
    order = [w["hwnd"] for w in h.TopWindows(test) if w["visible"]]
    Check(order.index(dialog["hwnd"]) < order.index(test["hwnd"]),
          "after the memory box closed, the Properties dialog lies hidden behind the main window")
    controls = h.Controls(test, dialog["hwnd"])
    Check(Field(controls, ID["IDC_SAMPLEPOINTS"])["text"] == "1000000000", "the dialog's fields changed after the failure")
    ClickControl(test, Field(controls, ID["IDC_SAMPLEPOINTS"]))
    h.Key(test, "End", "shift+Home")
    h.Type(test, "320")
    h.Key(test, "Return")
    DialogGone(test, dialog["hwnd"])
    Check("SamplePoints=320" in ReadIni(test), "SamplePoints not saved back as 320")
    mark = h.TitleMark(test)
    h.RightClick(test, 256, 256, shift=True)
    h.WaitTitles(test, mark, ["initializing", "plotting..."], 30)  # the samples were allocated again
    h.Key(test, "alt+f", "x")
    Check(h.WaitExit(test, 20) == 0, "exit code not 0")


@Scenario
def hand_written_settings(test):
    text = ("[hv]\niterations=3000\nSAMPLEPOINTS=640\nx=-7.5e-1\nY=1E-1\ncenterx=-0.75\nCenterY=0.125\n"
            "width=1024\nheight=512\nsampleradius=2e-2\nclear=7\n")
    with open(os.path.join(test["run"], "Halovane.ini"), "w", newline="") as f:
        f.write(text.replace("\n", "\r\n"))
    h.StartProgram(test)
    CheckLeftPaneShows(test, "start-up left pane with hand-written settings", "--runs", "0")
    dialog = OpenProperties(test)
    controls = h.Controls(test, dialog["hwnd"])
    shown = {cid: Field(controls, cid)["text"] for cid in (ID["IDC_ITERATIONS"], ID["IDC_SAMPLEPOINTS"], ID["IDC_X"], ID["IDC_Y"], ID["IDC_CENTERX"], ID["IDC_CENTERY"], ID["IDC_OUTPUTWIDTH"], ID["IDC_OUTPUTHEIGHT"], ID["IDC_SAMPLERADIUS"])}
    wanted = {ID["IDC_ITERATIONS"]: "3000", ID["IDC_SAMPLEPOINTS"]: "640", ID["IDC_X"]: "-0.75000000", ID["IDC_Y"]: "0.10000000", ID["IDC_CENTERX"]: "-0.750", ID["IDC_CENTERY"]: "0.125",
              ID["IDC_OUTPUTWIDTH"]: "1024", ID["IDC_OUTPUTHEIGHT"]: "512", ID["IDC_SAMPLERADIUS"]: "0.020000"}
    Check(shown == wanted, "the dialog shows %r, expected %r" % (shown, wanted))
    Check(Field(controls, ID["IDC_CLEAR"])["checked"] == 1, "Clear=7 does not read as on")
    h.Key(test, "Return")
    DialogGone(test, dialog["hwnd"])
    lines = [l.lower() for l in ReadIni(test)]
    for want in ("width=1024", "height=512", "iterations=3000", "samplepoints=640", "clear=1",
                 "x=-0.7500000000000", "y=0.1000000014901", "centery=0.1250000000000"):
        Check(want in lines, "%r missing from the saved file %r" % (want, lines))
    # The non-square output: a region run, byte-equal file, pane averaged 2:1 across, 1:2 down.
    start, end = (100, 120), (300, 330)
    region = h.DragRegion(start, end, (h.F32(-0.75), h.F32(0.125)))
    mark = h.TitleMark(test)
    h.Drag(test, start, end)
    h.WaitRun(test, mark)
    CheckRegionSavedAndShown(test, region, "1024 x 512 region")


@Scenario
def save_refused_keeps_old_file(test):
    with open(os.path.join(test["run"], "Halovane.ini"), "w") as f:
        f.write(Ini(**REGION_INI))
    h.StartProgram(test)
    path = os.path.join(test["run"], "output.bmp")
    h.Key(test, "alt+f", "s")
    h.WaitFor("the first output.bmp", lambda: os.path.exists(path), 20)  # renamed into place whole
    old = open(path, "rb").read()
    Check(len(old) == 12582966, "output.bmp holds %d bytes" % len(old))
    mark = h.TitleMark(test)
    h.Drag(test, (128, 128), (384, 384))
    h.WaitRun(test, mark)
    Check(h.Ask(test, "hold " + h.WindowsPath(path)) == ["1"], "the helper could not hold output.bmp open")
    h.Key(test, "alt+f", "s")
    box = WaitMessageBox(test, "output.bmp")
    h.Key(test, "Return")
    DialogGone(test, box["hwnd"])
    h.Ask(test, "release")
    Check(open(path, "rb").read() == old, "output.bmp changed while another process held it open")
    # A read-only directory, where the system enforces it.
    os.chmod(test["run"], 0o555)
    try:
        probe = os.path.join(test["run"], "probe")
        try:
            open(probe, "w").close()
            os.unlink(probe)
            print("    read-only directory not enforced for this user (root); only the held-open case is tested")
        except OSError:
            h.Key(test, "alt+f", "s")
            box = WaitMessageBox(test, "output.bmp")
            h.Key(test, "Return")
            DialogGone(test, box["hwnd"])
            Check(open(path, "rb").read() == old, "output.bmp changed in a read-only directory")
    finally:
        os.chmod(test["run"], 0o755)
    h.Key(test, "alt+f", "s")
    h.WaitFor("the new output.bmp", lambda: open(path, "rb").read() != old, 20)
    h.Key(test, "alt+f", "x")
    Check(h.WaitExit(test) == 0, "exit code not 0")


@Scenario
def save_keeps_neighbouring_files(test):
    # A user's own output.bmp.tmp, as a file and then as a folder, is left alone.
    mine = os.path.join(test["run"], "output.bmp.tmp")
    path = os.path.join(test["run"], "output.bmp")
    with open(mine, "wb") as f:
        f.write(b"mine")
    h.StartProgram(test)
    saved = lambda: os.path.exists(path) and os.path.getsize(path) == 12582966
    h.Key(test, "alt+f", "s")
    h.WaitFor("output.bmp beside the file output.bmp.tmp", saved, 20)
    Check(open(mine, "rb").read() == b"mine", "Save changed the user's file output.bmp.tmp")
    os.unlink(mine)
    os.mkdir(mine)
    os.unlink(path)
    h.Key(test, "alt+f", "s")
    h.WaitFor("output.bmp beside the folder output.bmp.tmp", saved, 20)
    Check(os.path.isdir(mine), "Save removed the user's folder output.bmp.tmp")
    left = [name for name in os.listdir(test["run"]) if name.startswith(".hv")]
    Check(not left, "temporary files left behind: %s" % left)
    h.Key(test, "alt+f", "x")
    Check(h.WaitExit(test) == 0, "exit code not 0")


# ---------------------------------------------------------------- release

def ReleaseCheck(test):
    """The user's path after unpacking: start, select a region, save."""
    Check(os.path.isfile(os.path.join(test["run"], "ReadMe.txt")), "ReadMe.txt is not beside Halovane.exe")
    h.StartProgram(test)
    Check(h.Title(test) == "Halovane", "start title is %r" % h.Title(test))
    # The default start point (0, 0) lies inside this region, so its orbits show.
    start, end = (300, 170), (470, 340)
    region = h.DragRegion(start, end, (-0.5, 0.0))
    mark = h.TitleMark(test)
    h.Drag(test, start, end)
    h.WaitRun(test, mark)
    image = SaveAndCompare(test, region, "release region")
    Check(any(image["data"]), "the saved region is all black")
    h.Key(test, "alt+f", "x")
    code = h.WaitExit(test)
    Check(code == 0, "exit code %d" % code)


# ---------------------------------------------------------------- runner

def Main():
    release = sys.argv[1] == "--release"
    if release:
        del sys.argv[1]
    exe, helper, renderer, work = sys.argv[1:5]
    wanted = set(sys.argv[5:])
    if release:
        return RunRelease(exe, helper, renderer, work)
    started = time.time()
    failed = []
    try:
        h.StartSession(work, exe, helper, renderer)
        for scenario in SCENARIOS:
            name = scenario.__name__
            if wanted and name not in wanted:
                continue
            t0 = time.time()
            test = h.NewTest(name)
            ok = False
            try:
                scenario(test)
                ok = True
            except h.Failure as failure:
                print("FAIL %s: %s" % (name, failure), flush=True)
            except Exception:
                print("FAIL %s: %s" % (name, traceback.format_exc()), flush=True)
            finally:
                if not ok:
                    h.KeepScreen(test)
                h.EndTest(test)
            if ok:
                print("ok   %s (%.1f s)" % (name, time.time() - t0), flush=True)
                h.RemoveTest(test)
            else:
                failed.append(name)
                print("     kept in %s" % test["base"], flush=True)
    except h.Failure as failure:
        print("FAIL e2e session: %s" % failure, flush=True)
        failed.append("session")
    finally:
        h.EndSession()
    print("e2e: %d failed; wall time %.0f s" % (len(failed), time.time() - started), flush=True)
    if failed:
        print("e2e: failed: %s; screenshots and images in %s" % (", ".join(failed), os.path.join(work, "failures")))
    return 1 if failed else 0


def RunRelease(exe, helper, renderer, work):
    ok = False
    try:
        h.StartSession(work, exe, helper, renderer)
        test = h.NewTest("release", run_dir=os.path.dirname(os.path.abspath(exe)))
        try:
            ReleaseCheck(test)
            ok = True
        except h.Failure as failure:
            print("FAIL release: %s" % failure, flush=True)
        finally:
            h.EndTest(test)
    except h.Failure as failure:
        print("FAIL release session: %s" % failure, flush=True)
    finally:
        h.EndSession()
    print("release check: %s" % ("ok" if ok else "FAILED"), flush=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(Main())
