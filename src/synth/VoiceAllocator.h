#pragma once
// The table of 256 voices: which slot a new note gets, which sounding voices it cuts, which
// voice is stolen when every slot is taken, the fade slots where stolen voices die away, and
// the pairing that matches each note-off with its own note-on.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "base/Constants.h"
#include "synth/ChannelState.h"
#include "synth/Voice.h"

namespace svt {

class VoiceAllocator {
  public:
    // Stolen voices fade out here for a few frames while their slot already serves the new
    // note; when all are busy the quietest fade stops.
    static constexpr int kFadeSlots = 32;

    // Every voice and fade free, the pairing and the counts of cut notes cleared. Nobody is
    // told: a reset starts from silence. With `keepDying` the voices already fading out
    // finish their fade (they were told when they were cut).
    void reset(bool keepDying = false);
    // Told of the voices this table cuts and frees (none by default).
    void setListener(SynthesisListener* listener) { listener_ = listener; }

    // Takes a slot for one voice of a note of `key` on channel `c` (settings `ch`), first
    // cutting the channel's voices the note replaces. The slot is reserved: in use, but of no
    // channel until its voice starts, so that no later slot of the same note steals it.
    // -1 when nothing can be had.
    int reserve(int c, int key, const ChannelState& ch, bool drum);

    // The pairing number of a note-on of `key` on `c`; a note-off takes the oldest one not
    // yet taken, none when every note-on of the key has had its note-off.
    int32_t pairNoteOn(int c, int key);
    std::optional<int32_t> pairNoteOff(int c, int key);
    // Forgets the channel's open note-ons (all notes or sounds off).
    void clearPairing(int c);
    void clearAllPairing();

    // The slots below the upper bound: every voice in use is among them.
    std::span<Voice> active() { return std::span(voices_).first(size_t(upperBound_)); }
    std::span<const Voice> active() const { return std::span(voices_).first(size_t(upperBound_)); }
    std::span<Voice> fades() { return fades_; }
    std::span<const Voice> voices() const { return voices_; }
    Voice& voice(int slot) { return voices_[size_t(slot)]; }
    int voicesInUse() const;
    // Lowers the upper bound past the free slots at its top.
    void lowerUpperBound();

    // Live playback that falls behind: the most voices that may sound (1..kMaxVoices), and
    // stopping up to `count` of the quietest released or dying voices; how many stopped.
    void setVoiceLimit(int voices);
    int voiceLimit() const { return voiceLimit_; }
    int cutQuietestReleased(int count);
    // A slot for the second voice of a surround-chorus pair: the first free one below the
    // voice limit, else the quietest voice that is released or held and no one-shot drum,
    // which is freed and told. -1 when there is none. The slot is reserved as reserve's are.
    int chorusSlot();
    int reducibleVoices() const;

    // Notes cut because their slot was needed: released voices first, then held ones.
    int cutNotes() const { return cutNotes_; }
    // Notes cut while they were still sounding at full strength (the ladder's last rungs).
    int lostNotes() const { return lostNotes_; }

  private:
    int steal();
    void fadeOutInPlace(Voice& victim);

    std::array<Voice, kMaxVoices> voices_{};
    std::array<Voice, kFadeSlots> fades_{};
    // Note pairing: head and tail counters per channel and key.
    std::array<std::array<uint8_t, 128>, kChannels> pairingHead_{};
    std::array<std::array<uint8_t, 128>, kChannels> pairingTail_{};
    int upperBound_ = 0;
    int voiceLimit_ = kMaxVoices;
    int cutNotes_ = 0;
    int lostNotes_ = 0;
    SynthesisListener* listener_ = nullptr;
};

}  // namespace svt
