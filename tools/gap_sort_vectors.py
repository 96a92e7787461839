#!/usr/bin/env python3
"""Writes tests/data/arrays/gap-sort-ties.txt, the order in which the record arrays' sort
leaves records with equal keys. The sheet's Sort exchanges row numbers through that sort, so
the order of equal rows is part of what users see and must not change.

The sort: gaps of the form 2^k - 1, the first being P - 1 for the largest power of two P not
above the count, each later one half the previous (shifted right), down to 1. For each gap g
and each start s from 1 to count - g, j runs down from s in steps of g while j > 0, swapping
records j - 1 and j - 1 + g as long as the comparison answers 1 ("first goes after second").

Each case is two lines: "keys" followed by the record keys in their starting order, then
"order" followed by the starting positions of the records as the sort leaves them (the key
comparison answers 1 only when the first key is greater). The inputs come from a fixed
linear congruential sequence so the file is reproducible.

Run from the project root: python3 tools/gap_sort_vectors.py
"""

import os


def gap_sort(records, after):
    count = len(records)
    if count < 2:
        return
    power = 1
    while power * 2 <= count:
        power *= 2
    gap = power - 1
    while gap > 0:
        for s in range(1, count - gap + 1):
            j = s
            while j > 0:
                if after(records[j - 1], records[j - 1 + gap]) != 1:
                    break
                records[j - 1], records[j - 1 + gap] = records[j - 1 + gap], records[j - 1]
                j -= gap
        gap >>= 1


class Sequence:
    def __init__(self, seed):
        self.state = seed

    def next(self, limit):
        self.state = (self.state * 1103515245 + 12345) % (1 << 31)
        return (self.state >> 8) % limit


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "arrays")
    os.makedirs(path, exist_ok=True)
    sequence = Sequence(20240611)
    sizes = list(range(0, 34)) + [63, 64, 65, 127, 200, 1000]
    lines = []
    for size in sizes:
        for distinct in (2, 5):
            keys = [sequence.next(distinct) for _ in range(size)]
            records = list(enumerate(keys))
            gap_sort(records, lambda a, b: 1 if a[1] > b[1] else -1)
            assert [k for _, k in records] == sorted(keys)
            lines.append("keys " + " ".join(str(k) for k in keys))
            lines.append("order " + " ".join(str(i) for i, _ in records))
    with open(os.path.join(path, "gap-sort-ties.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
