#!/usr/bin/python3
"""Copies the "Workbook" stream out of .xls files (compound files of version 3), for the
workbook import's fuzz corpus: python3 tools/extract_workbook_streams.py OUT FILE.xls..."""
import os, struct, sys

def read_stream(data):
    sector = lambda s: data[512 + s * 512: 1024 + s * 512]
    fat_sectors = [x for x in struct.unpack_from('<109I', data, 76) if x < 0xFFFFFFFA]
    fat = b''.join(sector(s) for s in fat_sectors)
    nxt = lambda s: struct.unpack_from('<I', fat, 4 * s)[0]
    def chain(start):
        out, s = b'', start
        while s < 0xFFFFFFFA:
            out += sector(s)
            s = nxt(s)
        return out
    directory = chain(struct.unpack_from('<I', data, 48)[0])
    entries = []
    for i in range(len(directory) // 128):
        e = directory[i * 128:(i + 1) * 128]
        name = e[:64].decode('utf-16le', 'replace').split('\0')[0]
        entries.append((name, struct.unpack_from('<I', e, 116)[0], struct.unpack_from('<Q', e, 120)[0]))
    name, start, size = [e for e in entries if e[0].lower() == 'workbook'][-1]
    if size >= 4096:
        return chain(start)[:size]
    mini = chain(entries[0][1])
    minifat = chain(struct.unpack_from('<I', data, 60)[0])
    out, s = b'', start
    while s < 0xFFFFFFFA and len(out) < size:
        out += mini[s * 64:(s + 1) * 64]
        s = struct.unpack_from('<I', minifat, 4 * s)[0]
    return out[:size]

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
for path in sys.argv[2:]:
    stream = read_stream(open(path, 'rb').read())
    with open(os.path.join(out, os.path.basename(path)[:-4] + '.biff'), 'wb') as f:
        f.write(stream)
    print(path, len(stream))
