#pragma once
// Q24 arithmetic and the delay line every effect is built from. Products are taken on
// 64 bits and truncated towards zero, so that a decaying feedback loop always reaches an
// exact 0 instead of settling on -1 (an arithmetic shift rounds towards minus infinity).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace svt::effects {

inline constexpr int kQ24Shift = 24;
inline constexpr int32_t kQ24One = 1 << kQ24Shift;

// x * g >> 24, rounded towards zero.
inline int32_t mulQ24(int64_t x, int64_t g) {
    const int64_t p = x * g;
    return static_cast<int32_t>((p + ((p >> 63) & (kQ24One - 1))) >> kQ24Shift);
}

inline int32_t toQ24(double v) {
    return static_cast<int32_t>(std::lround(std::clamp(v, -127.0, 127.0) * kQ24One));
}

inline int32_t saturate32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// A ring of samples. prepare() reserves the largest size the line will ever need, so that
// resizing it while a song plays never allocates.
struct DelayLine {
    std::vector<int32_t> buf;
    int32_t size = 0;
    int32_t index = 0;

    void prepare(int32_t capacity) { buf.reserve(size_t(std::max(capacity, 1))); }
    // Replaces the contents by `n` zeros; within the prepared capacity nothing is allocated.
    void allocate(int32_t n) {
        n = std::max<int32_t>(n, 0);
        if (n == 0 && buf.capacity() == 0) {  // an unused line stays without storage
            size = index = 0;
            return;
        }
        buf.assign(size_t(std::max(n, 1)), 0);
        size = n;
        index = 0;
    }
    void clear() {
        std::fill(buf.begin(), buf.end(), 0);
        index = 0;
    }
    // The value `size` samples old (what a line of this length returns), replaced by `in`.
    int32_t exchange(int32_t in) {
        if (size == 0) return in;
        const int32_t out = buf[size_t(index)];
        buf[size_t(index)] = in;
        if (++index >= size) index = 0;
        return out;
    }
    int32_t front() const { return size == 0 ? 0 : buf[size_t(index)]; }
    // The value `age` samples before the one written next (1 = the newest).
    int32_t tap(int32_t age) const {
        int32_t at = index - age;
        while (at < 0) at += size;
        return buf[size_t(at)];
    }
    // The value `age` + fraction / 65536 samples before the one written next (age at least 1,
    // below size - 1), read on the straight line between its two neighbours. A swept delay
    // read this way moves by a 65536th of a sample at a time and keeps no state that its
    // sweep could upset (an all-pass read rings near half the rate at every whole sample).
    int32_t tapBetween(int32_t age, uint32_t fraction) const {
        int32_t at = index - age;
        while (at < 0) at += size;
        const int32_t older = at == 0 ? size - 1 : at - 1;
        const int64_t a = buf[size_t(at)], b = buf[size_t(older)];
        return static_cast<int32_t>(a + (((b - a) * int64_t(fraction & 0xFFFF)) >> 16));
    }
    void push(int32_t in) {
        buf[size_t(index)] = in;
        if (++index >= size) index = 0;
    }
};

// The one-pole low-pass in front of the reverb, chorus and delay.
struct OnePole {
    int32_t a = kQ24One;
    int32_t y = 0;
    int32_t run(int32_t x) {
        y = mulQ24(x, a) + mulQ24(y, kQ24One - a);
        return y;
    }
};

}  // namespace svt::effects
