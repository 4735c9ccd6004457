// Plays arbitrary events on an arbitrary font through the synthesizer and the effects: the
// values a broken song or font can bring into the render path (absurd generators, extreme
// controllers, system-exclusive effect parameters, thousands of notes at once) must neither
// crash it nor leave the output's range.
//
// Input: a 16-bit little-endian font length, that many bytes of SoundFont, then records of
// four bytes (type, channel, a, b). Types 0..127 are song events; 200.. are actions of the
// player: render, reset into a system mode, cut or release every voice, empty the effects.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "effects/effects.h"
#include "instruments/instruments.h"
#include "song/SongEvent.h"
#include "synth/Synthesizer.h"

namespace {

// A synthesizer as the engine builds it, its effects bound. The effects' delay lines are
// large: one set serves every run, emptied and reset to their defaults first, as between songs.
struct Rig {
    explicit Rig(std::span<const uint8_t> font, svt::effects::SystemEffects& effects) {
        registry.registerBytes("fuzz.sf2", font);
        banks.indexFonts();
        effects.resetEffects(0);
        effects.clearTails();
        synth.setEffects(&effects);
    }
    svt::EngineSettings settings;
    svt::InstrumentSettings instrumentSettings{settings};
    svt::PlayerControls controls;
    svt::SoundFontRegistry registry{instrumentSettings};
    svt::InstrumentBanks banks{registry};
    svt::Synthesizer synth{settings, banks, controls};
};

void render(svt::Synthesizer& synth, int frames) {
    static int32_t out[2 * svt::kBlockFrames];
    synth.render({out, frames});
    for (int i = 0; i < 2 * frames; ++i)
        if (out[i] > svt::kMixLimit || out[i] < -svt::kMixLimit) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t fontBytes = std::min<size_t>(data[0] | (data[1] << 8), size - 2);
    static svt::effects::SystemEffects effects(svt::EngineSettings{}.outputRateHz,
                                               svt::effects::EffectOptions{});
    Rig rig(std::span<const uint8_t>(data + 2, fontBytes), effects);
    svt::Synthesizer& synth = rig.synth;
    synth.resetChannels();
    int rendered = 0;
    // Enough audio for envelopes and effects to move, little enough to keep runs quick.
    constexpr int kMostFrames = 4 * svt::kBlockFrames;
    for (size_t at = 2 + fontBytes; at + 4 <= size; at += 4) {
        const uint8_t type = data[at], channel = data[at + 1] & 15;
        uint8_t a = data[at + 2], b = data[at + 3];
        if (type < 128) {
            // The player hands the synthesizer only these; other types never reach it.
            if (!svt::isChannelEvent(type) && type != svt::EV_MASTER_VOLUME &&
                !(type >= svt::EV_SCALE_TYPE && type <= svt::EV_SYSEX_XG_MSB))
                continue;
            // A note-on with the high bit of its velocity set is one a seek replays silently.
            const bool sounding = type != svt::EV_NOTE_ON || (b & 0x80) == 0;
            // Channel messages of a MIDI file carry data bytes (0..127); the system-exclusive
            // interpreters make the other events, with any byte.
            if (type <= svt::EV_POLY) {
                a &= 0x7F;
                b &= 0x7F;
            }
            synth.applyEvent(svt::SongEvent{0, type, channel, a, b}, sounding);
            continue;
        }
        switch (type) {
            case 200: {
                const int frames = 1 + (a | (b << 8)) % svt::kBlockFrames;
                if (rendered + frames > kMostFrames) return 0;
                render(synth, frames);
                rendered += frames;
                break;
            }
            case 201:
                synth.setSystemMode(a % (svt::SYSTEM_XG_ON + 1));
                synth.resetChannels();
                break;
            case 202:
                synth.cutAllVoices();
                break;
            case 203:
                synth.releaseAllNotes();
                break;
            case 204:
                synth.clearEffectTails();
                break;
            case 205:
                synth.setVoiceLimit(1 + a);
                break;
            case 206:
                rig.controls.amplification = a % 201;
                break;
            case 207:
                rig.controls.noteKeyOffset = int(a % 49) - 24;
                break;
            default:
                break;
        }
    }
    if (rendered + svt::kBlockFrames <= kMostFrames) render(synth, svt::kBlockFrames);
    return 0;
}
