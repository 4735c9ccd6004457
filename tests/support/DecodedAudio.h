#pragma once
// 16-bit audio read back from files the program wrote: WAV files directly, MP3 files
// through Debian's mpg123 decoder, with the few measurements the output tests need.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace svt::test {

struct DecodedAudio {
    int rateHz = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved

    size_t frames() const {
        return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0;
    }
    // Root mean square of one channel over frames [first, first + count), in full-scale units
    // (0..1).
    double rms(int channel, size_t first = 0, size_t count = SIZE_MAX) const;
    // Frequency of a steady tone on one channel, from its rising zero crossings.
    double toneHz(int channel, size_t first = 0, size_t count = SIZE_MAX) const;
};

// Reads a 16-bit PCM WAV file; nullopt when it is not one.
std::optional<DecodedAudio> readWav16(const std::string& path);

// Decodes an MP3 file with mpg123 into a WAV file beside it and reads that.
// nullopt when mpg123 refuses the file; `log` receives what it printed.
std::optional<DecodedAudio> decodeMp3(const std::string& path, std::string* log = nullptr);

// The ID3v1 title as mpg123 shows it (trailing spaces removed), or empty.
std::string mpg123Title(const std::string& path);

// Runs a shell command; returns its exit status and collects standard output and error.
int runCommand(const std::string& command, std::string* output = nullptr);

// Level of `ratio` (an RMS or amplitude ratio) in decibels.
double decibels(double ratio);

}  // namespace svt::test
