#pragma once
// The GS chorus (two LFO-swept delay lines with feedback) and the GS delay (three taps per
// side with feedback), both with sends into the reverb and, for the chorus, into the delay.
// Per-sample work is Q24 integer arithmetic; the parameters are converted in initialise().

#include <array>
#include <cstdint>

#include "base/StereoView.h"
#include "effects/FixedPoint.h"
#include "effects/Lfo.h"

namespace svt::effects {

struct ChorusParams {
    int preLpf = 0;
    int level = 64;
    int feedback = 8;
    int delay = 80;
    int rate = 3;
    int depth = 19;
    int sendReverb = 0;
    int sendDelay = 0;
    friend bool operator==(const ChorusParams&, const ChorusParams&) = default;
};

// The GS chorus macros 0..7 (Chorus 1 .. Short Delay (FB)).
ChorusParams chorusMacro(int macro);
// Milliseconds of pre-delay for a chorus delay value 0..127.
double chorusDelayMs(int delay);

// The GS delay parameters as they arrive.
struct GsDelaySettings {
    int preLpf = 0;
    int timeCentre = 97;
    int ratioLeft = 1;
    int ratioRight = 1;
    int levelCentre = 127;
    int levelLeft = 0;
    int levelRight = 0;
    int level = 64;
    int feedback = 80;
    int sendReverb = 0;
    friend bool operator==(const GsDelaySettings&, const GsDelaySettings&) = default;
};

GsDelaySettings delayMacro(int macro);
// Milliseconds of the centre tap for a delay-time value (0..115).
double delayTimeMs(int value);

// What the delay runs with, derived from the GS settings at a rate.
struct DelayParams {
    int type = 0;  // 0 centre tap only, 1 (and 2) three taps
    int preLpf = 0;
    int32_t centreSamples = 0, leftSamples = 0, rightSamples = 0;
    double centreLevel = 0.0, leftLevel = 0.0, rightLevel = 0.0;
    double feedback = 0.0;
    double sendReverb = 0.0;
};

DelayParams deriveDelay(const GsDelaySettings& s, int rateHz);

class Chorus {
  public:
    void prepare(int rateHz);
    // `preFilter`: the GS/XG reverb modes honour the pre-filter setting.
    void initialise(const ChorusParams& p, double reverbInputGain, bool preFilter);
    // The reverb's input gain changed: the send into it follows.
    void setReverbInputGain(double gain) { sendReverb_ = toQ24(sendReverbBase_ * gain); }
    int32_t lineLength() const { return lines_[0].size; }
    int32_t preDelaySamples() const { return preDelay_; }
    int32_t depthSamples() const { return depth_; }

    // Reads and clears the frames of `bus`, adds the chorus into as many frames of `out`, and
    // its sends into the reverb and delay buses.
    void process(StereoView<int32_t> bus, StereoView<int64_t> out, StereoView<int32_t> reverbBus,
                 StereoView<int32_t> delayBus);
    void clear();
    // A block that would add nothing (a silent bus into silent lines) only moves the chorus
    // on; off, every frame is computed (to compare the two).
    void setSkipsSilence(bool on) { skipsSilence_ = on; }

  private:
    // True when a block of `bus` would add nothing anywhere: the bus is silent and so are the
    // lines and the filters. skip() then moves the chorus on as process() would.
    bool silentWith(StereoView<int32_t> bus) const;
    void skip(int frames);

    int rateHz_ = 44100;
    std::array<DelayLine, 2> lines_{};
    // Values written into each line since its last one that was not 0: a line has heard
    // nothing but silence once this reaches its size.
    std::array<int64_t, 2> quietPushes_{};
    std::array<Lfo, 2> lfos_{};
    bool skipsSilence_ = true;
    std::array<int32_t, 2> previousOut_{};
    std::array<OnePole, 2> preFilter_{};
    bool preFilterOn_ = false;
    int32_t preDelay_ = 1, depth_ = 0;
    int32_t feedback_ = 0, level_ = 0, sendReverb_ = 0, sendDelay_ = 0;
    double sendReverbBase_ = 0.0;
};

class GsDelay {
  public:
    void prepare(int rateHz);
    void initialise(const DelayParams& p, double reverbInputGain, bool preFilter);
    void setReverbInputGain(double gain) { sendReverb_ = toQ24(sendReverbBase_ * gain); }
    // Reads and clears the frames of `bus`, adds the echoes into as many frames of `out` and
    // their send into the reverb bus.
    void process(StereoView<int32_t> bus, StereoView<int64_t> out, StereoView<int32_t> reverbBus);
    void clear();
    // As the chorus's.
    void setSkipsSilence(bool on) { skipsSilence_ = on; }

  private:
    int rateHz_ = 44100;
    std::array<DelayLine, 2> lines_{};
    // Frames since either line was last written a value other than 0 (as the chorus's).
    int64_t quietPushes_ = 0;
    bool skipsSilence_ = true;
    std::array<OnePole, 2> preFilter_{};
    bool preFilterOn_ = false;
    int type_ = 0;
    int32_t centre_ = 1, left_ = 1, right_ = 1;
    int32_t centreLevel_ = 0, leftLevel_ = 0, rightLevel_ = 0, feedback_ = 0, sendReverb_ = 0;
    double sendReverbBase_ = 0.0;
};

}  // namespace svt::effects
