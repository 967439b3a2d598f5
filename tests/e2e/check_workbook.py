#!/usr/bin/python3
"""Checks a chart workbook as a spreadsheet reader sees it.

usage: check_workbook.py WORKBOOK CODE NAME ROWS
ROWS is the number of history rows the workbook should hold (at most 250 are placed).
Exits 0 when every check holds; prints the first failure otherwise.
"""
import base64
import hashlib
import struct
import sys
import zipfile

import openpyxl

SHEET = "チャート"
PASSWORD = "trelvanXQZ"


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def sha512_hash(password, salt_b64, spins):
    h = hashlib.sha512(base64.b64decode(salt_b64) + password.encode("utf-16-le")).digest()
    for i in range(spins):
        h = hashlib.sha512(h + struct.pack("<I", i)).digest()
    return base64.b64encode(h).decode()


def main():
    path, code, name, rows = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    with zipfile.ZipFile(path) as z:
        types = z.read("[Content_Types].xml").decode()
        if "spreadsheetml.sheet.main+xml" not in types or "template.main" in types:
            fail("workbook content type")
    wb = openpyxl.load_workbook(path)
    if SHEET not in wb.sheetnames:
        fail("no chart sheet")
    ws = wb[SHEET]
    if ws["B1"].value != code or ws["C1"].value != name:
        fail(f"B1/C1 {ws['B1'].value!r} {ws['C1'].value!r}")
    if not ws["B1"].quotePrefix:
        fail("B1 is not a text cell")
    p = ws.protection
    if not p.sheet or not p.scenarios or p.algorithmName != "SHA-512":
        fail("sheet not protected with SHA-512")
    if sha512_hash(PASSWORD, p.saltValue, int(p.spinCount)) != p.hashValue:
        fail("protection hash does not open with the sheet password")
    if ws["A2"].value != "日付":
        fail("template headings lost")
    placed = min(rows, 250)
    first = 252 - placed + 1
    for r in range(3, first):
        if ws.cell(r, 1).value is not None:
            fail(f"row {r} should keep the template's empty cell")
    previous = ""
    for r in range(first, 253):
        a = ws.cell(r, 1)
        if not isinstance(a.value, str) or not a.quotePrefix or len(a.value) != 10 or a.value <= previous:
            fail(f"A{r} date {a.value!r}")
        previous = a.value
        for c in range(2, 6):
            if not isinstance(ws.cell(r, c).value, (int, float)):
                fail(f"row {r} column {c} not a number")
        f = ws.cell(r, 6)
        if f.number_format != "#,##0" or f.value != round(f.value):
            fail(f"F{r} {f.value!r} {f.number_format}")
        full = r >= 33
        g = ws.cell(r, 7)
        if full != (g.value is not None):
            fail(f"G{r} presence {g.value!r}")
        if full:
            if g.number_format != "0.00%":
                fail(f"G{r} format {g.number_format}")
            for c in (8, 9, 11, 12, 20):
                cell = ws.cell(r, c)
                if not isinstance(cell.value, str) or not cell.quotePrefix:
                    fail(f"row {r} column {c} text {cell.value!r}")
            for c in (13, 14, 15, 18, 19):
                if ws.cell(r, c).number_format != "#,##0.00":
                    fail(f"row {r} column {c} format")
            if ws.cell(r, 25).value not in (0, 1):
                fail(f"Y{r} {ws.cell(r, 25).value!r}")
    print("ok", placed, "rows")


if __name__ == "__main__":
    main()
