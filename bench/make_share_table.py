#!/usr/bin/python3
"""Writes a program folder as an office keeps one on its file server: a
relation table of 30 people and 6 groups with 152 destinations, and each
person's material folder (3,041 files, about 38 MB in all: many office
documents of a few to a few dozen KB, some scans of a few hundred KB, in a
few sub-folders each). Sizes and names come from a fixed seed, so every run
writes the same tree.

    bench/make_share_table.py FOLDER [DESTINATIONS.txt]

The optional second file receives one line per destination,
"material<TAB>destination", relative to FOLDER: a person's material goes
into the group's sub-folder, beside the others'. The copy baselines of
bench/network_share_bench.sh copy these.
"""
import os
import random
import sys

import xlsxwriter

PEOPLE = 30
GROUPS = ['年度考核', '党建工作', '年度总结', '业务培训', '安全检查', '档案归集']
SUB = ['一季度', '二季度', '三季度', '四季度']
FILES = 3041
BYTES = 38 * 1000 * 1000


def file_sizes(rng):
    sizes = []
    for i in range(FILES):
        # One file in twenty is a scan; the rest are documents.
        sizes.append(rng.randint(150, 600) * 1000 if i % 20 == 0 else rng.randint(2, 14) * 1000)
    scale = BYTES / sum(sizes)
    return [max(1, int(s * scale)) for s in sizes]


def main():
    folder = sys.argv[1]
    listing = sys.argv[2] if len(sys.argv) > 2 else None
    rng = random.Random(16)
    material = os.path.join(folder, '0-所有履职材料')
    os.makedirs(material, exist_ok=True)
    sizes = file_sizes(rng)
    people = ['人员%02d' % p for p in range(PEOPLE)]
    for index, size in enumerate(sizes):
        person = people[index % PEOPLE]
        part = ['通知文件', '会议记录', '工作照片', ''][index % 4]
        where = os.path.join(material, person, part)
        os.makedirs(where, exist_ok=True)
        name = '材料%04d.%s' % (index, 'pdf' if size > 100000 else 'docx')
        with open(os.path.join(where, name), 'wb') as out:
            out.write(rng.randbytes(size))

    book = xlsxwriter.Workbook(os.path.join(material, '履职材料同步关系表.xlsx'))
    sheet = book.add_worksheet()
    sheet.write_string(0, 0, '履职材料同步关系表')
    for g, group in enumerate(GROUPS):
        sheet.write_string(1, 3 + g, group)
    lines = []
    cells = 0
    for p, person in enumerate(people):
        sheet.write_string(2 + p, 2, person)
        for g, group in enumerate(GROUPS):
            # 35 of the 180 cells are empty; a few name two sub-folders.
            if (p * 7 + g * 3) % 45 < 9:
                continue
            names = [SUB[(p + g) % 4]]
            if cells % 20 == 5:
                names.append(SUB[(p + g + 1) % 4])
            cells += 1
            sheet.write_string(2 + p, 3 + g, ';'.join(names))
            for sub in names:
                lines.append('%s\t%s' % (os.path.join('0-所有履职材料', person),
                                         os.path.join(group, sub)))
    book.close()
    if listing:
        with open(listing, 'w', encoding='utf-8') as out:
            out.write('\n'.join(lines) + '\n')
    print('%d destinations, %d files, %.1f MB of material' % (len(lines), FILES, sum(sizes) / 1e6))


if __name__ == '__main__':
    main()
