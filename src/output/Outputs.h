#pragma once
// The outputs one engine can play into, in their fixed order: live "d", WAV "w", MP3 "g".
// Selection is by index or by identifier character, optionally followed by encoding letters
// ("w8U": a µ-law WAV file).

#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include "output/OutputDevice.h"

namespace svt::output {

class Outputs {
  public:
    static constexpr size_t kLive = 0, kWav = 1, kMp3 = 2, kCount = 3;

    Outputs();
    OutputDevice& at(size_t index) { return *devices_[index]; }
    // Index of the output named by `text` (its character and encoding letters, which are
    // applied to it); nullopt when the character or a letter is unknown.
    std::optional<size_t> select(std::string_view text);
    // Puts a device in the place of the one with the same identifier character.
    void replace(std::unique_ptr<OutputDevice> device);

  private:
    std::array<std::unique_ptr<OutputDevice>, kCount> devices_;
};

}  // namespace svt::output
