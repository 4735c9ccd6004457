#pragma once
// From the synthesizer's 32-bit samples (full scale +-2^28, stereo interleaved) to the bytes
// of an output encoding, with clipping. The conversion works in place: the result (at most
// four bytes per sample) is written over the samples it came from.

#include <cstddef>
#include <cstdint>

namespace svt::output {

// Converts `frames` stereo frames at `samples` to `encoding` (mono encodings take the mean of
// both sides) and returns the number of bytes now at the start of `samples`.
size_t convertSamples(int32_t* samples, size_t frames, int32_t encoding);

// The common case on its own: clamp(v >> 13) to signed 16 bits, `count` values.
void convertTo16(const int32_t* in, int16_t* out, size_t count);

uint8_t linearToUlaw(int16_t sample);
uint8_t linearToAlaw(int16_t sample);

}  // namespace svt::output
