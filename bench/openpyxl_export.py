#!/usr/bin/python3
"""The baseline for the export benchmark: openpyxl writes the same cells and formats into a copy
of the template. usage: openpyxl_export.py TEMPLATE ROWS.tsv OUT.xlsx RUNS  (prints ms per run)"""
import sys
import time

import openpyxl

template, rows_path, out, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
rows = [line.rstrip("\n").split("\t") for line in open(rows_path, encoding="utf-8")]
TEXT = {0, 7, 8, 10, 11, 19}
FORMAT = {5: "#,##0", 6: "0.00%", 9: "0.00%", 12: "#,##0.00", 13: "#,##0.00", 14: "#,##0.00", 17: "#,##0.00",
          18: "#,##0.00"}
for _ in range(runs):
    start = time.perf_counter()
    wb = openpyxl.load_workbook(template)
    wb.template = False
    ws = wb["チャート"]
    ws["B1"] = "1301"
    ws["C1"] = "極洋"
    row = 252 - len(rows)
    for values in rows:
        row += 1
        for c, v in enumerate(values):
            if row < 33 and c >= 6:
                break
            cell = ws.cell(row, c + 1)
            if c in TEXT:
                cell.value = v
                cell.quotePrefix = True
            else:
                cell.value = float(v) if v else None
                if c in FORMAT:
                    cell.number_format = FORMAT[c]
    ws.protection.set_password("trelvanXQZ")
    ws.protection.sheet = True
    wb.save(out)
    print(f"{(time.perf_counter() - start) * 1000:.3f}")
