"""Whole-program test harness: the real executables, board-sim on a pseudo-terminal, a UDP
listener on 127.0.0.1:3000, and xdotool acting on the windows under an X display as a person
would. Each test gets its own settings and port-link folders."""
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

BUILD = os.environ.get("TREVANE_BUILD_DIR", "")
BIN = os.path.join(BUILD, "bin")
# A board that the default product's image suits.
DEMO_BOARD = ["--chip", "254", "--bios", "10", "--board", "2", "--prep", "0x81"]


def program_path(product="zq710c"):
    return os.path.join(BIN, product, "trevane")


def image_bytes():
    """The default product's flash image as the build carries it (wire form), board 0 slot 6."""
    import re
    path = os.path.join(os.environ["TREVANE_BUILD_DIR"], "products", "zq710c", "product_data.cpp")
    with open(path) as f:
        body = re.search(r"flash_b0_s6\[(\d+)\] = \{(.*?)\};", f.read(), re.S)
    return bytes(int(v, 16) for v in re.findall(r"0x([0-9A-Fa-f]{2})", body.group(2)))


def flash_frames(dump):
    """Address and data (as received, wire form) of every acknowledged flash frame."""
    frames = []
    for line in dump:
        parts = line.split()
        if parts and parts[0] == "flash":
            frames.append((int(parts[1], 16), bytes.fromhex(parts[3]) if len(parts) > 3 else b""))
    return frames


def received_image(dump):
    """What a board received of the default product's image (wire form), but for the reset jump
    at its start, which every session writes over the image's own."""
    image = image_bytes()
    received = bytearray(len(image))
    for address, data in flash_frames(dump):
        if address == 0xA780:
            continue  # the fix frame
        received[address * 2:address * 2 + len(data)] = data
    return bytes(received[8:])


class Sandbox:
    """Settings and port-link folders of one test, removed at the end."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="trevane-e2e.")
        self.config = os.path.join(self.root, "config")
        self.ports = os.path.join(self.root, "ports")
        os.makedirs(os.path.join(self.config, "trevane"))
        os.makedirs(self.ports)
        self.runtime = os.path.join(self.root, "runtime")
        os.makedirs(self.runtime, mode=0o700)

    def env(self, **extra):
        env = dict(os.environ)
        env.update(XDG_CONFIG_HOME=self.config, XDG_CONFIG_DIRS=os.path.join(self.root, "etc"),
                   TREVANE_PORTS=self.ports, XDG_RUNTIME_DIR=self.runtime,
                   QT_QPA_PLATFORM="xcb")
        env.update(extra)
        return env

    def store_port(self, number):
        with open(os.path.join(self.config, "trevane", "trevane.reg"), "w") as f:
            f.write('[Software\\Dravik\\Trevane]\n"com"="%d"\n' % number)

    def stored(self):
        try:
            with open(os.path.join(self.config, "trevane", "trevane.reg")) as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)


class Program:
    """A real windowed executable: the updater, or another of the product's (trevane-station)."""

    def __init__(self, sandbox, args=(), product="zq710c", executable="trevane", **env):
        self.proc = subprocess.Popen([os.path.join(BIN, product, executable), *args],
                                     env=sandbox.env(**env), stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)

    def wait(self, timeout=20):
        out, err = self.proc.communicate(timeout=timeout)
        return self.proc.returncode, out, err

    def running(self):
        return self.proc.poll() is None

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.communicate()


class BoardSim:
    """board-sim on a pseudo-terminal, linked as `port` (for example COM200)."""

    def __init__(self, sandbox, port="COM200", args=()):
        self.dump = os.path.join(sandbox.root, "dump-%s.txt" % port)
        self.proc = subprocess.Popen([os.path.join(BIN, "board-sim"), "--port", port,
                                      "--dump", self.dump, *args], env=sandbox.env(),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("ready"):
            raise RuntimeError("board-sim did not start: " + line + self.proc.stderr.read())

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.communicate(timeout=10)

    def dump_lines(self):
        with open(self.dump) as f:
            return [l.rstrip("\n") for l in f]


class UdpListener:
    """Plays the launching program: listens on 127.0.0.1:3000."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 3000))

    def receive_all(self, wait=1.0):
        got = []
        self.sock.settimeout(wait)
        try:
            while True:
                data, (addr, port) = self.sock.recvfrom(100)
                got.append((data, port))
                self.sock.settimeout(0.3)
        except socket.timeout:
            pass
        return got

    def close(self):
        self.sock.close()


def xdotool(*args, check=True):
    r = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=30)
    if check and r.returncode != 0:
        raise RuntimeError("xdotool %s: %s" % (" ".join(args), r.stderr))
    return r.stdout.strip()


def find_window(name, timeout=30, program=None):
    """The first visible window whose title contains `name`; fails early, with what the program
    said, when `program` has ended instead."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        out = xdotool("search", "--onlyvisible", "--name", name, check=False)
        if out:
            return out.split()[0]
        if program is not None and not program.running():
            code, out, err = program.wait()
            raise AssertionError("the program ended (%s) before showing %r: %s" % (code, name, err))
        time.sleep(0.1)
    raise AssertionError("no window named %r" % name)


def close_window(window):
    """What the title bar's close button does: WM_DELETE_WINDOW to the window."""
    from Xlib import X, display, protocol
    d = display.Display()
    w = d.create_resource_object("window", int(window))
    proto = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    ev = protocol.event.ClientMessage(window=w, client_type=proto,
                                      data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    w.send_event(ev, event_mask=X.NoEventMask)
    # A round trip, not just a flush: when the connection ends right behind the request, the
    # server can drop the request unperformed (about 1 in 50 under Xvfb), and the window never
    # hears of the close. After sync() the server has carried it out.
    d.sync()
    d.close()


def windows_of(pid):
    out = xdotool("search", "--onlyvisible", "--pid", str(pid), check=False)
    return out.split() if out else []


def wait_for_windows(program, timeout=30):
    """The visible windows of a program, once it shows any; fails early, with what the program
    said, when it ends first."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = windows_of(program.proc.pid)
        if found:
            return found
        if not program.running():
            code, _, err = program.wait()
            raise AssertionError("the program ended (%s) showing no window: %s" % (code, err))
        time.sleep(0.1)
    everything = xdotool("search", "--onlyvisible", "--name", ".", check=False)
    raise AssertionError("no window of pid %d; visible windows: %s" % (program.proc.pid, everything))


def press(window, keys):
    xdotool("windowfocus", "--sync", window)
    xdotool("key", keys)


def udp_port_free(port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        s.bind(("0.0.0.0", port))
        return True
    except OSError:
        return False
    finally:
        s.close()


class E2ETest(unittest.TestCase):
    def setUp(self):
        if not os.environ.get("DISPLAY"):
            raise AssertionError("needs an X display: run the tests through scripts/test.sh")
        self.sandbox = Sandbox()
        self.addCleanup(self.sandbox.cleanup)

    def start(self, *args, product="zq710c"):
        p = Program(self.sandbox, args, product)
        self.addCleanup(p.kill)
        return p
