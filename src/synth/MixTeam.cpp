#include "synth/MixTeam.h"

#include <algorithm>

namespace svt {

namespace {

// Below this many voice frames a stretch stays on the song's thread: waking the helpers and
// adding their buffers in would cost more than they take off it.
constexpr int64_t kShareWorkFrames = 8192;

int helperCount(const EngineSettings& settings) {
    return std::clamp(settings.renderThreads, 1, kMaxRenderThreads) - 1;
}

}  // namespace

void MixTeam::Recorder::voiceChanged(int status, int channel, int note, int velocity) {
    table[slot] = {true, uint8_t(status), uint8_t(channel), uint8_t(note), uint8_t(velocity)};
}

MixTeam::MixTeam(const EngineSettings& settings, VoiceShaper& shaper, VoiceMixer& main)
    : settings_(settings),
      main_(main),
      helpers_(size_t(helperCount(settings))),
      workers_(helperCount(settings)) {
    mainRecorder_.table = told_.data();
    main_.setListener(&mainRecorder_);
    for (Helper& h : helpers_) {
        h.mixer = std::make_unique<VoiceMixer>(settings_, shaper);
        h.buffers =
            std::make_unique_for_overwrite<int64_t[]>(size_t(kMaxTargets) * 2 * kBlockFrames);
        h.recorder.table = told_.data();
        h.mixer->setListener(&h.recorder);
    }
}

MixTeam::~MixTeam() = default;

void MixTeam::begin(int frames) {
    frames_ = frames;
    jobCount_ = 0;
    targetCount_ = 0;
    overflow_ = false;
}

void MixTeam::add(int slot, Voice& v, StereoView<int64_t> target) {
    int64_t* data = target.data();
    int t = 0;
    while (t < targetCount_ && targets_[size_t(t)] != data) ++t;
    if (t == targetCount_) {
        if (targetCount_ < kMaxTargets)
            targets_[size_t(targetCount_++)] = data;
        else
            overflow_ = true;
    }
    jobs_[size_t(jobCount_++)] = {&v, data, int16_t(slot), int8_t(t < kMaxTargets ? t : 0)};
}

void MixTeam::skip(int slot, Voice& v) {
    mainRecorder_.slot = slot;
    freeAndTell(&mainRecorder_, v);
}

int64_t* MixTeam::helperTarget(Helper& h, int target) {
    int64_t* buffer = h.buffers.get() + size_t(target) * 2 * kBlockFrames;
    if (!((h.used >> target) & 1u)) {
        std::fill_n(buffer, 2 * frames_, int64_t{0});
        h.used |= 1u << target;
    }
    return buffer;
}

void MixTeam::run(int worker) {
    Helper* h = worker > 0 ? &helpers_[size_t(worker - 1)] : nullptr;
    VoiceMixer& mixer = h ? *h->mixer : main_;
    Recorder& recorder = h ? h->recorder : mainRecorder_;
    for (;;) {
        const int first = nextJob_.fetch_add(chunk_, std::memory_order_relaxed);
        if (first >= jobCount_) break;
        const int last = std::min(first + chunk_, jobCount_);
        for (int i = first; i < last; ++i) {
            const Job& job = jobs_[size_t(i)];
            recorder.slot = job.slot;
            int64_t* target = h ? helperTarget(*h, job.copy) : job.target;
            mixer.mix(*job.voice, {target, frames_});
        }
    }
    mixer.flush();
}

void MixTeam::finish() {
    const bool share = workers_.helpers() > 0 && !overflow_ && jobCount_ > 1 &&
                       int64_t(frames_) * jobCount_ >= kShareWorkFrames;
    nextJob_.store(0, std::memory_order_relaxed);
    if (share) {
        const Resampler& own = main_.resampler();
        for (Helper& h : helpers_) {
            h.used = 0;
            h.mixer->resampler().setInterpolation(own.interpolation());
            h.mixer->resampler().setReduceQuality(own.reduceQuality());
        }
        // Small shares balance the voices' unequal costs; not so small that the workers
        // spend their time taking them.
        chunk_ = std::max(1, jobCount_ / (4 * threads()));
        workers_.run(*this);
        ++sharedStretches_;
        const int values = 2 * frames_;
        for (Helper& h : helpers_)
            for (int t = 0; t < targetCount_; ++t) {
                if (!((h.used >> t) & 1u)) continue;
                int64_t* to = targets_[size_t(t)];
                const int64_t* from = h.buffers.get() + size_t(t) * 2 * kBlockFrames;
                for (int i = 0; i < values; ++i) to[i] += from[i];
            }
    } else {
        chunk_ = std::max(1, jobCount_);
        run(0);
    }
    jobCount_ = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        Told& t = told_[size_t(slot)];
        if (!t.pending) continue;
        t.pending = false;
        if (listener_ != nullptr) listener_->voiceChanged(t.status, t.channel, t.note, t.velocity);
    }
}

}  // namespace svt
