#pragma once
// Rules that both system-exclusive interpreters apply to GS messages.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

namespace svt::sysex_detail {

// GS part number of an address block nibble: 0 is part 10, 1..9 are parts 1..9.
constexpr int gsChannel(int block) {
    if (block == 0) return 9;
    if (block <= 9) return block - 1;
    return block;
}

// Index of the first F7 at or after `from`, or the message size when there is none.
inline size_t endMark(std::span<const uint8_t> m, size_t from) {
    while (from < m.size() && m[from] != 0xF7) ++from;
    return from;
}

// The checksum is the byte before the first F7 from position 9 on; it makes the sum of
// the address and data bytes a multiple of 128.
inline bool gsChecksumValid(std::span<const uint8_t> m) {
    const size_t end = endMark(m, 9);
    if (end >= m.size()) return false;
    int sum = 0;
    for (size_t i = 4; i + 1 < end; ++i) sum += m[i];
    return ((-sum) & 0x7F) == m[end - 1];
}

// A 7-bit master volume (127 = full) on the 16-bit scale of EV_MASTER_VOLUME.
inline int masterVolumeOf7Bit(int value) {
    if (value >= 127) return 65535;
    return std::min(65535, static_cast<int>(std::lround(value * 516.0236220472441)));
}

}  // namespace svt::sysex_detail
