#!/usr/bin/env python3
"""Checks the 32-bit DLL the host loads: its export table holds exactly the five undecorated
names, and each function removes its own arguments from the stack (stdcall): ret $0x4 for one
argument, ret $0x8 for two, a plain ret for none."""
import re
import struct
import subprocess
import sys

EXPECTED = {
    "InitializeEPD": "ret $0x4",
    "ExportEPD": "ret $0x8",
    "EPDSetMessageHandler": "ret $0x8",
    "ExportNewEPD": "ret",
    "ShowSets": "ret",
}


def exports(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
    nsections = struct.unpack_from("<H", data, pe + 6)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    assert magic == 0x10B, "not a 32-bit image"
    image_base = struct.unpack_from("<I", data, opt + 28)[0]
    export_rva = struct.unpack_from("<I", data, opt + 96)[0]
    sections = []
    for i in range(nsections):
        s = opt + opt_size + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
        sections.append((va, max(vsize, rawsize), rawptr))

    def off(rva):
        for va, size, raw in sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError(hex(rva))

    e = off(export_rva)
    nfuncs, nnames, funcs, names, ords = struct.unpack_from("<IIIII", data, e + 20)
    result = {}
    for i in range(nnames):
        name_rva = struct.unpack_from("<I", data, off(names) + 4 * i)[0]
        n = data[off(name_rva):data.index(b"\0", off(name_rva))].decode()
        ordinal = struct.unpack_from("<H", data, off(ords) + 2 * i)[0]
        result[n] = struct.unpack_from("<I", data, off(funcs) + 4 * ordinal)[0]
    return image_base, result


def first_ret(dll, address):
    out = subprocess.run(
        ["i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn", "--start-address=%#x" % address,
         "--stop-address=%#x" % (address + 4096), dll], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        m = re.search(r"\tret\s*(\S*)", line)
        if m:
            return ("ret " + m.group(1)).strip()
    return None


def main():
    dll = sys.argv[1] if len(sys.argv) > 1 else "build/win32/export_epd.dll"
    data = open(dll, "rb").read()
    base, table = exports(data)
    ok = True
    if sorted(table) != sorted(EXPECTED):
        print("check-exports: the export table holds %s, expected %s" % (sorted(table), sorted(EXPECTED)))
        ok = False
    for name, want in EXPECTED.items():
        if name not in table:
            continue
        got = first_ret(dll, base + table[name])
        print("check-exports: %-22s %s" % (name, got))
        if got != want:
            print("check-exports: %s ends in '%s', expected '%s'" % (name, got, want))
            ok = False
    sys.exit(0 if ok else 1)


main()
