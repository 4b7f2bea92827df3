#!/usr/bin/env python3
"""Checks a release package as a pharmacy gets it:

    check-package.py --version 1.0.0 --epd build/linux/tools/epd/epd dist/export_epd-1.0.0-win32.zip

- exactly the expected files, each listed in SHA256SUMS with its right checksum;
- the DLL and the tool are 32-bit, without symbols, and carry the version resource; the DLL
  passes the export-table check (scripts/check-exports.py);
- the sample settings file is code page 1251 with CRLF line ends, and the library reads from it
  the settings the sample describes (through the epd tool, on a copy of the sample host);
- the guide is one UTF-8 HTML page that opens without anything beside it: its pictures inside,
  its links to its own chapters only."""
import argparse
import base64
import hashlib
import html.parser
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.abspath(__file__)) + "/.."
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe  # noqa: E402

NAMES = {"export_epd.dll", "epd.exe", "guide.html", "sample/export_epd.ini", "SHA256SUMS"}
# What the sample says, as the library reads it.
SAMPLE_SETTINGS = {
    ("EPD", "bExportEPD"): "1",
    ("EPD", "Export_Dir"): "C:\\Обмен\\Накладные",
    ("EPD", "bDOScoding"): "0",
    ("EPD", "lavel"): "5",
    ("EPD", "singlefile"): "0",
    ("EPD", "manyfiles"): "0",
    ("EPD", "seller"): "0",
    ("EPD", "bAutoExportEPD"): "1",
    ("EPD", "charlength"): "8",
    ("Settings", "bchangecncode"): "0",
}

problems = []


def fail(text):
    problems.append(text)
    print("check-package: " + text)


def check_files(z):
    """True when every expected file is there."""
    names = set(z.namelist())
    if names != NAMES:
        fail("the package holds %s, expected %s" % (sorted(names), sorted(NAMES)))
        if not NAMES <= names:
            return False
    sums = {}
    for line in z.read("SHA256SUMS").decode("ascii").splitlines():
        digest, name = line.split("  ", 1)
        sums[name] = digest
    if set(sums) != NAMES - {"SHA256SUMS"}:
        fail("SHA256SUMS lists %s" % sorted(sums))
    for name, digest in sums.items():
        if name in names and hashlib.sha256(z.read(name)).hexdigest() != digest:
            fail("the checksum of %s is not the one in SHA256SUMS" % name)
    return True


def check_binaries(folder, version):
    for name in ("export_epd.dll", "epd.exe"):
        data = open(os.path.join(folder, name), "rb").read()
        image = pe.PeImage(data)
        if image.bits != 32:
            fail("%s is a %d-bit file" % (name, image.bits))
        pe_at = struct.unpack_from("<I", data, 0x3C)[0]
        symbols, count = struct.unpack_from("<II", data, pe_at + 12)
        if symbols or count or any(s[0].startswith(".debug") for s in image.sections):
            fail("%s still has symbols" % name)
    scripts = os.path.join(ROOT, "scripts")
    for command in (["check-exports.py", os.path.join(folder, "export_epd.dll")],
                    ["check-version-resource.py", "--version", version, os.path.join(folder, "export_epd.dll"),
                     os.path.join(folder, "epd.exe")]):
        if subprocess.run([sys.executable, os.path.join(scripts, command[0])] + command[1:]).returncode != 0:
            fail("%s fails on the package's files" % command[0])


def epd(tool, *args):
    r = subprocess.run([tool] + list(args), capture_output=True, text=True)
    if r.returncode != 0:
        fail("epd %s: %s" % (" ".join(args), r.stderr.strip()))
    return r.stdout


def check_sample(folder, tool):
    raw = open(os.path.join(folder, "sample", "export_epd.ini"), "rb").read()
    try:
        text = raw.decode("cp1251")
    except UnicodeDecodeError as e:
        return fail("the sample settings file is not code page 1251: %s" % e)
    try:
        raw.decode("utf-8")
        fail("the sample settings file reads as UTF-8: its Russian texts are not in code page 1251")
    except UnicodeDecodeError:
        pass
    if raw.count(b"\n") != raw.count(b"\r\n") or not raw.endswith(b"\r\n"):
        fail("the sample settings file has line ends other than CRLF")
    if "нет" not in text or "Накладные" not in text:
        fail("the sample settings file lacks its Russian texts")

    with tempfile.TemporaryDirectory() as work:
        sample_host = os.path.join(work, "sample")
        shutil.copytree(os.path.join(ROOT, "examples", "host"), sample_host)
        host = os.path.join(work, "host")
        shutil.copytree(sample_host, host)
        shutil.copy(os.path.join(folder, "sample", "export_epd.ini"), os.path.join(host, "DATA", "export_epd.ini"))
        for (section, key), want in SAMPLE_SETTINGS.items():
            got = epd(tool, "settings", "--base", host, "get", section, key).rstrip("\n")
            if got != want:
                fail("the sample's %s/%s reads as %r, expected %r" % (section, key, got, want))
        # The field mapping is the sample host's, whose export the README shows.
        def mapping_of(base):  # without the line naming the file
            return [l for l in epd(tool, "mapping", "--base", base, "show").splitlines() if "export_epd.ini" not in l]

        mapping, expected = mapping_of(host), mapping_of(sample_host)
        if mapping != expected:
            fail("the sample's field mapping differs from the sample host's")


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.charset = None
        self.title = ""
        self.in_title = False
        self.images = []
        self.links = []
        self.ids = set()
        self.text = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if "id" in a:
            self.ids.add(a["id"])
        if tag == "meta" and a.get("charset"):
            self.charset = a["charset"].lower()
        if tag == "title":
            self.in_title = True
        if tag == "img":
            self.images.append(a.get("src", ""))
        if tag in ("a", "link", "script") and (a.get("href") or a.get("src")):
            self.links.append(a.get("href") or a.get("src"))

    def handle_endtag(self, tag):
        if tag == "title":
            self.in_title = False

    def handle_data(self, data):
        if self.in_title:
            self.title += data
        self.text.append(data)


def check_guide(folder, version):
    raw = open(os.path.join(folder, "guide.html"), "rb").read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        return fail("the guide is not UTF-8")
    page = Page()
    page.feed(text)
    words = " ".join(page.text)
    if page.charset != "utf-8":
        fail("the guide does not say it is UTF-8")
    if "Экспорт электронных накладных" not in page.title:
        fail("the guide's title is %r" % page.title)
    for wanted in ("Версия " + version, "Сообщения и что с ними делать", "Накладная уже экспортирована. Заменить?",
                   "Windows 7"):
        if wanted not in words:
            fail("the guide does not show %r" % wanted)
    if len(page.images) < 9:
        fail("the guide has %d pictures, expected the 9 windows" % len(page.images))
    for src in page.images:
        prefix = "data:image/png;base64,"
        if not src.startswith(prefix) or not base64.b64decode(src[len(prefix):])[:8] == b"\x89PNG\r\n\x1a\n":
            fail("a picture of the guide is not inside it: %s" % src[:60])
    for link in page.links:
        if not link.startswith("#") or link[1:] not in page.ids:
            fail("the guide links to %s" % link)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--version", required=True)
    parser.add_argument("--epd", required=True, help="the native epd tool, to read the sample settings")
    parser.add_argument("package")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        with zipfile.ZipFile(args.package) as z:
            if z.testzip() is not None:
                fail("the zip is damaged")
            complete = check_files(z)
            z.extractall(folder)
        if complete:
            check_binaries(folder, args.version)
            check_sample(folder, os.path.abspath(args.epd))
            check_guide(folder, args.version)
    if problems:
        sys.exit(1)
    print("check-package: %s: %d files, checksums, binaries, sample settings and guide as expected" %
          (args.package, len(NAMES)))


main()
