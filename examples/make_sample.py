#!/usr/bin/python3
# Writes the sample relation workbook of the demo folder:
#   examples/0-所有履职材料/履职材料同步关系表.xlsx
#
# Run from anywhere:  /usr/bin/python3 examples/make_sample.py
# Needs the Debian package python3-xlsxwriter (the system interpreter is named
# because a pyenv or virtualenv python3 does not see Debian's modules).
#
# The table: row 1 a title, row 2 the destination groups from column D on,
# column C the people whose material folders lie beside the workbook, and in
# each cell the group's sub-folders that receive that person's material.

import datetime
import os
import sys

import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))
TARGET = os.path.join(HERE, '0-所有履职材料', '履职材料同步关系表.xlsx')

GROUPS = ['2024年度考核', '党建工作', '年度总结']
ROWS = [
    (1, '综合办公室', '张三', '一季度;二季度', '资料汇编', '个人总结'),
    (2, '财务科', '李四', '一季度,二季度', '', '个人总结;述职报告'),
    (3, '人事科', '王五', '三季度', '资料汇编,组织生活会', ''),
]


def main():
    os.makedirs(os.path.dirname(TARGET), exist_ok=True)
    workbook = xlsxwriter.Workbook(TARGET)
    workbook.set_properties({'title': '履职材料同步关系表', 'author': '综合办公室',
                             'created': datetime.datetime(2024, 12, 20, 9, 0, 0)})
    sheet = workbook.add_worksheet('同步关系')
    title = workbook.add_format({'bold': True, 'font_size': 14, 'align': 'center',
                                 'valign': 'vcenter'})
    head = workbook.add_format({'bold': True, 'border': 1, 'align': 'center',
                                'bg_color': '#DDEBF7'})
    body = workbook.add_format({'border': 1})
    last = 2 + len(GROUPS)
    sheet.merge_range(0, 0, 0, last, '2024年度履职材料同步关系表', title)
    sheet.set_row(0, 28)
    sheet.write_row(1, 0, ['序号', '部门', '姓名'] + GROUPS, head)
    for index, row in enumerate(ROWS):
        sheet.write_row(2 + index, 0, row, body)
    sheet.set_column(0, 0, 6)
    sheet.set_column(1, 2, 12)
    sheet.set_column(3, last, 22)
    sheet.freeze_panes(2, 3)
    workbook.close()
    return 0


if __name__ == '__main__':
    sys.exit(main())
