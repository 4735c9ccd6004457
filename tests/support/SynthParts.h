#pragma once
// The channel controller on a bench of its own, without an instrument bank: channels whose
// requests to the voices go nowhere.

#include "synth/ChannelController.h"

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

struct SynthParts {
    EngineSettings settings;
    IgnoredVoices ignored;
    ChannelController channels{settings, ignored};

    SynthParts() { channels.resetChannels(); }
};

}  // namespace svt::test
