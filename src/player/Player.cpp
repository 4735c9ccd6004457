#include "player/Player.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "instruments/InstrumentBanks.h"
#include "player/UserControls.h"
#include "song/ProgramChoice.h"
#include "song/SmfReader.h"
#include "song/SongInput.h"
#include "song/Sysex.h"

namespace svt {

namespace {

// A quarter note's length until a song's first tempo event: 120 beats per minute.
constexpr int kDefaultMicrosPerQuarter = 500000;

// How far the end-of-song scan looks ahead for a reason to go on.
constexpr int kEndScanEvents = 32;
// The end of a song plays on until every voice has ended and the output is this quiet
// (-90 dBFS), but no longer than the cap after the notes are released: then what is left
// fades out. Between live songs the listener waits for it, so the cap is shorter there.
constexpr double kQuietLevel = kFullScale * 3.1622776601683795e-5;
constexpr int kTailCapSeconds = 30;
// Between live songs the listener waits for the tail, so there it ends once it is inaudible
// against the song: 60 dB under the loudest the song was (the quiet level when that is lower).
constexpr double kInaudibleUnderSong = 1e-3;
constexpr int kLiveTailCapSeconds = 10;
constexpr int kStreamTailHalfSeconds = 3;
constexpr double kTailFadeSeconds = 0.05;

// Key code of a temperament key-signature event: -8..23, minor from 8 on.
int temperamentKeyOf(const SongEvent& event) {
    return (event.a + 8) % 32 - 8;
}

// A part told which channel or port to listen to starts over from its controller reset.
bool changesReceiveChannel(const SongEvent& event) {
    const uint8_t code = sysexValueOf(event).code;
    return (event.type == EV_SYSEX_GS_LSB &&
            (code == sysex_code::kGsReceiveChannel || code == sysex_code::kGsPortSelect)) ||
           (event.type == EV_SYSEX_XG_LSB && code == sysex_code::kXgReceiveChannel);
}

}  // namespace

Player::Player(SongInput& input, InstrumentBanks* banks, Synthesis& synthesis,
               ControlInterface& control, PlayerControls* controls)
    : input_(input),
      banks_(banks),
      synthesis_(synthesis),
      control_(&control),
      controls_(controls ? *controls : ownControls_),
      voiceBudget_(synthesis.voiceLimit()) {
    trace_.setDeliver([this](const PlayerNotice& n) { control_->event(n); });
    synthesis_.setListener(this);
}

Player::~Player() {
    synthesis_.setListener(nullptr);
}

void Player::voiceChanged(VoiceStatus status, int channel, int note, int velocity) {
    notify(NoticeNote, true, static_cast<int32_t>(status), channel, note, velocity);
}

void Player::panningChanged(int channel, int panning) {
    notify(NoticePanning, true, channel, panning);
}

void Player::channelNotices(int c, bool deferred) {
    const ChannelSummary s = synthesis_.channelSummary(c);
    notify(NoticeVolume, deferred, c, s.volume);
    notify(NoticeExpression, deferred, c, s.expression);
    notify(NoticeSustain, deferred, c, s.sustain);
    notify(NoticeModWheel, deferred, c, s.modulationWheel);
    notify(NoticePitchBend, deferred, c, s.pitchBend);
    programNotice(c, deferred);
    notify(NoticeTemperType, deferred, c, s.temperamentType);
    notify(NoticeMute, deferred, c, int32_t((controls_.channelMuteMask >> c) & 1u));
    notify(NoticeChorusLevel, deferred, c, s.chorusLevel);
    notify(NoticeReverbLevel, deferred, c, s.reverbLevel);
}

int Player::rate() const {
    return sink_ ? sink_->rate() : kDefaultOutputRateHz;
}

int64_t Player::sampleTimeOf(const SongEvent& event) const {
    return static_cast<int64_t>(static_cast<double>(event.time) * controls_.timeRatio + 0.5);
}

int32_t Player::songSeconds(int64_t samples) const {
    return static_cast<int32_t>(static_cast<double>(samples) / (rate() * controls_.timeRatio));
}

void Player::notify(int code, bool deferred, int32_t a1, int32_t a2, int32_t a3, int32_t a4) {
    PlayerNotice notice;
    notice.code = code;
    notice.args[0] = a1;
    notice.args[1] = a2;
    notice.args[2] = a3;
    notice.args[3] = a4;
    deliver(notice, deferred);
}

void Player::deliver(const PlayerNotice& notice, bool deferred) {
    if (deferred && control_->traces())
        trace_.push(currentSample_, notice);
    else
        control_->event(notice);
}

void Player::programNotice(int channel, bool deferred) {
    const ChannelProgram info = synthesis_.channelProgram(channel);
    PlayerNotice notice;
    notice.code = NoticeProgram;
    notice.args[0] = channel;
    notice.args[1] = info.program;
    notice.args[3] = info.bank;
    if (info.name) std::snprintf(notice.text, sizeof notice.text, "%s", info.name);
    deliver(notice, deferred);
}

void Player::timeNotice() {
    const int32_t seconds = songSeconds(currentSample_);
    const int voices = synthesis_.voicesInUse();
    if (seconds == lastSeconds_ && voices == lastVoices_) return;
    lastSeconds_ = seconds;
    lastVoices_ = voices;
    notify(NoticeCurrentTime, true, seconds, voices);
}

int64_t Player::heardPosition() {
    const int64_t played = sink_ ? sink_->playedFrames() : -1;
    return played < 0 ? -1 : played + trace_.offset();
}

int Player::playFile(const std::string& fileName, double timeRatio) {
    try {
        return playSong(fileName, timeRatio);
    } catch (const std::bad_alloc&) {
        // Whatever the song had taken is given back on the way here; the output drops its
        // file, and the next song starts from a clean state.
        events_ = {};
        synthesis_.setSong(nullptr);
        if (sink_) (void)sink_->control(OUT_REQ_PLAY_ABANDON, fileName);
        if (banks_) banks_->songEnded();
        resetSynthesis();
        lastError_ = "there is not enough memory to play it";
        notify(NoticePlayEnd, false, CmdError);
        return CmdError;
    }
}

int Player::playSong(const std::string& fileName, double timeRatio) {
    lastError_.clear();
    if (!sink_) {
        lastError_ = "no output";
        return CmdError;
    }
    const bool fromStandardInput = fileName == "-";
    // A song starts unpaused and at the default tempo: a pause or a tempo the last song ended
    // with would hold this one silent or show that song's tempo until its first tempo event.
    paused_ = false;
    tempo_ = kDefaultMicrosPerQuarter;
    song_ = input_.infos().find(fileName, true);
    {
        const int polled = pollLoadingCommands(fromStandardInput);
        if (isFinalResult(polled)) return polled;
    }
    controls_.timeRatio = 1.0;
    controls_.keySignature = options_.initialKeySignature.value_or(0);
    controls_.noteKeyOffset = std::clamp(options_.startKeyOffset, -kMaxKeyOffset, kMaxKeyOffset);
    controls_.channelMuteMask =
        (options_.temperamentMute & 1u) ? 0xFFFFFFFFu : options_.startMuteMask;
    restartPosition_ = 0;
    voiceBudget_.startSong();
    synthesis_.setReduceQuality(options_.reduceQuality);
    synthesis_.setVoiceLimit(voiceBudget_.remembered());

    notify(NoticeMetronome, false, 0, 0);
    notify(NoticeKeySignature, false, controls_.keySignature);
    notify(NoticeTemperKeySignature, false, 0);
    if (options_.forcedKeySignature) forceKeySignature();
    recomputeTemperamentIndex(controls_.keySignature);
    notify(NoticeKeyOffset, false, controls_.noteKeyOffset);
    notify(NoticeTempo, false, tempo_);
    for (int c = 0; c < kChannels; ++c) {
        notify(NoticeTemperType, false, c, 0);
        notify(NoticeMute, false, c, (controls_.channelMuteMask >> c) & 1u);
    }

    int result = CmdNone;
    do {
        control_->loading(fileName);
        notify(NoticeNowLoading, false);
        if (banks_) banks_->setMarkedKeyOffset(controls_.noteKeyOffset);
        auto read = input_.load(fileName, banks_);
        if (!read.ok()) {
            lastError_ = read.error().message;
            notify(NoticeLoadingDone, false, read.error().code == kSongCannotOpen ? -1 : 1);
            return CmdError;
        }
        song_ = input_.infos().find(fileName, true);
        // The reader cannot be interrupted; a command that came meanwhile may still drop the
        // song before its instruments are loaded.
        const int polled = pollLoadingCommands(fromStandardInput);
        if (isFinalResult(polled)) {
            notify(NoticeLoadingDone, false, 1);
            if (banks_) banks_->songEnded();
            return polled;
        }
        if (banks_) banks_->loadMarkedInstruments();
        notify(NoticeLoadingDone, false, 0);
        if (song_) systemMode_ = systemModeOfMaker(song_->makerId);
        synthesis_.setSong(song_);

        controls_.timeRatio =
            timeRatio > 0 ? std::clamp(timeRatio, kMinTimeRatio, kMaxTimeRatio) : 1.0;
        // The ratio the song starts with, the user's tempo included.
        timeRatioNotice();
        trace_.setOffset(0);
        const ConvertedSong& song = read->song;
        totalSamples_ = song.totalSamples;
        notify(NoticePlayStart, false,
               static_cast<int32_t>(std::min<int64_t>(scaledTotal(), INT32_MAX)));
        if (sink_->control(OUT_REQ_PLAY_START, fileName) < 0) {
            // The output could not start this song (a file that cannot be created): nothing
            // is played, so nothing half-written is taken for done.
            lastError_ = "the output could not be opened";
            result = CmdError;
        } else {
            result = playEvents(song.events, song.totalSamples);
            // Only a song played to its end finishes a file made for it.
            const int end = result == CmdTuneEnd ? OUT_REQ_PLAY_END : OUT_REQ_PLAY_ABANDON;
            if (sink_->control(end, fileName) < 0 && result == CmdTuneEnd) {
                lastError_ = "the output could not be completed";
                result = CmdError;
            }
        }
        notify(NoticePlayEnd, false, result);
        events_ = {};
        synthesis_.setSong(nullptr);
        if (banks_) banks_->songEnded();
    } while (result == CmdReload);
    return result;
}

int Player::playEvents(std::span<const SongEvent> events, int64_t totalSamples) {
    events_ = events;
    totalSamples_ = totalSamples;
    // Chance follows the song, never the clock: a song sounds the same in every run, whatever
    // was played before it.
    uint32_t seed = 2166136261u;
    for (const SongEvent& e : events)
        for (const uint32_t word : {uint32_t(e.time), uint32_t(e.type), uint32_t(e.channel),
                                    uint32_t(e.a), uint32_t(e.b)})
            seed = (seed ^ word) * 16777619u;
    songSeed_ = seed;
    checkEnd_ = true;
    lastSeconds_ = -1;
    lastVoices_ = -1;
    songPeak_ = 0;
    trackSongPeak_ = sink_->realTime() && !options_.realTimeMode;
    synthesis_.setSystemMode(systemMode_);
    resetSynthesis();

    // The last song's sound plays out first; a command that comes meanwhile belongs to it.
    int result = drainOutput(false);
    if (result != CmdNone && result != CmdJump) return result;

    seek(restartPosition_);
    if (restartPosition_ > 0) {
        // The front-end shows the channels as they are where the song goes on.
        for (int c = 0; c < kChannels; ++c) channelNotices(c, false);
    }
    if (events_.empty()) return CmdTuneEnd;
    result = CmdNone;
    while (result == CmdNone) {
        moved_ = false;
        result = applyEvent(events_[index_]);
        if (result != CmdNone) break;
        if (!moved_) ++index_;
        if (index_ >= events_.size()) {
            // A list always ends with its end event; one that does not ends here.
            result = playOutEnd();
            if (result == CmdJump) result = CmdNone;
        }
    }
    return result;
}

int Player::applyEvent(const SongEvent& event) {
    const int64_t at = sampleTimeOf(event);
    if (at > currentSample_) {
        const int result = render(at - currentSample_);
        if (result == CmdJump) {
            timeNotice();
            return CmdNone;
        }
        if (result != CmdNone) return result;
        notify(NoticeRefresh, false);
    }

    switch (event.type) {
        case EV_PROGRAM:
            applyToChannels(event, true);
            programNotice(event.channel, true);
            break;
        case EV_PITCH_BEND:
            applyToChannels(event, true);
            notify(NoticePitchBend, true, event.channel, pitchBendOf(event));
            break;
        case EV_MODULATION:
            applyToChannels(event, true);
            notify(NoticeModWheel, true, event.channel, event.a);
            break;
        case EV_VOLUME:
            applyToChannels(event, true);
            notify(NoticeVolume, true, event.channel, event.a);
            break;
        case EV_PAN:
            applyToChannels(event, true);
            notify(NoticePanning, true, event.channel, event.a);
            break;
        case EV_EXPRESSION:
            applyToChannels(event, true);
            notify(NoticeExpression, true, event.channel, event.a);
            break;
        case EV_SUSTAIN:
            applyToChannels(event, true);
            notify(NoticeSustain, true, event.channel, event.a);
            break;
        case EV_REVERB_SEND:
            applyToChannels(event, true);
            notify(NoticeReverbLevel, true, event.channel, event.a);
            break;
        case EV_CHORUS_SEND:
            applyToChannels(event, true);
            notify(NoticeChorusLevel, true, event.channel, event.a);
            break;
        case EV_DRUM_PART:
            applyToChannels(event, true);
            notify(NoticeDrumPart, true, event.channel, event.a ? 1 : 0);
            programNotice(event.channel, true);
            break;
        case EV_TEMPO:
            tempo_ = tempoOf(event);
            notify(NoticeTempo, true, tempo_);
            break;
        case EV_TEXT_GS_TRACK:
        case EV_LYRIC:
        case EV_MARKER:
        case EV_GS_DISPLAY_TEXT:
        case EV_TEXT:
        case EV_KARAOKE_TEXT:
            notify(NoticeLyric, true, stringIndexOf(event));
            break;
        case EV_GS_BITMAP:
            notify(NoticeGsLcd, true, stringIndexOf(event));
            break;
        case EV_SYSTEM_RESET:
            synthesis_.setSystemMode(event.a);
            synthesis_.systemReset();
            for (int c = 0; c < kChannels; ++c) channelNotices(c, true);
            break;
        case EV_BEAT_MARK:
            notify(NoticeMetronome, true, event.a + 256 * (event.b & 0x0F), event.b >> 4);
            break;
        case EV_KEY_SIGNATURE:
            if (!options_.initialKeySignature) {
                controls_.keySignature = keyCodeOf(event);
                notify(NoticeKeySignature, true, controls_.keySignature);
                if (options_.forcedKeySignature) {
                    forceKeySignature();
                    synthesis_.cutAllVoices();
                    notify(NoticeKeyOffset, true, controls_.noteKeyOffset);
                }
            }
            recomputeTemperamentIndex(controls_.keySignature);
            break;
        case EV_SCALE_TYPE: {
            applyToChannels(event, true);
            const int key = temperamentKeyOf(event);
            notify(NoticeTemperKeySignature, true, key);
            recomputeTemperamentIndex(key);
            break;
        }
        case EV_TEMPERAMENT_TYPE:
            applyToChannels(event, true);
            if (event.channel >= kChannels) break;
            notify(NoticeTemperType, true, event.channel, event.a);
            temperamentMute(event.channel, event.a);
            break;
        case EV_MASTER_TEMPERAMENT_TYPE:
            applyToChannels(event, true);
            for (int c = 0; c < kChannels; ++c) {
                notify(NoticeTemperType, true, c, event.a);
                temperamentMute(c, event.a);
            }
            break;
        case EV_END_OF_SONG: {
            // A command that moved the song while its end played out: it goes on from there.
            const int result = playOutEnd();
            return result == CmdJump ? CmdNone : result;
        }
        default:
            if (reachesSynthesizer(event.type)) applyToChannels(event, true);
            break;
    }
    // The front-end shows the channel as the reset left it.
    if (event.type == EV_RESET_CONTROLLERS || changesReceiveChannel(event))
        channelNotices(event.channel & 15, true);
    return CmdNone;
}

void Player::applyToChannels(const SongEvent& event, bool sounding) {
    // Layering, muting and the drum channels are the synthesizer's business: it owns the
    // channel state they depend on.
    synthesis_.applyEvent(event, sounding);
}

int Player::renderBlockPart(int frames) {
    const StereoView<int32_t> out(block_.data() + 2 * buffered_, frames);
    synthesis_.render(out);
    if (!playingOut_ && trackSongPeak_) {
        for (int i = 0; i < out.values(); ++i)
            songPeak_ = std::max<int64_t>(songPeak_, std::abs(int64_t{out[i]}));
    }
    if (playingOut_) {
        for (int i = 0; i < out.values(); ++i)
            tailPeak_ = std::max<int64_t>(tailPeak_, std::abs(int64_t{out[i]}));
        if (fadeFrames_ > 0) {
            // Down to silence in a straight line, and silent after it.
            for (int i = 0; i < frames; ++i, ++fadeAt_) {
                const double gain = std::max(0.0, 1.0 - double(fadeAt_) / double(fadeFrames_));
                out[2 * i] = static_cast<int32_t>(std::lrint(out[2 * i] * gain));
                out[2 * i + 1] = static_cast<int32_t>(std::lrint(out[2 * i + 1] * gain));
            }
        }
    }
    buffered_ += frames;
    currentSample_ += frames;
    return CmdNone;
}

int Player::render(int64_t frames) {
    if (frames == 0) {
        const int pending = buffered_;
        buffered_ = 0;
        if (pending > 0 && sink_->add({block_.data(), pending}) < 0) return CmdError;
        return CmdNone;
    }
    while (buffered_ + frames >= kBlockFrames) {
        const int polled = pollCommands();
        if (polled != CmdNone) return polled;
        const int part = kBlockFrames - buffered_;
        renderBlockPart(part);
        frames -= part;
        buffered_ = 0;
        adaptToQueue();
        if (sink_->add({block_.data(), kBlockFrames}) < 0) return CmdError;
        const bool atEnd = index_ < events_.size() && events_[index_].type == EV_END_OF_SONG;
        if (!atEnd) timeNotice();
        if (break_.load(std::memory_order_relaxed)) return CmdQuit;
        if (checkEnd_ && synthesis_.voicesInUse() == 0 && endOfSongScan() > 0) return playOutEnd();
    }
    if (frames > 0) renderBlockPart(static_cast<int>(frames));
    return CmdNone;
}

void Player::adaptToQueue() {
    if (!sink_->realTime() || sink_->prefilling()) return;
    const int64_t filled = sink_->filledFrames(), softFilled = sink_->softFilledFrames();
    const int64_t deviceQueue = sink_->deviceQueueFrames();
    // Short of a device queue's worth of audio ahead, the cheaper interpolation keeps up.
    const bool behind = deviceQueue > 0 && (filled + softFilled) * 100 < 99 * deviceQueue;
    synthesis_.setReduceQuality(behind || options_.reduceQuality);
    if (options_.reductionThreshold != 0 && deviceQueue > 0) {
        const BudgetMode mode{options_.realTimeMode, options_.adaptivePolyphony,
                              options_.reductionThreshold};
        voiceBudget_.afterBlock(synthesis_, {filled, softFilled, deviceQueue}, mode, rate(),
                                currentSample_);
    }
}

int Player::endOfSongScan() const {
    const size_t stop = std::min(events_.size(), index_ + kEndScanEvents);
    for (size_t i = index_; i < stop; ++i) {
        const uint8_t type = events_[i].type;
        if (type == EV_NOTE_ON) return 0;
        if (type == EV_END_OF_SONG) return static_cast<int>(i - index_) + 1;
    }
    return 0;
}

int Player::playOutEnd() {
    checkEnd_ = false;
    const bool realTime = options_.realTimeMode;
    if (realTime && currentSample_ == 0) {
        // A stream that ended before anything sounded leaves nothing to play out.
        resetSynthesis();
        return CmdTuneEnd;
    }
    const int64_t second = rate();
    // Until the last sample has been heard the song is the user's to command: anything but
    // CmdNone stops the play-out, a jump to go on from where it moved the song, a final
    // result to end it.
    int result = CmdNone;
    // Renders without the end-of-song check looking again. Returns whether anything rendered
    // reached the quiet level.
    const double quiet = trackSongPeak_
                             ? std::max(kQuietLevel, double(songPeak_) * kInaudibleUnderSong)
                             : kQuietLevel;
    auto step = [&](int64_t frames) {
        tailPeak_ = 0;
        if (result == CmdNone) result = render(frames);
        return tailPeak_ > quiet;
    };
    auto stopped = [&] { return result != CmdNone; };
    playingOut_ = true;
    // One second with the notes still held, then they are released.
    if (synthesis_.voicesInUse() > 0) {
        step(second);
        if (!stopped()) synthesis_.releaseAllNotes();
    }
    // The released voices and then the effects' tails die away: half a second at a time while
    // a voice sounds, then the silence the song ends with, which goes on in tenths until the
    // output is quiet. A stream goes on soon: three half seconds at most, 10 ms of silence.
    const int64_t cap = realTime            ? kStreamTailHalfSeconds * second / 2
                        : sink_->realTime() ? kLiveTailCapSeconds * second
                                            : kTailCapSeconds * second;
    const int64_t endSilence = realTime ? second * 10 / 1000 : kEndSilenceSeconds * second;
    int64_t tail = 0, silence = 0;
    bool loud = true;
    while (!stopped() && tail < cap) {
        int64_t frames = second / 2;
        // Voices that went on under the song's hearing for a whole step are not waited for.
        if (trackSongPeak_ && !loud && synthesis_.voicesInUse() > 0) synthesis_.cutAllVoices();
        if (synthesis_.voicesInUse() == 0) {
            if (silence >= endSilence && !loud) break;
            frames =
                silence < endSilence ? std::min(second / 10, endSilence - silence) : second / 10;
            silence += frames;
        }
        frames = std::min(frames, cap - tail);
        loud = step(frames);
        tail += frames;
    }
    if (!stopped() && (synthesis_.voicesInUse() > 0 || loud)) {
        // The cap is reached and something still sounds: it fades out instead of stopping.
        fadeFrames_ = std::max<int64_t>(1, std::llround(kTailFadeSeconds * second));
        fadeAt_ = 0;
        step(fadeFrames_);
        synthesis_.cutAllVoices();
        step(20);
    }
    playingOut_ = false;
    fadeFrames_ = 0;
    if (!stopped()) {
        // Emptied only now that nothing of them is heard, so the next song starts without echo.
        synthesis_.clearEffectTails();
        result = render(0);
    }
    if (!stopped()) {
        if (control_->traces()) {
            result = drainOutput(false);
        } else {
            trace_.deliverAll();
            result = drainOutput(true);
        }
    }
    if (result == CmdJump) {
        checkEnd_ = true;
        return CmdJump;
    }
    if (stopped()) {
        sink_->flush(true);
        return result;
    }
    return CmdTuneEnd;
}

void Player::seek(int64_t position) {
    trace_.deliverAll();
    if (currentSample_ > position) currentSample_ = 0;
    synthesis_.setSystemMode(systemMode_);
    resetSynthesis();
    synthesis_.seedRandom(songSeed_);
    buffered_ = 0;
    index_ = 0;
    tempo_ = kDefaultMicrosPerQuarter;
    if (position > 0) {
        while (index_ < events_.size() && events_[index_].type != EV_END_OF_SONG &&
               sampleTimeOf(events_[index_]) < position) {
            const SongEvent& e = events_[index_];
            if (e.type == EV_TEMPO)
                tempo_ = tempoOf(e);
            else if (e.type == EV_SYSTEM_RESET) {
                synthesis_.setSystemMode(e.a);
                resetSynthesis();
            } else if (e.type == EV_KEY_SIGNATURE) {
                if (!options_.initialKeySignature) controls_.keySignature = keyCodeOf(e);
                recomputeTemperamentIndex(controls_.keySignature);
            } else if (e.type == EV_SCALE_TYPE) {
                synthesis_.applyEvent(e, false);
                recomputeTemperamentIndex(temperamentKeyOf(e));
            } else if (reachesSynthesizer(e.type)) {
                synthesis_.applyEvent(e, false);
            }
            ++index_;
        }
    }
    currentSample_ = position;
    moved_ = true;
    notify(NoticeReset, false);
    trace_.setOffset(position);
}

int64_t Player::resynchronise(bool onlyIfHeard) {
    int64_t position = heardPosition();
    if (position < 0) {
        if (onlyIfHeard) return -1;
        position = currentSample_ - buffered_;
    }
    sink_->flush(true);
    seek(position);
    return position;
}

int64_t Player::positionNow() {
    const int64_t heard = heardPosition();
    return heard >= 0 ? heard : currentSample_ - buffered_;
}

int64_t Player::scaledTotal() const {
    return static_cast<int64_t>(static_cast<double>(totalSamples_) * controls_.timeRatio + 0.5);
}

void Player::timeRatioNotice() {
    notify(NoticeTimeRatio, false, static_cast<int32_t>(100.0 / controls_.timeRatio + 0.5));
}

void Player::resetSynthesis() {
    // The channels the user turned into drums (or back) come from the song's record.
    synthesis_.resetChannels();
}

void Player::recomputeTemperamentIndex(int keyCode) {
    controls_.temperamentIndex = temperamentIndexFor(keyCode, controls_.noteKeyOffset);
}

void Player::temperamentMute(int channel, int type) {
    if (options_.temperamentMute == 0) return;
    const int bit = type < 0x40 ? type : type - 0x40 + 4;
    const bool muted = bit >= 0 && bit < 32 && ((options_.temperamentMute >> bit) & 1u);
    const uint32_t mask = 1u << channel;
    controls_.channelMuteMask =
        muted ? controls_.channelMuteMask | mask : controls_.channelMuteMask & ~mask;
    notify(NoticeMute, true, channel, muted ? 1 : 0);
}

void Player::forceKeySignature() {
    controls_.noteKeyOffset = transpositionToKey(controls_.keySignature, controls_.noteKeyOffset,
                                                 *options_.forcedKeySignature);
}

}  // namespace svt
