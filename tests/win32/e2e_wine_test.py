"""The Windows program end to end under wine: trevane.exe on a virtual display, driven with
xdotool as a person would, programs the board that board-sim emulates on a pseudo-terminal
mapped as COM9, while a UDP listener on 127.0.0.1:3000 takes the result datagrams.

Environment: TREVANE_BUILD_DIR (the Windows build), TREVANE_BOARD_SIM (board-sim of a Linux
build), TREVANE_EMULATOR (runs a Windows program), WINEPREFIX (a prefix of its own: mapping a
port restarts its wine server), DISPLAY, and optionally TREVANE_SCREENSHOT_DIR. The prefix has
one persistent wine server at a time while the tests run (see wine_prefix.py).
"""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

import wine_prefix

BUILD = os.environ.get("TREVANE_BUILD_DIR", "")
BOARD_SIM = os.environ.get("TREVANE_BOARD_SIM", "")
EMULATOR = os.environ.get("TREVANE_EMULATOR", "wine")
SHOTS = os.environ.get("TREVANE_SCREENSHOT_DIR", os.path.join(BUILD, "screenshots"))
COM = 9
# The demo board that the demo image suits (PIC24HJ64, BIOS 10, board 2, preparation 0x81).
DEMO_BOARD = ["--chip", "254", "--bios", "10", "--board", "2", "--prep", "0x81",
              "--description", "Trevane demo board"]
UPDATER_CLIENT = (511, 265)
UPGRADE_CLIENT = (606, 181)


def wine_env():
    return wine_prefix.environment()


def wine(*args):
    return wine_prefix.wine(wine_env(), *args)


def xdotool(*args, seconds=30):
    """xdotool, never left waiting: a call still running after `seconds` (a --sync for a focus or
    a move that never comes, as happens on a loaded machine) counts as failed."""
    try:
        return subprocess.run(["xdotool", *args], capture_output=True, text=True, check=False,
                              timeout=seconds)
    except subprocess.TimeoutExpired:
        return subprocess.CompletedProcess(["xdotool", *args], 1, "", "timed out")


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


def focus(window):
    """Gives `window` the keyboard focus, asking again until wine has given it."""
    wait_for(lambda: xdotool("windowfocus", "--sync", window, seconds=5).returncode == 0 and
             xdotool("getwindowfocus").stdout.strip() == window, 30, "the focus on " + window)


def image_of(product):
    """The flash image bytes in wire form, as the build carries them for board 0, slot 6."""
    with open(os.path.join(BUILD, "products", product, "product_data.cpp")) as f:
        source = f.read()
    body = re.search(r"flash_b0_s6\[(\d+)\] = \{(.*?)\};", source, re.S)
    data = bytes(int(v, 16) for v in re.findall(r"0x([0-9A-Fa-f]{2})", body.group(2)))
    assert len(data) == int(body.group(1))
    return data


class BoardSim:
    def __init__(self, folder, extra=(), com=COM):
        self.ports = os.path.join(folder, "ports")
        os.makedirs(self.ports)
        self.dump = os.path.join(folder, "dump.txt")
        self.proc = subprocess.Popen(
            [BOARD_SIM, "--port", "COM%d" % com, "--dump", self.dump, *DEMO_BOARD, *extra],
            env=dict(os.environ, TREVANE_PORTS=self.ports), stdout=subprocess.PIPE, text=True)
        ready = self.proc.stdout.readline().split()
        assert ready[:2] == ["ready", "COM%d" % com], ready
        self.pty = ready[2]

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(timeout=20)
        self.proc.stdout.close()
        with open(self.dump) as f:
            return f.read().splitlines()


class Listener:
    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 3000))

    def receive(self, seconds):
        self.sock.settimeout(seconds)
        try:
            return self.sock.recvfrom(100)
        except socket.timeout:
            return None, None

    def close(self):
        self.sock.close()


class WindowChecks:
    """What the tests of the windowed programs look at: a window's place and picture, and what
    a board received."""

    def geometry(self, window):
        out = xdotool("getwindowgeometry", "--shell", window).stdout
        return {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", out)}

    def screenshot(self, window, name):
        if not shutil.which("import"):  # ImageMagick: pictures are a by-product only
            return
        os.makedirs(SHOTS, exist_ok=True)
        g = self.geometry(window)
        subprocess.run(["import", "-window", "root", "-crop",
                        "%dx%d+%d+%d" % (g["WIDTH"], g["HEIGHT"], g["X"], g["Y"]),
                        os.path.join(SHOTS, name)], capture_output=True, check=False)

    def check_dump(self, lines, product):
        counts = dict(re.findall(r"(\w+)=(\d+)", lines[-1]))
        self.assertEqual(counts["progmode"], "1")
        self.assertEqual(counts["badsum"], "0")
        image = image_of(product)
        written = bytearray(len(image))
        covered = [False] * len(image)
        for line in lines:
            parts = line.split()
            if parts[0] != "flash":
                continue
            offset = int(parts[1], 16) * 2  # PIC24: two image bytes per address unit
            data = bytes.fromhex(parts[3])
            for i, byte in enumerate(data):
                if offset + i < len(image):
                    written[offset + i] = byte
                    covered[offset + i] = True
        # The first 8 bytes carry the reset jump that every session writes into the image.
        self.assertTrue(all(covered[8:]), "image bytes never sent")
        self.assertEqual(bytes(written[8:]), image[8:])


@unittest.skipUnless(BOARD_SIM and os.path.exists(BOARD_SIM), "needs board-sim of a Linux build")
class WindowsProgram(WindowChecks, unittest.TestCase):
    SIM_ARGS = ()  # more board-sim options

    @classmethod
    def setUpClass(cls):
        wine_prefix.restart_server(wine_env())

    @classmethod
    def tearDownClass(cls):
        wine_prefix.stop_server(wine_env())

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="trevane-wine-e2e.")
        self.sim = BoardSim(self.folder, self.SIM_ARGS)
        wine("reg", "add", r"HKLM\Software\Dravik\Trevane", "/v", "com", "/d", str(COM - 1), "/f")
        # A new server, too: nothing of the last test's programs is left.
        wine_prefix.map_port(wine_env(), COM, self.sim.pty)
        self.host = Listener()
        self.program = None

    def tearDown(self):
        if self.program:
            if self.program.poll() is None:
                self.program.kill()
                self.program.wait()
            if self.program.stderr:
                self.program.stderr.close()
        if self.sim.proc.poll() is None:
            self.sim.stop()
        self.host.close()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, product, title):
        exe = os.path.join(BUILD, "bin", product, "trevane.exe")
        self.program = subprocess.Popen([EMULATOR, exe, "\\P"], env=wine_env(),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        window = wait_for(
            lambda: xdotool("search", "--onlyvisible", "--name", "^" + re.escape(title)).stdout.split(),
            60, "the window " + title)[0]
        # Keys reach the window once wine has given it the focus: wait for that.
        focus(window)
        return window

    def close(self, window):
        focus(window)
        xdotool("key", "alt+F4")
        self.assertEqual(self.program.wait(timeout=30), 0)
        self.assertNotIn("trevane:", self.program.stderr.read())  # no message box was shown

    def stored_port(self):
        out = wine("reg", "query", r"HKLM\Software\Dravik\Trevane", "/v", "com").stdout
        return re.search(r"REG_SZ\s+(\S+)", out).group(1)

    def test_updater_programs_the_board_and_reports_success(self):
        window = self.start("zq710c", "Updater 2.7")
        self.screenshot(window, "windows-updater.png")
        xdotool("key", "alt+u")
        data, source = self.host.receive(180)
        self.screenshot(window, "windows-updater-done.png")
        self.assertEqual(data, bytes([0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 1]))
        self.assertEqual(source[1], 3004)
        self.close(window)
        self.assertEqual(self.stored_port(), str(COM - 1))
        self.check_dump(self.sim.stop(), "zq710c")

    def test_port_dialog_and_version_dialog_open_from_the_updater_window(self):
        window = self.start("zq710c", "Updater 2.7")
        xdotool("key", "alt+c")  # "&Change port"
        setup = wait_for(lambda: xdotool("search", "--onlyvisible", "--name", "^Setup$").stdout.split(),
                         30, "the Setup dialog")[0]
        time.sleep(1)  # let it paint before the picture is taken
        self.screenshot(setup, "windows-setup.png")
        focus(setup)
        xdotool("key", "alt+c")  # "&Cancel"
        wait_for(lambda: not xdotool("search", "--onlyvisible", "--name", "^Setup$").stdout.split(),
                 30, "the Setup dialog to close")

        # A double click on the identity label (10, 51, 493 x 45 in the client area).
        g = self.geometry(window)
        menu = g["HEIGHT"] - UPDATER_CLIENT[1]
        xdotool("mousemove", "--sync", str(g["X"] + 250), str(g["Y"] + menu + 73))
        xdotool("click", "--repeat", "2", "--delay", "80", "1")
        version = wait_for(
            lambda: xdotool("search", "--onlyvisible", "--name", r"^ZQ710c .*\[ ").stdout.split(),
            30, "the Version dialog")[0]
        time.sleep(1)
        self.screenshot(version, "windows-version.png")
        focus(version)
        xdotool("key", "alt+o")  # "&Ok"
        wait_for(lambda: not xdotool("search", "--onlyvisible", "--name", r"^ZQ710c .*\[ ").stdout.split(),
                 30, "the Version dialog to close")
        self.close(window)

    def test_a_second_copy_only_says_already_in_progress(self):
        title = "^" + re.escape("Updater 2.7")
        first = self.start("zq710c", "Updater 2.7")
        exe = os.path.join(BUILD, "bin", "zq710c", "trevane.exe")
        second = subprocess.Popen([EMULATOR, exe], env=wine_env(), stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, text=True)
        try:
            # Its message box carries the Updater title as caption.
            box = wait_for(lambda: [w for w in xdotool("search", "--onlyvisible", "--name", title)
                                    .stdout.split() if w != first], 60, "the box")[0]
            focus(box)
            xdotool("key", "Return")
            self.assertEqual(second.wait(timeout=30), 0)
            self.assertIn("trevane: Already in progress", second.stderr.read())
        finally:
            if second.poll() is None:
                second.kill()
                second.wait()
            second.stderr.close()
        self.assertIsNone(self.program.poll())  # the first copy runs on
        self.close(first)

    def test_upgrade_window_programs_the_board_with_start(self):
        window = self.start("hbd200", "Upgrade 1.0")
        g = self.geometry(window)
        menu = g["HEIGHT"] - UPGRADE_CLIENT[1]
        # START: 249 x 65 at 175, 25 inside the frame at 8, 8.
        xdotool("mousemove", "--sync", str(g["X"] + 8 + 175 + 124), str(g["Y"] + menu + 8 + 25 + 32))
        xdotool("click", "1")
        data, source = self.host.receive(180)
        self.screenshot(window, "windows-upgrade-done.png")
        # Success is reported here too, so that a launching program never waits in vain.
        self.assertEqual(data, bytes([0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 1]))
        self.assertEqual(source[1], 3004)
        self.close(window)
        self.check_dump(self.sim.stop(), "hbd200")

    def test_cli_programs_the_board_on_the_console(self):
        exe = os.path.join(BUILD, "bin", "zq710c", "trevane-cli.exe")
        run = subprocess.run([EMULATOR, exe, "--json", "COM%d" % COM], env=wine_env(),
                             capture_output=True, text=True, timeout=240)
        self.assertEqual(run.returncode, 0, run.stderr[-2000:])
        events = [json.loads(line) for line in run.stdout.splitlines() if line.startswith("{")]
        self.assertEqual([e["event"] for e in events[-2:]], ["result", "summary"])
        self.assertEqual(events[-2]["text"], " Program Ok ")
        found = [e for e in events if e["event"] == "found"]
        self.assertEqual((found[0]["chip"], found[0]["index"]), (254, 2))
        self.check_dump(self.sim.stop(), "zq710c")

    def test_cli_watch_reopens_a_port_whose_line_hung_up_for_the_next_board(self):
        # COM9 stays listed throughout: the station itself must see that its line has gone.
        exe = os.path.join(BUILD, "bin", "zq710c", "trevane-cli.exe")
        out = os.path.join(self.folder, "out.jsonl")
        # Files, not pipes: after the hang-up wine may write a great deal to standard error.
        with open(out, "w") as stdout, open(os.path.join(self.folder, "err.txt"), "w") as stderr:
            self.program = subprocess.Popen([EMULATOR, exe, "--watch", "--json", "COM%d" % COM],
                                            env=wine_env(), stdout=stdout, stderr=stderr)

        def results():
            with open(out) as f:
                lines = [l for l in f if l.endswith("\n") and l.startswith("{")]
            return [e for e in map(json.loads, lines) if e["event"] == "result"]

        first = wait_for(results, 240, "the first board's result")
        self.assertTrue(first[0]["ok"], first)
        self.sim.stop()  # the line hangs up
        self.sim = BoardSim(os.path.join(self.folder, "next"), ())
        wine_prefix.repoint_port(wine_env(), COM, self.sim.pty)
        second = wait_for(lambda: results()[1:], 30, "the next board's result")
        self.assertTrue(second[0]["ok"], second)


@unittest.skipUnless(BOARD_SIM and os.path.exists(BOARD_SIM), "needs board-sim of a Linux build")
class WindowsStation(WindowChecks, unittest.TestCase):
    """trevane-station.exe with two ports: a board on each at once, an adapter pulled out in the
    middle of its board, and a new board plugged in on that port later."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="trevane-wine-station.")
        self.sims = {}
        self.program = None
        for com, extra in ((COM, ()), (COM + 1, ("--hangup-after", "100"))):
            self.sims[com] = BoardSim(os.path.join(self.folder, "COM%d" % com), extra, com)
            wine("reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM%d" % com, "/d",
                 self.sims[com].pty, "/f")
        wine_prefix.restart_server(wine_env())  # the mapping takes effect with a new server
        self.journal = os.path.join(self.folder, "journal.jsonl")

    def tearDown(self):
        if self.program and self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        for sim in self.sims.values():
            if sim.proc.poll() is None:
                sim.stop()
        wine_prefix.stop_server(wine_env())
        shutil.rmtree(self.folder, ignore_errors=True)

    def records(self):
        try:
            with open(self.journal) as f:
                return [json.loads(line) for line in f if line.endswith("\n")]
        except FileNotFoundError:
            return []

    def test_station_window_two_ports_a_pulled_adapter_and_a_board_plugged_in_later(self):
        exe = os.path.join(BUILD, "bin", "zq710c", "trevane-station.exe")
        journal = "Z:" + self.journal.replace("/", "\\")
        # Files, not pipes: after a hang-up wine may write a great deal to standard error.
        with open(os.path.join(self.folder, "err.txt"), "w") as err:
            self.program = subprocess.Popen(
                [EMULATOR, exe, "--journal", journal, "--operator", "wine", "COM%d" % COM,
                 "COM%d" % (COM + 1)], env=wine_env(), stdout=subprocess.DEVNULL, stderr=err)
        window = wait_for(lambda: xdotool("search", "--onlyvisible", "--name",
                                          "^Trevane Station$").stdout.split(),
                          60, "the station window")[0]
        wait_for(lambda: len(self.records()) >= 2, 240, "two records")
        by_port = {r["port"]: r["result"] for r in self.records()}
        self.assertEqual(by_port["COM%d" % COM]["text"], " Program Ok ")
        self.assertEqual(by_port["COM%d" % (COM + 1)]["cause"], "port-gone")
        # The adapter plugged in again, with a new board, on the same port.
        pulled = self.sims[COM + 1]
        pulled.stop()
        self.sims["later"] = BoardSim(os.path.join(self.folder, "later"), (), COM + 1)
        wine_prefix.repoint_port(wine_env(), COM + 1, self.sims["later"].pty)
        third = wait_for(lambda: self.records()[2:], 120, "the later board's record")
        self.assertEqual((third[0]["port"], third[0]["result"]["text"], third[0]["operator"]),
                         ("COM%d" % (COM + 1), " Program Ok ", "wine"))
        time.sleep(1)  # let it paint before the picture is taken
        self.screenshot(window, "windows-station.png")
        focus(window)
        xdotool("key", "alt+F4")  # no board is being written: no question
        self.assertEqual(self.program.wait(timeout=60), 0)
        self.assertEqual(len(self.records()), 3, "one line per board")
        for sim in (self.sims[COM], self.sims["later"]):
            self.check_dump(sim.stop(), "zq710c")


if __name__ == "__main__":
    unittest.main()
