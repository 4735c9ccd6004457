#pragma once
// The codecs of the compressed file outputs (FLAC, Ogg Vorbis, Opus), each on the well-kept
// library that Debian ships for it. A codec turns the samples the audio queue hands it into
// the bytes of one file, which it gives to a ByteSink; the output around it owns the file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "song/SongTags.h"

namespace svt::output {

// How the codecs encode; each value is one the library offers.
struct CodecSettings {
    int flacCompression = 5;   // 0 (fastest) .. 8 (smallest); all lossless
    double vorbisQuality = 5;  // -1 (smallest) .. 10 (best), as oggenc counts
    int opusBitrateKbps = 0;   // 6 .. 256 per channel; 0: 128 for stereo, 64 for mono
};
inline constexpr int kMinOpusKbpsPerChannel = 6;
inline constexpr int kMaxOpusKbpsPerChannel = 256;

// Where a codec's bytes go. Writes report failure; the sink keeps the system's reason.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual bool write(const uint8_t* bytes, size_t count) = 0;
    // False when the sink cannot be repositioned (a pipe, standard output).
    virtual bool seek(int64_t offset) = 0;
    // -1 when not known.
    virtual int64_t position() = 0;
};

struct CodecStream {
    int rateHz = 44100;
    int32_t encoding = 0;            // what the audio queue hands over (see inputEncoding)
    const SongTags* tags = nullptr;  // null: the file gets no tags
    uint32_t serial = 1;             // of the Ogg stream, for the codecs that use Ogg
};

class AudioCodec {
  public:
    virtual ~AudioCodec() = default;
    // The encoding the codec takes from the audio queue, given the one the output asks for
    // (its channel count is kept).
    virtual int32_t inputEncoding(int32_t requested) const = 0;
    // Writes the file's headers. False on failure: the sink's reason, or problem().
    virtual bool begin(ByteSink& sink, const CodecStream& stream) = 0;
    // `count` bytes of whole frames in the stream's encoding.
    virtual bool encode(const uint8_t* bytes, size_t count) = 0;
    // Ends the stream: the last packets and what the headers learn only at the end.
    virtual bool finish() = 0;
    // Why the library failed, where no system error says it (empty: none).
    const std::string& problem() const { return problem_; }

  protected:
    std::string problem_;
};

// Null where the build has no such library.
std::unique_ptr<AudioCodec> makeFlacCodec(const CodecSettings& settings);
std::unique_ptr<AudioCodec> makeVorbisCodec(const CodecSettings& settings);
std::unique_ptr<AudioCodec> makeOpusCodec(const CodecSettings& settings);

// The rates an Opus stream is made at without resampling; the first is what it plays at.
inline constexpr int kOpusRates[] = {48000, 24000, 16000, 12000, 8000};

}  // namespace svt::output
