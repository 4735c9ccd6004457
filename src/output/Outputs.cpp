#include "output/Outputs.h"

#include "output/LiveOutput.h"
#include "output/Mp3Output.h"
#include "output/WavOutput.h"

namespace svt::output {

Outputs::Outputs() {
    devices_[kLive] = std::make_unique<LiveOutput>();
    devices_[kWav] = std::make_unique<WavOutput>();
    devices_[kMp3] = std::make_unique<Mp3Output>();
}

std::optional<size_t> Outputs::select(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (size_t i = 0; i < kCount; ++i) {
        if (devices_[i]->idCharacter != text[0]) continue;
        int32_t encoding = devices_[i]->encoding;
        if (!applyEncodingLetters(text.substr(1), encoding)) return std::nullopt;
        devices_[i]->encoding = encoding;
        return i;
    }
    return std::nullopt;
}

void Outputs::replace(std::unique_ptr<OutputDevice> device) {
    for (auto& d : devices_)
        if (d->idCharacter == device->idCharacter) {
            d = std::move(device);
            return;
        }
}

}  // namespace svt::output
