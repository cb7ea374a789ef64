#!/usr/bin/python3
# Writes the damaged workbooks under tests/data/damaged from the XlsxWriter
# workbook tests/data/xlsxwriter_relation.xlsx: each one is that file rebuilt
# by Python's zipfile with one fault put in, the way a broken disk, a cut
# download or a hostile sender would leave it.
#
# Run from anywhere:  python3 tests/data/make_damaged_workbooks.py
# (standard library only). With "--bomb OUT" it writes instead a workbook whose
# shared-strings part is stored twelve times, each inflating to just over
# 2 GiB of zeros; at about 25 MB it is made when a test needs it, not kept.
#
# The failure texts each file gives are spelled out in
# tests/workbook/damaged_workbooks_test.cpp; change both together.

import os
import struct
import sys
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, 'xlsxwriter_relation.xlsx')
OUT = os.path.join(HERE, 'damaged')
SHEET = 'xl/worksheets/sheet1.xml'
STRINGS = 'xl/sharedStrings.xml'
FIXED_TIME = (2024, 1, 2, 3, 4, 6)


def entries():
    with zipfile.ZipFile(SOURCE) as z:
        return [(info.filename, z.read(info.filename)) for info in z.infolist()]


# Writes the entries in order; an entry is (name, data) or (name, data, info
# settings) where the settings may name 'compress', 'attr' and 'system'.
def write(name, items):
    path = os.path.join(OUT, name)
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        for item in items:
            entry, data = item[0], item[1]
            settings = item[2] if len(item) > 2 else {}
            info = zipfile.ZipInfo(entry, FIXED_TIME)
            info.compress_type = settings.get('compress', zipfile.ZIP_DEFLATED)
            if 'attr' in settings:
                info.external_attr = settings['attr']
                info.create_system = 3
            z.writestr(info, data)
    return path


def patch(path, change):
    data = bytearray(open(path, 'rb').read())
    change(data)
    open(path, 'wb').write(data)


def local_data_start(data, name):
    at = data.find(b'PK\x03\x04' + b'\x14\x00')
    while at >= 0:
        name_length, extra_length = struct.unpack('<HH', data[at + 26:at + 30])
        if data[at + 30:at + 30 + name_length] == name.encode():
            return at, at + 30 + name_length + extra_length
        at = data.find(b'PK\x03\x04', at + 4)
    raise KeyError(name)


def with_entry(items, name, data=None, settings=None):
    result = []
    for entry, content in items:
        if entry != name:
            result.append((entry, content))
        elif data is not None or settings is not None:
            result.append((entry, content if data is None else data, settings or {}))
    return result


def cut_inside(name, entry, items):
    path = write(name, items)
    def cut(data):
        _, start = local_data_start(data, entry)
        del data[start + 40:]
    patch(path, cut)


# Rows 2 to 5 start lines of their own, so table row 4 is line 4 of the
# file (line 1 holds the declaration, the sheet's start and row 1).
def sheet_with_error_in_row_4(sheet):
    text = sheet.decode().replace('\n', '')
    for row in range(2, 6):
        text = text.replace('<row r="%d"' % row, '\n<row r="%d"' % row)
    text = text.replace('<c r="C4" t="s"><v>12</v></c>', '<c r="C4" t="s"><v>12</v></x>')
    return text.encode()


def main():
    os.makedirs(OUT, exist_ok=True)
    items = entries()
    strings = dict(items)[STRINGS]
    sheet = dict(items)[SHEET]

    # Stored data with one letter changed still decodes: only the checksum tells.
    path = write('strings_bad_checksum.xlsx', with_entry(items, STRINGS, settings={'compress': zipfile.ZIP_STORED}))
    def flip_letter(data):
        _, start = local_data_start(data, STRINGS)
        at = data.find(b'<si>', start) + 5
        data[at] ^= 0x01
    patch(path, flip_letter)

    path = write('strings_bad_deflate.xlsx', items)
    def garble(data):
        _, start = local_data_start(data, STRINGS)
        for i in range(start + 20, start + 60):
            data[i] ^= 0x5A
    patch(path, garble)

    # The "encrypted" bit in both headers, as a password-protecting archiver sets it.
    path = write('strings_encrypted.xlsx', items)
    def encrypt(data):
        header, _ = local_data_start(data, STRINGS)
        data[header + 6] |= 1
        central = data.find(b'PK\x01\x02')
        while central >= 0:
            name_length = struct.unpack('<H', data[central + 28:central + 30])[0]
            if data[central + 46:central + 46 + name_length] == STRINGS.encode():
                data[central + 8] |= 1
            central = data.find(b'PK\x01\x02', central + 4)
    patch(path, encrypt)

    cut_inside('cut_in_strings.xlsx', STRINGS, items)
    cut_inside('cut_before_sheet.xlsx', 'xl/_rels/workbook.xml.rels', items)
    cut_inside('cut_between_parts.xlsx', 'xl/worksheets/sheet2.xml', items)
    cut_inside('cut_after_parts.xlsx', 'xl/styles.xml', items)

    write('sheet_xml_error.xlsx', with_entry(items, SHEET, sheet_with_error_in_row_4(sheet)))
    write('strings_xml_error.xlsx',
          with_entry(items, STRINGS, b'<sst><si><t>\xe5\x90\x8d</si></sst>'))
    write('sheet_empty.xlsx', with_entry(items, SHEET, b''))
    write('strings_empty.xlsx', with_entry(items, STRINGS, b''))
    write('sheet_not_xml.xlsx', with_entry(items, SHEET, b'PK\x03\x04 this is no XML at all\n'))
    write('sheet_link.xlsx',
          with_entry(items, SHEET, b'../../../etc/passwd', {'attr': (0o120777 << 16)}))
    write('sheet_folder.xlsx',
          [(SHEET + '/', b'', {'attr': (0o40755 << 16) | 0x10}) if entry == SHEET else (entry, data)
           for entry, data in items])
    # A name that contains the sheet's but names a folder above it.
    write('sheet_dot_dot.xlsx', [(SHEET + '/..', sheet)] + items)
    # A good part first, then a damaged one of the same name.
    path = write('strings_twice_second_bad.xlsx', items + [(STRINGS, strings)])
    def garble_last(data):
        at = data.rfind(STRINGS.encode(), 0, data.find(b'PK\x01\x02'))
        for i in range(at + len(STRINGS) + 20, at + len(STRINGS) + 60):
            data[i] ^= 0x5A
    patch(path, garble_last)
    write('without_strings_cut_after_sheet.xlsx',
          [item for item in items if item[0] != STRINGS])
    patch(os.path.join(OUT, 'without_strings_cut_after_sheet.xlsx'),
          lambda data: data.__delitem__(slice(local_data_start(data, 'xl/styles.xml')[1] + 40, None)))

    # Not archives at all.
    with open(os.path.join(OUT, 'compound_file.xlsx'), 'wb') as f:
        f.write(bytes.fromhex('D0CF11E0A1B11AE1') + bytes(504))
    with open(os.path.join(OUT, 'plain_text.xlsx'), 'wb') as f:
        f.write('序号,部门,姓名\n1,办公室,张三\n'.encode())


# Deflate blocks of zeros cut with a full flush are all alike after the first,
# so an entry of any size is written without compressing it.
def bomb(path, count=12, block=64 << 20, blocks=33):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    zeros = bytes(block)
    first = compressor.compress(zeros) + compressor.flush(zlib.Z_FULL_FLUSH)
    repeat = compressor.compress(zeros) + compressor.flush(zlib.Z_FULL_FLUSH)
    final = compressor.flush()
    stream = first + repeat * (blocks - 1) + final
    crc = 0
    for _ in range(blocks):
        crc = zlib.crc32(zeros, crc)
    size = block * blocks
    items = entries()
    with open(path, 'wb') as out:
        central = b''
        def add(name, data, crc_value, usize, method):
            nonlocal central
            offset = out.tell()
            encoded = name.encode()
            out.write(struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 0, method, 0, 0x5822,
                                  crc_value, len(data), usize, len(encoded), 0) + encoded)
            out.write(data)
            central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 0, method, 0,
                                   0x5822, crc_value, len(data), usize, len(encoded), 0, 0, 0,
                                   0, 0, offset) + encoded
        names = 0
        for name, data in items:
            if name == STRINGS:
                for _ in range(count):
                    add(STRINGS, stream, crc, size, 8)
                    names += 1
            else:
                add(name, data, zlib.crc32(data), len(data), 0)
                names += 1
        start = out.tell()
        out.write(central)
        out.write(struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, names, names, len(central), start, 0))


if __name__ == '__main__':
    if len(sys.argv) == 3 and sys.argv[1] == '--bomb':
        bomb(sys.argv[2])
    else:
        main()
