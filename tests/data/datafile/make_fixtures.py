#!/usr/bin/env python3
"""Writes the sealed-file fixtures of this folder from their plain texts.

The sealed bytes are computed here independently of Quillock's own code, with
the ciphers and digests of OpenSSL (through Python's hashlib and the
cryptography package):

  key   = RIPEMD-160 or SHA-1 of the password bytes (20 bytes); Rijndael is
          AES-192 keyed with those 20 bytes followed by 4 zero bytes, Blowfish
          is keyed with the 20 bytes as they are
  IV    = the encryption of one all-zero block under that key (ECB)
  body  = CBC over every full block of the content, starting from that IV
  tail  = a last partial block of r bytes is XORed with the first r bytes of
          the encryption of the last full ciphertext block (of the IV when the
          content is shorter than one block); no padding, same length

Run it from this folder: python3 make_fixtures.py
It rewrites the plain_*.txt inputs, the *.qlx outputs and fixtures.vec.
"""
import hashlib
import zlib

from cryptography.hazmat.decrepit.ciphers.algorithms import Blowfish
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

# The password holds "ä" and "€", stored as their Windows-1252 bytes E4 and 80.
PASSWORD = "Grüne Äpfel kosten 3€".encode("cp1252")


def algorithm(cipher, digest):
    if cipher == "rijndael":
        return algorithms.AES(digest + bytes(4)), 16
    return Blowfish(digest), 8


def seal(plain, password, cipher, hash_name):
    digest = hashlib.new(hash_name, password).digest()
    alg, block = algorithm(cipher, digest)
    ecb = Cipher(alg, modes.ECB()).encryptor()
    iv = ecb.update(bytes(block))
    full = len(plain) // block * block
    body = Cipher(alg, modes.CBC(iv)).encryptor().update(plain[:full]) if full else b""
    last = body[-block:] if full else iv
    tail = plain[full:]
    if tail:
        stream = Cipher(alg, modes.ECB()).encryptor().update(last)
        tail = bytes(a ^ b for a, b in zip(tail, stream))
    return body + tail


def text(length, seed):
    """A plain Arbolix-like file of exactly length bytes."""
    head = b"Arbolix data file " + str(seed).encode() + b"\r\n"
    out = bytearray(head)
    i = 0
    while len(out) < length:
        out += b"node %d: the quick brown fox jumps over the lazy dog %d\r\n" % (i, (i * 7919 + seed) % 10007)
        i += 1
    return bytes(out[:length])


CHOICES = [("rijndael", "ripemd160", 0, 0), ("rijndael", "sha1", 0, 1),
           ("blowfish", "ripemd160", 1, 0), ("blowfish", "sha1", 1, 1)]
LENGTHS = [0, 5, 8, 15, 16, 17, 8193, 70000]

records = []
for cipher, hash_name, ci, hi in CHOICES:
    for length in LENGTHS:
        plain_name = "plain_%d.txt" % length
        with open(plain_name, "wb") as f:
            f.write(text(length, length))
        sealed_name = "%s_%s_%d.qlx" % (cipher, hash_name, length)
        with open(sealed_name, "wb") as f:
            f.write(seal(text(length, length), PASSWORD, cipher, hash_name))
        records.append((plain_name, ci, hi, sealed_name))

# Compressed content: a zlib stream at level 1 of plain_70000.txt, sealed.
compressed = zlib.compress(text(70000, 70000), 1)
with open("compressed_70000.qlz", "wb") as f:
    f.write(compressed)
with open("rijndael_ripemd160_compressed_70000.qlx", "wb") as f:
    f.write(seal(compressed, PASSWORD, "rijndael", "ripemd160"))
records.append(("compressed_70000.qlz", 0, 0, "rijndael_ripemd160_compressed_70000.qlx"))

with open("password.txt", "wb") as f:
    f.write(PASSWORD.decode("cp1252").encode("utf-8") + b"\n")

with open("fixtures.vec", "w") as f:
    f.write("# Written by make_fixtures.py (see there for how the sealed bytes are computed).\n")
    f.write("# Password = the hex of the password's Windows-1252 bytes; password.txt holds it as UTF-8.\n")
    f.write("# Cipher: 0 Rijndael, 1 Blowfish. Hash: 0 RIPEMD-160, 1 SHA-1.\n")
    f.write("Password = %s\n\n" % PASSWORD.hex())
    for plain_name, ci, hi, sealed_name in records:
        f.write("Plain = %s\nCipher = %d\nHash = %d\nSealed = %s\n\n" % (plain_name, ci, hi, sealed_name))
