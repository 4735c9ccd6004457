#!/usr/bin/env python3
"""Writes a small library of songs for the scaling recipe's test: a few seconds each, in
different keys, tempos and instruments, some in sub-folders and two of one name.

    make-scaling-library.py FOLDER
"""
import os
import struct
import sys

from midiwrite import vlq

DIVISION = 480


def song(key, tempo_us, program, notes):
    body = vlq(0) + b"\xFF\x51\x03" + tempo_us.to_bytes(3, "big")
    body += vlq(0) + bytes([0xC0, program])
    for i in range(notes):
        body += vlq(0) + bytes([0x90, key + (i * 5) % 12, 100])
        body += vlq(DIVISION) + bytes([0x80, key + (i * 5) % 12, 0])
    body += vlq(0) + bytes([0x99, 38, 110]) + vlq(DIVISION // 2) + bytes([0x89, 38, 0])
    body += vlq(0) + b"\xFF\x2F\x00"
    header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, DIVISION)
    return header + b"MTrk" + struct.pack(">I", len(body)) + body


def main(folder):
    layout = [
        ("a/one.mid", 60, 500000, 0, 6),
        ("a/two.MID", 64, 400000, 24, 8),
        ("b/one.mid", 57, 600000, 40, 5),
        ("b/deeper/three.kar", 67, 450000, 73, 7),
        ("four.mid", 55, 550000, 33, 4),
    ]
    for name, key, tempo, program, notes in layout:
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(song(key, tempo, program, notes))


if __name__ == "__main__":
    main(sys.argv[1])
