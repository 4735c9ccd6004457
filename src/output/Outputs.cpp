#include "output/Outputs.h"

#include "output/CodecOutput.h"
#include "output/LiveOutput.h"
#include "output/Mp3Output.h"
#include "output/WavOutput.h"

namespace svt::output {

Outputs::Outputs(const Mp3Settings& mp3, const CodecSettings& codecs) {
    devices_[kLive] = std::make_unique<LiveOutput>();
    devices_[kWav] = std::make_unique<WavOutput>();
    auto mp3Output = std::make_unique<Mp3Output>();
    mp3Output->setSettings(mp3);
    devices_[kMp3] = std::move(mp3Output);
    devices_[kFlac] = std::make_unique<CodecOutput>(CodecKind::Flac, codecs);
    devices_[kVorbis] = std::make_unique<CodecOutput>(CodecKind::Vorbis, codecs);
    devices_[kOpus] = std::make_unique<CodecOutput>(CodecKind::Opus, codecs);
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

std::optional<size_t> chooseOutput(std::span<const OutputCandidate> outputs,
                                   std::optional<std::string_view> svtVariable,
                                   std::optional<size_t> frontEndChoice) {
    if (svtVariable && !svtVariable->empty()) {
        for (size_t i = 0; i < outputs.size(); ++i) {
            const OutputCandidate& o = outputs[i];
            if (o.id == svtVariable->front() && (!o.detect || o.detect())) return i;
        }
    }
    if (frontEndChoice && *frontEndChoice < outputs.size()) return frontEndChoice;
    for (size_t i = 0; i < outputs.size(); ++i)
        if (outputs[i].detect && outputs[i].detect()) return i;
    return std::nullopt;
}

}  // namespace svt::output
