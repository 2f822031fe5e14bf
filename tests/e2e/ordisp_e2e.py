#!/usr/bin/env python3
# The built display on a real X server: a start, a press in the main window and in the detail window,
# the message box of a second start, and "X". Clicks go where the window design puts the buttons,
# scaled as the display scales them on a screen smaller than 1024 x 768; the database file shows what
# each press did.
#
# ordisp_e2e.py ORDISP ORDISP-DB ARTIFACTS [unittest arguments]. Needs DISPLAY (96 dpi),
# xdotool, xmessage, xwininfo and ImageMagick's import; without DISPLAY it is skipped (exit status 77).
# A failure leaves a screenshot in ARTIFACTS.
import os, re, sqlite3, subprocess, sys, tempfile, time, unittest


def xdo(*args):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=30).stdout


def click(window, x, y):
    xdo("mousemove", "--window", window, round(x), round(y), "click", 1)


def geometry(window):
    shell = dict(line.split("=") for line in xdo("getwindowgeometry", "--shell", window).split())
    return [int(shell[key]) for key in ("X", "Y", "WIDTH", "HEIGHT")]


def stacking():
    # Top-level windows from the bottom up.
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True).stdout
    return [int(w, 16) for w in re.findall(r"^\s+(0x[0-9a-f]+) ", tree, re.M)][::-1]


def wait_for(what, probe, timeout=15):
    deadline = time.monotonic() + timeout
    while not (found := probe()):
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.1)
    return found


class Display(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory(prefix="ordisp-e2e-")
        self.addCleanup(folder.cleanup)
        self.root = folder.name
        os.makedirs(f"{self.root}/zalpos")
        with open(f"{self.root}/zalpos/ZALPOS.INI", "w", encoding="utf-8") as ini:
            ini.write(f"[ORDISP]\nORDISPNR=1\nGELB-MINUTEN=10\nROT-MINUTEN=20\nNEU-SIGNAL=1\nSTORNO-SEKUNDEN=60\n"
                      f"[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK={self.root}\n")
        # The single-instance lock and socket live here too, apart from any other display.
        self.env = dict(os.environ, XDG_CONFIG_HOME=self.root, XDG_RUNTIME_DIR=self.root, TMPDIR=self.root,
                        QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8", ORDISP_REPORT_SHOWN="1")
        subprocess.run([TOOL, "init"], env=self.env, check=True, capture_output=True, timeout=30)
        self.db = f"{self.root}/ZALPOS.MDB"
        with sqlite3.connect(self.db) as db:
            db.executemany("INSERT INTO ordisp (monitornr, tisch, gang, gast, menge, txt, status, insdate) "
                           "VALUES (1, ?, ?, 1, 1, ?, 0, ?)",
                           [(4, 1, "Tomatensuppe", "2024-05-10 18:00:00"), (12, 0, "Forelle", "2024-05-10 18:05:00")])

    def start(self, name):
        stderr = open(f"{self.root}/{name}.stderr", "w", encoding="utf-8")
        process = subprocess.Popen([ORDISP], env=self.env, cwd=self.root, stdout=subprocess.DEVNULL,
                                   stderr=stderr)
        self.addCleanup(lambda: (process.kill(), process.wait(10), stderr.close()))
        return process

    def stderr(self, name, starts=("Ordisp [", "shown ")):
        # By default one line for every message box, and "shown" once the main window is drawn.
        with open(f"{self.root}/{name}.stderr", "a+", encoding="utf-8") as f:
            f.seek(0)
            return [line for line in f.read().splitlines() if line.startswith(starts)]

    def window(self, process, title):
        search = ["search", "--all", "--onlyvisible", "--pid", process.pid, "--name", f"^{re.escape(title)}$"]
        return int(wait_for(title, lambda: xdo(*search).split())[0])

    def status(self, text):
        db = sqlite3.connect(f"file:{self.db}?mode=ro", uri=True)
        return db.execute("SELECT status FROM ordisp WHERE txt = ?", (text,)).fetchone()[0]

    def test_presses_and_a_second_start(self):
        # Another program's window, under the display at first. Its connection also keeps the X server
        # from resetting while the display connects, as it does when its last client leaves; a start
        # during such a reset is refused and tried again.
        covering = True
        while covering is True:
            cover = subprocess.Popen(["xmessage", "-geometry", "2000x2000+0+0", "-title", "Abdeckung", "Abdeckung"],
                                     stderr=subprocess.DEVNULL)
            self.addCleanup(lambda cover=cover: (cover.kill(), cover.wait(10)))
            covering = wait_for("the cover", lambda: cover.poll() is not None
                                or xdo("search", "--onlyvisible", "--name", "^Abdeckung$").split())
        screen = list(map(int, xdo("getdisplaygeometry").split()))
        try:
            self.presses_and_a_second_start(int(covering[0]), *screen)
        except BaseException:
            os.makedirs(ARTIFACTS, exist_ok=True)
            shot = f"{ARTIFACTS}/e2e-{screen[0]}x{screen[1]}.png"
            subprocess.run(["import", "-window", "root", shot], capture_output=True, timeout=30)
            print(f"\nscreenshot: {shot}", *self.stderr("ordisp", ""), *self.stderr("second", ""), sep="\n",
                  file=sys.stderr)
            raise

    def presses_and_a_second_start(self, cover, screen_width, screen_height):
        display = self.start("ordisp")
        main = self.window(display, "Torvane-Gastronomie Küchenmonitor 1.3")
        wait_for("the main window drawn", lambda: self.stderr("ordisp"))
        # Pixels per twip of the design; the action buttons keep to the right edge.
        s = min(1, screen_width / 1024, screen_height / 768) / 15
        width = geometry(main)[2]
        click(main, width - 1337 * s, 2947 * s)
        wait_for("'in Arbeit' on the first line", lambda: self.status("Tomatensuppe") == 1)

        # Table 12's button (the second after "Alle Tische"): its lines, then its detail window.
        click(main, 2625 * s, 480 * s)
        time.sleep(1)  # no double click
        click(main, 2625 * s, 480 * s)
        detail = self.window(display, "Details - Tisch 12")
        x, y, w, h = geometry(detail)
        self.assertTrue(x >= 0 and y >= 0 and x + w <= screen_width and y + h <= screen_height)
        # Scaled to fit the screen; "in Arbeit" acts on the first line of course 0, F9 closes it.
        click(detail, 18727 * w / 19905, 1747 * h / 9615)
        wait_for("'in Arbeit' in the detail window", lambda: self.status("Forelle") == 1)
        xdo("windowfocus", "--sync", detail)
        xdo("key", "F9")
        wait_for("the detail window closed", lambda: not xdo("search", "--onlyvisible", "--name", "^Details"))

        # With the other window on top, a second start says in a message box that the display runs,
        # ends, and brings the display to the front.
        xdo("windowraise", cover)
        wait_for("the cover on top", lambda: stacking().index(main) < stacking().index(cover), 5)
        second = self.start("second")
        xdo("windowfocus", "--sync", self.window(second, "Ordisp"))
        xdo("key", "Return")
        self.assertEqual(second.wait(10), 0)
        self.assertEqual(self.stderr("second"), ["Ordisp [64] Programm läuft bereits."])
        wait_for("the display in front", lambda: stacking().index(main) > stacking().index(cover), 5)

        click(main, width - 487 * s, 427 * s)
        self.assertEqual(display.wait(10), 0)
        self.assertEqual(self.stderr("ordisp")[1:], [])


if __name__ == "__main__":
    ORDISP, TOOL, ARTIFACTS = sys.argv[1:4]
    if not os.environ.get("DISPLAY"):
        print("skipped: no DISPLAY; scripts/with-services starts an Xvfb for these tests")
        sys.exit(77)
    sys.exit(not unittest.main(argv=[sys.argv[0], *sys.argv[4:]], exit=False, verbosity=2).result.wasSuccessful())
