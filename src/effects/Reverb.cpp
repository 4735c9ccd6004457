#include "effects/Reverb.h"

#include <algorithm>
#include <cmath>

#include "base/Constants.h"
#include "effects/Lfo.h"
#include "synth/Interpolation.h"

namespace svt::effects {

namespace {

constexpr std::array<int32_t, 8> kCombTunings = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr std::array<int32_t, 4> kAllPassTunings = {225, 341, 441, 556};
constexpr int32_t kStereoSpread = 23;
constexpr double kDamping = 0.2;
constexpr double kAllPassFeedback = 0.55;

// Per character: size, gain and room factors; index 6 stands for every other character.
constexpr std::array<double, 7> kSize = {0.516850262, 1.004226004, 0.691046825, 0.893006004,
                                         1.0,         0.538476488, 1.0};
constexpr std::array<double, 7> kGain = {0.744025605, 1.224309745, 0.858592403, 1.0471802,
                                         1.0,         0.865335496, 1.0};
constexpr std::array<double, 7> kRoom = {1.0, 0.94, 0.97, 0.9, 0.85, 1.0, 1.0};

size_t characterIndex(int character) {
    return (character >= 0 && character <= 5) ? size_t(character) : 6;
}

// The plate's figures are given at 29761 Hz.
constexpr double kPlateRate = 29761.0;
constexpr double kPlateReferenceSeconds = 1.8186589;
constexpr std::array<int32_t, 4> kDiffuserLengths = {142, 107, 379, 277};
constexpr std::array<double, 4> kDiffuserGains = {0.75, 0.75, 0.625, 0.625};
constexpr std::array<int32_t, 2> kModulatedLengths = {672, 908};
constexpr std::array<int32_t, 2> kDelay1Lengths = {4453, 3720};
constexpr std::array<int32_t, 2> kAllPassLengths = {1800, 2656};
constexpr std::array<int32_t, 2> kDelay2Lengths = {4217, 3163};
constexpr std::array<std::array<int32_t, 7>, 2> kPlateTaps = {
    {{266, 2974, 1913, 1996, 1990, 187, 1066}, {353, 3627, 1228, 2673, 2111, 335, 121}}};
constexpr double kPlateExcursion = 16.0;
constexpr double kPlateDecay = 0.5;

// Standard reverb: comb, comb, all-pass, all-pass lengths at 44100 Hz.
constexpr std::array<int32_t, 4> kStandardLengths = {1309, 1637, 331, 557};

double roomSize(int character) {
    return kRoom[characterIndex(character)] * 0.28 + 0.7;
}

// Y of the comb and all-pass lengths: the network grows with the decay time asked for.
double lengthFactor(int character, double seconds) {
    const double s = kSize[characterIndex(character)];
    return s * seconds * 3.0 * (-20.0 * std::log10(roomSize(character))) * 44100.0 / 97020.0;
}

int32_t scaledLength(int32_t tuning, int rateHz, double y) {
    return primeAtLeast(static_cast<int32_t>(double(tuning) * rateHz * y / 44100.0));
}

double plateSize(double seconds) {
    return (seconds / kPlateReferenceSeconds - 1.0) * 0.5 + 1.0;
}

int32_t plateLength(int32_t length, int rateHz, double size) {
    return std::max<int32_t>(1, static_cast<int32_t>(length * (rateHz / kPlateRate) * size));
}

}  // namespace

double reverbSeconds(int time) {
    // Anchored at 0, 32, 64, 96 and 112; geometric in between, flat from 112 on.
    static const std::array<float, 128> table = [] {
        constexpr std::array<int, 5> at = {0, 32, 64, 96, 112};
        constexpr std::array<double, 5> seconds = {0.4103, 0.9695, 1.8187, 4.0002, 6.3563};
        std::array<float, 128> t{};
        for (int i = 0; i < 128; ++i) {
            if (i >= 112) {
                t[size_t(i)] = static_cast<float>(seconds[4]);
                continue;
            }
            size_t k = 0;
            while (i >= at[k + 1]) ++k;
            const double f = double(i - at[k]) / double(at[k + 1] - at[k]);
            t[size_t(i)] =
                static_cast<float>(seconds[k] * std::pow(seconds[k + 1] / seconds[k], f));
        }
        return t;
    }();
    return table[size_t(std::clamp(time, 0, 127))];
}

ReverbParams reverbMacro(int macro) {
    // character, pre-filter, level, time, delay feedback, pre-delay.
    static constexpr std::array<ReverbParams, 8> kMacros = {{{0, 3, 64, 80, 0, 0},
                                                             {1, 4, 64, 56, 0, 0},
                                                             {2, 0, 64, 64, 0, 0},
                                                             {3, 4, 64, 72, 0, 0},
                                                             {4, 0, 64, 64, 0, 0},
                                                             {5, 0, 64, 88, 0, 0},
                                                             {6, 0, 64, 32, 40, 0},
                                                             {7, 0, 64, 64, 32, 0}}};
    return kMacros[size_t(std::clamp(macro, 0, 7))];
}

double preFilterCoefficient(int preLpf, int rateHz) {
    if (preLpf <= 0) return 1.0;
    const double f = (7.0 - std::min(preLpf, 7)) / 7.0 * 16000.0 + 200.0;
    return std::min(1.0, 2.0 * f / rateHz);
}

int32_t primeAtLeast(int32_t n) {
    n = std::max(n, 10);
    for (;; ++n) {
        if (n % 2 == 0) continue;
        bool prime = true;
        for (int32_t d = 3; d * d <= n; d += 2) {
            if (n % d == 0) {
                prime = false;
                break;
            }
        }
        if (prime) return n;
    }
}

ReverbKind reverbKindFor(ReverbMode mode, int character, bool stereo) {
    if (mode.off()) return ReverbKind::None;
    if (mode.reverb != ReverbMode::Reverb::SongChooses || !stereo) return ReverbKind::Standard;
    if (character == 5) return ReverbKind::Plate;
    if (character == 6) return ReverbKind::Delay;
    if (character == 7) return ReverbKind::PanningDelay;
    return ReverbKind::RoomHall;
}

void Reverb::prepare(int rateHz, std::optional<SimdLevel> simd) {
    rateHz_ = std::max(rateHz, 1);
    kernels_ = reverbKernelsFor(chosenSimdLevel(simd));
    const double longest = reverbSeconds(127);
    double y = 0.0;
    for (int c = 0; c <= 4; ++c) y = std::max(y, lengthFactor(c, longest));
    for (auto& side : combs_)
        for (auto& comb : side)
            comb.line.prepare(scaledLength(kCombTunings[7] + kStereoSpread, rateHz_, y) + 64);
    for (auto& side : allPasses_)
        for (auto& ap : side)
            ap.line.prepare(scaledLength(kAllPassTunings[3] + kStereoSpread, rateHz_, y) + 64);
    preDelay_.prepare(rateHz_ * 127 / 1000 + 1);
    roomInput_.assign(size_t(kBlockFrames), 0);
    for (auto& wet : roomWet_) wet.assign(size_t(kBlockFrames), 0);
    const double size = plateSize(longest);
    for (size_t i = 0; i < diffusers_.size(); ++i)
        diffusers_[i].line.prepare(plateLength(kDiffuserLengths[i], rateHz_, 1.0));
    for (size_t s = 0; s < 2; ++s) {
        tank_[s].modulated.prepare(plateLength(kModulatedLengths[s], rateHz_, size) +
                                   plateLength(int32_t(kPlateExcursion) + 2, rateHz_, 1.0));
        tank_[s].delay1.prepare(plateLength(kDelay1Lengths[s], rateHz_, size));
        tank_[s].allPass.line.prepare(plateLength(kAllPassLengths[s], rateHz_, size));
        tank_[s].delay2.prepare(plateLength(kDelay2Lengths[s], rateHz_, size));
        echo_[s].prepare(static_cast<int32_t>(127 * 3.75 * rateHz_ / 1000) + 2);
        // The largest size factor is just above 1.
        standard_[s].comb1.prepare(
            scaledLength(kStandardLengths[0] + 2 * kStereoSpread, rateHz_, 1.01));
        standard_[s].comb2.prepare(
            scaledLength(kStandardLengths[1] + 2 * kStereoSpread, rateHz_, 1.01));
        standard_[s].ap1.line.prepare(
            scaledLength(kStandardLengths[2] + 2 * kStereoSpread, rateHz_, 1.01));
        standard_[s].ap2.line.prepare(
            scaledLength(kStandardLengths[3] + 2 * kStereoSpread, rateHz_, 1.01));
    }
}

void Reverb::initialise(const ReverbParams& p, ReverbMode mode) {
    kind_ = reverbKindFor(mode, p.character);
    inputGain_ = 1.0;
    decaySeconds_ = 0.0;
    const bool gsModes = kind_ != ReverbKind::Standard && kind_ != ReverbKind::None;
    preFilterOn_ = gsModes && p.preLpf != 0;
    for (OnePole& f : preFilter_) f = OnePole{toQ24(preFilterCoefficient(p.preLpf, rateHz_)), 0};
    preDelay_.allocate(
        gsModes ? static_cast<int32_t>(int64_t(rateHz_) * std::clamp(p.preDelayMs, 0, 127) / 1000)
                : 0);
    switch (kind_) {
        case ReverbKind::RoomHall:
            initRoomHall(p);
            break;
        case ReverbKind::Plate:
            initPlate(p);
            break;
        case ReverbKind::Delay:
        case ReverbKind::PanningDelay:
            initDelay(p);
            break;
        case ReverbKind::Standard:
            initStandard(p);
            break;
        case ReverbKind::None:
            break;
    }
}

void Reverb::setPreFilter(int preLpf) {
    const bool gsModes = kind_ != ReverbKind::Standard && kind_ != ReverbKind::None;
    preFilterOn_ = gsModes && preLpf != 0;
    for (OnePole& f : preFilter_) f.a = toQ24(preFilterCoefficient(preLpf, rateHz_));
}

void Reverb::initRoomHall(const ReverbParams& p) {
    const size_t k = characterIndex(p.character);
    const double seconds = reverbSeconds(p.time);
    inputGain_ = (std::clamp(p.level, 0, 127) / 127.0) * kGain[k] * 0.025;
    const double y = lengthFactor(p.character, seconds);
    // The loop gain of each comb is set from its actual length, so that every comb falls by
    // 60 dB in S x seconds whatever length the room size gave it.
    decaySeconds_ = kSize[k] * seconds;
    for (size_t side = 0; side < 2; ++side) {
        const int32_t spread = side == 0 ? 0 : kStereoSpread;
        for (size_t i = 0; i < 8; ++i) {
            combs_[side][i].line.allocate(scaledLength(kCombTunings[i] + spread, rateHz_, y));
            combs_[side][i].store = 0;
        }
        for (size_t i = 0; i < 4; ++i) {
            allPasses_[side][i].line.allocate(
                scaledLength(kAllPassTunings[i] + spread, rateHz_, y));
            allPasses_[side][i].gain = toQ24(kAllPassFeedback);
        }
    }
    // Each comb's feedback from its tuning, the same on both sides. The combs grow with the
    // time asked for (y), so their passes grow too: y enters the exponent, or the tail would
    // last y times longer than the time table says (25 s instead of 6 for Hall 2 at 127). The
    // damping low-pass takes its share of every pass; the loop gain leaves it room so that
    // the broadband tail still lasts the time asked for.
    constexpr double kDampingShare = 1.2;
    for (size_t i = 0; i < 8; ++i) {
        const int32_t g = toQ24(
            std::pow(10.0, -3.0 * kCombTunings[i] * y / (kDampingShare * decaySeconds_ * 44100.0)));
        combs_[0][i].feedback = combs_[1][i].feedback = g;
    }
    damp_ = toQ24(kDamping);
    damp1_ = toQ24(1.0 - kDamping);
    wet1_ = toQ24(0.75);
    wet2_ = toQ24(0.25);
}

void Reverb::initPlate(const ReverbParams& p) {
    const double seconds = reverbSeconds(p.time);
    const double size = plateSize(seconds);
    inputGain_ = (std::clamp(p.level, 0, 127) / 127.0) * 0.25;
    bandwidth_ = OnePole{toQ24(0.9995), 0};
    for (size_t i = 0; i < diffusers_.size(); ++i) {
        diffusers_[i].line.allocate(plateLength(kDiffuserLengths[i], rateHz_, 1.0));
        diffusers_[i].gain = toQ24(kDiffuserGains[i]);
    }
    const double excursion = kPlateExcursion * rateHz_ / kPlateRate;
    excursionQ8_ = static_cast<int32_t>(excursion * 256.0);
    for (size_t s = 0; s < 2; ++s) {
        TankHalf& t = tank_[s];
        t.modulatedLength = plateLength(kModulatedLengths[s], rateHz_, size);
        t.modulated.allocate(t.modulatedLength + static_cast<int32_t>(excursion) + 2);
        t.delay1.allocate(plateLength(kDelay1Lengths[s], rateHz_, size));
        t.allPass.line.allocate(plateLength(kAllPassLengths[s], rateHz_, size));
        t.allPass.gain = toQ24(0.5);
        t.delay2.allocate(plateLength(kDelay2Lengths[s], rateHz_, size));
        t.damping = 0;
        for (size_t i = 0; i < 7; ++i) taps_[s][i] = plateLength(kPlateTaps[s][i], rateHz_, size);
    }
    decayDiffusion1_ = toQ24(0.7);
    // Dattorro's decay: the tank's size, which grows with the time asked for, makes the tail
    // longer (1.3 s at time 32, 1.8 s at 64, 3.9 s at 127). The time asked for bounds it.
    decaySeconds_ = seconds;
    decay_ = toQ24(kPlateDecay);
    plateOutGain_ = toQ24(0.6);
    lfoPhase_ = 0;
    lfoStep_ = static_cast<uint32_t>(1.0 / rateHz_ * 4294967296.0);
}

void Reverb::initDelay(const ReverbParams& p) {
    const int32_t d = static_cast<int32_t>(std::clamp(p.time, 0, 127) * 3.75 * rateHz_ / 1000.0);
    for (DelayLine& line : echo_) line.allocate(std::max(d, 1));
    echoGain_ = toQ24(std::clamp(p.level, 0, 127) * 1.82 / 127.0);
    echoFeedback_ = toQ24(std::sqrt(std::clamp(p.delayFeedback, 0, 127) / 127.0) * 0.98);
}

void Reverb::initStandard(const ReverbParams& p) {
    const double s = kSize[characterIndex(p.character)];
    for (size_t side = 0; side < 2; ++side) {
        const int32_t spread = side == 0 ? 0 : 2 * kStereoSpread;
        StandardSide& st = standard_[side];
        st.comb1.allocate(scaledLength(kStandardLengths[0] + spread, rateHz_, s));
        st.comb2.allocate(scaledLength(kStandardLengths[1] + spread, rateHz_, s));
        st.ap1.line.allocate(scaledLength(kStandardLengths[2] + spread, rateHz_, s));
        st.ap2.line.allocate(scaledLength(kStandardLengths[3] + spread, rateHz_, s));
        st.ap1.gain = toQ24(0.45);
        st.ap2.gain = toQ24(0.55);
        st.store1 = st.store2 = st.input = 0;
    }
    stdLevel_ =
        toQ24((2.0 * std::clamp(p.level, 0, 127) / 127.0) * kGain[characterIndex(p.character)]);
}

void Reverb::clear() {
    preDelay_.clear();
    for (OnePole& f : preFilter_) f.y = 0;
    for (auto& side : combs_)
        for (auto& c : side) {
            c.line.clear();
            c.store = 0;
        }
    for (auto& side : allPasses_)
        for (auto& a : side) a.line.clear();
    for (auto& d : diffusers_) d.line.clear();
    for (auto& t : tank_) {
        t.modulated.clear();
        t.delay1.clear();
        t.allPass.line.clear();
        t.delay2.clear();
        t.damping = 0;
    }
    bandwidth_.y = 0;
    for (auto& e : echo_) e.clear();
    for (auto& st : standard_) {
        st.comb1.clear();
        st.comb2.clear();
        st.ap1.line.clear();
        st.ap2.line.clear();
        st.store1 = st.store2 = st.input = 0;
    }
}

void Reverb::process(StereoView<int32_t> bus, StereoView<int64_t> out, RenderWorkers* helpers) {
    const int frames = bus.frames();
    if (kind_ != ReverbKind::None && preFilterOn_) {
        for (int i = 0; i < frames; ++i) {
            bus[2 * i] = preFilter_[0].run(bus[2 * i]);
            bus[2 * i + 1] = preFilter_[1].run(bus[2 * i + 1]);
        }
    }
    switch (kind_) {
        case ReverbKind::RoomHall:
            processRoomHall(bus, out, helpers);
            break;
        case ReverbKind::Plate:
            processPlate(bus, out);
            break;
        case ReverbKind::Delay:
            processDelay(bus, out, false);
            break;
        case ReverbKind::PanningDelay:
            processDelay(bus, out, true);
            break;
        case ReverbKind::Standard:
            processStandard(bus, out);
            break;
        case ReverbKind::None:
            break;
    }
    std::ranges::fill(bus.span(), 0);
}

namespace {

// Below this many frames a room or hall stays on one thread: handing the right side over
// would cost about as much as it saves.
constexpr int kShareFrames = 256;

}  // namespace

void Reverb::processRoomHall(StereoView<const int32_t> bus, StereoView<int64_t> out,
                             RenderWorkers* helpers) {
    CombBank bank;
    bank.damp = damp_;
    bank.damp1 = damp1_;
    for (size_t c = 0; c < size_t(CombBank::kCombs); ++c) {
        Comb& comb = combs_[c / 8][c % 8];
        bank.line[c] = comb.line.buf.data();
        bank.size[c] = comb.line.size;
        bank.index[c] = comb.line.index;
        bank.store[c] = comb.store;
        bank.feedback[c] = comb.feedback;
    }
    const bool share = helpers != nullptr && helpers->helpers() > 0;
    for (int done = 0; done < bus.frames();) {
        const int frames = std::min(bus.frames() - done, int(roomInput_.size()));
        for (int i = 0; i < frames; ++i) {
            const int f = done + i;
            roomInput_[size_t(i)] =
                preDelay_.exchange(saturate32(int64_t(bus[2 * f]) + bus[2 * f + 1]));
        }
        if (share && frames >= kShareFrames) {
            // Worker 0 runs the left side, worker 1 the right; any further helper idles.
            class Sides final : public RenderWorkers::Task {
              public:
                Sides(Reverb& reverb, CombBank& bank, int frames)
                    : reverb_(reverb), bank_(bank), frames_(frames) {}
                void run(int worker) override {
                    if (worker < 2)
                        reverb_.runRoomSides(
                            bank_, worker == 0 ? CombSides::Left : CombSides::Right, frames_);
                }

              private:
                Reverb& reverb_;
                CombBank& bank_;
                int frames_;
            } sides(*this, bank, frames);
            helpers->run(sides);
        } else {
            runRoomSides(bank, CombSides::Both, frames);
        }
        kernels_.wetMix(roomWet_[0].data(), roomWet_[1].data(), frames, wet1_, wet2_,
                        out.data() + 2 * done);
        done += frames;
    }
    for (size_t c = 0; c < size_t(CombBank::kCombs); ++c) {
        Comb& comb = combs_[c / 8][c % 8];
        comb.line.index = bank.index[c];
        comb.store = bank.store[c];
    }
}

void Reverb::runRoomSides(CombBank& bank, CombSides sides, int frames) {
    int32_t shortest = kCombStretch;
    for (int32_t size : bank.size) shortest = std::min(shortest, size);
    for (const auto& side : allPasses_)
        for (const AllPass& a : side) shortest = std::min(shortest, a.line.size);
    const size_t first = sides == CombSides::Right ? 1 : 0, end = sides == CombSides::Left ? 1 : 2;
    // Every line is at least 11 long (a prime of at least 10), so each stretch moves on.
    for (int start = 0; start < frames;) {
        const int n = std::min(frames - start, int(shortest));
        kernels_.combs(bank, roomInput_.data() + start, n,
                       {roomWet_[0].data() + start, roomWet_[1].data() + start}, sides);
        for (size_t side = first; side < end; ++side)
            for (AllPass& a : allPasses_[side])
                kernels_.allPass(a.line.buf.data(), a.line.size, a.line.index, a.gain,
                                 roomWet_[side].data() + start, n);
        start += n;
    }
}

void Reverb::processPlate(StereoView<const int32_t> bus, StereoView<int64_t> out) {
    const int frames = bus.frames();
    const auto& sine = sineTableQ24();
    for (int i = 0; i < frames; ++i) {
        const int32_t in = static_cast<int32_t>((int64_t(bus[2 * i]) + bus[2 * i + 1]) / 2);
        int32_t x = bandwidth_.run(preDelay_.exchange(in));
        for (AllPass& a : diffusers_) x = a.run(x);

        // The two modulated all-passes swing in opposite directions.
        lfoPhase_ += lfoStep_;
        const int32_t swing = sine[lfoPhase_ >> 22];
        std::array<int32_t, 2> feed = {tank_[1].delay2.front(), tank_[0].delay2.front()};
        for (size_t s = 0; s < 2; ++s) {
            TankHalf& t = tank_[s];
            const int32_t v = x + mulQ24(feed[s], decay_);
            // Read the modulated line between two samples (8 fraction bits).
            const int32_t m = (excursionQ8_ + mulQ24(s == 0 ? swing : -swing, excursionQ8_)) / 2;
            const int32_t age = t.modulatedLength + (m >> 8);
            const int32_t frac = m & 0xFF;
            const int32_t a0 = t.modulated.tap(age), a1 = t.modulated.tap(age + 1);
            const int32_t b = a0 + static_cast<int32_t>((int64_t(a1 - a0) * frac) >> 8);
            const int32_t w = v + mulQ24(b, decayDiffusion1_);
            t.modulated.push(w);
            int32_t y = b - mulQ24(w, decayDiffusion1_);
            y = t.delay1.exchange(y);
            t.damping = mulQ24(y, toQ24(0.9955)) + mulQ24(t.damping, toQ24(0.0045));
            y = mulQ24(t.damping, decay_);
            y = t.allPass.run(y);
            t.delay2.exchange(y);
        }
        const TankHalf &l = tank_[0], &r = tank_[1];
        const auto& tl = taps_[0];
        const auto& tr = taps_[1];
        const int64_t left = int64_t(r.delay1.tap(tl[0])) + r.delay1.tap(tl[1]) -
                             r.allPass.line.tap(tl[2]) + r.delay2.tap(tl[3]) - l.delay1.tap(tl[4]) -
                             l.allPass.line.tap(tl[5]) - l.delay2.tap(tl[6]);
        const int64_t right = int64_t(l.delay1.tap(tr[0])) + l.delay1.tap(tr[1]) -
                              l.allPass.line.tap(tr[2]) + l.delay2.tap(tr[3]) -
                              r.delay1.tap(tr[4]) - r.allPass.line.tap(tr[5]) - r.delay2.tap(tr[6]);
        out[2 * i] += mulQ24(saturate32(left), plateOutGain_);
        out[2 * i + 1] += mulQ24(saturate32(right), plateOutGain_);
    }
}

void Reverb::processDelay(StereoView<const int32_t> bus, StereoView<int64_t> out, bool panning) {
    const int frames = bus.frames();
    DelayLine &left = echo_[0], &right = echo_[1];
    for (int i = 0; i < frames; ++i) {
        const int32_t dl = left.front(), dr = right.front();
        const int32_t pl = bus[2 * i];
        if (panning) {
            left.push(pl + mulQ24(dr, echoFeedback_));
            right.push(bus[2 * i + 1] + mulQ24(dl, echoFeedback_));
            out[2 * i] += mulQ24(dr, echoGain_);
            out[2 * i + 1] += mulQ24(dl, echoGain_);
        } else {
            left.push(pl + mulQ24(dl, echoFeedback_));
            right.push(bus[2 * i + 1] + mulQ24(dr, echoFeedback_));
            out[2 * i] += mulQ24(dl, echoGain_);
            out[2 * i + 1] += mulQ24(dr, echoGain_);
        }
    }
}

void Reverb::processStandard(StereoView<const int32_t> bus, StereoView<int64_t> out) {
    const int frames = bus.frames();
    const int32_t inGain = toQ24(0.125), inLpf = toQ24(0.9), damp = toQ24(0.12),
                  damp1 = toQ24(0.88);
    const int32_t fb1 = toQ24(0.7), fb2 = toQ24(0.7), mix = toQ24(0.5), cross = toQ24(0.4),
                  out1 = toQ24(0.48);
    for (int i = 0; i < frames; ++i) {
        std::array<int32_t, 2> y{};
        for (size_t s = 0; s < 2; ++s) {
            StandardSide& st = standard_[s];
            const int32_t x = mulQ24(bus[2 * i + s], inGain);
            st.input = mulQ24(x, inLpf) + mulQ24(st.input, kQ24One - inLpf);
            const int32_t o1 = st.comb1.front(), o2 = st.comb2.front();
            st.store1 = mulQ24(o1, damp1) + mulQ24(st.store1, damp);
            st.store2 = mulQ24(o2, damp1) + mulQ24(st.store2, damp);
            st.comb1.push(st.input + mulQ24(st.store1, fb1));
            st.comb2.push(st.input + mulQ24(st.store2, fb2));
            y[s] = st.ap2.run(st.ap1.run(mulQ24(int64_t(o1) + o2, mix)));
        }
        const int32_t l = y[0] + mulQ24(y[1], cross), r = y[1] + mulQ24(y[0], cross);
        out[2 * i] += mulQ24(mulQ24(l, out1), stdLevel_);
        out[2 * i + 1] += mulQ24(mulQ24(r, out1), stdLevel_);
    }
}

}  // namespace svt::effects
