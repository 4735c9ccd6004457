#include <algorithm>
#include <cmath>
#include <type_traits>

#include "effects/effects.h"
#include "song/Sysex.h"
#include "synth/Interpolation.h"

namespace svt::effects {

using namespace sysex_code;

namespace {

constexpr int kDefaultReverbMacro = 4;  // Hall 2
constexpr int kDefaultChorusMacro = 2;  // Chorus 3
constexpr int kDefaultDelayMacro = 0;
constexpr int kFixedReverbLevel = 40;  // the level every channel sends at in modes 2 and 4

// XG effect addresses (02 01 xx) of the reverb, chorus and variation blocks.
constexpr int kXgReverbType = 0x00, kXgReverbTime = 0x02, kXgReverbInitialDelay = 0x04,
              kXgReverbLowPass = 0x06, kXgReverbReturn = 0x0C;
constexpr int kXgChorusType = 0x20, kXgChorusFirst = 0x22, kXgChorusReturn = 0x2C,
              kXgChorusToReverb = 0x2E;
constexpr int kXgVariationType = 0x40, kXgVariationFirst = 0x42, kXgVariationReturn = 0x56,
              kXgVariationToReverb = 0x58, kXgVariationToChorus = 0x59,
              kXgVariationConnection = 0x5A, kXgVariationPart = 0x5B;
constexpr int kXgInsertionPart = 0x0C;

// The GS character an XG reverb type sounds like.
int characterOfXgReverb(int msb, int lsb) {
    switch (msb) {
        case 0x01:
            return lsb == 0 ? 3 : 4;  // halls
        case 0x02:
            return std::clamp(lsb, 0, 2);  // rooms
        case 0x03:
            return lsb == 0 ? 2 : 3;  // stages
        case 0x04:
            return 5;  // plate
        case 0x10:
        case 0x11:
        case 0x12:
        case 0x13:
            return 1;  // white room, tunnel, canyon, basement
        default:
            return -1;  // no effect
    }
}

// The GS time value nearest a decay in seconds.
int timeForSeconds(double seconds) {
    int best = 0;
    for (int t = 1; t < 128; ++t)
        if (std::abs(reverbSeconds(t) - seconds) < std::abs(reverbSeconds(best) - seconds))
            best = t;
    return best;
}

}  // namespace

SystemEffects::SystemEffects(int rateHz, EffectOptions options)
    : rateHz_(std::max(rateHz, 1)),
      options_(options),
      sendKernels_(sendKernelsFor(chosenSimdLevel(options.simd))),
      chainScratch_(kBusValues, 0) {
    for (auto& bus : buses_) bus.assign(kBusValues, 0);
    reverbUnit_.prepare(rateHz_, options.simd);
    chorusUnit_.prepare(rateHz_);
    delayUnit_.prepare(rateHz_);
    insertion_.prepare(rateHz_, 0.1);  // the GS types: drives, EQs, lo-fi, a hexa-chorus
    for (EffectChain& c : xgBlocks_) c.prepare(rateHz_);
    resetEffects(0);
}

bool SystemEffects::songReverb() const {
    return options_.reverbMode.hearsChannels();
}

bool SystemEffects::busActive(EffectBus bus) const {
    switch (bus) {
        case BUS_REVERB:
            return songReverb() && reverbUnit_.kind() != ReverbKind::None;
        case BUS_CHORUS:
            return options_.chorusMode != 0 && !options_.surroundChorus;
        case BUS_DELAY:
            // In XG mode the bus carries the variation's send, heard only from a system variation.
            return options_.chorusMode != 0 &&
                   (systemMode_ == SYSTEM_XG_ON ? xgVariationConnection_ == 1 : delay_.level > 0);
        case BUS_EQ:
            return systemMode_ == SYSTEM_XG_ON ? !multiEq_.flat() : !eqUnit_.flat();
        default:
            return false;
    }
}

template <class T>
void SystemEffects::sendValues(EffectBus bus, std::span<const T> block, int level) {
    if (level <= 0 || block.empty() || bus < 0 || bus >= BUS_COUNT) return;
    block = block.first(std::min(block.size(), size_t(kBusValues)));
    const int values = int(block.size());
    const std::span<int32_t> to = buses_[size_t(bus)];
    sent_[size_t(bus)] = true;
    if (bus == BUS_EQ) {
        for (int i = 0; i < values; ++i) to[i] = saturate32(int64_t(to[i]) + block[i]);
        return;
    }
    // A channel block may hold many voices beyond full scale; the kernels limit what they send
    // (the bus keeps 32 bits). Blocks of 64-bit values take the chosen instruction set.
    constexpr bool kWide = std::is_same_v<T, int64_t>;
    if (bus == BUS_REVERB) {
        const int64_t gain = int64_t(std::min(level, 127)) * reverbSendGain_;
        if constexpr (kWide)
            sendKernels_.reverb(block, gain, to);
        else
            reverbSendScalar(block, gain, to);
        return;
    }
    const int64_t gain = (int64_t(std::min(level, 127)) * 65536) / 127;
    if constexpr (kWide)
        sendKernels_.level(block, gain, to);
    else
        levelSendScalar(block, gain, to);
}

void SystemEffects::send(EffectBus bus, StereoView<const int64_t> block, int level) {
    sendValues(bus, block.span(), level);
}

void SystemEffects::process(StereoView<int64_t> block) {
    const StereoView<int64_t> out = block.first(std::min(block.frames(), kBusValues / 2));
    const int frames = out.frames(), values = out.values();
    const StereoView<int32_t> reverbBus{buses_[BUS_REVERB].data(), frames};
    const StereoView<int32_t> chorusBus{buses_[BUS_CHORUS].data(), frames};
    const StereoView<int32_t> delayBus{buses_[BUS_DELAY].data(), frames};
    if (sent_[BUS_EQ]) {
        const StereoView<int32_t> eqBus{buses_[BUS_EQ].data(), frames};
        if (systemMode_ == SYSTEM_XG_ON)
            multiEq_.process(eqBus);
        else
            eqUnit_.process(eqBus);
        for (int i = 0; i < values; ++i) out[i] += eqBus[i];
        std::ranges::fill(eqBus.span(), 0);
    }
    if (systemMode_ == SYSTEM_XG_ON) {
        // The XG chorus and variation blocks run on the chorus and delay buses.
        // A block without effect returns nothing.
        if (xgBlocks_[0].nodeCount() == 0) std::ranges::fill(chorusBus.span(), 0);
        if (xgBlocks_[1].nodeCount() == 0) std::ranges::fill(delayBus.span(), 0);
        if (sent_[BUS_CHORUS]) {
            EffectChain& chorus = xgBlocks_[0];
            chorus.process(chorusBus.span());
            const int32_t ret = xgChorusReturn_, toReverb = xgChorusToReverb_;
            for (int i = 0; i < values; ++i) {
                const int32_t u = mulQ24(chorusBus[i], ret);
                out[i] += u;
                if (toReverb) reverbBus[i] += mulQ24(u, toReverb);
            }
            std::ranges::fill(chorusBus.span(), 0);
            sent_[BUS_REVERB] = sent_[BUS_REVERB] || toReverb != 0;
        }
        if (xgVariationConnection_ != 1) std::ranges::fill(delayBus.span(), 0);
        if (sent_[BUS_DELAY] && xgVariationConnection_ == 1) {
            EffectChain& variation = xgBlocks_[1];
            variation.process(delayBus.span());
            for (int i = 0; i < values; ++i) {
                const int32_t u = mulQ24(delayBus[i], xgVariationReturn_);
                out[i] += u;
                if (xgVariationToReverb_) reverbBus[i] += mulQ24(u, xgVariationToReverb_);
                if (xgVariationToChorus_) chorusBus[i] += mulQ24(u, xgVariationToChorus_);
            }
            std::ranges::fill(delayBus.span(), 0);
            sent_[BUS_REVERB] = true;
        }
    } else {
        if (sent_[BUS_CHORUS]) {
            chorusUnit_.process(chorusBus, out, reverbBus, delayBus);
            sent_[BUS_REVERB] = sent_[BUS_DELAY] = true;
        }
        if (sent_[BUS_DELAY]) {
            delayUnit_.process(delayBus, out, reverbBus);
            sent_[BUS_REVERB] = true;
        }
    }
    if (!songReverb() && reverbUnit_.kind() != ReverbKind::None) {
        // The fixed-level modes feed the whole dry mix into the reverb.
        const int64_t gain = int64_t(kFixedReverbLevel) * reverbSendGain_;
        for (int i = 0; i < values; ++i)
            reverbBus[i] += mulQ24(std::clamp<int64_t>(out[i], -kQ24One * 64, kQ24One * 64), gain);
        sent_[BUS_REVERB] = true;
    }
    // The reverb runs on every block once something was sent, so that its tail rings out.
    if (sent_[BUS_REVERB] || tailFrames_ > 0) {
        reverbUnit_.process(reverbBus, out, helpers_);
        tailFrames_ = sent_[BUS_REVERB] ? tailLength_ : std::max(0, tailFrames_ - frames);
    }
    for (bool& s : sent_) s = false;
    // Chorus and delay lines ring on as long as the reverb's.
    if (tailFrames_ > 0 && systemMode_ != SYSTEM_XG_ON) sent_[BUS_CHORUS] = sent_[BUS_DELAY] = true;
}

bool SystemEffects::insertionActive() const {
    // XG insertions are given to parts instead of being switched on per channel.
    return systemMode_ != SYSTEM_XG_ON && insertion_.nodeCount() > 0;
}

uint32_t SystemEffects::insertionChannels() const {
    if (systemMode_ != SYSTEM_XG_ON) return 0;
    uint32_t channels = 0;
    for (size_t b = 0; b < 2; ++b)
        if (xgInsertionPart_[b] < kChannels && xgBlocks_[2 + b].nodeCount() > 0)
            channels |= 1u << xgInsertionPart_[b];
    if (xgVariationConnection_ == 0 && xgVariationPart_ < kChannels && xgBlocks_[1].nodeCount() > 0)
        channels |= 1u << xgVariationPart_;
    return channels;
}

void SystemEffects::insertInto(int channel, StereoView<int64_t> view) {
    if (!((insertionChannels() >> (channel & 31)) & 1u)) return;
    const StereoView<int64_t> block = view.first(std::min(view.frames(), kBusValues / 2));
    const StereoView<int32_t> x = limitedCopy(block);
    // The two insertion blocks in order, then the variation where it is an insertion.
    for (size_t b = 0; b < 2; ++b)
        if (xgInsertionPart_[b] == channel) xgBlocks_[2 + b].process(x.span());
    if (xgVariationConnection_ == 0 && xgVariationPart_ == channel) xgBlocks_[1].process(x.span());
    std::ranges::copy(x.span(), block.data());
}

void SystemEffects::insertion(StereoView<const int64_t> in, StereoView<int64_t> to) {
    const StereoView<int32_t> x = limitedCopy(in.first(std::min(in.frames(), kBusValues / 2)));
    insertion_.process(x.span());
    for (int i = 0; i < x.values(); ++i) to[i] += x[i];
    static constexpr std::array<EffectBus, 3> kBuses = {BUS_REVERB, BUS_CHORUS, BUS_DELAY};
    for (size_t k = 0; k < 3; ++k) {
        if (insertionSends_[k] <= 0 || !busActive(kBuses[k])) continue;
        sendValues(kBuses[k], std::span<const int32_t>(x.span()), insertionSends_[k]);
    }
}

void SystemEffects::setChannelEq(int channel, int bassGain, int trebleGain, int bassFrequency,
                                 int trebleFrequency) {
    if (channel < 0 || channel >= kChannels) return;
    // XG frequency values: 4 is about 32 Hz, 40 about 2 kHz, 58 about 16 kHz.
    channelEqs_[size_t(channel)].set(xgEqHz(bassFrequency), xgEqGainDb(bassGain),
                                     xgEqHz(trebleFrequency), xgEqGainDb(trebleGain), rateHz_);
}

void SystemEffects::channelEq(int channel, StereoView<int64_t> view) {
    if (channel < 0 || channel >= kChannels) return;
    TwoBandEq& eq = channelEqs_[size_t(channel)];
    if (eq.flat()) return;
    const StereoView<int64_t> block = view.first(std::min(view.frames(), kBusValues / 2));
    const StereoView<int32_t> x = limitedCopy(block);
    eq.process(x);
    std::ranges::copy(x.span(), block.data());
}

StereoView<int32_t> SystemEffects::limitedCopy(StereoView<const int64_t> block) {
    const StereoView<int32_t> x{chainScratch_.data(), block.frames()};
    for (int i = 0; i < block.values(); ++i) x[i] = saturate32(block[i]);
    return x;
}

bool SystemEffects::silent() const {
    for (const auto& bus : buses_)
        if (std::any_of(bus.begin(), bus.end(), [](int32_t v) { return v != 0; })) return false;
    return true;
}

void SystemEffects::initReverb() {
    reverbUnit_.initialise(reverb_, options_.reverbMode);
    reverbSendGain_ = toQ24(reverbUnit_.inputGain() / 127.0);
    chorusUnit_.setReverbInputGain(reverbUnit_.inputGain());
    delayUnit_.setReverbInputGain(reverbUnit_.inputGain());
    // Long enough for the longest line of any effect to empty.
    tailLength_ = static_cast<int32_t>(std::max(reverbUnit_.decaySeconds() * 1.5, 2.0) * rateHz_);
    std::fill(buses_[BUS_REVERB].begin(), buses_[BUS_REVERB].end(), 0);
}

void SystemEffects::setReverb(const ReverbParams& p) {
    reverb_ = p;
    initReverb();
}

void SystemEffects::setChorus(const ChorusParams& p) {
    chorus_ = p;
    const bool preFilter =
        reverbKindFor(options_.reverbMode, reverb_.character) != ReverbKind::Standard;
    chorusUnit_.initialise(chorus_, reverbUnit_.inputGain(), preFilter);
}

void SystemEffects::setDelay(const GsDelaySettings& s) {
    delay_ = s;
    const bool preFilter =
        reverbKindFor(options_.reverbMode, reverb_.character) != ReverbKind::Standard;
    delayUnit_.initialise(deriveDelay(delay_, rateHz_), reverbUnit_.inputGain(), preFilter);
}

void SystemEffects::setEq(const GsEqParams& p) {
    eq_ = p;
    eqUnit_.set(eq_.lowHz(), gsEqGainDb(eq_.lowGain), eq_.highHz(), gsEqGainDb(eq_.highGain),
                rateHz_);
}

void SystemEffects::resetEffects(int systemMode) {
    systemMode_ = systemMode;
    for (auto& bus : buses_) std::fill(bus.begin(), bus.end(), 0);
    sent_ = {};
    tailFrames_ = 0;
    reverb_ = reverbMacro(kDefaultReverbMacro);
    if (systemMode == SYSTEM_XG_ON) reverb_.character = characterOfXgReverb(0x01, 0);
    reverbUnit_.clear();
    initReverb();
    setChorus(chorusMacro(kDefaultChorusMacro));
    setDelay(delayMacro(kDefaultDelayMacro));
    setEq(GsEqParams{});
    multiEq_.reset(rateHz_);
    insertionType_ = {0, 0};
    insertion_.buildGs(0, 0);
    insertionSends_ = {40, 0, 0};
    xgReverbType_ = {0x01, 0};
    xgChorusType_ = {0x41, 0};
    xgVariationType_ = {0x05, 0};
    xgInsertionType_ = {{{0x49, 0}, {0x49, 0}}};
    // The XG blocks with their default types: chorus, variation and the two insertions.
    xgBlocks_[0].setSystemBlock(true);
    xgBlocks_[0].buildXg(0x41, 0);
    // The variation starts as an insertion that serves no part, as on the instruments the
    // XG songs were made on; a song that sends to it connects it as a system effect.
    xgVariationConnection_ = 0;
    xgVariationPart_ = 127;
    xgInsertionPart_ = {127, 127};
    xgBlocks_[1].setSystemBlock(false);
    xgBlocks_[1].buildXg(0x05, 0);
    xgBlocks_[2].buildXg(0x49, 0);
    xgBlocks_[3].buildXg(0x49, 0);
    xgChorusReturn_ = toQ24(64 / 64.0);
    xgChorusToReverb_ = 0;
    xgVariationReturn_ = toQ24(64 / 64.0);
    xgVariationToReverb_ = xgVariationToChorus_ = 0;
}

void SystemEffects::clearTails() {
    for (auto& bus : buses_) std::fill(bus.begin(), bus.end(), 0);
    sent_ = {};
    tailFrames_ = 0;
    reverbUnit_.clear();
    chorusUnit_.clear();
    delayUnit_.clear();
    eqUnit_.clear();
    multiEq_.clear();
    insertion_.clear();
    for (EffectChain& c : xgBlocks_) c.clear();
}

void SystemEffects::parameter(int type, int code, int value, int group, int block) {
    value = std::clamp(value, 0, 127);
    if (type == EV_SYSEX_LSB) {
        if (code == kReverbType) {
            // The universal reverb types: small, medium, large room, medium and large hall, plate.
            static constexpr std::array<int, 9> kCharacter = {0, 1, 2, 3, 4, 4, 4, 4, 5};
            ReverbParams p = reverb_;
            p.character = kCharacter[size_t(std::min(value, 8))];
            setReverb(p);
        } else if (code == kChorusType) {
            setChorus(chorusMacro(std::min(value, 5)));
        }
    } else if (type == EV_SYSEX_GS_LSB) {
        gsParameter(code, value);
    } else if (type == EV_SYSEX_XG_LSB) {
        xgParameter(group, block, code, value);
    }
}

void SystemEffects::gsParameter(int code, int v) {
    if (code >= kGsEqLowFrequency && code <= kGsEqHighGain) {
        GsEqParams p = eq_;
        if (code == kGsEqLowFrequency) p.lowFrequency = v ? 1 : 0;
        if (code == kGsEqHighFrequency) p.highFrequency = v ? 1 : 0;
        if (code == kGsEqLowGain) p.lowGain = v;
        if (code == kGsEqHighGain) p.highGain = v;
        setEq(p);
        return;
    }
    if (code >= kGsReverbMacro && code <= kGsReverbMacro + 7) {
        ReverbParams p = reverb_;
        switch (code - kGsReverbMacro) {
            case 0:
                p = reverbMacro(std::min(v, 7));
                break;
            case 1:
                p.character = std::min(v, 7);
                break;
            case 2:
                p.preLpf = std::min(v, 7);
                if (p == reverb_) return;
                reverb_ = p;
                reverbUnit_.setPreFilter(p.preLpf);
                return;
            case 3:
                p.level = v;
                break;
            case 4:
                p.time = v;
                break;
            case 5:
                p.delayFeedback = v;
                break;
            case 6:
                return;  // send to chorus: not carried
            case 7:
                p.preDelayMs = v;
                break;
        }
        if (code != kGsReverbMacro && p == reverb_) return;
        setReverb(p);
        return;
    }
    if (code >= kGsChorusMacro && code < kGsDelayMacro) {
        ChorusParams p = chorus_;
        switch (code - kGsChorusMacro) {
            case 0:
                p = chorusMacro(std::min(v, 7));
                break;
            case 1:
                p.preLpf = std::min(v, 7);
                break;
            case 2:
                p.level = v;
                break;
            case 3:
                p.feedback = v;
                break;
            case 4:
                p.delay = v;
                break;
            case 5:
                p.rate = v;
                break;
            case 6:
                p.depth = v;
                break;
            case 7:
                p.sendReverb = v;
                break;
            case 8:
                p.sendDelay = v;
                break;
        }
        if (code != kGsChorusMacro && p == chorus_) return;
        setChorus(p);
        return;
    }
    if (code >= kGsDelayMacro && code <= kGsDelayMacro + 10) {
        GsDelaySettings s = delay_;
        switch (code - kGsDelayMacro) {
            case 0:
                s = delayMacro(std::min(v, 7));
                break;
            case 1:
                s.preLpf = std::min(v, 7);
                break;
            case 2:
                s.timeCentre = std::min(v, 115);
                break;
            case 3:
                s.ratioLeft = std::max(v, 1);
                break;
            case 4:
                s.ratioRight = std::max(v, 1);
                break;
            case 5:
                s.levelCentre = v;
                break;
            case 6:
                s.levelLeft = v;
                break;
            case 7:
                s.levelRight = v;
                break;
            case 8:
                s.level = v;
                break;
            case 9:
                s.feedback = v;
                break;
            case 10:
                s.sendReverb = v;
                break;
        }
        if (code != kGsDelayMacro && s == delay_) return;
        setDelay(s);
        return;
    }
    if (code == kGsInsertionTypeMsb || code == kGsInsertionTypeMsb + 1) {
        std::array<int, 2> t = insertionType_;
        t[size_t(code - kGsInsertionTypeMsb)] = v;
        if (t != insertionType_) {
            insertionType_ = t;
            insertion_.buildGs(t[0], t[1]);
        }
        return;
    }
    const int number = code - kGsInsertionTypeMsb - 1;  // 1..20 parameters, then three sends
    if (number >= 1 && number <= kEffectParams) {
        insertion_.setParameter(number, v);
    } else if (number >= 21 && number <= 23) {
        insertionSends_[size_t(number - 21)] = v;
    }
}

void SystemEffects::xgParameter(int group, int block, int code, int v) {
    if (group == kXgGroupMultiEq) {
        multiEq_.set(code, v, rateHz_);
        return;
    }
    if (group == kXgGroupInsertion) {
        EffectChain& chain = xgBlocks_[size_t(2 + (block & 1))];
        if (code == 0x00 || code == 0x01) {
            xgInsertionType_[size_t(block & 1)][size_t(code)] = v;
            const auto& t = xgInsertionType_[size_t(block & 1)];
            chain.buildXg(t[0], t[1]);
        } else if (code >= 0x02 && code <= 0x0B) {
            chain.setParameter(code - 0x01, v);
        } else if (code == kXgInsertionPart) {
            xgInsertionPart_[size_t(block & 1)] = v;
        } else if (code >= 0x20 && code <= 0x25) {
            chain.setParameter(code - 0x20 + 11, v);
        }
        return;
    }
    if (group != kXgGroupEffect) return;
    if (code == kXgReverbType || code == kXgReverbType + 1) {
        xgReverbType_[size_t(code)] = v;
        const int character = characterOfXgReverb(xgReverbType_[0], xgReverbType_[1]);
        ReverbParams p = reverb_;
        if (character < 0) {
            p.level = 0;
        } else {
            p.character = character;
            if (p.level == 0) p.level = 64;
        }
        setReverb(p);
    } else if (code == kXgReverbInitialDelay) {
        // 0.1 .. 99.3 ms over 0..63.
        ReverbParams p = reverb_;
        p.preDelayMs = static_cast<int>(std::lround(0.1 + std::min(v, 63) * 99.2 / 63.0));
        if (p != reverb_) setReverb(p);
    } else if (code == kXgReverbLowPass) {
        // An equaliser frequency value; 60 and above let everything through. The nearest of
        // the seven pre-filter steps, whose corners fall from about 14 kHz to 200 Hz.
        const double hz = xgEqHz(v);
        const int step =
            v >= 60 ? 0
                    : std::clamp(static_cast<int>(std::lround(7.0 - (hz - 200.0) * 7.0 / 16000.0)),
                                 1, 7);
        if (step == reverb_.preLpf) return;
        reverb_.preLpf = step;
        reverbUnit_.setPreFilter(step);
    } else if (code == kXgReverbTime) {
        // Reverb time 0.3 .. 30 s in steps of 0.1 s up to 2 s, coarser above.
        const double seconds = v <= 17   ? 0.3 + v * 0.1
                               : v <= 47 ? 2.0 + (v - 17) * 0.1
                                         : 5.0 + (v - 47) * 1.1;
        ReverbParams p = reverb_;
        p.time = timeForSeconds(seconds);
        setReverb(p);
    } else if (code == kXgReverbReturn) {
        ReverbParams p = reverb_;
        p.level = v;
        setReverb(p);
    } else if (code == kXgChorusType || code == kXgChorusType + 1) {
        xgChorusType_[size_t(code - kXgChorusType)] = v;
        xgBlocks_[0].buildXg(xgChorusType_[0], xgChorusType_[1]);
    } else if (code >= kXgChorusFirst && code < kXgChorusFirst + 10) {
        xgBlocks_[0].setParameter(code - kXgChorusFirst + 1, v);
    } else if (code == kXgChorusReturn) {
        xgChorusReturn_ = toQ24(v / 64.0);
    } else if (code == kXgChorusToReverb) {
        xgChorusToReverb_ = toQ24(v / 127.0 * reverbUnit_.inputGain());
    } else if (code >= 0x30 && code <= 0x35) {
        xgBlocks_[0].setParameter(code - 0x30 + 11, v);
    } else if (code == kXgVariationType || code == kXgVariationType + 1) {
        xgVariationType_[size_t(code - kXgVariationType)] = v;
        xgBlocks_[1].buildXg(xgVariationType_[0], xgVariationType_[1]);
    } else if (code >= kXgVariationFirst && code < kXgVariationFirst + 20) {
        // Parameters 1..10 come as MSB, LSB pairs.
        const int number = (code - kXgVariationFirst) / 2 + 1;
        const bool msb = (code - kXgVariationFirst) % 2 == 0;
        const int old = xgBlocks_[1].parameter(number);
        const int value = msb ? (v << 7) | (old & 0x7F) : (old & ~0x7F) | v;
        xgBlocks_[1].setParameter(number, value);
    } else if (code == kXgVariationReturn) {
        xgVariationReturn_ = toQ24(v / 64.0);
    } else if (code == kXgVariationToReverb) {
        xgVariationToReverb_ = toQ24(v / 127.0 * reverbUnit_.inputGain());
    } else if (code == kXgVariationToChorus) {
        xgVariationToChorus_ = toQ24(v / 127.0);
    } else if (code == kXgVariationConnection) {
        // A system variation returns only its wet part; as an insertion it keeps the dry too.
        xgVariationConnection_ = v == 1 ? 1 : 0;
        xgBlocks_[1].setSystemBlock(xgVariationConnection_ == 1);
        std::fill(buses_[BUS_DELAY].begin(), buses_[BUS_DELAY].end(), 0);
    } else if (code == kXgVariationPart) {
        xgVariationPart_ = v;
    } else if (code >= 0x70 && code <= 0x75) {
        xgBlocks_[1].setParameter(code - 0x70 + 11, v);
    }
}

}  // namespace svt::effects
