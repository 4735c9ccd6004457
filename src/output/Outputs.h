#pragma once
// The outputs one engine can play into, in their fixed order: live "d", WAV "w", MP3 "g",
// then the compressed formats FLAC "f", Ogg Vorbis "v" and Opus "o". Selection is by index or
// by identifier character, optionally followed by encoding letters ("w8U": a µ-law WAV file).

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "output/AudioCodec.h"
#include "output/Mp3Encoder.h"
#include "output/OutputDevice.h"

namespace svt::output {

class Outputs {
  public:
    static constexpr size_t kLive = 0, kWav = 1, kMp3 = 2, kFlac = 3, kVorbis = 4, kOpus = 5,
                            kCount = 6;

    // The MP3 output encodes with `mp3`, the compressed formats with `codecs`, until they are
    // told otherwise.
    explicit Outputs(const Mp3Settings& mp3 = {}, const CodecSettings& codecs = {});
    OutputDevice& at(size_t index) { return *devices_[index]; }
    // Index of the output named by `text` (its character and encoding letters, which are
    // applied to it); nullopt when the character or a letter is unknown.
    std::optional<size_t> select(std::string_view text);
    // Puts a device in the place of the one with the same identifier character.
    void replace(std::unique_ptr<OutputDevice> device);

  private:
    std::array<std::unique_ptr<OutputDevice>, kCount> devices_;
};

// One output as start-up sees it: its identifier character and, for outputs that need a
// device, the question whether one is there.
struct OutputCandidate {
    char id = 0;
    std::function<bool()> detect;  // empty: the output needs no device
};

// Which output the program starts with, as an index into `outputs`, or nullopt when none
// is usable (the program then exits with code 1). `svtVariable` is the value of the
// "SVT" environment variable when it is set; `frontEndChoice` an output the front-end
// chose before the start.
std::optional<size_t> chooseOutput(std::span<const OutputCandidate> outputs,
                                   std::optional<std::string_view> svtVariable,
                                   std::optional<size_t> frontEndChoice = std::nullopt);

// What the live output's queue holds unless told otherwise: five seconds, played once full.
inline constexpr const char* kDefaultQueueSeconds = "5.0";
inline constexpr const char* kDefaultQueueFill = "100%";

}  // namespace svt::output
