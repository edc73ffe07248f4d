#!/usr/bin/env python3
"""Writes small valid inputs for the fuzzers to start from: HEIF box structures, a JPEG head
with an EXIF thumbnail, EXIF blocks with camera data, bare and as a HEIF Exif item, and motion
photos: XMP packets, and a JPEG with its video appended.
Usage: make-seeds.py DIR (writes DIR/heif, DIR/exif, DIR/exif-info and DIR/motion)."""
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


def camera_tiff(little):
    """IFD0 (make, orientation, Exif IFD pointer) and an Exif IFD (date, offset, exposure)."""
    e = "<" if little else ">"
    make, date, zone = b"Canon\0", b"2024:05:03 14:22:07\0", b"+02:00\0"
    ifd0_at = 8
    exif_at = ifd0_at + 2 + 3 * 12 + 4
    data_at = exif_at + 2 + 4 * 12 + 4
    make_at, date_at = data_at, data_at + len(make)
    zone_at, time_at = date_at + len(date), date_at + len(date) + len(zone)
    tiff = (b"II" if little else b"MM") + struct.pack(e + "HI", 42, ifd0_at)
    tiff += struct.pack(e + "H", 3)
    tiff += struct.pack(e + "HHII", 0x010F, 2, len(make), make_at)
    tiff += struct.pack(e + "HHIHH", 0x0112, 3, 1, 6, 0)
    tiff += struct.pack(e + "HHII", 0x8769, 4, 1, exif_at) + struct.pack(e + "I", 0)
    tiff += struct.pack(e + "H", 4)
    tiff += struct.pack(e + "HHII", 0x829A, 5, 1, time_at)
    tiff += struct.pack(e + "HHIHH", 0x8827, 3, 1, 400, 0)
    tiff += struct.pack(e + "HHII", 0x9003, 2, len(date), date_at)
    tiff += struct.pack(e + "HHII", 0x9011, 2, len(zone), zone_at) + struct.pack(e + "I", 0)
    return tiff + make + date + zone + struct.pack(e + "II", 1, 250)


def motion_xmp(video_length, micro=False):
    camera = (f'GCamera:MicroVideo="1" GCamera:MicroVideoOffset="{video_length}"' if micro
              else 'GCamera:MotionPhoto="1"')
    items = "" if micro else (
        '<Container:Directory><rdf:Seq>'
        '<rdf:li rdf:parseType="Resource"><Container:Item Item:Semantic="Primary" '
        'Item:Mime="image/jpeg" Item:Length="0" Item:Padding="0"/></rdf:li>'
        '<rdf:li rdf:parseType="Resource"><Container:Item Item:Semantic="MotionPhoto" '
        f'Item:Mime="video/mp4" Item:Length="{video_length}" Item:Padding="0"/></rdf:li>'
        '</rdf:Seq></Container:Directory>')
    return ('<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF '
            'xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description '
            'xmlns:GCamera="http://ns.google.com/photos/1.0/camera/" '
            'xmlns:Container="http://ns.google.com/photos/1.0/container/" '
            'xmlns:Item="http://ns.google.com/photos/1.0/container/item/" '
            f'{camera}>{items}</rdf:Description></rdf:RDF></x:xmpmeta>').encode()


def motion_jpeg(micro=False):
    video = box(b"ftyp", b"isom" + bytes(4) + b"isommp42") + box(b"mdat", b"v" * 32)
    payload = b"http://ns.adobe.com/xap/1.0/\0" + motion_xmp(len(video), micro)
    app1 = b"\xFF\xE1" + struct.pack(">H", len(payload) + 2) + payload
    return b"\xFF\xD8" + app1 + b"\xFF\xDA\0\x02\xFF\xD9" + video


def main():
    out = sys.argv[1]
    ispe = full_box(b"ispe", 0, 0, struct.pack(">II", 4032, 3024))
    irot = box(b"irot", b"\x01")
    seeds = {
        "heif": [heif([ispe], [1]), heif([irot, ispe], [1, 2]), heif([ispe, irot], [0x81, 2], 1, 1)],
        "exif": [exif_head(False), exif_head(True)],
        "exif-info": [camera_tiff(False), camera_tiff(True),
                      struct.pack(">I", 6) + b"Exif\0\0" + camera_tiff(False)],
        "motion": [motion_xmp(1000), motion_xmp(1000, True), motion_jpeg(), motion_jpeg(True)],
    }
    for kind, files in seeds.items():
        os.makedirs(os.path.join(out, kind), exist_ok=True)
        for number, data in enumerate(files):
            with open(os.path.join(out, kind, f"seed{number}"), "wb") as f:
                f.write(data)


main()
