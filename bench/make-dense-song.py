#!/usr/bin/env python3
"""Writes a dense benchmark song: 16 channels, about 100 notes sounding at once, 60 s.

Usage: make-dense-song.py OUT.mid [SECONDS]   (SECONDS: the length, a multiple of 4; default 60)
Every channel plays chords of sustained notes that overlap the next chord, on its own
program; channel 10 plays a steady drum pattern. Composed here for measuring only.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from midiwrite import vlq  # noqa: E402

DIVISION = 480


def track(events):
    events.sort(key=lambda e: (e[0], e[1]))
    data, last = bytearray(), 0
    for tick, _, msg in events:
        data += vlq(tick - last) + bytes(msg)
        last = tick
    data += b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + bytes(data)


def main():
    out = sys.argv[1]
    beats = 2 * int(sys.argv[2]) if len(sys.argv) > 2 else 120  # 120 beats per minute
    events = [(0, 0, [0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20])]
    programs = [0, 4, 19, 24, 32, 40, 48, 52, 56, 61, 65, 71, 73, 80, 89]
    melodic = [c for c in range(16) if c != 9]
    for i, c in enumerate(melodic):
        events.append((0, 1, [0xC0 | c, programs[i]]))
        events.append((0, 1, [0xB0 | c, 10, (i * 37) % 128]))
        events.append((0, 1, [0xB0 | c, 7, 90]))
    chords = [(48, 52, 55, 60, 64, 67), (45, 48, 52, 57, 60, 64), (41, 45, 48, 53, 57, 60), (43, 47, 50, 55, 59, 62)]
    order = 2
    for beat in range(0, beats, 2):
        chord = chords[(beat // 4) % len(chords)]
        for i, c in enumerate(melodic):
            start = beat * DIVISION + (i % 4) * 20
            for k, key in enumerate(chord[:6] if i % 2 == 0 else chord[:5]):
                note = key + 12 * ((i % 3) - 1)
                events.append((start, order, [0x90 | c, note, 60 + (k * 7) % 40]))
                # Notes overlap the next chord by a beat, so old and new sound together.
                events.append((start + 3 * DIVISION, order, [0x80 | c, note, 0]))
                order += 1
    for eighth in range(beats * 2):
        t = eighth * DIVISION // 2
        for key in ([36] if eighth % 4 == 0 else []) + ([38] if eighth % 4 == 2 else []) + [42]:
            events.append((t, order, [0x99, key, 100]))
            events.append((t + DIVISION // 4, order, [0x89, key, 0]))
            order += 1
    header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, DIVISION)
    with open(out, "wb") as f:
        f.write(header + track(events))


if __name__ == "__main__":
    main()
