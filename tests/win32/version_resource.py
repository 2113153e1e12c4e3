#!/usr/bin/env python3
"""Checks the version resource of Windows executables: version_resource.py VERSION EXE...

Each EXE must carry VS_FIXEDFILEINFO with file and product version VERSION.0 and the strings
FileVersion "VERSION.0", ProductVersion "VERSION" and OriginalFilename naming the file itself.
"""
import os
import struct
import sys


def string_value(data, key):
    # A String block: the key in UTF-16, NUL-padded to a 4-byte boundary, then the value.
    marker = (key + "\0").encode("utf-16-le")
    at = data.find(marker)
    if at < 0:
        return None
    at += len(marker)
    while at % 4:
        at += 1
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def check(path, version):
    data = open(path, "rb").read()
    problems = []
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return ["no VS_FIXEDFILEINFO"]
    major, minor, patch = (int(v) for v in version.split("."))
    want = (major << 16 | minor, patch << 16)
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", data, at + 8)
    if (file_ms, file_ls) != want:
        problems.append("file version %d.%d.%d.%d" % (file_ms >> 16, file_ms & 0xFFFF,
                                                     file_ls >> 16, file_ls & 0xFFFF))
    if (product_ms, product_ls) != want:
        problems.append("product version differs")
    for key, value in (("FileVersion", version + ".0"), ("ProductVersion", version),
                       ("OriginalFilename", os.path.basename(path))):
        found = string_value(data, key)
        if found != value:
            problems.append("%s is %r, not %r" % (key, found, value))
    return problems


def main():
    version, paths = sys.argv[1], sys.argv[2:]
    failed = 0
    for path in paths:
        problems = check(path, version)
        if problems:
            failed += 1
            print("%s: %s" % (path, "; ".join(problems)))
    print("version resources: %d of %d carry %s" % (len(paths) - failed, len(paths), version))
    return 1 if failed or not paths else 0


if __name__ == "__main__":
    sys.exit(main())
