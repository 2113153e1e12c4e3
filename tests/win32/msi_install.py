#!/usr/bin/env python3
"""The installer under wine, in a prefix of its own:  msi_install.py BUILD
Installs BUILD's installer silently, then the next version's (made here from the same folder),
which the older one must not replace, and removes it: that must leave the prefix's files and
Software registry values as before, but for the program's setting. (Wine installs for all users
whatever ALLUSERS says, so the per-user folders are not seen here.)
"""
import collections
import os
import re
import shutil
import sys
import tempfile

sys.dont_write_bytecode = True
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "packaging", "windows"))
import make_release  # noqa: E402
import wine_prefix  # noqa: E402

SETTING = r'[Software\\Dravik\\Trevane] "com"="4"'
UNINSTALL = r"\Software\Microsoft\Windows\CurrentVersion\Uninstall"
failures = []
wine = wine_prefix.wine


def check(ok, what):
    if not ok:
        print("FAIL: " + what)
        failures.append(what)


def listed(env):
    """(version, publisher) of each entry named Trevane among the installed programs."""
    out = "".join(wine(env, "reg", "query", root + UNINSTALL, "/s").stdout
                  for root in ("HKCU", "HKLM"))
    keys = [dict(re.findall(r"^ +(\w+) +REG_\w+ +(.*?)\s*$", key, re.M))
            for key in re.split(r"\n(?=HKEY_)", out)]
    return [(k["DisplayVersion"], k["Publisher"]) for k in keys
            if k.get("DisplayName") == "Trevane"]


def state(env):
    """The prefix's files and folders, and its Software registry values as "[key] value"."""
    wine_prefix.stop_server(env)  # which saves the registry
    values = collections.Counter()
    for name in ("system.reg", "user.reg"):
        key = ""
        with open(os.path.join(env["WINEPREFIX"], name), encoding="utf-8", errors="replace") as f:
            for line in f.read().splitlines():
                key = re.sub(r" \d+$", "", line) if line.startswith("[") else key
                if key.startswith(r"[Software\\") and line and line[0] not in "[#":
                    values[key + " " + line] += 1
    wine_prefix.restart_server(env)
    return {os.path.relpath(os.path.join(d, n), env["WINEPREFIX"]): os.path.join(d, n)
            for d, dirs, names in os.walk(os.path.join(env["WINEPREFIX"], "drive_c"))
            for n in dirs + names}, values


def run(env, build, version, newer_msi):
    folder = os.path.join(build, "release", "trevane-%s-windows-x64" % version)
    older = os.path.join(build, "release", "trevane-%s-x64.msi" % version)
    shipped = {p: os.listdir(os.path.join(folder, p)) for p in os.listdir(folder)
               if os.path.isdir(os.path.join(folder, p))}
    newer = re.sub(r"\d+$", lambda m: str(int(m.group()) + 1), version)
    make_release.make_installer(
        os.path.join(ROOT, "packaging", "windows", "trevane.wxs.in"),
        os.path.join(build, "src", "main", "trevane.ico"), folder,
        [(p, open(os.path.join(ROOT, "firmware", "images", p, "identity.txt")).readline(),
          "trevane.exe" in names, None) for p, names in shipped.items()], newer, 0, newer_msi)
    wine(env, "reg", "delete", r"HKCU\Software\Dravik", "/f")  # an earlier run's
    before = state(env)

    check(wine(env, "msiexec", "/i", older, "/qn").returncode == 0, "msiexec /i failed")
    new = {p: full for p, full in state(env)[0].items() if p not in before[0]}
    installed = {p.split("/Trevane/")[1]: full for p, full in new.items()
                 if "/Trevane/" in p and os.path.isfile(full)}
    check(sorted(installed) == sorted(p + "/" + n for p in shipped for n in shipped[p]) and all(
        open(full, "rb").read() == open(os.path.join(folder, path), "rb").read()
        for path, full in installed.items()), "installed: %s" % sorted(installed))
    links = [open(full, "rb").read() for path, full in new.items() if path.endswith(".lnk")]
    check(sorted(re.search(rb"\\(\w+)\\(trevane(?:-station)?)\.exe", link).group(1, 2)
                 for link in links)
          == sorted((p.encode(), program) for p in shipped if "trevane.exe" in shipped[p]
                    for program in (b"trevane", b"trevane-station")),
          "%d shortcuts" % len(links))
    check(listed(env) == [(version, "Dravik")], "installed programs: %s" % listed(env))
    wine(env, "reg", "add", r"HKCU\Software\Dravik\Trevane", "/v", "com", "/d", "4", "/f")

    check(wine(env, "msiexec", "/i", newer_msi, "/qn").returncode == 0, "the upgrade failed")
    check(wine(env, "msiexec", "/i", older, "/qn").returncode != 0, "the older replaced the newer")
    check(listed(env) == [(newer, "Dravik")], "installed programs: %s" % listed(env))
    check(wine(env, "msiexec", "/x", newer_msi, "/qn").returncode == 0, "msiexec /x failed")
    after = state(env)
    check(sorted(after[0]) == sorted(before[0]), "left: %s" % (set(after[0]) ^ set(before[0])))
    check(after[1] - before[1] == collections.Counter([SETTING]) and not before[1] - after[1],
          "registry: %s gone, %s added" % (list(before[1] - after[1]), list(after[1] - before[1])))


def main():
    build = os.path.abspath(sys.argv[1])
    with open(os.path.join(build, "generated", "trevane_version.h")) as f:
        version = re.search(r'#define TREVANE_VERSION "(.*)"', f.read()).group(1)
    env = wine_prefix.environment(os.path.join(build, "wineprefix-msi"))
    # Without wine's menu builder, which would copy each shortcut into this machine's menus.
    env["WINEDLLOVERRIDES"] += ";winemenubuilder.exe=d"
    try:
        wine_prefix.restart_server(env)  # makes the prefix the first time
        # Windows has its installer's folder from the start; wine makes it at the first install.
        os.makedirs(os.path.join(env["WINEPREFIX"], "drive_c", "windows", "Installer"),
                    exist_ok=True)
        with tempfile.TemporaryDirectory() as work:
            run(env, build, version, os.path.join(work, "next.msi"))
    finally:
        wine_prefix.stop_server(env)
        if failures or sys.exc_info()[0]:
            shutil.rmtree(env["WINEPREFIX"])  # the next run starts clean
    if failures:
        sys.exit("msi_install: %d failed" % len(failures))
    print("msi_install: installed, upgraded, kept the newer version, removed cleanly")


if __name__ == "__main__":
    main()
