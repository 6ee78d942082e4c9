#!/usr/bin/env python3
"""Checks .xls workbooks with two independent readers: python3-xlrd and
LibreOffice headless (converted to CSV, one file per sheet).

  validate-xls.py BOOK.xls EXPECTED.tsv
      both readers must see exactly the sheets and non-empty cells listed in
      EXPECTED.tsv (lines "sheet<TAB>row<TAB>column<TAB>text", 1-based; a
      line "sheet<TAB>NAME" declares a sheet, in order).
  validate-xls.py --kept BEFORE.xls AFTER.xls CHANGED.tsv
      AFTER must hold every sheet, cell value, cell format, column width and
      defined name of BEFORE, except the cells CHANGED.tsv lists, which must
      hold the texts given there - in xlrd's view and in LibreOffice's.

Exit status 0 when every check passed, 1 with the differences on stderr,
2 when a reader is missing.
"""
import csv
import decimal
import glob
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import xlrd
except ImportError:
    print("validate-xls: python3-xlrd is missing", file=sys.stderr)
    sys.exit(2)

ERRORS = {0x00: "#NULL!", 0x07: "#DIV/0!", 0x0F: "#VALUE!", 0x17: "#REF!",
          0x1D: "#NAME?", 0x1E: "#NUM!", 0x2A: "#N/A"}


def number_text(v):
    """A number as the engine shows it: whole numbers plainly, else the
    shortest round-trip digits, exponent form outside 1E-5 .. 1E15."""
    if v == 0:
        return "0"
    if v == int(v) and abs(v) < 1e15:
        return str(int(v))
    d = decimal.Decimal(repr(v))
    sign, digits, exp = d.as_tuple()
    digits = "".join(map(str, digits)).rstrip("0") or "0"
    point = len(digits) + exp  # position of the decimal point in digits
    e10 = point - 1
    s = "-" if sign else ""
    if -5 <= e10 < 15:
        if point <= 0:
            return s + "0." + "0" * (-point) + digits
        if point >= len(digits):
            return s + digits + "0" * (point - len(digits))
        return s + digits[:point] + "." + digits[point:]
    mant = digits[0] + ("." + digits[1:] if len(digits) > 1 else "")
    return "%s%sE%s%02d" % (s, mant, "-" if e10 < 0 else "+", abs(e10))


def cell_text(c):
    if c.ctype == xlrd.XL_CELL_TEXT:
        return c.value
    if c.ctype == xlrd.XL_CELL_NUMBER:
        return number_text(c.value)
    if c.ctype == xlrd.XL_CELL_BOOLEAN:
        return "TRUE" if c.value else "FALSE"
    if c.ctype == xlrd.XL_CELL_ERROR:
        return ERRORS.get(c.value, "#N/A")
    return ""


def xlrd_view(path, formatting=False):
    book = xlrd.open_workbook(path, formatting_info=formatting)
    sheets = []
    for s in book.sheets():
        cells = {}
        for r in range(s.nrows):
            for c, cell in enumerate(s.row(r)):
                t = cell_text(cell)
                if t != "" or (formatting and cell.ctype == xlrd.XL_CELL_BLANK):
                    cells[(r + 1, c + 1)] = t
        sheets.append((s.name, cells, s))
    return book, sheets


def libreoffice_view(path, names):
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        print("validate-xls: LibreOffice (soffice) is missing", file=sys.stderr)
        sys.exit(2)
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "book.xls")
        shutil.copyfile(path, src)
        out = os.path.join(tmp, "out")
        # Comma-separated, UTF-8 (76), every sheet (-1) into its own file.
        flt = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1"
        cmd = [soffice, "-env:UserInstallation=file://" + os.path.join(tmp, "profile"),
               "--headless", "--convert-to", flt, "--outdir", out, src]
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        files = glob.glob(os.path.join(out, "*.csv"))
        views = {}
        for name in names:
            f = os.path.join(out, "book-%s.csv" % name)
            if len(names) == 1 and not os.path.exists(f) and len(files) == 1:
                f = files[0]
            if not os.path.exists(f):
                views[name] = None
                continue
            cells = {}
            with open(f, newline="", encoding="utf-8") as fh:
                for r, row in enumerate(csv.reader(fh)):
                    for c, v in enumerate(row):
                        if v != "":
                            cells[(r + 1, c + 1)] = v
            views[name] = cells
        return views


def same_value(shown, expected):
    if shown == expected:
        return True
    # LibreOffice writes raw numbers its own way (1E+020, 1 for TRUE).
    alias = {"TRUE": "1", "FALSE": "0"}
    a, b = alias.get(shown, shown), alias.get(expected, expected)
    try:
        x, y = float(a), float(b)
    except ValueError:
        return False
    return x == y or abs(x - y) <= 1e-12 * max(abs(x), abs(y))


def read_tsv(path):
    names, cells = [], {}
    with open(path, encoding="utf-8") as fh:
        for line in fh:
            line = line.rstrip("\n")
            if not line:
                continue
            parts = line.split("\t", 3)
            if len(parts) == 2:
                names.append(parts[1])
            else:
                sheet, r, c, text = parts
                cells[(sheet, int(r), int(c))] = text.replace("\\t", "\t").replace("\\n", "\n").replace("\\\\", "\\")
    return names, cells


def compare(label, seen, expected, problems, loose=False):
    for key in sorted(set(seen) | set(expected), key=str):
        a, b = seen.get(key, ""), expected.get(key, "")
        ok = same_value(a, b) if loose else a == b
        if not ok:
            problems.append("%s: cell %s: %r, expected %r" % (label, key, a[:80], b[:80]))
            if len(problems) > 40:
                return


def check_readers_agree(path, expected_names, expected_cells, problems):
    _, sheets = xlrd_view(path)
    names = [n for n, _, _ in sheets]
    if expected_names is not None and names != expected_names:
        problems.append("xlrd: sheets %r, expected %r" % (names, expected_names))
    for name, cells, _ in sheets:
        want = cells if expected_cells is None else {
            (r, c): t for (s, r, c), t in expected_cells.items() if s == name and t != ""}
        if expected_cells is not None:
            compare("xlrd %s" % name, cells, want, problems)
    lo = libreoffice_view(path, names)
    for name, cells, _ in sheets:
        got = lo.get(name)
        if got is None:
            problems.append("LibreOffice: sheet %r missing" % name)
            continue
        compare("LibreOffice %s" % name, got, cells, problems, loose=True)


def check_kept(before, after, changed, problems):
    b_book, b_sheets = xlrd_view(before, formatting=True)
    a_book, a_sheets = xlrd_view(after, formatting=True)
    a_by_name = {n: (cells, s) for n, cells, s in a_sheets}
    for i, (name, cells, sheet) in enumerate(b_sheets):
        if i >= len(a_sheets) or a_sheets[i][0] != name:
            problems.append("sheet %d %r missing or moved" % (i, name))
            continue
        a_cells, a_sheet = a_by_name[name]
        for (r, c), text in cells.items():
            if (name, r, c) in changed:
                continue
            if a_cells.get((r, c)) != text:
                problems.append("%s!%d,%d: %r became %r" % (name, r, c, text, a_cells.get((r, c))))
            elif sheet.cell_xf_index(r - 1, c - 1) != a_sheet.cell_xf_index(r - 1, c - 1):
                problems.append("%s!%d,%d: format changed" % (name, r, c))
        for col, info in sheet.colinfo_map.items():
            other = a_sheet.colinfo_map.get(col)
            if other is None or other.width != info.width or other.xf_index != info.xf_index:
                problems.append("%s: column %d width or format changed" % (name, col + 1))
        for row, info in sheet.rowinfo_map.items():
            other = a_sheet.rowinfo_map.get(row)
            if other is None or other.height != info.height:
                problems.append("%s: row %d height changed" % (name, row + 1))
    if len(b_book.xf_list) != len(a_book.xf_list) or len(b_book.font_list) != len(a_book.font_list):
        problems.append("formats or fonts lost")
    if sorted(b_book.name_map) != sorted(a_book.name_map):
        problems.append("defined names changed")
    for (name, r, c), text in changed.items():
        if name not in a_by_name:
            problems.append("sheet %r missing" % name)
            continue
        got = a_by_name[name][0].get((r, c), "")
        if got != text:
            problems.append("%s!%d,%d: %r, expected %r" % (name, r, c, got[:80], text[:80]))
    # LibreOffice recalculates formulas, so its view of AFTER is compared
    # with its own view of BEFORE rather than with xlrd's cached results.
    names_before = [n for n, _, _ in b_sheets]
    names_after = [n for n, _, _ in a_sheets]
    lo_before = libreoffice_view(before, names_before)
    lo_after = libreoffice_view(after, names_after)
    for name in names_after:
        got = lo_after.get(name)
        if got is None:
            problems.append("LibreOffice: sheet %r missing" % name)
            continue
        want = dict(lo_before.get(name) or {})
        for (s, r, c), text in changed.items():
            if s == name:
                want.pop((r, c), None)
                if text != "":
                    want[(r, c)] = text
        compare("LibreOffice %s" % name, got, want, problems, loose=True)


def main(argv):
    problems = []
    try:
        if len(argv) == 4 and argv[0] == "--kept":
            _, changed = read_tsv(argv[3])
            check_kept(argv[1], argv[2], changed, problems)
        elif len(argv) == 2:
            names, cells = read_tsv(argv[1])
            check_readers_agree(argv[0], names, cells, problems)
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except xlrd.XLRDError as e:
        problems.append("xlrd cannot read the workbook: %s" % e)
    for p in problems:
        print("validate-xls: " + p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
