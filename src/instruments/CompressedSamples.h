#pragma once
// Compressed sample data of SoundFont 3 fonts. Each compressed sample is an Ogg stream of its
// own inside the sample chunk: the sample header's start and end are byte offsets of the
// stream, its loop points count points of the decoded sound from the sample's first point.
// Probing reads only a stream's first and last pages (cheap enough for every sample of a font
// while it is indexed); decoding turns a Vorbis stream into the 16-bit points a region plays.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/Result.h"

namespace svt {

// The sample type bit that marks a compressed sample.
inline constexpr uint16_t kSampleCompressedBit = 0x10;
// Sample type bits this program knows; a sample with any other bit set is not played.
inline constexpr uint16_t kKnownSampleTypeBits = 0x801F;

// Zero points after the decoded sound: the voices read up to four points past a region's end.
inline constexpr int kDecodedZeroTail = 4;
// Longest decoded sample kept: a region's positions address at most 2^20 points, and a stream
// cannot make the decoder allocate more than this whatever its pages claim.
inline constexpr int64_t kMaxDecodedPoints = int64_t{1} << 20;

// Streams with more channels or a rate outside these are refused before any decoding.
inline constexpr int kMaxStreamChannels = 2;
inline constexpr uint32_t kMinStreamRateHz = 400;
inline constexpr uint32_t kMaxStreamRateHz = 192000;

enum class StreamFormat : uint8_t { Vorbis, Opus, Flac, Speex, Unknown };

const char* streamFormatName(StreamFormat format);

struct StreamProbe {
    StreamFormat format = StreamFormat::Unknown;
    int channels = 0;
    uint32_t rateHz = 0;
    // Points the stream decodes to, from its last page's granule position.
    int64_t frames = 0;
    // Why the stream cannot be played; empty when it can.
    std::string problem;
    bool playable() const { return problem.empty(); }
};

// How much of a stream's start and end the probe needs: the first page's packet, and the last
// page (an Ogg page holds at most 65307 bytes).
inline constexpr size_t kProbeHeadBytes = 4096;
inline constexpr size_t kProbeTailBytes = 65536;

// Looks at the stream's identification header and its last page, given the stream's first
// bytes (`head`, up to kProbeHeadBytes) and its last bytes (`tail`, up to kProbeTailBytes; the
// two overlap in a short stream).
StreamProbe probeCompressedStream(std::span<const uint8_t> head, std::span<const uint8_t> tail);

// A decoded stream: its first channel as 16-bit points (at most kMaxDecodedPoints), followed by
// kDecodedZeroTail zero points.
struct DecodedSample {
    std::unique_ptr<int16_t[]> points;
    int64_t frames = 0;
    size_t bytes() const { return static_cast<size_t>(frames + kDecodedZeroTail) * 2; }
};

// Decodes a Vorbis stream whose probe promised `expectedFrames` points. A stream that is
// damaged (a page fails its checksum, a packet cannot be decoded) or that decodes to another
// length than its last page promised is refused with the reason.
Result<std::shared_ptr<const DecodedSample>> decodeVorbisStream(std::span<const uint8_t> stream,
                                                                int64_t expectedFrames);

}  // namespace svt
