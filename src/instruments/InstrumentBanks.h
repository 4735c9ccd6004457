#pragma once
// The tables through which the player finds a channel's instrument: melodic banks by
// bank number and drum sets by drum-set number, 128 slots each. The song conversion
// marks the slots a song needs (InstrumentMarker); they are loaded before the song
// plays, missing ones on demand, and a bank other than 0 falls back to bank 0.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "instruments/Instrument.h"
#include "instruments/NoteSet.h"
#include "instruments/SoundFontRegistry.h"
#include "song/InstrumentMarker.h"

namespace svt {

// Bank numbers 0..127 and the mapped banks the system-exclusive interpretation adds
// above them.
inline constexpr int kBankTableSize = 384;
inline constexpr int kSlotsPerBank = 128;

enum class SlotState : uint8_t {
    None,         // not loaded; in a bank other than 0 this means bank 0's slot stands in
    LoadRequest,  // wanted before the next song plays
    Failed,       // tried, nothing found; not tried again until the slot is cleared
    Loaded,       // `instrument` holds it
};

// A program's own settings in the bank (tuning, pan, level, envelopes, the channel's
// pedals and sends); zero means none. No font sets them and nothing applies them yet.
struct SlotAdjustments {
    int16_t tuneCents = 0;
    int16_t pan = 0;
    int16_t amplitudePercent = 0;
    std::array<int16_t, kEnvelopeStages> envelopeRate{};
    int16_t vibratoDepth = 0;
    int16_t vibratoRate = 0;
    int16_t tremoloDepth = 0;
    int16_t tremoloRate = 0;
    int8_t sustainDecaySeconds = 0;
    int8_t delayMs = 0;
    int8_t legato = 0;
    int8_t damperMode = 0;
    int8_t reverbSend = 0;
    int8_t chorusSend = 0;
    int8_t delaySend = 0;
};

struct InstrumentSlot {
    std::optional<std::string> displayText;  // name of the instrument loaded into the slot
    SlotState state = SlotState::None;
    // Set exactly when state is Loaded. A slot of bank b != 0 that falls back holds the
    // very instrument of bank 0's slot; it is freed with the last slot that holds it.
    std::shared_ptr<const Instrument> instrument;
    SlotAdjustments adjustments;
    // The notes the song marked while the slot waits for loading.
    NoteSet notes;

    bool loaded() const { return state == SlotState::Loaded; }
    void clear() {
        state = SlotState::None;
        instrument.reset();
        notes = {};
    }
};

struct InstrumentBank {
    std::array<InstrumentSlot, kSlotsPerBank> slots;  // melodic: by program; drum set: by key
};

class InstrumentBanks final : public InstrumentMarker {
  public:
    // The banks look instruments up in `fonts`, which must outlive them.
    explicit InstrumentBanks(SoundFontRegistry& fonts);

    // Indexes the registered fonts and creates the banks their presets use.
    int indexFonts();

    // Null when the bank does not exist (or the number is outside the table).
    InstrumentBank* bank(bool drum, int number);
    const InstrumentBank* bank(bool drum, int number) const;
    // Creates the zero-filled bank if needed; null only for a number outside 0..383.
    InstrumentBank* ensureBank(bool drum, int number);
    // Highest bank number that exists in the table (0 always exists).
    int highestBank(bool drum) const { return drum ? highestDrum_ : highestMelodic_; }

    // Loads every slot marked with a load request; returns the number of slots for
    // which nothing was found (fallback to bank 0 counts as one). Then trims the fonts'
    // decoded samples to their limit.
    int loadMarkedInstruments();
    // Builds the instrument for one slot from the fonts, without storing it. With `notes`
    // (and instruments freed after each song) the compressed samples no such note sounds are
    // left out.
    std::shared_ptr<const Instrument> loadInstrument(bool drum, int bank, int slot,
                                                     const NoteSet* notes = nullptr);
    // For a note that needs a slot that was not loaded: loads bank 0's slot if needed,
    // lets bank `bank` share it, and returns it; null when there is none.
    const Instrument* instrumentOnDemand(bool drum, int bank, int slot);
    // The instrument a slot holds, falling back to bank 0's slot; null when neither
    // is loaded. Never loads.
    const Instrument* loadedInstrument(bool drum, int bank, int slot) const;
    // Clears every marker and frees every instrument.
    void freeAllInstruments();
    // At the end of a song: frees everything when freeInstrumentsAfterSong is on, and trims
    // the fonts' decoded samples to their limit.
    void songEnded();
    // The slot's display text, falling back to bank 0's slot; null when neither has one.
    const std::string* instrumentName(bool drum, int bank, int slot) const;

    // InstrumentMarker
    bool bankExists(bool drum, int bank) const override;
    void markForLoading(bool drum, int bank, int slot) override;
    void markNote(bool drum, int bank, int slot, int key, int velocity) override;
    // The listener's transposition the marked melodic notes will sound at.
    void setMarkedKeyOffset(int keys) { markedKeyOffset_ = keys; }

    // Bytes of sample data held by loaded instruments (each counted once).
    size_t loadedPcmBytes() const;
    int loadedInstrumentCount() const;

  private:
    // The notes an instrument is built for, or null when it must serve every note.
    const NoteSet* filterFor(const NoteSet* notes) const;
    using Table = std::array<std::unique_ptr<InstrumentBank>, kBankTableSize>;
    Table& table(bool drum) { return drum ? drums_ : melodic_; }
    const Table& table(bool drum) const { return drum ? drums_ : melodic_; }

    SoundFontRegistry& fonts_;
    Table melodic_;
    Table drums_;
    int highestMelodic_ = 0;
    int highestDrum_ = 0;
    int markedKeyOffset_ = 0;
};

}  // namespace svt
