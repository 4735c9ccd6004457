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

// The next job from the front of a range, or from its back; false when it is empty.
bool takeFront(std::atomic<uint64_t>& ends, int& job) {
    uint64_t e = ends.load(std::memory_order_relaxed);
    while (uint32_t(e) < uint32_t(e >> 32))
        if (ends.compare_exchange_weak(e, e + 1, std::memory_order_relaxed)) {
            job = int(uint32_t(e));
            return true;
        }
    return false;
}

bool takeBack(std::atomic<uint64_t>& ends, int& job) {
    uint64_t e = ends.load(std::memory_order_relaxed);
    while (uint32_t(e) < uint32_t(e >> 32))
        if (ends.compare_exchange_weak(e, e - (uint64_t(1) << 32), std::memory_order_relaxed)) {
            job = int(uint32_t(e >> 32)) - 1;
            return true;
        }
    return false;
}

}  // namespace

void MixTeam::Recorder::voiceChanged(VoiceStatus status, int channel, int note, int velocity) {
    table[slot] = {true, status, uint8_t(channel), uint8_t(note), uint8_t(velocity)};
}

MixTeam::MixTeam(const EngineSettings& settings, VoiceShaper& shaper, VoiceMixer& main)
    : settings_(settings),
      main_(main),
      helpers_(size_t(helperCount(settings))),
      ranges_(size_t(helperCount(settings) + 1)),
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
    auto mixJob = [&](int i) {
        const Job& job = jobs_[size_t(i)];
        recorder.slot = job.slot;
        int64_t* target = h ? helperTarget(*h, job.copy) : job.target;
        mixer.mix(*job.voice, {target, frames_});
    };
    const int workers = threads();
    int i = 0;
    while (takeFront(ranges_[size_t(worker)].ends, i)) mixJob(i);
    for (int other = 1; other < workers; ++other)
        while (takeBack(ranges_[size_t((worker + other) % workers)].ends, i)) mixJob(i);
    mixer.flush();
}

void MixTeam::finish() {
    const bool share = workers_.helpers() > 0 && !overflow_ && jobCount_ > 1 &&
                       int64_t(frames_) * jobCount_ >= kShareWorkFrames;
    // Equal shares of the jobs, in slot order; on one thread the first range holds them all.
    const uint64_t shares = share ? uint64_t(threads()) : 1;
    for (size_t w = 0; w < ranges_.size(); ++w) {
        const uint64_t front = std::min<uint64_t>(w, shares) * uint64_t(jobCount_) / shares;
        const uint64_t back = std::min<uint64_t>(w + 1, shares) * uint64_t(jobCount_) / shares;
        ranges_[w].ends.store(front | back << 32, std::memory_order_relaxed);
    }
    if (share) {
        const Resampler& own = main_.resampler();
        for (Helper& h : helpers_) {
            h.used = 0;
            h.mixer->resampler().setInterpolation(own.interpolation());
            h.mixer->resampler().setReduceQuality(own.reduceQuality());
        }
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
