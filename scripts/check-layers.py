#!/usr/bin/env python3
"""Checks that every #include of the library's sources points down the order of its layers.

The layers, lowest first (a file may include files of its own layer and of the layers before it):

    boundary   include        the C interface of the library (export_epd.h): types only, no code
    platform   src/platform   the only code that knows the operating system
    tables     src/tables     dBASE storage
    sql        src/sql        the local SQL on top of the storage
    dbf        src/dbf        the byte-exact DBF file writer
    suppliers  src/suppliers  supplier list and code tables, supplier dialog logic
    config     src/config     settings schema and file, field catalogue, dialog logic
    export     src/export     library state, entry points (which implement include/), the export
    ui         src/ui         Win32 windows
    tools      tools          the command-line tool

ui and tools are both on top and do not include each other. Besides the quoted includes, the
system headers of an operating system (<windows.h>, <unistd.h>, ...) may appear only in the
platform layer, the windows of src/ui and the tool's terminal_*.cpp; tests may use them.

    check-layers.py [--root DIR]    prints every include against the order; exit 1 when any
"""
import argparse
import os
import re
import sys

LAYERS = [
    ("boundary", "include"),
    ("platform", "src/platform"),
    ("tables", "src/tables"),
    ("sql", "src/sql"),
    ("dbf", "src/dbf"),
    ("suppliers", "src/suppliers"),
    ("config", "src/config"),
    ("export", "src/export"),
    ("ui", "src/ui"),
    ("tools", "tools"),
]
RANK = {"boundary": -1, "platform": 0, "tables": 1, "sql": 2, "dbf": 3, "suppliers": 4, "config": 5, "export": 6,
        "ui": 7, "tools": 7}
OS_HEADERS = re.compile(r"^(windows|winbase|winuser|commdlg|commctrl|shellapi|shlobj|io|direct|"
                        r"unistd|dirent|fcntl|pwd|dlfcn|sys/.*)\.h$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_EXTENSIONS = (".h", ".hpp", ".cpp", ".cc", ".c")


def layer_of(relative_path):
    """The layer of a file given by its path from the repository's top; None outside the layers."""
    path = relative_path.replace(os.sep, "/")
    for name, folder in LAYERS:
        if path == folder or path.startswith(folder + "/"):
            return name
    return None


def is_test(relative_path):
    base = os.path.basename(relative_path)
    stem = os.path.splitext(base)[0]
    return (stem.endswith("_test") or stem.endswith("_wintest") or stem.startswith("test_")
            or stem.endswith("_test_util") or stem.startswith("fake_"))


def may_use_os_headers(relative_path):
    layer = layer_of(relative_path)
    if layer in ("platform", "ui") or is_test(relative_path):
        return True
    base = os.path.basename(relative_path)
    return layer == "tools" and (base.endswith("_posix.cpp") or base.endswith("_win32.cpp"))


def resolve(root, including, target):
    """The path from the top of the file a quoted include names: beside the including file, else
    below src/ or include/ (the include directories of the build)."""
    candidates = [os.path.join(os.path.dirname(including), target),
                  os.path.join("src", target), os.path.join("include", target)]
    for candidate in candidates:
        candidate = os.path.normpath(candidate)
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def source_files(root):
    for _, folder in LAYERS:
        top = os.path.join(root, folder)
        for directory, _, files in os.walk(top):
            for name in sorted(files):
                if name.endswith(SOURCE_EXTENSIONS):
                    yield os.path.relpath(os.path.join(directory, name), root)


def violations(root):
    found = []
    for path in source_files(root):
        layer = layer_of(path)
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                kind, target = match.groups()
                where = f"{path}:{number}"
                if kind == "<":
                    if OS_HEADERS.match(target) and not may_use_os_headers(path):
                        found.append(f"{where}: <{target}> is the operating system's; only "
                                     f"src/platform (and the windows in src/ui) may include it")
                    continue
                included = resolve(root, path, target)
                if included is None:
                    found.append(f'{where}: "{target}" names no file of the sources')
                    continue
                other = layer_of(included)
                if other is None or other == layer:
                    continue
                if RANK[other] >= RANK[layer]:
                    found.append(f'{where}: layer {layer} includes "{target}" of layer {other}, '
                                 f"which stands above it")
    return found


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    args = parser.parse_args(argv)
    root = os.path.abspath(args.root)
    found = violations(root)
    for line in found:
        print(line)
    if found:
        print(f"check-layers: {len(found)} include(s) against the order of the layers")
        return 1
    print("check-layers: every include points down the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
