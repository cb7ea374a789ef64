#!/usr/bin/python3
# Writes the sample workbooks under tests/data with the spreadsheet programs
# real users save them with, so the readers are tried on files nobody here
# wrote by hand.
#
# Run from anywhere:  /usr/bin/python3 tests/data/make_workbooks.py
# Needs the Debian packages python3-xlsxwriter, python3-openpyxl and
# libreoffice-calc-nogui (for "soffice"). The system interpreter is named on
# purpose: a pyenv or virtualenv python3 does not see the Debian modules.
#
# The expected cell texts of every file are spelled out in
# tests/workbook/fixtures_test.cpp; change both together.

import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

import openpyxl
import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_TIME = datetime.datetime(2024, 1, 2, 3, 4, 5)


def fixed_properties(workbook):
    workbook.set_properties({'created': FIXED_TIME, 'author': 'fixtures'})


# XlsxWriter, shared strings (the default): a merged title row, a rich string
# group name, a formula with its cached result, a formatted empty cell, Chinese
# text and a second sheet that must never be read.
def make_xlsxwriter_relation(path):
    workbook = xlsxwriter.Workbook(path)
    fixed_properties(workbook)
    sheet = workbook.add_worksheet('关系表')
    title = workbook.add_format({'bold': True, 'align': 'center'})
    bold = workbook.add_format({'bold': True})
    boxed = workbook.add_format({'border': 1})
    sheet.merge_range('A1:G1', '履职材料同步关系表', title)
    for column, text in enumerate(['序号', '部门', '姓名', '2024年度考核', ' 党建工作 ']):
        sheet.write(1, column, text)
    sheet.write_rich_string('F2', bold, '年度', '总结')
    sheet.write_number('G2', 2025)
    sheet.write_row('A3', [1, '办公室', '张三', '一季度;二季度', '资料汇编'])
    sheet.write_formula('F3', '="个人"&"总结"', None, '个人总结')
    sheet.write_row('A4', [2, '财务科', '李四 ', '一季度,二季度'])
    sheet.write_blank('E4', None, boxed)
    sheet.write('G4', '半年;全年')
    sheet.write_row('A5', [3, '人事科', '王五', None, '资料汇编，补充', '个人总结,述职报告'])
    notes = workbook.add_worksheet('说明')
    notes.write('A1', '本页不参与同步')
    notes.write('D2', '不应读取')
    notes.write('C3', '赵六')
    workbook.close()


# XlsxWriter in constant-memory mode streams rows out and so writes every
# string inline (t="inlineStr"), rich ones as runs, with no shared-strings part.
def make_xlsxwriter_constant_memory(path):
    workbook = xlsxwriter.Workbook(path, {'constant_memory': True})
    fixed_properties(workbook)
    sheet = workbook.add_worksheet()
    italic = workbook.add_format({'italic': True})
    sheet.write('A1', 'Constant memory table')
    sheet.write_row('C2', ['Name', 'Alpha'])
    sheet.write_rich_string('E2', 'Be', italic, 'ta')
    sheet.write_row('C3', ['A01', 'G1;G2'])
    sheet.write_formula('E3', '="G"&"3"', None, 'G3')
    sheet.write_row('C4', ['B02', ' G4 ', 12.5])
    workbook.close()


# openpyxl writes strings inline as well, and formulas without any cached
# value (it never calculates), and booleans as t="b".
def make_openpyxl_relation(path):
    workbook = openpyxl.Workbook()
    workbook.properties.created = FIXED_TIME
    sheet = workbook.active
    sheet.title = 'Table'
    sheet['A1'] = 'openpyxl table'
    sheet['C2'] = 'Name'
    sheet['D2'] = 'North'
    sheet['E2'] = 'South'
    sheet['C3'] = 'A01'
    sheet['D3'] = 'G1,G2'
    sheet['E3'] = '=CONCATENATE("G","3")'
    sheet['C4'] = 'B02'
    sheet['D4'] = True
    sheet['E4'] = 'G4'
    workbook.create_sheet('Other')['D2'] = 'never read'
    workbook.save(path)


# LibreOffice Calc recalculates the formulas of this flat document while it
# loads it and stores their results beside them when it saves the package.
# The table is the walk-through table of the sync run: 2023 is a number,
# " 2024 " keeps its spaces, D3 is a formula giving "G1;G2" and F4 holds two
# spaces; column A adds row-number formulas and B3 a two-line text.
LIBREOFFICE_TABLE = '''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="Relations">
<table:table-row>
 <table:table-cell office:value-type="string"><text:p>关系表（LibreOffice）</text:p></table:table-cell>
</table:table-row>
<table:table-row>
 <table:table-cell table:number-columns-repeated="2"/>
 <table:table-cell office:value-type="string"><text:p>Name</text:p></table:table-cell>
 <table:table-cell office:value-type="float" office:value="2023"/>
 <table:table-cell office:value-type="string"><text:p><text:s/>2024<text:s/></text:p></table:table-cell>
 <table:table-cell office:value-type="string"><text:p>Review</text:p></table:table-cell>
</table:table-row>
<table:table-row>
 <table:table-cell table:formula="of:=ROW()-2"/>
 <table:table-cell office:value-type="string"><text:p>first line</text:p><text:p>second line</text:p></table:table-cell>
 <table:table-cell office:value-type="string"><text:p>A01</text:p></table:table-cell>
 <table:table-cell table:formula="of:=CONCATENATE(&quot;G1&quot;;&quot;;&quot;;&quot;G2&quot;)"/>
</table:table-row>
<table:table-row>
 <table:table-cell table:formula="of:=ROW()-2"/>
 <table:table-cell/>
 <table:table-cell office:value-type="string"><text:p>B02<text:s/></text:p></table:table-cell>
 <table:table-cell office:value-type="string"><text:p>G1</text:p></table:table-cell>
 <table:table-cell office:value-type="string"><text:p>G3,G4</text:p></table:table-cell>
 <table:table-cell office:value-type="string"><text:p><text:s text:c="2"/></text:p></table:table-cell>
</table:table-row>
</table:table></office:spreadsheet></office:body></office:document>
'''


def make_libreoffice_relation(path):
    work = tempfile.mkdtemp(prefix='wbfix')
    try:
        source = os.path.join(work, 'libreoffice_relation.fods')
        with open(source, 'w', encoding='utf-8') as out:
            out.write(LIBREOFFICE_TABLE)
        profile = 'file://' + os.path.join(work, 'profile')
        subprocess.run(['soffice', '-env:UserInstallation=' + profile, '--headless',
                        '--convert-to', 'xlsx', '--outdir', work, source],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.copyfile(os.path.join(work, 'libreoffice_relation.xlsx'), path)
    finally:
        shutil.rmtree(work, ignore_errors=True)


# Rewrites a package entry by entry; rename maps an entry name to its new name,
# or to None to leave the entry out.
def repack(source, target, rename):
    with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, 'w', zipfile.ZIP_DEFLATED) as new:
        for info in old.infolist():
            name = rename(info.filename)
            if name is not None:
                new.writestr(zipfile.ZipInfo(name, info.date_time), old.read(info.filename),
                             zipfile.ZIP_DEFLATED)


def main():
    made = {
        'xlsxwriter_relation.xlsx': make_xlsxwriter_relation,
        'xlsxwriter_constant_memory.xlsx': make_xlsxwriter_constant_memory,
        'openpyxl_relation.xlsx': make_openpyxl_relation,
        'libreoffice_relation.xlsx': make_libreoffice_relation,
    }
    for name, make in made.items():
        make(os.path.join(HERE, name))
    relation = os.path.join(HERE, 'xlsxwriter_relation.xlsx')
    # The same package without its first worksheet: shared strings only.
    repack(relation, os.path.join(HERE, 'no_sheet1.xlsx'),
           lambda name: None if name == 'xl/worksheets/sheet1.xml' else name)
    # Entry names written with backslashes, as some Windows packagers do.
    repack(relation, os.path.join(HERE, 'backslash_names.xlsx'),
           lambda name: name.replace('/', '\\'))
    return 0


if __name__ == '__main__':
    sys.exit(main())
