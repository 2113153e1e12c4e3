#!/usr/bin/env python3
"""Writes the demo firmware of the ZQ710c product: a PIC24HJ64 program image as Intel HEX.

Run once; its output (zq710c_demo.hex, zq710c_fix.txt) is checked in. The program is made
up but shaped like a compiler's output: a reset GOTO, the two interrupt vector tables, an
identity word, code, an erased gap and a constant table. Byte addresses are twice the program
addresses, four bytes per instruction (low, middle, high, zero), as the vendor's tools write.
The image ends at program address 0x7F4B (image byte 0xFE96), 65,175 bytes in all.
"""
import pathlib

BOARD_INDEX = 0x02   # BD01_R02, the 14-pin board
PREPARATION = 0x81   # CAN+SPI with the RES mark
RESET = 0x0202       # application entry, just after the identity word
ISR = 0x0204         # default interrupt handler
CODE_END = 0x6000    # program address where the code stops
TABLE = 0x7000       # constant table (erased gap before it)
LAST = 0x7F4A        # address of the last instruction; only its three real bytes are emitted


def goto(target):
    return [(target & 0xFFFF) | 0x040000, (target >> 16) & 0x7F]


class Rng:
    """A fixed linear congruential generator: the file is the same on every run."""

    def __init__(self, seed):
        self.state = seed

    def next(self, bound):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return (self.state >> 8) % bound


def code_word(rng):
    w = rng.next(15)
    f = rng.next(0x800) * 2 + 0x800
    lit = rng.next(0x10000)
    kinds = [
        0x200000 | lit << 4 | w,             # MOV #lit16, Wn
        0x880000 | f << 3 | w,               # MOV Wn, f
        0x800000 | f << 3 | w,               # MOV f, Wn
        0x400000 | w << 7 | rng.next(15),    # ADD Wb, Ws, Wd
        0x500000 | w << 7 | rng.next(15),    # SUB Wb, Ws, Wd
        0xEC0000 | f,                        # INC f
        0xA80000 | f | rng.next(8) << 13,    # BSET f, #bit
        0xA90000 | f | rng.next(8) << 13,    # BCLR f, #bit
        0x370000 | rng.next(0x100),          # BRA forward
        0x000000,                            # NOP
    ]
    return kinds[rng.next(len(kinds))]


def program():
    words = {}
    for i, w in enumerate(goto(RESET)):
        words[i * 2] = w
    for address in range(0x0004, 0x0200, 2):        # IVT and AIVT; 0x100-0x103 reserved
        words[address] = 0 if address in (0x0100, 0x0102) else ISR
    words[0x0200] = PREPARATION << 8 | BOARD_INDEX   # identity word, executes as NOP
    words[RESET] = 0x000000                          # NOP slot before the main loop
    words[ISR] = 0x064000                            # RETFIE
    rng = Rng(0x710C)
    for address in range(0x0206, CODE_END - 2, 2):
        words[address] = code_word(rng) & 0xFFFFFF
    words[CODE_END - 2] = 0x37FFFF                   # BRA $: the main loop never ends
    for address in range(TABLE, LAST + 2, 2):        # constant table, 16-bit values
        words[address] = (address * 37 + 11) & 0xFFFF
    return words


def image_bytes(words):
    data = {}
    for address, w in words.items():
        base = address * 2
        data[base] = w & 0xFF
        data[base + 1] = (w >> 8) & 0xFF
        data[base + 2] = (w >> 16) & 0xFF
        if address != LAST:
            data[base + 3] = 0
    return data


def record(address, rtype, payload):
    body = [len(payload), (address >> 8) & 0xFF, address & 0xFF, rtype] + payload
    checksum = (-sum(body)) & 0xFF
    return ":" + "".join("%02X" % b for b in body + [checksum])


def hex_lines(data):
    lines = [record(0, 0x04, [0, 0])]
    addresses = sorted(data)
    i = 0
    while i < len(addresses):
        start = addresses[i]
        run = [data[start]]
        i += 1
        while i < len(addresses) and addresses[i] == start + len(run) and len(run) < 16 \
                and (start + len(run)) % 16 != 0:
            run.append(data[addresses[i]])
            i += 1
        lines.append(record(start, 0x00, run))
    lines.append(record(0, 0x01, []))
    return lines


def main():
    here = pathlib.Path(__file__).resolve().parent
    words = program()
    data = image_bytes(words)
    assert max(data) + 1 == 65175
    assert data[1024] == BOARD_INDEX and data[1025] == PREPARATION
    (here / "zq710c_demo.hex").write_text("\n".join(hex_lines(data)) + "\n")
    fix = goto(RESET)
    fix_bytes = [fix[0] & 0xFF, fix[0] >> 8 & 0xFF, fix[0] >> 16, 0,
                 fix[1] & 0xFF, fix[1] >> 8 & 0xFF, fix[1] >> 16, 0]
    (here / "zq710c_fix.txt").write_text(
        "# The application's own reset GOTO, which the bootloader keeps at the end of its\n"
        "# fix block: the reset jump at address 0 goes to the bootloader instead.\n"
        + " ".join("%02X" % b for b in fix_bytes) + "\n")


if __name__ == "__main__":
    main()
