#pragma once
// While a song is converted to sample time it follows every channel's bank, program
// and drum status exactly as the player will, and tells the instrument banks which
// slots its notes will sound, so that they are loaded before the first note.

namespace svt {

// Transposition a song's notes may still undergo after they are marked (the listener's key
// control, a part's key shift): the samples of keys this far away are prepared too.
inline constexpr int kMarkedNoteMargin = 12;

class InstrumentMarker {
  public:
    virtual ~InstrumentMarker() = default;
    // Whether the melodic bank (drum = false) or drum set (drum = true) exists; a
    // channel whose bank does not exist falls back to bank 0.
    virtual bool bankExists(bool drum, int bank) const = 0;
    // Melodic: slot = program; drum set: bank = drum-set number, slot = key.
    virtual void markForLoading(bool drum, int bank, int slot) = 0;
    // A note the song plays on that slot, with the key that sounds (a melodic part's key shift
    // applied) and its velocity; marks
    // the slot as markForLoading does, and lets the banks prepare only what such notes sound.
    virtual void markNote(bool drum, int bank, int slot, int key, int velocity) {
        (void)key;
        (void)velocity;
        markForLoading(drum, bank, slot);
    }
};

}  // namespace svt
