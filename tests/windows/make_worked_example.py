#!/usr/bin/python3
# Writes the worked example of a sync run into a folder, beside which the
# program is then placed:
#   FOLDER/0-所有履职材料/履职材料同步关系表.xlsx  and the material folders A01, B02
# With --big COUNT, a third group "big" copies a material folder of COUNT
# files, so that a run is still copying when the test closes the window.
#
# Needs the Debian package python3-xlsxwriter.

import os
import sys

import xlsxwriter

SOURCE_ROOT = '0-所有履职材料'
WORKBOOK = '履职材料同步关系表.xlsx'


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text)


def main():
    folder = sys.argv[1]
    big = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == '--big' else 0
    root = os.path.join(folder, SOURCE_ROOT)
    write(os.path.join(root, 'A01', 'a01.txt'), 'A01 only\n')
    write(os.path.join(root, 'A01', 'shared.txt'), 'from A01\n')
    write(os.path.join(root, 'A01', '子目录', '说明.txt'), 'A01 nested\n')
    write(os.path.join(root, 'B02', 'b02.txt'), 'B02 only\n')
    write(os.path.join(root, 'B02', 'shared.txt'), 'from B02\n')
    workbook = xlsxwriter.Workbook(os.path.join(root, WORKBOOK))
    sheet = workbook.add_worksheet()
    sheet.write_row(1, 2, ['Name', '2023', ' 2024 ', 'Review'])
    sheet.write_row(2, 2, ['A01', 'G1;G2'])
    sheet.write_row(3, 2, ['B02 ', 'G1', 'G3,G4', '  '])
    if big:
        sheet.write(1, 6, 'big')
        sheet.write(4, 2, 'C03')
        sheet.write(4, 6, 'all')
        data = 'x' * 65536
        for i in range(big):
            write(os.path.join(root, 'C03', 'part%03d' % (i // 500), 'file%05d.bin' % i), data)
    workbook.close()
    return 0


if __name__ == '__main__':
    sys.exit(main())
