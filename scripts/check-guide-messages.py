#!/usr/bin/env python3
"""Keeps the Russian guide level with the code: every message the library and the tool can show
must stand in the guide's troubleshooting tables, and every caption and label of the windows
somewhere in the guide.

What counts as a text of the code: every Cyrillic string literal ("..."_cp) in the sources under
src/ and tools/ (tests and test helpers left out), plus the few messages in other languages
listed in OTHER_MESSAGES. Adjacent literals are joined as the compiler joins them.

How a text is told apart:
- a window's text (caption, label, button, group, grid title, a field's caption in the mapping
  editors, the type word "нет"): a literal handed to a window-building call in src/ui/, one
  returned by a function whose name ends in "Caption", or one of the dialog tables in
  DIALOG_TABLES. Single letters (the supplier search's key map) are left out;
- anything else is a message, or a piece of one. A message composed of pieces ("Файл таблицы "
  + path + " повреждён: " + reason) is found when its pieces stand in one table row in their
  order; the pieces of one statement belong together, and so do consecutive `m += ...`
  statements that build one text. Each piece is compared without the blanks and punctuation
  around it, so the guide writes the placeholders as it likes (‹файл›).

    check-guide-messages.py [--guide docs/ru/guide.md] [--list] [--drop-rows TEXT]

--list prints every text found, --drop-rows checks a copy of the guide without the table rows
that hold TEXT (to see that the check catches a missing row). Exit 1 names each missing text
with the file and line where the code has it."""
import argparse
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TROUBLESHOOTING = "Сообщения и что с ними делать"
OTHER_MESSAGES = ["Unable to write to "]
DIALOG_TABLES = {"src/config/field_catalogue.h", "src/suppliers/search_keys.cpp"}
WINDOW_CALL = re.compile(r"\b(AddLabel|AddButton|AddGlyphButton|AddGroupBox|AddCheckBox|check|Wide)\s*\(")
CAPTION_FUNCTION = re.compile(r"\w*Caption\s*\([^()]*\)\s*(const)?\s*$")
APPEND = re.compile(r"^\s*(\w+)\s*\+=")
CYRILLIC = re.compile("[\u0400-\u04FF]")
TRIM = " \t\r\n:,;\"'(«»"


def sources():
    for top in ("src", "tools"):
        for folder, _, files in os.walk(os.path.join(ROOT, top)):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                if re.search(r"(_test|_wintest|_fuzz)\.cpp$|^test_|^fake_", name):
                    continue
                path = os.path.join(folder, name)
                yield os.path.relpath(path, ROOT).replace(os.sep, "/"), open(path, encoding="utf-8").read()


def unescape(body):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m.group(1), m.group(1)), body)


def statements(text):
    """The file as statements: (text with literals replaced by \\x00<index>\\x00, literals, line,
    depth, enclosing block headers). Comments are dropped; adjacent literals joined."""
    out = []
    literals = []
    current = []
    current_literals = []
    headers = []
    line = 1
    start_line = 1
    i = 0
    n = len(text)
    last_was_literal = False
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += text.count("\n", i, end)
            i = end
            continue
        if c == "'" and not (i > 0 and text[i - 1].isdigit()):  # a character literal, not 1'000
            m = re.match(r"'(\\.|[^'\\])*'", text[i:])
            if m:
                current.append(" ")
                i += m.end()
                continue
        if c == '"':
            m = re.match(r'"((?:\\.|[^"\\])*)"(_cp)?', text[i:])
            body = unescape(m.group(1))
            if last_was_literal:  # "a" "b"_cp is one literal
                literals[-1] = (literals[-1][0] + body, m.group(2) == "_cp" or literals[-1][1], literals[-1][2])
            else:
                literals.append((body, m.group(2) == "_cp", line))
                current_literals.append(len(literals) - 1)
                current.append("\0%d\0" % (len(literals) - 1))
            line += m.group(0).count("\n")
            i += m.end()
            last_was_literal = True
            continue
        if not c.isspace():
            last_was_literal = False
        if c == "\n":
            line += 1
        if c in ";{}":
            stmt = "".join(current).strip()
            if stmt or current_literals:
                out.append((stmt, [literals[k] for k in current_literals], start_line, len(headers), list(headers)))
            if c == "{":
                headers.append(stmt)
            elif c == "}" and headers:
                headers.pop()
            current, current_literals = [], []
            start_line = line
            i += 1
            continue
        if not current and not c.isspace():
            start_line = line
        current.append(c)
        i += 1
    return out


def piece(text):
    return text.strip(TRIM)


def texts_of_code():
    """([(file, line, [pieces])] messages, [(file, line, text)] window texts)."""
    messages, windows = [], []
    for path, text in sources():
        run = None  # the message being built by consecutive `m += ...` statements
        for stmt, lits, line, depth, headers in statements(text):
            shown = [(body, ln) for body, cp, ln in lits if cp and CYRILLIC.search(body)]
            for other in OTHER_MESSAGES:
                shown += [(body, ln) for body, cp, ln in lits if body == other]
            append = APPEND.match(stmt)
            if run and not (append and append.group(1) == run[0] and depth == run[1]):
                run = None
            if not shown:
                continue
            window = path in DIALOG_TABLES or (path.startswith("src/ui/") and WINDOW_CALL.search(stmt)) or any(
                CAPTION_FUNCTION.search(h) for h in headers)
            if window:
                windows += [(path, ln, body) for body, ln in shown if len(body.strip()) > 1]
                continue
            pieces = [piece(body) for body, _ in shown if piece(body)]
            if append:
                if run:
                    run[2][2].extend(pieces)
                    continue
                run = (append.group(1), depth, (path, shown[0][1], pieces))
                messages.append(run[2])
            else:
                messages.append((path, shown[0][1], pieces))
    return messages, windows


def normal(text):
    text = text.replace("\\|", "|").replace("**", "").replace("`", "")
    text = re.sub(r"\\([\\`*_{}\[\]()#+\-.!<>\"])", r"\1", text)
    return re.sub(r"\s+", " ", text).strip()


def guide_rows(markdown):
    """The first cells of the table rows in the troubleshooting section, and the whole guide."""
    rows, inside, level = [], False, 0
    for line in markdown.splitlines():
        heading = re.match(r"^(#+)\s+(.*)$", line)
        if heading:
            if inside and len(heading.group(1)) <= level:
                inside = False
            if heading.group(2).strip() == TROUBLESHOOTING:
                inside, level = True, len(heading.group(1))
            continue
        if inside and line.startswith("|") and not re.match(r"^\|[\s:|-]+\|?\s*$", line):
            cells = re.split(r"(?<!\\)\|", line.strip())[1:-1]
            if cells:
                rows.append(normal(cells[0]))
    return rows


def in_order(pieces, row):
    at = 0
    for p in pieces:
        found = row.find(normal(p), at)
        if found < 0:
            return False
        at = found + len(normal(p))
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--guide", default=os.path.join(ROOT, "docs", "ru", "guide.md"))
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--drop-rows")
    args = parser.parse_args()
    markdown = open(args.guide, encoding="utf-8").read()
    if args.drop_rows:
        markdown = "\n".join(l for l in markdown.splitlines() if not (l.startswith("|") and args.drop_rows in l))
    messages, windows = texts_of_code()
    rows = guide_rows(markdown)
    whole = normal(markdown)
    if not rows:
        print("check-guide-messages: %s has no section \"%s\" with a table" % (args.guide, TROUBLESHOOTING))
        sys.exit(1)
    for other in OTHER_MESSAGES:
        if not any(piece(other) in p for _, _, ps in messages for p in ps):
            print("check-guide-messages: \"%s\" is no longer in the code: take it out of OTHER_MESSAGES" % other)
            sys.exit(1)
    if args.list:
        for path, line, pieces in messages:
            print("message %s:%d: %s" % (path, line, " … ".join(pieces)))
        for path, line, text in windows:
            print("window  %s:%d: %s" % (path, line, text.replace("\r\n", " / ")))

    missing = [(path, line, pieces) for path, line, pieces in messages if not any(in_order(pieces, r) for r in rows)]
    absent = [(path, line, text) for path, line, text in windows
              if not all(normal(part) in whole for part in text.split("\r\n"))]
    for path, line, pieces in missing:
        print("check-guide-messages: missing from the table \"%s\": \"%s\"  (%s:%d)" %
              (TROUBLESHOOTING, " … ".join(pieces), path, line))
    for path, line, text in absent:
        print("check-guide-messages: window text missing from the guide: \"%s\"  (%s:%d)" %
              (text.replace("\r\n", " / "), path, line))
    print("check-guide-messages: %d message(s), %d window text(s); %d missing" %
          (len(messages), len(windows), len(missing) + len(absent)))
    sys.exit(1 if missing or absent else 0)


main()
