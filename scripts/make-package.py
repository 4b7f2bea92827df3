#!/usr/bin/env python3
"""Puts the release package together from a built win32 tree (scripts/package.sh runs it):

    make-package.py --version 1.0.0 --build build/win32 --output dist/export_epd-1.0.0-win32.zip

The zip holds, at its top: export_epd.dll, epd.exe, guide.html, sample/export_epd.ini (code
page 1251, CRLF) and SHA256SUMS (sha256sum's format, one line per other file). Names are ASCII,
so every unzip program shows them the same."""
import argparse
import hashlib
import os
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLE = os.path.join(ROOT, "docs", "ru", "sample", "export_epd.ini")


def sample_settings():
    """The sample settings file as the library and Notepad read it: code page 1251, CRLF."""
    text = open(SAMPLE, encoding="utf-8").read()
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp1251")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--version", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as work:
        guide = os.path.join(work, "guide.html")
        subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "build-guide.py"), "--version", args.version,
                        "--output", guide], check=True)
        files = [
            ("export_epd.dll", open(os.path.join(args.build, "export_epd.dll"), "rb").read()),
            ("epd.exe", open(os.path.join(args.build, "tools", "epd", "epd.exe"), "rb").read()),
            ("guide.html", open(guide, "rb").read()),
            ("sample/export_epd.ini", sample_settings()),
        ]
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in files)
    files.append(("SHA256SUMS", sums.encode("ascii")))

    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    stamp = time.localtime()[:6]
    partial = args.output + ".part"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, data)
    os.replace(partial, args.output)
    for name, data in files:
        print("package: %-22s %9d bytes" % (name, len(data)))
    print("package: %s" % args.output)


main()
