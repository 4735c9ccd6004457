#include "output/AudioQueue.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/Constants.h"
#include "output/SampleConversion.h"

namespace svt::output {

namespace {

// After a change the device starts again once it has this lead, or once the lead has been
// rendered for this long, whichever comes first. A sound server that is handed too little at its
// start runs dry before the synthesis that is catching up can feed it, and waits seconds for its
// buffer to fill again; a second of audio gives it room, and the time cap keeps a change on a slow
// song from waiting for it.
constexpr double kQuickLeadSeconds = 1.0;
constexpr double kQuickLeadWaitSeconds = 0.15;

}  // namespace

AudioQueue::AudioQueue(TickClock* clock) : clock_(clock ? clock : &steady_), playClock_(*clock_) {
    scratch_.resize(2 * static_cast<size_t>(kBlockFrames));
    limiter_.setEnabled(false);
}

bool AudioQueue::timed() const {
    return device_ && (device_->flags & OF_PCM_STREAM) && (device_->flags & OF_CAN_TIME);
}

int AudioQueue::rate() const {
    return device_ ? device_->rate : kDefaultOutputRateHz;
}
bool AudioQueue::realTime() const {
    return device_ && (device_->flags & OF_CAN_TIME);
}

void AudioQueue::setup(OutputDevice& device, AudioQueueHooks* hooks) {
    device_ = &device;
    hooks_ = hooks;
    bytesPerFrame_ = bytesPerFrame(device.encoding);
    playClock_.setRate(device.rate);
    int fragment = 0;
    if (device.acntl(OUT_REQ_GET_FRAGMENT_SIZE, &fragment) == 0 && fragment > 0)
        bucketBytes_ = fragment;
    else
        bucketBytes_ = kBlockFrames * bytesPerFrame_;
    bucketSeconds_ = static_cast<double>(bucketBytes_) / bytesPerFrame_ / std::max(1, device.rate);
    deviceQueueBytes_ = 0;
    if (timed()) {
        int queueBytes = 0;
        if (device.acntl(OUT_REQ_GET_QUEUE_SIZE, &queueBytes) == 0 &&
            queueBytes >= 2 * bucketBytes_)
            deviceQueueBytes_ = queueBytes / bytesPerFrame_ * bytesPerFrame_;
    }
    limiter_.prepare(device.rate);
    bucketCount_ = -1;  // makes setQueue build the buckets
    setQueue(lengthSeconds_, fillSeconds_);
}

void AudioQueue::setLimiter(bool on) {
    limiter_.setEnabled(on);
    limiter_.reset();
}

void AudioQueue::setQueue(double lengthSeconds, double fillSeconds) {
    if (lengthSeconds >= 0) lengthSeconds_ = lengthSeconds;
    if (fillSeconds >= 0) fillSeconds_ = fillSeconds;
    int count = 0;
    if (timed() && deviceQueueBytes_ > 0 && bucketSeconds_ > 0)
        count = static_cast<int>(lengthSeconds_ / bucketSeconds_);
    startCount_ = count > 0 ? static_cast<int64_t>(rate() * fillSeconds_) : 0;
    if (count != bucketCount_) {
        bucketCount_ = count;
        data_.assign(static_cast<size_t>(count) * bucketBytes_, 0);
        buckets_.assign(static_cast<size_t>(count), Bucket{});
    }
    reset();
}

bool AudioQueue::setQueueFromSettings(const std::string& length, const std::string& fill) {
    const double deviceSeconds = static_cast<double>(deviceQueueFrames()) / std::max(1, rate());
    auto parse = [](const std::string& text, double& value, bool& percent) {
        percent = text.find('%') != std::string::npos;
        char* end = nullptr;
        value = std::strtod(text.c_str(), &end);
        return end != text.c_str() && std::isfinite(value);
    };
    double l = 0, f = 0;
    bool lp = false, fp = false;
    if (!parse(length, l, lp) || !parse(fill, f, fp)) return false;
    if (lp) l = std::max(0.0, (l - 100) * deviceSeconds / 100);
    if (fp) f = deviceSeconds * f / 100;
    lengthSetting_ = length;
    fillSetting_ = fill;
    setQueue(std::max(0.0, l), std::max(0.0, f));
    return true;
}

bool AudioQueue::reopenDevice() {
    if (hooks_) hooks_->dropNotices();
    // Dropped first, so that closing does not wait for the queued audio to play.
    device_->acntl(OUT_REQ_DISCARD, nullptr);
    device_->closeOutput();
    const bool opened = device_->openOutput() == 0;
    setup(*device_, hooks_);
    if (!lengthSetting_.empty()) setQueueFromSettings(lengthSetting_, fillSetting_);
    return opened;
}

bool AudioQueue::changeRate(int rateHz) {
    if (!device_ || rateHz <= 0 || rateHz == device_->rate) return false;
    if (!acceptRate_ || !acceptRate_(rateHz)) return false;
    const int32_t oldRate = device_->rate;
    device_->rate = rateHz;
    if (reopenDevice()) return true;
    device_->rate = oldRate;
    reopenDevice();
    return false;
}

void AudioQueue::outputChanged() {
    if (!device_) return;
    // A file output keeps its file: reopening would start it again from nothing.
    if (timed()) {
        reopenDevice();
        return;
    }
    setup(*device_, hooks_);
    if (!lengthSetting_.empty()) setQueueFromSettings(lengthSetting_, fillSetting_);
}

void AudioQueue::reset() {
    freeList_ = -1;
    for (int i = bucketCount_ - 1; i >= 0; --i) {
        buckets_[i].filled = 0;
        buckets_[i].next = freeList_;
        freeList_ = i;
    }
    head_ = tail_ = -1;
    playClock_.reset();
    filling_ = startCount_ > 0;
    refilling_ = false;
    limiter_.reset();
}

int AudioQueue::control(int request, const std::string& songPath) {
    if (!device_) return -1;
    if (request == OUT_REQ_PLAY_START) {
        clippedSamples_ = 0;
        limiter_.clearStats();
        return device_->songStart(songPath);
    }
    if (request == OUT_REQ_PLAY_END) return device_->songEnd();
    if (request == OUT_REQ_PLAY_ABANDON) return device_->songAbandon();
    return device_->acntl(request, nullptr);
}

int AudioQueue::writeToDevice(const uint8_t* bytes, size_t count) {
    return device_->outputData(bytes, count) < 0 ? -1 : 0;
}

int AudioQueue::writeBucket(int index) {
    playClock_.handedOver(bucketBytes_ / bytesPerFrame_);
    const Bucket& b = buckets_[index];
    const uint8_t* p = bucketData(index);
    // A bucket is written whole; only a soft flush pads a partial one before it gets here.
    return writeToDevice(p, b.filled);
}

int AudioQueue::writeHeadBucket() {
    const int index = head_;
    const int result = writeBucket(index);
    head_ = buckets_[index].next;
    if (head_ < 0) tail_ = -1;
    buckets_[index].next = freeList_;
    buckets_[index].filled = 0;
    freeList_ = index;
    return result;
}

size_t AudioQueue::putIntoBuckets(const uint8_t* bytes, size_t count, int& error) {
    error = 0;
    if (bucketCount_ == 0) {
        error = writeToDevice(bytes, count);
        return count;
    }
    size_t taken = 0;
    if (head_ < 0) {
        if (freeList_ < 0) return 0;
        head_ = tail_ = freeList_;
        freeList_ = buckets_[freeList_].next;
        buckets_[head_] = Bucket{};
    }
    while (taken < count) {
        Bucket& t = buckets_[tail_];
        const size_t room = bucketBytes_ - t.filled;
        if (room > 0) {
            const size_t n = std::min(room, count - taken);
            std::memcpy(bucketData(tail_) + t.filled, bytes + taken, n);
            t.filled += n;
            taken += n;
            continue;
        }
        if (freeList_ < 0) break;
        const int fresh = freeList_;
        freeList_ = buckets_[fresh].next;
        buckets_[fresh] = Bucket{};
        t.next = fresh;
        tail_ = fresh;
    }
    return taken;
}

int AudioQueue::fillNoBlock() {
    if (head_ < 0 || buckets_[head_].filled < static_cast<size_t>(bucketBytes_) || !timed())
        return 0;
    int64_t n = freeSamples() * bytesPerFrame_ / bucketBytes_;
    while (n-- > 0 && head_ >= 0 && buckets_[head_].filled == static_cast<size_t>(bucketBytes_)) {
        if (writeHeadBucket() < 0) return -1;
    }
    return 0;
}

int AudioQueue::add(StereoView<const int32_t> block) {
    const int32_t* samples = block.data();
    int frames = block.frames();
    if (!device_ || !(device_->flags & OF_PCM_STREAM)) return 0;
    if (frames <= 0) {
        if (!filling_) return fillNoBlock();
        return 0;
    }
    while (frames > 0) {
        const int chunk = std::min(frames, kBlockFrames);
        addedFrames_ += chunk;
        std::memcpy(scratch_.data(), samples, sizeof(int32_t) * 2 * static_cast<size_t>(chunk));
        samples += 2 * static_cast<size_t>(chunk);
        frames -= chunk;
        if (enqueue(limiter_.process(scratch_.data(), chunk)) < 0) return -1;
    }
    // Waiting is where notices go out; a device that takes everything as fast as it comes
    // never makes the queue wait, so what has been heard is delivered after every block too.
    if (hooks_ && hooks_->tracing()) hooks_->runDueNotices();
    return 0;
}

int AudioQueue::enqueue(int frames) {
    if (frames <= 0) return 0;
    // Float samples carry what lies beyond full scale on; only integer samples are clipped.
    if (!(device_->encoding & ENC_FLOAT)) {
        for (int i = 0; i < 2 * frames; ++i) {
            const int32_t v = scratch_[static_cast<size_t>(i)];
            clippedSamples_ += v >= kFullScale || v < -kFullScale;
        }
    }
    const size_t bytes =
        convertSamples(scratch_.data(), static_cast<size_t>(frames), device_->encoding);
    const auto* p = reinterpret_cast<const uint8_t*>(scratch_.data());
    if (deviceQueueBytes_ == 0) return writeToDevice(p, bytes);
    if (quickStart_) {
        const auto lead = static_cast<int64_t>(kQuickLeadSeconds * rate());
        const double now = clock_->nowSeconds();
        if (leadFrom_ < 0) leadFrom_ = now;
        filling_ =
            addedFrames_ <= std::min(startCount_, lead) && now - leadFrom_ < kQuickLeadWaitSeconds;
        refilling_ = !filling_ && addedFrames_ <= startCount_;
        quickStart_ = filling_ || refilling_;
    } else {
        filling_ = addedFrames_ <= startCount_;
    }
    if (!filling_ && fillNoBlock() < 0) return -1;
    size_t done = 0;
    while (done < bytes) {
        int error = 0;
        done += putIntoBuckets(p + done, bytes - done, error);
        if (error < 0) return -1;
        if (done >= bytes) break;
        // No room left: the device must take something first.
        if (hooks_ && hooks_->tracing()) {
            waitALittle();
            hooks_->runDueNotices();
            if (fillNoBlock() < 0) return -1;
        } else if (head_ >= 0 && buckets_[head_].filled == static_cast<size_t>(bucketBytes_)) {
            if (writeHeadBucket() < 0) return -1;
        }
        filling_ = false;
    }
    return 0;
}

int AudioQueue::drainLimiter() {
    if (!device_ || !(device_->flags & OF_PCM_STREAM)) return 0;
    return enqueue(limiter_.drain(scratch_.data(), kBlockFrames));
}

void AudioQueue::waitALittle() {
    if (deviceQueueBytes_ == 0) return;
    // Commands are polled between blocks, not during this wait: a fifth of the device queue
    // (over half a second) would hold a key that long, a bucket's time keeps it to a block.
    int64_t w = std::min<int64_t>(deviceQueueFrames() / 5, bucketBytes_ / bytesPerFrame_);
    if (hooks_) {
        const int64_t due = hooks_->framesToNextNotice();
        if (due >= 0 && due < w) w = due;
    }
    clock_->sleepSeconds(static_cast<double>(w) / std::max(1, rate()));
}

bool AudioQueue::commandWaiting() {
    return hooks_ && hooks_->commandWaiting();
}

FlushResult AudioQueue::softFlush() {
    if (drainLimiter() < 0) return FlushResult::Failed;
    while (head_ >= 0) {
        const int index = head_;
        Bucket& b = buckets_[index];
        if (b.filled < static_cast<size_t>(bucketBytes_)) {
            std::memset(bucketData(index) + b.filled, 0, bucketBytes_ - b.filled);
            b.filled = bucketBytes_;
        }
        if (writeBucket(index) < 0) return FlushResult::Failed;
        head_ = b.next;
        if (head_ < 0) tail_ = -1;
        b.next = freeList_;
        b.filled = 0;
        freeList_ = index;
        if (hooks_) hooks_->runDueNotices();
        if (commandWaiting()) return FlushResult::CommandWaiting;
    }
    device_->acntl(OUT_REQ_FLUSH_DONE, nullptr);
    return FlushResult::Done;
}

FlushResult AudioQueue::flush(bool discard) {
    if (!device_) return FlushResult::Done;
    addedFrames_ = 0;
    if (discard) {
        quickStart_ = true;
        leadFrom_ = -1;
        limiter_.reset();
        if (hooks_) hooks_->dropNotices();
        if (device_->acntl(OUT_REQ_DISCARD, nullptr) == 0) {
            reset();
            return FlushResult::Done;
        }
    }
    if (!timed()) {
        // Nothing of a device that does not play in real time is waited for.
        if (drainLimiter() < 0) return FlushResult::Failed;
        device_->acntl(OUT_REQ_FLUSH, nullptr);
        return FlushResult::Done;
    }
    // A song that played to its end lets the next one fill the queue first; an empty queue
    // (the song was left for another) keeps starting quickly.
    if (head_ >= 0 || queuedSamples() > 0) quickStart_ = false;
    if (const FlushResult soft = softFlush(); soft != FlushResult::Done) return soft;
    const double t0 = clock_->nowSeconds();
    const double end = t0 + static_cast<double>(queuedSamples()) / std::max(1, rate());
    for (;;) {
        if (commandWaiting()) return FlushResult::CommandWaiting;
        if (hooks_) hooks_->runDueNotices();
        const double now = clock_->nowSeconds();
        // The device plays its last tenth of a second while it is flushed below.
        if (now >= end - 0.1) break;
        clock_->sleepSeconds(drainSleep(end, now));
    }
    device_->acntl(OUT_REQ_FLUSH, nullptr);
    // Everything written has been heard now, so the notices of the song's last moments are
    // due; dropping them would leave the display short of the end.
    playClock_.markAllPlayed();
    if (hooks_) {
        hooks_->runDueNotices();
        hooks_->dropNotices();
    }
    reset();
    return FlushResult::Done;
}

double AudioQueue::drainSleep(double end, double now) {
    const double r = std::max(1, rate());
    double seconds = end - now;
    if (deviceQueueBytes_ > 0)
        seconds = std::min(seconds, static_cast<double>(deviceQueueFrames() / 5) / r);
    if (hooks_) {
        const int64_t due = hooks_->framesToNextNotice();
        if (due >= 0) seconds = std::min(seconds, static_cast<double>(due) / r);
    }
    return std::max(seconds, 0.001);
}

int64_t AudioQueue::currentSample() {
    if (!timed()) return -1;
    // After a drain the answer is known without asking the device.
    if (playClock_.allPlayed()) return playClock_.heard(std::nullopt);
    int samples = 0;
    if (device_->acntl(OUT_REQ_GET_SAMPLES, &samples) == 0) return playClock_.heard(samples);
    return playClock_.heard(std::nullopt);
}

int64_t AudioQueue::queuedSamples() {
    if (!timed()) return 0;
    int queued = 0;
    if (device_->acntl(OUT_REQ_GET_QUEUED, &queued) == 0) return playClock_.queued(queued);
    return playClock_.queued(std::nullopt);
}

int64_t AudioQueue::bucketFrames() const {
    size_t bytes = 0;
    for (int i = head_; i >= 0; i = buckets_[i].next) bytes += buckets_[i].filled;
    return static_cast<int64_t>(bytes / bytesPerFrame_);
}

int64_t AudioQueue::freeSamples() {
    return deviceQueueFrames() - queuedSamples();
}

}  // namespace svt::output
