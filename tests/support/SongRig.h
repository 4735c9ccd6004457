#pragma once
// One engine over a font of the test's own, playing songs into memory: for the tests of what
// an engine makes of a song (they link the app library).

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "app/Engine.h"
#include "support/OfflineSink.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt::test {

// Reverb and chorus off: what is heard is the voices alone.
inline EngineSettings drySettings() {
    EngineSettings settings;
    settings.reverbMode = 0;
    settings.chorusMode = 0;
    return settings;
}

struct SongRig {
    TempDir dir;
    std::vector<uint8_t> font;
    Engine engine;
    StereoRecorder recorder;

    explicit SongRig(std::vector<uint8_t> fontBytes = sineFont(),
                     const EngineSettings& settings = drySettings())
        : font(std::move(fontBytes)), engine(settings), recorder(settings.outputRateHz) {
        engine.fonts().registerBytes("test.sf2", font);
        engine.banks().indexFonts();
        engine.player().setSink(&recorder);
    }
    // Plays the song to its end into an emptied recording.
    void play(const SmfBuilder& song, const std::string& name = "song.mid") {
        recorder.samples.clear();
        EXPECT_EQ(engine.playFile(dir.write(name, song.build())), CmdTuneEnd)
            << engine.player().lastError();
    }
    // One side of the recording: 0 left, 1 right.
    std::vector<double> side(int which) const {
        std::vector<double> x;
        for (size_t i = size_t(which); i < recorder.samples.size(); i += 2)
            x.push_back(recorder.samples[i]);
        return x;
    }
};

// The stretch from `from` to `to` seconds of a signal at `rateHz`.
inline std::span<const double> between(const std::vector<double>& x, double from, double to,
                                       int rateHz = 44100) {
    const size_t a = std::min(x.size(), size_t(from * rateHz));
    const size_t b = std::min(x.size(), size_t(to * rateHz));
    return std::span<const double>(x.data() + a, b - a);
}

}  // namespace svt::test
