"""trevane-cli, the real executable, against board-sim on pseudo-terminals: several boards at
once, JSON, interruption, usage errors and a production station."""
import json
import os
import signal
import subprocess
import time
import unittest

from harness import BIN, BoardSim, Sandbox

DEMO_BOARD = ["--chip", "254", "--bios", "10", "--board", "2", "--prep", "0x81"]
CLI = os.path.join(BIN, "zq710c", "trevane-cli")


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


class Cli(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox()
        self.addCleanup(self.sandbox.cleanup)

    def sim(self, port, *args):
        sim = BoardSim(self.sandbox, port, args)
        self.addCleanup(sim.stop)
        return sim

    def cli(self, *args, timeout=60):
        return subprocess.run([CLI, *args], env=self.sandbox.env(), capture_output=True,
                              text=True, timeout=timeout)

    def test_three_boards_at_once_one_silent_on_a_middle_frame(self):
        good = [self.sim("COM200", *DEMO_BOARD), self.sim("COM202", *DEMO_BOARD)]
        silent = self.sim("COM201", *DEMO_BOARD, "--silent", "100")
        run = self.cli("--json", "COM200", "COM201", "COM202")
        self.assertEqual(run.returncode, 1, run.stderr)
        events = [json.loads(line) for line in run.stdout.splitlines()]  # every line parses
        last = {}
        for e in events:
            last[e["port"]] = e
        self.assertEqual(sorted(last), ["COM200", "COM201", "COM202"])
        for port, ok, text in (("COM200", True, " Program Ok "), ("COM201", False, " not Response "),
                               ("COM202", True, " Program Ok ")):
            self.assertEqual(last[port]["event"], "result")
            self.assertEqual(last[port]["ok"], ok)
            self.assertEqual(last[port]["text"], text)
        self.assertIn("retry: ", run.stderr)
        self.assertIn(" COM201", run.stderr.split("retry: ")[1])

        # What each good board received is the image, but for the reset jump at its start.
        image = image_bytes()
        for sim in good:
            sim.stop()
            received = bytearray(len(image))
            for address, data in flash_frames(sim.dump_lines()):
                if address == 0xA780:
                    continue  # the fix frame
                received[address * 2:address * 2 + len(data)] = data
            self.assertEqual(bytes(received[8:]), image[8:])
        silent.stop()
        self.assertEqual(len(flash_frames(silent.dump_lines())), 100)

    def test_ctrl_c_during_a_write_aborts_and_frees_the_port(self):
        sim = self.sim("COM200", *DEMO_BOARD, "--baud", "115200")
        proc = subprocess.Popen([CLI, "COM200"], env=self.sandbox.env(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        # Writing takes about six seconds at this rate: stop it in the middle.
        deadline = time.time() + 20
        out = ""
        while "Programming" not in out and time.time() < deadline:
            out += proc.stdout.readline()
        time.sleep(1.0)
        proc.send_signal(signal.SIGINT)
        rest, err = proc.communicate(timeout=20)
        self.assertEqual(proc.returncode, 130, err)
        self.assertIn("COM200: User Abort !!", out + rest)
        # The port is free: the next run opens it and programs the board. (The board first
        # finishes the frame it was given and answers it; that late answer is not for the next
        # run's search.)
        time.sleep(0.5)
        again = self.cli("COM200")
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        self.assertIn("COM200: Program Ok", again.stdout)
        sim.stop()

    def test_an_adapter_pulled_out_mid_update_ends_it_with_its_cause(self):
        sim = self.sim("COM200", *DEMO_BOARD, "--hangup-after", "100")
        run = self.cli("--json", "COM200")
        self.assertEqual(run.returncode, 1, run.stderr)
        result = [json.loads(line) for line in run.stdout.splitlines()][-1]
        self.assertEqual((result["event"], result["text"], result["cause"]),
                         ("result", " not Response ", "port-gone"))
        self.assertEqual(result["percent"], 39)  # 100 of 256 frames
        sim.stop()
        self.assertIn("hangup", sim.dump_lines())

    def test_doctor_checks_a_port_with_search_bytes_only(self):
        sim = self.sim("COM200", *DEMO_BOARD)
        run = self.cli("--doctor", "--json", "COM200", "COM201")
        self.assertEqual(run.returncode, 1, run.stderr)  # COM201 has no device
        checks = {(c["port"], c["check"]): c for c in map(json.loads, run.stdout.splitlines())}
        for code in ("device", "access", "free", "modemmanager", "brltty", "latency", "board"):
            self.assertEqual(checks[("COM200", code)]["status"], "ok", checks[("COM200", code)])
        self.assertIn("PIC24HJ64 (chip 254), board 2", checks[("COM200", "board")]["found"])
        self.assertEqual(checks[("COM201", "device")]["status"], "problem")
        self.assertNotIn(("COM201", "board"), checks)
        sim.stop()
        self.assertEqual(sim.dump_lines()[-1],
                         "counts searches=1 answered=1 progmode=0 frames=0 refused=0 badsum=0 "
                         "silent=0")

    def test_usage_error_sends_nothing(self):
        sim = self.sim("COM200", *DEMO_BOARD)
        for args in (["COM200", "com200"], ["COM200", "--bogus"], ["COM200", "COM0"]):
            run = self.cli(*args)
            self.assertEqual(run.returncode, 2, args)
            self.assertIn("usage: trevane-cli", run.stderr)
            self.assertEqual(run.stdout, "")
        sim.stop()
        self.assertEqual(sim.dump_lines(), [
            "counts searches=0 answered=0 progmode=0 frames=0 refused=0 badsum=0 silent=0"])

    def test_repeat_programs_two_boards_in_a_row(self):
        first = BoardSim(self.sandbox, "COM200", DEMO_BOARD)
        proc = subprocess.Popen([CLI, "--repeat", "--json", "COM200"], env=self.sandbox.env(),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(proc.kill)

        def next_result():
            deadline = time.time() + 30
            while time.time() < deadline:
                line = proc.stdout.readline()
                if not line:
                    break
                event = json.loads(line)
                if event["event"] == "result":
                    return event
            self.fail("no result")

        one = next_result()
        self.assertEqual((one["board"], one["ok"]), (1, True))
        time.sleep(1.5)  # the board stays a while: it is not programmed again
        first.stop()
        self.assertEqual(sum(1 for l in first.dump_lines() if l.startswith("flash ")), 256)
        second = BoardSim(self.sandbox, "COM200", DEMO_BOARD)  # the next board, same port
        two = next_result()
        self.assertEqual((two["board"], two["ok"], two["programmed"]), (2, True, 2))
        proc.send_signal(signal.SIGINT)
        _, err = proc.communicate(timeout=20)
        self.assertEqual(proc.returncode, 0, err)  # the last board of the port passed
        second.stop()


if __name__ == "__main__":
    unittest.main()
