#!/usr/bin/env python3
"""Makes the Windows release folder and its zip:

    make_release.py OUTDIR NAME VERSION README_TEMPLATE EPOCH PRODUCT=IDENTITY_FILE,CLI[,GUI]...

OUTDIR/NAME/ gets a folder per product with trevane-cli.exe and trevane.exe (when the build has
the windowed program), README.txt (CRLF
line ends) and SHA256SUMS; OUTDIR/NAME.zip holds that folder. EPOCH (seconds, or "" for now)
dates every file and zip entry. The zip's entries are sorted, with fixed dates and attributes,
so that the same inputs give the same bytes.
"""
import hashlib
import os
import shutil
import sys
import time
import zipfile


def main():
    outdir, name, version, template, epoch = sys.argv[1:6]
    products = []
    for entry in sys.argv[6:]:
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
        for path in gui:
            shutil.copyfile(path, os.path.join(folder, product, "trevane.exe"))

    width = max(len(p) for p, *_ in products) + 1
    listing = "\n".join("  %-*s  %s" % (width, product + "\\", identity)
                        for product, identity, *_ in products)
    with open(template, encoding="utf-8") as f:
        readme = f.read().replace("@VERSION@", version).replace("@PRODUCTS@", listing)
    with open(os.path.join(folder, "README.txt"), "wb") as f:
        f.write(readme.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8"))

    files = sorted(os.path.relpath(os.path.join(d, n), folder).replace(os.sep, "/")
                   for d, _, names in os.walk(folder) for n in names)
    with open(os.path.join(folder, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as f:
        for path in files:
            with open(os.path.join(folder, path), "rb") as data:
                f.write("%s  %s\n" % (hashlib.sha256(data.read()).hexdigest(), path))
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
    print(folder)
    print(archive)


if __name__ == "__main__":
    main()
