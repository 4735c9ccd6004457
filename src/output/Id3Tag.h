#pragma once
// The 128-byte ID3v1 tag the MP3 output hands to the encoder: "TAG", the title (its first
// 30 bytes, space-padded), artist, album, year and comment all spaces, genre 255.

#include <array>
#include <cstdint>
#include <string_view>

namespace svt::output {

inline constexpr size_t kId3v1Bytes = 128;
inline constexpr size_t kId3v1TitleBytes = 30;

std::array<uint8_t, kId3v1Bytes> makeTitleTag(std::string_view title);

}  // namespace svt::output
