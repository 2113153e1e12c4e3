#!/usr/bin/env python3
"""Makes the Windows release: the release folder, its zip and the installer.

    make_release.py OUTDIR NAME VERSION README_TEMPLATE WXS_TEMPLATE ICON EPOCH
                    PRODUCT=IDENTITY_FILE,CLI[,GUI,STATION]...

OUTDIR/NAME/ gets a folder per product with trevane-cli.exe, and trevane.exe and
trevane-station.exe when the build has the windowed programs, README.txt (CRLF line ends) and SHA256SUMS; OUTDIR/NAME.zip holds that
folder. OUTDIR/trevane-VERSION-x64.msi installs the same programs: WXS_TEMPLATE filled in for
the products and built with wixl, ICON its icon in the list of installed programs.
OUTDIR/SHA256SUMS lists the zip and the installer.

EPOCH (seconds, or "" for now) dates every file, zip entry and the installer. The zip's entries
are sorted, with fixed dates and attributes, and the installer's codes are derived from what it
holds, so that the same inputs give the same bytes.

When TREVANE_SIGN_CERT and TREVANE_SIGN_KEY name a code-signing certificate and its private key,
every program and the installer are signed with osslsigncode before the checksums are made,
timestamped by the server at TREVANE_SIGN_TIMESTAMP_URL when that is set.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import uuid
import xml.sax.saxutils
import zipfile

# Windows' FILETIME: 100-nanosecond steps from 1601.
FILETIME_1970 = 11644473600 * 10**7


def signer():
    """The function that signs a file in place, or None when no certificate is named."""
    cert = os.environ.get("TREVANE_SIGN_CERT", "")
    key = os.environ.get("TREVANE_SIGN_KEY", "")
    if not cert and not key:
        return None
    if not cert or not key:
        sys.exit("make_release.py: TREVANE_SIGN_CERT and TREVANE_SIGN_KEY are needed together")
    command = ["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256", "-n", "Trevane"]
    url = os.environ.get("TREVANE_SIGN_TIMESTAMP_URL", "")
    if url:
        command += ["-ts", url]
    else:
        print("make_release.py: no TREVANE_SIGN_TIMESTAMP_URL: the signatures carry no timestamp "
              "and lose their trust when the certificate expires", file=sys.stderr)

    def sign(path):
        done = subprocess.run(command + ["-in", path, "-out", path + ".signed"],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 0:
            sys.exit("make_release.py: signing %s failed:\n%s" % (path, done.stdout))
        os.replace(path + ".signed", path)
    return sign


def expand(block, text, body):
    """TEXT with each block marked BLOCK{ }BLOCK replaced by body(its lines)."""
    pattern = r"<!--%s\{-->\n(.*?)<!--\}%s-->\n" % (block, block)
    return re.sub(pattern, lambda match: body(match.group(1)), text, flags=re.S)


def derived_code(template, name):
    """A GUID of its own for NAME, the same every time: derived from the template's upgrade code."""
    upgrade_code = uuid.UUID(re.search(r'UpgradeCode="([^"]+)"', template).group(1))
    return str(uuid.uuid5(upgrade_code, name)).upper()


def installer_source(template, version, products):
    """The WiX source: the template filled in for VERSION and PRODUCTS."""
    def code(name):
        return derived_code(template, name)

    def product_block(lines, product, identity, gui):
        lines = expand("windowed", lines, lambda inner: inner if gui else "")
        name = xml.sax.saxutils.escape(identity.split(" ")[0], {'"': "&quot;"})
        return (lines.replace("@product@", product).replace("@NAME@", name)
                .replace("@CLI_GUID@", code(product + "/trevane-cli.exe"))
                .replace("@GUI_GUID@", code(product + "/trevane.exe"))
                .replace("@STATION_GUID@", code(product + "/trevane-station.exe")))

    text = expand("product", template, lambda lines: "".join(
        product_block(lines, product, identity, gui) for product, identity, gui, _ in products))
    return text.replace("@VERSION@", version).replace("@PRODUCT_CODE@", code("Trevane " + version))


def make_installer(template_path, icon, folder, products, version, moment, out):
    """Builds the installer OUT from the release folder with wixl, then gives it what wixl makes
    anew each time (its package code, its dates) from its contents and MOMENT, and marks it as
    needing no administrator rights."""
    try:
        import gi
        gi.require_version("Libmsi", "1.0")
        from gi.repository import Libmsi
    except (ImportError, ValueError):
        sys.exit("make_release.py: the installer needs python3-gi and gir1.2-libmsi-1.0")
    with open(template_path, encoding="utf-8") as f:
        template = f.read()
    source = installer_source(template, version, products)
    digest = hashlib.sha256(source.encode("utf-8"))
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "trevane.wxs"), "w", encoding="utf-8") as f:
            f.write(source)
        shutil.copyfile(icon, os.path.join(work, "trevane.ico"))
        # wixl finds files beside the source and in the current folder.
        done = subprocess.run(["wixl", "-a", "x64", "-o", out, os.path.join(work, "trevane.wxs")],
                              cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True)
    # wixl only warns of what it does not support: that is an installer that lacks something.
    if done.returncode != 0 or done.stdout.strip():
        sys.exit("make_release.py: wixl failed:\n" + done.stdout)
    for path in sorted(os.path.join(d, n) for d, _, names in os.walk(folder) for n in names):
        with open(path, "rb") as data:
            digest.update(data.read())

    database = Libmsi.Database.new(out, Libmsi.DbFlags.TRANSACT, None)
    summary = Libmsi.SummaryInfo.new(database, 20)
    filetime = moment * 10**7 + FILETIME_1970
    summary.set_filetime(Libmsi.Property.CREATED_TM, filetime)
    summary.set_filetime(Libmsi.Property.LASTSAVED_TM, filetime)
    summary.set_string(Libmsi.Property.UUID, "{%s}" % derived_code(template, digest.hexdigest()))
    summary.set_int(Libmsi.Property.SOURCE, 2 | 8)  # compressed; no elevation asked for
    summary.persist()
    database.commit()


def write_sums(folder, files):
    with open(os.path.join(folder, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as f:
        for path in files:
            with open(os.path.join(folder, path), "rb") as data:
                f.write("%s  %s\n" % (hashlib.sha256(data.read()).hexdigest(), path))


def main():
    outdir, name, version, template, wxs_template, icon, epoch = sys.argv[1:8]
    sign = signer()
    products = []
    for entry in sys.argv[8:]:
        product, files = entry.split("=", 1)
        identity_file, cli, *gui = files.split(",")
        with open(identity_file, encoding="latin-1") as f:
            identity = f.readline().strip()
        products.append((product, identity, gui, cli))
    moment = int(epoch) if epoch else int(time.time())

    folder = os.path.join(outdir, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for product, _, gui, cli in products:
        os.makedirs(os.path.join(folder, product))
        shutil.copyfile(cli, os.path.join(folder, product, "trevane-cli.exe"))
        for path, program in zip(gui, ("trevane.exe", "trevane-station.exe")):
            shutil.copyfile(path, os.path.join(folder, product, program))
        for program in os.listdir(os.path.join(folder, product)) if sign else []:
            sign(os.path.join(folder, product, program))

    width = max(len(p) for p, *_ in products) + 1
    listing = "\n".join("  %-*s  %s" % (width, product + "\\", identity)
                        for product, identity, *_ in products)
    with open(template, encoding="utf-8") as f:
        readme = f.read().replace("@VERSION@", version).replace("@PRODUCTS@", listing)
    with open(os.path.join(folder, "README.txt"), "wb") as f:
        f.write(readme.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8"))

    files = sorted(os.path.relpath(os.path.join(d, n), folder).replace(os.sep, "/")
                   for d, _, names in os.walk(folder) for n in names)
    write_sums(folder, files)
    files = sorted(files + ["SHA256SUMS"])
    for path in files:
        os.utime(os.path.join(folder, path), (moment, moment))

    # Zip dates are local times from 1980 on, two seconds apart: the UTC time of EPOCH, bounded.
    stamp = max(time.gmtime(moment)[:6], (1980, 1, 1, 0, 0, 0))
    archive = os.path.join(outdir, name + ".zip")
    with zipfile.ZipFile(archive + ".tmp", "w") as z:
        for path in files:
            info = zipfile.ZipInfo(name + "/" + path, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0
            info.external_attr = 0x20  # the archive attribute only
            with open(os.path.join(folder, path), "rb") as data:
                z.writestr(info, data.read(), compresslevel=9)
    os.replace(archive + ".tmp", archive)

    installer = os.path.join(outdir, "trevane-%s-x64.msi" % version)
    make_installer(wxs_template, icon, folder, products, version, moment, installer + ".tmp")
    if sign:
        sign(installer + ".tmp")
    os.replace(installer + ".tmp", installer)
    write_sums(outdir, sorted(os.path.basename(path) for path in (archive, installer)))
    for path in (installer, os.path.join(outdir, "SHA256SUMS")):
        os.utime(path, (moment, moment))
    print(folder)
    print(archive)
    print(installer)


if __name__ == "__main__":
    main()
