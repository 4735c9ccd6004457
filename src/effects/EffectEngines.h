#pragma once
// The engines effect chains are built from: an EQ, a drive, a modulated delay, ... Each row
// of the table names the engine and its operations: set a node up, process a block, and take
// the parameters of a GS or XG effect type.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "effects/Equalizer.h"
#include "effects/FixedPoint.h"
#include "effects/Lfo.h"

namespace svt::effects {

// The longest delay any engine uses.
inline constexpr double kLongestDelaySeconds = 1.5;

enum class EngineId : uint8_t {
    None = 0,
    TwoBandEq = 1,
    ThreeBandEq = 2,
    StereoEq = 3,
    Overdrive = 4,
    Distortion = 5,
    Od1Od2 = 6,
    Chorus = 7,
    Flanger = 8,
    Symphonic = 9,
    ChorusEq = 10,  // the XG chorus types' own bands
    StereoOverdrive = 11,
    StereoDistortion = 12,
    AmpSimulator = 13,
    DriveEq = 14,  // the XG drive types' own bands
    HexaChorus = 15,
    DelayLcr = 16,
    DelayLr = 17,
    Echo = 18,
    CrossDelay = 19,
    DelayEq = 20,  // the XG delay types' own bands
    LoFi = 21,
    LoFi1 = 22,
    LoFi2 = 23,
    AutoWah = 24,
    AutoWahEq = 25,
    AutoWahDrive = 26,
    AutoWahDriveEq = 27,
};
inline constexpr int kEngineCount = 28;

// Converted parameters and running state of one node; each engine uses the parts it needs.
struct NodeState {
    std::array<double, 16> value{};  // converted parameters (Hz, dB, factors)
    int32_t dry = 0, wet = kQ24One, level = kQ24One, drive = 0, feedback = 0;
    int32_t mask = -1;
    std::array<int32_t, 8> gain{};    // further Q24 gains
    std::array<int32_t, 8> taps{};    // delays in samples
    std::array<int32_t, 8> memory{};  // filter and hold states
    std::array<Biquad, 8> filters{};
    std::array<DelayLine, 2> lines;
    std::array<Lfo, 2> lfos{};
    int32_t depthSamples = 0, offsetSamples = 0;
    int32_t counter = 0;
};

struct EffectNode {
    EngineId id = EngineId::None;
    const struct EffectEngine* engine = nullptr;
    int rateHz = 44100;
    NodeState state;
};

// Sets a node up from its converted parameters.
using EffectInit = void (*)(EffectNode& node);
// Runs a node in place on interleaved stereo values.
using EffectProcess = void (*)(EffectNode& node, std::span<int32_t> block);
// Turns the type's parameter values (numbered from 1) into the node's state.
using EffectConvert = void (*)(EffectNode& node, std::span<const uint16_t> params,
                               bool systemBlock);

struct EffectEngine {
    EngineId id;
    std::string_view name;
    EffectInit init;  // null: nothing to set up
    EffectProcess process;
    EffectConvert gs;  // null: no GS conversion
    EffectConvert xg;  // null: no XG conversion
};

// The engine table, indexed by id.
std::span<const EffectEngine> effectEngines();
const EffectEngine& effectEngine(EngineId id);

}  // namespace svt::effects
