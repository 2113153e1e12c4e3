#!/usr/bin/python3
"""The far end of a COM port for the port tests under wine.

  com_peer.py EMULATOR PREFIX COM_NUMBER TEST_PROGRAM [arguments...]

Opens a pseudo-terminal, maps it as COM<COM_NUMBER> in the wine prefix PREFIX (a prefix of its
own: the mapping restarts that prefix's wine server), then runs TEST_PROGRAM under EMULATOR with
TREVANE_TEST_COM set, on a persistent server that is ended afterwards. Every byte the program
writes comes back plus one, so the test sees both that its writes arrived and that its reads
deliver. Exits with the program's exit code.
"""
import os
import select
import subprocess
import sys
import threading
import tty

import wine_prefix


def echo(master, stop):
    while not stop.is_set():
        ready, _, _ = select.select([master], [], [], 0.05)
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:  # nobody has the other side open just now
            stop.wait(0.01)
            continue
        os.write(master, bytes((b + 1) & 0xFF for b in data))


def main():
    emulator, prefix, number, program, *arguments = sys.argv[1:]
    env = wine_prefix.environment(prefix)
    master, slave = os.openpty()
    tty.setraw(slave)  # no echo by the line discipline, whatever the driver leaves set

    wine_prefix.restart_server(env)
    try:
        wine_prefix.map_port(env, int(number), os.ttyname(slave))

        stop = threading.Event()
        peer = threading.Thread(target=echo, args=(master, stop), daemon=True)
        peer.start()
        env["TREVANE_TEST_COM"] = number
        result = subprocess.run([emulator, program, *arguments], env=env, check=False)
        stop.set()
        peer.join()
    finally:
        wine_prefix.stop_server(env)
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
