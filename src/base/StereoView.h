#pragma once
// A view of interleaved stereo frames (left, right, left, right, ...) that a render step
// writes or reads. It counts frames; there are twice as many values. Passed by value, it owns
// nothing.

#include <cstddef>
#include <span>

namespace svt {

template <typename T>
class StereoView {
  public:
    constexpr StereoView() = default;
    constexpr StereoView(T* data, int frames) : data_(data), frames_(frames) {}
    // A view of non-const values is one of const values too.
    constexpr operator StereoView<const T>() const { return {data_, frames_}; }

    constexpr T* data() const { return data_; }
    constexpr int frames() const { return frames_; }
    constexpr int values() const { return 2 * frames_; }
    constexpr std::span<T> span() const { return {data_, size_t(values())}; }
    // Value `i` (frame i / 2, left for even i).
    constexpr T& operator[](int i) const { return data_[i]; }
    // The frames from `frame` on.
    constexpr StereoView from(int frame) const { return {data_ + 2 * frame, frames_ - frame}; }
    constexpr StereoView first(int frames) const { return {data_, frames}; }

  private:
    T* data_ = nullptr;
    int frames_ = 0;
};

}  // namespace svt
