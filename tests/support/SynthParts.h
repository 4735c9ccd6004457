#pragma once
// The synthesizer's parts on a bench of their own, without an instrument bank: channels whose
// requests to the voices go nowhere, a voice shaper and mixer over them, and regions made in
// the test from a few samples.

#include <cstdint>
#include <vector>

#include "instruments/Tables.h"
#include "synth/ChannelController.h"
#include "synth/VoiceMixer.h"
#include "synth/VoiceShaper.h"

namespace svt::test {

class IgnoredVoices final : public ChannelVoices {
  public:
    void retune(int) override {}
    void restartVibrato(int) override {}
    void retemper(int) override {}
    void repress(int, int) override {}
    void relevel(int) override {}
    void relevelAll() override {}
    void refilter(int) override {}
    void retuneAndRelevel(int) override {}
    void repan(int, int, bool) override {}
    void releaseSustained(int) override {}
    void holdSounding(int) override {}
    void allNotesOff(int, bool) override {}
    void allSoundsOff(int) override {}
    void stopGlides(int) override {}
};

// A region over `pcm` (kept by the caller, with room for the padding the resampler reads):
// recorded at 44.1 kHz with its root at A4, serving every key, without an envelope.
inline SampleRegion plainRegion(std::vector<int16_t>& pcm, bool looped) {
    const size_t frames = pcm.size();
    pcm.resize(frames + 3, 0);
    SampleRegion r;
    r.pcm = pcm.data();
    r.endPos = uint32_t(frames) << 12;
    r.loopStartPos = looped ? 0 : r.endPos - 4096;
    r.loopEndPos = r.endPos;
    r.sampleRateHz = 44100;
    r.rootFreq = noteFrequencyMilliHz(69);
    r.lowKeyFreq = 0;
    r.highKeyFreq = INT32_MAX;
    r.modeFlags = looped ? kRegionLooping : 0;
    return r;
}

struct SynthParts {
    EngineSettings settings;
    IgnoredVoices ignored;
    ChannelController channels{settings, ignored};
    PlayerControls controls;
    EffectSends sends{settings, channels};
    VoiceShaper shaper{settings, channels, sends, controls};
    VoiceMixer mixer{settings, shaper};

    SynthParts() { channels.resetChannels(); }
    // A voice of `r` sounding A4 at full velocity on channel `c`.
    Voice voice(const SampleRegion& r, int c = 0) {
        Voice v;
        shaper.start(v, r, c, 69, 127, noteFrequencyMilliHz(69));
        return v;
    }
};

}  // namespace svt::test
