#!/usr/bin/env python3
"""Writes data/demo.mid, the song Sorvanto converts when started without arguments.

About a minute in G major: a conductor track with tempo and meter changes, piano,
bass, strings, a flute melody and drums on channel 10, all composed here.
"""
import os
import struct
import sys

from midiwrite import vlq

DIVISION = 480


class Track:
    def __init__(self, name):
        self.events = []  # (tick, order, bytes)
        self.meta(0, 0x03, name.encode("ascii"))

    def add(self, tick, data):
        self.events.append((tick, len(self.events), bytes(data)))

    def meta(self, tick, kind, data):
        self.add(tick, bytes([0xFF, kind]) + vlq(len(data)) + data)

    def note(self, tick, channel, key, velocity, length):
        self.add(tick, [0x90 | channel, key, velocity])
        # Note-offs sort before note-ons of the same tick (order -1 keeps them first).
        self.events.append((tick + length, -1, bytes([0x80 | channel, key, 0])))

    def chunk(self):
        body = b""
        now = 0
        for tick, _, data in sorted(self.events, key=lambda e: (e[0], e[1])):
            body += vlq(tick - now) + data
            now = tick
        body += vlq(0) + b"\xFF\x2F\x00"
        return b"MTrk" + struct.pack(">I", len(body)) + body


def bars_layout():
    # (bar length in ticks, chord root, chord quality) for every bar; 4/4 except a 3/4 waltz part.
    chords = ["G", "Em", "C", "D"] * 3 + ["C", "D", "G", "G"]
    layout = [(4 * DIVISION, c) for c in chords]
    layout += [(3 * DIVISION, c) for c in ["Em", "C", "D", "G", "Em", "Am", "D", "D"]]
    layout += [(4 * DIVISION, c) for c in ["G", "Em", "C", "D", "G", "C", "D", "G"]]
    return layout


CHORDS = {
    "G": [55, 59, 62], "Em": [52, 55, 59], "C": [48, 52, 55],
    "D": [50, 54, 57], "Am": [57, 60, 64],
}
MELODY_SCALE = [67, 69, 71, 72, 74, 76, 78, 79]


def main(path):
    layout = bars_layout()
    conductor = Track("Sorvanto Demo")
    conductor.meta(0, 0x59, bytes([1, 0]))  # G major
    conductor.meta(0, 0x58, bytes([4, 2, 24, 8]))
    conductor.meta(0, 0x51, struct.pack(">I", 500000)[1:])  # 120 bpm
    conductor.meta(0, 0x01, b"Written for Sorvanto")
    # GM system on, so every player starts from the same state.
    conductor.add(0, bytes([0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7]))

    piano, bass, strings = Track("Piano"), Track("Bass"), Track("Strings")
    flute, drums = Track("Flute"), Track("Drums")
    for track, channel, program, volume, pan in (
        (piano, 0, 0, 100, 54), (bass, 1, 33, 110, 64), (strings, 2, 48, 70, 80),
        (flute, 3, 73, 96, 44), (drums, 9, 0, 110, 64),
    ):
        track.add(0, [0xC0 | channel, program])
        track.add(0, [0xB0 | channel, 7, volume])
        track.add(0, [0xB0 | channel, 10, pan])
        track.add(0, [0xB0 | channel, 91, 40])
        # Chorus on the sustained parts widens them; bass and drums stay dry of it.
        chorus = {0: 20, 2: 50, 3: 30}.get(channel, 0)
        if chorus:
            track.add(0, [0xB0 | channel, 93, chorus])

    tick = 0
    seed = 7
    for bar, (length, chord) in enumerate(layout):
        beats = length // DIVISION
        if bar == 16:
            conductor.meta(tick, 0x58, bytes([3, 2, 24, 8]))
            conductor.meta(tick, 0x51, struct.pack(">I", 454545)[1:])  # 132 bpm
        if bar == 24:
            conductor.meta(tick, 0x58, bytes([4, 2, 24, 8]))
            conductor.meta(tick, 0x51, struct.pack(">I", 535714)[1:])  # 112 bpm
        if bar == 31:
            conductor.meta(tick, 0x51, struct.pack(">I", 625000)[1:])  # 96 bpm, slowing to the end
        notes = CHORDS[chord]
        strings_velocity = 60 if bar < 24 else 70
        for key in notes:
            strings.note(tick, 2, key, strings_velocity, length - 10)
        for beat in range(beats):
            start = tick + beat * DIVISION
            for key in notes:
                piano.note(start, 0, key + 12, 72 if beat == 0 else 58, DIVISION - 40)
            root = notes[0] - 24 if notes[0] - 24 >= 28 else notes[0] - 12
            bass.note(start, 1, root + (7 if beat % 2 else 0), 96, DIVISION - 60)
            drums.note(start, 9, 42, 70, 60)  # closed hi-hat
            drums.note(start + DIVISION // 2, 9, 42, 50, 60)
            if beat == 0:
                drums.note(start, 9, 36, 110, 120)  # kick
            if beats == 4 and beat in (1, 3) or beats == 3 and beat == 2:
                drums.note(start, 9, 38, 96, 120)  # snare
            # A melody that wanders on the scale, always landing on a chord tone at the bar.
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            step = MELODY_SCALE[(seed >> 16) % len(MELODY_SCALE)]
            if beat == 0:
                step = notes[(seed >> 8) % 3] + 12
            if bar >= 4:
                flute.note(start, 3, step, 88, DIVISION - 30)
        tick += length
    # Crash cymbal and a final chord.
    drums.note(tick, 9, 49, 110, DIVISION * 2)
    for key in CHORDS["G"]:
        piano.note(tick, 0, key + 12, 80, DIVISION * 4)
        strings.note(tick, 2, key, 80, DIVISION * 4)
    bass.note(tick, 1, 43, 100, DIVISION * 4)
    conductor.meta(tick + DIVISION * 4, 0x06, b"End")

    tracks = [conductor, piano, bass, strings, flute, drums]
    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), DIVISION)
    data += b"".join(t.chunk() for t in tracks)
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "demo.mid"))
