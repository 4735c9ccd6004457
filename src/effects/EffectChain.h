#pragma once
// Effect chains: the GS insertion effect and the XG chorus, variation and insertion blocks.
// A chain is a list of effect engines (EffectEngines.h) run in order, in place, on one bus,
// built from the table of its type (EffectTypes.h). Nodes are held in place with their state
// reserved up front, so building a chain while a song plays allocates nothing.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "effects/EffectEngines.h"
#include "effects/EffectTypes.h"

namespace svt::effects {

class EffectChain {
  public:
    static constexpr int kMaxNodes = 4;

    // Reserves the delay lines of the nodes for lines of up to `longestSeconds` (at most the
    // longest any engine uses) at this rate.
    void prepare(int rateHz, double longestSeconds = kLongestDelaySeconds);
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
    // In place on interleaved stereo values; an empty chain passes them unchanged.
    void process(std::span<int32_t> block);

    int nodeCount() const { return count_; }
    EngineId nodeId(int i) const { return nodes_[size_t(i)].id; }
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
