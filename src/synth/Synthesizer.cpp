#include "synth/Synthesizer.h"

#include <algorithm>
#include <cmath>

#include "instruments/InstrumentBanks.h"
#include "instruments/Tables.h"
#include "synth/RegionChoice.h"

namespace svt {

Synthesizer::Synthesizer(const EngineSettings& settings, InstrumentBanks& banks,
                         const PlayerControls& controls)
    : settings_(settings),
      banks_(banks),
      controls_(controls),
      channels_(settings_, *this),
      sends_(settings_, channels_),
      shaper_(settings_, channels_, sends_, controls),
      mixer_(settings_, shaper_),
      team_(settings_, shaper_, mixer_) {
    mixer_.resampler().setInterpolation(settings_.interpolation);
    resetChannels();
}

void Synthesizer::resetChannels() {
    channels_.resetChannels();
    allocator_.reset();
    appliedAmplification_ = controls_.amplification;
    if (EffectRack* rack = sends_.effects()) rack->resetEffects(channels_.systemMode());
}

void Synthesizer::systemReset() {
    // Wiping the voices would stop every sounding note within one frame: a click as loud as
    // the chord, and voices whose end nobody hears of.
    for (Voice& v : allocator_.active()) cutAndTell(listener_, v);
    channels_.resetChannels();
    allocator_.reset(true);
    appliedAmplification_ = controls_.amplification;
    if (EffectRack* rack = sends_.effects()) rack->resetEffects(channels_.systemMode());
}

void Synthesizer::setListener(SynthesisListener* listener) {
    listener_ = listener;
    allocator_.setListener(listener);
    shaper_.setListener(listener);
    team_.setListener(listener);
}

void Synthesizer::setMonoOutput(bool mono) {
    if (mono == sends_.monoOutput()) return;
    sends_.setMonoOutput(mono);
    relevelAll();
}

void Synthesizer::setEffects(EffectRack* rack) {
    channels_.setEffects(rack);
    sends_.setEffects(rack);
    if (rack != nullptr) rack->shareWith(team_.threads() > 1 ? &team_.workers() : nullptr);
}

void Synthesizer::clearEffectTails() {
    if (EffectRack* rack = sends_.effects()) rack->clearTails();
    // The next song starts from the default level, so nothing of this one's echo carries over.
    channels_.forgetReverbLevels();
}

void Synthesizer::applyEvent(const SongEvent& e, bool sounding) {
    if (!ChannelController::isLayeredEvent(e)) {
        applyToChannel(e, sounding);
        return;
    }
    // Every channel that layers the event's channel plays it as its own.
    const uint32_t receivers = channels_.receiversOf(e.channel);
    if (receivers == 1u << (e.channel & 15)) {
        applyToChannel(e, sounding);
        return;
    }
    for (int c = 0; c < kChannels; ++c) {
        if (!((receivers >> c) & 1u)) continue;
        SongEvent layered = e;
        layered.channel = static_cast<uint8_t>(c);
        applyToChannel(layered, sounding);
    }
}

void Synthesizer::applyToChannel(const SongEvent& e, bool sounding) {
    const int c = e.channel & 15;
    switch (e.type) {
        case EV_NOTE_ON:
            if (!sounding) break;
            if ((e.b & 0x7F) == 0)
                noteOff(c, e.a & 0x7F);
            else
                noteOn(c, e.a & 0x7F, e.b & 0x7F);
            break;
        case EV_NOTE_OFF:
            noteOff(c, e.a & 0x7F);
            break;
        case EV_RANDOM_PAN:
            channels_.apply(e);
            // The panel shows where the channel went, as it does for a pan controller.
            if (sounding) tellPanning(c);
            break;
        default:
            channels_.apply(e);
            break;
    }
}

ChannelProgram Synthesizer::channelProgram(int c) const {
    ChannelProgram info;
    if (c < 0 || c >= kChannels) return info;
    const ChannelState& ch = channels_.channel(c);
    info.program = ch.program;
    info.bank = (int32_t(uint8_t(ch.bankMsb)) << 16) | (int32_t(uint8_t(ch.bankLsb)) << 8) |
                int32_t(ch.bank & 0xFF);
    const bool drum = channels_.isDrum(c);
    // A drum set has an instrument per key: the first key that has one names the set.
    const std::string* name = nullptr;
    if (drum)
        for (int key = 0; key < kSlotsPerBank && !name; ++key)
            name = banks_.instrumentName(true, ch.bank, key);
    else
        name = banks_.instrumentName(false, ch.bank, std::max<int>(ch.program, 0));
    if (name) info.name = name->c_str();
    return info;
}

ChannelSummary Synthesizer::channelSummary(int c) const {
    ChannelSummary s;
    if (c < 0 || c >= kChannels) return s;
    const ChannelState& ch = channels_.channel(c);
    s.volume = ch.volume;
    s.expression = ch.expression;
    s.sustain = ch.sustain;
    s.modulationWheel = ch.modulationWheel;
    s.pitchBend = ch.pitchBend;
    s.panning = ch.panning < 0 ? 64 : ch.panning;
    s.chorusLevel = sends_.chorusLevelOf(c);
    s.reverbLevel = sends_.reverbLevelOf(c);
    return s;
}

void Synthesizer::tellPanning(int c) {
    if (listener_ != nullptr && c >= 0 && c < kChannels)
        listener_->panningChanged(c, channelSummary(c).panning);
}

const Instrument* Synthesizer::instrumentFor(int c, int key) {
    const ChannelState& ch = channels_.channel(c);
    const bool drum = channels_.isDrum(c);
    // Drum channels look the key up in the drum set; melodic ones the program in the bank.
    const int slot = drum ? key : std::max<int>(ch.program, 0);
    if (const Instrument* inst = banks_.loadedInstrument(drum, ch.bank, slot)) return inst;
    return banks_.instrumentOnDemand(drum, ch.bank, slot);
}

int Synthesizer::playedKey(int c, int key, const Instrument& inst) const {
    const uint8_t fixed = inst.regions.empty() ? 0 : inst.regions.front().fixedNote;
    if (channels_.isDrum(c)) return fixed ? fixed : key & 0x7F;
    if (fixed) return fixed;
    return std::clamp(key + channels_.channel(c).keyShift + controls_.noteKeyOffset, 0, 127);
}

namespace {

// The late voice of a surround-chorus pair starts this much after the other: near enough to
// be heard as one note, far enough to widen it.
constexpr int kChorusLateMs = 12;

// How far the second voice of a surround-chorus pair is detuned, in steps of 0.003 octave:
// about 7 cents at the bottom of the keyboard down to about 3.6 at the top, so that the two
// beat slowly everywhere.
double chorusDetune(int key) {
    return 2.0 - key / 127.0;
}

// The frequency a region sounds for a key placed at `note.frequency`: a region that spreads
// its keys wider or narrower than semitones does so around its centre key, and the
// temperament's departure from equal temperament comes on top.
int32_t regionFrequency(const SampleRegion& r, const TemperedNote& note) {
    if (r.scaleTuning == 1024) return note.frequency;
    const double scaled = double(noteFrequencyMilliHz(r.scaleCenterKey)) *
                          std::exp2((note.key - r.scaleCenterKey) * r.scaleTuning / 1024.0 / 12.0);
    const double tempered = double(note.frequency) / noteFrequencyMilliHz(note.key);
    return static_cast<int32_t>(std::lround(scaled * tempered));
}

}  // namespace

void Synthesizer::noteOn(int c, int key, int velocity) {
    const ChannelState& ch = channels_.channel(c);
    const bool drum = channels_.isDrum(c);
    const DrumNoteState& drumKey = ch.drumNotes[size_t(key)];
    if (drum && drumKey.used && !drumKey.receiveNoteOn) return;
    const Instrument* inst = instrumentFor(c, key);
    if (inst == nullptr || inst->regions.empty()) return;
    const int played = playedKey(c, key, *inst);
    if (played < ch.noteLimitLow || played > ch.noteLimitHigh) return;
    if (velocity < ch.velocityLimitLow || velocity > ch.velocityLimitHigh) return;

    channels_.noteSounding(c, renderedFrames_);
    const TemperedNote tempered = channels_.noteFrequency(c, played, controls_.temperamentIndex);
    const int n = tempered.key;
    std::array<const SampleRegion*, kMaxVoices> chosen{};
    const int count = chooseRegions(*inst, noteFrequencyMilliHz(n), velocity, chosen);

    const int32_t pairing = allocator_.pairNoteOn(c, key);
    if (controls_.channelMuteMask & (1u << c)) return;  // nothing of a muted channel is heard
    if (channels_.drawNotePan(c, key, drum)) tellPanning(c);
    // Every slot is taken before any voice starts, so that the note's own voices never cut
    // each other; a taken slot belongs to no channel until its voice starts.
    std::array<int16_t, kMaxVoices> slots{};
    int taken = 0;
    for (int i = 0; i < count; ++i) {
        const int slot = allocator_.reserve(c, n, ch, drum);
        if (slot < 0) break;
        slots[size_t(taken++)] = static_cast<int16_t>(slot);
    }
    // A glide runs from the channel's previous note while the portamento is on.
    const int32_t glide = channels_.glideTo(c, n);
    for (int i = taken - 1; i >= 0; --i) {
        Voice& v = allocator_.voice(slots[size_t(i)]);
        const SampleRegion& r = *chosen[size_t(i)];
        shaper_.start(v, r, c, n, velocity, regionFrequency(r, tempered), key);
        v.pairing = pairing;
        v.temperedKey = static_cast<uint8_t>(played);
        if (glide != 0 && v.inUse()) {
            v.portamentoOffset = glide;
            v.portamentoStep = ch.portamentoStep;
            v.resample.portamento =
                PortamentoHook{&VoiceShaper::portamentoStep, &v, ch.portamentoControlRatio, 0};
            shaper_.recomputeFrequency(v);
        }
        if (!v.inUse()) continue;
        tellStatus(listener_, v);
        if (settings_.surroundChorus) pairForChorus(slots[size_t(i)]);
    }
}

void Synthesizer::pairForChorus(int slot) {
    const int other = allocator_.chorusSlot();
    if (other < 0) return;
    Voice& original = allocator_.voice(slot);
    Voice& copy = allocator_.voice(other);
    copy = original;
    if (copy.resample.portamento.context == &original) copy.resample.portamento.context = &copy;
    Voice& first = slot < other ? original : copy;
    Voice& second = slot < other ? copy : original;
    for (Voice* v : {&first, &second})
        v->velocity = static_cast<uint8_t>(std::nearbyint(v->velocity * 0.7));
    first.chorusSide = -1;
    second.chorusSide = 1;
    // The far voice of a panned note, or either of a centred one, starts a little late.
    const int p = std::max(1, original.panning);
    Voice& late = p == 64  ? (channels_.random().below(2) == 0 ? first : second)
                  : p < 64 ? second
                           : first;
    const int32_t lateFrames = settings_.outputRateHz * kChorusLateMs / 1000;
    late.delay += lateFrames;
    late.tremoloDelay += lateFrames;
    late.modulationDelay += lateFrames;
    if (!second.drum) {
        second.chorusDetune = std::exp2(chorusDetune(second.note) * 0.003);
        shaper_.recomputeFrequency(second);
    }
    for (Voice* v : {&first, &second})
        if (v->inUse()) shaper_.recomputeAmplitude(*v);
    if (copy.inUse()) tellStatus(listener_, copy);
}

void Synthesizer::noteOff(int c, int key) {
    const ChannelState& ch = channels_.channel(c);
    const bool drum = channels_.isDrum(c);
    // Note-offs match the key struck, not the key sounded: a transposition or key shift that
    // changes while a note sounds must not leave it hanging.
    const Instrument* inst = drum ? banks_.loadedInstrument(true, ch.bank, key) : nullptr;
    if (drum && ch.drumNotes[size_t(key)].used && ch.drumNotes[size_t(key)].receiveNoteOff) {
        // A key that asks for note-offs still lets a one-shot drum play to its end.
        if (inst == nullptr || inst->regions.empty() ||
            !(inst->regions.front().modeFlags & kRegionLooping))
            return;
    }
    const std::optional<int32_t> pairing = allocator_.pairNoteOff(c, key);
    if (!pairing) return;
    for (Voice& v : allocator_.active()) {
        if (v.status != kVoiceOn || v.channel != c || v.eventKey != key || v.pairing != *pairing)
            continue;
        if (ch.sustain != 0) {
            v.status = kVoiceSustained;
            tellStatus(listener_, v);
        } else {
            shaper_.release(v);
        }
    }
}

void Synthesizer::releaseAllNotes() {
    for (Voice& v : allocator_.active())
        if (v.status == kVoiceOn || v.status == kVoiceSustained) shaper_.release(v);
}

void Synthesizer::cutAllVoices() {
    for (Voice& v : allocator_.active()) cutAndTell(listener_, v);
    allocator_.clearAllPairing();
}

template <typename Fn>
void Synthesizer::eachVoiceOf(int c, Fn&& fn) {
    for (Voice& v : allocator_.active())
        if (v.inUse() && v.channel == c) fn(v);
}

void Synthesizer::retune(int c) {
    eachVoiceOf(c, [&](Voice& v) { shaper_.recomputeFrequency(v); });
}

void Synthesizer::restartVibrato(int c) {
    eachVoiceOf(c, [&](Voice& v) {
        VibratoState& vib = v.resample.vibrato;
        vib.phase = 0;
        vib.sweepPosition = 0;
        vib.sweepStep = v.region ? v.region->pitchLfoSweepStep : 0;
        shaper_.recomputeFrequency(v);
        if (!v.inUse()) return;
        shaper_.recomputeFilter(v);
        shaper_.recomputeAmplitude(v);
    });
}

void Synthesizer::retemper(int c) {
    eachVoiceOf(c, [&](Voice& v) {
        if (v.region == nullptr || v.drum) return;
        const TemperedNote tempered =
            channels_.noteFrequency(c, v.temperedKey, controls_.temperamentIndex);
        v.baseFrequency = regionFrequency(*v.region, tempered);
        shaper_.recomputeFrequency(v);
    });
}

void Synthesizer::repress(int c, int key) {
    for (Voice& v : allocator_.active()) {
        if (v.status != kVoiceOn || v.channel != c || (key >= 0 && v.eventKey != key)) continue;
        shaper_.recomputeFrequency(v);
        if (!v.inUse()) continue;
        shaper_.recomputeFilter(v);
        shaper_.recomputeAmplitude(v);
    }
}

void Synthesizer::relevel(int c) {
    eachVoiceOf(c, [&](Voice& v) { shaper_.recomputeAmplitude(v); });
}

void Synthesizer::relevelAll() {
    for (Voice& v : allocator_.active())
        if (v.inUse()) shaper_.recomputeAmplitude(v);
}

void Synthesizer::refilter(int c) {
    // The level makes up for the filter's resonance peak.
    eachVoiceOf(c, [&](Voice& v) {
        shaper_.recomputeFilter(v);
        shaper_.recomputeAmplitude(v);
    });
}

void Synthesizer::retuneAndRelevel(int c) {
    eachVoiceOf(c, [&](Voice& v) {
        shaper_.recomputeFrequency(v);
        shaper_.recomputeAmplitude(v);
    });
}

void Synthesizer::repan(int c, int panning, bool keepDrumKeyPans) {
    const ChannelState& ch = channels_.channel(c);
    eachVoiceOf(c, [&](Voice& v) {
        if (keepDrumKeyPans && v.drum && ch.drumNotes[v.note].panning >= 0) return;
        v.panning = regionPanning(*v.region, panning);
        shaper_.recomputeAmplitude(v);
    });
}

void Synthesizer::repanDrumKey(int c, int key, int panning) {
    eachVoiceOf(c, [&](Voice& v) {
        if (!v.drum || v.note != key) return;
        v.panning = panning;
        shaper_.recomputeAmplitude(v);
    });
}

void Synthesizer::releaseSustained(int c) {
    for (Voice& v : allocator_.active())
        if (v.status == kVoiceSustained && v.channel == c) shaper_.release(v);
}

void Synthesizer::holdSounding(int c) {
    for (Voice& v : allocator_.active()) {
        if (v.channel != c || (v.status != kVoiceOn && v.status != kVoiceOff)) continue;
        // A voice already in its release goes back to the held stage at the level it has.
        if (v.status == kVoiceOff) {
            if (v.volume.stage > ENV_RELEASE1 && v.volume.stage < kEnvelopeStages)
                v.volume.stage = ENV_RELEASE1;
            if (v.modulation.stage > ENV_RELEASE1 && v.modulation.stage < kEnvelopeStages)
                v.modulation.stage = ENV_RELEASE1;
        }
        v.status = kVoiceSustained;
        shaper_.recomputeAmplitude(v);
        tellStatus(listener_, v);
    }
}

void Synthesizer::allNotesOff(int c, bool held) {
    for (Voice& v : allocator_.active()) {
        if (v.channel != c || v.status != kVoiceOn) continue;
        if (held) {
            v.status = kVoiceSustained;
            tellStatus(listener_, v);
        } else {
            shaper_.release(v);
        }
    }
    allocator_.clearPairing(c);
}

void Synthesizer::allSoundsOff(int c) {
    for (Voice& v : allocator_.active())
        if (v.channel == c) cutAndTell(listener_, v);
    allocator_.clearPairing(c);
}

void Synthesizer::stopGlides(int c) {
    eachVoiceOf(c, [&](Voice& v) {
        if (v.portamentoOffset == 0) return;
        v.portamentoOffset = 0;
        v.resample.portamento.controlRatio = 0;
        shaper_.recomputeFrequency(v);
    });
}

void Synthesizer::render(StereoView<int32_t> out) {
    const int frames = std::clamp(out.frames(), 0, kBlockFrames);
    const StereoView<int64_t> main(mix_.data(), frames);
    const double dry = sends_.dryLevel();
    if (controls_.amplification != appliedAmplification_ || dry != appliedDryLevel_) {
        appliedAmplification_ = controls_.amplification;
        appliedDryLevel_ = dry;
        relevelAll();
    }
    std::fill_n(mix_.begin(), 2 * frames, int64_t{0});
    // A channel keeps its reverb while anything of it sounds: a chord held for longer than
    // the send window is still heard in the room.
    for (const Voice& v : allocator_.active())
        if (v.inUse() && v.channel < kChannels)
            channels_.noteSounding(v.channel, renderedFrames_ + frames);
    const bool effects = sends_.route(main, renderedFrames_);
    team_.begin(frames);
    const std::span<Voice> active = allocator_.active();
    for (size_t slot = 0; slot < active.size(); ++slot) {
        Voice& v = active[slot];
        if (!v.inUse()) continue;
        if (controls_.channelMuteMask & (1u << v.channel)) {
            // Nothing of a muted channel reaches the block, not even a fade.
            team_.skip(int(slot), v);
            continue;
        }
        team_.add(int(slot), v, sends_.targetFor(v));
    }
    const std::span<Voice> fades = allocator_.fades();
    for (size_t slot = 0; slot < fades.size(); ++slot)
        if (fades[slot].inUse())
            team_.add(kMaxVoices + int(slot), fades[slot], sends_.targetFor(fades[slot]));
    team_.finish();
    allocator_.lowerUpperBound();
    if (effects) sends_.send(main, renderedFrames_);
    renderedFrames_ += frames;
    // Peaks above full scale are left to the output's limiter; only what 32 bits cannot hold
    // (thousands of loud voices at full amplification) is clamped here.
    for (int i = 0; i < 2 * frames; ++i)
        out[i] = static_cast<int32_t>(std::clamp<int64_t>(mix_[size_t(i)], -kMixLimit, kMixLimit));
}

}  // namespace svt
