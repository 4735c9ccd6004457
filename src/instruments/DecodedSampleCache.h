#pragma once
// Decoded compressed samples of an engine's fonts, kept between songs so that a song using the
// instruments of the one before needs no decoding. Instruments hold the samples they play; the
// cache holds them too, and gives up the least recently used ones that no instrument holds
// when it is trimmed to its limit. Trimming happens between songs only: a song's render never
// frees or allocates here.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "base/Constants.h"
#include "instruments/CompressedSamples.h"

namespace svt {

class DecodedSampleCache {
  public:
    // The decoded sample `sample` of font `fontId`, or null when it is not held; a hit counts
    // as a use.
    std::shared_ptr<const DecodedSample> find(uint32_t fontId, int32_t sample);
    void insert(uint32_t fontId, int32_t sample, std::shared_ptr<const DecodedSample> decoded);
    bool holds(uint32_t fontId, int32_t sample) const {
        return entries_.count(key(fontId, sample)) != 0;
    }
    // Drops the least recently used samples that no instrument holds until at most
    // `limitBytes` are held (samples in use stay, whatever their size).
    void trim(size_t limitBytes);
    // Forgets every sample of one font (unregistered or indexed anew).
    void dropFont(uint32_t fontId);

    size_t bytes() const { return bytes_; }
    size_t count() const { return entries_.size(); }
    // What a song's instruments may hold at once: the decoded samples here and the copies of
    // points the instruments built for the song made (counted with noteCopied, forgotten with
    // forgetCopies between songs).
    size_t songLimit() const { return songLimit_; }
    void setSongLimit(size_t bytes) { songLimit_ = bytes; }
    void noteCopied(size_t bytes) { copiedBytes_ += bytes; }
    void forgetCopies() { copiedBytes_ = 0; }
    size_t copiedBytes() const { return copiedBytes_; }

  private:
    struct Entry {
        std::shared_ptr<const DecodedSample> sample;
        uint64_t lastUse = 0;
    };
    static uint64_t key(uint32_t fontId, int32_t sample) {
        return (uint64_t{fontId} << 32) | static_cast<uint32_t>(sample);
    }
    std::unordered_map<uint64_t, Entry> entries_;
    uint64_t clock_ = 0;
    size_t bytes_ = 0;
    size_t songLimit_ = kMaxDecodedSampleBytesPerSong;
    size_t copiedBytes_ = 0;
};

}  // namespace svt
