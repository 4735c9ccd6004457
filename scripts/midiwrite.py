"""Pieces of a Standard MIDI File shared by the scripts that compose our test and demo songs."""


def vlq(value):
    """A variable-length quantity: seven bits a byte, the high bit set on all but the last."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)
