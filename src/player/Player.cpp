#include "player/Player.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "instruments/InstrumentBanks.h"
#include "song/ProgramChoice.h"
#include "song/SmfReader.h"
#include "song/SongInput.h"
#include "song/Sysex.h"

namespace svt {

namespace {

// How far the end-of-song scan looks ahead for a reason to go on.
constexpr int kEndScanEvents = 32;
constexpr int EV_RESERVED_254 = 254;
// Transposition beyond this is far off the keyboard; the bound keeps the sums in range.
constexpr int kMaxKeyOffset = 256;
constexpr int kMaxAmplification = 200;
// One tempo step: 150/151 of the time per step.
constexpr double kSpeedStep = 0.99337748344371;
constexpr int kMaxSpeedSteps = 1000;
// Sample times stay far inside 64 bits and a song never collapses into one sample.
constexpr double kMinTimeRatio = 1.0 / 1024;
constexpr double kMaxTimeRatio = 1024.0;

int floorMod(int value, int divisor) {
    const int r = value % divisor;
    return r < 0 ? r + divisor : r;
}

// Key code of a key-signature event: sharps (negative: flats) -7..7, plus 16 for minor.
int keyCodeOf(const SongEvent& event) {
    const int sharps = std::clamp<int>(static_cast<int8_t>(event.a), -7, 7);
    return sharps + (event.b ? 16 : 0);
}

// Key code of a temperament key-signature event: -8..23, minor from 8 on.
int temperamentKeyOf(const SongEvent& event) {
    return (event.a + 8) % 32 - 8;
}

// A part told which channel or port to listen to starts over from its controller reset.
bool changesReceiveChannel(const SongEvent& event) {
    return (event.type == EV_SYSEX_GS_LSB &&
            (event.b == sysex_code::kGsReceiveChannel || event.b == sysex_code::kGsPortSelect)) ||
           (event.type == EV_SYSEX_XG_LSB && event.b == sysex_code::kXgReceiveChannel);
}

}  // namespace

Player::Player(SongInput& input, InstrumentBanks* banks, Synthesis& synthesis,
               ControlInterface& control, PlayerControls* controls)
    : input_(input),
      banks_(banks),
      synthesis_(synthesis),
      control_(&control),
      controls_(controls ? *controls : ownControls_),
      rememberedVoices_(synthesis.voiceLimit()) {
    trace_.setDeliver([this](const PlayerNotice& n) { control_->event(n); });
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

// --- Songs -----------------------------------------------------------------------------

int Player::playFile(const std::string& fileName, double timeRatio) {
    lastError_.clear();
    if (!sink_) {
        lastError_ = "no output";
        return CmdError;
    }
    const bool fromStandardInput = fileName == "-";
    song_ = input_.infos().find(fileName, true);
    {
        const int polled = pollLoadingCommands(fromStandardInput);
        if (isFinalResult(polled)) return polled;
    }
    controls_.timeRatio = 1.0;
    controls_.keySignature = options_.initialKeySignature != 8 ? options_.initialKeySignature : 0;
    controls_.noteKeyOffset = std::clamp(options_.startKeyOffset, -kMaxKeyOffset, kMaxKeyOffset);
    controls_.channelMuteMask =
        (options_.temperamentMute & 1u) ? 0xFFFFFFFFu : options_.startMuteMask;
    restartPosition_ = 0;
    synthesis_.setVoiceLimit(rememberedVoices_);

    notify(NoticeMetronome, false, 0, 0);
    notify(NoticeKeySignature, false, controls_.keySignature);
    notify(NoticeTemperKeySignature, false, 0);
    if (options_.forcedKeySignature != 8) forceKeySignature();
    recomputeTemperamentIndex(controls_.keySignature);
    notify(NoticeKeyOffset, false, controls_.noteKeyOffset);
    notify(NoticeTempo, false, tempo_);
    timeRatioNotice();
    for (int c = 0; c < kChannels; ++c) {
        notify(NoticeTemperType, false, c, 0);
        notify(NoticeMute, false, c, (controls_.channelMuteMask >> c) & 1u);
    }

    int result = CmdNone;
    do {
        control_->loading(fileName);
        notify(NoticeNowLoading, false);
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
    jumpPending_ = false;
    lastSeconds_ = -1;
    lastVoices_ = -1;
    synthesis_.setSystemMode(systemMode_);
    resetSynthesis();

    int result = sink_->flush(false);
    if (isFinalResult(result)) return result;

    seek(restartPosition_);
    if (restartPosition_ > 0) {
        // The front-end shows the channels as they are where the song goes on.
        for (int c = 0; c < kChannels; ++c)
            for (int code : {NoticeVolume, NoticeExpression, NoticeSustain, NoticeModWheel,
                             NoticePitchBend, NoticeProgram, NoticeTemperType, NoticeMute,
                             NoticeChorusLevel, NoticeReverbLevel})
                if (code == NoticeProgram)
                    programNotice(c, false);
                else
                    notify(code, false, c,
                           code == NoticeMute ? int32_t((controls_.channelMuteMask >> c) & 1u) : 0);
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
            notify(NoticePitchBend, true, event.channel, event.a + 128 * event.b);
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
        case EV_MASTER_VOLUME:
            synthesis_.applyEvent(event, true);
            break;
        case EV_SYSTEM_RESET:
            synthesis_.setSystemMode(event.a);
            resetSynthesis();
            break;
        case EV_BEAT_MARK:
            notify(NoticeMetronome, true, event.a + 256 * (event.b & 0x0F), event.b >> 4);
            break;
        case EV_KEY_SIGNATURE:
            if (options_.initialKeySignature == 8) {
                controls_.keySignature = keyCodeOf(event);
                notify(NoticeKeySignature, true, controls_.keySignature);
                if (options_.forcedKeySignature != 8) {
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
        case EV_END_OF_SONG:
            return playOutEnd();
        default:
            if (isChannelEvent(event.type) ||
                (event.type >= EV_SCALE_TYPE && event.type <= EV_SYSEX_XG_MSB))
                applyToChannels(event, true);
            break;
    }
    if (event.type == EV_RESET_CONTROLLERS || changesReceiveChannel(event)) {
        // The front-end shows the channel as the reset left it.
        const int c = event.channel;
        for (int code :
             {NoticeVolume, NoticeExpression, NoticeSustain, NoticeModWheel, NoticePitchBend,
              NoticeProgram, NoticeMute, NoticeChorusLevel, NoticeReverbLevel})
            code == NoticeProgram ? programNotice(c, true) : notify(code, true, c);
    }
    return CmdNone;
}

void Player::applyToChannels(const SongEvent& event, bool sounding) {
    // Layering, muting and the drum channels are the synthesizer's business: it owns the
    // channel state they depend on.
    synthesis_.applyEvent(event, sounding);
}

// --- Rendering -------------------------------------------------------------------------

int Player::renderBlockPart(int frames) {
    synthesis_.render(block_.data() + 2 * buffered_, frames);
    buffered_ += frames;
    currentSample_ += frames;
    return CmdNone;
}

int Player::render(int64_t frames) {
    if (frames == 0) {
        const int pending = buffered_;
        buffered_ = 0;
        if (pending > 0 && sink_->add(block_.data(), pending) < 0) return CmdError;
        return CmdNone;
    }
    while (buffered_ + frames >= kBlockFrames) {
        const int polled = pollCommands();
        if (polled != CmdNone) return polled;
        const int part = kBlockFrames - buffered_;
        renderBlockPart(part);
        frames -= part;
        buffered_ = 0;
        if (sink_->add(block_.data(), kBlockFrames) < 0) return CmdError;
        if (jumpPending_) {
            // A command handled while the output waited has moved the song.
            jumpPending_ = false;
            return CmdJump;
        }
        const bool atEnd = index_ < events_.size() && events_[index_].type == EV_END_OF_SONG;
        if (!atEnd) timeNotice();
        if (break_.load(std::memory_order_relaxed)) return CmdQuit;
        if (checkEnd_ && synthesis_.voicesInUse() == 0 && endOfSongScan() > 0) return playOutEnd();
    }
    if (frames > 0) renderBlockPart(static_cast<int>(frames));
    return CmdNone;
}

int Player::endOfSongScan() const {
    const size_t stop = std::min(events_.size(), index_ + kEndScanEvents);
    for (size_t i = index_; i < stop; ++i) {
        const uint8_t type = events_[i].type;
        if (type == EV_NOTE_ON || type == EV_RESERVED_254 || type == EV_SCRIPT_START ||
            type == EV_SCRIPT_EVENT)
            return 0;
        if (type == EV_END_OF_SONG) return static_cast<int>(i - index_) + 1;
    }
    return 0;
}

int Player::playOutEnd() {
    checkEnd_ = false;
    const int64_t second = rate();
    int result = CmdNone;
    // Renders without the end-of-song check looking again; a final result ends the song.
    auto step = [&](int64_t frames) {
        if (result == CmdNone || result == CmdJump) result = render(frames);
        return !isFinalResult(result);
    };
    if (synthesis_.voicesInUse() > 0) {
        if (step(second)) {
            synthesis_.releaseAllNotes();
            for (int i = 0; i < 6 && synthesis_.voicesInUse() > 0; ++i)
                if (!step(second / 2)) break;
        }
        if (!isFinalResult(result)) {
            synthesis_.cutAllVoices();
            step(20);
        }
    }
    // The second of silence lets the reverb and delay tails die away into it; only then are
    // they emptied for the next song. Emptied first, a loud tail would stop with a click.
    if (!isFinalResult(result) && step(second)) synthesis_.clearEffectTails();
    if (!isFinalResult(result)) result = render(0);
    if (!isFinalResult(result)) {
        if (control_->traces()) {
            result = sink_->flush(false);
        } else {
            trace_.deliverAll();
            result = sink_->softFlush();
        }
    }
    if (isFinalResult(result)) {
        sink_->flush(true);
        return result;
    }
    return CmdTuneEnd;
}

// --- Positions -------------------------------------------------------------------------

void Player::seek(int64_t position) {
    trace_.deliverAll();
    if (currentSample_ > position) currentSample_ = 0;
    synthesis_.setSystemMode(systemMode_);
    resetSynthesis();
    synthesis_.seedRandom(songSeed_);
    buffered_ = 0;
    index_ = 0;
    tempo_ = 500000;
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
                if (options_.initialKeySignature == 8) controls_.keySignature = keyCodeOf(e);
                recomputeTemperamentIndex(controls_.keySignature);
            } else if (e.type == EV_SCALE_TYPE) {
                synthesis_.applyEvent(e, false);
                recomputeTemperamentIndex(temperamentKeyOf(e));
            } else if (isChannelEvent(e.type) || e.type == EV_MASTER_VOLUME ||
                       (e.type >= EV_SCALE_TYPE && e.type <= EV_SYSEX_XG_MSB)) {
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

// --- User controls ---------------------------------------------------------------------

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
    int i = keyCode < 8 ? keyCode + 7 : keyCode - 9;
    int fifths = 0;
    // Walks the circle of fifths to C; a key code out of range stops after one round.
    for (int guard = 0; i != 7 && i != 19 && guard < 24; ++guard, ++fifths) i += i < 7 ? 5 : -7;
    controls_.temperamentIndex = floorMod(fifths + controls_.noteKeyOffset, 12);
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
    const int key = controls_.keySignature;
    const int forced = options_.forcedKeySignature;
    int& offset = controls_.noteKeyOffset;
    auto fifthUp = [](int i) { return i > 10 ? i - 5 : i + 7; };
    int i = key < 8 ? key + 7 : key - 6;
    offset = floorMod(offset, 12);
    for (int n = 0; n < offset; ++n) i = fifthUp(i);
    // A minor target is given as its key code (sharps + 16); its tonic sits three fifths
    // above the relative major's.
    const int target = forced < 8 ? forced + 7 : forced - 16 + 10;
    for (int guard = 0; i != target && i != target + 12 && guard < 24; ++guard) {
        if (++offset > 6) offset -= 12;
        i = fifthUp(i);
    }
}

void Player::transpose(int32_t semitones) {
    const int d = std::clamp<int32_t>(semitones, -kMaxKeyOffset, kMaxKeyOffset);
    controls_.temperamentIndex = floorMod(controls_.temperamentIndex + d, 12);
    controls_.noteKeyOffset =
        std::clamp(controls_.noteKeyOffset + d, -kMaxKeyOffset, kMaxKeyOffset);
}

int Player::changeTimeRatio(double ratio) {
    ratio = std::clamp(ratio, kMinTimeRatio, kMaxTimeRatio);
    resynchronise(false);
    const double old = controls_.timeRatio;
    controls_.timeRatio = ratio;
    currentSample_ = static_cast<int64_t>(static_cast<double>(currentSample_) * ratio / old + 0.5);
    trace_.setOffset(currentSample_);
    timeRatioNotice();
    return CmdJump;
}

void Player::changeVolume(int32_t delta) {
    const int64_t amplification = controls_.amplification;
    if (delta <= 0 && amplification <= -int64_t{delta})
        controls_.amplification = 0;
    else
        controls_.amplification =
            static_cast<int>(std::min<int64_t>(amplification + delta, kMaxAmplification));
    // The synthesizer follows the amplification at its next block: master gain and every
    // sounding voice's amplitude.
    notify(NoticeMasterVolume, false, controls_.amplification);
}

int Player::muteCommand(int code, int32_t channel) {
    uint32_t& mask = controls_.channelMuteMask;
    const bool valid = channel >= 0 && channel < kChannels;
    const uint32_t bit = valid ? 1u << channel : 0;
    if (code == CmdToggleMute) {
        if (!valid) return CmdNone;
        mask ^= bit;
        resynchronise(false);
        notify(NoticeMute, false, channel, (mask & bit) ? 1 : 0);
        return CmdJump;
    }
    if (code == CmdSoloPlay && !valid) return CmdNone;
    const uint32_t wanted = code == CmdSoloPlay ? ~bit : 0u;
    if (mask == wanted) return CmdNone;
    mask = wanted;
    resynchronise(false);
    for (int c = 0; c < kChannels; ++c) notify(NoticeMute, false, c, code == CmdSoloPlay ? 1 : 0);
    if (code == CmdSoloPlay) notify(NoticeMute, false, channel, 0);
    return CmdJump;
}

// --- Commands --------------------------------------------------------------------------

// One command during playback: CmdNone to read on, CmdJump when the song was moved (the
// caller reads on and reports the jump), anything else ends the polling with that result.
int Player::handleCommand(int code, int32_t argument, bool& jumped) {
    switch (code) {
        case CmdQuit:
        case CmdNext:
        case CmdReallyPrevious:
        case CmdLoadFile:
        case CmdTuneEnd:
        case CmdStop:
        case CmdEndSong:
            sink_->flush(true);
            return code;
        case CmdPrevious:
            sink_->flush(true);
            return currentSample_ >= 2 * static_cast<int64_t>(rate()) ? CmdRestart
                                                                      : CmdReallyPrevious;
        case CmdReload:
            restartPosition_ = positionNow();
            sink_->flush(true);
            return CmdReload;
        case CmdToggleDrumChannel: {
            if (argument < 0 || argument >= kChannels) return CmdNone;
            restartPosition_ = positionNow();
            const uint32_t bit = 1u << argument;
            // The user's choice holds for the whole song: its own drum-part changes no longer
            // touch the channel.
            if (song_) {
                song_->drumMask ^= bit;
                song_->drumMask2 ^= bit;
                song_->drumLock |= bit;
            }
            sink_->flush(true);
            return CmdReload;
        }
        case CmdJump:
            if (paused_) {
                restartPosition_ = std::max<int64_t>(0, argument);
                notify(NoticePause, false, 1, songSeconds(restartPosition_));
                return CmdNone;
            }
            sink_->flush(true);
            if (argument >= scaledTotal()) return CmdTuneEnd;
            seek(std::max<int64_t>(0, argument));
            notify(NoticeCurrentTime, false, songSeconds(currentSample_), 0);
            notify(NoticeRefresh, false);
            jumped = true;
            return CmdJump;
        case CmdRestart:
            if (paused_) {
                restartPosition_ = 0;
                notify(NoticePause, false, 1, 0);
                return CmdNone;
            }
            sink_->flush(true);
            seek(0);
            notify(NoticeCurrentTime, false, 0, 0);
            jumped = true;
            return CmdNone;
        case CmdTogglePause:
            if (!paused_) {
                restartPosition_ = positionNow();
                sink_->flush(true);
                paused_ = true;
            } else {
                paused_ = false;
                seek(restartPosition_);
            }
            notify(NoticePause, false, paused_ ? 1 : 0, songSeconds(restartPosition_));
            jumped = true;
            return CmdNone;
        case CmdChangeVolume:
            changeVolume(argument);
            return CmdNone;
        case CmdKeyUp:
        case CmdKeyDown:
            transpose(argument);
            // Notes already sounding keep their key unless the audio can be played again
            // from where it is heard.
            if (resynchronise(true) >= 0) jumped = true;
            notify(NoticeKeyOffset, false, controls_.noteKeyOffset);
            return CmdNone;
        case CmdSpeedUp:
        case CmdSpeedDown: {
            const int steps = code == CmdSpeedUp
                                  ? std::min<int32_t>(argument, kMaxSpeedSteps)
                                  : std::min<int64_t>(-int64_t{argument}, kMaxSpeedSteps);
            double factor = 1.0;
            for (int n = 0; n < steps; ++n) factor *= kSpeedStep;
            changeTimeRatio(code == CmdSpeedUp ? controls_.timeRatio * factor
                                               : controls_.timeRatio / factor);
            jumped = true;
            return CmdNone;
        }
        case CmdSetTempo:
            if (argument <= 0) return CmdNone;
            changeTimeRatio(static_cast<double>(referenceTempo_) / argument);
            jumped = true;
            return CmdNone;
        case CmdVoiceIncrease:
            synthesis_.setVoiceLimit(rememberedVoices_);
            resynchronise(false);
            jumped = true;
            return CmdNone;
        case CmdVoiceDecrease: {
            const int limit = std::max<int64_t>(
                0, int64_t{synthesis_.voiceLimit()} - std::max<int32_t>(argument, 0));
            synthesis_.setVoiceLimit(limit);
            const int excess = synthesis_.voicesInUse() - synthesis_.voiceLimit();
            if (excess > 0) synthesis_.cutQuietestReleased(excess);
            return CmdNone;
        }
        case CmdResyncEffects:
        case CmdResyncEffectTime:
            resynchronise(false);
            jumped = true;
            return CmdNone;
        case CmdSyncRestart:
            if (resynchronise(argument != 0) >= 0) jumped = true;
            return CmdNone;
        case CmdChangeRate:
            if (argument <= 0 || !sink_->changeRate(argument)) return CmdNone;
            restartPosition_ = positionNow();
            sink_->flush(true);
            return CmdReload;
        case CmdOutputChanged:
            restartPosition_ = positionNow();
            sink_->flush(true);
            sink_->outputChanged();
            return CmdReload;
        case CmdToggleMute:
        case CmdSoloPlay:
        case CmdMuteClear:
            if (muteCommand(code, argument) == CmdJump) jumped = true;
            return CmdNone;
        default:
            return CmdNone;  // codes without a meaning here are accepted and ignored
    }
}

int Player::pollCommands() {
    bool jumped = false;
    for (;;) {
        if (break_.load(std::memory_order_relaxed)) return CmdQuit;
        int32_t argument = 0;
        const int code = control_->read(argument);
        if (code == CmdNone) {
            if (!paused_) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            continue;
        }
        const int result = handleCommand(code, argument, jumped);
        if (result != CmdNone) return result;
    }
    return jumped ? CmdJump : CmdNone;
}

int Player::pollLoadingCommands(bool fromStandardInput) {
    if (fromStandardInput) return CmdNone;
    int32_t argument = 0;
    const int code = control_->read(argument);
    switch (code) {
        case CmdNone:
            return CmdNone;
        case CmdTogglePause:
            paused_ = !paused_;
            notify(NoticePause, false, paused_ ? 1 : 0, songSeconds(restartPosition_));
            return CmdNone;
        case CmdChangeVolume:
            changeVolume(argument);
            return CmdNone;
        case 23:
            return CmdNone;
        case CmdSyncRestart:
            sink_->flush(true);
            return CmdNone;
        case CmdChangeRate:
            return argument > 0 && sink_->changeRate(argument) ? CmdReload : CmdNone;
        case CmdOutputChanged:
            sink_->outputChanged();
            return CmdReload;
        default:
            return code;
    }
}

int Player::pollStop() {
    const int result = pollCommands();
    if (result == CmdJump) jumpPending_ = true;
    return (isFinalResult(result) || result == CmdReload) ? result : CmdNone;
}

void Player::runDueNotices() {
    const int64_t heard = heardPosition();
    if (heard >= 0) trace_.runDue(heard);
}

int64_t Player::framesToNextNotice() {
    if (trace_.size() == 0) return -1;
    const int64_t heard = heardPosition();
    if (heard < 0) return -1;
    return std::max<int64_t>(0, trace_.nextDue() - heard);
}

}  // namespace svt
