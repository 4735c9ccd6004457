#pragma once
// What the user's controls of a song come to: transposition and the key it is forced to,
// tempo as a time ratio, master volume, muted channels. The player applies the results to its
// PlayerControls, which the synthesizer reads.

#include <cstdint>
#include <optional>

#include "song/SongEvent.h"
#include "synth/Synthesis.h"

namespace svt {

// Transposition beyond this is far off the keyboard; the bound keeps the sums in range.
inline constexpr int kMaxKeyOffset = 256;
inline constexpr int kMaxAmplification = 200;
// Sample times stay far inside 64 bits and a song never collapses into one sample.
inline constexpr double kMinTimeRatio = 1.0 / 1024;
inline constexpr double kMaxTimeRatio = 1024.0;

// Key code of a key-signature event: sharps (negative: flats) -7..7, plus 16 for minor.
int keyCodeOf(const SongEvent& event);

// Which of the twelve key-dependent tuning tables serves a song in `keySignature` transposed by
// `noteKeyOffset` semitones.
int temperamentIndexFor(int keySignature, int noteKeyOffset);

// The transposition, -5..6 semitones, that takes a song in `keySignature` (already transposed
// by `noteKeyOffset`) to the key `forcedKey` (a key code as keyCodeOf gives).
int transpositionToKey(int keySignature, int noteKeyOffset, int forcedKey);

// Moves the transposition and the tuning table with it by `semitones`.
void transpose(PlayerControls& controls, int32_t semitones);

// The master volume after a change by `delta` percent: 0..kMaxAmplification.
int amplificationAfter(int amplification, int32_t delta);

// The time ratio after CmdSpeedUp or CmdSpeedDown by `steps` tempo steps (negative for down),
// each 150/151 of the time; a step the other way changes nothing.
double timeRatioAfterSpeedCommand(double timeRatio, int command, int32_t steps);

// The muted channels after CmdToggleMute, CmdSoloPlay or CmdMuteClear for `channel`; none when
// the command changes nothing (or names no channel where it needs one).
std::optional<uint32_t> muteMaskAfter(uint32_t mask, int command, int32_t channel);

}  // namespace svt
