// The synthesizer's side of the effects: which channels need a buffer of their own, the
// sends from those buffers (and from the main block) into the effect buses, and the effect
// parameters that arrive as channel events.

#include <algorithm>
#include <cstdlib>

#include "song/Sysex.h"
#include "synth/Synthesizer.h"

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
        drumKeyMix_.assign(size_t(kDrumKeyBuffers) * 2 * kBlockFrames, 0);
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
    // The next song starts from the default level, so nothing of this one's echo carries over.
    for (ChannelState& ch : channels_) ch.reverbLevel = -1;
}

void Synthesizer::groupDrumKeys() {
    drumGroupsStale_ = false;
    drumGroupCount_ = 0;
    drumGroupChannels_ = 0;
    for (auto& keys : drumKeyGroup_) keys.fill(-1);
    for (int c = 0; c < kChannels; ++c) {
        if (!isDrum(c)) continue;
        const ChannelState& ch = channels_[size_t(c)];
        for (int key = 0; key < 128; ++key) {
            const DrumNoteState& d = ch.drumNotes[size_t(key)];
            if (!d.used || (d.reverbSend < 0 && d.chorusSend < 0 && d.delaySend < 0)) continue;
            const DrumKeyGroup want{int8_t(c), d.reverbSend, d.chorusSend, d.delaySend};
            // The same sends on this channel share a buffer; when every buffer is taken, the
            // key goes with the group of this channel whose sends are nearest to its own.
            int best = -1, bestDistance = 1 << 30;
            for (int g = 0; g < drumGroupCount_; ++g) {
                const DrumKeyGroup& k = drumGroups_[size_t(g)];
                if (k.channel != c) continue;
                const int distance = std::abs(k.reverb - want.reverb) +
                                     std::abs(k.chorus - want.chorus) +
                                     std::abs(k.delay - want.delay);
                if (distance < bestDistance) best = g, bestDistance = distance;
            }
            if (bestDistance != 0 && drumGroupCount_ < kDrumKeyBuffers) {
                best = drumGroupCount_++;
                drumGroups_[size_t(best)] = want;
            }
            if (best < 0) continue;
            drumKeyGroup_[size_t(c)][size_t(key)] = static_cast<int8_t>(best);
            drumGroupChannels_ |= 1u << c;
        }
    }
}

int64_t* Synthesizer::drumKeyTarget(const Voice& v) {
    const int g = drumKeyGroup_[size_t(v.channel & 15)][v.note & 127];
    if (g < 0) return destination_[size_t(v.channel & 15)];
    int64_t* buffer = drumKeyMix_.data() + size_t(g) * 2 * kBlockFrames;
    if (!((drumGroupsMixed_ >> g) & 1u)) {
        std::fill_n(buffer, routedValues_, int64_t{0});
        drumGroupsMixed_ |= 1u << g;
    }
    return buffer;
}

bool Synthesizer::routeChannels(int frames) {
    destination_.fill(mix_.data());
    ownBuffers_ = 0;
    ownInsertions_ = 0;
    drumKeysRouted_ = 0;
    drumGroupsMixed_ = 0;
    insertionUsed_ = false;
    if (effects_ == nullptr) return false;
    const bool reverb = effects_->busActive(BUS_REVERB), chorus = effects_->busActive(BUS_CHORUS),
               delay = effects_->busActive(BUS_DELAY), eq = effects_->busActive(BUS_EQ),
               insertion = effects_->insertionActive();
    const bool partEq = std::any_of(channels_.begin(), channels_.end(),
                                    [](const ChannelState& ch) { return ch.eqInUse; });
    ownInsertions_ = effects_->insertionChannels();
    if (!reverb && !chorus && !delay && !eq && !insertion && !partEq && ownInsertions_ == 0)
        return false;
    if (drumGroupsStale_) groupDrumKeys();
    drumKeysRouted_ = drumGroupChannels_ & drumMask_;
    routedValues_ = 2 * frames;

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
        const bool expired =
            ch.lastNoteFrame < 0 || renderedFrames_ - ch.lastNoteFrame >= sendFrames;
        const bool reverbAsMain = !reverb || reverbLevelOf(c) == defaultReverbLevel() ||
                                  (effects_->reverbMode() != 3 && expired);
        const bool direct = !(eq && ch.eqSwitch) && !ch.eqInUse && reverbAsMain &&
                            (!chorus || chorusLevelOf(c) < 1) && (!delay || ch.delayLevel < 1) &&
                            ch.dryLevel == 127 && !((ownInsertions_ >> c) & 1u);
        if (direct) continue;
        int64_t* buffer = channelMix_.data() + size_t(c) * 2 * kBlockFrames;
        std::fill_n(buffer, values, int64_t{0});
        destination_[size_t(c)] = buffer;
        ownBuffers_ |= 1u << c;
    }
    return true;
}

void Synthesizer::sendBuffer(int c, int64_t* buffer, int values, int reverbLevel, int chorusLevel,
                             int delayLevel) {
    const ChannelState& ch = channels_[size_t(c)];
    const int64_t sendFrames = int64_t(kReverbSendSeconds) * settings_.outputRateHz;
    const bool recent = ch.lastNoteFrame >= 0 && renderedFrames_ - ch.lastNoteFrame < sendFrames;
    if (chorusLevel > 0 && effects_->busActive(BUS_CHORUS))
        effects_->send(BUS_CHORUS, buffer, values, chorusLevel);
    if (delayLevel > 0 && effects_->busActive(BUS_DELAY))
        effects_->send(BUS_DELAY, buffer, values, delayLevel);
    if (reverbLevel > 0 && recent && effects_->busActive(BUS_REVERB))
        effects_->send(BUS_REVERB, buffer, values, reverbLevel);
    if (effects_->busActive(BUS_EQ) && ch.eqSwitch) {
        effects_->send(BUS_EQ, buffer, values, 127);
    } else if (ch.dryLevel == 127) {
        for (int i = 0; i < values; ++i) mix_[size_t(i)] += buffer[i];
    } else {
        const int64_t dry = std::max<int>(ch.dryLevel, 0);
        for (int i = 0; i < values; ++i) mix_[size_t(i)] += buffer[i] * dry / 127;
    }
}

void Synthesizer::sendEffects(int frames) {
    const int values = 2 * frames;
    // The main block carries every channel at the default reverb level.
    if (effects_->busActive(BUS_REVERB))
        effects_->send(BUS_REVERB, mix_.data(), values, defaultReverbLevel());
    if (insertionUsed_) effects_->insertion(insertionMix_.data(), values, mix_.data());

    for (int c = 0; c < kChannels; ++c) {
        if (!((ownBuffers_ >> c) & 1u)) continue;
        int64_t* buffer = channelMix_.data() + size_t(c) * 2 * kBlockFrames;
        if (channels_[size_t(c)].eqInUse) effects_->channelEq(c, buffer, values);
        if ((ownInsertions_ >> c) & 1u) effects_->insertInto(c, buffer, values);
        sendBuffer(c, buffer, values, reverbLevelOf(c), chorusLevelOf(c),
                   channels_[size_t(c)].delayLevel);
    }
    // Drum keys with sends of their own: a key's -1 is its channel's level, and a fixed
    // level of the engine's reverb or chorus mode holds for the keys too.
    for (int g = 0; g < drumGroupCount_; ++g) {
        if (!((drumGroupsMixed_ >> g) & 1u)) continue;
        const DrumKeyGroup& k = drumGroups_[size_t(g)];
        const int c = k.channel;
        const int reverbLevel =
            k.reverb >= 0 && effects_->reverbMode() >= 0 ? k.reverb : reverbLevelOf(c);
        const int chorusLevel =
            k.chorus >= 0 && effects_->chorusMode() == 1 ? k.chorus : chorusLevelOf(c);
        const int delayLevel = k.delay >= 0 ? k.delay : channels_[size_t(c)].delayLevel;
        sendBuffer(c, drumKeyMix_.data() + size_t(g) * 2 * kBlockFrames, values, reverbLevel,
                   chorusLevel, delayLevel);
    }
    effects_->process(mix_.data(), values);
}

void Synthesizer::effectParameter(const SongEvent& e) {
    if (effects_ == nullptr) return;
    const ChannelState& ch = channels_[size_t(e.channel & 15)];
    effects_->parameter(e.type, e.b, e.a & 0x7F, ch.pendingXgParameter, ch.pendingXgValue);
}

}  // namespace svt
