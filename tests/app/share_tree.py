#!/usr/bin/env python3
"""Writes a program folder for the network share test: four people's
material (three sub-folders of small files and one large file each) and a
relation table sending each of them to three groups' sub-folders. Prints one
line per destination, "material<TAB>destination", relative to the folder.

    share_tree.py FOLDER
"""
import os
import random
import sys
import zipfile

folder = sys.argv[1]
rng = random.Random(7)
people = ['甲', '乙', '丙', '丁']
groups = ['考核', '党建', '总结']
material = os.path.join(folder, '0-所有履职材料')
for p, person in enumerate(people):
    for part in ['通知', '记录', '照片']:
        where = os.path.join(material, person, part)
        os.makedirs(where)
        for n in range(15):
            with open(os.path.join(where, '%s%s%02d.docx' % (person, part, n)), 'wb') as out:
                out.write(rng.randbytes(20000 + rng.randrange(20000)))
    with open(os.path.join(material, person, person + '扫描件.pdf'), 'wb') as out:
        out.write(rng.randbytes(6 << 20))

cells = []
lines = []
for p, person in enumerate(people):
    row = 3 + p
    cells.append('<c r="C%d" t="inlineStr"><is><t>%s</t></is></c>' % (row, person))
    for g, group in enumerate(groups):
        sub = '第%d批' % (1 + (p + g) % 2)
        cells.append('<c r="%s%d" t="inlineStr"><is><t>%s</t></is></c>' % ('DEF'[g], row, sub))
        lines.append('%s\t%s' % (os.path.join('0-所有履职材料', person), os.path.join(group, sub)))
head = ''.join('<c r="%s2" t="inlineStr"><is><t>%s</t></is></c>' % ('DEF'[g], group)
               for g, group in enumerate(groups))
rows = '<row r="2">%s</row>' % head
for p in range(len(people)):
    rows += '<row r="%d">%s</row>' % (3 + p, ''.join(cells[p * 4:p * 4 + 4]))
sheet = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
         '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
         '<sheetData>%s</sheetData></worksheet>' % rows)
with zipfile.ZipFile(os.path.join(material, '履职材料同步关系表.xlsx'), 'w',
                     zipfile.ZIP_DEFLATED) as book:
    book.writestr('xl/worksheets/sheet1.xml', sheet)
print('\n'.join(lines))
