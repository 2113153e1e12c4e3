"""trevane-cli, the real executable, against board-sim on pseudo-terminals: several boards at
once, JSON, interruption, usage errors and a production station."""
import json
import os
import signal
import subprocess
import time
import unittest

from harness import (BIN, DEMO_BOARD, BoardSim, Sandbox, flash_frames, image_bytes,
                     received_image)

CLI = os.path.join(BIN, "zq710c", "trevane-cli")
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEMO_HEX = os.path.join(SOURCE, "firmware", "images", "zq710c", "zq710c_demo.hex")
SEARCH_ONLY = "counts searches=1 answered=1 progmode=0 frames=0 refused=0 badsum=0 silent=0"


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
            if e["port"]:  # the summary belongs to no port
                last[e["port"]] = e
        self.assertEqual(sorted(last), ["COM200", "COM201", "COM202"])
        for port, ok, text in (("COM200", True, " Program Ok "), ("COM201", False, " not Response "),
                               ("COM202", True, " Program Ok ")):
            self.assertEqual(last[port]["event"], "result")
            self.assertEqual(last[port]["ok"], ok)
            self.assertEqual(last[port]["text"], text)
        self.assertIn("retry: ", run.stderr)
        self.assertIn(" COM201", run.stderr.split("retry: ")[1])

        for sim in good:
            sim.stop()
            self.assertEqual(received_image(sim.dump_lines()), image_bytes()[8:])
        silent.stop()
        self.assertEqual(len(flash_frames(silent.dump_lines())), 100)

    def test_ctrl_c_during_a_write_aborts_and_frees_the_port(self):
        sim = self.sim("COM200", *DEMO_BOARD, "--baud", "115200")
        journal = os.path.join(self.sandbox.root, "journal.jsonl")
        # Ctrl+C, and a terminal that closes (SIGHUP), end the same way.
        for stop in (signal.SIGINT, signal.SIGHUP):
            proc = subprocess.Popen([CLI, "--journal", journal, "COM200"], env=self.sandbox.env(),
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            # Writing takes about six seconds at this rate: stop it in the middle.
            deadline = time.time() + 20
            out = ""
            while "Programming" not in out and time.time() < deadline:
                out += proc.stdout.readline()
            time.sleep(1.0)
            proc.send_signal(stop)
            rest, err = proc.communicate(timeout=20)
            self.assertEqual(proc.returncode, 130, err)
            self.assertIn("COM200: User Abort !!", out + rest)
            time.sleep(0.5)
        with open(journal) as f:
            self.assertEqual([json.loads(l)["result"]["text"] for l in f], [" User Abort !! "] * 2)
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
        result = [e for e in map(json.loads, run.stdout.splitlines()) if e["event"] == "result"][0]
        self.assertEqual((result["event"], result["text"], result["cause"]),
                         ("result", " not Response ", "port-gone"))
        self.assertEqual(result["percent"], 39)  # 100 of 256 frames
        sim.stop()
        self.assertIn("hangup", sim.dump_lines())

    def test_an_adapter_that_stops_taking_data_counts_as_gone(self):
        sim = self.sim("COM200", *DEMO_BOARD, "--stall-after", "20")
        journal = os.path.join(self.sandbox.root, "journal.jsonl")
        started = time.time()
        run = self.cli("--json", "--journal", journal, "COM200", timeout=30)
        self.assertLess(time.time() - started, 15)  # the write's time-out, not for ever
        self.assertEqual(run.returncode, 1, run.stderr)
        result = [e for e in map(json.loads, run.stdout.splitlines()) if e["event"] == "result"][0]
        self.assertEqual((result["text"], result["cause"]), (" not Response ", "port-gone"))
        with open(journal) as f:
            self.assertEqual(len(f.readlines()), 1)
        sim.stop()
        self.assertIn("stall", sim.dump_lines())

    def test_a_failed_record_stops_every_stations_search(self):
        # COM201's board answers three seconds late: by then the journal has failed on COM200's
        # record, and no frame may reach COM201's board.
        for mode in ("--watch", "--repeat"):
            first = self.sim("COM200", *DEMO_BOARD)
            late = self.sim("COM201", *DEMO_BOARD, "--answer-after", "30")
            run = self.cli(mode, "--journal", "/dev/full", "COM200", "COM201", timeout=60)
            self.assertEqual(run.returncode, 1, mode + run.stderr)
            self.assertIn("no space left on device", run.stderr.lower())
            self.assertIn("/dev/full is a device, not a file on a disk", run.stderr)
            self.assertIn("0 programmed, 1 failed (1 programmed, not recorded)", run.stdout)
            first.stop()
            late.stop()
            counts = late.dump_lines()[-1]
            self.assertIn(" progmode=0 frames=0 ", counts, mode)

    def test_a_closed_output_ends_the_run_as_ctrl_c_with_every_record(self):
        sim = self.sim("COM200", *DEMO_BOARD, "--baud", "115200")
        journal = os.path.join(self.sandbox.root, "journal.jsonl")
        # As `trevane-cli --repeat --json ... | head -n 8`.
        proc = subprocess.Popen([CLI, "--repeat", "--json", "--journal", journal, "COM200"],
                                env=self.sandbox.env(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        for _ in range(8):
            proc.stdout.readline()
        time.sleep(1.0)  # into the frames
        proc.stdout.close()
        proc.wait(timeout=20)
        err = proc.stderr.read()
        proc.stderr.close()
        self.assertEqual(proc.returncode, 130, err)
        with open(journal) as f:
            records = [json.loads(l) for l in f]
        self.assertEqual([r["result"]["text"] for r in records], [" User Abort !! "])
        sim.stop()
        frames = sum(1 for l in sim.dump_lines() if l.startswith("flash "))
        self.assertGreater(frames, 0)
        self.assertLess(frames, 256)

    def test_reply_times_on_a_modelled_line_are_the_boards_own(self):
        # A pseudo-terminal says "sent" at once; board-sim's line takes the frame's 25 ms. Times
        # counted from the write rather than from the frame's end would be 25 ms or more; the
        # board's own answers take well under a millisecond. A busy computer can delay a few
        # answers by milliseconds: the median of 256 frames stays clear of that, the quicker of
        # the two adapter answers need not.
        self.sim("COM200", *DEMO_BOARD, "--baud", "115200")
        run = self.cli("--json", "COM200")
        self.assertEqual(run.returncode, 0, run.stderr)
        events = [json.loads(line) for line in run.stdout.splitlines()]
        result = next(e for e in events if e["event"] == "result")
        frame_ms = 25.0
        self.assertLess(result["reply_ms"]["median"], 2.0, result)
        self.assertLess(result["adapter_ms"], frame_ms / 2, result)
        self.assertGreaterEqual(result["write_ms"], 0, result)
        # No note blames the board's flash work for the wire's time.
        self.assertEqual([e for e in events if e["event"] == "note"], [])

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

    def test_a_file_and_the_built_in_image_made_from_it_write_the_same(self):
        dumps = []
        for args in ([], ["--image", DEMO_HEX]):
            sim = self.sim("COM200", *DEMO_BOARD)
            run = self.cli("--json", *args, "COM200")
            self.assertEqual(run.returncode, 0, run.stderr)
            events = [json.loads(line) for line in run.stdout.splitlines()]
            result = next(e for e in events if e["event"] == "result")
            sim.stop()
            dumps.append([l for l in sim.dump_lines() if l.startswith("flash")])
        self.assertEqual(len(dumps[0]), 256)
        self.assertEqual(dumps[0], dumps[1])
        self.assertEqual((result["image"]["source"], result["image"]["file"]), ("file", DEMO_HEX))
        # The digest that names the image is what sha256sum says of its plain bytes (the wire
        # form unmasked frame by frame: 128 program addresses, scramble constant 0x3C).
        wire = image_bytes()
        plain = bytes(b ^ ((i // 256 * 128 + 0x3C) & 0xFF) for i, b in enumerate(wire))
        tool = subprocess.run(["sha256sum"], input=plain, capture_output=True, check=True)
        self.assertEqual(result["image"]["sha256"], tool.stdout.split()[0].decode())
        listing = self.cli("--list-images", "--image", DEMO_HEX)
        self.assertIn("24HJ64 - BD01_R02[14PIN] - CAN+SPI  RES[Code:81]", listing.stdout)
        # What the file gives is stated before anything is written.
        kinds = [e["event"] + e.get("text", "") for e in events]
        self.assertLess(kinds.index(next(k for k in kinds if k.startswith("noteflash"))),
                        kinds.index("phaseEntry in PrgMode"))

    def test_the_fix_frame_carries_each_files_own_reset_vector(self):
        # Two builds of one firmware that differ only in where their start-up code lies.
        moved = self.demo_with_reset_vector("000304")
        for image, entry in ((DEMO_HEX, "GOTO 0x0202"), (moved, "GOTO 0x0300")):
            sim = self.sim("COM200", *DEMO_BOARD)
            run = self.cli("--image", image, "COM200")
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertIn("reset vector (%s) goes at the end of the fix frame" % entry, run.stdout)
            sim.stop()
            address, data = flash_frames(sim.dump_lines())[-1]
            self.assertEqual(address, 0xA780)
            mask = (0x80 + 0x3C) & 0xFF  # the scramble mask of the fix frame's address
            target = int(entry.split("0x")[1], 16)
            self.assertEqual(bytes(b ^ mask for b in data[-8:]),
                             bytes([target & 0xFF, target >> 8, 0x04, 0, 0, 0, 0, 0]))
            listing = self.cli("--list-images", "--image", image)
            self.assertIn("reset vector " + entry, listing.stdout)

    def demo_with_reset_vector(self, first_three):
        """The demo file with another first instruction (three bytes, hex), saved in the sandbox."""
        with open(DEMO_HEX) as f:
            lines = f.readlines()
        body = bytes.fromhex(lines[1].strip()[1:-2])  # line 2: the record at address 0
        body = body[:4] + bytes.fromhex(first_three) + body[7:]
        lines[1] = ":" + (body + bytes([-sum(body) & 0xFF])).hex().upper() + "\n"
        path = os.path.join(self.sandbox.root, "moved reset.hex")  # a name with a blank
        with open(path, "w") as f:
            f.writelines(lines)
        return path

    def test_firmware_files_refused_before_anything_is_sent(self):
        bad = os.path.join(self.sandbox.root, "bad.hex")
        with open(DEMO_HEX) as f:
            lines = f.readlines()
        lines[2] = lines[2][:-4] + "00\n"  # a wrong checksum on line 3
        with open(bad, "w") as f:
            f.writelines(lines)
        no_vector = os.path.join(self.sandbox.root, "no-vector.hex")
        with open(no_vector, "w") as f:
            f.writelines(lines[0:1] + lines[3:])  # lines 2 and 3: the reset vector and more
        sim = self.sim("COM200", *DEMO_BOARD)
        for product, image, says in (("zq710c", bad, bad + ":3: "),
                                     ("zq710c", "/no/such.hex", "cannot be read"),
                                     ("zq710c", self.sandbox.root,
                                      self.sandbox.root + ": cannot be read: Is a directory"),
                                     ("zq710c", no_vector, no_vector + ": no data at address 0"),
                                     ("hbd200", DEMO_HEX, "takes no firmware files")):
            run = subprocess.run([os.path.join(BIN, product, "trevane-cli"), "--image", image,
                                  "COM200"], env=self.sandbox.env(), capture_output=True,
                                 text=True, timeout=60)
            self.assertEqual(run.returncode, 2, run.stderr)
            self.assertIn(says, run.stderr)
        sim.stop()
        self.assertEqual(sim.dump_lines()[-1].split()[1], "searches=0")

    def test_dry_run_sends_only_the_search_and_tells_the_plan(self):
        for board, status, write in ((DEMO_BOARD, 0, True),
                                     (["--chip", "254", "--board", "5"], 1, False)):
            sim = self.sim("COM200", *board)
            run = self.cli("--dry-run", "--json", "COM200")
            self.assertEqual(run.returncode, status, run.stderr)
            plan = next(json.loads(l) for l in run.stdout.splitlines() if '"plan"' in l)
            self.assertEqual((plan["write"], plan["written"]), (write, False))
            self.assertNotIn("retry:", run.stderr)  # nothing was written: nothing to retry
            if write:
                self.assertEqual((plan["frames"], plan["fix"], plan["flash"], plan["resetVector"]),
                                 (255, 0xA780, [{"first": 0, "end": 0x7F4C}], "GOTO 0x0202"))
            sim.stop()
            self.assertEqual(sim.dump_lines()[-1], SEARCH_ONLY)

    def test_a_journal_shared_by_four_stations_with_two_ports_each(self):
        journal = os.path.join(self.sandbox.root, "journal.jsonl")
        sims = [self.sim("COM%d" % (200 + i), *DEMO_BOARD) for i in range(8)]
        runs = [subprocess.Popen([CLI, "--journal", journal, "COM%d" % (200 + 2 * i),
                                  "COM%d" % (201 + 2 * i)], env=self.sandbox.env(),
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                for i in range(4)]
        for run in runs:
            out, err = run.communicate(timeout=60)
            self.assertEqual(run.returncode, 0, out + err)
        with open(journal) as f:
            records = [json.loads(line) for line in f]
        self.assertEqual(sorted(r["port"] for r in records), ["COM%d" % p for p in range(200, 208)])
        self.assertTrue(all(r["result"]["ok"] for r in records))
        for sim in sims:
            sim.stop()

    def test_watch_follows_a_board_plugged_in_pulled_out_and_back(self):
        bays = os.path.join(self.sandbox.root, "bays.txt")
        with open(bays, "w") as f:
            f.write("A1 COM201\n")
        proc = subprocess.Popen([CLI, "--watch", "--json", "--bays", bays, "COM201"],
                                env=self.sandbox.env(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        self.addCleanup(proc.kill)

        def next_event(kind):
            deadline = time.time() + 30
            while time.time() < deadline:
                event = json.loads(proc.stdout.readline())
                if event["event"] == kind:
                    return event
            self.fail("no " + kind)

        for _ in range(2):  # the same port, pulled out and plugged in again
            sim = BoardSim(self.sandbox, "COM201", DEMO_BOARD)
            result = next_event("result")
            self.assertEqual((result["bay"], result["ok"]), ("A1", True))
            sim.stop()
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=20)
        summary = json.loads(out.splitlines()[-1])
        self.assertEqual(summary["ports"], [{"port": "COM201", "bay": "A1", "programmed": 2,
                                             "failed": 0, "yield": 100.0,
                                             "reply_ms": summary["ports"][0]["reply_ms"],
                                             "adapter_ms": summary["ports"][0]["adapter_ms"]}])
        self.assertNotIn('"problem"', out)  # a port that went says nothing of it

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
