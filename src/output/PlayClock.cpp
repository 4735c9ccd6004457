#include "output/PlayClock.h"

#include <chrono>
#include <thread>

namespace svt::output {

double SteadyClock::nowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void SteadyClock::sleepSeconds(double seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void PlayClock::reset() {
    playedFrames_ = playingFrames_ = 0;
    handedFrames_ = 0;
    allPlayed_ = false;
    lastCheck_ = clock_.nowSeconds();
}

int64_t PlayClock::elapsedFrames() {
    return static_cast<int64_t>((clock_.nowSeconds() - lastCheck_) * rateHz_);
}

void PlayClock::handedOver(int64_t frames) {
    if (playingFrames_ > 0) {
        if (elapsedFrames() < playingFrames_) {
            playingFrames_ += frames;
            handedFrames_ += frames;
            return;
        }
        playedFrames_ += playingFrames_;
        playingFrames_ = 0;
    }
    // Counting from the last check instead would take the time the device stood idle (while
    // the queue filled, or between songs) for time spent playing, and run ahead of the sound.
    lastCheck_ = clock_.nowSeconds();
    playingFrames_ += frames;
    handedFrames_ += frames;
}

int64_t PlayClock::heard(std::optional<int64_t> reported) {
    if (allPlayed_) return handedFrames_;
    if (reported) {
        if (playingFrames_ > 0) {
            lastCheck_ = clock_.nowSeconds();
            playingFrames_ = 0;
        }
        return *reported;
    }
    if (playingFrames_ == 0) return playedFrames_;
    const int64_t elapsed = elapsedFrames();
    if (elapsed >= playingFrames_) {
        playedFrames_ += playingFrames_;
        playingFrames_ = 0;
        lastCheck_ = clock_.nowSeconds();
        return playedFrames_;
    }
    return playedFrames_ + elapsed;
}

int64_t PlayClock::queued(std::optional<int64_t> reported) {
    if (reported) return *reported;
    if (playingFrames_ > 0) {
        const int64_t elapsed = elapsedFrames();
        if (elapsed < playingFrames_) return playingFrames_ - elapsed;
        playedFrames_ += playingFrames_;
        playingFrames_ = 0;
    }
    lastCheck_ = clock_.nowSeconds();
    return 0;
}

}  // namespace svt::output
