#include "effects/ChorusDelay.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "effects/Reverb.h"

namespace svt::effects {

namespace {

// Linear between the anchors (index, value); the anchors ascend and cover 0..127.
template <size_t N>
double interpolate(const std::array<std::pair<int, double>, N>& anchors, int i) {
    i = std::clamp(i, anchors.front().first, anchors.back().first);
    for (size_t k = 0; k + 1 < N; ++k) {
        const auto [x0, y0] = anchors[k];
        const auto [x1, y1] = anchors[k + 1];
        if (i <= x1) return y0 + (y1 - y0) * double(i - x0) / double(x1 - x0);
    }
    return anchors.back().second;
}

constexpr double kMaxChorusDelayMs = 25.0;

}  // namespace

double chorusDelayMs(int delay) {
    static constexpr std::array<std::pair<int, double>, 7> kAnchors = {{{0, 0.0},
                                                                        {1, 0.079},
                                                                        {16, 1.26},
                                                                        {32, 2.52},
                                                                        {64, 5.039},
                                                                        {96, 7.559},
                                                                        {127, kMaxChorusDelayMs}}};
    return interpolate(kAnchors, delay);
}

ChorusParams chorusMacro(int macro) {
    // pre-filter, level, feedback, delay, rate, depth, send to reverb, send to delay.
    static constexpr std::array<ChorusParams, 8> kMacros = {{{0, 64, 0, 112, 3, 5, 0, 0},
                                                             {0, 64, 5, 80, 9, 19, 0, 0},
                                                             {0, 64, 8, 80, 3, 19, 0, 0},
                                                             {0, 64, 16, 64, 9, 16, 0, 0},
                                                             {0, 64, 64, 127, 2, 24, 0, 0},
                                                             {0, 64, 112, 127, 1, 5, 0, 0},
                                                             {0, 64, 0, 127, 0, 127, 0, 0},
                                                             {0, 64, 80, 127, 0, 127, 0, 0}}};
    return kMacros[size_t(std::clamp(macro, 0, 7))];
}

GsDelaySettings delayMacro(int macro) {
    static constexpr std::array<GsDelaySettings, 8> kMacros = {
        {{0, 97, 1, 1, 127, 0, 0, 64, 80, 0},
         {0, 106, 1, 1, 127, 0, 0, 64, 80, 0},
         {0, 115, 1, 1, 127, 0, 0, 64, 72, 0},
         {0, 83, 1, 1, 127, 0, 0, 64, 72, 0},
         {0, 105, 12, 24, 0, 125, 60, 64, 74, 0},
         {0, 109, 12, 24, 0, 125, 60, 64, 71, 0},
         {0, 115, 12, 24, 0, 120, 64, 64, 73, 0},
         {0, 93, 12, 24, 0, 120, 64, 64, 72, 0}}};
    return kMacros[size_t(std::clamp(macro, 0, 7))];
}

double delayTimeMs(int value) {
    // Finer steps for short times: 0.1 ms up to 2 ms, ... 50 ms steps up to a second.
    static constexpr std::array<std::pair<int, double>, 10> kAnchors = {{{0, 0.0},
                                                                         {20, 2.0},
                                                                         {35, 5.0},
                                                                         {45, 10.0},
                                                                         {55, 20.0},
                                                                         {70, 50.0},
                                                                         {80, 100.0},
                                                                         {90, 200.0},
                                                                         {105, 500.0},
                                                                         {115, 1000.0}}};
    return interpolate(kAnchors, std::clamp(value, 0, 115));
}

DelayParams deriveDelay(const GsDelaySettings& s, int rateHz) {
    DelayParams p;
    p.preLpf = std::clamp(s.preLpf, 0, 7);
    const double centreMs = delayTimeMs(s.timeCentre);
    p.centreSamples = static_cast<int32_t>(centreMs * rateHz / 1000.0);
    p.leftSamples =
        static_cast<int32_t>(centreMs * std::max(s.ratioLeft, 1) / 24.0 * rateHz / 1000.0);
    p.rightSamples =
        static_cast<int32_t>(centreMs * std::max(s.ratioRight, 1) / 24.0 * rateHz / 1000.0);
    p.centreLevel = s.levelCentre * s.level / 16129.0;
    p.leftLevel = s.levelLeft * s.level / 16129.0;
    p.rightLevel = s.levelRight * s.level / 16129.0;
    p.feedback = (s.feedback - 64) * 0.01526;
    p.sendReverb = s.sendReverb * 0.00787;
    if (s.levelLeft != 0 || (s.levelRight != 0 && p.type == 0)) p.type = 1;
    return p;
}

void Chorus::prepare(int rateHz) {
    rateHz_ = std::max(rateHz, 1);
    const int32_t longest =
        static_cast<int32_t>(kMaxChorusDelayMs * rateHz_ / 1000.0) + 128 * rateHz_ / 3200 + 4;
    for (DelayLine& l : lines_) l.prepare(longest);
}

void Chorus::initialise(const ChorusParams& p, double reverbInputGain, bool preFilter) {
    const double hz = std::clamp(p.rate, 0, 127) * 0.122;
    lfos_[0].set(hz, rateHz_, 0.0);
    lfos_[1].set(hz, rateHz_, 90.0);
    int32_t pd = static_cast<int32_t>(chorusDelayMs(p.delay) * rateHz_ / 1000.0);
    const int32_t dp =
        static_cast<int32_t>((std::clamp(p.depth, 0, 127) + 1) * int64_t(rateHz_) / 3200);
    pd = std::max(pd - dp / 2, 1);
    preDelay_ = pd;
    depth_ = dp;
    for (DelayLine& l : lines_) l.allocate(dp + pd + 2);
    quietPushes_ = {dp + pd + 2, dp + pd + 2};
    previousOut_ = {0, 0};
    feedback_ = toQ24(std::clamp(p.feedback, 0, 127) * 0.763 / 100.0);
    level_ = toQ24(std::clamp(p.level, 0, 127) / 127.0 * 1.7);
    sendReverbBase_ = std::clamp(p.sendReverb, 0, 127) * 0.787 / 100.0;
    sendReverb_ = toQ24(sendReverbBase_ * reverbInputGain);
    sendDelay_ = toQ24(std::clamp(p.sendDelay, 0, 127) * 0.787 / 100.0);
    preFilterOn_ = preFilter && p.preLpf != 0;
    for (OnePole& f : preFilter_) f = OnePole{toQ24(preFilterCoefficient(p.preLpf, rateHz_)), 0};
}

void Chorus::clear() {
    for (DelayLine& l : lines_) l.clear();
    quietPushes_ = {lines_[0].size, lines_[1].size};
    previousOut_ = {0, 0};
    for (OnePole& f : preFilter_) f.y = 0;
}

bool Chorus::silentWith(StereoView<int32_t> bus) const {
    for (size_t s = 0; s < 2; ++s)
        if (quietPushes_[s] < lines_[s].size || previousOut_[s] != 0 ||
            (preFilterOn_ && preFilter_[s].y != 0))
            return false;
    return std::ranges::all_of(bus.span(), [](int32_t v) { return v == 0; });
}

void Chorus::skip(int frames) {
    for (size_t s = 0; s < 2; ++s) {
        DelayLine& line = lines_[s];
        Lfo& lfo = lfos_[s];
        const int32_t size = line.size;
        lfo.phase += lfo.step * uint32_t(frames);
        quietPushes_[s] += frames;
        if (size <= 0) continue;
        line.index = int32_t((int64_t(line.index) + frames) % size);
    }
}

void Chorus::process(StereoView<int32_t> bus, StereoView<int64_t> out,
                     StereoView<int32_t> reverbBus, StereoView<int32_t> delayBus) {
    const int frames = bus.frames();
    // Chorus and delay ring on as long as the reverb, mostly with nothing sent to them.
    if (skipsSilence_ && frames > 0 && silentWith(bus)) {
        skip(frames);
        return;
    }
    for (size_t s = 0; s < 2; ++s) {
        DelayLine& line = lines_[s];
        Lfo& lfo = lfos_[s];
        if (line.size <= 0) continue;
        int64_t quiet = quietPushes_[s];
        for (int i = 0; i < frames; ++i) {
            const int at = 2 * i + int(s);
            const int32_t in = preFilterOn_ ? preFilter_[s].run(bus[at]) : bus[at];
            // The LFO swings 0..256 in Q24, so m is the delay beyond pd in 1/65536 samples.
            const int64_t v = (int64_t(lfo.next()) + kQ24One) << 7;
            const int64_t m = (v * depth_) >> 16;
            const int32_t y = line.tapBetween(int32_t(m >> 16) + preDelay_, uint32_t(m));
            previousOut_[s] = y;
            const int32_t pushed = saturate32(int64_t(in) + mulQ24(y, feedback_));
            line.push(pushed);
            quiet = pushed == 0 ? quiet + 1 : 0;
            const int32_t u = mulQ24(y, level_);
            out[at] += u;
            if (sendReverb_) reverbBus[at] += mulQ24(u, sendReverb_);
            if (sendDelay_) delayBus[at] += mulQ24(u, sendDelay_);
        }
        quietPushes_[s] = quiet;
    }
    std::ranges::fill(bus.span(), 0);
}

void GsDelay::prepare(int rateHz) {
    rateHz_ = std::max(rateHz, 1);
    // The longest side tap: a second times the largest ratio (127 / 24).
    const int32_t longest = static_cast<int32_t>(1000.0 * 127.0 / 24.0 * rateHz_ / 1000.0) + 2;
    for (DelayLine& l : lines_) l.prepare(longest);
}

void GsDelay::initialise(const DelayParams& p, double reverbInputGain, bool preFilter) {
    type_ = p.type;
    centre_ = std::max(p.centreSamples, 1);
    left_ = std::max(p.leftSamples, 1);
    right_ = std::max(p.rightSamples, 1);
    const int32_t size = std::max({centre_, left_, right_}) + 1;
    for (DelayLine& l : lines_) l.allocate(size);
    quietPushes_ = size;
    centreLevel_ = toQ24(p.centreLevel * 3.25);
    leftLevel_ = toQ24(p.leftLevel * 3.25);
    rightLevel_ = toQ24(p.rightLevel * 3.25);
    feedback_ = toQ24(p.feedback);
    sendReverbBase_ = p.sendReverb;
    sendReverb_ = toQ24(p.sendReverb * reverbInputGain);
    preFilterOn_ = preFilter && p.preLpf != 0;
    for (OnePole& f : preFilter_) f = OnePole{toQ24(preFilterCoefficient(p.preLpf, rateHz_)), 0};
}

void GsDelay::clear() {
    for (DelayLine& l : lines_) l.clear();
    quietPushes_ = lines_[0].size;
    for (OnePole& f : preFilter_) f.y = 0;
}

void GsDelay::process(StereoView<int32_t> bus, StereoView<int64_t> out,
                      StereoView<int32_t> reverbBus) {
    const int frames = bus.frames();
    DelayLine &l = lines_[0], &r = lines_[1];
    // Lines that hold only silence and a silent bus: every tap reads 0 and 0 is written.
    if (skipsSilence_ && quietPushes_ >= l.size &&
        (!preFilterOn_ || (preFilter_[0].y == 0 && preFilter_[1].y == 0)) &&
        std::ranges::all_of(bus.span(), [](int32_t v) { return v == 0; })) {
        for (DelayLine* line : {&l, &r})
            if (line->size > 0) line->index = int32_t((int64_t(line->index) + frames) % line->size);
        quietPushes_ += frames;
        return;
    }
    int64_t quiet = quietPushes_;
    for (int i = 0; i < frames; ++i) {
        int32_t inL = bus[2 * i], inR = bus[2 * i + 1];
        if (preFilterOn_) {
            inL = preFilter_[0].run(inL);
            inR = preFilter_[1].run(inR);
        }
        // Ages are counted before this frame is written: the newest value is 1 old.
        const int32_t cL = l.tap(centre_), cR = r.tap(centre_);
        int32_t vL, vR;
        if (type_ == 0) {
            vL = mulQ24(cL, centreLevel_);
            vR = mulQ24(cR, centreLevel_);
        } else {
            vL =
                mulQ24(int64_t(l.tap(left_)) + r.tap(left_), leftLevel_) + mulQ24(cL, centreLevel_);
            vR = mulQ24(int64_t(l.tap(right_)) + r.tap(right_), rightLevel_) +
                 mulQ24(cR, centreLevel_);
        }
        const int32_t pushedL = saturate32(int64_t(inL) + mulQ24(cL, feedback_));
        const int32_t pushedR = saturate32(int64_t(inR) + mulQ24(cR, feedback_));
        l.push(pushedL);
        r.push(pushedR);
        quiet = (pushedL | pushedR) == 0 ? quiet + 1 : 0;
        out[2 * i] += vL;
        out[2 * i + 1] += vR;
        if (sendReverb_) {
            reverbBus[2 * i] += mulQ24(vL, sendReverb_);
            reverbBus[2 * i + 1] += mulQ24(vR, sendReverb_);
        }
    }
    quietPushes_ = quiet;
    std::ranges::fill(bus.span(), 0);
}

}  // namespace svt::effects
