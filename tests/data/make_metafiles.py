#!/usr/bin/env python3
"""Writes the two metafile fixtures: a 100 x 50 picture with a red rectangle (10,10)-(90,40)
on a transparent ground, once as a placeable WMF and once as an EMF."""
import struct


def wmf():
    records = b""
    def rec(function, *words):
        nonlocal records
        records += struct.pack("<IH", 3 + len(words), function) + struct.pack("<%dh" % len(words), *words)
    rec(0x020B, 0, 0)                       # SETWINDOWORG y, x
    rec(0x020C, 50, 100)                    # SETWINDOWEXT height, width
    rec(0x02FC, 0, 0x00FF, 0x0000, 0)       # CREATEBRUSHINDIRECT solid, colour 0x000000FF (red)
    rec(0x012D, 0)                          # SELECTOBJECT 0
    rec(0x041B, 40, 90, 10, 10)             # RECTANGLE bottom, right, top, left
    rec(0x0000)                             # EOF
    size_words = (18 + len(records)) // 2
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, size_words, 1, 5, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 100, 50, 96, 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable):
        checksum ^= word
    return placeable + struct.pack("<H", checksum) + header + records


def emf():
    body = b""
    body += struct.pack("<IIIIII", 39, 24, 1, 0, 0x000000FF, 0)   # CREATEBRUSHINDIRECT
    body += struct.pack("<III", 37, 12, 1)                         # SELECTOBJECT 1
    body += struct.pack("<IIiiii", 43, 24, 10, 10, 90, 40)         # RECTANGLE
    body += struct.pack("<IIIII", 14, 20, 0, 16, 20)               # EOF
    header_size = 108
    total = header_size + len(body)
    header = struct.pack("<II", 1, header_size)
    header += struct.pack("<iiii", 0, 0, 99, 49)                   # bounds, pixels
    header += struct.pack("<iiii", 0, 0, 2645, 1322)               # frame, 0.01 mm
    header += struct.pack("<IIIIHHIII", 0x464D4520, 0x10000, total, 5, 2, 0, 0, 0, 0)
    header += struct.pack("<iiii", 1920, 1080, 508, 286)           # device pixels, millimetres
    header += struct.pack("<III", 0, 0, 0)                         # pixel format, OpenGL
    header += struct.pack("<ii", 508000, 285750)                   # micrometres
    assert len(header) == header_size
    return header + body


open("red-rectangle.wmf", "wb").write(wmf())
open("red-rectangle.emf", "wb").write(emf())
