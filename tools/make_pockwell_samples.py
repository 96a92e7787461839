#!/usr/bin/python3
"""Writes small version-2 Pockwell documents for the reader's tests and fuzz corpus, laid out
by hand from the format: a 372-byte header (little-endian integers, big-endian doubles), then
the cell records, the strings (a length byte and Mac OS Roman bytes each), the column format
records and the row format records.
Run: python3 tools/make_pockwell_samples.py tests/data/pockwell"""
import os, struct, sys

NONE = 0xFFFF
BOLD, ITALIC, UNDERLINE = 1 << 31, 1 << 30, 1 << 29

def numfmt(code): return code << 24
def align(v): return v << 22
def text_colour(i): return i << 8

def document(cells, strings, columns=(), rows=(), font=b'Helvetica', size=12, width=10.0,
             default_word=0, flags=(1, 0, 0, 0, 1, 1), version=2, bom=1):
    """cells: rows of (column, row, flags, string, word, mask, (day, month, year), number)."""
    records = []
    first_of_row = []
    for r in cells:
        first_of_row.append(len(records))
        for i, c in enumerate(r):
            records.append(list(c) + [len(records) + 1 if i + 1 < len(r) else NONE])
    body_cells = b''
    for index, rec in enumerate(records):
        col, row, fl, string, word, mask, (d, m, y), number, nxt = rec
        next_row = NONE
        if index in first_of_row:
            k = first_of_row.index(index)
            next_row = first_of_row[k + 1] if k + 1 < len(first_of_row) else NONE
        body_cells += struct.pack('<HHHHHHIIBBH4x', col, row, nxt, next_row, fl, string, word, mask, d, m, y)
        body_cells += struct.pack('>d', number)
    body_strings = b''.join(bytes([len(s)]) + s for s in strings)
    body_columns = b''.join(struct.pack('<HIIH', c, w, mk, pts) + struct.pack('>d', dg) for c, w, mk, pts, dg in columns)
    body_rows = b''.join(struct.pack('<HII', r, w, mk) + b'\0' * 10 for r, w, mk in rows)
    header = bytearray(372)
    struct.pack_into('<HH', header, 0, version, bom)
    struct.pack_into('<HH', header, 12, len(strings), 0 if records else NONE)
    struct.pack_into('<H', header, 24, size)
    struct.pack_into('<I', header, 28, default_word)
    struct.pack_into('>d', header, 32, width)
    header[41:41 + len(font)] = font
    for offset, value in zip((298, 299, 300, 302, 304, 305), flags):
        header[offset] = value
    at = 372
    sections = []
    for body, second in ((body_cells, len(body_cells)), (b'', 0), (body_strings, len(body_strings)),
                         (body_columns, len(columns)), (body_rows, len(rows))):
        sections.append((at, second))
        at += len(body)
    for i, (offset, second) in enumerate(sections):
        struct.pack_into('<II', header, 332 + 8 * i, offset, second)
    return bytes(header) + body_cells + body_strings + body_columns + body_rows

def basic():
    strings = ['Name', '=AVG(B1:B3)', '=pmt(B1,B2,B3)', 'Caf\u00e9', '=pmt(f(a,b),c)']
    enc = [s.encode('mac_roman') for s in strings]
    cells = [
        [(0, 0, 0, 0, BOLD, BOLD, (0, 0, 0), 0.0),
         (1, 0, 0, NONE, numfmt(3), numfmt(31), (0, 0, 0), 3.5),
         (2, 0, 4, NONE, numfmt(14), numfmt(31), (5, 3, 2021), 0.0),
         (3, 0, 0, 1, 0, 0, (0, 0, 0), 0.0)],
        [(0, 1, 0, 2, 0, 0, (0, 0, 0), 0.0),
         (1, 1, 0, NONE, 0, 0, (0, 0, 0), -12.0),
         (4, 1, 0, 3, text_colour(18), 0xFF00, (0, 0, 0), 0.0),
         (5, 1, 0, 4, 0, 0, (0, 0, 0), 0.0)],
        [(1, 2, 8, NONE, 18, 0xFF, (0, 0, 0), 0.0),
         (2, 2, 8, NONE, 0, 0, (0, 0, 0), 0.0),
         (3, 2, 0, NONE, align(2), align(3), (0, 0, 0), 1e20)],
    ]
    columns = [(1, 0, 0, 0, 10.0), (2, 0, 0, 50, 0.0), (3, UNDERLINE, UNDERLINE, 0, 0.0), (4, 0, 0, 0, 0.0)]
    rows = [(2, ITALIC, ITALIC), (3, 0, 0)]
    return document(cells, enc, columns, rows)

def formulas():
    """A loan's payment as Pockwell writes it, rate first, and a natural logarithm."""
    strings = ['=pmt(A1,12,1000)', '=pmt(0.01,12,1000)', '=loge(1)', '=LOGE(A1*100)+pmt(A1,B1,1000)']
    enc = [s.encode('mac_roman') for s in strings]
    cells = [
        [(0, 0, 0, NONE, 0, 0, (0, 0, 0), 0.01),
         (1, 0, 0, NONE, 0, 0, (0, 0, 0), 12.0)],
        [(0, 1, 0, 0, 0, 0, (0, 0, 0), 0.0),
         (1, 1, 0, 1, 0, 0, (0, 0, 0), 0.0),
         (2, 1, 0, 2, 0, 0, (0, 0, 0), 0.0),
         (3, 1, 0, 3, 0, 0, (0, 0, 0), 0.0)],
    ]
    return document(cells, enc)

def arguments():
    """Formulas with several arguments and decimal points, as Pockwell writes them in any locale;
    B1 holds a yearly rate."""
    strings = ['=avg(1,2,3)', '=prod(2,3)+logb(8)+log(100)', '=power(2,10)', '=PMT(B1,12,1000)',
               '=pmt(B1/12,360,250000)', '=pmt(0.01,12,1000)', '=2.5']
    enc = [s.encode('mac_roman') for s in strings]
    cells = [
        [(1, 0, 0, NONE, 0, 0, (0, 0, 0), 0.05)],
        [(i, 1, 0, i, 0, 0, (0, 0, 0), 0.0) for i in range(len(strings))],
    ]
    return document(cells, enc)

def texts():
    """Texts as Pockwell stores them, in its own number syntax whatever the locale: C1:C5 read as
    1.5, a text, 1234.5, 12.5% and a text, which D1 sums to 1236.125; E1 is a formula with a
    quoted number in it, F1 a date month first, G1 a text with a comma between digits."""
    strings = ['1.5', '2,5', '1,234.5', '12.5%', '1.5.2024', '=SUM(C1:C5)', '="v 1.5"', '1/5/2024', '1,5']
    enc = [s.encode('mac_roman') for s in strings]
    cells = [
        [(2, 0, 0, 0, 0, 0, (0, 0, 0), 0.0),
         (3, 0, 0, 5, 0, 0, (0, 0, 0), 0.0),
         (4, 0, 0, 6, 0, 0, (0, 0, 0), 0.0),
         (5, 0, 0, 7, 0, 0, (0, 0, 0), 0.0),
         (6, 0, 0, 8, 0, 0, (0, 0, 0), 0.0)],
    ] + [[(2, row, 0, row, 0, 0, (0, 0, 0), 0.0)] for row in range(1, 5)]
    return document(cells, enc)

def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    samples = {
        'basic.pkwd': basic(),
        'formulas.pkwd': formulas(),
        'arguments.pkwd': arguments(),
        'texts.pkwd': texts(),
        'empty.pkwd': document([], []),
        'version3.pkwd': document([], [], version=3),
        'bigendian.pkwd': document([], [], bom=0x0100),
    }
    for name, data in samples.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)
        print(name, len(data))

main()
