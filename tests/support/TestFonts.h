#pragma once
// Small fonts the conversion tests share.

#include <cstdint>
#include <vector>

namespace svt::test {

// One looped 440 Hz sine rooted at key 69, on every key: preset 0 of bank 0 and the drum kit
// (bank 128, preset 0), so melodic and drum notes can be told apart by pitch.
std::vector<uint8_t> sineFont();

// One preset, program 128 (Gunshot), which no test song chooses: every note is silent and no
// voice outlives its song, so the length of a render is exactly the song's.
std::vector<uint8_t> silentFont();

}  // namespace svt::test
