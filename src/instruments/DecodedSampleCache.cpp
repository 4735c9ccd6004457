#include "instruments/DecodedSampleCache.h"

#include <algorithm>
#include <vector>

namespace svt {

std::shared_ptr<const DecodedSample> DecodedSampleCache::find(uint32_t fontId, int32_t sample) {
    auto it = entries_.find(key(fontId, sample));
    if (it == entries_.end()) return nullptr;
    it->second.lastUse = ++clock_;
    return it->second.sample;
}

void DecodedSampleCache::insert(uint32_t fontId, int32_t sample,
                                std::shared_ptr<const DecodedSample> decoded) {
    if (!decoded) return;
    Entry& e = entries_[key(fontId, sample)];
    if (e.sample) bytes_ -= e.sample->bytes();
    bytes_ += decoded->bytes();
    e.sample = std::move(decoded);
    e.lastUse = ++clock_;
}

void DecodedSampleCache::trim(size_t limitBytes) {
    if (bytes_ <= limitBytes) return;
    std::vector<std::pair<uint64_t, uint64_t>> idle;  // last use, key
    for (const auto& [k, e] : entries_) {
        if (e.sample.use_count() == 1) idle.emplace_back(e.lastUse, k);
    }
    std::sort(idle.begin(), idle.end());
    for (const auto& [lastUse, k] : idle) {
        if (bytes_ <= limitBytes) break;
        auto it = entries_.find(k);
        bytes_ -= it->second.sample->bytes();
        entries_.erase(it);
    }
}

void DecodedSampleCache::dropFont(uint32_t fontId) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->first >> 32 == fontId) {
            bytes_ -= it->second.sample->bytes();
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace svt
