#pragma once
// Effect chains: the GS insertion effect and the XG chorus, variation and insertion blocks.
// A chain is a list of effect engines (an EQ, a drive, a modulated delay, ...) run in order,
// in place, on one bus. Every engine row of the table has a process operation (count >= 0
// processes a block, -1 initialises, -2 frees) and conversions of the GS or XG parameters.
// Nodes are held in place with their state reserved up front, so building a chain while a
// song plays allocates nothing.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "effects/Equalizer.h"
#include "effects/FixedPoint.h"
#include "effects/Lfo.h"

namespace svt::effects {

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

struct EffectNode;
// block = interleaved stereo values; count -1 initialises, -2 frees, otherwise the values.
using EffectProcess = void (*)(EffectNode& node, int32_t* block, int count);
// Turns the type's parameter values (numbered from 1) into the node's state.
using EffectConvert = void (*)(EffectNode& node, std::span<const uint16_t> params,
                               bool systemBlock);

struct EffectEngine {
    int id;
    std::string_view name;
    EffectProcess process;
    EffectConvert gs;  // null: no GS conversion
    EffectConvert xg;  // null: no XG conversion
    int stateBytes;
};

struct EffectNode {
    int id = 0;
    const EffectEngine* engine = nullptr;
    int rateHz = 44100;
    NodeState state;
};

// The engine table, indexed by id (0 .. 27).
std::span<const EffectEngine> effectEngines();

inline constexpr int kEffectParams = 20;

// A row of the XG type table or of the GS insertion type table; the last row of each has
// type 0xFFFF and the name "EOF".
struct EffectType {
    uint16_t type;  // MSB << 8 | LSB
    std::string_view name;
    std::array<uint16_t, kEffectParams> defaults;
};
std::span<const EffectType> xgEffectTypes();
std::span<const EffectType> gsInsertionTypes();

// The engine ids a type is built from, at most four.
struct ChainPlan {
    std::array<int, 4> ids{};
    int count = 0;
};
ChainPlan gsInsertionPlan(int msb, int lsb);
ChainPlan xgEffectPlan(int msb, int lsb);

class EffectChain {
  public:
    static constexpr int kMaxNodes = 4;

    // Reserves the delay lines of the nodes for lines of up to `longestSeconds` (at most the
    // longest any engine uses) at this rate.
    void prepare(int rateHz, double longestSeconds = 1.5);
    // Frees the old chain, builds the one of the type, loads its default parameters and
    // initialises every node.
    void buildGs(int msb, int lsb);
    void buildXg(int msb, int lsb);
    // One parameter (numbered from 1) changed: every node is converted and initialised again.
    void setParameter(int number, int value);
    // XG: the block is a system effect (dry 0) or an insertion.
    void setSystemBlock(bool system);
    void free();
    void clear();
    // In place on `values` interleaved stereo values; an empty chain passes them unchanged.
    void process(int32_t* block, int values);

    int nodeCount() const { return count_; }
    int nodeId(int i) const { return nodes_[size_t(i)].id; }
    int typeMsb() const { return type_ >> 8; }
    int typeLsb() const { return type_ & 0xFF; }
    std::string_view typeName() const { return name_; }
    uint16_t parameter(int number) const;

  private:
    void build(const ChainPlan& plan, std::span<const EffectType> table, int msb, int lsb, bool gs);
    void convertAll();

    int rateHz_ = 44100;
    std::array<EffectNode, kMaxNodes> nodes_{};
    int count_ = 0;
    bool gs_ = true;
    bool systemBlock_ = false;
    uint16_t type_ = 0;
    std::string_view name_ = "None";
    std::array<uint16_t, kEffectParams> params_{};
};

}  // namespace svt::effects
