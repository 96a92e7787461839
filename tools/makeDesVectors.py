#!/usr/bin/env python3
"""Writes tests/data/des/vectors.txt: DES known answers from an independent implementation
(the Python 'cryptography' package over OpenSSL; three equal keys make Triple DES plain DES).

Lines are "key plaintext ciphertext" in hexadecimal: the variable-plaintext and variable-key
known-answer tables of NIST SP 800-17, then pseudo-random blocks from a fixed seed."""
import os
import random
import warnings

warnings.simplefilter("ignore")
try:
    from cryptography.hazmat.decrepit.ciphers.algorithms import TripleDES
except ImportError:
    from cryptography.hazmat.primitives.ciphers.algorithms import TripleDES
from cryptography.hazmat.primitives.ciphers import Cipher, modes


def des(key: bytes, block: bytes) -> bytes:
    encryptor = Cipher(TripleDES(key * 3), modes.ECB()).encryptor()
    return encryptor.update(block) + encryptor.finalize()


def main() -> None:
    lines = ["# key plaintext ciphertext (hex); made by tools/makeDesVectors.py"]
    odd_parity_zero = bytes.fromhex("0101010101010101")
    for bit in range(64):
        plain = (1 << (63 - bit)).to_bytes(8, "big")
        lines.append(f"{odd_parity_zero.hex()} {plain.hex()} {des(odd_parity_zero, plain).hex()}")
    for bit in range(64):
        if bit % 8 == 7:
            continue  # parity bits do not take part
        key = bytearray(odd_parity_zero)
        key[bit // 8] |= 0x80 >> (bit % 8)
        key = bytes(key)
        plain = bytes(8)
        lines.append(f"{key.hex()} {plain.hex()} {des(key, plain).hex()}")
    generator = random.Random(20240613)
    for _ in range(100):
        key = bytes(generator.randrange(256) for _ in range(8))
        plain = bytes(generator.randrange(256) for _ in range(8))
        lines.append(f"{key.hex()} {plain.hex()} {des(key, plain).hex()}")
    path = os.path.join(os.path.dirname(__file__), "..", "tests", "data", "des", "vectors.txt")
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
