#pragma once
// The notes (key and velocity) a song plays on one instrument slot. An instrument built for
// them leaves out the compressed samples that no such note sounds, so that a song decodes only
// what it plays.

#include <bitset>
#include <cstddef>
#include <vector>

#include "song/InstrumentMarker.h"

namespace svt {

class NoteSet {
  public:
    bool empty() const { return velocitiesByKey_.empty(); }
    void add(int key, int velocity) {
        if (key < 0 || key > 127 || velocity <= 0 || velocity > 127) return;
        if (empty()) velocitiesByKey_.resize(128);
        velocitiesByKey_[static_cast<size_t>(key)].set(static_cast<size_t>(velocity));
    }
    void merge(const NoteSet& other) {
        if (other.empty()) return;
        if (empty()) velocitiesByKey_.resize(128);
        for (size_t k = 0; k < 128; ++k) velocitiesByKey_[k] |= other.velocitiesByKey_[k];
    }
    // Velocities of the notes whose key lies within `semitones` of `key`.
    std::bitset<128> velocitiesNear(int key, int semitones) const {
        std::bitset<128> v;
        if (empty()) return v;
        for (int k = key - semitones; k <= key + semitones; ++k) {
            if (k >= 0 && k < 128) v |= velocitiesByKey_[static_cast<size_t>(k)];
        }
        return v;
    }

  private:
    std::vector<std::bitset<128>> velocitiesByKey_;  // empty, or one entry per key
};

}  // namespace svt
