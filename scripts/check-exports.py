#!/usr/bin/env python3
"""Checks the 32-bit DLL the host loads: its export table holds exactly the five undecorated
names, and each function removes its own arguments from the stack (stdcall): ret $0x4 for one
argument, ret $0x8 for two, a plain ret for none; and it imports only functions that Windows 7,
the oldest Windows the library runs on, has: every DLL!function of its import table (and of a
delay-load table) must be on the list in scripts/windows7-imports.txt.

    python3 scripts/check-exports.py [DLL]            (build/win32/export_epd.dll by default)
    python3 scripts/check-exports.py --imports DLL    prints the DLL's imports, one a line
"""
import os
import re
import struct
import subprocess
import sys

ALLOWED_IMPORTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "windows7-imports.txt")

EXPECTED = {
    "InitializeEPD": "ret $0x4",
    "ExportEPD": "ret $0x8",
    "EPDSetMessageHandler": "ret $0x8",
    "ExportNewEPD": "ret",
    "ShowSets": "ret",
}


class Image:
    """The sections of a 32-bit PE image and its data directories."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        nsections = struct.unpack_from("<H", data, pe + 6)[0]
        opt_size = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        assert magic == 0x10B, "not a 32-bit image"
        self.image_base = struct.unpack_from("<I", data, opt + 28)[0]
        self.directories = opt + 96
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.directories + 8 * index)

    def off(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError(hex(rva))

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.off(rva))[0]

    def string(self, rva):
        o = self.off(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("ascii", "replace")


def exports(data):
    image = Image(data)
    export_rva = image.directory(0)[0]
    nfuncs, nnames, funcs, names, ords = struct.unpack_from("<IIIII", data, image.off(export_rva) + 20)
    result = {}
    for i in range(nnames):
        n = image.string(image.u32(names + 4 * i))
        ordinal = struct.unpack_from("<H", data, image.off(ords) + 2 * i)[0]
        result[n] = image.u32(funcs + 4 * ordinal)
    return image.image_base, result


def import_entries(data):
    """(DLL, function, file offset of the function's name) for every function the image imports
    (#ordinal and no offset for imports by number), loaded at once (directory 1) or when first
    called (directory 13)."""
    image = Image(data)
    for index, size, name_at, thunks_at in ((1, 20, 12, (0, 16)), (13, 32, 4, (16, 12))):
        table = image.directory(index)[0]
        if table == 0:
            continue
        while True:
            entry = struct.unpack_from("<%dI" % (size // 4), data, image.off(table))
            if not any(entry):
                break
            dll = image.string(entry[name_at // 4])
            thunk = entry[thunks_at[0] // 4] or entry[thunks_at[1] // 4]
            while True:
                value = image.u32(thunk)
                if value == 0:
                    break
                if value & 0x80000000:
                    yield dll, "#%d" % (value & 0xFFFF), None
                else:
                    yield dll, image.string(value + 2), image.off(value + 2)
                thunk += 4
            table += size


def imports(data):
    """Every DLL!function the image imports."""
    return {"%s!%s" % (dll, name) for dll, name, _ in import_entries(data)}


def allowed_imports(path=ALLOWED_IMPORTS):
    with open(path, encoding="utf-8") as f:
        lines = (line.split("#", 1)[0].strip() for line in f)
        return {line.lower() for line in lines if line}


def check_imports(data, allowed):
    """The imports not on the list, each as DLL!function."""
    return sorted(name for name in imports(data) if name.lower() not in allowed)


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
    args = sys.argv[1:]
    if args[:1] == ["--imports"]:
        for name in sorted(imports(open(args[1], "rb").read()), key=str.lower):
            print(name)
        return
    dll = args[0] if args else "build/win32/export_epd.dll"
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
    forbidden = check_imports(data, allowed_imports())
    for name in forbidden:
        print("check-exports: %s imports %s, which is not on the list of Windows 7 (%s)"
              % (os.path.basename(dll), name, os.path.relpath(ALLOWED_IMPORTS)))
    if not forbidden:
        print("check-exports: all %d imports are on the list of Windows 7" % len(imports(data)))
    sys.exit(0 if ok and not forbidden else 1)


if __name__ == "__main__":
    main()
