#pragma once
// The voice limit of a live output that falls behind. After each block the budget looks at how
// full the output's queue is, as a share of the device queue (the fill rate). A queue that holds
// its healthy share and its reserve keeps up: the limit goes back to the remembered one. A queue
// that drains is short of time: released voices are cut, the quietest first, and the limit falls
// to what the machine kept up with lately, an average of the voice counts seen while the queue
// held steady or rose, halved once a second so that it forgets an old passage.

#include <cstdint>

#include "base/Constants.h"

namespace svt {

class Synthesis;

// How much audio waits before the device and how much the device itself holds, in frames.
struct QueueFill {
    int64_t filled = 0;
    int64_t softFilled = 0;
    int64_t deviceQueue = 0;
};

struct BudgetMode {
    bool realTime = false;  // a stream: voices are shed at once, nothing is learnt
    bool adaptive = true;   // the limit follows what the machine kept up with
    int thresholdMs = -1;   // the reserve in milliseconds; -1 judged by the device queue
};

class VoiceBudget {
  public:
    explicit VoiceBudget(int remembered) : remembered_(remembered) {}

    // The voice limit a song starts with and a healthy queue brings back.
    void setRemembered(int voices) { remembered_ = voices; }
    int remembered() const { return remembered_; }
    // A song starts: nothing is known yet of what the machine keeps up with.
    void startSong() { learnt_ = Learnt{}; }
    // After a block at sample `now`: cuts voices and moves the synthesizer's limit.
    void afterBlock(Synthesis& synthesis, const QueueFill& fill, const BudgetMode& mode, int rate,
                    int64_t now);

  private:
    // Averages the voice count the machine kept up with.
    void learn(int add, int rate, int64_t now);

    int remembered_ = kMaxVoices;
    struct Learnt {
        int minimumBad = kMaxVoices;  // the fewest voices seen while the queue drained
        int maximumGood = 1;          // the most voices seen while it was comfortably full
        int64_t goodTotal = 32;       // sum and count of the average (32 voices at the start)
        int goodCount = 1;
        int64_t nextHalving = 0;
        int previousFillRate = -1;
        int64_t previousFilled = 0;
    } learnt_;
};

}  // namespace svt
