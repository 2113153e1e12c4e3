#!/bin/sh
# Regenerates the checked-in HEX files of the test product from pic18test.asm with gpasm
# (Debian package gputils). The build itself reads only the HEX files.
set -eu
cd "$(dirname "$0")"
build() { # chip board preparation output
    gpasm -p "$1" -D BOARD="$2" -D PREP="$3" -o "$4" pic18test.asm
    rm -f "${4%.hex}.cod" "${4%.hex}.lst"
}
build 18f258   0  0x02 pic18f258.hex
build 18f2580  5  0x04 pic18f2580.hex
build 18f24j10 14 0x8A pic18f24j10.hex
