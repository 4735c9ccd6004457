#pragma once
// The system effects of one engine: the buses the mixer sends into, the reverb, chorus,
// delay and equaliser, and the GS/XG parameters that set them. Prepared once for a rate
// (everything is allocated there); process() and the parameter changes allocate nothing.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/Constants.h"
#include "effects/ChorusDelay.h"
#include "effects/EffectChain.h"
#include "effects/Equalizer.h"
#include "effects/Reverb.h"
#include "effects/SendKernels.h"
#include "synth/EffectRack.h"

namespace svt::effects {

struct EffectOptions {
    ReverbMode reverbMode{3};
    int chorusMode = 1;  // 0 off, 1 each channel's level
    // The voices make the chorus by pairs: the chorus unit is silent, the delay stays.
    bool surroundChorus = false;
    // The instruction set of the send loops and the reverb's rooms and halls (as the engine's
    // settings ask; unset: the environment's or the widest).
    std::optional<SimdLevel> simd;

    constexpr EffectOptions() = default;
    // From the numeric options of the settings.
    constexpr EffectOptions(int reverbOption, int chorus)
        : reverbMode(reverbOption), chorusMode(chorus) {}
};

// The GS system equaliser: frequency selectors (0/1) and gains (0x34..0x4C, 0x40 flat).
struct GsEqParams {
    int lowFrequency = 1;
    int highFrequency = 1;
    int lowGain = 0x40;
    int highGain = 0x40;
    double lowHz() const { return lowFrequency ? 400.0 : 200.0; }
    double highHz() const { return highFrequency ? 6000.0 : 3000.0; }
};

class SystemEffects final : public EffectRack {
  public:
    static constexpr int kBusValues = 8192;

    SystemEffects(int rateHz, EffectOptions options);

    // EffectRack
    ReverbMode reverbMode() const override { return options_.reverbMode; }
    int chorusMode() const override { return options_.chorusMode; }
    bool busActive(EffectBus bus) const override;
    void send(EffectBus bus, StereoView<const int64_t> block, int level) override;
    void process(StereoView<int64_t> out) override;
    void shareWith(RenderWorkers* helpers) override { helpers_ = helpers; }
    void resetEffects(int systemMode) override;
    void clearTails() override;
    void parameter(int type, int code, int value, int group, int block) override;
    bool insertionActive() const override;
    void setChannelEq(int channel, int bassGain, int trebleGain, int bassFrequency,
                      int trebleFrequency) override;
    void channelEq(int channel, StereoView<int64_t> block) override;
    void insertion(StereoView<const int64_t> block, StereoView<int64_t> out) override;
    uint32_t insertionChannels() const override;
    void insertInto(int channel, StereoView<int64_t> block) override;

    const ReverbParams& reverbParams() const { return reverb_; }
    const ChorusParams& chorusParams() const { return chorus_; }
    const GsDelaySettings& delaySettings() const { return delay_; }
    const GsEqParams& eqParams() const { return eq_; }
    const FiveBandEq& multiEq() const { return multiEq_; }
    const Reverb& reverb() const { return reverbUnit_; }
    const EffectChain& insertion() const { return insertion_; }
    const EffectChain& xgBlock(int index) const { return xgBlocks_[size_t(index)]; }
    int systemMode() const { return systemMode_; }
    // Every bus holds only zeros.
    bool silent() const;

    // Whole-parameter setters (what the messages end in), for tests and the engine.
    void setReverb(const ReverbParams& p);
    void setChorus(const ChorusParams& p);
    void setDelay(const GsDelaySettings& s);
    void setEq(const GsEqParams& p);

  private:
    template <class T>
    void sendValues(EffectBus bus, std::span<const T> block, int level);
    // The block saturated to 32 bits in the chains' scratch buffer.
    StereoView<int32_t> limitedCopy(StereoView<const int64_t> block);
    void gsParameter(int code, int value);
    void xgParameter(int group, int block, int code, int value);
    void initReverb();
    bool songReverb() const;

    const int rateHz_;
    const EffectOptions options_;
    int systemMode_ = 0;
    std::array<std::vector<int32_t>, BUS_COUNT> buses_;
    std::array<bool, BUS_COUNT> sent_{};
    SendKernels sendKernels_;
    ReverbParams reverb_{};
    ChorusParams chorus_{};
    GsDelaySettings delay_{};
    GsEqParams eq_{};
    Reverb reverbUnit_;
    Chorus chorusUnit_;
    GsDelay delayUnit_;
    TwoBandEq eqUnit_;
    FiveBandEq multiEq_;          // XG mode's equaliser on the same bus
    int32_t reverbSendGain_ = 0;  // Q24 of 1/127 x the reverb's input gain

    // GS insertion effect and the XG blocks: 0 chorus, 1 variation, 2 and 3 insertion.
    EffectChain insertion_;
    std::array<EffectChain, 4> xgBlocks_;
    std::array<int, 2> insertionType_{};   // GS type MSB, LSB
    std::array<int, 3> insertionSends_{};  // to reverb, chorus, delay
    std::array<int, 2> xgReverbType_{}, xgChorusType_{}, xgVariationType_{};
    std::array<std::array<int, 2>, 2> xgInsertionType_{};
    int32_t xgChorusReturn_ = kQ24One, xgChorusToReverb_ = 0;
    int32_t xgVariationReturn_ = kQ24One, xgVariationToReverb_ = 0, xgVariationToChorus_ = 0;
    // XG: the part each insertion block serves (127: none), the variation's connection (0 an
    // insertion into its part, 1 a system effect on its send) and its part.
    std::array<int, 2> xgInsertionPart_{127, 127};
    int xgVariationConnection_ = 0, xgVariationPart_ = 127;
    std::vector<int32_t> chainScratch_;
    RenderWorkers* helpers_ = nullptr;
    std::array<TwoBandEq, kChannels> channelEqs_{};
    // Frames the reverb still runs after the last send, until its tail has died away.
    int32_t tailFrames_ = 0, tailLength_ = 0;
};

}  // namespace svt::effects
