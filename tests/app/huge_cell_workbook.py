#!/usr/bin/python3
# FOLDER/0-所有履职材料 with a material folder A01 and a relation table whose
# cell D3 holds one text of MIB mebibytes: a table larger than a small address
# space can hold, however little else it has.
#
#   huge_cell_workbook.py FOLDER MIB
#
# The worksheet is written in pieces, so this script itself needs little memory.
import os
import sys
import zipfile

folder, mib = sys.argv[1], int(sys.argv[2])
NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
root = os.path.join(folder, '0-所有履职材料')
os.makedirs(os.path.join(root, 'A01'), exist_ok=True)
with open(os.path.join(root, 'A01', 'a.txt'), 'w') as f:
    f.write('material\n')
with zipfile.ZipFile(os.path.join(root, '履职材料同步关系表.xlsx'), 'w', zipfile.ZIP_DEFLATED) as z:
    with z.open('xl/worksheets/sheet1.xml', 'w', force_zip64=True) as part:
        part.write(('<worksheet %s><sheetData>'
                    '<row r="2"><c r="D2" t="inlineStr"><is><t>G</t></is></c></row>'
                    '<row r="3"><c r="C3" t="inlineStr"><is><t>A01</t></is></c>'
                    '<c r="D3" t="inlineStr"><is><t>' % NS).encode())
        piece = b'n' * (1 << 20)
        for _ in range(mib):
            part.write(piece)
        part.write(b'</t></is></c></row></sheetData></worksheet>')
