#include "player/UserControls.h"

#include <algorithm>

#include "base/Constants.h"
#include "player/PlayerCommands.h"

namespace svt {

namespace {

// One tempo step: 150/151 of the time per step.
constexpr double kSpeedStep = 0.99337748344371;
constexpr int kMaxSpeedSteps = 1000;

int floorMod(int value, int divisor) {
    const int r = value % divisor;
    return r < 0 ? r + divisor : r;
}

}  // namespace

int keyCodeOf(const SongEvent& event) {
    const int sharps = std::clamp<int>(static_cast<int8_t>(event.a), -7, 7);
    return sharps + (event.b ? 16 : 0);
}

int temperamentIndexFor(int keySignature, int noteKeyOffset) {
    int i = keySignature < 8 ? keySignature + 7 : keySignature - 9;
    int fifths = 0;
    // Walks the circle of fifths to C; a key code out of range stops after one round.
    for (int guard = 0; i != 7 && i != 19 && guard < 24; ++guard, ++fifths) i += i < 7 ? 5 : -7;
    return floorMod(fifths + noteKeyOffset, 12);
}

int transpositionToKey(int keySignature, int noteKeyOffset, int forcedKey) {
    auto fifthUp = [](int i) { return i > 10 ? i - 5 : i + 7; };
    int i = keySignature < 8 ? keySignature + 7 : keySignature - 6;
    int offset = floorMod(noteKeyOffset, 12);
    for (int n = 0; n < offset; ++n) i = fifthUp(i);
    // A minor target is given as its key code (sharps + 16); its tonic sits three fifths
    // above the relative major's.
    const int target = forcedKey < 8 ? forcedKey + 7 : forcedKey - 16 + 10;
    for (int guard = 0; i != target && i != target + 12 && guard < 24; ++guard) {
        if (++offset > 6) offset -= 12;
        i = fifthUp(i);
    }
    return offset;
}

void transpose(PlayerControls& controls, int32_t semitones) {
    const int d = std::clamp<int32_t>(semitones, -kMaxKeyOffset, kMaxKeyOffset);
    controls.temperamentIndex = floorMod(controls.temperamentIndex + d, 12);
    controls.noteKeyOffset = std::clamp(controls.noteKeyOffset + d, -kMaxKeyOffset, kMaxKeyOffset);
}

int amplificationAfter(int amplification, int32_t delta) {
    if (delta <= 0 && amplification <= -int64_t{delta}) return 0;
    return static_cast<int>(std::min<int64_t>(int64_t{amplification} + delta, kMaxAmplification));
}

double timeRatioAfterSpeedCommand(double timeRatio, int command, int32_t steps) {
    const bool up = command == CmdSpeedUp;
    const int64_t n = std::min<int64_t>(up ? steps : -int64_t{steps}, kMaxSpeedSteps);
    double factor = 1.0;
    for (int64_t k = 0; k < n; ++k) factor *= kSpeedStep;
    return up ? timeRatio * factor : timeRatio / factor;
}

std::optional<uint32_t> muteMaskAfter(uint32_t mask, int command, int32_t channel) {
    const bool valid = channel >= 0 && channel < kChannels;
    const uint32_t bit = valid ? 1u << channel : 0;
    if (command == CmdToggleMute) {
        if (!valid) return std::nullopt;
        return mask ^ bit;
    }
    if (command == CmdSoloPlay && !valid) return std::nullopt;
    const uint32_t wanted = command == CmdSoloPlay ? ~bit : 0u;
    if (mask == wanted) return std::nullopt;
    return wanted;
}

}  // namespace svt
