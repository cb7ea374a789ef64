#!/usr/bin/python3
"""Writes a large relation table with XlsxWriter (Debian python3-xlsxwriter),
for build/bench/read_table_bench to read as a spreadsheet program writes it.

    bench/make_table_workbook.py OUT.xlsx [ROWS] [GROUPS]   (default 100000, 20)

Row 2 names the groups from column D on, column C names one entry per row
from row 3 on; three cells in five hold a destination list, the rest stay
empty, so the sheet has gaps as real tables do.
"""
import sys

import xlsxwriter

out = sys.argv[1]
rows = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
groups = int(sys.argv[3]) if len(sys.argv) > 3 else 20

book = xlsxwriter.Workbook(out)
sheet = book.add_worksheet()
for g in range(groups):
    sheet.write_string(1, 3 + g, "第%d组" % (g + 1))
for r in range(rows):
    sheet.write_string(2 + r, 2, "人员%d" % r)
    for g in range(groups):
        if (r * 7 + g) % 5 < 3:
            sheet.write_string(2 + r, 3 + g, "一季度%d;二季度,年度总结" % ((r + g) % 40))
book.close()
