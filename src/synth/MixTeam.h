#pragma once
// The voices of one stretch mixed by several threads. Each voice is resampled, shaped and
// mixed by one worker; the song's thread (worker 0) mixes into the stretch's own buffers, each
// helper into copies of those it needs, which are added in afterwards. The mix is integer
// arithmetic, so the sum is the same in any order: a song sounds bit for bit alike however
// many threads render it and whichever worker takes which voice. Voices that end while they
// mix are told of afterwards in slot order, as one thread mixing them in turn would tell them.
//
// Everything is made when the synthesizer is: a stretch allocates nothing and locks nothing.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/Constants.h"
#include "base/StereoView.h"
#include "song/EngineSettings.h"
#include "synth/RenderWorkers.h"
#include "synth/Voice.h"
#include "synth/VoiceAllocator.h"
#include "synth/VoiceMixer.h"
#include "synth/VoiceShaper.h"

namespace svt {

class MixTeam final : private RenderWorkers::Task {
  public:
    // Voice slots of the table, then the fade slots.
    static constexpr int kSlots = kMaxVoices + VoiceAllocator::kFadeSlots;

    // `main` is the synthesizer's own mixer, worker 0's; settings.renderThreads - 1 helpers
    // get mixers of their own.
    MixTeam(const EngineSettings& settings, VoiceShaper& shaper, VoiceMixer& main);
    ~MixTeam() override;

    // Where the voices' ends are told.
    void setListener(SynthesisListener* listener) { listener_ = listener; }
    int threads() const { return workers_.helpers() + 1; }
    // The helpers, for other work of the song's thread between stretches.
    RenderWorkers& workers() { return workers_; }
    // Stretches the helpers took part in.
    int64_t sharedStretches() const { return sharedStretches_; }

    // A stretch of `frames` frames: add() each voice with the buffer it mixes into (which the
    // caller has zeroed), skip() each voice freed unheard, then finish().
    void begin(int frames);
    void add(int slot, Voice& v, StereoView<int64_t> target);
    void skip(int slot, Voice& v);
    // Mixes what was added, on one thread when the stretch is too small to be worth sharing,
    // and tells the listener of the voices that ended, in slot order.
    void finish();

  private:
    // The buffers a stretch can mix into: the main block, a buffer per channel, the insertion
    // effect's and the drum keys' groups.
    static constexpr int kMaxTargets = 32;
    struct Job {
        Voice* voice;
        int64_t* target;  // the stretch's own buffer
        int16_t slot;
        int8_t copy;  // the helpers' copy of it
    };
    struct Told {
        bool pending = false;
        VoiceStatus status = VoiceStatus::Free;
        uint8_t channel = 0, note = 0, velocity = 0;
    };
    // Keeps what a worker's mixer tells of a voice for its slot's turn.
    class Recorder final : public SynthesisListener {
      public:
        Told* table = nullptr;
        int slot = 0;
        void voiceChanged(VoiceStatus status, int channel, int note, int velocity) override;
    };
    struct Helper {
        std::unique_ptr<VoiceMixer> mixer;
        // kMaxTargets blocks, left untouched until a stretch needs them.
        std::unique_ptr<int64_t[]> buffers;
        uint32_t used = 0;  // bit t: buffers of target t hold this stretch's voices
        Recorder recorder;
    };

    void run(int worker) override;
    int64_t* helperTarget(Helper& h, int target);

    const EngineSettings& settings_;
    VoiceMixer& main_;
    Recorder mainRecorder_;
    std::vector<Helper> helpers_;
    SynthesisListener* listener_ = nullptr;

    int frames_ = 0;
    std::array<Job, kSlots> jobs_{};
    int jobCount_ = 0;
    std::array<int64_t*, kMaxTargets> targets_{};
    int targetCount_ = 0;
    bool overflow_ = false;  // more distinct buffers than kMaxTargets: mixed on one thread
    std::array<Told, kSlots> told_{};
    int64_t sharedStretches_ = 0;
    // Each worker takes the jobs of its own range from the front, then helps the others from
    // their backs: a voice is mostly mixed by the same worker from one stretch to the next,
    // where its state and its samples are still in that core's cache, and no worker idles
    // while another has voices left. Front and back of a range are one word, so that a job
    // is taken exactly once.
    struct alignas(64) Range {
        std::atomic<uint64_t> ends{0};  // front | back << 32
    };
    std::vector<Range> ranges_;
    RenderWorkers workers_;
};

}  // namespace svt
