#!/usr/bin/python3
# Looks into the release packages for tests/release/check_release.sh:
#
#   package_probe.py hide-unicode IN.zip OUT.zip   a copy whose Unicode Path
#       fields (0x7075) carry an unknown ID, so that a reader has only the
#       stored names; fails when a name sets the UTF-8 flag, when a stored
#       name is not code page 936, or when a field's CRC-32 does not match
#       its stored name (readers would then ignore it)
#   package_probe.py version RESOURCE VERSION NAME a version resource as
#       wrestool extracts it: the fixed file and product versions and the
#       FileVersion and ProductVersion strings all say VERSION, and the
#       OriginalFilename is NAME, the program's own file name
#   package_probe.py large-address PROGRAM         an i386 PE file with the
#       large-address-aware flag
#   package_probe.py reasons CATALOGUE GUIDE       every failure reason text of
#       the catalogue appears in the guide
import re
import struct
import sys
import zlib

UNICODE_PATH = 0x7075
HIDDEN = 0x7076


def walk_extra(data, start, length, problems, stored):
    """Renames the Unicode Path fields of one header's extra data in place."""
    end = start + length
    found = False
    while start + 4 <= end:
        tag, size = struct.unpack_from('<HH', data, start)
        if tag == UNICODE_PATH:
            found = True
            _, crc = struct.unpack_from('<BI', data, start + 4)
            if crc != zlib.crc32(stored):
                problems.append('CRC of the Unicode Path field does not match %r' % stored)
            struct.pack_into('<H', data, start, HIDDEN)
        start += 4 + size
    return found


def hide_unicode(source, target):
    data = bytearray(open(source, 'rb').read())
    problems = []
    end = data.rindex(b'PK\x05\x06')
    count, size, offset = struct.unpack_from('<HII', data, end + 10)
    at = offset
    for _ in range(count):
        (flags,) = struct.unpack_from('<H', data, at + 8)
        name_length, extra_length, comment_length = struct.unpack_from('<HHH', data, at + 28)
        (local,) = struct.unpack_from('<I', data, at + 42)
        stored = bytes(data[at + 46:at + 46 + name_length])
        if flags & 0x800:
            problems.append('UTF-8 flag set for %r' % stored)
        try:
            name = stored.decode('cp936')
        except UnicodeDecodeError:
            problems.append('not code page 936: %r' % stored)
            name = ''
        unicode_field = walk_extra(data, at + 46 + name_length, extra_length, problems, stored)
        if not unicode_field and not name.isascii():
            problems.append('no Unicode Path field for %s' % name)
        (local_flags,) = struct.unpack_from('<H', data, local + 6)
        local_name, local_extra = struct.unpack_from('<HH', data, local + 26)
        if local_flags & 0x800 or bytes(data[local + 30:local + 30 + local_name]) != stored:
            problems.append('local header of %s differs' % name)
        walk_extra(data, local + 30 + local_name, local_extra, problems, stored)
        at += 46 + name_length + extra_length + comment_length
    open(target, 'wb').write(data)
    for p in problems:
        print(p)
    return 1 if problems else 0


def version(resource, wanted, file_name):
    data = open(resource, 'rb').read()
    numbers = [int(n) for n in wanted.split('.')] + [0] * 4
    fixed = data.find(struct.pack('<I', 0xFEEF04BD))
    if fixed < 0:
        print('no fixed file information')
        return 1
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from('<IIII', data, fixed + 8)
    expected = ((numbers[0] << 16) | numbers[1], (numbers[2] << 16) | numbers[3])
    problems = []
    if (file_ms, file_ls) != expected or (product_ms, product_ls) != expected:
        problems.append('fixed versions %x.%x / %x.%x' % (file_ms, file_ls, product_ms, product_ls))
    text = data.decode('utf-16-le', errors='replace')
    for key, value in (('FileVersion', wanted), ('ProductVersion', wanted),
                       ('OriginalFilename', file_name)):
        match = re.search(key + r'\x00+([^\x00]*)', text)
        if not match or match.group(1) != value:
            problems.append('%s is %r' % (key, match.group(1) if match else None))
    for p in problems:
        print(p)
    return 1 if problems else 0


def large_address(program):
    data = open(program, 'rb').read(4096)
    (pe,) = struct.unpack_from('<I', data, 0x3C)
    machine, = struct.unpack_from('<H', data, pe + 4)
    characteristics, = struct.unpack_from('<H', data, pe + 22)
    print('machine %04x, characteristics %04x' % (machine, characteristics))
    return 0 if machine == 0x14C and characteristics & 0x20 else 1


# The catalogue's failure reasons: why a destination failed, why no table was
# read (not the pieces that say where in a part), and the plain reasons.
REASON_NAMES = re.compile(r'k(Reason\w+|EmptyEntryName|EmptyFolderName|NameTooLong|'
                          r'LeavesProgramFolder|ThroughLink|InsideMaterial|NoMaterialFolder|'
                          r'CannotCreateOpen|FilesFailedExample|BusyFolder|CannotOpenTable|'
                          r'NoWorksheet|DamagedTable|WorkbookMissing|WorkbookPasswordOrXls|'
                          r'NotAWorkbook|CannotExtractOpen)$')


def reasons(catalogue, guide):
    source = open(catalogue, encoding='utf-8').read()
    text = open(guide, encoding='utf-8').read()
    found = re.findall(r'constexpr char16_t (k\w+)\[\] =\s*((?:u"[^"]*"\s*)+);', source)
    checked = 0
    missing = []
    for name, literal in found:
        if not REASON_NAMES.match(name):
            continue
        words = ''.join(re.findall(r'u"([^"]*)"', literal))
        checked += 1
        if words not in text:
            missing.append('%s «%s»' % (name, words))
    print('%d reasons checked' % checked)
    for m in missing:
        print('not in the guide: ' + m)
    return 1 if missing or checked < 30 else 0


if __name__ == '__main__':
    command, args = sys.argv[1], sys.argv[2:]
    sys.exit({'hide-unicode': hide_unicode, 'version': version, 'large-address': large_address,
              'reasons': reasons}[command](*args))
