#!/usr/bin/env python3
"""Peak memory of a whole console run on a workbook holding one huge cell,
against the bound the program keeps: four times the two uncompressed parts
plus 64 MiB. The cell is a shared string (entry name, group name or
destination item, one per run) and an inline string.

    bench/big_cell_bench.py [PROGRAM] [MIB]     (default build/varnelo, 100)
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import zipfile

program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/varnelo")
mib = int(sys.argv[2]) if len(sys.argv) > 2 else 100
NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'


def workbook(path, where, huge):
    names = {"C3": "A01", "D2": "G", "D3": "X"}
    names[where] = huge
    strings = list(names.values())
    sst = ('<sst %s count="%d" uniqueCount="%d">' % (NS, len(strings), len(strings)) +
           "".join("<si><t>%s</t></si>" % s for s in strings) + "</sst>")
    cells = {ref: '<c r="%s" t="s"><v>%d</v></c>' % (ref, i) for i, ref in enumerate(names)}
    sheet = ('<worksheet %s><sheetData><row r="2">%s</row><row r="3">%s%s</row></sheetData></worksheet>'
             % (NS, cells["D2"], cells["C3"], cells["D3"]))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("xl/worksheets/sheet1.xml", sheet)
        z.writestr("xl/sharedStrings.xml", sst)
    return len(sheet.encode()) + len(sst.encode())


def inline_workbook(path, huge):
    sheet = ('<worksheet %s><sheetData><row r="2"><c r="D2" t="inlineStr"><is><t>G</t></is></c></row>'
             '<row r="3"><c r="C3" t="inlineStr"><is><t>A01</t></is></c>'
             '<c r="D3" t="inlineStr"><is><t>%s</t></is></c></row></sheetData></worksheet>' % (NS, huge))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("xl/worksheets/sheet1.xml", sheet)
    return len(sheet.encode())


def peak_of_run(folder):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    proc = subprocess.run([os.path.join(folder, "varnelo")], env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    after = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    # ru_maxrss of the children is the largest of them; each case runs in a
    # fresh interpreter below, so it is this run's own peak.
    return max(before, after) * 1024, proc.returncode, len(proc.stdout)


def one(case):
    # ASCII costs the most: one byte in the part, two in a text.
    huge = "n" * (mib * 1024 * 1024)
    folder = tempfile.mkdtemp()
    try:
        os.makedirs(os.path.join(folder, "0-所有履职材料", "A01"))
        with open(os.path.join(folder, "0-所有履职材料", "A01", "a.txt"), "w") as f:
            f.write("x")
        shutil.copy(program, os.path.join(folder, "varnelo"))
        book = os.path.join(folder, "0-所有履职材料", "履职材料同步关系表.xlsx")
        parts = inline_workbook(book, huge) if case == "inline" else workbook(book, case, huge)
        peak, status, printed = peak_of_run(folder)
        bound = 4 * parts + 64 * 1024 * 1024
        print("%-8s parts %6.1f MiB  peak %7.1f MiB  bound %7.1f MiB  %4.2fx parts  output %d bytes  exit %d  %s"
              % (case, parts / 2**20, peak / 2**20, bound / 2**20, peak / parts, printed, status,
                 "within" if peak <= bound else "OVER"))
        return peak <= bound
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    if len(sys.argv) > 3:
        sys.exit(0 if one(sys.argv[3]) else 1)
    ok = True
    for case in ("C3", "D2", "D3", "inline"):
        # A fresh interpreter per case, so that the children's peak is this case's.
        ok &= subprocess.run([sys.executable, __file__, program, str(mib), case]).returncode == 0
    sys.exit(0 if ok else 1)
