#!/usr/bin/env python3
"""Writes three loud General MIDI songs for measuring levels: a rock band, an orchestral tutti
and a dance track, about 40 s each, at the volumes and velocities real songs use (channel
volumes near the top, accents at 127, reverb and chorus sends). Composed here for measuring.

Usage: make-gm-songs.py FOLDER   (writes rock.mid, tutti.mid and dance.mid there)
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from midiwrite import vlq  # noqa: E402

DIVISION = 480
BAR = 4 * DIVISION


class Song:
    def __init__(self, bpm):
        self.events = []  # (tick, order, bytes)
        self.meta(0, 0x51, struct.pack(">I", 60000000 // bpm)[1:])

    def add(self, tick, data, order=None):
        self.events.append((tick, len(self.events) if order is None else order, bytes(data)))

    def meta(self, tick, kind, data):
        self.add(tick, bytes([0xFF, kind]) + vlq(len(data)) + data)

    def channel(self, c, program, volume, pan=64, reverb=40, chorus=0, expression=127):
        for number, value in ((7, volume), (10, pan), (11, expression), (91, reverb), (93, chorus)):
            self.add(0, [0xB0 | c, number, value])
        if c != 9:
            self.add(0, [0xC0 | c, program])

    def note(self, tick, c, key, velocity, length):
        self.add(tick, [0x90 | c, key, min(127, velocity)])
        self.add(tick + length, [0x80 | c, key, 0], order=-1)

    def write(self, path):
        body, now = b"", 0
        for tick, _, data in sorted(self.events, key=lambda e: (e[0], e[1])):
            body += vlq(tick - now) + data
            now = tick
        body += b"\x00\xff\x2f\x00"
        with open(path, "wb") as f:
            f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, DIVISION))
            f.write(b"MTrk" + struct.pack(">I", len(body)) + body)


def drums(song, bars, kick_every=2, crash_every=4, velocity=120):
    for bar in range(bars):
        t = bar * BAR
        if bar % crash_every == 0:
            song.note(t, 9, 49, 127, DIVISION)
        for eighth in range(8):
            at = t + eighth * DIVISION // 2
            song.note(at, 9, 42, velocity - 20 + (eighth % 2) * 10, DIVISION // 4)
            if eighth % kick_every == 0:
                song.note(at, 9, 36, velocity + 7, DIVISION // 4)
            if eighth in (2, 6):
                song.note(at, 9, 38, velocity + 7, DIVISION // 4)


def rock(path):
    s = Song(132)
    s.channel(0, 30, 110, pan=40, reverb=50)   # distortion guitar
    s.channel(1, 29, 105, pan=88, reverb=50)   # overdriven guitar
    s.channel(2, 33, 120)                      # fingered bass
    s.channel(3, 16, 90, reverb=60, chorus=40)  # organ
    s.channel(4, 81, 100, reverb=70)           # saw lead
    s.channel(9, 0, 127, reverb=50)
    roots = [40, 43, 45, 38] * 6
    for bar, root in enumerate(roots):
        t = bar * BAR
        for eighth in range(8):
            at = t + eighth * DIVISION // 2
            for c, shift in ((0, 12), (1, 24)):
                for k in (0, 7, 12):
                    s.note(at, c, root + shift + k, 118, DIVISION // 2 - 10)
            s.note(at, 2, root, 124, DIVISION // 2 - 10)
        for k in (0, 4, 7, 12):
            s.note(t, 3, root + 36 + k, 100, BAR)
        for q in range(4):
            s.note(t + q * DIVISION, 4, root + 48 + (0, 3, 5, 7)[q], 120, DIVISION)
    drums(s, len(roots))
    s.write(path)


def tutti(path):
    s = Song(96)
    s.channel(0, 48, 120, pan=30, reverb=80)   # strings
    s.channel(1, 49, 115, pan=98, reverb=80)   # slow strings
    s.channel(2, 61, 115, pan=70, reverb=70)   # brass section
    s.channel(3, 60, 110, pan=50, reverb=70)   # french horns
    s.channel(4, 57, 110, pan=80, reverb=70)   # trombones
    s.channel(5, 52, 110, reverb=90)           # choir
    s.channel(6, 47, 127, reverb=80)           # timpani
    s.channel(7, 42, 110, pan=100, reverb=80)  # cellos
    s.channel(8, 73, 100, pan=60, reverb=80)   # flute
    s.channel(9, 0, 120, reverb=80)
    chords = [(36, 48, 55, 60, 64, 67), (41, 53, 57, 60, 65, 69), (43, 55, 59, 62, 67, 71),
              (36, 48, 55, 60, 64, 72)] * 4
    for bar, chord in enumerate(chords):
        t = bar * BAR
        loud = 90 + min(37, bar * 4)  # a crescendo into a fortissimo
        for c in (0, 1, 5):
            for k in chord[1:]:
                s.note(t, c, k + 12, loud, BAR)
        for c in (2, 3, 4):
            for q in range(4):
                for k in chord[2:5]:
                    s.note(t + q * DIVISION, c, k, loud + 5, DIVISION - 20)
        s.note(t, 7, chord[0], loud, BAR)
        for q in range(4):
            s.note(t + q * DIVISION, 6, chord[0] + 5, loud, DIVISION // 2)
            s.note(t + q * DIVISION, 8, chord[-1] + 12, loud, DIVISION)
        s.note(t, 9, 49, loud, BAR)
        s.note(t, 9, 57, loud, BAR)
    s.write(path)


def dance(path):
    s = Song(128)
    s.channel(0, 0, 110, reverb=60, chorus=30)  # piano
    s.channel(1, 89, 120, reverb=80, chorus=60)  # warm pad
    s.channel(2, 81, 115, reverb=50, chorus=20)  # saw lead
    s.channel(3, 38, 127)                        # synth bass
    s.channel(4, 50, 110, reverb=80)             # synth strings
    s.channel(9, 0, 127, reverb=30)
    chords = [(45, 57, 60, 64), (41, 53, 57, 60), (48, 55, 60, 64), (43, 55, 59, 62)] * 5
    for bar, chord in enumerate(chords):
        t = bar * BAR
        for k in chord[1:]:
            s.note(t, 1, k + 12, 110, BAR)
            s.note(t, 4, k, 105, BAR)
        for eighth in range(8):
            at = t + eighth * DIVISION // 2
            s.note(at, 3, chord[0] - 12 + (12 if eighth % 2 else 0), 127, DIVISION // 2 - 20)
            if eighth % 2 == 1:
                for k in chord[1:]:
                    s.note(at, 0, k + 12, 115, DIVISION // 2 - 20)
        for q in range(8):
            s.note(t + q * DIVISION // 2, 2, chord[1] + 24 + (0, 4, 7, 12, 7, 4, 0, 12)[q], 125,
                   DIVISION // 2)
    drums(s, len(chords), kick_every=2, velocity=122)
    s.write(path)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rock(os.path.join(folder, "rock.mid"))
    tutti(os.path.join(folder, "tutti.mid"))
    dance(os.path.join(folder, "dance.mid"))


if __name__ == "__main__":
    main()
