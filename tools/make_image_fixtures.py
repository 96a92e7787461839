#!/usr/bin/env python3
"""Writes the small picture files under tests/data/images that the image tests read.

Each file is built byte by byte here, without Qt, so the tests check Qt's decoding (and our
handling of pictures Qt cannot decode) against an independent encoder:
  rgba-2x2.png   red, half-transparent green / blue, transparent (RGBA, 8 bits)
  opaque-3x2.png six opaque pixels (RGB, no alpha channel)
  red-left.pdf   a 144 x 72 point page whose left half is filled with pure red
  frame.emf      an enhanced metafile header (frame 50.8 x 25.4 mm = 144 x 72 pt) and EOF record
  frame.pict     a version-2 PICT with a 512-byte file header, frame 100 x 40 pt, end opcode
  tiny.gif       a 1 x 1 GIF (white)
  ispe.heic      an ISO-BMFF "ftyp heic" box and an "ispe" property of 320 x 200 (no image data)
Run from the repository root: python3 tools/make_image_fixtures.py
"""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(__file__), "..", "tests", "data", "images")


def png(width, height, color_type, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


def pdf():
    content = b"1 0 0 RG 1 0 0 rg 0 0 72 72 re f\n"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 144 72] /Contents 4 0 R /Resources << >> >>",
        b"<< /Length " + str(len(content)).encode() + b" >>\nstream\n" + content + b"endstream",
    ]
    out = b"%PDF-1.4\n"
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += str(number).encode() + b" 0 obj\n" + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 " + str(len(objects) + 1).encode() + b"\n0000000000 65535 f \n"
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size " + str(len(objects) + 1).encode() + b" /Root 1 0 R >>\n"
    out += b"startxref\n" + str(xref).encode() + b"\n%%EOF\n"
    return out


def emf():
    # EMR_HEADER: type, size, bounds (device units), frame (0.01 mm), signature, version, bytes,
    # records, handles, reserved, description length/offset, palette entries, device (pixels), (mm).
    records = 2
    header_size = 88
    eof = struct.pack("<IIIII", 14, 20, 0, 0, 20)
    total = header_size + len(eof)
    header = struct.pack("<II", 1, header_size)
    header += struct.pack("<iiii", 0, 0, 143, 71)
    header += struct.pack("<iiii", 0, 0, 5080, 2540)
    header += b" EMF" + struct.pack("<IIIHHIII", 0x10000, total, records, 1, 0, 0, 0, 0)
    header += struct.pack("<iiii", 1920, 1080, 508, 286)
    assert len(header) == header_size, len(header)
    return header + eof


def pict():
    body = struct.pack(">H", 0)                   # picSize (unused in version 2)
    body += struct.pack(">hhhh", 0, 0, 40, 100)   # picFrame: top, left, bottom, right
    body += bytes.fromhex("001102ff")             # version opcode, version 2
    # Extended header: version -2, reserved, 72 dpi both ways, source rectangle, reserved.
    body += bytes.fromhex("0c00") + struct.pack(">hhiihhhhI", -2, 0, 72 << 16, 72 << 16, 0, 0, 40, 100, 0)
    body += bytes.fromhex("00ff")                 # end of picture
    return bytes(512) + body


def gif():
    return (b"GIF89a" + struct.pack("<HHBBB", 1, 1, 0x80, 0, 0) + b"\xff\xff\xff\x00\x00\x00"
            + b"\x2c" + struct.pack("<HHHHB", 0, 0, 1, 1, 0) + b"\x02\x02\x44\x01\x00" + b"\x3b")


def heic():
    ftyp = struct.pack(">I", 24) + b"ftypheic" + struct.pack(">I", 0) + b"mif1heic"
    ispe = struct.pack(">I", 20) + b"ispe" + struct.pack(">III", 0, 320, 200)
    return ftyp + ispe


def main():
    os.makedirs(OUT, exist_ok=True)
    files = {
        "rgba-2x2.png": png(2, 2, 6, [[255, 0, 0, 255, 0, 255, 0, 128], [0, 0, 255, 255, 0, 0, 0, 0]]),
        "opaque-3x2.png": png(3, 2, 2, [[10, 20, 30, 40, 50, 60, 70, 80, 90],
                                        [255, 255, 255, 0, 0, 0, 128, 128, 128]]),
        "red-left.pdf": pdf(),
        "frame.emf": emf(),
        "frame.pict": pict(),
        "tiny.gif": gif(),
        "ispe.heic": heic(),
    }
    for name, data in files.items():
        with open(os.path.join(OUT, name), "wb") as handle:
            handle.write(data)


if __name__ == "__main__":
    main()
