#!/usr/bin/python3
# Packs a folder's content into a zip whose Chinese names come out right in
# every tool an office uses to open it:
#
#   make_zip.py FOLDER OUT.zip
#
# - Windows Explorer on Chinese Windows 7 ignores the zip's UTF-8 flag and
#   reads every name in the OEM code page, 936 there; Explorer on Windows 10
#   and 11 does the same for a name without the flag. So each name is stored
#   in code page 936 (GBK) and the flag is left clear.
# - 7-Zip, libarchive (bsdtar, the Linux archive managers) and Info-ZIP's
#   unzip find the name as UTF-8 in an Info-ZIP Unicode Path extra field
#   (0x7075), which they take instead of the stored name when the CRC-32 it
#   carries matches that name's bytes: right on a system of any language.
# A name that code page 936 cannot write stops the packing rather than
# reaching a user garbled.
#
# Entries: every folder (with a trailing "/") and file under FOLDER, in name
# order, deflated, with the file's modification time; no zip64, so the whole
# must stay under 4 GB.

import os
import struct
import sys
import time
import zlib

NAME_CODEPAGE = 'cp936'
UNICODE_PATH = 0x7075
VERSION = 20  # 2.0: deflate and folders; made on MS-DOS/FAT (host 0)
DIRECTORY = 0x10
ARCHIVE = 0x20


def dos_time(seconds):
    t = time.localtime(max(seconds, 315532800))  # the format starts in 1980
    return ((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2),
            ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday)


def entries(folder):
    found = []
    for base, dirs, files in os.walk(folder):
        dirs.sort()
        for name in dirs + sorted(files):
            path = os.path.join(base, name)
            found.append((os.path.relpath(path, folder).replace(os.sep, '/'), path))
    return sorted(found)


def pack(folder, out):
    central = []
    with open(out, 'wb') as f:
        for name, path in entries(folder):
            is_dir = os.path.isdir(path)
            if is_dir:
                name += '/'
            try:
                stored = name.encode(NAME_CODEPAGE)
            except UnicodeEncodeError:
                sys.exit('make_zip: code page 936 cannot write the name %r' % name)
            unicode_name = name.encode('utf-8')
            extra = b''
            if unicode_name != stored:
                body = struct.pack('<BI', 1, zlib.crc32(stored)) + unicode_name
                extra = struct.pack('<HH', UNICODE_PATH, len(body)) + body
            data = b''
            if not is_dir:
                with open(path, 'rb') as source:
                    data = source.read()
            crc = zlib.crc32(data)
            method = 0
            packed = data
            if data:
                compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
                deflated = compressor.compress(data) + compressor.flush()
                if len(deflated) < len(data):
                    method, packed = 8, deflated
            clock, day = dos_time(os.stat(path).st_mtime)
            offset = f.tell()
            f.write(struct.pack('<IHHHHHIIIHH', 0x04034B50, VERSION, 0, method, clock, day,
                                crc, len(packed), len(data), len(stored), len(extra)))
            f.write(stored + extra + packed)
            attributes = DIRECTORY if is_dir else ARCHIVE
            central.append(struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, VERSION, VERSION, 0,
                                       method, clock, day, crc, len(packed), len(data),
                                       len(stored), len(extra), 0, 0, 0, attributes, offset)
                           + stored + extra)
        start = f.tell()
        for record in central:
            f.write(record)
        size = f.tell() - start
        if start + size >= 1 << 32 or len(central) >= 1 << 16:
            sys.exit('make_zip: too large for a zip without zip64')
        f.write(struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, len(central), len(central), size,
                            start, 0))


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit('usage: make_zip.py FOLDER OUT.zip')
    pack(sys.argv[1], sys.argv[2])
