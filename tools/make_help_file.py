#!/usr/bin/env python3
"""Builds the application's help file, resources/Help.glimmet, from the readable source in
resources/help-source/*.txt (read in name order) and the built-in function table.

The help file is the text engine's single-file XML form (root "glimmet"): structure (length and
knots), format (fonts, properties, styles, character and paragraph runs) and the text as runs
with <k0/> and <k1/> for the kink characters. The engine has no writer for it; this is it.

Source syntax, line by line:
  # Name {N}       a topic (chapter); "##" a sub-topic, "###" a third-level entry. The optional
                   {N} asserts the chapter's index, so the numbers callers open stay put.
  == Heading       a heading paragraph
  - item           a bulleted paragraph
  @functions Class one bookmarked entry per function of the class, in the browser's order
  // comment       ignored
  text             paragraph text; consecutive lines join, a blank line ends the paragraph.
  **bold**         inside text: bold characters

Usage: make_help_file.py [--check] [ROOT]   (ROOT defaults to the repository holding this file)
With --check, compares with the committed file and exits 1 when it differs.
"""

import os
import re
import sys
import uuid

K0, K1 = "\x00", "\x01"
CHAPTER_SLOTS = 6          # a chapter knot: begin, name, then six slots of one empty paragraph
FONT = "DejaVu Sans"

# Property records: (kind, [(tag, value)]), their indexes fixed by order.
PROPS = [
    ("char", [("font", 0), ("size", 52)]),                                   # 0 body text
    ("para", [("after", 76200)]),                                            # 1 body paragraph
    ("chap", [("between", 457200)]),                                         # 2 chapter
    ("char", [("bold", 1), ("font", 0), ("size", 64)]),                      # 3 heading text
    ("para", [("before", 152400), ("after", 76200), ("keepnext", 1)]),       # 4 heading paragraph
    ("char", [("bold", 1), ("font", 0), ("size", 52)]),                      # 5 bold text
    ("para", [("after", 76200), ("indentl", 228600), ("indent1", -228600)]), # 6 bulleted paragraph
]
BODY_CHAR, BODY_PARA, CHAPTER, HEAD_CHAR, HEAD_PARA, BOLD_CHAR, BULLET_PARA = range(7)
STYLES = [("Normal", "para", 0, BODY_PARA, BODY_CHAR), ("Heading", "para", 254, HEAD_PARA, HEAD_CHAR)]


def function_table(root):
    """The rows (name, description, arguments) and the classes' member names of the table."""
    path = os.path.join(root, "src/calculator/model/formula/caFunctionTable.cpp")
    with open(path, encoding="utf-8") as f:
        source = f.read()
    rows = {}
    for m in re.finditer(r'\{"([A-Z0-9.]+)",\s*[^,]+,\s*\w+,\s*"((?:[^"\\]|\\.)*)",\s*(?:"((?:[^"\\]|\\.)*)"|nullptr)\}',
                         source):
        rows[m.group(1)] = (m.group(2), m.group(3))
    classes = {}
    for m in re.finditer(r"k(\w+)Members\[\]\s*=\s*\{(.*?)\};", source, re.S):
        classes[m.group(1)] = re.findall(r'Row\("([^"]+)"\)', m.group(2))
    if len(rows) != 97 or not classes:
        sys.exit("make_help_file: can't read the function table in " + path)
    return rows, classes


class Builder:
    def __init__(self):
        self.text = []           # code units as str pieces
        self.length = 0
        self.knots = []          # (cp, type, kink, prop)
        self.char_runs = []      # (cp, prop)
        self.para_runs = []
        self.chapters = 0
        self.bookmark_count = 0

    def put(self, s):
        self.text.append(s)
        self.length += len(s.encode("utf-16-le")) // 2

    def run(self, table, prop):
        if table and table[-1][0] == self.length:
            table.pop()
        if not table or table[-1][1] != prop:
            table.append((self.length, prop))

    def chapter(self, name):
        self.run(self.para_runs, BODY_PARA)
        self.run(self.char_runs, BODY_CHAR)
        self.knots.append((self.length, "chapter", "beg", CHAPTER))
        self.put(K0)
        self.put(name)
        for slot in range(CHAPTER_SLOTS + 1):
            self.knots.append((self.length, "chapter", "end" if slot == CHAPTER_SLOTS else "mid", None))
            self.put(K1)
            if slot < CHAPTER_SLOTS:
                self.put("\n")
        self.chapters += 1

    def bookmark(self, seed):
        # Stable names, so that the file only changes when its source does.
        self.knots.append((self.length, "bookmark", "beg", None))
        self.put(K0)
        self.put(str(uuid.uuid5(uuid.NAMESPACE_URL, "tamsel-help:" + seed)).upper())
        self.knots.append((self.length, "bookmark", "mid", None))
        self.put(K0)
        self.knots.append((self.length, "bookmark", "end", None))
        self.put(K0)
        self.bookmark_count += 1

    def paragraph(self, text, para=BODY_PARA, char=BODY_CHAR, bookmark=None):
        self.run(self.para_runs, para)
        if bookmark:
            self.run(self.char_runs, char)
            self.bookmark(bookmark)
        parts = re.split(r"\*\*(.+?)\*\*", text)
        for i, part in enumerate(parts):
            if not part:
                continue
            self.run(self.char_runs, BOLD_CHAR if i % 2 and char == BODY_CHAR else char)
            self.put(part)
        self.run(self.char_runs, char)
        self.put("\n")

    def finish(self):
        self.run(self.para_runs, BODY_PARA)
        self.run(self.char_runs, BODY_CHAR)
        self.put("\n")


def escape(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def build(root):
    rows, classes = function_table(root)
    source_dir = os.path.join(root, "resources/help-source")
    b = Builder()
    pending = []

    def flush():
        if pending:
            b.paragraph(" ".join(pending))
            pending.clear()

    for file_name in sorted(os.listdir(source_dir)):
        if not file_name.endswith(".txt"):
            continue
        with open(os.path.join(source_dir, file_name), encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                where = "%s:%d" % (file_name, number)
                line = line.rstrip()
                if line.startswith("//"):
                    continue
                if not line.strip():
                    flush()
                    continue
                m = re.match(r"(#{1,3}) (.+?)(?: \{(\d+)\})?$", line)
                if m:
                    flush()
                    if m.group(3) is not None and int(m.group(3)) != b.chapters:
                        sys.exit("%s: topic %r is chapter %d, not %s" % (where, m.group(2), b.chapters, m.group(3)))
                    if b.chapters == 0 and len(m.group(1)) != 1:
                        sys.exit("%s: the first topic must be a top-level one" % where)
                    b.chapter("\t" * (len(m.group(1)) - 1) + m.group(2))
                    continue
                if b.chapters == 0:
                    sys.exit("%s: text before the first topic" % where)
                if line.startswith("== "):
                    flush()
                    b.paragraph(line[3:], HEAD_PARA, HEAD_CHAR)
                elif line.startswith("- "):
                    flush()
                    b.paragraph("\u2022\t" + line[2:], BULLET_PARA)
                elif line.startswith("@functions "):
                    flush()
                    name = line.split(None, 1)[1]
                    if name not in classes:
                        sys.exit("%s: no function class %r" % (where, name))
                    for function in classes[name]:
                        description, arguments = rows[function]
                        b.paragraph("**%s(%s)**: %s" % (function, arguments or "", description),
                                    bookmark=name + "/" + function)
                else:
                    pending.append(line.strip())
        flush()
    b.finish()
    return b


def xml(b):
    out = ['<?xml version="1.0" encoding="UTF-8"?>', "<glimmet>", "<ver>2</ver>", "<structure>",
           "<length>%d,%d</length>" % (b.length - 1, b.length), "<knots>"]
    for cp, kind, kink, prop in b.knots:
        if prop is None:
            out.append('<knot cp="%d" type="%s" kink="%s"/>' % (cp, kind, kink))
        else:
            out.append('<knot cp="%d" type="%s" kink="%s"><prop>%d</prop></knot>' % (cp, kind, kink, prop))
    out += ["</knots>", "</structure>", "<format>", "<fonts><font>%s</font></fonts>" % FONT,
            "<normal_chapter>%d</normal_chapter>" % CHAPTER, "<properties>"]
    for kind, fields in PROPS:
        out.append('<prop type="%s">%s</prop>' % (kind, "".join("<%s>%s</%s>" % (t, v, t) for t, v in fields)))
    out += ["</properties>", "<styles>"]
    for name, kind, bin_, para, char in STYLES:
        out.append('<style name="%s" type="%s" bin="%d"><prop>%d</prop><char>%d</char></style>'
                   % (name, kind, bin_, para, char))
    out.append("</styles>")
    for tag, table in (("char", b.char_runs), ("para", b.para_runs)):
        out.append("<%s>%s</%s>" % (tag, "".join("<run>%d,%d</run>" % run for run in table), tag))
    out += ["</format>", "<text>"]
    line = []
    for ch in "".join(b.text):
        if ch in (K0, K1):
            if line:
                out.append("<run>%s</run>" % escape("".join(line)))
                line = []
            out.append("<k0/>" if ch == K0 else "<k1/>")
        elif ch == "\n":
            line.append("&#10;")
            out.append("<run>%s</run>" % "".join(escape(c) if c != "&#10;" else c for c in line))
            line = []
        else:
            line.append(ch)
    if line:
        out.append("<run>%s</run>" % escape("".join(line)))
    out += ["</text>", "</glimmet>", ""]
    return "\n".join(out)


def main(argv):
    check = "--check" in argv
    args = [a for a in argv if a != "--check"]
    root = args[0] if args else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    made = xml(build(root))
    target = os.path.join(root, "resources/Help.glimmet")
    if check:
        with open(target, encoding="utf-8") as f:
            if f.read() != made:
                print("resources/Help.glimmet is not what tools/make_help_file.py makes", file=sys.stderr)
                return 1
        return 0
    with open(target, "w", encoding="utf-8", newline="\n") as f:
        f.write(made)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
