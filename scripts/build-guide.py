#!/usr/bin/python3
"""Makes the guide a pharmacy opens on Windows without any tools: one HTML file in UTF-8 with its
pictures inside (data: addresses), from the Markdown source in docs/ru/.

    build-guide.py --version 1.0.0 --output dist/guide.html [docs/ru/guide.md]

Needs python3-markdown (Debian package), so Debian's /usr/bin/python3."""
import argparse
import base64
import html
import os
import re
import sys

import markdown

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

STYLE = """
body { font-family: "Segoe UI", Tahoma, Arial, sans-serif; font-size: 15px; line-height: 1.45;
       max-width: 60em; margin: 1em auto; padding: 0 1em; color: #1a1a1a; }
h1 { font-size: 1.7em; border-bottom: 2px solid #24527a; padding-bottom: .2em; }
h2 { font-size: 1.35em; color: #24527a; margin-top: 1.8em; border-bottom: 1px solid #ccd; }
h3 { font-size: 1.15em; margin-top: 1.4em; }
table { border-collapse: collapse; margin: .8em 0; width: 100%; }
th, td { border: 1px solid #bbc; padding: .3em .5em; vertical-align: top; text-align: left; }
th { background: #e8eef5; }
tr:nth-child(even) td { background: #f7f9fb; }
code, pre { font-family: Consolas, "Courier New", monospace; font-size: .93em; }
pre { background: #f3f3f3; border: 1px solid #ddd; padding: .6em; overflow-x: auto; }
img { max-width: 100%; border: 1px solid #999; margin: .4em 0; }
.toc { background: #f5f7fa; border: 1px solid #dde; padding: .4em 1em; }
.version { color: #555; }
"""


def embed_images(text, base):
    """Replaces each <img src="relative.png"> by the picture itself."""

    def inline(m):
        src = html.unescape(m.group(2))
        if re.match(r"^[a-z]+:", src):
            return m.group(0)
        path = os.path.join(base, src)
        if not os.path.exists(path):
            sys.exit("build-guide: the picture %s is missing" % path)
        data = base64.b64encode(open(path, "rb").read()).decode("ascii")
        return '%sdata:image/png;base64,%s%s' % (m.group(1), data, m.group(3))

    return re.sub(r'(<img[^>]*\ssrc=")([^"]+)(")', inline, text)


def build(source, version):
    text = open(source, encoding="utf-8").read()
    md = markdown.Markdown(extensions=["tables", "fenced_code", "toc", "sane_lists"],
                           extension_configs={"toc": {"toc_depth": "2-3", "title": "Содержание"}})
    body = md.convert(text)
    title = re.search(r"^#\s+(.*)$", text, re.M).group(1)
    # The version under the title; the contents before the first chapter.
    title_end = body.find("</h1>") + len("</h1>")
    first_chapter = body.find("<h2")
    body = (body[:title_end] + '\n<p class="version">Версия %s</p>\n' % html.escape(version) +
            body[title_end:first_chapter] + md.toc + body[first_chapter:])
    body = embed_images(body, os.path.dirname(source))
    return ("<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>%s</title>\n<style>%s</style>\n</head>\n<body>\n%s\n</body>\n</html>\n" %
            (html.escape(title), STYLE, body))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--version", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("source", nargs="?", default=os.path.join(ROOT, "docs", "ru", "guide.md"))
    args = parser.parse_args()
    page = build(args.source, args.version)
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with open(args.output, "w", encoding="utf-8", newline="\r\n") as out:
        out.write(page)


main()
