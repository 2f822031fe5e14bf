#!/usr/bin/env python3
"""End-to-end tests of the built display on a real X server.

Each test starts the real `ordisp` binary with its own configuration folder and database file,
finds its windows by title, clicks its buttons where the window design puts them, answers message
boxes with keys or their buttons, reads what the windows show through the accessibility bus (as a
screen reader does) and checks the database after each step.

Run by CTest: ordisp_e2e.py --ordisp BIN --tool BIN --artifacts DIR [unittest arguments]. Needs
DISPLAY (scripts/test starts Xvfb 1024x768 at 96 dpi), xdotool, ImageMagick's import, xmessage,
xwininfo, dbus-run-session and python3-pyatspi with at-spi2-core. Without DISPLAY the tests are
skipped (exit status 77).
"""

import argparse
import datetime
import os
import re
import shutil
import sqlite3
import stat
import subprocess
import sys
import tempfile
import time
import unittest
import warnings

SKIP = 77
PRIVATE_BUS = "ORDISP_E2E_PRIVATE_BUS"

# Design lengths are twips; the tests run at 96 dpi. On a screen smaller than the configured
# 1024 x 768 the main window is scaled as a whole by SCALE (set from the screen's size).
TWIPS_PER_PIXEL = 15
SCALE = 1.0

MAIN_TITLE = "Torvane-Gastronomie Küchenmonitor 1.3"
NOT_DONE = "Nur fertige Gerichte können aus der Liste gelöscht werden."

ARGS = None
pyatspi = None


def px(twips):
    return int(round(twips * SCALE / TWIPS_PER_PIXEL))


def centre(left, top, width, height):
    """Centre of a design rectangle in window pixels."""
    return px(left + width / 2), px(top + height / 2)


def main_window_places(client_width):
    """Window-relative click points of the main window's buttons for a client area of that width.

    The action buttons follow the grid's width (client width - 2175 - 500), 250 to its right;
    "X" sits in the top right corner; the table buttons keep the places the set-up gives them.
    """
    width = client_width * TWIPS_PER_PIXEL / SCALE
    action_left = width - 2175 - 500 + 250
    return {
        "in Arbeit": centre(action_left, 2520, 2175, 855),
        "Fertig": centre(action_left, 3840, 2175, 855),
        "Eintrag löschen": centre(action_left, 5160, 2175, 855),
        "X": centre(width - 975, 0, 975, 855),
    }


def table_button_place(index):
    """Window-relative centre of table button `index` (0 is "Alle Tische"): three rows of ten,
    1020 twips apart across and 795 down, each 930 x 720."""
    row, column = divmod(index, 10)
    return centre(120 + column * 1020, 120 + row * 795, 930, 720)




# ---------------------------------------------------------------------------------------------
# The X server


def run(*command, check=True):
    result = subprocess.run(command, capture_output=True, text=True, timeout=30)
    if check and result.returncode != 0:
        raise AssertionError(f"{' '.join(command)} failed: {result.stderr.strip()}")
    return result.stdout


def wait_for(what, probe, timeout=10.0, interval=0.1):
    """Polls probe until it returns something true; fails naming what was awaited."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = probe()
            if value:
                return value
        except Exception as error:  # the window may be changing under us
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise AssertionError(f"timed out after {timeout} s waiting for {what}{detail}")
        time.sleep(interval)


def find_windows(pid, title):
    """Visible windows of the process whose title is exactly `title`."""
    pattern = "^" + re.escape(title) + "$"
    result = subprocess.run(
        ["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name", pattern],
        capture_output=True,
        text=True,
        timeout=30,
    )
    return [int(w) for w in result.stdout.split()]


def window_geometry(window):
    out = run("xdotool", "getwindowgeometry", "--shell", str(window))
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def click_in_window(window, x, y):
    # No --sync: it waits for a move even when the pointer is already there. The server handles
    # the move before the click anyway.
    run("xdotool", "mousemove", "--window", str(window), str(x), str(y), "click", "1")


def click_on_screen(x, y):
    run("xdotool", "mousemove", str(x), str(y), "click", "1")


def press_key(window, key):
    run("xdotool", "windowfocus", "--sync", str(window))
    run("xdotool", "key", key)


def stacking_order():
    """Top-level windows from the bottom to the top (xwininfo lists the topmost first)."""
    out = run("xwininfo", "-root", "-children")
    return [int(m.group(1), 16) for m in re.finditer(r"^\s+(0x[0-9a-f]+) ", out, re.MULTILINE)][::-1]


# ---------------------------------------------------------------------------------------------
# What the windows show, read through the accessibility bus


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                # Names and rows change with every refresh: read them fresh each time.
                app.set_cache_mask(0)
                return app
        except Exception:
            continue
    return None


def top_level(pid, title):
    app = application(pid)
    if app is None:
        return None
    for i in range(app.childCount):
        child = app.getChildAtIndex(i)
        if child is not None and child.name == title and child.getState().contains(pyatspi.STATE_SHOWING):
            return child
    return None


def descendants(acc, role):
    found = []
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is None:
            continue
        if child.getRole() == role:
            found.append(child)
        found.extend(descendants(child, role))
    return found


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


class Grid:
    """A grid as a screen reader presents it: headers, cell texts, selected rows."""

    def __init__(self, acc):
        table = acc.queryTable()
        self.acc = acc
        # The table interface gives no headers for a grid without rows; its children always do.
        self.headers = [
            child.name
            for child in (acc.getChildAtIndex(i) for i in range(acc.childCount))
            if child is not None and child.getRole() == pyatspi.ROLE_TABLE_COLUMN_HEADER
        ]
        self.rows = [
            [table.getAccessibleAt(r, c).name for c in range(table.nColumns)] for r in range(table.nRows)
        ]
        self.selected = [r for r in range(table.nRows) if table.isRowSelected(r)]
        self._table = table

    def column(self, header):
        index = self.headers.index(header)
        return [row[index] for row in self.rows]

    def row_of(self, header, text):
        return self.column(header).index(text)

    def cell_centre(self, row, header):
        x, y, w, h = extents(self._table.getAccessibleAt(row, self.headers.index(header)))
        return x + w // 2, y + h // 2

    def __repr__(self):
        return f"Grid(headers={self.headers}, rows={self.rows}, selected={self.selected})"


def grids(window):
    return [Grid(t) for t in descendants(window, pyatspi.ROLE_TABLE)]


def grid_named(window, name):
    (found,) = [Grid(t) for t in descendants(window, pyatspi.ROLE_TABLE) if t.name == name]
    return found


def buttons(window):
    return {b.name: b for b in descendants(window, pyatspi.ROLE_PUSH_BUTTON)}


def texts(window):
    """Every text the window shows in labels, as one string."""
    return "\n".join(label.name for label in descendants(window, pyatspi.ROLE_LABEL) if label.name)


# ---------------------------------------------------------------------------------------------
# A database and a configuration as the administrator's tool makes them


def minutes_ago(minutes):
    return (datetime.datetime.now() - datetime.timedelta(minutes=minutes)).strftime("%Y-%m-%d %H:%M:%S")


def today_at(hour, minute):
    return datetime.datetime.combine(datetime.date.today(), datetime.time(hour, minute)).strftime(
        "%Y-%m-%d %H:%M:%S"
    )


class Fixture:
    """A private folder with a configuration, a database folder and the processes' environment."""

    def __init__(self, case):
        self.root = tempfile.mkdtemp(prefix="ordisp-e2e-")
        case.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.config_home = self.path("config")
        self.ini = self.path("config", "zalpos", "ZALPOS.INI")
        self.db_folder = self.path("db")
        os.makedirs(os.path.dirname(self.ini))
        os.makedirs(self.db_folder)
        runtime = self.path("runtime")
        os.makedirs(runtime)
        os.chmod(runtime, stat.S_IRWXU)
        os.makedirs(self.path("tmp"))
        self.env = dict(os.environ)
        for name in ("QT_QPA_PLATFORM", "QT_ACCESSIBILITY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self.env.update(
            {
                "XDG_CONFIG_HOME": self.config_home,
                # The single-instance lock and socket live here, apart from any other display.
                "XDG_RUNTIME_DIR": runtime,
                "TMPDIR": self.path("tmp"),
                "QT_QPA_PLATFORM": "xcb",
                "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                "LC_ALL": "C.UTF-8",
            }
        )

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def write_ini(self, database_folder, monitor=1, ordisp_keys=""):
        with open(self.ini, "w", encoding="utf-8") as f:
            f.write(f"[ORDISP]\nORDISPNR={monitor}\n{ordisp_keys}[DATABASE]\nTYP=MS-JET\n")
            f.write(f"[PFADE]\nDATENBANK={database_folder}\n")

    def ini_value(self, key):
        with open(self.ini, encoding="utf-8") as f:
            for line in f:
                name, _, value = line.partition("=")
                if name.strip().upper() == key:
                    return value.strip()
        return None

    def create_database(self, folder, orders):
        """Creates ZALPOS.MDB in folder with `ordisp-db init` and inserts the orders.

        orders: tuples (monitor, table, course, guest, text, status, insdate)."""
        env = dict(self.env)
        ini = self.path("tool", "zalpos", "ZALPOS.INI")
        os.makedirs(os.path.dirname(ini), exist_ok=True)
        with open(ini, "w", encoding="utf-8") as f:
            f.write(f"[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK={folder}\n")
        env["XDG_CONFIG_HOME"] = self.path("tool")
        subprocess.run([ARGS.tool, "init"], env=env, check=True, capture_output=True, timeout=30)
        path = os.path.join(folder, "ZALPOS.MDB")
        with sqlite3.connect(path) as db:
            db.executemany(
                "INSERT INTO ordisp (monitornr, tisch, gang, gast, menge, txt, status, insdate) "
                "VALUES (?, ?, ?, ?, 1, ?, ?, ?)",
                orders,
            )
        return path


class OrderDb:
    """Reads the database file as another station would, between the display's steps."""

    def __init__(self, path):
        self.path = path

    def rows(self, sql, args=()):
        db = sqlite3.connect(f"file:{self.path}?mode=ro", uri=True, timeout=10)
        try:
            return db.execute(sql, args).fetchall()
        finally:
            db.close()

    def status(self, text):
        """Status of the line with that dish text; None when it is gone."""
        found = self.rows("SELECT status FROM ordisp WHERE txt = ?", (text,))
        return found[0][0] if found else None

    def count(self):
        return self.rows("SELECT COUNT(*) FROM ordisp")[0][0]

    def snapshot(self):
        return self.rows(
            "SELECT id, monitornr, tisch, gang, gast, txt, status, insdate FROM ordisp ORDER BY id"
        )


# ---------------------------------------------------------------------------------------------
# The display as a process


class Display:
    def __init__(self, case, fixture, executable=None, cwd=None, name="ordisp"):
        self.case = case
        self.stderr_path = fixture.path(f"{name}.stderr")
        self._stderr = open(self.stderr_path, "wb")
        self.process = subprocess.Popen(
            [executable or ARGS.ordisp],
            env=fixture.env,
            cwd=cwd or fixture.root,
            stdout=subprocess.DEVNULL,
            stderr=self._stderr,
        )
        case.addCleanup(self.stop)

    @property
    def pid(self):
        return self.process.pid

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)
        self._stderr.close()

    def stderr(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def message_lines(self):
        """The "Ordisp [style] text" lines written for every message box shown."""
        return [line for line in self.stderr().splitlines() if line.startswith("Ordisp [")]

    def window(self, title, timeout=15.0):
        """The X window with that title, once it is visible and readable."""
        windows = wait_for(f"window '{title}'", lambda: find_windows(self.pid, title), timeout)
        wait_for(f"'{title}' on the accessibility bus", lambda: top_level(self.pid, title), timeout)
        return windows[0]

    def accessible(self, title):
        acc = top_level(self.pid, title)
        if acc is None:
            raise AssertionError(f"no window '{title}' on the accessibility bus")
        return acc

    def gone(self, title):
        return not find_windows(self.pid, title)

    def exit_status(self, timeout=10.0):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"ordisp still runs {timeout} s later") from None

    def message_box(self):
        """The open message box: its window and what it says."""
        box = self.window("Ordisp")
        return box, texts(self.accessible("Ordisp"))


# ---------------------------------------------------------------------------------------------
# Test cases


def screenshot_on_failure(test):
    """Saves the screen when the test fails, while the windows are still there."""

    def wrapper(self, *args, **kwargs):
        try:
            return test(self, *args, **kwargs)
        except BaseException:
            os.makedirs(ARGS.artifacts, exist_ok=True)
            shot = os.path.join(ARGS.artifacts, f"{type(self).__name__}.{test.__name__}.png")
            subprocess.run(["import", "-window", "root", shot], capture_output=True, timeout=30)
            print(f"\nscreenshot: {shot}", file=sys.stderr)
            raise

    wrapper.__name__ = test.__name__
    wrapper.__doc__ = test.__doc__
    return wrapper


class E2ECase(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.fixture = Fixture(self)

    def start_on(self, orders, monitor=1, ordisp_keys=""):
        path = self.fixture.create_database(self.fixture.db_folder, orders)
        self.fixture.write_ini(self.fixture.db_folder, monitor, ordisp_keys)
        self.db = OrderDb(path)
        display = Display(self, self.fixture)
        main = display.window(MAIN_TITLE)
        return display, main

    def main_grid(self, display):
        (grid,) = grids(display.accessible(MAIN_TITLE))
        return grid

    def until_grid(self, display, what, check):
        """Waits until the main grid satisfies check; returns it."""
        return wait_for(what, lambda: (lambda g: g if check(g) else None)(self.main_grid(display)), 5.0)

    def click_main(self, display, main, caption):
        """Clicks a main-window button at its design place, checking first that it is there."""
        x, y, w, _ = window_geometry(main)
        place = main_window_places(w)[caption]
        self.assert_button_at(display.accessible(MAIN_TITLE), caption, x + place[0], y + place[1])
        click_in_window(main, *place)

    def assert_button_at(self, window, caption, x, y):
        button = buttons(window).get(caption)
        self.assertIsNotNone(button, f"no button '{caption}'")
        bx, by, bw, bh = extents(button)
        self.assertTrue(
            bx <= x < bx + bw and by <= y < by + bh,
            f"'{caption}' is at {(bx, by, bw, bh)}, not under the design place {(x, y)}",
        )

    def close_with_x(self, display, main):
        self.click_main(display, main, "X")
        self.assertEqual(display.exit_status(), 0)


class StatusActions(E2ECase):
    @screenshot_on_failure
    def test_in_arbeit_fertig_and_delete(self):
        display, main = self.start_on(
            [
                (1, 4, 1, 1, "Tomatensuppe", 0, today_at(18, 0)),
                (1, 4, 2, 1, "Wiener Schnitzel", 0, today_at(18, 5)),
                (1, 7, 1, 2, "Käsespätzle", 1, today_at(17, 50)),
                (1, 12, 1, 1, "Forelle Müllerin Art", 2, today_at(17, 40)),
                (2, 3, 1, 1, "Rinderroulade", 0, today_at(17, 0)),
            ]
        )
        grid = self.main_grid(display)
        self.assertEqual(grid.headers, ["Zeit", "Tisch", "Gang", "Menge", "Bezeichnung", "Status"])
        self.assertEqual(
            grid.column("Bezeichnung"),
            ["Tomatensuppe", "Wiener Schnitzel", "Käsespätzle", "Forelle Müllerin Art"],
        )
        self.assertEqual(grid.column("Status"), ["NEU", "NEU", "i.A.", "OK"])
        self.assertEqual(grid.column("Zeit")[0], "18:00")
        self.assertEqual(grid.selected, [0])
        window = display.accessible(MAIN_TITLE)
        self.assertEqual(
            [buttons(window).get(c) is not None for c in ("Alle Tische", "4", "7", "12")], [True] * 4
        )
        before = self.db.count()

        # "in Arbeit" on the first line: it moves into the group in work and stays selected.
        self.click_main(display, main, "in Arbeit")
        wait_for("status 1 in the database", lambda: self.db.status("Tomatensuppe") == 1, 5)
        grid = self.until_grid(
            display,
            "Tomatensuppe shown in work",
            lambda g: g.column("Status")[g.row_of("Bezeichnung", "Tomatensuppe")] == "i.A.",
        )
        self.assertEqual(
            grid.column("Bezeichnung"),
            ["Wiener Schnitzel", "Käsespätzle", "Tomatensuppe", "Forelle Müllerin Art"],
        )
        self.assertEqual(grid.selected, [2])

        # "Fertig" on the same line.
        self.click_main(display, main, "Fertig")
        wait_for("status 2 in the database", lambda: self.db.status("Tomatensuppe") == 2, 5)
        grid = self.until_grid(display, "Tomatensuppe shown done", lambda g: g.selected == [3])
        self.assertEqual(grid.column("Bezeichnung")[3], "Tomatensuppe")
        self.assertEqual(grid.column("Status")[3], "OK")

        # A new line cannot be deleted: the warning, then nothing changed and the line still selected.
        click_on_screen(*grid.cell_centre(grid.row_of("Bezeichnung", "Wiener Schnitzel"), "Bezeichnung"))
        self.until_grid(display, "Wiener Schnitzel selected", lambda g: g.selected == [0])
        self.click_main(display, main, "Eintrag löschen")
        box, shown = display.message_box()
        self.assertIn(NOT_DONE, shown)
        self.assertIn(f"Ordisp [48] {NOT_DONE}", display.message_lines())
        press_key(box, "Return")
        wait_for("the warning to close", lambda: display.gone("Ordisp"), 5)
        self.assertEqual(self.db.count(), before)
        self.assertEqual(self.db.status("Wiener Schnitzel"), 0)
        self.assertEqual(self.main_grid(display).selected, [0])

        # A done line is deleted at once; the first line is selected afterwards.
        grid = self.main_grid(display)
        click_on_screen(*grid.cell_centre(grid.row_of("Bezeichnung", "Tomatensuppe"), "Bezeichnung"))
        self.until_grid(
            display,
            "Tomatensuppe selected",
            lambda g: g.selected == [g.row_of("Bezeichnung", "Tomatensuppe")],
        )
        self.click_main(display, main, "Eintrag löschen")
        wait_for("the line deleted", lambda: self.db.status("Tomatensuppe") is None, 5)
        grid = self.until_grid(
            display, "the list without it", lambda g: "Tomatensuppe" not in g.column("Bezeichnung")
        )
        self.assertEqual(grid.selected, [0])
        self.assertEqual(self.db.count(), before - 1)
        self.assertEqual(len(display.message_lines()), 1)

        self.close_with_x(display, main)
        self.assertEqual(self.db.count(), before - 1)


class TableDetail(E2ECase):
    @screenshot_on_failure
    def test_table_filter_and_detail_window(self):
        display, main = self.start_on(
            [
                (1, 4, 1, 1, "Gulaschsuppe", 0, today_at(18, 0)),
                (1, 12, 1, 3, "Forelle Müllerin Art", 0, today_at(18, 1)),
                (1, 12, 1, 1, "Flädlesuppe", 0, today_at(18, 2)),
                (1, 12, 2, 2, "Apfelstrudel mit Vanilleeis", 2, today_at(18, 3)),
                (2, 12, 1, 5, "Rinderroulade", 0, today_at(18, 4)),
            ]
        )
        window = display.accessible(MAIN_TITLE)
        x, y, _, _ = window_geometry(main)
        place = table_button_place(2)
        self.assert_button_at(window, "12", x + place[0], y + place[1])

        # First press: only table 12, by course and status; the button offers the detail.
        click_in_window(main, *place)
        grid = self.until_grid(display, "the list of table 12", lambda g: set(g.column("Tisch")) == {"12"})
        self.assertEqual(grid.column("Gang"), ["1", "1", "2"])
        wait_for("'12 Detail'", lambda: buttons(display.accessible(MAIN_TITLE)).get("12 Detail"), 5)

        # Second press: the detail window of table 12, one grid per course, by guest.
        self.assert_button_at(display.accessible(MAIN_TITLE), "12 Detail", x + place[0], y + place[1])
        click_in_window(main, *place)
        detail = display.window("Details - Tisch 12")
        window = display.accessible("Details - Tisch 12")
        self.assertEqual(len(grids(window)), 9)
        course = [grid_named(window, f"Gang  {k}") for k in range(9)]
        self.assertEqual(course[1].headers, ["G", "Menge", "Bezeichnung", "Status"])
        self.assertEqual(course[1].column("G"), ["1", "3"])
        self.assertEqual(course[1].column("Bezeichnung"), ["Flädlesuppe", "Forelle Müllerin Art"])
        self.assertEqual(course[2].column("Status"), ["OK"])
        self.assertEqual([len(g.rows) for g in course], [0, 2, 1, 0, 0, 0, 0, 0, 0])

        # The whole window on the screen, scaled where its design is wider; every button is
        # clicked where the screen shows it.
        screen_width, screen_height = map(int, run("xdotool", "getdisplaygeometry").split())
        dx, dy, dw, dh = window_geometry(detail)
        self.assertTrue(dx >= 0 and dy >= 0 and dx + dw <= screen_width and dy + dh <= screen_height)

        def press(caption):
            x, y, w, h = extents(buttons(display.accessible("Details - Tisch 12"))[caption])
            self.assertTrue(dx <= x and x + w <= dx + dw and y + h <= dy + dh, f"'{caption}' off the window")
            click_on_screen(x + w // 2, y + h // 2)

        def course_grid(k):
            return grid_named(display.accessible("Details - Tisch 12"), f"Gang  {k}")

        # An action in a course grid: the clicked line of grid 1 goes into work and stays selected.
        g1 = course_grid(1)
        click_on_screen(*g1.cell_centre(g1.row_of("Bezeichnung", "Forelle Müllerin Art"), "Bezeichnung"))
        wait_for("Forelle selected", lambda: course_grid(1).selected == [1], 5)
        press("in Arbeit")
        wait_for("status 1 in the database", lambda: self.db.status("Forelle Müllerin Art") == 1, 5)
        wait_for("'i.A.' in grid 1", lambda: course_grid(1).column("Status") == ["NEU", "i.A."], 5)
        self.assertEqual(course_grid(1).selected, [1])
        press("Fertig")
        wait_for("status 2 in the database", lambda: self.db.status("Forelle Müllerin Art") == 2, 5)
        wait_for("'OK' in grid 1", lambda: course_grid(1).column("Status") == ["NEU", "OK"], 5)

        # "Löschen" on a new line: the warning, nothing deleted.
        click_on_screen(*g1.cell_centre(0, "Bezeichnung"))
        wait_for("Flädlesuppe selected", lambda: course_grid(1).selected == [0], 5)
        press("Löschen")
        box, shown = display.message_box()
        self.assertIn(NOT_DONE, shown)
        self.assertIn(f"Ordisp [48] {NOT_DONE}", display.message_lines())
        press_key(box, "Return")
        wait_for("the warning to close", lambda: display.gone("Ordisp"), 5)
        self.assertEqual(self.db.status("Flädlesuppe"), 0)

        # "Löschen" on the done line of grid 2.
        g2 = course_grid(2)
        click_on_screen(*g2.cell_centre(0, "Bezeichnung"))
        wait_for("Apfelstrudel selected", lambda: course_grid(2).selected == [0], 5)
        press("Löschen")
        wait_for("the line deleted", lambda: self.db.status("Apfelstrudel mit Vanilleeis") is None, 5)
        wait_for("grid 2 empty", lambda: course_grid(2).rows == [], 5)
        self.assertEqual(self.db.status("Rinderroulade"), 0)

        # "Schließen" closes the detail window; the main list follows at its next tick.
        press("Schließen")
        wait_for("the detail window to close", lambda: display.gone("Details - Tisch 12"), 5)
        self.until_grid(
            display,
            "the main list to follow",
            lambda g: g.column("Bezeichnung") == ["Flädlesuppe", "Forelle Müllerin Art"]
            and g.column("Status") == ["NEU", "OK"],
        )
        self.close_with_x(display, main)


class KitchenKeys(E2ECase):
    @screenshot_on_failure
    def test_keys_and_a_cancelled_line(self):
        display, main = self.start_on(
            [
                (1, 4, 1, 1, "Gulaschsuppe", 0, minutes_ago(25)),
                (1, 4, 2, 1, "Zwiebelrostbraten", 0, minutes_ago(12)),
                (1, 7, 1, 1, "Gemischter Salat", 0, minutes_ago(3)),
                (1, 9, 1, 1, "Kaiserschmarrn", 0, minutes_ago(1)),
            ],
            ordisp_keys="GELB-MINUTEN=10\nROT-MINUTEN=20\nNEU-SIGNAL=1\nSTORNO-SEKUNDEN=60\n",
        )
        self.assertEqual(self.main_grid(display).selected, [0])

        def key(name):
            press_key(main, name)

        # Down, then "in Arbeit" and "Fertig" on the second line; the database follows each key.
        key("Down")
        self.until_grid(display, "the second line selected", lambda g: g.selected == [1])
        key("F1")
        wait_for("status 1 by F1", lambda: self.db.status("Zwiebelrostbraten") == 1, 5)
        key("F2")
        wait_for("status 2 by F2", lambda: self.db.status("Zwiebelrostbraten") == 2, 5)

        # F3 on a new line: the same refusal as the button's, answered with Enter.
        key("Home")
        self.until_grid(display, "the first line selected", lambda g: g.selected == [0])
        key("F3")
        box, shown = display.message_box()
        self.assertIn(NOT_DONE, shown)
        press_key(box, "Return")
        wait_for("the warning to close", lambda: display.gone("Ordisp"), 5)
        self.assertEqual(self.db.status("Gulaschsuppe"), 0)

        # F6 chooses the first table, Enter opens its detail window; there 2, F1 and F9.
        key("F6")
        self.until_grid(display, "only table 4", lambda g: set(g.column("Tisch")) == {"4"})
        key("Return")
        detail = display.window("Details - Tisch 4")
        press_key(detail, "1")
        press_key(detail, "F1")
        wait_for("status 1 by F1 in the detail window", lambda: self.db.status("Gulaschsuppe") == 1, 5)
        press_key(detail, "F9")
        wait_for("the detail window closed by F9", lambda: display.gone("Details - Tisch 4"), 5)
        key("F4")
        self.until_grid(display, "all tables again", lambda g: len(g.rows) == 4)

        # A terminal cancels an open line: the strip names it.
        with sqlite3.connect(self.db.path) as db:
            db.execute("DELETE FROM ordisp WHERE txt = 'Kaiserschmarrn'")
        wait_for(
            "the cancellation shown",
            lambda: "Storniert: Tisch 9, Gang 1, 1 Kaiserschmarrn" in texts(display.accessible(MAIN_TITLE)),
            5,
        )
        # Without a sound device: one line on standard error, no message box.
        self.assertEqual(display.message_lines(), [f"Ordisp [48] {NOT_DONE}"])
        sound = [line for line in display.stderr().splitlines() if "Hinweiston" in line]
        self.assertEqual(len(sound), 1, display.stderr())
        self.close_with_x(display, main)


class StartupPaths(E2ECase):
    ORDERS = [(1, 5, 1, 1, "Maultaschen in der Brühe", 0, today_at(12, 0))]

    def beside_executable(self):
        """A copy of the display in its own folder with the database beside it; the configured
        folder does not exist and the working folder holds nothing."""
        bin_folder = self.fixture.path("bin")
        os.makedirs(bin_folder)
        # A copy, not a link: the executable's folder is where the real file lies.
        executable = os.path.join(bin_folder, "ordisp")
        shutil.copy2(ARGS.ordisp, executable)
        path = self.fixture.create_database(bin_folder, self.ORDERS)
        self.fixture.write_ini(self.fixture.path("nowhere"))
        cwd = self.fixture.path("cwd")
        os.makedirs(cwd)
        return bin_folder, executable, cwd, path

    @screenshot_on_failure
    def test_found_beside_executable_yes_stores_folder(self):
        bin_folder, executable, cwd, path = self.beside_executable()
        display = Display(self, self.fixture, executable, cwd)
        box, shown = display.message_box()
        question = (
            "Die Datenbank wurde nicht im konfigurierten Verzeichnis gefunden. Es wird die Datenbank "
            f"{path} verwendet. Soll diese Einstellung dauerhaft gespeichert werden ?"
        )
        self.assertIn(question, shown)
        self.assertEqual(display.message_lines(), [f"Ordisp [52] {question}"])
        self.assertEqual(self.fixture.ini_value("DATENBANK"), self.fixture.path("nowhere"))
        dialog = display.accessible("Ordisp")
        self.assertIn("Nein", buttons(dialog))
        x, y, w, h = extents(buttons(dialog)["Ja"])
        click_on_screen(x + w // 2, y + h // 2)

        main = display.window(MAIN_TITLE)
        self.assertEqual(self.fixture.ini_value("DATENBANK"), bin_folder)
        self.assertEqual(self.main_grid(display).column("Bezeichnung"), ["Maultaschen in der Brühe"])
        self.close_with_x(display, main)

        # The stored folder holds: the next start asks nothing.
        again = Display(self, self.fixture, executable, cwd, name="again")
        main = again.window(MAIN_TITLE)
        self.assertEqual(again.message_lines(), [])
        self.close_with_x(again, main)

    @screenshot_on_failure
    def test_found_beside_executable_escape_uses_it_once(self):
        _, executable, cwd, _ = self.beside_executable()
        display = Display(self, self.fixture, executable, cwd)
        box, _ = display.message_box()
        press_key(box, "Escape")
        main = display.window(MAIN_TITLE)
        self.assertEqual(self.main_grid(display).column("Bezeichnung"), ["Maultaschen in der Brühe"])
        self.assertEqual(self.fixture.ini_value("DATENBANK"), self.fixture.path("nowhere"))
        self.close_with_x(display, main)

        # Asked again at the next start.
        again = Display(self, self.fixture, executable, cwd, name="again")
        box, _ = again.message_box()
        self.assertEqual(len(again.message_lines()), 1)
        self.assertTrue(again.message_lines()[0].startswith("Ordisp [52] "))
        press_key(box, "Escape")
        self.close_with_x(again, again.window(MAIN_TITLE))

    @screenshot_on_failure
    def test_found_nowhere(self):
        bin_folder = self.fixture.path("bin")
        os.makedirs(bin_folder)
        executable = os.path.join(bin_folder, "ordisp")
        shutil.copy2(ARGS.ordisp, executable)
        self.fixture.write_ini(self.fixture.path("nowhere"))
        cwd = self.fixture.path("cwd")
        os.makedirs(cwd)
        display = Display(self, self.fixture, executable, cwd)
        box, shown = display.message_box()
        configured = self.fixture.path("nowhere", "ZALPOS.MDB")
        text = (
            f"Die Datenbank wurde nicht im konfigurierten Verzeichnis {configured} gefunden. "
            f"\\n\\nBitte stellen Sie den Pfad zur Datei ZALPOS.MDB in {self.fixture.ini} ein."
        )
        self.assertEqual(display.message_lines(), [f"Ordisp [48] {text}"])
        self.assertIn(self.fixture.ini, shown)
        press_key(box, "Return")
        self.assertEqual(display.exit_status(), 1)
        self.assertFalse(os.path.exists(configured))
        self.assertEqual(os.listdir(bin_folder), ["ordisp"])


class SecondInstance(E2ECase):
    @screenshot_on_failure
    def test_second_start_raises_the_first(self):
        first, main = self.start_on([(1, 9, 1, 1, "Kaiserschmarrn", 0, today_at(19, 0))])
        # Something else comes to the front over the display.
        cover = subprocess.Popen(
            ["xmessage", "-geometry", "1024x768+0+0", "-title", "Abdeckung", "Abdeckung"]
        )
        self.addCleanup(lambda: (cover.kill(), cover.wait(10)))
        cover_window = int(
            wait_for(
                "the covering window",
                lambda: run("xdotool", "search", "--onlyvisible", "--name", "^Abdeckung$", check=False)
                .split(),
                10,
            )[0]
        )
        order = stacking_order()
        self.assertLess(order.index(main), order.index(cover_window))
        with open(self.fixture.ini, "rb") as f:
            ini_before = f.read()
        db_before = self.db.snapshot()

        second = Display(self, self.fixture, name="second")
        box, shown = second.message_box()
        self.assertIn("Programm läuft bereits.", shown)
        self.assertEqual(second.message_lines(), ["Ordisp [64] Programm läuft bereits."])
        press_key(box, "Return")
        self.assertEqual(second.exit_status(), 0)

        wait_for(
            "the first display above the covering window",
            lambda: (lambda o: o.index(main) > o.index(cover_window))(stacking_order()),
            5,
        )
        self.assertIsNone(first.process.poll())
        with open(self.fixture.ini, "rb") as f:
            self.assertEqual(f.read(), ini_before)
        self.assertEqual(self.db.snapshot(), db_before)
        self.close_with_x(first, main)


# ---------------------------------------------------------------------------------------------


def main():
    global ARGS, pyatspi
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ordisp", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--artifacts", required=True)
    ARGS, rest = parser.parse_known_args()

    if not os.environ.get("DISPLAY"):
        print("skipped: no DISPLAY; scripts/test starts an Xvfb for these tests")
        return SKIP
    tools = ("xdotool", "import", "xmessage", "xwininfo", "dbus-run-session")
    missing = [tool for tool in tools if not shutil.which(tool)]
    if missing:
        print(f"missing programs: {', '.join(missing)} (scripts/install-deps installs them)")
        return 1
    if os.environ.get(PRIVATE_BUS) != "1":
        # A session bus of our own: the accessibility bus it starts serves these tests alone.
        env = dict(os.environ, **{PRIVATE_BUS: "1"})
        return subprocess.call(["dbus-run-session", "--", sys.executable, *sys.argv], env=env)
    try:
        import pyatspi as module
    except ImportError as error:
        print(f"{error}: install python3-pyatspi and at-spi2-core (scripts/install-deps)")
        return 1
    pyatspi = module
    warnings.filterwarnings("ignore", category=DeprecationWarning, module="pyatspi")
    # The accessibility bus must be up before a display starts, or the display never joins it.
    pyatspi.Registry.getDesktop(0)
    global SCALE
    width, height = map(int, run("xdotool", "getdisplaygeometry").split())
    SCALE = min(1.0, width / 1024, height / 768)
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
