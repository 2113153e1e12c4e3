"""trevane-station, the real executable, in its Qt window under the X display, against board-sim
on pseudo-terminals: several boards at once, an adapter pulled out in the middle of a board and
one plugged in later, the user's own journal, and the ways the window ends."""
import json
import os
import signal
import time
import unittest

from harness import (DEMO_BOARD, BoardSim, E2ETest, Program, close_window, find_window,
                     image_bytes, received_image)


class StationWindow(E2ETest):
    def setUp(self):
        super().setUp()
        self.data = os.path.join(self.sandbox.root, "data")
        # The journal a station keeps when none is named: the user's own.
        self.journal = os.path.join(self.data, "trevane", "journal.jsonl")

    def sim(self, port, *args):
        sim = BoardSim(self.sandbox, port, [*DEMO_BOARD, *args])
        self.addCleanup(sim.stop)
        return sim

    def station(self, *args):
        program = Program(self.sandbox, args, executable="trevane-station", XDG_DATA_HOME=self.data)
        self.addCleanup(program.kill)
        return program

    def records(self):
        try:
            with open(self.journal) as f:
                return [json.loads(line) for line in f if line.endswith("\n")]
        except FileNotFoundError:
            return []

    def wait_for_records(self, count, seconds=60):
        deadline = time.time() + seconds
        while time.time() < deadline:
            records = self.records()
            if len(records) >= count:
                return records
            time.sleep(0.2)
        self.fail("%d records of %d after %d s: %s" % (len(self.records()), count, seconds,
                                                      self.records()))

    def test_four_boards_an_adapter_pulled_out_and_one_plugged_in_later(self):
        sims = {port: self.sim(port) for port in ("COM200", "COM201", "COM202")}
        # This one's adapter is pulled out at its 100th frame: its link goes with it.
        pulled = self.sim("COM203", "--hangup-after", "100")
        station = self.station()
        window = find_window("Trevane Station", program=station)
        records = self.wait_for_records(4)
        by_port = {r["port"]: r for r in records}
        self.assertEqual(sorted(by_port), ["COM200", "COM201", "COM202", "COM203"])
        for port in sims:
            self.assertEqual(by_port[port]["result"]["text"], " Program Ok ", port)
        self.assertEqual((by_port["COM203"]["result"]["text"], by_port["COM203"]["result"]["cause"]),
                         (" not Response ", "port-gone"))
        later = self.sim("COM204")  # an adapter plugged in while the station runs
        records = self.wait_for_records(5, seconds=30)
        self.assertEqual(records[-1]["port"], "COM204")
        self.assertTrue(records[-1]["result"]["ok"])

        close_window(window)  # no board is being written: no question
        code, _, err = station.wait(timeout=30)
        self.assertEqual(code, 0, err)
        self.assertEqual(len(self.records()), 5, "one line per board")
        for sim in [*sims.values(), later]:
            sim.stop()
            self.assertEqual(received_image(sim.dump_lines()), image_bytes()[8:])

    def test_sigterm_stops_the_board_being_written_with_its_record_and_closes(self):
        self.sim("COM200", "--baud", "115200")  # about six seconds of writing
        station = self.station("--operator", "shift B", "COM200")
        find_window("Trevane Station", program=station)
        deadline = time.time() + 30
        while not os.path.exists(self.journal) and time.time() < deadline:
            time.sleep(0.1)
        time.sleep(2.0)  # into its frames
        station.proc.send_signal(signal.SIGTERM)
        code, _, err = station.wait(timeout=20)
        self.assertEqual(code, 0, err)
        records = self.records()
        self.assertEqual([r["result"]["text"] for r in records], [" User Abort !! "])
        self.assertEqual(records[0]["operator"], "shift B")


if __name__ == "__main__":
    unittest.main()
