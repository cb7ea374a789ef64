#!/usr/bin/python3
# Writes what a new user starts from: FOLDER/0-所有履职材料 with the empty-but-
# for-one-example relation table 履职材料同步关系表.xlsx and the material folder
# that example names.
#
#   /usr/bin/python3 release/make_template.py FOLDER
#
# Needs Debian's python3-xlsxwriter (the system interpreter is named because a
# pyenv or virtualenv python3 does not see Debian's modules).
#
# Row 1 tells in words how the table is laid out; the program reads groups
# from row 2 and entries from row 3 on, so the words there are never taken
# for a folder. 使用说明.html describes this very example: keep the two alike.

import datetime
import os
import sys

import xlsxwriter

ROOT = '0-所有履职材料'
TABLE = '履职材料同步关系表.xlsx'
GROUPS = ['2025年度考核', '党建工作']
# One example row: number, department, the material folder's name, then one
# cell per group listing its sub-folders.
EXAMPLE = (1, '办公室', '张三', '一季度;二季度', '资料汇编')
LAYOUT = ('填写说明（本行不会被程序读取）：第 2 行从 D 列起，每格写一个目标文件夹名；'
          'C 列从第 3 行起，每格写一个材料文件夹名（与本表放在同一个「0-所有履职材料」文件夹里）；'
          '两者交叉的格子写要放入的子文件夹，多个时用半角逗号 , 或分号 ; 隔开，空着表示不放。'
          'A、B 两列只供自己查看，程序不读。填好后把示例行换成自己的内容。')
MATERIAL = {
    '个人总结.txt': '这是示例材料。每个人的材料文件夹里放什么，同步时就把什么原样复制过去。\r\n'
                    '试用之后可以删除这个文件夹，换成自己的材料文件夹。\r\n',
    '述职报告/述职报告.txt': '子文件夹也会一起复制。\r\n',
}


def html_table():
    """The template's cells as the guide shows them, with the sheet's own
    column letters and row numbers."""
    import html
    letters = [chr(ord('A') + i) for i in range(3 + len(GROUPS))]
    rows = ['<table class="sheet">',
            '<tr><td class="ref"></td>' + ''.join('<td class="ref">%s</td>' % c for c in letters) + '</tr>',
            '<tr><td class="ref">1</td><td class="note" colspan="%d">%s</td></tr>'
            % (len(letters), html.escape(LAYOUT)),
            '<tr><td class="ref">2</td>' + ''.join('<td class="head">%s</td>' % html.escape(h)
                                               for h in ['序号', '部门', '姓名'] + GROUPS) + '</tr>',
            '<tr><td class="ref">3</td>' + ''.join('<td>%s</td>' % html.escape(str(v))
                                               for v in EXAMPLE) + '</tr>',
            '</table>']
    return '\n'.join(rows)


def destinations():
    """The folders a run on the template makes, as paths below the program's
    folder: each group's cell, split at "," and ";"."""
    found = []
    for group, cell in zip(GROUPS, EXAMPLE[3:]):
        for item in cell.replace(';', ',').split(','):
            if item.strip():
                found.append(group + '/' + item.strip())
    return found


def main(argv):
    if len(argv) != 2:
        print('usage: make_template.py FOLDER', file=sys.stderr)
        return 2
    root = os.path.join(argv[1], ROOT)
    os.makedirs(root, exist_ok=True)
    # The same bytes every time: a fixed creation time.
    workbook = xlsxwriter.Workbook(os.path.join(root, TABLE))
    workbook.set_properties({'title': '履职材料同步关系表',
                             'created': datetime.datetime(2025, 1, 1, 9, 0, 0)})
    sheet = workbook.add_worksheet('同步关系')
    note = workbook.add_format({'text_wrap': True, 'valign': 'top', 'font_color': '#7F3F00',
                                'bg_color': '#FFF2CC', 'border': 1})
    head = workbook.add_format({'bold': True, 'border': 1, 'align': 'center',
                                'bg_color': '#DDEBF7'})
    body = workbook.add_format({'border': 1})
    last = 2 + len(GROUPS)
    sheet.merge_range(0, 0, 0, last, LAYOUT, note)
    sheet.set_row(0, 96)
    sheet.write_row(1, 0, ['序号', '部门', '姓名'] + GROUPS, head)
    sheet.write_row(2, 0, EXAMPLE, body)
    sheet.set_column(0, 0, 6)
    sheet.set_column(1, 2, 12)
    sheet.set_column(3, last, 24)
    sheet.freeze_panes(2, 3)
    workbook.close()
    for name, text in MATERIAL.items():
        path = os.path.join(root, EXAMPLE[2], name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w', encoding='utf-8-sig', newline='') as f:
            f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
