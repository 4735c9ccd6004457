#include "instruments/SharedInstruments.h"

namespace svt {

std::shared_ptr<const Instrument> SharedInstruments::obtain(
    const Key& key, const std::function<std::unique_ptr<Instrument>()>& build) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = held_.find(key); it != held_.end())
            if (auto inst = it->second.lock()) return inst;
    }
    std::shared_ptr<const Instrument> made(build());
    if (!made) return nullptr;
    std::lock_guard lock(mutex_);
    std::weak_ptr<const Instrument>& slot = held_[key];
    // Another engine may have built the same meanwhile: all keep the first one.
    if (auto first = slot.lock()) return first;
    slot = made;
    // Instruments no engine holds any more leave the table now and then.
    if (held_.size() % 64 == 0)
        std::erase_if(held_, [](const auto& entry) { return entry.second.expired(); });
    return made;
}

size_t SharedInstruments::heldCount() const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& [key, inst] : held_) n += inst.expired() ? 0 : 1;
    return n;
}

}  // namespace svt
