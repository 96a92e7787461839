#!/usr/bin/env python3
"""Writes tests/data/encodings/: what Python's codecs make of every byte of the single-byte code
pages, and sample texts in the multi-byte encodings, as independent vectors for the ICU-backed
conversions in src/platform/TextEncodings.cpp.

single_byte.txt: one line per code page: the codec name, then 256 fields, the UTF-16 code unit of
each byte 00..FF in hex, or "-" where the codec leaves the byte undefined.
multi_byte.txt: "codec<TAB>hex of the UTF-8 text<TAB>hex of the encoded bytes" per line.
"""
import codecs
import os

OUT = os.path.join(os.path.dirname(__file__), "..", "tests", "data", "encodings")

SINGLE_BYTE = [
    "mac_roman", "mac_greek", "mac_cyrillic", "mac_latin2", "mac_turkish",
    "cp037", "cp437", "cp737", "cp775", "cp850", "cp852", "cp855", "cp857", "cp860", "cp861",
    "cp862", "cp863", "cp864", "cp865", "cp866", "cp869", "cp874",
    "cp1250", "cp1251", "cp1252", "cp1253", "cp1254", "cp1255", "cp1256", "cp1257", "cp1258",
    "latin_1", "iso8859_2", "iso8859_6", "ascii",
]

SAMPLES = {
    "shift_jis": "日本語のテキスト、カタカナとひらがな。ABC 123",
    "cp932": "表計算ソフト①②③～",
    "euc_jp": "日本語のテキスト、カタカナとひらがな。ABC 123",
    "iso2022_jp": "日本語のテキスト ABC",
    "gbk": "简体中文电子表格",
    "big5": "繁體中文試算表",
    "cp949": "한국어 스프레드시트",
    "utf_16_be": "Grüße 𝄞 €",
    "utf_16_le": "Grüße 𝄞 €",
    "utf_32_be": "Grüße 𝄞 €",
    "utf_32_le": "Grüße 𝄞 €",
    "utf_8": "Grüße 𝄞 €",
}


def single_byte_line(name):
    fields = [name]
    for b in range(256):
        try:
            text = bytes([b]).decode(name)
        except UnicodeDecodeError:
            fields.append("-")
            continue
        assert len(text) == 1 and ord(text) < 0x10000, (name, b)
        fields.append("%04X" % ord(text))
    return " ".join(fields)


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "single_byte.txt"), "w") as f:
        for name in SINGLE_BYTE:
            codecs.lookup(name)
            f.write(single_byte_line(name) + "\n")
    with open(os.path.join(OUT, "multi_byte.txt"), "w") as f:
        for name, text in SAMPLES.items():
            f.write("%s\t%s\t%s\n" % (name, text.encode("utf-8").hex(), text.encode(name).hex()))


if __name__ == "__main__":
    main()
