#include "player/Player.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "instruments/InstrumentBanks.h"
#include "player/UserControls.h"
#include "song/SmfReader.h"
#include "song/SongInput.h"

namespace svt {

namespace {

// How far the end-of-song scan looks ahead for a reason to go on.
constexpr int kEndScanEvents = 32;

int systemModeOfMaker(uint8_t maker) {
    switch (maker) {
        case 0x41:
            return SYSTEM_GS_RESET;
        case 0x43:
            return SYSTEM_XG_ON;
        case 0x7E:
            return SYSTEM_GM_ON;
        default:
            return SYSTEM_GM_OFF;
    }
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
    synthesis_.setListener(this);
}

Player::~Player() {
    synthesis_.setListener(nullptr);
}

void Player::voiceChanged(int status, int channel, int note, int velocity) {
    notify(NoticeNote, true, status, channel, note, velocity);
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
    controls_.keySignature = options_.initialKeySignature.value_or(0);
    controls_.noteKeyOffset = std::clamp(options_.startKeyOffset, -kMaxKeyOffset, kMaxKeyOffset);
    controls_.channelMuteMask = options_.temperamentMute ? 0xFFFFFFFFu : options_.startMuteMask;
    restartPosition_ = 0;
    reduction_ = Reduction{};
    synthesis_.setReduceQuality(options_.reduceQuality);
    synthesis_.setVoiceLimit(rememberedVoices_);

    notify(NoticeMetronome, false, 0, 0);
    notify(NoticeKeySignature, false, controls_.keySignature);
    notify(NoticeTemperKeySignature, false, 0);
    if (options_.forcedKeySignature) forceKeySignature();
    recomputeTemperamentIndex();
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
        if (song_) {
            systemMode_ = systemModeOfMaker(song_->makerId);
            drumChanges_ = (song_->drumMask ^ song_->drumMask2) & 0xFFFFu;
        }

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
        if (banks_) banks_->songEnded();
    } while (result == CmdReload);
    drumChanges_ = 0;
    return result;
}

int Player::playEvents(std::span<const SongEvent> events, int64_t totalSamples) {
    events_ = events;
    totalSamples_ = totalSamples;
    checkEnd_ = true;
    lastSeconds_ = -1;
    lastVoices_ = -1;
    synthesis_.setSystemMode(systemMode_);
    resetSynthesis();

    int result = drainOutput(false);
    if (isFinalResult(result)) return result;

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
        case EV_MASTER_VOLUME:
            synthesis_.applyEvent(event, true);
            break;
        case EV_SYSTEM_RESET:
            synthesis_.setSystemMode(event.a);
            resetSynthesis();
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
            recomputeTemperamentIndex();
            break;
        case EV_TEMPERAMENT_TYPE:
            applyToChannels(event, true);
            notify(NoticeTemperType, true, event.channel, event.a);
            break;
        case EV_MASTER_TEMPERAMENT_TYPE:
            applyToChannels(event, true);
            for (int c = 0; c < kChannels; ++c) notify(NoticeTemperType, true, c, event.a);
            break;
        case EV_END_OF_SONG:
            return playOutEnd();
        default:
            if (isChannelEvent(event.type) ||
                (event.type >= EV_SCALE_TYPE && event.type <= EV_SYSEX_XG_MSB))
                applyToChannels(event, true);
            break;
    }
    // The front-end shows the channel as the reset left it.
    if (event.type == EV_RESET_CONTROLLERS) channelNotices(event.channel & 15, true);
    return CmdNone;
}

void Player::applyToChannels(const SongEvent& event, bool sounding) {
    // Layering, muting and the drum channels are the synthesizer's business: it owns the
    // channel state they depend on.
    synthesis_.applyEvent(event, sounding);
}

int Player::renderBlockPart(int frames) {
    synthesis_.render({block_.data() + 2 * buffered_, frames});
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
    if (options_.reductionThreshold != 0 && deviceQueue > 0)
        reduceVoices(filled, softFilled, deviceQueue);
}

void Player::reduceVoices(int64_t filled, int64_t softFilled, int64_t deviceQueue) {
    Reduction& s = reduction_;
    const bool realTime = options_.realTimeMode;
    const bool adaptive = options_.adaptivePolyphony;
    const int r = rate();
    int rateLimit = 75;
    int64_t fillLimit;
    if (options_.reductionThreshold >= 0) {
        fillLimit = int64_t(r) * options_.reductionThreshold / 1000 + 1;
    } else {
        fillLimit = r / 5;
        if (deviceQueue / 5 < fillLimit) {
            fillLimit = 1;
            rateLimit = 75 - static_cast<int>(4096 * 100 / deviceQueue) / 5;
        }
    }
    const int fillRate = static_cast<int>(
        static_cast<double>(filled + softFilled) / static_cast<double>(deviceQueue) * 100 + 0.5);
    const int voices = synthesis_.voicesInUse();
    const int limit = synthesis_.voiceLimit();

    // What the machine kept up with, averaged over about the last second.
    if (!realTime && adaptive && fillRate < 85) {
        int64_t add = -1;
        if ((fillRate == s.previousFillRate && voices > s.minimumBad) ||
            (fillRate >= s.previousFillRate && fillRate < 20))
            add = voices;
        else if (voices == limit && fillRate > s.previousFillRate && filled > s.previousFilled)
            add = voices + 1;
        else if (fillRate < 75 && fillRate < s.previousFillRate && filled < s.previousFilled)
            add = s.minimumBad;
        if (add >= 0) {
            s.goodTotal += add;
            s.goodCount += 1;
            if (currentSample_ >= s.nextHalving && s.goodCount > 1) {
                s.goodTotal >>= 1;
                s.goodCount >>= 1;
                s.nextHalving = currentSample_ + r;
            }
        }
    }

    if ((realTime || fillRate >= rateLimit) && filled >= fillLimit) {
        // Healthy: what sounds now is affordable, and the voice limit comes back.
        if (!realTime && fillRate >= rateLimit && filled > s.previousFilled) {
            if (fillRate > 85 && voices > s.maximumGood) {
                s.maximumGood = voices;
                s.minimumBad = std::min(s.minimumBad, s.maximumGood);
            }
            if (adaptive) {
                s.goodTotal = int64_t(s.maximumGood) * s.goodCount;
                if (s.goodCount > 1) {
                    s.goodTotal >>= 1;
                    s.goodCount >>= 1;
                }
                synthesis_.setVoiceLimit(rememberedVoices_);
            }
        }
        s.previousFilled = fillLimit;
    } else if (filled > s.previousFilled) {
        s.previousFilled = filled;  // recovering by itself
    } else {
        // Draining: released voices go, the quietest first.
        if (!realTime && fillRate > 20 && voices < s.minimumBad) {
            s.minimumBad = voices;
            s.maximumGood = std::max(s.maximumGood, s.minimumBad);
        }
        const int reducible = synthesis_.reducibleVoices();
        int cut;
        if (filled < fillLimit && (realTime || fillRate < 10)) {
            if (voices > reducible) {
                const int k =
                    static_cast<int>(voices - voices / (voices / (voices - reducible) + 1.0));
                cut = reducible < k && k < voices ? k : reducible;
            } else {
                cut = voices - 1;
            }
        } else {
            cut = std::min(reducible, voices - s.minimumBad);
        }
        const int done = cut > 0 ? synthesis_.cutQuietestReleased(cut) : 0;
        if (adaptive) {
            const int64_t average = s.goodTotal / std::max(1, s.goodCount);
            const int left = voices - done;
            if (left < limit && average < left)
                synthesis_.setVoiceLimit(left);
            else if (average < limit && left <= average)
                synthesis_.setVoiceLimit(static_cast<int>(average));
            else if (limit < average)
                synthesis_.setVoiceLimit(static_cast<int>(std::min<int64_t>(average, kMaxVoices)));
        }
        s.previousFilled = filled;
    }
    s.previousFillRate = fillRate;
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
    int result = CmdNone;
    // Renders without the end-of-song check looking again; a final result ends the song.
    auto step = [&](int64_t frames) {
        if (result == CmdNone || result == CmdJump) result = render(frames);
        return !isFinalResult(result);
    };
    if (synthesis_.voicesInUse() > 0) {
        if (step(second)) {
            synthesis_.releaseAllNotes();
            for (int i = 0; i < (realTime ? 3 : 6) && synthesis_.voicesInUse() > 0; ++i)
                if (!step(second / 2)) break;
        }
        if (!isFinalResult(result)) {
            synthesis_.cutAllVoices();
            step(20);
        }
    }
    // The second of silence lets the reverb and delay tails die away into it; only then are
    // they emptied for the next song. Emptied first, a loud tail would stop with a click.
    // A stream goes on at once: only a moment of silence separates its songs.
    if (!isFinalResult(result) && step(realTime ? second * 10 / 1000 : second))
        synthesis_.clearEffectTails();
    if (!isFinalResult(result)) result = render(0);
    if (!isFinalResult(result)) {
        if (control_->traces()) {
            result = drainOutput(false);
        } else {
            trace_.deliverAll();
            result = drainOutput(true);
        }
    }
    if (isFinalResult(result)) {
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
                if (!options_.initialKeySignature) controls_.keySignature = keyCodeOf(e);
                recomputeTemperamentIndex();
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
    synthesis_.resetChannels();
    // Channels the user turned into drums (or back) start every reset that way, as a song's
    // own drum-part message would leave them.
    for (int c = 0; c < kChannels; ++c) {
        if (!((drumChanges_ >> c) & 1u) || !song_) continue;
        const bool drum = (song_->drumMask >> c) & 1u;
        synthesis_.applyEvent(SongEvent{0, EV_DRUM_PART, uint8_t(c), uint8_t(drum ? 1 : 0), 0},
                              false);
    }
}

void Player::recomputeTemperamentIndex() {
    controls_.temperamentIndex =
        temperamentIndexFor(controls_.keySignature, controls_.noteKeyOffset);
}

void Player::forceKeySignature() {
    controls_.noteKeyOffset = transpositionToKey(controls_.keySignature, controls_.noteKeyOffset,
                                                 *options_.forcedKeySignature);
}

}  // namespace svt
