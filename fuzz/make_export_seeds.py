#!/usr/bin/env python3
"""Writes the seed corpus of export_fuzz: small host tables (dBASE III, code page 1251) in the
target's input form: the options byte, the lengths of cat_epd.dbf and body_epd.dbf, the two
tables, and a script of the host's changes between exports (five bytes a step, host_script.h)."""
import os
import struct

HEADER = [("IDMSG", "N", 10, 0), ("MSGNUM", "N", 10, 0), ("CATTYP", "C", 2, 0), ("IDSENDER", "N", 10, 0),
          ("SENDER", "C", 40, 0), ("INVNUM", "C", 10, 0), ("INVDT", "D", 8, 0), ("SUMTOT", "N", 12, 2),
          ("DLVCHN", "N", 1, 0)]
LINES = [("IDMSG", "N", 10, 0), ("MSGNUM", "N", 10, 0), ("ITEMID", "C", 60, 0), ("LOCALCOD", "C", 13, 0),
         ("ITEMQTY", "N", 10, 0), ("CATPRNV", "N", 12, 2), ("GNVLS", "L", 1, 0), ("USEBEFOR", "D", 8, 0)]


def table(fields, rows):
    record_length = 1 + sum(f[2] for f in fields)
    header_length = 32 + 32 * len(fields) + 1
    out = struct.pack("<BBBBIHH20x", 0x03, 124, 3, 15, len(rows), header_length, record_length)
    for name, kind, length, decimals in fields:
        out += struct.pack("<11sc4xBB14x", name.encode(), kind.encode(), length, decimals)
    out += b"\r"
    for row in rows:
        rec = b" "
        for (name, kind, length, decimals), value in zip(fields, row):
            value = value.encode("cp1251") if isinstance(value, str) else value
            rec += value.ljust(length)[:length] if kind in "CDL" else value.rjust(length)[:length]
        out += rec
    return out + b"\x1a"


def seed(options, header_rows, line_rows, script=b""):
    cat = table(HEADER, header_rows)
    body = table(LINES, line_rows)
    return bytes([options]) + struct.pack("<HH", len(cat), len(body)) + cat + body + script


# Steps of the host's script: a new invoice; another byte of an old record; the number of a
# sampled record; a deletion mark; a pack; another file in place; cut short; an export; the pass.
APPEND, BYTE, SAMPLED_NUMBER, MARK, PACK, REPLACE, CUT, EXPORT, PASS = range(9)
CAT, BODY = 0, 1


def step(kind, a1=0, a2=0, a3=0, a4=0):
    return bytes([kind, a1, a2, a3, a4])


NEWEST = 1  # EXPORT: the newest header's invoice (else the header a2 names)

A_DAY = b"".join([
    step(EXPORT, NEWEST), step(APPEND, 0, 2, 0, 0), step(EXPORT, NEWEST),
    step(MARK, BODY, 2), step(APPEND, 0, 1, 3), step(EXPORT, NEWEST), step(EXPORT, 0, 2),
    step(BYTE, BODY, 4, 30, ord("X")), step(SAMPLED_NUMBER, BODY, 3, 0, 0), step(APPEND, 0, 3, 1), step(EXPORT, NEWEST),
    step(EXPORT, 0, 3), step(PACK, BODY), step(APPEND, 0, 3, 2), step(EXPORT, NEWEST), step(EXPORT, 0, 4),
    step(REPLACE, BODY, 1, 9), step(EXPORT, 0, 1), step(CUT, BODY, 1), step(EXPORT, 0, 2), step(APPEND, 0, 1),
    step(EXPORT, NEWEST), step(PASS),
])


def header(id, sender="77", kind="OR"):
    return [str(id), str(id + 500), kind, sender, "ООО «Фармлайн-Юг»", "N%d" % id, "20240315", "1234.50", "0"]


def line(id, n, code="C1"):
    return [str(id), str(id + 500), "Парацетамол таб. 500мг №%d" % n, code, str(n * 10), "12.50", "T" if n % 2 else "F",
            "20261201"]


here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "export")
os.makedirs(here, exist_ok=True)
seeds = {
    "two_files": seed(0, [header(1), header(2)], [line(1, 1), line(1, 2), line(2, 1)]),
    "single_file_codes": seed(1 | 2 | 32, [header(1), header(12345)], [line(1, 1, "123456789"), line(12345, 2)]),
    "subfolders_level7_yes": seed(4 | 16 | 64 | 128, [header(1, "5"), header(1, "5"), header(3, "9", "DR")],
                                  [line(1, 1), line(3, 1)]),
    "dos_coding_no_lines": seed(8, [header(1), header(7)], [line(7, 1)]),
    "growing_two_files": seed(64, [header(i) for i in range(1, 7)], [line(i, n) for i in range(1, 7) for n in range(1, 4)],
                              A_DAY),
    "growing_single_file_level7": seed(1 | 16 | 64, [header(i) for i in range(1, 5)],
                                       [line(i, n) for i in range(1, 5) for n in range(1, 3)], A_DAY),
}
for name, data in seeds.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
