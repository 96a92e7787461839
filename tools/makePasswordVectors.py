#!/usr/bin/env python3
"""Writes tests/data/passwords/vectors.txt: document check values and enciphered cell texts made
independently of our code: the check values by the C library's crypt (through Python's crypt
module), the cipher texts by the 'cryptography' package's DES over OpenSSL.

Lines (fields separated by a tab, texts as UTF-8 in hexadecimal so any character fits):
  check <password hex> <seed> <check value>
  cipher <key text hex> <plain text hex> <Base64 with line feeds as \\n>"""
import base64
import os
import warnings

warnings.simplefilter("ignore")
import crypt  # noqa: E402

try:
    from cryptography.hazmat.decrepit.ciphers.algorithms import TripleDES
except ImportError:
    from cryptography.hazmat.primitives.ciphers.algorithms import TripleDES
from cryptography.hazmat.primitives.ciphers import Cipher, modes  # noqa: E402

SEED = "_3Kq.Wz7P"


def check_value(password: str, seed: str) -> str:
    return crypt.crypt(password, seed)[len(seed):]


def encipher(key_text: str, plain: str) -> str:
    key = key_text.encode("utf-8")[:8].ljust(8, b"\0")
    data = plain.encode("utf-8")
    pad = (-len(data)) % 8
    encryptor = Cipher(TripleDES(key * 3), modes.ECB()).encryptor()
    sealed = bytes([pad]) + encryptor.update(data + b"\0" * pad) + encryptor.finalize()
    text = base64.b64encode(sealed).decode("ascii")
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76))


def main() -> None:
    passwords = ["test", "Test", "", "a", "correct horse battery staple", "pässwörd", "密码",
                 "12345678", "123456789", "x" * 64]
    lines = []
    for password in passwords:
        lines.append(f"check\t{password.encode().hex()}\t{SEED}\t{check_value(password, SEED)}")
    lines.append(f"check\t{'test'.encode().hex()}\t_J9..rasm\t{check_value('test', '_J9..rasm')}")
    keys = [check_value("test", SEED), check_value("secret", SEED), "short", "", "ÄÖÜäöüß!"]
    texts = ["ABCDEFGH", "ABCDEFGHI", "", "1", "Hello, world", "Σ = 1 + 2", "Grüße 😀",
             "A" * 57, "A line\nand another\ttab", "x" * 200]
    for key in keys:
        for text in texts:
            sealed = encipher(key, text).replace("\n", "\\n")
            lines.append(f"cipher\t{key.encode().hex()}\t{text.encode().hex()}\t{sealed}")
    path = os.path.join(os.path.dirname(__file__), "..", "tests", "data", "passwords", "vectors.txt")
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
