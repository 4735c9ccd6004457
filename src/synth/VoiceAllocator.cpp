#include "synth/VoiceAllocator.h"

#include <algorithm>

namespace svt {

namespace {

// Channel of a slot taken for a note whose voice has not started yet.
constexpr uint8_t kReservedChannel = 0xFF;

}  // namespace

void VoiceAllocator::reset(bool keepDying) {
    for (Voice& v : voices_)
        if (!keepDying || v.status != kVoiceDying) v = Voice{};
    for (Voice& v : fades_)
        if (!keepDying || v.status != kVoiceDying) v = Voice{};
    clearAllPairing();
    if (keepDying)
        lowerUpperBound();
    else
        upperBound_ = 0;
    cutNotes_ = lostNotes_ = 0;
}

int VoiceAllocator::reserve(int c, int key, const ChannelState& ch, bool drum) {
    const AlternateAssignTable* groups = drum ? ch.alternateAssign : nullptr;
    const uint8_t group = groups ? groups->group[size_t(key & 0x7F)] : 0;
    int candidate = -1;
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (!v.inUse()) {
            if (candidate < 0) candidate = i;
            continue;
        }
        if (v.channel != c) continue;
        const bool sameKey = v.note == key;
        bool cut = ch.mono != 0;
        if (sameKey && (v.status == kVoiceSustained || v.status == kVoiceOff)) cut = true;
        if (group != 0 && v.drum && groups->group[v.note] == group) cut = true;
        if (sameKey && (ch.assignMode == 0 || (ch.assignMode == 1 && v.fresh == 0))) cut = true;
        if (cut) cutAndTell(listener_, v);
        if (sameKey) v.fresh = 0;
    }
    const int slot = candidate >= 0              ? candidate
                     : upperBound_ < voiceLimit_ ? upperBound_++
                                                 : steal();
    if (slot >= 0) {
        voices_[size_t(slot)].status = kVoiceOn;
        voices_[size_t(slot)].channel = kReservedChannel;
    }
    return slot;
}

int32_t VoiceAllocator::pairNoteOn(int c, int key) {
    return pairingHead_[size_t(c)][size_t(key)]++;
}

std::optional<int32_t> VoiceAllocator::pairNoteOff(int c, int key) {
    uint8_t& head = pairingHead_[size_t(c)][size_t(key)];
    uint8_t& tail = pairingTail_[size_t(c)][size_t(key)];
    if (head == tail) return std::nullopt;
    return tail++;
}

void VoiceAllocator::clearPairing(int c) {
    pairingHead_[size_t(c)].fill(0);
    pairingTail_[size_t(c)].fill(0);
}

void VoiceAllocator::clearAllPairing() {
    for (auto& row : pairingHead_) row.fill(0);
    for (auto& row : pairingTail_) row.fill(0);
}

int VoiceAllocator::voicesInUse() const {
    int n = 0;
    for (int i = 0; i < upperBound_; ++i) n += voices_[size_t(i)].inUse() ? 1 : 0;
    for (const Voice& v : fades_) n += v.inUse() ? 1 : 0;
    return n;
}

int VoiceAllocator::steal() {
    auto fixedDrum = [](const Voice& v) { return v.drum && v.region && v.region->fixedNote != 0; };
    auto quietest = [&](auto&& eligible) {
        int best = -1;
        for (int i = 0; i < upperBound_; ++i) {
            const Voice& v = voices_[size_t(i)];
            if (!v.inUse() || v.channel == kReservedChannel || !eligible(v)) continue;
            if (best < 0 || v.loudness() < voices_[size_t(best)].loudness()) best = i;
        }
        return best;
    };
    struct Rung {
        bool lost;
        bool (*eligible)(const Voice&, bool fixed);
    };
    static constexpr Rung kLadder[] = {
        {false, [](const Voice& v, bool fixed) { return v.status == kVoiceOff && !fixed; }},
        {false,
         [](const Voice& v, bool fixed) {
             return (v.status == kVoiceOff && !fixed) || v.status == kVoiceDying;
         }},
        {false, [](const Voice& v, bool) { return v.status == kVoiceSustained; }},
        {true, [](const Voice&, bool fixed) { return !fixed; }},
        {true, [](const Voice&, bool) { return true; }},
    };
    for (const Rung& rung : kLadder) {
        const int best = quietest([&](const Voice& v) { return rung.eligible(v, fixedDrum(v)); });
        if (best < 0) continue;
        (rung.lost ? lostNotes_ : cutNotes_) += 1;
        fadeOutInPlace(voices_[size_t(best)]);
        return best;
    }
    return -1;
}

void VoiceAllocator::fadeOutInPlace(Voice& victim) {
    // The note keeps sounding for a few frames in a fade slot, so its end does not click;
    // its own slot is free at once, and that is what is told.
    if (victim.status != kVoiceDying) tellStatus(listener_, victim, kVoiceFree);
    if (victim.loudness() > 0) {
        int fade = 0;
        for (int i = 0; i < kFadeSlots; ++i) {
            if (!fades_[size_t(i)].inUse()) {
                fade = i;
                break;
            }
            if (fades_[size_t(i)].loudness() < fades_[size_t(fade)].loudness()) fade = i;
        }
        fades_[size_t(fade)] = victim;
        fades_[size_t(fade)].status = kVoiceDying;
        fades_[size_t(fade)].resample.portamento = PortamentoHook{};
    }
    victim = Voice{};
}

void VoiceAllocator::setVoiceLimit(int voices) {
    voiceLimit_ = std::clamp(voices, 1, kMaxVoices);
}

namespace {

// Released or dying, and not a one-shot drum that still plays out.
bool reducible(const Voice& v) {
    if (v.status != kVoiceOff && v.status != kVoiceDying) return false;
    if (v.chorusSide > 0) return false;  // the pair's second voice goes with its first
    const bool fixedDrum = v.drum && v.region && v.region->fixedNote != 0;
    return !fixedDrum || v.status == kVoiceDying;
}

}  // namespace

int VoiceAllocator::reducibleVoices() const {
    int n = 0;
    for (int i = 0; i < upperBound_; ++i) n += reducible(voices_[size_t(i)]) ? 1 : 0;
    return n;
}

int VoiceAllocator::cutQuietestReleased(int count) {
    int cut = 0;
    for (; cut < count; ++cut) {
        int best = -1;
        for (int i = 0; i < upperBound_; ++i) {
            const Voice& v = voices_[size_t(i)];
            if (!reducible(v)) continue;
            if (best < 0 || v.loudness() < voices_[size_t(best)].loudness()) best = i;
        }
        if (best < 0) break;
        fadeOutInPlace(voices_[size_t(best)]);
    }
    lowerUpperBound();
    return cut;
}

int VoiceAllocator::chorusSlot() {
    int slot = -1;
    for (int i = 0; i < voiceLimit_ && slot < 0; ++i)
        if (!voices_[size_t(i)].inUse()) slot = i;
    if (slot < 0) {
        for (int i = 0; i < upperBound_; ++i) {
            const Voice& v = voices_[size_t(i)];
            const bool fixedDrum = v.drum && v.region && v.region->fixedNote != 0;
            if (!v.inUse() || v.channel == kReservedChannel || v.status == kVoiceOn ||
                v.status == kVoiceDying || fixedDrum)
                continue;
            if (slot < 0 || v.loudness() < voices_[size_t(slot)].loudness()) slot = i;
        }
        if (slot < 0) return -1;
        fadeOutInPlace(voices_[size_t(slot)]);
    }
    upperBound_ = std::max(upperBound_, slot + 1);
    voices_[size_t(slot)].status = kVoiceOn;
    voices_[size_t(slot)].channel = kReservedChannel;
    return slot;
}

void VoiceAllocator::lowerUpperBound() {
    while (upperBound_ > 0 && !voices_[size_t(upperBound_ - 1)].inUse()) --upperBound_;
}

}  // namespace svt
