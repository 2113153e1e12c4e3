#!/usr/bin/python3
"""Benchmark, not a test: a full update by the Windows program under wine, against board-sim's
model of a real 115200 8N2 line, timed from the "&Update" key to the success datagram and
compared with the time its bytes need on the wire.

  bench_wine.py [runs]    (environment as for e2e_wine_test.py; a display is needed)
"""
import os
import re
import sys
import time
import unittest

import e2e_wine_test as e2e

BAUD = 115200


def wire_bytes(dump):
    """Bytes that crossed the line in both directions, from board-sim's record of the run."""
    total = 0
    for line in dump:
        parts = line.split()
        kind = parts[0]
        if kind == "search":
            total += 1 + {"answered": 6 + 32, "refused": 1}.get(parts[2], 0)
        elif kind == "progmode":
            total += 2
        elif kind in ("flash", "refused", "silent"):
            what = parts[1] if kind != "flash" else "flash"
            if what == "eeprom":
                total += 7
            else:
                length = int(parts[3] if kind != "flash" else parts[2])
                total += 3 + 2 + length + 1 + (0 if kind == "silent" else 1)
        elif kind == "eeprom":
            total += 7
    return total


class Bench(e2e.WindowsProgram):
    SIM_ARGS = ("--baud", str(BAUD))

    def test_full_update(self):
        window = self.start("zq710c", "Updater 2.7")
        started = time.monotonic()
        e2e.xdotool("key", "alt+u")
        data, _ = self.host.receive(600)
        seconds = time.monotonic() - started
        self.assertEqual(data, bytes([0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 1]))
        self.close(window)
        dump = self.sim.stop()
        count = wire_bytes(dump)
        floor = count * 11.0 / BAUD
        print("\nwine: measured %.3f s, wire floor %.3f s (%d bytes), ratio %.3f"
              % (seconds, floor, count, seconds / floor))


if __name__ == "__main__":
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 1
    suite = unittest.TestSuite([Bench("test_full_update") for _ in range(runs)])
    sys.exit(0 if unittest.TextTestRunner(verbosity=1).run(suite).wasSuccessful() else 1)
