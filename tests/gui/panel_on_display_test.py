#!/usr/bin/env python3
"""The panel in a real window on a virtual X display, driven as a person would drive it.

Starts `contourmill -gui` under Xvfb, takes a screenshot and checks that it shows the panel, then
with xdotool types a generated tile's name into the input field and presses "add", picks "exactly n
isolines", types 12 as the value and presses RUN. The command window must then hold "-iso_number 12",
the run must end with exit status 0, and its output must equal, byte for byte, what the same command
line writes when run directly. Then the value list of "multiple isolines" (ADD, and a second pick
removing an entry), and a lake file that does not exist: a warning in the log, and a run that ends
with exit status 1.

usage: panel_on_display_test.py CONTOURMILL CM_LASGEN
Exits 77 (skipped) when Xvfb, xdotool or ImageMagick is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
SCREEN = "1280x1024x24"
# FLTK's default background grey: most of the window is this colour.
PANEL_GREY = "rgb(192,192,192)"


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def split_command_words(text):
    """The command window's quoting: blanks separate words, a word may be in double quotes, and two
    quotes inside quotes stand for one."""
    words, i = [], 0
    while i < len(text):
        if text[i] == " ":
            i += 1
            continue
        word = ""
        if text[i] == '"':
            i += 1
            while i < len(text):
                if text[i] == '"':
                    if i + 1 < len(text) and text[i + 1] == '"':
                        word += '"'
                        i += 2
                        continue
                    i += 1
                    break
                word += text[i]
                i += 1
        while i < len(text) and text[i] != " ":
            word += text[i]
            i += 1
        words.append(word)
    return words


def wait_for(predicate, seconds, what):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    fail("timed out waiting for " + what)


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout


def image_fraction(png, colour):
    """The share of the screenshot's pixels that have exactly this colour."""
    out = subprocess.run(["convert", png, "-fill", "black", "+opaque", colour, "-fill", "white", "-opaque", colour,
                          "-colorspace", "Gray", "-format", "%[fx:mean]", "info:"],
                         check=True, capture_output=True, text=True).stdout
    return float(out)


def colour_count(png):
    out = subprocess.run(["identify", "-format", "%k", png], check=True, capture_output=True, text=True).stdout
    return int(out)


def on_display(contourmill, lasgen):
    work = tempfile.mkdtemp(prefix="contourmill_panel_")
    try:
        tile = os.path.join(work, "tile.las")
        subprocess.run([lasgen, "--surface", "sample", "--points", "20000", "--size", "200", "--out", tile],
                       check=True, capture_output=True)
        transcript = os.path.join(work, "transcript.txt")
        env = dict(os.environ, CONTOURMILL_GUI_TRANSCRIPT=transcript)
        suppressions = os.path.join(os.path.dirname(os.path.abspath(__file__)), "x11_leaks.supp")
        # Under LeakSanitizer the X libraries' own caches are not ours to free.
        env["LSAN_OPTIONS"] = "suppressions=" + suppressions + ":print_suppressions=0"
        started = time.time()
        panel = subprocess.Popen([contourmill, "-gui"], cwd=work, env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, text=True)
        try:
            return drive(panel, work, tile, transcript, contourmill, started)
        finally:
            if panel.poll() is None:
                panel.kill()
                panel.wait()
    finally:
        shutil.rmtree(work, ignore_errors=True)


def drive(panel, work, tile, transcript, contourmill, started):
    widgets = {}

    def layout():
        for line in read(transcript).splitlines():
            parts = line.split()
            if len(parts) == 6 and parts[0] == "widget":
                widgets[parts[1]] = tuple(int(v) for v in parts[2:])
        return "run" in widgets

    wait_for(layout, 20, "the panel's layout in the transcript")
    window = wait_for(lambda: xdotool("search", "--onlyvisible", "--name", "^contourmill$").split(), 20,
                      "the window")[0]
    print("window shown %.2f s after the start (includes the poll of this test)" % (time.time() - started))

    def click(name):
        x, y, w, h = widgets[name]
        xdotool("mousemove", "--window", window, str(x + w // 2), str(y + h // 2))
        xdotool("click", "1")
        time.sleep(0.15)

    time.sleep(0.5)
    shot = os.path.join(work, "panel.png")
    subprocess.run(["import", "-window", "root", shot], check=True)
    colours = colour_count(shot)
    grey = image_fraction(shot, PANEL_GREY)
    print("screenshot: %d colours, %.0f%% panel grey" % (colours, 100 * grey))
    if colours < 8:
        fail("the screenshot is blank (%d colours)" % colours)
    # The window covers three quarters of the screen, a good part of it the panel's background
    # (the map, fields and lists are white); an empty screen has none of that grey.
    if grey < 0.2:
        fail("the screenshot does not show the panel (%.0f%% of its pixels are the panel's grey)" % (100 * grey))
    keep = os.environ.get("CONTOURMILL_PANEL_SCREENSHOT")
    if keep:
        shutil.copy(shot, keep)

    click("file_field")
    xdotool("type", "--delay", "20", tile)
    click("add_file")
    click("mode_number")
    click("value")
    xdotool("key", "End")
    xdotool("key", "--repeat", "12", "BackSpace")
    xdotool("type", "--delay", "20", "12")
    time.sleep(0.3)
    click("run")

    def exit_line():
        for line in read(transcript).splitlines():
            if line.startswith("exit status: "):
                return line
        return None

    status = wait_for(exit_line, 120, "the run's exit status")
    time.sleep(0.2)
    text = read(transcript)
    commands = [line[len("command: "):] for line in text.splitlines() if line.startswith("command: ")]
    if len(commands) != 1:
        fail("expected one command started, found %d:\n%s" % (len(commands), text))
    command = commands[0]
    print("command window: " + command)
    words = split_command_words(command)
    if "-iso_number 12" not in command or words[words.index("-iso_number") + 1] != "12":
        fail("the command window does not hold '-iso_number 12': " + command)
    if words[:3] != ["contourmill", "-i", tile]:
        fail("the command does not start with the added tile: " + command)
    if status != "exit status: 0":
        fail("the run failed (%s); transcript:\n%s" % (status, text))

    outputs = [os.path.join(work, "tile." + e) for e in ("shp", "shx", "dbf")]
    for path in outputs:
        if not os.path.exists(path):
            fail("the run wrote no " + path)
        os.rename(path, path + ".panel")
    direct = subprocess.run([contourmill] + words[1:], cwd=work, capture_output=True, text=True)
    if direct.returncode != 0:
        fail("the same command line failed: " + direct.stderr)
    for path in outputs:
        with open(path, "rb") as a, open(path + ".panel", "rb") as b:
            if a.read() != b.read():
                fail(path + " differs between the panel's run and the command line's")
    if os.path.getsize(outputs[0]) <= 100:
        fail("the Shapefile holds no contours")

    # The value list of "multiple isolines": ADD appends the value; a second pick in a row of the
    # same entry takes it off again.
    def run_and_wait(runs_before):
        click("run")

        def ended():
            lines = [l for l in read(transcript).splitlines() if l.startswith("exit status: ")]
            return lines[-1] if len(lines) > runs_before else None

        status_line = wait_for(ended, 120, "run %d's exit status" % (runs_before + 1))
        started = [l[len("command: "):] for l in read(transcript).splitlines() if l.startswith("command: ")]
        return started[-1], status_line

    def type_value(text):
        click("value")
        xdotool("key", "End")
        xdotool("key", "--repeat", "12", "BackSpace")
        xdotool("type", "--delay", "20", text)

    click("mode_multiple")
    for value in ("5", "7"):
        type_value(value)
        click("add_value")
    x, y, w, h = widgets["value_list"]
    for _ in range(2):
        xdotool("mousemove", "--window", window, str(x + 30), str(y + 10))
        xdotool("click", "1")
        time.sleep(0.7)  # two picks, not a double click
    command, status = run_and_wait(1)
    print("command window: " + command)
    words = split_command_words(command)
    if [w for w in words if w.startswith("-iso")] != ["-iso"] or words[words.index("-iso") + 1] != "7":
        fail("after adding 5 and 7 and picking 5 twice the command should hold '-iso 7' alone: " + command)
    if status != "exit status: 0":
        fail("the run with '-iso 7' failed: " + status)

    # A breakline file that cannot be read is a warning in the log, and the run that names it fails
    # with its exit status shown.
    click("breaklines")
    click("closed")
    click("closed_file")
    xdotool("type", "--delay", "20", "no_such_lake.txt")
    wait_for(lambda: any(l.startswith("log: WARNING:") and "no_such_lake.txt" in l
                         for l in read(transcript).splitlines()), 20, "the preview's warning about the lake file")
    command, status = run_and_wait(2)
    print("command window: " + command)
    if "-lakes no_such_lake.txt" not in command:
        fail("the command does not name the lake file: " + command)
    if status != "exit status: 1":
        fail("a run whose lake file is missing must end with exit status 1, not: " + status)

    # Escape closes an FLTK window; the panel then ends with exit code 0.
    xdotool("mousemove", "--window", window, "20", "20")
    xdotool("key", "Escape")
    try:
        code = panel.wait(timeout=20)
    except subprocess.TimeoutExpired:
        fail("the panel did not close")
    if code != 0:
        fail("the panel ended with exit code %d: %s" % (code, panel.stdout.read()))
    print("PASS: 1 passed, 0 failed")
    return 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--on-display":
        return on_display(sys.argv[2], sys.argv[3])
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    missing = [tool for tool in ("xvfb-run", "Xvfb", "xauth", "xdotool", "import", "convert", "identify") if not shutil.which(tool)]
    if missing:
        print("SKIPPED: the panel test needs " + ", ".join(missing) + " (tools/install-deps.sh installs them)")
        return SKIP
    return subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 " + SCREEN, sys.executable, os.path.abspath(__file__),
                           "--on-display", os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])]).returncode


if __name__ == "__main__":
    sys.exit(main())
