#include "synth/EffectSends.h"

#include <algorithm>
#include <cstdlib>

namespace svt {

namespace {

// A channel that has not struck a note for this long stops feeding the reverb.
constexpr int kReverbSendSeconds = 4;
constexpr int kStandardReverbLevel = 40;

}  // namespace

EffectSends::EffectSends(const EngineSettings& settings, const ChannelController& channels)
    : settings_(settings), channels_(channels) {}

void EffectSends::setEffects(EffectRack* rack) {
    effects_ = rack;
    if (rack != nullptr && channelMix_.empty()) {
        channelMix_.assign(size_t(kChannels) * 2 * kBlockFrames, 0);
        insertionMix_.assign(size_t(2 * kBlockFrames), 0);
        drumKeyMix_.assign(size_t(kDrumKeyBuffers) * 2 * kBlockFrames, 0);
    }
    if (rack != nullptr) rack->resetEffects(channels_.systemMode());
}

double EffectSends::dryLevel() const {
    // With effects the dry signal leaves room for what they add; without, it plays louder.
    constexpr double kDryWithEffects = 0.7425, kDryAlone = 1.35;
    if (effects_ == nullptr || mono_) return kDryAlone;
    const bool heard = effects_->busActive(BUS_REVERB) || effects_->busActive(BUS_CHORUS) ||
                       effects_->busActive(BUS_DELAY) || effects_->busActive(BUS_EQ) ||
                       effects_->insertionActive() || effects_->insertionChannels() != 0;
    return heard ? kDryWithEffects : kDryAlone;
}

int EffectSends::defaultReverbLevel() const {
    if (effects_ == nullptr) return kStandardReverbLevel;
    const ReverbMode mode = effects_->reverbMode();
    return mode.levels == ReverbMode::Levels::Fixed ? mode.fixedLevel : kStandardReverbLevel;
}

int EffectSends::reverbLevelOf(int c) const {
    const int level = channels_.channel(c).reverbLevel;
    return level < 0 ? defaultReverbLevel() : level;
}

int EffectSends::chorusLevelOf(int c) const {
    const int mode = effects_ ? effects_->chorusMode() : 0;
    return mode == 1 ? channels_.channel(c).chorusLevel : std::max(0, -mode);
}

void EffectSends::groupDrumKeys() {
    drumGroupsMade_ = true;
    drumGroupsVersion_ = channels_.drumSendsVersion();
    drumGroupCount_ = 0;
    drumGroupChannels_ = 0;
    for (auto& keys : drumKeyGroup_) keys.fill(-1);
    for (int c = 0; c < kChannels; ++c) {
        if (!channels_.isDrum(c)) continue;
        const ChannelState& ch = channels_.channel(c);
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

int64_t* EffectSends::drumKeyTarget(const Voice& v) {
    const int g = drumKeyGroup_[size_t(v.channel & 15)][v.note & 127];
    if (g < 0) return destination_[size_t(v.channel & 15)];
    int64_t* buffer = drumKeyMix_.data() + size_t(g) * 2 * kBlockFrames;
    if (!((drumGroupsMixed_ >> g) & 1u)) {
        std::fill_n(buffer, 2 * routedFrames_, int64_t{0});
        drumGroupsMixed_ |= 1u << g;
    }
    return buffer;
}

bool EffectSends::route(StereoView<int64_t> main, int64_t renderedFrames) {
    destination_.fill(main.data());
    routedFrames_ = main.frames();
    ownBuffers_ = 0;
    ownInsertions_ = 0;
    drumKeysRouted_ = 0;
    drumGroupsMixed_ = 0;
    insertionUsed_ = false;
    if (effects_ == nullptr || mono_) return false;
    const bool reverb = effects_->busActive(BUS_REVERB), chorus = effects_->busActive(BUS_CHORUS),
               delay = effects_->busActive(BUS_DELAY), eq = effects_->busActive(BUS_EQ),
               insertion = effects_->insertionActive();
    const bool partEq = std::any_of(channels_.channels().begin(), channels_.channels().end(),
                                    [](const ChannelState& ch) { return ch.eqInUse; });
    ownInsertions_ = effects_->insertionChannels();
    if (!reverb && !chorus && !delay && !eq && !insertion && !partEq && ownInsertions_ == 0)
        return false;
    if (!drumGroupsMade_ || drumGroupsVersion_ != channels_.drumSendsVersion()) groupDrumKeys();
    drumKeysRouted_ = drumGroupChannels_ & channels_.drumChannelMask();

    const int64_t sendFrames = int64_t(kReverbSendSeconds) * settings_.outputRateHz;
    const size_t values = size_t(main.values());
    for (int c = 0; c < kChannels; ++c) {
        const ChannelState& ch = channels_.channel(c);
        if (insertion && ch.insertionSwitch) {
            if (!insertionUsed_) std::fill_n(insertionMix_.begin(), values, int64_t{0});
            insertionUsed_ = true;
            destination_[size_t(c)] = insertionMix_.data();
            continue;
        }
        const bool expired =
            ch.lastNoteFrame < 0 || renderedFrames - ch.lastNoteFrame >= sendFrames;
        // A channel that has not played for a while joins the main block and its default send,
        // except under the song's reverb at the channels' own levels: there it keeps its
        // buffer and sends nothing.
        const bool reverbAsMain = !reverb || reverbLevelOf(c) == defaultReverbLevel() ||
                                  (effects_->reverbMode() != ReverbMode(3) && expired);
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

void EffectSends::sendBuffer(int c, StereoView<int64_t> buffer, int64_t renderedFrames,
                             StereoView<int64_t> main, int reverbLevel, int chorusLevel,
                             int delayLevel) {
    const ChannelState& ch = channels_.channel(c);
    const int64_t sendFrames = int64_t(kReverbSendSeconds) * settings_.outputRateHz;
    const bool recent = ch.lastNoteFrame >= 0 && renderedFrames - ch.lastNoteFrame < sendFrames;
    if (chorusLevel > 0 && effects_->busActive(BUS_CHORUS))
        effects_->send(BUS_CHORUS, buffer, chorusLevel);
    if (delayLevel > 0 && effects_->busActive(BUS_DELAY))
        effects_->send(BUS_DELAY, buffer, delayLevel);
    if (reverbLevel > 0 && recent && effects_->busActive(BUS_REVERB))
        effects_->send(BUS_REVERB, buffer, reverbLevel);
    if (effects_->busActive(BUS_EQ) && ch.eqSwitch) {
        effects_->send(BUS_EQ, buffer, 127);
    } else if (ch.dryLevel == 127) {
        for (int i = 0; i < buffer.values(); ++i) main[i] += buffer[i];
    } else {
        const int64_t dry = std::max<int>(ch.dryLevel, 0);
        for (int i = 0; i < buffer.values(); ++i) main[i] += buffer[i] * dry / 127;
    }
}

void EffectSends::send(StereoView<int64_t> main, int64_t renderedFrames) {
    const int frames = main.frames();
    // The main block carries every channel at the default reverb level.
    if (effects_->busActive(BUS_REVERB)) effects_->send(BUS_REVERB, main, defaultReverbLevel());
    if (insertionUsed_) effects_->insertion({insertionMix_.data(), frames}, main);

    for (int c = 0; c < kChannels; ++c) {
        if (!((ownBuffers_ >> c) & 1u)) continue;
        const StereoView<int64_t> buffer(channelMix_.data() + size_t(c) * 2 * kBlockFrames, frames);
        if (channels_.channel(c).eqInUse) effects_->channelEq(c, buffer);
        if ((ownInsertions_ >> c) & 1u) effects_->insertInto(c, buffer);
        sendBuffer(c, buffer, renderedFrames, main, reverbLevelOf(c), chorusLevelOf(c),
                   channels_.channel(c).delayLevel);
    }
    // Drum keys with sends of their own: a key's -1 is its channel's level, and a fixed
    // level of the engine's reverb or chorus mode holds for the keys too.
    for (int g = 0; g < drumGroupCount_; ++g) {
        if (!((drumGroupsMixed_ >> g) & 1u)) continue;
        const DrumKeyGroup& k = drumGroups_[size_t(g)];
        const int c = k.channel;
        const int reverbLevel =
            k.reverb >= 0 && effects_->reverbMode().levels != ReverbMode::Levels::Fixed
                ? k.reverb
                : reverbLevelOf(c);
        const int chorusLevel =
            k.chorus >= 0 && effects_->chorusMode() == 1 ? k.chorus : chorusLevelOf(c);
        const int delayLevel = k.delay >= 0 ? k.delay : channels_.channel(c).delayLevel;
        sendBuffer(c, {drumKeyMix_.data() + size_t(g) * 2 * kBlockFrames, frames}, renderedFrames,
                   main, reverbLevel, chorusLevel, delayLevel);
    }
    effects_->process(main);
}

}  // namespace svt
