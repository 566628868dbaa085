#!/usr/bin/env python3
"""Check the zorva system font source (assets/font/system_font.txt).

Usage:
    python3 tools/fontcheck.py FONT                 check only
    python3 tools/fontcheck.py FONT --show TEXT     check, then draw TEXT
    python3 tools/fontcheck.py FONT --table         check, then draw every glyph

In TEXT, "\\xNN" stands for byte NN (e.g. "\\x8b\\x91" for the left and right
arrows), "\\n" starts a new line and "\\\\" is a backslash.

File format (the same rules are written in the font file's header):
  * Outside a glyph block, blank lines and lines starting with '#' are
    comments.
  * A block starts with the line  "glyph 0xNN [label]"  (two hex digits) and
    is followed by exactly 5 row lines.  Inside a block every line is a row,
    even one that starts with '#'.
  * A row is made of '#' (ink) and '.' (blank); all 5 rows of a glyph have
    the same length, which is the glyph's width.  Trailing whitespace is
    ignored.
  * Blocks come in byte order 0x00..0xFF, each byte exactly once.
  * Bytes 0x00-0x7F are 3 wide; bytes 0x80-0xFF are 1 to 7 wide.
  * Byte 0x20 (space) has no ink; every other glyph has at least one ink
    pixel.
  * No two glyphs are exactly alike.

Exit status: 0 if the font is valid, 1 if not (every problem is listed),
2 on bad usage.  Standard library only.
"""

import re
import sys

HEIGHT = 5
NARROW_WIDTH = 3
WIDE_MAX = 7
GLYPH_LINE = re.compile(r"^glyph\s+0x([0-9A-Fa-f]{2})(?:\s+(.*))?$")


class Glyph:
    def __init__(self, code, label, rows, line):
        self.code = code
        self.label = label
        self.rows = rows
        self.line = line

    @property
    def width(self):
        return len(self.rows[0]) if self.rows else 0


def parse(path):
    """Return (glyphs, errors). Parsing goes on after errors where it can."""
    errors = []
    glyphs = []
    try:
        with open(path, encoding="ascii") as f:
            lines = f.read().split("\n")
    except UnicodeDecodeError as e:
        return [], [f"{path}: not plain ASCII ({e})"]
    except OSError as e:
        return [], [f"{path}: cannot read ({e.strerror})"]

    i = 0
    while i < len(lines):
        raw = lines[i].rstrip()
        lineno = i + 1
        i += 1
        if raw == "" or raw.startswith("#"):
            continue
        m = GLYPH_LINE.match(raw)
        if not m:
            errors.append(f"line {lineno}: expected 'glyph 0xNN [label]', "
                          f"got {raw!r}")
            continue
        code = int(m.group(1), 16)
        label = (m.group(2) or "").strip()
        rows = []
        for k in range(HEIGHT):
            if i >= len(lines):
                errors.append(f"line {lineno}: glyph 0x{code:02X} ends after "
                              f"{k} of {HEIGHT} rows (end of file)")
                break
            row = lines[i].rstrip()
            rlineno = i + 1
            if GLYPH_LINE.match(row):
                errors.append(f"line {rlineno}: glyph 0x{code:02X} has only "
                              f"{k} of {HEIGHT} rows")
                break
            i += 1
            bad = sorted(set(row) - {"#", "."})
            if bad:
                errors.append(f"line {rlineno}: glyph 0x{code:02X} row {k} "
                              f"uses {''.join(bad)!r}; only '#' and '.' "
                              f"are allowed")
            if row == "":
                errors.append(f"line {rlineno}: glyph 0x{code:02X} row {k} "
                              f"is empty")
            rows.append(row)
        glyphs.append(Glyph(code, label, rows, lineno))
    return glyphs, errors


def check(glyphs):
    errors = []
    expected = 0
    seen = {}
    for g in glyphs:
        where = f"line {g.line}: glyph 0x{g.code:02X}"
        if g.code in seen:
            errors.append(f"{where} appears again (first at line "
                          f"{seen[g.code]})")
        else:
            seen[g.code] = g.line
            if g.code != expected:
                errors.append(f"{where} is out of order (expected "
                              f"0x{expected:02X} here)")
            expected = g.code + 1
        if len(g.rows) != HEIGHT or "" in g.rows:
            continue  # already reported by the parser
        widths = {len(r) for r in g.rows}
        if len(widths) != 1:
            errors.append(f"{where} has rows of different widths "
                          f"{sorted(widths)}")
            continue
        w = g.width
        if g.code < 0x80:
            if w != NARROW_WIDTH:
                errors.append(f"{where} is {w} wide; bytes 0x00-0x7F must "
                              f"be {NARROW_WIDTH} wide")
        elif not 1 <= w <= WIDE_MAX:
            errors.append(f"{where} is {w} wide; bytes 0x80-0xFF must be "
                          f"1 to {WIDE_MAX} wide")
        ink = any("#" in r for r in g.rows)
        if g.code == 0x20 and ink:
            errors.append(f"{where} (space) must have no ink")
        elif g.code != 0x20 and not ink:
            errors.append(f"{where} has no ink; only space may be blank")
    missing = [c for c in range(256) if c not in seen]
    if missing:
        shown = ", ".join(f"0x{c:02X}" for c in missing[:16])
        more = f" and {len(missing) - 16} more" if len(missing) > 16 else ""
        errors.append(f"missing glyphs: {shown}{more}")
    return errors


def alike(glyphs):
    """Glyphs that look exactly like an earlier one (an error: text must
    read unambiguously)."""
    out = []
    first = {}
    for g in glyphs:
        if len(g.rows) != HEIGHT:
            continue
        key = tuple(g.rows)
        if key in first:
            out.append(f"line {g.line}: glyph 0x{g.code:02X} looks exactly "
                       f"like glyph 0x{first[key]:02X}")
        else:
            first[key] = g.code
    return out


def near(glyphs):
    """Printable glyphs 0x21-0x7E that differ in a single pixel (shown as
    notes, for the eye to judge: a capital and its small capital often
    differ only in height)."""
    out = []
    printable = [g for g in glyphs
                 if 0x21 <= g.code <= 0x7E and len(g.rows) == HEIGHT]
    for i, a in enumerate(printable):
        for b in printable[i + 1:]:
            if a.width != b.width:
                continue
            d = sum(p != q for ra, rb in zip(a.rows, b.rows)
                    for p, q in zip(ra, rb))
            if d == 1:
                out.append(f"{chr(a.code)} and {chr(b.code)} differ in one "
                           f"pixel")
    return out


def decode_text(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x" and re.match(r"[0-9A-Fa-f]{2}", text[i + 2:i + 4]):
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            if n == "n":
                out.append(10)
                i += 2
                continue
            if n == "\\":
                out.append(0x5C)
                i += 2
                continue
        if ord(c) > 0x7F:
            raise ValueError(f"character {c!r} is not ASCII; write it as "
                             f"\\xNN")
        out.append(ord(c))
        i += 1
    return out


def render(byte_lines, font, ink="##", blank="  "):
    """Draw lines of bytes; each glyph is followed by one blank column."""
    out = []
    for codes in byte_lines:
        rows = [""] * HEIGHT
        for c in codes:
            g = font[c]
            for y in range(HEIGHT):
                rows[y] += "".join(ink if p == "#" else blank
                                   for p in g.rows[y]) + blank
        out.extend(r.rstrip() for r in rows)
        out.append("")
    return "\n".join(out)


def main(argv):
    args = argv[1:]
    if not args or args[0] in ("-h", "--help"):
        print(__doc__)
        return 2 if not args else 0
    path = args[0]
    show = None
    table = False
    rest = args[1:]
    while rest:
        a = rest.pop(0)
        if a == "--show" and rest:
            show = rest.pop(0)
        elif a == "--table":
            table = True
        else:
            print(f"fontcheck: unknown argument {a!r}", file=sys.stderr)
            return 2

    glyphs, errors = parse(path)
    errors += check(glyphs)
    errors += alike(glyphs)
    if errors:
        for e in errors:
            print(f"{path}: {e}", file=sys.stderr)
        print(f"{path}: FAILED ({len(errors)} problem"
              f"{'s' if len(errors) != 1 else ''})", file=sys.stderr)
        return 1
    for n in near(glyphs):
        print(f"{path}: note: {n}")
    font = {g.code: g for g in glyphs}
    narrow = sum(1 for g in glyphs if g.code < 0x80)
    wide = len(glyphs) - narrow
    wide_widths = sorted({g.width for g in glyphs if g.code >= 0x80})
    print(f"{path}: OK - 256 glyphs, {HEIGHT} high; {narrow} at width "
          f"{NARROW_WIDTH} (0x00-0x7F), {wide} at widths "
          f"{','.join(map(str, wide_widths))} (0x80-0xFF)")

    if show is not None:
        try:
            codes = decode_text(show)
        except ValueError as e:
            print(f"fontcheck: {e}", file=sys.stderr)
            return 2
        lines, cur = [], []
        for c in codes:
            if c == 10:
                lines.append(cur)
                cur = []
            else:
                cur.append(c)
        lines.append(cur)
        print()
        print(render(lines, font))
    if table:
        for base in range(0, 256, 8):
            codes = list(range(base, base + 8))
            print("  ".join(f"{c:02X}".ljust(font[c].width * 2)
                            for c in codes).rstrip())
            print(render([codes], font))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
