#pragma once
// The keys and velocities a song plays on one instrument slot. An instrument built for them
// leaves out the compressed samples that no such note sounds, so that a song decodes only what
// it plays.

#include <bitset>
#include <cstddef>

namespace svt {

struct NoteSet {
    std::bitset<128> keys;
    std::bitset<128> velocities;

    bool empty() const { return keys.none(); }
    void add(int key, int velocity) {
        if (key < 0 || key > 127 || velocity <= 0 || velocity > 127) return;
        keys.set(static_cast<size_t>(key));
        velocities.set(static_cast<size_t>(velocity));
    }
    void merge(const NoteSet& other) {
        keys |= other.keys;
        velocities |= other.velocities;
    }
    // Every key within `semitones` of a key of the set: room for the transpositions a
    // listener or the song applies while it plays.
    NoteSet widened(int semitones) const {
        NoteSet w = *this;
        for (int s = 1; s <= semitones; ++s)
            w.keys |= (keys << static_cast<size_t>(s)) | (keys >> static_cast<size_t>(s));
        return w;
    }
};

// Transposition a song's notes may still undergo after they are marked (the listener's key
// control, a part's key shift): the samples of keys this far away are prepared too.
inline constexpr int kMarkedNoteMargin = 12;

}  // namespace svt
