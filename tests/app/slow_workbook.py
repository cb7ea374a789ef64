#!/usr/bin/env python3
"""Writes a relation table that takes the program a few seconds to read:
one group (D2 "G"), one entry (C3 "A01" into "X"), then many rows of cells
outside the walked columns. Usage: slow_workbook.py OUT.xlsx ROWS"""
import sys
import zipfile

out, rows = sys.argv[1], int(sys.argv[2])
parts = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
         '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
         '<row r="2"><c r="D2" t="inlineStr"><is><t>G</t></is></c></row>'
         '<row r="3"><c r="C3" t="inlineStr"><is><t>A01</t></is></c>'
         '<c r="D3" t="inlineStr"><is><t>X</t></is></c></row>']
parts += ['<row r="%d"><c r="A%d"><v>%d</v></c><c r="B%d"><v>1</v></c></row>' % (r, r, r, r)
          for r in range(4, rows + 4)]
parts.append('</sheetData></worksheet>')
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('xl/worksheets/sheet1.xml', ''.join(parts))
