#pragma once
// Private to the instruments library. The bytes of a font by position: from memory the
// caller keeps (tests, fuzzing), else read from the file without mapping it, so that the
// scattered streams of a compressed font do not become part of the process's memory.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/RandomAccessFile.h"

namespace svt {

class FontBytes {
  public:
    // False when the file cannot be opened.
    bool open(std::span<const uint8_t> memory, const std::string& fileName) {
        memory_ = memory;
        return !memory_.empty() || file_.open(fileName) == 0;
    }
    // Up to `n` bytes from `pos` (fewer at the end); they live in `scratch` unless they are
    // in memory.
    std::span<const uint8_t> read(int64_t pos, int64_t n, std::vector<uint8_t>& scratch) const {
        int64_t size = memory_.empty() ? file_.size() : static_cast<int64_t>(memory_.size());
        pos = pos < 0 ? 0 : pos > size ? size : pos;
        n = n < 0 ? 0 : n > size - pos ? size - pos : n;
        if (!memory_.empty())
            return memory_.subspan(static_cast<size_t>(pos), static_cast<size_t>(n));
        scratch.resize(static_cast<size_t>(n));
        int64_t got = file_.readAt(pos, scratch);
        scratch.resize(static_cast<size_t>(got < 0 ? 0 : got));
        return scratch;
    }

  private:
    std::span<const uint8_t> memory_;
    platform::RandomAccessFile file_;
};

}  // namespace svt
