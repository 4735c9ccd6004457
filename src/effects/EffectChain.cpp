#include "effects/EffectChain.h"

#include <algorithm>

namespace svt::effects {

namespace {

constexpr uint16_t typeCode(int msb, int lsb) {
    return static_cast<uint16_t>(msb << 8 | lsb);
}

}  // namespace

void EffectChain::prepare(int rateHz, double longestSeconds) {
    rateHz_ = std::max(rateHz, 1);
    const int32_t longest =
        static_cast<int32_t>(std::min(longestSeconds, kLongestDelaySeconds) * rateHz_) + 2;
    for (size_t i = 0; i < nodes_.size(); ++i) {
        nodes_[i].rateHz = rateHz_;
        // Only the first two engines of a chain are ever delays or modulated delays.
        if (i < 2)
            for (DelayLine& l : nodes_[i].state.lines) l.prepare(longest);
    }
}

void EffectChain::free() {
    for (int i = 0; i < count_; ++i) {
        EffectNode& n = nodes_[size_t(i)];
        // The state goes back to zero; the reserved lines stay for the next chain.
        auto lines = std::move(n.state.lines);
        n.state = NodeState{};
        n.state.lines = std::move(lines);
        for (DelayLine& l : n.state.lines) l.allocate(0);
        n.engine = nullptr;
        n.id = EngineId::None;
    }
    count_ = 0;
    type_ = 0;
    name_ = "None";
}

void EffectChain::build(const ChainPlan& chain, std::span<const EffectType> table, int msb, int lsb,
                        bool gs) {
    free();
    gs_ = gs;
    type_ = typeCode(msb & 0x7F, lsb & 0x7F);
    // The defaults of the type; an unknown LSB takes the row of LSB 0 of the same MSB.
    const EffectType* row = nullptr;
    for (const EffectType& t : table) {
        if (t.type == 0xFFFF) break;
        if (t.type == type_) row = &t;
        if (!row && t.type == typeCode(msb & 0x7F, 0)) row = &t;
    }
    params_ = row ? row->defaults : std::array<uint16_t, kEffectParams>{};
    name_ = row && row->type == type_ ? row->name : std::string_view("None");
    for (int i = 0; i < chain.count; ++i) {
        EffectNode& n = nodes_[size_t(i)];
        n.id = chain.ids[size_t(i)];
        n.engine = &effectEngine(n.id);
        n.rateHz = rateHz_;
    }
    count_ = chain.count;
    convertAll();
}

void EffectChain::buildGs(int msb, int lsb) {
    build(gsInsertionPlan(msb, lsb), gsInsertionTypes(), msb, lsb, true);
}
void EffectChain::buildXg(int msb, int lsb) {
    build(xgEffectPlan(msb, lsb), xgEffectTypes(), msb, lsb, false);
}

void EffectChain::convertAll() {
    for (int i = 0; i < count_; ++i) {
        EffectNode& n = nodes_[size_t(i)];
        const EffectConvert convert = gs_ ? n.engine->gs : n.engine->xg;
        if (convert) convert(n, params_, systemBlock_);
        if (n.engine->init) n.engine->init(n);
    }
}

void EffectChain::setParameter(int number, int value) {
    if (number < 1 || number > kEffectParams) return;
    params_[size_t(number - 1)] = static_cast<uint16_t>(std::clamp(value, 0, 0x3FFF));
    convertAll();
}

void EffectChain::setSystemBlock(bool system) {
    if (system == systemBlock_) return;
    systemBlock_ = system;
    convertAll();
}

uint16_t EffectChain::parameter(int number) const {
    return (number >= 1 && number <= kEffectParams) ? params_[size_t(number - 1)] : 0;
}

void EffectChain::clear() {
    convertAll();
}

void EffectChain::process(std::span<int32_t> block) {
    for (int i = 0; i < count_; ++i) {
        EffectNode& n = nodes_[size_t(i)];
        n.engine->process(n, block);
    }
}

}  // namespace svt::effects
