#include "instruments/InstrumentBanks.h"

#include <unordered_set>
#include <vector>

namespace svt {
namespace {
bool validSlot(int slot) {
    return slot >= 0 && slot < kSlotsPerBank;
}
}  // namespace

InstrumentBanks::InstrumentBanks(SoundFontRegistry& fonts) : fonts_(fonts) {
    ensureBank(false, 0);
    ensureBank(true, 0);
}

int InstrumentBanks::indexFonts() {
    int failed = fonts_.indexAll();
    for (const auto& f : fonts_.fonts()) {
        if (!f->usable()) continue;
        for (int b : f->melodicBanks()) ensureBank(false, b);
        for (int d : f->drumSets()) ensureBank(true, d);
    }
    return failed;
}

InstrumentBank* InstrumentBanks::bank(bool drum, int number) {
    if (number < 0 || number >= kBankTableSize) return nullptr;
    return table(drum)[static_cast<size_t>(number)].get();
}

const InstrumentBank* InstrumentBanks::bank(bool drum, int number) const {
    if (number < 0 || number >= kBankTableSize) return nullptr;
    return table(drum)[static_cast<size_t>(number)].get();
}

InstrumentBank* InstrumentBanks::ensureBank(bool drum, int number) {
    if (number < 0 || number >= kBankTableSize) return nullptr;
    auto& entry = table(drum)[static_cast<size_t>(number)];
    if (!entry) {
        entry = std::make_unique<InstrumentBank>();
        int& highest = drum ? highestDrum_ : highestMelodic_;
        highest = std::max(highest, number);
    }
    return entry.get();
}

bool InstrumentBanks::bankExists(bool drum, int number) const {
    return bank(drum, number) != nullptr;
}

void InstrumentBanks::markForLoading(bool drum, int number, int slot) {
    InstrumentBank* b = bank(drum, number);
    if (b == nullptr || !validSlot(slot)) return;
    InstrumentSlot& s = b->slots[static_cast<size_t>(slot)];
    if (s.state == SlotState::None) s.state = SlotState::LoadRequest;
}

void InstrumentBanks::markNote(bool drum, int number, int slot, int key, int velocity) {
    markForLoading(drum, number, slot);
    InstrumentBank* b = bank(drum, number);
    if (b == nullptr || !validSlot(slot)) return;
    InstrumentSlot& s = b->slots[static_cast<size_t>(slot)];
    if (s.state == SlotState::LoadRequest)
        s.notes.add(drum ? key : std::clamp(key + markedKeyOffset_, 0, 127), velocity);
}

const NoteSet* InstrumentBanks::filterFor(const NoteSet* notes) const {
    // An instrument kept from song to song must serve every note of the songs to come.
    if (!fonts_.settings().freeInstrumentsAfterSong || notes == nullptr || notes->empty())
        return nullptr;
    return notes;
}

std::shared_ptr<const Instrument> InstrumentBanks::loadInstrument(bool drum, int number, int slot,
                                                                  const NoteSet* notes) {
    InstrumentBank* b = bank(drum, number);
    if (b == nullptr || !validSlot(slot)) return nullptr;
    notes = filterFor(notes);
    std::shared_ptr<const Instrument> inst =
        drum ? fonts_.instrument(kPercussionBank, number, slot, notes)
             : fonts_.instrument(number, slot, kAnyKey, notes);
    if (!inst) return nullptr;
    b->slots[static_cast<size_t>(slot)].displayText = inst->displayName;
    return inst;
}

int InstrumentBanks::loadMarkedInstruments() {
    int failures = 0;
    int highest = std::max(highestMelodic_, highestDrum_);
    // Compressed samples are decoded on all cores first; the walk below then finds them.
    std::vector<SoundFontRegistry::BuildRequest> requests;
    for (int number = highest; number >= 0; --number) {
        for (bool drum : {false, true}) {
            const InstrumentBank* b = bank(drum, number);
            if (b == nullptr) continue;
            for (int slot = 0; slot < kSlotsPerBank; ++slot) {
                const InstrumentSlot& s = b->slots[static_cast<size_t>(slot)];
                if (s.state != SlotState::LoadRequest) continue;
                requests.push_back(drum ? SoundFontRegistry::BuildRequest{kPercussionBank, number,
                                                                          slot, filterFor(&s.notes)}
                                        : SoundFontRegistry::BuildRequest{number, slot, kAnyKey,
                                                                          filterFor(&s.notes)});
            }
        }
    }
    fonts_.decodeAhead(requests);
    for (int number = highest; number >= 0; --number) {
        for (bool drum : {false, true}) {
            InstrumentBank* b = bank(drum, number);
            if (b == nullptr) continue;
            for (int slot = 0; slot < kSlotsPerBank; ++slot) {
                InstrumentSlot& s = b->slots[static_cast<size_t>(slot)];
                if (s.state != SlotState::LoadRequest) continue;
                const NoteSet notes = s.notes;
                std::shared_ptr<const Instrument> inst = loadInstrument(drum, number, slot, &notes);
                if (inst) {
                    s.instrument = std::move(inst);
                    s.state = SlotState::Loaded;
                    s.notes = {};
                    continue;
                }
                ++failures;
                s.clear();
                if (number == 0) {
                    s.state = SlotState::Failed;
                } else {
                    InstrumentSlot& fallback = bank(drum, 0)->slots[static_cast<size_t>(slot)];
                    if (fallback.state == SlotState::None) fallback.state = SlotState::LoadRequest;
                    if (fallback.state == SlotState::LoadRequest) fallback.notes.merge(notes);
                }
            }
        }
    }
    // The song's instruments hold what they play; room is made for them before it starts.
    fonts_.trimDecodedSamples();
    return failures;
}

const Instrument* InstrumentBanks::instrumentOnDemand(bool drum, int number, int slot) {
    if (!validSlot(slot)) return nullptr;
    InstrumentBank* b = ensureBank(drum, number);
    if (b == nullptr) return nullptr;
    InstrumentSlot& own = b->slots[static_cast<size_t>(slot)];
    if (own.loaded()) return own.instrument.get();
    InstrumentSlot& base = bank(drum, 0)->slots[static_cast<size_t>(slot)];
    if (base.state == SlotState::None || base.state == SlotState::LoadRequest) {
        std::shared_ptr<const Instrument> inst = loadInstrument(drum, 0, slot);
        base.clear();
        if (inst) {
            base.instrument = std::move(inst);
            base.state = SlotState::Loaded;
        }
    }
    if (!base.loaded()) {
        base.clear();
        base.state = SlotState::Failed;
        return nullptr;
    }
    if (number != 0) {
        own.displayText = base.displayText;
        own.instrument = base.instrument;
        own.state = SlotState::Loaded;
    }
    return base.instrument.get();
}

const Instrument* InstrumentBanks::loadedInstrument(bool drum, int number, int slot) const {
    if (!validSlot(slot)) return nullptr;
    const InstrumentBank* b = bank(drum, number);
    if (b != nullptr && b->slots[static_cast<size_t>(slot)].loaded()) {
        return b->slots[static_cast<size_t>(slot)].instrument.get();
    }
    const InstrumentSlot& base = bank(drum, 0)->slots[static_cast<size_t>(slot)];
    return base.loaded() ? base.instrument.get() : nullptr;
}

void InstrumentBanks::freeAllInstruments() {
    for (bool drum : {false, true}) {
        for (auto& b : table(drum)) {
            if (!b) continue;
            for (InstrumentSlot& s : b->slots) s.clear();
        }
    }
}

void InstrumentBanks::songEnded() {
    if (fonts_.settings().freeInstrumentsAfterSong) freeAllInstruments();
    fonts_.trimDecodedSamples();
}

const std::string* InstrumentBanks::instrumentName(bool drum, int number, int slot) const {
    if (!validSlot(slot)) return nullptr;
    const InstrumentBank* b = bank(drum, number);
    if (b != nullptr && b->slots[static_cast<size_t>(slot)].displayText) {
        return &*b->slots[static_cast<size_t>(slot)].displayText;
    }
    const InstrumentSlot& base = bank(drum, 0)->slots[static_cast<size_t>(slot)];
    return base.displayText ? &*base.displayText : nullptr;
}

size_t InstrumentBanks::loadedPcmBytes() const {
    std::unordered_set<const Instrument*> seen;
    size_t bytes = 0;
    for (bool drum : {false, true}) {
        for (const auto& b : table(drum)) {
            if (!b) continue;
            for (const InstrumentSlot& s : b->slots) {
                if (s.loaded() && seen.insert(s.instrument.get()).second)
                    bytes += s.instrument->pcmBytes;
            }
        }
    }
    return bytes;
}

int InstrumentBanks::loadedInstrumentCount() const {
    std::unordered_set<const Instrument*> seen;
    for (bool drum : {false, true}) {
        for (const auto& b : table(drum)) {
            if (!b) continue;
            for (const InstrumentSlot& s : b->slots) {
                if (s.loaded()) seen.insert(s.instrument.get());
            }
        }
    }
    return static_cast<int>(seen.size());
}

}  // namespace svt
