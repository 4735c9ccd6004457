#pragma once
// The engine's random numbers (random pan and the like): a 15-bit generator owned by its
// engine, so that two engines never draw from one sequence, and seeded from each song, so that
// a song draws the same numbers in every run.

#include <cstdint>

namespace svt {

class EngineRandom {
  public:
    explicit EngineRandom(uint32_t seed = 1) : state_(seed) {}

    // 0..32767
    int next() {
        state_ = state_ * 1103515245u + 12345u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }
    // next() * n / 32768, truncated: 0..n-1 for n > 0.
    int below(int n) { return static_cast<int>(static_cast<int64_t>(next()) * n / 32768); }

  private:
    uint32_t state_;
};

}  // namespace svt
