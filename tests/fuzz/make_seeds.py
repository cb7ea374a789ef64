#!/usr/bin/env python3
"""Writes the seed corpora under tests/fuzz/corpus from the workbooks in
tests/data, plus a few small hand-made parts that reach the readers' less
common paths. Run it again after the fixtures change; the output is
deterministic."""

import hashlib
import io
import pathlib
import shutil
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE.parent / "data"
CORPUS = HERE / "corpus"
MARKER = b"@@sheet1@@"

NS = b'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'

SHARED = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst ' + NS +
          b' count="4" uniqueCount="4"><si><t>2024</t></si><si><t xml:space="preserve"> A01 </t></si>'
          b'<si><r><rPr><b/></rPr><t>G</t></r><r><t>1;G2</t></r></si><si><t>B<![CDATA[0]]>2</t></si></sst>')

SHEETS = {
    # shared strings, a formula's cached value, an inline string, a cell without reference
    "mixed": b'<worksheet ' + NS + b'><sheetData>'
             b'<row r="2"><c r="D2" t="s"><v>0</v></c><c r="E2" t="inlineStr"><is><t>Review</t></is></c></row>'
             b'<row r="3"><c r="C3" t="s"><v>1</v></c><c r="D3" t="s"><v>2</v></c>'
             b'<c t="str"><f>"G"&amp;"4"</f><v>G4</v></c></row>'
             b'<row><c r="C4" t="s"><v>3</v></c><c r="D4"><v>7</v></c></row></sheetData></worksheet>',
    # every element with a namespace prefix, and rows without numbers
    "prefixed": b'<x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                b'<x:sheetData><x:row><x:c t="inlineStr"><x:is><x:t>a</x:t></x:is></x:c></x:row>'
                b'<x:row><x:c r="C2" t="inlineStr"><x:is><x:t>A01</x:t></x:is></x:c>'
                b'<x:c r="d2" t="inlineStr"><x:is><x:r><x:t>G</x:t></x:r><x:r><x:t>9</x:t></x:r></x:is></x:c>'
                b'</x:row></x:sheetData></x:worksheet>',
    # names that try to leave the program folder
    "escaping": b'<worksheet><sheetData><row r="2"><c r="D2" t="inlineStr"><is><t>..\\up</t></is></c>'
                b'<c r="E2" t="inlineStr"><is><t>/abs</t></is></c></row>'
                b'<row r="3"><c r="C3" t="inlineStr"><is><t>A01</t></is></c>'
                b'<c r="D3" t="inlineStr"><is><t>x,..,a/../../b; C:\\d</t></is></c>'
                b'<c r="E3" t="inlineStr"><is><t>0-\xe6\x89\x80\xe6\x9c\x89\xe5\xb1\xa5\xe8\x81\x8c\xe6\x9d\x90\xe6\x96\x99/A01/in</t></is></c>'
                b'</row></sheetData></worksheet>',
    # extreme references and a document that stops in the middle
    "extreme": b'<!DOCTYPE worksheet [<!ENTITY e "A01">]><worksheet><sheetData>'
               b'<row r="2147483647"><c r="XFD2147483647"><v>1</v></c><c r="ZZZZZZZZ2"><v>&e;</v></c></row>'
               b'<row r="-5"><c r="D0"><v>2</v></c><!-- note --><c/><c r="D3"><![CDATA[G1]]></c>'
               b'<?pi data?></row><row r="3"><c r="C3"><v>&e;</v></c><c r="D3" t="s"><v>99</v>',
}

EXTRA_XML = {
    "declared.xml": b'<?xml version="1.0" encoding="UTF-16"?>',
    "latin1.xml": b'<?xml version="1.0" encoding="ISO-8859-1"?><a b="\xe9">\xe9\r\nx\ry</a>',
    "deep.xml": b"<a>" * 200 + b"text" + b"</a>" * 200,
    "paths.xml": b'<!DOCTYPE r SYSTEM "r.dtd"><!--c--><?p q?><r a="1" r="2" t="s"><a/><b><c/></b><b/>'
                 b'<![CDATA[x]]></r><!--after-->',
}


def write(folder, name, data):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def parts_of(workbook):
    strings, sheet, entries = b"", None, []
    with zipfile.ZipFile(workbook) as z:
        for info in z.infolist():
            name = info.filename.replace("\\", "/")
            if "xl/worksheets/sheet1.xml" in name:
                sheet = z.read(info)
            elif "xl/sharedStrings.xml" in name:
                strings = z.read(info)
            else:
                continue
            entries.append((info.filename, z.read(info)))
    return strings, sheet, entries


# Stored entries, so that the whole-path target's mutator can change their
# data and pack them again.
def workbook(entries, compression=zipfile.ZIP_STORED):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", compression) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = compression
            z.writestr(info, data)
    return out.getvalue()


def short(data):
    return hashlib.sha1(data).hexdigest()[:12]


def main():
    shutil.rmtree(CORPUS, ignore_errors=True)
    xml, readers, xlsx = CORPUS / "xml", CORPUS / "readers", CORPUS / "xlsx"
    for path in sorted(DATA.glob("*.xlsx")):
        write(xlsx, path.name, path.read_bytes())
        strings, sheet, entries = parts_of(path)
        if entries:
            write(xlsx, "stored-" + path.name, workbook(entries))
        if strings:
            write(xml, "strings-" + short(strings) + ".xml", strings)
        if sheet is not None:
            write(xml, "sheet-" + short(sheet) + ".xml", sheet)
            write(readers, path.stem + ".parts", strings + MARKER + sheet)
    for name, sheet in SHEETS.items():
        write(xml, name + ".xml", sheet)
        write(readers, name + ".parts", SHARED + MARKER + sheet)
        write(xlsx, name + ".xlsx", workbook([("xl/sharedStrings.xml", SHARED),
                                              ("xl/worksheets/sheet1.xml", sheet)]))
    write(readers, "sheet-only.parts", SHEETS["prefixed"])
    # The same sheet in UTF-16 with a byte order mark, as some producers write.
    utf16 = "\ufeff".encode("utf-16-le") + SHEETS["mixed"].decode().encode("utf-16-le")
    write(xml, "utf16.xml", utf16)
    write(readers, "utf16.parts", SHARED + MARKER + utf16)
    for name, data in EXTRA_XML.items():
        write(xml, name, data)
    # Stored entries, written with "\" and listed twice, beside an unrelated entry.
    write(xlsx, "stored-twice.xlsx", workbook([("docProps/app.xml", b"<a/>"),
                                              ("xl\\worksheets\\sheet1.xml", SHEETS["mixed"]),
                                              ("xl/worksheets/sheet1.xml", SHEETS["escaping"]),
                                              ("xl\\sharedStrings.xml", SHARED)]))
    write(xlsx, "deflated.xlsx", workbook([("xl/worksheets/sheet1.xml", SHEETS["mixed"])],
                                          zipfile.ZIP_DEFLATED))
    write(xlsx, "empty.xlsx", workbook([]))


if __name__ == "__main__":
    main()
