#!/usr/bin/env python3
"""Time and peak memory of `velkor-cli convert` on hostile log files and on
1,000,000-row logs.

Builds every input in a temporary directory, runs the real command on each
(a few times; the median is printed) and reports wall time, peak resident
memory of the child (wait4) and how the command answered. Alongside:
`xmllint --stream --noout` on the same 1,000,000-row XML file, the yardstick
for loading and saving it.

    bench/log_file_bounds.py BUILD/src/cli/velkor-cli [--runs 3] [--limit 60]
                             [--only NAME]
"""

import argparse
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

ROWS = 1_000_000

XML_HEAD = (
    '<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>'
    '<FIELD attrname="No" fieldtype="i4"/>'
    '<FIELD attrname="Time" fieldtype="string" WIDTH="20"/>'
    '<FIELD fieldname="DC/AC" attrname="DC_AC" fieldtype="string" WIDTH="20"/>'
    '<FIELD attrname="Value" fieldtype="string" WIDTH="20"/>'
    '<FIELD attrname="Unit" fieldtype="string" WIDTH="20"/>'
    '<FIELD attrname="Auto" fieldtype="string" WIDTH="20"/>'
    '<FIELD attrname="NVal" fieldtype="i4"/>'
    '</FIELDS><PARAMS/></METADATA><ROWDATA>'
)
XML_TAIL = '</ROWDATA></DATAPACKET>'


def row_xml(i):
    s = i % 86400
    return '<ROW No="%d" Time="%02d:%02d:%02d" DC_AC="DC" Value="%d.%03d" Unit="V" Auto="pass"/>' % (
        i + 1, s // 3600, s // 60 % 60, s % 60, (i * 7919) % 1000, i % 1000)


def write_xml_log(path, rows):
    with open(path, 'w', encoding='utf-8') as f:
        f.write(XML_HEAD)
        chunk = []
        for i in range(rows):
            chunk.append(row_xml(i))
            if len(chunk) == 10000:
                f.write(''.join(chunk))
                chunk = []
        f.write(''.join(chunk))
        f.write(XML_TAIL)


def write_xml_distinct(path, rows):
    """Every text of every row different, 20 characters each."""
    with open(path, 'w', encoding='utf-8') as f:
        f.write(XML_HEAD)
        for start in range(0, rows, 10000):
            f.write(''.join(
                '<ROW No="%d" Time="t%019d" DC_AC="d%019d" Value="v%019d" Unit="u%019d" '
                'Auto="a%019d"/>' % (i + 1, i, i, i, i, i)
                for i in range(start, min(rows, start + 10000))))
        f.write(XML_TAIL)


def write_xml_attrs(path, count):
    with open(path, 'w', encoding='utf-8') as f:
        f.write(XML_HEAD)
        f.write('<ROW')
        f.write(''.join(' a%d="1"' % k for k in range(count)))
        f.write('/>')
        f.write(XML_TAIL)


CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/></Types>')
PACKAGE_RELS = (
    '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" '
    'Target="xl/workbook.xml"/></Relationships>')
WORKBOOK = (
    '<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>'
    '<sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>')
WORKBOOK_RELS = (
    '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" '
    'Target="worksheets/sheet1.xml"/>'
    '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" '
    'Target="sharedStrings.xml"/></Relationships>')
SHEET_HEAD = ('<?xml version="1.0" encoding="UTF-8"?><worksheet '
              'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>')
SHEET_TAIL = '</sheetData></worksheet>'
HEADER_ROW = ''.join('<c r="%s1" t="inlineStr"><is><t>%s</t></is></c>' % (c, t) for c, t in zip(
    'ABCDEF', ['No.', 'Time', 'DC/AC', 'Value', 'Unit', 'Auto']))


def write_workbook(path, sheet_parts, shared_parts=None):
    """sheet_parts, shared_parts: iterables of str, streamed into the zip."""
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr('[Content_Types].xml', CONTENT_TYPES)
        z.writestr('_rels/.rels', PACKAGE_RELS)
        z.writestr('xl/workbook.xml', WORKBOOK)
        z.writestr('xl/_rels/workbook.xml.rels', WORKBOOK_RELS)
        with z.open('xl/worksheets/sheet1.xml', 'w', force_zip64=True) as f:
            for p in sheet_parts:
                f.write(p.encode('utf-8'))
        if shared_parts is not None:
            with z.open('xl/sharedStrings.xml', 'w', force_zip64=True) as f:
                for p in shared_parts:
                    f.write(p.encode('utf-8'))


def sheet_one_row(cells):
    yield SHEET_HEAD
    yield '<row r="1">' + HEADER_ROW + '</row><row r="2">' + cells + '</row>'
    yield SHEET_TAIL


def hostile_wb_attrs(path):
    attrs = ''.join(' a%d="1"' % k for k in range(1_000_000))
    write_workbook(path, sheet_one_row('<c r="A2"%s><v>1</v></c>' % attrs))


def hostile_wb_inline(path):
    def parts():
        # Runs of 1 MiB each, so that no single piece of text is large.
        yield SHEET_HEAD + '<row r="1">' + HEADER_ROW + '</row><row r="2"><c r="A2" t="inlineStr"><is>'
        block = '<r><t>' + 'x' * (1 << 20) + '</t></r>'
        for _ in range(300):
            yield block
        yield '</is></c></row>' + SHEET_TAIL
    write_workbook(path, parts())


def shared(count, distinct):
    yield ('<?xml version="1.0" encoding="UTF-8"?><sst xmlns="http://schemas.openxmlformats.org/'
           'spreadsheetml/2006/main" count="%d" uniqueCount="%d">' % (count, count))
    step = 100_000
    for start in range(0, count, step):
        if distinct:
            yield ''.join('<si><t>%07d</t></si>' % k for k in range(start, min(count, start + step)))
        else:
            yield '<si><t>a</t></si>' * min(step, count - start)
    yield '</sst>'


def hostile_wb_shared15m(path):
    write_workbook(path, sheet_one_row('<c r="A2"><v>1</v></c>'), shared(15_000_000, False))


def hostile_wb_shared8m(path):
    write_workbook(path, sheet_one_row('<c r="A2"><v>1</v></c>'), shared(8_000_000, True))


def hostile_wb_bomb(path):
    # Rows of a log, each followed by markup the reader skips: 1.8 GB expanded.
    filler = '<x/>' * 16384

    def parts():
        yield SHEET_HEAD + '<row r="1">' + HEADER_ROW + '</row>'
        for r in range(2, 2 + 27_500):
            yield ('<row r="%d"><c r="A%d"><v>%d</v></c>' % (r, r, r - 1)) + filler + '</row>'
        yield SHEET_TAIL
    write_workbook(path, parts())


MAKERS = {
    'attrs80k.xml': lambda p: write_xml_attrs(p, 80_000),
    'attrs1m.xml': lambda p: write_xml_attrs(p, 1_000_000),
    'attrs1m.xlsx': hostile_wb_attrs,
    'inline.xlsx': hostile_wb_inline,
    'shared15m.xlsx': hostile_wb_shared15m,
    'shared8m.xlsx': hostile_wb_shared8m,
    'bomb.xlsx': hostile_wb_bomb,
    'rows1m.xml': lambda p: write_xml_log(p, ROWS),
    'distinct1m.xml': lambda p: write_xml_distinct(p, ROWS),
}


def run_timed(argv, limit):
    start = time.monotonic()
    p = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         start_new_session=True)
    killed = False
    while True:
        pid, status, ru = os.wait4(p.pid, os.WNOHANG)
        if pid:
            break
        if time.monotonic() - start > limit:
            os.killpg(p.pid, signal.SIGKILL)
            killed = True
            pid, status, ru = os.wait4(p.pid, 0)
            break
        time.sleep(0.01)
    wall = time.monotonic() - start
    err = p.stderr.read().decode('utf-8', 'replace').strip().splitlines()
    p.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    answer = 'killed after %ds' % limit if killed else 'exit %d%s' % (
        code, (': ' + err[-1][:110]) if err else '')
    return wall, ru.ru_maxrss / 1024.0, answer


def main():
    if len(sys.argv) == 4 and sys.argv[1] == '--make':
        # Inputs are built in a process of their own, so that this one stays
        # small: a child's peak memory counts the parent's pages it was
        # forked with.
        MAKERS[sys.argv[2]](sys.argv[3])
        return
    ap = argparse.ArgumentParser()
    ap.add_argument('cli')
    ap.add_argument('--runs', type=int, default=3)
    ap.add_argument('--limit', type=float, default=60)
    ap.add_argument('--only', default='')
    ap.add_argument('--keep', default='', help='build inputs in this directory and keep them')
    args = ap.parse_args()
    cli = os.path.abspath(args.cli)

    tmp = args.keep or tempfile.mkdtemp(prefix='velkor-bounds-')
    os.makedirs(tmp, exist_ok=True)

    def path(name):
        return os.path.join(tmp, name)

    inputs = [
        ('xml 80,000 attributes', 'attrs80k.xml'),
        ('xml 1,000,000 attributes', 'attrs1m.xml'),
        ('xlsx 1,000,000 attributes', 'attrs1m.xlsx'),
        ('xlsx 300 MiB inline string', 'inline.xlsx'),
        ('xlsx 15 M shared strings', 'shared15m.xlsx'),
        ('xlsx 8 M distinct shared strings', 'shared8m.xlsx'),
        ('xlsx sheet expanding to 1.8 GB', 'bomb.xlsx'),
        ('xml log 1,000,000 rows', 'rows1m.xml'),
        ('xml 1,000,000 rows, texts distinct', 'distinct1m.xml'),
        ('xlsx log 1,000,000 rows', 'rows1m.xlsx'),
    ]

    def make(name, p):
        subprocess.run([sys.executable, os.path.abspath(__file__), '--make', name, p], check=True)

    print('inputs in', tmp, file=sys.stderr)
    for label, name in inputs:
        if args.only and args.only not in name:
            continue
        p = path(name)
        if not os.path.exists(p):
            if name not in MAKERS:  # the workbook is the XML log exported by the program itself
                src = path('rows1m.xml')
                if not os.path.exists(src):
                    make('rows1m.xml', src)
                subprocess.run([cli, 'convert', src, p], check=True)
            else:
                make(name, p)
        out = path('out.xml')
        results = []
        for _ in range(args.runs):
            if os.path.exists(out):
                os.unlink(out)
            results.append(run_timed([cli, 'convert', p, out], args.limit))
        wall = statistics.median(r[0] for r in results)
        rss = statistics.median(r[1] for r in results)
        print('%-34s %9.1f MB in  %8.2f s  %8.1f MB peak  %s' % (
            label, os.path.getsize(p) / 1e6, wall, rss, results[-1][2]), flush=True)
        if name == 'rows1m.xml' and shutil.which('xmllint'):
            lint = [run_timed(['xmllint', '--stream', '--noout', p], args.limit)
                    for _ in range(args.runs)]
            print('%-34s %9.1f MB in  %8.2f s  %8.1f MB peak  %s' % (
                '  xmllint --stream --noout', os.path.getsize(p) / 1e6,
                statistics.median(r[0] for r in lint), statistics.median(r[1] for r in lint),
                lint[-1][2]), flush=True)
    if not args.keep:
        for f in os.listdir(tmp):
            os.unlink(os.path.join(tmp, f))
        os.rmdir(tmp)


if __name__ == '__main__':
    main()
