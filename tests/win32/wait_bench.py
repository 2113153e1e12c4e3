#!/usr/bin/python3
"""Measurement, not a test: wait_bench.exe under wine against board-sim's 115200-baud line model,
with each wait style, several runs each.

  wait_bench.py BOARD_SIM WAIT_BENCH_EXE PREFIX [runs] [frames] [data bytes a frame]

PREFIX is a wine prefix of its own (the COM mapping restarts its wine server).
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile

COM = 38


def main():
    board_sim, program, prefix, *rest = sys.argv[1:]
    runs = int(rest[0]) if rest else 3
    extra = rest[1:]
    prefix = os.path.abspath(prefix)
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    quiet = dict(env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    if not os.path.isdir(prefix):
        subprocess.run(["wine", "wineboot", "-i"], **quiet)
    with tempfile.TemporaryDirectory(prefix="trevane-wait-bench.") as folder:
        sim = subprocess.Popen([board_sim, "--baud", "115200", "--port", "COM%d" % COM],
                               env=dict(os.environ, TREVANE_PORTS=folder),
                               stdout=subprocess.PIPE, text=True)
        try:
            ready = sim.stdout.readline().split()
            if len(ready) != 3 or ready[0] != "ready":
                sys.exit("board-sim did not start: %r" % ready)
            subprocess.run(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v",
                            "COM%d" % COM, "/d", ready[2], "/f"], **quiet)
            subprocess.run(["wineserver", "-k"], **quiet)
            subprocess.run(["wine", "cmd", "/c", "exit"], **quiet)  # start the server anew
            ratios = {"sleep": [], "event": []}
            for _ in range(runs):
                for style in ratios:
                    result = subprocess.run(["wine", program, "COM%d" % COM, style, *extra],
                                            env=env, capture_output=True, text=True, check=False)
                    sys.stdout.write(result.stdout or result.stderr)
                    sys.stdout.flush()
                    found = re.search(r"ratio ([0-9.]+)", result.stdout)
                    if found:
                        ratios[style].append(float(found.group(1)))
            for style, values in ratios.items():
                if values:
                    print("%s: median ratio %.3f (from %.3f to %.3f, %d runs)"
                          % (style, statistics.median(values), min(values), max(values),
                             len(values)))
        finally:
            sim.terminate()
            sim.wait()
            subprocess.run(["wineserver", "-k"], **quiet)


if __name__ == "__main__":
    main()
