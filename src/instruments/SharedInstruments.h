#pragma once
// Instruments handed between engines that play with the same fonts and the same settings at
// the same time (songs converted side by side): an instrument one engine holds is given to
// the others instead of being built again, so that the engines hold one copy of its sample
// data. An instrument lives as long as any engine holds it; nothing is kept for later.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

#include "instruments/Instrument.h"

namespace svt {

class SharedInstruments {
  public:
    struct Key {
        std::string font;  // the file of the font that serves the instrument
        int bank = 0, program = 0, key = 0;
        bool operator<(const Key& o) const {
            return std::tie(font, bank, program, key) < std::tie(o.font, o.bank, o.program, o.key);
        }
    };

    // The instrument another engine holds under `key`, or the one `build` makes (null when it
    // makes none, which is not shared). Building runs without the lock, so engines building
    // different instruments do not wait for each other.
    std::shared_ptr<const Instrument> obtain(
        const Key& key, const std::function<std::unique_ptr<Instrument>()>& build);

    // Instruments that some engine holds now.
    size_t heldCount() const;

  private:
    mutable std::mutex mutex_;
    std::map<Key, std::weak_ptr<const Instrument>> held_;
};

}  // namespace svt
