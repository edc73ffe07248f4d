#!/usr/bin/env python3
"""Writes small valid inputs for the fuzzers to start from: HEIF box structures and a JPEG head
with an EXIF thumbnail. Usage: make-seeds.py DIR (writes DIR/heif and DIR/exif)."""
import os
import struct
import sys


def box(kind, payload):
    return struct.pack(">I", 8 + len(payload)) + kind + payload


def full_box(kind, version, flags, payload):
    return box(kind, bytes([version]) + flags.to_bytes(3, "big") + payload)


def heif(properties, associated, version=0, flags=0):
    ipco = b"".join(properties)
    index = (lambda v: struct.pack(">H", v)) if flags & 1 else (lambda v: bytes([v]))
    item = (lambda v: struct.pack(">H", v)) if version < 1 else (lambda v: struct.pack(">I", v))
    entries = struct.pack(">I", 1) + item(1) + bytes([len(associated)])
    entries += b"".join(index(v) for v in associated)
    meta = full_box(b"meta", 0, 0,
                    full_box(b"pitm", 0, 0, struct.pack(">H", 1))
                    + box(b"iprp", box(b"ipco", ipco) + full_box(b"ipma", version, flags, entries)))
    ftyp = box(b"ftyp", b"heic" + bytes(4) + b"mif1heic")
    return ftyp + meta + box(b"mdat", b"x" * 32)


def exif_head(little):
    e = "<" if little else ">"
    def entry(tag, kind, value):
        if kind == 3:
            return struct.pack(e + "HHIHH", tag, kind, 1, value, 0)
        return struct.pack(e + "HHII", tag, kind, 1, value)
    thumb = b"\xFF\xD8\xFF\xD9"
    ifd1_at, data_at = 26, 56
    tiff = (b"II" if little else b"MM") + struct.pack(e + "HI", 42, 8)
    tiff += struct.pack(e + "H", 1) + entry(0x0112, 3, 6) + struct.pack(e + "I", ifd1_at)
    tiff += struct.pack(e + "H", 2) + entry(0x0201, 4, data_at) + entry(0x0202, 4, len(thumb))
    tiff += struct.pack(e + "I", 0) + thumb
    payload = b"Exif\0\0" + tiff
    return b"\xFF\xD8\xFF\xE1" + struct.pack(">H", len(payload) + 2) + payload + b"\xFF\xDA\0\x02"


def main():
    out = sys.argv[1]
    ispe = full_box(b"ispe", 0, 0, struct.pack(">II", 4032, 3024))
    irot = box(b"irot", b"\x01")
    seeds = {
        "heif": [heif([ispe], [1]), heif([irot, ispe], [1, 2]), heif([ispe, irot], [0x81, 2], 1, 1)],
        "exif": [exif_head(False), exif_head(True)],
    }
    for kind, files in seeds.items():
        os.makedirs(os.path.join(out, kind), exist_ok=True)
        for number, data in enumerate(files):
            with open(os.path.join(out, kind, f"seed{number}"), "wb") as f:
                f.write(data)


main()
