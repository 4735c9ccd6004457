// One song rendered by several threads against the same song on one: every sample and every
// voice notice must be the same, in each instruction set. The song sends its channels into
// buffers of their own (reverb, chorus, a drum key's send), glides, bends and sustains, so
// that the helpers' copies of each buffer are summed in.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "app/Engine.h"
#include "support/OfflineSink.h"
#include "support/SimdForms.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "synth/Interpolation.h"

namespace svt::test {
namespace {

constexpr const char* kFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Keeps every notice of a voice's status.
class NoteNotices final : public ControlInterface {
  public:
    std::vector<PlayerNotice> notes;
    int read(int32_t&) override { return CmdNone; }
    void event(const PlayerNotice& n) override {
        if (n.code == NoticeNote) notes.push_back(n);
    }
    bool traces() const override { return false; }
};

SmfBuilder busySong() {
    SmfBuilder song(1, 480);
    auto& conductor = song.track();
    conductor.tempo(0, 400000).endOfTrack(0);
    auto& t = song.track();
    // Strings with chorus, a bass with more reverb, a gliding lead with vibrato, a piano on
    // the defaults (the main block) and drums whose snare has its own reverb send.
    t.program(0, 0, 48).controller(0, 0, 93, 90);
    t.program(0, 1, 33).controller(0, 1, 91, 110);
    t.program(0, 2, 81).controller(0, 2, 5, 30).controller(0, 2, 65, 127).controller(0, 2, 1, 70);
    t.program(0, 3, 0).controller(0, 3, 64, 127);
    t.controller(0, 9, 99, 0x1D).controller(0, 9, 98, 38).controller(0, 9, 6, 120);
    for (int bar = 0; bar < 3; ++bar) {
        for (int step = 0; step < 8; ++step) {
            const int root = 48 + (bar * 5 + step) % 12;
            for (int k : {0, 4, 7, 11}) t.noteOn(0, 0, root + 12 + k, 70);
            t.noteOn(0, 1, root - 12, 100);
            t.noteOn(0, 2, root + 24 + step % 3, 90);
            t.pitchBend(0, 2, 8192 + (step - 4) * 600);
            for (int k : {0, 3, 7}) t.noteOn(0, 3, root + 24 + k, 60 + step * 5);
            t.noteOn(0, 9, step % 2 ? 38 : 36, 110).noteOn(0, 9, 42, 80);
            for (int k : {0, 4, 7, 11}) t.noteOff(230, 0, root + 12 + k);
            t.noteOff(0, 1, root - 12).noteOff(0, 2, root + 24 + step % 3);
            for (int k : {0, 3, 7}) t.noteOff(0, 3, root + 24 + k);
            t.noteOff(0, 9, step % 2 ? 38 : 36).noteOff(0, 9, 42);
        }
        t.controller(0, 3, 64, bar % 2 ? 127 : 0);
    }
    t.endOfTrack(480);
    return song;
}

struct Render {
    std::vector<int32_t> samples;
    std::vector<PlayerNotice> notes;
    int64_t sharedStretches = 0;
};

Render render(const std::string& song, SimdLevel simd, int threads) {
    EngineSettings settings;
    settings.simd = simd;
    settings.renderThreads = threads;
    Engine engine(settings);
    EXPECT_TRUE(engine.loadSoundFont(kFont).ok());
    StereoRecorder sink;
    NoteNotices notices;
    engine.setControl(notices);
    engine.player().setSink(&sink);
    EXPECT_EQ(engine.playFile(song), CmdTuneEnd) << engine.player().lastError();
    return {std::move(sink.samples), std::move(notices.notes),
            engine.synthesizer().sharedStretches()};
}

TEST(RenderThreads, SongSoundsAlikeOnAnyNumberOfThreadsInEveryForm) {
    if (!std::filesystem::exists(kFont))
        GTEST_SKIP() << kFont << " is not installed (Debian package timgm6mb-soundfont)";
    TempDir dir;
    const std::string song = dir.write("busy.mid", busySong().build());
    // Every form on one thread gives the scalar form's samples (SimdForms tests that), so each
    // form on several threads is held against the scalar form on one.
    const Render one = render(song, SimdLevel::Scalar, 1);
    ASSERT_GT(one.notes.size(), 200u) << "the song keeps many voices busy";
    std::vector<SimdLevel> forms = vectorFormsHere(simdLevelAvailable, "threaded rendering");
#if defined(__SANITIZE_THREAD__)
    // The thread sanitizer looks for races in the hand-over between threads, which is the same
    // in every form, and renders some twenty times slower: the scalar form is enough.
    forms.clear();
#endif
    forms.insert(forms.begin(), SimdLevel::Scalar);
    for (size_t i = 0; i < forms.size(); ++i) {
        // Two, three and four threads by turns: one helper, helpers taking odd shares, and
        // more threads than the cores of a small machine.
        const int threads = 2 + int(i % 3);
        SCOPED_TRACE(std::string(simdLevelName(forms[i])) + " on " + std::to_string(threads) +
                     " threads");
        const Render many = render(song, forms[i], threads);
        EXPECT_GT(many.sharedStretches, 30) << "the helpers took their part";
        ASSERT_EQ(many.samples.size(), one.samples.size());
        const auto [a, b] =
            std::mismatch(one.samples.begin(), one.samples.end(), many.samples.begin());
        EXPECT_TRUE(a == one.samples.end())
            << "first differs at frame " << (a - one.samples.begin()) / 2;
        ASSERT_EQ(many.notes.size(), one.notes.size());
        for (size_t n = 0; n < one.notes.size(); ++n)
            ASSERT_TRUE(std::equal(std::begin(one.notes[n].args), std::end(one.notes[n].args),
                                   std::begin(many.notes[n].args)))
                << "voice notice " << n << " differs";
    }
}

}  // namespace
}  // namespace svt::test
