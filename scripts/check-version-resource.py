#!/usr/bin/env python3
"""Checks the version resource of the product's Windows files, as Explorer's Properties page
reads it: the fixed file and product version, the Russian Unicode string table (0419 04B0) that
the translation list names, and every string in it.

    check-version-resource.py --version 1.0.0 FILE...

The version is the project's (project(... VERSION ...) in CMakeLists.txt)."""
import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe  # noqa: E402

COMPANY = "export_epd developers"
PRODUCT = "export_epd"
DESCRIPTION = "Экспорт электронных накладных в файлы dBASE"
LANGUAGE = 0x0419  # Russian
CODEPAGE = 1200  # Unicode (UTF-16)
VFT_APP, VFT_DLL = 1, 2


def numbers(version):
    parts = [int(p) for p in version.split(".")]
    return (parts + [0, 0, 0, 0])[:4]


def check(path, version):
    problems = []
    name = os.path.basename(path)
    image = pe.PeImage(open(path, "rb").read())
    found = image.resources(pe.RT_VERSION)
    if len(found) != 1:
        return ["%d version resources, expected one" % len(found)]
    _, language, blob = found[0]
    if language != LANGUAGE:
        problems.append("resource language 0x%04x, expected 0x%04x (Russian)" % (language, LANGUAGE))
    key, fixed, children = pe.version_info_tree(blob)
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        return problems + ["no VS_VERSION_INFO with a fixed part"]
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIIIII", fixed)
    file_type = struct.unpack_from("<I", fixed, 36)[0]
    if signature != 0xFEEF04BD:
        problems.append("fixed part signature 0x%08x" % signature)
    want = numbers(version)
    for what, ms, ls in (("file", file_ms, file_ls), ("product", product_ms, product_ls)):
        got = [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
        if got != want:
            problems.append("fixed %s version %s, expected %s" % (what, got, want))
    want_type = VFT_DLL if name.lower().endswith(".dll") else VFT_APP
    if file_type != want_type:
        problems.append("file type %d, expected %d" % (file_type, want_type))

    blocks = {k: (v, c) for k, v, c in children}
    translation = blocks.get("VarFileInfo", (None, []))[1]
    translations = [v for k, v, _ in translation if k == "Translation"]
    if translations != [struct.pack("<HH", LANGUAGE, CODEPAGE)]:
        problems.append("translation list %r, expected 0419 04B0 only" % translations)
    tables = blocks.get("StringFileInfo", (None, []))[1]
    table_key = "%04X%04X" % (LANGUAGE, CODEPAGE)
    if [k for k, _, _ in tables] != [table_key]:
        problems.append("string tables %s, expected %s only" % ([k for k, _, _ in tables], table_key))
    strings = {k: v for t, _, c in tables if t == table_key for k, v, _ in c}
    stem = os.path.splitext(name)[0]
    expected = {
        "CompanyName": COMPANY,
        "FileDescription": DESCRIPTION,
        "FileVersion": version,
        "InternalName": stem,
        "OriginalFilename": name,
        "ProductName": PRODUCT,
        "ProductVersion": version,
    }
    for k, want_text in expected.items():
        if strings.get(k) != want_text:
            problems.append("%s is %r, expected %r" % (k, strings.get(k), want_text))
    for k in sorted(set(strings) - set(expected)):
        problems.append("unexpected string %s = %r" % (k, strings[k]))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--version", required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    ok = True
    for path in args.files:
        problems = check(path, args.version)
        for p in problems:
            print("check-version-resource: %s: %s" % (path, p))
        if problems:
            ok = False
        else:
            print("check-version-resource: %s: version %s, \"%s\"" % (path, args.version, DESCRIPTION))
    sys.exit(0 if ok else 1)


main()
