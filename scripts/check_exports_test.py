#!/usr/bin/env python3
"""The import check of check-exports.py: the DLL as built passes, and a copy of it that imports
a function Windows 7 lacks fails, naming it.

    python3 scripts/check_exports_test.py [DLL]       (build/win32/export_epd.dll by default)
"""
import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check-exports.py")
_spec = importlib.util.spec_from_file_location("check_exports", SCRIPT)
check_exports = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(check_exports)

DLL = "build/win32/export_epd.dll"

# Functions of Windows 8 and later, as a newer toolchain or library might come to import them.
NEWER = ["GetSystemTimePreciseAsFileTime", "GetCurrentThreadStackLimits", "PrefetchVirtualMemory",
         "SetThreadInformation", "GetOverlappedResultEx", "CreateFile2"]


def run_check(path):
    done = subprocess.run([sys.executable, SCRIPT, path], capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr


class ImportCheck(unittest.TestCase):
    def test_the_dll_as_built_passes(self):
        status, out = run_check(DLL)
        self.assertEqual(status, 0, out)
        self.assertIn("imports are on the list of Windows 7", out)

    def test_a_function_windows_7_lacks_fails_with_its_name(self):
        with open(DLL, "rb") as f:
            data = bytearray(f.read())
        # The copy imports a newer function in place of one of KERNEL32's (its name written over
        # the old one's, which is at least as long).
        entries = [(dll, name, at) for dll, name, at in check_exports.import_entries(bytes(data))
                   if dll.lower() == "kernel32.dll" and at is not None]
        newer, (dll, name, at) = next((n, e) for n in NEWER for e in entries if len(e[1]) >= len(n))
        data[at:at + len(name)] = newer.encode().ljust(len(name), b"\0")
        with tempfile.TemporaryDirectory() as folder:
            copy = os.path.join(folder, "export_epd.dll")
            with open(copy, "wb") as f:
                f.write(data)
            status, out = run_check(copy)
        self.assertEqual(status, 1, out)
        self.assertIn("imports %s!%s, which is not on the list" % (dll, newer), out)
        self.assertEqual(out.count("which is not on the list"), 1, out)  # that one only

    def test_the_list_names_dll_and_function(self):
        for entry in check_exports.allowed_imports():
            self.assertRegex(entry, r"^[a-z0-9_]+\.dll!(#\d+|[a-z_][a-z0-9_]*)$")


if __name__ == "__main__":
    if len(sys.argv) > 1:
        DLL = sys.argv.pop(1)
    unittest.main(verbosity=2)
