// The synthesizer's side of the effects: which channels need a buffer of their own, the
// sends from those buffers (and from the main block) into the effect buses, and the effect
// parameters that arrive as channel events.

#include <algorithm>

#include "player/Synthesizer.h"
#include "song/Sysex.h"

namespace svt {

namespace {

// A channel that has not struck a note for this long stops feeding the reverb.
constexpr int kReverbSendSeconds = 4;
constexpr int kStandardReverbLevel = 40;

}  // namespace

void Synthesizer::setEffects(EffectRack* rack) {
    effects_ = rack;
    if (rack != nullptr && channelMix_.empty()) {
        channelMix_.assign(size_t(kChannels) * 2 * kBlockFrames, 0);
        insertionMix_.assign(size_t(2 * kBlockFrames), 0);
    }
    if (rack != nullptr) rack->resetEffects(systemMode_);
}

int Synthesizer::defaultReverbLevel() const {
    const int mode = effects_ ? effects_->reverbMode() : 0;
    return mode < 0 ? (-mode & 0x7F) : kStandardReverbLevel;
}

int Synthesizer::reverbLevelOf(int c) const {
    const int level = channels_[size_t(c & 15)].reverbLevel;
    return level < 0 ? defaultReverbLevel() : level;
}

int Synthesizer::chorusLevelOf(int c) const {
    const int mode = effects_ ? effects_->chorusMode() : 0;
    return mode == 1 ? channels_[size_t(c & 15)].chorusLevel : std::max(0, -mode);
}

void Synthesizer::clearEffectTails() {
    if (effects_) effects_->clearTails();
}

bool Synthesizer::routeChannels(int frames) {
    destination_.fill(mix_.data());
    ownBuffers_ = 0;
    insertionUsed_ = false;
    if (effects_ == nullptr) return false;
    const bool reverb = effects_->busActive(BUS_REVERB), chorus = effects_->busActive(BUS_CHORUS),
               delay = effects_->busActive(BUS_DELAY), eq = effects_->busActive(BUS_EQ),
               insertion = effects_->insertionActive();
    const bool partEq = std::any_of(channels_.begin(), channels_.end(), [](const ChannelState& ch) { return ch.eqInUse; });
    if (!reverb && !chorus && !delay && !eq && !insertion && !partEq) return false;

    const int64_t sendFrames = int64_t(kReverbSendSeconds) * settings_.outputRateHz;
    const size_t values = size_t(2 * frames);
    for (int c = 0; c < kChannels; ++c) {
        const ChannelState& ch = channels_[size_t(c)];
        if (insertion && ch.insertionSwitch) {
            if (!insertionUsed_) std::fill_n(insertionMix_.begin(), values, int64_t{0});
            insertionUsed_ = true;
            destination_[size_t(c)] = insertionMix_.data();
            continue;
        }
        const bool expired = ch.lastNoteFrame < 0 || renderedFrames_ - ch.lastNoteFrame >= sendFrames;
        const bool reverbAsMain = !reverb || reverbLevelOf(c) == defaultReverbLevel() ||
                                  (effects_->reverbMode() != 3 && expired);
        const bool direct = !(eq && ch.eqSwitch) && !ch.eqInUse && reverbAsMain && (!chorus || chorusLevelOf(c) < 1) &&
                            (!delay || ch.delayLevel < 1) && ch.dryLevel == 127;
        if (direct) continue;
        int64_t* buffer = channelMix_.data() + size_t(c) * 2 * kBlockFrames;
        std::fill_n(buffer, values, int64_t{0});
        destination_[size_t(c)] = buffer;
        ownBuffers_ |= 1u << c;
    }
    return true;
}

void Synthesizer::sendEffects(int frames) {
    const int values = 2 * frames;
    const bool reverb = effects_->busActive(BUS_REVERB), chorus = effects_->busActive(BUS_CHORUS),
               delay = effects_->busActive(BUS_DELAY), eq = effects_->busActive(BUS_EQ);
    // The main block carries every channel at the default reverb level.
    if (reverb) effects_->send(BUS_REVERB, mix_.data(), values, defaultReverbLevel());
    if (insertionUsed_) effects_->insertion(insertionMix_.data(), values, mix_.data());

    const int64_t sendFrames = int64_t(kReverbSendSeconds) * settings_.outputRateHz;
    for (int c = 0; c < kChannels; ++c) {
        if (!((ownBuffers_ >> c) & 1u)) continue;
        const ChannelState& ch = channels_[size_t(c)];
        int64_t* buffer = channelMix_.data() + size_t(c) * 2 * kBlockFrames;
        if (ch.eqInUse) effects_->channelEq(c, buffer, values);
        if (chorus && chorusLevelOf(c) > 0) effects_->send(BUS_CHORUS, buffer, values, chorusLevelOf(c));
        if (delay && ch.delayLevel > 0) effects_->send(BUS_DELAY, buffer, values, ch.delayLevel);
        const bool recent = ch.lastNoteFrame >= 0 && renderedFrames_ - ch.lastNoteFrame < sendFrames;
        if (reverb && reverbLevelOf(c) > 0 && recent) effects_->send(BUS_REVERB, buffer, values, reverbLevelOf(c));
        if (eq && ch.eqSwitch) {
            effects_->send(BUS_EQ, buffer, values, 127);
        } else if (ch.dryLevel == 127) {
            for (int i = 0; i < values; ++i) mix_[size_t(i)] += buffer[i];
        } else {
            const int64_t dry = std::max<int>(ch.dryLevel, 0);
            for (int i = 0; i < values; ++i) mix_[size_t(i)] += buffer[i] * dry / 127;
        }
    }
    effects_->process(mix_.data(), values);
}

void Synthesizer::effectParameter(const SongEvent& e) {
    if (effects_ == nullptr) return;
    const ChannelState& ch = channels_[size_t(e.channel & 15)];
    effects_->parameter(e.type, e.b, e.a & 0x7F, ch.pendingXgParameter, ch.pendingXgValue);
}

}  // namespace svt
