#!/usr/bin/env python3
"""Writes the ISAAC vectors that tests/framlet/foundation/flRandomTest.cpp checks.

This is a plain transcription of Bob Jenkins' published ISAAC (rand.c with its
randinit and isaac), independent of our C++ generator:

  tests/data/isaac/randvect-zero-seed.txt
      What rand.c's main prints: randinit over an all-zero seed (which already runs one
      round), then two further rounds of 256 words, "%.8lx" eight to a line.

  tests/data/isaac/time-seeded.txt
      The generator's seeding rule for a few start times: srandom(seconds), then each
      seed word is (random() & 0xF0FFF) * (an earlier random() & 0xFFFFFF) kept to 32
      bits; randinit over those words gives the first round. For each time the file
      holds a line "seconds N", the 256 seed words and the 256 first-round results.
      random() is the C library's own, reached through ctypes.

Run from the project root: python3 tools/isaac_vectors.py
"""

import ctypes
import ctypes.util
import os

MASK = 0xFFFFFFFF
SIZE = 256
GOLDEN_RATIO = 0x9E3779B9


def mix(v):
    a, b, c, d, e, f, g, h = v
    a ^= (b << 11) & MASK; d = (d + a) & MASK; b = (b + c) & MASK
    b ^= c >> 2;           e = (e + b) & MASK; c = (c + d) & MASK
    c ^= (d << 8) & MASK;  f = (f + c) & MASK; d = (d + e) & MASK
    d ^= e >> 16;          g = (g + d) & MASK; e = (e + f) & MASK
    e ^= (f << 10) & MASK; h = (h + e) & MASK; f = (f + g) & MASK
    f ^= g >> 4;           a = (a + f) & MASK; g = (g + h) & MASK
    g ^= (h << 8) & MASK;  b = (b + g) & MASK; h = (h + a) & MASK
    h ^= a >> 9;           c = (c + h) & MASK; a = (a + b) & MASK
    return [a, b, c, d, e, f, g, h]


class Isaac:
    def __init__(self, seed):
        assert len(seed) == SIZE
        self.rsl = list(seed)
        self.mem = [0] * SIZE
        self.a = self.b = self.c = 0
        v = [GOLDEN_RATIO] * 8
        for _ in range(4):
            v = mix(v)
        for source in (self.rsl, self.mem):
            for i in range(0, SIZE, 8):
                v = [(v[k] + source[i + k]) & MASK for k in range(8)]
                v = mix(v)
                self.mem[i:i + 8] = v
        self.round()

    def round(self):
        mm = self.mem
        self.c = (self.c + 1) & MASK
        a, b = self.a, (self.b + self.c) & MASK
        for i in range(SIZE):
            x = mm[i]
            shift = i & 3
            if shift == 0:
                a ^= (a << 13) & MASK
            elif shift == 1:
                a ^= a >> 6
            elif shift == 2:
                a ^= (a << 2) & MASK
            else:
                a ^= a >> 16
            a = (a + mm[(i + SIZE // 2) % SIZE]) & MASK
            y = (mm[(x >> 2) % SIZE] + a + b) & MASK
            mm[i] = y
            b = (mm[(y >> 10) % SIZE] + x) & MASK
            self.rsl[i] = b
        self.a, self.b = a, b


def hex_lines(words):
    return ["".join("%.8x" % w for w in words[i:i + 8]) for i in range(0, len(words), 8)]


def seed_words(libc, seconds):
    libc.srandom(ctypes.c_uint(seconds))
    words = []
    for _ in range(SIZE):
        earlier = libc.random() & 0xFFFFFF
        later = libc.random() & 0xF0FFF
        words.append((later * earlier) & MASK)
    return words


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "isaac")
    os.makedirs(root, exist_ok=True)

    generator = Isaac([0] * SIZE)
    out = []
    for _ in range(2):
        generator.round()
        out += hex_lines(generator.rsl)
    with open(os.path.join(root, "randvect-zero-seed.txt"), "w") as f:
        f.write("\n".join(out) + "\n")

    libc = ctypes.CDLL(ctypes.util.find_library("c"))
    libc.random.restype = ctypes.c_long
    lines = []
    # 0, a time in 2019, and the largest value srandom takes.
    for seconds in (0, 600000000, 0xFFFFFFFF):
        words = seed_words(libc, seconds)
        lines.append("seconds %d" % seconds)
        lines += hex_lines(words)
        lines += hex_lines(Isaac(words).rsl)
    with open(os.path.join(root, "time-seeded.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
