#!/usr/bin/python3
"""Benchmark, not a test: a full update by the Windows program under wine, against board-sim's
model of a real 115200 8N2 line, timed from the "&Update" key to the success datagram and
compared with the time its bytes need on the wire (the count the program's dry run gives).

  bench_wine.py [runs]    (environment as for e2e_wine_test.py; a display is needed)
"""
import json
import os
import subprocess
import sys
import time
import unittest

import e2e_wine_test as e2e

BAUD = 115200


def wire_bytes():
    """The bytes a full update of the simulated board puts on the line, both ways, as the
    program's own plan counts them: trevane-cli's dry run, which sends nothing but the search."""
    exe = os.path.join(e2e.BUILD, "bin", "zq710c", "trevane-cli.exe")
    run = subprocess.run([e2e.EMULATOR, exe, "--dry-run", "--json", "COM%d" % e2e.COM],
                         env=e2e.wine_env(), capture_output=True, text=True, timeout=240)
    plans = [json.loads(line) for line in run.stdout.splitlines() if '"plan"' in line]
    assert run.returncode == 0 and plans, run.stderr[-2000:]
    return plans[0]["wireBytes"]


class Bench(e2e.WindowsProgram):
    SIM_ARGS = ("--baud", str(BAUD))

    def test_full_update(self):
        count = wire_bytes()
        window = self.start("zq710c", "Updater 2.7")
        started = time.monotonic()
        e2e.xdotool("key", "alt+u")
        data, _ = self.host.receive(600)
        seconds = time.monotonic() - started
        self.assertEqual(data, bytes([0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 1]))
        self.close(window)
        floor = count * 11.0 / BAUD
        print("\nwine: measured %.3f s, wire floor %.3f s (%d bytes), ratio %.3f"
              % (seconds, floor, count, seconds / floor))


if __name__ == "__main__":
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 1
    suite = unittest.TestSuite([Bench("test_full_update") for _ in range(runs)])
    sys.exit(0 if unittest.TextTestRunner(verbosity=1).run(suite).wasSuccessful() else 1)
