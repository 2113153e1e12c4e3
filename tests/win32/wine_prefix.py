"""The wine server of a wine prefix the tests use.

Debian's wineserver starts with no persistence (-p0): the moment a prefix has no Windows process
left, even between two programs started one after the other, its server begins to shut down,
and a program that connects in that moment is killed with it. A test that runs several wine
programs in turn therefore keeps one persistent server for its prefix while it runs, and ends
it when done.

Mapping a COM port needs a new server (the port table is read when the server's device services
start), so the tests that map one have a prefix of their own: no other test loses its programs
when that server is restarted.

Run as a program ("wine_prefix.py start|stop"), it starts and ends the server of the prefix that
the other tests under wine share, as a CTest fixture around them.
"""
import os
import subprocess
import tempfile


def environment(prefix=None, base=None):
    """The environment for wine in `prefix` (default: $WINEPREFIX, which must be set)."""
    env = dict(os.environ if base is None else base)
    if prefix:
        env["WINEPREFIX"] = prefix
    if not env.get("WINEPREFIX"):
        raise RuntimeError("WINEPREFIX is not set: the tests never use the default prefix")
    env.update(WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


def wine(env, *args):
    """Runs a wine program (wineboot, reg, ...) and returns the completed process, its output as
    text. The output goes through files, not pipes: a program that wine starts on the way (the
    prefix's services, when a command brings the prefix up to date) would hold a pipe open for as
    long as the server runs, and reading it to its end would never end."""
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        done = subprocess.run(["wine", *args], env=env, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=err, text=True, check=False, timeout=120)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(done.args, done.returncode, out.read(), err.read())


def _wineserver(env, option):
    # No pipes: the server that -p starts would hold one open for as long as it runs.
    return subprocess.run(["wineserver", option], env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          check=False).returncode


def stop_server(env):
    """Ends the prefix's server and every program of it; returns once it has saved the registry
    and exited."""
    _wineserver(env, "-k")


def restart_server(env):
    """A new persistent server for the prefix, after ending the one that runs (if any), with the
    prefix's system programs (services, the desktop window) started. They start with no output
    of the test's open: started by a test program, they would keep its pipes open for as long as
    the server runs. A new prefix is made here too."""
    stop_server(env)
    os.makedirs(env["WINEPREFIX"], exist_ok=True)  # the server lives in the prefix's folder
    code = _wineserver(env, "-p")
    if code != 0:
        raise RuntimeError("wineserver -p exited with %d for %s" % (code, env["WINEPREFIX"]))
    new = not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg"))
    subprocess.run(["wine", "wineboot", *(["-i"] if new else [])], env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)


def map_port(env, number, device):
    """Maps COM<number> to a Unix device, and restarts the server so that it takes effect."""
    wine(env, "reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM%d" % number, "/d", device,
         "/f")
    restart_server(env)


def repoint_port(env, number, device):
    """Points COM<number>, mapped before, at another Unix device for the programs already
    running. Wine writes the mapping into the prefix's dosdevices link when its server starts,
    and every open follows that link; a changed mapping alone waits for the next server."""
    link = os.path.join(env["WINEPREFIX"], "dosdevices", "com%d" % number)
    os.symlink(device, link + ".new")
    os.replace(link + ".new", link)


if __name__ == "__main__":
    # The tests' own prefix ($WINEPREFIX) as a CTest fixture: "start" before its first test,
    # "stop" after its last.
    import sys
    if sys.argv[1:] == ["start"]:
        restart_server(environment())
    elif sys.argv[1:] == ["stop"]:
        stop_server(environment())
    else:
        sys.exit("usage: wine_prefix.py start|stop")
